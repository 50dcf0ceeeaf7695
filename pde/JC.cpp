// SPDX-License-Identifier: Apache-2.0
// The panel controller's life: construction from the host object, teardown,
// and the panel operations the print dialog calls.
#include "pde/JC.h"

#include <algorithm>

#include "pde/plugin_bundle.h"
#include "platform/ppd.h"
#include "platform/print_settings.h"
#include "platform/strings.h"
#include "platform/trace.h"
#include "prefs/preference_load.h"

using jobwick::kModelProfile;
using platform::_PDEEpilog;
using platform::_PDELog;
using platform::_PDEProlog;

namespace {

constexpr char kPreferenceDomainPrefix[] = "jp.co.quivo.mfp.";

/// Whether a PPD attribute switches a flag. An attribute without a value
/// string counts as absent.
std::optional<std::string> flagValue(ppd_file_t* ppd, const char* keyword) {
  return platform::ppdAttributeValue(ppd, keyword);
}

}  // namespace

std::shared_ptr<JC> JC::initWithCallback(std::shared_ptr<JCPDEPluginCallback> host) {
  std::shared_ptr<JC> self(new JC());
  _PDEProlog(self.get(), "initWithCallback:(%@, %p)", host.get(), host.get());

  self->pdePluginCallbackObject = host;
  // The bundle that holds this code: found from an address inside it.
  self->pdeBundle = jobwick::pluginBundle();

  self->useConstraintHandling =
      host && host->respondsToSelector(platform::kConstraintHandlingSelector);
  _PDELog(self.get(), "Constraint Handling Available: %s",
          self->useConstraintHandling ? "YES" : "NO");

  self->ppd = self->useConstraintHandling ? host->ppdFile() : self->getPPDOnTiger();
  if (self->ppd) {
    self->ppdEncoding = getEncodingFromPPD(self->ppd);
    if (auto bytes = platform::ppdModelNameBytes(self->ppd)) {
      self->modelStringRef =
          platform::stringWithBytes(bytes->data(), bytes->size(), self->ppdEncoding);
    }

    const platform::Printer* printer = nullptr;
    platform::PMSessionGetCurrentPrinter(host ? host->printSession() : nullptr, &printer);
    if (auto uri = platform::PMPrinterCopyDeviceURI(printer)) {
      const std::string& scheme = uri->scheme;
      if ((scheme == "ipp" || scheme == "lpd" || scheme == "socket") && !uri->host.empty()) {
        self->mfpURL = uri->host;
      }
    }
    // Without a current printer there is no identifier to name the domain
    // after; the panel then remembers nothing rather than sharing one
    // nameless domain between printers.
    if (printer) {
      self->preferenceName = kPreferenceDomainPrefix + platform::PMPrinterGetID(printer);
    }

    jobwick::prefs::loadPreferences(*self);

    if (self->pdeBundle) {
      self->requestData = self->pdeBundle->dataForResource(kModelProfile.requestResource, "xml");
    }

    if (kModelProfile.readsPPDModelFlags) {
      if (auto v = flagValue(self->ppd, "ARDocumentFiling"); v && *v != "True" && *v != "TRUE") {
        self->document_filing_model = false;
      }
      if (auto v = flagValue(self->ppd, "ARQuivoPrintSystem");
          v && *v != "False" && *v != "FALSE") {
        self->quivo_print_system = true;
      }
      if (auto v = flagValue(self->ppd, "ARActiveDirectory"); v && (*v == "True" || *v == "TRUE")) {
        self->active_directory = true;
      }
    }
  }

  self->systemEncoding =
      platform::CFStringConvertEncodingToNSStringEncoding(platform::CFStringGetSystemEncoding());
  if (self->pdeBundle) {
    if (auto path = self->pdeBundle->pathForResource("space", "png")) {
      self->spaceImage = platform::Image::imageWithContentsOfFile(*path);
    }
  }

  _PDEEpilog(self.get(), "initWithCallback:=id(self)");
  return self;
}

JC::~JC() {
  // Owned fields go with the object; the view hierarchy loaded from the
  // interface file is held by the root object and goes after them.
  _PDELog(this, "dealloc");
}

platform::View* JC::panelView() {
  _PDEProlog(this, "panelView:");
  if (!panelViewOutlet) {
    const std::int64_t mode = getUIMode();
    const char* file = nullptr;
    for (std::size_t i = 0; i < kModelProfile.interfaceFileCount; ++i) {
      if (kModelProfile.interfaceFiles[i].mode == mode) file = kModelProfile.interfaceFiles[i].file;
    }
    if (file && pdeBundle) {
      std::string error;
      if (!pdeBundle->loadNibNamed(file, this, &error)) {
        _PDELog(this, "loadNibNamed failed: %s", error.c_str());
      }
    }
  }
  initializeUI();
  _PDEEpilog(this, "panelView:=NSView(%@, %p)", panelViewOutlet, panelViewOutlet);
  return panelViewOutlet;
}

std::string JC::panelName() {
  _PDEProlog(this, "panelName:");
  if (!thePDEName) {
    ++panelNameLookups;
    thePDEName = pdeBundle ? pdeBundle->localizedStringForKey(kModelProfile.panelNameKey)
                           : std::string(kModelProfile.panelNameKey);
  }
  _PDEEpilog(this, "panelName:=NSString(%@)", thePDEName->c_str());
  return *thePDEName;
}

std::string JC::panelKind() {
  _PDEProlog(this, "panelKind:");
  std::string kind = kModelProfile.panelKind;
  _PDEEpilog(this, "panelKind:=NSString(%@)", kind.c_str());
  return kind;
}

std::vector<std::string> JC::supportedPPDOptionKeys() {
  _PDEProlog(this, "supportedPPDOptionKeys:");
  _PDEEpilog(this, "supportedPPDOptionKeys:=NSArray(%@)", "()");
  return {};
}

void JC::willShow() {
  _PDEProlog(this, "willShow:");
  if (!hasInited) initializeUI();
  updateUI();
  _PDEEpilog(this, "willShow:=void");
}

bool JC::shouldHide() {
  _PDEProlog(this, "shouldHide:");
  _PDEEpilog(this, "shouldHide:=BOOL(YES)");
  return true;
}

bool JC::shouldShowHelp() {
  _PDEProlog(this, "shouldShowHelp:");
  _PDEEpilog(this, "shouldShowHelp:=BOOL(YES)");
  return true;
}

void JC::PPDOptionKeyValueDidChange(const std::string& option, const std::string& choice) {
  _PDEProlog(this, "PPDOptionKeyValueDidChange:(%@) ppdChoice:(%@)", option.c_str(),
             choice.c_str());
  _PDEEpilog(this, "PPDOptionKeyValueDidChange:ppdChoice:=void");
}

bool JC::restoreValuesAndReturnError(platform::NSError** error) {
  _PDEProlog(this, "restoreValuesAndReturnError:(%p)", error);
  if (!panelViewOutlet) {
    platform::View* view = panelView();
    // Keep the loaded view alive for as long as this controller lives: take a
    // reference to the top-level object the view belongs to.
    platform::View* root = view;
    while (root && root->superview()) root = root->superview();
    for (const auto& object : topLevelObjects()) {
      if (root && object.get() == root) panelViewReference = object;
    }
    isPanelViewRetain = true;
  }
  if (!hasInited) initializeUI();
  if (!useConstraintHandling) getPPDSettingsFromPrintSettingsOnTiger();
  getNonPPDSettingsFromPrintSettings();
  updateUI();
  callRestoreValuesFunction = true;
  _PDEEpilog(this, "restoreValuesAndReturnError:=BOOL(YES)");
  return true;
}

bool JC::saveValuesAndReturnError(platform::NSError** error) {
  _PDEProlog(this, "saveValuesAndReturnError:(%p)", error);
  if (!useConstraintHandling) writePPDSettingsToPrintSettingsOnTiger();
  writeNonPPDSettingsToPrintSettings();
  callSaveValuesFunction = true;
  _PDEEpilog(this, "saveValuesAndReturnError:=BOOL(YES)");
  return true;
}

ppd_file_t* JC::getPPDOnTiger() {
  return nullptr;
}
void JC::getPPDSettingsFromPrintSettingsOnTiger() {}
void JC::writePPDSettingsToPrintSettingsOnTiger() {}

std::map<std::string, std::string> JC::diagnosticProperties() {
  auto flag = [](bool b) { return std::string(b ? "YES" : "NO"); };
  std::map<std::string, std::string> d;
  d["model"] = kModelProfile.model;
  d["controllerClass"] = JOBWICK_CONTROLLER_CLASS_NAME;
  d["interfaceMode"] = std::to_string(getUIMode());
  d["useConstraintHandling"] = flag(useConstraintHandling);
  d["hasPPD"] = flag(ppd != nullptr);
  d["ppdEncoding"] = std::to_string(ppdEncoding);
  d["systemEncoding"] = std::to_string(systemEncoding);
  d["document_filing_model"] = flag(document_filing_model);
  d["quivo_print_system"] = flag(quivo_print_system);
  d["active_directory"] = flag(active_directory);
  d["CheckHardDisk"] = flag(CheckHardDisk());
  if (kModelProfile.passwordMax > 0) d["getPasswordMax"] = std::to_string(getPasswordMax());
  if (modelStringRef) d["modelName"] = *modelStringRef;
  if (mfpURL) d["mfpURL"] = *mfpURL;
  if (preferenceName) d["preferenceName"] = *preferenceName;
  d["requestDataBytes"] = requestData ? std::to_string(requestData->size()) : "none";
  d["spaceImage"] = flag(spaceImage != nullptr);
  d["folderCount"] = folderList ? std::to_string(folderList->size()) : "none";
  d["hasInited"] = flag(hasInited);
  return d;
}
