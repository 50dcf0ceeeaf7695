// The headless print dialog.
#include "host/print_dialog.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "host/settings_io.h"
#include "platform/bundle.h"
#include "platform/encoding.h"
#include "platform/ppd.h"
#include "platform/user_defaults.h"

namespace jobwick::host {

namespace fs = std::filesystem;

const std::vector<OptionSpec>& dialogOptions() {
  static const std::vector<OptionSpec> options = {
      {"--ppd", "FILE", "the printer's PPD file (default: none)"},
      {"--printer-id", "ID",
       "the printer's identifier (its queue name); default: the PPD file's name without "
       "extension, or \"jobwick\""},
      {"--device-uri", "URI",
       "the printer's device URI, such as ipp://10.0.0.5/ipp/print (default: none)"},
      {"--no-constraint-handling", "",
       "act as a dialog without PPD constraint handling: the plug-in gets no PPD"},
      {"--settings", "FILE",
       "the job's print settings: JSON {\"jobName\": ..., \"settings\": {KEY: VALUE}} or "
       "key=value lines"},
      {"--set", "KEY=VALUE", "one print setting, applied after --settings (repeatable)", true},
      {"--language", "LANG",
       "the user's language (en, ja, ...): localised texts and the system text encoding"},
      {"--prefs-dir", "DIR",
       "the user's preferences folder; default: $JOBWICK_PREFS_DIR, else "
       "$XDG_CONFIG_HOME/jobwick/preferences or ~/.config/jobwick/preferences"},
  };
  return options;
}

std::optional<DialogSetup> dialogSetupFromArgs(const ParsedArgs& args, const std::string& bundle,
                                               std::string* error) {
  auto fail = [&](std::string message) -> std::optional<DialogSetup> {
    if (error) *error = std::move(message);
    return std::nullopt;
  };
  DialogSetup setup;
  setup.bundle = bundle;
  if (auto v = args.value("--ppd")) setup.ppd = fs::path(*v);
  setup.printerId = args.value("--printer-id");
  setup.deviceURI = args.value("--device-uri");
  if (auto v = args.value("--settings")) setup.settingsFile = fs::path(*v);
  for (const auto& entry : args.values("--set")) {
    if (entry.find('=') == std::string::npos || entry.front() == '=') {
      return fail("option --set needs KEY=VALUE, got \"" + entry + "\"");
    }
    setup.settingOverrides.push_back(entry);
  }
  setup.language = args.value("--language");
  if (setup.language && setup.language->empty()) return fail("option --language needs a language");
  if (auto v = args.value("--prefs-dir")) {
    if (v->empty()) return fail("option --prefs-dir needs a folder");
    setup.prefsDir = fs::path(*v);
  } else if (const char* env = std::getenv("JOBWICK_PREFS_DIR"); env && *env) {
    setup.prefsDir = fs::path(env);
  }
  setup.constraintHandling = !args.has("--no-constraint-handling");
  return setup;
}

bool bundleHasLanguage(const fs::path& bundle, const std::string& language, std::string* error) {
  const fs::path resources = bundle / "Resources";
  const std::string primary = language.substr(0, language.find_first_of("-_"));
  std::error_code ec;
  for (const auto& name : {language, primary}) {
    if (!name.empty() && fs::is_directory(resources / (name + ".lproj"), ec)) return true;
  }
  std::vector<std::string> known;
  for (const auto& entry : fs::directory_iterator(resources, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 6 && name.ends_with(".lproj"))
      known.push_back(name.substr(0, name.size() - 6));
  }
  std::sort(known.begin(), known.end());
  std::string list;
  for (const auto& name : known) list += (list.empty() ? "" : ", ") + name;
  if (error) {
    *error = "option --language: the bundle has no language \"" + language + "\"" +
             (list.empty() ? std::string() : " (it has " + list + ")");
  }
  return false;
}

bool loadSettingsFile(DialogSetup* setup, std::string* error) {
  if (!setup->settingsFile) return true;
  platform::PrintSettings settings = setup->initialSettings.value_or(platform::PrintSettings());
  if (!readSettingsFile(*setup->settingsFile, &settings, error)) return false;
  setup->initialSettings = std::move(settings);
  setup->settingsFile.reset();
  return true;
}

std::string printerIdentifierFor(const DialogSetup& setup) {
  if (setup.printerId) return *setup.printerId;
  if (setup.ppd && !setup.ppd->stem().empty()) return setup.ppd->stem().string();
  return "jobwick";
}

PrintDialog::~PrintDialog() {
  // Panels first (their code and the host's PPD must still be there), then
  // the host object, then the plug-in instance and its shared object.
  panels_.clear();
  host_.reset();
  loaded_.reset();
  platform::setAlertPresenter({});
}

std::unique_ptr<PrintDialog> PrintDialog::open(const DialogSetup& setup, std::string* error) {
  auto fail = [&](std::string message) -> std::unique_ptr<PrintDialog> {
    if (error) *error = std::move(message);
    return nullptr;
  };
  std::unique_ptr<PrintDialog> dialog(new PrintDialog());
  dialog->setup_ = setup;

  // The user's surroundings, before any plug-in code runs.
  if (setup.language) {
    platform::setPreferredLanguagesOverride({*setup.language});
    platform::setSystemEncodingOverride(platform::systemEncodingForLanguage(*setup.language));
  }
  if (setup.prefsDir) {
    platform::UserDefaults::setPreferencesFolderOverride(*setup.prefsDir);
    platform::UserDefaults::resetStandardUserDefaults();
  }
  dialog->prefsDir_ = platform::UserDefaults::preferencesFolder();

  // Alerts are shown on stderr (nobody is there to dismiss them) and kept.
  dialog->alerts_ = std::make_shared<std::vector<platform::Alert>>();
  platform::setAlertPresenter(
      [alerts = dialog->alerts_, listener = setup.alertListener](const platform::Alert& alert) {
        if (listener) {
          listener(alert);
        } else {
          std::cerr << "jobwick: alert: " << (alert.title.empty() ? "" : alert.title + ": ")
                    << alert.message << " [" << alert.defaultButton << "]\n";
        }
        alerts->push_back(alert);
      });

  std::string detail;
  auto bundlePath = resolveBundlePath(setup.bundle, defaultBundleDir(), &detail);
  if (!bundlePath) return fail(detail);
  dialog->loaded_ = LoadedBundle::load(*bundlePath, &detail);
  if (!dialog->loaded_) return fail(detail);
  if (setup.language && !bundleHasLanguage(*bundlePath, *setup.language, &detail)) {
    // Still a language (it picks the system encoding), but say so: the
    // panel's texts show in English.
    std::cerr << "jobwick: warning: " << detail << "; the panel's texts show in English\n";
  }

  platform::PPDFile ppd;
  if (setup.ppd) {
    ppd = platform::openPPD(setup.ppd->string(), &detail);
    if (!ppd) {
      // The platform's message may already start with the file's name.
      const std::string name = setup.ppd->string();
      if (detail.rfind(name + ": ", 0) == 0) detail.erase(0, name.size() + 2);
      return fail("cannot read PPD " + name + (detail.empty() ? "" : ": " + detail));
    }
  }

  platform::PrintSettings settings = setup.initialSettings.value_or(platform::PrintSettings());
  if (setup.settingsFile && !readSettingsFile(*setup.settingsFile, &settings, &detail)) {
    return fail(detail);
  }
  for (const auto& entry : setup.settingOverrides) {
    auto equals = entry.find('=');
    settings.setValue(entry.substr(0, equals), entry.substr(equals + 1));
  }

  platform::PrintSession session(platform::Printer(printerIdentifierFor(setup), setup.deviceURI));
  dialog->host_ = std::make_shared<HostObject>(std::move(session), std::move(settings),
                                               std::move(ppd), setup.constraintHandling);

  const std::string bundleName = bundlePath->string();
  auto& plugIn = dialog->loaded_->plugIn();
  if (!plugIn.initWithBundle(dialog->loaded_->bundle().get())) {
    return fail("bundle " + bundleName + ": " + dialog->loaded_->principalClass() +
                " refused initWithBundle");
  }
  auto panels = plugIn.PDEPanelsForType(platform::kPrintDialogPanelType, dialog->host_);
  if (!panels) {
    return fail("bundle " + bundleName + ": " + dialog->loaded_->principalClass() +
                " could not make its panel (PDEPanelsForType answered nil)");
  }
  dialog->panels_ = std::move(*panels);
  return dialog;
}

}  // namespace jobwick::host
