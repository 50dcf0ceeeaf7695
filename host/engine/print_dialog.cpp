// SPDX-License-Identifier: Apache-2.0
// The headless print dialog.
#include "host/engine/print_dialog.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "host/common/alert_text.h"
#include "host/common/settings_io.h"
#include "host/cups/saved_options.h"
#include "platform/bundle.h"
#include "platform/encoding.h"
#include "platform/ppd.h"
#include "platform/user_defaults.h"

namespace jobwick::host {

namespace fs = std::filesystem;

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

void PrintDialog::applySurroundings() {
  // The user's surroundings, before any plug-in code runs.
  if (setup_.language) {
    platform::setPreferredLanguagesOverride({*setup_.language});
    platform::setSystemEncodingOverride(platform::systemEncodingForLanguage(*setup_.language));
  }
  if (setup_.prefsDir) {
    platform::UserDefaults::setPreferencesFolderOverride(*setup_.prefsDir);
    platform::UserDefaults::resetStandardUserDefaults();
  }
  prefsDir_ = platform::UserDefaults::preferencesFolder();

  // Alerts are shown on stderr (nobody is there to dismiss them) and kept.
  alerts_ = std::make_shared<std::vector<platform::Alert>>();
  platform::setAlertPresenter(
      [alerts = alerts_, listener = setup_.alertListener](const platform::Alert& alert) {
        if (listener) {
          listener(alert);
        } else {
          std::cerr << "jobwick: alert: " << alertText(alert) << "\n";
        }
        alerts->push_back(alert);
      });
}

std::unique_ptr<PrintDialog> PrintDialog::open(const DialogSetup& setup, std::string* error,
                                               ExitStatus* status) {
  if (status) *status = ExitStatus::failure;
  auto fail = [&](std::string message) -> std::unique_ptr<PrintDialog> {
    if (error) *error = std::move(message);
    return nullptr;
  };
  auto badInput = [&](std::string message) -> std::unique_ptr<PrintDialog> {
    if (status) *status = ExitStatus::badInput;
    return fail(std::move(message));
  };
  std::unique_ptr<PrintDialog> dialog(new PrintDialog());
  dialog->setup_ = setup;

  dialog->applySurroundings();

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
    ppd = setup.ppdText
              ? platform::openPPDText(setup.ppdText->bytes(), setup.ppd->string(), &detail)
              : platform::openPPD(setup.ppd->string(), &detail);
    if (!ppd) {
      // The platform's message may already start with the file's name.
      const std::string name = setup.ppd->string();
      if (detail.rfind(name + ": ", 0) == 0) detail.erase(0, name.size() + 2);
      return badInput("cannot read PPD " + name + (detail.empty() ? "" : ": " + detail));
    }
  }

  platform::PrintSettings settings = setup.initialSettings.value_or(platform::PrintSettings());
  if (setup.settingsFile && !readSettingsFile(*setup.settingsFile, &settings, &detail)) {
    return badInput(detail);
  }
  for (const auto& [key, value] : setup.settingOverrides) settings.setValue(key, value);

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
  if (panels->empty() || !panels->front()) {
    return fail("bundle " + setup.bundle + " made no panel");
  }
  dialog->panels_ = std::move(*panels);
  return dialog;
}

DialogSetup setupForQueue(const QueueTarget& target, DialogSetup base) {
  base.bundle = target.bundle.string();
  base.ppd = target.ppd->path();
  base.ppdText = target.ppdText;
  base.printerId = target.queue.name;
  base.deviceURI =
      target.queue.deviceURI.empty() ? std::nullopt : std::optional(target.queue.deviceURI);
  return base;
}

std::unique_ptr<PrintDialog> PrintDialog::openQueue(const std::string& queue,
                                                    const DialogSetup& base,
                                                    const fs::path& bundleDir, std::string* error) {
  auto target = resolveQueue(queue, bundleDir, error);
  if (!target) return nullptr;
  auto held = std::make_unique<QueueTarget>(std::move(*target));
  // The job-ticket entries saved for the queue (its defaults, lpoptions)
  // are print settings the panel restores, under the dialog's own.
  DialogSetup setup = setupForQueue(*held, base);
  const SavedOptions saved = savedOptionsFor(held->queue.name);
  if (!saved.ticket.empty()) {
    platform::PrintSettings settings = setup.initialSettings.value_or(platform::PrintSettings());
    for (const auto& [key, value] : saved.ticket)
      if (!settings.contains(key)) settings.setValue(key, value);
    setup.initialSettings = std::move(settings);
  }
  auto dialog = open(setup, error);
  if (dialog) dialog->queue_ = std::move(held);
  return dialog;
}

void PrintDialog::restore() {
  panel().restoreValuesAndReturnError(nullptr);
}

PrintVerdict PrintDialog::pressPrint() {
  PrintVerdict verdict;
  panel().saveValuesAndReturnError(nullptr);
  const std::size_t before = alerts_->size();
  verdict.shouldPrint = panel().shouldPrint();
  verdict.alerts.assign(alerts_->begin() + std::ptrdiff_t(before), alerts_->end());
  verdict.settings = host_->settings();
  return verdict;
}

DialogSetup PrintDialog::handOver() {
  panel().saveValuesAndReturnError(nullptr);
  DialogSetup next = setup_;
  next.initialSettings = host_->settings();
  next.settingsFile.reset();
  next.settingOverrides.clear();
  return next;
}

}  // namespace jobwick::host
