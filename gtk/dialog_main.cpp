// SPDX-License-Identifier: Apache-2.0
// jobwick-dialog: the panel in GTK 4 widgets. `jobwick dialog` runs this
// program, so that the headless jobwick never loads GTK.
//
//   jobwick-dialog [FILE] [--printer QUEUE] [job and user options]
//
// opens the GTK print dialog for FILE with the queue's panel as a tab
// (print_window.h); `--help` shows this use alone. Tests and scripts drive
// the program further with options of their own, which `--help-testing`
// lists: the print dialog scripted (print_window_script.h), and
//
//   jobwick-dialog --script SESSION --screenshot OUT.png [session options]
//
// a session run with every user event going through the GTK widgets, the
// panel drawn into OUT.png afterwards (screenshot_session.h).
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "gtk/agent_main.h"
#include "gtk/main_loop.h"
#include "gtk/print_window.h"
#include "gtk/print_window_script.h"
#include "gtk/screenshot_session.h"
#include "host/cli/commands.h"
#include "host/cli/dialog_options.h"
#include "host/common/translate.h"
#include "host/cups/ticket_privacy.h"

namespace jobwick::gtkui {
namespace {

namespace fs = std::filesystem;
using host::N_;
using host::tr;
using host::trf;

/// Writes "jobwick: WHO: MESSAGE" and, when `help` is given, the line
/// naming the help that shows the usage.
void complain(const char* who, const std::string& message, const char* help = nullptr) {
  std::cerr << "jobwick: " << who << ": " << message << "\n";
  if (help) std::cerr << trf("Run '%1' for usage.", {help}) << "\n";
}

const char* const kUsage =
    N_("Usage: jobwick dialog [FILE] [options]\n"
       "\n"
       "Opens the GTK print dialog for FILE (a PDF or PostScript file; without FILE a file\n"
       "chooser asks for one). The queue selected in the dialog (--printer picks it first)\n"
       "is served by the plug-in bundle its PPD names, as for 'jobwick print': the bundle's\n"
       "panel shows as a tab of the dialog, and choosing a queue of the other model swaps\n"
       "it. Print asks the panel (save, then shouldPrint): when it refuses, its alert shows\n"
       "and the dialog stays open; else FILE is printed through GTK with every job-ticket\n"
       "entry as the job option of the same name. Cancel prints nothing. Needs a display\n"
       "(DISPLAY or WAYLAND_DISPLAY).\n"
       "\n"
       "Exit status: 0 printed, 1 cancelled, no file chosen or a failure, 2 usage, 3 the\n"
       "panel refused to print.\n"
       "\n"
       "  --printer QUEUE         the CUPS queue to select first\n"
       "  --settings FILE         the job's print settings to restore (JSON or key=value\n"
       "                          lines)\n"
       "  --set KEY=VALUE         one print setting, applied after --settings (repeatable)\n"
       "  --language LANG         the user's language (en, ja, ...)\n"
       "  --prefs-dir DIR         the user's preferences folder; default: $JOBWICK_PREFS_DIR,\n"
       "                          else ~/.config/jobwick/preferences\n"
       "  --help                  show this help\n");

// The options tests and scripts drive the program with, kept out of the
// user's help.
const char kTestingUsage[] =
    "Usage: jobwick dialog FILE --printer QUEUE --script SESSION [--print | --cancel] [options]\n"
    "       jobwick dialog --choose-file FILE [--printer QUEUE] [--script SESSION]\n"
    "                      [--print | --cancel] [options]\n"
    "       jobwick dialog --script SESSION --screenshot OUT.png [options]\n"
    "       jobwick dialog FILE --printer QUEUE --screenshot OUT.png [options]\n"
    "\n"
    "The options with which tests and scripts drive the print dialog of 'jobwick dialog\n"
    "--help' in place of its user, and draw a session's panel into a picture.\n"
    "\n"
    "With FILE (or --choose-file FILE), --printer and --script SESSION, the session's\n"
    "steps are made on the widgets of that tab and Print is pressed afterwards (--cancel\n"
    "presses Cancel).\n"
    "\n"
    "With --script SESSION and --screenshot OUT.png (no FILE), the session runs through\n"
    "the panel's GTK widgets in a window of their own and the panel is drawn into\n"
    "OUT.png; the printer is the script's own. With FILE and --printer instead, the\n"
    "whole print dialog is drawn, the panel's tab showing what --settings restored, and\n"
    "Cancel is pressed.\n"
    "\n"
    "The options of 'jobwick session' apply (--save-settings FILE saves the print\n"
    "settings, --json writes the session's report, --language ja shows the panel in\n"
    "Japanese).\n"
    "\n"
    "Exit status: as for the print dialog, and 0 when the screenshot is made, 4 bad\n"
    "input.\n"
    "\n"
    "  --script SESSION        the session script whose steps are made on the widgets\n"
    "  --screenshot OUT.png    without FILE: draw the session's panel into OUT.png;\n"
    "                          with FILE: draw the print dialog\n"
    "  --print, --cancel       press Print or Cancel once the panel shows\n"
    "  --select-printer QUEUE  choose QUEUE in the printer list first (repeatable)\n"
    "  --enter ID=TEXT         with FILE and no --script: replace the text of the\n"
    "                          field ID in the first queue's panel (repeatable)\n"
    "  --click ID              then click the control ID in that panel (repeatable)\n"
    "  --cancel-after SECONDS  press Cancel once SECONDS have passed, whatever the\n"
    "                          dialog is doing then\n"
    "  --choose-file FILE      without FILE: pick FILE in the file chooser once it shows\n"
    "                          and press its Print button (--cancel alone presses the\n"
    "                          chooser's Cancel)\n"
    "  --widget-states FILE    write what the widgets show as JSON\n"
    "  --help-testing          show this help\n";

/// The options of the command line: those of `jobwick session` (the job and
/// user options among them), the print dialog's own, and those for tests.
/// Empty when the session command is missing.
std::vector<host::OptionSpec> dialogOptions() {
  const host::Subcommand* session = nullptr;
  for (const auto& command : host::subcommands()) {
    if (command.words.size() == 1 && command.words.front() == "session") session = &command;
  }
  if (!session) return {};
  std::vector<host::OptionSpec> options = session->options;
  options.push_back({"--printer", "QUEUE", "the queue to select first"});
  options.push_back({host::kAllowExposedTicketOption, "",
                     "send a ticket that carries a secret even to a queue whose tickets other "
                     "users can read"});
  options.push_back({"--help-testing", "", "the options for tests and scripts"});
  // For tests and scripts.
  options.push_back({"--script", "SESSION", "the session script to run"});
  options.push_back({"--screenshot", "OUT.png", "where the picture of the panel goes"});
  options.push_back({"--widget-states", "FILE", "what the widgets show, as JSON"});
  options.push_back({"--print", "", "press Print once the panel shows"});
  options.push_back({"--cancel", "", "press Cancel once the panel shows"});
  options.push_back({"--select-printer", "QUEUE", "choose QUEUE in the printer list", true});
  options.push_back({"--choose-file", "FILE", "pick FILE in the file chooser once it shows"});
  options.push_back({"--enter", "ID=TEXT", "replace the text of a field of the panel", true});
  options.push_back({"--click", "ID", "click a control of the panel", true});
  options.push_back({"--cancel-after", "SECONDS", "press Cancel after SECONDS"});
  return options;
}

/// `jobwick dialog [FILE] [options]` without a screenshot session: the
/// print dialog for FILE (asked for with the file chooser when absent),
/// left to its user unless options for tests and scripts drive it
/// (print_window_script.h). Answers the exit status; messages go to stderr.
int runPrintDialog(host::ParsedArgs& args) {
  // The options for tests and scripts (none in a person's run) hook in at
  // the file chooser and once the dialog shows.
  DialogScript script(args);
  if (const auto status = script.check()) return *status;
  if (!openDisplay()) {
    complain("dialog", tr("cannot open the display (is DISPLAY set?)"));
    return host::kExitFailure;
  }
  std::error_code ec;
  fs::path file;
  if (args.positionals.empty()) {
    std::string error;
    auto chosen = chooseDocument(script.chooserAnswer(), &error);
    if (!error.empty()) {
      complain("dialog", trf("%1; nothing was printed", {error}));
      return host::kExitFailure;
    }
    if (!chosen) {
      complain("dialog", tr("no file was chosen; nothing was printed"));
      return host::kExitFailure;
    }
    file = *chosen;
  } else {
    file = args.positionals.front();
  }
  if (!fs::is_regular_file(file, ec)) {
    complain("dialog", trf("%1: cannot be read (no such file)", {file.string()}));
    return host::kExitFailure;
  }
  PrintWindow window(file, host::dialogSetupFromArgs(args, ""), script.automatic());
  window.present(args.value("--printer"));
  if (script.active()) return script.run(window, file.string());
  if (const auto printer = args.value("--printer")) window.choosePrinter(*printer, 10.0);
  window.run();
  return reportOutcome(window, file.string(), false);
}

/// The print dialog's checks of the command line, then the dialog.
int printDialog(host::ParsedArgs& args) {
  const bool choose = args.has("--choose-file");
  if (args.positionals.size() > 1) {
    complain("dialog", tr("one FILE at a time"), "jobwick dialog --help");
    return host::kExitUsage;
  }
  if (choose && !args.positionals.empty()) {
    complain("dialog", tr("--choose-file answers the file chooser, which does not show with a "
                          "FILE; give one or the other"));
    return host::kExitUsage;
  }
  if (args.has("--print") && args.has("--cancel")) {
    complain("dialog", tr("give --print or --cancel, not both"));
    return host::kExitUsage;
  }
  return runPrintDialog(args);
}

/// The screenshot session's checks of the command line, then the session.
int screenshotSession(host::ParsedArgs& args) {
  if (args.has("--choose-file")) {
    complain("dialog",
             tr("--choose-file answers the print dialog's file chooser; --screenshot shows none"),
             "jobwick dialog --help-testing");
    return host::kExitUsage;
  }
  if (!args.has("--script")) {
    complain("dialog", tr("--screenshot needs --script SESSION"), "jobwick dialog --help-testing");
    return host::kExitUsage;
  }
  if (!args.has("--screenshot")) {
    complain("dialog", tr("--script needs --screenshot OUT.png"));
    return host::kExitUsage;
  }
  return runScreenshotSession(args);
}

/// `jobwick agent` with windows: the agent command's options and those for
/// tests and scripts.
int runAgent(const std::vector<std::string>& words) {
  std::vector<host::OptionSpec> options;
  for (const auto& command : host::subcommands()) {
    if (command.words.size() == 1 && command.words.front() == "agent") options = command.options;
  }
  options.push_back({"--jobs", "N", "end after N jobs"});
  options.push_back({"--print", "", "press Print once a job's panel shows"});
  options.push_back({"--screenshot", "OUT.png", "draw the first job's window into OUT.png"});
  options.push_back({"--poll-seconds", "S",
                     "look for held jobs every S seconds (default 1; 0: only when the "
                     "scheduler announces a job on the system bus)"});
  std::string error;
  auto parsed = host::parseArguments(words, options, &error);
  if (parsed && !host::checkOptionValues(*parsed, &error)) parsed.reset();
  if (!parsed || !parsed->positionals.empty()) {
    complain("agent", parsed ? tr("unexpected argument") : error, "jobwick agent --help");
    return host::kExitUsage;
  }
  if (parsed->has("--help")) {
    for (const auto& command : host::subcommands())
      if (command.words.front() == "agent") std::cout << host::subcommandHelp(command);
    return host::kExitSuccess;
  }
  if (!gtk_init_check()) {
    complain("agent", tr("cannot open the display (is DISPLAY set?); without one, 'jobwick agent "
                         "--once --headless' handles a job"));
    return host::kExitFailure;
  }
  g_set_application_name("Jobwick");
  return runAgentWindows(*parsed);
}

int run(const std::vector<std::string>& words) {
  const std::vector<host::OptionSpec> options = dialogOptions();
  if (options.empty()) return host::kExitFailure;
  std::string error;
  auto parsed = host::parseArguments(words, options, &error);
  if (!parsed) {
    complain("dialog", error, "jobwick dialog --help");
    return host::kExitUsage;
  }
  if (parsed->has("--help")) {
    std::cout << tr(kUsage);
    return host::kExitSuccess;
  }
  if (parsed->has("--help-testing")) {
    std::cout << kTestingUsage;
    return host::kExitSuccess;
  }
  if (!host::checkOptionValues(*parsed, &error)) {
    complain("dialog", error, "jobwick dialog --help");
    return host::kExitUsage;
  }
  // A script with a FILE (or the file chooser's) runs in the print dialog;
  // a script alone, or --screenshot, draws the panel by itself.
  // --screenshot with a FILE draws the print dialog.
  if (!parsed->positionals.empty() ||
      (!parsed->has("--screenshot") && (!parsed->has("--script") || parsed->has("--choose-file"))))
    return printDialog(*parsed);
  return screenshotSession(*parsed);
}

}  // namespace
}  // namespace jobwick::gtkui

int main(int argc, char** argv) {
  try {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (!words.empty() && words.front() == "agent") {
      words.erase(words.begin());
      const int status = jobwick::gtkui::runAgent(words);
      std::cout.flush();
      return status;
    }
    if (!words.empty() && words.front() == "dialog") words.erase(words.begin());
    const int status = jobwick::gtkui::run(words);
    std::cout.flush();
    return status;
  } catch (const std::exception& e) {
    std::cerr << "jobwick: dialog: internal error: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "jobwick: dialog: internal error\n";
  }
  return jobwick::host::kExitFailure;
}
