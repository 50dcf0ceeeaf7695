// SPDX-License-Identifier: Apache-2.0
// Construction's reading of the preference record: the check of the
// record's model and release, the remembered entries and the folder-list
// cache, from one read of the store.
#pragma once

#include <optional>

#include "pde/JC.h"
#include "platform/plist.h"

namespace jobwick::prefs {

/// What construction does with the preferences: JC::CheckPreference, then
/// JC::GetUserPreference and JC::GetFolderPreference, these two taking the
/// record that the check left in the store rather than reading the domain
/// again (they read it only when the check could not write its record).
void loadPreferences(JC& jc);

/// JC::GetUserPreference from a record already read (nullopt: none).
void applyUserPreference(JC& jc, const std::optional<platform::plist::Dict>& record);

/// JC::GetFolderPreference from a record already read (nullopt: none).
void applyFolderPreference(JC& jc, const std::optional<platform::plist::Dict>& record);

}  // namespace jobwick::prefs
