// SPDX-License-Identifier: Apache-2.0
#include "platform/run_loop.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>

namespace platform {
namespace {

RunLoopWaiter& currentWaiter() {
  static RunLoopWaiter waiter;
  return waiter;
}

}  // namespace

double monotonicNow() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

Timer::Timer(double interval, Action action, bool repeats)
    : interval_(interval),
      fireDate_(monotonicNow() + interval),
      action_(std::move(action)),
      repeats_(repeats) {}

std::shared_ptr<Timer> Timer::scheduledTimerWithTimeInterval(double interval, Action action,
                                                             bool repeats) {
  auto timer = std::make_shared<Timer>(interval, std::move(action), repeats);
  RunLoop::currentRunLoop().addTimer(timer);
  return timer;
}

RunLoop& RunLoop::currentRunLoop() {
  thread_local RunLoop loop;
  return loop;
}

void RunLoop::addTimer(std::shared_ptr<Timer> timer) {
  if (timer) timers_.push_back(std::move(timer));
}

void RunLoop::addSource(RunLoopSource* source) {
  if (source && std::find(sources_.begin(), sources_.end(), source) == sources_.end()) {
    sources_.push_back(source);
  }
}

void RunLoop::removeSource(RunLoopSource* source) {
  sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void RunLoop::pruneTimers() {
  // A timer leaves the loop when it is invalidated or has fired for the last
  // time; whatever its action holds goes with it.
  std::erase_if(timers_, [](const std::shared_ptr<Timer>& t) {
    if (t->valid_) return false;
    t->action_ = nullptr;
    return true;
  });
}

void RunLoop::fireDueTimers() {
  // Work on a snapshot: a timer's action may schedule or invalidate timers.
  const double now = monotonicNow();
  std::vector<std::shared_ptr<Timer>> due;
  for (const auto& timer : timers_) {
    if (timer->valid_ && timer->fireDate_ <= now) due.push_back(timer);
  }
  for (const auto& timer : due) {
    if (!timer->valid_) continue;
    if (timer->repeats_) {
      // Keep to the timer's own schedule; firings missed while the loop was
      // not pumped are skipped, not made up.
      const double interval = std::max(timer->interval_, 0.0001);
      const double missed = std::floor((now - timer->fireDate_) / interval) + 1.0;
      timer->fireDate_ += missed * interval;
    } else {
      timer->valid_ = false;
    }
    // Call a copy: the action may invalidate its own timer or pump the loop
    // again, and the original is released when the timer leaves the loop.
    if (Timer::Action action = timer->action_) action(*timer);
  }
  pruneTimers();
}

std::size_t RunLoop::timerCount() const {
  return std::size_t(std::count_if(timers_.begin(), timers_.end(),
                                   [](const std::shared_ptr<Timer>& t) { return t->valid_; }));
}

void setRunLoopWaiter(RunLoopWaiter waiter) {
  currentWaiter() = std::move(waiter);
}

bool RunLoop::runUntilDate(double date) {
  pruneTimers();
  if (timers_.empty() && sources_.empty()) return false;
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
  } running(depth_);
  for (;;) {
    fireDueTimers();
    const double now = monotonicNow();
    if (now >= date) break;

    double wait = date - now;
    for (const auto& timer : timers_) {
      if (timer->valid_) wait = std::min(wait, std::max(0.0, timer->fireDate_ - now));
    }
    long timeoutMs = long(std::ceil(wait * 1000.0));

    std::vector<pollfd> fds;
    const std::vector<RunLoopSource*> sources = sources_;
    for (auto* source : sources) {
      long sourceTimeout = -1;
      source->collectPollDescriptors(fds, sourceTimeout);
      if (sourceTimeout >= 0) timeoutMs = std::min(timeoutMs, sourceTimeout);
    }
    const int waitMs = int(std::min<long>(timeoutMs, 1000000));
    // A copy: the waiter may replace itself while it waits.
    const RunLoopWaiter waiter = currentWaiter();
    const int rc =
        waiter ? waiter(fds.data(), fds.size(), waitMs) : poll(fds.data(), fds.size(), waitMs);
    if (rc < 0 && errno != EINTR) break;
    // Sources may remove themselves (or others) while performing.
    for (auto* source : sources) {
      if (std::find(sources_.begin(), sources_.end(), source) != sources_.end()) source->perform();
    }
    if (stopRequested_) {
      stopRequested_ = false;
      return false;
    }
  }
  return true;
}

}  // namespace platform
