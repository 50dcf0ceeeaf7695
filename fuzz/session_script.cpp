// SPDX-License-Identifier: Apache-2.0
// libFuzzer target: session script.
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return jobwick::fuzz::sessionScript(data, size);
}
