// Who is at the other end of the user's pipe, and the security the pipe is
// made with. Users are compared by the string form of their security
// identifiers, as pipe_client_identity.h decides.
#pragma once

#include <string>

#include "platform/win32/windows_include.h"

namespace mossvane::platform::win32 {

// The user of the access token, or the empty text.
std::u16string TokenUserSid(HANDLE token);

// The user this process runs as; the empty text when it can't be told.
const std::u16string& CurrentProcessUserSid();

// The user the calling thread acts as: the one it impersonates, else the
// process's own.
std::u16string EffectiveUserSid();

// The user the process `processId` runs as; empty when the process can't be
// opened or its token read (another user's process, as a rule).
std::u16string ProcessIdUserSid(ULONG processId);

// Client side: who serves the connected pipe. The server's process is asked
// first; when it can't be opened, the owner of the pipe tells, which only
// its creator (or an administrator) can have set.
std::u16string PipeServerUserSid(HANDLE pipe);

// Server side, right after a client connected: the user of the client's
// process, or empty. The process id comes from the client's system, so this
// only ever spares a client the silence bound; serving still rests on the
// identity the client's data carries.
std::u16string PipeClientProcessUserSid(HANDLE pipe);

// The pipe's security descriptor in the system's string form for a server
// running as userSid: owned by that user; the user and the system may create
// instances; everyone else may only read and write, also at low integrity.
std::wstring PipeSecurityText(std::u16string_view userSid);

}  // namespace mossvane::platform::win32
