// SPDX-License-Identifier: Apache-2.0
// libFuzzer target: ppd model flags.
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/fuzz_entries.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  jobwick::fuzz::setUpEnvironment(JOBWICK_FUZZ_BUNDLE);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return jobwick::fuzz::ppdModelFlags(data, size);
}
