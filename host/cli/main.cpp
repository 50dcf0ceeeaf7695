// SPDX-License-Identifier: Apache-2.0
// jobwick: a headless print dialog for Jobwick plug-in bundles.
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "host/cli/commands.h"

namespace {

/// `jobwick dialog ...` is the program jobwick-dialog, which links GTK; the
/// headless commands never load it. It is looked for beside this program,
/// then in the build tree. Returns only when it cannot be started.
int runDialogProgram(char** argv) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  std::vector<std::filesystem::path> candidates;
  if (!ec) candidates.push_back(self.parent_path() / "jobwick-dialog");
#ifdef JOBWICK_DIALOG_FROM_BUILD_BIN
  // jobwick of the build folder runs the dialog built there.
  if (!ec) candidates.push_back(self.parent_path() / JOBWICK_DIALOG_FROM_BUILD_BIN);
#endif
  for (const auto& program : candidates) {
    if (::access(program.c_str(), X_OK) != 0) continue;
    argv[0] = const_cast<char*>(program.c_str());
    ::execv(program.c_str(), argv);
  }
  std::cerr << "jobwick: dialog: the GTK dialog program jobwick-dialog is not installed "
               "(it is built when GTK 4 is present)\n";
  return jobwick::host::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "dialog") return runDialogProgram(argv);
  // The agent with windows is the dialog program's too; --headless and
  // --help stay here.
  if (argc > 1 && std::string(argv[1]) == "agent") {
    bool headless = false;
    for (int i = 2; i < argc; ++i) {
      const std::string word = argv[i];
      headless = headless || word == "--headless" || word == "--help" || word == "-h";
    }
    if (!headless) return runDialogProgram(argv);
  }
  // `jobwick help dialog` is the dialog program's own help.
  if (argc == 3 && std::string(argv[1]) == "help" && std::string(argv[2]) == "dialog") {
    char dialog[] = "dialog";
    char help[] = "--help";
    char* words[] = {argv[0], dialog, help, nullptr};
    return runDialogProgram(words);
  }
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    int status = jobwick::host::runJobwick(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
  } catch (const std::exception& e) {
    std::cerr << "jobwick: internal error: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "jobwick: internal error\n";
  }
  return jobwick::host::kExitFailure;
}
