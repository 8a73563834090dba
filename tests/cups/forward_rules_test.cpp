// The rules of forwarding that need no network: the device URI's forward
// options, and which printers can hold a job, with what hash, for numbers
// of which length.
#include <gtest/gtest.h>

#include "backend_arguments.h"
#include "backend_status.h"
#include "forward/printer_capabilities.h"

namespace mossvane::cups::forward {
namespace {

const std::string kPin = "873a2e7f1bc15e3e7d7f3294b33e38cd234e8929e43fce0a85a43eaf5b7c5821";
const std::string kCert = "&forward-cert=" + kPin;
const std::string kPinned = "forward=ipps://printer.example/ipp/print" + kCert;

struct UriCase {
    const char* name;
    std::string query;
    const char* faultNames;  // Empty when the options are taken.
};

void PrintTo(const UriCase& param, std::ostream* out) {
    *out << param.name;
}

class ForwardUriTest : public ::testing::TestWithParam<UriCase> {};

TEST_P(ForwardUriTest, TakesTheOptionsOrNamesTheOneAtFault) {
    DeviceOptions options;
    std::string error;
    bool taken = ParseDeviceUri("mossvane:/?" + GetParam().query, options, error);
    EXPECT_EQ(taken, GetParam().faultNames[0] == '\0') << error;
    EXPECT_NE(error.find(GetParam().faultNames), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Options, ForwardUriTest,
    ::testing::Values(
        UriCase{"Pinned", kPinned, ""},
        UriCase{"WithDialogOptions", "pin=ask&pin-timeout=30&" + kPinned, ""},
        UriCase{"ChosenHashAndFormat", kPinned + "&forward-hash=sha2-384&forward-format=image/urf",
                ""},
        UriCase{"PlainAllowed", "forward=ipp://p:8631/ipp&forward-plain=yes", ""},
        UriCase{"PlainWithoutConsent", "forward=ipp://p/ipp", "forward-plain=yes"},
        UriCase{"IppsWithoutPin", "forward=ipps://p/ipp", "forward-cert"},
        UriCase{"PinOnPlain", "forward=ipp://p/ipp&forward-plain=yes" + kCert, "forward-cert"},
        UriCase{"ShortPin", "forward=ipps://p/ipp&forward-cert=873a2e", "forward-cert"},
        UriCase{"OtherScheme", "forward=https://p/ipp" + kCert, "forward"},
        UriCase{"UserInUri", "forward=ipps://bob:secret@p/ipp" + kCert, "forward"},
        UriCase{"UnknownHash", kPinned + "&forward-hash=sha-256", "forward-hash"},
        UriCase{"FormatWithoutSubtype", kPinned + "&forward-format=pdf", "forward-format"},
        UriCase{"DetailsWithoutForward", "forward-hash=none", "forward=URI"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ForwardUriFieldsTest, ThePrinterUriIsTakenApart) {
    DeviceOptions options;
    std::string error;
    // The pin as openssl prints it.
    ASSERT_TRUE(
        ParseDeviceUri("mossvane:/?forward=ipps://printer.example:8631/ipp/print"
                       "&forward-hash=sha2-512&forward-cert=87:3A:2E:7F:1B:C1:5E:3E:7D:7F:"
                       "32:94:B3:3E:38:CD:23:4E:89:29:E4:3F:CE:0A:85:A4:3E:AF:5B:7C:58:21",
                       options, error))
        << error;
    EXPECT_EQ(options.forward.host, "printer.example");
    EXPECT_EQ(options.forward.port, 8631);
    EXPECT_EQ(options.forward.resource, "/ipp/print");
    EXPECT_TRUE(options.forward.encrypted);
    EXPECT_EQ(options.forward.hash, HashChoice::Sha512);
    EXPECT_EQ(options.forward.format, kDefaultFormat);
    EXPECT_EQ(FingerprintText(*options.forward.certificate), kPin);
}

struct PrinterCase {
    const char* name;
    PrinterFacts facts;  // Accepting, longest, length range, encryptions, formats.
    HashChoice hash;
    int beforeDialog;             // A BackendStatus.
    const char* encryption = "";  // Chosen when the printer can hold the job,
    std::size_t digits = 0;       // which then judges a number of these digits.
    int afterDialog = 0;
};

void PrintTo(const PrinterCase& param, std::ostream* out) {
    *out << param.name;
}

class PrinterJudgementTest : public ::testing::TestWithParam<PrinterCase> {};

TEST_P(PrinterJudgementTest, DecidesBeforeAndAfterTheDialog) {
    const PrinterCase& param = GetParam();
    ForwardOptions options;
    options.hash = param.hash;
    std::string encryption;
    Verdict before = JudgePrinter(param.facts, options, encryption);
    EXPECT_EQ(before.status, param.beforeDialog) << before.message;
    EXPECT_EQ(before.message.empty(), param.beforeDialog == kBackendOk);
    if (before.status != kBackendOk) return;
    EXPECT_EQ(encryption, param.encryption);
    EXPECT_EQ(JudgeNumberLength(param.digits, param.facts).status, param.afterDialog);
}

using P = PrinterCase;
constexpr auto kAuto = HashChoice::Auto;
constexpr int kOk = kBackendOk, kStop = kBackendStop, kCancel = kBackendCancel;
const std::pair<int, int> kSixToTen(6, 10);
const std::vector<std::string> kNone = {"none"};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Printers, PrinterJudgementTest,
    ::testing::Values(
        P{"StrongestShaWins", {true, 20, {}, {"none", "sha2-256", "sha2-512"}, {}}, kAuto,
          kOk, "sha2-512", 8, kOk},
        P{"NoneWithoutSha", {true, 20, {}, {"md5", "none"}, {}}, kAuto, kOk, "none", 20, kOk},
        P{"ChosenHashListed", {true, 20, {}, {"none", "sha2-256", "sha2-384"}, {}},
          HashChoice::Sha256, kOk, "sha2-256", 4, kOk},
        P{"ChosenHashMissing", {true, 20, {}, {"none", "sha2-256"}, {}}, HashChoice::Sha384, kStop},
        P{"NoEncryptionThatMatches", {true, 20, {}, {"md5", "sha"}, {}}, kAuto, kStop},
        P{"NoPasswordSupport", {true, {}, {}, kNone, {}}, kAuto, kStop},
        P{"PasswordsShorterThanFour", {true, 3, {}, kNone, {}}, kAuto, kStop},
        P{"LengthRangeBelowFour", {true, 20, std::pair(1, 3), kNone, {}}, kAuto, kStop},
        P{"NotAcceptingJobs", {false, 20, {}, kNone, {}}, kAuto, kBackendRetry},
        P{"FormatRefused", {true, 20, {}, kNone, {"image/urf"}}, kAuto, kBackendCancel},
        P{"NumberTooLong", {true, 6, {}, kNone, {}}, kAuto, kOk, "none", 7, kCancel},
        P{"NumberBelowTheRange", {true, 20, kSixToTen, kNone, {}}, kAuto, kOk, "none", 5, kCancel},
        P{"NumberAtTheRangesEnd", {true, 20, kSixToTen, kNone, {}}, kAuto, kOk, "none", 10, kOk}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace mossvane::cups::forward
