// SPDX-License-Identifier: Apache-2.0
// The run loop: timers on the monotonic clock, sources woken by descriptors,
// and what a timer's action keeps alive.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/run_loop.h"

namespace platform {
namespace {

// Runs the loop until nothing is left (or `limit` seconds have passed).
void drain(double limit) {
  const double end = monotonicNow() + limit;
  while (monotonicNow() < end && RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.05)) {
    if (RunLoop::currentRunLoop().timerCount() == 0) break;
  }
}

class RunLoopTest : public ::testing::Test {
 protected:
  void TearDown() override { drain(2.0); }
};

TEST_F(RunLoopTest, NothingToWaitForAnswersAtOnce) {
  const double start = monotonicNow();
  EXPECT_FALSE(RunLoop::currentRunLoop().runUntilDate(start + 5.0));
  EXPECT_LT(monotonicNow() - start, 0.5);
}

TEST_F(RunLoopTest, OneShotTimerFiresOnceWhenDueAndReleasesItsAction) {
  auto held = std::make_shared<int>(7);
  std::weak_ptr<int> watch = held;
  int fired = 0;
  double firedAt = 0;
  const double start = monotonicNow();
  Timer::scheduledTimerWithTimeInterval(
      0.15,
      [&fired, &firedAt, held = std::move(held)](Timer& timer) {
        ++fired;
        firedAt = monotonicNow();
        EXPECT_FALSE(timer.isValid());  // a one-shot timer is spent once it fires
      },
      false);
  ASSERT_EQ(RunLoop::currentRunLoop().timerCount(), 1u);
  EXPECT_FALSE(watch.expired());  // the loop keeps the timer and what it holds

  RunLoop::currentRunLoop().runUntilDate(start + 0.05);
  EXPECT_EQ(fired, 0);
  RunLoop::currentRunLoop().runUntilDate(start + 0.5);
  EXPECT_EQ(fired, 1);
  EXPECT_GE(firedAt - start, 0.15);
  EXPECT_EQ(RunLoop::currentRunLoop().timerCount(), 0u);
  EXPECT_TRUE(watch.expired());
}

TEST_F(RunLoopTest, RunUntilDateLastsUntilTheDateEvenAfterATimerFired) {
  int fired = 0;
  Timer::scheduledTimerWithTimeInterval(
      0.02, [&](Timer&) { ++fired; }, false);
  const double start = monotonicNow();
  EXPECT_TRUE(RunLoop::currentRunLoop().runUntilDate(start + 0.3));
  const double elapsed = monotonicNow() - start;
  EXPECT_EQ(fired, 1);
  EXPECT_GE(elapsed, 0.3);
  EXPECT_LT(elapsed, 1.0);
}

TEST_F(RunLoopTest, RepeatingTimerKeepsItsScheduleAndMayInvalidateItself) {
  int fired = 0;
  auto timer = Timer::scheduledTimerWithTimeInterval(
      0.05,
      [&fired](Timer& self) {
        if (++fired == 3) self.invalidate();  // the action's own captures must survive this
      },
      true);
  const double first = timer->fireDate();
  RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.5);
  EXPECT_EQ(fired, 3);
  EXPECT_FALSE(timer->isValid());
  EXPECT_EQ(RunLoop::currentRunLoop().timerCount(), 0u);
  // Firings fall on the original grid first + k * 0.05 (k >= 3 after three
  // firings; more when the loop was late and skipped some).
  const double steps = (timer->fireDate() - first) / 0.05;
  EXPECT_GE(steps, 2.999);
  EXPECT_NEAR(steps, std::round(steps), 1e-6);
}

TEST_F(RunLoopTest, InvalidatedTimerNeverFiresAndDropsWhatItHolds) {
  auto held = std::make_shared<int>(1);
  std::weak_ptr<int> watch = held;
  bool fired = false;
  auto timer = Timer::scheduledTimerWithTimeInterval(
      0.01, [&fired, held = std::move(held)](Timer&) { fired = true; }, false);
  timer->invalidate();
  EXPECT_TRUE(watch.expired());  // let go of at once, as code may be unloaded next
  EXPECT_EQ(RunLoop::currentRunLoop().timerCount(), 0u);
  // Nothing valid to wait for: the loop answers at once.
  EXPECT_FALSE(RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.1));
  EXPECT_FALSE(fired);
}

TEST_F(RunLoopTest, ActionsMayScheduleTimersAndPumpTheLoopAgain) {
  std::vector<int> order;
  Timer::scheduledTimerWithTimeInterval(
      0.01,
      [&order](Timer&) {
        order.push_back(1);
        Timer::scheduledTimerWithTimeInterval(
            0.01, [&order](Timer&) { order.push_back(2); }, false);
        // A nested wait, as a modal alert or a synchronous exchange would run.
        RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.1);
        order.push_back(3);
      },
      false);
  RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.3);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

// A source woken by the read end of a pipe.
class PipeSource : public RunLoopSource {
 public:
  PipeSource() {
    if (pipe(fds_) == 0) fcntl(fds_[0], F_SETFL, O_NONBLOCK);
  }
  ~PipeSource() override {
    RunLoop::currentRunLoop().removeSource(this);
    close(fds_[0]);
    close(fds_[1]);
  }
  void collectPollDescriptors(std::vector<pollfd>& fds, long&) override {
    fds.push_back({fds_[0], POLLIN, 0});
  }
  void perform() override {
    char buffer[16];
    while (read(fds_[0], buffer, sizeof buffer) > 0) ++reads;
    ++performs;
    if (removeOnPerform && reads > 0) RunLoop::currentRunLoop().removeSource(this);
  }
  void poke() { (void)!write(fds_[1], "x", 1); }

  int reads = 0;
  int performs = 0;
  bool removeOnPerform = false;

 private:
  int fds_[2] = {-1, -1};
};

TEST_F(RunLoopTest, SourceIsServicedWhenItsDescriptorIsReadyAndMayRemoveItself) {
  PipeSource source;
  source.removeOnPerform = true;
  RunLoop::currentRunLoop().addSource(&source);
  RunLoop::currentRunLoop().addSource(&source);  // added once only
  Timer::scheduledTimerWithTimeInterval(
      0.05, [&source](Timer&) { source.poke(); }, false);
  const double start = monotonicNow();
  RunLoop::currentRunLoop().runUntilDate(start + 0.3);
  EXPECT_EQ(source.reads, 1);
  EXPECT_GE(source.performs, 1);
  // Removed: a second poke is not seen, and nothing is left to wait for.
  const int performs = source.performs;
  source.poke();
  EXPECT_FALSE(RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.1));
  EXPECT_EQ(source.performs, performs);
}

// A host's waiter does the waiting: it sees the source's descriptor and the
// time-out, and what it answers is what the loop acts on. Removing it brings
// poll(2) back.
TEST_F(RunLoopTest, InstalledWaiterWaitsInsteadOfPoll) {
  PipeSource source;
  RunLoop::currentRunLoop().addSource(&source);
  int calls = 0;
  std::size_t seenDescriptors = 0;
  int longestTimeout = -1;
  setRunLoopWaiter([&](pollfd* fds, nfds_t count, int timeoutMs) {
    ++calls;
    seenDescriptors = std::max(seenDescriptors, std::size_t(count));
    longestTimeout = std::max(longestTimeout, timeoutMs);
    if (calls == 1) source.poke();  // what woke the host's loop
    return poll(fds, count, timeoutMs);
  });
  RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.1);
  setRunLoopWaiter({});
  EXPECT_GE(calls, 1);
  EXPECT_EQ(seenDescriptors, 1u);
  EXPECT_LE(longestTimeout, 100);
  EXPECT_EQ(source.reads, 1);

  const int before = calls;
  source.poke();
  RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.05);
  EXPECT_EQ(calls, before);
  EXPECT_EQ(source.reads, 2);
  RunLoop::currentRunLoop().removeSource(&source);
}

}  // namespace
}  // namespace platform
