// SPDX-License-Identifier: Apache-2.0
// Dialog sessions: a script's steps taken in a panel, and what it did.
#include "host/engine/session.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/common/alert_text.h"
#include "host/common/escape.h"
#include "host/common/json_text.h"
#include "host/common/settings_io.h"
#include "host/common/temporary.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/user_defaults.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

constexpr std::string_view kSessionTicketPrefix = "jp.co.quivo.print.PrintSettings.";
constexpr ExitStatus kExitScript = ExitStatus::badInput;  // a script that cannot run as written

/// A mistake in the script found while running it (unknown control, wrong
/// kind of control): the session stops.
struct ScriptError {
  std::string message;
  ExitStatus exitCode = kExitScript;
};

std::string quote(const std::string& text) {
  return quoteText(text);
}

/// One line of a dump in words: kind, value, and what stands out.
std::string describeControl(const json& entry) {
  std::string kind = entry.value("kind", "");
  if (entry.contains("type")) kind = entry["type"].get<std::string>();
  std::string value;
  if (entry.contains("text")) {
    value = quote(entry["text"].get<std::string>());
  } else if (entry.contains("cells") || entry.contains("items") || entry.contains("tabs")) {
    value =
        "selected " + jsonText(entry.value("selectedRow", entry.value("selectedIndex", json(-1))));
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
  SessionRunner(SessionScript script, const SessionOptions& options, const SessionReport& report,
                SessionInput& input)
      : script_(std::move(script)),
        input_(input),
        options_(options),
        out_(report.out),
        err_(report.err),
        errors_{report.out, report.err, report.json, report.command},
        jsonOutput_(report.json) {}

  /// Makes the session end as a print does: Print pressed after the steps.
  void pressPrintAtEnd(PrintVerdict* verdict) { verdict_ = verdict; }

  ExitStatus run() {
    if (ExitStatus status = prepare(); status != ExitStatus::success) return status;
    if (!jsonOutput_) {
      out_ << escapeText(
                  "Session " + script_.path.string() + ": bundle " + setup_.bundle + ", printer " +
                  printerIdentifierFor(setup_) +
                  (setup_.ppd ? " (PPD " + setup_.ppd->string() + ")" : std::string(" (no PPD)")))
           << "\n";
      if (!script_.description.empty()) out_ << "  " << oneLine(script_.description) << "\n";
    }
    ExitStatus status = ExitStatus::success;
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

  ExitStatus fail(ExitStatus status, std::string_view message) {
    reportError(errors_, status, message);
    return status;
  }

  ExitStatus prepare() {
    if (options_.bundle) {
      setup_.bundle = *options_.bundle;
    } else if (script_.bundle) {
      setup_.bundle = *script_.bundle;
    } else {
      return fail(ExitStatus::badInput,
                  script_.path.string() +
                      ": the script names no bundle (add \"bundle\": \"vk7300\" or give --bundle)");
    }
    setup_.ppd = options_.ppd ? options_.ppd : script_.ppd;
    if (options_.ppd) setup_.ppdText = options_.ppdText;
    setup_.printerId = options_.printerId ? options_.printerId : script_.printerId;
    setup_.deviceURI = options_.deviceURI ? options_.deviceURI : script_.deviceURI;
    setup_.constraintHandling =
        !options_.noConstraintHandling && script_.constraintHandling.value_or(true);
    setup_.initialSettings = script_.settings;
    if (!options_.savedSettings.empty()) {
      platform::PrintSettings settings = script_.settings.value_or(platform::PrintSettings());
      for (const auto& [key, value] : options_.savedSettings)
        if (!settings.contains(key)) settings.setValue(key, value);
      setup_.initialSettings = std::move(settings);
    }
    setup_.settingsFile = options_.settingsFile ? options_.settingsFile : script_.settingsFile;
    setup_.settingOverrides = options_.settingOverrides;
    setup_.language = options_.language ? options_.language : script_.language;
    // A session starts from a user with no remembered entries unless a
    // preferences folder is named, so that it runs the same every time.
    if (options_.prefsDir) {
      setup_.prefsDir = options_.prefsDir;
    } else if (script_.prefsDir) {
      setup_.prefsDir = script_.prefsDir;
    } else {
      std::string error;
      temporaryPrefs_ = TemporaryFolder::make("jobwick-session", &error);
      if (!temporaryPrefs_) return fail(ExitStatus::failure, error);
      setup_.prefsDir = temporaryPrefs_->path();
    }
    setup_.alertListener = [this](const platform::Alert& alert) { recordAlert(alert); };
    if (std::string error; !loadSettingsFile(&setup_, &error)) {
      return fail(ExitStatus::badInput, error);
    }

    if (script_.clock) {
      platform::setCurrentTimeOverride(*script_.clock);
      platform::setTimeZoneOffsetOverride(*script_.timeZoneOffset);
    }
    if (script_.userLogin || script_.userFullName) {
      platform::setUserNamesOverride(script_.userLogin, script_.userFullName);
    }
    std::string error;
    ExitStatus status = ExitStatus::failure;
    if (!openDialog(&error, &status)) return fail(status, error);
    return ExitStatus::success;
  }

  bool openDialog(std::string* error, ExitStatus* status = nullptr) {
    dialog_ = PrintDialog::open(setup_, error, status);
    if (!dialog_) return false;
    input_.dialogOpened(*dialog_);
    return true;
  }

  platform::PDEPanel& panel() { return dialog_->panel(); }

  /// The panel's view in the window, loaded as a dialog that shows the
  /// panel loads it.
  void ensureView(const SessionStep& step) {
    if (window_.attached()) return;
    if (!window_.attach(panel())) {
      throw ScriptError{step.label() +
                            ": the panel has no view (its interface file could not be "
                            "loaded)",
                        ExitStatus::failure};
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
    json entry = alertJson(alert);
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

  /// Whether the control a step names holds a secret (the interface
  /// file's word). The view is loaded for it, as the step itself would.
  bool namesSecret(const json& spec) {
    if (!spec.contains("control") || !spec["control"].is_string()) return false;
    if (!window_.attached() && dialog_ && window_.attach(panel())) input_.attached(window_);
    return isSecret(window_, spec["control"].get<std::string>());
  }

  std::string headline(const SessionStep& step) {
    std::string line = "step " + std::to_string(step.number) + ": " + step.kind;
    if (!step.name.empty()) line += " \"" + step.name + "\"";
    const json& spec = step.spec;
    if (step.kind == "expect") {
      std::string what;
      if (spec.contains("control")) what = " " + spec["control"].get<std::string>() + ":";
      const bool secret = namesSecret(spec);
      for (const auto& [member, value] : spec.items()) {
        if (member == "do" || member == "name" || member == "control") continue;
        const std::string shown = secret && member == "text" && value.is_string()
                                      ? quote(maskedText(value.get<std::string>()))
                                      : jsonText(value);
        what += (what.empty() || what.back() == ':' ? " " : ", ") + member + " " + shown;
      }
      return line + what;
    }
    if (spec.contains("text")) {
      const std::string text = spec["text"].get<std::string>();
      const bool secret = namesSecret(spec);
      line += " " + quote(secret ? maskedText(text) : text) + " into";
    }
    if (spec.contains("control")) line += " " + spec["control"].get<std::string>();
    if (spec.contains("index")) line += " index " + jsonText(spec["index"]);
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
    result["text"] = isSecret(ref) ? maskedText(text) : text;
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
    maskSecrets(window_, dumped);
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
        if (nlohmann::json::parse(jsonText(state[member])) != nlohmann::json(expected)) {
          if (member == "text" && isSecret(window_, identifier)) {
            fail(step, result, identifier + ".text is not the expected text (a secret: not shown)");
          } else {
            fail(step, result,
                 identifier + "." + member + " is " + jsonText(state[member]) + ", expected " +
                     jsonText(expected));
          }
        }
      }
    }
    if (spec.contains("settings")) {
      const platform::PrintSettings& settings = dialog_->host().settings();
      for (const auto& [name, expected] : spec["settings"].items()) {
        ++expectations_;
        const std::string key =
            name.find('.') == std::string::npos ? std::string(kSessionTicketPrefix) + name : name;
        const auto value = settings.value(key);
        const std::string shown = value ? quote(*value) : "absent";
        if (expected.is_string()) {
          if (!value || *value != expected.get<std::string>()) {
            fail(step, result, name + " is " + shown + ", expected " + jsonText(expected));
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
        const std::string shown = present ? jsonText(summary[label]) : "absent";
        if (expected.is_null() ? present
                               : (!present || summary[label] != expected.get<std::string>())) {
          fail(step, result,
               "summary \"" + label + "\" is " + shown + ", expected " +
                   (expected.is_null() ? std::string("no such entry") : jsonText(expected)));
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
    if (!openDialog(&error)) throw ScriptError{step.label() + ": " + error, ExitStatus::failure};
  }

  // ---- Result ----

  ExitStatus finish(ExitStatus status) {
    const bool pressed = verdict_ && dialog_ && status == ExitStatus::success && failures_.empty();
    if (pressed) *verdict_ = dialog_->pressPrint();
    if (window_.attached()) {
      std::string error;
      if (status != kExitScript && !input_.finished(window_, &error)) {
        err_ << "jobwick: " << error << "\n";
        if (status == ExitStatus::success) status = ExitStatus::failure;
      }
      input_.detaching();
    }
    window_.detach();
    platform::PrintSettings settings;
    if (dialog_) settings = dialog_->host().settings();
    json settingsDocument = jobwick::host::settingsDocument(settings);

    if (const auto& path = options_.saveSettings; path && status != kExitScript) {
      std::string error;
      if (!writeSettingsFile(*path, settings, &error)) {
        // Reported with the session's own error, in its JSON report too.
        error_ = error_.empty() ? error : error_ + "; " + error;
        if (status == ExitStatus::success) status = ExitStatus::failure;
      }
    }
    if (status == ExitStatus::success && !failures_.empty()) status = ExitStatus::failure;

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
          {"ok", status == ExitStatus::success},
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
      err_ << "jobwick: " << errors_.command << ": " << escapeText(failure) << "\n";
    }
    if (!error_.empty())
      err_ << "jobwick: " << errors_.command << ": " << escapeText(error_) << "\n";
    dialog_.reset();
    return status;
  }

  SessionScript script_;
  SessionInput& input_;
  const SessionOptions& options_;
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
  PrintVerdict* verdict_ = nullptr;
};

}  // namespace

ExitStatus runSession(SessionScript script, const SessionOptions& options,
                      const SessionReport& report, SessionInput& input, PrintVerdict* pressPrint) {
  SessionRunner runner(std::move(script), options, report, input);
  if (pressPrint) runner.pressPrintAtEnd(pressPrint);
  return runner.run();
}

SessionOptions sessionOptionsForQueue(const QueueTarget& target, SessionOptions jobAndUser) {
  jobAndUser.bundle = target.bundle.string();
  jobAndUser.ppd = target.ppd->path();
  jobAndUser.ppdText = target.ppdText;
  jobAndUser.printerId = target.queue.name;
  jobAndUser.deviceURI =
      target.queue.deviceURI.empty() ? std::nullopt : std::optional(target.queue.deviceURI);
  // The remembered entries are the user's own, kept per queue.
  if (!jobAndUser.prefsDir) jobAndUser.prefsDir = platform::UserDefaults::preferencesFolder();
  return jobAndUser;
}

ExitStatus runPanelForQueue(const QueueTarget& target, std::optional<SessionScript> script,
                            SessionOptions jobAndUser, const SessionReport& errors,
                            PrintVerdict* verdict) {
  if (!script) {
    // No script: the dialog opens with its print settings, the panel
    // restores them, and the user presses Print.
    script.emplace();
    script->path = jobAndUser.settingsFile.value_or("(print settings)");
    script->folder = fs::current_path();
    script->steps.push_back({1, "restore", "", {{"do", "restore"}}});
  }
  std::ostringstream discarded;
  SessionInput direct;
  PrintVerdict pressed;
  const ExitStatus status =
      runSession(std::move(*script), sessionOptionsForQueue(target, std::move(jobAndUser)),
                 {discarded, errors.err, false, errors.command}, direct, &pressed);
  if (status == ExitStatus::success && verdict) *verdict = std::move(pressed);
  return status;
}

}  // namespace jobwick::host
