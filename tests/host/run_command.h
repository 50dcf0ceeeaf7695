// SPDX-License-Identifier: Apache-2.0
// Running a program as a child process for end-to-end tests: captures its
// standard output and error and its exit status.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hosttest {

struct CommandResult {
  int exitCode = -1;  ///< exit status, or 128 + signal number when killed
  std::string out;
  std::string err;
};

/// Runs `argv` (argv[0] is the program path) with the test's environment
/// changed by `env` (a nullopt value removes the variable), standard input
/// from /dev/null, and waits for it. A program that cannot be started gives
/// exit code 127 and the reason in `err`.
CommandResult runCommand(const std::vector<std::string>& argv,
                         const std::map<std::string, std::optional<std::string>>& env = {});

/// A temporary folder removed with everything in it when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// Writes `bytes` to `path` (creating its folder) and answers the path.
std::filesystem::path writeFile(const std::filesystem::path& path, const std::string& bytes);
/// The contents of a file, or the empty string when it cannot be read.
std::string readFile(const std::filesystem::path& path);

}  // namespace hosttest
