// SPDX-License-Identifier: Apache-2.0
// The headless dialog's host object: the printing session with its printer,
// the job's print settings and the printer's PPD, handed to the plug-in with
// the request for panels.
#pragma once

#include <string_view>

#include "platform/pde.h"
#include "platform/ppd.h"
#include "platform/print_settings.h"

namespace jobwick::host {

class HostObject : public platform::PDEPluginCallback {
 public:
  /// A host for `session` and `settings`, owning `ppd` (may be null). With
  /// `constraintHandling` off the host behaves like a dialog without PPD
  /// constraint handling: it does not answer to the constraint-handling
  /// operation and has no PPD to give.
  HostObject(platform::PrintSession session, platform::PrintSettings settings,
             platform::PPDFile ppd, bool constraintHandling);

  platform::PrintSession* printSession() override { return &session_; }
  platform::PrintSettings* printSettings() override { return &settings_; }
  /// The PPD (null without one, or when constraint handling is off); every
  /// request is counted.
  ppd_file_t* ppdFile() override;
  /// Answers true for the constraint-handling operation while it is offered.
  bool respondsToSelector(std::string_view selector) const override;

  bool offersConstraintHandling() const { return constraintHandling_; }
  /// How often the plug-in asked for the PPD.
  int ppdFileRequests() const { return ppdFileRequests_; }
  const platform::PrintSettings& settings() const { return settings_; }
  /// The PPD the host holds, whether or not it offers it.
  ppd_file_t* heldPPD() const { return ppd_.get(); }

 private:
  platform::PrintSession session_;
  platform::PrintSettings settings_;
  platform::PPDFile ppd_;
  bool constraintHandling_;
  int ppdFileRequests_ = 0;
};

}  // namespace jobwick::host
