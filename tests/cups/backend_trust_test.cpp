// Whom the CUPS backend trusts: accounts it may act for, the proof CUPS
// gives of the job's owner, the runtime folder, and what each refusal does
// to the job.
#include <gtest/gtest.h>

#include "account_rules.h"
#include "backend_arguments.h"
#include "backend_status.h"
#include "job_owner.h"
#include "refusals.h"
#include "runtime_folder.h"

namespace mossvane::cups {
namespace {

struct LoginDefsCase {
    const char* name;
    const char* text;
    std::uint32_t firstUserUid;
};

void PrintTo(const LoginDefsCase& param, std::ostream* out) {
    *out << param.name;
}

class LoginDefsTest : public ::testing::TestWithParam<LoginDefsCase> {};

TEST_P(LoginDefsTest, ReadsUidMin) {
    EXPECT_EQ(FirstUserUidFromLoginDefs(GetParam().text), GetParam().firstUserUid);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoginDefsTest,
    ::testing::Values(LoginDefsCase{"Debian",
                                    "#\n# Min/max values\nUID_MIN\t\t\t 1000\nUID_MAX\t\t\t60000\n",
                                    1000},
                      LoginDefsCase{"Raised", "UID_MIN 5000\n", 5000},
                      LoginDefsCase{"Absent", "UID_MAX 60000\n", kDefaultFirstUserUid},
                      LoginDefsCase{"Empty", "", kDefaultFirstUserUid},
                      LoginDefsCase{"CommentedOut", "#UID_MIN 10\n", kDefaultFirstUserUid},
                      LoginDefsCase{"TrailingComment", "UID_MIN 2000 # people\n", 2000},
                      LoginDefsCase{"LastOneCounts", "UID_MIN 2000\nUID_MIN 3000\n", 3000},
                      LoginDefsCase{"NoLineFeed", "UID_MIN 1500", 1500},
                      LoginDefsCase{"CarriageReturns", "UID_MIN 1500\r\n", 1500},
                      LoginDefsCase{"LongerKey", "UID_MINIMUM 10\n", kDefaultFirstUserUid},
                      LoginDefsCase{"NotANumber", "UID_MIN lots\n", kDefaultFirstUserUid},
                      LoginDefsCase{"Negative", "UID_MIN -1\n", kDefaultFirstUserUid},
                      LoginDefsCase{"TooLarge", "UID_MIN 99999999999\n", kDefaultFirstUserUid},
                      LoginDefsCase{"NoValue", "UID_MIN\n", kDefaultFirstUserUid}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AccountKindTest, RootAndAccountsBelowUidMinAreNotServed) {
    EXPECT_EQ(ClassifyAccount(0, 1000), AccountKind::Root);
    EXPECT_EQ(ClassifyAccount(0, 0), AccountKind::Root);
    EXPECT_EQ(ClassifyAccount(1, 1000), AccountKind::SystemAccount);
    EXPECT_EQ(ClassifyAccount(999, 1000), AccountKind::SystemAccount);
    EXPECT_EQ(ClassifyAccount(1000, 1000), AccountKind::Ordinary);
    EXPECT_EQ(ClassifyAccount(4999, 5000), AccountKind::SystemAccount);
}

TEST(AccountKindTest, MissingLoginDefsMeansTheDefault) {
    EXPECT_EQ(ReadFirstUserUid("/nonexistent/login.defs"), kDefaultFirstUserUid);
}

struct OptionCase {
    const char* name;
    const char* options;
    std::optional<std::string> host;
    const char* recorded = nullptr;  // The options without secrets; null: all of them.
};

void PrintTo(const OptionCase& param, std::ostream* out) {
    *out << param.name;
}

class JobOptionTest : public ::testing::TestWithParam<OptionCase> {};

TEST_P(JobOptionTest, FindsTheHostAndKeepsNoSecret) {
    EXPECT_EQ(FindJobOption(GetParam().options, kOriginatingHostOption), GetParam().host);
    const char* recorded = GetParam().recorded ? GetParam().recorded : GetParam().options;
    EXPECT_EQ(WithoutSecretOptions(GetParam().options), recorded);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JobOptionTest,
    ::testing::Values(
        OptionCase{"AsCupsPassesIt",
                   "finishings=3 number-up=1 job-uuid=urn:uuid:b3a7 "
                   "job-originating-host-name=localhost date-time-at-creation=",
                   "localhost"},
        OptionCase{"Absent", "number-up=1 sides=two-sided-long-edge", std::nullopt},
        OptionCase{"Empty", "", std::nullopt},
        OptionCase{"OnlyName", "job-originating-host-name", ""},
        OptionCase{"QuotedValueHidesAFakeOne",
                   "job-name='x job-originating-host-name=localhost' "
                   "job-originating-host-name=192.0.2.7",
                   "192.0.2.7"},
        OptionCase{"EscapedSpaceHidesAFakeOne", "title=a\\ job-originating-host-name=localhost",
                   std::nullopt},
        OptionCase{"DoubleQuotes", "job-originating-host-name=\"[v1.::1]\"", "[v1.::1]"},
        OptionCase{"LongerName", "job-originating-host-name-x=localhost", std::nullopt},
        OptionCase{"LastOneCounts",
                   "job-originating-host-name=localhost job-originating-host-name=far.example",
                   "far.example"},
        OptionCase{"Passwords",
                   "job-password=1234 sides=one-sided document-password=98765 "
                   "job-password-encryption=none job-originating-host-name=localhost",
                   "localhost", "sides=one-sided job-originating-host-name=localhost"},
        OptionCase{"PasswordsQuotedInCapitalsAfterALineFeed",
                   "media=A4\nJob-Password='12 34' \"printer-password\"=\\5 Document-PASSWORD",
                   std::nullopt, "media=A4"},
        OptionCase{"PasswordInAValueIsNoPasswordOption", "job-name='job-password=1'\tsides=one",
                   std::nullopt, "job-name='job-password=1' sides=one"}),
    [](const auto& info) { return std::string(info.param.name); });

struct OwnerCase {
    const char* name;
    const char* authUid;
    const char* options;
    OwnerProof proof;
    bool byOtherMeans = false;  // AUTH_USERNAME, AUTH_PASSWORD or AUTH_NEGOTIATE set.
};

void PrintTo(const OwnerCase& param, std::ostream* out) {
    *out << param.name;
}

class OwnerProofTest : public ::testing::TestWithParam<OwnerCase> {};

// The job user is uid 1000 in every case.
TEST_P(OwnerProofTest, OnlyCupsProofOfTheSameLocalUserCounts) {
    CupsAuthentication authentication{GetParam().authUid, GetParam().byOtherMeans};
    EXPECT_EQ(CheckJobOwner(1000, authentication, GetParam().options), GetParam().proof);
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, OwnerProofTest,
    ::testing::Values(
        OwnerCase{"Proven", "1000", "job-originating-host-name=localhost", OwnerProof::Proven},
        OwnerCase{"LoopbackAddress", "1000", "job-originating-host-name=127.0.0.1",
                  OwnerProof::Proven},
        OwnerCase{"LoopbackIpv6", "1000", "job-originating-host-name=[v1.::1]", OwnerProof::Proven},
        OwnerCase{"NoAuthUid", nullptr, "job-originating-host-name=localhost",
                  OwnerProof::NotAuthenticated},
        OwnerCase{"EmptyAuthUid", "", "job-originating-host-name=localhost",
                  OwnerProof::NotAuthenticated},
        OwnerCase{"PasswordOnly", nullptr, "job-originating-host-name=localhost",
                  OwnerProof::ByPassword, true},
        OwnerCase{"UidBesidesAPassword", "1000", "job-originating-host-name=localhost",
                  OwnerProof::Proven, true},
        OwnerCase{"AnotherUser", "1001", "job-originating-host-name=localhost",
                  OwnerProof::OtherUser},
        OwnerCase{"Root", "0", "job-originating-host-name=localhost", OwnerProof::OtherUser},
        OwnerCase{"NotANumber", "1000x", "job-originating-host-name=localhost",
                  OwnerProof::OtherUser},
        OwnerCase{"Signed", "+1000", "job-originating-host-name=localhost", OwnerProof::OtherUser},
        OwnerCase{"WrapsTo1000", "4294968296", "job-originating-host-name=localhost",
                  OwnerProof::OtherUser},
        OwnerCase{"RemoteHost", "1000", "job-originating-host-name=192.0.2.7",
                  OwnerProof::FromAnotherHost},
        OwnerCase{"RemoteName", "1000", "job-originating-host-name=localhost.example",
                  OwnerProof::FromAnotherHost},
        OwnerCase{"HostNotNamed", "1000", "number-up=1", OwnerProof::FromAnotherHost}),
    [](const auto& info) { return std::string(info.param.name); });

struct FolderCase {
    const char* name;
    FolderFacts facts;
    FolderVerdict verdict;
};

void PrintTo(const FolderCase& param, std::ostream* out) {
    *out << param.name;
}

class RuntimeFolderTest : public ::testing::TestWithParam<FolderCase> {};

// The job user is uid 1000 in every case.
TEST_P(RuntimeFolderTest, OnlyTheUsersClosedFolderIsUsable) {
    EXPECT_EQ(JudgeRuntimeFolder(GetParam().facts, 1000), GetParam().verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RuntimeFolderTest,
    ::testing::Values(
        FolderCase{"Private", {true, true, 1000, 0700}, FolderVerdict::Usable},
        FolderCase{"ReadableByOthers", {true, true, 1000, 0755}, FolderVerdict::Usable},
        FolderCase{"Missing", {false, false, 0, 0}, FolderVerdict::Missing},
        FolderCase{"NotADirectory", {true, false, 1000, 0700}, FolderVerdict::NotDirectory},
        FolderCase{"OwnedByRoot", {true, true, 0, 0700}, FolderVerdict::NotTheUsers},
        FolderCase{"OwnedByAnother", {true, true, 1001, 0700}, FolderVerdict::NotTheUsers},
        FolderCase{"GroupWritable", {true, true, 1000, 0770}, FolderVerdict::OpenToOthers},
        FolderCase{"WorldWritable", {true, true, 1000, 0703}, FolderVerdict::OpenToOthers},
        FolderCase{
            "StickyAndWorldWritable", {true, true, 1000, 01777}, FolderVerdict::OpenToOthers}),
    [](const auto& info) { return std::string(info.param.name); });

struct RootCase {
    const char* name;
    const char* variable;
    bool accepted;
    const char* root;
};

void PrintTo(const RootCase& param, std::ostream* out) {
    *out << param.name;
}

class RuntimeRootTest : public ::testing::TestWithParam<RootCase> {};

TEST_P(RuntimeRootTest, MustBeAbsolute) {
    std::string root;
    std::string error;
    EXPECT_EQ(ChooseRuntimeRoot(GetParam().variable, root, error), GetParam().accepted);
    EXPECT_EQ(error.empty(), GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_EQ(root, GetParam().root);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Variables, RuntimeRootTest,
    ::testing::Values(RootCase{"Unset", nullptr, true, "/run/user"},
                      RootCase{"Empty", "", true, "/run/user"},
                      RootCase{"Absolute", "/var/run/user", true, "/var/run/user"},
                      RootCase{"Relative", "run/user", false, ""},
                      RootCase{"Dot", "./run", false, ""}, RootCase{"Tilde", "~/run", false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// What each refusal does to the job: a job that must never be served is
// cancelled, a user not logged in is waited for; none stops the queue.
struct RefusalCase {
    const char* name;
    Refusal refusal;
    int status;
};

void PrintTo(const RefusalCase& param, std::ostream* out) {
    *out << param.name;
}

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, DecidesTheJobsFate) {
    EXPECT_TRUE(GetParam().refusal.refused);
    EXPECT_EQ(GetParam().refusal.status, GetParam().status);
    EXPECT_FALSE(GetParam().refusal.message.empty());
    EXPECT_EQ(GetParam().refusal.message.find('\n'), std::string::npos);
}

const UserRecord kAlice{"alice", 1000, 1000};
const UserRecord kRoot{"root", 0, 0};
const UserRecord kDaemon{"daemon", 1, 1};

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusalTest,
    ::testing::Values(
        RefusalCase{"Root", RefuseAccount(kRoot, AccountKind::Root, 1000), kBackendCancel},
        RefusalCase{"SystemAccount", RefuseAccount(kDaemon, AccountKind::SystemAccount, 1000),
                    kBackendCancel},
        RefusalCase{"NotAuthenticated",
                    RefuseUnprovenOwner(kAlice, OwnerProof::NotAuthenticated, "office"),
                    kBackendCancel},
        RefusalCase{"ByPassword", RefuseUnprovenOwner(kAlice, OwnerProof::ByPassword, "office"),
                    kBackendCancel},
        RefusalCase{"OtherUser", RefuseUnprovenOwner(kAlice, OwnerProof::OtherUser, "office"),
                    kBackendCancel},
        RefusalCase{"FromAnotherHost",
                    RefuseUnprovenOwner(kAlice, OwnerProof::FromAnotherHost, "office"),
                    kBackendCancel},
        RefusalCase{"FolderMissing", RefuseRuntimeFolder(FolderVerdict::Missing, "/r/1000", kAlice),
                    kBackendRetry},
        RefusalCase{"FolderNotTheUsers",
                    RefuseRuntimeFolder(FolderVerdict::NotTheUsers, "/r/1000", kAlice),
                    kBackendCancel},
        RefusalCase{"FolderOpen",
                    RefuseRuntimeFolder(FolderVerdict::OpenToOthers, "/r/1000", kAlice),
                    kBackendCancel},
        RefusalCase{"UntrustedServer", RefuseUntrustedServer("/r/s", kAlice), kBackendCancel}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RefusalTest, NothingToRefuseForTheUsersOwnJob) {
    EXPECT_FALSE(RefuseAccount(kAlice, AccountKind::Ordinary, 1000).refused);
    EXPECT_FALSE(RefuseUnprovenOwner(kAlice, OwnerProof::Proven, "office").refused);
    EXPECT_FALSE(RefuseRuntimeFolder(FolderVerdict::Usable, "/r/1000", kAlice).refused);
}

TEST(RefusalTest, TheUnauthenticatedQueueIsToldHowToBeSetUp) {
    Refusal refusal = RefuseUnprovenOwner(kAlice, OwnerProof::NotAuthenticated, "office");
    EXPECT_NE(refusal.message.find("lpadmin -p office -o printer-op-policy=authenticated"),
              std::string::npos)
        << refusal.message;
}

}  // namespace
}  // namespace mossvane::cups
