// A stand-in for the user's server on its socket: it answers one request
// with a fixed text and records the job messages of the next connection, so
// a test sees exactly what the backend sends. It can also play a server
// that hangs: one that never answers, or stops reading in the middle.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace mossvane::cups::test {

struct ReceivedMessage {
    std::uint8_t command;
    std::vector<std::uint8_t> payload;
};

// How the stand-in ends the job's connection once END_JOB_CMD comes.
enum class JobEnd {
    Orderly,  // Reads the whole message, then closes, as the server does.
    Reset,    // Closes with the message unread, as a server that died would.
    Failure,  // Reads it, then ends as a failure: the job's files were not written.
    Stall,    // Reads it, then keeps the connection open without a word.
};

struct FakeServerOptions {
    // With an answer, the first connection's request gets it (UTF-16,
    // terminated) and the second connection carries the job; without one,
    // the first connection carries the job.
    std::optional<std::u16string> answer{};
    bool neverAnswer = false;                  // Read the request, then stay silent.
    std::chrono::milliseconds answerDelay{0};  // As long as a person takes to type.
    // After this many job messages the server stops reading: it ends the
    // connection as a failure (as the server does when the job's name is
    // taken), or with hangWhenFull keeps it open without reading another byte.
    std::size_t keepMessages = SIZE_MAX;
    bool hangWhenFull = false;
    // A pause after each job message: a server that takes the job just fast
    // enough for each single write's time-out, and never finishes.
    std::chrono::milliseconds pause{0};
    // The socket is made as this user, so the backend's check of its peer
    // sees that user (only the listening thread changes its identity).
    std::optional<uid_t> uid{};
    gid_t gid = 0;
    JobEnd jobEnd = JobEnd::Orderly;
};

class FakeServer {
  public:
    FakeServer(const std::string& socketPath, FakeServerOptions options);
    FakeServer(const std::string& socketPath, std::optional<std::u16string> answer,
               std::size_t keepMessages = SIZE_MAX);
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    bool IsListening() const { return m_listenFd >= 0; }

    // The request read so far (the backend has its answer once it goes on).
    std::u16string Request();

    // How many job messages have arrived so far.
    std::size_t MessageCount();

    // Waits for the job to end; the request text and the job messages.
    // False also when a job connection held anything but job messages.
    bool WaitForJob(std::u16string& request, std::vector<ReceivedMessage>& messages);

  private:
    void Listen();
    void Serve();
    void HangUntilStopped();
    bool PauseUnlessStopped();

    std::string m_socketPath;
    FakeServerOptions m_options;
    int m_listenFd = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopping = false;
    bool m_done = false;
    bool m_onlyJobMessages = true;
    std::u16string m_request;
    std::vector<ReceivedMessage> m_messages;
};

}  // namespace mossvane::cups::test
