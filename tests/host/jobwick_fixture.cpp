// SPDX-License-Identifier: Apache-2.0
// The jobwick test fixture.
#include "jobwick_fixture.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace hosttest {

namespace fs = std::filesystem;

CommandResult JobwickTest::jobwick(std::vector<std::string> args,
                                   std::map<std::string, std::optional<std::string>> env) {
  args.insert(args.begin(), JOBWICK_HOST);
  std::map<std::string, std::optional<std::string>> base = {
      {"JOBWICK_PREFS_DIR", prefsDir().string()},
      {"HOME", (temp_.path() / "home").string()},
      {"XDG_CONFIG_HOME", (temp_.path() / "config").string()},
      {"XDG_CACHE_HOME", (temp_.path() / "cache").string()},
      {"TMPDIR", temp_.path().string()},
      {"LANG", "C.UTF-8"},
      {"LANGUAGE", std::nullopt},
      {"LC_ALL", std::nullopt},
      {"LC_MESSAGES", std::nullopt},
      {"JOBWICK_BUNDLE_DIR", std::nullopt},
  };
  if (!std::getenv("ASAN_OPTIONS")) base["ASAN_OPTIONS"] = "detect_leaks=0";
  for (auto& [name, value] : env) base[name] = value;
  return runCommand(args, base);
}

nlohmann::json JobwickTest::jobwickJson(std::vector<std::string> args, int* exitCode,
                                        std::map<std::string, std::optional<std::string>> env) {
  CommandResult result = jobwick(std::move(args), std::move(env));
  if (exitCode) *exitCode = result.exitCode;
  nlohmann::json document = nlohmann::json::parse(result.out, nullptr, false);
  EXPECT_FALSE(document.is_discarded()) << "not JSON:\n"
                                        << result.out << "\nstderr:\n"
                                        << result.err;
  return document;
}

fs::path JobwickTest::source(const std::string& relative) {
  return fs::path(JOBWICK_SOURCE_DIR) / relative;
}

fs::path JobwickTest::scratchFile(const std::string& name, const std::string& text) {
  return writeFile(temp_.path() / "files" / name, text);
}

std::string SharedPrinter::address() {
  static TempDir folder;
  static jwtest::PrinterSimulator simulator;
  static bool started = simulator.start({"--lifetime", "900", "--folder", "Sales",
                                         "--locked-folder", "Board", "--folder", "Design Team"},
                                        folder.path() / "requests.log");
  EXPECT_TRUE(started) << "the printer simulator did not start";
  return "127.0.0.1:" + std::to_string(simulator.port());
}

std::unique_ptr<jwtest::PrinterSimulator> SharedPrinter::start(
    const std::vector<std::string>& arguments, const fs::path& log) {
  auto simulator = std::make_unique<jwtest::PrinterSimulator>();
  EXPECT_TRUE(simulator->start(arguments, log)) << "the printer simulator did not start";
  return simulator;
}

int SharedPrinter::closedPort() {
  // Bind to a free port and let it go: nothing listens there afterwards.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = 9;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd >= 0) ::close(fd);
  return port;
}

}  // namespace hosttest
