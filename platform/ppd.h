// SPDX-License-Identifier: Apache-2.0
// PPD access through libcups. The host opens the printer's PPD with
// openPPD(); the panel reads attributes through these wrappers, which keep
// libcups' deprecated PPD calls inside one file of the platform.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <cups/ppd.h>

#include "platform/c_handles.h"  // PPDFile

namespace platform {

/// Opens and parses a PPD file. Answers null when the file cannot be read
/// or is not a PPD; `error` (when given) then names the problem and line
/// (and is cleared on success).
PPDFile openPPD(const std::string& path, std::string* error = nullptr);

/// The value string of the first attribute `keyword` (any specifier), as
/// ppdFindAttr finds it; nullopt when the attribute is absent or has no
/// value string.
std::optional<std::string> ppdAttributeValue(ppd_file_t* ppd, const char* keyword);

/// Whether the PPD has an attribute `keyword` at all (with or without value).
bool ppdHasAttribute(ppd_file_t* ppd, const char* keyword);

/// The *ModelName value as the file's raw bytes (not yet decoded);
/// nullopt when the PPD declares none.
std::optional<std::string> ppdModelNameBytes(ppd_file_t* ppd);

/// The value strings of a few main keywords of a PPD, read without parsing
/// the rest of it: what ppdAttributeValue would answer for each of
/// `keywords` (names compared without regard to case; the first entry of
/// that name, whatever its option keyword), as
/// the file's raw bytes. A quoted value may span lines; an unquoted one ends
/// with its line. Keywords the PPD does not give are absent from the answer.
/// nullopt when the file cannot be read or does not start as a PPD
/// ("*PPD-Adobe:"); `error` then says why. Costs one pass over the file,
/// however many options the PPD has.
std::optional<std::map<std::string, std::string>> scanPPDKeywords(
    const std::string& path, const std::vector<std::string>& keywords,
    std::string* error = nullptr);

}  // namespace platform
