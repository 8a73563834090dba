// Reading the server's answer to a GETINFO request.
#include "client/get_info.h"

#include <gtest/gtest.h>

namespace mossvane::client {
namespace {

struct AnswerCase {
    const char* name;
    const char16_t* answer;
    NumberAnswer verdict;
    const char16_t* number;
};

void PrintTo(const AnswerCase& param, std::ostream* out) {
    *out << param.name;
}

class NumberAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(NumberAnswerTest, TakesOnlyAValidNumber) {
    std::u16string number = u"left over";
    EXPECT_EQ(ReadNumberAnswer(GetParam().answer, number), GetParam().verdict);
    EXPECT_EQ(number, GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, NumberAnswerTest,
    ::testing::Values(
        AnswerCase{"Ok", u"[Result]\nRETURN=OK\nPhoneNumber=0123\n", NumberAnswer::Given, u"0123"},
        AnswerCase{"TwentyDigits", u"[Result]\nRETURN=OK\nPhoneNumber=12345678901234567890\n",
                   NumberAnswer::Given, u"12345678901234567890"},
        AnswerCase{"Cancel", u"[Result]\nRETURN=CANCEL\n", NumberAnswer::Cancelled, u""},
        AnswerCase{"Empty", u"", NumberAnswer::Unexpected, u""},
        AnswerCase{"OkWithoutNumber", u"[Result]\nRETURN=OK\n", NumberAnswer::Unexpected, u""},
        AnswerCase{"ThreeDigits", u"[Result]\nRETURN=OK\nPhoneNumber=123\n",
                   NumberAnswer::Unexpected, u""},
        AnswerCase{"TwentyOneDigits", u"[Result]\nRETURN=OK\nPhoneNumber=123456789012345678901\n",
                   NumberAnswer::Unexpected, u""},
        AnswerCase{"NotDigits", u"[Result]\nRETURN=OK\nPhoneNumber=12a4\n",
                   NumberAnswer::Unexpected, u""},
        AnswerCase{"LowerCaseVerdict", u"[Result]\nRETURN=ok\nPhoneNumber=1234\n",
                   NumberAnswer::Unexpected, u""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mossvane::client
