// The subcommand table, help texts and dispatch.
#include "host/commands.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "host/print_dialog.h"

#ifndef JOBWICK_VERSION
#define JOBWICK_VERSION "0"
#endif

namespace jobwick::host {
namespace {

constexpr std::size_t kHelpWidth = 79;

const OptionSpec kHelpOption{"--help", "", "show this help (also -h)"};

std::vector<OptionSpec> withDialogOptions(std::vector<OptionSpec> own) {
  std::vector<OptionSpec> all = dialogOptions();
  all.insert(all.end(), own.begin(), own.end());
  all.push_back(kHelpOption);
  return all;
}

std::string joinWords(const std::vector<std::string_view>& words) {
  std::string text;
  for (auto word : words) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

std::string usageLine(const Subcommand& command) {
  std::string line = "jobwick " + joinWords(command.words);
  if (!command.arguments.empty()) line += " " + std::string(command.arguments);
  if (command.options.size() > 1) line += " [options]";
  return line;
}

/// The subcommand named by the first words of `args`, the longest match
/// winning; `used` is how many words it took.
const Subcommand* findSubcommand(const std::vector<std::string>& args, std::size_t* used) {
  const Subcommand* best = nullptr;
  for (const auto& command : subcommands()) {
    if (command.words.size() > args.size()) continue;
    bool matches = true;
    for (std::size_t i = 0; i < command.words.size(); ++i) {
      if (args[i] != command.words[i]) matches = false;
    }
    if (matches && (!best || command.words.size() > best->words.size())) best = &command;
  }
  if (best) *used = best->words.size();
  return best;
}

/// Subcommands whose first word is `word` (for "jobwick ticket" alone).
std::vector<const Subcommand*> subcommandsStartingWith(const std::string& word) {
  std::vector<const Subcommand*> found;
  for (const auto& command : subcommands()) {
    if (command.words.front() == word) found.push_back(&command);
  }
  return found;
}

int usageError(std::ostream& err, const std::string& message, const std::string& helpHint) {
  err << "jobwick: " << message << "\n"
      << "Run '" << helpHint << "' for usage.\n";
  return kExitUsage;
}

}  // namespace

const std::vector<Subcommand>& subcommands() {
  static const std::vector<Subcommand> table = {
      {
          {"info"},
          "BUNDLE",
          1,
          "load a plug-in bundle and show the panels it makes for a printer",
          "Loads the plug-in bundle, creates its principal class, calls initWithBundle and asks "
          "it for panels of the print-dialog type, acting as the dialog's host with the printer "
          "given by the options. For each panel it shows the name, the kind, the PPD option "
          "keys the panel handles, and what the panel reports about itself (interface mode, "
          "the flags taken from the PPD, model name, printer address, preference domain).\n"
          "\n"
          "BUNDLE is the path of a bundle folder (JobwickVk7300.plugin), or a model name "
          "(vk7300, vk410e) looked up in $JOBWICK_BUNDLE_DIR or else in the folder of the "
          "built bundles.\n"
          "\n"
          "Exit status: 0 on success, 1 when the bundle, PPD or settings cannot be used, "
          "2 for a wrong command line.",
          withDialogOptions({{"--json", "", "write a JSON document instead of text"}}),
          "  jobwick info vk7300 --ppd examples/ppd/vk7300.ppd\n"
          "  jobwick info vk7300 --ppd examples/ppd/vk7300-active-directory.ppd \\\n"
          "      --printer-id Office_MFP --device-uri ipp://10.0.0.5/ipp/print\n"
          "  jobwick info vk410e --ppd examples/ppd/vk410e.ppd --language ja --json\n"
          "  jobwick info build/bundles/JobwickVk7300.plugin --no-constraint-handling",
          runInfo,
      },
  };
  return table;
}

std::string subcommandHelp(const Subcommand& command) {
  std::ostringstream out;
  std::string summary(command.summary);
  if (!summary.empty()) summary[0] = char(std::toupper(static_cast<unsigned char>(summary[0])));
  out << "Usage: " << usageLine(command) << "\n\n"
      << wrapText(summary + ".", kHelpWidth) << "\n\n"
      << wrapText(command.description, kHelpWidth) << "\n\n"
      << "Options:\n"
      << formatOptions(command.options);
  if (!command.examples.empty()) out << "\nExamples:\n" << command.examples << "\n";
  return out.str();
}

std::string commandHelp() {
  std::ostringstream out;
  out << "Usage: jobwick COMMAND [arguments] [options]\n"
      << "       jobwick help [COMMAND]\n"
      << "       jobwick --version\n\n"
      << "A headless print dialog: loads a Jobwick plug-in bundle, acts as its host for a\n"
      << "printer described by a PPD file, and shows what the plug-in does.\n\n"
      << "Commands:\n";
  std::size_t width = 0;
  for (const auto& command : subcommands())
    width = std::max(width, joinWords(command.words).size());
  for (const auto& command : subcommands()) {
    std::string name = joinWords(command.words);
    out << "  " << name << std::string(width - name.size() + 3, ' ') << command.summary << "\n";
  }
  out << "\nRun 'jobwick help COMMAND' or 'jobwick COMMAND --help' for a command's options.\n"
      << "\nExamples:\n";
  for (const auto& command : subcommands()) {
    std::string_view examples = command.examples;
    out << examples.substr(0, examples.find('\n')) << "\n";
  }
  return out.str();
}

int runJobwick(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << commandHelp();
    return kExitUsage;
  }
  const std::string& first = args.front();
  if (first == "--help" || first == "-h" || (first == "help" && args.size() == 1)) {
    out << commandHelp();
    return kExitSuccess;
  }
  if (first == "--version") {
    out << "jobwick " << JOBWICK_VERSION << "\n";
    return kExitSuccess;
  }
  if (first == "help") {
    std::vector<std::string> rest(args.begin() + 1, args.end());
    std::size_t used = 0;
    const Subcommand* command = findSubcommand(rest, &used);
    if (!command || used != rest.size()) {
      std::string asked;
      for (const auto& word : rest) asked += (asked.empty() ? "" : " ") + word;
      return usageError(err, "no command named '" + asked + "'", "jobwick --help");
    }
    out << subcommandHelp(*command);
    return kExitSuccess;
  }

  std::size_t used = 0;
  const Subcommand* command = findSubcommand(args, &used);
  if (!command) {
    auto partial = subcommandsStartingWith(first);
    if (!partial.empty()) {
      std::string names;
      for (const auto* candidate : partial) {
        names += (names.empty() ? "" : ", ") + std::string("'jobwick ") +
                 joinWords(candidate->words) + "'";
      }
      return usageError(err, "'" + first + "' needs a subcommand: " + names, "jobwick --help");
    }
    return usageError(err, "unknown command '" + first + "'", "jobwick --help");
  }

  const std::string name = joinWords(command->words);
  const std::string hint = "jobwick " + name + " --help";
  std::vector<std::string> rest(args.begin() + std::ptrdiff_t(used), args.end());
  std::string error;
  auto parsed = parseArguments(rest, command->options, &error);
  if (!parsed) return usageError(err, name + ": " + error, hint);
  if (parsed->has("--help")) {
    out << subcommandHelp(*command);
    return kExitSuccess;
  }
  if (parsed->positionals.size() < command->positionalCount) {
    return usageError(err, name + ": missing " + std::string(command->arguments), hint);
  }
  if (parsed->positionals.size() > command->positionalCount) {
    return usageError(
        err, name + ": unexpected argument '" + parsed->positionals[command->positionalCount] + "'",
        hint);
  }
  return command->run(Invocation{*parsed, out, err});
}

}  // namespace jobwick::host
