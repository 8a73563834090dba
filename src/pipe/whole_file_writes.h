// Writes that must never be cut in half by the end of the process: an
// information file between its temporary file and the rename that puts it in
// place. The stop holds them before the process ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace mossvane {

class FileWriteGate {
  public:
    // Counts one write in. Once the gate holds, it blocks for good instead:
    // the process is ending, and a write that never starts leaves nothing
    // behind.
    void Enter();
    void Leave();

    // Lets no further write start and waits, at most `timeout`, until those
    // in progress are done. True when none is left.
    bool Hold(std::chrono::milliseconds timeout);

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_inProgress = 0;
    bool m_held = false;
};

// The process's gate, held by the server's stop.
FileWriteGate& WholeFileWrites();

// Marks one write at the gate for as long as it lives.
class WholeFileWrite {
  public:
    explicit WholeFileWrite(FileWriteGate& gate = WholeFileWrites()) : m_gate(gate) {
        m_gate.Enter();
    }
    ~WholeFileWrite() { m_gate.Leave(); }
    WholeFileWrite(const WholeFileWrite&) = delete;
    WholeFileWrite& operator=(const WholeFileWrite&) = delete;

  private:
    FileWriteGate& m_gate;
};

}  // namespace mossvane
