// SPDX-License-Identifier: Apache-2.0
// jobwick agent with windows: the long-running per-user agent
// (agent_main.cpp).
#pragma once

#include "host/cli/cli.h"

namespace jobwick::gtkui {

/// Runs the agent until it is ended (or, with --once or --jobs N, after
/// that many jobs). Answers the exit status: 0 when every job handled was
/// released with its ticket, 1 when another agent of the user runs or a
/// job was cancelled or failed, 3 when a panel refused, 4 when the session
/// script cannot be read. Needs a display.
int runAgentWindows(const host::ParsedArgs& args);

}  // namespace jobwick::gtkui
