// The rules of forwarding that need no network: the device URI's forward
// options, and which printers can hold a job, with what hash, for numbers
// of which length.
#include <gtest/gtest.h>

#include "backend_arguments.h"
#include "backend_status.h"
#include "forward/printer_capabilities.h"

namespace mossvane::cups::forward {
namespace {

constexpr char kPin[] = "873a2e7f1bc15e3e7d7f3294b33e38cd234e8929e43fce0a85a43eaf5b7c5821";
constexpr char kPinWithColons[] =
    "87:3A:2E:7F:1B:C1:5E:3E:7D:7F:32:94:B3:3E:38:CD:23:4E:89:29:E4:3F:CE:0A:85:A4:3E:AF:5B:7C:58:"
    "21";
const std::string kPinned =
    std::string("forward=ipps://printer.example/ipp/print&forward-cert=") + kPin;

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
        UriCase{"PinAsOpensslPrintsIt",
                std::string("forward=ipps://p/ipp&forward-cert=") + kPinWithColons, ""},
        UriCase{"WithDialogOptions", "pin=ask&pin-timeout=30&" + kPinned, ""},
        UriCase{"ChosenHashAndFormat", kPinned + "&forward-hash=sha2-384&forward-format=image/urf",
                ""},
        UriCase{"PlainAllowed", "forward=ipp://p:8631/ipp&forward-plain=yes", ""},
        UriCase{"PlainWithoutConsent", "forward=ipp://p/ipp", "forward-plain=yes"},
        UriCase{"IppsWithoutPin", "forward=ipps://p/ipp", "forward-cert"},
        UriCase{"PinOnPlain",
                "forward=ipp://p/ipp&forward-plain=yes&forward-cert=" + std::string(kPin),
                "forward-cert"},
        UriCase{"ShortPin", "forward=ipps://p/ipp&forward-cert=873a2e", "forward-cert"},
        UriCase{"OtherScheme", "forward=https://p/ipp&forward-cert=" + std::string(kPin),
                "forward"},
        UriCase{"UserInUri", "forward=ipps://bob:secret@p/ipp&forward-cert=" + std::string(kPin),
                "forward"},
        UriCase{"UnknownHash", kPinned + "&forward-hash=sha-256", "forward-hash"},
        UriCase{"FormatWithoutSubtype", kPinned + "&forward-format=pdf", "forward-format"},
        UriCase{"DetailsWithoutForward", "forward-hash=none", "forward=URI"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ForwardUriFieldsTest, ThePrinterUriIsTakenApart) {
    DeviceOptions options;
    std::string error;
    ASSERT_TRUE(
        ParseDeviceUri("mossvane:/?forward=ipps://printer.example:8631/ipp/print"
                       "&forward-hash=sha2-512&forward-cert=" +
                           std::string(kPinWithColons),
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
    PrinterFacts facts;
    HashChoice hash;
    int beforeDialog;        // A BackendStatus.
    const char* encryption;  // Chosen when the printer can hold the job.
    std::size_t digits;
    int afterDialog;
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

using Texts = std::vector<std::string>;
using Lengths = std::optional<std::pair<int, int>>;
constexpr auto kAuto = HashChoice::Auto;
const Texts kNone = {"none"};

PrinterFacts Facts(std::optional<int> longest, Texts encryptions, Lengths lengths = {},
                   Texts formats = {}, bool accepting = true) {
    PrinterFacts facts;
    facts.acceptingJobs = accepting;
    facts.longestPassword = longest;
    facts.passwordLengths = lengths;
    facts.encryptions = std::move(encryptions);
    facts.formats = std::move(formats);
    return facts;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Printers, PrinterJudgementTest,
    ::testing::Values(
        PrinterCase{"StrongestShaWins", Facts(20, {"none", "sha2-256", "sha2-512"}), kAuto,
                    kBackendOk, "sha2-512", 8, kBackendOk},
        PrinterCase{"NoneWithoutSha", Facts(20, {"md5", "none"}), kAuto,
                    kBackendOk, "none", 20, kBackendOk},
        PrinterCase{"ChosenHashListed", Facts(20, {"none", "sha2-256", "sha2-384"}), HashChoice::Sha256,
                    kBackendOk, "sha2-256", 4, kBackendOk},
        PrinterCase{"ChosenHashMissing", Facts(20, {"none", "sha2-256"}), HashChoice::Sha384,
                    kBackendStop, "", 0, 0},
        PrinterCase{"NoEncryptionThatMatches", Facts(20, {"md5", "sha"}), kAuto, kBackendStop, "", 0, 0},
        PrinterCase{"NoPasswordSupport", Facts({}, kNone), kAuto, kBackendStop, "", 0, 0},
        PrinterCase{"PasswordsShorterThanFour", Facts(3, kNone), kAuto, kBackendStop, "", 0, 0},
        PrinterCase{"LengthRangeBelowFour", Facts(20, kNone, std::pair(1, 3)), kAuto,
                    kBackendStop, "", 0, 0},
        PrinterCase{"NotAcceptingJobs", Facts(20, kNone, {}, {}, false), kAuto,
                    kBackendRetry, "", 0, 0},
        PrinterCase{"FormatRefused", Facts(20, kNone, {}, {"image/urf"}), kAuto,
                    kBackendCancel, "", 0, 0},
        PrinterCase{"NumberLongerThanThePrinterTakes", Facts(6, kNone), kAuto,
                    kBackendOk, "none", 7, kBackendCancel},
        PrinterCase{"NumberShorterThanTheRange", Facts(20, kNone, std::pair(6, 10)), kAuto,
                    kBackendOk, "none", 5, kBackendCancel},
        PrinterCase{"NumberAtTheEndOfTheRange", Facts(20, kNone, std::pair(6, 10)), kAuto,
                    kBackendOk, "none", 10, kBackendOk}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace mossvane::cups::forward
