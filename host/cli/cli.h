// SPDX-License-Identifier: Apache-2.0
// Command-line parsing for jobwick: options declared per subcommand,
// "--name value", "--name=value", flags, and "--" to end the options.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jobwick::host {

/// One option a subcommand accepts.
struct OptionSpec {
  std::string_view name;       ///< with its dashes: "--ppd"
  std::string_view valueName;  ///< "FILE"; empty for a flag
  std::string_view help;
  bool repeatable = false;
};

/// What the parser found.
struct ParsedArgs {
  std::vector<std::string> positionals;
  /// Every value of each option given, in order; a flag has one empty value.
  std::map<std::string, std::vector<std::string>, std::less<>> options;

  bool has(std::string_view name) const { return options.find(name) != options.end(); }
  /// The (last) value of an option; nullopt when it was not given.
  std::optional<std::string> value(std::string_view name) const;
  /// Every value of an option, in order.
  std::vector<std::string> values(std::string_view name) const;
};

/// Parses `args` (the words after the subcommand) against `specs`. "-h" is
/// taken as "--help" when `specs` has it. Answers nullopt on an unknown
/// option, a missing value, a value given to a flag, or a second use of an
/// option that is not repeatable; `error` then names the option.
std::optional<ParsedArgs> parseArguments(const std::vector<std::string>& args,
                                         const std::vector<OptionSpec>& specs,
                                         std::string* error = nullptr);

/// The terminal columns `piece` takes: two for each East Asian wide or
/// full-width character, one for any other.
std::size_t columnsOf(std::string_view piece);

/// `text` wrapped to lines of at most `width` terminal columns (a wide
/// character takes two), each line indented by `indent` spaces. Lines break
/// at spaces, and within a word that is not ASCII where Unicode's
/// line-breaking rules allow (between Japanese characters); a longer piece
/// stays whole. Line ends in `text` are kept, so paragraphs stay apart.
std::string wrapText(std::string_view text, std::size_t width, std::size_t indent = 0);

/// The option list of a help text: one entry per option, its help text
/// in the user's language (tr), wrapped beside the name column as wrapText
/// wraps.
std::string formatOptions(const std::vector<OptionSpec>& specs);

}  // namespace jobwick::host
