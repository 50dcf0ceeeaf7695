// SPDX-License-Identifier: Apache-2.0
// Reading and checking dialog-session scripts.
#include "host/engine/session_script.h"
#include "host/common/translate.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "host/common/bounded_read.h"
#include "host/common/json_text.h"
#include "host/common/settings_io.h"
#include "host/engine/panel_driver.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;

/// What a step kind takes besides "do" and "name".
struct StepKind {
  std::string kind;
  std::vector<std::string> required;
  std::vector<std::string> optional;
  bool anyMember = false;  // expect: control properties are checked at run time
};

const std::vector<StepKind>& stepKinds() {
  static const std::vector<StepKind> kinds = {
      {"restore", {}, {}},
      {"show", {}, {}},
      {"type", {"control", "text"}, {"expectRefused"}},
      {"paste", {"control", "text"}, {"expectRefused"}},
      {"clear", {"control"}, {"expectRefused"}},
      {"delete", {"control"}, {"count", "expectRefused"}},
      {"click", {"control"}, {"expectRefused"}},
      {"choose", {"control"}, {"index", "title", "expectRefused"}},
      {"save", {}, {}},
      {"summary", {}, {}},
      {"shouldPrint", {}, {"expectResult"}},
      {"fetchFolders", {}, {"address", "expectRefused"}},
      {"dump", {}, {"controls"}},
      {"expect", {}, {"control", "settings", "summary", "alerts"}, true},
      {"reopen", {}, {}},
  };
  return kinds;
}

const StepKind* findKind(const std::string& kind) {
  for (const auto& entry : stepKinds()) {
    if (entry.kind == kind) return &entry;
  }
  return nullptr;
}

std::string join(const std::vector<std::string>& words, const char* separator = ", ") {
  std::string text;
  for (const auto& word : words) text += (text.empty() ? "" : separator) + word;
  return text;
}

/// Replaces every "${NAME}" in the strings of `value`; false (with the
/// name in `missing`) at the first variable that has no value.
bool substitute(nlohmann::json& value, const std::map<std::string, std::string>& variables,
                std::string* missing) {
  if (value.is_string()) {
    std::string text = value.get<std::string>();
    std::string out;
    std::size_t at = 0;
    while (true) {
      std::size_t start = text.find("${", at);
      if (start == std::string::npos) break;
      std::size_t end = text.find('}', start + 2);
      if (end == std::string::npos) break;
      const std::string name = text.substr(start + 2, end - start - 2);
      auto found = variables.find(name);
      if (found == variables.end()) {
        *missing = name;
        return false;
      }
      out += text.substr(at, start - at) + found->second;
      at = end + 1;
    }
    out += text.substr(at);
    value = out;
    return true;
  }
  if (value.is_array() || value.is_object()) {
    for (auto& element : value) {
      if (!substitute(element, variables, missing)) return false;
    }
  }
  return true;
}

class ScriptReader {
 public:
  ScriptReader(const fs::path& path, const std::map<std::string, std::string>& variables)
      : variables_(variables) {
    script_.path = path;
    script_.folder = path.parent_path();
  }

  std::optional<SessionScript> read(std::string_view text, std::string* error) {
    auto document = parseJsonDocument(text, error);
    if (!document) return std::nullopt;
    if (!document->is_object()) {
      return fail(error,
                  std::string("a session script is a JSON object, found ") + document->type_name());
    }
    static const std::set<std::string> members = {
        "description", "bundle", "printer", "settings", "settingsFile", "language",
        "prefsDir",    "clock",  "user",    "vars",     "steps"};
    for (const auto& [member, value] : document->items()) {
      if (!members.count(member)) {
        return fail(error, "unknown member \"" + member + "\" (a session script has " +
                               join(std::vector<std::string>(members.begin(), members.end())) +
                               ")");
      }
    }
    // Variables: the script's defaults, then the command line's values.
    std::map<std::string, std::string> values;
    if (document->contains("vars")) {
      const nlohmann::json& vars = (*document)["vars"];
      if (!vars.is_object()) return fail(error, "\"vars\" must be an object of strings");
      for (const auto& [name, value] : vars.items()) {
        if (!value.is_string()) return fail(error, "\"vars\": \"" + name + "\" must be a string");
        values[name] = value.get<std::string>();
      }
      document->erase("vars");
    }
    for (const auto& [name, value] : variables_) values[name] = value;

    for (auto& [member, value] : document->items()) {
      if (member == "steps") continue;
      std::string missing;
      if (!substitute(value, values, &missing)) {
        return fail(error, "\"" + member + "\": ${" + missing + "} has no value (give --var " +
                               missing + "=VALUE, or define it in \"vars\")");
      }
    }
    if (!readHeader(*document, error)) return std::nullopt;

    if (!document->contains("steps")) return fail(error, "missing member \"steps\"");
    nlohmann::json& steps = (*document)["steps"];
    if (!steps.is_array()) return fail(error, "\"steps\" must be an array of step objects");
    for (std::size_t i = 0; i < steps.size(); ++i) {
      if (!readStep(steps[i], i + 1, values, error)) return std::nullopt;
    }
    return std::move(script_);
  }

 private:
  std::optional<SessionScript> fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return std::nullopt;
  }
  bool failed(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
  }

  fs::path resolve(const std::string& path) const {
    fs::path p(path);
    return p.is_absolute() || script_.folder.empty() ? p : (script_.folder / p).lexically_normal();
  }

  bool text(const nlohmann::json& object, const char* member, const std::string& where,
            std::optional<std::string>* out, std::string* error) {
    if (!object.contains(member)) return true;
    const nlohmann::json& value = object[member];
    if (!value.is_string()) return failed(error, where + "\"" + member + "\" must be a string");
    *out = value.get<std::string>();
    return true;
  }

  bool readHeader(const nlohmann::json& document, std::string* error) {
    std::optional<std::string> value;
    if (!text(document, "description", "", &value, error)) return false;
    script_.description = value.value_or("");
    value.reset();
    if (!text(document, "bundle", "", &value, error)) return false;
    if (value) {
      // A bare model name stays as it is; a path is taken from the script's folder.
      script_.bundle = value->find('/') == std::string::npos ? *value : resolve(*value).string();
    }
    if (document.contains("printer")) {
      const nlohmann::json& printer = document["printer"];
      if (!printer.is_object()) return failed(error, "\"printer\" must be an object");
      static const std::set<std::string> members = {"ppd", "id", "deviceURI", "constraintHandling"};
      for (const auto& [member, entry] : printer.items()) {
        if (!members.count(member)) {
          return failed(error, "\"printer\": unknown member \"" + member +
                                   "\" (it takes ppd, id, deviceURI, constraintHandling)");
        }
      }
      value.reset();
      if (!text(printer, "ppd", "\"printer\": ", &value, error)) return false;
      if (value) script_.ppd = resolve(*value);
      if (!text(printer, "id", "\"printer\": ", &script_.printerId, error)) return false;
      if (!text(printer, "deviceURI", "\"printer\": ", &script_.deviceURI, error)) return false;
      if (printer.contains("constraintHandling")) {
        if (!printer["constraintHandling"].is_boolean()) {
          return failed(error, "\"printer\": \"constraintHandling\" must be true or false");
        }
        script_.constraintHandling = printer["constraintHandling"].get<bool>();
      }
    }
    if (document.contains("settings") && document.contains("settingsFile")) {
      return failed(error, "give either \"settings\" or \"settingsFile\", not both");
    }
    if (document.contains("settings")) {
      platform::PrintSettings settings;
      std::string detail;
      if (!parseSettingsJson(jsonText(document["settings"]), &settings, &detail)) {
        return failed(error, "\"settings\": " + detail);
      }
      script_.settings = std::move(settings);
    }
    value.reset();
    if (!text(document, "settingsFile", "", &value, error)) return false;
    if (value) script_.settingsFile = resolve(*value);
    if (!text(document, "language", "", &script_.language, error)) return false;
    if (script_.language && script_.language->empty()) {
      return failed(error, "\"language\" must not be empty");
    }
    value.reset();
    if (!text(document, "prefsDir", "", &value, error)) return false;
    if (value) script_.prefsDir = resolve(*value);
    value.reset();
    if (!text(document, "clock", "", &value, error)) return false;
    if (value) {
      auto clock = parseClock(*value);
      if (!clock) {
        return failed(error, "\"clock\": \"" + *value +
                                 "\" is not a moment like \"2026-12-08T09:05:07+09:00\"");
      }
      script_.clock = clock->first;
      script_.timeZoneOffset = clock->second;
    }
    if (document.contains("user")) {
      const nlohmann::json& user = document["user"];
      if (!user.is_object()) return failed(error, "\"user\" must be an object");
      for (const auto& [member, entry] : user.items()) {
        if (member != "login" && member != "fullName") {
          return failed(error,
                        "\"user\": unknown member \"" + member + "\" (it takes login, fullName)");
        }
      }
      if (!text(user, "login", "\"user\": ", &script_.userLogin, error)) return false;
      if (!text(user, "fullName", "\"user\": ", &script_.userFullName, error)) return false;
    }
    return true;
  }

  bool readStep(nlohmann::json& step, std::size_t number,
                const std::map<std::string, std::string>& values, std::string* error) {
    const std::string where = "steps[" + std::to_string(number - 1) + "]";
    if (!step.is_object()) {
      return failed(error, where +
                               ": a step is an object like {\"do\": \"click\", \"control\": "
                               "\"retentionCheckBox\"}");
    }
    if (!step.contains("do") || !step["do"].is_string()) {
      return failed(error,
                    where + ": a step needs \"do\" with one of: " + join(sessionStepKinds()));
    }
    SessionStep parsed;
    parsed.number = number;
    parsed.kind = step["do"].get<std::string>();
    const StepKind* kind = findKind(parsed.kind);
    if (!kind) {
      std::string message = where + ": unknown step \"" + parsed.kind + "\"";
      auto close = closeMatches(parsed.kind, sessionStepKinds(), 2);
      if (!close.empty()) message += " (did you mean " + join(close, " or ") + "?)";
      return failed(error, message + "; steps are: " + join(sessionStepKinds()));
    }
    if (step.contains("name")) {
      if (!step["name"].is_string()) return failed(error, where + ": \"name\" must be a string");
      parsed.name = step["name"].get<std::string>();
    }
    std::string missing;
    if (!substitute(step, values, &missing)) {
      return failed(error, parsed.label() + ": ${" + missing + "} has no value (give --var " +
                               missing + "=VALUE, or define it in \"vars\")");
    }
    const std::string label = parsed.label();
    for (const auto& [member, value] : step.items()) {
      if (member == "do" || member == "name") continue;
      const bool known =
          std::find(kind->required.begin(), kind->required.end(), member) != kind->required.end() ||
          std::find(kind->optional.begin(), kind->optional.end(), member) != kind->optional.end();
      if (!known && !kind->anyMember) {
        std::vector<std::string> takes = kind->required;
        takes.insert(takes.end(), kind->optional.begin(), kind->optional.end());
        return failed(error, label + ": unknown member \"" + member + "\" (" + parsed.kind +
                                 (takes.empty() ? " takes nothing else" : " takes " + join(takes)) +
                                 ")");
      }
      if (!checkType(member, value, label, error)) return false;
    }
    for (const auto& member : kind->required) {
      if (!step.contains(member))
        return failed(error, label + ": missing member \"" + member + "\"");
    }
    if (parsed.kind == "choose" && step.contains("index") == step.contains("title")) {
      return failed(error, label + ": give either \"index\" or \"title\"");
    }
    if (parsed.kind == "expect") {
      const bool onControl = step.contains("control");
      const bool other =
          step.contains("settings") || step.contains("summary") || step.contains("alerts");
      std::size_t properties = 0;
      for (const auto& [member, value] : step.items()) {
        if (member != "do" && member != "name" && member != "control" && member != "settings" &&
            member != "summary" && member != "alerts") {
          ++properties;
        }
      }
      if (properties > 0 && !onControl) {
        return failed(error, label + ": control properties need \"control\"");
      }
      if (onControl && properties == 0) {
        return failed(error, label +
                                 ": say what to expect of the control (\"text\", \"state\", "
                                 "\"enabled\", ...)");
      }
      if (!onControl && !other) {
        return failed(error, label +
                                 ": expect needs \"control\", \"settings\", \"summary\" or "
                                 "\"alerts\"");
      }
    }
    parsed.spec = step;
    script_.steps.push_back(std::move(parsed));
    return true;
  }

  bool checkType(const std::string& member, const nlohmann::json& value, const std::string& label,
                 std::string* error) {
    auto bad = [&](const char* what) {
      return failed(error, label + ": \"" + member + "\" must be " + what);
    };
    if (member == "control" || member == "text" || member == "title" || member == "address") {
      if (!value.is_string()) return bad("a string");
      // What is typed ends up in the ticket, handed on as C strings.
      if (value.get_ref<const std::string&>().find('\0') != std::string::npos) {
        return failed(error, label + ": \"" + member + "\" holds a NUL character");
      }
    } else if (member == "index") {
      if (!value.is_number_integer()) return bad("an integer");
    } else if (member == "count" || member == "alerts") {
      if (!value.is_number_unsigned()) return bad("a number of 0 or more");
    } else if (member == "expectRefused" || member == "expectResult") {
      if (!value.is_boolean()) return bad("true or false");
    } else if (member == "controls") {
      if (!value.is_array() ||
          !std::all_of(value.begin(), value.end(),
                       [](const nlohmann::json& v) { return v.is_string(); })) {
        return bad("an array of control identifiers");
      }
    } else if (member == "settings") {
      if (!value.is_object()) return bad("an object of keys and values");
      for (const auto& [key, entry] : value.items()) {
        if (!entry.is_string() && !entry.is_null() && !entry.is_boolean()) {
          return failed(error, label + ": \"settings\": \"" + key +
                                   "\" must be a value (string), true (present) or null (absent)");
        }
      }
    } else if (member == "summary") {
      if (!value.is_object()) return bad("an object of labels and values");
      for (const auto& [key, entry] : value.items()) {
        if (!entry.is_string() && !entry.is_null()) {
          return failed(error, label + ": \"summary\": \"" + key +
                                   "\" must be a string (or null: no such entry)");
        }
      }
    }
    return true;
  }

  const std::map<std::string, std::string>& variables_;
  SessionScript script_;
};

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long daysFromCivil(long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = unsigned(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + long(dayOfEra) - 719468;
}

}  // namespace

std::string SessionStep::label() const {
  std::string text = "step " + std::to_string(number);
  if (!name.empty()) text += " \"" + name + "\"";
  return text + " (" + kind + ")";
}

std::string SessionStep::control() const {
  auto it = spec.find("control");
  return it != spec.end() && it->is_string() ? it->get<std::string>() : std::string();
}

const std::vector<std::string>& sessionStepKinds() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const auto& kind : stepKinds()) list.push_back(kind.kind);
    return list;
  }();
  return names;
}

std::optional<SessionScript> parseSessionScript(std::string_view text, const fs::path& path,
                                                const std::map<std::string, std::string>& variables,
                                                std::string* error) {
  return ScriptReader(path, variables).read(text, error);
}

std::optional<SessionScript> readSessionScript(const fs::path& path,
                                               const std::map<std::string, std::string>& variables,
                                               std::string* error) {
  std::string text;
  if (!readBoundedFile(path, N_("session script"), kMaxScriptBytes, &text, error))
    return std::nullopt;
  std::string detail;
  auto script = parseSessionScript(text, path, variables, &detail);
  if (!script && error) *error = path.string() + ": " + detail;
  return script;
}

std::optional<std::pair<double, long>> parseClock(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SS followed by Z or +HH:MM / -HH:MM.
  auto digits = [&](std::size_t at, std::size_t count, long* out) {
    if (at + count > text.size()) return false;
    long value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
      value = value * 10 + (text[i] - '0');
    }
    *out = value;
    return true;
  };
  long year, month, day, hour, minute, second;
  if (text.size() < 20 || !digits(0, 4, &year) || text[4] != '-' || !digits(5, 2, &month) ||
      text[7] != '-' || !digits(8, 2, &day) || (text[10] != 'T' && text[10] != ' ') ||
      !digits(11, 2, &hour) || text[13] != ':' || !digits(14, 2, &minute) || text[16] != ':' ||
      !digits(17, 2, &second)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  long offset = 0;
  std::string_view zone = text.substr(19);
  if (zone == "Z") {
    offset = 0;
  } else {
    long zoneHours, zoneMinutes;
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':' ||
        !digits(20, 2, &zoneHours) || !digits(23, 2, &zoneMinutes) || zoneHours > 23 ||
        zoneMinutes > 59) {
      return std::nullopt;
    }
    offset = (zoneHours * 3600 + zoneMinutes * 60) * (zone[0] == '-' ? -1 : 1);
  }
  const long days = daysFromCivil(year, unsigned(month), unsigned(day));
  const double local = double(days) * 86400.0 + double(hour * 3600 + minute * 60 + second);
  return std::make_pair(local - double(offset), offset);
}

}  // namespace jobwick::host
