// The backend under a real CUPS scheduler: a private cupsd runs it as root
// for jobs of two throwaway users, whose servers run in private runtime
// folders, as those users, without a display. A job reaches a user's server
// only when CUPS proved that user submitted it.
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fake_server.h"
#include "pipe/pipe_constants.h"
#include "server_harness.h"
#include "two_user_cups.h"

namespace mossvane::cups::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using mossvane::testing::WaitUntil;

constexpr int kStatusHold = 3;
constexpr int kStatusCancel = 5;
constexpr int kStatusRetry = 6;
// The server's debug line for every client it takes.
constexpr char kServerTookAClient[] = "Plus Call Count";

std::string Marker() {
    return std::string(reinterpret_cast<const char*>(kEndOfJobMarker), kEndOfJobMarkerSize);
}

// Print data of any bytes, nulls included, longer than two pieces.
std::string PrintData(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 31 + 7) % 256);
    return data;
}

class CupsQueueTest : public TwoUserCupsTest {
  protected:
    // Prints and waits for the backend to end; its log in log.
    BackendEnd PrintAndWait(const char* queue, const ThrowawayUser* submitter,
                            const std::string& claimedName, const std::string& data,
                            std::vector<std::string>& log, int& jobId) {
        std::string output;
        jobId = Print(queue, submitter, claimedName, data, output);
        EXPECT_NE(jobId, 0) << output;
        BackendEnd end = jobId != 0 ? s_cups->WaitForBackendEnd(jobId, kJobTimeout) : BackendEnd();
        log = s_cups->JobLog(jobId);
        return end;
    }
};

TEST_F(CupsQueueTest, PrintedFileArrivesInTheUsersJobFolder) {
    StartServer(Alice());
    StartServer(Bob());
    std::string data = PrintData(10000);
    std::vector<std::string> log;
    int jobId = 0;
    BackendEnd end = PrintAndWait(kQueue, &Alice(), "", data, log, jobId);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, 0) << JoinLines(log);
    std::string uid = std::to_string(Alice().Uid());
    EXPECT_TRUE(LogHas(log, "Acting for " + Alice().Name() + " as uid " + uid + ", euid " + uid))
        << JoinLines(log);

    fs::path folder = DataFolder(Alice());
    ASSERT_TRUE(
        WaitUntil([&] { return !FilesWithExtension(folder, ".info").empty(); }, kJobTimeout))
        << ServerOutput(Alice());
    std::vector<fs::path> jobs = FilesWithExtension(folder, ".prn");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(ReadFile(jobs[0].string()), data + Marker());
    std::string info = ReadFile(FilesWithExtension(folder, ".info")[0].string());
    EXPECT_NE(info.find("<User>" + Alice().Name() + "</User>"), std::string::npos) << info;
    EXPECT_NE(info.find("<Title>Test job</Title>"), std::string::npos) << info;
    EXPECT_NE(info.find("<JobId>" + std::to_string(jobId) + "</JobId>"), std::string::npos) << info;
    EXPECT_EQ(info.find("PhoneNumber"), std::string::npos) << info;
    EXPECT_TRUE(FilesWithExtension(DataFolder(Bob()), ".prn").empty());
}

TEST_F(CupsQueueTest, NumberRequestWithoutDisplayCancelsTheJob) {
    StartServer(Alice());
    std::vector<std::string> log;
    int jobId = 0;
    BackendEnd end = PrintAndWait(kPinQueue, &Alice(), "", PrintData(500), log, jobId);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, kStatusCancel) << JoinLines(log);
    EXPECT_TRUE(LogHas(log, "No identification number was given")) << JoinLines(log);
    EXPECT_FALSE(s_cups->IsPending(kPinQueue, jobId));
    EXPECT_TRUE(FilesWithExtension(DataFolder(Alice()), ".prn").empty());
}

TEST_F(CupsQueueTest, UnreachableServerHoldsTheJobForLater) {
    std::vector<std::string> log;
    int jobId = 0;
    BackendEnd end = PrintAndWait(kQueue, &Alice(), "", PrintData(500), log, jobId);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, kStatusRetry) << JoinLines(log);
    EXPECT_TRUE(LogHas(log, "be reached at " + SocketPath(Alice()))) << JoinLines(log);
    EXPECT_TRUE(s_cups->IsPending(kQueue, jobId));
}

// A user names another user as the job's owner ("lp -U"), on every kind of
// queue. The other user's server never hears of the job: no data in their
// folder, no dialog on their display, not even a connection.
struct SpoofCase {
    const char* name;
    const char* queue;
    bool authenticatedQueue;
};

void PrintTo(const SpoofCase& param, std::ostream* out) {
    *out << param.name;
}

class SpoofedOwnerTest : public CupsQueueTest, public ::testing::WithParamInterface<SpoofCase> {};

TEST_P(SpoofedOwnerTest, NeverReachesTheClaimedUser) {
    StartServer(Alice());
    StartServer(Bob());
    std::string output;
    int jobId = Print(GetParam().queue, &Alice(), Bob().Name(), PrintData(3000), output);
    if (GetParam().authenticatedQueue) {
        // CUPS either turns the claim down or files the job under its real
        // submitter; either way it is not the claimed user's.
        if (jobId != 0) {
            BackendEnd end = s_cups->WaitForBackendEnd(jobId, kJobTimeout);
            EXPECT_TRUE(end.ended) << JoinLines(s_cups->JobLog(jobId));
        }
    } else {
        ASSERT_NE(jobId, 0) << output;
        BackendEnd end = s_cups->WaitForBackendEnd(jobId, kJobTimeout);
        std::vector<std::string> log = s_cups->JobLog(jobId);
        ASSERT_TRUE(end.ended) << JoinLines(log);
        EXPECT_EQ(end.status, kStatusCancel) << JoinLines(log);
        EXPECT_TRUE(LogHas(log, "printer-op-policy=authenticated")) << JoinLines(log);
        EXPECT_TRUE(s_cups->IsEnabled(GetParam().queue));
    }
    EXPECT_TRUE(FilesWithExtension(DataFolder(Bob()), ".prn").empty());
    EXPECT_TRUE(FilesWithExtension(DataFolder(Bob()), ".info").empty());
    EXPECT_EQ(ServerOutput(Bob()).find(kServerTookAClient), std::string::npos)
        << ServerOutput(Bob());
}

INSTANTIATE_TEST_SUITE_P(
    Queues, SpoofedOwnerTest,
    ::testing::Values(SpoofCase{"DefaultPolicy", kOpenQueue, false},
                      SpoofCase{"DefaultPolicyAskingForTheNumber", kOpenPinQueue, false},
                      SpoofCase{"AuthenticatedPolicy", kQueue, true},
                      SpoofCase{"AuthenticatedPolicyAskingForTheNumber", kPinQueue, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Jobs of root and of system accounts, however they come, are cancelled.
struct AccountCase {
    const char* name;
    const char* queue;
    const char* submitter;  // "alice", "root" or a system account.
    const char* claimedName;
    const char* message;
};

void PrintTo(const AccountCase& param, std::ostream* out) {
    *out << param.name;
}

class RefusedAccountTest : public CupsQueueTest,
                           public ::testing::WithParamInterface<AccountCase> {};

TEST_P(RefusedAccountTest, JobIsCancelled) {
    std::string submitter = GetParam().submitter;
    std::string output;
    int jobId = 0;
    if (submitter == "alice") {
        jobId = Print(GetParam().queue, &Alice(), GetParam().claimedName, PrintData(100), output);
    } else {
        passwd* account = getpwnam(GetParam().submitter);
        ASSERT_NE(account, nullptr);
        // Print as that account: a stand-in user with its ids.
        PrivateCups::Submitter who{account->pw_uid, account->pw_gid, GetParam().claimedName};
        fs::path file = RuntimeRoot().parent_path() / "system-input.bin";
        WriteFile(file, PrintData(100));
        fs::permissions(file,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        jobId = s_cups->Print(GetParam().queue, who, "System job", file.string(), output);
    }
    ASSERT_NE(jobId, 0) << output;
    BackendEnd end = s_cups->WaitForBackendEnd(jobId, kJobTimeout);
    std::vector<std::string> log = s_cups->JobLog(jobId);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, kStatusCancel) << JoinLines(log);
    EXPECT_TRUE(LogHas(log, GetParam().message)) << JoinLines(log);
    EXPECT_FALSE(LogHas(log, "Acting for")) << JoinLines(log);
}

INSTANTIATE_TEST_SUITE_P(
    Accounts, RefusedAccountTest,
    ::testing::Values(AccountCase{"RootOnAnAuthenticatedQueue", kQueue, "root", "",
                                  "never acts for root"},
                      AccountCase{"SystemAccountOnAnAuthenticatedQueue", kQueue, "daemon", "",
                                  "a system account (below UID_MIN"},
                      AccountCase{"ClaimingRootOnADefaultQueue", kOpenQueue, "alice", "root",
                                  "never acts for root"},
                      AccountCase{"ClaimingASystemAccountOnADefaultQueue", kOpenQueue, "alice",
                                  "daemon", "a system account (below UID_MIN"}),
    [](const auto& info) { return std::string(info.param.name); });

// What a job's owner controls ends only that job, never the queue (whose
// error policy is stop-printer): the next user's job goes through.
struct OwnerCase {
    const char* name;
    const char* queue;
    int status;
    const char* message;
};

void PrintTo(const OwnerCase& param, std::ostream* out) {
    *out << param.name;
}

class OwnerControlledEndTest : public CupsQueueTest,
                               public ::testing::WithParamInterface<OwnerCase> {};

TEST_P(OwnerControlledEndTest, EndsOnlyThatJob) {
    const std::string name = GetParam().name;
    std::string output;
    int jobId = 0;
    // A server that stops taking the job after its first message, or takes
    // it at a trickle, each write within data-timeout.
    FakeServer server(SocketPath(Alice()),
                      {.keepMessages = name == "ServerClosesMidJob" ? 1 : SIZE_MAX,
                       .pause = name == "ServerClosesMidJob" ? 0s : 1s,
                       .uid = Alice().Uid(),
                       .gid = Alice().Gid()});
    if (name == "PasswordOverLoopbackTcp") {
        ASSERT_EQ(Alice().SetPassword("Pw-4711"), "");
        fs::path file = Home(Alice()) / "tcp.bin";
        WriteFile(file, PrintData(1000));
        jobId = s_cups->Print(kQueue, {.claimedName = Alice().Name(), .password = "Pw-4711"}, "",
                              file.string(), output);
    } else {
        jobId = Print(GetParam().queue, &Alice(), "", PrintData(4 << 20), output);
    }
    ASSERT_NE(jobId, 0) << output;
    if (name.starts_with("OwnerStops") || name.starts_with("OwnerKills")) {
        // Alice signals all she may, which is the part that became her.
        ASSERT_TRUE(WaitUntil([&] { return server.MessageCount() > 0; }, kJobTimeout));
        ProcessOptions kill;
        kill.arguments = {"kill", name.starts_with("OwnerStops") ? "-STOP" : "-KILL", "--", "-1"};
        kill.uid = Alice().Uid();
        kill.gid = Alice().Gid();
        RunToEnd("/bin/kill", kill, output, kJobTimeout);
    }
    BackendEnd end = s_cups->WaitForBackendEnd(jobId, kJobTimeout);
    std::vector<std::string> log = s_cups->JobLog(jobId);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, GetParam().status) << JoinLines(log);
    EXPECT_TRUE(LogHas(log, GetParam().message)) << JoinLines(log);
    EXPECT_TRUE(name != "PasswordOverLoopbackTcp" || server.MessageCount() == 0);
    EXPECT_TRUE(s_cups->IsEnabled(GetParam().queue));

    StartServer(Bob());
    EXPECT_EQ(PrintAndWait(GetParam().queue, &Bob(), "", PrintData(1000), log, jobId).status, 0)
        << JoinLines(log);
}

INSTANTIATE_TEST_SUITE_P(
    Owners, OwnerControlledEndTest,
    ::testing::Values(
        OwnerCase{"PasswordOverLoopbackTcp", kQueue, kStatusCancel, "by a password"},
        OwnerCase{"ServerClosesMidJob", kQueue, kStatusRetry, "did not take the job"},
        OwnerCase{"ServerTricklesTheJob", kDeadlineQueue, kStatusHold, "8 seconds (job-timeout)"},
        OwnerCase{"OwnerStopsTheBackend", kDeadlineQueue, kStatusHold, "8 seconds (job-timeout)"},
        OwnerCase{"OwnerKillsTheBackend", kDeadlineQueue, kStatusHold, "ended on signal 9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CupsQueueTest, StandardInputWithTheMarkerIsSentUnchanged) {
    StartServer(Alice());
    std::string data = PrintData(5000) + Marker();
    fs::path input = Home(Alice()) / "stdin.bin";
    WriteFile(input, data);
    ProcessOptions options =
        BackendOptions("mossvane:/",
                       {"31", Alice().Name(), "From a pipe", "2",
                        "sides=one-sided job-password=1234 job-originating-host-name=localhost"},
                       AuthenticatedBy(Alice()));
    options.input = input.string();
    std::string output;
    EXPECT_EQ(RunToEnd(BackendProgram(), options, output, kJobTimeout), 0) << output;
    fs::path folder = DataFolder(Alice());
    ASSERT_TRUE(
        WaitUntil([&] { return !FilesWithExtension(folder, ".info").empty(); }, kJobTimeout))
        << output << ServerOutput(Alice());
    std::vector<fs::path> jobs = FilesWithExtension(folder, ".prn");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(ReadFile(jobs[0].string()), data);
    EXPECT_NE(jobs[0].filename().string().find("0031.prn"), std::string::npos);
    std::string info = ReadFile(FilesWithExtension(folder, ".info")[0].string());
    EXPECT_NE(info.find("<Copies>2</Copies>"), std::string::npos) << info;
    EXPECT_NE(info.find("<Options>sides=one-sided job-originating"), std::string::npos) << info;
}

TEST_F(CupsQueueTest, WithoutRootTheBackendServesOnlyItsOwnUser) {
    StartServer(Bob());
    std::string output;
    ProcessOptions options = BackendOptions("mossvane:/", {"32", Bob().Name(), "Not mine", "1", ""},
                                            AuthenticatedBy(Bob()), Alice().Uid());
    EXPECT_EQ(RunToEnd(BackendProgram(), options, output, kJobTimeout), 1) << output;
    EXPECT_NE(output.find("ERROR: "), std::string::npos) << output;
    EXPECT_NE(output.find("acts only for that user"), std::string::npos) << output;
    EXPECT_TRUE(FilesWithExtension(DataFolder(Bob()), ".prn").empty());
}

}  // namespace
}  // namespace mossvane::cups::test
