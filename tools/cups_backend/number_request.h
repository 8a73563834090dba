// Asking the user's server for the identification number before a job
// (device URI option pin=ask), and reading its answer.
#pragma once

#include <string>
#include <string_view>

#include "platform/pipe.h"

namespace mossvane::cups {

inline constexpr char16_t kGetInfoRequest[] = u"@=GETINFO";
inline constexpr char16_t kPhoneNumberKey[] = u"PhoneNumber";

enum class NumberAnswer {
    Given,       // RETURN=OK with a number of 4 to 20 digits.
    Cancelled,   // RETURN=CANCEL: the user declined, or no dialog could be shown.
    Unexpected,  // Anything else; the number, if any, is not used.
};

// Sends GETINFO on the connection and reads the answer, a UTF-16 text that
// ends with its terminator and may come over several reads. The buffer that
// held the answer is wiped before it is freed.
platform::ErrorCode RequestNumber(platform::PipeConnection& connection, std::u16string& answer);

// Reads the answer text; number receives the digits when Given. The copies
// of the answer this makes are wiped before they are freed.
NumberAnswer ReadNumberAnswer(std::u16string_view answer, std::u16string& number);

}  // namespace mossvane::cups
