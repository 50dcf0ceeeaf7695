// SPDX-License-Identifier: Apache-2.0
// Servers of a test suite's own: Xvfb on a display number it picks, and a
// message bus the tests give to the scheduler as its system bus.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace gtktest {

/// A server program that writes where it can be reached as one line on
/// descriptor 3 once it is up (`args` say so), run under timeout(1) so that
/// it goes after `lifetime` seconds in any case, and stopped by PID.
class LineServer {
 public:
  LineServer(const std::vector<std::string>& args, int lifetime) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The read end is closed first: it may be descriptor 3 itself.
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> all = {"timeout", std::to_string(lifetime)};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "timeout", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char c;
    while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') line_ += c;
    close(fds[0]);
  }
  ~LineServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }
  LineServer(const LineServer&) = delete;
  LineServer& operator=(const LineServer&) = delete;
  /// The line the server wrote; empty when it did not start.
  const std::string& line() const { return line_; }

 private:
  pid_t pid_ = -1;
  std::string line_;
};

/// An Xvfb server for the suite: it chooses a free display number itself
/// (-displayfd) and lives at most five minutes.
class XServer {
 public:
  XServer()
      : server_({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                300) {}
  /// ":N"; empty when Xvfb did not start.
  std::string display() const { return server_.line().empty() ? "" : ":" + server_.line(); }

 private:
  LineServer server_;
};

/// A message bus of the suite's own (a session bus: every connection of
/// this user may send and receive), for at most five minutes.
class MessageBus {
 public:
  MessageBus() : server_({"dbus-daemon", "--session", "--nofork", "--print-address=3"}, 300) {}
  /// The bus's address; empty when dbus-daemon did not start.
  const std::string& address() const { return server_.line(); }

 private:
  LineServer server_;
};

}  // namespace gtktest
