// The command line, device URI and job information of the CUPS backend.
#include "backend_arguments.h"

#include <gtest/gtest.h>

#include "params/param_text.h"

namespace mossvane::cups {
namespace {

using Arguments = std::vector<std::string>;
using namespace std::chrono_literals;

struct CommandLineCase {
    const char* name;
    Arguments arguments;
    bool accepted;
};

void PrintTo(const CommandLineCase& param, std::ostream* out) {
    *out << param.name;
}

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, AcceptsOnlyTheFormsCupsUses) {
    CommandLine commandLine;
    std::string error;
    EXPECT_EQ(ParseCommandLine(GetParam().arguments, commandLine, error), GetParam().accepted);
    EXPECT_EQ(error.empty(), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"Discovery", {}, true},
        CommandLineCase{"JobFromStandardInput", {"7", "alice", "t", "1", ""}, true},
        CommandLineCase{"JobWithFile", {"7", "alice", "t", "2", "a=b", "/spool/d7"}, true},
        CommandLineCase{"LargestJobId", {"4294967295", "alice", "t", "1", ""}, true},
        CommandLineCase{"OneArgument", {"7"}, false},
        CommandLineCase{"FourArguments", {"7", "alice", "t", "1"}, false},
        CommandLineCase{"SevenArguments", {"7", "alice", "t", "1", "", "f", "g"}, false},
        CommandLineCase{"JobIdZero", {"0", "alice", "t", "1", ""}, false},
        CommandLineCase{"JobIdNegative", {"-7", "alice", "t", "1", ""}, false},
        CommandLineCase{"JobIdWithSign", {"+7", "alice", "t", "1", ""}, false},
        CommandLineCase{"JobIdTooLarge", {"4294967296", "alice", "t", "1", ""}, false},
        CommandLineCase{"JobIdWithSpace", {"7 ", "alice", "t", "1", ""}, false},
        CommandLineCase{"EmptyUser", {"7", "", "t", "1", ""}, false},
        CommandLineCase{"NoCopies", {"7", "alice", "t", "0", ""}, false},
        CommandLineCase{"CopiesNotANumber", {"7", "alice", "t", "two", ""}, false},
        CommandLineCase{"EmptyFileName", {"7", "alice", "t", "1", "", ""}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLineFieldsTest, JobFieldsKeepTheirTexts) {
    CommandLine commandLine;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(
        {"123", "bob", "Report = final", "3", "media=A4 sides=two", "/var/spool/cups/d00123-001"},
        commandLine, error));
    EXPECT_EQ(commandLine.mode, BackendMode::Job);
    EXPECT_EQ(commandLine.job.jobId, 123u);
    EXPECT_EQ(commandLine.job.user, "bob");
    EXPECT_EQ(commandLine.job.title, "Report = final");
    EXPECT_EQ(commandLine.job.copies, 3u);
    EXPECT_EQ(commandLine.job.options, "media=A4 sides=two");
    EXPECT_EQ(commandLine.job.file, "/var/spool/cups/d00123-001");
}

TEST(CommandLineFieldsTest, FiveArgumentsReadStandardInput) {
    CommandLine commandLine;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"9", "bob", "", "1", ""}, commandLine, error));
    EXPECT_FALSE(commandLine.job.file.has_value());
}

struct UriCase {
    const char* name;
    const char* uri;
    bool accepted;
    bool askForNumber;
    std::chrono::seconds jobTimeout{600};  // The default, with the other defaults.
};

void PrintTo(const UriCase& param, std::ostream* out) {
    *out << param.name;
}

class DeviceUriTest : public ::testing::TestWithParam<UriCase> {};

TEST_P(DeviceUriTest, ReadsTheOptions) {
    DeviceOptions options;
    options.askForNumber = !GetParam().askForNumber;  // Must be overwritten.
    std::string error;
    ASSERT_EQ(ParseDeviceUri(GetParam().uri, options, error), GetParam().accepted) << error;
    EXPECT_EQ(error.empty(), GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_EQ(options.askForNumber, GetParam().askForNumber);
        EXPECT_EQ(options.jobTimeout, GetParam().jobTimeout);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Uris, DeviceUriTest,
    ::testing::Values(UriCase{"Plain", "mossvane:/", true, false},
                      UriCase{"NoSlash", "mossvane:", true, false},
                      UriCase{"TwoSlashes", "mossvane://", true, false},
                      UriCase{"SchemeInCapitals", "MOSSVANE:/", true, false},
                      UriCase{"AskForNumber", "mossvane:/?pin=ask", true, true},
                      UriCase{"AskEscaped", "mossvane:/?p%69n=%61sk", true, true},
                      UriCase{"EmptyQuery", "mossvane:/?", true, false},
                      UriCase{"StrayAmpersands", "mossvane:/?&pin=ask&", true, true},
                      UriCase{"JobTimeout", "mossvane:/?job-timeout=900", true, false, 900s},
                      UriCase{"JobTimeoutFollows", "mossvane:/?pin-timeout=9", true, false, 429s},
                      UriCase{"JobTimeoutZero", "mossvane:/?job-timeout=0", false, false},
                      UriCase{"OtherScheme", "socket://printer:9100", false, false},
                      UriCase{"SchemeAsPrefix", "mossvanex:/", false, false},
                      UriCase{"Empty", "", false, false},
                      UriCase{"WithPath", "mossvane:/queue", false, false},
                      UriCase{"UnknownOption", "mossvane:/?color=yes", false, false},
                      UriCase{"PinWithoutValue", "mossvane:/?pin", false, false},
                      UriCase{"PinValueInCapitals", "mossvane:/?pin=ASK", false, false},
                      UriCase{"BrokenEscape", "mossvane:/?pin=as%6", false, false},
                      UriCase{"EscapeNotHex", "mossvane:/?pin=%zzk", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ChoiceCase {
    const char* name;
    const char* variable;
    const char* argv0;
    const char* chosen;
};

void PrintTo(const ChoiceCase& param, std::ostream* out) {
    *out << param.name;
}

class DeviceUriChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(DeviceUriChoiceTest, PrefersTheVariable) {
    EXPECT_EQ(ChooseDeviceUri(GetParam().variable, GetParam().argv0), GetParam().chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DeviceUriChoiceTest,
    ::testing::Values(
        ChoiceCase{"Variable", "mossvane:/?pin=ask", "mossvane:/", "mossvane:/?pin=ask"},
        ChoiceCase{"ArgvZeroWhenNoVariable", nullptr, "mossvane:/?pin=ask", "mossvane:/?pin=ask"},
        ChoiceCase{"ArgvZeroWhenVariableEmpty", "", "Mossvane:/", "Mossvane:/"},
        ChoiceCase{"ProgramPathIsNoUri", nullptr, "/usr/lib/cups/backend/mossvane", ""},
        ChoiceCase{"ShortArgvZero", nullptr, "moss", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct PathCase {
    const char* name;
    const char* variable;
    std::uint32_t uid;
    const char* user;
    const char* socketPath;
};

void PrintTo(const PathCase& param, std::ostream* out) {
    *out << param.name;
}

class SocketPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(SocketPathTest, IsInTheUsersRuntimeFolder) {
    EXPECT_EQ(UserSocketPath(RuntimeRoot(GetParam().variable), GetParam().uid, GetParam().user),
              GetParam().socketPath);
}

INSTANTIATE_TEST_SUITE_P(
    Users, SocketPathTest,
    ::testing::Values(
        PathCase{"SystemRoot", nullptr, 1000, "alice", "/run/user/1000/Mossvane_alice"},
        PathCase{"EmptyVariable", "", 0, "root", "/run/user/0/Mossvane_root"},
        PathCase{"Override", "/tmp/rt", 65534, "nobody", "/tmp/rt/65534/Mossvane_nobody"},
        PathCase{"SlashInName", nullptr, 1001, "a/b", "/run/user/1001/Mossvane_a_b"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JobInformationTest, HoldsTheFiveEntries) {
    JobArguments job;
    job.jobId = 42;
    job.user = "alice";
    job.title = "Quarterly \xed\x95\x9c report";  // A Hangul syllable in UTF-8.
    job.copies = 2;
    job.options = "media=A4 job-password=1234";
    EXPECT_EQ(BuildJobInformation(job), (ParamMap{{u"Copies", u"2"},
                                                  {u"JobId", u"42"},
                                                  {u"Options", u"media=A4"},
                                                  {u"Title", u"Quarterly \uD55C report"},
                                                  {u"User", u"alice"}}));
}

TEST(JobInformationTest, ALineBreakInATitleCannotAddAnEntry) {
    JobArguments job;
    job.user = "alice";
    job.title = std::string("x\nPhoneNumber=1234\r\n", 20) + std::string(1, '\0') + "y";
    // As the server reads the information text.
    std::u16string text = FormatParamText(BuildJobInformation(job));
    ParamMap received;
    ParseParamText(text.data(), static_cast<std::uint32_t>(text.size()), received);
    EXPECT_EQ(received.count(u"PhoneNumber"), 0u);
    EXPECT_EQ(received[u"Title"], std::u16string(u"x PhoneNumber=1234   y"));
}

}  // namespace
}  // namespace mossvane::cups
