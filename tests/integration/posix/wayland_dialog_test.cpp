// GETINFO against the real server, answered through the real dialog on a
// Wayland compositor, with keys typed through the compositor as a Wayland
// user types them. The compositor starts once for all the tests; each test
// has its own server and folders.
#include <future>

#include "posix/headless_compositor.h"
#include "posix/scoped_variable.h"
#include "server_harness.h"

namespace mossvane::testing {
namespace {

constexpr char kCaption[] = "Personal Identification Number";
constexpr char16_t kAnswerCancel[] = u"[Result]\nRETURN=CANCEL\n";
constexpr int kOutputWidth = 1024;
constexpr int kOutputHeight = 768;
constexpr auto kWindowTimeout = 60s;

class WaylandDialogTest : public ServerTest {
  protected:
    static void SetUpTestSuite() {
        s_compositor = HeadlessCompositor::Start(kOutputWidth, kOutputHeight, s_whyNot);
    }
    static void TearDownTestSuite() { s_compositor.reset(); }

    // GTK must take the Wayland socket and nothing else: with no X11
    // display and the backend fixed, a dialog on screen is a Wayland one.
    void SetUp() override {
        if (!s_compositor) GTEST_SKIP() << "no headless Wayland compositor: " << s_whyNot;
        ServerTest::SetUp();
        m_wayland.emplace("WAYLAND_DISPLAY", s_compositor->WaylandDisplay().c_str());
        m_x11.emplace("DISPLAY", nullptr);
        m_backend.emplace("GDK_BACKEND", "wayland");
        m_server = StartServer();
        ASSERT_TRUE(m_server);
        ASSERT_TRUE(Connect(m_connection));
        m_answer = AskForNumber(m_connection);
        ASSERT_TRUE(compositor().WaitForWindow(kCaption, kWindowTimeout))
            << m_server->DebugOutput() << compositor().Log();
    }

    // A request left unanswered by a failed step waits in its read until
    // the server goes, which ends its connection.
    void TearDown() override {
        if (m_server) m_server->Kill();
        if (m_answer.valid()) m_answer.wait();
        m_backend.reset();
        m_x11.reset();
        m_wayland.reset();
        if (s_compositor) ServerTest::TearDown();
    }

    std::u16string Answer() {
        if (m_answer.wait_for(60s) != std::future_status::ready) return u"<no answer>";
        return m_answer.get();
    }

    HeadlessCompositor& compositor() { return *s_compositor; }

    // What the server, its helper and the compositor said, for a failure.
    std::string Traces() {
        return m_server->DebugOutput() + "\n--- compositor:\n" + compositor().Log() +
               "\n--- window:\n" + compositor().Window(kCaption).value_or("(none)");
    }

  private:
    static inline std::unique_ptr<HeadlessCompositor> s_compositor;
    static inline std::string s_whyNot;
    std::optional<ScopedVariable> m_wayland;
    std::optional<ScopedVariable> m_x11;
    std::optional<ScopedVariable> m_backend;
    std::unique_ptr<ChildProcess> m_server;
    platform::PipeConnection m_connection;
    std::future<std::u16string> m_answer;
};

// A user's keys from the first one typed to the number given: typed, then
// Return; when the number is refused, Return on the message box that says
// why, then more keys and Return again. Keys are wtype's arguments.
struct KeyboardFlow {
    const char* name;
    std::vector<std::string> first;
    const char* refusedWith;  // The message box's caption, or null.
    std::vector<std::string> more;
    std::u16string number;
};

void PrintTo(const KeyboardFlow& flow, std::ostream* out) {
    *out << flow.name;
}

std::vector<std::string> ThenReturn(std::vector<std::string> keys) {
    keys.insert(keys.end(), {"-k", "Return"});
    return keys;
}

class WaylandKeyboardTest : public WaylandDialogTest,
                            public ::testing::WithParamInterface<KeyboardFlow> {};

// The focus is never set by the test once the dialog is up: the message box
// must take it when it opens and give it back to the dialog when it closes.
TEST_P(WaylandKeyboardTest, GivesTheNumberTyped) {
    const KeyboardFlow& flow = GetParam();
    ASSERT_TRUE(compositor().Keys(ThenReturn(flow.first)));
    if (flow.refusedWith) {
        ASSERT_TRUE(compositor().WaitForFocus(flow.refusedWith, kWindowTimeout)) << Traces();
        ASSERT_TRUE(compositor().Keys({"-k", "Return"}));
        ASSERT_TRUE(
            WaitUntil([&] { return !compositor().Window(flow.refusedWith); }, kWindowTimeout));
        ASSERT_TRUE(compositor().WaitForFocus(kCaption, kWindowTimeout)) << Traces();
        ASSERT_TRUE(compositor().Keys(ThenReturn(flow.more)));
    }
    EXPECT_EQ(Answer(), u"[Result]\nRETURN=OK\nPhoneNumber=" + flow.number + u"\n") << Traces();
}

INSTANTIATE_TEST_SUITE_P(
    Wayland, WaylandKeyboardTest,
    ::testing::Values(KeyboardFlow{"Digits", {"1234"}, nullptr, {}, u"1234"},
                      KeyboardFlow{
                          "BackSpaceErases", {"12345", "-k", "BackSpace"}, nullptr, {}, u"1234"},
                      KeyboardFlow{"TooShortThenOneMore", {"123"}, "Lack Number", {"4"}, u"1234"},
                      KeyboardFlow{"EmptyThenDigits", {}, "Empty Number", {"5678"}, u"5678"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WaylandDialogTest, EscapeCancels) {
    ASSERT_TRUE(compositor().Keys({"5678", "-k", "Escape"}));
    EXPECT_EQ(Answer(), kAnswerCancel) << Traces();
}

// A native Wayland window (not one through an X11 server), which the
// compositor places in the middle of its output.
TEST_F(WaylandDialogTest, DialogIsANativeWindowCentredOnTheOutput) {
    const auto window = compositor().Window(kCaption);
    ASSERT_TRUE(window);
    EXPECT_NE(window->find("\"xdg_shell\""), std::string::npos) << *window;
    const auto rect = ParseRect(*window);
    const auto output = compositor().OutputRect();
    ASSERT_TRUE(rect && output) << *window;
    // Smaller than the output: floating as a dialog, not tiled over it.
    EXPECT_LT(rect->width, output->width) << *window;
    EXPECT_LT(rect->height, output->height) << *window;
    // Centred to within the few pixels that rounding and borders make.
    constexpr int kTolerance = 4;
    EXPECT_NEAR(2 * rect->x + rect->width, 2 * output->x + output->width, 2 * kTolerance);
    EXPECT_NEAR(2 * rect->y + rect->height, 2 * output->y + output->height, 2 * kTolerance);
    ASSERT_TRUE(compositor().Keys({"-k", "Escape"}));
    EXPECT_EQ(Answer(), kAnswerCancel);
}

}  // namespace
}  // namespace mossvane::testing
