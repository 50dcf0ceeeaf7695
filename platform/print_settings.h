// SPDX-License-Identifier: Apache-2.0
// Print settings, printing session and printer: the job's dictionary of
// string keys and values, and the printer the dialog prints to.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/url.h"

namespace platform {

/// The job's print settings: string keys mapped to string values, and the
/// job's name. Owned by the host.
class PrintSettings {
 public:
  /// The value under `key`, or nullopt.
  std::optional<std::string> value(std::string_view key) const;
  /// Stores `value` under `key`; nullopt removes the key.
  void setValue(std::string_view key, std::optional<std::string> value);
  bool contains(std::string_view key) const;
  const std::map<std::string, std::string, std::less<>>& entries() const { return entries_; }

  /// The job's name; nullopt when the job has none.
  const std::optional<std::string>& jobName() const { return jobName_; }
  void setJobName(std::optional<std::string> name) { jobName_ = std::move(name); }

 private:
  std::map<std::string, std::string, std::less<>> entries_;
  std::optional<std::string> jobName_;
};

/// A printer as the print system knows it.
class Printer {
 public:
  Printer(std::string identifier, std::optional<std::string> deviceURI)
      : identifier_(std::move(identifier)), deviceURI_(std::move(deviceURI)) {}
  const std::string& identifier() const { return identifier_; }
  /// The device URI text as configured; nullopt when there is none.
  const std::optional<std::string>& deviceURI() const { return deviceURI_; }

 private:
  std::string identifier_;
  std::optional<std::string> deviceURI_;
};

/// The dialog's printing session; knows the current printer.
class PrintSession {
 public:
  explicit PrintSession(std::optional<Printer> printer) : printer_(std::move(printer)) {}
  const Printer* currentPrinter() const { return printer_ ? &*printer_ : nullptr; }

 private:
  std::optional<Printer> printer_;
};

// Print-system style access, as the panel code calls it. Every function
// tolerates null handles and then does nothing (getters answer nothing).

/// Status answered by the print-system calls.
using OSStatus = int;
inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus kPMInvalidParameter = -50;
inline constexpr OSStatus kPMKeyNotFound = -30899;

OSStatus PMSessionGetCurrentPrinter(const PrintSession* session, const Printer** printer);
/// The printer's device URI as a URL; nullopt without a URI or when the URI
/// cannot be parsed.
std::optional<URL> PMPrinterCopyDeviceURI(const Printer* printer);
/// The printer's identifier; empty for a null printer.
std::string PMPrinterGetID(const Printer* printer);
std::optional<std::string> PMPrintSettingsGetValue(const PrintSettings* settings,
                                                   std::string_view key);
/// Stores a value (nullopt removes it). `locked` is accepted and ignored.
OSStatus PMPrintSettingsSetValue(PrintSettings* settings, std::string_view key,
                                 std::optional<std::string> value, bool locked = false);
OSStatus PMPrintSettingsGetJobName(const PrintSettings* settings, std::string* name);

}  // namespace platform
