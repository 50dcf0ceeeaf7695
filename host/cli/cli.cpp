// SPDX-License-Identifier: Apache-2.0
// Command-line parsing.
#include "host/cli/cli.h"

#include "host/common/translate.h"

#include <algorithm>
#include <sstream>

#include "platform/display_text.h"

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

std::size_t columnsOf(std::string_view piece) {
  return platform::terminalColumns(piece);
}

namespace {

/// `word` (no white space) in the pieces a line may break between. A word
/// of ASCII stays whole: English breaks at spaces only. Any other breaks
/// where Unicode's line-breaking rules let it (ICU), so Japanese text breaks
/// between its characters but never before 、 or 。.
std::vector<std::string> piecesOf(const std::string& word) {
  const bool ascii = std::all_of(word.begin(), word.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return {word};
  return platform::lineBreakPieces(word);
}

/// Appends one paragraph of `text` to `out`, whose last line is `column`
/// columns wide: lines of at most `width` columns (a longer piece stays
/// whole), the first piece padded to `indent` and every further line
/// indented by it.
void appendFlowing(std::string& out, std::string_view text, std::size_t column, std::size_t indent,
                   std::size_t width) {
  std::istringstream words{std::string(text)};
  std::string word;
  bool lineStarted = false;
  while (words >> word) {
    bool wordStart = true;
    for (const std::string& piece : piecesOf(word)) {
      const std::size_t columns = columnsOf(piece);
      const std::size_t space = wordStart ? 1 : 0;
      if (lineStarted && column + space + columns > width) {
        out += '\n';
        column = 0;
        lineStarted = false;
      }
      if (!lineStarted) {
        if (column < indent) out.append(indent - column, ' ');
        column = std::max(column, indent);
      } else if (wordStart) {
        out += ' ';
        ++column;
      }
      out += piece;
      column += columns;
      lineStarted = true;
      wordStart = false;
    }
  }
}

}  // namespace

std::string wrapText(std::string_view text, std::size_t width, std::size_t indent) {
  std::string out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    appendFlowing(out, text.substr(start, end - start), 0, indent, width);
    if (end == text.size()) break;
    out += '\n';
    start = end + 1;
  }
  return out;
}

std::string formatOptions(const std::vector<OptionSpec>& specs) {
  constexpr std::size_t kNameColumn = 28;
  constexpr std::size_t kWidth = 79;
  std::string out;
  for (const auto& spec : specs) {
    std::string head = "  " + std::string(spec.name);
    if (!spec.valueName.empty()) head += " " + std::string(spec.valueName);
    out += head;
    std::size_t column = head.size();
    if (column + 2 > kNameColumn) {
      out += "\n";
      column = 0;
    }
    appendFlowing(out, spec.help.empty() ? "" : tr(std::string(spec.help).c_str()), column,
                  kNameColumn, kWidth);
    out += "\n";
  }
  return out;
}

}  // namespace jobwick::host
