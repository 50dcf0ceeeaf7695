// SPDX-License-Identifier: Apache-2.0
// A private scheduler with the access rules CUPS ships, shared by the tests
// that need real local users (the system accounts daemon and nobody,
// through setpriv): queues set up by `jobwick setup`, a queue under the
// shipped policy, and commands run as either user over the scheduler's
// local socket or its loopback port.
#pragma once

#include <cups/cups.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "../support/private_cupsd.h"
#include "jobwick_fixture.h"

namespace hosttest {

/// A local user the tests run commands as.
struct User {
  std::string name;
  std::string group;
};
inline const User kOwner{"daemon", "daemon"};
inline const User kOther{"nobody", "nogroup"};

/// The scheduler and the files every test of the suite shares.
struct PrivateScheduler {
  TempDir folder;
  std::unique_ptr<jwtest::PrivateCupsd> cupsd;
  std::string why;
  std::filesystem::path recorderPPD;      ///< the vk7300's, with the recording filter
  std::filesystem::path recorderPPD410e;  ///< the vk410e's, with the recording filter
};

/// Why the tests cannot run here; empty when they can.
inline std::string unavailablePrivateScheduler() {
  if (::geteuid() != 0) return "needs root, to run commands as two other users";
  if (!std::filesystem::exists("/usr/bin/setpriv")) return "no setpriv";
  if (!::getpwnam(kOwner.name.c_str()) || !::getpwnam(kOther.name.c_str()))
    return "no daemon or nobody account";
  if (!jwtest::PrivateCupsd::available()) return "no cupsd here";
  return "";
}

/// Starts the scheduler into `s`; false when it cannot run.
inline bool startPrivateScheduler(PrivateScheduler& s) {
  s.why = unavailablePrivateScheduler();
  if (!s.why.empty()) return false;
  ::chmod(s.folder.path().c_str(), 0755);
  jwtest::CupsdOptions options;
  options.shippedPolicy = true;
  s.cupsd = jwtest::PrivateCupsd::start(s.folder.path() / "cupsd", &s.why, 600, options);
  if (!s.cupsd) return false;
  const std::filesystem::path ppd = JobwickTest::source("examples/ppd/vk7300.ppd");
  s.recorderPPD = jwtest::PrivateCupsd::withRecorder(ppd, s.folder.path() / "r7300.ppd");
  s.recorderPPD410e = jwtest::PrivateCupsd::withRecorder(
      JobwickTest::source("examples/ppd/vk410e.ppd"), s.folder.path() / "r410e.ppd");
  // A printer no bundle serves, holding every job as the agent's queues do.
  std::string foreign = jwtest::PrivateCupsd::read(s.recorderPPD410e);
  for (const char* keyword : {"*JobwickDialogExtension:", "*ModelName:", "*NickName:"}) {
    const auto at = foreign.find(keyword);
    if (at == std::string::npos) continue;
    const std::string line =
        keyword[1] == 'J' ? "*% no plug-in" : std::string(keyword) + " \"Acme LaserPro 9\"";
    foreign.replace(at, foreign.find('\n', at) - at, line);
  }
  std::ofstream(s.folder.path() / "foreign.ppd") << foreign;
  if (!s.cupsd->addQueue("Open7300", s.recorderPPD, &s.why) ||
      !s.cupsd->addQueue("Foreign", s.folder.path() / "foreign.ppd", &s.why) ||
      !s.cupsd->run("lpadmin -p Foreign -o job-hold-until-default=indefinite", &s.why)) {
    s.cupsd.reset();
  }
  return bool(s.cupsd);
}

inline PrivateScheduler& privateScheduler() {
  static PrivateScheduler shared;
  static const bool started = startPrivateScheduler(shared);
  (void)started;
  return shared;
}

class PrivateSchedulerTest : public JobwickTest {
 protected:
  void SetUp() override {
    if (!privateScheduler().cupsd) GTEST_SKIP() << privateScheduler().why;
    cupsd_ = privateScheduler().cupsd.get();
    // The other users reach the files of the test through its folder.
    ::chmod(temp().path().c_str(), 0755);
    document_ = scratchFile("doc.ps", "%!PS\nshowpage\n");
    ::chmod(document_.parent_path().c_str(), 0755);
    ::chmod(document_.c_str(), 0644);
  }

  /// Runs jobwick as `user` (root when null) against the scheduler, over
  /// its local socket or its loopback port, with a home of that user's own.
  CommandResult as(const User* user, std::vector<std::string> args, bool overTcp = false,
                   std::map<std::string, std::optional<std::string>> env = {}) {
    env["CUPS_SERVER"] = overTcp ? cupsd_->server() : cupsd_->socket().string();
    if (user) {
      const std::filesystem::path home = temp().path() / user->name;
      std::filesystem::create_directories(home);
      const passwd* account = ::getpwnam(user->name.c_str());
      if (::chown(home.c_str(), account->pw_uid, account->pw_gid) != 0) ADD_FAILURE() << home;
      for (const char* name : {"HOME", "TMPDIR", "XDG_CONFIG_HOME"}) env[name] = home.string();
      env["JOBWICK_PREFS_DIR"] = (home / "prefs").string();
      if (args.front() != "lp" && args.front() != "cancel") args.insert(args.begin(), JOBWICK_HOST);
      args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=" + user->name,
                                 "--regid=" + user->group, "--clear-groups"});
      if (args[4] == "lp" || args[4] == "cancel") args[4] = "/usr/bin/" + args[4];
      return runCommand(args, env);
    }
    return jobwick(args, env);
  }

  /// Settings whose ticket carries a pass code, folder password, login
  /// name, password and user number.
  std::filesystem::path secretSettings() {
    const std::filesystem::path file =
        scratchFile("secrets.json", readFile(source("examples/tickets/vk7300-full.json")));
    ::chmod(file.c_str(), 0644);
    return file;
  }

  /// Makes queue `name` private with the recording PPD (the vk7300's, or
  /// `ppd`); the output.
  CommandResult setupQueue(const std::string& name, std::vector<std::string> more = {},
                           const std::filesystem::path& ppd = {}) {
    std::vector<std::string> args = {
        "setup",        name,
        "--ppd",        (ppd.empty() ? privateScheduler().recorderPPD : ppd).string(),
        "--device-uri", "file://" + cupsd_->outputOf(name).string()};
    args.insert(args.end(), more.begin(), more.end());
    return as(nullptr, args);
  }

  /// How many jobs the scheduler has, finished ones included.
  std::size_t jobCount() {
    cupsSetServer(cupsd_->socket().c_str());
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    cupsFreeJobs(count, jobs);
    cupsSetServer(nullptr);
    return count < 0 ? 0 : std::size_t(count);
  }

  /// The state of job `id` as root sees it (0 when there is no such job).
  int jobState(int id) {
    cupsSetServer(cupsd_->socket().c_str());
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    int state = 0;
    for (int i = 0; i < count; ++i)
      if (jobs[i].id == id) state = jobs[i].state;
    cupsFreeJobs(count, jobs);
    cupsSetServer(nullptr);
    return state;
  }

  /// The options the recording filter got for job `id`, parsed as the
  /// driver's filter parses them; waits (bounded) for the filter to run.
  std::map<std::string, std::string> filterOptions(int id) {
    return cupsd_->recordedOptions(std::to_string(id));
  }

  jwtest::PrivateCupsd* cupsd_ = nullptr;
  std::filesystem::path document_;
};

}  // namespace hosttest
