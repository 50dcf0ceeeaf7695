// SPDX-License-Identifier: Apache-2.0
#include "platform/url_connection.h"

#include <curl/curl.h>
#include <strings.h>
#include <sys/select.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/c_handles.h"

namespace platform {

void URLRequest::setValueForHTTPHeaderField(std::string value, std::string field) {
  for (auto& [name, existing] : headers) {
    if (strcasecmp(name.c_str(), field.c_str()) == 0) {
      existing = std::move(value);
      return;
    }
  }
  headers.emplace_back(std::move(field), std::move(value));
}

namespace {

// A header field name: a non-empty token of visible characters without
// separators, so that nothing can end the line or the header block early.
bool validHeaderField(const std::string& field) {
  if (field.empty()) return false;
  return std::all_of(field.begin(), field.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b > 0x20 && b < 0x7F && std::strchr("()<>@,;:\\\"/[]?={}", c) == nullptr;
  });
}

void initCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

enum class EventKind { Response, Data, Finish, Fail };
struct Event {
  EventKind kind;
  URLResponse response;
  std::vector<std::uint8_t> data;
  std::string error;
};

std::function<void(const URLConnectionEnd&)>& endObserver() {
  static std::function<void(const URLConnectionEnd&)> observer;
  return observer;
}

}  // namespace

void setURLConnectionEndObserver(std::function<void(const URLConnectionEnd&)> observer) {
  endObserver() = std::move(observer);
}

namespace {

void reportEnd(URLConnectionEnd::Kind kind, const std::string& url, std::string error,
               std::size_t bytes) {
  if (endObserver()) endObserver()({kind, url, std::move(error), bytes});
}

}  // namespace

struct URLConnection::Impl {
  // Declared so that the easy handle goes first: it points into the header
  // list and the body, and must be out of the multi handle before that goes.
  CurlMulti multi;
  CurlSlist headerList;
  std::vector<std::uint8_t> body;
  CurlEasy easy;
  std::vector<Event> events;
  URLResponse pending;
  bool attached = false;
  bool cancelled = false;
  std::string url;
  std::size_t bytesReceived = 0;
  char errorText[CURL_ERROR_SIZE] = {};

  static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    const std::size_t n = size * count;
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
      self->pending = URLResponse{};
      if (auto space = line.find(' '); space != std::string::npos) {
        self->pending.statusCode = std::strtol(line.c_str() + space + 1, nullptr, 10);
      }
    } else if (line.empty()) {
      // End of a header block; interim (1xx) answers are not responses.
      if (self->pending.statusCode >= 200) {
        self->events.push_back({EventKind::Response, self->pending, {}, {}});
      }
    } else if (auto colon = line.find(':'); colon != std::string::npos) {
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(" \t"));
      self->pending.headers.emplace_back(line.substr(0, colon), value);
    }
    return n;
  }

  static std::size_t onData(char* data, std::size_t size, std::size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    const std::size_t n = size * count;
    if (self->cancelled) return 0;  // aborts the transfer
    self->bytesReceived += n;
    self->events.push_back({EventKind::Data, {}, std::vector<std::uint8_t>(data, data + n), {}});
    return n;
  }
};

std::unique_ptr<URLConnection> URLConnection::initWithRequest(const URLRequest& request,
                                                              URLConnectionDelegate* delegate) {
  initCurlOnce();
  auto parsed = URL::parse(request.url);
  if (!parsed || parsed->scheme != "http" || parsed->host.empty()) return nullptr;
  for (const auto& [field, value] : request.headers) {
    if (!validHeaderField(field) || value.find_first_of("\r\n") != std::string::npos) {
      return nullptr;
    }
  }

  std::unique_ptr<URLConnection> connection(new URLConnection());
  connection->delegate_ = delegate;
  auto impl = std::make_unique<Impl>();
  impl->multi.reset(curl_multi_init());
  impl->easy.reset(curl_easy_init());
  if (!impl->multi || !impl->easy) return nullptr;
  CURL* easy = impl->easy.get();

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
  impl->headerList.reset(list);
  impl->body = request.body;

  impl->url = request.url;
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, impl->errorText);
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
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
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(impl->body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS,
                     impl->body.empty() ? "" : reinterpret_cast<const char*>(impl->body.data()));
  } else if (request.method != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, impl.get());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::onData);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, impl.get());

  if (curl_multi_add_handle(impl->multi.get(), easy) != CURLM_OK) return nullptr;
  impl->attached = true;
  connection->impl_ = std::move(impl);
  RunLoop::currentRunLoop().addSource(connection.get());
  // Start at once: resolve and connect as far as possible without waiting.
  int running = 0;
  curl_multi_perform(connection->impl_->multi.get(), &running);
  return connection;
}

URLConnection::~URLConnection() {
  RunLoop::currentRunLoop().removeSource(this);
  if (impl_ && impl_->attached) curl_multi_remove_handle(impl_->multi.get(), impl_->easy.get());
}

void URLConnection::cancel() {
  if (!impl_ || finished_) return;
  impl_->cancelled = true;
  impl_->events.clear();
  reportEnd(URLConnectionEnd::Kind::kCancelled, impl_->url, {}, impl_->bytesReceived);
  finished_ = true;
  RunLoop::currentRunLoop().removeSource(this);
  if (impl_->attached) {
    curl_multi_remove_handle(impl_->multi.get(), impl_->easy.get());
    impl_->attached = false;
  }
}

void URLConnection::collectPollDescriptors(std::vector<pollfd>& fds, long& timeoutMs) {
  if (!impl_ || finished_) return;
  fd_set readSet, writeSet, errorSet;
  FD_ZERO(&readSet);
  FD_ZERO(&writeSet);
  FD_ZERO(&errorSet);
  int maxFd = -1;
  curl_multi_fdset(impl_->multi.get(), &readSet, &writeSet, &errorSet, &maxFd);
  for (int fd = 0; fd <= maxFd; ++fd) {
    short events = 0;
    if (FD_ISSET(fd, &readSet)) events |= POLLIN;
    if (FD_ISSET(fd, &writeSet)) events |= POLLOUT;
    if (FD_ISSET(fd, &errorSet)) events |= POLLPRI;
    if (events) fds.push_back({fd, events, 0});
  }
  long curlTimeout = -1;
  curl_multi_timeout(impl_->multi.get(), &curlTimeout);
  // With nothing to wait on yet (name resolution), look again soon.
  if (maxFd < 0 && (curlTimeout < 0 || curlTimeout > 100)) curlTimeout = 100;
  if (curlTimeout >= 0) timeoutMs = timeoutMs < 0 ? curlTimeout : std::min(timeoutMs, curlTimeout);
}

void URLConnection::perform() {
  if (!impl_ || finished_) return;
  int running = 0;
  curl_multi_perform(impl_->multi.get(), &running);
  int pendingMessages = 0;
  while (CURLMsg* msg = curl_multi_info_read(impl_->multi.get(), &pendingMessages)) {
    if (msg->msg != CURLMSG_DONE) continue;
    if (msg->data.result == CURLE_OK) {
      reportEnd(URLConnectionEnd::Kind::kFinished, impl_->url, {}, impl_->bytesReceived);
      impl_->events.push_back({EventKind::Finish, {}, {}, {}});
    } else {
      reportEnd(URLConnectionEnd::Kind::kFailed, impl_->url,
                impl_->errorText[0] ? impl_->errorText : curl_easy_strerror(msg->data.result),
                impl_->bytesReceived);
      impl_->events.push_back({EventKind::Fail, {}, {}, curl_easy_strerror(msg->data.result)});
    }
  }
  // Deliver what happened; the delegate may cancel (or finish) us midway.
  std::vector<Event> events;
  events.swap(impl_->events);
  for (auto& event : events) {
    if (finished_) break;
    if (!delegate_) {
      if (event.kind == EventKind::Finish || event.kind == EventKind::Fail) finished_ = true;
      continue;
    }
    switch (event.kind) {
      case EventKind::Response:
        delegate_->didReceiveResponse(*this, event.response);
        break;
      case EventKind::Data:
        delegate_->didReceiveData(*this, event.data.data(), event.data.size());
        break;
      case EventKind::Finish:
        finished_ = true;
        delegate_->didFinishLoading(*this);
        break;
      case EventKind::Fail:
        finished_ = true;
        delegate_->didFailWithError(*this, event.error);
        break;
    }
  }
  if (finished_) RunLoop::currentRunLoop().removeSource(this);
}

}  // namespace platform
