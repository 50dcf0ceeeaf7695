// SPDX-License-Identifier: Apache-2.0
// The print dialog driven by the options tests and scripts give
// jobwick-dialog in place of a person (`jobwick dialog --help-testing`):
//
//   --script SESSION        the session's steps on the tab's widgets, then
//                           Print (needs FILE or --choose-file, and --printer)
//   --print, --cancel       press Print or Cancel once the panel shows
//   --select-printer QUEUE  choose each queue in turn in the printer list
//   --choose-file FILE      answer the file chooser with FILE (--cancel alone
//                           presses the chooser's Cancel)
//   --enter ID=TEXT         replace the text of the first panel's field ID
//   --click ID              click the first panel's control ID (after the
//                           entries, before any --select-printer)
//   --cancel-after SECONDS  press Cancel once SECONDS have passed, whatever
//                           the dialog is doing then (a folder fetch)
//   --widget-states FILE    write what the dialog showed, as JSON
//   --screenshot OUT.png    draw the whole dialog, the panel's tab showing,
//                           into OUT.png, then Cancel (unless --print)
#pragma once

#include <optional>
#include <string>

#include "gtk/print_window.h"
#include "host/cli/cli.h"

namespace jobwick::gtkui {

class DialogScript {
 public:
  /// The options of `args`, which must outlive the script.
  explicit DialogScript(const host::ParsedArgs& args) : args_(args) {}

  /// Whether any of the options is given; without one the dialog is left
  /// to its user.
  bool active() const;
  /// Whether the options press the dialog's buttons (--script, --print,
  /// --cancel): the plug-in's alerts are then dismissed as they show.
  bool automatic() const;

  /// What can be checked before a window opens. Answers the exit status to
  /// end with (the reason written to stderr), or nullopt when all is well.
  std::optional<int> check() const;
  /// How the file chooser is answered (--choose-file, or --cancel alone);
  /// empty when its user answers it.
  ChooserAnswer chooserAnswer() const;

  /// Takes the presented `window` (printing `file`) through the options'
  /// steps to its end. Answers the exit status; messages go to stderr.
  int run(PrintWindow& window, const std::string& file) const;

 private:
  int runSession(PrintWindow& window, const std::string& file) const;
  int pressButtons(PrintWindow& window, const std::string& file) const;
  bool drawDialog(PrintWindow& window, const std::string& picture, std::string* error) const;

  const host::ParsedArgs& args_;
};

}  // namespace jobwick::gtkui
