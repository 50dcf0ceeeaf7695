// SPDX-License-Identifier: Apache-2.0
// One queue's panel in GTK widgets.
#include "gtk/queue_tab.h"

#include "host/engine/plugin_loader.h"
#include "platform/bundle.h"

namespace jobwick::gtkui {

namespace fs = std::filesystem;

QueueTab::~QueueTab() {
  bridge.reset();
  view.reset();
  window.detach();
  dialog.reset();
}

std::unique_ptr<QueueTab> openQueueTab(const std::string& queue, const host::DialogSetup& setup,
                                       std::string* error) {
  auto tab = std::make_unique<QueueTab>();
  tab->dialog = host::PrintDialog::openQueue(queue, setup, host::defaultBundleDir(), error);
  if (!tab->dialog) return nullptr;
  platform::PDEPanel& panel = tab->dialog->panel();
  if (!tab->window.attach(panel)) {
    *error = "the panel of bundle " + tab->dialog->queue()->bundle.filename().string() +
             " has no view (its interface file could not be loaded)";
    return nullptr;
  }
  panel.restoreValuesAndReturnError(nullptr);
  tab->view = std::make_unique<PanelView>(tab->window);
  tab->view->setFocusFollowsWidgets(true);
  tab->view->sync();
  tab->bridge = std::make_unique<MainLoopBridge>([view = tab->view.get()] { view->sync(); });
  return tab;
}

std::string bundleText(const std::string& key, const std::optional<std::string>& language) {
  // Every bundle carries the same common strings.
  if (language) platform::setPreferredLanguagesOverride({*language});
  const fs::path bundles = host::defaultBundleDir();
  for (const auto& name : host::availableBundles(bundles)) {
    if (auto bundle = platform::Bundle::bundleWithPath(bundles / name))
      return bundle->localizedStringForKey(key);
  }
  return key;
}

}  // namespace jobwick::gtkui
