// SPDX-License-Identifier: Apache-2.0
// URL splitting with libcups' URI parser.
#include "platform/url.h"

#include <cups/http.h>

#include <algorithm>
#include <array>

namespace platform {
namespace {

/// Whether the authority part of `text` (after "scheme://") names a port
/// itself. httpSeparateURI fills in the scheme's default port, which this
/// platform's URLs do not report.
bool hasExplicitPort(std::string_view text) {
  const std::size_t slashes = text.find("://");
  if (slashes == std::string_view::npos) return false;
  std::string_view authority = text.substr(slashes + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority = authority.substr(at + 1);
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    authority = authority.substr(close + 1);
    return !authority.empty() && authority.front() == ':';
  }
  return authority.find(':') != std::string_view::npos;
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
  // White space, control characters and non-ASCII bytes have no place in a
  // URL; the parser itself would accept some of them.
  if (text.empty() || std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b <= 0x20 || b >= 0x7F;
      })) {
    return std::nullopt;
  }
  const std::string uri(text);
  std::array<char, 256> scheme{};
  std::array<char, 256> user{};
  std::array<char, 1024> host{};
  std::array<char, 4096> resource{};
  int port = 0;
  const http_uri_status_t status = httpSeparateURI(
      HTTP_URI_CODING_ALL, uri.c_str(), scheme.data(), static_cast<int>(scheme.size()), user.data(),
      static_cast<int>(user.size()), host.data(), static_cast<int>(host.size()), &port,
      resource.data(), static_cast<int>(resource.size()));
  if (status < HTTP_URI_STATUS_OK || status == HTTP_URI_STATUS_MISSING_SCHEME) {
    return std::nullopt;
  }

  URL url;
  url.text = uri;
  // The scheme exactly as written: callers compare it case-sensitively.
  url.scheme = uri.substr(0, uri.find(':'));
  url.user = user.data();
  url.host = host.data();
  url.port = hasExplicitPort(text) ? port : 0;
  url.resource = resource[0] != '\0' ? std::string(resource.data()) : std::string("/");
  return url;
}

}  // namespace platform
