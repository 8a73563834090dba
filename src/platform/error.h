// System error codes as the program passes them between modules. Both backends
// speak the Windows numbering, so traces such as "GLE=%d" read the same on
// every platform; the POSIX backend maps errno values onto these in one place.
#pragma once

#include <cstdint>

namespace mossvane::platform {

using ErrorCode = std::uint32_t;

inline constexpr ErrorCode kSuccess = 0;
inline constexpr ErrorCode kFileNotFound = 2;
inline constexpr ErrorCode kPathNotFound = 3;
inline constexpr ErrorCode kAccessDenied = 5;
inline constexpr ErrorCode kInvalidHandle = 6;
// The peer ended the connection while data sent to it was still unread.
inline constexpr ErrorCode kNetnameDeleted = 64;
inline constexpr ErrorCode kNotEnoughMemory = 8;
inline constexpr ErrorCode kInvalidData = 13;
inline constexpr ErrorCode kWriteFault = 29;
inline constexpr ErrorCode kReadFault = 30;
inline constexpr ErrorCode kInvalidParameter = 87;
inline constexpr ErrorCode kBrokenPipe = 109;
inline constexpr ErrorCode kAlreadyExists = 183;
inline constexpr ErrorCode kBadPipe = 230;
inline constexpr ErrorCode kPipeBusy = 231;
inline constexpr ErrorCode kNoData = 232;
inline constexpr ErrorCode kMoreData = 234;
inline constexpr ErrorCode kPipeNotConnected = 233;
inline constexpr ErrorCode kSemTimeout = 121;
inline constexpr ErrorCode kBadPathname = 161;
inline constexpr ErrorCode kFilenameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE
inline constexpr ErrorCode kFileTooLarge = 223;     // ERROR_FILE_TOO_LARGE
inline constexpr ErrorCode kIsAFolder = 336;        // ERROR_DIRECTORY_NOT_SUPPORTED
inline constexpr ErrorCode kBadDatabase = 1009;     // ERROR_BADDB: a damaged hive
inline constexpr ErrorCode kPipeConnected = 535;
inline constexpr ErrorCode kKeyDeleted = 1018;
// The peer's end went away without an orderly close: data may be lost.
inline constexpr ErrorCode kConnectionReset = 10054;
// The pipe's server does not run as the connecting user or the system
// (ERROR_WRONG_TARGET_NAME): nothing may be sent to it.
inline constexpr ErrorCode kUntrustedServer = 1396;

}  // namespace mossvane::platform
