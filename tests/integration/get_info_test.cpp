// GETINFO against the real server, answered through the real dialog as a
// user would: typing, Enter, Escape.
#include <future>
#include <thread>

#include "dialog_driver.h"
#include "job_client.h"
#include "pipe/pipe_constants.h"
#include "platform/utf8.h"
#include "server_harness.h"
#include "server_inspection.h"
#include "wire/job_message.h"

namespace mossvane::testing {
namespace {

constexpr char16_t kCaption[] = u"Personal Identification Number";
constexpr char16_t kAnswerCancel[] = u"[Result]\nRETURN=CANCEL\n";
constexpr auto kAnswerTimeout = 60s;

// One client connection with a GETINFO request in flight.
class PendingRequest {
  public:
    explicit PendingRequest(platform::PipeConnection connection)
        : m_connection(std::move(connection)) {
        m_answer = std::async(std::launch::async, [this] { return Exchange(); });
    }

    bool Ready() { return m_answer.wait_for(0s) == std::future_status::ready; }

    std::u16string Answer() {
        if (m_answer.wait_for(kAnswerTimeout) != std::future_status::ready) return u"<no answer>";
        return m_answer.get();
    }

    // The end of this connection is what lets the next dialog show.
    void Close() { m_connection.Close(); }

  private:
    std::u16string Exchange() {
        std::vector<std::uint8_t> request = EncodeRequest(u"@=GETINFO");
        std::size_t written = 0;
        if (m_connection.Write(request.data(), request.size(), written) != platform::kSuccess) {
            return u"<write failed>";
        }
        std::vector<std::uint8_t> received;
        std::uint8_t buffer[kPipeBufferSize];
        for (;;) {
            std::size_t got = 0;
            if (m_connection.Read(buffer, sizeof buffer, got) != platform::kSuccess) break;
            received.insert(received.end(), buffer, buffer + got);
            if (received.size() >= 2 && received.size() % 2 == 0 &&
                received[received.size() - 1] == 0 && received[received.size() - 2] == 0) {
                break;
            }
        }
        std::u16string text;
        for (std::size_t i = 0; i + 1 < received.size() && (received[i] || received[i + 1]);
             i += 2) {
            text += static_cast<char16_t>(received[i] | (received[i + 1] << 8));
        }
        return text;
    }

    platform::PipeConnection m_connection;
    std::future<std::u16string> m_answer;
};

class GetInfoTest : public ServerTest {
  protected:
    void SetUp() override {
        if (!test::DialogDriver::DisplayAvailable()) GTEST_SKIP() << "needs a display";
        ServerTest::SetUp();
        m_server = StartServer();
        ASSERT_TRUE(m_server);
    }

    // A request left unanswered by a failed step blocks in its read until
    // its connection ends, and its future waits for that: the server goes
    // first, which ends every connection.
    void TearDown() override {
        if (m_server) m_server->Kill();
        m_requests.clear();
        ServerTest::TearDown();
    }

    PendingRequest* Ask() {
        platform::PipeConnection connection;
        if (!Connect(connection)) return nullptr;
        return m_requests.emplace_back(std::make_unique<PendingRequest>(std::move(connection)))
            .get();
    }

    ChildProcess& server() { return *m_server; }
    test::DialogDriver driver;

  private:
    std::unique_ptr<ChildProcess> m_server;
    std::vector<std::unique_ptr<PendingRequest>> m_requests;
};

TEST_F(GetInfoTest, TypedNumberIsFilteredAndAnswered) {
    auto request = Ask();
    ASSERT_TRUE(request);
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server().DebugOutput();
    ASSERT_TRUE(driver.EnterNumber(u"12a-3 4"));
    ASSERT_TRUE(driver.PressOk());
    EXPECT_EQ(request->Answer(), u"[Result]\nRETURN=OK\nPhoneNumber=1234\n");
    // The number never reaches the traces.
    EXPECT_EQ(server().DebugOutput().find("1234"), std::string::npos);
}

TEST_F(GetInfoTest, EscapeCancels) {
    auto request = Ask();
    ASSERT_TRUE(request);
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server().DebugOutput();
    ASSERT_TRUE(driver.EnterNumber(u"5678"));
    ASSERT_TRUE(driver.PressCancel());
    EXPECT_EQ(request->Answer(), kAnswerCancel);
}

TEST_F(GetInfoTest, ThreeDigitsKeepTheDialogOpenWithLackNumber) {
    auto request = Ask();
    ASSERT_TRUE(request);
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server().DebugOutput();
    ASSERT_TRUE(driver.EnterNumber(u"123"));
    ASSERT_TRUE(driver.PressOk());
    ASSERT_TRUE(driver.WaitForWindow(u"Lack Number"));
    ASSERT_TRUE(driver.ConfirmMessageBox(u"Lack Number"));
    EXPECT_TRUE(WaitUntil([&] { return !driver.IsShown(u"Lack Number"); }, 30s));
    EXPECT_FALSE(request->Ready());
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server().DebugOutput();
    ASSERT_TRUE(driver.PressCancel());
    EXPECT_EQ(request->Answer(), kAnswerCancel);
}

// Typed, confirmed too short, the message closed with Enter, typed on: the
// digits typed before the message stay and the rest is appended.
TEST_F(GetInfoTest, TypingGoesOnAfterTheLackNumberMessage) {
    auto request = Ask();
    ASSERT_TRUE(request);
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server().DebugOutput();
    ASSERT_TRUE(driver.TypeKeys(u"123"));
    ASSERT_TRUE(driver.PressEnterIn(kCaption));
    test::DialogDriver box;
    ASSERT_TRUE(box.WaitForWindow(u"Lack Number"));
    ASSERT_TRUE(box.PressEnterIn(u"Lack Number"));
    ASSERT_TRUE(WaitUntil([&] { return !box.IsShown(u"Lack Number"); }, 30s));
    ASSERT_TRUE(driver.TypeKeys(u"4"));
    ASSERT_TRUE(driver.PressEnterIn(kCaption));
    EXPECT_EQ(request->Answer(), u"[Result]\nRETURN=OK\nPhoneNumber=1234\n");
}

// A server told to stop while its dialog waits for the user takes the
// dialog with it.
TEST_F(GetInfoTest, DialogClosesWhenTheServerEnds) {
    auto request = Ask();
    ASSERT_TRUE(request);
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server().DebugOutput();
    platform::PipeConnection exitClient;
    ASSERT_TRUE(Connect(exitClient));
    std::vector<std::uint8_t> exitRequest = EncodeRequest(u"@=Exit");
    std::size_t written = 0;
    ASSERT_EQ(exitClient.Write(exitRequest.data(), exitRequest.size(), written),
              platform::kSuccess);
    int exitCode = -1;
    ASSERT_TRUE(server().WaitForExit(30s, exitCode)) << server().DebugOutput();
    EXPECT_EQ(exitCode, 0);
    const bool closed = WaitUntil([&] { return !driver.IsShown(kCaption); }, 30s);
    if (!closed) driver.PressCancel();  // Leave the display clean for the next test.
    EXPECT_TRUE(closed) << "the dialog outlived the server";
}

// EXIT while a GETINFO waits for its turn: the process ends at once, and a
// connection thread woken meanwhile finds everything it uses still there
// (run in the address sanitizer build to see the difference).
TEST_F(GetInfoTest, ExitWhileAGetInfoWaitsEndsTheServerCleanly) {
    auto first = Ask();
    ASSERT_TRUE(first);
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server().DebugOutput();
    ASSERT_TRUE(driver.PressCancel());
    EXPECT_EQ(first->Answer(), kAnswerCancel);
    auto waiting = Ask();
    ASSERT_TRUE(waiting);
    ASSERT_TRUE(WaitForDebugLineCount(server(), "[PI] param: @=GETINFO", 2, 30s));
    {
        platform::PipeConnection exitClient;
        ASSERT_TRUE(Connect(exitClient));
        std::vector<std::uint8_t> exitRequest = EncodeRequest(u"@=Exit");
        std::size_t written = 0;
        ASSERT_EQ(exitClient.Write(exitRequest.data(), exitRequest.size(), written),
                  platform::kSuccess);
    }  // Its end wakes the waiting request while the server stops.
    int exitCode = -1;
    ASSERT_TRUE(server().WaitForExit(30s, exitCode)) << server().DebugOutput();
    EXPECT_EQ(exitCode, 0);
    const std::string debug = server().DebugOutput();
    // Memory errors only: the toolkit of the dialog helper, whose output
    // lands here too, leaves allocations behind that a leak check reports.
    EXPECT_EQ(debug.find("ERROR: AddressSanitizer"), std::string::npos) << debug;
    EXPECT_EQ(debug.find("runtime error"), std::string::npos) << debug;
    waiting->Answer();
    // A dialog the woken request may have started goes with the server.
    EXPECT_TRUE(WaitUntil([&] { return driver.CountShown(kCaption) == 0; }, 30s));
}

TEST_F(GetInfoTest, SecondRequestWaitsUntilTheFirstConnectionEnds) {
    auto first = Ask();
    ASSERT_TRUE(first);
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server().DebugOutput();
    auto second = Ask();
    ASSERT_TRUE(second);
    ASSERT_TRUE(WaitForDebugLineCount(server(), "[PI] param: @=GETINFO", 2, 30s));
    // The second request is queued: watch for a while that no second dialog
    // comes up meanwhile.
    EXPECT_FALSE(WaitUntil([&] { return driver.CountShown(kCaption) > 1; }, 2s));

    ASSERT_TRUE(driver.EnterNumber(u"1111"));
    ASSERT_TRUE(driver.PressOk());
    EXPECT_EQ(first->Answer(), u"[Result]\nRETURN=OK\nPhoneNumber=1111\n");
    EXPECT_FALSE(second->Ready());
    first->Close();

    ASSERT_TRUE(driver.WaitForWindow(kCaption))
        << server().DebugOutput() << "\nsecond answer: " << platform::Utf16ToUtf8(second->Answer());
    ASSERT_TRUE(driver.EnterNumber(u"2222"));
    ASSERT_TRUE(driver.PressOk());
    EXPECT_EQ(second->Answer(), u"[Result]\nRETURN=OK\nPhoneNumber=2222\n");
}

// A client that gives up while its dialog is shown takes the dialog with it,
// and the next request in line gets its dialog at once.
TEST_F(GetInfoTest, DialogOfAClientThatLeftClosesAndTheNextFollows) {
    platform::PipeConnection leaving;
    ASSERT_TRUE(Connect(leaving));
    ASSERT_TRUE(WriteAll(leaving, EncodeRequest(u"@=GETINFO")));
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server().DebugOutput();
    auto next = Ask();
    ASSERT_TRUE(next);
    ASSERT_TRUE(WaitForDebugLineCount(server(), "[PI] param: @=GETINFO", 2, 30s));
    leaving.Close();
    EXPECT_TRUE(WaitUntil([&] { return !driver.IsOpen(); }, 30s))
        << "the dialog outlived its client";
    test::DialogDriver nextDialog;
    ASSERT_TRUE(nextDialog.WaitForWindow(kCaption)) << server().DebugOutput();
    ASSERT_TRUE(nextDialog.EnterNumber(u"3333"));
    ASSERT_TRUE(nextDialog.PressOk());
    EXPECT_EQ(next->Answer(), u"[Result]\nRETURN=OK\nPhoneNumber=3333\n");
}

// Once a number has been handed on, the server's memory holds no copy of it:
// after the dialog's answer, and after a job whose information carries one
// as a pin=ask print queue sends it. A short number and a long one take
// different roads through the strings that hold them.
TEST_F(GetInfoTest, NumberLeavesNoCopyInTheServersMemory) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "reading the thread sanitizer's mappings outlasts the server's idle time";
#endif
    if (!CountInProcessMemory(server().Id(), "PI")) GTEST_SKIP() << "can't read its memory here";
    auto copies = [&](std::u16string_view text) {  // As UTF-16 (little-endian) and UTF-8.
        const std::string utf16(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        return *CountInProcessMemory(server().Id(), utf16) +
               *CountInProcessMemory(server().Id(), platform::Utf16ToUtf8(text));
    };
    // The program's own texts show that its memory is read at all.
    ASSERT_GT(copies(u"[PI]InstanceThread"), 0u);
    auto request = Ask();
    ASSERT_TRUE(request);
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server().DebugOutput();
    ASSERT_TRUE(driver.EnterNumber(u"5813472"));
    ASSERT_TRUE(driver.PressOk());
    EXPECT_EQ(request->Answer(), u"[Result]\nRETURN=OK\nPhoneNumber=5813472\n");
    request->Close();
    ASSERT_TRUE(WaitForDebugLineCount(server(), "[PI]InstanceThread exitting..", 1, 30s));
    EXPECT_EQ(copies(u"5813472"), 0u) << "after GETINFO";

    platform::PipeConnection job;
    ASSERT_TRUE(Connect(job));
    const Bytes data(kEndOfJobMarker, kEndOfJobMarker + kEndOfJobMarkerSize);
    ASSERT_TRUE(WriteAll(job, EncodeWholeJob(7, data, u"PhoneNumber=73914062851937406285")));
    EXPECT_TRUE(StoredByServer(job));
    ASSERT_TRUE(WaitForDebugLineCount(server(), "[PI]InstanceThread exitting..", 2, 30s));
    EXPECT_EQ(copies(u"5813472") + copies(u"73914062851937406285"), 0u) << "after a job";
}

}  // namespace
}  // namespace mossvane::testing
