// PPD access through libcups. The host opens the printer's PPD with
// openPPD(); the panel reads attributes through these wrappers, which keep
// libcups' deprecated PPD calls inside one file of the platform.
#pragma once

#include <memory>
#include <optional>
#include <string>

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

}  // namespace platform
