// SPDX-License-Identifier: Apache-2.0
// jobwick agent: the per-user program, started with the desktop session,
// that gives the user's held jobs on Jobwick queues the panel. One runs per
// user. It looks for jobs at start, whenever the scheduler announces a new
// job on the system bus, and about once a second in any case (where there
// is no system bus, that is how it finds them), and shows one window at a
// time, oldest job first.
//
// Options for tests and scripts (`jobwick agent --help`): --jobs N ends it
// after N jobs, --script SESSION takes the session's steps on each window's
// widgets and presses Print, --print/--cancel press a button at once,
// --screenshot OUT.png draws the first window.
#include "gtk/agent_main.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cups/cups.h>

#include <iostream>
#include <set>

#include "gtk/agent_window.h"
#include "gtk/main_loop.h"
#include "gtk/widget_session_input.h"
#include "host/cli/dialog_options.h"
#include "host/common/temporary.h"
#include "host/common/translate.h"
#include "host/engine/agent.h"
#include "host/engine/plugin_loader.h"
#include "platform/c_handles.h"

namespace jobwick::gtkui {
namespace {

namespace fs = std::filesystem;

/// Holds the per-user lock while the agent runs; invalid when another
/// agent of the user holds it.
platform::UniqueFd takeAgentLock(fs::path* where) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  fs::path folder = runtime && *runtime ? fs::path(runtime) : host::temporaryFolderBase();
  *where = folder / ("jobwick-agent-" + std::to_string(::getuid()) + ".lock");
  platform::UniqueFd lock(::open(where->c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (lock && ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) lock.reset();
  return lock;
}

/// The scheduler's announcements of new jobs on the system bus: `wake` is
/// set when one comes. Without a system bus the agent polls alone.
class JobAnnouncements {
 public:
  explicit JobAnnouncements(bool* wake) {
    GError* error = nullptr;
    bus_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (!bus_) {
      if (error) g_error_free(error);
      return;
    }
    subscription_ = g_dbus_connection_signal_subscribe(
        bus_, nullptr, "com.redhat.PrinterSpooler", "JobQueuedLocal", nullptr, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
           gpointer wake) { *static_cast<bool*>(wake) = true; },
        wake, nullptr);
  }
  ~JobAnnouncements() {
    if (bus_ && subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
    if (bus_) g_object_unref(bus_);
  }
  JobAnnouncements(const JobAnnouncements&) = delete;
  JobAnnouncements& operator=(const JobAnnouncements&) = delete;
  bool listening() const { return subscription_ != 0; }

 private:
  GDBusConnection* bus_ = nullptr;
  guint subscription_ = 0;
};

/// A session's steps on the widgets of the panel in an agent's window;
/// Print is pressed when they are done.
class AgentSessionInput : public WidgetSessionInput {
 public:
  explicit AgentSessionInput(AgentWindow& window) : window_(window) {}
  ~AgentSessionInput() override { detaching(); }

  void dialogOpened(host::PrintDialog& dialog) override { dialog_ = &dialog; }
  void attached(host::PanelWindow& panelWindow) override {
    detaching();
    view_ = std::make_unique<PanelView>(panelWindow);
    window_.followSession(dialog_, view_->widget());
    drainMainLoop(view_->widget(), 5.0);
  }
  void detaching() override {
    if (view_) window_.followSession(nullptr, nullptr);
    view_.reset();
  }
  void stepDone() override {
    if (view_) view_->sync();
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  }
  void alertShown(const platform::Alert& alert) override {
    runAlertDialog(window_.window(), alert, true);
  }
  bool finished(host::PanelWindow&, std::string*) override {
    if (view_) view_->sync();
    window_.respond(true);
    return true;
  }

 private:
  AgentWindow& window_;
  host::PrintDialog* dialog_ = nullptr;
};

/// Takes `window`'s job through the options' steps (scripted use).
void drive(AgentWindow& window, const host::ParsedArgs& args,
           const std::optional<host::SessionScript>& script, const host::DialogSetup& user) {
  if (auto path = args.value("--screenshot")) {
    drainMainLoop(GTK_WIDGET(window.window()), 5.0);
    std::string error;
    if (!saveWidgetPng(GTK_WIDGET(window.window()), *path, &error))
      std::cerr << "jobwick: agent: " << error << "\n";
  }
  if (script) {
    std::string error;
    auto target = host::resolveQueue(window.job().queue, host::defaultBundleDir(), &error);
    if (!target) return;
    host::SessionOptions jobAndUser;
    jobAndUser.language = user.language;
    jobAndUser.prefsDir = user.prefsDir;
    AgentSessionInput input(window);
    std::ostringstream steps;
    host::runSession(
        host::agentScriptFor(window.job(), *script),
        host::sessionOptionsForQueue(*target, host::agentSessionOptions(window.job(), jobAndUser)),
        {steps, std::cerr, false, "agent"}, input);
    // A refused Print leaves the job held; a script does not wait for a
    // person to change the panel.
    window.leaveHeld();
  } else if (args.has("--print") || args.has("--cancel")) {
    window.respond(args.has("--print"));
    window.leaveHeld();
  }
}

/// Runs the main loop until `wake` is set, the window `current` (if any)
/// has ended, or `seconds` have gone by (with 0, until one of the others).
void waitAMoment(bool* wake, double seconds, const AgentWindow* current) {
  const gint64 until = g_get_monotonic_time() + gint64(seconds * G_USEC_PER_SEC);
  GSource* timer = seconds > 0 ? g_timeout_source_new(guint(seconds * 1000)) : nullptr;
  if (timer) {
    g_source_set_callback(
        timer, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(timer, nullptr);
  }
  auto ended = [current] { return current && current->outcome() != AgentWindow::Outcome::kOpen; };
  while (!*wake && !ended() && (!timer || g_get_monotonic_time() < until))
    g_main_context_iteration(nullptr, TRUE);
  if (timer) {
    g_source_destroy(timer);
    g_source_unref(timer);
  }
  *wake = false;
}

/// How often the agent looks for held jobs: --poll-seconds, else once a
/// second. 0 leaves it to the scheduler's announcements. nullopt when the
/// value is not a number of seconds from 0 to 3600.
std::optional<double> pollSeconds(const host::ParsedArgs& args) {
  auto given = args.value("--poll-seconds");
  if (!given) return 1.0;
  char* end = nullptr;
  const double seconds = std::strtod(given->c_str(), &end);
  if (given->empty() || *end != '\0' || !(seconds >= 0 && seconds <= 3600)) return std::nullopt;
  return seconds;
}

/// Says how the agent finds held jobs (`listening`: the scheduler's
/// announcements come; `poll`: seconds between looks, 0 for none). False
/// when it would find none.
bool sayHowJobsAreFound(bool listening, double poll) {
  using host::N_;
  const char* how = nullptr;
  if (!listening && poll > 0) how = N_("no system bus; looking for held jobs once a second");
  if (listening && poll == 0) how = N_("looking for held jobs when the scheduler announces one");
  if (!listening && poll == 0)
    how = N_("no system bus, and --poll-seconds 0 leaves nothing to find held jobs with");
  if (how) std::cerr << "jobwick: agent: " << host::tr(how) << "\n";
  return listening || poll > 0;
}

}  // namespace

int runAgentWindows(const host::ParsedArgs& args) {
  fs::path lockPath;
  platform::UniqueFd lock = takeAgentLock(&lockPath);
  if (!lock) {
    std::cerr << "jobwick: agent: "
              << host::trf("another agent already runs for this user (%1)", {lockPath.string()})
              << "\n";
    return host::kExitFailure;
  }
  std::optional<host::SessionScript> script;
  if (auto path = args.value("--script")) {
    std::string error;
    script = host::readSessionScript(*path, host::variablesFrom(args), &error);
    if (!script) {
      std::cerr << "jobwick: agent: " << error << "\n";
      return host::kExitBadInput;
    }
  }
  const std::optional<double> poll = pollSeconds(args);
  if (!poll) {
    std::cerr << "jobwick: agent: "
              << host::trf("--poll-seconds takes a number of seconds from 0 to 3600, not '%1'",
                           {*args.value("--poll-seconds")})
              << "\n";
    return host::kExitUsage;
  }
  const host::DialogSetup user = host::dialogSetupFromArgs(args, "");
  const bool automatic = script || args.has("--print") || args.has("--cancel");
  long limit = args.has("--once") ? 1 : 0;
  if (auto jobs = args.value("--jobs")) limit = std::strtol(jobs->c_str(), nullptr, 10);
  bool wake = false;
  JobAnnouncements announcements(&wake);
  if (!sayHowJobsAreFound(announcements.listening(), *poll)) return host::kExitUsage;

  std::set<int> seen;
  std::unique_ptr<AgentWindow> current;
  long handled = 0;
  int status = host::kExitSuccess;
  while (limit == 0 || handled < limit) {
    if (!current) {
      // A scheduler that cannot be asked now is asked again a moment later.
      std::string unavailable;
      if (auto job = host::nextHeldJob(cupsUser(), &seen, host::defaultBundleDir(), &unavailable)) {
        seen.insert(job->id);
        current = std::make_unique<AgentWindow>(*job, user, automatic);
        std::string error;
        if (!current->open(&error)) {
          std::cerr << "jobwick: agent: " << host::trf("%1; the job stays held", {error}) << "\n";
          current.reset();
          continue;
        }
        drive(*current, args, script, user);
        continue;
      }
    } else if (current->outcome() != AgentWindow::Outcome::kOpen) {
      const bool printed = current->outcome() == AgentWindow::Outcome::kPrinted;
      (printed ? std::cout : std::cerr)
          << (printed ? "" : "jobwick: agent: ") << current->message() << "\n";
      if (!printed) status = current->refusals() > 0 ? host::kExitProblems : host::kExitFailure;
      current.reset();
      ++handled;
      continue;
    } else if (auto now = host::describeJob(current->job().id, nullptr); !now || !now->held()) {
      current->jobGone();
      continue;
    }
    waitAMoment(&wake, *poll, current.get());
  }
  return status;
}

}  // namespace jobwick::gtkui
