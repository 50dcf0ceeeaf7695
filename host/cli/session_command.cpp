// jobwick session: runs a dialog-session script against a plug-in bundle and
// reports what the panel did.
#include <filesystem>

#include "host/cli/commands.h"
#include "host/cli/dialog_options.h"
#include "host/engine/session.h"

namespace jobwick::host {

int runSession(const Invocation& invocation) {
  namespace fs = std::filesystem;
  const fs::path path = invocation.args.positionals.front();
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    return invocation.fail(ExitStatus::badInput, path.string() + ": no such session script");
  }
  std::string error;
  auto script = readSessionScript(path, variablesFrom(invocation.args), &error);
  if (!script) return invocation.fail(ExitStatus::badInput, error);
  SessionInput direct;
  return int(runSession(std::move(*script), sessionOptionsFromArgs(invocation.args),
                        {invocation.out, invocation.err, invocation.args.has("--json"),
                         invocation.command},
                        direct));
}

}  // namespace jobwick::host
