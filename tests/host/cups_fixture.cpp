// SPDX-License-Identifier: Apache-2.0
#include "cups_fixture.h"

#include <cstdlib>
#include <fstream>
#include <memory>

#include "jobwick_fixture.h"

namespace hosttest {

namespace fs = std::filesystem;

namespace {

/// A PPD of a printer that no bundle serves.
fs::path foreignPPD(const fs::path& folder) {
  std::string text = jwtest::PrivateCupsd::read(JobwickTest::source("examples/ppd/vk410e.ppd"));
  auto cut = [&](const std::string& from, const std::string& line) {
    const auto at = text.find(from);
    text.replace(at, text.find('\n', at) - at, line);
  };
  cut("*JobwickDialogExtension:", "*% no plug-in");
  cut("*ModelName:", "*ModelName: \"Acme LaserPro 9\"");
  const fs::path path = folder / "foreign.ppd";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

struct Shared {
  std::unique_ptr<TempDir> folder;
  std::unique_ptr<jwtest::PrivateCupsd> cupsd;
  std::string why;
};

Shared start() {
  Shared shared;
  if (!jwtest::PrivateCupsd::available()) {
    shared.why = "no cupsd here (scripts/install-deps.sh installs it)";
    return shared;
  }
  shared.folder = std::make_unique<TempDir>();
  const fs::path root = shared.folder->path();
  shared.cupsd = jwtest::PrivateCupsd::start(root / "cupsd", &shared.why);
  if (!shared.cupsd) return shared;
  const fs::path ppds = JobwickTest::source("examples/ppd");
  const std::pair<std::string, fs::path> queues[] = {
      {"Vk7300", ppds / "vk7300.ppd"},
      {"Vk410e", ppds / "vk410e.ppd"},
      {"Plain7300", ppds / "vk7300-plain.ppd"},
      {"Foreign", foreignPPD(root)},
      {"System7300", ppds / "vk7300-print-system.ppd"},
      {"Closed", ppds / "vk7300.ppd"},
      {"Rec7300", jwtest::PrivateCupsd::withRecorder(ppds / "vk7300.ppd", root / "r7300.ppd")},
      {"Rec410e", jwtest::PrivateCupsd::withRecorder(ppds / "vk410e.ppd", root / "r410e.ppd")},
  };
  for (const auto& [name, ppd] : queues) {
    if (!shared.cupsd->addQueue(name, ppd, &shared.why)) {
      shared.cupsd.reset();
      return shared;
    }
  }
  if (!shared.cupsd->run("cupsreject -r 'closed for the test' Closed", &shared.why)) {
    shared.cupsd.reset();
  }
  return shared;
}

}  // namespace

jwtest::PrivateCupsd* SharedCupsd::get(std::string* why) {
  static Shared shared = start();
  if (!shared.cupsd && why) *why = shared.why;
  return shared.cupsd.get();
}

}  // namespace hosttest
