// The user's named pipe on Windows. Server instances are overlapped so the
// listener can wait for a client and the exit event together; connection
// reads and writes still block, through an overlapped call that is waited on
// at once, which is how a blocking call on an overlapped handle is done right.
// The pipe belongs to its user: the first instance claims the name, only the
// user and the system may add instances, remote clients are turned away, and
// clients talk only to a server of their own user.
#include "platform/pipe.h"

#include <exception>
#include <string>
#include <utility>

#include "platform/debug_output.h"
#include "platform/pipe_client_identity.h"
#include "platform/utf8.h"
#include "platform/win32/event_native.h"
#include "platform/win32/pipe_security.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/windows_include.h"

#include <sddl.h>

namespace mossvane::platform {

namespace {

constexpr DWORD kPipeBufferSize = 4104;
constexpr DWORD kMaxInstances = PIPE_UNLIMITED_INSTANCES;
// Byte stream, byte read mode, blocking; clients on other machines are refused.
constexpr DWORD kPipeMode = PIPE_REJECT_REMOTE_CLIENTS;
// The server may learn who the client is, but never act as it.
constexpr DWORD kClientQualityOfService = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

static_assert(kUntrustedServer == ERROR_WRONG_TARGET_NAME);
static_assert(kSemTimeout == ERROR_SEM_TIMEOUT);
static_assert(kAlreadyExists == ERROR_ALREADY_EXISTS);

}  // namespace

struct PipeConnection::Impl {
    win32::UniqueHandle pipe;
    win32::UniqueHandle ioEvent;  // Only for overlapped (server) instances.
    bool isServer = false;
    // Server side: whether the client's process was looked at. One that
    // can't be told to be this user's or the system's gets a bounded first read.
    bool clientLookedAt = false;

    // Runs one read or write to completion, or until timeout milliseconds
    // have passed (kSemTimeout, nothing transferred), and reports its Win32
    // result.
    template <typename Call>
    ErrorCode Complete(Call call, std::size_t& transferred, DWORD timeout = INFINITE) {
        DWORD count = 0;
        if (!ioEvent.IsValid()) {
            BOOL ok = call(&count, nullptr);
            transferred = count;
            return ok ? kSuccess : GetLastError();
        }
        OVERLAPPED overlapped{};
        overlapped.hEvent = ioEvent.Get();
        if (!call(&count, &overlapped)) {
            DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) return error;
            const bool timedOut = WaitForSingleObject(ioEvent.Get(), timeout) == WAIT_TIMEOUT;
            // A cancelled call still completes; what it got before is kept.
            if (timedOut) CancelIoEx(pipe.Get(), &overlapped);
            if (!GetOverlappedResult(pipe.Get(), &overlapped, &count, TRUE)) {
                transferred = count;
                error = GetLastError();
                return timedOut && error == ERROR_OPERATION_ABORTED ? kSemTimeout : error;
            }
        }
        transferred = count;
        return kSuccess;
    }
};

PipeConnection::PipeConnection() = default;
PipeConnection::PipeConnection(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
PipeConnection::~PipeConnection() = default;
PipeConnection::PipeConnection(PipeConnection&&) noexcept = default;
PipeConnection& PipeConnection::operator=(PipeConnection&&) noexcept = default;

bool PipeConnection::IsValid() const {
    return m_impl && m_impl->pipe.IsValid();
}

namespace {

// Whether the client's first read may wait without limit: only for a client
// whose process runs as this user or the system. Others, and clients whose
// process can't be looked at, are still served once what they send shows
// who they are (CheckClientUser), but not waited for long.
bool IsIdentifiedClient(HANDLE pipe) {
    const std::u16string clientSid = win32::PipeClientProcessUserSid(pipe);
    return !clientSid.empty() && IsServedClientUser(clientSid, win32::CurrentProcessUserSid());
}

}  // namespace

ErrorCode PipeConnection::Read(void* buffer, std::size_t size, std::size_t& bytesRead) {
    bytesRead = 0;
    if (!IsValid()) return kInvalidHandle;
    HANDLE pipe = m_impl->pipe.Get();
    DWORD timeout = INFINITE;
    // Looked at here, on the connection's own thread, so that the listener
    // takes the next client at once.
    if (m_impl->isServer && !m_impl->clientLookedAt) {
        m_impl->clientLookedAt = true;
        if (!IsIdentifiedClient(pipe)) timeout = kUnidentifiedClientPatienceMilliseconds;
    }
    ErrorCode error = m_impl->Complete(
        [&](DWORD* count, OVERLAPPED* overlapped) {
            return ReadFile(pipe, buffer, static_cast<DWORD>(size), count, overlapped);
        },
        bytesRead, timeout);
    if (error == kSuccess && bytesRead == 0) return kBrokenPipe;
    return error;
}

ErrorCode PipeConnection::Write(const void* data, std::size_t size, std::size_t& bytesWritten) {
    bytesWritten = 0;
    if (!IsValid()) return kInvalidHandle;
    HANDLE pipe = m_impl->pipe.Get();
    return m_impl->Complete(
        [&](DWORD* count, OVERLAPPED* overlapped) {
            return WriteFile(pipe, data, static_cast<DWORD>(size), count, overlapped);
        },
        bytesWritten);
}

ErrorCode PipeConnection::SetByteReadMode() {
    if (!IsValid()) return kInvalidHandle;
    DWORD mode = PIPE_READMODE_BYTE | PIPE_WAIT;
    return SetNamedPipeHandleState(m_impl->pipe.Get(), &mode, nullptr, nullptr) ? kSuccess
                                                                                : GetLastError();
}

namespace {

// Impersonates the pipe's client for as long as it lives.
class ClientImpersonation {
  public:
    explicit ClientImpersonation(HANDLE pipe) : m_active(ImpersonateNamedPipeClient(pipe)) {}
    ~ClientImpersonation() {
        // A thread that kept the client's identity must not serve anyone.
        if (m_active && !RevertToSelf()) std::terminate();
    }
    ClientImpersonation(const ClientImpersonation&) = delete;
    ClientImpersonation& operator=(const ClientImpersonation&) = delete;
    bool IsActive() const { return m_active; }

  private:
    bool m_active;
};

}  // namespace

// The client's user is known only from what it sent: the pipe impersonates
// the sender of the data read last, which is why this waits for a read.
ErrorCode PipeConnection::CheckClientUser() {
    if (!IsValid()) return kInvalidHandle;
    if (!m_impl->isServer) return kSuccess;
    std::u16string clientSid;
    {
        ClientImpersonation impersonation(m_impl->pipe.Get());
        if (!impersonation.IsActive()) return GetLastError();
        HANDLE token = nullptr;
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
            return GetLastError();
        }
        win32::UniqueHandle owned(token);
        clientSid = win32::TokenUserSid(token);
    }
    return IsServedClientUser(clientSid, win32::CurrentProcessUserSid()) ? kSuccess : kAccessDenied;
}

void PipeConnection::FlushAndDisconnect() {
    if (!IsValid()) return;
    FlushFileBuffers(m_impl->pipe.Get());
    if (m_impl->isServer) DisconnectNamedPipe(m_impl->pipe.Get());
    Close();
}

void PipeConnection::Close() {
    m_impl.reset();
}

struct PipeListener::Impl {
    std::wstring pipeName;
    win32::UniqueLocalMemory descriptor;
    SECURITY_ATTRIBUTES attributes{};
    bool hasAttributes = false;
    win32::UniqueHandle pending;
    // Set once the first instance has claimed the name.
    bool claimedName = false;
    // Why the instance made ahead for the next client could not be made.
    ErrorCode nextInstanceError = kSuccess;
    win32::UniqueHandle connectEvent;
    OVERLAPPED connectOverlapped{};

    ErrorCode CreatePending();
};

namespace {

// Whether some process already has a pipe of this name, whether an instance
// is free or all are busy. The system refuses a first instance of a taken
// name by itself (FILE_FLAG_FIRST_PIPE_INSTANCE), but not every
// implementation of the interface honours that flag: this asks first.
bool IsPipeNameTaken(const std::wstring& pipeName) {
    if (WaitNamedPipeW(pipeName.c_str(), NMPWAIT_NOWAIT)) return true;
    const DWORD error = GetLastError();
    return error == ERROR_SEM_TIMEOUT || error == ERROR_PIPE_BUSY;
}

}  // namespace

ErrorCode PipeListener::Impl::CreatePending() {
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (!claimedName) {
        // Another process's pipe of this name would take this user's data.
        if (IsPipeNameTaken(pipeName)) return kAlreadyExists;
        openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    }
    HANDLE pipe =
        CreateNamedPipeW(pipeName.c_str(), openMode, kPipeMode, kMaxInstances, kPipeBufferSize,
                         kPipeBufferSize, 0, hasAttributes ? &attributes : nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // That is how the flag says that the name is taken.
        return !claimedName && error == ERROR_ACCESS_DENIED ? kAlreadyExists : error;
    }
    pending.Reset(pipe);
    claimedName = true;
    return kSuccess;
}

PipeListener::PipeListener(std::u16string_view pipeName) : m_impl(std::make_unique<Impl>()) {
    m_impl->pipeName = win32::WideString(pipeName);
    m_impl->connectEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // Without the descriptor (or the user to put in it) the pipe gets the
    // default security, which lets only this user and administrators in.
    const std::u16string& user = win32::CurrentProcessUserSid();
    if (!user.empty() &&
        ConvertStringSecurityDescriptorToSecurityDescriptorW(
            win32::PipeSecurityText(user).c_str(), SDDL_REVISION_1,
            reinterpret_cast<PSECURITY_DESCRIPTOR*>(m_impl->descriptor.Receive()), nullptr)) {
        m_impl->attributes.nLength = sizeof(SECURITY_ATTRIBUTES);
        m_impl->attributes.lpSecurityDescriptor = m_impl->descriptor.Get();
        m_impl->attributes.bInheritHandle = FALSE;
        m_impl->hasAttributes = true;
    }
}

PipeListener::~PipeListener() {
    ClosePendingInstance();
}

ErrorCode PipeListener::CreateInstance() {
    // Made ahead when the last client came, or failed then.
    if (m_impl->pending.IsValid()) return kSuccess;
    if (m_impl->nextInstanceError != kSuccess) return std::exchange(m_impl->nextInstanceError, 0);
    return m_impl->CreatePending();
}

namespace {

// Waits until a client is on the pending instance or the exit event is set.
ListenResult WaitForConnect(HANDLE pending, HANDLE connectEvent, OVERLAPPED& overlapped,
                            const Event& exitEvent, ErrorCode& error) {
    overlapped = {};
    overlapped.hEvent = connectEvent;
    if (!ConnectNamedPipe(pending, &overlapped)) {
        // A client that came between creation and connect (or already left
        // again) completes no overlapped operation: take it as connected now.
        DWORD result = GetLastError();
        if (result == ERROR_PIPE_CONNECTED || result == ERROR_NO_DATA) SetEvent(connectEvent);
    }
    HANDLE events[2] = {connectEvent, exitEvent.native().handle.Get()};
    DWORD signalled = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (signalled == WAIT_OBJECT_0 + 1) return ListenResult::ExitRequested;
    if (signalled != WAIT_OBJECT_0) {
        error = GetLastError();
        return ListenResult::Failed;
    }
    ResetEvent(connectEvent);
    return ListenResult::Connected;
}

}  // namespace

ListenResult PipeListener::WaitForClient(const Event& exitEvent, PipeConnection& connection,
                                         ErrorCode& error) {
    error = kSuccess;
    for (;;) {
        ListenResult result = WaitForConnect(m_impl->pending.Get(), m_impl->connectEvent.Get(),
                                             m_impl->connectOverlapped, exitEvent, error);
        if (result != ListenResult::Connected) return result;
        win32::UniqueHandle connected = std::move(m_impl->pending);
        // The next instance comes first, so that the pipe never goes away
        // between two clients and its name can't be taken in the gap.
        m_impl->nextInstanceError = m_impl->CreatePending();
        win32::UniqueHandle ioEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (ioEvent.IsValid()) {
            auto impl = std::make_unique<PipeConnection::Impl>();
            impl->pipe = std::move(connected);
            impl->ioEvent = std::move(ioEvent);
            impl->isServer = true;
            connection = PipeConnection(std::move(impl));
            return ListenResult::Connected;
        }
        // An overlapped instance can't be read or written without an event
        // to wait on: this client is turned away and the next one awaited.
        const DWORD eventError = GetLastError();
        OutputDebugText(u"[PI] Connection ended: no I/O event, GLE=" +
                        Utf8ToUtf16(std::to_string(eventError)) + u".");
        DisconnectNamedPipe(connected.Get());
        if ((error = CreateInstance()) != kSuccess) return ListenResult::Failed;
    }
}

void PipeListener::ClosePendingInstance() {
    if (!m_impl->pending.IsValid()) return;
    CancelIo(m_impl->pending.Get());
    m_impl->pending.Reset();
}

ErrorCode ConnectToPipe(std::u16string_view pipeName, PipeConnection& connection) {
    win32::UniqueHandle pipe(CreateFileW(win32::WideString(pipeName).c_str(),
                                         GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         kClientQualityOfService, nullptr));
    if (!pipe.IsValid()) return GetLastError();
    // Whoever else made a pipe of this name would get the request, and could
    // answer it with anything.
    if (!IsTrustedServerUser(win32::PipeServerUserSid(pipe.Get()), win32::EffectiveUserSid())) {
        return kUntrustedServer;
    }
    auto impl = std::make_unique<PipeConnection::Impl>();
    impl->pipe = std::move(pipe);
    connection = PipeConnection(std::move(impl));
    return kSuccess;
}

ErrorCode WaitForPipe(std::u16string_view pipeName, std::uint32_t timeoutMilliseconds) {
    return WaitNamedPipeW(win32::WideString(pipeName).c_str(), timeoutMilliseconds)
               ? kSuccess
               : GetLastError();
}

}  // namespace mossvane::platform
