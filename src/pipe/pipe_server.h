// The pipe server: the listener loop on the main thread and one connection
// thread per client.
#pragma once

#include <cstdint>

namespace mossvane {

class RequestClient;

class PipeServer {
  public:
    // Runs the listener on the calling thread until the exit event is set or
    // a pipe instance can't be created, then lets the connections in
    // progress finish (server_stop.h).
    static void Run();

    // Reads the command of the null-terminated request text, carries it out
    // and writes the answer text into answer (kAnswerCapacity characters,
    // terminator included); answerLength becomes its size in bytes with the
    // terminator.
    static void GetAnswerToRequest(const char16_t* request, char16_t* answer,
                                   std::uint32_t* answerLength);
    // The same for a request of `client`'s (see request_answering.h).
    static void GetAnswerToRequest(const char16_t* request, char16_t* answer,
                                   std::uint32_t* answerLength, RequestClient& client);

    // Draws the next dialog ticket and returns when its turn has come.
    static void InitInfo();
};

}  // namespace mossvane
