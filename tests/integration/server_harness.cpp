#include "server_harness.h"

#include <thread>

#include "l10n/l10n_constants.h"
#include "pipe/pipe_constants.h"
#include "platform/registry.h"
#include "wire/job_message.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {

std::future<std::u16string> AskForNumber(platform::PipeConnection& connection) {
    return std::async(std::launch::async, [&connection] {
        const std::vector<std::uint8_t> request = EncodeRequest(u"@=GETINFO");
        std::size_t written = 0;
        if (connection.Write(request.data(), request.size(), written) != platform::kSuccess) {
            return std::u16string(u"<write failed>");
        }
        std::vector<std::uint8_t> received(4104);
        std::size_t got = 0;
        if (connection.Read(received.data(), received.size(), got) != platform::kSuccess) {
            return std::u16string(u"<read failed>");
        }
        std::u16string text;
        for (std::size_t i = 0; i + 1 < got && (received[i] || received[i + 1]); i += 2) {
            text += static_cast<char16_t>(received[i] | (received[i + 1] << 8));
        }
        return text;
    });
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
}

std::size_t CountOccurrences(std::string_view text, std::string_view needle) {
    std::size_t count = 0;
    for (auto at = text.find(needle); at != std::string_view::npos;
         at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

std::size_t CountLines(std::string_view text, std::string_view line) {
    std::size_t count = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view current = text.substr(0, end);
        if (!current.empty() && current.back() == '\r') current.remove_suffix(1);
        if (current == line) ++count;
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return count;
}

void ServerTest::SetUp() {
    m_sandbox =
        std::make_unique<test::SettingsSandbox>(std::vector<std::u16string>{l10n::kPlugInKeyPath});
}

void ServerTest::TearDown() {
    m_sandbox.reset();
}

std::unique_ptr<ChildProcess> ServerTest::StartProgram(const std::vector<std::string>& arguments) {
    std::string program =
        ChildProcess::ProgramFolder() + "mossvane" + ChildProcess::ExecutableSuffix();
    // Children left running by a failed test are killed by their destructor.
    return ChildProcess::Start(program, arguments, folder());
}

int ServerTest::RunSendTool(const std::vector<std::string>& arguments, std::string* output) {
    const std::string program =
        ChildProcess::ProgramFolder() + "mossvane-send" + ChildProcess::ExecutableSuffix();
    auto tool = ChildProcess::Start(program, arguments, folder());
    if (!tool) return -1;
    int exitCode = -1;
    if (!tool->WaitForExit(kStartTimeout, exitCode)) return -1;
    if (output) *output = tool->StandardOutput() + tool->DebugOutput();
    return exitCode;
}

std::unique_ptr<ChildProcess> ServerTest::StartServer() {
    auto server = StartProgram();
    if (!server) return nullptr;
    // A client that connects and leaves at once is harmless: the exit check
    // it starts ends as soon as the test's own client is there.
    if (!WaitForDebugText(*server, "LastError: 0")) return nullptr;
    return server;
}

bool ServerTest::Connect(platform::PipeConnection& connection, std::chrono::milliseconds timeout) {
    std::u16string name = UserPipeName();
    return WaitUntil(
        [&] {
            platform::ErrorCode error = platform::ConnectToPipe(name, connection);
            if (error == platform::kPipeBusy) platform::WaitForPipe(name, 1000);
            return error == platform::kSuccess;
        },
        timeout);
}

bool ServerTest::WaitForDebugText(const ChildProcess& process, std::string_view needle,
                                  std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return process.DebugOutput().find(needle) != std::string::npos; },
                     timeout);
}

bool ServerTest::WaitForDebugLineCount(const ChildProcess& process, std::string_view line,
                                       std::size_t count, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return CountLines(process.DebugOutput(), line) >= count; }, timeout);
}

void ServerTest::SetIsPreparing(std::uint32_t value) {
    platform::RegistryKey key;
    ASSERT_EQ(
        platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, l10n::kPlugInKeyPath,
                                      platform::RegistryAccess::ReadWrite, key),
        platform::kSuccess);
    ASSERT_EQ(key.SetValue(kIsPreparingValue, platform::reg_type::kDword, &value, sizeof value),
              platform::kSuccess);
}

}  // namespace mossvane::testing
