// SPDX-License-Identifier: Apache-2.0
// URLs: split with the print system's URI parser (libcups httpSeparateURI).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct URL {
  std::string text;    ///< the whole URL as given
  std::string scheme;  ///< as written, case kept
  std::string user;
  std::string host;      ///< may be empty
  int port = 0;          ///< 0 when the URL names none
  std::string resource;  ///< path and query, "/" when absent

  /// Parses `text`; nullopt when it is not a valid absolute URL (a space in
  /// it, no scheme, a bad port). Uses httpSeparateURI, so "ipp://h:631/x",
  /// "lpd://h/q", "socket://h:9100" and "http://h/p" all split the same way.
  static std::optional<URL> parse(std::string_view text);
};

}  // namespace platform
