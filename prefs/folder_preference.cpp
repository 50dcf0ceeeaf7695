// SPDX-License-Identifier: Apache-2.0
// The folder-list cache: the filing folders the printer reported at the last
// fetch, kept in the preference record with the address the fetch used, so
// that the folder menu offers them at the next construction without asking
// the printer again.
//
// The cache is loaded for every printer, those whose PPD declares the print
// system included: construction loads it before it reads the PPD's model
// flags, so no flag could decide otherwise.
#include <cstdint>
#include <string>

#include "pde/JC.h"
#include "platform/trace.h"
#include "prefs/preference_load.h"
#include "prefs/preference_store.h"

using platform::plist::Array;
using platform::plist::Dict;
namespace entry = jobwick::prefs::entry;

namespace {

// Flags of a folder entry.
constexpr const char* kFlagKeys[] = {"password", "dir", "add"};

// A flag as the panel reads it: a boolean as it is, a number as true when it
// is not zero (as the defaults database reads a number as a boolean),
// anything else as false.
bool flagOf(const platform::plist::Value& value) {
  if (const bool* flag = value.asBool()) return *flag;
  if (const std::int64_t* integer = value.asInteger()) return *integer != 0;
  if (const double* real = value.asReal()) return *real != 0;
  return false;
}

// A cached entry as the panel can use it: nullopt for an entry that is not a
// dictionary or has no string "name" (a menu item needs a title), flags
// turned into booleans (so a protected folder stays protected when the
// cache is written back). Everything else of the entry is kept.
std::optional<FolderEntry> usableEntry(const platform::plist::Value& value) {
  const Dict* folder = value.asDict();
  if (!folder) return std::nullopt;
  const auto name = folder->find("name");
  if (name == folder->end() || !name->second.asString()) return std::nullopt;
  FolderEntry result = *folder;
  for (const char* key : kFlagKeys) {
    auto flag = result.find(key);
    if (flag != result.end()) flag->second = flagOf(flag->second);
  }
  return result;
}

}  // namespace

void JC::GetFolderPreference() {
  jobwick::prefs::applyFolderPreference(*this, jobwick::prefs::readRecord(preferenceName));
}

void jobwick::prefs::applyFolderPreference(JC& jc, const std::optional<Dict>& record) {
  _PDEProlog(&jc, "GetFolderPreference:");
  // No record or no "files" entry: no folders were ever fetched for this
  // printer, and the list stays nil. A "files" entry that is not a list is
  // a damaged cache and gives an empty list.
  // The entries are made when the list is first looked at: a print that
  // never shows the folder menu never reads them.
  const auto files = record ? record->find(entry::kFiles) : Dict::const_iterator();
  if (record && files != record->end()) {
    const platform::plist::Value& stored = files->second;
    const bool isArray = stored.isUnreadArrayText() || stored.asArray();
    jc.setFolderList(isArray ? FolderList::ofStored(stored, usableEntry) : FolderList());
  }
  _PDEEpilog(&jc, "GetFolderPreference:=void");
}

bool JC::SaveFolderPreference() {
  _PDEProlog(this, "SaveFolderPreference:");
  const bool written = jobwick::prefs::updateRecord(preferenceName, [this](Dict& record) {
    if (printersAddressEditText) record[entry::kAddress] = printersAddressEditText->stringValue();
    if (folderList) {
      Array files;
      files.reserve(folderList->size());
      for (const FolderEntry& folder : *folderList) files.emplace_back(folder);
      record[entry::kFiles] = std::move(files);
    }
  });
  _PDEEpilog(this, "SaveFolderPreference:=BOOL(%s)", written ? "YES" : "NO");
  return written;
}
