// SPDX-License-Identifier: Apache-2.0
// The exit statuses of every jobwick command, and the one way a command
// reports a failure: the message on standard error and, with --json, a JSON
// error object on standard output as well.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace jobwick::host {

/// What a jobwick command's exit status means. Every command uses this table;
/// its help text says which of the statuses it can end with.
enum class ExitStatus : int {
  success = 0,   ///< done
  failure = 1,   ///< the work failed: a bundle cannot be used, the scheduler or a printer
                 ///< cannot be reached, refused or gave no answer, a session expectation
                 ///< failed, no such record
  usage = 2,     ///< the command line is wrong (unknown option, bad value, missing argument)
  problems = 3,  ///< the input was read and shown, and problems were found in it
  badInput = 4,  ///< an input file (session script, settings file, job ticket, PPD,
                 ///< document) cannot be read, is too large, or is not in its format; a
                 ///< script that cannot run
};

inline constexpr int kExitSuccess = int(ExitStatus::success);
inline constexpr int kExitFailure = int(ExitStatus::failure);
inline constexpr int kExitUsage = int(ExitStatus::usage);
inline constexpr int kExitProblems = int(ExitStatus::problems);
inline constexpr int kExitBadInput = int(ExitStatus::badInput);

/// The word the JSON error object gives for `status` ("usage", "bad-input",
/// ...); "unknown" for a value outside the table.
std::string_view exitStatusName(int status);

/// The table of exit statuses as the help text shows it, one line each.
std::string exitStatusTable();

/// Where a command reports a failure.
struct ErrorSink {
  std::ostream& out;
  std::ostream& err;
  bool json = false;         ///< --json was given: a JSON error object goes to `out` too
  std::string_view command;  ///< "info", "ticket show"; empty before a command is known
};

/// Reports a failure: "jobwick: COMMAND: MESSAGE" on standard error, each
/// line of a message of several lines with that prefix (and
/// "Run 'jobwick COMMAND --help' for usage." for a usage error), and with
/// --json the object {"error": {"status", "kind", "command", "message"}} on
/// standard output. Answers `status` as the exit code to return.
int reportError(const ErrorSink& sink, ExitStatus status, std::string_view message);

/// Warns on `err`, one line per domain, about the preference writes of this
/// process that failed since the last call ("jobwick: warning: ..."): the
/// panel keeps the earlier record then and cannot tell the user itself. The
/// exit status stays the command's. Answers how many lines it wrote.
std::size_t warnFailedPreferenceWrites(std::ostream& err);

}  // namespace jobwick::host
