// SPDX-License-Identifier: Apache-2.0
// Command-line parsing.
#include "host/cli/cli.h"

#include "host/common/translate.h"

#include <algorithm>
#include <sstream>

namespace jobwick::host {

std::optional<std::string> ParsedArgs::value(std::string_view name) const {
  auto it = options.find(name);
  if (it == options.end() || it->second.empty()) return std::nullopt;
  return it->second.back();
}

std::vector<std::string> ParsedArgs::values(std::string_view name) const {
  auto it = options.find(name);
  return it == options.end() ? std::vector<std::string>{} : it->second;
}

std::optional<ParsedArgs> parseArguments(const std::vector<std::string>& args,
                                         const std::vector<OptionSpec>& specs, std::string* error) {
  auto fail = [&](std::string message) -> std::optional<ParsedArgs> {
    if (error) *error = std::move(message);
    return std::nullopt;
  };
  auto find = [&](std::string_view name) -> const OptionSpec* {
    for (const auto& spec : specs) {
      if (spec.name == name) return &spec;
    }
    return nullptr;
  };

  ParsedArgs parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string word = args[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      parsed.positionals.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "-h" && find("--help")) word = "--help";

    std::string name = word;
    std::optional<std::string> inlineValue;
    if (auto equals = word.find('='); word.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = word.substr(0, equals);
      inlineValue = word.substr(equals + 1);
    }
    const OptionSpec* spec = find(name);
    if (!spec) return fail(trf("unknown option %1", {name}));
    if (!spec->repeatable && parsed.has(name)) return fail(trf("option %1 given twice", {name}));

    std::string value;
    if (spec->valueName.empty()) {
      if (inlineValue) return fail(trf("option %1 takes no value", {name}));
    } else if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return fail(trf("option %1 needs a value (%2)", {name, spec->valueName}));
    }
    parsed.options[name].push_back(std::move(value));
  }
  return parsed;
}

std::string wrapText(std::string_view text, std::size_t width, std::size_t indent) {
  std::string out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::istringstream words{std::string(text.substr(start, end - start))};
    std::string word;
    std::size_t column = 0;
    while (words >> word) {
      if (column > 0 && column + 1 + word.size() > width) {
        out += '\n';
        column = 0;
      }
      if (column == 0) {
        out.append(indent, ' ');
        column = indent;
      } else {
        out += ' ';
        ++column;
      }
      out += word;
      column += word.size();
    }
    if (end == text.size()) break;
    out += '\n';
    start = end + 1;
  }
  return out;
}

std::string formatOptions(const std::vector<OptionSpec>& specs) {
  constexpr std::size_t kNameColumn = 28;
  constexpr std::size_t kWidth = 79;
  std::ostringstream out;
  for (const auto& spec : specs) {
    std::string head = "  " + std::string(spec.name);
    if (!spec.valueName.empty()) head += " " + std::string(spec.valueName);
    out << head;
    std::size_t column = head.size();
    if (column + 2 > kNameColumn) {
      out << "\n";
      column = 0;
    }
    // Wrap the help text word by word beside the name column.
    std::istringstream words{std::string(spec.help)};
    std::string word;
    bool lineStarted = false;
    while (words >> word) {
      if (!lineStarted) {
        out << std::string(kNameColumn - column, ' ');
        column = kNameColumn;
      } else if (column + 1 + word.size() > kWidth) {
        out << "\n" << std::string(kNameColumn, ' ');
        column = kNameColumn;
        lineStarted = false;
      }
      if (lineStarted) {
        out << ' ';
        ++column;
      }
      out << word;
      column += word.size();
      lineStarted = true;
    }
    out << "\n";
  }
  return out.str();
}

}  // namespace jobwick::host
