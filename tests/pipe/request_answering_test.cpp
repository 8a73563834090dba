// Answers to requests, and the order in which GETINFO requests get their
// dialogs, with a stand-in dialog instead of a window.
#include "pipe/request_answering.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "log/log_settings.h"
#include "pipe/pipe_constants.h"
#include "pipe/pipe_server.h"
#include "pipe/server_state.h"
#include "platform/registry.h"
#include "support/debug_capture.h"
#include "support/settings_sandbox.h"

namespace mossvane {
namespace {

using namespace std::chrono_literals;

constexpr auto kDeadline = 30s;

struct Answer {
    std::u16string text;
    std::uint32_t length = 0;
};

Answer Ask(std::u16string_view request) {
    std::u16string terminated(request);
    std::vector<char16_t> buffer(kAnswerCapacity, u'#');
    Answer answer;
    PipeServer::GetAnswerToRequest(terminated.c_str(), buffer.data(), &answer.length);
    answer.text = buffer.data();
    return answer;
}

// A dialog that stays open until the test closes it with a result.
class FakeDialogs {
  public:
    std::int32_t Show(const std::string& owner, std::u16string& number) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_opened.push_back(owner);
        ++m_open;
        m_maxOpen = std::max(m_maxOpen, m_open);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_closeWith.has_value(); });
        std::int32_t result = *m_closeWith;
        number = m_number;
        m_closeWith.reset();
        --m_open;
        return result;
    }

    bool WaitForOpened(std::size_t count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kDeadline, [&] { return m_opened.size() >= count; });
    }

    void Close(std::int32_t result, std::u16string number = {}) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closeWith = result;
        m_number = std::move(number);
        m_changed.notify_all();
    }

    std::vector<std::string> Opened() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_opened;
    }
    int MaxOpen() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_maxOpen;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_opened;
    std::optional<std::int32_t> m_closeWith;
    std::u16string m_number;
    int m_open = 0;
    int m_maxOpen = 0;
};

thread_local std::string t_requestName;

class RequestAnsweringTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetServerState();
        SetNumberPrompt([this](std::u16string& number, const ClientGoneCheck&) {
            return dialogs.Show(t_requestName, number);
        });
    }
    void TearDown() override {
        for (auto& thread : m_threads) thread.join();
        SetNumberPrompt(nullptr);
    }

    // Sends GETINFO on a thread of its own, as a connection would, and waits
    // until it has drawn its ticket.
    void StartGetInfo(const std::string& name, Answer& answer) {
        std::int32_t ticketsBefore = DrawnTickets();
        m_threads.emplace_back([name, &answer] {
            t_requestName = name;
            answer = Ask(u"@=GETINFO");
        });
        auto deadline = std::chrono::steady_clock::now() + kDeadline;
        while (DrawnTickets() == ticketsBefore && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_GT(DrawnTickets(), ticketsBefore);
    }

    void FinishRequest(std::size_t index) {
        m_threads[index].join();
        m_threads[index] = std::thread([] {});
    }

    static std::int32_t DrawnTickets() {
        std::lock_guard<std::mutex> guard(Server().lock);
        return Server().MySeqNo + 1;
    }

    // What the end of any connection does to the waiting requests.
    static void EndSomeConnection() { Server().turnEvent.Set(); }

    FakeDialogs dialogs;
    test::SettingsSandbox sandbox;

  private:
    std::vector<std::thread> m_threads;
};

TEST_F(RequestAnsweringTest, ConfirmedNumberIsAnsweredAsText) {
    Answer answer;
    StartGetInfo("A", answer);
    ASSERT_TRUE(dialogs.WaitForOpened(1));
    dialogs.Close(1, u"0123");
    FinishRequest(0);
    EXPECT_EQ(answer.text, u"[Result]\nRETURN=OK\nPhoneNumber=0123\n");
    EXPECT_EQ(answer.length, (answer.text.size() + 1) * 2);
    EXPECT_EQ(Server().CurrentNo.load(), 1);
}

TEST_F(RequestAnsweringTest, CancelledOrFailedDialogIsAnsweredAsCancel) {
    std::size_t request = 0;
    for (std::int32_t result : {2, -1, 0}) {
        Answer answer;
        StartGetInfo("A", answer);
        ASSERT_TRUE(dialogs.WaitForOpened(request + 1));
        dialogs.Close(result, u"1234");
        FinishRequest(request++);
        EXPECT_EQ(answer.text, u"[Result]\nRETURN=CANCEL\n") << result;
        EXPECT_EQ(answer.length, (answer.text.size() + 1) * 2);
        EndSomeConnection();
        ResetServerState();
    }
}

TEST_F(RequestAnsweringTest, ThreeWaitersGetTheirDialogsInTicketOrderOneAtATime) {
    Answer a, b, c, d;
    StartGetInfo("A", a);
    ASSERT_TRUE(dialogs.WaitForOpened(1));
    StartGetInfo("B", b);
    StartGetInfo("C", c);
    StartGetInfo("D", d);

    dialogs.Close(1, u"1111");
    FinishRequest(0);
    // No connection has ended yet: the waiters stay where they are. Absence
    // can only be watched for a while.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(dialogs.Opened().size(), 1u);

    for (std::size_t next = 2; next <= 4; ++next) {
        EndSomeConnection();
        ASSERT_TRUE(dialogs.WaitForOpened(next));
        dialogs.Close(2);
        FinishRequest(next - 1);
    }
    EXPECT_EQ(dialogs.Opened(), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(dialogs.MaxOpen(), 1);
    EXPECT_EQ(Server().CurrentNo.load(), 4);
    EXPECT_EQ(b.text, u"[Result]\nRETURN=CANCEL\n");
}

TEST_F(RequestAnsweringTest, ConnectionEndingDuringADialogLetsTheNextFollowAtOnce) {
    Answer a, b;
    StartGetInfo("A", a);
    ASSERT_TRUE(dialogs.WaitForOpened(1));
    StartGetInfo("B", b);
    EndSomeConnection();  // A job connection ends while A's dialog is open.
    dialogs.Close(1, u"9999");
    ASSERT_TRUE(dialogs.WaitForOpened(2));
    dialogs.Close(1, u"8888");
    FinishRequest(0);
    FinishRequest(1);
    EXPECT_EQ(b.text, u"[Result]\nRETURN=OK\nPhoneNumber=8888\n");
}

// A dialog that fails with an exception still answers its client and passes
// the turn on, so the queue can't stall behind it.
TEST_F(RequestAnsweringTest, DialogThatThrowsIsAnsweredAsCancelAndPassesTheTurnOn) {
    SetNumberPrompt([this](std::u16string& number, const ClientGoneCheck&) -> std::int32_t {
        if (t_requestName == "A") throw std::runtime_error("no window");
        return dialogs.Show(t_requestName, number);
    });
    Answer a, b;
    StartGetInfo("A", a);
    FinishRequest(0);
    EXPECT_EQ(a.text, u"[Result]\nRETURN=CANCEL\n");
    EXPECT_EQ(a.length, (a.text.size() + 1) * 2);
    EXPECT_EQ(Server().CurrentNo.load(), 1);

    EndSomeConnection();
    StartGetInfo("B", b);
    ASSERT_TRUE(dialogs.WaitForOpened(1));
    dialogs.Close(1, u"5555");
    FinishRequest(1);
    EXPECT_EQ(b.text, u"[Result]\nRETURN=OK\nPhoneNumber=5555\n");
    EXPECT_EQ(Server().CurrentNo.load(), 2);
}

TEST_F(RequestAnsweringTest, OverlongAnswerIsCutToTheBuffer) {
    Answer answer;
    StartGetInfo("A", answer);
    ASSERT_TRUE(dialogs.WaitForOpened(1));
    dialogs.Close(1, std::u16string(3000, u'7'));
    FinishRequest(0);
    EXPECT_EQ(answer.text.size(), kAnswerCapacity - 1);
    EXPECT_EQ(answer.length, kAnswerCapacity * 2);
}

struct EmptyAnswerCase {
    const char* name;
    std::u16string request;
};

void PrintTo(const EmptyAnswerCase& request, std::ostream* out) {
    *out << request.name;
}

class EmptyAnswerTest : public ::testing::TestWithParam<EmptyAnswerCase> {
  protected:
    test::SettingsSandbox sandbox;
};

TEST_P(EmptyAnswerTest, IsTwoZeroBytesWithoutDialog) {
    ResetServerState();
    SetNumberPrompt([](std::u16string&, const ClientGoneCheck&) -> std::int32_t {
        ADD_FAILURE() << "no dialog may be shown";
        return 2;
    });
    Answer answer = Ask(GetParam().request);
    EXPECT_EQ(answer.text, u"");
    EXPECT_EQ(answer.length, 2u);
    EXPECT_EQ(Server().MySeqNo, -1);
    SetNumberPrompt(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Requests, EmptyAnswerTest,
                         ::testing::Values(EmptyAnswerCase{"OpenUI", u"@=OpenUI"},
                                           EmptyAnswerCase{"NoCommand", u"a=b"},
                                           EmptyAnswerCase{"EmptyText", u""},
                                           EmptyAnswerCase{"GetInfoWithSpace", u"@=GETINFO "},
                                           EmptyAnswerCase{"LowerKey", u"@@=GETINFO"}),
                         [](const auto& info) { return info.param.name; });

// With the trace on at level 2 the answering of one GETINFO shows its
// entry, its messages and its return lines, and never the number.
TEST(RequestAnsweringTraceTest, GetInfoWritesEnterMessagesAndLeaveLines) {
    test::SettingsSandbox sandbox({std::u16string(kLogSettingsKey)});
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kLogSettingsKey,
                                            platform::RegistryAccess::All, key),
              platform::kSuccess);
    for (auto [name, value] : {std::pair{kLogIsEnabledValue, 1u}, {kLogModuleLevelValue, 2u}}) {
        ASSERT_EQ(key.SetValue(name, platform::reg_type::kDword, &value, sizeof value),
                  platform::kSuccess);
    }
    ResetServerState();
    SetNumberPrompt([](std::u16string& number, const ClientGoneCheck&) {
        number = u"4711";
        return 2;
    });
    std::string trace;
    {
        test::DebugCapture capture;
        Answer answer = Ask(u"@=GETINFO");
        ASSERT_TRUE(capture.Sync());
        for (const std::string& text : capture.Texts()) trace += text;
        EXPECT_EQ(answer.text, u"[Result]\nRETURN=CANCEL\n");
    }
    SetNumberPrompt(nullptr);
    for (const char* expected : {
             "<<<  Function - PipeServer::GetAnswerToRequest  : enter",
             "===  Function - PipeServer::GetAnswerToRequest  <GetInfo>",
             "<<<  Function - PipeServer::InitInfo  : enter",
             "===  Function - PipeServer::InitInfo  <MySeqNo : 0, CurrentNo : 0>",
             ">>>  Function - PipeServer::InitInfo   : leave after ",
             "===  Function - PipeServer::GetAnswerToRequest  <CANCEL>",
             ">>>  Function - PipeServer::GetAnswerToRequest   : leave after ",
             "[PI] param: @=GETINFO",
         }) {
        EXPECT_NE(trace.find(expected), std::string::npos) << expected << "\n" << trace;
    }
    EXPECT_EQ(trace.find("PI is existing"), std::string::npos);
    EXPECT_EQ(trace.find("4711"), std::string::npos);
}

// Runs last in its process: the exit event is never reset.
TEST(RequestAnsweringExitTest, ExitInAnyCaseSetsTheExitEvent) {
    test::SettingsSandbox sandbox;
    EXPECT_FALSE(Server().exitEvent.IsSet());
    Answer answer = Ask(u"@=eXit");
    EXPECT_TRUE(Server().exitEvent.IsSet());
    EXPECT_EQ(answer.length, 2u);
}

}  // namespace
}  // namespace mossvane
