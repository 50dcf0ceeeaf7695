// SPDX-License-Identifier: Apache-2.0
// The plug-in's entry point: the principal class and the exported factory
// through which the print dialog creates it.
#include "pde/JC.h"

/// Makes a new instance of the principal class; the caller owns it.
extern "C" __attribute__((visibility("default"))) platform::PDEPlugIn* JOBWICK_CAT(JCPDEPlugIn,
                                                                                   _alloc)() {
  return new JCPDEPlugIn();
}
