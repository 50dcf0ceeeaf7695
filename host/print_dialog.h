// The headless print dialog: the printer, print settings and user
// surroundings taken from the command line, the plug-in bundle loaded, and
// its panels asked for. Every subcommand that talks to a plug-in starts here.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/cli.h"
#include "host/host_object.h"
#include "host/plugin_loader.h"
#include "platform/alert.h"
#include "platform/pde.h"

namespace jobwick::host {

/// The options that describe the printer, the job and the user; shared by
/// the subcommands that open a dialog.
const std::vector<OptionSpec>& dialogOptions();

/// What a dialog is opened with.
struct DialogSetup {
  std::string bundle;  ///< path or bare model name
  std::optional<std::filesystem::path> ppd;
  std::optional<std::string> printerId;
  std::optional<std::string> deviceURI;
  /// Print settings to start from (a session's inline settings, or the
  /// settings a closed dialog left); --settings and --set apply on top.
  std::optional<platform::PrintSettings> initialSettings;
  std::optional<std::filesystem::path> settingsFile;
  std::vector<std::string> settingOverrides;  ///< "key=value", applied last
  std::optional<std::string> language;
  std::optional<std::filesystem::path> prefsDir;
  bool constraintHandling = true;
  /// Receives each alert the plug-in shows; without one alerts are written
  /// to stderr. Either way they are kept in alerts().
  std::function<void(const platform::Alert&)> alertListener;
};

/// The setup named by parsed dialog options and the bundle argument.
/// JOBWICK_PREFS_DIR stands in for --prefs-dir when the option is absent.
/// Answers nullopt for an option value of the wrong form (a --set without
/// "=", an empty --language); `error` then names the option.
std::optional<DialogSetup> dialogSetupFromArgs(const ParsedArgs& args, const std::string& bundle,
                                               std::string* error = nullptr);

/// Whether `bundle` has resources for `language` ("ja", or "ja-JP" by its
/// primary subtag). Answers false when it has not; `error` then names the
/// language and the ones the bundle has.
bool bundleHasLanguage(const std::filesystem::path& bundle, const std::string& language,
                       std::string* error);

/// Reads `setup->settingsFile` (when set) on top of `setup->initialSettings`
/// and clears it, so that a settings file that cannot be read is reported as
/// bad input before any dialog opens. Answers false, leaving `setup` as it
/// was, when the file cannot be read or parsed; `error` then names the file.
bool loadSettingsFile(DialogSetup* setup, std::string* error);

/// The printer identifier the dialog uses: --printer-id, else the PPD file's
/// name without extension, else "jobwick".
std::string printerIdentifierFor(const DialogSetup& setup);

/// One headless print dialog. Destroying it releases, in this order, the
/// panels, the host object, the plug-in instance and the shared object.
class PrintDialog {
 public:
  /// Applies the user overrides (language, preferences folder), opens the
  /// PPD, reads the print settings, loads the bundle, calls initWithBundle
  /// and asks for panels of the print-dialog type. Answers null when any
  /// step fails; `error` then names the input at fault.
  static std::unique_ptr<PrintDialog> open(const DialogSetup& setup, std::string* error);

  PrintDialog(const PrintDialog&) = delete;
  PrintDialog& operator=(const PrintDialog&) = delete;
  ~PrintDialog();

  const LoadedBundle& bundle() const { return *loaded_; }
  HostObject& host() { return *host_; }
  const platform::PDEPanelArray& panels() const { return panels_; }
  const DialogSetup& setup() const { return setup_; }
  /// The preferences folder in effect (nullopt when none can be found).
  const std::optional<std::filesystem::path>& prefsDir() const { return prefsDir_; }
  /// The alerts the plug-in showed, oldest first (also written to stderr).
  const std::vector<platform::Alert>& alerts() const { return *alerts_; }

 private:
  PrintDialog() = default;

  DialogSetup setup_;
  std::optional<std::filesystem::path> prefsDir_;
  std::shared_ptr<std::vector<platform::Alert>> alerts_;
  std::unique_ptr<LoadedBundle> loaded_;
  std::shared_ptr<HostObject> host_;
  platform::PDEPanelArray panels_;
};

}  // namespace jobwick::host
