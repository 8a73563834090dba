// Whom the CUPS backend acts for.
#include "user_access.h"

#include <gtest/gtest.h>

#include <map>

namespace mossvane::cups {
namespace {

class TableDirectory : public UserDirectory {
  public:
    bool FindByName(std::string_view name, UserRecord& user) const override {
        auto found = m_users.find(std::string(name));
        if (found == m_users.end()) return false;
        user = found->second;
        return true;
    }

  private:
    std::map<std::string, UserRecord> m_users{
        {"root", {"root", 0, 0}},
        {"alice", {"alice", 1000, 1000}},
        {"bob", {"bob", 1001, 100}},
    };
};

struct AccessCase {
    const char* name;
    const char* jobUser;
    Caller caller;
    Access access;
    std::uint32_t uid;  // Of the record filled in.
};

void PrintTo(const AccessCase& param, std::ostream* out) {
    *out << param.name;
}

class AccessTest : public ::testing::TestWithParam<AccessCase> {};

TEST_P(AccessTest, ServesOnlyTheJobUser) {
    TableDirectory directory;
    UserRecord user{"stale", 77, 77};
    EXPECT_EQ(DecideAccess(GetParam().jobUser, GetParam().caller, directory, user),
              GetParam().access);
    EXPECT_EQ(user.uid, GetParam().uid);
}

INSTANTIATE_TEST_SUITE_P(
    Callers, AccessTest,
    ::testing::Values(
        AccessCase{"RootBecomesTheJobUser", "bob", {0, 0}, Access::BecomeUser, 1001},
        AccessCase{"RootServesRoot", "root", {0, 0}, Access::AlreadyUser, 0},
        AccessCase{"SetUidRootBecomesRootFully", "root", {1000, 0}, Access::BecomeUser, 0},
        AccessCase{"UserServesItself", "alice", {1000, 1000}, Access::AlreadyUser, 1000},
        AccessCase{"UserNotForAnother", "bob", {1000, 1000}, Access::OtherUser, 1001},
        AccessCase{"UserNotForRoot", "root", {1000, 1000}, Access::OtherUser, 0},
        AccessCase{"MixedIdsNotEvenForThemselves", "alice", {1001, 1000}, Access::OtherUser, 1000},
        AccessCase{"CupsUserNotForTheJobUser", "alice", {7, 7}, Access::OtherUser, 1000},
        AccessCase{"UnknownUser", "mallory", {0, 0}, Access::UnknownUser, 0},
        AccessCase{"UnknownUserAsUser", "mallory", {1000, 1000}, Access::UnknownUser, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mossvane::cups
