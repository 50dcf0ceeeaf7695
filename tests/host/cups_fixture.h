// SPDX-License-Identifier: Apache-2.0
// One private CUPS scheduler shared by every test of this binary that needs
// one, with a queue per model, a queue served by the model-name fallback, a
// queue of a printer no bundle serves and queues whose PPD adds the
// recording filter. Started on first use; stopped by its PID at exit.
#pragma once

#include <filesystem>
#include <string>

#include "../support/private_cupsd.h"

namespace hosttest {

class SharedCupsd {
 public:
  /// The running scheduler, or null when it cannot run here (`why` says
  /// why; tests then skip).
  static jwtest::PrivateCupsd* get(std::string* why = nullptr);
};

/// Skips the test when there is no scheduler; else `cupsd` names it.
#define JOBWICK_NEED_CUPSD(cupsd)                        \
  std::string cupsdWhy;                                  \
  auto* cupsd = ::hosttest::SharedCupsd::get(&cupsdWhy); \
  if (!cupsd) GTEST_SKIP() << cupsdWhy

}  // namespace hosttest
