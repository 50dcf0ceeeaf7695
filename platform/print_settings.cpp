// SPDX-License-Identifier: Apache-2.0
// Print settings, the printing session and the printer, with the
// print-system style accessors the panel code calls.
#include "platform/print_settings.h"

namespace platform {

std::optional<std::string> PrintSettings::value(std::string_view key) const {
  const auto it = entries_.find(key);
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

void PrintSettings::setValue(std::string_view key, std::optional<std::string> value) {
  if (!value) {
    const auto it = entries_.find(key);
    if (it != entries_.end()) entries_.erase(it);
    return;
  }
  // A key already there keeps its node: the ticket rewrites the same keys
  // at every save, and a new key string per write costs more than the rest.
  const auto it = entries_.lower_bound(key);
  if (it != entries_.end() && it->first == key) {
    it->second = std::move(*value);
  } else {
    entries_.emplace_hint(it, std::string(key), std::move(*value));
  }
}

bool PrintSettings::contains(std::string_view key) const {
  return entries_.contains(key);
}

OSStatus PMSessionGetCurrentPrinter(const PrintSession* session, const Printer** printer) {
  if (printer == nullptr) return kPMInvalidParameter;
  *printer = session != nullptr ? session->currentPrinter() : nullptr;
  return *printer != nullptr ? noErr : kPMInvalidParameter;
}

std::optional<URL> PMPrinterCopyDeviceURI(const Printer* printer) {
  if (printer == nullptr || !printer->deviceURI()) return std::nullopt;
  return URL::parse(*printer->deviceURI());
}

std::string PMPrinterGetID(const Printer* printer) {
  return printer != nullptr ? printer->identifier() : std::string();
}

std::optional<std::string> PMPrintSettingsGetValue(const PrintSettings* settings,
                                                   std::string_view key) {
  if (settings == nullptr) return std::nullopt;
  return settings->value(key);
}

OSStatus PMPrintSettingsSetValue(PrintSettings* settings, std::string_view key,
                                 std::optional<std::string> value, bool /*locked*/) {
  if (settings == nullptr) return kPMInvalidParameter;
  settings->setValue(key, std::move(value));
  return noErr;
}

OSStatus PMPrintSettingsGetJobName(const PrintSettings* settings, std::string* name) {
  if (settings == nullptr || name == nullptr) return kPMInvalidParameter;
  if (!settings->jobName()) return kPMKeyNotFound;
  *name = *settings->jobName();
  return noErr;
}

}  // namespace platform
