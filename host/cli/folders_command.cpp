// SPDX-License-Identifier: Apache-2.0
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

#include "host/cli/cli.h"
#include "host/cli/commands.h"
#include "host/cli/dialog_options.h"
#include "host/common/escape.h"
#include "host/common/temporary.h"
#include "host/common/translate.h"
#include "host/engine/panel_driver.h"
#include "host/engine/print_dialog.h"
#include "host/inspect/prefs_record.h"
#include "platform/alert.h"
#include "platform/atomic_file.h"
#include "platform/ppd.h"
#include "platform/system.h"
#include "platform/url_connection.h"
#include "platform/user_defaults.h"
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

struct Folder {
  std::string name;
  bool isProtected = false;
  bool directory = false;
};

/// Why an address cannot be the host part of the printer's service URL.
std::optional<std::string> addressProblem(const std::string& address) {
  if (address.empty()) return tr("--address needs the printer's address");
  if (address.find("://") != std::string::npos || address.find('/') != std::string::npos) {
    return trf(
        "give the printer's address as HOST or HOST:PORT, without \"http://\" or a path "
        "(got \"%1\")",
        {address});
  }
  for (char c : address) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '?' || c == '#' || c == '@') {
      return trf("\"%1\" is not a host name or address", {address});
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
      return trf(
          "the preferences of printer %1 belong to model \"%2\", but %3 names \"%4\"; the "
          "panel would reset them and forget the remembered entries",
          {printerId, stored, ppd.string(), *wanted});
    }
  }
  return std::nullopt;
}

/// What the answer file says when it yields no folders: the printer's
/// result code, or the part of the answer that is missing.
std::optional<std::string> answerProblem(const fs::path& answer) {
  // The element the panel reads: the last child of the last child of the
  // document element. The answer is read as a stream, so a large one is
  // never held as a tree (beside the cache the fetch has just written):
  // each node two levels down is the element until a later one replaces it.
  struct Element {
    bool files = false;
    std::optional<std::string> resultCode;
  } element;
  bool inResultCode = false;
  const bool read =
      platform::readXMLFileAsStream(answer.string(), [&](const platform::XMLStreamNode& node) {
        if (node.depth >= 4) {
          if (inResultCode && node.isText) element.resultCode->append(node.content);
          return;
        }
        if (node.blank || node.depth == 0) return;
        inResultCode = false;
        if (node.depth <= 2) {
          element = Element();
        } else if (node.isElement && node.name == "files") {
          element.files = true;
        } else if (node.isElement && node.name == "result-code") {
          element.resultCode.emplace();
          inResultCode = true;
        }
      });
  if (!read) {
    std::string missing;
    if (!platform::xmlReaderAvailable(&missing)) return missing;
    return tr("the printer's answer is not an XML document");
  }
  if (element.resultCode && *element.resultCode != "ok") {
    return trf("the printer answered with result code \"%1\"", {*element.resultCode});
  }
  if (!element.files) return tr("the printer's answer holds no folder list");
  return std::nullopt;
}

/// The checked options of a folders command.
struct FoldersRequest {
  std::string address;
  std::optional<std::string> printerId;
};

/// Checks the options; answers the request, or the usage error's text.
std::optional<FoldersRequest> folderRequest(const ParsedArgs& args, std::string* error) {
  auto fail = [&](std::string message) -> std::optional<FoldersRequest> {
    *error = std::move(message);
    return std::nullopt;
  };
  FoldersRequest request{args.value("--address").value_or(""), args.value("--printer-id")};
  if (!args.has("--address")) return fail(tr("missing --address HOST[:PORT]"));
  if (auto problem = addressProblem(request.address)) return fail(*problem);
  const auto& printerId = request.printerId;
  if (printerId && (printerId->empty() || printerId->find('/') != std::string::npos)) {
    return fail(trf("\"%1\" is not a printer identifier", {*printerId}));
  }
  if (!printerId && args.has("--prefs-dir")) {
    return fail(tr("--prefs-dir needs --printer-id (the printer whose cache to write)"));
  }
  if (printerId && !args.has("--ppd")) {
    // The panel keeps a printer's record only for the model its PPD names.
    return fail(
        tr("--printer-id needs the printer's PPD (--ppd FILE): the panel caches the list only for "
           "the model the PPD names"));
  }
  return request;
}

/// The scratch folders a fetch works in: the client's answer file always
/// goes to one, so that an answer left by an earlier fetch can never stand
/// in for this printer's; without a printer the preferences are scratch too.
struct FetchFolders {
  std::unique_ptr<TemporaryFolder> temp;
  std::unique_ptr<TemporaryFolder> prefs;
};

/// The dialog setup of a fetch; nullopt with `error` when the printer's
/// preferences cannot be used.
std::optional<DialogSetup> fetchSetup(const ParsedArgs& args, const FoldersRequest& request,
                                      FetchFolders& scratch, std::string* error) {
  scratch.temp = TemporaryFolder::make("jobwick-folders-tmp", error);
  if (!scratch.temp) return std::nullopt;
  DialogSetup setup;
  setup.bundle = args.value("--bundle").value_or("vk7300");
  if (auto ppd = args.value("--ppd")) {
    setup.ppd = fs::path(*ppd);
  } else {
    // Without a PPD the panel does none of its printer set-up, the request
    // body included; a stand-in PPD of a filing model takes its place.
    setup.ppd = scratch.temp->path() / "stand-in.ppd";
    platform::replaceFileAtomically(*setup.ppd, kStandInPPD, 0644);
  }
  setup.language = args.value("--language");
  if (request.printerId) {
    setup.printerId = request.printerId;
    auto folder = preferencesFolderFor(args);
    if (!folder) {
      *error = tr("no preferences folder (give --prefs-dir)");
      return std::nullopt;
    }
    if (auto reason = recordWouldBeReset(*folder, *request.printerId, *setup.ppd, setup.bundle)) {
      *error = *reason;
      return std::nullopt;
    }
    setup.prefsDir = *folder;
  } else {
    scratch.prefs = TemporaryFolder::make("jobwick-folders-prefs", error);
    if (!scratch.prefs) return std::nullopt;
    setup.printerId = std::string(kScratchPrinter);
    setup.prefsDir = scratch.prefs->path();
  }
  return setup;
}

/// Why the exchange failed, as the connection ended: the transfer library's
/// message, a time-out, an answer stopped for its size. Empty when the
/// connection gave no cause.
std::string connectionCause(const std::optional<platform::URLConnectionEnd>& end, double seconds) {
  using Kind = platform::URLConnectionEnd::Kind;
  if (!end) return tr("no request was sent");
  switch (end->kind) {
    case Kind::kFailed:
      return end->error;
    case Kind::kCancelled:
      if (seconds >= 19.0) return tr("no complete answer within 20 seconds (time-out)");
      return trf("the answer was too large (stopped after %1 bytes)",
                 {std::to_string(end->bytesReceived)});
    case Kind::kFinished:
      return {};
  }
  return {};
}

/// The outcome of pressing the folder-list button.
struct Press {
  bool pressed = false;
  double seconds = 0;
  std::optional<platform::URLConnectionEnd> connectionEnd;
  std::string error;  ///< why the button could not be pressed
};

/// Types `address` into the panel's address field and presses its
/// folder-list button, noting how the plug-in's connection ended.
Press pressFolderButton(platform::PDEPanel& panel, const DialogSetup& setup,
                        const std::string& address, std::ostream& err) {
  Press press;
  PanelWindow window;
  std::optional<ControlRef> field;
  std::optional<ControlRef> button;
  if (window.attach(panel)) {
    field = window.find("printersAddressEditText");
    button = window.find("getFolderNameButton");
  }
  if (!field || !button || !field->view || !button->view) {
    press.error =
        setup.ppd ? trf("the %1 panel for this printer has no folder-list button (does %2 declare "
                        "document filing?)",
                        {setup.bundle, setup.ppd->string()})
                  : trf("the %1 panel for this printer has no folder-list button", {setup.bundle});
    return press;
  }
  static_cast<platform::TextField*>(field->view)->setStringValue(address);

  err << trf("Asking %1 for its folders...", {address}) << "\n";
  platform::setURLConnectionEndObserver(
      [&press](const platform::URLConnectionEnd& end) { press.connectionEnd = end; });
  const auto started = std::chrono::steady_clock::now();
  const EventOutcome outcome = clickControl(*button);
  press.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  platform::setURLConnectionEndObserver({});
  if (outcome.status == EventOutcome::Status::kRefused) {
    press.error = trf("the folder-list button refused the click: %1", {outcome.message});
    return press;
  }
  press.pressed = true;
  return press;
}

/// Why the fetch gave no folder list (empty when it gave one): the panel's
/// alert with the connection's cause, or what the answer lacks.
std::string fetchFailure(const std::vector<platform::Alert>& alerts, const Press& press,
                         const fs::path& answer, const std::string& address) {
  const std::string cause = connectionCause(press.connectionEnd, press.seconds);
  std::error_code ec;
  // An answer on file is this press's (the panel removes the file before
  // each request): what is wrong with it says more than the panel's alert.
  const bool answered = fs::exists(answer, ec);
  if (answered) {
    if (auto problem = answerProblem(answer)) return *problem;
  }
  if (!alerts.empty()) {
    return cause.empty()
               ? trf("could not get the folder list from %1: %2", {address, alerts.front().message})
               : trf("could not get the folder list from %1: %2 (%3)",
                     {address, alerts.front().message, cause});
  }
  if (!answered) {
    return trf("no answer from %1 (%2)",
               {address, cause.empty() || !press.connectionEnd
                             ? tr("the address does not make a valid service URL")
                             : cause});
  }
  return {};
}

/// The folder list the panel cached for the printer of `setup`. Read as the
/// panel reads it: the process keeps what the panel just wrote, already
/// parsed, so a large list is not parsed again beside it.
std::vector<Folder> cachedFolders(const DialogSetup& setup, const std::string& recordKey) {
  std::vector<Folder> folders;
  platform::UserDefaults defaults(*setup.prefsDir);
  auto domain =
      defaults.persistentDomainForName(std::string(kPreferenceDomainPrefix) + *setup.printerId);
  if (!domain || recordKey.empty()) return folders;
  auto record = domain->find(recordKey);
  const Dict* dict = record == domain->end() ? nullptr : record->second.asDict();
  auto files = dict ? dict->find("files") : Dict::const_iterator();
  if (!dict || files == dict->end() || !files->second.asArray()) return folders;
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
  return folders;
}

/// What a successful fetch shows.
struct FetchResult {
  std::string address;
  std::string bundle;
  std::optional<std::string> printerId;
  std::string cacheFile;
  double seconds = 0;
  std::vector<Folder> folders;
};

void printFolders(const FetchResult& result, bool asJson, std::ostream& out) {
  if (asJson) {
    json list = json::array();
    for (const auto& folder : result.folders) {
      list.push_back({{"name", folder.name},
                      {"protected", folder.isProtected},
                      {"directory", folder.directory}});
    }
    json document = {{"address", result.address},
                     {"bundle", result.bundle},
                     {"printer", result.printerId ? json(*result.printerId) : json(nullptr)},
                     {"cache", result.printerId ? json(result.cacheFile) : json(nullptr)},
                     {"seconds", result.seconds},
                     {"folders", std::move(list)}};
    out << document.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return;
  }
  const auto count = result.folders.size();
  const std::string counted = std::to_string(count);
  out << (count == 0   ? trf("%1 folders on %2", {counted, result.address})
          : count == 1 ? trf("%1 folder on %2:", {counted, result.address})
                       : trf("%1 folders on %2:", {counted, result.address}))
      << "\n";
  const std::string mark = tr("[protected]") + " ";
  for (const auto& folder : result.folders) {
    // Names come from the printer: escaped, so that none can forge a line.
    out << "  " << (folder.isProtected ? mark : std::string(columnsOf(mark), ' '))
        << escapeText(folder.name) << (folder.directory ? "  " + tr("(directory)") : "") << "\n";
  }
  if (result.printerId) {
    out << trf("Cached for printer %1 in %2; its panel offers these folders.",
               {escapeText(*result.printerId), escapeText(result.cacheFile)})
        << "\n";
  }
}

}  // namespace

int runFolders(const Invocation& invocation) {
  std::string error;
  auto request = folderRequest(invocation.args, &error);
  if (!request) return invocation.fail(ExitStatus::usage, error);
  FetchFolders scratch;
  auto setup = fetchSetup(invocation.args, *request, scratch, &error);
  if (!setup) return invocation.fail(ExitStatus::failure, error);
  platform::setTemporaryDirectoryOverride(scratch.temp->path().string() + "/");

  std::vector<platform::Alert> alerts;
  setup->alertListener = [&alerts](const platform::Alert& alert) { alerts.push_back(alert); };
  ExitStatus status = ExitStatus::failure;
  auto dialog = PrintDialog::open(*setup, &error, &status);
  if (!dialog) {
    platform::setTemporaryDirectoryOverride(std::nullopt);
    return invocation.fail(status, error);
  }
  platform::PDEPanel& panel = dialog->panel();
  const Press press = pressFolderButton(panel, *setup, request->address, invocation.err);
  if (!press.pressed) {
    platform::setTemporaryDirectoryOverride(std::nullopt);
    return invocation.fail(ExitStatus::failure, press.error);
  }

  const auto properties = panel.diagnosticProperties();
  const std::string model = properties.count("model") ? properties.at("model") : "";
  const char* recordKey = recordKeyForModel(model);
  // The panel, its folder menu and its list go before the answer is looked
  // at again and the cache read back: a large list is then never held three
  // times at once.
  dialog.reset();
  platform::setTemporaryDirectoryOverride(std::nullopt);
  const std::string failure =
      fetchFailure(alerts, press, scratch.temp->path() / kResponseFile, request->address);
  FetchResult result{request->address,   setup->bundle,
                     request->printerId, {},
                     press.seconds,      cachedFolders(*setup, recordKey ? recordKey : "")};

  std::ostringstream took;
  took.precision(1);
  took << std::fixed << press.seconds;
  if (!failure.empty()) {
    return invocation.fail(ExitStatus::failure, failure + " (after " + took.str() + " s)");
  }
  invocation.err << request->address << " answered in " << took.str() << " s.\n";
  if (request->printerId) result.cacheFile = domainFile(*setup->prefsDir, *request->printerId);
  printFolders(result, invocation.args.has("--json"), invocation.out);
  return kExitSuccess;
}

}  // namespace jobwick::host
