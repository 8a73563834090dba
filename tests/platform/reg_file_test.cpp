// The .reg text format on its own: value lines, malformed files, the writer's
// choice between quoted text and hex bytes, and the key model.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/posix/reg_file.h"

namespace mossvane::platform::posix {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::string_view kSectionStart =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Key]\n";

Bytes Utf16Le(std::u16string_view text, bool terminated = true) {
    Bytes bytes;
    for (const char16_t unit : text) {
        bytes.insert(bytes.end(), {std::uint8_t(unit & 0xFF), std::uint8_t(unit >> 8)});
    }
    if (terminated) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

struct ValueLineCase {
    const char* label;
    std::string line;
    std::u16string name;
    std::uint32_t type;
    Bytes data;
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const ValueLineCase& sample, std::ostream* out) {
    *out << sample.label;
}

class RegFileValueLineTest : public ::testing::TestWithParam<ValueLineCase> {};

TEST_P(RegFileValueLineTest, LineReadsAsNameTypeAndBytes) {
    const ValueLineCase& sample = GetParam();
    RegFile file;
    ASSERT_TRUE(ParseRegFile(std::string(kSectionStart) + sample.line + "\n", file));
    const RegFileSection* section = file.FindSection(u"HKEY_CURRENT_USER\\Key");
    ASSERT_NE(section, nullptr);
    const RegFileValue* value = section->FindValue(sample.name);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->name, sample.name);
    EXPECT_EQ(value->value.type, sample.type);
    EXPECT_EQ(value->value.data, sample.data);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RegFileValueLineTest,
    ::testing::Values(
        ValueLineCase{"Text", "\"Name\"=\"Value\"", u"Name", reg_type::kSz, Utf16Le(u"Value")},
        ValueLineCase{"DefaultValue", "@=\"d\"", u"", reg_type::kSz, Utf16Le(u"d")},
        ValueLineCase{"AtSignName", "\"@\"=\"a\"", u"@", reg_type::kSz, Utf16Le(u"a")},
        ValueLineCase{"Escapes", R"("q\"\\"="say \"hi\"\r\nC:\\x")", u"q\"\\", reg_type::kSz,
                      Utf16Le(u"say \"hi\"\r\nC:\\x")},
        ValueLineCase{"UnknownEscapeKept", R"("p"="C:\Temp")", u"p", reg_type::kSz,
                      Utf16Le(u"C:\\Temp")},
        ValueLineCase{"EmptyText", "\"e\"=\"\"", u"e", reg_type::kSz, Utf16Le(u"")},
        ValueLineCase{"Utf8Text", "\"\xC3\xBC\"=\"\xF0\x9F\x98\x80\"", u"\u00FC", reg_type::kSz,
                      Utf16Le(u"\U0001F600")},
        ValueLineCase{"SpacesAroundEquals", "\"s\" = \"v\"", u"s", reg_type::kSz, Utf16Le(u"v")},
        ValueLineCase{"Dword", "\"d\"=dword:8000002A", u"d", reg_type::kDword, {0x2A, 0, 0, 0x80}},
        ValueLineCase{"ShortDword", "\"d\"=DWORD:1", u"d", reg_type::kDword, {1, 0, 0, 0}},
        ValueLineCase{"Binary", "\"b\"=hex:00,7f,FF", u"b", reg_type::kBinary, {0, 0x7F, 0xFF}},
        ValueLineCase{"EmptyBinary", "\"b\"=hex:", u"b", reg_type::kBinary, {}},
        ValueLineCase{
            "ExpandText", "\"x\"=hex(2):25,00,00,00", u"x", reg_type::kExpandSz, {0x25, 0, 0, 0}},
        ValueLineCase{"Qword",
                      "\"q\"=hex(b):01,00,00,00,00,00,00,00",
                      u"q",
                      reg_type::kQword,
                      {1, 0, 0, 0, 0, 0, 0, 0}},
        ValueLineCase{"OddType", "\"o\"=hex(12345):9", u"o", 0x12345, {9}},
        ValueLineCase{"WrappedHexList",
                      "\"w\"=hex:01,02,\\\n  03,\\\r\n  04",
                      u"w",
                      reg_type::kBinary,
                      {1, 2, 3, 4}}),
    [](const auto& info) { return std::string(info.param.label); });

struct MalformedCase {
    const char* label;
    std::string text;
    std::size_t errorLine;
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const MalformedCase& sample, std::ostream* out) {
    *out << sample.label;
}

class RegFileMalformedTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(RegFileMalformedTest, FileIsRefusedAtItsFirstBadLine) {
    RegFile file;
    std::size_t errorLine = 99;
    EXPECT_FALSE(ParseRegFile(GetParam().text, file, &errorLine));
    EXPECT_EQ(errorLine, GetParam().errorLine);
    EXPECT_TRUE(file.sections.empty());
}

const std::string kStart(kSectionStart);

INSTANTIATE_TEST_SUITE_P(
    Files, RegFileMalformedTest,
    ::testing::Values(
        MalformedCase{"MissingHeader", "REGEDIT4\n", 1},
        MalformedCase{"ValueBeforeSection", "Windows Registry Editor Version 5.00\n\"a\"=\"b\"\n",
                      2},
        MalformedCase{"UnclosedQuote", kStart + "\"a\"=\"b\n", 4},
        MalformedCase{"TextAfterQuote", kStart + "\"a\"=\"b\" c\n", 4},
        MalformedCase{"MissingEquals", kStart + "\"a\" \"b\"\n", 4},
        MalformedCase{"LongDword", kStart + "\"a\"=dword:123456789\n", 4},
        MalformedCase{"BadDword", kStart + "\"a\"=dword:xyz\n", 4},
        MalformedCase{"LongHexByte", kStart + "\"a\"=hex:100\n", 4},
        MalformedCase{"BadHexType", kStart + "\"a\"=hex(zz):00\n", 4},
        MalformedCase{"TrailingComma", kStart + "\"a\"=hex:00,\n", 4},
        MalformedCase{"ContinuationAtEnd", kStart + "\"a\"=hex:00,\\", 4},
        MalformedCase{"UnknownData", kStart + "\"a\"=word:1\n", 4},
        MalformedCase{"EmptyKeyName", kStart + "[HKEY_CURRENT_USER\\\\A]\n", 4},
        MalformedCase{"UnclosedSection", kStart + "[HKEY_CURRENT_USER\\A\n", 4},
        MalformedCase{"CarriageReturnInKeyName", kStart + "[HKEY_CURRENT_USER\\A\rB]\n", 4},
        MalformedCase{"NullInKeyName", kStart + std::string("[HKEY_CURRENT_USER\\A\0B]\n", 24), 4},
        MalformedCase{"NullInValueName", kStart + std::string("\"a\0b\"=\"x\"\n", 10), 4},
        MalformedCase{"StrayLine", kStart + "Name=Value\n", 4},
        MalformedCase{"InvalidUtf8", kStart + "\"a\"=\"\xC3\x28\"\n", 0},
        MalformedCase{"OddUtf16", std::string("\xFF\xFEW\0i", 5), 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegFileTest, EmptyFileIsAnEmptyHive) {
    RegFile file;
    EXPECT_TRUE(ParseRegFile("", file));
    EXPECT_TRUE(ParseRegFile("\n  \n", file));
    EXPECT_TRUE(file.sections.empty());
}

TEST(RegFileTest, Utf16FileOfTheRegistryEditorIsRead) {
    const std::u16string text =
        u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\\u6771]\r\n"
        u"\"n\"=\"v\"\r\n";
    const Bytes bytes = Utf16Le(text, false);
    RegFile file;
    ASSERT_TRUE(ParseRegFile(std::string(bytes.begin(), bytes.end()), file));
    const RegFileSection* section = file.FindSection(u"HKEY_CURRENT_USER\\\u6771");
    ASSERT_NE(section, nullptr);
    ASSERT_NE(section->FindValue(u"N"), nullptr);
    EXPECT_EQ(section->FindValue(u"N")->value.data, Utf16Le(u"v"));
}

TEST(RegFileTest, RepeatedSectionsMergeAndRemovalEntriesApply) {
    RegFile file;
    ASSERT_TRUE(ParseRegFile(kStart + "\"a\"=\"1\"\n\"b\"=\"1\"\n[HKEY_CURRENT_USER\\Gone\\Sub]\n" +
                                 "[HKEY_CURRENT_USER\\KEY]\n\"A\"=\"2\"\n\"b\"=-\n" +
                                 "[-HKEY_CURRENT_USER\\Gone]\n\"ignored\"=\"x\"\n",
                             file));
    ASSERT_EQ(file.sections.size(), 1u);
    const RegFileSection& section = file.sections[0];
    ASSERT_EQ(section.values.size(), 1u);
    EXPECT_EQ(section.values[0].name, u"a");
    EXPECT_EQ(section.values[0].value.data, Utf16Le(u"2"));
}

struct WrittenDataCase {
    const char* label;
    std::uint32_t type;
    Bytes data;
    std::string written;
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const WrittenDataCase& sample, std::ostream* out) {
    *out << sample.label;
}

class RegFileWriterTest : public ::testing::TestWithParam<WrittenDataCase> {};

TEST_P(RegFileWriterTest, DataIsWrittenAsExpectedAndReadsBack) {
    const WrittenDataCase& sample = GetParam();
    RegFile file{{{u"HKEY_CURRENT_USER\\Key", {{u"v", {sample.type, sample.data}}}}}};
    std::string text;
    ASSERT_TRUE(FormatRegFile(file, text));
    EXPECT_EQ(text, kStart + "\"v\"=" + sample.written + "\n");

    RegFile reread;
    ASSERT_TRUE(ParseRegFile(text, reread));
    ASSERT_EQ(reread.sections.size(), 1u);
    ASSERT_EQ(reread.sections[0].values.size(), 1u);
    EXPECT_EQ(reread.sections[0].values[0].value.type, sample.type);
    EXPECT_EQ(reread.sections[0].values[0].value.data, sample.data);
}

INSTANTIATE_TEST_SUITE_P(
    Data, RegFileWriterTest,
    ::testing::Values(
        WrittenDataCase{"TerminatedText", reg_type::kSz, Utf16Le(u"a\"\\\n"), R"("a\"\\\n")"},
        WrittenDataCase{"OnlyTerminator", reg_type::kSz, {0, 0}, "\"\""},
        WrittenDataCase{"EmptyText", reg_type::kSz, {}, "hex(1):"},
        WrittenDataCase{"NoTerminator", reg_type::kSz, Utf16Le(u"a", false), "hex(1):61,00"},
        WrittenDataCase{"OddByteCount", reg_type::kSz, {0x61, 0, 0}, "hex(1):61,00,00"},
        WrittenDataCase{"EmbeddedNull",
                        reg_type::kSz,
                        {0x61, 0, 0, 0, 0x62, 0, 0, 0},
                        "hex(1):61,00,00,00,62,00,00,00"},
        WrittenDataCase{
            "UnpairedSurrogate", reg_type::kSz, {0x00, 0xD8, 0, 0}, "hex(1):00,d8,00,00"},
        WrittenDataCase{"PairedSurrogates", reg_type::kSz, Utf16Le(u"\U0001F600"),
                        "\"\xF0\x9F\x98\x80\""},
        WrittenDataCase{"Dword", reg_type::kDword, {0x2A, 0, 0, 0x80}, "dword:8000002a"},
        WrittenDataCase{"LongDword", reg_type::kDword, {1, 2, 3, 4, 5}, "hex(4):01,02,03,04,05"},
        WrittenDataCase{"Binary", reg_type::kBinary, {0xAB}, "hex:ab"},
        WrittenDataCase{"ExpandText", reg_type::kExpandSz, Utf16Le(u"%"), "hex(2):25,00,00,00"},
        WrittenDataCase{"OddType", 0x12345, {}, "hex(12345):"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegFileTest, NamesThatCannotBeWrittenAreRefused) {
    std::string text;
    EXPECT_FALSE(FormatRegFile({{{u"HKEY_CURRENT_USER\\A\nB", {}}}}, text));
    EXPECT_FALSE(FormatRegFile({{{u"HKEY_CURRENT_USER\\A", {{u"x\xDC00", {}}}}}}, text));
    EXPECT_FALSE(IsWritableKeyName(u"a\\b"));
    EXPECT_FALSE(IsWritableKeyName(u""));
    EXPECT_TRUE(IsWritableKeyName(u"]odd [name]"));
}

TEST(RegFileTest, KeyExistsThroughDeeperSections) {
    RegFile file{{{u"HKEY_CURRENT_USER\\A\\B\\C", {}}}};
    EXPECT_TRUE(file.KeyExists(u"hkey_current_user\\a"));
    EXPECT_TRUE(file.HasSubKeys(u"HKEY_CURRENT_USER\\A\\B"));
    EXPECT_FALSE(file.HasSubKeys(u"HKEY_CURRENT_USER\\A\\B\\C"));
    EXPECT_FALSE(file.KeyExists(u"HKEY_CURRENT_USER\\A\\Bx"));
    EXPECT_FALSE(file.KeyExists(u"HKEY_CURRENT_USER\\A\\B\\C\\D"));
}

TEST(RegFileTest, EnsureKeyAddsParentsInTheirSpellingAfterTheirSubtree) {
    RegFile file{{{u"HKEY_CURRENT_USER\\Software", {}},
                  {u"HKEY_CURRENT_USER\\Software\\Old", {}},
                  {u"HKEY_LOCAL_MACHINE\\Other", {}}}};
    file.EnsureKey(u"HKEY_CURRENT_USER\\SOFTWARE\\New\\Leaf");
    std::vector<std::u16string> paths;
    for (const RegFileSection& section : file.sections) paths.push_back(section.path);
    EXPECT_EQ(paths, (std::vector<std::u16string>{
                         u"HKEY_CURRENT_USER\\Software", u"HKEY_CURRENT_USER\\Software\\Old",
                         u"HKEY_CURRENT_USER\\Software\\New",
                         u"HKEY_CURRENT_USER\\Software\\New\\Leaf", u"HKEY_LOCAL_MACHINE\\Other"}));
}

}  // namespace
}  // namespace mossvane::platform::posix
