// SPDX-License-Identifier: Apache-2.0
// Reading a printer's preference domain file.
#include "host/inspect/prefs_record.h"

#include <algorithm>
#include <system_error>

#include "host/common/translate.h"
#include "platform/plist.h"

namespace jobwick::host {

namespace fs = std::filesystem;

const char* recordKeyForModel(const std::string& model) {
  if (model == "vk7300") return "Job Handling";
  if (model == "vk410e") return "Jobwick";
  return nullptr;
}

fs::path domainFile(const fs::path& folder, const std::string& printerId) {
  return folder / (std::string(kPreferenceDomainPrefix) + printerId + ".plist");
}

std::vector<std::string> printersWithPreferences(const fs::path& folder) {
  std::vector<std::string> printers;
  std::error_code ec;
  const std::string prefix = kPreferenceDomainPrefix;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > prefix.size() + 6 && name.starts_with(prefix) && name.ends_with(".plist")) {
      printers.push_back(name.substr(prefix.size(), name.size() - prefix.size() - 6));
    }
  }
  std::sort(printers.begin(), printers.end());
  return printers;
}

std::optional<platform::plist::Dict> readDomainFile(const fs::path& file, std::string* error) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(file, ec))) {
    if (error) *error = trf("%1: no such preference file", {file.string()});
    return std::nullopt;
  }
  std::string detail;
  auto value = platform::plist::readFile(file.string(), &detail);
  if (!value) {
    if (error) {
      *error = detail.empty() ? trf("%1: not a property list", {file.string()})
                              : trf("%1: not a property list: %2", {file.string(), detail});
    }
    return std::nullopt;
  }
  const platform::plist::Dict* dict = value->asDict();
  if (!dict) {
    if (error) *error = trf("%1: the property list holds no dictionary", {file.string()});
    return std::nullopt;
  }
  return *dict;
}

}  // namespace jobwick::host
