// SPDX-License-Identifier: Apache-2.0
// The scheduler's configuration and queues, changed through libcups.
#include "host/cups/scheduler_admin.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include <cups/cups.h>
#include <cups/ppd.h>

#include "host/common/translate.h"
#include "host/cups/cups_queue.h"
#include "platform/c_handles.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;

/// The scheduler's configuration file, as its administration resource
/// names it.
constexpr const char* kConfigResource = "/admin/conf/cupsd.conf";

// The job operations an owner does, as the shipped policy lists them, in
// two parts: those the submitting client sends unauthenticated while a job
// is made (lp fails with "Unauthorized" if they ask for more), and the rest.
constexpr const char* kPolicyBlock =
    "<Policy jobwick>\n"
    "  # Written by jobwick setup. Job tickets carry pass codes and passwords\n"
    "  # under keys anyone can find: only the owner and administrators read a\n"
    "  # job's values, and they authenticate to change, release or cancel it.\n"
    "  JobPrivateAccess default\n"
    "  JobPrivateValues all\n"
    "  SubscriptionPrivateAccess default\n"
    "  SubscriptionPrivateValues default\n"
    "  <Limit Create-Job Print-Job Print-URI Validate-Job>\n"
    "    Order deny,allow\n"
    "  </Limit>\n"
    "  <Limit Send-Document Send-URI Close-Job>\n"
    "    Require user @OWNER @SYSTEM\n"
    "    Order deny,allow\n"
    "  </Limit>\n"
    "  <Limit Hold-Job Release-Job Restart-Job Purge-Jobs Set-Job-Attributes "
    "Create-Job-Subscription Renew-Subscription Cancel-Subscription Get-Notifications "
    "Reprocess-Job Cancel-Current-Job Suspend-Current-Job Resume-Job Cancel-My-Jobs "
    "CUPS-Move-Job Cancel-Job CUPS-Authenticate-Job CUPS-Get-Document>\n"
    "    AuthType Default\n"
    "    Require user @OWNER @SYSTEM\n"
    "    Order deny,allow\n"
    "  </Limit>\n"
    "  <Limit Get-Jobs Get-Job-Attributes>\n"
    "    AuthType Default\n"
    "    Require valid-user\n"
    "    Order deny,allow\n"
    "  </Limit>\n"
    "  <Limit CUPS-Add-Modify-Printer CUPS-Delete-Printer CUPS-Add-Modify-Class "
    "CUPS-Delete-Class CUPS-Set-Default CUPS-Get-Devices>\n"
    "    AuthType Default\n"
    "    Require user @SYSTEM\n"
    "    Order deny,allow\n"
    "  </Limit>\n"
    "  <Limit Pause-Printer Resume-Printer Enable-Printer Disable-Printer "
    "Pause-Printer-After-Current-Job Hold-New-Jobs Release-Held-New-Jobs Deactivate-Printer "
    "Activate-Printer Restart-Printer Shutdown-Printer Startup-Printer Promote-Job "
    "Schedule-Job-After Cancel-Jobs CUPS-Accept-Jobs CUPS-Reject-Jobs>\n"
    "    AuthType Default\n"
    "    Require user @SYSTEM\n"
    "    Order deny,allow\n"
    "  </Limit>\n"
    "  <Limit All>\n"
    "    Order deny,allow\n"
    "  </Limit>\n"
    "</Policy>\n";

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return out;
}

/// The words of a configuration line, the way the scheduler splits a
/// directive: leading blanks skipped, "<" and ">" kept on the words.
std::pair<std::string, std::string> directiveOf(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  std::size_t at = line.find_first_not_of(" \t");
  if (at == std::string_view::npos) return {};
  const std::size_t end = line.find_first_of(" \t", at);
  std::string name(line.substr(at, end == std::string_view::npos ? line.size() - at : end - at));
  std::string value;
  if (end != std::string_view::npos) {
    const std::size_t start = line.find_first_not_of(" \t", end);
    if (start != std::string_view::npos) value = std::string(line.substr(start));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
      value.pop_back();
  }
  return {lower(name), value};
}

/// Whether a line opens the policy `name` ("<Policy jobwick>").
bool opensPolicy(std::string_view line, std::string_view name) {
  auto [directive, value] = directiveOf(line);
  if (directive != "<policy" || value.empty() || value.back() != '>') return false;
  value.pop_back();
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
  return lower(value) == lower(name);
}

/// Each line of `text` with its start offset; the last line may have no
/// line break.
std::vector<std::pair<std::size_t, std::string_view>> linesOf(std::string_view text) {
  std::vector<std::pair<std::size_t, std::string_view>> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    lines.emplace_back(at, text.substr(at, next - at));
    at = next;
  }
  return lines;
}

}  // namespace

const std::string& privatePolicyBlock() {
  static const std::string block = kPolicyBlock;
  return block;
}

PolicyEdit withPrivatePolicy(std::string* config) {
  const auto lines = linesOf(*config);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!opensPolicy(lines[i].second, kPrivatePolicy)) continue;
    std::size_t end = config->size();
    for (std::size_t j = i + 1; j < lines.size(); ++j) {
      if (directiveOf(lines[j].second).first == "</policy>") {
        end = lines[j].first + lines[j].second.size();
        break;
      }
    }
    const std::size_t start = lines[i].first;
    std::string block = config->substr(start, end - start);
    if (block == privatePolicyBlock()) return PolicyEdit::kUnchanged;
    config->replace(start, end - start, privatePolicyBlock());
    return PolicyEdit::kReplaced;
  }
  if (!config->empty() && config->back() != '\n') *config += '\n';
  *config += privatePolicyBlock();
  return PolicyEdit::kAdded;
}

namespace {

/// The top-level lines of `name`: offsets and values, outside any block.
std::vector<std::pair<std::pair<std::size_t, std::size_t>, std::string>> topLevel(
    std::string_view config, std::string_view name) {
  std::vector<std::pair<std::pair<std::size_t, std::size_t>, std::string>> found;
  int depth = 0;
  for (const auto& [offset, line] : linesOf(config)) {
    auto [directive, value] = directiveOf(line);
    if (directive.rfind("</", 0) == 0) {
      depth = std::max(0, depth - 1);
    } else if (directive.rfind("<", 0) == 0) {
      ++depth;
    } else if (depth == 0 && directive == lower(name)) {
      found.push_back({{offset, line.size()}, value});
    }
  }
  return found;
}

}  // namespace

bool withDirective(std::string* config, std::string_view name, std::string_view value) {
  const auto found = topLevel(*config, name);
  const std::string line = std::string(name) + " " + std::string(value) + "\n";
  if (found.empty()) {
    if (!config->empty() && config->back() != '\n') *config += '\n';
    *config += line;
    return true;
  }
  const auto& [where, current] = found.back();
  if (current == value) return false;
  config->replace(where.first, where.second, line);
  return true;
}

std::string directiveValue(std::string_view config, std::string_view name) {
  const auto found = topLevel(config, name);
  return found.empty() ? std::string() : found.back().second;
}

std::string logLevelOf(std::string_view config) {
  std::string level;
  for (const auto& [offset, line] : linesOf(config)) {
    auto [directive, value] = directiveOf(line);
    if (directive == "loglevel") level = lower(value);
  }
  return level;
}

bool logsTickets(std::string_view logLevel) {
  return logLevel == "debug" || logLevel == "debug2";
}

std::optional<std::string> readSchedulerConfig(std::string* error) {
  // The text goes through a file of no name, which nothing else can open.
  platform::UniqueFd file(::memfd_create("jobwick-cupsd-conf", MFD_CLOEXEC));
  const http_status_t status =
      file ? cupsGetFd(CUPS_HTTP_DEFAULT, kConfigResource, file.get()) : HTTP_STATUS_ERROR;
  if (status != HTTP_STATUS_OK) {
    if (error) {
      *error = trf("cannot read the configuration of the CUPS scheduler at %1: %2",
                   {schedulerName(),
                    status == HTTP_STATUS_UNAUTHORIZED || status == HTTP_STATUS_FORBIDDEN
                        ? tr("only an administrator may (root, or a member of the scheduler's "
                             "SystemGroup)")
                        : lastSchedulerReason()});
    }
    return std::nullopt;
  }
  std::string text;
  char buffer[8192];
  ::lseek(file.get(), 0, SEEK_SET);
  for (ssize_t n; (n = ::read(file.get(), buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  return text;
}

bool writeSchedulerConfig(const std::string& config, std::string* error) {
  platform::UniqueFd file(::memfd_create("jobwick-cupsd-conf", MFD_CLOEXEC));
  bool written = bool(file);
  for (std::size_t at = 0; written && at < config.size();) {
    const ssize_t n = ::write(file.get(), config.data() + at, config.size() - at);
    written = n > 0;
    at += written ? std::size_t(n) : 0;
  }
  if (!written || ::lseek(file.get(), 0, SEEK_SET) != 0) {
    if (error) *error = tr("cannot hold the scheduler's configuration in memory");
    return false;
  }
  const http_status_t status = cupsPutFd(CUPS_HTTP_DEFAULT, kConfigResource, file.get());
  if (status == HTTP_STATUS_CREATED || status == HTTP_STATUS_OK) return true;
  if (error) {
    *error = trf("cannot write the configuration of the CUPS scheduler at %1: %2 (HTTP %3)",
                 {schedulerName(), lastSchedulerReason(), std::to_string(int(status))});
  }
  return false;
}

bool modifyQueue(const std::string& name, const QueueChange& change, std::string* error,
                 bool* policyUnknown) {
  if (policyUnknown) *policyUnknown = false;
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/printers/%s", name.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  if (change.model) {
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "ppd-name", nullptr,
                 change.model->c_str());
  }
  if (change.deviceURI) {
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr,
                 change.deviceURI->c_str());
  }
  if (change.opPolicy) {
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-op-policy", nullptr,
                 change.opPolicy->c_str());
  }
  if (change.holdDefault) {
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "job-hold-until-default", nullptr,
                 change.holdDefault->c_str());
  }
  if (change.enable) {
    ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
  }
  const std::string ppd = change.ppdFile ? change.ppdFile->string() : std::string();
  platform::IppMessage response(cupsDoFileRequest(CUPS_HTTP_DEFAULT, request, "/admin/",
                                                  ppd.empty() ? nullptr : ppd.c_str()));
  if (response && cupsLastError() <= IPP_STATUS_OK_CONFLICTING) return true;
  const std::string reason = lastSchedulerReason();
  if (policyUnknown) {
    *policyUnknown = (cupsLastError() == IPP_STATUS_ERROR_NOT_POSSIBLE &&
                      reason.find("printer-op-policy") != std::string::npos) ||
                     schedulerUnreachable();
  }
  const ipp_status_t status = cupsLastError();
  const bool refused = status == IPP_STATUS_ERROR_FORBIDDEN ||
                       status == IPP_STATUS_ERROR_NOT_AUTHORIZED ||
                       status == IPP_STATUS_ERROR_NOT_AUTHENTICATED;
  if (error) {
    *error = trf(refused ? N_("queue %1: the CUPS scheduler at %2 says: %3 (only an "
                              "administrator may change a queue)")
                         : N_("queue %1: the CUPS scheduler at %2 says: %3"),
                 {name, schedulerName(), reason});
  }
  return false;
}

std::unique_ptr<TemporaryFile> fetchModelPPD(const std::string& model, std::string* error) {
  // Queues are described by PPDs, whose libcups calls are marked deprecated.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const char* path = cupsGetServerPPD(CUPS_HTTP_DEFAULT, model.c_str());
#pragma GCC diagnostic pop
  if (path) return std::make_unique<TemporaryFile>(fs::path(path));
  if (error) {
    *error = trf("model %1: the CUPS scheduler at %2 says: %3",
                 {model, schedulerName(), lastSchedulerReason()});
  }
  return nullptr;
}

}  // namespace jobwick::host
