// SPDX-License-Identifier: Apache-2.0
// URL loading over HTTP. A connection starts at once and delivers its events
// to its delegate from the run loop of the thread that created it, while
// that loop is pumped (no threads). The transfer itself (libcurl's multi
// interface) is in the module jobwick-http.so, loaded on the first
// connection of the process (http_transport.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/run_loop.h"
#include "platform/url.h"

namespace platform {

/// Cache policy: load from the origin, ignoring cached data.
inline constexpr int NSURLRequestReloadIgnoringLocalCacheData = 1;

struct URLRequest {
  std::string url;
  int cachePolicy = 0;
  double timeoutInterval = 60.0;
  std::string method = "GET";
  std::vector<std::uint8_t> body;
  /// Header fields in the order they are set; setting one again replaces it.
  std::vector<std::pair<std::string, std::string>> headers;

  void setValueForHTTPHeaderField(std::string value, std::string field);
};

struct URLResponse {
  long statusCode = 0;
  std::vector<std::pair<std::string, std::string>> headers;
};

class URLConnection;
namespace http {
struct Event;
class Transfer;
}  // namespace http

class URLConnectionDelegate {
 public:
  virtual ~URLConnectionDelegate() = default;
  virtual void didReceiveResponse(URLConnection& connection, const URLResponse& response) = 0;
  virtual void didReceiveData(URLConnection& connection, const std::uint8_t* bytes,
                              std::size_t length) = 0;
  virtual void didFinishLoading(URLConnection& connection) = 0;
  virtual void didFailWithError(URLConnection& connection, const std::string& error) = 0;
};

/// How a connection ended, for an observer that wants the cause a
/// delegate's alert leaves out (the host's diagnostics).
struct URLConnectionEnd {
  enum class Kind { kFinished, kFailed, kCancelled };
  Kind kind = Kind::kFinished;
  std::string url;
  std::string error;              ///< for kFailed: the transfer library's message
  std::size_t bytesReceived = 0;  ///< body bytes delivered before the end
};

/// Installs `observer` to be told how each connection ends (an empty one
/// removes it). It runs before the delegate hears of the end, and must not
/// touch the connection. Never fails.
void setURLConnectionEndObserver(std::function<void(const URLConnectionEnd&)> observer);

class URLConnection : public RunLoopSource {
 public:
  /// Starts loading `request` (http only; redirects are not followed, no
  /// proxy is used). The header fields go out in the request's order, after
  /// "Host"; libcurl adds no other field except "Content-Length" and, for a
  /// POST, "Content-Type" when the request names none. Answers null when the connection cannot be
  /// created (an invalid URL, another scheme, a header field or value that would break the request,
  /// the HTTP module or its libraries missing: the end observer then hears the cause as a
  /// failure). The delegate is not owned and must outlive the connection or cancel it; it
  /// must not destroy the connection from inside a delegate message.
  static std::unique_ptr<URLConnection> initWithRequest(const URLRequest& request,
                                                        URLConnectionDelegate* delegate);
  ~URLConnection() override;

  /// Stops loading; no delegate message follows.
  void cancel();
  bool isFinished() const { return finished_; }

  void collectPollDescriptors(std::vector<pollfd>& fds, long& timeoutMs) override;
  void perform() override;

 private:
  URLConnection() = default;
  void deliver(http::Event& event);
  struct Impl;
  std::unique_ptr<Impl> impl_;
  URLConnectionDelegate* delegate_ = nullptr;
  bool finished_ = false;
  friend struct URLConnectionAccess;
};

}  // namespace platform
