// A fixture that runs the real server in a private set of folders: each test
// gets fresh runtime, configuration and data folders and its own settings
// hives, so tests never touch the user's files and can run side by side.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "platform/pipe.h"
#include "support/settings_sandbox.h"

namespace mossvane::testing {

using namespace std::chrono_literals;

// Generous bounds for a loaded two-core machine.
inline constexpr auto kStartTimeout = 30s;
inline constexpr auto kIdleStopTimeout = 60s;

// Polls the condition until it holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

std::size_t CountOccurrences(std::string_view text, std::string_view needle);

// Counts whole lines equal to line.
std::size_t CountLines(std::string_view text, std::string_view line);

// Sends a GETINFO on the connection and reads the answer in the background;
// the answer's text once the dialog has ended.
std::future<std::u16string> AskForNumber(platform::PipeConnection& connection);

class ServerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program under test with the given arguments.
    std::unique_ptr<ChildProcess> StartProgram(const std::vector<std::string>& arguments = {});

    // Starts a server and waits until its pipe takes clients.
    std::unique_ptr<ChildProcess> StartServer();

    // Runs mossvane-send and waits for it: its exit status, or -1; output
    // receives its standard output and error.
    int RunSendTool(const std::vector<std::string>& arguments, std::string* output = nullptr);

    // Connects to the user's pipe, retrying while it is absent or busy.
    bool Connect(platform::PipeConnection& connection,
                 std::chrono::milliseconds timeout = kStartTimeout);

    bool WaitForDebugText(const ChildProcess& process, std::string_view needle,
                          std::chrono::milliseconds timeout = kStartTimeout);
    bool WaitForDebugLineCount(const ChildProcess& process, std::string_view line,
                               std::size_t count, std::chrono::milliseconds timeout);

    // Sets the per-user "IsPreparing" value.
    void SetIsPreparing(std::uint32_t value);

    // Where the children's outputs are kept.
    std::string folder() const { return m_sandbox->FilesFolder().string(); }

  private:
    // Removes the driver plug-in key before and after each test: under Wine
    // the registry is the prefix's own and outlives the test.
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
};

}  // namespace mossvane::testing
