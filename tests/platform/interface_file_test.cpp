// SPDX-License-Identifier: Apache-2.0
// Interface files: building and connecting, refusing malformed files as a
// whole, and the contract of the three files the bundles ship.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/bundle.h"
#include "platform/controls.h"
#include "platform/image.h"
#include "platform/interface_file.h"

using namespace platform;

namespace {

const std::filesystem::path kSource = JOBWICK_SOURCE_DIR;

// An owner with a fixed set of outlets that records what it is given.
class TestOwner : public Object {
 public:
  explicit TestOwner(std::set<std::string> names) : names_(std::move(names)) {}
  bool setOutletForKey(std::string_view key, Object* value) override {
    ++outletCalls;
    if (!names_.count(std::string(key))) return false;
    outlets[std::string(key)] = value;
    return true;
  }
  bool performAction(std::string_view selector, Object* sender) override {
    actions.emplace_back(selector);
    return true;
  }
  std::set<std::string> names_;
  std::map<std::string, Object*> outlets;
  std::vector<std::string> actions;
  int outletCalls = 0;
};

std::shared_ptr<Image> shippedImage(std::string_view name) {
  std::filesystem::path file = kSource / "resources" / "common" / (std::string(name) + ".png");
  return Image::imageWithContentsOfFile(file);
}

const char* kSmallFile = R"({
  "format": "jwui", "version": 1,
  "objects": [{
    "kind": "view", "outlet": "panelView", "subviews": [
      {"kind": "button", "outlet": "check", "type": "checkbox", "title": "Retention",
       "action": "retentionCBoxProc:"},
      {"kind": "matrix", "outlet": "modes", "action": "suspendKeyMatrixProc:", "selected": 1,
       "cells": [{"title": "A", "outlet": "cellA"}, {"title": "B"}]},
      {"kind": "textfield", "outlet": "code", "string": "12", "tag": 1},
      {"kind": "label", "string": "Pass Code:"},
      {"kind": "popup", "outlet": "folders", "items": [
        {"title": "Quick File", "image": "icon:lock"}, {"separator": true}, {"title": "Main"}]},
      {"kind": "progress", "outlet": "spinner", "hidden": true}
    ]}]
})";

}  // namespace

TEST(InterfaceFile, LoadConnectsOutletsActionsAndKeepsTheViewsAlive) {
  TestOwner owner({"panelView", "check", "modes", "cellA", "code", "folders", "spinner"});
  std::string error = "stale";
  ASSERT_TRUE(loadInterfaceText(kSmallFile, &owner, nullptr, &error)) << error;
  EXPECT_EQ(error, "");
  ASSERT_EQ(owner.outlets.size(), 7u);

  // The file's own objects are gone; the owner keeps the views.
  auto* root = dynamic_cast<View*>(owner.outlets["panelView"]);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->subviews().size(), 6u);
  auto* matrix = dynamic_cast<Matrix*>(owner.outlets["modes"]);
  ASSERT_NE(matrix, nullptr);
  EXPECT_EQ(matrix->selectedRow(), 1);
  EXPECT_EQ(owner.outlets["cellA"], matrix->cellAtRow(0));
  auto* field = dynamic_cast<TextField*>(owner.outlets["code"]);
  ASSERT_NE(field, nullptr);
  EXPECT_TRUE(field->isEditable());
  EXPECT_EQ(field->tag(), 1);
  auto* label = dynamic_cast<TextField*>(root->subviews()[3].get());
  ASSERT_NE(label, nullptr);
  EXPECT_FALSE(label->isEditable());
  auto* popUp = dynamic_cast<PopUpButton*>(owner.outlets["folders"]);
  ASSERT_NE(popUp, nullptr);
  EXPECT_EQ(popUp->indexOfSelectedItem(), 0);
  EXPECT_TRUE(popUp->menu()->itemAtIndex(1)->isSeparatorItem());

  auto* check = dynamic_cast<Button*>(owner.outlets["check"]);
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->target(), &owner);
  EXPECT_TRUE(check->performClick());
  EXPECT_TRUE(matrix->selectRowByUser(0));
  EXPECT_EQ(owner.actions,
            (std::vector<std::string>{"retentionCBoxProc:", "suspendKeyMatrixProc:"}));
}

// A text loaded again is not parsed again; every load still builds views
// of its own, and a changed text (the same file edited) is read anew.
TEST(InterfaceFile, LoadingTheSameTextAgainBuildsNewViews) {
  TestOwner first({"panelView", "code"});
  TestOwner second({"panelView", "code"});
  std::string error;
  ASSERT_TRUE(loadInterfaceText(kSmallFile, &first, nullptr, &error)) << error;
  ASSERT_TRUE(loadInterfaceText(kSmallFile, &second, nullptr, &error)) << error;
  ASSERT_NE(first.outlets["code"], nullptr);
  EXPECT_NE(first.outlets["code"], second.outlets["code"]);
  auto* firstField = dynamic_cast<TextField*>(first.outlets["code"]);
  ASSERT_NE(firstField, nullptr);
  firstField->setStringValue("changed");
  EXPECT_EQ(dynamic_cast<TextField*>(second.outlets["code"])->stringValue(), "12");

  std::string edited = kSmallFile;
  edited.replace(edited.find("\"12\""), 4, "\"34\"");
  TestOwner third({"panelView", "code"});
  ASSERT_TRUE(loadInterfaceText(edited, &third, nullptr, &error)) << error;
  EXPECT_EQ(dynamic_cast<TextField*>(third.outlets["code"])->stringValue(), "34");
  // Broken after it was good: refused, not answered from before.
  EXPECT_FALSE(loadInterfaceText(edited.substr(0, edited.size() - 3), &third, nullptr, &error));
}

TEST(InterfaceFile, OutletsTheOwnerLacksAreSkippedAndNamed) {
  TestOwner owner({"panelView"});
  std::string error;
  EXPECT_TRUE(loadInterfaceText(kSmallFile, &owner, nullptr, &error, "small.jwui"));
  EXPECT_EQ(owner.outlets.size(), 1u);
  EXPECT_NE(error.find("\"spinner\""), std::string::npos) << error;
}

TEST(InterfaceFile, MalformedFilesConnectNothingAndSayWhere) {
  // Each case is a valid beginning (with outlets) followed by one fault.
  const std::string head =
      R"({"format": "jwui", "version": 1, "objects": [{"kind": "view", "outlet": "panelView",
"subviews": [{"kind": "button", "outlet": "check", "action": "retentionCBoxProc:"},
)";
  const std::string tail = "]}]}";
  struct Case {
    const char* name;
    std::string text;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"bad JSON", head + "{\"kind\": \"label\",, }" + tail, "line 3, column 18"},
      {"cut short", head, "line 3, column 1"},
      {"unknown kind", head + R"({"kind": "slider"})" + tail, "unknown kind \"slider\""},
      {"wrong type", head + R"({"kind": "label", "tag": "7"})" + tail,
       "objects[0].subviews[1]: \"tag\" must be an integer"},
      {"unknown key", head + R"({"kind": "label", "strng": "x"})" + tail, "unknown key \"strng\""},
      {"action on a box", head + R"({"kind": "box", "action": "a:"})" + tail,
       "takes no \"action\""},
      {"selector", head + R"({"kind": "button", "action": "click"})" + tail, "one-argument"},
      {"arrangement", head + R"({"kind": "view", "arrange": "grid"})" + tail,
       "\"arrange\" must be \"column\" or \"row\", not \"grid\""},
      {"a label hint on a button", head + R"({"kind": "button", "labelledBy": "check"})" + tail,
       "unknown key \"labelledBy\""},
      {"repeated outlet", head + R"({"kind": "label", "outlet": "check"})" + tail,
       "\"check\" is used twice"},
      {"bad state", head + R"({"kind": "button", "state": 2})" + tail, "\"state\" must be 0 or 1"},
      {"bad button type", head + R"({"kind": "button", "type": "radioo"})" + tail, "\"type\""},
      {"matrix selection",
       head + R"({"kind": "matrix", "cells": [{"title": "a"}], "selected": 1})" + tail,
       "\"selected\""},
      {"separator selected",
       head + R"({"kind": "popup", "items": [{"separator": true}], "selected": 0})" + tail,
       "\"selected\""},
      {"cell outlet type", head + R"({"kind": "matrix", "cells": [{"outlet": 3}]})" + tail,
       "cells[0]: \"outlet\" must be a string"},
      {"missing image", head + R"({"kind": "button", "image": "nowhere"})" + tail,
       "no image \"nowhere\""},
      {"bad icon", head + R"({"kind": "button", "image": "icon:padlock"})" + tail,
       "four characters"},
      {"tab item", head + R"({"kind": "tabview", "items": [{"label": 1}]})" + tail,
       "items[0]: \"label\" must be a string"},
      {"version", R"({"format": "jwui", "version": 2, "objects": []})", "\"version\""},
      {"format", R"({"version": 1, "objects": []})", "\"format\""},
      {"not an object", "[1, 2]", "must be an object"},
      {"too deep",
       [] {
         std::string text = R"({"format": "jwui", "version": 1, "objects": [)";
         for (int i = 0; i < 40; ++i) text += R"({"kind": "view", "subviews": [)";
         for (int i = 0; i < 40; ++i) text += "]}";
         return text + "]}";
       }(),
       "nested too deeply"},
  };
  for (const auto& c : cases) {
    TestOwner owner({"panelView", "check"});
    std::string error;
    EXPECT_FALSE(loadInterfaceText(c.text, &owner, nullptr, &error, "bad.jwui")) << c.name;
    EXPECT_EQ(owner.outletCalls, 0) << c.name;
    EXPECT_EQ(error.rfind("bad.jwui: ", 0), 0u) << c.name << ": " << error;
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.name << ": " << error;
  }
}

TEST(InterfaceFile, DeeplyNestedJsonIsRefusedWithoutCrashing) {
  std::string text(100000, '[');
  std::string error;
  EXPECT_FALSE(loadInterfaceText(text, nullptr, nullptr, &error));
  EXPECT_NE(error.find("line 1"), std::string::npos) << error;
  EXPECT_FALSE(loadInterfaceText(std::string("{\"format\": \"\xff\"}"), nullptr, nullptr, &error));
}

namespace {

// The outlet names the controller declares, read from its header.
std::vector<std::string> controllerOutlets() {
  std::ifstream in(kSource / "pde" / "JC.h");
  std::stringstream text;
  text << in.rdbuf();
  const std::string header = text.str();
  const std::size_t start = header.find("// Outlets:");
  const std::size_t end = header.find("requestData", start);
  const std::string section = header.substr(start, end - start);
  std::vector<std::string> names;
  const std::regex field(R"(platform::\w+\* (\w+) = nullptr;)");
  for (std::sregex_iterator it(section.begin(), section.end(), field), last; it != last; ++it) {
    std::string name = (*it)[1];
    names.push_back(name == "panelViewOutlet" ? "panelView" : name);
  }
  return names;
}

struct ShippedFile {
  const char* model;
  const char* name;
  bool popUp;  // the folder choice is a pop-up (else a matrix with a name field)
};

const ShippedFile kShipped[] = {
    {"vk7300", "Jobwick4", true},
    {"vk7300", "Jobwick5", false},
    {"vk410e", "Jobwick", true},
};

InterfaceFile loadShipped(const ShippedFile& f) {
  std::filesystem::path path = kSource / "resources" / f.model / (std::string(f.name) + ".jwui");
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  std::optional<InterfaceFile> file = parseInterfaceText(text.str(), shippedImage, &error);
  EXPECT_TRUE(file) << f.name << ": " << error;
  return file ? std::move(*file) : InterfaceFile{};
}

}  // namespace

TEST(ShippedInterfaceFiles, HoldTheControllersOutlets) {
  const std::vector<std::string> declared = controllerOutlets();
  ASSERT_GE(declared.size(), 50u);
  const std::set<std::string> matrixOnly = {"folderSelectionMatrix", "quickFileRadioButton",
                                            "mainFolderRadioButton", "customFolderRadioButton",
                                            "folderNameEditText",    "folderNameButton"};
  for (const auto& f : kShipped) {
    InterfaceFile file = loadShipped(f);
    std::set<std::string> present;
    for (const auto& [name, object] : file.outlets) present.insert(name);
    for (const std::string& name : declared) {
      bool expected = true;
      if (name == "userNumberMatrix") expected = false;  // no code addresses it
      if (name == "userNumberStaticText") expected = std::string(f.model) == "vk7300";
      if (matrixOnly.count(name)) expected = !f.popUp;
      if (name == "folderSelectionPopup") expected = f.popUp;
      EXPECT_EQ(present.count(name) == 1, expected) << f.name << ": " << name;
      present.erase(name);
    }
    EXPECT_TRUE(present.empty()) << f.name << ": undeclared outlet " << *present.begin();
  }
}

// Every input field sits in a row beside a label that names it, or names
// the control whose title does (the layout hints a drawn panel follows).
TEST(ShippedInterfaceFiles, EveryFieldSitsInARowWithItsName) {
  for (const auto& f : kShipped) {
    InterfaceFile file = loadShipped(f);
    for (const auto& [name, object] : file.outlets) {
      auto* field = dynamic_cast<TextField*>(object);
      if (!field || field->tag() == 0) continue;
      SCOPED_TRACE(std::string(f.name) + ": " + name);
      ASSERT_NE(field->superview(), nullptr);
      EXPECT_TRUE(field->superview()->arrangesInRow());
      bool labelled = false;
      for (const auto& sibling : field->superview()->subviews()) {
        auto* label = dynamic_cast<TextField*>(sibling.get());
        labelled |= label && label->tag() == 0 && !label->stringValue().empty();
      }
      if (!field->labelledBy().empty()) {
        auto* cell = dynamic_cast<ButtonCell*>(file.outlet(field->labelledBy()));
        auto* button = dynamic_cast<Button*>(file.outlet(field->labelledBy()));
        labelled = (cell && !cell->title().empty()) || (button && !button->title().empty());
      }
      EXPECT_TRUE(labelled);
    }
  }
}

TEST(ShippedInterfaceFiles, KindsTagsAndActionsFollowTheControllersContract) {
  const std::map<std::string, std::string> inputs = {
      {"suspendKeyEditText", "suspendKeyETextProc:"},
      {"folderPasswordEditText", "folderPasswordETextProc:"},
      {"folderNameEditText", ""},
      {"loginNameEditText", "loginNameETextProc:"},
      {"passwordEditText", "passwordETextProc:"},
      {"userNumberEditText", "userNumberETextProc:"},
      {"accountNumberEditText", "accountNumberETextProc:"},
      {"userNameEditText", "userNameETextProc:"},
      {"jobNameEditText", "jobNameETextProc:"},
  };
  const std::map<std::string, std::string> controls = {
      {"tabView", "tabProc:"},
      {"retentionCheckBox", "retentionCBoxProc:"},
      {"suspendMatrix", "suspendKeyMatrixProc:"},
      {"folderSelectionPopup", "folderSelectionPopUpButtonProc:"},
      {"folderSelectionMatrix", "folderSelectionMatrixProc:"},
      {"authenticationMatrix", "authenticationMatrixProc:"},
      {"getFolderNameButton", "getFolderNameButtonProc:"},
  };
  const std::map<std::string, int> matrixRows = {
      {"suspendMatrix", 3}, {"folderSelectionMatrix", 3}, {"authenticationMatrix", 2}};

  for (const auto& f : kShipped) {
    InterfaceFile file = loadShipped(f);
    std::set<std::int64_t> inputTags;
    for (const auto& [name, object] : file.outlets) {
      const std::string where = std::string(f.name) + ": " + name;
      if (name.size() > 10 && name.compare(name.size() - 10, 10, "StaticText") == 0) {
        auto* label = dynamic_cast<TextField*>(object);
        ASSERT_NE(label, nullptr) << where;
        EXPECT_EQ(label->tag(), 0) << where;
        EXPECT_FALSE(label->isEditable()) << where;
      } else if (auto it = inputs.find(name); it != inputs.end()) {
        auto* field = dynamic_cast<TextField*>(object);
        ASSERT_NE(field, nullptr) << where;
        EXPECT_TRUE(field->isEditable()) << where;
        EXPECT_NE(field->tag(), 0) << where;
        EXPECT_TRUE(inputTags.insert(field->tag()).second) << where << ": tag used twice";
        EXPECT_EQ(field->action(), it->second) << where;
        // The secrets, and only they, are secure fields (drawn masked).
        const bool secret = name == "suspendKeyEditText" || name == "folderPasswordEditText" ||
                            name == "passwordEditText" || name == "userNumberEditText";
        EXPECT_EQ(field->isSecure(), secret) << where;
      } else if (name.size() > 6 && name.compare(name.size() - 6, 6, "Button") == 0 &&
                 name != "getFolderNameButton" && name.find("RadioButton") == std::string::npos) {
        auto* lock = dynamic_cast<Button*>(object);
        ASSERT_NE(lock, nullptr) << where;
        EXPECT_EQ(lock->buttonType(), ButtonType::Toggle) << where;
        EXPECT_EQ(lock->action(), name + "Proc:") << where;
      } else if (auto c = controls.find(name); c != controls.end()) {
        auto* control = dynamic_cast<Control*>(object);
        ASSERT_NE(control, nullptr) << where;
        EXPECT_EQ(control->action(), c->second) << where;
      }
      if (auto rows = matrixRows.find(name); rows != matrixRows.end()) {
        auto* matrix = dynamic_cast<Matrix*>(object);
        ASSERT_NE(matrix, nullptr) << where;
        EXPECT_EQ(matrix->numberOfRows(), rows->second) << where;
      }
    }
    // Matrix cells in the order the panel addresses them.
    auto cellAt = [&](const char* matrix, int row) {
      auto* m = dynamic_cast<Matrix*>(file.outlet(matrix));
      return m ? static_cast<Object*>(m->cellAtRow(row)) : nullptr;
    };
    EXPECT_EQ(cellAt("suspendMatrix", 0), file.outlet("holdOnlyRadioButton")) << f.name;
    EXPECT_EQ(cellAt("suspendMatrix", 2), file.outlet("samplePrintRadioButton")) << f.name;
    EXPECT_EQ(cellAt("authenticationMatrix", 1), file.outlet("userNumberRadioButton")) << f.name;
    if (!f.popUp) {
      EXPECT_EQ(cellAt("folderSelectionMatrix", 2), file.outlet("customFolderRadioButton"));
    } else {
      auto* popUp = dynamic_cast<PopUpButton*>(file.outlet("folderSelectionPopup"));
      ASSERT_NE(popUp, nullptr) << f.name;
      ASSERT_EQ(popUp->numberOfItems(), 2) << f.name;
      EXPECT_EQ(popUp->menu()->itemAtIndex(0)->title(), "Quick File") << f.name;
      EXPECT_EQ(popUp->menu()->itemAtIndex(1)->title(), "Main Folder") << f.name;
    }
    auto* tabs = dynamic_cast<TabView*>(file.outlet("tabView"));
    ASSERT_NE(tabs, nullptr) << f.name;
    EXPECT_EQ(tabs->numberOfTabViewItems(), 3) << f.name;
    ASSERT_EQ(file.topLevelViews.size(), 1u) << f.name;
    EXPECT_EQ(file.topLevelViews[0].get(), file.outlet("panelView")) << f.name;
  }
}

TEST(ShippedInterfaceFiles, EveryShownTextHasAJapaneseTranslation) {
  // A bundle made of the shipped common resources.
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("jobwick-test-nib-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::copy(kSource / "resources" / "common", dir / "Resources",
                        std::filesystem::copy_options::recursive);
  std::ofstream(dir / "Info.plist") << R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>CFBundleName</key><string>T</string></dict></plist>)";
  std::shared_ptr<Bundle> bundle = Bundle::bundleWithPath(dir);
  ASSERT_TRUE(bundle);
  setPreferredLanguagesOverride({"ja"});

  auto check = [&](const std::string& text, const std::string& where) {
    std::string key = text.substr(0, text.find(':'));
    if (key.empty() || key == "OK") return;
    EXPECT_NE(bundle->localizedStringForKey(key), key) << where << ": \"" << key << "\"";
  };
  for (const auto& f : kShipped) {
    InterfaceFile file = loadShipped(f);
    std::function<void(const View&)> walk = [&](const View& view) {
      const std::string where = std::string(f.name) + " " + view.kind();
      if (auto* field = dynamic_cast<const TextField*>(&view); field && !field->isEditable()) {
        check(field->stringValue(), where);
      }
      if (auto* box = dynamic_cast<const Box*>(&view)) check(box->title(), where);
      if (auto* button = dynamic_cast<const Button*>(&view)) check(button->title(), where);
      if (auto* matrix = dynamic_cast<const Matrix*>(&view)) {
        for (const auto& cell : matrix->cells()) check(cell->title(), where);
      }
      if (auto* popUp = dynamic_cast<const PopUpButton*>(&view)) {
        for (const auto& item : popUp->menu()->items()) check(item->title(), where);
      }
      if (auto* tabs = dynamic_cast<const TabView*>(&view)) {
        for (const auto& item : tabs->items()) check(item->label(), where);
      }
      for (const auto& sub : view.subviews()) walk(*sub);
    };
    for (const auto& view : file.topLevelViews) walk(*view);
  }
  setPreferredLanguagesOverride({});
  std::filesystem::remove_all(dir);
}
