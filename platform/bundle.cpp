// SPDX-License-Identifier: Apache-2.0
// Bundles: the manifest, resource lookup by language, localised strings and
// interface-file loading. Property lists are read with libplist.
#include "platform/bundle.h"

#include <dlfcn.h>
#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>

#include "platform/c_handles.h"
#include "platform/encoding.h"
#include "platform/image.h"
#include "platform/interface_file.h"

namespace platform {

namespace {

using PlistPtr = PlistNode;

std::optional<std::string> readFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

// The string values of a property-list dictionary file (other values are
// skipped). nullopt when the file is missing or is not a dictionary.
std::optional<std::map<std::string, std::string>> readStringDictionary(
    const std::filesystem::path& path, std::string* error) {
  const std::optional<std::string> bytes = readFileBytes(path);
  if (!bytes) {
    if (error) *error = path.string() + ": cannot be read";
    return std::nullopt;
  }
  if (bytes->size() > std::numeric_limits<std::uint32_t>::max()) {
    if (error) *error = path.string() + ": too large";
    return std::nullopt;
  }
  plist_t raw = nullptr;
  plist_from_memory(bytes->data(), std::uint32_t(bytes->size()), &raw);
  PlistPtr root(raw);
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
    if (error) *error = path.string() + ": not a property-list dictionary";
    return std::nullopt;
  }
  std::map<std::string, std::string> result;
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(root.get(), &iter);
  if (!iter) return result;
  const MallocPtr<void> iterOwner(iter);
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(root.get(), iter, &key, &value);
    if (!key) break;
    MallocPtr<char> keyOwner(key);
    if (value && plist_get_node_type(value) == PLIST_STRING) {
      char* text = nullptr;
      plist_get_string_val(value, &text);
      if (text) {
        MallocPtr<char> textOwner(text);
        result.emplace(key, text);
      }
    }
  }
  return result;
}

// A resource name is one file name: no folders, no way out of Resources/.
bool isPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

bool isFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

bool isFolder(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

/// "zh-Hant" or "zh-Hans" for a Chinese language tag or locale.
std::string chineseScript(std::string_view tag) {
  return systemEncodingForLanguage(tag) == kCFStringEncodingMacChineseTrad ? "zh-Hant" : "zh-Hans";
}

// "ja_JP.UTF-8" -> "ja"; "C", "POSIX" and empty values -> "".
std::string languageOfLocale(std::string_view locale) {
  const std::size_t end = locale.find_first_of("_.@-");
  std::string language(locale.substr(0, end));
  std::transform(language.begin(), language.end(), language.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  if (language == "c" || language == "posix") return "";
  const bool letters = std::all_of(language.begin(), language.end(),
                                   [](unsigned char c) { return std::isalpha(c) != 0; });
  if (!letters) return "";
  // Chinese is told apart by its script, which the region implies
  // ("zh_TW" -> "zh-Hant", "zh_CN" -> "zh-Hans").
  if (language == "zh") return chineseScript(locale);
  return language;
}

std::vector<std::string>& languagesOverride() {
  static std::vector<std::string> languages;
  return languages;
}

// Folder names of the .lproj to try for `language`: itself, then its base
// language ("pt-BR" -> "pt").
std::vector<std::string> lprojCandidates(const std::string& language) {
  std::vector<std::string> result;
  if (!isPlainFileName(language)) return result;
  result.push_back(language);
  const std::size_t cut = language.find_first_of("_-");
  if (cut != std::string::npos && cut > 0) {
    // "zh-TW" and "zh-Hant-HK" are found in zh-Hant, "zh-CN" in zh-Hans.
    if (language.compare(0, cut, "zh") == 0) {
      const std::string script = chineseScript(language);
      if (script != language) result.push_back(script);
    }
    result.push_back(language.substr(0, cut));
  } else if (language == "zh") {
    result.push_back(chineseScript(language));
  }
  return result;
}

}  // namespace

std::vector<std::string> preferredLanguages() {
  if (!languagesOverride().empty()) return languagesOverride();
  std::vector<std::string> result;
  if (const char* list = std::getenv("LANGUAGE"); list && *list) {
    std::string_view rest(list);
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      const std::string language = languageOfLocale(rest.substr(0, colon));
      if (!language.empty() && std::find(result.begin(), result.end(), language) == result.end()) {
        result.push_back(language);
      }
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    if (!result.empty()) return result;
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    // The first variable that is set decides, even when it says "C".
    const std::string language = languageOfLocale(value);
    return {language.empty() ? "en" : language};
  }
  return {"en"};
}

void setPreferredLanguagesOverride(std::vector<std::string> languages) {
  languagesOverride() = std::move(languages);
}

std::shared_ptr<Bundle> Bundle::bundleWithPath(const std::filesystem::path& path,
                                               std::string* error) {
  if (!isFolder(path)) {
    if (error) *error = path.string() + ": not a folder";
    return nullptr;
  }
  std::optional<std::map<std::string, std::string>> info =
      readStringDictionary(path / "Info.plist", error);
  if (!info) return nullptr;
  std::shared_ptr<Bundle> bundle(new Bundle());
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  bundle->path_ = (ec ? path : absolute).lexically_normal();
  bundle->info_ = std::move(*info);
  return bundle;
}

std::shared_ptr<Bundle> Bundle::bundleContainingAddress(const void* address) {
  if (!address) return nullptr;
  Dl_info info{};
  if (dladdr(address, &info) == 0 || !info.dli_fname || !*info.dli_fname) return nullptr;
  std::error_code ec;
  std::filesystem::path object = std::filesystem::canonical(info.dli_fname, ec);
  if (ec) return nullptr;
  const std::filesystem::path folder = object.parent_path();
  static std::map<std::filesystem::path, std::shared_ptr<Bundle>> cache;
  if (auto it = cache.find(folder); it != cache.end()) return it->second;
  std::shared_ptr<Bundle> bundle = bundleWithPath(folder);
  // Only bundles are remembered: a folder may become one later (a test
  // assembling it, an installation finishing).
  if (bundle) cache.emplace(folder, bundle);
  return bundle;
}

std::optional<std::string> Bundle::infoValue(std::string_view key) const {
  auto it = info_.find(std::string(key));
  if (it == info_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::filesystem::path> Bundle::executablePath() const {
  std::optional<std::string> name = infoValue("CFBundleExecutable");
  if (!name || !isPlainFileName(*name)) return std::nullopt;
  return path_ / *name;
}

std::optional<std::filesystem::path> Bundle::pathForResource(std::string_view name,
                                                             std::string_view type) const {
  std::string fileName(name);
  if (!type.empty()) fileName += "." + std::string(type);
  if (!isPlainFileName(name) || !isPlainFileName(fileName)) return std::nullopt;

  // A bundle's files do not change while it is open (its strings tables are
  // kept too), so a resource is looked for once per language list: every
  // panel open asks for the same few files, and each look costs a stat per
  // folder tried.
  const std::vector<std::string> languages = preferredLanguages();
  std::string key;
  for (const std::string& language : languages) key += language + ":";
  key += "/" + fileName;
  if (const auto known = resourcePaths_.find(key); known != resourcePaths_.end()) {
    return known->second;
  }
  std::optional<std::filesystem::path> found = findResource(languages, fileName);
  // The names asked for come from the bundle's own code and files; the
  // bound only keeps a caller asking for endless new names from growing it.
  if (resourcePaths_.size() >= kMaxKnownResources) resourcePaths_.clear();
  resourcePaths_.emplace(std::move(key), found);
  return found;
}

std::optional<std::filesystem::path> Bundle::findResource(const std::vector<std::string>& languages,
                                                          const std::string& fileName) const {
  const std::filesystem::path resources = path_ / "Resources";
  // The current language is the first preferred one that the bundle has.
  std::vector<std::string> folders;
  for (const std::string& language : languages) {
    bool found = false;
    for (const std::string& candidate : lprojCandidates(language)) {
      if (isFolder(resources / (candidate + ".lproj"))) {
        folders.push_back(candidate + ".lproj");
        found = true;
        break;
      }
    }
    if (found) break;
  }
  if (std::find(folders.begin(), folders.end(), "en.lproj") == folders.end()) {
    folders.push_back("en.lproj");
  }
  for (const std::string& folder : folders) {
    std::filesystem::path candidate = resources / folder / fileName;
    if (isFile(candidate)) return candidate;
  }
  std::filesystem::path plain = resources / fileName;
  if (isFile(plain)) return plain;
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> Bundle::dataForResource(std::string_view name,
                                                                 std::string_view type) const {
  std::optional<std::filesystem::path> path = pathForResource(name, type);
  if (!path) return std::nullopt;
  std::optional<std::string> bytes = readFileBytes(*path);
  if (!bytes) return std::nullopt;
  return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

const std::map<std::string, std::string>& Bundle::stringsTable(const std::string& language) const {
  auto it = tables_.find(language);
  if (it != tables_.end()) return it->second;
  std::map<std::string, std::string> table;
  for (const std::string& candidate : lprojCandidates(language)) {
    std::filesystem::path file = path_ / "Resources" / (candidate + ".lproj") / "Localizable.plist";
    if (!isFile(file)) continue;
    if (auto read = readStringDictionary(file, nullptr)) table = std::move(*read);
    break;
  }
  return tables_.emplace(language, std::move(table)).first->second;
}

std::string Bundle::localizedStringForKey(std::string_view key,
                                          std::optional<std::string_view> value) const {
  const std::string wanted(key);
  // The first preferred language with a table decides; English fills gaps.
  std::vector<std::string> languages;
  for (const std::string& language : preferredLanguages()) {
    if (!stringsTable(language).empty()) {
      languages.push_back(language);
      break;
    }
  }
  if (std::find(languages.begin(), languages.end(), "en") == languages.end()) {
    languages.push_back("en");
  }
  for (const std::string& language : languages) {
    const auto& table = stringsTable(language);
    if (auto it = table.find(wanted); it != table.end()) return it->second;
  }
  if (value && !value->empty()) return std::string(*value);
  return wanted;
}

bool Bundle::loadNibNamed(std::string_view name, Object* owner, std::string* error) const {
  std::optional<std::filesystem::path> path = pathForResource(name, "jwui");
  if (!path) {
    if (error) *error = "interface file " + std::string(name) + ".jwui is not in the bundle";
    return false;
  }
  InterfaceImageResolver images = [this](std::string_view image) -> std::shared_ptr<Image> {
    std::optional<std::filesystem::path> file = pathForResource(image, "png");
    return file ? Image::imageWithContentsOfFile(*file) : nullptr;
  };
  return loadInterfaceFile(*path, owner, images, error);
}

}  // namespace platform
