// The pipe server: the listener loop on the main thread and one connection
// thread per client.
#pragma once

namespace mossvane {

class PipeServer {
public:
    // Runs the listener on the calling thread until the exit event is set or
    // a pipe instance can't be created.
    static void Run();
};

}  // namespace mossvane
