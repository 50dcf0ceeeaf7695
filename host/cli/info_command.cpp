// SPDX-License-Identifier: Apache-2.0
// jobwick info: the panels a bundle makes for a printer, and what they
// report about themselves.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/cli/commands.h"
#include "host/cli/dialog_options.h"
#include "host/common/alert_text.h"
#include "host/common/escape.h"
#include "host/common/temporary.h"
#include "host/engine/print_dialog.h"
#include "host/inspect/prefs_record.h"
#include "host/inspect/ticket_inspect.h"
#include "platform/bundle.h"
#include "platform/encoding.h"

namespace jobwick::host {
namespace {

using json = nlohmann::ordered_json;
using Rows = std::vector<std::pair<std::string, std::string>>;

/// Panel properties shown first, in this order; the rest follow by name.
const std::vector<std::string>& leadingProperties() {
  static const std::vector<std::string> names = {
      "model",
      "controllerClass",
      "interfaceMode",
      "modelName",
      "document_filing_model",
      "quivo_print_system",
      "active_directory",
      "mfpURL",
      "preferenceName",
  };
  return names;
}

Rows orderedProperties(const std::map<std::string, std::string>& properties) {
  Rows rows;
  for (const auto& name : leadingProperties()) {
    if (auto it = properties.find(name); it != properties.end()) rows.emplace_back(*it);
  }
  for (const auto& entry : properties) {
    const auto& leading = leadingProperties();
    if (std::find(leading.begin(), leading.end(), entry.first) == leading.end()) {
      rows.emplace_back(entry);
    }
  }
  return rows;
}

void writeSection(std::ostream& out, const std::string& heading, const Rows& rows) {
  out << heading << "\n";
  std::size_t width = 0;
  for (const auto& row : rows) width = std::max(width, row.first.size());
  for (const auto& [label, value] : rows) {
    out << "  " << label << std::string(width - label.size() + 2, ' ') << escapeText(value) << "\n";
  }
}

std::string joinList(const std::vector<std::string>& items, const char* empty) {
  if (items.empty()) return empty;
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

json optionalText(const std::optional<std::string>& value) {
  return value ? json(*value) : json(nullptr);
}

struct PanelReport {
  std::string name;
  std::string kind;
  std::vector<std::string> optionKeys;
  std::map<std::string, std::string> properties;
};

/// A scratch preferences folder for a command that only shows things: it
/// holds a copy of the printer's preference file, so that the panel reads
/// what it remembers, while whatever it writes (a record made afresh, or one
/// reset for another model) goes to the copy and is thrown away.
class ReadOnlyPreferences {
 public:
  /// Points `setup` at the scratch folder, with a copy of the printer's file
  /// from the folder it would have used. Answers false when no scratch
  /// folder can be made or the file cannot be copied; `error` then says why.
  bool take(DialogSetup* setup, const ParsedArgs& args, std::string* error) {
    scratch_ = TemporaryFolder::make("jobwick-info-prefs", error);
    if (!scratch_) return false;
    const std::filesystem::path& path_ = scratch_->path();
    const auto real = setup->prefsDir ? setup->prefsDir : preferencesFolderFor(args);
    realFolder_ = real;
    if (real) {
      const auto file = domainFile(*real, printerIdentifierFor(*setup));
      std::error_code ec;
      if (std::filesystem::is_regular_file(file, ec)) {
        std::filesystem::copy_file(file, path_ / file.filename(), ec);
        if (ec) {
          *error = "cannot read " + file.string() + ": " + ec.message();
          return false;
        }
      }
    }
    setup->prefsDir = path_;
    return true;
  }
  /// The folder the preferences were read from.
  const std::optional<std::filesystem::path>& realFolder() const { return realFolder_; }

 private:
  std::unique_ptr<TemporaryFolder> scratch_;
  std::optional<std::filesystem::path> realFolder_;
};

/// Letters and digits of `text`, lower case: "Quivo VK-410E" -> "quivovk410e".
std::string modelLetters(std::string_view text) {
  std::string letters;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      letters += char(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return letters;
}

/// The warning for a panel of one model opened for a printer whose PPD
/// names another; nullopt when they agree or the PPD names no model.
std::optional<std::string> modelMismatch(const std::vector<PanelReport>& reports,
                                         const DialogSetup& setup) {
  for (const auto& report : reports) {
    auto model = report.properties.find("model");
    auto name = report.properties.find("modelName");
    if (model == report.properties.end() || name == report.properties.end()) continue;
    if (name->second.empty() || model->second.empty()) continue;
    if (modelLetters(name->second).find(modelLetters(model->second)) != std::string::npos) continue;
    return "the " + model->second + " bundle is not for this printer: " +
           (setup.ppd ? setup.ppd->string() : std::string("its PPD")) + " names \"" +
           escapeText(name->second) + "\"";
  }
  return std::nullopt;
}

/// What info shows, gathered from the open dialog.
struct InfoView {
  PrintDialog& dialog;
  const DialogSetup& setup;
  std::vector<PanelReport> reports;
  std::string printerId;
  std::vector<std::string> languages;
  std::string prefsDir;  ///< the folder the preferences were read from
  std::string systemEncoding;
};

void printInfoJson(const InfoView& view, std::ostream& out) {
  const auto& loaded = view.dialog.bundle();
  const auto& bundle = *loaded.bundle();
  auto& host = view.dialog.host();
  json panels = json::array();
  for (const auto& report : view.reports) {
    panels.push_back({{"name", report.name},
                      {"kind", report.kind},
                      {"supportedPPDOptionKeys", report.optionKeys},
                      {"properties", report.properties}});
  }
  json alerts = json::array();
  for (const auto& alert : view.dialog.alerts()) {
    alerts.push_back(alertJson(alert));
  }
  json document = {
      {"bundle",
       {{"path", bundle.bundlePath().string()},
        {"name", optionalText(bundle.infoValue("CFBundleName"))},
        {"identifier", optionalText(bundle.infoValue("CFBundleIdentifier"))},
        {"version", optionalText(bundle.infoValue("CFBundleShortVersionString"))},
        {"principalClass", loaded.principalClass()},
        {"executable", loaded.executable().string()}}},
      {"printer",
       {{"identifier", view.printerId},
        {"deviceURI", optionalText(view.setup.deviceURI)},
        {"ppd", view.setup.ppd ? json(view.setup.ppd->string()) : json(nullptr)}}},
      {"host",
       {{"constraintHandling", host.offersConstraintHandling()},
        {"ppdFileRequests", host.ppdFileRequests()},
        {"languages", view.languages},
        {"systemEncoding", view.systemEncoding},
        {"prefsDir", view.prefsDir.empty() ? json(nullptr) : json(view.prefsDir)},
        {"printSettingsCount", host.settings().entries().size()}}},
      {"panelType", platform::kPrintDialogPanelType},
      {"panels", std::move(panels)},
      {"alerts", std::move(alerts)},
  };
  // Texts from the plug-in or the PPD may hold bytes that are not UTF-8;
  // they are replaced rather than aborting the report.
  out << document.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
}

void printInfoText(const InfoView& view, std::ostream& out) {
  const auto& loaded = view.dialog.bundle();
  const auto& bundle = *loaded.bundle();
  auto& host = view.dialog.host();
  writeSection(out, "Bundle " + bundle.bundlePath().filename().string(),
               {{"path", bundle.bundlePath().string()},
                {"identifier", bundle.infoValue("CFBundleIdentifier").value_or("(none)")},
                {"version", bundle.infoValue("CFBundleShortVersionString").value_or("(none)")},
                {"principal class", loaded.principalClass()},
                {"shared object", loaded.executable().filename().string()}});
  out << "\n";
  writeSection(out, "Printer " + escapeText(view.printerId),
               {{"device URI", view.setup.deviceURI.value_or("(none)")},
                {"PPD", view.setup.ppd ? view.setup.ppd->string() : "(none)"}});
  out << "\n";
  writeSection(
      out, "Host",
      {{"constraint handling", host.offersConstraintHandling() ? "offered" : "not offered"},
       {"languages", joinList(view.languages, "(none)")},
       {"system encoding", view.systemEncoding},
       {"preferences folder", view.prefsDir.empty() ? "(none)" : view.prefsDir},
       {"print settings", std::to_string(host.settings().entries().size()) + " entries"}});

  const auto& reports = view.reports;
  out << "\n"
      << reports.size() << (reports.size() == 1 ? " panel" : " panels") << " of type "
      << platform::kPrintDialogPanelType << "\n";
  for (std::size_t i = 0; i < reports.size(); ++i) {
    const auto& report = reports[i];
    Rows rows = {{"kind", report.kind}, {"PPD option keys", joinList(report.optionKeys, "(none)")}};
    Rows properties = orderedProperties(report.properties);
    rows.insert(rows.end(), properties.begin(), properties.end());
    out << "\n";
    writeSection(out, "Panel " + std::to_string(i + 1) + ": " + escapeText(report.name), rows);
  }
  if (!view.dialog.alerts().empty()) {
    out << "\nAlerts\n";
    for (const auto& alert : view.dialog.alerts()) {
      out << "  " << alertText(alert) << "\n";
    }
  }
}

}  // namespace

int runInfo(const Invocation& invocation) {
  std::string error;
  auto setup =
      std::optional(dialogSetupFromArgs(invocation.args, invocation.args.positionals.front()));
  if (!loadSettingsFile(&*setup, &error)) return invocation.fail(ExitStatus::badInput, error);
  // info only shows: the panel reads the printer's preferences from a copy.
  ReadOnlyPreferences preferences;
  if (!preferences.take(&*setup, invocation.args, &error)) {
    return invocation.fail(ExitStatus::failure, error);
  }
  ExitStatus status = ExitStatus::failure;
  auto dialog = PrintDialog::open(*setup, &error, &status);
  if (!dialog) return invocation.fail(status, error);

  // The questions a print dialog asks a panel before it shows it.
  InfoView view{*dialog,
                *setup,
                {},
                printerIdentifierFor(*setup),
                platform::preferredLanguages(),
                preferences.realFolder() ? preferences.realFolder()->string() : "",
                encodingName(platform::CFStringGetSystemEncoding())};
  for (const auto& panel : dialog->panels()) {
    if (!panel) continue;
    view.reports.push_back({panel->panelName(), panel->panelKind(), panel->supportedPPDOptionKeys(),
                            panel->diagnosticProperties()});
  }
  if (invocation.args.has("--json")) {
    printInfoJson(view, invocation.out);
  } else {
    printInfoText(view, invocation.out);
  }
  if (auto mismatch = modelMismatch(view.reports, *setup)) {
    invocation.err << "jobwick: info: warning: " << *mismatch << "\n";
    return kExitProblems;
  }
  return kExitSuccess;
}

}  // namespace jobwick::host
