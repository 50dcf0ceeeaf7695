// SPDX-License-Identifier: Apache-2.0
// The options shared by the dialog commands.
#include "host/cli/dialog_options.h"

#include <cerrno>
#include <cstdlib>

#include "host/common/translate.h"
#include "host/cups/ticket_privacy.h"
#include "platform/user_defaults.h"

namespace jobwick::host {

namespace fs = std::filesystem;

const std::vector<OptionSpec>& dialogOptions() {
  static const std::vector<OptionSpec> options = {
      {"--ppd", "FILE", N_("the printer's PPD file (default: none)")},
      {"--printer-id", "ID",
       N_("the printer's identifier (its queue name); default: the PPD file's name without "
          "extension, or \"jobwick\"")},
      {"--device-uri", "URI",
       N_("the printer's device URI, such as ipp://10.0.0.5/ipp/print (default: none)")},
      {"--no-constraint-handling", "",
       N_("act as a dialog without PPD constraint handling: the plug-in gets no PPD")},
      {"--settings", "FILE",
       N_("the job's print settings: JSON {\"jobName\": ..., \"settings\": {KEY: VALUE}} or "
          "key=value lines")},
      {"--set", "KEY=VALUE", N_("one print setting, applied after --settings (repeatable)"), true},
      {"--language", "LANG",
       N_("the user's language (en, ja, ...): localised texts and the system text encoding")},
      {"--prefs-dir", "DIR",
       N_("the user's preferences folder; default: $JOBWICK_PREFS_DIR, else "
          "$XDG_CONFIG_HOME/jobwick/preferences or ~/.config/jobwick/preferences")},
  };
  return options;
}

namespace {

/// Options whose value names something and so cannot be empty.
constexpr std::string_view kNamingOptions[] = {
    "--prefs-dir",   "--language",       "--ppd",       "--printer-id",    "--settings",
    "--bundle",      "--printer",        "--session",   "--save-settings", "--job",
    "--model",       "--format",         "--script",    "--screenshot",    "--widget-states",
    "--choose-file", "--select-printer", "--device-uri"};

/// Options whose values are KEY=VALUE.
constexpr std::string_view kPairOptions[] = {"--set", "--var", "--option"};

std::string optionSyntax(std::string_view name) {
  return name == "--var" ? "NAME=VALUE" : "KEY=VALUE";
}

}  // namespace

bool checkOptionValues(const ParsedArgs& args, std::string* error) {
  for (const auto& [name, values] : args.options) {
    for (const auto& value : values) {
      // Values are handed on as C strings: a NUL would cut them.
      if (value.find('\0') != std::string::npos) {
        *error = "option " + name + ": a NUL character in the value";
        return false;
      }
      for (auto naming : kNamingOptions) {
        if (name == naming && value.empty()) {
          *error = "option " + name + " needs a value, got an empty one";
          return false;
        }
      }
      for (auto pair : kPairOptions) {
        if (name == pair && (value.find('=') == std::string::npos || value.front() == '=')) {
          *error = "option " + name + " needs " + optionSyntax(name) + ", got \"" + value + "\"";
          return false;
        }
      }
      if (name == "--copies") {
        char* end = nullptr;
        errno = 0;
        const long n = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || errno != 0 || n < 1 || n > 9999) {
          *error = "option --copies needs a number from 1 to 9999, got \"" + value + "\"";
          return false;
        }
      }
    }
  }
  return true;
}

std::optional<fs::path> preferencesFolderFor(const ParsedArgs& args) {
  if (auto folder = args.value("--prefs-dir")) return fs::path(*folder);
  if (const char* env = std::getenv("JOBWICK_PREFS_DIR"); env && *env) return fs::path(env);
  return platform::UserDefaults::preferencesFolder();
}

std::vector<std::pair<std::string, std::string>> settingOverridesFrom(const ParsedArgs& args) {
  std::vector<std::pair<std::string, std::string>> overrides;
  for (const auto& entry : args.values("--set")) {
    const auto equals = entry.find('=');
    overrides.emplace_back(entry.substr(0, equals), entry.substr(equals + 1));
  }
  return overrides;
}

std::map<std::string, std::string> variablesFrom(const ParsedArgs& args) {
  std::map<std::string, std::string> variables;
  for (const auto& entry : args.values("--var")) {
    const auto equals = entry.find('=');
    variables[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  return variables;
}

DialogSetup dialogSetupFromArgs(const ParsedArgs& args, const std::string& bundle) {
  DialogSetup setup;
  setup.bundle = bundle;
  if (auto v = args.value("--ppd")) setup.ppd = fs::path(*v);
  setup.printerId = args.value("--printer-id");
  setup.deviceURI = args.value("--device-uri");
  if (auto v = args.value("--settings")) setup.settingsFile = fs::path(*v);
  setup.settingOverrides = settingOverridesFrom(args);
  setup.language = args.value("--language");
  if (auto v = args.value("--prefs-dir")) {
    setup.prefsDir = fs::path(*v);
  } else if (const char* env = std::getenv("JOBWICK_PREFS_DIR"); env && *env) {
    setup.prefsDir = fs::path(env);
  }
  setup.constraintHandling = !args.has("--no-constraint-handling");
  setup.allowExposedTicket = args.has(kAllowExposedTicketOption);
  return setup;
}

SessionOptions sessionOptionsFromArgs(const ParsedArgs& args) {
  SessionOptions options;
  options.bundle = args.value("--bundle");
  if (auto v = args.value("--ppd")) options.ppd = fs::path(*v);
  options.printerId = args.value("--printer-id");
  options.deviceURI = args.value("--device-uri");
  options.noConstraintHandling = args.has("--no-constraint-handling");
  if (auto v = args.value("--settings")) options.settingsFile = fs::path(*v);
  options.settingOverrides = settingOverridesFrom(args);
  options.language = args.value("--language");
  if (auto v = args.value("--prefs-dir")) options.prefsDir = fs::path(*v);
  if (auto v = args.value("--save-settings")) options.saveSettings = fs::path(*v);
  return options;
}

}  // namespace jobwick::host
