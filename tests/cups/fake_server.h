// A stand-in for the user's server on its socket: it answers one request
// with a fixed text and records the job messages of the next connection, so
// a test sees exactly what the backend sends.
#pragma once

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
};

class FakeServer {
  public:
    // Listens on socketPath. With an answer, the first connection's request
    // gets it (UTF-16, terminated) and the second connection carries the
    // job; without one, the first connection carries the job. After
    // keepMessages job messages it closes the job's connection, as the
    // server does when it can't store a job.
    FakeServer(const std::string& socketPath, std::optional<std::u16string> answer,
               std::size_t keepMessages = SIZE_MAX, JobEnd jobEnd = JobEnd::Orderly);
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    bool IsListening() const { return m_listenFd >= 0; }

    // The request read so far (the backend has its answer once it goes on).
    std::u16string Request();

    // Waits for the job to end; the request text and the job messages.
    // False also when a job connection held anything but job messages.
    bool WaitForJob(std::u16string& request, std::vector<ReceivedMessage>& messages);

  private:
    void Serve();

    std::string m_socketPath;
    std::optional<std::u16string> m_answer;
    std::size_t m_keepMessages;
    JobEnd m_jobEnd;
    int m_listenFd = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    bool m_done = false;
    bool m_onlyJobMessages = true;
    std::u16string m_request;
    std::vector<ReceivedMessage> m_messages;
};

}  // namespace mossvane::cups::test
