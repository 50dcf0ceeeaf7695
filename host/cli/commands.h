// SPDX-License-Identifier: Apache-2.0
// The jobwick command: a table of subcommands, each with its options, help
// text and runner, and the dispatcher that picks one from the command line.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/cli/cli.h"
#include "host/common/exit_status.h"
#include "host/engine/session.h"
#include "platform/encoding.h"

namespace jobwick::host {

/// What a subcommand's runner gets.
struct Invocation {
  const ParsedArgs& args;
  std::ostream& out;
  std::ostream& err;
  std::string_view command = {};  ///< the subcommand's words: "ticket show"

  /// Where this command reports failures (JSON too when --json was given).
  ErrorSink errors() const { return {out, err, args.has("--json"), command}; }
  /// Reports a failure through errors(); answers `status` as the exit code.
  int fail(ExitStatus status, std::string_view message) const {
    return reportError(errors(), status, message);
  }
};

struct Subcommand {
  std::vector<std::string_view> words;  ///< {"info"}, or {"ticket", "show"}
  std::string_view arguments;           ///< positional arguments for the synopsis
  std::size_t positionalCount;          ///< how many positional arguments it takes
  std::string_view summary;             ///< one line for the command list
  std::string_view description;         ///< paragraphs of the help text
  std::vector<OptionSpec> options;      ///< --help included
  std::string_view examples;            ///< example lines, each starting "  jobwick "
  /// Answers the exit code; `err` gets every message. Never throws.
  int (*run)(const Invocation& invocation);
  /// An option that, when given, stands for the positional arguments
  /// ("--job" for 'ticket show'); empty when there is none.
  std::string_view replacesArguments = {};
};

/// Every subcommand, in the order of the help text.
const std::vector<Subcommand>& subcommands();

/// The full help text of one subcommand.
std::string subcommandHelp(const Subcommand& command);
/// The help text of the command itself: synopsis and the subcommand list.
std::string commandHelp();

/// Runs jobwick with `args` (the words after the program name): picks the
/// subcommand, parses its options and runs it. Answers the exit code.
int runJobwick(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Runners, one per subcommand.
int runInfo(const Invocation& invocation);
int runSession(const Invocation& invocation);
int runTicketShow(const Invocation& invocation);
int runFolders(const Invocation& invocation);
int runPrefsShow(const Invocation& invocation);
int runPrint(const Invocation& invocation);
int runQueues(const Invocation& invocation);
int runSetup(const Invocation& invocation);
int runAgent(const Invocation& invocation);

/// Runs the session script at `path` as `jobwick session` does, with the
/// options of `invocation` over it and the user's events going through
/// `input`. Answers the exit code.
int runSessionScript(const Invocation& invocation, const std::string& path, SessionInput& input);

/// The system encoding that --language names (the one of the environment
/// without it): the encoding a plug-in used for names and secrets.
platform::CFStringEncoding systemEncodingFor(const ParsedArgs& args);

/// For the commands that read stored texts without opening a panel: warns
/// on `err` when --language names a language that none of the bundles in
/// the bundle folder has (the encoding it picks still applies). Nothing
/// happens without --language or when no bundle is found.
void warnOnUnknownLanguage(const ParsedArgs& args, std::ostream& err);

}  // namespace jobwick::host
