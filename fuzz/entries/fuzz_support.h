// SPDX-License-Identifier: Apache-2.0
// Pieces shared by the fuzz entries that build a panel controller.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pde/JC.h"
#include "platform/controls.h"
#include "platform/pde.h"
#include "platform/ppd.h"
#include "platform/print_settings.h"

namespace jobwick::fuzz {

/// The folder set up by setUpEnvironment (empty before): "prefs" holds the
/// domain files, "tmp" is the temporary directory, "input" takes inputs
/// that must be files.
const std::filesystem::path& workFolder();

/// The print dialog's side for one controller: a session with one printer,
/// the print settings and the PPD.
class Host : public platform::PDEPluginCallback {
 public:
  platform::PrintSettings settings;
  std::optional<platform::PrintSession> session;
  platform::PPDFile ppd;

  platform::PrintSession* printSession() override { return session ? &*session : nullptr; }
  platform::PrintSettings* printSettings() override { return &settings; }
  ppd_file_t* ppdFile() override { return ppd.get(); }
  bool respondsToSelector(std::string_view selector) const override {
    return selector == platform::kConstraintHandlingSelector;
  }
};

/// Writes `size` bytes to `path`, replacing the file; aborts when it cannot.
void writeBytes(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size);

/// A host for printer "Fuzz" at 127.0.0.1 whose PPD is a valid one of this
/// build's model, with the active-directory flag when `activeDirectory`.
std::shared_ptr<Host> makeHost(bool activeDirectory);

/// The controller's panel, loaded and kept in a window for the
/// controller's lifetime; null when it has no view.
class ShownPanel {
 public:
  explicit ShownPanel(JC& jc);
  platform::View* view() const { return view_; }

 private:
  platform::View* view_ = nullptr;
  platform::Window window_;
};

}  // namespace jobwick::fuzz
