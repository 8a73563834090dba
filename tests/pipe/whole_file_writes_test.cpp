// The gate that keeps the process from ending in the middle of a write that
// must be whole: the stop waits for the writes in progress, and a write that
// comes after the stop never starts.
#include "pipe/whole_file_writes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace mossvane {
namespace {

using namespace std::chrono_literals;

// Far longer than any step here takes, so only a wrong gate reaches it.
constexpr auto kGenerous = 30s;

TEST(FileWriteGateTest, HoldingWithoutWritesReturnsAtOnce) {
    FileWriteGate gate;
    EXPECT_TRUE(gate.Hold(kGenerous));
}

TEST(FileWriteGateTest, HoldWaitsForTheWriteInProgress) {
    FileWriteGate gate;
    std::promise<void> finish;
    std::promise<void> started;
    std::thread writer([&] {
        WholeFileWrite write(gate);
        started.set_value();
        finish.get_future().wait();
    });
    started.get_future().wait();

    auto held = std::async(std::launch::async, [&] { return gate.Hold(kGenerous); });
    // The writer is still inside: the stop must not go on.
    EXPECT_EQ(held.wait_for(200ms), std::future_status::timeout);
    finish.set_value();
    EXPECT_TRUE(held.get());
    writer.join();
}

TEST(FileWriteGateTest, HoldGivesUpAfterItsTimeout) {
    FileWriteGate gate;
    gate.Enter();
    EXPECT_FALSE(gate.Hold(50ms));
    gate.Leave();
}

TEST(FileWriteGateTest, WriteAfterTheHoldNeverStarts) {
    // Both outlive the test: the late writer stays blocked until the
    // process ends, as it would in the server.
    static FileWriteGate* gate = new FileWriteGate();
    static std::atomic<bool>* entered = new std::atomic<bool>(false);
    ASSERT_TRUE(gate->Hold(kGenerous));
    std::thread([] {
        WholeFileWrite write(*gate);
        *entered = true;
    }).detach();
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(*entered);
}

}  // namespace
}  // namespace mossvane
