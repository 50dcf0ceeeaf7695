// jobwick folders: asks a printer for its filing folders through the
// plug-in's own client, by pressing the panel's folder-list button, and shows
// the list; with a printer identifier the panel caches it for that printer.
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/commands.h"
#include "host/panel_driver.h"
#include "host/prefs_record.h"
#include "host/print_dialog.h"
#include "platform/alert.h"
#include "platform/ppd.h"
#include "platform/system.h"
#include "platform/xml.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using platform::plist::Dict;

constexpr char kScratchPrinter[] = "jobwick-folders";
constexpr char kResponseFile[] = "vwxyz.xml";  // the client's answer file
constexpr char kStandInPPD[] =
    "*PPD-Adobe: \"4.3\"\n"
    "*FormatVersion: \"4.3\"\n"
    "*LanguageEncoding: ISOLatin1\n"
    "*ModelName: \"Quivo printer\"\n"
    "*ARDocumentFiling: True\n"
    "*ARQuivoPrintSystem: False\n";

/// A temporary folder removed with its contents when the object goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* name) {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / (std::string(name) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

struct Folder {
  std::string name;
  bool isProtected = false;
  bool directory = false;
};

int usage(std::ostream& err, const std::string& message) {
  err << "jobwick: folders: " << message << "\nRun 'jobwick folders --help' for usage.\n";
  return kExitUsage;
}

/// Why an address cannot be the host part of the printer's service URL.
std::optional<std::string> addressProblem(const std::string& address) {
  if (address.empty()) return "--address needs the printer's address";
  if (address.find("://") != std::string::npos || address.find('/') != std::string::npos) {
    return "give the printer's address as HOST or HOST:PORT, without \"http://\" or a path "
           "(got \"" +
           address + "\")";
  }
  for (char c : address) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '?' || c == '#' || c == '@') {
      return "\"" + address + "\" is not a host name or address";
    }
  }
  return std::nullopt;
}

/// The model name a PPD gives the panel; nullopt without one.
std::optional<std::string> ppdModelName(const fs::path& path) {
  std::string error;
  platform::PPDFile ppd = platform::openPPD(path.string(), &error);
  if (!ppd) return std::nullopt;
  return platform::ppdModelNameBytes(ppd.get());
}

/// Refuses to let the panel reset a printer's record: the panel keeps a
/// record only for the model its PPD names, and drops every remembered
/// entry of a record made for another. Answers the reason, or nullopt.
std::optional<std::string> recordWouldBeReset(const fs::path& folder, const std::string& printerId,
                                              const fs::path& ppd, const std::string& bundle) {
  std::string ignored;
  auto domain = readDomainFile(domainFile(folder, printerId), &ignored);
  if (!domain) return std::nullopt;
  const std::optional<std::string> wanted = ppdModelName(ppd);
  // A bare model name tells which record the panel will use; a bundle
  // given by its path may be either build.
  std::vector<const char*> keys = {"Job Handling", "Jobwick"};
  if (const char* key = recordKeyForModel(bundle)) keys = {key};
  for (const char* key : keys) {
    auto record = domain->find(key);
    if (record == domain->end() || !record->second.asDict()) continue;
    const Dict& dict = *record->second.asDict();
    auto model = dict.find("Model Name");
    if (model == dict.end() || !model->second.asString()) continue;
    const std::string& stored = *model->second.asString();
    if (wanted && *wanted != stored) {
      return "the preferences of printer " + printerId + " belong to model \"" + stored +
             "\", but " + ppd.string() + " names \"" + *wanted +
             "\"; the panel would reset them and forget the remembered entries";
    }
  }
  return std::nullopt;
}

/// What the answer file says when it yields no folders: the printer's
/// result code, or the part of the answer that is missing.
std::optional<std::string> answerProblem(const fs::path& answer) {
  auto document = platform::XMLDocument::initWithContentsOfFile(answer.string());
  if (!document) return "the printer's answer is not an XML document";
  auto lastChild = [](const platform::XMLNode& node) {
    const std::size_t count = node.childCount();
    return count == 0 ? platform::XMLNode() : node.childAtIndex(count - 1);
  };
  const platform::XMLNode element = lastChild(lastChild(document->rootElement()));
  bool files = false;
  std::optional<std::string> resultCode;
  for (std::size_t i = 0; element && i < element.childCount(); ++i) {
    const platform::XMLNode child = element.childAtIndex(i);
    if (child.name() == "result-code") resultCode = child.objectValue();
    if (child.name() == "files") files = true;
  }
  if (resultCode && *resultCode != "ok") {
    return "the printer answered with result code \"" + *resultCode + "\"";
  }
  if (!files) return "the printer's answer holds no folder list";
  return std::nullopt;
}

}  // namespace

int runFolders(const Invocation& invocation) {
  const ParsedArgs& args = invocation.args;
  auto& err = invocation.err;
  const std::string address = args.value("--address").value_or("");
  if (!args.has("--address")) return usage(err, "missing --address HOST[:PORT]");
  if (auto problem = addressProblem(address)) return usage(err, *problem);
  const std::optional<std::string> printerId = args.value("--printer-id");
  if (printerId && (printerId->empty() || printerId->find('/') != std::string::npos)) {
    return usage(err, "\"" + *printerId + "\" is not a printer identifier");
  }
  if (!printerId && args.has("--prefs-dir")) {
    return usage(err, "--prefs-dir needs --printer-id (the printer whose cache to write)");
  }
  if (printerId && !args.has("--ppd")) {
    // The panel keeps a printer's record only for the model its PPD names.
    return usage(err,
                 "--printer-id needs the printer's PPD (--ppd FILE): the panel caches "
                 "the list only for the model the PPD names");
  }

  // Without a printer the fetch runs against scratch preferences; the
  // client's answer file always goes to a scratch folder, so that an answer
  // left by an earlier fetch can never stand in for this printer's.
  ScratchFolder scratchTemp("jobwick-folders-tmp");
  std::unique_ptr<ScratchFolder> scratchPrefs;
  DialogSetup setup;
  setup.bundle = args.value("--bundle").value_or("vk7300");
  if (auto ppd = args.value("--ppd")) {
    setup.ppd = fs::path(*ppd);
  } else {
    // Without a PPD the panel does none of its printer set-up, the request
    // body included; a stand-in PPD of a filing model takes its place.
    setup.ppd = scratchTemp.path() / "stand-in.ppd";
    std::ofstream(*setup.ppd) << kStandInPPD;
  }
  setup.language = args.value("--language");
  if (printerId) {
    setup.printerId = printerId;
    auto folder = preferencesFolderFor(args);
    if (!folder) {
      err << "jobwick: folders: no preferences folder (give --prefs-dir)\n";
      return kExitFailure;
    }
    if (auto reason = recordWouldBeReset(*folder, *printerId, *setup.ppd, setup.bundle)) {
      err << "jobwick: folders: " << *reason << "\n";
      return kExitFailure;
    }
    setup.prefsDir = *folder;
  } else {
    scratchPrefs = std::make_unique<ScratchFolder>("jobwick-folders-prefs");
    setup.printerId = std::string(kScratchPrinter);
    setup.prefsDir = scratchPrefs->path();
  }
  if (scratchTemp.path().empty() || (scratchPrefs && scratchPrefs->path().empty())) {
    err << "jobwick: folders: cannot make a temporary folder\n";
    return kExitFailure;
  }
  platform::setTemporaryDirectoryOverride(scratchTemp.path().string() + "/");

  std::vector<platform::Alert> alerts;
  setup.alertListener = [&alerts](const platform::Alert& alert) { alerts.push_back(alert); };
  std::string error;
  auto dialog = PrintDialog::open(setup, &error);
  if (!dialog || dialog->panels().empty() || !dialog->panels().front()) {
    err << "jobwick: folders: " << (dialog ? "the bundle made no panel" : error) << "\n";
    return kExitFailure;
  }
  platform::PDEPanel& panel = *dialog->panels().front();

  std::vector<Folder> folders;
  bool fetched = false;
  double seconds = 0;
  std::string failure;
  std::string recordKey;
  {
    PanelWindow window;
    std::optional<ControlRef> field;
    std::optional<ControlRef> button;
    if (window.attach(panel)) {
      field = window.find("printersAddressEditText");
      button = window.find("getFolderNameButton");
    }
    if (!field || !button || !field->view || !button->view) {
      err << "jobwick: folders: the " << setup.bundle
          << " panel for this printer has no folder-list button"
          << (setup.ppd ? " (does " + setup.ppd->string() + " declare document filing?)" : "")
          << "\n";
      return kExitFailure;
    }
    static_cast<platform::TextField*>(field->view)->setStringValue(address);

    err << "Asking " << address << " for its folders...\n";
    const auto started = std::chrono::steady_clock::now();
    const EventOutcome outcome = clickControl(*button);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (outcome.status == EventOutcome::Status::kRefused) {
      err << "jobwick: folders: the folder-list button refused the click: " << outcome.message
          << "\n";
      return kExitFailure;
    }
    fetched = true;
  }

  const auto properties = panel.diagnosticProperties();
  const std::string model = properties.count("model") ? properties.at("model") : "";
  recordKey = recordKeyForModel(model) ? recordKeyForModel(model) : "";
  const fs::path answer = scratchTemp.path() / kResponseFile;
  std::error_code ec;
  if (!alerts.empty()) {
    failure = "could not get the folder list from " + address + ": " + alerts.front().message;
  } else if (!fs::exists(answer, ec)) {
    failure = "no answer from " + address + " (the address does not make a valid service URL)";
  } else if (auto problem = answerProblem(answer)) {
    failure = *problem;
  }

  // The list the panel now has, as it cached it for the printer.
  std::string readError;
  auto domain = readDomainFile(domainFile(*setup.prefsDir, *setup.printerId), &readError);
  if (domain && !recordKey.empty()) {
    auto record = domain->find(recordKey);
    const Dict* dict = record == domain->end() ? nullptr : record->second.asDict();
    auto files = dict ? dict->find("files") : Dict::const_iterator();
    if (dict && files != dict->end() && files->second.asArray()) {
      for (const auto& entry : *files->second.asArray()) {
        const Dict* folder = entry.asDict();
        if (!folder) continue;
        auto name = folder->find("name");
        if (name == folder->end() || !name->second.asString()) continue;
        auto flag = [&](const char* key) {
          auto it = folder->find(key);
          return it != folder->end() && it->second.asBool() && *it->second.asBool();
        };
        folders.push_back({*name->second.asString(), flag("password"), flag("dir")});
      }
    }
  }
  dialog.reset();
  platform::setTemporaryDirectoryOverride(std::nullopt);

  std::ostringstream took;
  took.precision(1);
  took << std::fixed << seconds;
  if (!failure.empty() || !fetched) {
    err << "jobwick: folders: " << failure << " (after " << took.str() << " s)\n";
    return kExitFailure;
  }
  err << address << " answered in " << took.str() << " s.\n";

  const std::string cacheFile =
      printerId ? domainFile(*setup.prefsDir, *printerId).string() : std::string();
  if (args.has("--json")) {
    json list = json::array();
    for (const auto& folder : folders) {
      list.push_back({{"name", folder.name},
                      {"protected", folder.isProtected},
                      {"directory", folder.directory}});
    }
    json document = {{"address", address},
                     {"bundle", setup.bundle},
                     {"printer", printerId ? json(*printerId) : json(nullptr)},
                     {"cache", printerId ? json(cacheFile) : json(nullptr)},
                     {"seconds", seconds},
                     {"folders", std::move(list)}};
    invocation.out << document.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return kExitSuccess;
  }
  auto& out = invocation.out;
  out << folders.size() << (folders.size() == 1 ? " folder on " : " folders on ") << address
      << (folders.empty() ? "" : ":") << "\n";
  for (const auto& folder : folders) {
    out << "  " << (folder.isProtected ? "[protected] " : "            ") << folder.name
        << (folder.directory ? "  (directory)" : "") << "\n";
  }
  if (printerId) {
    out << "Cached for printer " << *printerId << " in " << cacheFile
        << "; its panel offers these folders.\n";
  }
  return kExitSuccess;
}

}  // namespace jobwick::host
