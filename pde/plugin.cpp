// SPDX-License-Identifier: Apache-2.0
// The principal class: answers the print dialog's request for panels with
// one panel controller.
#include "pde/JC.h"
#include "pde/plugin_bundle.h"
#include "platform/trace.h"

using platform::_PDEEpilog;
using platform::_PDEProlog;

bool JCPDEPlugIn::initWithBundle(platform::Bundle* bundle) {
  _PDEProlog(this, "initWithBundle:");
  _PDEEpilog(this, "initWithBundle:=BOOL(YES)");
  return true;
}

std::optional<platform::PDEPanelArray> JCPDEPlugIn::PDEPanelsForType(
    const std::string& panelType, std::shared_ptr<JCPDEPluginCallback> host) {
  _PDEProlog(this, "PDEPanelsForType:");
  platform::PDEPanelArray panels;
  if (panelType == platform::kPrintDialogPanelType) {
    auto controller = JC::initWithCallback(std::move(host));
    if (!controller) {
      _PDEEpilog(this, "PDEPanelsForType:=NSArray(%@)", "nil");
      return std::nullopt;
    }
    panels.push_back(std::move(controller));
  }
  _PDEEpilog(this, "PDEPanelsForType:=NSArray(%@)", panels.size());
  return panels;
}

namespace jobwick {

namespace {
std::shared_ptr<platform::Bundle>& bundleOverride() {
  static std::shared_ptr<platform::Bundle> bundle;
  return bundle;
}
}  // namespace

std::shared_ptr<platform::Bundle> pluginBundle() {
  if (bundleOverride()) return bundleOverride();
  return platform::Bundle::bundleContainingAddress(reinterpret_cast<const void*>(&kModelProfile));
}

void setPluginBundleOverride(std::shared_ptr<platform::Bundle> bundle) {
  bundleOverride() = std::move(bundle);
}

}  // namespace jobwick
