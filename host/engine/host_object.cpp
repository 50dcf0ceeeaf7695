// SPDX-License-Identifier: Apache-2.0
// The host object of the headless dialog.
#include "host/engine/host_object.h"

#include <utility>

namespace jobwick::host {

HostObject::HostObject(platform::PrintSession session, platform::PrintSettings settings,
                       platform::PPDFile ppd, bool constraintHandling)
    : session_(std::move(session)),
      settings_(std::move(settings)),
      ppd_(std::move(ppd)),
      constraintHandling_(constraintHandling) {}

ppd_file_t* HostObject::ppdFile() {
  ++ppdFileRequests_;
  // A dialog without constraint handling has no such operation; answering
  // null keeps a plug-in that asks anyway from getting a PPD it should not.
  return constraintHandling_ ? ppd_.get() : nullptr;
}

bool HostObject::respondsToSelector(std::string_view selector) const {
  return constraintHandling_ && selector == platform::kConstraintHandlingSelector;
}

}  // namespace jobwick::host
