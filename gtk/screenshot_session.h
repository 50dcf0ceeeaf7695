// SPDX-License-Identifier: Apache-2.0
// A session's panel in a window of its own, drawn into a PNG file: the
// developer's way to see the panel as a session leaves it, and the tests'
// way to compare the widgets with the controls.
//
//   jobwick-dialog --script SESSION --screenshot OUT.png [session options]
//                  [--widget-states FILE]
#pragma once

#include "host/cli/cli.h"

namespace jobwick::gtkui {

/// Runs the session script of --script (as `jobwick session`, with the
/// options of that command) with every user event going through the GTK
/// widgets, then draws the panel into the file of --screenshot and, with
/// --widget-states, writes what the widgets show. Answers the exit status:
/// the session's, else 1 when there is no display, the session never
/// showed the panel or a file cannot be written; messages go to stderr.
int runScreenshotSession(host::ParsedArgs& args);

}  // namespace jobwick::gtkui
