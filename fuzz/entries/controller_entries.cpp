// SPDX-License-Identifier: Apache-2.0
// Fuzz entries that build a panel controller around the input: the job
// ticket in the print settings, the printer's answer file, the preference
// domain file, and the PPD.
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "fuzz/entries/fuzz_entries.h"
#include "fuzz/entries/fuzz_support.h"
#include "pde/models/profile.h"
#include "platform/alert.h"
#include "platform/user_defaults.h"
#include "ticket/keys.h"

namespace jobwick::fuzz {
namespace {

constexpr char kPrinterId[] = "Fuzz";

std::string ppdText(bool activeDirectory) {
  const std::string model = std::string("Quivo ") + kModelProfile.model;
  std::string t;
  t += "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n";
  t += "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"FUZZ.PPD\"\n";
  t += "*Manufacturer: \"Quivo\"\n*Product: \"(" + model + ")\"\n";
  t += "*ModelName: \"" + model + "\"\n*ShortNickName: \"" + model + "\"\n";
  t += "*NickName: \"" + model + "\"\n*PSVersion: \"(3010.000) 0\"\n";
  t += "*ARDocumentFiling: True\n*ARQuivoPrintSystem: False\n";
  if (activeDirectory) t += "*ARActiveDirectory: True\n";
  t += "*OpenUI *PageSize/Page Size: PickOne\n*DefaultPageSize: A4\n";
  t += "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n*CloseUI: *PageSize\n";
  t += "*OpenUI *PageRegion: PickOne\n*DefaultPageRegion: A4\n";
  t += "*PageRegion A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n*CloseUI: *PageRegion\n";
  t += "*DefaultImageableArea: A4\n*ImageableArea A4: \"12 12 583 830\"\n";
  t += "*DefaultPaperDimension: A4\n*PaperDimension A4: \"595 842\"\n";
  return t;
}

std::shared_ptr<Host> hostWithPPD(const std::filesystem::path& ppdPath) {
  auto host = std::make_shared<Host>();
  host->ppd = platform::openPPD(ppdPath.string());
  host->session.emplace(platform::Printer(kPrinterId, "ipp://127.0.0.1:631/ipp/print"));
  host->settings.setJobName(std::string("Fuzz Job"));
  return host;
}

std::filesystem::path preferencesFile() {
  return workFolder() / "prefs" / (std::string("jp.co.quivo.mfp.") + kPrinterId + ".plist");
}

// Removes every file the previous input left in the preferences folder and
// drops what the process cached, so that each input starts alike.
void clearPreferences() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(workFolder() / "prefs", ec)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
  platform::UserDefaults::resetStandardUserDefaults();
  for (const auto& entry : std::filesystem::directory_iterator(workFolder() / "prefs", ec)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
  platform::clearShownAlerts();
}

// A controller kept for the whole run, with its panel shown, for a printer
// in plain or in active-directory mode.
struct KeptPanel {
  std::shared_ptr<Host> host;
  std::shared_ptr<JC> jc;
  std::unique_ptr<ShownPanel> panel;
};

KeptPanel& keptPanel(bool activeDirectory) {
  static KeptPanel kept[2];
  KeptPanel& p = kept[activeDirectory ? 1 : 0];
  if (!p.jc) {
    p.host = makeHost(activeDirectory);
    p.jc = JC::initWithCallback(p.host);
    if (!p.jc) std::abort();
    p.panel = std::make_unique<ShownPanel>(*p.jc);
    static bool registered = false;
    if (!registered) {
      registered = true;
      std::atexit([] {
        for (KeptPanel& k : kept) k = KeptPanel();
      });
    }
  }
  return p;
}

}  // namespace

void writeBytes(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

std::shared_ptr<Host> makeHost(bool activeDirectory) {
  const auto path = workFolder() / (activeDirectory ? "fuzz-ad.ppd" : "fuzz.ppd");
  if (!std::filesystem::exists(path)) {
    const std::string text = ppdText(activeDirectory);
    writeBytes(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }
  return hostWithPPD(path);
}

ShownPanel::ShownPanel(JC& jc) {
  view_ = jc.panelView();
  if (!view_) return;
  for (const auto& object : jc.topLevelObjects()) {
    if (object.get() == view_) {
      window_.setContentView(std::static_pointer_cast<platform::View>(object));
    }
  }
}

// Input: print settings as lines "KEY=VALUE". A KEY without a dot is a
// job-ticket key's short name ("password2" for
// "jp.co.quivo.print.PrintSettings.password2"). A line "!ad" anywhere asks
// for a printer in active-directory mode.
//
// One controller per mode serves every input: the input only reaches it
// through restore, which the print dialog also calls again on a panel that
// is already open (another preset, another printer's settings). What
// carries over from the previous input is the panel's field state and the
// preferences the controller read at construction; the host's print
// settings are replaced whole, and the preference files are removed, so
// that only states a live panel can reach are fuzzed.
int ticketReader(const std::uint8_t* data, std::size_t size) {
  clearPreferences();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  bool activeDirectory = false;
  platform::PrintSettings settings;
  settings.setJobName(std::string("Fuzz Job"));
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view line = input.substr(start, end - start);
    start = end + 1;
    if (line == "!ad") {
      activeDirectory = true;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    std::string key(line.substr(0, eq));
    if (key.find('.') == std::string::npos) key = std::string(ticket::kKeyPrefix) + key;
    settings.setValue(key, std::string(line.substr(eq + 1)));
  }
  KeptPanel& kept = keptPanel(activeDirectory);
  kept.host->settings = std::move(settings);
  JC& jc = *kept.jc;
  jc.restoreValuesAndReturnError(nullptr);
  jc.saveValuesAndReturnError(nullptr);
  jc.summaryInfo();
  // A second restore reads what the save wrote.
  jc.restoreValuesAndReturnError(nullptr);
  jc.saveValuesAndReturnError(nullptr);
  return 0;
}

// Input: the bytes of the printer's answer file.
int answerParser(const std::uint8_t* data, std::size_t size) {
  clearPreferences();
  static std::shared_ptr<JC> jc;
  static std::unique_ptr<ShownPanel> panel;
  if (!jc) {
    jc = JC::initWithCallback(makeHost(false));
    if (!jc) std::abort();
    panel = std::make_unique<ShownPanel>(*jc);
    std::atexit([] {
      panel.reset();
      jc.reset();
    });
  }
  const auto path = workFolder() / "tmp" / "answer.xml";
  writeBytes(path, data, size);
  jc->parseXML(path.string());
  jc->makeFolderPopup();
  jc->SearchSameFolderName(std::string("Folder"));
  return 0;
}

// Input: the bytes of the printer's preference domain file. A controller
// checks and loads it at construction (CheckPreference, GetUserPreference,
// GetFolderPreference); restoring applies the remembered values and the
// folder list to the panel.
//
// One controller with its panel shown serves every input, and each input
// goes through the same three readers that construction runs, so that the
// interface file is not parsed and built again per input (a tenth of the
// inputs per second). What carries over is only what a live panel keeps:
// the field state of the earlier restore, which restore sets again from
// the print settings and the remembered values. Nothing read from an
// earlier file stays: the preference files are removed, the print
// settings are replaced whole, GetUserPreference clears every remembered
// value before it reads, the folder list is dropped before
// GetFolderPreference (construction starts without one), and the folder
// popup is built again from the new list.
int preferenceLoader(const std::uint8_t* data, std::size_t size) {
  static KeptPanel kept;
  if (!kept.jc) {
    clearPreferences();
    kept.host = makeHost(false);
    kept.jc = JC::initWithCallback(kept.host);
    if (!kept.jc) std::abort();
    kept.panel = std::make_unique<ShownPanel>(*kept.jc);
    std::atexit([] { kept = KeptPanel(); });
  }
  clearPreferences();
  writeBytes(preferencesFile(), data, size);
  platform::UserDefaults::resetStandardUserDefaults();
  kept.host->settings = platform::PrintSettings();
  kept.host->settings.setJobName(std::string("Fuzz Job"));
  JC& jc = *kept.jc;
  jc.CheckPreference();
  jc.GetUserPreference();
  jc.folderList.reset();
  jc.GetFolderPreference();
  jc.makeFolderPopup();
  jc.restoreValuesAndReturnError(nullptr);
  jc.saveValuesAndReturnError(nullptr);
  jc.summaryInfo();
  jc.SaveUserPreference();
  jc.GetUserPreference();
  return 0;
}

namespace {

/// What a controller takes from its PPD: the panel it builds and what it
/// saves depend on nothing else of the file.
struct PPDReading {
  bool hasPPD;
  platform::NSStringEncoding encoding;
  std::optional<std::string> model;
  bool filing;
  bool printSystem;
  bool activeDirectory;
  auto operator<=>(const PPDReading&) const = default;
};

}  // namespace

// Input: the text of a PPD. The controller reads the model name, the text
// encoding and (vk7300) the model flags from it.
//
// Every input gets a fresh PPD handle and a fresh controller, which read
// the file as in the print dialog. Building and restoring a panel, the
// costly part, then runs on a controller kept for what was read (encoding,
// model name, flags, or no PPD at all): the controller takes nothing else
// from the PPD, so a kept one made from an earlier PPD that read the same
// is the one this input would make. What carries over is the kept panel's
// field state of its earlier restore, which restore sets again from the
// print settings (replaced whole) and the preferences (removed before each
// input, then written afresh by this input's controller). At most 16
// readings are kept; the seventeenth empties the store.
int ppdModelFlags(const std::uint8_t* data, std::size_t size) {
  clearPreferences();
  const auto path = workFolder() / "input" / "printer.ppd";
  writeBytes(path, data, size);
  auto host = hostWithPPD(path);
  auto jc = JC::initWithCallback(host);
  if (!jc) return 0;
  jc->getUIMode();
  jc->CheckHardDisk();
  jc->getPasswordMax();

  static std::map<PPDReading, KeptPanel> kept;
  static const bool registered = [] {
    std::atexit([] { kept.clear(); });
    return true;
  }();
  (void)registered;
  const PPDReading reading{jc->ppd != nullptr,        jc->ppdEncoding,        jc->modelStringRef,
                           jc->document_filing_model, jc->quivo_print_system, jc->active_directory};
  auto found = kept.find(reading);
  if (found == kept.end()) {
    if (kept.size() >= 16) kept.clear();
    KeptPanel panel;
    panel.host = std::move(host);
    panel.jc = std::move(jc);
    panel.panel = std::make_unique<ShownPanel>(*panel.jc);
    found = kept.emplace(reading, std::move(panel)).first;
  } else {
    jc.reset();
    host.reset();
  }
  KeptPanel& p = found->second;
  p.host->settings = platform::PrintSettings();
  p.host->settings.setJobName(std::string("Fuzz Job"));
  p.jc->restoreValuesAndReturnError(nullptr);
  p.jc->saveValuesAndReturnError(nullptr);
  p.jc->summaryInfo();
  return 0;
}

}  // namespace jobwick::fuzz
