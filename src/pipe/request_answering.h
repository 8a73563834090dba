// Answers to request messages.
#pragma once

#include <cstdint>

namespace mossvane {

class RequestAnswering {
  public:
    // Reads the command of the null-terminated request text, carries it out
    // and writes the answer text into answer (kAnswerCapacity characters,
    // terminator included); answerLength becomes its size in bytes with the
    // terminator.
    static void GetAnswerToRequest(const char16_t* request, char16_t* answer,
                                   std::uint32_t* answerLength);
};

}  // namespace mossvane
