// SPDX-License-Identifier: Apache-2.0
// The panel controller: one per print dialog. Holds the host object, the
// printer's PPD and identity, the PPD-derived model flags, the remembered
// preferences, the outlets of the loaded interface file and the folder list.
//
// Its operations are spread over the subsystems: the host protocol and
// construction here in pde/, the job-ticket writer and reader in ticket/,
// panel construction, rules and actions in ui/, preferences in prefs/ and
// the folder fetch and menu in device/. The fields below are grouped by the
// subsystem that writes them; pde/panel_state.h holds what the subsystems
// agree on about the controls (docs/ARCHITECTURE.md has the whole map).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pde/class_names.h"
#include "pde/folder_list.h"
#include "pde/models/profile.h"
#include "platform/bundle.h"
#include "platform/controls.h"
#include "platform/encoding.h"
#include "platform/image.h"
#include "platform/pde.h"
#include "platform/plist.h"

using JCPDEPluginCallback = platform::PDEPluginCallback;

/// The object a login-name filter calls back (it never calls it).
class LoginnameInputFilterCallback {
 public:
  virtual ~LoginnameInputFilterCallback() = default;
};

/// The object a SOAP client reports a failed exchange to.
class SOAPClientCallback {
 public:
  virtual ~SOAPClientCallback() = default;
  virtual void recieveEndCallback() = 0;
  /// Why the exchange failed, in words; told just before recieveEndCallback.
  virtual void exchangeFailedBecause(const std::string& /*cause*/) {}
};

class JC : public platform::PDEPanel,
           public LoginnameInputFilterCallback,
           public SOAPClientCallback {
 public:
  /// Construction: takes the host's PPD, the printer's address and
  /// identifier, loads the remembered preferences and the folder cache, and
  /// reads the request body and spacer image from the bundle. Never fails.
  static std::shared_ptr<JC> initWithCallback(std::shared_ptr<JCPDEPluginCallback> host);
  ~JC() override;

  // ---- Host protocol (pde/JC.cpp) ----
  platform::View* panelView() override;
  std::string panelName() override;
  std::string panelKind() override;
  std::vector<std::string> supportedPPDOptionKeys() override;
  void willShow() override;
  bool shouldHide() override;
  bool shouldPrint() override;
  bool shouldShowHelp() override;
  void PPDOptionKeyValueDidChange(const std::string& option, const std::string& choice) override;
  bool restoreValuesAndReturnError(platform::NSError** error) override;
  bool saveValuesAndReturnError(platform::NSError** error) override;
  std::map<std::string, std::string> summaryInfo() override;
  std::map<std::string, std::string> diagnosticProperties() override;

  // Hooks for hosts without constraint handling.
  ppd_file_t* getPPDOnTiger();
  void getPPDSettingsFromPrintSettingsOnTiger();
  void writePPDSettingsToPrintSettingsOnTiger();

  // ---- Localisation and model queries (pde/queries.cpp) ----
  /// A control text in the user's language, keeping one trailing colon;
  /// nullopt for a null object or an object of another kind.
  std::optional<std::string> localizedStringValue(const std::string& text);
  std::optional<std::string> localizedStringValue(const platform::Object* object);
  std::int64_t getUIMode() const;
  bool CheckHardDisk() const;
  std::int64_t getPasswordMax() const;

  // ---- Job ticket (ticket/) ----
  void writeNonPPDSettingsToPrintSettings();
  void getNonPPDSettingsFromPrintSettings();

  // ---- Panel construction, rules, actions (ui/) ----
  void initializeUI();
  void updateUI();
  void suspendMatrixEnabled();
  void suspendKeyStaticTextEnabled();
  void suspendKeyEditTextEnabled();
  void suspendKeyButtonEnabled();
  void folderSelectionStaticTextEnabled();
  void folderSelectionPopupEnabled();
  void folderPasswordStaticTextEnabled();
  void folderPasswordEditTextEnabled();
  void folderPasswordButtonEnabled();
  void folderSelectionMatrixEnabled();
  void folderNameEditTextEnabled();
  void folderNameButtonEnabled();
  void loginNameStaticTextEnabled();
  void loginNameEditTextEnabled();
  void loginNameButtonEnabled();
  void passwordStaticTextEnabled();
  void passwordEditTextEnabled();
  void passwordButtonEnabled();
  void userNumberEditTextEnabled();
  void userNumberButtonEnabled();
  void userNameEditTextEnabled();
  void jobNameEditTextEnabled();
  void accountNumberEditTextEnabled();
  void accountNumberButtonEnabled();

  void retentionCBoxProc(platform::Object* sender);
  void suspendKeyMatrixProc(platform::Object* sender);
  void folderSelectionPopUpButtonProc(platform::Object* sender);
  void folderSelectionMatrixProc(platform::Object* sender);
  void authenticationMatrixProc(platform::Object* sender);
  void loginNameButtonProc(platform::Object* sender);
  void suspendKeyButtonProc(platform::Object* sender);
  void folderPasswordButtonProc(platform::Object* sender);
  void folderNameButtonProc(platform::Object* sender);
  void passwordButtonProc(platform::Object* sender);
  void userNumberButtonProc(platform::Object* sender);
  void userNameButtonProc(platform::Object* sender);
  void jobNameButtonProc(platform::Object* sender);
  void accountNumberButtonProc(platform::Object* sender);
  void tabProc(platform::Object* sender);
  void suspendKeyETextProc(platform::Object* sender);
  void folderPasswordETextProc(platform::Object* sender);
  void loginNameETextProc(platform::Object* sender);
  void passwordETextProc(platform::Object* sender);
  void userNumberETextProc(platform::Object* sender);
  void userNameETextProc(platform::Object* sender);
  void jobNameETextProc(platform::Object* sender);
  void accountNumberETextProc(platform::Object* sender);
  void printersAddressButtonProc(platform::Object* sender);

  // ---- Preferences (prefs/) ----
  void CheckPreference();
  void GetUserPreference();
  bool SaveUserPreference();
  void GetFolderPreference();
  bool SaveFolderPreference();

  // ---- Folder fetch and menu (device/) ----
  void getFolderNameButtonProc(platform::Object* sender);
  void recieveEndCallback() override;
  void exchangeFailedBecause(const std::string& cause) override;
  bool parseXML(const std::string& answerFilePath);
  void makeFolderPopup();
  std::int64_t SearchSameFolderName(const std::optional<std::string>& name);

  // ---- Dynamic messaging (pde/messaging.cpp) ----
  bool respondsToSelector(std::string_view selector) const override;
  bool performAction(std::string_view selector, platform::Object* sender) override;
  bool setOutletForKey(std::string_view key, platform::Object* value) override;
  /// Names of every outlet the controller declares, in declaration order.
  static const std::vector<std::string>& outletNames();
  /// The object an outlet is connected to (null when not connected).
  platform::Object* outletForKey(std::string_view key) const;

  // ---- Shared state: the one way to change fields that more than one
  // subsystem writes (pde/panel_state.cpp) ----
  /// Spends one bit of the remembered lock mask (prefHoldButtonFlag):
  /// answers whether it was set and clears it, so that a remembered value
  /// is applied once. The ticket reader calls it.
  bool takeRememberedHoldBit(std::uint32_t bit);
  /// The login name is locked: `name` (none without a field) is kept as the
  /// real name while the field shows bullets. The login lock action calls it.
  void keepLockedLoginName(std::optional<std::string> name);
  /// The login name is no longer locked: the kept name is dropped. The
  /// login lock action and the ticket reader call it.
  void forgetLockedLoginName();
  /// The printer's folders are now `list`: from the folder cache (prefs/)
  /// or from the printer's answer (device/).
  void setFolderList(FolderList list);

  // ---- Fields, grouped by the subsystem that writes them ----
  // Any subsystem may read any field. A field is written only by the group
  // owner named here; the few that two subsystems change go through the
  // shared-state operations above.

  // Host and printer. Written by pde/ alone: construction (JC.cpp) and the
  // host protocol; fixed once the panel is constructed, except the retain.
  std::shared_ptr<JCPDEPluginCallback> pdePluginCallbackObject;
  std::optional<std::string> thePDEName;
  bool useConstraintHandling = false;
  ppd_file_t* ppd = nullptr;
  platform::NSStringEncoding ppdEncoding = 0;
  platform::NSStringEncoding systemEncoding = 0;
  std::shared_ptr<platform::Bundle> pdeBundle;
  bool callSaveValuesFunction = false;
  bool callRestoreValuesFunction = false;
  bool document_filing_model = true;
  bool quivo_print_system = false;
  bool active_directory = false;
  std::optional<std::vector<std::uint8_t>> requestData;
  std::optional<std::string> preferenceName;
  std::optional<std::string> modelStringRef;
  std::optional<std::string> mfpURL;
  std::shared_ptr<platform::Image> spaceImage;
  bool isPanelViewRetain = false;
  /// The controller's own reference to the root view while isPanelViewRetain.
  std::shared_ptr<platform::Object> panelViewReference;
  /// How many times panelName looked the name up (a diagnostic for tests).
  int panelNameLookups = 0;

  // Outlets: connected by pde/messaging.cpp (setOutletForKey) while the
  // interface file loads, never reassigned after. Not owned; the loaded view
  // hierarchy owns the controls. Every subsystem works the controls.
  platform::View* panelViewOutlet = nullptr;  // the `panelView` outlet
  platform::TabView* tabView = nullptr;
  platform::Button* retentionCheckBox = nullptr;
  platform::Box* suspendBox = nullptr;
  platform::Matrix* suspendMatrix = nullptr;
  platform::ButtonCell* holdOnlyRadioButton = nullptr;
  platform::ButtonCell* holdAfterRadioButton = nullptr;
  platform::ButtonCell* samplePrintRadioButton = nullptr;
  platform::TextField* suspendKeyStaticText = nullptr;
  platform::TextField* suspendKeyEditText = nullptr;
  platform::Button* suspendKeyButton = nullptr;
  platform::Box* filingBox = nullptr;
  platform::TextField* folderSelectionStaticText = nullptr;
  platform::PopUpButton* folderSelectionPopup = nullptr;
  platform::TextField* folderPasswordStaticText = nullptr;
  platform::TextField* folderPasswordEditText = nullptr;
  platform::Button* folderPasswordButton = nullptr;
  platform::Matrix* folderSelectionMatrix = nullptr;
  platform::ButtonCell* quickFileRadioButton = nullptr;
  platform::ButtonCell* mainFolderRadioButton = nullptr;
  platform::ButtonCell* customFolderRadioButton = nullptr;
  platform::TextField* folderNameEditText = nullptr;
  platform::Button* folderNameButton = nullptr;
  platform::Matrix* authenticationMatrix = nullptr;
  platform::ButtonCell* authenticationRadioButton = nullptr;
  platform::TextField* loginNameStaticText = nullptr;
  platform::TextField* loginNameEditText = nullptr;
  platform::Button* loginNameButton = nullptr;
  platform::TextField* passwordStaticText = nullptr;
  platform::TextField* passwordEditText = nullptr;
  platform::Button* passwordButton = nullptr;
  platform::Matrix* userNumberMatrix = nullptr;
  platform::ButtonCell* userNumberRadioButton = nullptr;
  platform::TextField* userNumberEditText = nullptr;
  platform::Button* userNumberButton = nullptr;
  platform::TextField* userNumberStaticText = nullptr;  // vk7300 interface files only
  platform::TextField* accountNumberStaticText = nullptr;
  platform::TextField* accountNumberEditText = nullptr;
  platform::Button* accountNumberButton = nullptr;
  platform::Box* jobIDBox = nullptr;
  platform::TextField* userNameStaticText = nullptr;
  platform::TextField* userNameEditText = nullptr;
  platform::Button* userNameButton = nullptr;
  platform::TextField* jobNameStaticText = nullptr;
  platform::TextField* jobNameEditText = nullptr;
  platform::Button* jobNameButton = nullptr;
  platform::TextField* printersAddressStaticText = nullptr;
  platform::TextField* printersAddressEditText = nullptr;
  platform::ProgressIndicator* chasingArrow = nullptr;
  platform::Button* getFolderNameButton = nullptr;

  // Panel construction. Written by ui/ (initializeUI) alone.
  bool hasInited = false;

  // Remembered preferences: what the preference record held for this
  // printer. Written by prefs/ (GetUserPreference) alone; the ticket reader
  // spends bits of the mask only through takeRememberedHoldBit.
  std::uint32_t prefHoldButtonFlag = 0;
  std::optional<std::string> prefSuspendKeyStringRef;
  std::optional<bool> prefAuthenticationBooleanRef;
  std::optional<std::string> prefLoginNameStringRef;
  std::optional<std::string> prefPasswordStringRef;
  std::optional<std::string> prefUserNumberStringRef;
  std::optional<std::string> prefUserNameStringRef;
  std::optional<std::string> prefJobNameStringRef;
  std::optional<std::string> prefFolderPassStringRef;
  std::optional<std::string> prefAccountNumberStringRef;
  std::optional<std::string> prefFolderNameStringRef;

  // What the job's print settings held. Written by ticket/ (the reader)
  // alone.
  std::uint32_t presetHoldButtonFlag = 0;
  std::optional<std::string> folderNameStringRef;

  // The locked login name. Written by ui/ (the login lock action) and
  // ticket/ (the reader), only through keepLockedLoginName and
  // forgetLockedLoginName.
  std::optional<std::string> loginNameStringRef;
  bool loginNameLockFlag = false;

  // The printer's filing folders. Written by prefs/ (the folder cache) and
  // device/ (the printer's answer), only through setFolderList.
  std::optional<FolderList> folderList;

 protected:
  JC() = default;

 private:
  // Why the folder-list fetch failed, for the alert that says so. Written
  // by device/ alone; the alert takes it.
  std::string fetchFailureCause_;
  // Lives as long as the controller: folder items left for the menu to make
  // later (device/) hold it weakly, and are never made once it is gone.
  std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

/// Highlights a text field or label as normal or dimmed (the text-field
/// addition of the build; named per build by the profile's hiliteSelector).
void myJCHilite(platform::TextField* field, bool dimmed);

/// Encoding of the PPD's texts: 30 (Mac OS Roman) unless its
/// *LanguageEncoding names ISOLatin1 (5), WindowsANSI (12), JIS83-RKSJ (8),
/// UTF-8 or UTF8 (4).
platform::NSStringEncoding getEncodingFromPPD(ppd_file_t* ppd);

/// The system icon for a four-character type code, sized 18 by 18 points.
std::shared_ptr<platform::Image> initWithSystemIconType(std::uint32_t typeCode);

/// The entry class.
class JCPDEPlugIn : public platform::PDEPlugIn {
 public:
  bool initWithBundle(platform::Bundle* bundle) override;
  std::optional<platform::PDEPanelArray> PDEPanelsForType(
      const std::string& panelType, std::shared_ptr<JCPDEPluginCallback> host) override;
};
