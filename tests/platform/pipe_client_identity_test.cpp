#include "platform/pipe_client_identity.h"

#include <gtest/gtest.h>

namespace mossvane::platform {
namespace {

constexpr std::u16string_view kServerUser = u"S-1-5-21-1004336348-1177238915-682003330-1001";

struct ClientCase {
    const char* name;
    std::u16string_view clientSid;
    bool served;
};

void PrintTo(const ClientCase& param, std::ostream* out) {
    *out << param.name;
}

class ServedClientUserTest : public ::testing::TestWithParam<ClientCase> {};

TEST_P(ServedClientUserTest, ServesOnlyThisUserAndServiceAccounts) {
    EXPECT_EQ(IsServedClientUser(GetParam().clientSid, kServerUser), GetParam().served);
}

INSTANTIATE_TEST_SUITE_P(
    Clients, ServedClientUserTest,
    ::testing::Values(ClientCase{"SameUser", kServerUser, true},
                      ClientCase{"LocalSystem", u"S-1-5-18", true},
                      ClientCase{"LocalService", u"S-1-5-19", true},
                      ClientCase{"NetworkService", u"S-1-5-20", true},
                      ClientCase{"AnotherUserOfTheMachine",
                                 u"S-1-5-21-1004336348-1177238915-682003330-1002", false},
                      ClientCase{"UserWhoseIdStartsLikeOurs",
                                 u"S-1-5-21-1004336348-1177238915-682003330-10011", false},
                      ClientCase{"Administrators", u"S-1-5-32-544", false},
                      ClientCase{"Anonymous", u"S-1-5-7", false},
                      ClientCase{"UnknownUser", u"", false}));

TEST(ServedClientUserTest, AServerThatDoesNotKnowItsOwnUserServesOnlyServiceAccounts) {
    EXPECT_FALSE(IsServedClientUser(u"", u""));
    EXPECT_FALSE(IsServedClientUser(kServerUser, u""));
    EXPECT_TRUE(IsServedClientUser(u"S-1-5-18", u""));
}

struct ServerCase {
    const char* name;
    std::u16string_view serverSid;
    bool trusted;
};

void PrintTo(const ServerCase& param, std::ostream* out) {
    *out << param.name;
}

class TrustedServerUserTest : public ::testing::TestWithParam<ServerCase> {};

TEST_P(TrustedServerUserTest, TalksOnlyToItsOwnUserOrTheSystem) {
    EXPECT_EQ(IsTrustedServerUser(GetParam().serverSid, kServerUser), GetParam().trusted);
}

// Service accounts may be served as clients, yet a server of theirs would
// get this user's data: they are no server for it.
INSTANTIATE_TEST_SUITE_P(
    Servers, TrustedServerUserTest,
    ::testing::Values(ServerCase{"SameUser", kServerUser, true},
                      ServerCase{"LocalSystem", u"S-1-5-18", true},
                      ServerCase{"LocalService", u"S-1-5-19", false},
                      ServerCase{"NetworkService", u"S-1-5-20", false},
                      ServerCase{"AnotherUserOfTheMachine",
                                 u"S-1-5-21-1004336348-1177238915-682003330-1002", false},
                      ServerCase{"UserWhoseIdStartsLikeOurs",
                                 u"S-1-5-21-1004336348-1177238915-682003330-100", false},
                      ServerCase{"Administrators", u"S-1-5-32-544", false},
                      ServerCase{"UnknownServer", u"", false}));

TEST(TrustedServerUserTest, AClientThatDoesNotKnowItsOwnUserTrustsOnlyTheSystem) {
    EXPECT_FALSE(IsTrustedServerUser(u"", u""));
    EXPECT_FALSE(IsTrustedServerUser(kServerUser, u""));
    EXPECT_TRUE(IsTrustedServerUser(u"S-1-5-18", u""));
}

}  // namespace
}  // namespace mossvane::platform
