// Collects what a process sends to the debugger output while the capture
// lives, so tests can check the program's traces. On Windows it is a DBWIN
// listener (the protocol debug viewers speak) that keeps the texts of one
// process; on POSIX, where the debugger output is standard error, it takes
// over file descriptor 2 and keeps the texts written by the chosen process
// (itself, or a child that inherited the descriptor). Only one capture may
// run at a time in a process, and under Wine one in the whole prefix.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_info.h"

namespace mossvane::test {

// The texts received so far, shared between the capture and its listener
// thread.
class CapturedTexts {
  public:
    void Add(std::uint32_t processId, std::string text);
    std::vector<std::string> Snapshot() const;
    std::vector<std::string> SnapshotOf(std::uint32_t processId) const;
    bool WaitFor(std::string_view needle, std::chrono::milliseconds deadline) const;
    // Removes every text that contains needle.
    void Remove(std::string_view needle);
    void Clear();

  private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_added;
    std::vector<std::string> m_texts;
    std::vector<std::uint32_t> m_writers;  // The process of each text.
};

class DebugCapture {
  public:
    // Keeps the texts of every process (no process has the id 0).
    static constexpr std::uint32_t kAnyProcess = 0;

    // Keeps the texts of the process processId, by default this one.
    explicit DebugCapture(std::uint32_t processId = platform::CurrentProcessId());
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    // False when the listener could not be set up; nothing is collected then.
    bool IsListening() const;

    // Every text received so far, in order, as UTF-8. On Windows a text
    // arrives in the system's ANSI code page and is converted; on POSIX it is
    // exactly what was written to standard error, so each ends with the line
    // feed the debugger output adds when a text has none.
    std::vector<std::string> Texts() const;

    // The texts of one process, for a capture of kAnyProcess: one listener
    // serves every child of a test, since a prefix has room for only one.
    std::vector<std::string> TextsOf(std::uint32_t processId) const;

    // Waits until a text containing needle has arrived.
    bool WaitFor(std::string_view needle, std::chrono::milliseconds deadline) const;

    // Sends a marker through this process's debugger output and waits for it.
    // The debugger output keeps a process's texts in order, so everything
    // the process sent before has then been collected. The marker itself is
    // not kept. Meaningful only when capturing the current process.
    bool Sync(std::chrono::milliseconds deadline = std::chrono::seconds(20));

    void Clear();

    struct Listener;

  private:
    CapturedTexts m_texts;
    std::unique_ptr<Listener> m_listener;
};

}  // namespace mossvane::test
