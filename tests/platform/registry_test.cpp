// The contract of the settings store, passed by both backends: the real
// registry on Windows and the .reg files elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "registry_sandbox.h"

namespace mossvane::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Utf16Le(std::u16string_view text, bool terminated = true) {
    Bytes bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    if (terminated) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

class RegistryContractTest : public ::testing::Test {
  protected:
    std::u16string PathOf(std::u16string_view relative) const {
        return relative.empty() ? m_sandbox.BasePath()
                                : m_sandbox.BasePath() + u"\\" + std::u16string(relative);
    }

    RegistryKey Create(std::u16string_view relative,
                       RegistryRoot root = RegistryRoot::CurrentUser) {
        RegistryKey key;
        EXPECT_EQ(RegistryKey::Create(root, PathOf(relative), RegistryAccess::ReadWrite, key),
                  kSuccess);
        return key;
    }

    ErrorCode Open(std::u16string_view relative, RegistryKey& key,
                   RegistryAccess access = RegistryAccess::Read,
                   RegistryRoot root = RegistryRoot::CurrentUser) {
        return RegistryKey::Open(root, PathOf(relative), access, key);
    }

    static ErrorCode SetText(RegistryKey& key, std::u16string_view name, std::u16string_view text) {
        const Bytes bytes = Utf16Le(text);
        return key.SetValue(name, reg_type::kSz, bytes.data(), bytes.size());
    }

    static ErrorCode SetDword(RegistryKey& key, std::u16string_view name, std::uint32_t number) {
        return key.SetValue(name, reg_type::kDword, &number, sizeof number);
    }

    static RegistryValue Query(const RegistryKey& key, std::u16string_view name) {
        RegistryValue value;
        EXPECT_EQ(key.QueryValue(name, value), kSuccess);
        return value;
    }

    test::RegistrySandbox m_sandbox;
};

struct ValueCase {
    const char* label;
    std::uint32_t type;
    Bytes data;
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const ValueCase& sample, std::ostream* out) {
    *out << sample.label;
}

class RegistryValueRoundTripTest : public RegistryContractTest,
                                   public ::testing::WithParamInterface<ValueCase> {};

TEST_P(RegistryValueRoundTripTest, TypeAndBytesReadBackThroughAnotherKey) {
    const ValueCase& sample = GetParam();
    RegistryKey writer = Create(u"Values");
    ASSERT_EQ(writer.SetValue(u"Sample", sample.type, sample.data.data(), sample.data.size()),
              kSuccess);
    writer.Close();

    RegistryKey reader;
    ASSERT_EQ(Open(u"Values", reader), kSuccess);
    RegistryValue value;
    ASSERT_EQ(reader.QueryValue(u"Sample", value), kSuccess);
    EXPECT_EQ(value.type, sample.type);
    EXPECT_EQ(value.data, sample.data);
}

Bytes LongBinary() {
    Bytes bytes(5000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, RegistryValueRoundTripTest,
    ::testing::Values(
        ValueCase{"TerminatedText", reg_type::kSz, Utf16Le(u"C:\\Print \"Jobs\"\r\n")},
        ValueCase{"TextWithoutTerminator", reg_type::kSz, Utf16Le(u"abc", false)},
        ValueCase{"TextWithOddByteCount", reg_type::kSz, {0x41, 0x00, 0x42}},
        ValueCase{"SingleByteText", reg_type::kSz, {0x41}},
        ValueCase{"EmptyText", reg_type::kSz, {}},
        ValueCase{"OnlyTerminator", reg_type::kSz, {0, 0}},
        ValueCase{"TextWithEmbeddedNull", reg_type::kSz, Utf16Le(std::u16string(u"a\0b", 3))},
        ValueCase{"TextWithUnpairedSurrogate", reg_type::kSz, Utf16Le(u"x\xD800y")},
        ValueCase{"NonAsciiText", reg_type::kSz,
                  Utf16Le(u"Gr\u00FC\u00DFe \u6771\u4EAC \U0001F600")},
        ValueCase{"ExpandText", reg_type::kExpandSz, Utf16Le(u"%TEMP%\\jobs")},
        ValueCase{"Binary", reg_type::kBinary, {0x00, 0x01, 0xFE, 0xFF}},
        ValueCase{"EmptyBinary", reg_type::kBinary, {}},
        ValueCase{"LongBinary", reg_type::kBinary, LongBinary()},
        ValueCase{"Dword", reg_type::kDword, {0x2A, 0x00, 0x00, 0x80}},
        ValueCase{"DwordOfTwoBytes", reg_type::kDword, {0x01, 0x02}},
        ValueCase{"Qword", reg_type::kQword, {1, 2, 3, 4, 5, 6, 7, 0xF8}},
        ValueCase{"MultiText", reg_type::kMultiSz, Utf16Le(std::u16string(u"one\0two\0", 8))},
        ValueCase{"NoneType", reg_type::kNone, {1, 2, 3}},
        ValueCase{"UnknownType", 0x12345u, {9, 8, 7}}),
    [](const ::testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.label); });

TEST_F(RegistryContractTest, DefaultValueIsTheEmptyNameAndDiffersFromAt) {
    RegistryKey key = Create(u"Defaults");
    ASSERT_EQ(SetText(key, u"", u"default"), kSuccess);
    ASSERT_EQ(SetText(key, u"@", u"at sign"), kSuccess);
    EXPECT_EQ(Query(key, u"").data, Utf16Le(u"default"));
    EXPECT_EQ(Query(key, u"@").data, Utf16Le(u"at sign"));
}

TEST_F(RegistryContractTest, KeyAndValueNamesIgnoreAsciiCase) {
    RegistryKey key = Create(u"Mixed\\Case");
    ASSERT_EQ(SetDword(key, u"IsPreparing", 1), kSuccess);
    ASSERT_EQ(SetDword(key, u"ISPREPARING", 2), kSuccess);

    RegistryKey other;
    ASSERT_EQ(Open(u"mIXED\\cASE", other), kSuccess);
    EXPECT_EQ(Query(other, u"ispreparing").data, (Bytes{2, 0, 0, 0}));
}

TEST_F(RegistryContractTest, NonAsciiKeyAndValueNamesRoundTrip) {
    const std::u16string keyName = u"\u00DCbersicht \u6771\u4EAC";
    RegistryKey key = Create(keyName);
    ASSERT_EQ(SetText(key, u"Gr\u00F6\u00DFe \U0001F600", u"v"), kSuccess);
    RegistryKey other;
    ASSERT_EQ(Open(keyName, other), kSuccess);
    EXPECT_EQ(Query(other, u"Gr\u00F6\u00DFe \U0001F600").data, Utf16Le(u"v"));
}

TEST_F(RegistryContractTest, OpeningAMissingKeyFailsAndLeavesTheKeyClosed) {
    RegistryKey key = Create(u"Present");
    EXPECT_EQ(Open(u"Absent", key), kFileNotFound);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(Open(u"Present\\Absent", key, RegistryAccess::ReadWrite), kFileNotFound);
}

TEST_F(RegistryContractTest, CreateAddsMissingParentsAndKeepsExistingValues) {
    RegistryKey deep = Create(u"A\\B\\C");
    ASSERT_EQ(SetDword(deep, u"Kept", 7), kSuccess);
    RegistryKey parent;
    EXPECT_EQ(Open(u"A", parent), kSuccess);
    EXPECT_EQ(Open(u"A\\B", parent), kSuccess);

    RegistryKey again = Create(u"A\\B\\C");
    EXPECT_EQ(Query(again, u"Kept").data, (Bytes{7, 0, 0, 0}));
}

TEST_F(RegistryContractTest, DeleteValueRemovesOnlyThatValue) {
    RegistryKey key = Create(u"Values");
    ASSERT_EQ(SetDword(key, u"Gone", 1), kSuccess);
    ASSERT_EQ(SetDword(key, u"Stays", 2), kSuccess);
    EXPECT_EQ(key.DeleteValue(u"GONE"), kSuccess);

    RegistryValue value;
    EXPECT_EQ(key.QueryValue(u"Gone", value), kFileNotFound);
    EXPECT_EQ(key.DeleteValue(u"Gone"), kFileNotFound);
    EXPECT_EQ(Query(key, u"Stays").data, (Bytes{2, 0, 0, 0}));
}

TEST_F(RegistryContractTest, DeleteSubKeyIsRefusedWhileTheSubKeyHasSubKeys) {
    RegistryKey child = Create(u"Parent\\Child\\Grandchild");
    RegistryKey middle = Create(u"Parent\\Child");
    ASSERT_EQ(SetDword(middle, u"Value", 5), kSuccess);
    RegistryKey parent = Create(u"Parent");

    EXPECT_EQ(parent.DeleteSubKey(u"Child"), kAccessDenied);
    EXPECT_EQ(Query(middle, u"Value").data, (Bytes{5, 0, 0, 0}));

    EXPECT_EQ(middle.DeleteSubKey(u"grandchild"), kSuccess);
    EXPECT_EQ(parent.DeleteSubKey(u"Child"), kSuccess);
    RegistryKey reopened;
    EXPECT_EQ(Open(u"Parent\\Child", reopened), kFileNotFound);
    EXPECT_EQ(parent.DeleteSubKey(u"Child"), kFileNotFound);
}

TEST_F(RegistryContractTest, SubKeyIsDeletedThroughAKeyOpenedForReading) {
    Create(u"Holder\\Leaf");
    RegistryKey holder;
    ASSERT_EQ(Open(u"Holder", holder), kSuccess);
    EXPECT_EQ(holder.DeleteSubKey(u"Leaf"), kSuccess);
    RegistryKey leaf;
    EXPECT_EQ(Open(u"Holder\\Leaf", leaf), kFileNotFound);
}

TEST_F(RegistryContractTest, ExtraSeparatorsAreForgivenButNotALeadingOne) {
    Create(u"Outer\\Inner");
    RegistryKey key;
    EXPECT_EQ(Open(u"Outer\\Inner\\", key), kSuccess);
    EXPECT_EQ(Open(u"Outer\\\\Inner", key), kSuccess);
    EXPECT_NE(RegistryKey::Open(RegistryRoot::CurrentUser, u"\\" + PathOf(u"Outer"),
                                RegistryAccess::Read, key),
              kSuccess);
}

// Windows takes a null right after an unterminated string for a forgotten
// terminator and stores it too; the store must keep the size it was given.
TEST_F(RegistryContractTest, UnterminatedTextKeepsItsSizeWhenANullFollowsInMemory) {
    const char16_t text[] = {u'a', u'b', u'\0', u'\0'};
    RegistryKey key = Create(u"Unterminated");
    ASSERT_EQ(key.SetValue(u"Text", reg_type::kSz, text, 4), kSuccess);
    EXPECT_EQ(Query(key, u"Text").data, Utf16Le(u"ab", false));
}

TEST_F(RegistryContractTest, KeyOpenedForReadingRefusesChangesToItsValues) {
    RegistryKey writer = Create(u"ReadOnly");
    ASSERT_EQ(SetDword(writer, u"Value", 1), kSuccess);
    RegistryKey reader;
    ASSERT_EQ(Open(u"ReadOnly", reader), kSuccess);
    EXPECT_EQ(SetDword(reader, u"Value", 2), kAccessDenied);
    EXPECT_EQ(reader.DeleteValue(u"Value"), kAccessDenied);
    EXPECT_EQ(Query(reader, u"Value").data, (Bytes{1, 0, 0, 0}));
}

TEST_F(RegistryContractTest, ChangesShowThroughEveryOpenKey) {
    RegistryKey first = Create(u"Shared");
    RegistryKey second;
    ASSERT_EQ(Open(u"Shared", second), kSuccess);
    ASSERT_EQ(SetDword(first, u"Counter", 1), kSuccess);
    EXPECT_EQ(Query(second, u"Counter").data, (Bytes{1, 0, 0, 0}));
    ASSERT_EQ(SetDword(first, u"Counter", 2), kSuccess);
    EXPECT_EQ(Query(second, u"Counter").data, (Bytes{2, 0, 0, 0}));
}

TEST_F(RegistryContractTest, KeyDeletedBehindAnOpenKeyIsNotRecreatedByIt) {
    RegistryKey stale = Create(u"Doomed\\Key");
    RegistryKey parent = Create(u"Doomed");
    ASSERT_EQ(parent.DeleteSubKey(u"Key"), kSuccess);

    EXPECT_EQ(SetDword(stale, u"Value", 1), kKeyDeleted);
    RegistryValue value;
    EXPECT_EQ(stale.QueryValue(u"Value", value), kKeyDeleted);
    RegistryKey reopened;
    EXPECT_EQ(Open(u"Doomed\\Key", reopened), kFileNotFound);
}

TEST_F(RegistryContractTest, RootsAreSeparateStores) {
    RegistryKey user = Create(u"Split");
    ASSERT_EQ(SetDword(user, u"Where", 1), kSuccess);
    RegistryKey machine;
    EXPECT_EQ(Open(u"Split", machine, RegistryAccess::Read, RegistryRoot::LocalMachine),
              kFileNotFound);

    machine = Create(u"Split", RegistryRoot::LocalMachine);
    ASSERT_EQ(SetDword(machine, u"Where", 2), kSuccess);
    EXPECT_EQ(Query(user, u"Where").data, (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(Query(machine, u"Where").data, (Bytes{2, 0, 0, 0}));
}

TEST_F(RegistryContractTest, ClosedKeyRefusesEveryOperation) {
    RegistryKey key;
    EXPECT_FALSE(key.IsOpen());
    RegistryValue value;
    EXPECT_EQ(key.QueryValue(u"x", value), kInvalidHandle);
    EXPECT_EQ(SetDword(key, u"x", 1), kInvalidHandle);
    EXPECT_EQ(key.DeleteValue(u"x"), kInvalidHandle);
    EXPECT_EQ(key.DeleteSubKey(u"x"), kInvalidHandle);
}

class QueryValueIntoTest : public RegistryContractTest {
  protected:
    void SetUp() override {
        m_key = Create(u"Into");
        ASSERT_EQ(SetText(m_key, u"Text", u"abc"), kSuccess);
        ASSERT_EQ(SetDword(m_key, u"Number", 0x01020304), kSuccess);
    }

    RegistryKey m_key;
};

TEST_F(QueryValueIntoTest, ValueThatFitsExactlyIsCopied) {
    char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
    std::uint32_t size = sizeof buffer;
    std::uint32_t type = 0;
    ASSERT_EQ(m_key.QueryValueInto(u"Text", buffer, size, &type), kSuccess);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, reg_type::kSz);
    EXPECT_EQ(std::u16string(buffer, 4), std::u16string(u"abc\0", 4));
}

TEST_F(QueryValueIntoTest, TooSmallBufferIsLeftAloneAndTheSizeNeededReported) {
    std::uint8_t buffer[7];
    std::fill(std::begin(buffer), std::end(buffer), 0xCC);
    std::uint32_t size = sizeof buffer;
    EXPECT_EQ(m_key.QueryValueInto(u"Text", buffer, size), kMoreData);
    EXPECT_EQ(size, 8u);
    EXPECT_TRUE(
        std::all_of(std::begin(buffer), std::end(buffer), [](auto b) { return b == 0xCC; }));
}

TEST_F(QueryValueIntoTest, DwordFillsFourBytes) {
    std::uint32_t number = 0;
    std::uint32_t size = sizeof number;
    ASSERT_EQ(m_key.QueryValueInto(u"Number", &number, size), kSuccess);
    EXPECT_EQ(number, 0x01020304u);
    EXPECT_EQ(size, 4u);
}

TEST_F(QueryValueIntoTest, WithoutABufferOnlyTheSizeIsReported) {
    std::uint32_t size = 0;
    std::uint32_t type = 0;
    EXPECT_EQ(m_key.QueryValueInto(u"Text", nullptr, size, &type), kSuccess);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, reg_type::kSz);
}

TEST_F(QueryValueIntoTest, MissingValueLeavesTheBufferAlone) {
    std::uint32_t number = 0;
    std::uint32_t size = sizeof number;
    EXPECT_EQ(m_key.QueryValueInto(u"Absent", &number, size), kFileNotFound);
    EXPECT_EQ(number, 0u);
}

}  // namespace
}  // namespace mossvane::platform
