// The user's named pipe on Windows. Server instances are overlapped so the
// listener can wait for a client and the exit event together; connection
// reads and writes still block, through an overlapped call that is waited on
// at once, which is how a blocking call on an overlapped handle is done right.
// The pipe belongs to its user: the first instance claims the name, only the
// user and the system may add instances, remote clients are turned away, and
// clients talk only to a server of their own user.
#include "platform/pipe.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "platform/debug_output.h"
#include "platform/pipe_backend.h"
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

namespace {

// A server ends a connection in order by flushing and disconnecting its
// instance, after which the client's reads fail with "pipe not connected".
// A server handle closed without that (its process ended, or it gave up)
// fails them with "broken pipe" instead: for the client that is the reset.
// On the server's side "broken pipe" stays the orderly end, since clients
// simply close their handles.
ErrorCode ClientReadError(ErrorCode error) {
    if (error == ERROR_PIPE_NOT_CONNECTED) return kBrokenPipe;
    if (error == ERROR_BROKEN_PIPE) return kConnectionReset;
    return error;
}

}  // namespace

PipeConnection::PipeConnection() = default;
PipeConnection::PipeConnection(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
PipeConnection::~PipeConnection() = default;
PipeConnection::PipeConnection(PipeConnection&&) noexcept = default;
PipeConnection& PipeConnection::operator=(PipeConnection&&) noexcept = default;

bool pipe_backend::IsOpen(const PipeConnection::Impl& connection) {
    return connection.pipe.IsValid();
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

ErrorCode pipe_backend::Read(PipeConnection::Impl& connection, void* buffer, std::size_t size,
                             std::size_t& bytesRead) {
    HANDLE pipe = connection.pipe.Get();
    DWORD timeout = INFINITE;
    // Looked at here, on the connection's own thread, so that the listener
    // takes the next client at once.
    if (connection.isServer && !connection.clientLookedAt) {
        connection.clientLookedAt = true;
        if (!IsIdentifiedClient(pipe)) timeout = kUnidentifiedClientPatienceMilliseconds;
    }
    ErrorCode error = connection.Complete(
        [&](DWORD* count, OVERLAPPED* overlapped) {
            return ReadFile(pipe, buffer, static_cast<DWORD>(size), count, overlapped);
        },
        bytesRead, timeout);
    if (error == kSuccess && bytesRead == 0) return kBrokenPipe;
    return connection.isServer ? error : ClientReadError(error);
}

ErrorCode pipe_backend::Write(PipeConnection::Impl& connection, const void* data, std::size_t size,
                              std::size_t& bytesWritten) {
    HANDLE pipe = connection.pipe.Get();
    return connection.Complete(
        [&](DWORD* count, OVERLAPPED* overlapped) {
            return WriteFile(pipe, data, static_cast<DWORD>(size), count, overlapped);
        },
        bytesWritten);
}

ErrorCode pipe_backend::SetByteReadMode(PipeConnection::Impl& connection) {
    DWORD mode = PIPE_READMODE_BYTE | PIPE_WAIT;
    return SetNamedPipeHandleState(connection.pipe.Get(), &mode, nullptr, nullptr) ? kSuccess
                                                                                   : GetLastError();
}

// A client handle is not overlapped: whether a read would block is asked of
// the pipe with PeekNamedPipe, in short pauses until the time runs out.
ErrorCode pipe_backend::WaitForData(PipeConnection::Impl& connection,
                                    std::uint32_t timeoutMilliseconds) {
    constexpr DWORD kPeekPauseMilliseconds = 10;
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD available = 0;
        // A failed peek means the pipe has ended: the next read reports it.
        if (!PeekNamedPipe(connection.pipe.Get(), nullptr, 0, nullptr, &available, nullptr)) {
            return kSuccess;
        }
        if (available > 0) return kSuccess;
        const DWORD elapsed = GetTickCount() - start;
        if (timeoutMilliseconds != kWaitForever && elapsed >= timeoutMilliseconds) {
            return kSemTimeout;
        }
        DWORD pause = kPeekPauseMilliseconds;
        if (timeoutMilliseconds != kWaitForever) {
            pause = std::min<DWORD>(pause, timeoutMilliseconds - elapsed);
        }
        Sleep(pause);
    }
}

ErrorCode pipe_backend::WaitForRoom(PipeConnection::Impl&, std::uint32_t) {
    return kSuccess;
}

// A disconnected pipe drops what its server had not read, and its client
// learns only that the pipe ended.
ErrorCode pipe_backend::WaitForServerEnd(PipeConnection::Impl& connection,
                                         std::uint32_t timeoutMilliseconds) {
    if (ErrorCode error = WaitForData(connection, timeoutMilliseconds)) return error;
    std::uint8_t byte = 0;
    std::size_t got = 0;
    const ErrorCode error = Read(connection, &byte, 1, got);
    if (error == kSuccess) return kMoreData;
    if (error == kBrokenPipe || error == ERROR_PIPE_NOT_CONNECTED) return kSuccess;
    return error;
}

ErrorCode PipeConnection::AllowServerToTakeForeground() {
    if (!IsValid()) return kInvalidHandle;
    ULONG serverProcess = 0;
    if (!GetNamedPipeServerProcessId(m_impl->pipe.Get(), &serverProcess)) return GetLastError();
    return AllowSetForegroundWindow(serverProcess) ? kSuccess : GetLastError();
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
ErrorCode pipe_backend::CheckClientUser(PipeConnection::Impl& connection) {
    if (!connection.isServer) return kSuccess;
    std::u16string clientSid;
    {
        ClientImpersonation impersonation(connection.pipe.Get());
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

// Closing an instance that was neither flushed nor disconnected breaks the
// pipe under the client: its next read fails with ERROR_BROKEN_PIPE, where
// a disconnect gives ERROR_PIPE_NOT_CONNECTED.
void PipeConnection::EndAsFailure() {
    Close();
}

void PipeConnection::Close() {
    m_impl.reset();
}

namespace {

// The overlapped connect on the pending instance. The system may still write
// `overlapped` until the connect has completed or been cancelled to the end.
struct PendingConnect {
    OVERLAPPED overlapped{};
    bool inProgress = false;
};

}  // namespace

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
    PendingConnect connect;

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

// How long the listener pauses before it tries a new instance after a
// connect failed in a way it can't wait out.
constexpr DWORD kConnectRetryPauseMs = 100;

enum class ConnectStart { Pending, Connected, Failed };

// Starts the overlapped connect of `pending`, signalled through `connectEvent`.
ConnectStart StartConnect(HANDLE pending, HANDLE connectEvent, OVERLAPPED& overlapped,
                          DWORD& error) {
    overlapped = {};
    overlapped.hEvent = connectEvent;
    if (ConnectNamedPipe(pending, &overlapped)) return ConnectStart::Connected;
    error = GetLastError();
    switch (error) {
        case ERROR_IO_PENDING:
            return ConnectStart::Pending;
        // A client that came between creation and connect (or already left
        // again) completes no overlapped operation: it is connected now.
        case ERROR_PIPE_CONNECTED:
        case ERROR_NO_DATA:
            return ConnectStart::Connected;
        default:
            return ConnectStart::Failed;
    }
}

// Waits for the connect event or the exit event (the connect wins when both
// are set).
ListenResult WaitForConnectOrExit(HANDLE connectEvent, const Event& exitEvent, ErrorCode& error) {
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

// Connects the pending instance of `listener` to the next client. A connect
// that fails at once would never signal its event: the instance is replaced
// after a short pause, so a lasting fault does not spin. The failed instance
// is closed only once its replacement is there, so the name stays claimed.
ListenResult WaitForConnect(PipeListener& listener, win32::UniqueHandle& pending,
                            HANDLE connectEvent, PendingConnect& connect, const Event& exitEvent,
                            ErrorCode& error) {
    for (;;) {
        DWORD connectError = 0;
        const ConnectStart start =
            StartConnect(pending.Get(), connectEvent, connect.overlapped, connectError);
        if (start != ConnectStart::Failed) {
            connect.inProgress = start == ConnectStart::Pending;
            if (start == ConnectStart::Connected) SetEvent(connectEvent);
            const ListenResult result = WaitForConnectOrExit(connectEvent, exitEvent, error);
            if (result == ListenResult::Connected) connect.inProgress = false;
            return result;
        }
        OutputDebugText(u"[PI] ConnectNamedPipe failed, GLE=" +
                        Utf8ToUtf16(std::to_string(connectError)) + u".");
        const win32::UniqueHandle failed = std::move(pending);
        if (WaitForSingleObject(exitEvent.native().handle.Get(), kConnectRetryPauseMs) ==
            WAIT_OBJECT_0) {
            return ListenResult::ExitRequested;
        }
        if ((error = listener.CreateInstance()) != kSuccess) return ListenResult::Failed;
    }
}

}  // namespace

ListenResult PipeListener::WaitForClient(const Event& exitEvent, PipeConnection& connection,
                                         ErrorCode& error) {
    error = kSuccess;
    for (;;) {
        ListenResult result = WaitForConnect(*this, m_impl->pending, m_impl->connectEvent.Get(),
                                             m_impl->connect, exitEvent, error);
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
    PendingConnect& connect = m_impl->connect;
    if (connect.inProgress) {
        // The cancelled connect owns its OVERLAPPED until the system reports
        // it complete.
        CancelIoEx(m_impl->pending.Get(), &connect.overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(m_impl->pending.Get(), &connect.overlapped, &ignored, TRUE);
        connect.inProgress = false;
    }
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

namespace mossvane::platform {

void PipeConnection::Flush() {
    if (IsValid()) FlushFileBuffers(m_impl->pipe.Get());
}

// A peek looks at the pipe without taking anything from it; it fails once
// the client has closed its handle.
bool PipeConnection::ClientHasGone() {
    if (!IsValid()) return true;
    DWORD available = 0;
    if (PeekNamedPipe(m_impl->pipe.Get(), nullptr, 0, nullptr, &available, nullptr)) return false;
    const DWORD error = GetLastError();
    return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED ||
           error == ERROR_NO_DATA;
}

}  // namespace mossvane::platform
