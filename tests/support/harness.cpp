// SPDX-License-Identifier: Apache-2.0
#include "support/harness.h"

#include <cstdlib>
#include <fstream>
#include <random>

#include "pde/plugin_bundle.h"
#include "platform/alert.h"
#include "platform/bundle.h"
#include "platform/encoding.h"
#include "platform/system.h"
#include "platform/user_defaults.h"

namespace jwtest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "jobwick-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ppdText(const std::string& modelName, const std::vector<std::string>& extraLines,
                    const std::string& languageEncoding) {
  std::string t;
  t += "*PPD-Adobe: \"4.3\"\n";
  t += "*FormatVersion: \"4.3\"\n";
  t += "*FileVersion: \"1.0\"\n";
  t += "*LanguageVersion: English\n";
  if (!languageEncoding.empty()) t += "*LanguageEncoding: " + languageEncoding + "\n";
  t += "*PCFileName: \"TEST.PPD\"\n";
  t += "*Manufacturer: \"Quivo\"\n";
  t += "*Product: \"(" + modelName + ")\"\n";
  t += "*ModelName: \"" + modelName + "\"\n";
  t += "*ShortNickName: \"" + modelName + "\"\n";
  t += "*NickName: \"" + modelName + "\"\n";
  t += "*PSVersion: \"(3010.000) 0\"\n";
  for (const auto& line : extraLines) t += line + "\n";
  t += "*OpenUI *PageSize/Page Size: PickOne\n";
  t += "*DefaultPageSize: A4\n";
  t += "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n";
  t += "*CloseUI: *PageSize\n";
  t += "*OpenUI *PageRegion: PickOne\n";
  t += "*DefaultPageRegion: A4\n";
  t += "*PageRegion A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n";
  t += "*CloseUI: *PageRegion\n";
  t += "*DefaultImageableArea: A4\n";
  t += "*ImageableArea A4: \"12 12 583 830\"\n";
  t += "*DefaultPaperDimension: A4\n";
  t += "*PaperDimension A4: \"595 842\"\n";
  return t;
}

std::filesystem::path writeFile(const std::filesystem::path& dir, const std::string& name,
                                const std::string& text) {
  auto path = dir / name;
  std::ofstream out(path, std::ios::binary);
  out << text;
  return path;
}

std::filesystem::path modelBundlePath() {
  std::string tag = jobwick::kModelProfile.model;  // "vk7300" -> "Vk7300"
  tag[0] = 'V';
  return std::filesystem::path(JOBWICK_BUNDLE_DIR) / ("Jobwick" + tag + ".plugin");
}

std::filesystem::path sourcePath(const std::string& relative) {
  return std::filesystem::path(JOBWICK_SOURCE_DIR) / relative;
}

void ControllerTest::SetUp() {
  temp = std::make_unique<TempDir>();
  std::filesystem::create_directories(temp->path() / "prefs");
  std::filesystem::create_directories(temp->path() / "tmp");
  platform::UserDefaults::setPreferencesFolderOverride(temp->path() / "prefs");
  platform::UserDefaults::resetStandardUserDefaults();
  platform::setTemporaryDirectoryOverride((temp->path() / "tmp").string() + "/");
  platform::setCurrentTimeOverride(1796688307.0);  // Tue, 8 Dec 2026 09:05:07 +0900
  platform::setTimeZoneOffsetOverride(9 * 3600);
  platform::setUserNamesOverride(std::string("jdoe"), std::string("Jane Doe"));
  platform::setPreferredLanguagesOverride({"en"});
  platform::setSystemEncodingOverride(platform::kCFStringEncodingMacRoman);
  platform::clearShownAlerts();
  jobwick::setPluginBundleOverride(platform::Bundle::bundleWithPath(modelBundlePath()));
  window = std::make_unique<platform::Window>();
}

void ControllerTest::TearDown() {
  window.reset();
  lastHost.reset();
  jobwick::setPluginBundleOverride(nullptr);
  platform::UserDefaults::setPreferencesFolderOverride(std::nullopt);
  platform::UserDefaults::resetStandardUserDefaults();
  platform::setTemporaryDirectoryOverride(std::nullopt);
  platform::setCurrentTimeOverride(std::nullopt);
  platform::setTimeZoneOffsetOverride(std::nullopt);
  platform::setUserNamesOverride(std::nullopt, std::nullopt);
  platform::setPreferredLanguagesOverride({});
  platform::setSystemEncodingOverride(std::nullopt);
  platform::setAlertPresenter({});
  temp.reset();
}

std::shared_ptr<FakeHost> ControllerTest::makeHost(const std::vector<std::string>& ppdLines,
                                                   const std::string& printerId,
                                                   std::optional<std::string> deviceURI) {
  auto host = std::make_shared<FakeHost>();
  static int counter = 0;
  auto path = writeFile(temp->path(), "printer" + std::to_string(++counter) + ".ppd",
                        ppdText(std::string("Quivo ") + jobwick::kModelProfile.model, ppdLines));
  std::string error;
  host->ppd = platform::openPPD(path.string(), &error);
  EXPECT_TRUE(host->ppd) << error;
  host->session.emplace(platform::Printer(printerId, std::move(deviceURI)));
  host->settings.setJobName(std::string("Quarterly Report"));
  return host;
}

std::shared_ptr<JC> ControllerTest::makeController(std::shared_ptr<FakeHost> host) {
  if (!host) host = makeHost();
  lastHost = host;
  return JC::initWithCallback(host);
}

platform::View* ControllerTest::showPanel(JC& jc) {
  platform::View* view = jc.panelView();
  if (view) {
    for (const auto& object : jc.topLevelObjects()) {
      if (object.get() == view) {
        window->setContentView(std::static_pointer_cast<platform::View>(object));
      }
    }
  }
  return view;
}

}  // namespace jwtest
