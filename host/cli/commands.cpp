// SPDX-License-Identifier: Apache-2.0
// The subcommand table, help texts and dispatch.
#include "host/cli/commands.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "host/cli/dialog_options.h"
#include "host/common/translate.h"
#include "platform/user_defaults.h"

#ifndef JOBWICK_VERSION
#define JOBWICK_VERSION "0"
#endif

namespace jobwick::host {
namespace {

constexpr std::size_t kHelpWidth = 79;

const OptionSpec kHelpOption{"--help", "", N_("show this help (also -h)")};

std::vector<OptionSpec> withDialogOptions(std::vector<OptionSpec> own) {
  std::vector<OptionSpec> all = dialogOptions();
  all.insert(all.end(), own.begin(), own.end());
  all.push_back(kHelpOption);
  return all;
}

/// The dialog options with the preferences folder as a session uses it.
std::vector<OptionSpec> withSessionOptions(std::vector<OptionSpec> own) {
  std::vector<OptionSpec> all = withDialogOptions(std::move(own));
  for (auto& option : all) {
    if (option.name == "--prefs-dir") {
      option.help =
          N_("the user's preferences folder; default: the script's \"prefsDir\", else an empty "
             "temporary folder");
    }
  }
  return all;
}

std::string joinWords(const std::vector<std::string_view>& words) {
  std::string text;
  for (auto word : words) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

std::string usageLine(const Subcommand& command) {
  std::string line = "jobwick " + joinWords(command.words);
  if (!command.arguments.empty()) line += " " + std::string(command.arguments);
  if (command.options.size() > 1) line += " " + tr("[options]");
  return line;
}

/// The subcommand named by the first words of `args`, the longest match
/// winning; `used` is how many words it took.
const Subcommand* findSubcommand(const std::vector<std::string>& args, std::size_t* used) {
  const Subcommand* best = nullptr;
  for (const auto& command : subcommands()) {
    if (command.words.size() > args.size()) continue;
    bool matches = true;
    for (std::size_t i = 0; i < command.words.size(); ++i) {
      if (args[i] != command.words[i]) matches = false;
    }
    if (matches && (!best || command.words.size() > best->words.size())) best = &command;
  }
  if (best) *used = best->words.size();
  return best;
}

/// Subcommands whose first word is `word` (for "jobwick ticket" alone).
std::vector<const Subcommand*> subcommandsStartingWith(const std::string& word) {
  std::vector<const Subcommand*> found;
  for (const auto& command : subcommands()) {
    if (command.words.front() == word) found.push_back(&command);
  }
  return found;
}

bool wantsJson(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--json") != args.end();
}

/// The help of a command group ("jobwick ticket"): its subcommands, each with
/// its summary.
std::string groupHelp(const std::string& word, const std::vector<const Subcommand*>& members) {
  std::ostringstream out;
  out << trf("Usage: jobwick %1 SUBCOMMAND [arguments] [options]", {word}) << "\n\n"
      << tr("Subcommands:") << "\n";
  for (const auto* member : members) {
    out << "  " << usageLine(*member) << "\n"
        << wrapText(tr(std::string(member->summary).c_str()), kHelpWidth, 6) << "\n";
  }
  out << "\n"
      << trf("Run 'jobwick %1 SUBCOMMAND --help' for a subcommand's options.", {word}) << "\n";
  return out.str();
}

/// "jobwick help [WORDS]": a command's help, a group's subcommands, or the
/// command list.
int runHelp(const std::vector<std::string>& rest, std::ostream& out, std::ostream& err, bool json) {
  std::size_t used = 0;
  const Subcommand* command = findSubcommand(rest, &used);
  if (command && used == rest.size()) {
    out << subcommandHelp(*command);
    return kExitSuccess;
  }
  if (rest.size() == 1) {
    if (auto members = subcommandsStartingWith(rest.front()); !members.empty()) {
      out << groupHelp(rest.front(), members);
      return kExitSuccess;
    }
  }
  std::string asked;
  for (const auto& word : rest) asked += (asked.empty() ? "" : " ") + word;
  std::string names;
  for (const auto& known : subcommands()) {
    names += (names.empty() ? "" : ", ") + joinWords(known.words);
  }
  names += ", dialog";
  return reportError({out, err, json, {}}, ExitStatus::usage,
                     trf("no command named '%1'; the commands are %2", {asked, names}));
}

/// A first word that names no command: a group without its subcommand
/// (its help answers "--help"), or an unknown word.
int runUnknown(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string& first = args.front();
  const bool json = wantsJson(args);
  auto members = subcommandsStartingWith(first);
  if (members.empty()) {
    return reportError({out, err, json, {}}, ExitStatus::usage,
                       trf("unknown command '%1'", {first}));
  }
  if (args.size() >= 2 && (args[1] == "--help" || args[1] == "-h")) {
    out << groupHelp(first, members);
    return kExitSuccess;
  }
  std::string names;
  for (const auto* candidate : members) {
    names +=
        (names.empty() ? "" : ", ") + std::string("'jobwick ") + joinWords(candidate->words) + "'";
  }
  return reportError({out, err, json, {}}, ExitStatus::usage,
                     trf("'%1' needs a subcommand: %2", {first, names}));
}

/// jobwick info BUNDLE: its options, help text and runner.
Subcommand infoCommand() {
  return {
      {"info"},
      "BUNDLE",
      1,
      N_("load a plug-in bundle and show the panels it makes for a printer"),
      N_("Loads the plug-in bundle, creates its principal class, calls initWithBundle and asks "
         "it for panels of the print-dialog type, acting as the dialog's host with the printer "
         "given by the options. For each panel it shows the name, the kind, the PPD option "
         "keys the panel handles, and what the panel reports about itself (interface mode, "
         "the flags taken from the PPD, model name, printer address, preference domain).\n"
         "\n"
         "BUNDLE is the path of a bundle folder (JobwickVk7300.plugin), or a model name "
         "(vk7300, vk410e) looked up in $JOBWICK_BUNDLE_DIR or else in the folder of the "
         "built bundles.\n"
         "\n"
         "Exit status: 0 on success, 1 when the bundle cannot be used, 2 for a wrong command "
         "line, 4 when the PPD or settings file cannot be read."),
      withDialogOptions({{"--json", "", N_("write a JSON document instead of text")}}),
      "  jobwick info vk7300 --ppd examples/ppd/vk7300.ppd\n"
      "  jobwick info vk7300 --ppd examples/ppd/vk7300-active-directory.ppd \\\n"
      "      --printer-id Office_MFP --device-uri ipp://10.0.0.5/ipp/print\n"
      "  jobwick info vk410e --ppd examples/ppd/vk410e.ppd --language ja --json\n"
      "  jobwick info build/bundles/JobwickVk7300.plugin --no-constraint-handling",
      runInfo,
  };
}

/// jobwick session SCRIPT: its options, help text and runner.
Subcommand sessionCommand() {
  return {
      {"session"},
      "SCRIPT",
      1,
      N_("drive the panel through a dialog-session script"),
      N_("Runs a dialog session: loads the bundle that SCRIPT names, opens a print dialog for "
         "its printer with its starting print settings, and takes the script's steps in the "
         "panel as a person or the print dialog would: restore, show, type, paste, clear, "
         "delete, click, choose, save, summary, shouldPrint, fetchFolders, dump, expect and "
         "reopen. Typing goes through each field's input filter and every event sends the "
         "control's action, so the panel's own rules and actions run. A user event that the "
         "control refuses (disabled, hidden, filtered out) is reported as that step's result.\n"
         "\n"
         "SCRIPT is a JSON file; docs/jobwick.md describes the format and examples/sessions/ "
         "holds examples. The printer options below override what the script says. A "
         "session starts with an empty temporary preferences folder unless the script "
         "(\"prefsDir\") or --prefs-dir names one. \"${NAME}\" in a script string is "
         "replaced by the value of --var NAME=VALUE (or the script's \"vars\").\n"
         "\n"
         "Output: each step with its outcome, every alert, summaries and dumps, then the "
         "final print settings; with --json one JSON document holding all of it.\n"
         "\n"
         "Exit status: 0 when the session ran and every expectation held, 1 when an "
         "expectation failed or the bundle cannot be used, 2 for a wrong command line, "
         "4 when the script, the PPD or a settings file cannot be read or the script cannot "
         "run as written (malformed JSON, unknown step, unknown control)."),
      withSessionOptions({
          {"--bundle", "BUNDLE", N_("the bundle to load instead of the script's \"bundle\"")},
          {"--var", "NAME=VALUE", N_("a value for ${NAME} in the script (repeatable)"), true},
          {"--save-settings", "FILE",
           N_("write the final print settings to FILE (JSON, readable by 'ticket show')")},
          {"--json", "", N_("write the result as one JSON document")},
      }),
      "  jobwick session examples/sessions/vk7300-retention.json\n"
      "  jobwick session examples/sessions/vk7300-filing-popup.json \\\n"
      "      --var PRINTER=127.0.0.1:8631 --json\n"
      "  jobwick session my-session.json --ppd examples/ppd/vk7300-print-system.ppd \\\n"
      "      --save-settings ticket.json && jobwick ticket show ticket.json",
      runSession,
  };
}

/// jobwick print FILE: its options, help text and runner.
Subcommand printCommand() {
  return {
      {"print"},
      "FILE",
      1,
      N_("print a file on a CUPS queue with the panel's job ticket"),
      N_("Asks the CUPS scheduler (CUPS_SERVER and the usual client configuration honoured) "
         "for the queue, its PPD and device URI, and loads the plug-in bundle that serves it: "
         "the one the PPD names with *JobwickDialogExtension, else the one whose model ends "
         "the PPD's *ModelName. The panel opens for that printer (printer id: the queue name, "
         "so remembered entries are kept per queue), runs the session script's steps or "
         "restores the given print settings, and Print is pressed: the panel saves its values "
         "and is asked shouldPrint. A refusal prints the panel's alert and submits nothing. "
         "Otherwise FILE (\"-\": standard input) is submitted with every print-settings "
         "entry as a job option, exactly as saved, the job name as job-name, and the job id "
         "(QUEUE-ID) is printed.\n"
         "\n"
         "As with lp, without --printer the job goes to the CUPS default destination (the "
         "user's 'lpoptions -d', else $LPDEST or $PRINTER, else the scheduler's 'lpadmin -d'), "
         "and the options saved for the queue ('lpoptions -p QUEUE -o ...' in ~/.cups/lpoptions "
         "or the system's lpoptions, and the queue's defaults) apply: printer options are sent "
         "as lp sends them (--option and --copies win), and job-ticket entries among them are "
         "print settings the panel restores (under the script's settings, --settings and "
         "--set), so that only the ticket the panel then saves reaches the job. A printer "
         "instance, QUEUE/INSTANCE as 'lpoptions -p QUEUE/INSTANCE -o ...' defines it, prints "
         "on QUEUE with the options saved for the instance; an instance no lpoptions file "
         "defines is an error.\n"
         "\n"
         "The job options are the ticket's own values: ciphers, digests and the plain number "
         "entries the ticket defines; a typed pass code or password is never sent in clear. "
         "But the ciphers' keys are no secret: anyone who reads the ticket can decipher it. "
         "So a ticket that carries a pass code, folder password, login name, password or user "
         "number goes only to a queue whose tickets other users cannot read (one that "
         "'jobwick setup' made private); for any other queue the command refuses, names the "
         "queue and submits nothing, unless --allow-exposed-ticket is given. A ticket without "
         "secrets goes to any queue.\n"
         "\n"
         "Exit status: 0 when the job was submitted (or shown with --dry-run), 3 when the "
         "panel refused to print, 1 when the queue, scheduler, bundle or job failed "
         "(the scheduler's reason is given) or the queue would expose the ticket's secrets, 2 for "
         "a "
         "wrong command line, 4 when FILE, the "
         "session script or the settings file cannot be read or is malformed. Nothing is "
         "run, written or sent before the command line and the inputs have been checked."),
      {
          {"--printer", "QUEUE",
           N_("the CUPS queue to print on (QUEUE/INSTANCE: with the options saved for the "
              "instance); default: the CUPS default destination")},
          {"--session", "SCRIPT", N_("a dialog-session script whose steps the user takes")},
          {"--settings", "FILE",
           N_("the job's print settings to restore (JSON or key=value lines)")},
          {"--set", "KEY=VALUE", N_("one print setting, applied after --settings (repeatable)"),
           true},
          {"--var", "NAME=VALUE", N_("a value for ${NAME} in the session script (repeatable)"),
           true},
          {"--copies", "N", N_("the number of copies (1 to 9999)")},
          {"--option", "KEY=VALUE",
           N_("a printer option, as lp -o gives it (repeatable; not a ticket entry)"), true},
          {"--dry-run", "", N_("show the job options that would be sent, and send nothing")},
          {"--save-settings", "FILE", N_("write the job's print settings to FILE (JSON)")},
          {"--language", "LANG", N_("the user's language (en, ja, ...)")},
          {"--prefs-dir", "DIR",
           N_("the user's preferences folder; default: $JOBWICK_PREFS_DIR, else "
              "~/.config/jobwick/preferences")},
          {"--allow-exposed-ticket", "",
           N_("send a ticket that carries a secret even to a queue whose tickets other users "
              "can read")},
          {"--json", "", N_("write the job (or with --dry-run the job options) as JSON")},
          kHelpOption,
      },
      "  jobwick print report.ps --printer Office_MFP --settings ticket.json\n"
      "  jobwick print report.ps --printer Office_MFP --session hold.json --copies 2\n"
      "  cat report.ps | jobwick print - --printer Office_MFP --dry-run",
      runPrint,
  };
}

/// jobwick queues: its options, help text and runner.
Subcommand queuesCommand() {
  return {
      {"queues"},
      "",
      0,
      N_("list the CUPS queues and the bundle that serves each"),
      N_("Asks the CUPS scheduler for its queues and, for each, fetches its PPD and names the "
         "plug-in bundle that serves it, or says why none does, and whether the queue's job "
         "tickets are private: \"tickets private\" when the queue is under the scheduler "
         "policy jobwick (see 'jobwick setup'), where only a job's owner and administrators "
         "read its ticket; \"tickets readable by other users\" under any other policy "
         "(printer-op-policy), such as CUPS's shipped default.\n"
         "\n"
         "Exit status: 0 when the scheduler answered, 1 when it cannot be reached, 2 for a "
         "wrong command line."),
      {{"--json", "", N_("write the list as a JSON document")}, kHelpOption},
      "  jobwick queues\n"
      "  CUPS_SERVER=127.0.0.1:8631 jobwick queues --json",
      runQueues,
  };
}

/// jobwick setup QUEUE: its options, help text and runner.
Subcommand setupCommand() {
  return {
      {"setup"},
      "QUEUE",
      1,
      N_("make a Jobwick printer's queue whose tickets other users cannot read"),
      N_("For an administrator (root, or a member of the scheduler's SystemGroup, as with "
         "sudo). Makes the queue QUEUE (with --ppd or --model, and "
         "--device-uri) or updates it, and puts it under the scheduler policy jobwick, adding "
         "that policy to the scheduler's configuration when it is missing. The configuration "
         "is read and written through the scheduler's administration interface "
         "(/admin/conf/cupsd.conf), so a remote or private scheduler (CUPS_SERVER) is set up "
         "the same way; every other part of it stays as it was.\n"
         "\n"
         "Under the policy jobwick, only a job's owner, authenticated, and administrators read "
         "the job's attributes (JobPrivateValues all), and only they hold, release, change or "
         "cancel it; local users authenticate by their connection, without a password. A job "
         "ticket's ciphers use keys anyone can find, so under CUPS's shipped policy every user "
         "of the scheduler can read a job's pass code, passwords and login name.\n"
         "\n"
         "With --hold-for-agent (the default when it makes the queue) the queue holds every job "
         "that does not ask otherwise (job-hold-until-default indefinite) until 'jobwick agent' "
         "gives it the panel and releases it with its ticket; jobwick print and jobwick dialog "
         "send their jobs with their tickets and no hold. A job nobody releases (printed while "
         "nobody who runs the agent is logged in) waits, and the scheduler cancels it after "
         "MaxHoldTime (--max-hold-time). A client that asks for no hold itself (lp -H "
         "immediate) still prints without a ticket.\n"
         "\n"
         "Running it again changes nothing; it says what it changed. It warns when the "
         "scheduler logs at a debug level, where its error log holds every ticket. --undo "
         "puts the queue back under the policy default.\n"
         "\n"
         "Exit status: 0 when the queue is set up (or was already), 1 when the scheduler "
         "refuses (the caller is no administrator) or cannot be reached, or the queue is not "
         "a Jobwick printer's, 2 for a wrong command line, 4 when the PPD cannot be read or "
         "no bundle serves it."),
      {
          {"--ppd", "FILE", N_("the printer's PPD, installed for the queue")},
          {"--model", "MODEL",
           N_("the printer's driver as 'lpinfo -m' lists it (vk7300 is jobwick/vk7300.ppd), "
              "instead of --ppd")},
          {"--device-uri", "URI", N_("the printer's address (needed to make a queue)")},
          {"--hold-for-agent", "",
           N_("hold every job that does not ask otherwise until the agent releases it with "
              "its ticket (the default for a new queue)")},
          {"--no-hold-for-agent", "", N_("print jobs without waiting for the agent")},
          {"--max-hold-time", "SECONDS",
           N_("cancel a held job nobody releases after SECONDS (the scheduler's MaxHoldTime; "
              "default: the one set, else 86400)")},
          {"--undo", "", N_("put the queue back under the scheduler's policy default")},
          {"--json", "", N_("write what was changed as a JSON document")},
          kHelpOption,
      },
      "  jobwick setup Office_MFP\n"
      "  jobwick setup Office_MFP --ppd vk7300.ppd --device-uri ipp://10.0.0.5/ipp/print\n"
      "  jobwick setup --undo Office_MFP",
      runSetup,
  };
}

/// jobwick agent: its options, help text and runner.
Subcommand agentCommand() {
  return {
      {"agent"},
      "",
      0,
      N_("give the user's held jobs on Jobwick queues the panel"),
      N_("A queue set up with 'jobwick setup --hold-for-agent' holds every job that does not "
         "ask otherwise, from any application. The agent finds the user's own held jobs on "
         "queues a Jobwick bundle serves (never another user's job, a job that already carries "
         "a ticket, or a queue no bundle serves), opens the queue's panel for each, oldest "
         "first, with the job's name and owner, and on Print writes the panel's ticket onto "
         "the job and releases it in one request; a panel that refuses keeps the job held.\n"
         "\n"
         "--once --headless handles the oldest such job without a window and exits: the "
         "session script's steps (--script) or the job's restored settings, then Print; or "
         "--cancel cancels it.\n"
         "\n"
         "Exit status: 0 when the job was released with its ticket, 1 when it was cancelled, "
         "there was none, or the scheduler or panel failed (the job stays held), 2 for a wrong "
         "command line, 3 when the panel refused to print (the job stays held), 4 when the "
         "session script cannot be read."),
      {
          {"--once", "", N_("handle the oldest held job and exit")},
          {"--headless", "", N_("drive the panel without widgets (needs no display)")},
          {"--script", "SESSION", N_("the session script whose steps the user takes")},
          {"--var", "NAME=VALUE", N_("a value for ${NAME} in the session script (repeatable)"),
           true},
          {"--cancel", "", N_("cancel the job instead")},
          {"--save-settings", "FILE", N_("write the job's print settings to FILE (JSON)")},
          {"--language", "LANG", N_("the user's language (en, ja, ...)")},
          {"--prefs-dir", "DIR",
           N_("the user's preferences folder; default: $JOBWICK_PREFS_DIR, else "
              "~/.config/jobwick/preferences")},
          kHelpOption,
      },
      "  jobwick agent --once --headless --script release.json\n"
      "  jobwick agent --once --headless --cancel",
      runAgent,
  };
}

/// jobwick ticket show SETTINGS: its options, help text and runner.
Subcommand ticketShowCommand() {
  return {
      {"ticket", "show"},
      "SETTINGS",
      1,
      N_("explain every entry of a job ticket in words"),
      N_("Reads a job ticket, the panel's entries of a job's print settings, from SETTINGS: "
         "a JSON settings file {\"jobName\": ..., \"settings\": {KEY: VALUE}} (as written by "
         "'session --save-settings'), key=value lines, the output of 'lpoptions -p QUEUE' or "
         "ipptool's listing of a job's attributes (only the ticket entries among the options "
         "count); \"-\" reads standard input. With --job the ticket of a submitted job is "
         "asked of the CUPS scheduler (IPP Get-Job-Attributes). Every entry is shown in words: "
         "the spool time, the filing "
         "and retention choices, names decoded from their hexadecimal text (system encoding, "
         "the Windows Latin 1 variant and the UTF-8 variant, pieces of chunked keys joined), "
         "the fixed-key secrets deciphered, the spool-time-key secrets deciphered with the "
         "ticket's own spoolTime, and the two digests (jobSuspendKey, folderPassword) checked "
         "against the deciphered codes. Entries that do not fit their form, digests that do "
         "not match and pieces left over from earlier saves are reported.\n"
         "\n"
         "Names and secrets are read in the system encoding of the dialog that wrote them: "
         "the one --language gives (Mac OS Roman for most languages, Mac Japanese for ja), "
         "else the one of this environment.\n"
         "\n"
         "Exit status: 0 when the ticket is consistent, 3 when it was read but problems were "
         "found, 4 when SETTINGS cannot be read or is not a settings file, 2 for a wrong "
         "command line."),
      {
          {"--job", "QUEUE-ID",
           N_("read the ticket of a submitted job from the CUPS scheduler (instead of SETTINGS)")},
          {"--format", "FORMAT",
           N_("how SETTINGS is written: json, lines, lpoptions or ipptool (default: found "
              "from the text)")},
          {"--json", "", N_("write the report as a JSON document")},
          {"--language", "LANG",
           N_("the language of the dialog that wrote the ticket (en, ja, ...)")},
          kHelpOption,
      },
      "  jobwick ticket show examples/tickets/vk7300-full.json\n"
      "  jobwick ticket show job-options.txt --language ja\n"
      "  lpoptions -p Office_MFP | jobwick ticket show - --format lpoptions\n"
      "  jobwick ticket show --job Office_MFP-17 --json\n"
      "  ipptool -tv ipp://localhost/jobs/17 get-job-attributes.test | jobwick ticket show -",
      runTicketShow,
      "--job",
  };
}

/// jobwick folders: its options, help text and runner.
Subcommand foldersCommand() {
  return {
      {"folders"},
      "",
      0,
      N_("ask a printer for its filing folders, as the panel does"),
      N_("Loads the bundle, sets the panel's printer address to HOST[:PORT] and presses its "
         "folder-list button, so that the plug-in's own SOAP client asks the printer "
         "(http://HOST[:PORT]/quivo-mfp-srv) for its filing folders, then prints the list, "
         "marking the folders protected by a folder password. The request waits at most 20 "
         "seconds.\n"
         "\n"
         "With --printer-id (and the printer's PPD) the panel caches the list in that "
         "printer's preferences, where its folder menu finds it the next time a dialog opens "
         "for the printer; the panel keeps a printer's preferences only for the model its "
         "PPD names, so a PPD of another model is refused. Without --ppd a stand-in PPD of a "
         "filing model is used.\n"
         "\n"
         "Exit status: 0 when the printer answered with a folder list, 1 when it could not "
         "be reached or gave no folder list, 2 for a wrong command line, 4 when the PPD "
         "cannot be read."),
      {
          {"--address", "HOST[:PORT]", N_("the printer's network address (required)")},
          {"--bundle", "BUNDLE", N_("the plug-in bundle to use (default: vk7300)")},
          {"--ppd", "FILE", N_("the printer's PPD file")},
          {"--printer-id", "ID",
           N_("cache the list for this printer (its queue name); needs --ppd")},
          {"--prefs-dir", "DIR",
           N_("the preferences folder of --printer-id; default: $JOBWICK_PREFS_DIR, else "
              "~/.config/jobwick/preferences")},
          {"--language", "LANG", N_("the user's language (en, ja, ...)")},
          {"--json", "", N_("write the list as a JSON document")},
          kHelpOption,
      },
      "  jobwick folders --address 10.0.0.5\n"
      "  jobwick folders --address 127.0.0.1:8631 --json\n"
      "  jobwick folders --address 10.0.0.5 --printer-id Office_MFP \\\n"
      "      --ppd examples/ppd/vk7300.ppd",
      runFolders,
  };
}

/// jobwick prefs show PRINTER-ID: its options, help text and runner.
Subcommand prefsShowCommand() {
  return {
      {"prefs", "show"},
      "PRINTER-ID",
      1,
      N_("show what the panel remembers for a printer, secrets deciphered"),
      N_("Reads the preferences the panel keeps for the printer PRINTER-ID (its queue name): "
         "the file jp.co.quivo.mfp.PRINTER-ID.plist in the preferences folder, record \"Job "
         "Handling\" (vk7300 build) or \"Jobwick\" (vk410e build). Shows each remembered "
         "entry with its lock, the pass codes, password, login name and numbers deciphered, "
         "and the cached folder list with the address it came from. Nothing is changed.\n"
         "\n"
         "Exit status: 0 when the record was read, 3 when it was read but holds damaged "
         "values, 1 when there is no such file or record, 2 for a wrong command line."),
      {
          {"--prefs-dir", "DIR",
           N_("the preferences folder; default: $JOBWICK_PREFS_DIR, else "
              "$XDG_CONFIG_HOME/jobwick/preferences or ~/.config/jobwick/preferences")},
          {"--model", "MODEL", N_("read only the record of vk7300 or vk410e")},
          {"--language", "LANG",
           N_("the language of the dialogs that stored the values (en, ja, ...)")},
          {"--json", "", N_("write the record as a JSON document")},
          kHelpOption,
      },
      "  jobwick prefs show Office_MFP\n"
      "  jobwick prefs show Office_MFP --prefs-dir /tmp/prefs --model vk410e --json",
      runPrefsShow,
  };
}

}  // namespace

const std::vector<Subcommand>& subcommands() {
  static const std::vector<Subcommand> table = {
      infoCommand(),  sessionCommand(),    printCommand(),   queuesCommand(),    setupCommand(),
      agentCommand(), ticketShowCommand(), foldersCommand(), prefsShowCommand(),
  };
  return table;
}

std::string subcommandHelp(const Subcommand& command) {
  std::ostringstream out;
  std::string summary = tr(std::string(command.summary).c_str());
  if (!summary.empty()) summary[0] = char(std::toupper(static_cast<unsigned char>(summary[0])));
  out << trf("Usage: %1", {usageLine(command)})
      << "\n\n"
      // TRANSLATORS: a command's summary as the sentence that opens its help.
      << wrapText(trf("%1.", {summary}), kHelpWidth) << "\n\n"
      << wrapText(tr(std::string(command.description).c_str()), kHelpWidth) << "\n\n"
      << tr("Options:") << "\n"
      << formatOptions(command.options);
  if (!command.examples.empty()) {
    out << "\n" << tr("Examples:") << "\n" << command.examples << "\n";
  }
  return out.str();
}

std::string commandHelp() {
  std::ostringstream out;
  out << tr(
      "Usage: jobwick COMMAND [arguments] [options]\n"
      "       jobwick help [COMMAND]\n"
      "       jobwick --version\n\n"
      "A headless print dialog: loads a Jobwick plug-in bundle, acts as its host for a\n"
      "printer described by a PPD file, and shows what the plug-in does.\n\n"
      "Commands:\n");
  std::size_t width = 0;
  for (const auto& command : subcommands())
    width = std::max(width, joinWords(command.words).size());
  // `jobwick dialog` is the program jobwick-dialog (it links GTK), which
  // parses its own options; it is listed with the others all the same.
  const std::string_view dialog = "dialog";
  width = std::max(width, dialog.size());
  for (const auto& command : subcommands()) {
    std::string name = joinWords(command.words);
    out << "  " << name << std::string(width - name.size() + 3, ' ')
        << tr(std::string(command.summary).c_str()) << "\n";
  }
  out << "  " << dialog << std::string(width - dialog.size() + 3, ' ')
      << tr("print a file from the GTK print dialog, the queue's panel as a tab") << "\n";
  out << "\n"
      << tr("Exit status (every command):") << "\n"
      << exitStatusTable() << "\n"
      << tr("Run 'jobwick help COMMAND' or 'jobwick COMMAND --help' for a command's options.")
      << "\n\n"
      << tr("Examples:") << "\n";
  for (const auto& command : subcommands()) {
    std::string_view examples = command.examples;
    out << examples.substr(0, examples.find('\n')) << "\n";
  }
  out << "  jobwick dialog letter.pdf --printer Vk7300\n";
  return out.str();
}

int runJobwick(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << commandHelp();
    return kExitUsage;
  }
  const std::string& first = args.front();
  if (first == "--help" || first == "-h" || (first == "help" && args.size() == 1)) {
    out << commandHelp();
    return kExitSuccess;
  }
  if (first == "--version") {
    out << "jobwick " << JOBWICK_VERSION << "\n";
    return kExitSuccess;
  }
  if (first == "help") {
    return runHelp({args.begin() + 1, args.end()}, out, err, wantsJson(args));
  }

  std::size_t used = 0;
  const Subcommand* command = findSubcommand(args, &used);
  if (!command) return runUnknown(args, out, err);

  const std::string name = joinWords(command->words);
  const ErrorSink errors{out, err, wantsJson(args), name};
  std::vector<std::string> rest(args.begin() + std::ptrdiff_t(used), args.end());
  std::string error;
  auto parsed = parseArguments(rest, command->options, &error);
  if (!parsed) return reportError(errors, ExitStatus::usage, error);
  if (parsed->has("--help")) {
    out << subcommandHelp(*command);
    return kExitSuccess;
  }
  if (!checkOptionValues(*parsed, &error)) return reportError(errors, ExitStatus::usage, error);
  // A panel that could not save its preferences cannot say so: the command
  // warns after its run, whatever its status.
  platform::UserDefaults::takeFailedWrites();
  const auto run = [&] {
    const int status = command->run(Invocation{*parsed, out, err, name});
    warnFailedPreferenceWrites(err);
    return status;
  };
  if (!command->replacesArguments.empty() && parsed->has(command->replacesArguments)) {
    if (!parsed->positionals.empty()) {
      return reportError(
          errors, ExitStatus::usage,
          trf("%1 takes the place of %2", {command->replacesArguments, command->arguments}));
    }
    return run();
  }
  if (parsed->positionals.size() < command->positionalCount) {
    return reportError(errors, ExitStatus::usage, trf("missing %1", {command->arguments}));
  }
  if (parsed->positionals.size() > command->positionalCount) {
    return reportError(
        errors, ExitStatus::usage,
        trf("unexpected argument '%1'", {parsed->positionals[command->positionalCount]}));
  }
  return run();
}

}  // namespace jobwick::host
