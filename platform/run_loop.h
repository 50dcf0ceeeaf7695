// SPDX-License-Identifier: Apache-2.0
// The run loop of the calling thread: timers and event sources (such as URL
// connections) are serviced while runUntilDate pumps it. No threads: every
// callback runs on the thread that pumps the loop.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <poll.h>

#include "platform/object.h"

namespace platform {

/// Seconds on a monotonic clock (not affected by changes of the wall clock).
double monotonicNow();

class Timer : public Object {
 public:
  using Action = std::function<void(Timer&)>;
  /// Makes a timer that fires `interval` seconds from now and schedules it
  /// on the current thread's run loop. The run loop keeps the timer (and so
  /// whatever its action holds) until it fires for the last time or is
  /// invalidated.
  static std::shared_ptr<Timer> scheduledTimerWithTimeInterval(double interval, Action action,
                                                               bool repeats);
  /// Stops the timer and lets go of its action (and whatever the action
  /// holds) at once; the run loop drops the timer at its next turn. Safe to
  /// call from inside the timer's own action.
  void invalidate() {
    valid_ = false;
    action_ = nullptr;
  }
  bool isValid() const { return valid_; }
  double fireDate() const { return fireDate_; }

  Timer(double interval, Action action, bool repeats);

 private:
  friend class RunLoop;
  double interval_;
  double fireDate_;
  Action action_;
  bool repeats_;
  bool valid_ = true;
};

/// Something the run loop waits on: it names the descriptors to poll and
/// the longest wait it allows, and does its work when woken.
class RunLoopSource {
 public:
  virtual ~RunLoopSource() = default;
  /// Adds the descriptors to wait on; lowers `timeoutMs` when the source
  /// needs to be serviced sooner (-1 means no limit of its own).
  virtual void collectPollDescriptors(std::vector<pollfd>& fds, long& timeoutMs) = 0;
  /// Services the source after the wait (whatever woke the loop).
  virtual void perform() = 0;
};

/// How the run loop waits: poll(2) unless a host installs its own waiter
/// (a windowing host waits inside its toolkit's main loop, so that windows
/// keep drawing while the plug-in waits for a printer). Answers as poll does.
using RunLoopWaiter = std::function<int(pollfd* fds, nfds_t count, int timeoutMs)>;

/// Installs the waiter (an empty function restores poll(2)).
void setRunLoopWaiter(RunLoopWaiter waiter);

class RunLoop {
 public:
  /// The run loop of the calling thread.
  static RunLoop& currentRunLoop();

  void addTimer(std::shared_ptr<Timer> timer);
  /// Sources are not owned; a source removes itself before it dies.
  void addSource(RunLoopSource* source);
  void removeSource(RunLoopSource* source);

  /// Services timers and sources until the monotonic time `date` (see
  /// monotonicNow) is reached. Answers false at once, without waiting, when
  /// there is no timer and no source to wait for.
  bool runUntilDate(double date);
  /// Ends the runUntilDate now running after its current wait, which then
  /// answers false (as a host does when its dialog is closed while a
  /// plug-in waits). Nothing happens when none is running.
  void stop() {
    if (depth_ > 0) stopRequested_ = true;
  }
  /// Number of valid timers still scheduled (for tests).
  std::size_t timerCount() const;

 private:
  void fireDueTimers();
  void pruneTimers();
  std::vector<std::shared_ptr<Timer>> timers_;
  std::vector<RunLoopSource*> sources_;
  int depth_ = 0;
  bool stopRequested_ = false;
};

}  // namespace platform
