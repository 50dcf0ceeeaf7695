// SPDX-License-Identifier: Apache-2.0
// Test harness for the plug-in code: a fake print-dialog host, temporary
// folders, generated PPD files, and a fixture that pins everything a test
// must not take from the machine (clock, zone, user, folders, language).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pde/JC.h"
#include "platform/controls.h"
#include "platform/pde.h"
#include "platform/ppd.h"
#include "platform/print_settings.h"

namespace jwtest {

/// True in the vk7300 build of a per-model test binary.
inline bool isVk7300() {
  return std::string(jobwick::kModelProfile.model) == "vk7300";
}

/// A temporary folder removed with everything in it when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// The print dialog's side: session with one printer, print settings, PPD.
class FakeHost : public platform::PDEPluginCallback {
 public:
  bool constraintHandling = true;
  bool hasSettings = true;
  bool hasSession = true;
  platform::PrintSettings settings;
  std::optional<platform::PrintSession> session;
  platform::PPDFile ppd;

  platform::PrintSession* printSession() override {
    return hasSession && session ? &*session : nullptr;
  }
  platform::PrintSettings* printSettings() override { return hasSettings ? &settings : nullptr; }
  ppd_file_t* ppdFile() override { return ppd.get(); }
  bool respondsToSelector(std::string_view selector) const override {
    return constraintHandling && selector == platform::kConstraintHandlingSelector;
  }
};

/// Text of a valid PPD for `modelName`, with `extraLines` (such as
/// "*ARDocumentFiling: False") and the given *LanguageEncoding (omitted when
/// empty).
std::string ppdText(const std::string& modelName, const std::vector<std::string>& extraLines,
                    const std::string& languageEncoding = "ISOLatin1");
/// Writes `text` to `dir`/`name` and answers the path.
std::filesystem::path writeFile(const std::filesystem::path& dir, const std::string& name,
                                const std::string& text);

/// Path of the built bundle of the model this test binary is compiled for.
std::filesystem::path modelBundlePath();
/// Path of a file below the source tree.
std::filesystem::path sourcePath(const std::string& relative);

/// Fixture for controller tests: pinned clock (Tue, 8 Dec 2026 09:05:07
/// +0900), zone, user names, language "en", system encoding MacRoman,
/// preference and temporary folders in a fresh temporary folder, and the
/// model's real bundle.
class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Makes a host for a printer with the given PPD lines, identifier and URI.
  std::shared_ptr<FakeHost> makeHost(
      const std::vector<std::string>& ppdLines = {}, const std::string& printerId = "Office_MFP",
      std::optional<std::string> deviceURI = std::string("ipp://10.0.0.5:631/ipp/print"));
  /// Constructs a controller for `host` (a default host when null).
  std::shared_ptr<JC> makeController(std::shared_ptr<FakeHost> host = nullptr);
  /// Loads the controller's panel and puts it in a window.
  platform::View* showPanel(JC& jc);

  std::unique_ptr<TempDir> temp;
  std::shared_ptr<FakeHost> lastHost;
  std::unique_ptr<platform::Window> window;
};

}  // namespace jwtest
