// SPDX-License-Identifier: Apache-2.0
// Per-user defaults with persistent domains: one property-list file per
// domain (NAME.plist) in the user's preferences folder, written atomically.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/plist.h"

namespace platform {

class UserDefaults {
 public:
  /// The shared defaults object of the process (created on first use), or
  /// null when the preferences folder cannot be determined.
  static UserDefaults* standardUserDefaults();
  /// Writes the shared object's unsaved domains, then drops it and every
  /// cached domain, so that the next read sees what other processes wrote.
  static void resetStandardUserDefaults();

  /// The folder that holds the domain files: the override, else
  /// $XDG_CONFIG_HOME/jobwick/preferences, else ~/.config/jobwick/preferences.
  static std::optional<std::filesystem::path> preferencesFolder();
  /// Sets (or with nullopt clears) the folder override; the shared object
  /// is reset so that the next standardUserDefaults() uses the new folder.
  static void setPreferencesFolderOverride(std::optional<std::filesystem::path> folder);

  /// The domain's dictionary, or nullopt when it does not exist. A file that
  /// cannot be parsed (or has no dictionary at the top) counts as missing;
  /// it is first moved aside to NAME.plist.corrupt so that nothing is
  /// destroyed. A link or anything but a plain file at NAME.plist is never
  /// followed and counts as missing.
  std::optional<plist::Dict> persistentDomainForName(const std::string& name);
  /// Replaces the whole domain (kept in memory until synchronize(); reads
  /// answer it from then on). A bad name makes the next synchronize() fail.
  void setPersistentDomain(const plist::Dict& domain, const std::string& name);
  /// Writes every changed domain to disk: a temporary file in the same
  /// folder, flushed, then renamed over the old file, all under an advisory
  /// lock on the domain. Answers false when a write failed or was refused
  /// for a NUL in a text, as updatePersistentDomain refuses it (the old file
  /// then stays as it was, and the unsaved domain is dropped from memory so
  /// that reads answer what is on disk).
  bool synchronize();

  /// What updatePersistentDomain did.
  enum class Update { kUnchanged, kWritten, kFailed };
  /// Reads the domain from disk and, when `edit` answers true, replaces it
  /// with what `edit` left, all under the domain's lock: a writer in another
  /// process waits until this one is done and then reads what it wrote, so
  /// neither change is lost. `edit` gets the domain as it is on disk
  /// (nullopt when missing; a corrupt file is moved aside as on reading).
  /// `edit` may be called twice: first without the lock, and when it
  /// answers true, again under the lock on the domain as read then (so it
  /// must only depend on the domain it gets). Unsaved domains are written
  /// first. kFailed when the lock or the write
  /// could not be had, or the write is refused because a text would lose a
  /// NUL in it: one of `edit`'s, or one in the file (a binary list another
  /// program wrote, whose entries a rewrite would cut). The old file then
  /// stays as it was.
  Update updatePersistentDomain(const std::string& name,
                                const std::function<bool(std::optional<plist::Dict>&)>& edit);

  /// A write of a domain that failed, and why (the system's error text).
  struct FailedWrite {
    std::string domain;
    std::string reason;
  };
  /// The writes of every defaults object of the process that failed since
  /// the last call, oldest first (the last 16), forgotten once taken. The
  /// panel has no way to tell the user; the program around it reports them.
  static std::vector<FailedWrite> takeFailedWrites();

  /// How many domain files the process has parsed so far. A read finds the
  /// bytes of a file it has parsed or written before already parsed (the
  /// last few files, up to 24 MiB), so a large domain read again and again
  /// costs one parse; tests and benchmarks count them.
  static std::size_t domainFilesParsed();

  /// A defaults object of its own over `folder` (the shared one uses
  /// preferencesFolder()); the folder is created, mode 0700, on first write.
  explicit UserDefaults(std::filesystem::path folder);

  /// Whether `name` can be a persistent domain: not empty, at most 241
  /// bytes, no "/" or NUL, not starting with "." (so never "." or "..").
  /// Other names are missing domains and failed writes.
  static bool isValidDomainName(const std::string& name);

 private:
  std::filesystem::path folder_;
  std::map<std::string, std::optional<plist::Dict>> cache_;
  std::map<std::string, plist::Dict> pending_;
  // A replacement was refused (bad name) since the last synchronize().
  bool refusedWrite_ = false;
};

}  // namespace platform
