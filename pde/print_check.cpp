// SPDX-License-Identifier: Apache-2.0
// The print-time check (shouldPrint) and the dialog's summary (summaryInfo).
#include <cstdio>

#include "pde/JC.h"
#include "platform/alert.h"
#include "platform/strings.h"
#include "platform/trace.h"

using jobwick::kModelProfile;
using platform::_PDEEpilog;
using platform::_PDEProlog;

namespace {

/// Replaces the one "%@" placeholder of a localised message by `argument`.
std::string formatWithObject(const std::string& format, const std::string& argument) {
  std::string out = format;
  if (auto at = out.find("%@"); at != std::string::npos) out.replace(at, 2, argument);
  return out;
}

}  // namespace

bool JC::shouldPrint() {
  _PDEProlog(this, "shouldPrint:");
  platform::PrintSettings* settings =
      pdePluginCallbackObject ? pdePluginCallbackObject->printSettings() : nullptr;

  if (!callRestoreValuesFunction) restoreValuesAndReturnError(nullptr);
  if (!callSaveValuesFunction) saveValuesAndReturnError(nullptr);

  if (kModelProfile.checksAuthenticationAtPrint && quivo_print_system) {
    std::optional<std::string> entry;
    bool check = true;
    if (authenticationRadioButton && authenticationRadioButton->state() != platform::NSOffState) {
      if (loginNameButton && loginNameButton->state() != platform::NSOffState) {
        entry = loginNameStringRef.value_or("");
      } else if (loginNameEditText) {
        entry = loginNameEditText->stringValue();
      } else {
        check = false;
      }
    } else if (userNumberEditText) {
      entry = userNumberEditText->stringValue();
    } else {
      check = false;
    }
    if (check && entry->empty()) {
      const std::string title = localizedStringValue(std::string("Information")).value_or("");
      const std::string message = formatWithObject(
          localizedStringValue(
              std::string("Please confirm the following setting items.\nLogin Name\nUser Number%@"))
              .value_or(""),
          "");
      const std::string button = localizedStringValue(std::string("OK")).value_or("OK");
      platform::NSRunInformationalAlertPanel(title, message, button);
      _PDEEpilog(this, "shouldPrint:=BOOL(NO)");
      return false;
    }
  }

  if (settings && hasInited) {
    SaveUserPreference();
    GetUserPreference();
  }
  _PDEEpilog(this, "shouldPrint:=BOOL(YES)");
  return true;
}

std::map<std::string, std::string> JC::summaryInfo() {
  _PDEProlog(this, "summaryInfo:");
  std::map<std::string, std::string> summary;
  const std::string_view trim = ":";
  auto localized = [&](const char* key) {
    return pdeBundle ? pdeBundle->localizedStringForKey(key) : std::string(key);
  };
  const bool hideForDirectory = kModelProfile.summaryHonoursActiveDirectory && active_directory;

  if (hasInited) {
    if (retentionCheckBox && !hideForDirectory) {
      if (retentionCheckBox->state() != platform::NSOffState) {
        summary[retentionCheckBox->title()] = localized("On");
        // An entry whose caption control is missing from the interface file
        // has no key to stand under, so it is left out.
        if (folderSelectionPopup && folderSelectionStaticText) {
          summary[platform::trimCharacters(folderSelectionStaticText->stringValue(), trim)] =
              folderSelectionPopup->titleOfSelectedItem();
        }
        if (suspendMatrix && suspendBox) {
          const platform::ButtonCell* cell = suspendMatrix->selectedCell();
          summary[suspendBox->title()] = cell ? cell->title() : std::string();
        }
      } else {
        summary[retentionCheckBox->title()] = localized("Off");
      }
    }
    if (userNameStaticText && userNameEditText && !hideForDirectory) {
      summary[platform::trimCharacters(userNameStaticText->stringValue(), trim)] =
          userNameEditText->stringValue();
    }
    if (jobNameStaticText && jobNameEditText) {
      summary[platform::trimCharacters(jobNameStaticText->stringValue(), trim)] =
          jobNameEditText->stringValue();
    }
  }
  _PDEEpilog(this, "summaryInfo:");
  return summary;
}
