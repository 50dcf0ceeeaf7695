// SPDX-License-Identifier: Apache-2.0
#include "platform/url_connection.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "platform/c_handles.h"
#include "platform/http_transport.h"
#include "platform/module_loader.h"

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

namespace http {

const Module* loadedModule(std::string* error) {
  return moduleTable<Module>({"HTTP", kModuleFileName, "JOBWICK_HTTP_MODULE", kModuleSymbol},
                             kModuleVersion, error);
}

}  // namespace http

struct URLConnection::Impl {
  std::unique_ptr<http::Transfer> transfer;
  std::vector<http::Event> events;
  std::string url;
};

std::unique_ptr<URLConnection> URLConnection::initWithRequest(const URLRequest& request,
                                                              URLConnectionDelegate* delegate) {
  auto parsed = URL::parse(request.url);
  if (!parsed || parsed->scheme != "http" || parsed->host.empty()) return nullptr;
  for (const auto& [field, value] : request.headers) {
    if (!validHeaderField(field) || value.find_first_of("\r\n") != std::string::npos) {
      return nullptr;
    }
  }
  std::string error;
  const http::Module* module = http::loadedModule(&error);
  if (!module) {
    // No connection, so no delegate message; an observer learns the cause.
    reportEnd(URLConnectionEnd::Kind::kFailed, request.url, error, 0);
    return nullptr;
  }
  std::unique_ptr<http::Transfer> transfer(module->start(request, &error));
  if (!transfer) {
    reportEnd(URLConnectionEnd::Kind::kFailed, request.url, error, 0);
    return nullptr;
  }

  std::unique_ptr<URLConnection> connection(new URLConnection());
  connection->delegate_ = delegate;
  connection->impl_ = std::make_unique<Impl>();
  connection->impl_->transfer = std::move(transfer);
  connection->impl_->url = request.url;
  RunLoop::currentRunLoop().addSource(connection.get());
  return connection;
}

URLConnection::~URLConnection() {
  RunLoop::currentRunLoop().removeSource(this);
}

void URLConnection::cancel() {
  if (!impl_ || finished_) return;
  impl_->transfer->cancel();
  impl_->events.clear();
  reportEnd(URLConnectionEnd::Kind::kCancelled, impl_->url, {}, impl_->transfer->bytesReceived());
  finished_ = true;
  RunLoop::currentRunLoop().removeSource(this);
}

void URLConnection::collectPollDescriptors(std::vector<pollfd>& fds, long& timeoutMs) {
  if (!impl_ || finished_) return;
  impl_->transfer->collectPollDescriptors(fds, timeoutMs);
}

void URLConnection::perform() {
  if (!impl_ || finished_) return;
  impl_->transfer->perform(impl_->events);
  // The observer hears of the end before the delegate does.
  for (const http::Event& event : impl_->events) {
    if (event.kind == http::Event::Kind::kFinish) {
      reportEnd(URLConnectionEnd::Kind::kFinished, impl_->url, {},
                impl_->transfer->bytesReceived());
    } else if (event.kind == http::Event::Kind::kFail) {
      reportEnd(URLConnectionEnd::Kind::kFailed, impl_->url, event.detail,
                impl_->transfer->bytesReceived());
    }
  }
  // Deliver what happened; the delegate may cancel (or finish) us midway.
  std::vector<http::Event> events;
  events.swap(impl_->events);
  for (auto& event : events) {
    if (finished_) break;
    deliver(event);
  }
  if (finished_) RunLoop::currentRunLoop().removeSource(this);
}

void URLConnection::deliver(http::Event& event) {
  using Kind = http::Event::Kind;
  const bool end = event.kind == Kind::kFinish || event.kind == Kind::kFail;
  if (!delegate_) {
    if (end) finished_ = true;
    return;
  }
  switch (event.kind) {
    case Kind::kResponse:
      delegate_->didReceiveResponse(*this, event.response);
      break;
    case Kind::kData:
      delegate_->didReceiveData(*this, event.data.data(), event.data.size());
      break;
    case Kind::kFinish:
      finished_ = true;
      delegate_->didFinishLoading(*this);
      break;
    case Kind::kFail:
      finished_ = true;
      delegate_->didFailWithError(*this, event.error);
      break;
  }
}

}  // namespace platform
