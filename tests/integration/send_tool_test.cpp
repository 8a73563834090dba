// mossvane-send against the real server.
#include <filesystem>
#include <fstream>

#include "job_client.h"
#include "platform/event.h"
#include "server_harness.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {
namespace {

class SendToolTest : public ServerTest {
  protected:
    int RunTool(const std::vector<std::string>& arguments, std::string* output = nullptr) {
        return RunSendTool(arguments, output);
    }

    std::string WriteDataFile(std::size_t size) {
        std::string path = folder() + "/data.bin";
        std::ofstream file(path, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i) file.put(static_cast<char>(i * 31));
        return path;
    }
};

TEST_F(SendToolTest, ReportsWhenNoServerRuns) {
    std::string output;
    EXPECT_EQ(RunTool({"request", "@=OpenUI"}, &output), 2);
    EXPECT_NE(output.find("no server is running"), std::string::npos) << output;
}

TEST_F(SendToolTest, RequestIsAnsweredAndExitStopsTheServer) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    std::string output;
    EXPECT_EQ(RunTool({"request", "@=OpenUI"}, &output), 0);
    EXPECT_TRUE(output.empty()) << output;
    EXPECT_TRUE(WaitForDebugText(*server, "[PI] param: @=OpenUI"));

    EXPECT_EQ(RunTool({"request", "@=Exit"}), 0);
    int exitCode = -1;
    EXPECT_TRUE(server->WaitForExit(kStartTimeout, exitCode));
}

TEST_F(SendToolTest, JobGoesOutInPiecesAndEndsTheConnection) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    std::string data = WriteDataFile(10000);
    EXPECT_EQ(RunTool({"job", "--number", "7", "--info", "a=1", "--add-uel", data}), 0);
    EXPECT_TRUE(WaitForDebugText(*server, "[PI]InstanceThread exitting.."));
    EXPECT_EQ(server->DebugOutput().find("Invalid command data"), std::string::npos);
}

TEST_F(SendToolTest, JobWithoutMarkerIsReported) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    std::string output;
    EXPECT_EQ(RunTool({"job", WriteDataFile(100)}, &output), 4);
    EXPECT_NE(output.find("end-of-job marker"), std::string::npos) << output;
}

// Jobs sent one right after the other without a number of their own are all
// stored: the server names job files by the second and the number, and drops
// a job whose name is taken.
TEST_F(SendToolTest, JobsSentWithinOneSecondAreAllStored) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    const std::filesystem::path prints = std::filesystem::path(folder()) / "prints";
    std::filesystem::create_directories(prints);
    SetPrintFolder(prints);
    const std::string data = WriteDataFile(100);
    for (int job = 0; job < 3; ++job) EXPECT_EQ(RunTool({"job", "--add-uel", data}), 0);
    EXPECT_TRUE(WaitUntil([&] { return FilesWithExtension(prints, ".info").size() == 3; }, 30s))
        << server->DebugOutput();
    EXPECT_EQ(FilesWithExtension(prints, ".prn").size(), 3u);
}

// A stand-in server that reads a job up to the last byte of its end message
// and then ends the connection, as the server does when it drops a job.
class EarlyEndingServer {
  public:
    EarlyEndingServer() : m_listener(UserPipeName()) {}

    bool Listen() { return m_listener.CreateInstance() == platform::kSuccess; }

    bool TakeJobButItsLastByte() {
        platform::Event neverSet;
        platform::ErrorCode error = platform::kSuccess;
        if (m_listener.WaitForClient(neverSet, m_connection, error) !=
            platform::ListenResult::Connected) {
            return false;
        }
        for (;;) {
            Bytes header;
            if (!ReadExactly(4, header)) return false;
            const std::size_t length = header[2] | (header[3] << 8);
            const bool isEnd = header[1] == 3;
            Bytes payload;
            if (!ReadExactly(isEnd ? length - 1 : length, payload)) return false;
            if (isEnd) break;
        }
        m_connection.Close();
        return true;
    }

  private:
    bool ReadExactly(std::size_t size, Bytes& bytes) {
        bytes.resize(size);
        std::size_t done = 0;
        while (done < size) {
            std::size_t got = 0;
            if (m_connection.Read(bytes.data() + done, size - done, got) != platform::kSuccess) {
                return false;
            }
            done += got;
        }
        return true;
    }

    platform::PipeListener m_listener;
    platform::PipeConnection m_connection;
};

TEST_F(SendToolTest, JobEndedEarlyByTheServerIsReported) {
    // A Windows pipe drops unread bytes without a sign to its client.
    if (!ChildProcess::IsPosix()) GTEST_SKIP() << "a socket tells an early end apart";
    EarlyEndingServer server;
    ASSERT_TRUE(server.Listen());
    std::string program =
        ChildProcess::ProgramFolder() + "mossvane-send" + ChildProcess::ExecutableSuffix();
    auto tool = ChildProcess::Start(program, {"job", "--add-uel", WriteDataFile(100)}, folder());
    ASSERT_TRUE(tool);
    ASSERT_TRUE(server.TakeJobButItsLastByte());
    int exitCode = -1;
    ASSERT_TRUE(tool->WaitForExit(kStartTimeout, exitCode));
    EXPECT_EQ(exitCode, 3);
    EXPECT_NE(tool->DebugOutput().find("ended the job early"), std::string::npos)
        << tool->DebugOutput();
}

TEST_F(SendToolTest, MissingFileIsAUsageError) {
    std::string output;
    EXPECT_EQ(RunTool({"job", folder() + "/absent.prn"}, &output), 1);
    EXPECT_NE(output.find("cannot open"), std::string::npos) << output;
}

}  // namespace
}  // namespace mossvane::testing
