#include "pipe/connection_threads.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "pipe/instance_thread.h"

namespace mossvane {

namespace {

// Long enough to carry a thread over the gaps of a burst of clients, short
// enough that an idle server soon holds no more threads than it needs.
constexpr auto kWaitForNextClient = std::chrono::seconds(2);

class ConnectionThreads {
  public:
    void Serve(platform::PipeConnection connection) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            // Only a thread that is sure to take it may be handed the client.
            if (m_waitingThreads > m_waitingClients.size()) {
                m_waitingClients.push_back(std::move(connection));
                m_clientArrived.notify_one();
                return;
            }
        }
        std::thread(&ConnectionThreads::ThreadMain, this, std::move(connection)).detach();
    }

  private:
    void ThreadMain(platform::PipeConnection connection) {
        for (;;) {
            InstanceThread(std::move(connection));
            if (!WaitForNextClient(connection)) return;
        }
    }

    bool WaitForNextClient(platform::PipeConnection& connection) {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_waitingThreads;
        const bool arrived = m_clientArrived.wait_for(lock, kWaitForNextClient,
                                                      [&] { return !m_waitingClients.empty(); });
        --m_waitingThreads;
        if (!arrived) return false;
        connection = std::move(m_waitingClients.front());
        m_waitingClients.pop_front();
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_clientArrived;
    std::deque<platform::PipeConnection> m_waitingClients;
    std::size_t m_waitingThreads = 0;
};

ConnectionThreads& Threads() {
    // Never destroyed: waiting threads may still use it while the process ends.
    static ConnectionThreads* threads = new ConnectionThreads();
    return *threads;
}

}  // namespace

void ServeOnConnectionThread(platform::PipeConnection connection) {
    Threads().Serve(std::move(connection));
}

}  // namespace mossvane
