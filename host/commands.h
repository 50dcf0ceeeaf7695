// The jobwick command: a table of subcommands, each with its options, help
// text and runner, and the dispatcher that picks one from the command line.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/cli.h"
#include "platform/encoding.h"

namespace jobwick::host {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;   ///< the work failed (bad bundle, PPD, file)
inline constexpr int kExitUsage = 2;     ///< the command line (or a session script) is wrong
inline constexpr int kExitProblems = 3;  ///< the input was read, and problems were found in it

/// What a subcommand's runner gets.
struct Invocation {
  const ParsedArgs& args;
  std::ostream& out;
  std::ostream& err;
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

/// The system encoding that --language names (the one of the environment
/// without it): the encoding a plug-in used for names and secrets.
platform::CFStringEncoding systemEncodingFor(const ParsedArgs& args);

}  // namespace jobwick::host
