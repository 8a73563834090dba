#include "pipe/whole_file_writes.h"

namespace mossvane {

void FileWriteGate::Enter() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_held; });
    ++m_inProgress;
}

void FileWriteGate::Leave() {
    std::lock_guard<std::mutex> guard(m_mutex);
    --m_inProgress;
    m_changed.notify_all();
}

bool FileWriteGate::Hold(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_held = true;
    return m_changed.wait_for(lock, timeout, [this] { return m_inProgress == 0; });
}

FileWriteGate& WholeFileWrites() {
    // Never destroyed: writers may still wait at it while the process ends.
    static FileWriteGate* gate = new FileWriteGate();
    return *gate;
}

}  // namespace mossvane
