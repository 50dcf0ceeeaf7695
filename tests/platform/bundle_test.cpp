// SPDX-License-Identifier: Apache-2.0
// Bundles: manifest, resource lookup by language, localised strings that
// follow the language override, and the user's languages from the locale.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/bundle.h"
#include "platform/controls.h"
#include "platform/interface_file.h"
#include "platform/plist.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

std::string stringsPlist(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
  for (const auto& [key, value] : entries) {
    text += "<key>" + key + "</key><string>" + value + "</string>\n";
  }
  return text + "</dict>\n</plist>\n";
}

void write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class BundleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("jobwick-test-bundle-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    path_ = root_ / "Sample.plugin";
    write(path_ / "Info.plist", stringsPlist({{"NSPrincipalClass", "SamplePlugIn"},
                                              {"CFBundleExecutable", "Sample.so"},
                                              {"CFBundleIdentifier", "jp.example.sample"}}));
    write(path_ / "Resources/en.lproj/Localizable.plist",
          stringsPlist({{"Retention", "Retention"}, {"Only English", "English text"}}));
    write(path_ / "Resources/ja.lproj/Localizable.plist",
          stringsPlist({{"Retention", "リテンション"},
                        {"Please confirm.\nLogin Name", "確認してください。\nログイン名"}}));
    write(path_ / "Resources/ja.lproj/note.txt", "ja");
    write(path_ / "Resources/en.lproj/note.txt", "en");
    write(path_ / "Resources/en.lproj/english.txt", "en only");
    write(path_ / "Resources/note.txt", "plain");
    write(path_ / "Resources/plain.txt", "plain only");
    write(root_ / "secret.txt", "outside");
    setPreferredLanguagesOverride({});
  }
  void TearDown() override {
    setPreferredLanguagesOverride({});
    fs::remove_all(root_);
  }

  std::shared_ptr<Bundle> open() {
    std::string error;
    auto bundle = Bundle::bundleWithPath(path_, &error);
    EXPECT_TRUE(bundle) << error;
    return bundle;
  }

  fs::path root_;
  fs::path path_;
};

// Sets (or unsets, with nullopt) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(BundleTest, ManifestValues) {
  auto bundle = open();
  ASSERT_TRUE(bundle);
  EXPECT_EQ(bundle->principalClassName(), "SamplePlugIn");
  EXPECT_EQ(bundle->infoValue("CFBundleIdentifier"), "jp.example.sample");
  EXPECT_EQ(bundle->infoValue("Missing"), std::nullopt);
  EXPECT_EQ(bundle->executablePath(), path_ / "Sample.so");
}

TEST_F(BundleTest, FoldersThatAreNoBundlesAreRefused) {
  struct Case {
    const char* name;
    fs::path path;
    std::string manifest;  // written when not empty
  };
  const std::vector<Case> cases = {
      {"missing folder", root_ / "Nothing.plugin", ""},
      {"no manifest", root_ / "Empty.plugin", ""},
      {"garbage manifest", root_ / "Garbage.plugin", "not a property list"},
      {"manifest not a dictionary", root_ / "Array.plugin",
       "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>"},
  };
  fs::create_directories(root_ / "Empty.plugin");
  for (const auto& c : cases) {
    if (!c.manifest.empty()) write(c.path / "Info.plist", c.manifest);
    std::string error;
    EXPECT_EQ(Bundle::bundleWithPath(c.path, &error), nullptr) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
  EXPECT_EQ(Bundle::bundleWithPath(path_ / "Info.plist"), nullptr) << "a file is no bundle";
}

TEST_F(BundleTest, ResourcesAreFoundByLanguageThenEnglishThenPlain) {
  auto bundle = open();
  ASSERT_TRUE(bundle);
  auto contents = [&](std::string_view name) -> std::string {
    auto data = bundle->dataForResource(name, "txt");
    return data ? std::string(data->begin(), data->end()) : "<missing>";
  };
  setPreferredLanguagesOverride({"ja"});
  EXPECT_EQ(contents("note"), "ja");
  EXPECT_EQ(contents("english"), "en only");
  EXPECT_EQ(contents("plain"), "plain only");
  setPreferredLanguagesOverride({"fr", "ja"});
  EXPECT_EQ(contents("note"), "ja") << "the first preferred language the bundle has";
  setPreferredLanguagesOverride({"de"});
  EXPECT_EQ(contents("note"), "en");
  EXPECT_EQ(contents("missing"), "<missing>");
  // What one language list found is not what another one gets.
  setPreferredLanguagesOverride({"ja"});
  EXPECT_EQ(contents("note"), "ja");
  setPreferredLanguagesOverride({"ja", "de"});
  EXPECT_EQ(contents("note"), "ja");
  setPreferredLanguagesOverride({"de"});
  EXPECT_EQ(contents("note"), "en");
  for (const char* name : {"../../secret", "../secret", "en.lproj/note", "", ".."}) {
    EXPECT_EQ(bundle->pathForResource(name, "txt"), std::nullopt) << name;
  }
}

TEST_F(BundleTest, LocalisedStringsFollowTheLanguageOverride) {
  auto bundle = open();
  ASSERT_TRUE(bundle);
  struct Case {
    std::vector<std::string> languages;
    std::string key;
    std::optional<std::string_view> value;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{"ja"}, "Retention", std::nullopt, "リテンション"},
      {{"ja"}, "Please confirm.\nLogin Name", std::nullopt, "確認してください。\nログイン名"},
      {{"ja"}, "Only English", std::nullopt, "English text"},
      {{"ja"}, "Untranslated", std::nullopt, "Untranslated"},
      {{"ja"}, "Untranslated", "Fallback", "Fallback"},
      {{"ja"}, "Untranslated", "", "Untranslated"},
      {{"en"}, "Retention", std::nullopt, "Retention"},
      {{"ja-JP"}, "Retention", std::nullopt, "リテンション"},
      {{"fr", "ja"}, "Retention", std::nullopt, "リテンション"},
      {{"ja"}, "Retention", std::nullopt, "リテンション"},  // back again after English
  };
  for (const auto& c : cases) {
    setPreferredLanguagesOverride(c.languages);
    EXPECT_EQ(bundle->localizedStringForKey(c.key, c.value), c.expected)
        << c.languages[0] << " " << c.key;
  }
}

TEST_F(BundleTest, InterfaceFilesLoadFromTheBundle) {
  auto bundle = open();
  ASSERT_TRUE(bundle);
  write(path_ / "Resources/Panel.jwui", R"({"format": "jwui", "version": 1, "objects": [
    {"kind": "view", "outlet": "panelView", "subviews": [
      {"kind": "button", "image": "space", "alternateImage": "icon:lock"}]}]})");
  write(path_ / "Resources/NoImage.jwui", R"({"format": "jwui", "version": 1, "objects": [
    {"kind": "button", "image": "nothing"}]})");
  fs::copy_file(fs::path(JOBWICK_SOURCE_DIR) / "resources/common/space.png",
                path_ / "Resources/space.png");
  write(path_ / "Resources/Broken.jwui", "{\n  \"format\": }");

  class Owner : public Object {
   public:
    bool setOutletForKey(std::string_view key, Object* value) override {
      panel = key == "panelView" ? value : panel;
      return key == "panelView";
    }
    Object* panel = nullptr;
  } owner;
  std::string error;
  EXPECT_TRUE(bundle->loadNibNamed("Panel", &owner, &error)) << error;
  ASSERT_NE(owner.panel, nullptr);
  auto* button = dynamic_cast<Button*>(static_cast<View*>(owner.panel)->subviews().at(0).get());
  ASSERT_NE(button, nullptr);
  ASSERT_NE(button->image(), nullptr);
  EXPECT_EQ(button->image()->size(), (Size{18, 18}));
  ASSERT_NE(button->alternateImage(), nullptr);
  EXPECT_FALSE(bundle->loadNibNamed("NoImage", &owner, &error));
  EXPECT_NE(error.find("no image \"nothing\""), std::string::npos) << error;
  EXPECT_FALSE(bundle->loadNibNamed("Missing", &owner, &error));
  EXPECT_NE(error.find("Missing.jwui"), std::string::npos) << error;
  EXPECT_FALSE(bundle->loadNibNamed("Broken", &owner, &error));
  EXPECT_NE(error.find("Broken.jwui: line 2, column"), std::string::npos) << error;
}

TEST(PreferredLanguages, ComeFromTheOverrideOrTheLocale) {
  struct Case {
    std::optional<std::string> language, lcAll, lcMessages, lang;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt, {"en"}},
      {std::nullopt, std::nullopt, std::nullopt, "ja_JP.UTF-8", {"ja"}},
      {std::nullopt, std::nullopt, std::nullopt, "C", {"en"}},
      {std::nullopt, std::nullopt, std::nullopt, "POSIX", {"en"}},
      {std::nullopt, std::nullopt, std::nullopt, "C.UTF-8", {"en"}},
      {std::nullopt, "de_DE@euro", "fr_FR", "ja_JP", {"de"}},
      {std::nullopt, "", "fr_FR.UTF-8", "ja_JP", {"fr"}},
      {"ja_JP:en_US:ja", std::nullopt, std::nullopt, "de_DE", {"ja", "en"}},
      {"", std::nullopt, std::nullopt, "ja_JP", {"ja"}},
      {"C", std::nullopt, std::nullopt, "ja_JP", {"ja"}},
  };
  for (const auto& c : cases) {
    ScopedEnv a("LANGUAGE", c.language), b("LC_ALL", c.lcAll), d("LC_MESSAGES", c.lcMessages),
        e("LANG", c.lang);
    EXPECT_EQ(preferredLanguages(), c.expected)
        << c.language.value_or("-") << "|" << c.lcAll.value_or("-") << "|"
        << c.lcMessages.value_or("-") << "|" << c.lang.value_or("-");
  }
  ScopedEnv lang("LANG", "ja_JP.UTF-8");
  setPreferredLanguagesOverride({"en", "ja"});
  EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"en", "ja"}));
  setPreferredLanguagesOverride({});
  EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"ja"}));
}

TEST(BundleContainingAddress, ObjectsOutsideABundleHaveNone) {
  EXPECT_EQ(Bundle::bundleContainingAddress(nullptr), nullptr);
  // The platform library does not live in a bundle folder.
  EXPECT_EQ(Bundle::bundleContainingAddress(reinterpret_cast<const void*>(&preferredLanguages)),
            nullptr);
}

// A bundle assembled by the build, or null when it has not been built.
fs::path builtBundle(const char* name) {
  const char* dir = std::getenv("JOBWICK_BUNDLE_DIR");
  if (!dir) return {};
  fs::path path = fs::path(dir) / name;
  return fs::exists(path / "Info.plist") ? path : fs::path();
}

TEST(BuiltBundles, ShipTheirInterfaceFilesAndTranslations) {
  struct Case {
    const char* bundle;
    std::vector<const char*> nibs;
    const char* panelName;
    const char* japanese;
  };
  const std::vector<Case> cases = {
      {"JobwickVk7300.plugin", {"Jobwick4", "Jobwick5"}, "Job Handling", "ジョブ処理"},
      {"JobwickVk410e.plugin", {"Jobwick"}, "Jobwick", "Jobwick"},
  };
  for (const auto& c : cases) {
    const fs::path path = builtBundle(c.bundle);
    if (path.empty()) GTEST_SKIP() << c.bundle << " has not been built";
    std::string error;
    auto bundle = Bundle::bundleWithPath(path, &error);
    ASSERT_TRUE(bundle) << error;
    EXPECT_TRUE(bundle->pathForResource("space", "png")) << c.bundle;
    setPreferredLanguagesOverride({"ja"});
    EXPECT_EQ(bundle->localizedStringForKey(c.panelName), c.japanese) << c.bundle;
    EXPECT_EQ(bundle->localizedStringForKey("Could not retrieve Folder Names."),
              "フォルダー名を取得できませんでした。");
    setPreferredLanguagesOverride({"en"});
    EXPECT_EQ(bundle->localizedStringForKey(c.panelName), c.panelName) << c.bundle;
    setPreferredLanguagesOverride({});
    for (const char* nib : c.nibs) {
      // A null owner checks the file without connecting it.
      EXPECT_TRUE(bundle->loadNibNamed(nib, nullptr, &error)) << c.bundle << " " << nib << error;
    }
  }
}

TEST(BuiltBundles, TheirCodeFindsItsBundle) {
  const fs::path path = builtBundle("JobwickVk410e.plugin");
  if (path.empty()) GTEST_SKIP() << "JobwickVk410e.plugin has not been built";
  auto manifest = Bundle::bundleWithPath(path);
  ASSERT_TRUE(manifest);
  auto executable = manifest->executablePath();
  ASSERT_TRUE(executable);
  if (!fs::exists(*executable)) GTEST_SKIP() << "the plug-in has not been built";
  void* handle = ::dlopen(executable->c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << ::dlerror();
  link_map* map = nullptr;
  ASSERT_EQ(::dlinfo(handle, RTLD_DI_LINKMAP, &map), 0);
  auto bundle = Bundle::bundleContainingAddress(map->l_ld);
  ASSERT_TRUE(bundle);
  EXPECT_EQ(fs::canonical(bundle->bundlePath()), fs::canonical(path));
  EXPECT_EQ(Bundle::bundleContainingAddress(map->l_ld), bundle) << "cached per folder";
  ::dlclose(handle);
}

/// A bundled catalog of the source tree, by its .lproj name.
std::map<std::string, std::string> sourceCatalog(const std::string& lproj) {
  std::map<std::string, std::string> table;
  const auto value = plist::readFile(std::string(JOBWICK_SOURCE_DIR) + "/resources/common/" +
                                     lproj + ".lproj/Localizable.plist");
  if (!value || !value->asDict()) return table;
  for (const auto& [key, text] : *value->asDict()) {
    if (const std::string* s = text.asString()) table[key] = *s;
  }
  return table;
}

TEST(BuiltBundles, EveryCatalogTranslatesEveryText) {
  const fs::path path = builtBundle("JobwickVk7300.plugin");
  if (path.empty()) GTEST_SKIP() << "the vk7300 bundle has not been built";
  std::string error;
  auto bundle = Bundle::bundleWithPath(path, &error);
  ASSERT_TRUE(bundle) << error;
  const auto english = sourceCatalog("en");
  ASSERT_FALSE(english.empty());
  struct Case {
    std::vector<std::string> languages;  // as the user's preferences give them
    const char* lproj;
    const char* retention;
  };
  const std::vector<Case> cases = {
      {{"ja"}, "ja", "リテンション"},   {{"zh-Hans"}, "zh-Hans", "保留"},
      {{"zh-Hant"}, "zh-Hant", "保留"}, {{"ko"}, "ko", "보존"},
      {{"zh-TW"}, "zh-Hant", "保留"},   {{"zh-CN"}, "zh-Hans", "保留"},
      {{"zh"}, "zh-Hans", "保留"},
  };
  for (const auto& c : cases) {
    const auto table = sourceCatalog(c.lproj);
    EXPECT_EQ(table.size(), english.size()) << c.lproj;
    for (const auto& [key, text] : english) {
      const auto it = table.find(key);
      ASSERT_NE(it, table.end()) << c.lproj << " lacks " << key;
      EXPECT_FALSE(it->second.empty()) << c.lproj << " " << key;
      EXPECT_EQ(it->second.find("%@") != std::string::npos, text.find("%@") != std::string::npos)
          << c.lproj << " " << key;
      EXPECT_EQ(std::count(it->second.begin(), it->second.end(), '\n'),
                std::count(text.begin(), text.end(), '\n'))
          << c.lproj << " " << key;
    }
    setPreferredLanguagesOverride(c.languages);
    EXPECT_EQ(bundle->localizedStringForKey("Retention"), c.retention) << c.languages[0];
  }
  // The locale names Chinese by region.
  setPreferredLanguagesOverride({});
  ScopedEnv language("LANGUAGE", std::nullopt), all("LC_ALL", std::nullopt),
      messages("LC_MESSAGES", std::nullopt);
  {
    ScopedEnv lang("LANG", "zh_TW.UTF-8");
    EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"zh-Hant"}));
    EXPECT_EQ(bundle->localizedStringForKey("Password"), "密碼");
  }
  {
    ScopedEnv lang("LANG", "zh_CN.UTF-8");
    EXPECT_EQ(bundle->localizedStringForKey("Password"), "密码");
  }
}

}  // namespace
