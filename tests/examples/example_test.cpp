// The client library's example program, as its user runs it: it asks for
// the number (typed into the server's dialog here) and sends a file as a job
// with the number in the job's information.
#include <filesystem>
#include <fstream>

#include "dialog_driver.h"
#include "job_client.h"
#include "server_harness.h"

namespace mossvane::testing {
namespace {

constexpr char16_t kCaption[] = u"Personal Identification Number";

std::string ExampleProgram() {
    const std::string program = MOSSVANE_EXAMPLE_PROGRAM;
    // A bare name is the build's own copy, beside the tests.
    if (std::filesystem::path(program).is_absolute()) return program;
    return ChildProcess::ProgramFolder() + program;
}

class ExampleTest : public ServerTest {
  protected:
    void SetUp() override {
        if (!test::DialogDriver::DisplayAvailable()) GTEST_SKIP() << "needs a display";
        ServerTest::SetUp();
    }
};

TEST_F(ExampleTest, SendsAFileWithTheTypedNumber) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    const std::filesystem::path prints = std::filesystem::path(folder()) / "prints";
    std::filesystem::create_directories(prints);
    SetPrintFolder(prints);
    const std::string data(10000, 'p');
    // A Linux file name may hold any bytes; the title is made of it all the same.
    const bool posix = ChildProcess::IsPosix();
    const std::string file = folder() + (posix ? "/R\xE9sum\xE9.prn" : "/page.prn");
    std::ofstream(file, std::ios::binary) << data;

    auto example = ChildProcess::Start(ExampleProgram(), {file}, folder());
    ASSERT_TRUE(example);
    test::DialogDriver driver;
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server->DebugOutput();
    ASSERT_TRUE(driver.EnterNumber(u"47110815"));
    ASSERT_TRUE(driver.PressOk());
    int exitCode = -1;
    ASSERT_TRUE(example->WaitForExit(kStartTimeout, exitCode));
    EXPECT_EQ(exitCode, 0) << example->StandardOutput() << example->DebugOutput();
    EXPECT_NE(example->StandardOutput().find("job sent"), std::string::npos);

    ASSERT_TRUE(
        WaitUntil([&] { return FilesWithExtension(prints, ".info").size() == 1; }, kStartTimeout));
    const std::string information = ReadFileBytes(FilesWithExtension(prints, ".info")[0]);
    EXPECT_NE(information.find("47110815"), std::string::npos) << information;
    EXPECT_NE(information.find(posix ? "R\xEF\xBF\xBDsum" : "page.prn"), std::string::npos)
        << information;
    const std::string stored = ReadFileBytes(FilesWithExtension(prints, ".prn")[0]);
    EXPECT_EQ(stored, data + "\x1B%-12345X");
}

TEST_F(ExampleTest, CancelledNumberSendsNothing) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    const std::string file = folder() + "/page.prn";
    std::ofstream(file, std::ios::binary) << "data";
    auto example = ChildProcess::Start(ExampleProgram(), {file}, folder());
    ASSERT_TRUE(example);
    test::DialogDriver driver;
    ASSERT_TRUE(driver.WaitForWindow(kCaption)) << server->DebugOutput();
    ASSERT_TRUE(driver.PressCancel());
    int exitCode = -1;
    ASSERT_TRUE(example->WaitForExit(kStartTimeout, exitCode));
    EXPECT_EQ(exitCode, 1);
    // Standard error is kept with the debugger output on POSIX, with the
    // standard output under Wine.
    const std::string output = example->StandardOutput() + example->DebugOutput();
    EXPECT_NE(output.find("the user gave no identification number"), std::string::npos) << output;
}

}  // namespace
}  // namespace mossvane::testing
