// SPDX-License-Identifier: Apache-2.0
// The HTTP transfer behind URLConnection. It lives in a module of its own
// (jobwick-http.so, beside the framework library) that links libcurl, so
// that the transfer library and everything it brings (TLS, LDAP, SSH,
// HTTP/2, ...) is loaded on the first connection only, never by a command
// or a dialog that fetches nothing.
//
// The module is built from this source tree with the same compiler and
// standard library as the framework, so the interface is plain C++; the
// one entry point is a C symbol, and no exception leaves the module (every
// entry is noexcept).
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/url_connection.h"

namespace platform::http {

/// What a transfer has seen since it was last asked.
struct Event {
  enum class Kind { kResponse, kData, kFinish, kFail };
  Kind kind = Kind::kFinish;
  URLResponse response;            ///< kResponse
  std::vector<std::uint8_t> data;  ///< kData
  std::string error;               ///< kFail: the short message the delegate gets
  std::string detail;              ///< kFail: the transfer library's own text, if any
};

/// One request on its way. Made by Module::start, deleted by its owner;
/// nothing of it runs except inside these calls.
class Transfer {
 public:
  virtual ~Transfer() = default;
  /// The descriptors to wait on and the longest wait before perform().
  virtual void collectPollDescriptors(std::vector<pollfd>& fds, long& timeoutMs) noexcept = 0;
  /// Moves the transfer on as far as it goes without waiting and appends
  /// what happened to `events`.
  virtual void perform(std::vector<Event>& events) noexcept = 0;
  /// Stops the transfer; perform() reports nothing more.
  virtual void cancel() noexcept = 0;
  virtual std::size_t bytesReceived() const noexcept = 0;
};

/// The module's table. `version` is kModuleVersion of the build that made
/// it; a module of another build is refused.
struct Module {
  int version = 0;
  std::size_t size = 0;  ///< sizeof(Module) in the build that made it
  /// Starts `request` (already checked: an http URL with a host, header
  /// fields that cannot break the request). Null with `error` set when the
  /// library cannot make the transfer.
  Transfer* (*start)(const URLRequest& request, std::string* error) noexcept = nullptr;
};

inline constexpr int kModuleVersion = 2;
/// The symbol the module exports: `const Module* jobwick_http_module()`.
inline constexpr const char* kModuleSymbol = "jobwick_http_module";
/// The module's file name, in the folder of the framework library.
inline constexpr const char* kModuleFileName = "jobwick-http.so";

/// The module loaded once per process (on the first call), or null with
/// `error` set to why it could not be: the file missing or unreadable, its
/// libraries missing, another build's module. JOBWICK_HTTP_MODULE names
/// another file to load in its place.
const Module* loadedModule(std::string* error);

}  // namespace platform::http
