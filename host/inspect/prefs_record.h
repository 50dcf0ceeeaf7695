// SPDX-License-Identifier: Apache-2.0
// Where the panel keeps a printer's preference record, read without the
// plug-in: the domain file jp.co.quivo.mfp.<printer>.plist in the user's
// preferences folder, and the record under the build's record key.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/plist.h"

namespace jobwick::host {

/// The prefix of every printer's preference domain.
inline constexpr char kPreferenceDomainPrefix[] = "jp.co.quivo.mfp.";

/// The record key of a model's build: "Job Handling" (vk7300) or "Jobwick"
/// (vk410e); nullptr for another model name.
const char* recordKeyForModel(const std::string& model);

/// The domain file of a printer in `folder`.
std::filesystem::path domainFile(const std::filesystem::path& folder, const std::string& printerId);

/// The printers that have a domain file in `folder`, sorted.
std::vector<std::string> printersWithPreferences(const std::filesystem::path& folder);

/// Reads a domain file without changing it (a damaged file is reported, not
/// moved aside as the defaults store would). nullopt when it is missing or
/// not a property list with a dictionary at the top; `error` says which.
std::optional<platform::plist::Dict> readDomainFile(const std::filesystem::path& file,
                                                    std::string* error);

}  // namespace jobwick::host
