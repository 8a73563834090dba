// Parameter sets: the key/value maps that requests, answers, job information
// and install settings are held in, and the lookups and setters other modules
// use on them.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace mossvane {

// Keys are ordered code unit by code unit as unsigned 16-bit numbers, which is
// how std::u16string compares: case-sensitive, "B" before "a", a prefix first.
// std::less<> lets lookups take a string view without a copy.
using ParamMap = std::map<std::u16string, std::u16string, std::less<>>;

// Section name to flat set. A section exists only while it holds an entry.
using SectionParamMap = std::map<std::u16string, ParamMap, std::less<>>;

// The key of the command entry of a request.
inline constexpr char16_t kCommandKey[] = u"@";

// set["@"] = name, the text up to its terminating null. A null name stands
// for the empty text.
void SetCommand(ParamMap& set, const char16_t* name);

// The command entry in upper case (ASCII letters only), so commands match
// in any case; empty when there is none.
std::u16string GetCommandUpperCase(const ParamMap& set);

// Wipes every key and value (see platform/wipe.h) and empties the set: a
// set may hold the identification number.
void WipeParams(ParamMap& set);

// The value of `key`, or the empty string when the key is absent.
std::u16string GetParam(const ParamMap& set, std::u16string_view key);

// The value of `key` in `section`, or `defaultValue` when either is absent.
std::u16string GetSectionParam(const SectionParamMap& sections, std::u16string_view section,
                               std::u16string_view key, std::u16string_view defaultValue);

// Inserts or replaces the entry, creating the section when it is new.
void SetSectionParam(SectionParamMap& sections, std::u16string_view section,
                     std::u16string_view key, std::u16string_view value);

// The same for narrow texts in the system's ANSI code page, each converted
// with AnsiToWide first (so a null pointer stands for the empty text).
void SetSectionParam(SectionParamMap& sections, const char* section, const char* key,
                     const char* value);

}  // namespace mossvane
