// SPDX-License-Identifier: Apache-2.0
// The controller's outlets and actions by name, so that an interface file
// can connect its controls to the controller and send it their actions.
#include <functional>

#include "pde/JC.h"

using jobwick::kModelProfile;

namespace {

struct OutletBinding {
  const char* name;
  std::function<bool(JC&, platform::Object*)> set;
  std::function<platform::Object*(const JC&)> get;
};

template <class T>
OutletBinding bind(const char* name, T* JC::*member) {
  return {name,
          [member](JC& jc, platform::Object* value) {
            if (!value) {
              jc.*member = nullptr;
              return true;
            }
            auto* typed = dynamic_cast<T*>(value);
            if (!typed) return false;
            jc.*member = typed;
            return true;
          },
          [member](const JC& jc) -> platform::Object* { return jc.*member; }};
}

const std::vector<OutletBinding>& outletTable() {
  static const std::vector<OutletBinding> table = [] {
    std::vector<OutletBinding> t = {
        bind("panelView", &JC::panelViewOutlet),
        bind("tabView", &JC::tabView),
        bind("retentionCheckBox", &JC::retentionCheckBox),
        bind("suspendBox", &JC::suspendBox),
        bind("suspendMatrix", &JC::suspendMatrix),
        bind("holdOnlyRadioButton", &JC::holdOnlyRadioButton),
        bind("holdAfterRadioButton", &JC::holdAfterRadioButton),
        bind("samplePrintRadioButton", &JC::samplePrintRadioButton),
        bind("suspendKeyStaticText", &JC::suspendKeyStaticText),
        bind("suspendKeyEditText", &JC::suspendKeyEditText),
        bind("suspendKeyButton", &JC::suspendKeyButton),
        bind("filingBox", &JC::filingBox),
        bind("folderSelectionStaticText", &JC::folderSelectionStaticText),
        bind("folderSelectionPopup", &JC::folderSelectionPopup),
        bind("folderPasswordStaticText", &JC::folderPasswordStaticText),
        bind("folderPasswordEditText", &JC::folderPasswordEditText),
        bind("folderPasswordButton", &JC::folderPasswordButton),
        bind("folderSelectionMatrix", &JC::folderSelectionMatrix),
        bind("quickFileRadioButton", &JC::quickFileRadioButton),
        bind("mainFolderRadioButton", &JC::mainFolderRadioButton),
        bind("customFolderRadioButton", &JC::customFolderRadioButton),
        bind("folderNameEditText", &JC::folderNameEditText),
        bind("folderNameButton", &JC::folderNameButton),
        bind("authenticationMatrix", &JC::authenticationMatrix),
        bind("authenticationRadioButton", &JC::authenticationRadioButton),
        bind("loginNameStaticText", &JC::loginNameStaticText),
        bind("loginNameEditText", &JC::loginNameEditText),
        bind("loginNameButton", &JC::loginNameButton),
        bind("passwordStaticText", &JC::passwordStaticText),
        bind("passwordEditText", &JC::passwordEditText),
        bind("passwordButton", &JC::passwordButton),
        bind("userNumberMatrix", &JC::userNumberMatrix),
        bind("userNumberRadioButton", &JC::userNumberRadioButton),
        bind("userNumberEditText", &JC::userNumberEditText),
        bind("userNumberButton", &JC::userNumberButton),
    };
    // Only the vk7300 interface files carry a caption for the user number.
    if (kModelProfile.hasUserNumberStaticText) {
      t.push_back(bind("userNumberStaticText", &JC::userNumberStaticText));
    }
    const std::vector<OutletBinding> rest = {
        bind("accountNumberStaticText", &JC::accountNumberStaticText),
        bind("accountNumberEditText", &JC::accountNumberEditText),
        bind("accountNumberButton", &JC::accountNumberButton),
        bind("jobIDBox", &JC::jobIDBox),
        bind("userNameStaticText", &JC::userNameStaticText),
        bind("userNameEditText", &JC::userNameEditText),
        bind("userNameButton", &JC::userNameButton),
        bind("jobNameStaticText", &JC::jobNameStaticText),
        bind("jobNameEditText", &JC::jobNameEditText),
        bind("jobNameButton", &JC::jobNameButton),
        bind("printersAddressStaticText", &JC::printersAddressStaticText),
        bind("printersAddressEditText", &JC::printersAddressEditText),
        bind("chasingArrow", &JC::chasingArrow),
        bind("getFolderNameButton", &JC::getFolderNameButton),
    };
    t.insert(t.end(), rest.begin(), rest.end());
    return t;
  }();
  return table;
}

using Action = void (JC::*)(platform::Object*);

const std::map<std::string, Action, std::less<>>& actionTable() {
  static const std::map<std::string, Action, std::less<>> table = {
      {"retentionCBoxProc:", &JC::retentionCBoxProc},
      {"suspendKeyMatrixProc:", &JC::suspendKeyMatrixProc},
      {"folderSelectionPopUpButtonProc:", &JC::folderSelectionPopUpButtonProc},
      {"folderSelectionMatrixProc:", &JC::folderSelectionMatrixProc},
      {"authenticationMatrixProc:", &JC::authenticationMatrixProc},
      {"loginNameButtonProc:", &JC::loginNameButtonProc},
      {"suspendKeyButtonProc:", &JC::suspendKeyButtonProc},
      {"folderPasswordButtonProc:", &JC::folderPasswordButtonProc},
      {"folderNameButtonProc:", &JC::folderNameButtonProc},
      {"passwordButtonProc:", &JC::passwordButtonProc},
      {"userNumberButtonProc:", &JC::userNumberButtonProc},
      {"userNameButtonProc:", &JC::userNameButtonProc},
      {"jobNameButtonProc:", &JC::jobNameButtonProc},
      {"accountNumberButtonProc:", &JC::accountNumberButtonProc},
      {"tabProc:", &JC::tabProc},
      {"suspendKeyETextProc:", &JC::suspendKeyETextProc},
      {"folderPasswordETextProc:", &JC::folderPasswordETextProc},
      {"loginNameETextProc:", &JC::loginNameETextProc},
      {"passwordETextProc:", &JC::passwordETextProc},
      {"userNumberETextProc:", &JC::userNumberETextProc},
      {"userNameETextProc:", &JC::userNameETextProc},
      {"jobNameETextProc:", &JC::jobNameETextProc},
      {"accountNumberETextProc:", &JC::accountNumberETextProc},
      {"printersAddressButtonProc:", &JC::printersAddressButtonProc},
      {"getFolderNameButtonProc:", &JC::getFolderNameButtonProc},
  };
  return table;
}

}  // namespace

bool JC::respondsToSelector(std::string_view selector) const {
  return actionTable().contains(selector) || selector == "recieveEndCallback";
}

bool JC::performAction(std::string_view selector, platform::Object* sender) {
  const auto& table = actionTable();
  auto it = table.find(selector);
  if (it == table.end()) return false;
  (this->*(it->second))(sender);
  return true;
}

bool JC::setOutletForKey(std::string_view key, platform::Object* value) {
  for (const auto& binding : outletTable()) {
    if (key == binding.name) return binding.set(*this, value);
  }
  return false;
}

platform::Object* JC::outletForKey(std::string_view key) const {
  for (const auto& binding : outletTable()) {
    if (key == binding.name) return binding.get(*this);
  }
  return nullptr;
}

const std::vector<std::string>& JC::outletNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const auto& binding : outletTable()) n.emplace_back(binding.name);
    return n;
  }();
  return names;
}
