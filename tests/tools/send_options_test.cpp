// The command line of mossvane-send.
#include "send_options.h"

#include <gtest/gtest.h>

namespace mossvane::send {
namespace {

using Arguments = std::vector<std::u16string>;

struct Rejected {
    const char* name;
    Arguments arguments;
};

void PrintTo(const Rejected& rejected, std::ostream* out) {
    *out << rejected.name;
}

class SendOptionsRejectionTest : public ::testing::TestWithParam<Rejected> {};

TEST_P(SendOptionsRejectionTest, ExplainsTheProblem) {
    SendOptions options;
    std::string error;
    EXPECT_FALSE(ParseSendOptions(GetParam().arguments, options, error));
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    BadCommandLines, SendOptionsRejectionTest,
    ::testing::Values(Rejected{"Nothing", {}}, Rejected{"UnknownCommand", {u"print"}},
                      Rejected{"RequestWithoutText", {u"request"}},
                      Rejected{"GetInfoWithExtra", {u"getinfo", u"x"}},
                      Rejected{"JobWithoutFile", {u"job", u"--add-uel"}},
                      Rejected{"JobWithTwoFiles", {u"job", u"a.prn", u"b.prn"}},
                      Rejected{"NumberNotNumeric", {u"job", u"--number", u"12x", u"a"}},
                      Rejected{"NumberTooLarge", {u"job", u"--number", u"4294967296", u"a"}},
                      Rejected{"NumberMissing", {u"job", u"a", u"--number"}},
                      Rejected{"InfoWithoutEquals", {u"job", u"--info", u"key", u"a"}},
                      Rejected{"InfoWithLineFeed", {u"job", u"--info", u"k=a\nb", u"a"}},
                      Rejected{"UnknownOption", {u"job", u"--fast", u"a"}}),
    [](const auto& info) { return info.param.name; });

TEST(SendOptionsTest, JobTakesEveryOptionAndTheFile) {
    SendOptions options;
    std::string error;
    ASSERT_TRUE(ParseSendOptions({u"job", u"--number", u"4294967295", u"--info", u"b=x=y",
                                  u"--info", u"a=", u"--add-uel", u"-"},
                                 options, error))
        << error;
    EXPECT_EQ(options.command, SendCommand::Job);
    EXPECT_EQ(options.jobNumber, 4294967295u);
    EXPECT_TRUE(options.addEndOfJobMarker);
    EXPECT_EQ(options.file, u"-");
    EXPECT_EQ(options.jobInformation, (ParamMap{{u"a", u""}, {u"b", u"x=y"}}));
}

TEST(SendOptionsTest, LaterInfoForTheSameKeyWins) {
    SendOptions options;
    std::string error;
    ASSERT_TRUE(
        ParseSendOptions({u"job", u"--info", u"k=1", u"--info", u"k=2", u"f"}, options, error));
    EXPECT_EQ(options.jobInformation.at(u"k"), u"2");
    EXPECT_FALSE(options.jobNumber.has_value());
    EXPECT_FALSE(options.addEndOfJobMarker);
}

TEST(SendOptionsTest, RequestKeepsItsTextAsGiven) {
    SendOptions options;
    std::string error;
    ASSERT_TRUE(ParseSendOptions({u"request", u" @=Exit\nx=1 "}, options, error));
    EXPECT_EQ(options.command, SendCommand::Request);
    EXPECT_EQ(options.requestText, u" @=Exit\nx=1 ");
}

TEST(SendOptionsTest, HelpAndGetInfo) {
    SendOptions options;
    std::string error;
    ASSERT_TRUE(ParseSendOptions({u"--help"}, options, error));
    EXPECT_EQ(options.command, SendCommand::Help);
    ASSERT_TRUE(ParseSendOptions({u"getinfo"}, options, error));
    EXPECT_EQ(options.command, SendCommand::GetInfo);
}

}  // namespace
}  // namespace mossvane::send
