// SPDX-License-Identifier: Apache-2.0
// JSON documents as text. Strings from outside (a PPD's texts, queue and
// bundle names, a printer's folder names, the scheduler's messages) need not
// be valid UTF-8; dumping such a string throws in nlohmann, so every
// document the host writes goes through jsonText, which writes each invalid
// byte as U+FFFD instead.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace jobwick::host {

/// `value` as JSON text: compact for a negative `indent`, else indented by
/// that many spaces. Invalid UTF-8 is replaced, never thrown on.
template <class Json>
std::string jsonText(const Json& value, int indent = -1) {
  return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace jobwick::host
