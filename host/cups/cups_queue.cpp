// SPDX-License-Identifier: Apache-2.0
// CUPS queues and the bundles that serve them.
#include "host/cups/cups_queue.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>

#include <cups/cups.h>

#include "host/common/escape.h"
#include "host/common/translate.h"
#include "platform/c_handles.h"
#include "platform/ppd.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;

using platform::IppMessage;

/// The attributes a queue is described by.
const char* const kQueueAttributes[] = {"printer-name",
                                        "device-uri",
                                        "printer-make-and-model",
                                        "printer-op-policy",
                                        "printer-config-change-time",
                                        "job-hold-until-default",
                                        "printer-is-accepting-jobs",
                                        "printer-state",
                                        "printer-state-message"};

std::string stringOf(ipp_attribute_t* attribute) {
  const char* text = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
  return text ? text : "";
}

std::string stateOf(ipp_attribute_t* attribute) {
  if (!attribute || ippGetValueTag(attribute) != IPP_TAG_ENUM) return "";
  switch (ippGetInteger(attribute, 0)) {
    case IPP_PSTATE_IDLE:
      return "idle";
    case IPP_PSTATE_PROCESSING:
      return "processing";
    case IPP_PSTATE_STOPPED:
      return "stopped";
    default:
      return "";
  }
}

bool acceptingOf(ipp_attribute_t* attribute) {
  return !attribute || ippGetValueTag(attribute) != IPP_TAG_BOOLEAN || ippGetBoolean(attribute, 0);
}

/// Takes the state attributes from `attribute` into `queue`; false when
/// `attribute` is not one of them.
bool takeStateAttribute(ipp_attribute_t* attribute, QueueInfo& queue) {
  const std::string name = ippGetName(attribute) ? ippGetName(attribute) : "";
  if (name == "printer-is-accepting-jobs") {
    queue.acceptingJobs = acceptingOf(attribute);
  } else if (name == "printer-state") {
    queue.state = stateOf(attribute);
  } else if (name == "printer-state-message") {
    queue.stateMessage = stringOf(attribute);
  } else {
    return false;
  }
  return true;
}

long long changeTimeOf(ipp_attribute_t* attribute) {
  return attribute && ippGetValueTag(attribute) == IPP_TAG_INTEGER ? ippGetInteger(attribute, 0)
                                                                   : 0;
}

/// Why a connection to the scheduler cannot be made now; empty when one can.
std::string connectionFailure() {
  const char* server = cupsServer();
  if (!server || !*server) return tr("no scheduler configured");
  const std::string port = std::to_string(ippPort());
  std::unique_ptr<http_addrlist_t, decltype(&httpAddrFreeList)> addresses(
      httpAddrGetList(server, AF_UNSPEC, port.c_str()), &httpAddrFreeList);
  if (!addresses) {
    return tr(server[0] == '/' ? N_("no such socket") : N_("host name not found"));
  }
  // Each address in turn, as libcups would; the first failure's errno is
  // the reason (a connect times out after 5 s).
  int error = 0;
  for (http_addrlist_t* at = addresses.get(); at; at = at->next) {
    const int fd = ::socket(at->addr.addr.sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      if (error == 0) error = errno;
      continue;
    }
    const timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const int connected = ::connect(fd, &at->addr.addr, socklen_t(httpAddrLength(&at->addr)));
    if (connected != 0 && error == 0) error = errno;
    ::close(fd);
    if (connected == 0) return "";
  }
  return error == 0 || error == EBADF ? tr("no connection") : std::strerror(error);
}

/// The reason libcups gives for the last request that failed.
std::string lastReason() {
  return lastSchedulerReason();
}

/// Sends `request` to the scheduler; null (with the reason) on failure.
IppMessage ask(ipp_t* request, const char* resource, std::string* error) {
  IppMessage response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, resource));
  if (response && ippGetStatusCode(response.get()) <= IPP_STATUS_OK_CONFLICTING) return response;
  if (error) *error = lastReason();
  return nullptr;
}

std::string squashed(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c)) out += char(std::tolower(c));
  }
  return out;
}

/// The bundle folder `name` (as a PPD gives it) in `bundleDir`: one plain
/// path component, not "." or "..", naming a folder that, links resolved,
/// lies directly in `bundleDir`. Empty with `why` otherwise (a sentence
/// with the name as %1 and the PPD keyword as %2, for trf), so that a PPD
/// cannot have code loaded from anywhere else.
fs::path bundleInside(const std::string& name, const fs::path& bundleDir, const char** why) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    *why = N_("the PPD names bundle %1 (*%2), which is not a bundle folder's name");
    return {};
  }
  const fs::path bundle = bundleDir / name;
  std::error_code ec;
  if (!fs::is_directory(bundle, ec)) {
    *why = N_("the PPD names bundle %1 (*%2), which is not installed");
    return {};
  }
  const fs::path resolved = fs::canonical(bundle, ec);
  const fs::path folder = ec ? fs::path() : fs::canonical(bundleDir, ec);
  if (ec || resolved.parent_path() != folder) {
    *why = N_("the PPD names bundle %1 (*%2), which lies outside the bundles folder");
    return {};
  }
  return bundle;
}

std::string bundleList(const fs::path& bundleDir) {
  std::string list;
  for (const auto& name : availableBundles(bundleDir)) list += (list.empty() ? "" : ", ") + name;
  const std::string folder = escapeText(bundleDir.string());
  return list.empty() ? trf("none in %1", {folder}) : trf("%1 in %2", {escapeText(list), folder});
}

}  // namespace

std::string jobRefusal(const QueueInfo& queue) {
  if (queue.acceptingJobs) return "";
  std::string refusal = "queue " + queue.name + " does not accept jobs";
  if (!queue.stateMessage.empty()) refusal += ": " + escapeText(queue.stateMessage);
  return refusal;
}

std::string documentRefusal(const std::string& queue, std::uintmax_t bytes) {
  platform::HttpConnection http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC,
                                             cupsEncryption(), 1, 5000, nullptr));
  if (!http) return "";
  httpClearFields(http.get());
  httpSetField(http.get(), HTTP_FIELD_CONTENT_TYPE, "application/ipp");
  httpSetExpect(http.get(), HTTP_STATUS_CONTINUE);
  httpSetLength(http.get(), static_cast<std::size_t>(bytes));
  const std::string resource = "/printers/" + queue;
  if (httpPost(http.get(), resource.c_str()) != 0) return "";
  // The go-ahead may come first and the refusal of the length right after
  // it. Nothing is sent: the connection closes with the request unfinished.
  http_status_t status = HTTP_STATUS_CONTINUE;
  for (int answers = 0; answers < 2 && status == HTTP_STATUS_CONTINUE; ++answers) {
    if (!httpWait(http.get(), 1000)) return "";
    status = httpUpdate(http.get());
  }
  if (status != HTTP_STATUS_REQUEST_TOO_LARGE) return "";
  char size[32];
  std::snprintf(size, sizeof size, "%.1f MiB", double(bytes) / (1024.0 * 1024.0));
  return "queue " + escapeText(queue) + " refuses a document of " + size + ": " +
         httpStatus(status);
}

bool ticketsPrivate(const QueueInfo& queue) {
  return queue.opPolicy == kPrivatePolicy;
}

bool queueNotFound() {
  return cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND;
}

bool schedulerUnreachable() {
  const ipp_status_t status = cupsLastError();
  return status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL;
}

std::string lastSchedulerReason() {
  const char* reason = cupsLastErrorString();
  std::string text = reason && *reason ? reason : ippErrorString(cupsLastError());
  if (schedulerUnreachable()) {
    const std::string failure = connectionFailure();
    if (!failure.empty()) return failure;
  }
  return text;
}

std::string schedulerName() {
  const char* server = cupsServer();
  std::string name = server ? server : "";
  if (!name.empty() && name.front() != '/' && name.find(':') == std::string::npos) {
    name += ":" + std::to_string(ippPort());
  }
  return name;
}

std::optional<QueueInfo> describeQueue(const std::string& name, std::string* error) {
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/printers/%s", name.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                int(std::size(kQueueAttributes)), nullptr, kQueueAttributes);
  std::string reason;
  IppMessage response = ask(request, "/", &reason);
  if (!response) {
    if (error) {
      *error =
          schedulerUnreachable()
              ? trf("cannot reach the CUPS scheduler at %1: %2", {schedulerName(), reason})
              : trf("queue %1: the CUPS scheduler at %2 says: %3", {name, schedulerName(), reason});
    }
    return std::nullopt;
  }
  ipp_t* attributes = response.get();
  QueueInfo queue;
  queue.name = stringOf(ippFindAttribute(attributes, "printer-name", IPP_TAG_NAME));
  queue.deviceURI = stringOf(ippFindAttribute(attributes, "device-uri", IPP_TAG_URI));
  queue.makeAndModel =
      stringOf(ippFindAttribute(attributes, "printer-make-and-model", IPP_TAG_TEXT));
  queue.opPolicy = stringOf(ippFindAttribute(attributes, "printer-op-policy", IPP_TAG_NAME));
  queue.holdDefault =
      stringOf(ippFindAttribute(attributes, "job-hold-until-default", IPP_TAG_ZERO));
  queue.configChanged =
      changeTimeOf(ippFindAttribute(attributes, "printer-config-change-time", IPP_TAG_INTEGER));
  for (ipp_attribute_t* a = ippFirstAttribute(attributes); a; a = ippNextAttribute(attributes))
    takeStateAttribute(a, queue);
  if (queue.name.empty()) queue.name = name;
  return queue;
}

std::optional<std::vector<QueueInfo>> listQueues(std::string* error) {
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                int(std::size(kQueueAttributes)), nullptr, kQueueAttributes);
  std::string reason;
  IppMessage response = ask(request, "/", &reason);
  std::vector<QueueInfo> queues;
  if (!response) {
    // A scheduler without queues answers "not found".
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) return queues;
    if (error) *error = trf("cannot ask the CUPS scheduler at %1: %2", {schedulerName(), reason});
    return std::nullopt;
  }
  QueueInfo queue;
  for (ipp_attribute_t* a = ippFirstAttribute(response.get()); a;
       a = ippNextAttribute(response.get())) {
    const std::string attribute = ippGetName(a) ? ippGetName(a) : "";
    if (attribute.empty() && !queue.name.empty()) queues.push_back(std::exchange(queue, {}));
    if (attribute == "printer-name") queue.name = stringOf(a);
    if (attribute == "device-uri") queue.deviceURI = stringOf(a);
    if (attribute == "printer-make-and-model") queue.makeAndModel = stringOf(a);
    if (attribute == "printer-op-policy") queue.opPolicy = stringOf(a);
    if (attribute == "job-hold-until-default") queue.holdDefault = stringOf(a);
    if (attribute == "printer-config-change-time") queue.configChanged = changeTimeOf(a);
    takeStateAttribute(a, queue);
  }
  if (!queue.name.empty()) queues.push_back(queue);
  std::sort(queues.begin(), queues.end(),
            [](const QueueInfo& a, const QueueInfo& b) { return a.name < b.name; });
  return queues;
}

std::unique_ptr<TemporaryFile> fetchQueuePPD(const std::string& name, std::string* error) {
  char buffer[1024] = "";
  // The scheduler serves a queue's PPD itself: asked on the connection
  // already open, without cupsGetPPD3's request for the printer's address
  // and its second connection. A class (whose PPD is its first member's)
  // or anything else that fails goes the long way.
  if (platform::UniqueFd fd(cupsTempFd(buffer, sizeof buffer)); fd) {
    auto file = std::make_unique<TemporaryFile>(fs::path(buffer));
    const std::string resource = "/printers/" + name + ".ppd";
    if (cupsGetFd(CUPS_HTTP_DEFAULT, resource.c_str(), fd.get()) == HTTP_STATUS_OK && fd.close())
      return file;
  }
  buffer[0] = '\0';
  time_t modified = 0;
  // Queues are described by PPDs, whose libcups calls are marked deprecated.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const http_status_t status =
      cupsGetPPD3(CUPS_HTTP_DEFAULT, name.c_str(), &modified, buffer, sizeof buffer);
#pragma GCC diagnostic pop
  auto file = std::make_unique<TemporaryFile>(fs::path(buffer));
  if (status == HTTP_STATUS_OK) return file;
  if (error) {
    *error = trf("queue %1: no PPD from the CUPS scheduler at %2 (%3)",
                 {name, schedulerName(),
                  status == HTTP_STATUS_NOT_FOUND ? tr("the queue has none") : lastReason()});
  }
  return nullptr;
}

std::vector<std::string> availableBundles(const fs::path& bundleDir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(bundleDir, ec)) {
    if (entry.path().extension() == ".plugin" && entry.is_directory(ec)) {
      names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<fs::path> bundleForPPD(const fs::path& ppd, const fs::path& bundleDir,
                                     std::string* error,
                                     std::shared_ptr<const platform::PPDText>* text) {
  std::string reason;
  // A PPD whose bytes are kept is one fetched into a file of this process:
  // mapped, not copied.
  std::shared_ptr<const platform::PPDText> read =
      platform::PPDText::read(ppd.string(), text != nullptr, &reason);
  std::optional<std::map<std::string, std::string>> keywords;
  if (read) {
    keywords =
        platform::scanPPDKeywords(read->bytes(), ppd.string(), kBundleChoiceKeywords, &reason);
  }
  if (text) *text = std::move(read);
  if (!keywords) {
    if (error)
      *error =
          trf("cannot read the PPD: %1; bundles: %2", {escapeText(reason), bundleList(bundleDir)});
    return std::nullopt;
  }
  return bundleForKeywords(*keywords, bundleDir, error);
}

std::optional<fs::path> bundleForKeywords(const std::map<std::string, std::string>& keywords,
                                          const fs::path& bundleDir, std::string* error) {
  auto fail = [&](std::string message) -> std::optional<fs::path> {
    if (error) *error = trf("%1; bundles: %2", {message, bundleList(bundleDir)});
    return std::nullopt;
  };
  auto value = [&](const char* keyword) -> std::optional<std::string> {
    const auto found = keywords.find(keyword);
    if (found == keywords.end()) return std::nullopt;
    return found->second;
  };
  if (auto named = value(kBundleKeyword)) {
    const char* why = "";
    fs::path bundle = bundleInside(*named, bundleDir, &why);
    if (!bundle.empty()) return bundle;
    return fail(trf(why, {quoteText(*named), kBundleKeyword}));
  }
  const std::string model = squashed(value("ModelName").value_or(value("NickName").value_or("")));
  std::optional<fs::path> best;
  std::size_t bestLength = 0;
  for (const auto& name : availableBundles(bundleDir)) {
    std::string served = squashed(fs::path(name).stem().string());
    if (served.rfind("jobwick", 0) == 0) served.erase(0, 7);
    if (!served.empty() && model.size() >= served.size() && served.size() > bestLength &&
        model.compare(model.size() - served.size(), served.size(), served) == 0) {
      best = bundleDir / name;
      bestLength = served.size();
    }
  }
  if (best) return best;
  return fail(
      trf("no bundle serves its printer (no *%1, and no bundle's model ends its model name "
          "%2)",
          {kBundleKeyword, quoteText(value("ModelName").value_or(""))}));
}

std::optional<QueueTarget> resolveQueue(const std::string& name, const fs::path& bundleDir,
                                        std::string* error) {
  QueueTarget target;
  auto queue = describeQueue(name, error);
  if (!queue) return std::nullopt;
  target.queue = std::move(*queue);
  target.ppd = fetchQueuePPD(name, error);
  if (!target.ppd) return std::nullopt;
  std::string reason;
  auto bundle = bundleForPPD(target.ppd->path(), bundleDir, &reason, &target.ppdText);
  if (!bundle) {
    if (error) *error = trf("queue %1: %2", {name, reason});
    return std::nullopt;
  }
  target.bundle = std::move(*bundle);
  return target;
}

}  // namespace jobwick::host
