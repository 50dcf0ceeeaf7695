// SPDX-License-Identifier: Apache-2.0
// Runs tests/tools/printer_simulator.py on loopback for one test: starts it,
// reads the port from its first output line, reads back the requests it
// logged, and stops it. Header-only, so that the platform tests can use it
// without the controller harness.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

extern char** environ;

namespace jwtest {

/// One request as the simulator received it.
struct LoggedRequest {
  std::string method;
  std::string path;
  std::vector<std::pair<std::string, std::string>> headers;  ///< in the order received
  std::string body;                                          ///< the exact body bytes
};

class PrinterSimulator {
 public:
  /// Starts the simulator with `arguments` (see the script's usage), logging
  /// requests to `logPath` (emptied first; a running simulator is stopped).
  /// Answers false when it did not report a port in time.
  bool start(const std::vector<std::string>& arguments, const std::filesystem::path& logPath) {
    stop();
    logPath_ = logPath;
    std::error_code ignored;
    std::filesystem::remove(logPath_, ignored);  // the log holds this run's requests only
    int fds[2];
    if (pipe(fds) != 0) return false;
    const std::string script =
        (std::filesystem::path(JOBWICK_SOURCE_DIR) / "tests/tools/printer_simulator.py").string();
    std::vector<std::string> args = {"python3",    script, "--port", "0",
                                     "--lifetime", "120",  "--log",  logPath.string()};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    const int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
      pid_ = -1;
      close(fds[0]);
      return false;
    }
    // The first line is "PORT n"; python may take a while to start on a busy machine.
    std::string line;
    pollfd pfd{fds[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&pfd, 1, 30000) > 0) {
      char buffer[64];
      const ssize_t n = read(fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      line.append(buffer, std::size_t(n));
    }
    close(fds[0]);
    if (line.rfind("PORT ", 0) != 0) return false;
    port_ = std::atoi(line.c_str() + 5);
    return port_ > 0;
  }

  /// Stops the simulator (and waits for it).
  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
  }

  ~PrinterSimulator() { stop(); }

  int port() const { return port_; }
  /// "127.0.0.1:port", as typed into the printer-address field.
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  /// The events logged so far ("client-closed"), oldest first.
  std::vector<std::string> events() const {
    std::vector<std::string> out;
    std::ifstream in(logPath_);
    std::string line;
    while (std::getline(in, line)) {
      const auto entry = nlohmann::json::parse(line, nullptr, false);
      if (!entry.is_discarded() && entry.contains("event")) out.push_back(entry.value("event", ""));
    }
    return out;
  }

  /// The requests logged so far, oldest first.
  std::vector<LoggedRequest> requests() const {
    std::vector<LoggedRequest> out;
    std::ifstream in(logPath_);
    std::string line;
    while (std::getline(in, line)) {
      const auto entry = nlohmann::json::parse(line, nullptr, false);
      if (entry.is_discarded() || entry.contains("event")) continue;
      LoggedRequest request;
      request.method = entry.value("method", "");
      request.path = entry.value("path", "");
      for (const auto& header : entry.at("headers")) {
        request.headers.emplace_back(header.at(0).get<std::string>(),
                                     header.at(1).get<std::string>());
      }
      const std::string hex = entry.value("body_hex", "");
      for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        request.body.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
      }
      out.push_back(std::move(request));
    }
    return out;
  }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::filesystem::path logPath_;
};

/// A loopback port that nobody listens on (bound once, then released), for
/// refused connections.
inline int unusedLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 9;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 9;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

}  // namespace jwtest
