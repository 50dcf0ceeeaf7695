// SPDX-License-Identifier: Apache-2.0
// What a job gets from the client's CUPS configuration when the command
// line does not say, as `lp` gives it: the default destination, and the
// options saved for a queue (the queue's defaults on the scheduler, the
// system's lpoptions file, the user's ~/.cups/lpoptions).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace jobwick::host {

using OptionList = std::vector<std::pair<std::string, std::string>>;

/// A destination as `lp -d` names it: a queue, or an instance of a queue
/// ("Office/duplex": the queue Office with the options saved for its
/// instance duplex by `lpoptions -p Office/duplex -o ...`).
struct Destination {
  std::string queue;
  std::string instance;  ///< empty for the queue itself
};

/// `name` split at its first '/' (a queue's name has none).
Destination splitDestination(const std::string& name);

/// The destination `lp` prints on without -d: the user's default
/// (lpoptions -d), else $LPDEST or $PRINTER, else the scheduler's default
/// destination; "QUEUE/INSTANCE" for an instance. nullopt when there is
/// none, or the scheduler cannot be asked.
std::optional<std::string> defaultDestination();

/// Whether `instance` of `queue` is defined in the lpoptions files this
/// user's libcups reads.
bool instanceDefined(const std::string& queue, const std::string& instance);

/// The options saved for `queue`, split by where they go.
struct SavedOptions {
  /// Job-ticket entries (the queue's defaults and lpoptions, the user's
  /// last): the panel restores them as if they were the job's own print
  /// settings, so that only what it then writes reaches the job.
  OptionList ticket;
  /// Every other saved option that differs from the queue's own default
  /// (which the scheduler applies by itself): sent as a job option, as
  /// `lp` sends it.
  OptionList job;
};

/// Splits the options libcups gives for a destination (`destination`: the
/// queue's description, its defaults and the lpoptions entries, merged) by
/// SavedOptions' rules. `queueDefaults` are the queue's own defaults, by
/// option name without "-default", as libcups writes them. Descriptive
/// attributes (printer-*, marker-*, device-uri, auth-info-required) are
/// no job options and are left out.
SavedOptions splitSavedOptions(const OptionList& destination, const OptionList& queueDefaults);

/// The options saved for `queue`, or for its `instance` when one is named
/// (as `lp -d QUEUE/INSTANCE` takes them). Empty when there are none, or the
/// queue or the scheduler cannot be asked (which the job's submission
/// reports).
SavedOptions savedOptionsFor(const std::string& queue, const std::string& instance = {});

}  // namespace jobwick::host
