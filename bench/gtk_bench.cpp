// SPDX-License-Identifier: Apache-2.0
// jobwick_gtk_bench: the figures of the panel in GTK widgets. Every figure
// is the median of repeated runs; the checks are the panel's budgets:
//   - the tab built and restored (the panel's view asked for, restore, the
//     widgets built and showing the controls) within 30 ms;
//   - a keystroke's round trip in a text field (GTK's input, the field's
//     filter, its action, the rules, the widgets shown again) within 1 ms of
//     CPU time, with 2, 10k and 50k folders in the folder menu, and with 50k
//     folders within three times its cost with 2 (a keystroke must not pay
//     for the folder count).
// Needs a display: scripts/bench.sh runs it on an Xvfb of its own. Build it
// Release (scripts/bench.sh does) for figures that mean anything.
//
// Usage: jobwick_gtk_bench [--quick]
// Exit status: 0 when every check holds, 1 when one fails, 2 on a setup
// error (no display, no bundle, no temporary folder).
#include <gtk/gtk.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gtk/panel_view.h"
#include "host/engine/panel_driver.h"
#include "host/engine/print_dialog.h"
#include "platform/plist.h"
#include "platform/system.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

/// The median time of `run` in microseconds over `repeats` runs; `prepare`
/// (untimed) runs before each.
double medianMicros(int repeats, const std::function<void()>& run,
                    const std::function<void()>& prepare) {
  std::vector<double> times;
  for (int i = 0; i < repeats; ++i) {
    prepare();
    const auto start = Clock::now();
    run();
    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::nth_element(times.begin(), times.begin() + repeats / 2, times.end());
  return times[std::size_t(repeats / 2)];
}

/// The median thread CPU time of `run` in microseconds over `repeats` runs
/// (the main thread's, where GTK and the panel do the work; GLib's helper
/// threads and the rest of the machine do not count); `prepare` (untimed)
/// runs before each.
double medianCpuMicros(int repeats, const std::function<void()>& run,
                       const std::function<void()>& prepare) {
  auto now = [] {
    timespec at{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &at);
    return double(at.tv_sec) * 1e6 + double(at.tv_nsec) / 1e3;
  };
  std::vector<double> times;
  for (int i = 0; i < repeats; ++i) {
    prepare();
    const double start = now();
    run();
    times.push_back(now() - start);
  }
  std::nth_element(times.begin(), times.begin() + repeats / 2, times.end());
  return times[std::size_t(repeats / 2)];
}

void drain() {
  for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

/// A print dialog with the vk7300 panel, and (once shown) its GTK view.
struct ShownPanel {
  std::unique_ptr<jobwick::host::PrintDialog> dialog;
  jobwick::host::PanelWindow window;
  std::unique_ptr<jobwick::gtkui::PanelView> view;
  GtkWindow* gtkWindow = nullptr;

  ~ShownPanel() {
    view.reset();
    if (gtkWindow) gtk_window_destroy(gtkWindow);
    drain();
    window.detach();
  }
  /// What the dialog does when it shows the tab: asks for the view,
  /// restores it, builds the widgets.
  void show() {
    platform::PDEPanel& panel = *dialog->panels().front();
    window.attach(panel);
    panel.restoreValuesAndReturnError(nullptr);
    view = std::make_unique<jobwick::gtkui::PanelView>(window);
    gtk_window_set_child(gtkWindow, view->widget());
  }
};

std::unique_ptr<ShownPanel> openPanel(const fs::path& prefs) {
  jobwick::host::DialogSetup setup;
  setup.bundle = (fs::path(JOBWICK_BUNDLE_DIR) / "JobwickVk7300.plugin").string();
  setup.ppd = fs::path(JOBWICK_SOURCE_DIR) / "examples/ppd/vk7300.ppd";
  setup.printerId = "Office_MFP";
  setup.deviceURI = "ipp://10.0.0.5:631/ipp/print";
  setup.language = "en";
  setup.prefsDir = prefs;
  setup.alertListener = [](const platform::Alert&) {};
  auto shown = std::make_unique<ShownPanel>();
  std::string error;
  shown->dialog = jobwick::host::PrintDialog::open(setup, &error);
  if (!shown->dialog) {
    std::fprintf(stderr, "jobwick_gtk_bench: %s\n", error.c_str());
    return nullptr;
  }
  shown->gtkWindow = GTK_WINDOW(gtk_window_new());
  return shown;
}

/// Hands `typed` to the text widget as a keyboard's input method does.
void commitTyping(GtkWidget* text, const char* typed) {
  GListModel* controllers = gtk_widget_observe_controllers(text);
  for (guint i = 0; i < g_list_model_get_n_items(controllers); ++i) {
    auto* controller = static_cast<GtkEventController*>(g_list_model_get_item(controllers, i));
    if (GTK_IS_EVENT_CONTROLLER_KEY(controller)) {
      GtkIMContext* im =
          gtk_event_controller_key_get_im_context(GTK_EVENT_CONTROLLER_KEY(controller));
      if (im) g_signal_emit_by_name(im, "commit", typed);
    }
    g_object_unref(controller);
  }
  g_object_unref(controllers);
}

/// Puts `count` folders into the folder-list cache of the preferences in
/// `prefs` (the record a panel opened there once has written), as a fetch
/// from the printer leaves them. False when there is no such record.
bool cacheFolders(const fs::path& prefs, std::size_t count) {
  std::error_code ec;
  for (const auto& file : fs::directory_iterator(prefs, ec)) {
    if (file.path().extension() != ".plist") continue;
    auto domain = platform::plist::readFile(file.path().string());
    platform::plist::Dict* records = domain ? domain->asDict() : nullptr;
    auto record = records ? records->find("Job Handling") : platform::plist::Dict::iterator();
    if (!records || record == records->end() || !record->second.asDict()) return false;
    platform::plist::Array files;
    files.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      files.emplace_back(platform::plist::Dict{{"name", "Folder " + std::to_string(i)},
                                               {"password", i % 3 == 0},
                                               {"dir", false},
                                               {"add", false}});
    }
    (*record->second.asDict())["files"] = std::move(files);
    std::ofstream(file.path(), std::ios::binary | std::ios::trunc)
        << platform::plist::toXml(*domain);
    return true;
  }
  return false;
}

/// A keystroke's CPU time with `folders` folders in the folder menu: one
/// digit into the empty pass code field. nullopt on a setup error.
std::optional<double> keystrokeMicros(const fs::path& prefs, std::size_t folders, int repeats) {
  // A first panel writes the preference record; the folders go into it.
  if (!openPanel(prefs) || !cacheFolders(prefs, folders)) return std::nullopt;
  std::unique_ptr<ShownPanel> panel = openPanel(prefs);
  if (!panel) return std::nullopt;
  panel->show();
  gtk_window_present(panel->gtkWindow);
  drain();
  auto* popup = dynamic_cast<platform::PopUpButton*>(
      panel->window.root()->findViewWithIdentifier("folderSelectionPopup"));
  if (!popup || std::size_t(popup->numberOfItems()) < folders) {
    std::fprintf(stderr, "jobwick_gtk_bench: the folder menu does not list %zu folders\n", folders);
    return std::nullopt;
  }
  panel->view->click(*panel->window.find("retentionCheckBox"));
  auto* field = dynamic_cast<platform::TextField*>(
      panel->window.root()->findViewWithIdentifier("suspendKeyEditText"));
  GtkWidget* entry = panel->view->widgetFor("suspendKeyEditText");
  if (!field || !entry) return std::nullopt;
  GtkWidget* text = GTK_WIDGET(gtk_editable_get_delegate(GTK_EDITABLE(entry)));
  const double key = medianCpuMicros(
      repeats, [&] { commitTyping(text, "5"); },
      [&] {
        field->setStringValue("");
        panel->view->sync();
        gtk_widget_grab_focus(entry);
      });
  if (field->stringValue() != "5") {
    std::fprintf(stderr, "jobwick_gtk_bench: the keystroke did not reach the field\n");
    return std::nullopt;
  }
  return key;
}

bool check(const char* what, double micros, double budgetMicros) {
  const bool holds = micros <= budgetMicros;
  std::printf("  %-44s %9.1f us  (budget %.0f us)  %s\n", what, micros, budgetMicros,
              holds ? "ok" : "FAILED");
  return holds;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  if (!gtk_init_check()) {
    std::fprintf(stderr, "jobwick_gtk_bench: cannot open the display (is DISPLAY set?)\n");
    return 2;
  }
  std::string pattern = (fs::temp_directory_path() / "jobwick-gtk-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 2;
  const fs::path root = pattern;
  fs::create_directories(root / "tmp");
  platform::setTemporaryDirectoryOverride((root / "tmp").string() + "/");
  platform::setCurrentTimeOverride(1796688307.0);
  platform::setTimeZoneOffsetOverride(9 * 3600);
  platform::setUserNamesOverride(std::string("jdoe"), std::string("Jane Doe"));

  int status = 0;
  {
    std::printf("jobwick_gtk_bench (medians)\n");
    // The tab: a fresh dialog each time (untimed), then what happens
    // between the dialog asking for the tab and the tab being ready.
    std::unique_ptr<ShownPanel> panel;
    const double tab = medianMicros(
        quick ? 5 : 25, [&] { panel->show(); },
        [&] {
          panel.reset();
          panel = openPanel(root / "prefs");
          if (!panel) std::exit(2);
        });
    panel.reset();
    if (!check("tab built and restored", tab, 30000)) status = 1;
    // A keystroke, with few and with many folders listed (CPU time).
    const std::pair<std::size_t, const char*> counts[] = {
        {2, "keystroke round trip, 2 folders (CPU)"},
        {10000, "keystroke round trip, 10k folders (CPU)"},
        {50000, "keystroke round trip, 50k folders (CPU)"}};
    std::vector<double> keys;
    for (const auto& [folders, what] : counts) {
      const auto key =
          keystrokeMicros(root / ("prefs-" + std::to_string(folders)), folders, quick ? 50 : 500);
      if (!key) {
        status = 2;
        break;
      }
      keys.push_back(*key);
      if (!check(what, *key, 1000) && status == 0) status = 1;
    }
    if (keys.size() == std::size(counts) &&
        !check("keystroke, 50k folders, within 3x its cost with 2", keys.back(),
               3 * keys.front() + 50) &&
        status == 0) {
      status = 1;
    }
  }
  platform::setTemporaryDirectoryOverride(std::nullopt);
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return status;
}
