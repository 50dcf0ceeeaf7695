// SPDX-License-Identifier: Apache-2.0
// jobwick prefs show: a printer's remembered entries in words.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/cli/commands.h"
#include "host/cli/dialog_options.h"
#include "host/common/escape.h"
#include "host/common/json_text.h"
#include "host/common/translate.h"
#include "host/inspect/prefs_record.h"
#include "host/inspect/ticket_inspect.h"

namespace jobwick::host {

namespace {

using json = nlohmann::ordered_json;
using platform::plist::Dict;
using platform::plist::Value;

/// How a record entry is stored.
enum class Stored { kText, kHex32, kHex64, kBase64, kBool, kNumber, kFiles };

struct EntrySpec {
  const char* key;
  Stored form;
  std::uint32_t lockBit;  // 0: not a remembered field
  const char* what;
};

constexpr EntrySpec kEntries[] = {
    {"Model Name", Stored::kText, 0, "printer model"},
    {"Release Number", Stored::kText, 0, "record release"},
    {"hold button", Stored::kNumber, 0, "locks"},
    {"pass code", Stored::kHex32, 1, "retention pass code"},
    {"authentication", Stored::kBool, 0, "authentication"},
    {"user login name", Stored::kBase64, 2, "login name"},
    {"user password", Stored::kHex64, 4, "password"},
    {"user number", Stored::kHex32, 64, "user number"},
    {"account number", Stored::kHex32, 128, "account number"},
    {"user name", Stored::kText, 8, "user name"},
    {"job name", Stored::kText, 16, "job name"},
    {"folder pass code", Stored::kHex32, 32, "folder password"},
    {"folder name", Stored::kText, 256, "folder name"},
    {"address", Stored::kText, 0, "printer address of the last folder fetch"},
    {"files", Stored::kFiles, 0, "cached folder list"},
};

struct EntryReport {
  std::string key;
  std::string what;
  json stored;                      // the stored value as JSON
  std::optional<std::string> text;  // decoded text
  std::optional<bool> locked;       // remembered fields only
  std::string meaning;
  std::string problem;
};

struct FolderReport {
  std::string name;
  bool isProtected = false;
  bool directory = false;
};

struct RecordReport {
  std::string recordKey;
  std::string model;
  std::optional<std::uint32_t> mask;
  std::vector<EntryReport> entries;
  std::vector<FolderReport> folders;
  bool hasFolders = false;
  std::vector<std::string> otherKeys;
  std::vector<std::string> problems;
};

json valueJson(const Value& value) {
  if (const auto* s = value.asString()) return *s;
  if (const auto* b = value.asBool()) return *b;
  if (const auto* i = value.asInteger()) return *i;
  if (const auto* d = value.asReal()) return *d;
  if (const auto* date = value.asDate()) return date->secondsSince1970();
  if (value.asArray()) return "(array)";
  if (value.asDict()) return "(dictionary)";
  if (value.asData()) return "(data)";
  return nullptr;
}

std::string quotedText(const std::string& text) {
  return jsonText(json(text));
}

void wrongType(EntryReport& entry, const char* type) {
  entry.problem = std::string("not a ") + type;
}

/// A plain text entry; a record of another release is marked.
void readText(const EntrySpec& spec, const std::string* text, EntryReport& entry) {
  if (!text) {
    wrongType(entry, "string");
    return;
  }
  entry.text = *text;
  entry.meaning = text->empty() ? "(empty)" : quotedText(*text);
  if (spec.key == std::string("Release Number") && *text != "2.00") {
    entry.meaning += " (the panel resets a record of another release)";
  }
}

/// A ciphered entry (hex or Base64), deciphered to text in `encoding`.
void readSecret(const EntrySpec& spec, const std::string* text, platform::CFStringEncoding encoding,
                EntryReport& entry) {
  if (!text) {
    wrongType(entry, "string");
    return;
  }
  if (text->empty()) {
    entry.meaning = "(empty)";
    return;
  }
  const Secret secret = spec.form == Stored::kBase64  ? openBase64Secret(*text, fixedKey())
                        : spec.form == Stored::kHex32 ? openHexSecret(*text, 16)
                                                      : openHexSecret(*text, 32);
  if (!secret.problem.empty()) {
    entry.problem = secret.problem;
    entry.meaning = "(not deciphered)";
    return;
  }
  if (auto decoded = textFromBytes(secret.bytes, encoding)) {
    entry.text = *decoded;
    entry.meaning = quotedText(*decoded);
  } else {
    entry.problem = "the deciphered bytes are not " + encodingName(encoding) + " text";
  }
}

/// The authentication choice.
void readChoice(const Value& value, EntryReport& entry) {
  if (const bool* flag = value.asBool()) {
    entry.meaning = *flag ? "login name and password" : "user number";
  } else {
    wrongType(entry, "boolean");
  }
}

/// The lock mask, `mask` when it is one of the nine lock buttons.
void readLockMask(const Value& value, const std::optional<std::uint32_t>& mask,
                  EntryReport& entry) {
  const auto* number = value.asInteger();
  if (!number) {
    wrongType(entry, "number");
    return;
  }
  if (!mask) {
    entry.problem = "not a mask of the nine lock buttons (0 to 511)";
    return;
  }
  auto names = lockNames(*mask);
  std::string list;
  for (const auto& name : names) list += (list.empty() ? "" : ", ") + name;
  entry.meaning =
      std::to_string(*number) + ": " + (names.empty() ? "no field locked" : list + " locked");
}

/// The cached folder list, its folders added to `report`.
void readFolders(const Value& value, RecordReport& report, EntryReport& entry) {
  report.hasFolders = true;
  const auto* files = value.asArray();
  if (!files) {
    wrongType(entry, "list");
    return;
  }
  for (const Value& folder : *files) {
    const Dict* dict = folder.asDict();
    const auto name = dict ? dict->find("name") : Dict::const_iterator();
    if (!dict || name == dict->end() || !name->second.asString()) {
      entry.problem = "an entry without a name (the panel leaves it out)";
      continue;
    }
    auto flag = [&](const char* key) {
      auto it = dict->find(key);
      return it != dict->end() && it->second.asBool() && *it->second.asBool();
    };
    report.folders.push_back({*name->second.asString(), flag("password"), flag("dir")});
  }
  entry.meaning =
      std::to_string(report.folders.size()) + (report.folders.size() == 1 ? " folder" : " folders");
  entry.stored = entry.meaning;
}

/// One entry of the record as its form reads.
EntryReport inspectEntry(const EntrySpec& spec, const Value& value,
                         platform::CFStringEncoding encoding, RecordReport& report) {
  EntryReport entry;
  entry.key = spec.key;
  entry.what = spec.what;
  entry.stored = valueJson(value);
  if (spec.lockBit != 0 && report.mask) entry.locked = (*report.mask & spec.lockBit) != 0;
  switch (spec.form) {
    case Stored::kText:
      readText(spec, value.asString(), entry);
      break;
    case Stored::kHex32:
    case Stored::kHex64:
    case Stored::kBase64:
      readSecret(spec, value.asString(), encoding, entry);
      break;
    case Stored::kBool:
      readChoice(value, entry);
      break;
    case Stored::kNumber:
      readLockMask(value, report.mask, entry);
      break;
    case Stored::kFiles:
      readFolders(value, report, entry);
      break;
  }
  return entry;
}

RecordReport inspectRecord(const Dict& record, const std::string& recordKey,
                           const std::string& model, platform::CFStringEncoding encoding) {
  RecordReport report;
  report.recordKey = recordKey;
  report.model = model;
  if (auto it = record.find("hold button"); it != record.end()) {
    if (const auto* mask = it->second.asInteger(); mask && *mask >= 0 && *mask <= 511) {
      report.mask = std::uint32_t(*mask);
    }
  }
  for (const EntrySpec& spec : kEntries) {
    auto it = record.find(spec.key);
    if (it == record.end()) continue;
    EntryReport entry = inspectEntry(spec, it->second, encoding, report);
    if (!entry.problem.empty())
      report.problems.push_back(std::string(spec.key) + ": " + entry.problem);
    report.entries.push_back(std::move(entry));
  }
  for (const auto& item : record) {
    const std::string& key = item.first;
    const bool known = std::any_of(std::begin(kEntries), std::end(kEntries),
                                   [&](const EntrySpec& spec) { return key == spec.key; });
    if (!known) report.otherKeys.push_back(key);
  }
  return report;
}

void writeRecord(std::ostream& out, const RecordReport& report) {
  out << "\n" << trf("Record \"%1\" (%2 build)", {report.recordKey, report.model}) << "\n";
  std::size_t width = 0;
  for (const auto& entry : report.entries) width = std::max(width, entry.key.size());
  for (const auto& entry : report.entries) {
    out << "  " << entry.key << std::string(width - entry.key.size() + 2, ' ');
    if (entry.locked) out << (*entry.locked ? "[locked]   " : "[unlocked] ");
    out << escapeText(entry.meaning.empty() ? jsonText(entry.stored) : entry.meaning) << "\n";
    if (!entry.problem.empty()) {
      out << "  " << std::string(width + 2, ' ') << "problem: " << escapeText(entry.problem)
          << "\n";
    }
  }
  if (report.hasFolders) {
    for (const auto& folder : report.folders) {
      out << "    " << escapeText(folder.name) << (folder.isProtected ? "  (protected)" : "")
          << (folder.directory ? "  (directory)" : "") << "\n";
    }
  }
  if (!report.otherKeys.empty()) {
    out << "  " << tr("other entries:");
    for (const auto& key : report.otherKeys) out << " " << quoteText(key);
    out << "\n";
  }
  if (report.mask) {
    out << tr(
        "  A new dialog for this printer starts with the locked entries; the others are\n"
        "  kept from the last print but not used.\n");
  }
}

json recordJson(const RecordReport& report) {
  json entries = json::array();
  for (const auto& entry : report.entries) {
    json item = {{"key", entry.key}, {"what", entry.what}, {"stored", entry.stored}};
    item["locked"] = entry.locked ? json(*entry.locked) : json(nullptr);
    item["text"] = entry.text ? json(*entry.text) : json(nullptr);
    item["meaning"] = entry.meaning;
    item["problem"] = entry.problem.empty() ? json(nullptr) : json(entry.problem);
    entries.push_back(std::move(item));
  }
  json folders = json::array();
  for (const auto& folder : report.folders) {
    folders.push_back({{"name", folder.name},
                       {"protected", folder.isProtected},
                       {"directory", folder.directory}});
  }
  json locks = report.mask ? json(lockNames(*report.mask)) : json(nullptr);
  return json{{"recordKey", report.recordKey},
              {"model", report.model},
              {"holdButton", report.mask ? json(*report.mask) : json(nullptr)},
              {"locks", std::move(locks)},
              {"entries", std::move(entries)},
              {"folders", report.hasFolders ? std::move(folders) : json(nullptr)},
              {"otherEntries", report.otherKeys},
              {"problems", report.problems}};
}

}  // namespace

namespace {

/// Tells on `err` which printers have preferences in `folder` (or that none
/// has), for a printer asked for that has none.
void listPrintersWithPreferences(std::ostream& err, const std::filesystem::path& folder) {
  auto known = printersWithPreferences(folder);
  if (known.empty()) {
    err << trf("No printer has preferences in %1.", {folder.string()}) << "\n";
  } else {
    err << trf("Printers with preferences in %1:", {folder.string()});
    for (const auto& name : known) err << " " << name;
    err << "\n";
  }
}

}  // namespace

int runPrefsShow(const Invocation& invocation) {
  auto& err = invocation.err;
  warnOnUnknownLanguage(invocation.args, err);
  const std::string printerId = invocation.args.positionals.front();
  std::optional<std::string> model = invocation.args.value("--model");
  if (model && !recordKeyForModel(*model)) {
    return invocation.fail(ExitStatus::usage,
                           trf("option --model takes vk7300 or vk410e, got \"%1\"", {*model}));
  }
  if (printerId.empty() || printerId.find('/') != std::string::npos) {
    return invocation.fail(ExitStatus::usage,
                           trf("\"%1\" is not a printer identifier", {printerId}));
  }
  auto folder = preferencesFolderFor(invocation.args);
  if (!folder) {
    return invocation.fail(ExitStatus::failure, tr("no preferences folder (give --prefs-dir)"));
  }
  const auto file = domainFile(*folder, printerId);
  std::string error;
  auto domain = readDomainFile(file, &error);
  if (!domain) {
    const int status = invocation.fail(ExitStatus::failure, error);
    if (!std::filesystem::exists(file)) listPrintersWithPreferences(err, *folder);
    return status;
  }

  std::vector<RecordReport> records;
  std::vector<std::string> otherDomainKeys;
  const std::vector<std::string> models =
      model ? std::vector<std::string>{*model} : std::vector<std::string>{"vk7300", "vk410e"};
  const platform::CFStringEncoding encoding = systemEncodingFor(invocation.args);
  for (const auto& name : models) {
    const char* key = recordKeyForModel(name);
    auto it = domain->find(key);
    if (it == domain->end()) continue;
    if (const Dict* record = it->second.asDict()) {
      records.push_back(inspectRecord(*record, key, name, encoding));
    } else {
      return invocation.fail(ExitStatus::failure,
                             trf("%1: \"%2\" is not a dictionary", {file.string(), key}));
    }
  }
  for (const auto& [key, value] : *domain) {
    if (key != "Job Handling" && key != "Jobwick") {
      otherDomainKeys.push_back(key);
    }
  }
  if (records.empty()) {
    return invocation.fail(
        ExitStatus::failure,
        model ? trf("%1 holds no \"%2\" record", {file.string(), recordKeyForModel(*model)})
              : trf("%1 holds no panel record (\"Job Handling\" or \"Jobwick\")", {file.string()}));
  }

  std::size_t problems = 0;
  for (const auto& record : records) problems += record.problems.size();
  if (invocation.args.has("--json")) {
    json list = json::array();
    for (const auto& record : records) list.push_back(recordJson(record));
    json document = {{"printer", printerId},
                     {"file", file.string()},
                     {"systemEncoding", encodingName(encoding)},
                     {"records", std::move(list)},
                     {"otherDomainEntries", otherDomainKeys}};
    invocation.out << document.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
  } else {
    invocation.out << trf("Preferences of printer %1", {printerId}) << "\n  " << file.string()
                   << "\n";
    for (const auto& record : records) writeRecord(invocation.out, record);
    if (!otherDomainKeys.empty()) {
      invocation.out << "\n" << tr("Other entries of the domain:");
      for (const auto& key : otherDomainKeys) invocation.out << " " << quoteText(key);
      invocation.out << "\n";
    }
  }
  return problems == 0 ? kExitSuccess : kExitProblems;
}

}  // namespace jobwick::host
