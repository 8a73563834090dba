// DebugCapture on Windows: a DBWIN listener, the protocol debug viewers use
// to receive OutputDebugString texts. The listener owns the events
// "DBWIN_BUFFER_READY" and "DBWIN_DATA_READY" and the 4096-byte mapping
// "DBWIN_BUFFER"; a writer waits for the buffer, puts its process id and its
// text (in the ANSI code page) there and signals the data.
#include <cstring>
#include <thread>

#include "platform/codepage.h"
#include "platform/utf8.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/windows_include.h"
#include "support/debug_capture.h"

namespace mossvane::test {

using platform::win32::UniqueHandle;

namespace {

constexpr DWORD kBufferSize = 4096;
constexpr std::size_t kTextOffset = sizeof(DWORD);

class MappedView {
  public:
    MappedView() = default;
    ~MappedView() {
        if (m_view) UnmapViewOfFile(m_view);
    }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    void Map(HANDLE mapping) { m_view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kBufferSize); }
    const char* Get() const { return static_cast<const char*>(m_view); }

  private:
    void* m_view = nullptr;
};

std::string ToUtf8(const char* ansiText, std::size_t length) {
    const std::string terminated(ansiText, length);
    return platform::Utf16ToUtf8(platform::AnsiCodePageToUtf16(terminated.c_str()));
}

}  // namespace

struct DebugCapture::Listener {
    UniqueHandle bufferReady;
    UniqueHandle dataReady;
    UniqueHandle mapping;
    UniqueHandle stop;
    MappedView view;
    std::thread reader;

    bool Start(CapturedTexts& texts, std::uint32_t processId);
    void Run(CapturedTexts& texts, std::uint32_t processId);
    void Stop();
};

bool DebugCapture::Listener::Start(CapturedTexts& texts, std::uint32_t processId) {
    bufferReady.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    dataReady.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    mapping.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize,
                                     L"DBWIN_BUFFER"));
    stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!bufferReady.IsValid() || !dataReady.IsValid() || !mapping.IsValid() || !stop.IsValid()) {
        return false;
    }
    view.Map(mapping.Get());
    if (!view.Get()) return false;
    reader = std::thread([this, &texts, processId] { Run(texts, processId); });
    return true;
}

void DebugCapture::Listener::Run(CapturedTexts& texts, std::uint32_t processId) {
    SetEvent(bufferReady.Get());
    const HANDLE waits[] = {dataReady.Get(), stop.Get()};
    // When data and stop are both signalled the data comes first, so a
    // text sent just before the capture ends is still kept.
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        DWORD writer = 0;
        std::memcpy(&writer, view.Get(), sizeof(writer));
        const char* text = view.Get() + kTextOffset;
        const std::size_t length = strnlen(text, kBufferSize - kTextOffset);
        if (processId == kAnyProcess || writer == processId)
            texts.Add(writer, ToUtf8(text, length));
        SetEvent(bufferReady.Get());
    }
}

void DebugCapture::Listener::Stop() {
    if (!reader.joinable()) return;
    SetEvent(stop.Get());
    reader.join();
}

DebugCapture::DebugCapture(std::uint32_t processId) : m_listener(std::make_unique<Listener>()) {
    m_listener->Start(m_texts, processId);
}

DebugCapture::~DebugCapture() {
    m_listener->Stop();
}

bool DebugCapture::IsListening() const {
    return m_listener->reader.joinable();
}

}  // namespace mossvane::test
