// SPDX-License-Identifier: Apache-2.0
// jobwick_bench: times the panel's costly paths and checks how they grow.
// Every figure is the median thread CPU time of repeated runs, shown with
// the fastest and the slowest run; the checks compare figures
// measured in the same run (ratios), so that they hold on a slow or busy
// machine too; a growth check takes the median of three rounds that each
// measure both sizes. Build it Release (scripts/bench.sh does) for figures that
// mean anything.
//
// Usage: jobwick_bench [--quick]
//   --quick  fewer repetitions (a smoke run)
// Exit status: 0 when every check holds, 1 when one fails, 2 on a setup
// error (no bundle, no sample PPD, no temporary folder).
#include <nettle/aes.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "pde/JC.h"
#include "pde/plugin_bundle.h"
#include "platform/alert.h"
#include "platform/bundle.h"
#include "platform/c_handles.h"
#include "platform/controls.h"
#include "platform/encoding.h"
#include "platform/pde.h"
#include "platform/ppd.h"
#include "platform/print_settings.h"
#include "platform/system.h"
#include "platform/user_defaults.h"
#include "ticket/credentials.h"
#include "ui/filters.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

int gRepeats = 15;

/// Runs per timed batch for the figures too small to time one by one.
constexpr int kBatch = 200;

/// The thread CPU time of this thread in microseconds: what the code costs,
/// whatever else the machine runs meanwhile.
double threadMicros() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

/// A figure: the median of repeated runs with the fastest and the slowest.
/// It reads as its median.
struct Timing {
  double median = 0;
  double low = 0;
  double high = 0;
  operator double() const { return median; }  // NOLINT: a figure reads as its median
};

/// The thread CPU time of `run` in microseconds over `repeats` runs;
/// `prepare` (untimed) runs before each.
Timing medianMicros(const std::function<void()>& run, const std::function<void()>& prepare = {},
                    int repeats = gRepeats) {
  std::vector<double> times;
  times.reserve(std::size_t(repeats));
  for (int i = 0; i < repeats; ++i) {
    if (prepare) prepare();
    const double start = threadMicros();
    run();
    times.push_back(threadMicros() - start);
  }
  std::sort(times.begin(), times.end());
  return {times[std::size_t(repeats / 2)], times.front(), times.back()};
}

/// Medians of one path at a small and a large size, and how they grow.
struct Growth {
  Timing small;
  Timing large;
  double ratio() const { return large / small; }
};

/// The growth of a path from a small to a large size, measured in three
/// rounds that each measure both sizes back to back: the round whose ratio
/// is the median gives the ratio and both figures. A burst of load on a
/// shared machine that slows one size of one round then does not decide a
/// check.
Growth medianGrowth(const std::function<Timing()>& small, const std::function<Timing()>& large) {
  constexpr int kRounds = 3;
  std::vector<Growth> rounds;
  for (int round = 0; round < kRounds; ++round) {
    Growth growth;
    growth.small = small();
    growth.large = large();
    rounds.push_back(growth);
  }
  std::sort(rounds.begin(), rounds.end(),
            [](const Growth& a, const Growth& b) { return a.ratio() < b.ratio(); });
  return rounds[kRounds / 2];
}

/// The printer side of the dialog: one printer with the sample PPD.
class BenchHost : public platform::PDEPluginCallback {
 public:
  platform::PrintSettings settings;
  platform::PrintSession session{platform::Printer("Office_MFP", "ipp://10.0.0.5:631/ipp/print")};
  platform::PPDFile ppd;

  platform::PrintSession* printSession() override { return &session; }
  platform::PrintSettings* printSettings() override { return &settings; }
  ppd_file_t* ppdFile() override { return ppd.get(); }
  bool respondsToSelector(std::string_view selector) const override {
    return selector == platform::kConstraintHandlingSelector;
  }
};

/// A private folder for preferences and answers, removed at the end.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "jobwick-bench-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

/// Pins everything the panel would take from the machine.
bool pinEnvironment(const fs::path& root) {
  std::error_code ec;
  fs::create_directories(root / "prefs", ec);
  fs::create_directories(root / "tmp", ec);
  platform::UserDefaults::setPreferencesFolderOverride(root / "prefs");
  platform::setTemporaryDirectoryOverride((root / "tmp").string() + "/");
  platform::setCurrentTimeOverride(1796688307.0);
  platform::setTimeZoneOffsetOverride(9 * 3600);
  platform::setUserNamesOverride(std::string("jdoe"), std::string("Jane Doe"));
  platform::setPreferredLanguagesOverride({"en"});
  platform::setSystemEncodingOverride(platform::kCFStringEncodingMacRoman);
  platform::setAlertPresenter([](const platform::Alert&) {});
  auto bundle =
      platform::Bundle::bundleWithPath(fs::path(JOBWICK_BUNDLE_DIR) / "JobwickVk7300.plugin");
  if (!bundle) return false;
  jobwick::setPluginBundleOverride(bundle);
  return true;
}

void unpinEnvironment() {
  jobwick::setPluginBundleOverride(nullptr);
  platform::UserDefaults::setPreferencesFolderOverride(std::nullopt);
  platform::setTemporaryDirectoryOverride(std::nullopt);
  platform::setCurrentTimeOverride(std::nullopt);
  platform::setTimeZoneOffsetOverride(std::nullopt);
  platform::setUserNamesOverride(std::nullopt, std::nullopt);
  platform::setPreferredLanguagesOverride({});
  platform::setSystemEncodingOverride(std::nullopt);
  platform::setAlertPresenter({});
}

std::shared_ptr<BenchHost> makeHost(const fs::path& ppdPath) {
  auto host = std::make_shared<BenchHost>();
  host->ppd = platform::openPPD(ppdPath.string());
  host->settings.setJobName(std::string("Quarterly Report"));
  return host;
}

/// A controller with its panel loaded and restored.
std::shared_ptr<JC> openPanel(const std::shared_ptr<BenchHost>& host) {
  auto jc = JC::initWithCallback(host);
  jc->panelView();
  jc->restoreValuesAndReturnError(nullptr);
  return jc;
}

/// The printer's answer with `count` folders, every third one protected.
std::string answerWithFolders(std::size_t count) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<e:Envelope xmlns:e=\"urn:e\"><e:Body>"
      "<answer><result-code>ok</result-code><files>\n";
  for (std::size_t i = 0; i < count; ++i) {
    text += "<file><name>Folder " + std::to_string(i) + "</name><password>" +
            (i % 3 == 0 ? "true" : "false") + "</password><dir>false</dir></file>\n";
  }
  text += "</files></answer></e:Body></e:Envelope>\n";
  return text;
}

/// The sample PPD with `count` extra PickOne options of two choices each
/// appended (a printer with very many installable options).
std::string ppdWithOptions(const std::string& sample, std::size_t count) {
  std::string text = sample;
  if (!text.empty() && text.back() != '\n') text += '\n';
  for (std::size_t i = 0; i < count; ++i) {
    const std::string name = "BenchOpt" + std::to_string(i);
    text += "*OpenUI *" + name + "/Bench Option " + std::to_string(i) + ": PickOne\n*Default" +
            name + ": Off\n*" + name + " Off/Off: \"\"\n*" + name + " On/On: \"\"\n*CloseUI: *" +
            name + "\n";
  }
  return text;
}

struct Report {
  bool failed = false;
  void figure(const char* name, const Timing& micros) {
    std::printf("  %-52s %12.1f us  [%.1f-%.1f]\n", name, micros.median, micros.low, micros.high);
  }
  void check(const char* name, double value, double limit, const char* unit) {
    const bool ok = value <= limit;
    failed = failed || !ok;
    std::printf("  %-52s %10.2f%s  (limit %g%s)  %s\n", name, value, unit, limit, unit,
                ok ? "ok" : "FAIL");
  }
};

/// The crypto floor of one full save: its 30 AES-128 blocks through one
/// key schedule made once and kept, and its two MD5 digests, with the
/// cipher library the save uses. The save itself makes a key schedule per
/// cipher; this is what the same blocks cost at the least.
void rawCrypto() {
  static const std::uint8_t key[16] = {0x5e, 0x3a, 0x91, 0xc0, 0x7d, 0x24, 0xb6, 0xf8,
                                       0xa1, 0xe0, 0xc9, 0x4d, 0x3b, 0x7f, 0x2a, 0x61};
  static const aes128_ctx schedule = [] {
    aes128_ctx made;
    aes128_set_encrypt_key(&made, key);
    return made;
  }();
  std::uint8_t block[16] = {'1', '2', '3', '4'};
  std::uint8_t out[16];
  for (int i = 0; i < 30; ++i) {
    aes128_encrypt(&schedule, sizeof block, out, block);
    block[5] = out[0];
  }
  char digest[33];
  calcMD5(digest, "jdoe");
  calcMD5(digest, "1234");
}

void fillEveryField(JC& jc) {
  const std::pair<platform::TextField*, const char*> fields[] = {
      {jc.suspendKeyEditText, "12345678"},      {jc.loginNameEditText, "jane.doe.longname"},
      {jc.passwordEditText, "s3cret-pass!"},    {jc.userNumberEditText, "12345678"},
      {jc.accountNumberEditText, "87654321"},   {jc.userNameEditText, "Jane Doe"},
      {jc.jobNameEditText, "Quarterly Report"}, {jc.folderPasswordEditText, "24680"},
      {jc.folderNameEditText, "Sales"},
  };
  for (const auto& [field, text] : fields) {
    if (field) field->setStringValue(text);
  }
  for (platform::Button* button :
       {jc.suspendKeyButton, jc.loginNameButton, jc.passwordButton, jc.userNumberButton,
        jc.accountNumberButton, jc.userNameButton, jc.jobNameButton, jc.folderPasswordButton,
        jc.folderNameButton}) {
    if (button) button->setState(platform::NSOnState);
  }
  if (jc.authenticationRadioButton) jc.authenticationRadioButton->setState(platform::NSOnState);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      gRepeats = 3;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("usage: jobwick_bench [--quick]\n");
      return 0;
    } else {
      std::fprintf(stderr, "jobwick_bench: unknown argument %s (try --help)\n", argv[i]);
      return 2;
    }
  }
  Scratch scratch;
  if (scratch.path().empty()) {
    std::fprintf(stderr, "jobwick_bench: cannot make a temporary folder\n");
    return 2;
  }
  if (!pinEnvironment(scratch.path())) {
    std::fprintf(stderr, "jobwick_bench: no plug-in bundle in %s\n", JOBWICK_BUNDLE_DIR);
    return 2;
  }
  const fs::path ppdPath = fs::path(JOBWICK_SOURCE_DIR) / "examples/ppd/vk7300.ppd";
  auto host = makeHost(ppdPath);
  if (!host->ppd) {
    std::fprintf(stderr, "jobwick_bench: cannot open %s\n", ppdPath.c_str());
    unpinEnvironment();
    return 2;
  }
  Report report;
  std::printf("jobwick_bench: medians of %d runs\n", gRepeats);

  // Panel open with the preference file in place (the first open writes it).
  openPanel(host);
  const Timing open = medianMicros([&] { openPanel(host); });
  report.figure("construction + panelView + restore", open);

  // One save with every field filled, against its raw crypto.
  auto jc = openPanel(host);
  fillEveryField(*jc);
  // Both a few microseconds, near the cost of reading the clock itself:
  // each figure is one run of a batch of 200, timed together.
  const auto batchOf = [](const std::function<void()>& run) {
    return [run] {
      for (int i = 0; i < kBatch; ++i) run();
    };
  };
  const auto perRun = [](Timing batch) {
    return Timing{batch.median / kBatch, batch.low / kBatch, batch.high / kBatch};
  };
  const Timing save = perRun(medianMicros(batchOf([&] { jc->saveValuesAndReturnError(nullptr); })));
  const Timing crypto = perRun(medianMicros(batchOf(rawCrypto)));
  report.figure("save, every field filled", save);
  report.figure("crypto floor of a save (30 AES, 1 context, 2 MD5)", crypto);

  // The folder answer: parse and menu.
  const auto answerFile = [&](std::size_t count) {
    const fs::path answer = scratch.path() / ("answer" + std::to_string(count) + ".xml");
    if (!fs::exists(answer)) std::ofstream(answer, std::ios::binary) << answerWithFolders(count);
    return answer;
  };
  const auto parseAndShow = [&](std::size_t count, int repeats) {
    const fs::path answer = answerFile(count);
    return medianMicros(
        [&] {
          jc->parseXML(answer.string());
          jc->makeFolderPopup();
        },
        {}, repeats);
  };
  const Growth parse = medianGrowth([&] { return parseAndShow(1000, gRepeats); },
                                    [&] { return parseAndShow(10000, gRepeats); });
  report.figure("parseXML + makeFolderPopup, 1k folders", parse.small);
  report.figure("parseXML + makeFolderPopup, 10k folders", parse.large);
  const Timing parse100k = parseAndShow(100000, std::min(gRepeats, 5));
  report.figure("parseXML + makeFolderPopup, 100k folders", parse100k);

  // Menu rebuilds over an existing menu of the same size (10k last, which
  // the search below uses).
  const auto rebuildOverItself = [&](std::size_t count) {
    jc->parseXML(answerFile(count).string());
    jc->makeFolderPopup();
    return medianMicros([&] { jc->makeFolderPopup(); });
  };
  const Growth rebuild = medianGrowth([&] { return rebuildOverItself(1000); },
                                      [&] { return rebuildOverItself(10000); });
  report.figure("makeFolderPopup over itself, 1k items", rebuild.small);
  report.figure("makeFolderPopup over itself, 10k items", rebuild.large);

  // A name that no folder has: the search visits every entry.
  const std::optional<std::string> missing = std::string("No Such Folder");
  const Timing search = medianMicros([&] { jc->SearchSameFolderName(missing); });
  const double searchPerEntry = search * 1000.0 / 10000.0;
  report.figure("SearchSameFolderName, 10k folders (no match)", search);

  // Typing into a field without a length limit (the login-name filter).
  const auto typeInto = [](std::size_t count) {
    const std::string text(count, 'x');
    platform::TextField field;
    return medianMicros([&] { field.typeText(text); },
                        [&] {
                          field.setStringValue("");
                          field.setFormatter(std::make_unique<LoginnameInputFilter>());
                        });
  };
  const Growth typing =
      medianGrowth([&] { return typeInto(1000); }, [&] { return typeInto(10000); });
  report.figure("typing 1k characters", typing.small);
  report.figure("typing 10k characters", typing.large);

  // Restore with 10k and 100k print-settings entries besides the panel's own.
  std::shared_ptr<JC> crowdedPanel;
  Timing restoreCrowded[2] = {};
  const int entryCounts[] = {10000, 100000};
  for (int i = 0; i < 2; ++i) {
    auto crowded = makeHost(ppdPath);
    for (int n = 0; n < entryCounts[i]; ++n) {
      crowded->settings.setValue("com.example.other." + std::to_string(n), std::to_string(n));
    }
    crowdedPanel = openPanel(crowded);
    restoreCrowded[i] = medianMicros([&] { crowdedPanel->restoreValuesAndReturnError(nullptr); },
                                     {}, i == 1 ? std::min(gRepeats, 5) : gRepeats);
    const std::string name =
        "restore, " + std::to_string(entryCounts[i] / 1000) + "k print-settings entries";
    report.figure(name.c_str(), restoreCrowded[i]);
  }
  const Timing restorePlain = medianMicros([&] { jc->restoreValuesAndReturnError(nullptr); });
  report.figure("restore, the panel's entries only", restorePlain);

  // Opening a PPD with 2k and 20k options, and a panel over it.
  std::string sample;
  {
    std::ifstream in(ppdPath, std::ios::binary);
    sample.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  Timing ppdOpen[2] = {};
  Timing ppdParse[2] = {};
  Timing panelOverPPD[2] = {};
  const std::size_t optionCounts[] = {2000, 20000};
  for (int i = 0; i < 2; ++i) {
    const fs::path big = scratch.path() / ("options" + std::to_string(optionCounts[i]) + ".ppd");
    std::ofstream(big, std::ios::binary) << ppdWithOptions(sample, optionCounts[i]);
    const int repeats = i == 1 ? std::min(gRepeats, 5) : gRepeats;
    ppdOpen[i] = medianMicros([&] { openPanel(makeHost(big)); }, {}, repeats);
    const std::string k = std::to_string(optionCounts[i] / 1000) + "k options";
    report.figure(("open PPD + panel, " + k).c_str(), ppdOpen[i]);
    // The two parts of it: the PPD's parse (openPPD: the file read once,
    // libcups over it without the option blocks), and the panel over the
    // PPD once it is open.
    ppdParse[i] = medianMicros([&] { platform::openPPD(big.string()); }, {},
                               i == 1 ? std::min(gRepeats, 3) : gRepeats);
    report.figure(("  of it openPPD, " + k).c_str(), ppdParse[i]);
    const auto opened = makeHost(big);
    panelOverPPD[i] = medianMicros([&] { openPanel(opened); }, {}, repeats);
    report.figure(("  of it the panel over the open PPD, " + k).c_str(), panelOverPPD[i]);
  }

  std::printf("checks:\n");
  report.check("save / crypto floor", save / crypto, 3.0, "x");
  report.check("answer parse + menu t(10k)/t(1k)", parse.ratio(), 12.0, "x");
  report.check("menu rebuild t(10k)/t(1k)", rebuild.ratio(), 12.0, "x");
  report.check("100k folders parsed and shown", parse100k / 1e6, 1.0, " s");
  report.check("typing t(10k)/t(1k)", typing.ratio(), 12.0, "x");
  report.check("construction + panelView + restore", open, 300.0, " us");
  report.check("SearchSameFolderName per entry", searchPerEntry, 50.0, " ns");
  report.check("restore t(100k entries)/t(10k)", restoreCrowded[1] / restoreCrowded[0], 12.0, "x");
  report.check("panel over an open PPD t(20k options)/t(2k)", panelOverPPD[1] / panelOverPPD[0],
               12.0, "x");
  report.check("PPD open + panel t(20k options)/t(2k)", ppdOpen[1] / ppdOpen[0], 12.0, "x");
  report.check("  of it openPPD t(20k options)/t(2k)", ppdParse[1] / ppdParse[0], 12.0, "x");

  jc.reset();
  crowdedPanel.reset();
  unpinEnvironment();
  return report.failed ? 1 : 0;
}
