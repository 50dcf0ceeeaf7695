// SPDX-License-Identifier: Apache-2.0
// The options shared by the commands that open a dialog or read what one
// left: their declarations, the one check of their values (made before any
// command runs, so that a usage error has no side effects), and the engine's
// setups made from them.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/cli/cli.h"
#include "host/engine/print_dialog.h"
#include "host/engine/session.h"

namespace jobwick::host {

/// The options that describe the printer, the job and the user; shared by
/// the subcommands that open a dialog.
const std::vector<OptionSpec>& dialogOptions();

/// Checks the values of the options every command shares, whichever
/// command takes them: a folder, file, queue, bundle or language option
/// must not be empty; --set, --var and --option need KEY=VALUE with a key;
/// --copies a number from 1 to 9999. Answers false at the first bad value;
/// `error` then names the option and the value.
bool checkOptionValues(const ParsedArgs& args, std::string* error);

/// The preferences folder of the user: --prefs-dir, else
/// $JOBWICK_PREFS_DIR, else $XDG_CONFIG_HOME/jobwick/preferences or
/// ~/.config/jobwick/preferences; nullopt when none can be determined.
std::optional<std::filesystem::path> preferencesFolderFor(const ParsedArgs& args);

/// The --set values as (key, value) pairs, split at the first "=". The
/// values must have passed checkOptionValues.
std::vector<std::pair<std::string, std::string>> settingOverridesFrom(const ParsedArgs& args);

/// The --var values as a map (a later value of a name wins).
std::map<std::string, std::string> variablesFrom(const ParsedArgs& args);

/// The setup named by the dialog options and the bundle argument.
/// JOBWICK_PREFS_DIR stands in for --prefs-dir when the option is absent.
DialogSetup dialogSetupFromArgs(const ParsedArgs& args, const std::string& bundle);

/// What the options of `jobwick session` (and of jobwick-dialog's scripted
/// runs) put over a session script: printer, job, user and --save-settings.
/// The preferences folder is --prefs-dir alone: without it the session keeps
/// the script's or a temporary one.
SessionOptions sessionOptionsFromArgs(const ParsedArgs& args);

}  // namespace jobwick::host
