// The information file of a finished job: its properties as a small XML
// document beside the job file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "params/param_map.h"
#include "platform/error.h"

namespace mossvane {

inline constexpr char kJobInfoRootElement[] = "JobInfo";

// The information file's path: the job file's path with its final ".prn"
// replaced by ".info" (appended when the path has no such ending).
std::u16string JobInfoPathFor(std::u16string_view jobFilePath);

// Whether `name` may name an XML element (the Name production of XML 1.0).
bool IsXmlName(std::u16string_view name);

// `text` with every character XML 1.0 forbids (C0 controls other than tab,
// line feed and carriage return; U+FFFE, U+FFFF; unpaired surrogates)
// replaced by U+FFFD.
std::u16string XmlCharactersOnly(std::u16string_view text);

// The document as the XML library saves it by default: its declaration, then
// "JobInfo" with one child per entry in key order, the child named by the key
// and holding the value (XmlCharactersOnly), both in the system's ANSI code
// page. Keys that are no XML name, or hold a colon, are left out (and added
// to `leftOutKeys`, when given), so namespace-aware readers take the file
// too. Lines end with a line feed. The caller wipes the result once used.
std::string BuildJobInfoDocument(const ParamMap& jobInformation,
                                 std::vector<std::u16string_view>* leftOutKeys = nullptr);

// Parses the job information text (`length` characters, without its
// terminator) and puts its document at the information file's path, which
// must still be free: kAlreadyExists when anything stands there, else
// kSuccess or the system's code of the failed write (nothing is left then).
// Each key left out gets a debug line; no copy of a value stays in memory.
platform::ErrorCode WriteJobInfo(std::u16string_view jobFilePath, const char16_t* text,
                                 std::size_t length);

}  // namespace mossvane
