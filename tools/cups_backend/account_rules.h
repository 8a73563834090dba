// Which accounts the backend may act for. Root and the system's service
// accounts never get a job handed to their server: their servers would run
// the job's parsers with rights no print job should reach.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mossvane::cups {

// The first uid of an ordinary account when /etc/login.defs says nothing.
inline constexpr std::uint32_t kDefaultFirstUserUid = 1000;
inline constexpr char kLoginDefsPath[] = "/etc/login.defs";

// UID_MIN from the text of a login.defs file; the default when the file
// does not set it or sets it to something that is not a decimal number.
std::uint32_t FirstUserUidFromLoginDefs(std::string_view text);

// The same, read from the system's file; the default when it can't be read.
std::uint32_t ReadFirstUserUid(const char* path = kLoginDefsPath);

enum class AccountKind { Ordinary, Root, SystemAccount };

AccountKind ClassifyAccount(std::uint32_t uid, std::uint32_t firstUserUid);

}  // namespace mossvane::cups
