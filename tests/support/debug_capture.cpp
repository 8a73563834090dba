// The backend-independent half of DebugCapture: the collected texts.
#include "support/debug_capture.h"

#include <algorithm>
#include <atomic>

#include "platform/debug_output.h"

namespace mossvane::test {

void CapturedTexts::Add(std::uint32_t processId, std::string text) {
    {
        std::lock_guard lock(m_mutex);
        m_texts.push_back(std::move(text));
        m_writers.push_back(processId);
    }
    m_added.notify_all();
}

std::vector<std::string> CapturedTexts::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_texts;
}

std::vector<std::string> CapturedTexts::SnapshotOf(std::uint32_t processId) const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < m_texts.size(); ++i) {
        if (m_writers[i] == processId) texts.push_back(m_texts[i]);
    }
    return texts;
}

bool CapturedTexts::WaitFor(std::string_view needle, std::chrono::milliseconds deadline) const {
    std::unique_lock lock(m_mutex);
    return m_added.wait_for(lock, deadline, [&] {
        return std::any_of(m_texts.begin(), m_texts.end(), [&](const std::string& text) {
            return text.find(needle) != std::string::npos;
        });
    });
}

void CapturedTexts::Remove(std::string_view needle) {
    std::lock_guard lock(m_mutex);
    for (std::size_t i = m_texts.size(); i-- > 0;) {
        if (m_texts[i].find(needle) == std::string::npos) continue;
        m_texts.erase(m_texts.begin() + static_cast<std::ptrdiff_t>(i));
        m_writers.erase(m_writers.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void CapturedTexts::Clear() {
    std::lock_guard lock(m_mutex);
    m_texts.clear();
    m_writers.clear();
}

std::vector<std::string> DebugCapture::Texts() const {
    return m_texts.Snapshot();
}

std::vector<std::string> DebugCapture::TextsOf(std::uint32_t processId) const {
    return m_texts.SnapshotOf(processId);
}

bool DebugCapture::WaitFor(std::string_view needle, std::chrono::milliseconds deadline) const {
    return m_texts.WaitFor(needle, deadline);
}

bool DebugCapture::Sync(std::chrono::milliseconds deadline) {
    static std::atomic<unsigned> counter{0};
    const std::string marker = "[DebugCapture sync " + std::to_string(++counter) + "]";
    platform::OutputDebugText(std::u16string(marker.begin(), marker.end()));
    const bool arrived = m_texts.WaitFor(marker, deadline);
    m_texts.Remove(marker);
    return arrived;
}

void DebugCapture::Clear() {
    m_texts.Clear();
}

}  // namespace mossvane::test
