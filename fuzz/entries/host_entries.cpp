// SPDX-License-Identifier: Apache-2.0
// Fuzz entries for the host's readers of outside data: settings files,
// session scripts and the forms `jobwick ticket show` reads. None of them
// keeps state between inputs: each input gets its own settings and script,
// and the readers hold nothing but their compiled patterns.
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "fuzz/entries/fuzz_entries.h"
#include "host/common/settings_io.h"
#include "host/cups/cups_options.h"
#include "host/engine/session_script.h"
#include "host/inspect/ticket_inspect.h"
#include "platform/encoding.h"
#include "platform/print_settings.h"

namespace jobwick::fuzz {
namespace {

std::string_view textOf(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

bool isEmpty(const platform::PrintSettings& settings) {
  return settings.entries().empty() && !settings.jobName();
}

/// Whether every key and value (and the job name) is valid UTF-8, so that
/// the JSON form keeps them byte for byte.
bool allUtf8(const platform::PrintSettings& settings) {
  try {
    nlohmann::json probe = nlohmann::json::array();
    if (settings.jobName()) probe.push_back(*settings.jobName());
    for (const auto& [key, value] : settings.entries()) {
      probe.push_back(key);
      probe.push_back(value);
    }
    (void)probe.dump();
  } catch (const nlohmann::json::exception&) {
    return false;
  }
  return true;
}

/// A failed read names its fault and leaves the settings as they were; a
/// good one survives the JSON form that `--save-settings` writes.
void checkSettingsRead(bool read, const platform::PrintSettings& settings,
                       const std::string& error) {
  if (!read) {
    if (error.empty() || !isEmpty(settings)) std::abort();
    return;
  }
  const std::string written = host::settingsToJson(settings);
  platform::PrintSettings again;
  std::string detail;
  if (!host::parseSettingsText(written, &again, &detail)) std::abort();
  // Bytes that are not UTF-8 are written as U+FFFD, so two such keys may
  // become one; everything else comes back as it was.
  if (!allUtf8(settings)) return;
  if (again.entries() != settings.entries() || again.jobName() != settings.jobName() ||
      host::settingsToJson(again) != written) {
    std::abort();
  }
}

}  // namespace

// Input: the text of a settings file (JSON or option lines, told apart as
// readSettingsFile does).
int settingsFile(const std::uint8_t* data, std::size_t size) {
  platform::PrintSettings settings;
  std::string error;
  const bool read = host::parseSettingsText(textOf(data, size), &settings, &error);
  checkSettingsRead(read, settings, error);
  return 0;
}

// Input: the text of a session script, read as /fuzz/scripts/session.json
// with one variable from the command line. A script that reads has its
// steps numbered in order and labelled; its inline settings survive the
// JSON form.
int sessionScript(const std::uint8_t* data, std::size_t size) {
  static const std::map<std::string, std::string> variables = {{"PRINTER", "127.0.0.1"}};
  std::string error;
  auto script =
      host::parseSessionScript(textOf(data, size), "/fuzz/scripts/session.json", variables, &error);
  if (!script) {
    if (error.empty()) std::abort();
    return 0;
  }
  for (std::size_t i = 0; i < script->steps.size(); ++i) {
    const host::SessionStep& step = script->steps[i];
    if (step.number != i + 1 || step.label().empty()) std::abort();
    (void)step.control();
  }
  if (script->settings) checkSettingsRead(true, *script->settings, "");
  return 0;
}

// Input: the first byte picks the form (its value modulo 4: "auto",
// "lines", "lpoptions", "ipptool") and the system encoding of the writer
// (the byte divided by 4, modulo 7: Mac OS Roman, then the others of the
// language table in docs/jobwick.md, in its order),
// the rest is the text of `jobwick ticket show SETTINGS`. A ticket that
// reads is inspected and reported as text and as JSON.
int ticketShow(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static constexpr std::string_view kFormats[] = {"auto", "lines", "lpoptions", "ipptool"};
  static constexpr platform::CFStringEncoding kEncodings[] = {
      platform::kCFStringEncodingMacRoman,           platform::kCFStringEncodingMacJapanese,
      platform::kCFStringEncodingMacChineseTrad,     platform::kCFStringEncodingMacKorean,
      platform::kCFStringEncodingMacChineseSimp,     platform::kCFStringEncodingMacCyrillic,
      platform::kCFStringEncodingMacCentralEurRoman,
  };
  const std::string_view format = kFormats[data[0] % 4];
  const platform::CFStringEncoding encoding = kEncodings[(data[0] / 4) % 7];
  platform::PrintSettings settings;
  std::string error;
  if (!host::parseTicketText(textOf(data + 1, size - 1), format, &settings, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  const host::TicketReport report = host::inspectTicket(settings, encoding);
  if (host::formatTicketReport(report).empty()) std::abort();
  // Built but not written out: writing is the JSON library's own code (with
  // bytes that are not UTF-8 replaced, as the command writes it) and took a
  // fifth of the time.
  if (!host::ticketReportJson(report).is_object()) std::abort();
  (void)report.problems();
  return 0;
}

}  // namespace jobwick::fuzz
