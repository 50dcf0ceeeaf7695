// SPDX-License-Identifier: Apache-2.0
// The process-wide setting the controller-building fuzz entries run in, and
// the table of entries.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

#include "fuzz/entries/fuzz_entries.h"
#include "fuzz/entries/fuzz_support.h"
#include "pde/plugin_bundle.h"
#include "platform/alert.h"
#include "platform/bundle.h"
#include "platform/encoding.h"
#include "platform/system.h"
#include "platform/user_defaults.h"

namespace jobwick::fuzz {
namespace {

std::filesystem::path& rootFolder() {
  static std::filesystem::path root;
  return root;
}

void removeRootFolder() {
  // Drop what the controllers cached before the folder goes.
  jobwick::setPluginBundleOverride(nullptr);
  platform::UserDefaults::setPreferencesFolderOverride(std::nullopt);
  if (!rootFolder().empty()) {
    std::error_code ec;
    std::filesystem::remove_all(rootFolder(), ec);
  }
}

constexpr Entry kEntries[] = {
    {"base64_decode", base64Decode},         {"hex_decode", hexDecode},
    {"ticket_reader", ticketReader},         {"answer_parser", answerParser},
    {"preference_loader", preferenceLoader}, {"interface_file", interfaceFile},
    {"ppd_model_flags", ppdModelFlags},      {"settings_file", settingsFile},
    {"session_script", sessionScript},       {"ticket_show", ticketShow},
};

}  // namespace

std::span<const Entry> entries() {
  return kEntries;
}

const Entry* findEntry(const char* name) {
  for (const Entry& entry : kEntries) {
    if (std::strcmp(entry.name, name) == 0) return &entry;
  }
  return nullptr;
}

void setUpEnvironment(const std::filesystem::path& bundlePath) {
  if (!rootFolder().empty()) return;
  // In memory where the system has it: the preference store syncs every
  // write to disk, a sixth of a controller input's time on a disk.
  std::error_code ec;
  const std::filesystem::path base =
      std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK | X_OK) == 0
          ? std::filesystem::path("/dev/shm")
          : std::filesystem::temp_directory_path();
  std::string pattern = (base / "jobwick-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  rootFolder() = pattern;
  std::filesystem::create_directories(rootFolder() / "prefs");
  std::filesystem::create_directories(rootFolder() / "tmp");
  std::filesystem::create_directories(rootFolder() / "input");
  platform::UserDefaults::setPreferencesFolderOverride(rootFolder() / "prefs");
  platform::UserDefaults::resetStandardUserDefaults();
  platform::setTemporaryDirectoryOverride((rootFolder() / "tmp").string() + "/");
  platform::setCurrentTimeOverride(1796688307.0);  // Tue, 8 Dec 2026 09:05:07 +0900
  platform::setTimeZoneOffsetOverride(9 * 3600);
  platform::setUserNamesOverride(std::string("jdoe"), std::string("Jane Doe"));
  platform::setPreferredLanguagesOverride({"en"});
  platform::setSystemEncodingOverride(platform::kCFStringEncodingMacRoman);
  platform::setAlertPresenter([](const platform::Alert&) {});
  auto bundle = platform::Bundle::bundleWithPath(bundlePath);
  if (!bundle) {
    std::fprintf(stderr, "jobwick fuzz: no plug-in bundle at %s\n", bundlePath.c_str());
    std::abort();
  }
  jobwick::setPluginBundleOverride(bundle);
  // Registered last, so that it runs before the overrides set above are
  // destroyed at exit.
  std::atexit(removeRootFolder);
}

const std::filesystem::path& workFolder() {
  return rootFolder();
}

}  // namespace jobwick::fuzz
