// SPDX-License-Identifier: Apache-2.0
// One queue's panel in GTK widgets, as the print dialog's tab and the
// agent's window show it: the queue's dialog opened and restored, the view
// attached, and the bridge that keeps the view in step with the panel's own
// run-loop work. Also the texts of the windows around the panel, from the
// bundles' strings in the panel's language.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "gtk/main_loop.h"
#include "gtk/panel_view.h"
#include "host/engine/panel_driver.h"
#include "host/engine/print_dialog.h"

namespace jobwick::gtkui {

/// The panel of one queue. Released view first, then the window, then the
/// dialog (plug-in) and the queue's PPD.
struct QueueTab {
  std::unique_ptr<host::PrintDialog> dialog;  ///< opened for the queue (it holds the PPD)
  host::PanelWindow window;
  std::unique_ptr<PanelView> view;
  std::unique_ptr<MainLoopBridge> bridge;
  ~QueueTab();
};

/// Opens `queue`'s panel with `setup` (the job and the user; the queue's
/// saved ticket entries come under its print settings), restores it and
/// makes its view. Null, with `error` naming the queue or the bundle and
/// the reason, when no bundle serves the queue, the queue cannot be asked
/// or the panel has no view.
std::unique_ptr<QueueTab> openQueueTab(const std::string& queue, const host::DialogSetup& setup,
                                       std::string* error);

/// `key`, one of the strings every bundle carries, in `language` (else the
/// user's preferred languages); `key` itself when no bundle is installed.
std::string bundleText(const std::string& key, const std::optional<std::string>& language);

}  // namespace jobwick::gtkui
