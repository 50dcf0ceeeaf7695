// SPDX-License-Identifier: Apache-2.0
// The default destination and a queue's saved options, through libcups.
#include "host/cups/saved_options.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include <cups/cups.h>

#include "host/cups/cups_options.h"
#include "platform/c_handles.h"

namespace jobwick::host {
namespace {

/// Whether `name` describes the queue rather than the job: libcups puts
/// these among a destination's options, and `lp` has the scheduler ignore
/// them.
bool describesQueue(const std::string& name) {
  return name.starts_with("printer-") || name.starts_with("marker-") || name == "device-uri" ||
         name == "auth-info-required";
}

/// A value as libcups writes it among a destination's options: numbers
/// and enums as decimals, everything else as ippAttributeString gives it.
std::string valueText(ipp_attribute_t* attribute) {
  const ipp_tag_t tag = ippGetValueTag(attribute);
  if ((tag == IPP_TAG_INTEGER || tag == IPP_TAG_ENUM) && ippGetCount(attribute) == 1) {
    return std::to_string(ippGetInteger(attribute, 0));
  }
  const std::size_t size = ippAttributeString(attribute, nullptr, 0) + 1;
  std::string text(size, '\0');
  ippAttributeString(attribute, text.data(), size);
  text.resize(size - 1);
  return text;
}

/// The queue's own defaults ("NAME-default" attributes) of the options
/// `names`, by NAME: only those are asked for, as a queue's full answer is
/// large. No request when there are none.
OptionList queueDefaultsOf(const std::string& queue, const std::vector<std::string>& names) {
  OptionList defaults;
  if (names.empty()) return defaults;
  std::vector<std::string> requested;
  for (const std::string& name : names) requested.push_back(name + "-default");
  std::vector<const char*> values;
  for (const std::string& name : requested) values.push_back(name.c_str());
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/printers/%s", queue.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(values.size()), nullptr, values.data());
  platform::IppMessage response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
  if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_CONFLICTING) return defaults;
  constexpr std::string_view suffix = "-default";
  for (ipp_attribute_t* a = ippFirstAttribute(response.get()); a;
       a = ippNextAttribute(response.get())) {
    const std::string name = ippGetName(a) ? ippGetName(a) : "";
    if (name.size() > suffix.size() && name.ends_with(suffix)) {
      defaults.emplace_back(name.substr(0, name.size() - suffix.size()), valueText(a));
    }
  }
  return defaults;
}

}  // namespace

Destination splitDestination(const std::string& name) {
  const auto slash = name.find('/');
  if (slash == std::string::npos) return {name, {}};
  return {name.substr(0, slash), name.substr(slash + 1)};
}

std::optional<std::string> defaultDestination() {
  platform::CupsDest dest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr));
  if (!dest || !dest->name) return std::nullopt;
  std::string name = dest->name;
  if (dest->instance && *dest->instance) name += "/" + std::string(dest->instance);
  return name;
}

bool instanceDefined(const std::string& queue, const std::string& instance) {
  // cupsGetNamedDest makes up any instance asked for; the list of
  // destinations holds only those the lpoptions files define.
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  const platform::CupsDests list(dests, {count});
  return cupsGetDest(queue.c_str(), instance.c_str(), count, list.get()) != nullptr;
}

SavedOptions splitSavedOptions(const OptionList& destination, const OptionList& queueDefaults) {
  SavedOptions saved;
  for (const auto& [name, value] : destination) {
    if (isTicketKey(name)) {
      saved.ticket.emplace_back(name, value);
    } else if (!describesQueue(name) &&
               std::find(queueDefaults.begin(), queueDefaults.end(), std::make_pair(name, value)) ==
                   queueDefaults.end()) {
      saved.job.emplace_back(name, value);
    }
  }
  return saved;
}

SavedOptions savedOptionsFor(const std::string& queue, const std::string& instance) {
  platform::CupsDest dest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(),
                                           instance.empty() ? nullptr : instance.c_str()));
  if (!dest) return {};
  OptionList options;
  for (int i = 0; i < dest->num_options; ++i) {
    const cups_option_t& option = dest->options[i];
    if (option.name && option.value) options.emplace_back(option.name, option.value);
  }
  // The defaults that matter are those of the options a job could take.
  std::vector<std::string> compared;
  for (const auto& [name, value] : options) {
    if (!isTicketKey(name) && !describesQueue(name)) compared.push_back(name);
  }
  return splitSavedOptions(options, queueDefaultsOf(queue, compared));
}

}  // namespace jobwick::host
