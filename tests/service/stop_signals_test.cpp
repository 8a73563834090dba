// The stop watcher inside one process: the first request calls back on the
// watcher's thread, the second ends the process, and nothing of it leaks
// into programs started meanwhile or outlives the watcher.
#include "platform/stop_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "server_harness.h"

extern char** environ;

namespace mossvane::platform {
namespace {

using testing::kStartTimeout;
using testing::WaitUntil;

class StopSignalsTest : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_P(StopSignalsTest, FirstRequestCallsBackOnceOnTheWatchersThread) {
    std::atomic<int> calls = 0;
    std::atomic<int> received = 0;
    std::atomic<bool> onMainThread = true;
    std::thread::id mainThread = std::this_thread::get_id();
    {
        StopSignals watcher([&](int signalNumber) {
            received = signalNumber;
            onMainThread = std::this_thread::get_id() == mainThread;
            ++calls;
        });
        EXPECT_FALSE(watcher.Requested());
        ASSERT_EQ(kill(getpid(), GetParam()), 0);
        ASSERT_TRUE(WaitUntil([&] { return calls > 0; }, kStartTimeout));
        EXPECT_TRUE(watcher.Requested());
    }
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(received, GetParam());
    EXPECT_FALSE(onMainThread);
}

TEST_P(StopSignalsTest, SecondRequestEndsTheProcessAtOnce) {
    int signalNumber = GetParam();
    EXPECT_EXIT(
        {
            std::atomic<bool> called = false;
            StopSignals watcher([&](int) { called = true; });
            kill(getpid(), signalNumber);
            WaitUntil([&] { return called.load(); }, kStartTimeout);
            kill(getpid(), signalNumber);
            std::this_thread::sleep_for(kStartTimeout);
            std::exit(0);
        },
        ::testing::KilledBySignal(signalNumber), "");
}

TEST_P(StopSignalsTest, WhatTheSignalDidBeforeComesBack) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction saved {};
    ASSERT_EQ(sigaction(GetParam(), &ignore, &saved), 0);
    {
        StopSignals watcher([](int) {});
    }
    struct sigaction now {};
    sigaction(GetParam(), nullptr, &now);
    sigaction(GetParam(), &saved, nullptr);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
}

// The dialog helper is started while the watcher runs; it must still end on
// the signal like any program.
TEST_P(StopSignalsTest, ProgramsStartedMeanwhileKeepTheDefaultAction) {
    StopSignals watcher([](int) {});
    std::string script = "kill -" + std::to_string(GetParam()) + " $$; exit 3";
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ),
              0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), GetParam());
    EXPECT_FALSE(watcher.Requested());
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalsTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) {
                             return std::string(info.param == SIGTERM ? "Term" : "Interrupt");
                         });

}  // namespace
}  // namespace mossvane::platform
