// SPDX-License-Identifier: Apache-2.0
// The GTK view over a real panel, in the test's own process: a temporary
// folder of the test's own (the panel's temporary files and preferences),
// the print dialog for a model's sample printer and the view of its panel
// in a window. The suite brings up GTK itself (on its own X server).
#pragma once

#include <gtk/gtk.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "gtk/panel_view.h"
#include "host/engine/panel_driver.h"
#include "host/engine/print_dialog.h"
#include "platform/system.h"

namespace gtktest {

/// Runs GLib's main loop until nothing is pending (idle work included).
inline void drain() {
  for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

/// A test fixture (over `Base`, a gtest fixture) with a panel on screen.
template <typename Base>
class ShownPanelTest : public Base {
 protected:
  /// Opens the panel of `bundle` ("vk7300", "vk410e") for the model's
  /// sample printer, in English, and shows its view in a window; the
  /// temporary folder is named after `purpose`. Fails the test fatally when
  /// it cannot.
  void showPanel(const std::string& bundle, const std::string& purpose) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / ("jobwick-" + purpose + "-XXXXXX")).string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    temp_ = pattern;
    fs::create_directories(temp_ / "tmp");
    platform::setTemporaryDirectoryOverride((temp_ / "tmp").string() + "/");
    jobwick::host::DialogSetup setup;
    setup.bundle = bundle;
    setup.ppd = fs::path(JOBWICK_SOURCE_DIR) / "examples/ppd" / (bundle + ".ppd");
    setup.printerId = "Office_MFP";
    setup.deviceURI = "ipp://10.0.0.5:631/ipp/print";
    setup.language = "en";
    setup.prefsDir = temp_ / "prefs";
    setup.alertListener = [](const platform::Alert&) {};
    std::string error;
    dialog_ = jobwick::host::PrintDialog::open(setup, &error);
    ASSERT_TRUE(dialog_) << error;
    platform::PDEPanel& panel = *dialog_->panels().front();
    ASSERT_TRUE(window_.attach(panel));
    panel.restoreValuesAndReturnError(nullptr);
    panel.willShow();
    view_ = std::make_unique<jobwick::gtkui::PanelView>(window_);
    gtkWindow_ = GTK_WINDOW(gtk_window_new());
    gtk_window_set_child(gtkWindow_, view_->widget());
    gtk_window_present(gtkWindow_);
    drain();
  }

  void TearDown() override {
    view_.reset();
    if (gtkWindow_) gtk_window_destroy(gtkWindow_);
    drain();
    window_.detach();
    dialog_.reset();
    platform::setTemporaryDirectoryOverride(std::nullopt);
    std::error_code ignored;
    if (!temp_.empty()) std::filesystem::remove_all(temp_, ignored);
  }

  std::filesystem::path temp_;
  std::unique_ptr<jobwick::host::PrintDialog> dialog_;
  jobwick::host::PanelWindow window_;
  std::unique_ptr<jobwick::gtkui::PanelView> view_;
  GtkWindow* gtkWindow_ = nullptr;
};

}  // namespace gtktest
