// Job files in a folder another account collects from: the folder's default
// ACL says who may read what the server creates there; without one, the
// files and folders stay the user's alone. The other account is a throwaway
// user made for the test, so these cases need root.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "job_client.h"
#include "pipe/job_spool.h"
#include "platform/posix/posix_util.h"
#include "platform/spool_files.h"
#include "server_harness.h"
#include "wire/job_message.h"

extern char** environ;

namespace mossvane::testing {
namespace {

namespace fs = std::filesystem;
using platform::posix::UniqueFd;

const Bytes kEndOfJob(kEndOfJobMarker, kEndOfJobMarker + kEndOfJobMarkerSize);

// Runs a system tool with its output discarded; true when it exits with 0.
bool RunQuietly(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A system account without a home that lives as long as the object; the only
// process it ever runs is the reader below, which is waited for.
class ThrowawayUser {
  public:
    ThrowawayUser() : m_name("mvacl" + std::to_string(getpid())) {
        if (!RunQuietly({"useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                         "--shell", "/usr/sbin/nologin", "--user-group", m_name})) {
            return;
        }
        m_created = true;
        if (const passwd* entry = getpwnam(m_name.c_str())) {
            m_uid = entry->pw_uid;
            m_gid = entry->pw_gid;
        }
    }
    ~ThrowawayUser() {
        if (m_created) RunQuietly({"userdel", m_name});
    }
    ThrowawayUser(const ThrowawayUser&) = delete;
    ThrowawayUser& operator=(const ThrowawayUser&) = delete;

    bool Exists() const { return m_created && m_uid != 0; }
    const std::string& Name() const { return m_name; }

    // Whether this user can open `relative` below `base` and read from it.
    // Only `base` itself must let the user search it: the walk starts there.
    bool CanRead(const fs::path& base, const fs::path& relative) const {
        UniqueFd folder(open(base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder.IsValid()) return false;
        const pid_t reader = fork();
        if (reader == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(m_gid) != 0 || setuid(m_uid) != 0) _exit(2);
            const int fd = openat(folder.Get(), relative.c_str(), O_RDONLY | O_CLOEXEC);
            char byte = 0;
            _exit(fd >= 0 && read(fd, &byte, 1) == 1 ? 0 : 1);
        }
        int status = 0;
        while (reader > 0 && waitpid(reader, &status, 0) < 0 && errno == EINTR) {
        }
        return reader > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

  private:
    std::string m_name;
    bool m_created = false;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};

mode_t PermissionsOf(const fs::path& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

enum class Folder { PrintFolderPath, DefaultFolder };

struct SharingCase {
    const char* name;
    Folder folder;
    bool defaultAcl;
};

void PrintTo(const SharingCase& sharingCase, std::ostream* out) {
    *out << sharingCase.name;
}

class SharedJobFolderTest : public ServerTest, public ::testing::WithParamInterface<SharingCase> {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to make a second user";
        ServerTest::SetUp();
        ASSERT_TRUE(m_collector.Exists()) << "useradd failed";
        if (GetParam().folder == Folder::PrintFolderPath) {
            m_base = fs::path(folder()) / "shared";
            fs::create_directory(m_base);
            SetPrintFolder(m_base);
        } else {
            std::u16string data;
            ASSERT_EQ(platform::GetUserDataFolder(data), platform::kSuccess);
            m_base = data;
        }
        // The collector may always enter the folder, so only the permissions
        // of what the server creates decide whether it can read the jobs.
        std::string entries = "u:" + m_collector.Name() + ":rx";
        if (GetParam().defaultAcl) {
            entries += ",d:u::rwx,d:g::---,d:o::---,d:u:" + m_collector.Name() + ":rx";
        }
        ASSERT_TRUE(RunQuietly({"setfacl", "-m", entries, m_base.string()})) << "setfacl failed";
        m_server = StartServer();
        ASSERT_TRUE(m_server);
    }

    // The folder the jobs land in, relative to the base folder.
    fs::path JobFolder() const {
        return GetParam().folder == Folder::PrintFolderPath ? fs::path()
                                                            : fs::path("VARNOCK") / "PlugInPrnData";
    }

    bool SendJob() {
        platform::PipeConnection client;
        if (!Connect(client)) return false;
        return WriteAll(client, EncodeWholeJob(7, kEndOfJob, u"Title=Shared")) &&
               StoredByServer(client);
    }

    ThrowawayUser m_collector;
    fs::path m_base;
    std::unique_ptr<ChildProcess> m_server;
};

TEST_P(SharedJobFolderTest, TheFolderDecidesWhoReadsTheJob) {
    ASSERT_TRUE(SendJob());
    const auto jobs = FilesWithExtension(m_base / JobFolder(), ".prn");
    ASSERT_EQ(jobs.size(), 1u) << m_server->DebugOutput();
    const fs::path prn = JobFolder() / jobs[0].filename();
    const fs::path info = fs::path(prn).replace_extension(".info");
    ASSERT_TRUE(fs::exists(m_base / info));

    const bool shared = GetParam().defaultAcl;
    EXPECT_EQ(m_collector.CanRead(m_base, prn), shared);
    EXPECT_EQ(m_collector.CanRead(m_base, info), shared);
    if (!shared) {
        EXPECT_EQ(PermissionsOf(m_base / prn), 0600u);
        EXPECT_EQ(PermissionsOf(m_base / info), 0600u);
    }
    if (GetParam().folder == Folder::DefaultFolder) {
        const mode_t folderMode = shared ? 0750u : 0700u;
        EXPECT_EQ(PermissionsOf(m_base / "VARNOCK"), folderMode);
        EXPECT_EQ(PermissionsOf(m_base / JobFolder()), folderMode);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Acl, SharedJobFolderTest,
    ::testing::Values(SharingCase{"SharedPrintFolder", Folder::PrintFolderPath, true},
                      SharingCase{"PrivatePrintFolder", Folder::PrintFolderPath, false},
                      SharingCase{"SharedDataFolder", Folder::DefaultFolder, true},
                      SharingCase{"PrivateDataFolder", Folder::DefaultFolder, false}),
    [](const ::testing::TestParamInfo<SharingCase>& info) { return info.param.name; });

}  // namespace
}  // namespace mossvane::testing
