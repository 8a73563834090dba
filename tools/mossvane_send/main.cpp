// mossvane-send: the command-line peer of the server, for a print path on
// Linux, scripts and tests. It sends a request and prints the answer, or sends
// a file as a print job.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "client/client_io.h"
#include "client/connect.h"
#include "job_sender.h"
#include "params/param_map.h"
#include "params/param_text.h"
#include "platform/console.h"
#include "platform/utf8.h"
#include "send_options.h"
#include "wire/pipe_name.h"

namespace mossvane::send {
namespace {

constexpr int kExitUsage = 1;
constexpr int kExitNoServer = 2;
constexpr int kExitFailed = 3;
constexpr int kExitNoMarker = 4;
// A server that is just starting gets two seconds; a busy one as long as
// the command verbs give it.
constexpr client::ConnectPatience kConnectPatience{2000, 100, 20000};
constexpr std::uint64_t kProgressThreshold = 1 << 20;

void PrintError(const std::string& message) {
    std::cerr << "mossvane-send: " << message << "\n";
}

// Draws a bar on the terminal while a large job goes out.
class ProgressBar {
  public:
    explicit ProgressBar(std::uint64_t total) : m_total(total) {}

    void Update(std::uint64_t sent) {
        int percent = static_cast<int>(sent * 100 / m_total);
        if (percent == m_lastPercent) return;
        m_lastPercent = percent;
        std::string bar(static_cast<std::size_t>(percent / 4), '#');
        bar.resize(25, ' ');
        std::cerr << "\r[" << bar << "] " << percent << "%" << std::flush;
    }

    ~ProgressBar() {
        if (m_lastPercent >= 0) std::cerr << "\n";
    }

  private:
    std::uint64_t m_total;
    int m_lastPercent = -1;
};

int Connect(platform::PipeConnection& connection) {
    const std::u16string pipeName = UserPipeName();
    platform::ErrorCode error = platform::kSuccess;
    switch (client::ConnectWithRetries(pipeName, kConnectPatience, connection, error)) {
        case client::ConnectResult::Connected:
            return 0;
        case client::ConnectResult::StayedBusy:
            PrintError("the server of this user stays busy (pipe " +
                       platform::Utf16ToUtf8(pipeName) + ")");
            return kExitNoServer;
        case client::ConnectResult::UntrustedServer:
            PrintError("the pipe " + platform::Utf16ToUtf8(pipeName) +
                       " is served by a process of another user, or its folder or file is not "
                       "this user's alone; nothing was sent to it");
            return kExitNoServer;
        case client::ConnectResult::Failed:
            PrintError("the pipe " + platform::Utf16ToUtf8(pipeName) + " can't be opened (error " +
                       std::to_string(error) + ")");
            return kExitNoServer;
        case client::ConnectResult::NoInstance:
            break;
    }
    PrintError("no server is running for this user (pipe " + platform::Utf16ToUtf8(pipeName) + ")");
    return kExitNoServer;
}

// The server may end before it answers EXIT; the request got there all the same.
bool IsExitRequest(std::u16string_view text) {
    ParamMap request;
    ParseParamText(text.data(), static_cast<std::uint32_t>(text.size()), request);
    return GetCommandUpperCase(request) == u"EXIT";
}

int RunRequest(std::u16string_view text) {
    platform::PipeConnection connection;
    if (int status = Connect(connection)) return status;
    // A request may show the number dialog; the server may bring it to the
    // front only with this process's leave. Without it the dialog still
    // shows, so a refusal is not an error.
    connection.AllowServerToTakeForeground();
    std::u16string answer;
    platform::ErrorCode error = client::ExchangeRequest(connection, text, answer);
    // The server may end, in whatever way, before it answers EXIT.
    if ((error == platform::kBrokenPipe || error == platform::kConnectionReset) &&
        IsExitRequest(text)) {
        return 0;
    }
    if (error != platform::kSuccess) {
        PrintError("the server gave no answer (error " + std::to_string(error) + ")");
        return kExitFailed;
    }
    std::cout << platform::Utf16ToUtf8(answer) << std::flush;
    return 0;
}

int ReportJobResult(JobResult result) {
    switch (result) {
        case JobResult::Sent:
            return 0;
        case JobResult::SentWithoutMarker:
            PrintError(
                "the data does not end with the end-of-job marker, so the server "
                "keeps the job incomplete; --add-uel appends the marker");
            return kExitNoMarker;
        case JobResult::ReadFailed:
            PrintError("reading the job data failed");
            return kExitFailed;
        case JobResult::ServerEndedEarly:
            PrintError(
                "the server ended the job early and did not store it (its debug output says "
                "why)");
            return kExitFailed;
        case JobResult::InformationTooLarge:
            PrintError("the job information is too large for one message; nothing was sent");
            return kExitUsage;
        case JobResult::NotStored:
            PrintError(
                "the server did not store the job: its file name was taken, or its files "
                "could not be written (its debug output says which)");
            return kExitFailed;
        case JobResult::OutcomeUnknown:
            PrintError(
                "the connection failed after the whole job was sent; whether it was "
                "stored is unknown");
            return kExitFailed;
    }
    return kExitFailed;
}

int RunJob(const SendOptions& options) {
    std::ifstream file;
    std::istream* data = &std::cin;
    std::uint64_t total = 0;
    if (options.file == u"-") {
        platform::SetStandardInputBinary();
    } else {
        std::filesystem::path path(options.file);
        file.open(path, std::ios::binary);
        if (!file) {
            PrintError("cannot open '" + platform::Utf16ToUtf8(options.file) + "'");
            return kExitUsage;
        }
        std::error_code ignored;
        total = std::filesystem::file_size(path, ignored);
        data = &file;
    }
    platform::PipeConnection connection;
    if (int status = Connect(connection)) return status;

    bool showProgress =
        total >= kProgressThreshold && platform::IsTerminal(platform::StandardStream::Error);
    ProgressBar bar(total);
    client::ProgressCallback progress;
    if (showProgress) progress = [&bar](std::uint64_t sent) { bar.Update(sent); };
    return ReportJobResult(SendJob(connection, options, *data, progress));
}

}  // namespace
}  // namespace mossvane::send

int main(int argc, char** argv) {
    using namespace mossvane::send;
    SendOptions options;
    std::string error;
    if (!ParseSendOptions(mossvane::platform::CommandLineArguments(argc, argv), options, error)) {
        PrintError(error);
        std::cerr << kUsage;
        return kExitUsage;
    }
    switch (options.command) {
        case SendCommand::Help:
            std::cout << kUsage;
            return 0;
        case SendCommand::Request:
            return RunRequest(options.requestText);
        case SendCommand::GetInfo:
            return RunRequest(u"@=GETINFO");
        case SendCommand::Job:
            return RunJob(options);
    }
    return kExitUsage;
}
