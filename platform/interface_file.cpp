// SPDX-License-Identifier: Apache-2.0
// Interface-file loader: JSON text -> controls, then outlets and actions.
// Every check happens while building; nothing touches the owner until the
// whole file has been built, so a malformed file leaves the owner as it was.
#include "platform/interface_file.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

namespace platform {

namespace {

using Json = nlohmann::json;

constexpr int kFormatVersion = 1;
// Deeper nesting than any panel needs is taken as a damaged file (and keeps
// the recursive builder far from the stack's end).
constexpr int kMaxDepth = 32;

// A malformed file: where and why.
struct LoadError {
  std::string path;
  std::string message;
};

[[noreturn]] void fail(const std::string& path, std::string message) {
  throw LoadError{path, std::move(message)};
}

const char* typeName(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::boolean:
      return "a boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      return "an integer";
    case Json::value_t::number_float:
      return "a number";
    default:
      return "an unknown value";
  }
}

std::string inQuotes(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

class Builder {
 public:
  explicit Builder(const InterfaceImageResolver& images) : images_(images) {}

  InterfaceFile build(const Json& root) {
    const std::string path = "top level";
    requireObject(root, path);
    checkKeys(root, path, {"format", "version", "objects"});
    if (string(root, path, "format", "") != "jwui") {
      fail(path, "\"format\" must be \"jwui\"");
    }
    const std::int64_t version = integer(root, path, "version", -1);
    if (version != kFormatVersion) {
      fail(path, "\"version\" must be " + std::to_string(kFormatVersion));
    }
    const Json* objects = member(root, "objects");
    if (!objects) fail(path, "missing \"objects\"");
    if (!objects->is_array())
      fail("objects", std::string("must be an array, not ") + typeName(*objects));
    for (std::size_t i = 0; i < objects->size(); ++i) {
      file_.topLevelViews.push_back(view((*objects)[i], "objects[" + std::to_string(i) + "]", 1));
    }
    return std::move(file_);
  }

 private:
  // ---- Generic checks ----

  static void requireObject(const Json& node, const std::string& path) {
    if (!node.is_object()) fail(path, std::string("must be an object, not ") + typeName(node));
  }

  static void checkKeys(const Json& node, const std::string& path,
                        std::initializer_list<const char*> allowed) {
    for (auto it = node.begin(); it != node.end(); ++it) {
      const bool known = std::any_of(allowed.begin(), allowed.end(),
                                     [&](const char* key) { return it.key() == key; });
      if (!known) fail(path, "unknown key " + inQuotes(it.key()));
    }
  }

  static const Json* member(const Json& node, const char* key) {
    // As a string_view the key's length is taken once, not in every
    // comparison of the search.
    auto it = node.find(std::string_view(key));
    return it == node.end() ? nullptr : &*it;
  }

  static std::string string(const Json& node, const std::string& path, const char* key,
                            std::string fallback) {
    const Json* value = member(node, key);
    if (!value) return fallback;
    if (!value->is_string()) {
      fail(path, inQuotes(key) + " must be a string, not " + typeName(*value));
    }
    return value->get<std::string>();
  }

  static bool boolean(const Json& node, const std::string& path, const char* key, bool fallback) {
    const Json* value = member(node, key);
    if (!value) return fallback;
    if (!value->is_boolean()) {
      fail(path, inQuotes(key) + " must be true or false, not " + typeName(*value));
    }
    return value->get<bool>();
  }

  static std::int64_t integer(const Json& node, const std::string& path, const char* key,
                              std::int64_t fallback) {
    const Json* value = member(node, key);
    if (!value) return fallback;
    if (value->is_number_unsigned()) {
      if (value->get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
        fail(path, inQuotes(key) + " is out of range");
      }
      return std::int64_t(value->get<std::uint64_t>());
    }
    if (!value->is_number_integer()) {
      fail(path, inQuotes(key) + " must be an integer, not " + typeName(*value));
    }
    return value->get<std::int64_t>();
  }

  static const Json& array(const Json& node, const std::string& path, const char* key) {
    static const Json empty = Json::array();
    const Json* value = member(node, key);
    if (!value) return empty;
    if (!value->is_array())
      fail(path, inQuotes(key) + " must be an array, not " + typeName(*value));
    return *value;
  }

  // ---- Names ----

  void outlet(const Json& node, const std::string& path, Object* object) {
    const Json* value = member(node, "outlet");
    if (!value) return;
    const std::string name = string(node, path, "outlet", "");
    if (name.empty()) fail(path, "\"outlet\" must not be empty");
    if (!outletNames_.insert(name).second)
      fail(path, "outlet " + inQuotes(name) + " is used twice");
    file_.outlets.emplace_back(name, object);
  }

  void action(const Json& node, const std::string& path, Control& control) {
    const Json* value = member(node, "action");
    if (!value) return;
    const std::string selector = string(node, path, "action", "");
    if (selector.size() < 2 || selector.back() != ':' ||
        std::count(selector.begin(), selector.end(), ':') != 1) {
      fail(path, "\"action\" must name a one-argument action such as \"tabProc:\", not " +
                     inQuotes(selector));
    }
    control.setAction(selector);
    file_.actionControls.push_back(&control);
  }

  std::shared_ptr<Image> image(const Json& node, const std::string& path, const char* key) {
    const Json* value = member(node, key);
    if (!value) return nullptr;
    const std::string name = string(node, path, key, "");
    std::shared_ptr<Image> result;
    constexpr std::string_view kIconPrefix = "icon:";
    if (name.rfind(kIconPrefix, 0) == 0) {
      const std::string code = name.substr(kIconPrefix.size());
      if (code.size() != 4) fail(path, inQuotes(key) + ": an icon code has four characters");
      const std::uint32_t typeCode = (std::uint32_t(std::uint8_t(code[0])) << 24) |
                                     (std::uint32_t(std::uint8_t(code[1])) << 16) |
                                     (std::uint32_t(std::uint8_t(code[2])) << 8) |
                                     std::uint32_t(std::uint8_t(code[3]));
      result = Image::iconForFileType(typeCode);
    } else if (!name.empty() && images_) {
      result = images_(name);
    }
    if (!result) fail(path, inQuotes(key) + ": no image " + inQuotes(name));
    return result;
  }

  // ---- Views ----

  // Checks the keys of a view: those every view takes, "action" and
  // "enabled" for controls, and the kind's own.
  static void checkViewKeys(const Json& node, const std::string& path, bool control,
                            std::initializer_list<const char*> extra) {
    static constexpr const char* kEveryView[] = {"kind", "identifier", "outlet", "tag", "hidden"};
    static constexpr const char* kControl[] = {"action", "enabled"};
    const auto among = [](const std::string& key, const auto& keys) {
      return std::any_of(std::begin(keys), std::end(keys),
                         [&key](const char* allowed) { return key == allowed; });
    };
    for (auto it = node.begin(); it != node.end(); ++it) {
      const bool known = among(it.key(), kEveryView) || (control && among(it.key(), kControl)) ||
                         among(it.key(), extra);
      if (known) continue;
      if (!control && (it.key() == "action" || it.key() == "enabled")) {
        fail(path,
             "a " + node.value("kind", std::string("view")) + " takes no " + inQuotes(it.key()));
      }
      fail(path, "unknown key " + inQuotes(it.key()));
    }
  }

  std::shared_ptr<View> view(const Json& node, const std::string& path, int depth) {
    if (depth > kMaxDepth) fail(path, "views are nested too deeply");
    requireObject(node, path);
    const Json* kindValue = member(node, "kind");
    if (!kindValue) fail(path, "missing \"kind\"");
    if (!kindValue->is_string())
      fail(path, std::string("\"kind\" must be a string, not ") + typeName(*kindValue));
    const std::string kind = kindValue->get<std::string>();

    std::shared_ptr<View> result;
    if (kind == "view") {
      checkViewKeys(node, path, false, {"subviews", "arrange"});
      result = std::make_shared<View>();
      const std::string arrange = string(node, path, "arrange", "column");
      if (arrange != "column" && arrange != "row")
        fail(path, "\"arrange\" must be \"column\" or \"row\", not " + inQuotes(arrange));
      result->setArrangesInRow(arrange == "row");
      subviews(node, path, *result, depth);
    } else if (kind == "box") {
      checkViewKeys(node, path, false, {"title", "subviews"});
      auto box = std::make_shared<Box>();
      box->setTitle(string(node, path, "title", ""));
      subviews(node, path, *box, depth);
      result = box;
    } else if (kind == "tabview") {
      checkViewKeys(node, path, true, {"items", "selected"});
      result = tabView(node, path, depth);
    } else if (kind == "button") {
      checkViewKeys(node, path, true, {"type", "title", "state", "image", "alternateImage"});
      result = button(node, path);
    } else if (kind == "matrix") {
      checkViewKeys(node, path, true, {"cells", "selected"});
      result = matrix(node, path);
    } else if (kind == "textfield" || kind == "label") {
      checkViewKeys(node, path, true, {"string", "editable", "selectable", "secure", "labelledBy"});
      const bool input = kind == "textfield";
      auto field = std::make_shared<TextField>();
      field->setStringValue(string(node, path, "string", ""));
      field->setEditable(boolean(node, path, "editable", input));
      field->setSelectable(boolean(node, path, "selectable", input));
      field->setSecure(boolean(node, path, "secure", false));
      field->setLabelledBy(string(node, path, "labelledBy", ""));
      result = field;
    } else if (kind == "popup") {
      checkViewKeys(node, path, true, {"items", "selected"});
      result = popUp(node, path);
    } else if (kind == "progress") {
      checkViewKeys(node, path, false, {});
      result = std::make_shared<ProgressIndicator>();
    } else {
      fail(path, "unknown kind " + inQuotes(kind));
    }

    // A view without an identifier of its own is found by its outlet name.
    result->setIdentifier(string(node, path, "identifier", string(node, path, "outlet", "")));
    result->setTag(integer(node, path, "tag", 0));
    result->setHidden(boolean(node, path, "hidden", false));
    if (auto* control = dynamic_cast<Control*>(result.get())) {
      control->setEnabled(boolean(node, path, "enabled", true));
      action(node, path, *control);
    }
    outlet(node, path, result.get());
    return result;
  }

  void subviews(const Json& node, const std::string& path, View& parent, int depth) {
    const Json& list = array(node, path, "subviews");
    for (std::size_t i = 0; i < list.size(); ++i) {
      parent.addSubview(view(list[i], path + ".subviews[" + std::to_string(i) + "]", depth + 1));
    }
  }

  std::shared_ptr<View> tabView(const Json& node, const std::string& path, int depth) {
    auto tabs = std::make_shared<TabView>();
    const Json& items = array(node, path, "items");
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::string itemPath = path + ".items[" + std::to_string(i) + "]";
      const Json& itemNode = items[i];
      requireObject(itemNode, itemPath);
      checkKeys(itemNode, itemPath, {"label", "identifier", "view"});
      auto item = std::make_shared<TabViewItem>();
      item->setLabel(string(itemNode, itemPath, "label", ""));
      item->setIdentifier(string(itemNode, itemPath, "identifier", ""));
      const Json* content = member(itemNode, "view");
      item->setView(content ? view(*content, itemPath + ".view", depth + 1)
                            : std::make_shared<View>());
      tabs->addTabViewItem(std::move(item));
    }
    const std::int64_t selected = integer(node, path, "selected", 0);
    if (!items.empty()) {
      if (selected < 0 || selected >= tabs->numberOfTabViewItems()) {
        fail(path, "\"selected\" is not the index of an item");
      }
      tabs->selectTabViewItemAtIndex(selected);
    }
    return tabs;
  }

  static ButtonType buttonType(const std::string& path, const std::string& name) {
    if (name == "push") return ButtonType::Push;
    if (name == "checkbox") return ButtonType::CheckBox;
    if (name == "radio") return ButtonType::Radio;
    if (name == "toggle") return ButtonType::Toggle;
    fail(path, "\"type\" must be push, checkbox, radio or toggle, not " + inQuotes(name));
  }

  static int state(const Json& node, const std::string& path) {
    const std::int64_t value = integer(node, path, "state", NSOffState);
    if (value != NSOffState && value != NSOnState) fail(path, "\"state\" must be 0 or 1");
    return int(value);
  }

  std::shared_ptr<View> button(const Json& node, const std::string& path) {
    auto button = std::make_shared<Button>();
    button->setButtonType(buttonType(path, string(node, path, "type", "push")));
    button->setTitle(string(node, path, "title", ""));
    button->setState(state(node, path));
    button->setImage(image(node, path, "image"));
    button->setAlternateImage(image(node, path, "alternateImage"));
    return button;
  }

  std::shared_ptr<View> matrix(const Json& node, const std::string& path) {
    auto matrix = std::make_shared<Matrix>();
    const Json& cells = array(node, path, "cells");
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const std::string cellPath = path + ".cells[" + std::to_string(i) + "]";
      const Json& cellNode = cells[i];
      requireObject(cellNode, cellPath);
      checkKeys(cellNode, cellPath, {"title", "identifier", "outlet", "tag", "enabled"});
      auto cell = std::make_shared<ButtonCell>();
      cell->setButtonType(ButtonType::Radio);
      cell->setTitle(string(cellNode, cellPath, "title", ""));
      cell->setIdentifier(
          string(cellNode, cellPath, "identifier", string(cellNode, cellPath, "outlet", "")));
      cell->setTag(integer(cellNode, cellPath, "tag", 0));
      cell->setEnabled(boolean(cellNode, cellPath, "enabled", true));
      outlet(cellNode, cellPath, cell.get());
      matrix->addRow(std::move(cell));
    }
    // A radio matrix has one cell on; -1 leaves them all off.
    const std::int64_t selected = integer(node, path, "selected", cells.empty() ? -1 : 0);
    if (selected < -1 || selected >= matrix->numberOfRows()) {
      fail(path, "\"selected\" is not the index of a cell");
    }
    matrix->selectCellAtRow(selected);
    return matrix;
  }

  std::shared_ptr<View> popUp(const Json& node, const std::string& path) {
    auto popUp = std::make_shared<PopUpButton>();
    const Json& items = array(node, path, "items");
    std::int64_t firstChoosable = -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::string itemPath = path + ".items[" + std::to_string(i) + "]";
      const Json& itemNode = items[i];
      requireObject(itemNode, itemPath);
      if (boolean(itemNode, itemPath, "separator", false)) {
        checkKeys(itemNode, itemPath, {"separator"});
        popUp->menu()->addItem(MenuItem::separatorItem());
        continue;
      }
      checkKeys(itemNode, itemPath, {"title", "image", "enabled", "separator"});
      auto item = std::make_shared<MenuItem>(string(itemNode, itemPath, "title", ""), "", "");
      item->setEnabled(boolean(itemNode, itemPath, "enabled", true));
      item->setImage(image(itemNode, itemPath, "image"));
      popUp->menu()->addItem(std::move(item));
      if (firstChoosable < 0) firstChoosable = std::int64_t(i);
    }
    const std::int64_t selected = integer(node, path, "selected", firstChoosable);
    if (selected != -1) {
      const MenuItem* item = popUp->menu()->itemAtIndex(selected);
      if (!item || item->isSeparatorItem()) {
        fail(path, "\"selected\" is not the index of an item");
      }
    }
    popUp->selectItemAtIndex(selected);
    return popUp;
  }

  const InterfaceImageResolver& images_;
  InterfaceFile file_;
  std::set<std::string> outletNames_;
};

// The parsed documents of the texts loaded last. A panel loads the same
// interface file each time it is made, and parsing the JSON was most of
// the cost of making one; a text is only taken from here when it is
// byte for byte the one parsed, so a changed file is parsed again.
class ParsedTexts {
 public:
  /// The document of `text`; throws Json::parse_error for malformed text
  /// (which is never kept).
  std::shared_ptr<const Json> parse(std::string_view text) {
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if (it->first != text) continue;
        std::shared_ptr<const Json> document = it->second;
        std::rotate(kept_.begin(), it, it + 1);  // most recently used first
        return document;
      }
    }
    auto document = std::make_shared<const Json>(Json::parse(text.begin(), text.end()));
    const std::lock_guard<std::mutex> hold(mutex_);
    if (kept_.size() >= kKept) kept_.pop_back();
    kept_.emplace(kept_.begin(), std::string(text), document);
    return document;
  }

 private:
  // A few files: the interface files of one bundle, not whatever a
  // fuzzer or a test hands in.
  static constexpr std::size_t kKept = 4;
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::shared_ptr<const Json>>> kept_;
};

ParsedTexts& parsedTexts() {
  static ParsedTexts texts;
  return texts;
}

// "line L, column C: what" for a JSON syntax error at byte `byte` (the
// 1-based index of the last character read).
std::string syntaxErrorMessage(std::string_view text, std::size_t byte, const char* what) {
  const std::size_t end = std::min(byte == 0 ? 0 : byte - 1, text.size());
  std::size_t line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  const std::size_t column = end - lineStart + 1;
  // The library's text reads "[json.exception...] parse error at line L,
  // column C: <reason>"; keep only the reason.
  std::string reason = what;
  if (auto pos = reason.find("column "); pos != std::string::npos) {
    if (auto colon = reason.find(": ", pos); colon != std::string::npos) {
      reason = reason.substr(colon + 2);
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + reason;
}

}  // namespace

Object* InterfaceFile::outlet(std::string_view name) const {
  for (const auto& [key, object] : outlets) {
    if (key == name) return object;
  }
  return nullptr;
}

std::optional<InterfaceFile> parseInterfaceText(std::string_view text,
                                                const InterfaceImageResolver& images,
                                                std::string* error, std::string_view sourceName) {
  const std::string prefix = std::string(sourceName) + ": ";
  try {
    std::shared_ptr<const Json> root;
    try {
      root = parsedTexts().parse(text);
    } catch (const Json::parse_error& e) {
      if (error) *error = prefix + syntaxErrorMessage(text, e.byte, e.what());
      return std::nullopt;
    }
    Builder builder(images);
    return builder.build(*root);
  } catch (const LoadError& e) {
    if (error) *error = prefix + e.path + ": " + e.message;
  } catch (const std::exception& e) {
    if (error) *error = prefix + e.what();
  } catch (...) {
    if (error) *error = prefix + "cannot be loaded";
  }
  return std::nullopt;
}

bool connectInterface(const InterfaceFile& file, Object* owner, std::string* warnings) {
  if (warnings) warnings->clear();
  if (!owner) return false;
  for (const auto& view : file.topLevelViews) owner->adoptTopLevelObject(view);
  std::string refused;
  for (const auto& [key, object] : file.outlets) {
    if (owner->setOutletForKey(key, object)) continue;
    refused += refused.empty() ? "the owner has no outlet " : ", ";
    refused += inQuotes(key);
  }
  for (Control* control : file.actionControls) control->setTarget(owner);
  if (warnings) *warnings = refused;
  return refused.empty();
}

bool loadInterfaceText(std::string_view text, Object* owner, const InterfaceImageResolver& images,
                       std::string* error, std::string_view sourceName) {
  std::optional<InterfaceFile> file = parseInterfaceText(text, images, error, sourceName);
  if (!file) return false;
  if (error) error->clear();
  if (!owner) return true;
  std::string warnings;
  if (!connectInterface(*file, owner, &warnings) && error) {
    *error = std::string(sourceName) + ": " + warnings;
  }
  return true;
}

bool loadInterfaceFile(const std::filesystem::path& path, Object* owner,
                       const InterfaceImageResolver& images, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = path.string() + ": cannot be read";
    return false;
  }
  std::ostringstream contents;
  contents << in.rdbuf();
  if (in.bad()) {
    if (error) *error = path.string() + ": cannot be read";
    return false;
  }
  return loadInterfaceText(contents.str(), owner, images, error, path.filename().string());
}

}  // namespace platform
