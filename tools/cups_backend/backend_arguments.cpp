#include "backend_arguments.h"

#include <charconv>

#include "client/job_stream.h"
#include "platform/utf8.h"

namespace mossvane::cups {

namespace {

constexpr std::size_t kJobArgumentCount = 5;
constexpr std::size_t kJobArgumentCountWithFile = 6;
constexpr char16_t kOptionsKey[] = u"Options";
// The blanks that separate options, as CUPS's own option parser has them.
constexpr std::string_view kOptionBlanks = " \t\n\r\f\v";
constexpr std::string_view kSecretSuffixes[] = {"password", "password-encryption"};

// Decimal digits only, no sign, no spaces, within 32 bits.
bool ParseNumber(std::string_view text, std::uint32_t& value) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    return status == std::errc() && end == text.data() + text.size();
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

// One option from position at, with its quotes and escapes taken off; at
// ends after it.
std::string ReadOptionWord(std::string_view options, std::size_t& at) {
    std::string word;
    char quote = 0;
    for (; at < options.size(); ++at) {
        char c = options[at];
        if (quote == 0 && kOptionBlanks.find(c) != std::string_view::npos) break;
        if (c == '\\' && at + 1 < options.size()) {
            word += options[++at];
        } else if (quote != 0 && c == quote) {
            quote = 0;
        } else if (quote == 0 && (c == '\'' || c == '"')) {
            quote = c;
        } else {
            word += c;
        }
    }
    return word;
}

std::string JoinOptions(const std::vector<JobOption>& options, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += options[i].text;
    }
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%41" becomes "A"; a "%" without two hex digits makes the text invalid.
bool PercentDecode(std::string_view text, std::string& decoded) {
    decoded.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        int high = HexValue(text[i + 1]);
        int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return false;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool ApplyTimeout(std::string_view key, std::string_view value, std::chrono::seconds& timeout,
                  std::string& error) {
    std::uint32_t seconds = 0;
    if (!ParseNumber(value, seconds) || seconds == 0 ||
        seconds > static_cast<std::uint32_t>(kLongestTimeout.count())) {
        error = "the value \"" + std::string(value) + "\" of " + std::string(key) +
                " is not a number of seconds from 1 to " + std::to_string(kLongestTimeout.count());
        return false;
    }
    timeout = std::chrono::seconds(seconds);
    return true;
}

bool ApplyOption(std::string_view key, std::string_view value, DeviceOptions& options,
                 std::string& error) {
    if (key == "pin-timeout") return ApplyTimeout(key, value, options.numberTimeout, error);
    if (key == "data-timeout") return ApplyTimeout(key, value, options.dataTimeout, error);
    if (key == "job-timeout") return ApplyTimeout(key, value, options.jobTimeout, error);
    if (forward::IsForwardOption(key)) {
        return forward::ApplyForwardOption(key, value, options.forward, error);
    }
    if (key != "pin") {
        error = "unknown option \"" + std::string(key) +
                "\" in the device URI (known: pin=ask, pin-timeout=SECONDS, data-timeout=SECONDS, "
                "job-timeout=SECONDS, forward=URI, forward-plain, forward-cert, forward-hash, "
                "forward-format)";
        return false;
    }
    if (value != "ask") {
        error = "unknown value \"" + std::string(value) + "\" for pin (known: ask)";
        return false;
    }
    options.askForNumber = true;
    return true;
}

bool ParseQuery(std::string_view query, DeviceOptions& options, std::string& error) {
    while (!query.empty()) {
        std::size_t end = query.find('&');
        std::string_view pair = query.substr(0, end);
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
        if (pair.empty()) continue;
        std::size_t equals = pair.find('=');
        std::string key;
        std::string value;
        if (!PercentDecode(pair.substr(0, equals), key) ||
            (equals != std::string_view::npos && !PercentDecode(pair.substr(equals + 1), value))) {
            error = "bad percent escape in the device URI";
            return false;
        }
        if (!ApplyOption(key, value, options, error)) return false;
    }
    return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& commandLine,
                      std::string& error) {
    commandLine = CommandLine();
    if (arguments.empty()) return true;
    if (arguments.size() != kJobArgumentCount && arguments.size() != kJobArgumentCountWithFile) {
        error = "usage: mossvane job-id user title copies options [file]";
        return false;
    }
    JobArguments& job = commandLine.job;
    if (!ParseNumber(arguments[0], job.jobId) || job.jobId == 0) {
        error = "the job id \"" + arguments[0] + "\" is not a positive number";
        return false;
    }
    if (arguments[1].empty()) {
        error = "the job has no user name";
        return false;
    }
    if (!ParseNumber(arguments[3], job.copies) || job.copies == 0) {
        error = "the number of copies \"" + arguments[3] + "\" is not a positive number";
        return false;
    }
    job.user = arguments[1];
    job.title = arguments[2];
    job.options = arguments[4];
    if (arguments.size() == kJobArgumentCountWithFile) {
        if (arguments[5].empty()) {
            error = "the file name is empty";
            return false;
        }
        job.file = arguments[5];
    }
    commandLine.mode = BackendMode::Job;
    return true;
}

std::string ChooseDeviceUri(const char* deviceUriVariable, std::string_view argv0) {
    if (deviceUriVariable != nullptr && deviceUriVariable[0] != '\0') return deviceUriVariable;
    std::string_view prefix = argv0.substr(0, sizeof kScheme);
    if (EqualsIgnoringCase(prefix, std::string(kScheme) + ":")) return std::string(argv0);
    return "";
}

bool ParseDeviceUri(std::string_view uri, DeviceOptions& options, std::string& error) {
    options = DeviceOptions();
    std::size_t colon = uri.find(':');
    if (colon == std::string_view::npos || !EqualsIgnoringCase(uri.substr(0, colon), kScheme)) {
        error = "the device URI \"" + std::string(uri) + "\" is not a mossvane:/ URI";
        return false;
    }
    std::string_view rest = uri.substr(colon + 1);
    std::size_t question = rest.find('?');
    std::string_view path = rest.substr(0, question);
    // "mossvane:/" and its spellings "mossvane:" and "mossvane://" name the
    // one device there is; anything after the slashes would be ignored.
    if (path.find_first_not_of('/') != std::string_view::npos) {
        error = "the device URI \"" + std::string(uri) + "\" names a path; use mossvane:/";
        return false;
    }
    if (question != std::string_view::npos &&
        !ParseQuery(rest.substr(question + 1), options, error)) {
        return false;
    }
    if (options.jobTimeout.count() == 0) {
        options.jobTimeout = options.numberTimeout + options.dataTimeout + kDataAllowance;
    }
    return forward::CheckForwardOptions(options.forward, error);
}

std::string RuntimeRoot(const char* runtimeRootVariable) {
    if (runtimeRootVariable != nullptr && runtimeRootVariable[0] != '\0') {
        return runtimeRootVariable;
    }
    return kDefaultRuntimeRoot;
}

std::string UserRuntimeFolder(std::string_view runtimeRoot, std::uint32_t uid) {
    return std::string(runtimeRoot) + "/" + std::to_string(uid);
}

std::string UserSocketPath(std::string_view runtimeRoot, std::uint32_t uid,
                           std::string_view userName) {
    // The server replaces what a file name can't hold in the same way.
    std::string leaf = "Mossvane_" + std::string(userName);
    for (char& c : leaf) {
        if (c == '/') c = '_';
    }
    return UserRuntimeFolder(runtimeRoot, uid) + "/" + leaf;
}

std::vector<JobOption> SplitJobOptions(std::string_view options) {
    std::vector<JobOption> split;
    std::size_t at = 0;
    for (;;) {
        at = options.find_first_not_of(kOptionBlanks, at);
        if (at == std::string_view::npos) break;
        std::size_t start = at;
        std::string word = ReadOptionWord(options, at);
        JobOption option{options.substr(start, at - start), word, std::nullopt};
        if (std::size_t equals = word.find('='); equals != std::string::npos) {
            option.name = word.substr(0, equals);
            option.value = word.substr(equals + 1);
        }
        split.push_back(std::move(option));
    }
    return split;
}

bool IsSecretOptionName(std::string_view name) {
    for (std::string_view suffix : kSecretSuffixes) {
        if (EndsWithIgnoringCase(name, suffix)) return true;
    }
    return false;
}

std::string WithoutSecretOptions(std::string_view options) {
    std::vector<JobOption> kept = SplitJobOptions(options);
    std::erase_if(kept, [](const JobOption& option) { return IsSecretOptionName(option.name); });
    return JoinOptions(kept, kept.size());
}

std::u16string InformationValue(std::string_view utf8) {
    std::u16string value = platform::Utf8ToUtf16(utf8);
    for (char16_t& c : value) {
        if (c == u'\n' || c == u'\r' || c == u'\0') c = u' ';
    }
    return value;
}

ParamMap BuildJobInformation(const JobArguments& job) {
    return ParamMap{
        {u"User", InformationValue(job.user)},
        {u"Title", InformationValue(job.title)},
        {u"Copies", InformationValue(std::to_string(job.copies))},
        {kOptionsKey, InformationValue(WithoutSecretOptions(job.options))},
        {u"JobId", InformationValue(std::to_string(job.jobId))},
    };
}

OptionsFit FitOptionsIntoInformation(ParamMap& information) {
    std::u16string& text = information[kOptionsKey];
    const std::string given = platform::Utf16ToUtf8(text);  // The options point into it.
    std::vector<JobOption> options = SplitJobOptions(given);
    OptionsFit fit{client::InformationFits(information), 0, options.size()};
    if (fit.fits) return fit;
    // More options never make the text shorter: the most that fit are
    // found by halving.
    auto fitsWith = [&](std::size_t count) {
        text = InformationValue(JoinOptions(options, count));
        return client::InformationFits(information);
    };
    std::size_t most = 0;
    std::size_t tooMany = options.size();
    while (tooMany - most > 1) {
        std::size_t middle = most + (tooMany - most) / 2;
        (fitsWith(middle) ? most : tooMany) = middle;
    }
    fit.fits = fitsWith(most);
    fit.dropped = options.size() - most;
    return fit;
}

}  // namespace mossvane::cups
