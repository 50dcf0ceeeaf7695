// SPDX-License-Identifier: Apache-2.0
// The per-printer preference store: one persistent user-defaults domain per
// printer, holding the panel's preference record under the build's record
// key. Every preference operation of the controller opens the store through
// these two functions, so that the cached defaults are dropped before each
// read and every write replaces the whole domain while keeping the entries
// it does not own.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/plist.h"

namespace jobwick::prefs {

/// Entries of the preference record. The record is shared with every
/// earlier and later release of the panel, so these names never change.
namespace entry {
inline constexpr char kModelName[] = "Model Name";
inline constexpr char kReleaseNumber[] = "Release Number";
inline constexpr char kHoldButton[] = "hold button";
inline constexpr char kPassCode[] = "pass code";
inline constexpr char kAuthentication[] = "authentication";
inline constexpr char kUserLoginName[] = "user login name";
inline constexpr char kUserPassword[] = "user password";
inline constexpr char kUserNumber[] = "user number";
inline constexpr char kAccountNumber[] = "account number";
inline constexpr char kUserName[] = "user name";
inline constexpr char kJobName[] = "job name";
inline constexpr char kFolderPassCode[] = "folder pass code";
inline constexpr char kFolderName[] = "folder name";
inline constexpr char kAddress[] = "address";
inline constexpr char kFiles[] = "files";
}  // namespace entry

/// The release number a record must carry to be kept.
inline constexpr char kReleaseNumber[] = "2.00";

/// The build's record key ("Job Handling" or "Jobwick").
const char* recordKey();

/// Reads the preference record of the domain `domainName` afresh (cached
/// defaults are dropped first, so what other processes wrote is seen).
/// Answers nullopt when the name is absent, there is no defaults object, no
/// such domain, no record, or the record is not a dictionary.
std::optional<platform::plist::Dict> readRecord(const std::optional<std::string>& domainName);

/// Reads the domain `domainName` from disk, hands `edit` a copy of the
/// record (an empty one when the domain or record is missing or the record
/// is not a dictionary), then puts the edited record back under the record
/// key and replaces the domain on disk, all under the domain's lock, so that
/// a change another process makes meanwhile is never lost. Every other entry
/// of the domain is written back unchanged. When the domain exists and
/// `edit` left its record as it was, nothing is written (the file keeps its
/// bytes and time stamp) and the answer is true. Answers false, without
/// calling `edit`, when the name is absent, there is no defaults object or
/// the lock cannot be had, and false when writing the domain failed (the
/// defaults object keeps the failure for the program to report).
bool updateRecord(const std::optional<std::string>& domainName,
                  const std::function<void(platform::plist::Dict& record)>& edit);

/// The record the store holds once updateRecord is done: the one found
/// there when it was left as it was, else the one written. `known` is false
/// when that cannot be told without reading the domain again: the name or
/// the defaults object was missing, or writing failed.
struct StoredRecord {
  bool known = false;
  std::optional<platform::plist::Dict> record;
};

/// updateRecord that also tells what the store holds afterwards (`stored`).
bool updateRecord(const std::optional<std::string>& domainName,
                  const std::function<void(platform::plist::Dict& record)>& edit,
                  StoredRecord* stored);

}  // namespace jobwick::prefs
