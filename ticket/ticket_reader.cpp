// SPDX-License-Identifier: Apache-2.0
// The job-ticket reader: fills the panel from the job ticket in the job's
// print settings when the dialog restores its values.
//
// For each group of controls it decides the value to show and whether the
// field's lock button is on, then runs the control's action so that the
// enablement rules and the masking of a locked login name follow. The user's
// remembered entries (loaded from the preference record) win over the ticket
// once: the bit of each remembered field is cleared from the remembered mask
// as it is applied, so a later restore of the same panel shows the ticket.
// Missing entries select the defaults: empty fields, the main folder, the
// login-name method, no retention, the OS user's name and the job's name.
//
// Model differences come from the model profile and the model queries: the
// strict build skips each step whose controls the interface file lacks and
// hides numeric codes longer than the printer takes; the active-directory
// cases apply only to the build that reads the PPD model flags.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pde/JC.h"
#include "pde/panel_state.h"
#include "platform/controls.h"
#include "platform/print_settings.h"
#include "platform/system.h"
#include "platform/trace.h"
#include "ticket/keys.h"
#include "ticket/ticket_decoding.h"

using jobwick::kModelProfile;

namespace {

namespace keys = jobwick::ticket::keys;
namespace tk = jobwick::ticket;

// Retention rows: 0 hold only, 1 hold after print, 2 sample print. The
// folder choices are the panel's (pde/panel_state.h).
using jobwick::panel::kCustomFolderRow;
using jobwick::panel::kMainFolderItem;
using jobwick::panel::kMainFolderRow;
using jobwick::panel::kQuickFileItem;
using jobwick::panel::kQuickFileRow;
constexpr std::int64_t kLoginRow = 0;
constexpr std::int64_t kUserNumberRow = 1;

/// Cipher bytes of the secrets stored as hex text.
constexpr std::size_t kCodeCipherBytes = 16;
constexpr std::size_t kPasswordCipherBytes = 32;

using Action = void (JC::*)(platform::Object*);

/// 1 + the retention row a `jobSuspend` digit stands for; 0 for none.
int retentionOf(char mode) {
  switch (mode) {
    case '1':  // hold after print
      return 2;
    case '2':  // hold only
      return 1;
    case '3':  // sample print
      return 3;
    default:
      return 0;
  }
}

void setLock(platform::Button* button, bool lock) {
  if (button) button->setState(lock ? platform::NSOnState : platform::NSOffState);
}

void setText(platform::TextField* field, const std::string& text) {
  if (field) field->setStringValue(text);
}

/// The value a locked or ticket field shows, and whether its lock is on.
struct Decision {
  bool lock = false;
  /// The stored form to decode; none when the field is to be left empty.
  std::optional<std::string> stored;
};

/// One restore of the panel from `settings`.
class TicketReader {
 public:
  TicketReader(JC& jc, const platform::PrintSettings* settings)
      : jc_(jc),
        settings_(settings),
        strict_(kModelProfile.strictAboutMissingControls),
        directory_(kModelProfile.readsPPDModelFlags && jc.active_directory),
        encoding_(jc.systemEncoding),
        codeMax_(jc.getPasswordMax() > 0 ? static_cast<std::size_t>(jc.getPasswordMax()) : 0) {}

  void read() {
    readHoldButtons();
    if (runs(jc_.retentionCheckBox)) readRetention();
    if (runs(jc_.suspendKeyEditText)) {
      readSecret(tk::kHoldPassCode, jc_.prefSuspendKeyStringRef, keys::kJobSuspend2Key,
                 kCodeCipherBytes, codeMax_, jc_.suspendKeyEditText, jc_.suspendKeyButton,
                 &JC::suspendKeyButtonProc);
    }
    if (runs(jc_.folderSelectionPopup, jc_.folderSelectionMatrix)) readFiling();
    if (runs(jc_.authenticationMatrix)) readAuthentication();
    if (runs(jc_.loginNameEditText)) readLoginName();
    if (runs(jc_.passwordEditText)) {
      readSecret(tk::kHoldPassword, jc_.prefPasswordStringRef, keys::kPassword2,
                 kPasswordCipherBytes, 0, jc_.passwordEditText, jc_.passwordButton,
                 &JC::passwordButtonProc);
    }
    if (runs(jc_.userNumberEditText)) {
      readSecret(tk::kHoldUserNumber, jc_.prefUserNumberStringRef, keys::kUserNumber2,
                 kCodeCipherBytes, 0, jc_.userNumberEditText, jc_.userNumberButton,
                 &JC::userNumberButtonProc);
    }
    if (runs(jc_.accountNumberEditText)) {
      readSecret(tk::kHoldAccountNumber, jc_.prefAccountNumberStringRef, keys::kAccountNumber2,
                 kCodeCipherBytes, codeMax_, jc_.accountNumberEditText, jc_.accountNumberButton,
                 &JC::accountNumberButtonProc);
    }
    jc_.authenticationMatrixProc(jc_.authenticationMatrix);
    if (runs(jc_.userNameEditText)) readUserName();
    if (runs(jc_.jobNameEditText)) readJobName();
    if (runs(jc_.folderPasswordEditText)) {
      readSecret(tk::kHoldFolderPassword, jc_.prefFolderPassStringRef, keys::kFolderPassword2,
                 kCodeCipherBytes, codeMax_, jc_.folderPasswordEditText, jc_.folderPasswordButton,
                 &JC::folderPasswordButtonProc);
    }
    jc_.retentionCBoxProc(jc_.retentionCheckBox);
    jc_.folderSelectionPopUpButtonProc(jc_.folderSelectionPopup);
  }

 private:
  /// Whether a step whose controls are these runs: always, unless the build
  /// is strict about controls missing from the interface file and none of
  /// them exists.
  template <class... Controls>
  bool runs(const Controls*... controls) const {
    return !strict_ || ((controls != nullptr) || ...);
  }

  std::optional<std::string> value(const char* key,
                                   std::size_t maxCharacters = tk::kValueMaxCharacters) const {
    return tk::asciiTicketValue(settings_, key, maxCharacters);
  }

  /// The first character of a single-character entry; none when absent.
  std::optional<char> firstCharacter(const char* key) const {
    const auto text = value(key);
    if (!text) return std::nullopt;
    return text->empty() ? '\0' : text->front();
  }

  /// Takes a bit of the remembered mask: answers whether it was set and
  /// clears it, so that the remembered value is applied once.
  bool takeRememberedBit(std::uint32_t bit) { return jc_.takeRememberedHoldBit(bit); }

  bool presetBit(std::uint32_t bit) const { return (jc_.presetHoldButtonFlag & bit) != 0; }

  // ---- Steps ----

  void readHoldButtons() {
    if (const auto mask = platform::PMPrintSettingsGetValue(settings_, keys::kHoldButton)) {
      jc_.presetHoldButtonFlag = tk::holdButtonMaskOf(*mask);
    }
  }

  /// Retention check box and mode. The active-directory printer always
  /// holds the job (hold only).
  void readRetention() {
    int row = 0;  // 1 + retention row; 0 for no retention
    if (const auto mode = firstCharacter(keys::kJobSuspend)) row = retentionOf(*mode);
    if (directory_) row = 1;
    if (jc_.retentionCheckBox) {
      jc_.retentionCheckBox->setState(row != 0 ? platform::NSOnState : platform::NSOffState);
    }
    jc_.retentionCBoxProc(jc_.retentionCheckBox);
    if (jc_.suspendMatrix) jc_.suspendMatrix->selectCellAtRow(row != 0 ? row - 1 : 0);
  }

  /// The lock decision of a field: a remembered value whose bit is set wins
  /// and locks the field; otherwise the ticket entry is shown, locked when
  /// the ticket's mask says so.
  Decision decide(std::uint32_t bit, const std::optional<std::string>& remembered, const char* key,
                  std::size_t maxCharacters = tk::kValueMaxCharacters) {
    Decision decision;
    if (takeRememberedBit(bit)) {
      decision.lock = true;
      if (remembered) {
        decision.stored = tk::asciiText(*remembered, maxCharacters);
        return decision;
      }
    }
    decision.stored = value(key, maxCharacters);
    if (decision.stored && presetBit(bit)) decision.lock = true;
    return decision;
  }

  /// A secret stored as hex text of its fixed-key cipher: pass code,
  /// password, user number, account number, folder password.
  void readSecret(std::uint32_t bit, const std::optional<std::string>& remembered, const char* key,
                  std::size_t cipherBytes, std::size_t maxPlainBytes, platform::TextField* field,
                  platform::Button* button, Action action) {
    const Decision decision = decide(bit, remembered, key);
    const std::string text = decision.stored ? tk::textOfHexSecret(*decision.stored, cipherBytes,
                                                                   encoding_, maxPlainBytes)
                                             : std::string();
    setText(field, text);
    setLock(button, decision.lock);
    (jc_.*action)(button);
  }

  /// Filing destination: quick file, a custom folder named by the ticket, or
  /// the main folder; a remembered custom folder name wins.
  void readFiling() {
    bool lock = presetBit(tk::kHoldFolderName);
    bool decided = false;
    if (const auto filing = firstCharacter(keys::kFiling)) {
      if (*filing == '3') {
        if (const auto path = value(keys::kFolderPath, tk::kFolderPathMaxCharacters)) {
          const std::string name = tk::textOfHexName(*path, encoding_);
          jc_.folderNameStringRef = name;
          if (jc_.folderSelectionPopup) {
            jc_.folderSelectionPopup->selectItemAtIndex(jc_.SearchSameFolderName(name));
          }
          if (jc_.folderSelectionMatrix)
            jc_.folderSelectionMatrix->selectCellAtRow(kCustomFolderRow);
          setText(jc_.folderNameEditText, name);
          decided = true;
        }
      } else if (*filing == '1') {
        if (jc_.folderSelectionPopup) jc_.folderSelectionPopup->selectItemAtIndex(kQuickFileItem);
        if (jc_.folderSelectionMatrix) jc_.folderSelectionMatrix->selectCellAtRow(kQuickFileRow);
        decided = true;
      }
    }
    if (jc_.folderSelectionMatrix && takeRememberedBit(tk::kHoldFolderName)) {
      if (jc_.prefFolderNameStringRef) {
        setText(jc_.folderNameEditText, *jc_.prefFolderNameStringRef);
        decided = true;
        lock = true;
      }
    }
    if (!decided) {
      if (jc_.folderSelectionPopup) jc_.folderSelectionPopup->selectItemAtIndex(kMainFolderItem);
      if (jc_.folderSelectionMatrix) jc_.folderSelectionMatrix->selectCellAtRow(kMainFolderRow);
    }
    setLock(jc_.folderNameButton, lock);
    jc_.folderNameButtonProc(jc_.folderNameButton);
  }

  /// Authentication method: a remembered choice wins while any of the
  /// authentication entries is remembered; the remembered bits stay for the
  /// steps that apply those entries.
  void readAuthentication() {
    char method = '1';
    constexpr std::uint32_t kAuthenticationBits =
        tk::kHoldLoginName | tk::kHoldPassword | tk::kHoldUserNumber;
    if ((jc_.prefHoldButtonFlag & kAuthenticationBits) != 0 && jc_.prefAuthenticationBooleanRef) {
      method = *jc_.prefAuthenticationBooleanRef ? '1' : '0';
    } else if (const auto ticket = firstCharacter(keys::kAuthentication)) {
      method = *ticket;
    }
    if (jc_.authenticationMatrix) {
      jc_.authenticationMatrix->selectCellAtRow(method == '1' ? kLoginRow : kUserNumberRow);
    }
  }

  /// Login name: unmask the field, decide the name and lock, and mask it
  /// again through the lock button's action when it is locked.
  void readLoginName() {
    setLock(jc_.loginNameButton, false);
    jc_.loginNameButtonProc(jc_.loginNameButton);

    bool lock = false;
    std::optional<std::string> stored;  // Base64 of the cipher; none: the OS user
    bool fromTicket = true;
    if (takeRememberedBit(tk::kHoldLoginName)) {
      lock = true;
      if (jc_.prefLoginNameStringRef) {
        stored = tk::asciiText(*jc_.prefLoginNameStringRef, tk::kLoginNameMaxCharacters);
        fromTicket = false;
      }
    }
    if (fromTicket) {
      std::string first =
          value(tk::pieceKey(keys::kLoginName1, 1).c_str(), tk::kLoginNameMaxCharacters)
              .value_or(std::string());
      const std::string second =
          value(tk::pieceKey(keys::kLoginName1, 2).c_str(), tk::kLoginNameMaxCharacters)
              .value_or(std::string());
      if (!first.empty() && !second.empty()) {
        first += second;
        if (first.size() > tk::kLoginNameMaxCharacters) first.resize(tk::kLoginNameMaxCharacters);
      }
      // The active-directory printer knows the user by the OS login: with
      // no login name in the ticket, the field shows the OS user's short
      // name. A name stored in one piece is restored like a longer one.
      if (directory_ && first.empty()) {
        stored.reset();
      } else {
        stored = std::move(first);
      }
      if (presetBit(tk::kHoldLoginName)) lock = true;
    }

    const std::string name =
        stored ? tk::textOfBase64Secret(*stored, encoding_) : platform::NSUserName();
    setText(jc_.loginNameEditText, name);

    jc_.forgetLockedLoginName();
    if (lock) {
      setLock(jc_.loginNameButton, true);
      jc_.loginNameButtonProc(jc_.loginNameButton);
    } else if (jc_.loginNameButton && jc_.loginNameButton->state() != platform::NSOffState) {
      setLock(jc_.loginNameButton, false);
      jc_.loginNameButtonProc(jc_.loginNameButton);
    }
  }

  /// A name the ticket stores as hex text of its bytes (user name, job name):
  /// a remembered name wins; else the ticket's name; else `fallback`.
  void readName(std::uint32_t bit, const std::optional<std::string>& remembered, const char* key,
                const std::optional<std::string>& fallback, platform::TextField* field,
                platform::Button* button, Action action) {
    bool lock = false;
    bool done = false;
    if (takeRememberedBit(bit)) {
      lock = true;
      if (remembered) {
        setText(field, *remembered);
        done = true;
      }
    }
    if (!done) {
      if (const auto hex = value(key)) {
        // A name whose bytes read as no text at all counts as no name.
        const std::string name = tk::textOfHexName(*hex, encoding_);
        if (!name.empty()) {
          setText(field, name);
          if (presetBit(bit)) lock = true;
          done = true;
        }
      }
    }
    if (!done && fallback) setText(field, *fallback);
    setLock(button, lock);
    (jc_.*action)(button);
  }

  void readUserName() {
    const std::optional<std::string> fallback =
        directory_ ? std::optional<std::string>(platform::NSUserName())
                   : platform::NSFullUserName();
    readName(tk::kHoldUserName, jc_.prefUserNameStringRef, keys::kUserName, fallback,
             jc_.userNameEditText, jc_.userNameButton, &JC::userNameButtonProc);
  }

  void readJobName() {
    std::string jobName;
    if (platform::PMPrintSettingsGetJobName(settings_, &jobName) != platform::noErr)
      jobName.clear();
    readName(tk::kHoldJobName, jc_.prefJobNameStringRef, keys::kJobName, jobName,
             jc_.jobNameEditText, jc_.jobNameButton, &JC::jobNameButtonProc);
  }

  JC& jc_;
  const platform::PrintSettings* settings_;
  const bool strict_;
  const bool directory_;
  const platform::NSStringEncoding encoding_;
  /// Longest numeric code the printer takes (0: no limit).
  const std::size_t codeMax_;
};

}  // namespace

void JC::getNonPPDSettingsFromPrintSettings() {
  platform::_PDEProlog(this, "--getNonPPDSettingsFromPrintSettings:");
  const platform::PrintSettings* settings =
      pdePluginCallbackObject ? pdePluginCallbackObject->printSettings() : nullptr;
  if (settings != nullptr) {
    try {
      TicketReader(*this, settings).read();
    } catch (...) {
      // Out of memory or a conversion failure: the panel keeps what was
      // restored so far; the restore itself goes on.
      platform::_PDELog(this, "getNonPPDSettingsFromPrintSettings: failed");
    }
  }
  platform::_PDEEpilog(this, "--getNonPPDSettingsFromPrintSettings:=void");
}
