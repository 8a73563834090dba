// mossvane-send against the real server.
#include <filesystem>
#include <fstream>

#include "server_harness.h"

namespace mossvane::testing {
namespace {

class SendToolTest : public ServerTest {
  protected:
    // Runs mossvane-send and waits for it; its exit status, or -1.
    int RunTool(const std::vector<std::string>& arguments, std::string* output = nullptr) {
        std::string program =
            ChildProcess::ProgramFolder() + "mossvane-send" + ChildProcess::ExecutableSuffix();
        auto tool = ChildProcess::Start(program, arguments, folder());
        if (!tool) return -1;
        int exitCode = -1;
        if (!tool->WaitForExit(kStartTimeout, exitCode)) return -1;
        if (output) *output = tool->StandardOutput() + tool->DebugOutput();
        return exitCode;
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

TEST_F(SendToolTest, MissingFileIsAUsageError) {
    std::string output;
    EXPECT_EQ(RunTool({"job", folder() + "/absent.prn"}, &output), 1);
    EXPECT_NE(output.find("cannot open"), std::string::npos) << output;
}

}  // namespace
}  // namespace mossvane::testing
