// SPDX-License-Identifier: Apache-2.0
// PPD access through libcups. libcups marks its PPD interface deprecated;
// this file is the only user of it, so the warning is silenced here alone.
#include "platform/ppd.h"

#include <strings.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace platform {

PPDFile openPPD(const std::string& path, std::string* error) {
  errno = 0;
  PPDFile ppd(ppdOpenFile(path.c_str()));
  if (ppd) {
    if (error != nullptr) error->clear();
    return ppd;
  }
  if (error != nullptr) {
    const int savedErrno = errno;
    int line = 0;
    const ppd_status_t status = ppdLastError(&line);
    std::string text = path + ": " + ppdErrorString(status);
    if (status == PPD_FILE_OPEN_ERROR && savedErrno != 0) {
      text += std::string(" (") + std::strerror(savedErrno) + ")";
    } else {
      text += " on line " + std::to_string(line);
    }
    *error = std::move(text);
  }
  return nullptr;
}

std::optional<std::string> ppdAttributeValue(ppd_file_t* ppd, const char* keyword) {
  if (ppd == nullptr || keyword == nullptr) return std::nullopt;
  const ppd_attr_t* attr = ppdFindAttr(ppd, keyword, nullptr);
  if (attr == nullptr || attr->value == nullptr) return std::nullopt;
  return std::string(attr->value);
}

bool ppdHasAttribute(ppd_file_t* ppd, const char* keyword) {
  if (ppd == nullptr || keyword == nullptr) return false;
  return ppdFindAttr(ppd, keyword, nullptr) != nullptr;
}

std::optional<std::string> ppdModelNameBytes(ppd_file_t* ppd) {
  if (ppd == nullptr || ppd->modelname == nullptr) return std::nullopt;
  return std::string(ppd->modelname);
}

namespace {

// One main-keyword entry of a PPD: "*Name Spec/Text: value".
struct PPDEntry {
  std::string_view name;
  std::string_view spec;
  std::string_view value;
};

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// Reads the entry whose line starts at `at` (just after its "*") and
// answers it with `at` moved past it: past its line, or for a quoted value
// past the line of the closing quote. nullopt for a line that is no entry
// (a comment, "*End", no colon), `at` then past that line.
std::optional<PPDEntry> nextEntry(std::string_view text, std::size_t& at) {
  const std::size_t lineEnd = std::min(text.find('\n', at), text.size());
  auto skipLine = [&]() -> std::optional<PPDEntry> {
    at = lineEnd + 1;
    return std::nullopt;
  };
  const std::string_view line = text.substr(at, lineEnd - at);
  if (line.starts_with('%') || line.starts_with("End")) return skipLine();
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return skipLine();
  PPDEntry entry;
  std::size_t i = 0;
  while (i < colon && !isBlank(line[i]) && line[i] != '/') ++i;
  entry.name = line.substr(0, i);
  while (i < colon && isBlank(line[i])) ++i;
  const std::size_t specStart = i;
  while (i < colon && line[i] != '/') ++i;
  entry.spec = line.substr(specStart, i - specStart);
  while (!entry.spec.empty() && isBlank(entry.spec.back())) entry.spec.remove_suffix(1);
  std::size_t v = at + colon + 1;
  while (v < lineEnd && isBlank(text[v])) ++v;
  if (v < lineEnd && text[v] == '"') {
    const std::size_t close = text.find('"', v + 1);
    const std::size_t end = close == std::string_view::npos ? text.size() : close;
    entry.value = text.substr(v + 1, end - v - 1);
    at = std::min(text.find('\n', end), text.size()) + 1;
    return entry;
  }
  std::size_t valueEnd = lineEnd;
  while (valueEnd > v && (isBlank(text[valueEnd - 1]) || text[valueEnd - 1] == '\r')) --valueEnd;
  entry.value = text.substr(v, valueEnd - v);
  at = lineEnd + 1;
  return entry;
}

}  // namespace

std::optional<std::map<std::string, std::string>> scanPPDKeywords(
    const std::string& path, const std::vector<std::string>& keywords, std::string* error) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error != nullptr) {
      *error = path + ": " + ppdErrorString(PPD_FILE_OPEN_ERROR) +
               (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : std::string());
    }
    return std::nullopt;
  }
  const std::string text(std::istreambuf_iterator<char>(in), {});
  if (!text.starts_with("*PPD-Adobe:")) {
    if (error != nullptr) {
      *error = path + ": " + ppdErrorString(PPD_MISSING_PPDADOBE4);
    }
    return std::nullopt;
  }
  std::map<std::string, std::string> values;
  std::size_t at = 0;
  while (at < text.size() && values.size() < keywords.size()) {
    if (text[at] != '*') {
      at = std::min(text.find('\n', at), text.size()) + 1;
      continue;
    }
    ++at;
    const std::optional<PPDEntry> entry = nextEntry(text, at);
    if (!entry) continue;
    // As ppdFindAttr: the first entry of that name, whatever its spec.
    for (const std::string& keyword : keywords) {
      if (entry->name.size() == keyword.size() &&
          ::strncasecmp(entry->name.data(), keyword.data(), keyword.size()) == 0 &&
          !values.contains(keyword)) {
        values[keyword] = std::string(entry->value);
      }
    }
  }
  if (error != nullptr) error->clear();
  return values;
}

}  // namespace platform
