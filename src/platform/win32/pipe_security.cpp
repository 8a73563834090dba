// Identities at both ends of the user's pipe, read from process tokens and
// from the pipe's own security descriptor.
#include "platform/win32/pipe_security.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "platform/win32/unique_handle.h"

namespace mossvane::platform::win32 {

namespace {

// Generic file read and write on a pipe, FILE_CREATE_PIPE_INSTANCE included
// (the same bit as FILE_APPEND_DATA, so GENERIC_WRITE asks for it too).
constexpr wchar_t kCreateAndUse[] = L"0x12019f";
// The same without FILE_CREATE_PIPE_INSTANCE: connect, read, write.
constexpr wchar_t kUseOnly[] = L"0x12019b";

std::u16string SidText(PSID sid) {
    UniqueLocalMemory text;
    if (!ConvertSidToStringSidW(sid, reinterpret_cast<LPWSTR*>(text.Receive()))) return {};
    return std::u16string(static_cast<const char16_t*>(text.Get()));
}

}  // namespace

std::u16string TokenUserSid(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    return SidText(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

namespace {

std::u16string ProcessUserSid(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    UniqueHandle owned(token);
    return TokenUserSid(token);
}

std::u16string PipeOwnerSid(HANDLE pipe) {
    PSID owner = nullptr;
    UniqueLocalMemory descriptor;
    if (GetSecurityInfo(
            pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
            reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Receive())) != ERROR_SUCCESS ||
        owner == nullptr) {
        return {};
    }
    return SidText(owner);
}

}  // namespace

const std::u16string& CurrentProcessUserSid() {
    // Never destroyed: connection threads may still use it while the process ends.
    static const auto* sid = new std::u16string(ProcessUserSid(GetCurrentProcess()));
    return *sid;
}

std::u16string EffectiveUserSid() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        return CurrentProcessUserSid();
    }
    UniqueHandle owned(token);
    return TokenUserSid(token);
}

std::u16string ProcessIdUserSid(ULONG processId) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process.IsValid()) return {};
    return ProcessUserSid(process.Get());
}

std::u16string PipeServerUserSid(HANDLE pipe) {
    ULONG processId = 0;
    if (GetNamedPipeServerProcessId(pipe, &processId)) {
        std::u16string sid = ProcessIdUserSid(processId);
        if (!sid.empty()) return sid;
    }
    return PipeOwnerSid(pipe);
}

std::u16string PipeClientProcessUserSid(HANDLE pipe) {
    ULONG processId = 0;
    if (!GetNamedPipeClientProcessId(pipe, &processId)) return {};
    return ProcessIdUserSid(processId);
}

std::wstring PipeSecurityText(std::u16string_view userSid) {
    const std::wstring user = WideString(userSid);
    return L"O:" + user + L"D:(A;;" + kUseOnly + L";;;WD)(A;;" + kCreateAndUse + L";;;SY)(A;;" +
           kCreateAndUse + L";;;" + user + L")S:(ML;;NW;;;LW)";
}

}  // namespace mossvane::platform::win32
