// SPDX-License-Identifier: Apache-2.0
// Job tickets as CUPS gives them back: the output of `lpoptions -p QUEUE`,
// ipptool's listing of a job's attributes, and a submitted job's attributes
// asked for through IPP Get-Job-Attributes.
#pragma once

#include <string>
#include <string_view>

#include "platform/print_settings.h"

namespace jobwick::host {

/// Whether `key` is a job-ticket entry ("jp.co.quivo.print." keys).
bool isTicketKey(std::string_view key);

/// The ticket entries of `lpoptions -p QUEUE` output: one line of options
/// separated by spaces, values quoted or backslash-escaped as lpoptions
/// writes them, keys without values and other options mixed in (those are
/// left out). Answers false when the text holds no option at all.
bool parseLpoptionsOutput(std::string_view text, platform::PrintSettings* settings,
                          std::string* error);

/// The ticket entries (and job-name) of ipptool's verbose output, lines
/// "    NAME (TYPE) = VALUE". Answers false when no such line is found.
bool parseIpptoolOutput(std::string_view text, platform::PrintSettings* settings,
                        std::string* error);

/// Whether `text` looks like ipptool output (a "NAME (TYPE) = VALUE" line).
bool looksLikeIpptoolOutput(std::string_view text);

/// The print settings in ticket text as `ticket show` reads it. `format` is
/// "lpoptions", "ipptool", or "auto", "json" and "lines": ipptool output when
/// the text looks like it (auto only), else a settings file's JSON or option
/// lines (parseSettingsText). Answers false when the text is not in that
/// form; `error` then says why, without naming the source.
bool parseTicketText(std::string_view text, std::string_view format,
                     platform::PrintSettings* settings, std::string* error);

/// The ticket entries and job name of job `queueAndId` ("QUEUE-ID", as
/// `jobwick print` and lp print it), asked of the CUPS scheduler. Answers
/// false with `error` naming the job and the scheduler's reason.
bool readJobTicket(const std::string& queueAndId, platform::PrintSettings* settings,
                   std::string* error);

}  // namespace jobwick::host
