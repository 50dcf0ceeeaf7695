// SPDX-License-Identifier: Apache-2.0
// Secrets in a job ticket, and the queues they may go to.
#include "host/cups/ticket_privacy.h"

#include <string_view>

#include "host/common/escape.h"
#include "host/common/translate.h"
#include "host/cups/cups_options.h"

namespace jobwick::host {
namespace {

/// The entries that carry each secret, by the start of their key after
/// the ticket prefix (pieces and variants follow on).
struct SecretStem {
  std::string_view stem;
  const char* secret;
};
constexpr SecretStem kSecretStems[] = {
    {"jobSuspendKey", "pass code"},
    {"jobSuspend2Key", "pass code"},
    {"folderPassword", "folder password"},
    {"loginName", "login name"},
    {"password", "password"},
    {"userNumber", "user number"},
};
constexpr const char* kSecretOrder[] = {"pass code", "folder password", "login name", "password",
                                        "user number"};
/// Each secret of kSecretOrder with its article, for the refusal's list.
constexpr const char* kSecretWords[] = {N_("a pass code"), N_("a folder password"),
                                        N_("a login name"), N_("a password"), N_("a user number")};
constexpr std::string_view kTicketPrefix = "jp.co.quivo.print.PrintSettings.";

/// `secret` (one of kSecretOrder) with its article, in the user's language.
std::string secretWords(const std::string& secret) {
  for (std::size_t i = 0; i < std::size(kSecretOrder); ++i)
    if (secret == kSecretOrder[i]) return tr(kSecretWords[i]);
  return secret;
}

/// "a pass code", "a pass code and a password", "a pass code, a password
/// and a user number".
std::string listed(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string words = secretWords(names[i]);
    if (i == 0) {
      text = words;
    } else {
      text = trf(i + 1 == names.size() ? N_("%1 and %2") : N_("%1, %2"), {text, words});
    }
  }
  return text;
}

/// A queue name as a shell word: as it stands when it holds nothing a shell
/// reads specially, else in single quotes.
std::string shellWord(const std::string& name) {
  const bool plain = !name.empty() && name.find_first_not_of(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789_.-+@%:,") == std::string::npos;
  if (plain) return name;
  std::string quoted = "'";
  for (char c : name) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::vector<std::string> ticketSecrets(const platform::PrintSettings& settings) {
  bool found[std::size(kSecretOrder)] = {};
  for (const auto& [key, value] : settings.entries()) {
    if (value.empty() || !isTicketKey(key) ||
        key.compare(0, kTicketPrefix.size(), kTicketPrefix) != 0)
      continue;
    const std::string_view name = std::string_view(key).substr(kTicketPrefix.size());
    for (const auto& [stem, secret] : kSecretStems) {
      if (name.substr(0, stem.size()) != stem) continue;
      for (std::size_t i = 0; i < std::size(kSecretOrder); ++i)
        found[i] = found[i] || std::string_view(kSecretOrder[i]) == secret;
    }
  }
  std::vector<std::string> secrets;
  for (std::size_t i = 0; i < std::size(kSecretOrder); ++i)
    if (found[i]) secrets.emplace_back(kSecretOrder[i]);
  return secrets;
}

std::string exposedTicketProblem(const QueueInfo& queue, const platform::PrintSettings& settings) {
  if (ticketsPrivate(queue)) return {};
  const auto secrets = ticketSecrets(settings);
  if (secrets.empty()) return {};
  const std::string name = escapeText(queue.name);
  return trf(
      "queue %1 lets other users read its job tickets (policy %2) and this ticket carries %3; "
      "nothing was submitted (an administrator makes its tickets private with \"jobwick setup "
      "%4\"; %5 sends the ticket anyway)",
      {name, queue.opPolicy.empty() ? tr("unknown") : escapeText(queue.opPolicy), listed(secrets),
       escapeText(shellWord(queue.name)), kAllowExposedTicketOption});
}

}  // namespace jobwick::host
