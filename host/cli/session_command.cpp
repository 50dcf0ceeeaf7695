// SPDX-License-Identifier: Apache-2.0
// jobwick session: runs a dialog-session script against a plug-in bundle and
// reports what the panel did.
#include <filesystem>

#include "host/cli/commands.h"
#include "host/cli/dialog_options.h"
#include "host/common/translate.h"
#include "host/engine/session.h"

namespace jobwick::host {

int runSessionScript(const Invocation& invocation, const std::string& path, SessionInput& input) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    return invocation.fail(ExitStatus::badInput, trf("%1: no such session script", {path}));
  }
  std::string error;
  auto script = readSessionScript(path, variablesFrom(invocation.args), &error);
  if (!script) return invocation.fail(ExitStatus::badInput, error);
  return int(runSession(
      std::move(*script), sessionOptionsFromArgs(invocation.args),
      {invocation.out, invocation.err, invocation.args.has("--json"), invocation.command}, input));
}

int runSession(const Invocation& invocation) {
  SessionInput direct;
  return runSessionScript(invocation, invocation.args.positionals.front(), direct);
}

}  // namespace jobwick::host
