// SPDX-License-Identifier: Apache-2.0
// Bundles: a folder holding a manifest (Info.plist), the shared object and
// Resources/. Resource lookup, file contents and localised strings.
//
// Layout of a bundle folder NAME.plugin:
//   Info.plist                 manifest: NSPrincipalClass, CFBundleExecutable,
//                              CFBundleIdentifier, CFBundleName
//   <CFBundleExecutable>       the shared object
//   Resources/NAME.TYPE        language-independent resources
//   Resources/<lang>.lproj/    per-language resources and Localizable.plist,
//                              a property-list dictionary of key -> translation
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/object.h"

namespace platform {

class Bundle : public Object {
 public:
  /// Opens the bundle folder `path`; null when it is not a folder or its
  /// manifest is missing or unreadable.
  static std::shared_ptr<Bundle> bundleWithPath(const std::filesystem::path& path,
                                                std::string* error = nullptr);
  /// The bundle whose shared object contains `address` (a function or
  /// object of the caller's). Bundles are cached per folder.
  static std::shared_ptr<Bundle> bundleContainingAddress(const void* address);

  const std::filesystem::path& bundlePath() const { return path_; }
  /// A string of the manifest, or nullopt.
  std::optional<std::string> infoValue(std::string_view key) const;
  std::optional<std::string> principalClassName() const { return infoValue("NSPrincipalClass"); }
  /// Full path of the shared object the manifest names; nullopt if unnamed.
  std::optional<std::filesystem::path> executablePath() const;

  /// Path of resource NAME.TYPE: first in the current language's .lproj,
  /// then in English, then in Resources/ itself. nullopt when missing. The
  /// answer is kept for the bundle's life (per list of preferred languages):
  /// a bundle's files are taken not to change while it is open.
  std::optional<std::filesystem::path> pathForResource(std::string_view name,
                                                       std::string_view type) const;
  /// The bytes of a resource; nullopt when missing or unreadable.
  std::optional<std::vector<std::uint8_t>> dataForResource(std::string_view name,
                                                           std::string_view type) const;

  /// Localised string for `key` in the default table (Localizable.plist of
  /// the current language). Without a translation: `value` when given and
  /// not empty, else the key itself.
  std::string localizedStringForKey(std::string_view key,
                                    std::optional<std::string_view> value = std::nullopt) const;

  /// Loads interface file `name` (resource NAME.jwui) with `owner` as its
  /// owner: creates the controls, hands the top-level views to the owner and
  /// connects outlets and actions. Answers false when the file is missing or
  /// malformed (nothing is connected then).
  bool loadNibNamed(std::string_view name, Object* owner, std::string* error = nullptr) const;

 private:
  Bundle() = default;
  const std::map<std::string, std::string>& stringsTable(const std::string& language) const;
  std::optional<std::filesystem::path> findResource(const std::vector<std::string>& languages,
                                                    const std::string& fileName) const;

  static constexpr std::size_t kMaxKnownResources = 256;

  std::filesystem::path path_;
  std::map<std::string, std::string> info_;
  mutable std::map<std::string, std::map<std::string, std::string>> tables_;
  // "LANG:LANG:/NAME.TYPE" -> where pathForResource found it (or that it
  // did not).
  mutable std::map<std::string, std::optional<std::filesystem::path>> resourcePaths_;
};

/// The user's preferred languages, best first ("ja", "en"): the host's
/// override, or else LANGUAGE (a colon list), LC_ALL, LC_MESSAGES, LANG;
/// "en" when none is set or the value is "C"/"POSIX".
std::vector<std::string> preferredLanguages();
/// Sets (or clears with an empty list) the host's language override.
void setPreferredLanguagesOverride(std::vector<std::string> languages);

}  // namespace platform
