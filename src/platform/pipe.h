// The user's named pipe: the listener that hands out connected instances, the
// connection itself, and the client side. Names are given in the Windows form
// "\\.\pipe\<name>"; each backend maps them to its own kind of endpoint.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/error.h"
#include "platform/event.h"

namespace mossvane::platform {

// The byte a socket connection ends with instead of an orderly close when
// the server ends it as a failure (see PipeConnection::EndAsFailure).
inline constexpr std::uint8_t kFailedEndByte = 0x15;

// A time limit that never runs out, as the system's INFINITE.
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFF;

// How long a server instance waits for the first bytes of a client that
// could not be told, when it connected, to run as this user or the system
// (on Windows: its process can't be opened). Such a connection that stays
// silent ends with kSemTimeout, so it holds neither a thread nor the idle
// stop for long. Clients that were told wait without limit.
inline constexpr std::uint32_t kUnidentifiedClientPatienceMilliseconds = 10000;

// One end of a connected pipe: a server instance or a client handle. Reads
// and writes block (except the first read of an unidentified client, see
// above). A read gives kBrokenPipe once the peer has ended the connection in
// order (after everything it wrote was read), and kConnectionReset when the
// peer's end went away otherwise: it closed with data still unread or, where
// the system tells it apart, its process ended without ending the connection.
class PipeConnection {
  public:
    PipeConnection();
    ~PipeConnection();
    PipeConnection(PipeConnection&&) noexcept;
    PipeConnection& operator=(PipeConnection&&) noexcept;
    PipeConnection(const PipeConnection&) = delete;
    PipeConnection& operator=(const PipeConnection&) = delete;

    bool IsValid() const;

    // Reads whatever is available, at least one byte, at most size bytes.
    ErrorCode Read(void* buffer, std::size_t size, std::size_t& bytesRead);

    // Writes all bytes in one call.
    ErrorCode Write(const void* data, std::size_t size, std::size_t& bytesWritten);

    // Server side, once something was read: whether the client may be
    // served (see pipe_client_identity.h). kSuccess, kAccessDenied for a
    // client of another user, or the system's code when its user can't be
    // told (such a client is not served either).
    ErrorCode CheckClientUser();

    // Client side: byte read mode, blocking (the only mode the program uses).
    ErrorCode SetByteReadMode();

    // Client side: waits until a Read would not block (data is there, or the
    // server has ended the connection), at most timeoutMilliseconds.
    // kSemTimeout when nothing came in time.
    ErrorCode WaitForData(std::uint32_t timeoutMilliseconds);

    // Client side: waits until a Write has room to start, at most
    // timeoutMilliseconds; kSemTimeout when the server took nothing in time.
    // A Windows pipe can't tell in advance, so there it says kSuccess.
    ErrorCode WaitForRoom(std::uint32_t timeoutMilliseconds);

    // Client side, after a message the server answers by ending the
    // connection: waits for that end, at most timeoutMilliseconds. kSuccess
    // when the server took everything that was sent; kNetnameDeleted when it
    // ended with sent bytes left unread (a socket tells this apart, a Windows
    // pipe does not); kMoreData when it sent something instead; kSemTimeout.
    ErrorCode WaitForServerEnd(std::uint32_t timeoutMilliseconds);

    // Client side, before a request that shows a window (GETINFO): lets the
    // server's process take the foreground, which the system otherwise
    // refuses a background process. Fails harmlessly when this process may
    // not give that right itself; nothing to do on POSIX.
    ErrorCode AllowServerToTakeForeground();

    // Server side end of a connection: waits until the client has read what
    // was written, disconnects the instance and closes it.
    void FlushAndDisconnect();

    // Server side: waits until the client has read what was written (or has
    // gone), keeping the connection. Bytes written to a socket reach the
    // client even once the server's process has ended, so there it returns
    // at once; a Windows pipe instance drops what is left when its process
    // ends.
    void Flush();

    // Server side: whether the client has ended its side of the connection,
    // seen without reading anything. A client that has only stopped sending
    // (a socket's half close) can still read an answer and has not gone.
    bool ClientHasGone();

    // Server side end of a connection whose client must not take the end for
    // an orderly one (a job that was not stored): the client's wait for the
    // end gives kMoreData (a socket: one byte, kFailedEndByte, then the
    // close) or kConnectionReset (a Windows pipe: closed without flushing or
    // disconnecting, which the client reads as a broken pipe).
    void EndAsFailure();

    void Close();

    struct Impl;
    explicit PipeConnection(std::unique_ptr<Impl> impl);

  private:
    std::unique_ptr<Impl> m_impl;
};

enum class ListenResult { Connected, ExitRequested, Failed };

// Server side. One pending instance at a time waits for the next client.
class PipeListener {
  public:
    explicit PipeListener(std::u16string_view pipeName);
    ~PipeListener();
    PipeListener(const PipeListener&) = delete;
    PipeListener& operator=(const PipeListener&) = delete;

    // Creates the next pending instance; the system error code on failure.
    // The first one claims the name: kAlreadyExists when another process
    // already has a pipe of that name, which this listener then never joins.
    ErrorCode CreateInstance();

    // Waits for a client on the pending instance or for exitEvent, whichever
    // comes first. Once exitEvent is set no further client is taken; only a
    // client the system has already connected to the pending instance (a
    // Windows pipe instance, which closing would drop) is still handed over.
    // On Connected the instance moves into connection; on Failed error holds
    // the cause.
    ListenResult WaitForClient(const Event& exitEvent, PipeConnection& connection,
                               ErrorCode& error);

    // Closes the instance that is still waiting, if any.
    void ClosePendingInstance();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Client side: opens an existing pipe. kPipeBusy when every instance is in
// use, kFileNotFound when no server listens (yet), kUntrustedServer when the
// pipe may belong to another user: its server runs as neither the calling
// user nor (on Windows) the system, or (on POSIX) the runtime folder or the
// socket file is not the user's own, or others may write to the folder. The
// connection is then closed before anything is sent. Other codes (such as
// kAccessDenied, kFilenameTooLong) are failures that waiting does not mend.
// The server may only identify the client, never act as it.
ErrorCode ConnectToPipe(std::u16string_view pipeName, PipeConnection& connection);

// Waits until an instance of the pipe may be free, never longer than
// timeoutMilliseconds: kSuccess when the caller should try ConnectToPipe
// again, kSemTimeout when the time ran out, kFileNotFound when the pipe is
// gone. A socket gives no "instance free" signal: there a short pause stands
// for the wait, and the caller keeps the deadline of the whole busy wait.
ErrorCode WaitForPipe(std::u16string_view pipeName, std::uint32_t timeoutMilliseconds);

}  // namespace mossvane::platform
