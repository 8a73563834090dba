// The Open and Exit verbs with the companion access-control dialog on
// screen: the dialog comes to the front and the server is not asked.
#include "companion_window.h"
#include "server_harness.h"

namespace mossvane::testing {
namespace {

constexpr char kDialogTitle[] = "Pendrel Access Control";

class CompanionDialogTest : public ServerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CompanionDialogTest, DialogIsBroughtForwardInsteadOfARequest) {
    auto dialog = CompanionWindow::Open(kDialogTitle);
    if (!dialog) GTEST_SKIP() << "no display";
    auto server = StartServer();
    ASSERT_TRUE(server);

    auto client = StartProgram({GetParam()});
    ASSERT_TRUE(client);
    int exitCode = -1;
    ASSERT_TRUE(client->WaitForExit(kStartTimeout, exitCode));
    const std::string output = client->DebugOutput();
    EXPECT_EQ(CountLines(output, "[KV] Dialog found"), 1u) << output;
    EXPECT_EQ(CountLines(output, "[KV] KV failed to bring"), 0u) << output;
    EXPECT_EQ(output.find("call before"), std::string::npos) << output;
    EXPECT_TRUE(WaitUntil([&] { return dialog->IsForeground(); }, kStartTimeout));

    // The server heard nothing: a client of the test's own is its first.
    platform::PipeConnection probe;
    ASSERT_TRUE(Connect(probe));
    EXPECT_TRUE(WaitForDebugText(*server, "[PI]Plus Call Count"));
    EXPECT_EQ(CountLines(server->DebugOutput(), "[PI]Plus Call Count"), 1u);
    EXPECT_EQ(server->DebugOutput().find("[PI] param:"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Verbs, CompanionDialogTest, ::testing::Values("/Exit", "/Open"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param + 1);
                         });

class CompanionTitleTest : public ServerTest {};

TEST_F(CompanionTitleTest, OtherTitlesAreNotTheCompanionDialog) {
    auto dialog = CompanionWindow::Open("Pendrel Access Control (old)");
    if (!dialog) GTEST_SKIP() << "no display";
    auto server = StartServer();
    ASSERT_TRUE(server);
    auto client = StartProgram({"/Exit"});
    ASSERT_TRUE(client);
    int exitCode = -1;
    ASSERT_TRUE(client->WaitForExit(kStartTimeout, exitCode));
    EXPECT_EQ(CountLines(client->DebugOutput(), "[KV] Dialog not found"), 1u)
        << client->DebugOutput();
    EXPECT_TRUE(server->WaitForExit(kStartTimeout, exitCode));
    EXPECT_FALSE(dialog->IsForeground());
}

}  // namespace
}  // namespace mossvane::testing
