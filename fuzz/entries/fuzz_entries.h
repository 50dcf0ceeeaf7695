// SPDX-License-Identifier: Apache-2.0
// Entry functions of the fuzz targets. Each takes one input of arbitrary
// bytes and drives it through the code that reads such data in the field:
// the Base64 and hexadecimal decoders, the job-ticket reader, the answer
// parser, the preference loader, the interface-file loader, the PPD model
// flags, and the host's settings-file, session-script and `ticket show`
// readers. The libFuzzer programs in fuzz/ call them, and so does the
// replay program that the normal test run uses to feed every kept crash
// input and seed through them again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace jobwick::fuzz {

/// One fuzz target: its name (also the name of its corpus and regression
/// folders) and its entry function. Entries answer 0 and stop the process
/// (abort) when an invariant of the code under test breaks.
struct Entry {
  const char* name;
  int (*run)(const std::uint8_t* data, std::size_t size);
};

/// Every target, in a fixed order.
std::span<const Entry> entries();

/// The target named `name`, or null.
const Entry* findEntry(const char* name);

/// Sets up the process once for the entries that build a panel controller:
/// a private temporary folder for preferences and the response file, pinned
/// clock, zone, user names, language and system encoding, alerts recorded
/// only, and the plug-in bundle at `bundlePath`. Later calls do nothing.
/// The folder is removed when the process exits.
void setUpEnvironment(const std::filesystem::path& bundlePath);

int base64Decode(const std::uint8_t* data, std::size_t size);
int hexDecode(const std::uint8_t* data, std::size_t size);
int ticketReader(const std::uint8_t* data, std::size_t size);
int answerParser(const std::uint8_t* data, std::size_t size);
int preferenceLoader(const std::uint8_t* data, std::size_t size);
int interfaceFile(const std::uint8_t* data, std::size_t size);
int ppdModelFlags(const std::uint8_t* data, std::size_t size);
int settingsFile(const std::uint8_t* data, std::size_t size);
int sessionScript(const std::uint8_t* data, std::size_t size);
int ticketShow(const std::uint8_t* data, std::size_t size);

}  // namespace jobwick::fuzz
