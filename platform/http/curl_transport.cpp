// SPDX-License-Identifier: Apache-2.0
// The HTTP transfer over libcurl's multi interface: the module jobwick-http.so,
// which the framework library loads on the first URL connection.
#include <curl/curl.h>
#include <sys/select.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

#include "platform/c_handles.h"
#include "platform/http_transport.h"

namespace platform {

// The libcurl holders of c_handles.h are defined here, in the only code
// that makes libcurl handles, so that the framework library never needs
// libcurl itself.
void CurlEasyFree::operator()(CURL* easy) const noexcept {
  curl_easy_cleanup(easy);
}

void CurlMultiFree::operator()(CURLM* multi) const noexcept {
  curl_multi_cleanup(multi);
}

void CurlSlistFree::operator()(curl_slist* list) const noexcept {
  curl_slist_free_all(list);
}

namespace http {
namespace {

bool initCurlOnce() {
  static std::once_flag once;
  static CURLcode result = CURLE_OK;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result == CURLE_OK;
}

class CurlTransfer final : public Transfer {
 public:
  ~CurlTransfer() override { detach(); }

  bool start(const URLRequest& request, std::string* error);
  void collectPollDescriptors(std::vector<pollfd>& fds, long& timeoutMs) noexcept override;
  void perform(std::vector<Event>& events) noexcept override;
  void cancel() noexcept override {
    cancelled_ = true;
    events_.clear();
    detach();
  }
  std::size_t bytesReceived() const noexcept override { return bytesReceived_; }

 private:
  void detach() noexcept {
    if (attached_) curl_multi_remove_handle(multi_.get(), easy_.get());
    attached_ = false;
  }
  void setOptions(const URLRequest& request);
  static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user);
  static std::size_t onData(char* data, std::size_t size, std::size_t count, void* user);

  // Declared so that the easy handle goes first: it points into the header
  // list and the body, and must be out of the multi handle before that goes.
  CurlMulti multi_;
  CurlSlist headerList_;
  std::vector<std::uint8_t> body_;
  std::string url_;
  CurlEasy easy_;
  std::vector<Event> events_;
  URLResponse pending_;
  bool attached_ = false;
  bool cancelled_ = false;
  std::size_t bytesReceived_ = 0;
  char errorText_[CURL_ERROR_SIZE] = {};
};

std::size_t CurlTransfer::onHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* self = static_cast<CurlTransfer*>(user);
  const std::size_t n = size * count;
  try {
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
      self->pending_ = URLResponse{};
      if (auto space = line.find(' '); space != std::string::npos) {
        self->pending_.statusCode = std::strtol(line.c_str() + space + 1, nullptr, 10);
      }
    } else if (line.empty()) {
      // End of a header block; interim (1xx) answers are not responses.
      if (self->pending_.statusCode >= 200) {
        Event event;
        event.kind = Event::Kind::kResponse;
        event.response = self->pending_;
        self->events_.push_back(std::move(event));
      }
    } else if (auto colon = line.find(':'); colon != std::string::npos) {
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(" \t"));
      self->pending_.headers.emplace_back(line.substr(0, colon), value);
    }
  } catch (const std::bad_alloc&) {
    return 0;  // aborts the transfer
  }
  return n;
}

std::size_t CurlTransfer::onData(char* data, std::size_t size, std::size_t count, void* user) {
  auto* self = static_cast<CurlTransfer*>(user);
  const std::size_t n = size * count;
  if (self->cancelled_) return 0;  // aborts the transfer
  try {
    Event event;
    event.kind = Event::Kind::kData;
    event.data.assign(data, data + n);
    self->events_.push_back(std::move(event));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  self->bytesReceived_ += n;
  return n;
}

void CurlTransfer::setOptions(const URLRequest& request) {
  CURL* easy = easy_.get();
  curl_slist* list = nullptr;
  for (const auto& [field, value] : request.headers) {
    // "Field;" is libcurl's way of sending a field with an empty value
    // ("Field:" would remove the field).
    const std::string line = value.empty() ? field + ";" : field + ": " + value;
    list = curl_slist_append(list, line.c_str());
  }
  // Send only the fields the request names (besides Host).
  list = curl_slist_append(list, "Accept:");
  list = curl_slist_append(list, "Expect:");
  headerList_.reset(list);
  body_ = request.body;
  url_ = request.url;

  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText_);
  curl_easy_setopt(easy, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(request.timeoutInterval * 1000));
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
  if (request.cachePolicy == NSURLRequestReloadIgnoringLocalCacheData) {
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
  }
  if (request.method == "POST") {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body_.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS,
                     body_.empty() ? "" : reinterpret_cast<const char*>(body_.data()));
  } else if (request.method != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::onData);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
}

bool CurlTransfer::start(const URLRequest& request, std::string* error) {
  if (!initCurlOnce()) {
    *error = "libcurl could not be initialised";
    return false;
  }
  multi_.reset(curl_multi_init());
  easy_.reset(curl_easy_init());
  if (!multi_ || !easy_) {
    *error = "libcurl could not make a transfer";
    return false;
  }
  setOptions(request);
  if (curl_multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK) {
    *error = "libcurl could not start the transfer";
    return false;
  }
  attached_ = true;
  // Start at once: resolve and connect as far as possible without waiting.
  int running = 0;
  curl_multi_perform(multi_.get(), &running);
  return true;
}

void CurlTransfer::collectPollDescriptors(std::vector<pollfd>& fds, long& timeoutMs) noexcept {
  if (!attached_) return;
  fd_set readSet, writeSet, errorSet;
  FD_ZERO(&readSet);
  FD_ZERO(&writeSet);
  FD_ZERO(&errorSet);
  int maxFd = -1;
  curl_multi_fdset(multi_.get(), &readSet, &writeSet, &errorSet, &maxFd);
  try {
    for (int fd = 0; fd <= maxFd; ++fd) {
      short events = 0;
      if (FD_ISSET(fd, &readSet)) events |= POLLIN;
      if (FD_ISSET(fd, &writeSet)) events |= POLLOUT;
      if (FD_ISSET(fd, &errorSet)) events |= POLLPRI;
      if (events) fds.push_back({fd, events, 0});
    }
  } catch (const std::bad_alloc&) {
    // The descriptors not listed are looked at after the time-out below.
  }
  long curlTimeout = -1;
  curl_multi_timeout(multi_.get(), &curlTimeout);
  // With nothing to wait on yet (name resolution), look again soon.
  if (maxFd < 0 && (curlTimeout < 0 || curlTimeout > 100)) curlTimeout = 100;
  if (curlTimeout >= 0) timeoutMs = timeoutMs < 0 ? curlTimeout : std::min(timeoutMs, curlTimeout);
}

void CurlTransfer::perform(std::vector<Event>& events) noexcept {
  if (!attached_) return;
  int running = 0;
  curl_multi_perform(multi_.get(), &running);
  int pendingMessages = 0;
  try {
    while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &pendingMessages)) {
      if (msg->msg != CURLMSG_DONE) continue;
      Event end;
      if (msg->data.result == CURLE_OK) {
        end.kind = Event::Kind::kFinish;
      } else {
        end.kind = Event::Kind::kFail;
        end.error = curl_easy_strerror(msg->data.result);
        end.detail = errorText_[0] ? errorText_ : end.error;
      }
      events_.push_back(std::move(end));
    }
    for (Event& event : events_) events.push_back(std::move(event));
  } catch (const std::bad_alloc&) {
    Event fail;
    fail.kind = Event::Kind::kFail;
    fail.error = fail.detail = "out of memory";
    events.push_back(std::move(fail));
  }
  events_.clear();
}

Transfer* startTransfer(const URLRequest& request, std::string* error) noexcept {
  try {
    auto transfer = std::make_unique<CurlTransfer>();
    if (!transfer->start(request, error)) return nullptr;
    return transfer.release();
  } catch (const std::exception& e) {
    *error = e.what();
    return nullptr;
  }
}

const Module kModule{kModuleVersion, sizeof(Module), &startTransfer};

}  // namespace
}  // namespace http
}  // namespace platform

extern "C" __attribute__((visibility("default"))) const platform::http::Module*
jobwick_http_module() {
  return &platform::http::kModule;
}
