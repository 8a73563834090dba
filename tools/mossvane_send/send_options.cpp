#include "send_options.h"

#include <limits>

#include "platform/utf8.h"

namespace mossvane::send {

const char kUsage[] =
    "Usage:\n"
    "  mossvane-send request TEXT   send TEXT as a request and print the answer\n"
    "  mossvane-send getinfo        ask for the identification number and print the answer\n"
    "  mossvane-send job [--number N] [--info KEY=VALUE]... [--add-uel] FILE|-\n"
    "                               send FILE (or standard input) as a print job\n"
    "  mossvane-send --help         show this text\n"
    "\n"
    "The server of the current user receives the messages. A job is sent as one\n"
    "create message (job number N, by default one made from the process id and\n"
    "the clock), the data in pieces of at most 4100 bytes, and an end message\n"
    "with the job information entries. The server completes a job only when its\n"
    "data ends with the end-of-job marker (ESC \"%-12345X\"); --add-uel appends\n"
    "it when the data lacks it.\n"
    "\n"
    "Exit status: 0 on success, 1 for a usage error, 2 when no server runs or it\n"
    "stays busy, 3 when the exchange with the server failed or the server ended\n"
    "the job early, 4 when a job was sent without the end-of-job marker.\n";

namespace {

bool ParseJobNumber(std::u16string_view text, std::optional<std::uint32_t>& number) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    if (value > std::numeric_limits<std::uint32_t>::max()) return false;
    number = static_cast<std::uint32_t>(value);
    return true;
}

bool ParseJobOptions(const std::vector<std::u16string>& arguments, SendOptions& options,
                     std::string& error) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        bool hasValue = i + 1 < arguments.size();
        if (argument == u"--add-uel") {
            options.addEndOfJobMarker = true;
        } else if (argument == u"--number" && hasValue) {
            if (!ParseJobNumber(arguments[++i], options.jobNumber)) {
                error = "--number wants a job number from 0 to 4294967295";
                return false;
            }
        } else if (argument == u"--info" && hasValue) {
            const std::u16string& entry = arguments[++i];
            std::size_t equals = entry.find(u'=');
            if (equals == std::u16string::npos || entry.find_first_of(u"\r\n") != entry.npos) {
                error = "--info wants KEY=VALUE on one line";
                return false;
            }
            options.jobInformation[entry.substr(0, equals)] = entry.substr(equals + 1);
        } else if (options.file.empty() && (argument == u"-" || !argument.starts_with(u"--"))) {
            options.file = argument;
        } else {
            error = "unexpected argument '" + platform::Utf16ToUtf8(argument) + "'";
            return false;
        }
    }
    if (options.file.empty()) {
        error = "job wants a FILE, or - for standard input";
        return false;
    }
    return true;
}

}  // namespace

bool ParseSendOptions(const std::vector<std::u16string>& arguments, SendOptions& options,
                      std::string& error) {
    options = SendOptions();
    if (arguments.empty()) {
        error = "no command given";
        return false;
    }
    const std::u16string& command = arguments[0];
    if (command == u"--help" || command == u"-h" || command == u"help") {
        options.command = SendCommand::Help;
        return true;
    }
    if (command == u"getinfo" && arguments.size() == 1) {
        options.command = SendCommand::GetInfo;
        return true;
    }
    if (command == u"request" && arguments.size() == 2) {
        options.command = SendCommand::Request;
        options.requestText = arguments[1];
        return true;
    }
    if (command == u"job") {
        options.command = SendCommand::Job;
        return ParseJobOptions(arguments, options, error);
    }
    error = "unknown command or wrong number of arguments";
    return false;
}

}  // namespace mossvane::send
