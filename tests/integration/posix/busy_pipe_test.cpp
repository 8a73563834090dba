// Clients against a socket whose listen queue is full and which never takes
// anyone: the stand-in for a pipe whose instances all stay busy.
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstring>

#include "platform/instance_mutex.h"
#include "platform/posix/posix_util.h"
#include "server_harness.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {
namespace {

constexpr char16_t kMutexBaseName[] = u"Global\\Mossvane";
constexpr auto kBusyWait = std::chrono::seconds(20);
constexpr auto kGenerousEnd = std::chrono::seconds(90);

class BusyPipeTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        // Another process of the user holds the lock: the verbs act as clients.
        platform::ErrorCode error = platform::kSuccess;
        m_lock = platform::NamedMutex::Create(NameWithUserSuffix(kMutexBaseName), error);
        ASSERT_EQ(error, platform::kSuccess);
        std::string path;
        ASSERT_EQ(platform::posix::RuntimeObjectPath(UserPipeName(), "", path), platform::kSuccess);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(path.size(), sizeof address.sun_path);
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const auto* raw = reinterpret_cast<const sockaddr*>(&address);
        m_listener.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ASSERT_EQ(bind(m_listener.Get(), raw, sizeof address), 0);
        // A queue of none: the first connection fills it, later ones are busy.
        ASSERT_EQ(listen(m_listener.Get(), 0), 0);
        m_queued.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        ASSERT_EQ(connect(m_queued.Get(), raw, sizeof address), 0);
    }

    void TearDown() override {
        m_lock.Release();
        m_lock.Close();
        ServerTest::TearDown();
    }

  private:
    platform::NamedMutex m_lock;
    platform::posix::UniqueFd m_listener;
    platform::posix::UniqueFd m_queued;
};

TEST_F(BusyPipeTest, VerbsAndSendToolGiveUpAfterOneBusyWait) {
    const auto start = std::chrono::steady_clock::now();
    auto verb = StartProgram({"/Exit"});
    ASSERT_TRUE(verb);
    auto tool = ChildProcess::Start(ChildProcess::ProgramFolder() + "mossvane-send",
                                    {"request", "@=OpenUI"}, folder());
    ASSERT_TRUE(tool);

    int verbExit = -1;
    ASSERT_TRUE(verb->WaitForExit(kGenerousEnd, verbExit)) << "the verb waits forever";
    EXPECT_GE(std::chrono::steady_clock::now() - start, kBusyWait - std::chrono::seconds(1));
    EXPECT_EQ(CountLines(verb->DebugOutput(), "[PI] CallServer - Could not open pipe"), 1u)
        << verb->DebugOutput();
    EXPECT_EQ(CountLines(verb->DebugOutput(), "call after"), 1u);

    int toolExit = -1;
    ASSERT_TRUE(tool->WaitForExit(kGenerousEnd, toolExit)) << "mossvane-send waits forever";
    EXPECT_EQ(toolExit, 2);
    EXPECT_NE(tool->DebugOutput().find("busy"), std::string::npos) << tool->DebugOutput();
}

}  // namespace
}  // namespace mossvane::testing
