#include "l10n/plug_in_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "l10n/l10n_constants.h"
#include "localizer_fixture.h"
#include "platform/registry.h"

namespace mossvane::test {
namespace {

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

struct ValueCase {
    const char* name;
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
    bool accepted;
    std::u16string text;  // when accepted
};

class PlugInMachineValueTest : public LocalizerFixture,
                               public ::testing::WithParamInterface<ValueCase> {};

TEST_P(PlugInMachineValueTest, TakesOnlyTerminatedStringsThatFit) {
    WriteRawCountryCode(GetParam().type, GetParam().bytes);
    std::u16string text = u"unchanged";
    const platform::ErrorCode error = ReadPlugInMachineValue(l10n::kCountryCodeValueName, text);
    if (GetParam().accepted) {
        EXPECT_EQ(error, platform::kSuccess);
        EXPECT_EQ(text, GetParam().text);
    } else {
        EXPECT_NE(error, platform::kSuccess);
        EXPECT_EQ(text, u"unchanged");
    }
}

std::string CaseName(const ValueCase& param) {
    return param.name;
}

// Test names under CTest are built from this.
void PrintTo(const ValueCase& param, std::ostream* out) {
    *out << CaseName(param);
}

using namespace std::string_literals;
namespace reg = platform::reg_type;

INSTANTIATE_TEST_SUITE_P(
    Values, PlugInMachineValueTest,
    ::testing::Values(
        ValueCase{"String", reg::kSz, Utf16Bytes(u"KR\0"s), true, u"KR"},
        ValueCase{"EmptyString", reg::kSz, Utf16Bytes(u"\0"s), true, u""},
        ValueCase{"ExpandableStringIsNotExpanded", reg::kExpandSz, Utf16Bytes(u"%WINDIR%\0"s), true,
                  u"%WINDIR%"},
        ValueCase{"TextEndsAtItsFirstNull", reg::kSz, Utf16Bytes(u"A\0B\0"s), true, u"A"},
        ValueCase{"LongestThatFits", reg::kSz, Utf16Bytes(std::u16string(259, u'x') + u'\0'), true,
                  std::u16string(259, u'x')},
        ValueCase{"TooLong", reg::kSz, Utf16Bytes(std::u16string(260, u'x') + u'\0'), false, u""},
        ValueCase{"NotTerminated", reg::kSz, Utf16Bytes(u"KR"), false, u""},
        ValueCase{"NoDataAtAll", reg::kSz, {}, false, u""},
        ValueCase{"OddSize", reg::kSz, {0x4B, 0x00, 0x00, 0x00, 0x00}, false, u""},
        ValueCase{"Number", reg::kDword, {0x4B, 0x00, 0x00, 0x00}, false, u""},
        ValueCase{"Bytes", reg::kBinary, Utf16Bytes(u"KR\0"s), false, u""},
        ValueCase{"StringList", reg::kMultiSz, Utf16Bytes(u"KR\0\0"s), false, u""}));

using PlugInKeyTest = LocalizerFixture;

TEST_F(PlugInKeyTest, MissingValueOrKeyIsAnErrorAndChangesNothing) {
    std::u16string text = u"unchanged";
    EXPECT_NE(ReadPlugInMachineValue(l10n::kCountryCodeValueName, text), platform::kSuccess);
    WriteCountryCode(u"KR");
    EXPECT_NE(ReadPlugInMachineValue(u"NoSuchValue", text), platform::kSuccess);
    EXPECT_EQ(text, u"unchanged");
    EXPECT_EQ(ReadPlugInMachineValue(u"cntcode", text), platform::kSuccess);
    EXPECT_EQ(text, u"KR");
}

}  // namespace
}  // namespace mossvane::test
