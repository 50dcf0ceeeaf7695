// jobwick session: runs a dialog-session script against a plug-in bundle and
// reports what the panel did.
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/commands.h"
#include "host/escape.h"
#include "host/panel_driver.h"
#include "host/print_dialog.h"
#include "host/print_job.h"
#include "host/session_input.h"
#include "host/session_script.h"
#include "host/settings_io.h"
#include "platform/strings.h"
#include "platform/system.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

constexpr std::string_view kTicketPrefix = "jp.co.quivo.print.PrintSettings.";
constexpr int kExitScript = kExitBadInput;  // a script that cannot run as written

/// A temporary folder removed with its contents when the object goes.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "jobwick-session-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

/// A mistake in the script found while running it (unknown control, wrong
/// kind of control): the session stops.
struct ScriptError {
  std::string message;
  int exitCode = kExitScript;
};

/// `text` on one line ("\n" becomes " / "), with every other control
/// character and byte that is not UTF-8 escaped: it may come from a script,
/// a printer or a bundle, and must not forge or drive the output.
std::string oneLine(std::string text) {
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos;)
    text.replace(at, 1, " / ");
  return escapeText(text);
}

std::string alertText(const platform::Alert& alert) {
  return (alert.title.empty() ? "" : escapeText(alert.title) + ": ") + oneLine(alert.message) +
         " [" + escapeText(alert.defaultButton) + "]";
}

std::string quote(const std::string& text) {
  return quoteText(text);
}

/// Fields whose text is a secret. The session's output shows their text
/// masked, one bullet per character, so that a session's log never carries
/// a pass code, password, user number or login name in plain text.
bool isSecretField(const std::string& identifier) {
  return identifier == "suspendKeyEditText" || identifier == "folderPasswordEditText" ||
         identifier == "passwordEditText" || identifier == "userNumberEditText" ||
         identifier == "loginNameEditText";
}

std::string masked(const std::string& text) {
  std::string out;
  for (std::size_t i = platform::utf16Length(text); i > 0; --i) out += "\u2022";
  return out;
}

/// Masks the text of the secret fields of a dump.
void maskSecrets(json& dumped) {
  if (!dumped.contains("controls")) return;
  for (auto& entry : dumped["controls"]) {
    if (entry.contains("identifier") && entry.contains("text") && entry["text"].is_string() &&
        isSecretField(entry["identifier"].get<std::string>())) {
      entry["text"] = masked(entry["text"].get<std::string>());
      entry["masked"] = true;
    }
  }
}

/// One line of a dump in words: kind, value, and what stands out.
std::string describeControl(const json& entry) {
  std::string kind = entry.value("kind", "");
  if (entry.contains("type")) kind = entry["type"].get<std::string>();
  std::string value;
  if (entry.contains("text")) {
    value = quote(entry["text"].get<std::string>());
  } else if (entry.contains("cells") || entry.contains("items") || entry.contains("tabs")) {
    value = "selected " + entry.value("selectedRow", entry.value("selectedIndex", json(-1))).dump();
    if (entry.contains("selectedTitle") && entry["selectedTitle"].is_string()) {
      value += " " + quote(entry["selectedTitle"].get<std::string>());
    }
    if (entry.contains("items")) {
      std::string titles;
      for (const auto& item : entry["items"]) {
        std::string title = item.contains("separator") ? "---" : item.value("title", "");
        if (item.contains("image") && item["image"] == "icon:lock") title += " (padlock)";
        titles += (titles.empty() ? "" : ", ") + title;
      }
      value += "; items: " + titles;
    }
  } else if (entry.contains("state")) {
    value = (entry.contains("title") && !entry["title"].get<std::string>().empty()
                 ? quote(entry["title"].get<std::string>()) + " "
                 : "") +
            (entry["state"].get<int>() != 0 ? "on" : "off");
  } else if (entry.contains("title")) {
    value = quote(entry["title"].get<std::string>());
  } else if (entry.contains("animating")) {
    value = entry["animating"].get<bool>() ? "animating" : "still";
  }
  std::vector<std::string> flags;
  if (entry.contains("enabled") && !entry["enabled"].get<bool>()) flags.push_back("disabled");
  if (entry.value("hidden", false)) {
    flags.push_back("hidden");
  } else if (entry.contains("visible") && !entry["visible"].get<bool>()) {
    flags.push_back("not visible");
  }
  if (entry.contains("editable") && !entry["editable"].get<bool>() &&
      entry["kind"] == "textfield") {
    flags.push_back("read-only");
  }
  if (entry.contains("colour") && entry["colour"] != "black") {
    flags.push_back(entry["colour"].get<std::string>());
  }
  if (entry.value("focus", false)) flags.push_back("focus");
  std::string line = kind + (value.empty() ? "" : "  " + value);
  if (!flags.empty()) {
    std::string list;
    for (const auto& flag : flags) list += (list.empty() ? "" : ", ") + flag;
    line += "  [" + list + "]";
  }
  return line;
}

class SessionRunner {
 public:
  SessionRunner(SessionScript script, const Invocation& invocation, SessionInput& input)
      : script_(std::move(script)),
        input_(input),
        args_(invocation.args),
        out_(invocation.out),
        err_(invocation.err),
        errors_(invocation.errors()),
        jsonOutput_(invocation.args.has("--json")) {}

  /// Makes the session end as a print does: Print pressed after the steps.
  void pressPrintAtEnd(PanelVerdict* verdict) { verdict_ = verdict; }

  int run() {
    if (int status = prepare(); status != kExitSuccess) return status;
    if (!jsonOutput_) {
      out_ << escapeText(
                  "Session " + script_.path.string() + ": bundle " + setup_.bundle + ", printer " +
                  printerIdentifierFor(setup_) +
                  (setup_.ppd ? " (PPD " + setup_.ppd->string() + ")" : std::string(" (no PPD)")))
           << "\n";
      if (!script_.description.empty()) out_ << "  " << oneLine(script_.description) << "\n";
    }
    int status = kExitSuccess;
    for (const SessionStep& step : script_.steps) {
      try {
        runStep(step);
      } catch (const ScriptError& error) {
        error_ = error.message;
        status = error.exitCode;
        break;
      }
    }
    return finish(status);
  }

 private:
  // ---- Setting up ----

  int prepare() {
    if (auto bundle = args_.value("--bundle")) {
      setup_.bundle = *bundle;
    } else if (script_.bundle) {
      setup_.bundle = *script_.bundle;
    } else {
      return reportError(
          errors_, ExitStatus::badInput,
          script_.path.string() +
              ": the script names no bundle (add \"bundle\": \"vk7300\" or give --bundle)");
    }
    setup_.ppd = script_.ppd;
    if (auto v = args_.value("--ppd")) setup_.ppd = fs::path(*v);
    setup_.printerId =
        args_.value("--printer-id") ? args_.value("--printer-id") : script_.printerId;
    setup_.deviceURI =
        args_.value("--device-uri") ? args_.value("--device-uri") : script_.deviceURI;
    setup_.constraintHandling =
        !args_.has("--no-constraint-handling") && script_.constraintHandling.value_or(true);
    setup_.initialSettings = script_.settings;
    setup_.settingsFile = script_.settingsFile;
    if (auto v = args_.value("--settings")) setup_.settingsFile = fs::path(*v);
    for (const auto& entry : args_.values("--set")) {
      if (entry.find('=') == std::string::npos || entry.front() == '=') {
        return reportError(errors_, ExitStatus::usage,
                           "option --set needs KEY=VALUE, got \"" + entry + "\"");
      }
      setup_.settingOverrides.push_back(entry);
    }
    setup_.language = args_.value("--language") ? args_.value("--language") : script_.language;
    if (setup_.language && setup_.language->empty()) {
      return reportError(errors_, ExitStatus::usage, "option --language needs a language");
    }
    // A session starts from a user with no remembered entries unless a
    // preferences folder is named, so that it runs the same every time.
    if (auto v = args_.value("--prefs-dir")) {
      setup_.prefsDir = fs::path(*v);
    } else if (script_.prefsDir) {
      setup_.prefsDir = script_.prefsDir;
    } else {
      temporaryPrefs_ = std::make_unique<TemporaryFolder>();
      if (temporaryPrefs_->path().empty()) {
        return reportError(errors_, ExitStatus::failure,
                           "cannot make a temporary preferences folder");
      }
      setup_.prefsDir = temporaryPrefs_->path();
    }
    setup_.alertListener = [this](const platform::Alert& alert) { recordAlert(alert); };
    if (std::string error; !loadSettingsFile(&setup_, &error)) {
      return reportError(errors_, ExitStatus::badInput, error);
    }

    if (script_.clock) {
      platform::setCurrentTimeOverride(*script_.clock);
      platform::setTimeZoneOffsetOverride(*script_.timeZoneOffset);
    }
    if (script_.userLogin || script_.userFullName) {
      platform::setUserNamesOverride(script_.userLogin, script_.userFullName);
    }
    std::string error;
    if (!openDialog(&error)) return reportError(errors_, ExitStatus::failure, error);
    return kExitSuccess;
  }

  bool openDialog(std::string* error) {
    dialog_ = PrintDialog::open(setup_, error);
    if (!dialog_) return false;
    if (dialog_->panels().empty() || !dialog_->panels().front()) {
      *error = "bundle " + setup_.bundle + " made no panel";
      dialog_.reset();
      return false;
    }
    input_.dialogOpened(*dialog_);
    return true;
  }

  platform::PDEPanel& panel() { return *dialog_->panels().front(); }

  /// The panel's view in the window, loaded as a dialog that shows the
  /// panel loads it.
  void ensureView(const SessionStep& step) {
    if (window_.attached()) return;
    if (!window_.attach(panel())) {
      throw ScriptError{step.label() +
                            ": the panel has no view (its interface file could not be "
                            "loaded)",
                        kExitFailure};
    }
    input_.attached(window_);
  }

  ControlRef findControl(const SessionStep& step, const std::string& identifier) {
    ensureView(step);
    if (auto found = window_.find(identifier)) return *found;
    std::string message = step.label() + ": no control \"" + identifier + "\" in the panel";
    auto close = closeMatches(identifier, window_.identifiers());
    if (!close.empty()) {
      std::string list;
      for (const auto& name : close) list += (list.empty() ? "" : ", ") + name;
      message += "; close matches: " + list;
    } else {
      message += "; a dump step lists every control";
    }
    throw ScriptError{message};
  }

  /// The control of a step, which must be of one of the kinds a step needs.
  ControlRef controlFor(const SessionStep& step, bool text, bool button, bool choice) {
    const std::string identifier = step.control();
    ControlRef ref = findControl(step, identifier);
    const bool isCell = ref.cell != nullptr;
    const platform::View* view = ref.view;
    const bool isText = view && dynamic_cast<const platform::TextField*>(view);
    const bool isButton = view && dynamic_cast<const platform::Button*>(view);
    const bool isChoice = view && (dynamic_cast<const platform::Matrix*>(view) ||
                                   dynamic_cast<const platform::PopUpButton*>(view) ||
                                   dynamic_cast<const platform::TabView*>(view));
    if ((text && isText) || (button && (isButton || isCell)) || (choice && (isChoice || isCell))) {
      return ref;
    }
    const std::string what = isCell ? "a matrix cell" : std::string("a ") + view->kind();
    const std::string wanted = text     ? "a text field"
                               : button ? "a button or matrix cell"
                                        : "a matrix, pop-up button or tab view";
    throw ScriptError{step.label() + ": \"" + identifier + "\" is " + what + ", not " + wanted};
  }

  void recordAlert(const platform::Alert& alert) {
    json entry = {
        {"title", alert.title}, {"message", alert.message}, {"defaultButton", alert.defaultButton}};
    if (currentStep_ > 0) entry["step"] = currentStep_;
    stepAlerts_.push_back(entry);
    alerts_.push_back(std::move(entry));
    if (!jsonOutput_) out_ << "  alert: " << alertText(alert) << "\n";
    input_.alertShown(alert);
  }

  // ---- Steps ----

  void note(const std::string& line) {
    if (!jsonOutput_) out_ << "  " << escapeText(line) << "\n";
  }

  void fail(const SessionStep& step, json& result, const std::string& message) {
    result["status"] = "failed";
    result["failures"].push_back(message);
    failures_.push_back(step.label() + ": " + message);
    if (!jsonOutput_) out_ << "  FAILED: " << escapeText(message) << "\n";
  }

  std::string headline(const SessionStep& step) const {
    std::string line = "step " + std::to_string(step.number) + ": " + step.kind;
    if (!step.name.empty()) line += " \"" + step.name + "\"";
    const json& spec = step.spec;
    if (step.kind == "expect") {
      std::string what;
      if (spec.contains("control")) what = " " + spec["control"].get<std::string>() + ":";
      const bool secret = spec.contains("control") && spec["control"].is_string() &&
                          isSecretField(spec["control"].get<std::string>());
      for (const auto& [member, value] : spec.items()) {
        if (member == "do" || member == "name" || member == "control") continue;
        const std::string shown = secret && member == "text" && value.is_string()
                                      ? quote(masked(value.get<std::string>()))
                                      : value.dump();
        what += (what.empty() || what.back() == ':' ? " " : ", ") + member + " " + shown;
      }
      return line + what;
    }
    if (spec.contains("text")) {
      const std::string text = spec["text"].get<std::string>();
      const bool secret = spec.contains("control") && spec["control"].is_string() &&
                          isSecretField(spec["control"].get<std::string>());
      line += " " + quote(secret ? masked(text) : text) + " into";
    }
    if (spec.contains("control")) line += " " + spec["control"].get<std::string>();
    if (spec.contains("index")) line += " index " + spec["index"].dump();
    if (spec.contains("title")) line += " " + quote(spec["title"].get<std::string>());
    if (spec.contains("address")) line += " from " + spec["address"].get<std::string>();
    return line;
  }

  // A shouldPrint step: asks the panel, notes the answer and checks it
  // against expectResult.
  void askShouldPrint(const SessionStep& step, json& result) {
    const bool answer = panel().shouldPrint();
    ensureView(step);
    result["result"] = answer;
    note(std::string("answer: ") +
         (answer ? "YES (printing goes ahead)" : "NO (printing refused)"));
    if (step.spec.contains("expectResult")) {
      ++expectations_;
      if (step.spec["expectResult"].get<bool>() != answer) {
        fail(step, result,
             std::string("shouldPrint answered ") + (answer ? "YES" : "NO") + ", expected " +
                 (answer ? "NO" : "YES"));
      }
    }
  }

  // A type, paste, clear or delete step on a text field.
  void editText(const SessionStep& step, json& result) {
    const std::string& kind = step.kind;
    ControlRef ref = controlFor(step, true, false, false);
    EventOutcome outcome;
    if (kind == "type") {
      outcome = input_.type(ref, step.spec["text"].get<std::string>(), window_.window());
    } else if (kind == "paste") {
      outcome = input_.paste(ref, step.spec["text"].get<std::string>(), window_.window());
    } else if (kind == "clear") {
      outcome = input_.clear(ref, window_.window());
    } else {
      outcome = input_.erase(ref, step.spec.value("count", std::size_t(1)), window_.window());
    }
    if (kind == "type") {
      result["accepted"] = outcome.accepted;
      result["offered"] = outcome.offered;
    }
    const std::string text = static_cast<platform::TextField*>(ref.view)->stringValue();
    result["text"] = isSecretField(ref.view->identifier()) ? masked(text) : text;
    applyOutcome(step, result, outcome);
    if (outcome.status != EventOutcome::Status::kRefused) {
      note("text now " + quote(result["text"].get<std::string>()));
    }
  }

  void runStep(const SessionStep& step) {
    currentStep_ = step.number;
    stepAlerts_ = json::array();
    if (!jsonOutput_) out_ << escapeText(headline(step)) << "\n";
    json result = {{"step", step.number}, {"do", step.kind}};
    if (!step.name.empty()) result["name"] = step.name;
    if (!step.control().empty()) result["control"] = step.control();
    result["status"] = "done";
    result["failures"] = json::array();

    const std::string& kind = step.kind;
    if (kind == "restore") {
      ensureView(step);
      panel().restoreValuesAndReturnError(nullptr);
    } else if (kind == "show") {
      ensureView(step);
      panel().willShow();
    } else if (kind == "save") {
      panel().saveValuesAndReturnError(nullptr);
    } else if (kind == "summary") {
      json summary = summaryJson();
      for (const auto& [label, value] : summary.items()) {
        note(label + ": " + value.get<std::string>());
      }
      if (summary.empty()) note("(empty summary)");
      lastSummary_ = summary;
      result["summary"] = std::move(summary);
    } else if (kind == "shouldPrint") {
      askShouldPrint(step, result);
    } else if (kind == "type" || kind == "paste" || kind == "clear" || kind == "delete") {
      editText(step, result);
    } else if (kind == "click") {
      ControlRef ref = controlFor(step, false, true, false);
      applyOutcome(step, result, input_.click(ref));
      result["state"] = window_.dumpControl(ref).value("state", json(nullptr));
    } else if (kind == "choose") {
      ControlRef ref = controlFor(step, false, false, true);
      std::optional<std::int64_t> index;
      std::optional<std::string> title;
      if (step.spec.contains("index")) index = step.spec["index"].get<std::int64_t>();
      if (step.spec.contains("title")) title = step.spec["title"].get<std::string>();
      applyOutcome(step, result, input_.choose(ref, index, title));
      json state = window_.dumpControl(ref);
      if (state.contains("selectedTitle")) result["selectedTitle"] = state["selectedTitle"];
    } else if (kind == "fetchFolders") {
      fetchFolders(step, result);
    } else if (kind == "dump") {
      dump(step, result);
    } else if (kind == "expect") {
      expect(step, result);
    } else if (kind == "reopen") {
      reopen(step);
    }
    input_.stepDone();
    if (!stepAlerts_.empty()) result["alerts"] = stepAlerts_;
    if (result["failures"].empty()) result.erase("failures");
    steps_.push_back(std::move(result));
    currentStep_ = 0;
  }

  void applyOutcome(const SessionStep& step, json& result, const EventOutcome& outcome) {
    result["status"] = statusName(outcome.status);
    if (!outcome.message.empty()) result["message"] = outcome.message;
    const bool wasRefused = outcome.status == EventOutcome::Status::kRefused;
    if (wasRefused) {
      ++refusals_;
      note("refused: " + outcome.message);
    } else if (outcome.status == EventOutcome::Status::kPartial) {
      note("partial: " + outcome.message);
    }
    if (step.spec.contains("expectRefused")) {
      ++expectations_;
      const bool expected = step.spec["expectRefused"].get<bool>();
      if (expected != wasRefused) {
        fail(step, result,
             expected ? std::string("the event was taken, expected it to be refused")
                      : "the event was refused (" + outcome.message + "), expected it to be taken");
      }
    }
  }

  json summaryJson() {
    json summary = json::object();
    for (const auto& [label, value] : panel().summaryInfo()) summary[label] = value;
    return summary;
  }

  void fetchFolders(const SessionStep& step, json& result) {
    ControlRef button = findControl(step, "getFolderNameButton");
    if (step.spec.contains("address")) {
      ControlRef field = findControl(step, "printersAddressEditText");
      EventOutcome cleared = input_.clear(field, window_.window());
      EventOutcome typed =
          cleared.status == EventOutcome::Status::kRefused
              ? cleared
              : input_.paste(field, step.spec["address"].get<std::string>(), window_.window());
      if (typed.status == EventOutcome::Status::kRefused) {
        typed.message = "the address field refused the address: " + typed.message;
        applyOutcome(step, result, typed);
        return;
      }
    }
    std::string address;
    if (auto field = window_.find("printersAddressEditText"); field && field->view) {
      address = static_cast<platform::TextField*>(field->view)->stringValue();
    }
    result["address"] = address;
    if (!address.empty()) err_ << "jobwick: asking " << address << " for its folders...\n";
    const auto started = std::chrono::steady_clock::now();
    EventOutcome outcome = input_.click(button);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    applyOutcome(step, result, outcome);
    if (outcome.status == EventOutcome::Status::kRefused) return;
    const auto properties = panel().diagnosticProperties();
    auto count = properties.find("folderCount");
    const std::string folders = count == properties.end() ? "none" : count->second;
    result["folderCount"] = folders == "none" ? json(nullptr) : json(std::stoi(folders));
    std::ostringstream line;
    line.precision(1);
    line << std::fixed;
    if (!stepAlerts_.empty()) {
      line << "jobwick: no folder list from " << (address.empty() ? "the printer" : address) << " ("
           << seconds << " s)\n";
    } else {
      line << "jobwick: " << (address.empty() ? "the panel" : address) << " answered in " << seconds
           << " s; the panel lists " << (folders == "none" ? "no" : folders)
           << (folders == "1" ? " folder" : " folders") << "\n";
    }
    err_ << line.str();
    note("folders listed by the panel: " + folders);
  }

  void dump(const SessionStep& step, json& result) {
    ensureView(step);
    json dumped;
    if (step.spec.contains("controls")) {
      json controls = json::array();
      for (const auto& id : step.spec["controls"]) {
        controls.push_back(window_.dumpControl(findControl(step, id.get<std::string>())));
      }
      platform::View* focused = window_.window()->firstResponder();
      dumped = {{"focus", focused ? json(focused->identifier()) : json(nullptr)},
                {"controls", std::move(controls)}};
    } else {
      dumped = window_.dumpPanel();
    }
    maskSecrets(dumped);
    if (!jsonOutput_) {
      std::size_t width = 0;
      for (const auto& entry : dumped["controls"]) {
        width = std::max(width, entry["identifier"].get<std::string>().size());
      }
      for (const auto& entry : dumped["controls"]) {
        const std::string id = entry["identifier"].get<std::string>();
        out_ << "  " << escapeText(id) << std::string(width - id.size() + 2, ' ')
             << escapeText(describeControl(entry)) << "\n";
      }
    }
    json record = {{"step", step.number}};
    for (auto& [member, value] : dumped.items()) record[member] = value;
    dumps_.push_back(record);
    result["dump"] = std::move(dumped);
  }

  void expect(const SessionStep& step, json& result) {
    const json& spec = step.spec;
    if (spec.contains("control")) {
      const std::string identifier = spec["control"].get<std::string>();
      json state = window_.dumpControl(findControl(step, identifier));
      for (const auto& [member, expected] : spec.items()) {
        if (member == "do" || member == "name" || member == "control" || member == "settings" ||
            member == "summary" || member == "alerts") {
          continue;
        }
        if (!state.contains(member)) {
          std::string has;
          for (const auto& [name, value] : state.items()) has += (has.empty() ? "" : ", ") + name;
          throw ScriptError{step.label() + ": \"" + identifier + "\" (" +
                            state["kind"].get<std::string>() + ") has no property \"" + member +
                            "\"; it has: " + has};
        }
        ++expectations_;
        // Compared as plain JSON values: the order of members does not count.
        if (nlohmann::json::parse(state[member].dump()) != nlohmann::json(expected)) {
          if (member == "text" && isSecretField(identifier)) {
            fail(step, result, identifier + ".text is not the expected text (a secret: not shown)");
          } else {
            fail(step, result,
                 identifier + "." + member + " is " + state[member].dump() + ", expected " +
                     expected.dump());
          }
        }
      }
    }
    if (spec.contains("settings")) {
      const platform::PrintSettings& settings = dialog_->host().settings();
      for (const auto& [name, expected] : spec["settings"].items()) {
        ++expectations_;
        const std::string key =
            name.find('.') == std::string::npos ? std::string(kTicketPrefix) + name : name;
        const auto value = settings.value(key);
        const std::string shown = value ? quote(*value) : "absent";
        if (expected.is_string()) {
          if (!value || *value != expected.get<std::string>()) {
            fail(step, result, name + " is " + shown + ", expected " + expected.dump());
          }
        } else if (expected.is_boolean() && expected.get<bool>()) {
          if (!value) fail(step, result, name + " is absent, expected it to be present");
        } else if (value) {
          fail(step, result, name + " is " + shown + ", expected it to be absent");
        }
      }
    }
    if (spec.contains("summary")) {
      json summary = summaryJson();
      for (const auto& [label, expected] : spec["summary"].items()) {
        ++expectations_;
        const bool present = summary.contains(label);
        const std::string shown = present ? summary[label].dump() : "absent";
        if (expected.is_null() ? present
                               : (!present || summary[label] != expected.get<std::string>())) {
          fail(step, result,
               "summary \"" + label + "\" is " + shown + ", expected " +
                   (expected.is_null() ? std::string("no such entry") : expected.dump()));
        }
      }
    }
    if (spec.contains("alerts")) {
      ++expectations_;
      const std::size_t wanted = spec["alerts"].get<std::size_t>();
      if (alerts_.size() != wanted) {
        fail(step, result,
             std::to_string(alerts_.size()) + " alerts were shown, expected " +
                 std::to_string(wanted));
      }
    }
    if (result["failures"].empty()) note("as expected");
  }

  void reopen(const SessionStep& step) {
    // The job's print settings go to the next dialog, as when the user
    // prints again from the same document; the printer and user stay.
    platform::PrintSettings carried = dialog_->host().settings();
    if (window_.attached()) input_.detaching();
    window_.detach();
    dialog_.reset();
    setup_.initialSettings = std::move(carried);
    setup_.settingsFile.reset();
    setup_.settingOverrides.clear();
    std::string error;
    if (!openDialog(&error)) throw ScriptError{step.label() + ": " + error, kExitFailure};
  }

  // ---- Result ----

  /// Print pressed: the panel saves its values and is asked shouldPrint.
  void pressPrint() {
    panel().saveValuesAndReturnError(nullptr);
    const std::size_t before = dialog_->alerts().size();
    verdict_->shouldPrint = panel().shouldPrint();
    const auto& alerts = dialog_->alerts();
    verdict_->alerts.assign(alerts.begin() + std::ptrdiff_t(before), alerts.end());
  }

  int finish(int status) {
    if (verdict_ && dialog_ && status == kExitSuccess && failures_.empty()) pressPrint();
    if (window_.attached()) {
      std::string error;
      if (status != kExitScript && !input_.finished(window_, &error)) {
        err_ << "jobwick: " << error << "\n";
        if (status == kExitSuccess) status = kExitFailure;
      }
      input_.detaching();
    }
    window_.detach();
    platform::PrintSettings settings;
    if (dialog_) settings = dialog_->host().settings();
    json settingsDocument = jobwick::host::settingsDocument(settings);

    if (auto path = args_.value("--save-settings"); path && status != kExitScript) {
      std::string error;
      if (!writeSettingsFile(*path, settings, &error)) {
        err_ << "jobwick: session: " << error << "\n";
        if (status == kExitSuccess) status = kExitFailure;
      }
    }
    if (status == kExitSuccess && !failures_.empty()) status = kExitFailure;

    if (jsonOutput_) {
      json printer = {{"identifier", printerIdentifierFor(setup_)},
                      {"ppd", setup_.ppd ? json(setup_.ppd->string()) : json(nullptr)},
                      {"deviceURI", setup_.deviceURI ? json(*setup_.deviceURI) : json(nullptr)}};
      json document = {
          {"session", script_.path.string()},
          {"description", script_.description},
          {"bundle", setup_.bundle},
          {"printer", std::move(printer)},
          {"language", setup_.language ? json(*setup_.language) : json(nullptr)},
          {"ok", status == kExitSuccess},
          {"error", error_.empty() ? json(nullptr) : json(error_)},
          {"failures", failures_},
          {"refusedSteps", refusals_},
          {"steps", steps_},
          {"alerts", alerts_},
          {"summary", lastSummary_},
          {"dumps", dumps_},
          {"settings", std::move(settingsDocument)},
      };
      out_ << document.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    } else if (status != kExitScript) {
      const auto& entries = settings.entries();
      out_ << "\nPrint settings after the session: " << entries.size()
           << (entries.size() == 1 ? " entry" : " entries");
      if (settings.jobName()) out_ << " (job name " << quote(*settings.jobName()) << ")";
      out_ << "\n";
      for (const auto& [key, value] : entries) {
        out_ << "  " << escapeText(key) << " = " << escapeText(value) << "\n";
      }
      out_ << "\n"
           << steps_.size() << " of " << script_.steps.size() << " steps run, " << expectations_
           << (expectations_ == 1 ? " expectation, " : " expectations, ") << failures_.size()
           << " failed, " << refusals_ << (refusals_ == 1 ? " event" : " events") << " refused\n";
    }
    for (const auto& failure : failures_) {
      err_ << "jobwick: session: " << escapeText(failure) << "\n";
    }
    if (!error_.empty()) err_ << "jobwick: session: " << escapeText(error_) << "\n";
    dialog_.reset();
    if (verdict_) {
      verdict_->status = status;
      verdict_->settings = std::move(settings);
    }
    return status;
  }

  SessionScript script_;
  SessionInput& input_;
  const ParsedArgs& args_;
  std::ostream& out_;
  std::ostream& err_;
  ErrorSink errors_;
  bool jsonOutput_;

  DialogSetup setup_;
  std::unique_ptr<TemporaryFolder> temporaryPrefs_;
  std::unique_ptr<PrintDialog> dialog_;
  PanelWindow window_;  // declared after the dialog: released first

  std::size_t currentStep_ = 0;
  json stepAlerts_ = json::array();
  json alerts_ = json::array();
  json steps_ = json::array();
  json dumps_ = json::array();
  json lastSummary_ = nullptr;
  std::vector<std::string> failures_;
  std::size_t expectations_ = 0;
  std::size_t refusals_ = 0;
  std::string error_;
  PanelVerdict* verdict_ = nullptr;
};

}  // namespace

int runSession(const Invocation& invocation) {
  SessionInput direct;
  return runSessionWith(invocation, direct);
}

int runSessionWith(const Invocation& invocation, SessionInput& input) {
  std::map<std::string, std::string> variables;
  for (const auto& entry : invocation.args.values("--var")) {
    const auto equals = entry.find('=');
    if (equals == std::string::npos || equals == 0) {
      return invocation.fail(ExitStatus::usage,
                             "option --var needs NAME=VALUE, got \"" + entry + "\"");
    }
    variables[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  const fs::path path = invocation.args.positionals.front();
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    return invocation.fail(ExitStatus::badInput, path.string() + ": no such session script");
  }
  std::string error;
  auto script = readSessionScript(path, variables, &error);
  if (!script) return invocation.fail(ExitStatus::badInput, error);
  return SessionRunner(std::move(*script), invocation, input).run();
}

PanelVerdict runPanelForPrint(const std::string& scriptPath, const ParsedArgs& args,
                              std::ostream& err) {
  PanelVerdict verdict;
  SessionScript script;
  if (scriptPath.empty()) {
    // No script: the dialog opens with its print settings, the panel
    // restores them, and the user presses Print.
    script.path = args.value("--settings").value_or("(print settings)");
    script.folder = fs::current_path();
    script.steps.push_back({1, "restore", "", {{"do", "restore"}}});
  } else {
    std::map<std::string, std::string> variables;
    for (const auto& entry : args.values("--var")) {
      const auto equals = entry.find('=');
      if (equals == std::string::npos || equals == 0) {
        err << "jobwick: print: option --var needs NAME=VALUE, got \"" << entry << "\"\n";
        verdict.status = kExitUsage;
        return verdict;
      }
      variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    std::string error;
    auto read = readSessionScript(scriptPath, variables, &error);
    if (!read) {
      err << "jobwick: print: " << error << "\n";
      verdict.status = kExitUsage;
      return verdict;
    }
    script = std::move(*read);
  }
  std::ostringstream discarded;
  SessionInput direct;
  SessionRunner runner(std::move(script), Invocation{args, discarded, err}, direct);
  runner.pressPrintAtEnd(&verdict);
  runner.run();
  return verdict;
}

}  // namespace jobwick::host
