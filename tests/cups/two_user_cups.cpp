#include "two_user_cups.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "child_process.h"
#include "server_harness.h"

namespace mossvane::cups::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using mossvane::testing::ChildProcess;

PrivateCups* TwoUserCupsTest::s_cups = nullptr;
std::string TwoUserCupsTest::s_skipReason;
std::string TwoUserCupsTest::s_setupError;
fs::path* TwoUserCupsTest::s_base = nullptr;
std::unique_ptr<ThrowawayUser> TwoUserCupsTest::s_alice;
std::unique_ptr<ThrowawayUser> TwoUserCupsTest::s_bob;

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

bool LogHas(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

std::vector<fs::path> FilesWithExtension(const fs::path& folder, const std::string& extension) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() == extension) files.push_back(it->path());
    }
    return files;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void TwoUserCupsTest::SetUpTestSuite() {
    s_skipReason = PrivateCups::WhyUnavailable();
    if (s_skipReason.empty()) s_skipReason = ThrowawayUser::WhyUnavailable();
    if (!s_skipReason.empty()) return;
    ThrowawayUser::RemoveLeftovers();
    s_alice = ThrowawayUser::Create("a", s_setupError);
    if (s_alice) s_bob = ThrowawayUser::Create("b", s_setupError);
    if (!s_bob) return;

    char pattern[] = "/tmp/mossvane-cups-XXXXXX";
    s_base = new fs::path(mkdtemp(pattern));
    // The users must reach their folders inside, and lp the scheduler's socket.
    fs::permissions(*s_base, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    CopyServer();
    fs::create_directories(RuntimeRoot());
    s_setupError = StartCups();
}

std::string TwoUserCupsTest::StartCups() {
    s_cups = new PrivateCups(*s_base / "cups", BackendProgram(),
                             {"MOSSVANE_CUPS_RUNTIME_ROOT=" + RuntimeRoot().string()});
    std::string error = s_cups->Start();
    struct QueueSetUp {
        const char* name;
        const char* uri;
        bool authenticated;
    };
    for (QueueSetUp queue :
         {QueueSetUp{kQueue, "mossvane:/", true}, QueueSetUp{kPinQueue, "mossvane:/?pin=ask", true},
          QueueSetUp{kOpenQueue, "mossvane:/", false},
          QueueSetUp{kOpenPinQueue, "mossvane:/?pin=ask", false},
          QueueSetUp{kDeadlineQueue, "mossvane:/?data-timeout=4&job-timeout=8", true}}) {
        if (error.empty()) error = s_cups->AddQueue(queue.name, queue.uri, queue.authenticated);
    }
    return error;
}

void TwoUserCupsTest::TearDownTestSuite() {
    delete s_cups;
    s_cups = nullptr;
    if (s_base) {
        std::error_code ignored;
        fs::remove_all(*s_base, ignored);
        delete s_base;
        s_base = nullptr;
    }
    s_alice.reset();
    s_bob.reset();
}

void TwoUserCupsTest::SetUp() {
    if (!s_skipReason.empty()) GTEST_SKIP() << s_skipReason;
    ASSERT_EQ(s_setupError, "");
    m_testName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : m_testName) {
        if (c == '/') c = '-';
    }
    for (const ThrowawayUser* user : {s_alice.get(), s_bob.get()}) {
        // A test may have spoilt the folder; each starts from a sound one.
        MakeUserFolder(UserRuntime(*user), *user);
        MakeUserFolder(Home(*user), *user);
        MakeUserFolder(Home(*user) / "config", *user);
        MakeUserFolder(DataFolder(*user), *user);
    }
}

void TwoUserCupsTest::TearDown() {
    for (auto& [uid, server] : m_servers) server->Stop(10s);
    m_servers.clear();
}

fs::path TwoUserCupsTest::RuntimeRoot() {
    return *s_base / "run";
}

fs::path TwoUserCupsTest::UserRuntime(const ThrowawayUser& user) {
    return RuntimeRoot() / std::to_string(user.Uid());
}

std::string TwoUserCupsTest::SocketPath(const ThrowawayUser& user) {
    return (UserRuntime(user) / ("Mossvane_" + user.Name())).string();
}

fs::path TwoUserCupsTest::Home(const ThrowawayUser& user) const {
    return *s_base / ("home-" + m_testName + "-" + user.Name());
}

fs::path TwoUserCupsTest::DataFolder(const ThrowawayUser& user) const {
    return Home(user) / "data";
}

void TwoUserCupsTest::StartServer(const ThrowawayUser& user) {
    fs::path home = Home(user);
    ProcessOptions options;
    options.arguments = {"mossvane"};
    options.environment = {"XDG_RUNTIME_DIR=" + UserRuntime(user).string(),
                           "XDG_CONFIG_HOME=" + (home / "config").string(),
                           "XDG_DATA_HOME=" + DataFolder(user).string(),
                           "MOSSVANE_MACHINE_REG=" + (home / "machine.reg").string(),
                           "HOME=" + home.string(),
                           "LANG=C"};
    options.uid = user.Uid();
    options.gid = user.Gid();
    options.output = (home / "server.out").string();
    auto server = Process::Start((*s_base / "bin/mossvane").string(), options);
    ASSERT_NE(server, nullptr);
    m_servers[user.Uid()] = std::move(server);
    ASSERT_TRUE(
        testing::WaitUntil([&] { return fs::exists(SocketPath(user)); }, testing::kStartTimeout))
        << ReadFile(options.output);
}

std::string TwoUserCupsTest::ServerOutput(const ThrowawayUser& user) const {
    return ReadFile((Home(user) / "server.out").string());
}

int TwoUserCupsTest::Print(const char* queue, const ThrowawayUser* submitter,
                           const std::string& claimedName, const std::string& data,
                           std::string& output) {
    // lp reads the file as the submitter.
    fs::path file = *s_base / ("input-" + m_testName + ".bin");
    WriteFile(file, data);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    PrivateCups::Submitter who;
    if (submitter != nullptr) {
        who.uid = submitter->Uid();
        who.gid = submitter->Gid();
    }
    who.claimedName = claimedName;
    return s_cups->Print(queue, who, "Test job", file.string(), output);
}

ProcessOptions TwoUserCupsTest::BackendOptions(const std::string& uri,
                                               const std::vector<std::string>& arguments,
                                               const std::vector<std::string>& environment,
                                               std::optional<uid_t> uid) const {
    ProcessOptions options;
    options.arguments = {uri};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.environment = {"DEVICE_URI=" + uri,
                           "MOSSVANE_CUPS_RUNTIME_ROOT=" + RuntimeRoot().string()};
    // An entry given here replaces the one of the same name.
    for (const std::string& entry : environment) {
        std::string name = entry.substr(0, entry.find('=') + 1);
        std::erase_if(options.environment,
                      [&](const std::string& old) { return old.rfind(name, 0) == 0; });
        options.environment.push_back(entry);
    }
    options.uid = uid;
    if (uid) options.gid = *uid == s_alice->Uid() ? s_alice->Gid() : s_bob->Gid();
    return options;
}

std::vector<std::string> TwoUserCupsTest::AuthenticatedBy(const ThrowawayUser& user) {
    return {"AUTH_UID=" + std::to_string(user.Uid()), "AUTH_USERNAME=" + user.Name()};
}

std::string TwoUserCupsTest::BackendProgram() {
    return ChildProcess::ProgramFolder() + "mossvane-cups-backend";
}

void TwoUserCupsTest::MakeUserFolder(const fs::path& folder, const ThrowawayUser& user) {
    if (fs::is_symlink(folder)) fs::remove(folder);  // A test's link in place of the folder.
    fs::create_directories(folder);
    ASSERT_EQ(chown(folder.c_str(), user.Uid(), user.Gid()), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
}

// The server and its companions, where the test users may run them.
void TwoUserCupsTest::CopyServer() {
    fs::create_directories(*s_base / "bin");
    for (const char* file : {"mossvane", "mossvane-dialog", "localization.xml"}) {
        fs::path built = ChildProcess::ProgramFolder() + file;
        if (fs::exists(built)) fs::copy_file(built, *s_base / "bin" / file);
    }
}

}  // namespace mossvane::cups::test
