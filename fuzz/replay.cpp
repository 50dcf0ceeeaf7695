// SPDX-License-Identifier: Apache-2.0
// Feeds files through the fuzz entries without libFuzzer, so that the
// normal test run replays every kept crash input and every seed.
//
//   fuzz_replay FUZZ_DIR      every file below FUZZ_DIR/regressions/<target>/
//                             and FUZZ_DIR/corpus/<target>/ through <target>
//   fuzz_replay TARGET FILE…  the given files through TARGET
//
// Prints one line per target and a closing "N passed, 0 failed" line; a
// crash stops the process under the sanitizers after naming the file.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/entries/fuzz_entries.h"

namespace {

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool runFile(const jobwick::fuzz::Entry& entry, const std::filesystem::path& path) {
  std::ifstream probe(path, std::ios::binary);
  if (!probe) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  std::fprintf(stderr, "%s: %s\n", entry.name, path.c_str());
  const auto bytes = readFile(path);
  entry.run(bytes.data(), bytes.size());
  return true;
}

std::vector<std::filesystem::path> filesBelow(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return files;
  for (const auto& item : std::filesystem::recursive_directory_iterator(folder, ec)) {
    if (item.is_regular_file() && item.path().filename().string()[0] != '.') {
      files.push_back(item.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FUZZ_DIR | TARGET FILE...\n", argv[0]);
    return 2;
  }
  jobwick::fuzz::setUpEnvironment(JOBWICK_FUZZ_BUNDLE);
  int passed = 0;
  int failed = 0;
  if (const auto* entry = jobwick::fuzz::findEntry(argv[1])) {
    for (int i = 2; i < argc; ++i) (runFile(*entry, argv[i]) ? passed : failed)++;
  } else {
    const std::filesystem::path root = argv[1];
    for (const auto& entry : jobwick::fuzz::entries()) {
      int count = 0;
      for (const char* kind : {"regressions", "corpus"}) {
        for (const auto& file : filesBelow(root / kind / entry.name)) {
          (runFile(entry, file) ? passed : failed)++;
          ++count;
        }
      }
      std::printf("%s: %d inputs\n", entry.name, count);
    }
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
