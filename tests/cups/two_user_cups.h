// The scene for the backend's tests: two throwaway local users, each with a
// runtime folder, a home with configuration and data folders, and (when a
// test starts it) a server of their own; and a private cupsd that runs the
// backend as root, with queues under the default operation policy (which
// believes any user name a submitter claims) and under the authenticated
// one. Everything is made for the test process and removed after it.
#pragma once

#include <sys/types.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "private_cups.h"
#include "test_process.h"
#include "throwaway_user.h"

namespace mossvane::cups::test {

// Queues of the private cupsd: <policy>[-pin].
inline constexpr char kQueue[] = "mossvane";                  // authenticated
inline constexpr char kPinQueue[] = "mossvane-pin";           // authenticated, pin=ask
inline constexpr char kOpenQueue[] = "mossvane-open";         // default policy
inline constexpr char kOpenPinQueue[] = "mossvane-open-pin";  // default policy, pin=ask
// authenticated; a short job deadline, which each single wait stays within.
inline constexpr char kDeadlineQueue[] = "mossvane-deadline";
inline constexpr auto kJobTimeout = std::chrono::seconds(60);

std::string JoinLines(const std::vector<std::string>& lines);
bool LogHas(const std::vector<std::string>& lines, const std::string& text);
std::vector<std::filesystem::path> FilesWithExtension(const std::filesystem::path& folder,
                                                      const std::string& extension);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

class TwoUserCupsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    static const ThrowawayUser& Alice() { return *s_alice; }
    static const ThrowawayUser& Bob() { return *s_bob; }

    static std::filesystem::path RuntimeRoot();
    static std::filesystem::path UserRuntime(const ThrowawayUser& user);
    static std::string SocketPath(const ThrowawayUser& user);
    std::filesystem::path Home(const ThrowawayUser& user) const;
    std::filesystem::path DataFolder(const ThrowawayUser& user) const;

    // Starts the user's server without a display and waits for its socket.
    void StartServer(const ThrowawayUser& user);
    std::string ServerOutput(const ThrowawayUser& user) const;

    // Prints data through the private cupsd; submitter null is root.
    int Print(const char* queue, const ThrowawayUser* submitter, const std::string& claimedName,
              const std::string& data, std::string& output);

    // The backend as CUPS starts it, without CUPS: as root unless uid is
    // given; environment entries are added to DEVICE_URI and the runtime root.
    ProcessOptions BackendOptions(const std::string& uri, const std::vector<std::string>& arguments,
                                  const std::vector<std::string>& environment,
                                  std::optional<uid_t> uid = std::nullopt) const;
    // What CUPS adds for a job that user submitted on this machine under the
    // authenticated policy.
    static std::vector<std::string> AuthenticatedBy(const ThrowawayUser& user);
    static std::string BackendProgram();

    static PrivateCups* s_cups;

  private:
    static void MakeUserFolder(const std::filesystem::path& folder, const ThrowawayUser& user);
    static void CopyServer();
    static std::string StartCups();

    static std::string s_skipReason;
    static std::string s_setupError;
    static std::filesystem::path* s_base;
    static std::unique_ptr<ThrowawayUser> s_alice;
    static std::unique_ptr<ThrowawayUser> s_bob;

    std::string m_testName;
    std::map<uid_t, std::unique_ptr<Process>> m_servers;
};

}  // namespace mossvane::cups::test
