// jobwick info: the panels a bundle makes for a printer, and what they
// report about themselves.
#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/commands.h"
#include "host/print_dialog.h"
#include "host/ticket_inspect.h"
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
    out << "  " << label << std::string(width - label.size() + 2, ' ') << value << "\n";
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

}  // namespace

int runInfo(const Invocation& invocation) {
  std::string error;
  auto setup = dialogSetupFromArgs(invocation.args, invocation.args.positionals.front(), &error);
  if (!setup) {
    return invocation.fail(ExitStatus::usage, error);
  }
  if (!loadSettingsFile(&*setup, &error)) return invocation.fail(ExitStatus::badInput, error);
  auto dialog = PrintDialog::open(*setup, &error);
  if (!dialog) return invocation.fail(ExitStatus::failure, error);

  // The questions a print dialog asks a panel before it shows it.
  std::vector<PanelReport> reports;
  for (const auto& panel : dialog->panels()) {
    if (!panel) continue;
    reports.push_back({panel->panelName(), panel->panelKind(), panel->supportedPPDOptionKeys(),
                       panel->diagnosticProperties()});
  }

  const auto& loaded = dialog->bundle();
  const auto& bundle = *loaded.bundle();
  auto& host = dialog->host();
  const std::string printerId = printerIdentifierFor(*setup);
  const auto languages = platform::preferredLanguages();
  const std::string systemEncoding = encodingName(platform::CFStringGetSystemEncoding());
  const std::string prefsDir = dialog->prefsDir() ? dialog->prefsDir()->string() : "";

  if (invocation.args.has("--json")) {
    json panels = json::array();
    for (const auto& report : reports) {
      panels.push_back({{"name", report.name},
                        {"kind", report.kind},
                        {"supportedPPDOptionKeys", report.optionKeys},
                        {"properties", report.properties}});
    }
    json alerts = json::array();
    for (const auto& alert : dialog->alerts()) {
      alerts.push_back({{"title", alert.title},
                        {"message", alert.message},
                        {"defaultButton", alert.defaultButton}});
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
         {{"identifier", printerId},
          {"deviceURI", optionalText(setup->deviceURI)},
          {"ppd", setup->ppd ? json(setup->ppd->string()) : json(nullptr)}}},
        {"host",
         {{"constraintHandling", host.offersConstraintHandling()},
          {"ppdFileRequests", host.ppdFileRequests()},
          {"languages", languages},
          {"systemEncoding", systemEncoding},
          {"prefsDir", dialog->prefsDir() ? json(prefsDir) : json(nullptr)},
          {"printSettingsCount", host.settings().entries().size()}}},
        {"panelType", platform::kPrintDialogPanelType},
        {"panels", std::move(panels)},
        {"alerts", std::move(alerts)},
    };
    // Texts from the plug-in or the PPD may hold bytes that are not UTF-8;
    // they are replaced rather than aborting the report.
    invocation.out << document.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return kExitSuccess;
  }

  auto& out = invocation.out;
  writeSection(out, "Bundle " + bundle.bundlePath().filename().string(),
               {{"path", bundle.bundlePath().string()},
                {"identifier", bundle.infoValue("CFBundleIdentifier").value_or("(none)")},
                {"version", bundle.infoValue("CFBundleShortVersionString").value_or("(none)")},
                {"principal class", loaded.principalClass()},
                {"shared object", loaded.executable().filename().string()}});
  out << "\n";
  writeSection(out, "Printer " + printerId,
               {{"device URI", setup->deviceURI.value_or("(none)")},
                {"PPD", setup->ppd ? setup->ppd->string() : "(none)"}});
  out << "\n";
  writeSection(
      out, "Host",
      {{"constraint handling", host.offersConstraintHandling() ? "offered" : "not offered"},
       {"languages", joinList(languages, "(none)")},
       {"system encoding", systemEncoding},
       {"preferences folder", prefsDir.empty() ? "(none)" : prefsDir},
       {"print settings", std::to_string(host.settings().entries().size()) + " entries"}});

  out << "\n"
      << reports.size() << (reports.size() == 1 ? " panel" : " panels") << " of type "
      << platform::kPrintDialogPanelType << "\n";
  for (std::size_t i = 0; i < reports.size(); ++i) {
    const auto& report = reports[i];
    Rows rows = {{"kind", report.kind}, {"PPD option keys", joinList(report.optionKeys, "(none)")}};
    Rows properties = orderedProperties(report.properties);
    rows.insert(rows.end(), properties.begin(), properties.end());
    out << "\n";
    writeSection(out, "Panel " + std::to_string(i + 1) + ": " + report.name, rows);
  }
  if (!dialog->alerts().empty()) {
    out << "\nAlerts\n";
    for (const auto& alert : dialog->alerts()) {
      out << "  " << (alert.title.empty() ? "" : alert.title + ": ") << alert.message << " ["
          << alert.defaultButton << "]\n";
    }
  }
  return kExitSuccess;
}

}  // namespace jobwick::host
