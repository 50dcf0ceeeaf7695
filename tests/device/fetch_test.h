// SPDX-License-Identifier: Apache-2.0
// Fixture for the folder-fetch tests: a controller with its real panel, the
// printer simulator on loopback, and helpers for the response file.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "device/soap_client.h"
#include "platform/run_loop.h"
#include "support/harness.h"
#include "tests/support/printer_simulator.h"

namespace jwtest {

/// Counts the failure reports of a SOAP client.
class CallbackRecorder : public SOAPClientCallback {
 public:
  void recieveEndCallback() override {
    ++calls;
    at = platform::monotonicNow();
  }
  int calls = 0;
  double at = 0;
};

class FetchTest : public ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    jc = makeController();
    ASSERT_TRUE(jc);
    showPanel(*jc);
    ASSERT_NE(jc->printersAddressEditText, nullptr);
    ASSERT_NE(jc->getFolderNameButton, nullptr);
    ASSERT_NE(jc->folderSelectionPopup, nullptr);
  }
  void TearDown() override {
    simulator.stop();
    jc.reset();
    ControllerTest::TearDown();
  }

  void startSimulator(const std::vector<std::string>& arguments) {
    ASSERT_TRUE(simulator.start(arguments, temp->path() / "requests.jsonl"));
  }

  std::filesystem::path responseFile() const { return temp->path() / "tmp" / "vwxyz.xml"; }

  void writeAnswer(const std::string& text) const {
    std::ofstream(responseFile(), std::ios::binary) << text;
  }

  std::string readFile(const std::filesystem::path& path) const {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  /// Types `address` into the printer-address field and presses the
  /// folder-list button.
  void press(const std::string& address) {
    jc->printersAddressEditText->setStringValue(address);
    jc->getFolderNameButtonProc(jc->getFolderNameButton);
  }

  /// The names of the folder list (a lone "<nil>" when there is none).
  std::vector<std::string> names() const {
    if (!jc->folderList) return {"<nil>"};
    std::vector<std::string> out;
    for (const auto& entry : *jc->folderList) {
      const auto name = entry.find("name");
      const std::string* text = name == entry.end() ? nullptr : name->second.asString();
      out.push_back(text ? *text : "<no name>");
    }
    return out;
  }

  /// A flag of folder `index` ("password", "dir", "add").
  bool flag(std::size_t index, const char* key) const {
    const auto& entry = jc->folderList->at(index);
    const auto found = entry.find(key);
    EXPECT_NE(found, entry.end()) << key;
    const bool* value = found == entry.end() ? nullptr : found->second.asBool();
    EXPECT_NE(value, nullptr) << key;
    return value && *value;
  }

  /// Titles of the folder menu, separators as "---".
  std::vector<std::string> menuTitles() const {
    std::vector<std::string> out;
    for (const auto& item : jc->folderSelectionPopup->menu()->items()) {
      out.push_back(item->isSeparatorItem() ? "---" : item->title());
    }
    return out;
  }

  std::shared_ptr<JC> jc;
  PrinterSimulator simulator;
};

}  // namespace jwtest
