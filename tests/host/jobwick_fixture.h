// SPDX-License-Identifier: Apache-2.0
// A test fixture that runs the built jobwick in a private environment
// (preferences, home, configuration and temporary folder of its own, a
// neutral language), and a printer simulator shared by a test suite.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "../support/printer_simulator.h"
#include "run_command.h"

namespace hosttest {

/// The prefix of every job-ticket key.
inline constexpr char kPrefix[] = "jp.co.quivo.print.PrintSettings.";

class JobwickTest : public ::testing::Test {
 public:
  /// A file of the source tree.
  static std::filesystem::path source(const std::string& relative);

 protected:
  /// Runs jobwick with `args` and `env` on top of the private environment.
  CommandResult jobwick(std::vector<std::string> args,
                        std::map<std::string, std::optional<std::string>> env = {});
  /// Runs jobwick expecting a JSON document on stdout; fails the test when
  /// the output does not parse. `exitCode` receives the status.
  nlohmann::json jobwickJson(std::vector<std::string> args, int* exitCode = nullptr,
                             std::map<std::string, std::optional<std::string>> env = {});

  const TempDir& temp() const { return temp_; }
  std::filesystem::path prefsDir() const { return temp_.path() / "prefs"; }

  /// Writes `text` to a file in the temporary folder and answers its path.
  std::filesystem::path scratchFile(const std::string& name, const std::string& text);

 private:
  TempDir temp_;
};

/// The simulator answering Sales, Board (protected) and Design Team, started
/// once for the suites that fetch folders.
class SharedPrinter {
 public:
  /// The running simulator's "127.0.0.1:PORT"; starts it on first use.
  static std::string address();
  /// A simulator of its own with other arguments (for failure modes).
  static std::unique_ptr<jwtest::PrinterSimulator> start(const std::vector<std::string>& arguments,
                                                         const std::filesystem::path& log);
  /// A loopback port that nothing listens on.
  static int closedPort();
};

}  // namespace hosttest
