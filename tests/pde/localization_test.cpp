// SPDX-License-Identifier: Apache-2.0
// Localisation of control texts through the bundle's strings, with a
// Japanese catalog of the test's own.
#include <gtest/gtest.h>

#include "pde/JC.h"
#include "pde/plugin_bundle.h"
#include "platform/bundle.h"
#include "platform/controls.h"
#include "support/harness.h"

namespace jwtest {
namespace {

const char kInfo[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleExecutable</key><string>none.so</string>
<key>NSPrincipalClass</key><string>None</string>
</dict></plist>
)";

const char kJapanese[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>Login Name</key><string>ログイン名</string>
<key>OK</key><string>了解</string>
<key>Password</key><string>パスワード</string>
<key>Name </key><string>名前 </string>
</dict></plist>
)";

class LocalizationTest : public ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    auto root = temp->path() / "Test.plugin";
    std::filesystem::create_directories(root / "Resources" / "ja.lproj");
    writeFile(root, "Info.plist", kInfo);
    writeFile(root / "Resources" / "ja.lproj", "Localizable.plist", kJapanese);
    platform::setPreferredLanguagesOverride({"ja"});
    jobwick::setPluginBundleOverride(platform::Bundle::bundleWithPath(root));
    jc = makeController();
    ASSERT_TRUE(jc->pdeBundle);
  }
  std::shared_ptr<JC> jc;
};

TEST_F(LocalizationTest, TextsKeepOneTrailingColon) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Login Name:", "ログイン名:"},
      {"OK", "了解"},
      {"Login Name: and more words", "ログイン名:"},
      {"Login Name:extra:colons", "ログイン名:"},
      {":", ":"},
      {"", ""},
      {"   ", "   "},
      {"  :after", "  :after"},
      {"Name :", "名前 :"},
      {"\n\t Password", "パスワード"},
      {"Untranslated Words:", "Untranslated Words:"},
      {"Untranslated", "Untranslated"},
      // Texts beyond ASCII: Unicode spaces are skipped too.
      {"\u3000Password", "パスワード"},
      {"\u00A0Login Name: \u00FC", "ログイン名:"},
      {"Gr\u00FC\u00DFe:", "Gr\u00FC\u00DFe:"},
  };
  for (const auto& [source, expected] : cases) {
    EXPECT_EQ(jc->localizedStringValue(source), expected) << '"' << source << '"';
  }
}

TEST_F(LocalizationTest, ControlsGiveTheirTextByKind) {
  platform::TextField field;
  field.setStringValue("   Password");
  EXPECT_EQ(jc->localizedStringValue(&field), "パスワード");

  platform::Box box;
  box.setTitle("Login Name:");
  EXPECT_EQ(jc->localizedStringValue(&box), "ログイン名:");

  platform::Button button;
  button.setTitle("OK");
  EXPECT_EQ(jc->localizedStringValue(&button), "了解");

  platform::ButtonCell cell;
  cell.setTitle("Password");
  EXPECT_EQ(jc->localizedStringValue(&cell), "パスワード");

  platform::ProgressIndicator other;
  EXPECT_EQ(jc->localizedStringValue(&other), std::nullopt);
  EXPECT_EQ(jc->localizedStringValue(static_cast<const platform::Object*>(nullptr)), std::nullopt);
}

TEST_F(LocalizationTest, EnglishUsersSeeTheKeys) {
  platform::setPreferredLanguagesOverride({"en"});
  EXPECT_EQ(jc->localizedStringValue(std::string("Login Name:")), "Login Name:");
}

TEST_F(LocalizationTest, SystemIconsAreEighteenPointsSquare) {
  auto icon = initWithSystemIconType(platform::fourCharCode("lock"));
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->size(), (platform::Size{18, 18}));
  auto open = initWithSystemIconType(platform::fourCharCode("ulck"));
  ASSERT_TRUE(open);
  EXPECT_NE(open->name(), icon->name());
}

}  // namespace
}  // namespace jwtest
