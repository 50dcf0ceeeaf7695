// SPDX-License-Identifier: Apache-2.0
// The print dialog's extension protocol: the entry class of a plug-in, the
// panels it hands out, and the host object the panels call back.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <cups/ppd.h>

#include "platform/bundle.h"
#include "platform/controls.h"
#include "platform/object.h"
#include "platform/print_settings.h"

namespace platform {

/// The panel type of print-dialog panels.
inline constexpr const char kPrintDialogPanelType[] = "BDB091F4-E57F-11D3-B5CC-0050E4603277";
/// The host operation whose presence tells that the host handles PPD constraints.
inline constexpr const char kConstraintHandlingSelector[] =
    "willChangePPDOptionKeyValue:ppdChoice:";

/// The host object handed to a plug-in with the request for panels.
class PDEPluginCallback : public Object {
 public:
  /// The dialog's printing session (not owned by the caller); may be null.
  virtual PrintSession* printSession() = 0;
  /// The job's print settings (not owned by the caller); may be null.
  virtual PrintSettings* printSettings() = 0;
  /// The printer's parsed PPD (not owned by the caller); may be null. Only
  /// asked of hosts that handle constraints.
  virtual ppd_file_t* ppdFile() = 0;
};

/// An error out-reference of restore and save (never filled by the panel).
struct NSError {
  std::string description;
};

/// A panel of the print dialog.
class PDEPanel : public Object {
 public:
  virtual View* panelView() = 0;
  virtual std::string panelName() = 0;
  virtual std::string panelKind() = 0;
  virtual std::vector<std::string> supportedPPDOptionKeys() = 0;
  virtual void willShow() = 0;
  virtual bool shouldHide() = 0;
  virtual bool shouldPrint() = 0;
  virtual bool shouldShowHelp() = 0;
  virtual void PPDOptionKeyValueDidChange(const std::string& option, const std::string& choice) = 0;
  virtual bool restoreValuesAndReturnError(NSError** error) = 0;
  virtual bool saveValuesAndReturnError(NSError** error) = 0;
  virtual std::map<std::string, std::string> summaryInfo() = 0;

  /// What the panel knows about its printer and model, for hosts that show
  /// or test it (interface mode, PPD flags, address, preference domain...).
  /// Not part of the print dialog's protocol; empty by default.
  virtual std::map<std::string, std::string> diagnosticProperties() { return {}; }
};

using PDEPanelArray = std::vector<std::shared_ptr<PDEPanel>>;

/// The principal class of a plug-in bundle.
class PDEPlugIn : public Object {
 public:
  virtual bool initWithBundle(Bundle* bundle) = 0;
  /// Panels for `panelType`; nullopt ("nil") when a panel could not be made.
  virtual std::optional<PDEPanelArray> PDEPanelsForType(
      const std::string& panelType, std::shared_ptr<PDEPluginCallback> host) = 0;
};

/// Every plug-in shared object exports, for its principal class NAME, the C
/// function NAME + kPrincipalClassFactorySuffix that makes a new instance.
inline constexpr const char kPrincipalClassFactorySuffix[] = "_alloc";
using PrincipalClassFactory = PDEPlugIn* (*)();

}  // namespace platform
