// The client library inside a host process on Linux: cancelled threads,
// servers, folders and sockets of other users, the copies of the number, and
// job numbers drawn by many processes at once.
#include <malloc.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <thread>

#include "mossvane/client.h"
#include "server_harness.h"

namespace mossvane::testing {
namespace {

namespace fs = std::filesystem;
constexpr std::uint32_t kPatientMs = 20000;
constexpr uid_t kOtherUid = 54321;
constexpr char16_t kNumberAnswer[] = u"[Result]\nRETURN=OK\nPhoneNumber=73910264851739026485\n";

std::string UserSocket() {
    return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/Mossvane_root";
}

std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

// A server of the test's own: the socket is bound by this process, and a
// thread listens on it as `uid` (the raw system call changes that thread's
// user only) and answers whatever a client sends with `answer`, if any.
// Received() ends it and tells how many bytes reached it.
class FakeServer {
  public:
    FakeServer(const std::string& path, uid_t uid, std::u16string_view answer = {}) {
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        const int bound = bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        std::promise<bool> listening;
        std::future<bool> listens = listening.get_future();
        m_thread = std::thread([=, this, listening = std::move(listening)]() mutable {
            listening.set_value(bound == 0 && syscall(SYS_setresuid, uid, uid, uid) == 0 &&
                                listen(m_socket, 8) == 0);
            for (int client; (client = accept(m_socket, nullptr, nullptr)) >= 0; close(client)) {
                char bytes[4104];
                for (ssize_t got; (got = read(client, bytes, sizeof bytes)) > 0;
                     m_received += got) {
                    write(client, answer.data(), answer.empty() ? 0 : answer.size() * 2 + 2);
                }
            }
        });
        EXPECT_TRUE(listens.get()) << path;
    }
    ~FakeServer() {
        Received();
        close(m_socket);
    }

    std::size_t Received() {
        if (m_thread.joinable()) shutdown(m_socket, SHUT_RDWR), m_thread.join();
        return m_received;
    }

  private:
    int m_socket = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::thread m_thread;
    std::atomic<std::size_t> m_received{0};
};

class ClientHostTest : public ServerTest {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
        ServerTest::SetUp();
    }
};

// A thread cancelled while the library waits for a server that is not there
// yet (false), or for the user's answer (true): it unwinds, the host lives
// on, and no descriptor is left open.
class HostSafetyTest : public ClientHostTest, public ::testing::WithParamInterface<bool> {};

extern "C" void* AskForNumber(void* threadId) {
    static_cast<std::atomic<pid_t>*>(threadId)->store(gettid());
    char number[MOSSVANE_NUMBER_SIZE];
    mossvane_get_number(number, sizeof number, 60000);
    return nullptr;
}

bool IsBlocked(pid_t thread) {
    std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
    std::string pid, name, state;
    return stat >> pid >> name >> state && state == "S";
}

TEST_P(HostSafetyTest, CancelledCallUnwinds) {
    const std::size_t descriptors = OpenDescriptors();
    auto silent = GetParam() ? std::make_unique<FakeServer>(UserSocket(), 0) : nullptr;
    std::atomic<pid_t> threadId{0};
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, AskForNumber, &threadId), 0);
    ASSERT_TRUE(WaitUntil([&] { return threadId != 0 && IsBlocked(threadId); }, kStartTimeout));
    pthread_cancel(thread);
    void* result = nullptr;
    pthread_join(thread, &result);
    EXPECT_EQ(result, PTHREAD_CANCELED);
    EXPECT_TRUE(!silent || silent->Received() > 0);
    silent.reset();
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(Waits, HostSafetyTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Dialog" : "Retry"; });

// What may lead the library to another user's server, or may not be opened
// at all: refused at once, with nothing sent. Each scene breaks one rule
// only. The library runs as root, or (asUser) as a user without a runtime
// folder variable, who falls back to /tmp/mossvane-<uid>.
struct RefusalCase {
    const char* name;
    bool asUser;
    int status;
};

void PrintTo(const RefusalCase& param, std::ostream* out) {
    *out << param.name;
}

class ConnectRefusalTest : public ClientHostTest,
                           public ::testing::WithParamInterface<RefusalCase> {
  protected:
    void TearDown() override {
        fs::remove_all(m_fallback);
        ClientHostTest::TearDown();
    }

    // The scene, and the server in it that the library must not reach.
    std::unique_ptr<FakeServer> Arrange(std::string_view scene) {
        const fs::path runtime = std::getenv("XDG_RUNTIME_DIR");
        const std::string fallbackSocket = m_fallback + "/Mossvane";
        if (scene == "PathTooLong") {
            fs::create_directories(runtime / std::string(100, 'x'));
            setenv("XDG_RUNTIME_DIR", (runtime / std::string(100, 'x')).c_str(), 1);
        }
        if (scene == "ListenerOfAnotherUser") {
            return std::make_unique<FakeServer>(UserSocket(), kOtherUid);
        }
        if (scene == "SymlinkedSocket") {
            fs::create_symlink(UserSocket() + "-elsewhere", UserSocket());
            return std::make_unique<FakeServer>(UserSocket() + "-elsewhere", 0);
        }
        if (scene == "FolderOpenToOthers" || scene == "FolderOfAnotherUser") {
            chmod(runtime.c_str(), scene == "FolderOpenToOthers" ? 0777 : 0700);
            chown(runtime.c_str(), scene == "FolderOpenToOthers" ? 0 : kOtherUid, 0);
            return std::make_unique<FakeServer>(UserSocket(), 0);
        }
        if (scene != "FallbackOfAnotherUser" && scene != "SocketDeniesTheUser") return nullptr;
        // The user's own server and socket, in a folder of another user's,
        // or in the user's folder on a socket the user may not open.
        mkdir(m_fallback.c_str(), 0700);
        chown(m_fallback.c_str(), scene == "SocketDeniesTheUser" ? m_user : kOtherUid, 0);
        auto server = std::make_unique<FakeServer>(fallbackSocket, m_user);
        chown(fallbackSocket.c_str(), m_user, m_user);
        chmod(fallbackSocket.c_str(), scene == "SocketDeniesTheUser" ? 0 : 0600);
        return server;
    }

    // The library's status, from a child that runs as the user if asked.
    int Call(bool asUser, std::uint32_t timeoutMs) {
        if (const pid_t child = fork(); child != 0) {
            int result = -1;
            waitpid(child, &result, 0);
            return WEXITSTATUS(result);
        }
        if (asUser &&
            (unsetenv("XDG_RUNTIME_DIR") != 0 || setresuid(m_user, m_user, m_user) != 0)) {
            _exit(99);
        }
        char answer[64];
        _exit(mossvane_request("@=GETINFO", answer, sizeof answer, nullptr, timeoutMs));
    }

    const uid_t m_user = 60000 + getpid() % 5000;
    const std::string m_fallback = "/tmp/mossvane-" + std::to_string(m_user);
};

TEST_P(ConnectRefusalTest, NothingIsSentAndTheCallEndsAtOnce) {
    const std::string_view scene = GetParam().name;
    auto server = Arrange(scene);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Call(GetParam().asUser, scene == "NoFallbackIsMade" ? 300 : kPatientMs),
              GetParam().status);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kPatientMs / 2));
    EXPECT_TRUE(!server || server->Received() == 0);
    EXPECT_FALSE(scene == "NoFallbackIsMade" && fs::exists(m_fallback));
}

constexpr int kUntrusted = MOSSVANE_UNTRUSTED_SERVER;

INSTANTIATE_TEST_SUITE_P(
    Scenes, ConnectRefusalTest,
    ::testing::Values(RefusalCase{"ListenerOfAnotherUser", false, kUntrusted},
                      RefusalCase{"SymlinkedSocket", false, kUntrusted},
                      RefusalCase{"FolderOpenToOthers", false, kUntrusted},
                      RefusalCase{"FolderOfAnotherUser", false, kUntrusted},
                      RefusalCase{"PathTooLong", false, MOSSVANE_NAME_TOO_LONG},
                      RefusalCase{"FallbackOfAnotherUser", true, kUntrusted},
                      RefusalCase{"SocketDeniesTheUser", true, MOSSVANE_ACCESS_DENIED},
                      RefusalCase{"NoFallbackIsMade", true, MOSSVANE_NO_SERVER}),
    [](const auto& info) { return std::string(info.param.name); });

// Every block the scanning thread frees is searched for the number (UTF-16,
// as the library holds it) before it goes back to the allocator. The
// sanitizers bring an allocator of their own, which this can't stand before.
thread_local bool t_scanFrees = false;
std::atomic<int> g_copiesFreed{0};

struct ScanFrees {
    ScanFrees() { t_scanFrees = true; }
    ~ScanFrees() { t_scanFrees = false; }
};

// Used by the free hook below, which the sanitizers leave out.
[[maybe_unused]] bool HoldsNumber(const void* block, std::size_t size) {
    const std::u16string_view units(static_cast<const char16_t*>(block), size / 2);
    return units.find(std::u16string_view(kNumberAnswer).substr(31, 10)) != units.npos;
}

TEST_F(ClientHostTest, NoFreedBlockHoldsTheNumber) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocator can't be watched";
#endif
    char number[MOSSVANE_NUMBER_SIZE];
    {
        FakeServer dialog(UserSocket(), 0, kNumberAnswer);
        const ScanFrees scan;
        ASSERT_EQ(mossvane_get_number(number, sizeof number, kPatientMs), MOSSVANE_OK);
    }
    EXPECT_EQ(g_copiesFreed, 0) << "after mossvane_get_number";
    auto server = StartServer();
    mossvane_job* job = nullptr;
    ASSERT_EQ(mossvane_job_open(&job, 1, kPatientMs), MOSSVANE_OK);
    const mossvane_job_info info[] = {{"PhoneNumber", number}, {"Title", "Copies"}};
    const ScanFrees scan;
    EXPECT_EQ(mossvane_job_end(job, info, 2, MOSSVANE_JOB_ADD_END_MARKER), MOSSVANE_OK);
    EXPECT_EQ(g_copiesFreed, 0) << "after a job with the number in its information";
}

// Processes started one after another within a second must not meet in the
// part of the job number that names the job's file; nor may the jobs of one.
TEST(JobNumberTest, FileNamesOfProcessesStartedTogetherDiffer) {
    int numbers[2];
    ASSERT_EQ(pipe(numbers), 0);
    for (int i = 0; i < 100; ++i) {
        if (fork() != 0) continue;
        const std::uint32_t drawn[] = {mossvane_new_job_number(), mossvane_new_job_number()};
        _exit(write(numbers[1], drawn, sizeof drawn) == sizeof drawn ? 0 : 1);
    }
    close(numbers[1]);
    std::set<std::uint32_t> acrossProcesses, inOneProcess;
    for (std::uint32_t n = 0; read(numbers[0], &n, sizeof n) == sizeof n;) {
        acrossProcesses.insert(n % 10000);
    }
    while (wait(nullptr) > 0) {
    }
    for (int i = 0; i < 200; ++i) inOneProcess.insert(mossvane_new_job_number() % 10000);
    EXPECT_EQ(acrossProcesses.size(), 200u);
    EXPECT_EQ(inOneProcess.size(), 200u);
}

}  // namespace
}  // namespace mossvane::testing

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" void __libc_free(void* block);

extern "C" void free(void* block) {
    using namespace mossvane::testing;
    if (block != nullptr && t_scanFrees && HoldsNumber(block, malloc_usable_size(block))) {
        ++g_copiesFreed;
    }
    __libc_free(block);
}
#endif
