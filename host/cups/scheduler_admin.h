// SPDX-License-Identifier: Apache-2.0
// Administering a CUPS scheduler so that job tickets stay private: its
// configuration (cupsd.conf, read and written through the scheduler's own
// administration resource, so that a remote or private scheduler is served
// like the local one) and a queue's PPD, device and operation policy.
//
// A ticket's ciphers use keys any reader of the ticket can find, so the
// ticket is only as private as the job that carries it. The policy written
// here lets only a job's owner, authenticated (local clients are, by their
// peer credentials, without a password), and administrators read the job's
// values or hold, release, change or cancel it.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/common/temporary.h"

namespace jobwick::host {

/// The scheduler policy block `jobwick setup` keeps in cupsd.conf, from
/// "<Policy jobwick>" to "</Policy>", each line ending in a line break.
const std::string& privatePolicyBlock();

/// What withPrivatePolicy did to a configuration.
enum class PolicyEdit { kUnchanged, kAdded, kReplaced };

/// Puts privatePolicyBlock() into the configuration text `config`: nothing
/// changes when the block is there as written; a block of the same policy
/// name that differs is replaced in place; else the block is appended.
/// Every other byte of the text is kept. A block left open (no
/// "</Policy>") is replaced up to the end of the text, and a block that
/// ends the text without a line break gets one.
PolicyEdit withPrivatePolicy(std::string* config);

/// Sets the top-level directive `name` (such as "MaxHoldTime") to `value`:
/// the last such line outside any block is replaced when its value differs,
/// else a line is appended. Answers whether the text changed; every other
/// byte is kept.
bool withDirective(std::string* config, std::string_view name, std::string_view value);

/// The value of the top-level directive `name` ("" when there is none).
std::string directiveValue(std::string_view config, std::string_view name);

/// The value of the configuration's last LogLevel directive in lower case
/// ("warn", "debug"), or "" when it has none (the scheduler then logs at
/// "warn").
std::string logLevelOf(std::string_view config);

/// Whether a log level writes the filters' options, and so every job's
/// ticket, to the scheduler's error log ("debug", "debug2").
bool logsTickets(std::string_view logLevel);

/// The scheduler's configuration (cupsd.conf) as the scheduler gives it to
/// an administrator. nullopt with `error` naming the scheduler and its
/// reason (for instance that the caller is no administrator).
std::optional<std::string> readSchedulerConfig(std::string* error);

/// Replaces the scheduler's configuration with `config`; the scheduler then
/// reloads it (and is away for a moment). False with `error` naming the
/// scheduler and its reason.
bool writeSchedulerConfig(const std::string& config, std::string* error);

/// A change to a queue. Unset members are left as they are.
struct QueueChange {
  std::optional<std::filesystem::path> ppdFile;  ///< a PPD file to install
  std::optional<std::string> model;              ///< a ppd-name, as `lpinfo -m` lists
  std::optional<std::string> deviceURI;
  std::optional<std::string> opPolicy;  ///< printer-op-policy
  /// job-hold-until-default: "indefinite" holds every job that does not ask
  /// otherwise (for the agent), "no-hold" does not.
  std::optional<std::string> holdDefault;
  bool enable = false;  ///< make it idle and accepting jobs
};

/// Makes queue `name` or changes it (CUPS-Add-Modify-Printer). False with
/// `error` naming the queue and the scheduler's reason; `policyUnknown`
/// (when not null) is then set when the scheduler knows no policy of the
/// name given, as while it reloads a configuration that adds it.
bool modifyQueue(const std::string& name, const QueueChange& change, std::string* error,
                 bool* policyUnknown = nullptr);

/// The PPD of driver `model` (a ppd-name, as `lpinfo -m` lists it) as the
/// scheduler makes it, in a temporary file. Null with `error` naming the
/// model and the reason.
std::unique_ptr<TemporaryFile> fetchModelPPD(const std::string& model, std::string* error);

}  // namespace jobwick::host
