// Per-user defaults with persistent domains: one property-list file per
// domain (NAME.plist) in the user's preferences folder, written atomically.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/plist.h"

namespace platform {

class UserDefaults {
 public:
  /// The shared defaults object of the process (created on first use), or
  /// null when the preferences folder cannot be determined.
  static UserDefaults* standardUserDefaults();
  /// Drops the shared object and every cached domain, so that the next read
  /// sees what other processes wrote.
  static void resetStandardUserDefaults();

  /// The folder that holds the domain files: the override, else
  /// $XDG_CONFIG_HOME/jobwick/preferences, else ~/.config/jobwick/preferences.
  static std::optional<std::filesystem::path> preferencesFolder();
  static void setPreferencesFolderOverride(std::optional<std::filesystem::path> folder);

  /// The domain's dictionary, or nullopt when it does not exist. A file that
  /// cannot be parsed counts as missing; it is first moved aside to
  /// NAME.plist.corrupt so that nothing is destroyed.
  std::optional<plist::Dict> persistentDomainForName(const std::string& name);
  /// Replaces the whole domain (kept in memory until synchronize()).
  void setPersistentDomain(const plist::Dict& domain, const std::string& name);
  /// Writes every changed domain to disk: a temporary file in the same
  /// folder, flushed, then renamed over the old file, all under an advisory
  /// lock on the domain. Answers false when a write failed (the old file
  /// then stays as it was).
  bool synchronize();

  explicit UserDefaults(std::filesystem::path folder);

 private:
  std::filesystem::path folder_;
  std::map<std::string, std::optional<plist::Dict>> cache_;
  std::map<std::string, plist::Dict> pending_;
};

}  // namespace platform
