// GETINFO from the client's side: asking the user's server for the
// identification number and reading its answer.
#pragma once

#include <string>
#include <string_view>

#include "client/deadline.h"
#include "platform/pipe.h"

namespace mossvane::client {

inline constexpr char16_t kGetInfoRequest[] = u"@=GETINFO";
inline constexpr char16_t kPhoneNumberKey[] = u"PhoneNumber";

enum class NumberAnswer {
    Given,       // RETURN=OK with a number of 4 to 20 digits.
    Cancelled,   // RETURN=CANCEL: the user declined, or no dialog could be shown.
    Unexpected,  // Anything else; the number, if any, is not used.
};

// Sends GETINFO on the connection and reads the answer text. The buffers
// that held it are wiped before they are freed.
platform::ErrorCode RequestNumber(platform::PipeConnection& connection, std::u16string& answer,
                                  const Deadline& deadline = Deadline::Never());

// Reads the answer text; number receives the digits when Given. The copies
// of the answer this makes are wiped before they are freed.
NumberAnswer ReadNumberAnswer(std::u16string_view answer, std::u16string& number);

}  // namespace mossvane::client
