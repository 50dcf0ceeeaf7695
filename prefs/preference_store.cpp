// SPDX-License-Identifier: Apache-2.0
#include "prefs/preference_store.h"

#include <exception>

#include "pde/models/profile.h"
#include "platform/user_defaults.h"

namespace jobwick::prefs {

namespace {

using platform::UserDefaults;
using platform::plist::Dict;

// Drops whatever the process cached, then answers the shared defaults
// object (null when the preferences folder cannot be determined).
UserDefaults* freshDefaults() {
  UserDefaults::resetStandardUserDefaults();
  return UserDefaults::standardUserDefaults();
}

// The record of a domain, when it is there and is a dictionary. A record of
// another type was not written by this panel and counts as missing.
std::optional<Dict> recordOf(const Dict& domain) {
  const auto found = domain.find(recordKey());
  if (found == domain.end()) return std::nullopt;
  const Dict* record = found->second.asDict();
  if (!record) return std::nullopt;
  return *record;
}

}  // namespace

const char* recordKey() {
  return kModelProfile.preferenceRecordKey;
}

std::optional<Dict> readRecord(const std::optional<std::string>& domainName) {
  if (!domainName) return std::nullopt;
  try {
    UserDefaults* defaults = freshDefaults();
    if (!defaults) return std::nullopt;
    const std::optional<Dict> domain = defaults->persistentDomainForName(*domainName);
    if (!domain) return std::nullopt;
    return recordOf(*domain);
  } catch (const std::exception&) {
    // Preferences are a convenience: a store that cannot be read is no store.
    return std::nullopt;
  }
}

bool updateRecord(const std::optional<std::string>& domainName,
                  const std::function<void(Dict& record)>& edit) {
  return updateRecord(domainName, edit, nullptr);
}

bool updateRecord(const std::optional<std::string>& domainName,
                  const std::function<void(Dict& record)>& edit, StoredRecord* after) {
  if (after) *after = StoredRecord{};
  if (!domainName) return false;
  try {
    UserDefaults* defaults = freshDefaults();
    if (!defaults) return false;
    // Read, edit and write under the domain's lock: another dialog saving
    // the same domain meanwhile waits, then edits what this one wrote.
    std::optional<Dict> edited;
    const UserDefaults::Update update =
        defaults->updatePersistentDomain(*domainName, [&](std::optional<Dict>& domain) {
          const std::optional<Dict> before = domain ? recordOf(*domain) : std::nullopt;
          Dict record = before.value_or(Dict{});
          edit(record);
          // The file already holds exactly this record: writing it again
          // would only cost a write, two flushes and a rename.
          const bool same = domain && before == record;
          if (!same) {
            if (!domain) domain.emplace();
            (*domain)[recordKey()] = record;
          }
          edited = std::move(record);
          return !same;
        });
    if (update == UserDefaults::Update::kFailed) return false;
    if (after) *after = StoredRecord{true, std::move(edited)};
    return true;
  } catch (const std::exception&) {
    if (after) *after = StoredRecord{};
    return false;
  }
}

}  // namespace jobwick::prefs
