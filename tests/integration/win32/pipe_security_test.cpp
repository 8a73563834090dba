// The user's pipe against processes that are not what they should be: a pipe
// whose security lets others add instances, a client that can't be
// identified and stays silent, a server of another user. Under Wine every
// process runs as the same user; a process that lets nobody open it stands
// in for one of another user, and a pipe owned by another account for the
// server of one.
#include <aclapi.h>
#include <sddl.h>

#include <map>
#include <mutex>
#include <thread>

#include "platform/instance_mutex.h"
#include "platform/utf8.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/windows_include.h"
#include "server_harness.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {
namespace {

using platform::win32::UniqueHandle;
using platform::win32::UniqueLocalMemory;

constexpr char16_t kMutexBaseName[] = u"Global\\Mossvane";
constexpr char16_t kEveryone[] = u"S-1-1-0";
constexpr char16_t kLocalSystem[] = u"S-1-5-18";
constexpr char16_t kLocalService[] = u"S-1-5-19";
constexpr std::string_view kSilenceLine = "[PI] Client of no known user sent nothing";

std::u16string SidText(PSID sid) {
    UniqueLocalMemory text;
    if (!ConvertSidToStringSidW(sid, reinterpret_cast<LPWSTR*>(text.Receive()))) return {};
    return static_cast<const char16_t*>(text.Get());
}

std::u16string ThisUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    UniqueHandle owned(token);
    alignas(TOKEN_USER) BYTE buffer[256];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return {};
    return SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

// While it lives no other process may open this one, so nobody can tell its
// user from its process: what a process of another user is to a normal one.
class HiddenProcess {
  public:
    HiddenProcess() {
        GetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, &m_oldDacl, nullptr,
                        reinterpret_cast<PSECURITY_DESCRIPTOR*>(m_oldDescriptor.Receive()));
        ACL empty{};
        m_hidden = InitializeAcl(&empty, sizeof empty, ACL_REVISION) &&
                   SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, &empty, nullptr) == ERROR_SUCCESS;
    }
    ~HiddenProcess() {
        SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, m_oldDacl, nullptr);
    }
    HiddenProcess(const HiddenProcess&) = delete;
    HiddenProcess& operator=(const HiddenProcess&) = delete;

    bool IsHidden() const { return m_hidden; }

  private:
    UniqueLocalMemory m_oldDescriptor;
    PACL m_oldDacl = nullptr;
    bool m_hidden = false;
};

// The access each account gets from the pipe's DACL, and its owner.
struct PipeSecurity {
    std::u16string owner;
    std::map<std::u16string, ACCESS_MASK> allowed;
};

bool ReadPipeSecurity(HANDLE pipe, PipeSecurity& security) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    UniqueLocalMemory descriptor;
    if (GetSecurityInfo(
            pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
            nullptr, &dacl, nullptr,
            reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Receive())) != ERROR_SUCCESS ||
        dacl == nullptr) {
        return false;
    }
    security.owner = SidText(owner);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return false;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        security.allowed[SidText(&allowed->SidStart)] |= allowed->Mask;
    }
    return true;
}

// A pipe of the user's name made by the test itself, owned by the account
// the test chooses. It answers the first request with an empty answer and
// keeps what it was sent.
class StandInServer {
  public:
    explicit StandInServer(const std::u16string& ownerSid) {
        const std::wstring text = L"O:" + Wide(ownerSid) + L"D:(A;;GA;;;WD)";
        UniqueLocalMemory descriptor;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
                text.c_str(), SDDL_REVISION_1,
                reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Receive()), nullptr)) {
            return;
        }
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
        m_pipe.Reset(
            CreateNamedPipeW(m_name.c_str(), PIPE_ACCESS_DUPLEX, 0, 1, 4104, 4104, 0, &attributes));
        if (m_pipe.IsValid()) m_thread = std::thread(&StandInServer::Serve, this);
    }
    ~StandInServer() { Stop(); }

    bool IsListening() const { return m_pipe.IsValid(); }

    // Everything a client sent, once it has gone.
    std::size_t BytesReceived() {
        Stop();
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_received;
    }

  private:
    void Serve() {
        if (!ConnectNamedPipe(m_pipe.Get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
            return;
        }
        BYTE buffer[4104];
        DWORD got = 0;
        while (ReadFile(m_pipe.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
            std::lock_guard<std::mutex> guard(m_mutex);
            const bool first = m_received == 0;
            m_received += got;
            const char16_t answer[1] = {u'\0'};
            DWORD written = 0;
            if (first) WriteFile(m_pipe.Get(), answer, sizeof answer, &written, nullptr);
        }
    }

    // A server still waiting for its client is released by a client of its own.
    void Stop() {
        if (!m_thread.joinable()) return;
        UniqueHandle release(CreateFileW(m_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
        release.Reset();
        m_thread.join();
    }

    const std::wstring m_name = Wide(UserPipeName());
    UniqueHandle m_pipe;
    std::thread m_thread;
    std::mutex m_mutex;
    std::size_t m_received = 0;
};

class PipeSecurityTest : public ServerTest {
  protected:
    std::unique_ptr<ChildProcess> StartTool(const std::vector<std::string>& arguments) {
        return ChildProcess::Start(
            ChildProcess::ProgramFolder() + "mossvane-send" + ChildProcess::ExecutableSuffix(),
            arguments, folder());
    }
};

TEST_F(PipeSecurityTest, OnlyTheUserAndTheSystemMayAddInstances) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    UniqueHandle client(CreateFileW(Wide(UserPipeName()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(client.IsValid()) << GetLastError();
    PipeSecurity security;
    ASSERT_TRUE(ReadPipeSecurity(client.Get(), security));

    const std::u16string user = ThisUserSid();
    EXPECT_EQ(security.owner, user) << "only its creator may be the owner clients trust";
    for (const auto& [sid, mask] : security.allowed) {
        const bool mayAdd = (mask & FILE_CREATE_PIPE_INSTANCE) != 0;
        EXPECT_EQ(mayAdd, sid == user || sid == kLocalSystem) << platform::Utf16ToUtf8(sid);
    }
    // Driver modules at low integrity and in services connect as anyone.
    constexpr ACCESS_MASK kReadWrite = FILE_READ_DATA | FILE_WRITE_DATA | SYNCHRONIZE;
    EXPECT_EQ(security.allowed[kEveryone] & kReadWrite, kReadWrite);
    EXPECT_NE(security.allowed[user] & FILE_CREATE_PIPE_INSTANCE, 0u);
}

TEST_F(PipeSecurityTest, SilentClientOfNoKnownUserIsEndedAndTheServerStillStops) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    // Known once the server has read from it: this user's process may then
    // take its time.
    const std::vector<std::uint8_t> request = {'@', 0, '=', 0, 'x', 0, 0, 0};
    std::uint8_t byte = 0;
    std::size_t got = 0;
    std::size_t written = 0;
    platform::PipeConnection known;
    ASSERT_TRUE(Connect(known));
    ASSERT_EQ(known.Write(request.data(), request.size(), written), platform::kSuccess);
    ASSERT_EQ(known.Read(&byte, 1, got), platform::kSuccess);

    HiddenProcess hidden;
    ASSERT_TRUE(hidden.IsHidden());
    platform::PipeConnection unknown;
    ASSERT_TRUE(Connect(unknown));
    const auto connected = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitForDebugText(
        *server, kSilenceLine,
        std::chrono::milliseconds(platform::kUnidentifiedClientPatienceMilliseconds) + 30s))
        << server->DebugOutput();
    EXPECT_GE(std::chrono::steady_clock::now() - connected, 9s);
    EXPECT_NE(unknown.Read(&byte, 1, got), platform::kSuccess) << "the server ended it";

    // The known client, silent just as long, is still served.
    ASSERT_EQ(known.Read(&byte, 1, got), platform::kSuccess);  // The first answer's rest.
    ASSERT_EQ(known.Write(request.data(), request.size(), written), platform::kSuccess);
    ASSERT_EQ(known.Read(&byte, 1, got), platform::kSuccess);
    EXPECT_EQ(CountOccurrences(server->DebugOutput(), kSilenceLine), 1u);

    known.Close();
    unknown.Close();
    int exitCode = -1;
    ASSERT_TRUE(server->WaitForExit(kIdleStopTimeout, exitCode)) << server->DebugOutput();
    EXPECT_EQ(CountLines(server->DebugOutput(), "[PI] ExitThread End ( No More)"), 1u);
}

struct ServerOwnerCase {
    const char* name;
    bool ownedByThisUser;
};

void PrintTo(const ServerOwnerCase& param, std::ostream* out) {
    *out << param.name;
}

class ServerIdentityTest : public PipeSecurityTest,
                           public ::testing::WithParamInterface<ServerOwnerCase> {};

// The server's process can't be opened, so its pipe's owner tells who it is.
TEST_P(ServerIdentityTest, SendToolTalksOnlyToAServerOfItsUser) {
    HiddenProcess hidden;
    ASSERT_TRUE(hidden.IsHidden());
    StandInServer standIn(GetParam().ownedByThisUser ? ThisUserSid() : kLocalService);
    ASSERT_TRUE(standIn.IsListening());

    auto tool = StartTool({"request", "@=OpenUI"});
    ASSERT_TRUE(tool);
    int exitCode = -1;
    ASSERT_TRUE(tool->WaitForExit(kStartTimeout, exitCode));
    const std::string output = tool->StandardOutput() + tool->DebugOutput();
    if (GetParam().ownedByThisUser) {
        EXPECT_EQ(exitCode, 0) << output;
        EXPECT_EQ(standIn.BytesReceived(), 18u);
    } else {
        EXPECT_EQ(exitCode, 2) << output;
        EXPECT_NE(output.find("is served by a process of another user"), std::string::npos)
            << output;
        EXPECT_EQ(standIn.BytesReceived(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Owners, ServerIdentityTest,
                         ::testing::Values(ServerOwnerCase{"ThisUser", true},
                                           ServerOwnerCase{"LocalService", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PipeSecurityTest, ExitVerbSendsNothingToAServerOfAnotherUser) {
    // The lock held here makes the verb talk to the pipe's server.
    platform::ErrorCode error = platform::kSuccess;
    platform::NamedMutex lock =
        platform::NamedMutex::Create(NameWithUserSuffix(kMutexBaseName), error);
    ASSERT_EQ(error, platform::kSuccess);
    HiddenProcess hidden;
    ASSERT_TRUE(hidden.IsHidden());
    StandInServer standIn(kLocalService);
    ASSERT_TRUE(standIn.IsListening());

    auto verb = StartProgram({"/Exit"});
    ASSERT_TRUE(verb);
    int exitCode = -1;
    ASSERT_TRUE(verb->WaitForExit(kStartTimeout, exitCode));
    const std::string debug = verb->DebugOutput();
    EXPECT_NE(debug.find("[PI] CallServer - pipe server is not this user's, nothing sent(Error "
                         "Code: 1396)"),
              std::string::npos)
        << debug;
    EXPECT_EQ(CountLines(debug, "call after"), 1u) << debug;
    EXPECT_EQ(standIn.BytesReceived(), 0u);
    lock.Release();
}

}  // namespace
}  // namespace mossvane::testing
