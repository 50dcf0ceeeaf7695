// SPDX-License-Identifier: Apache-2.0
// The job-ticket writer: the print-settings entries a save makes from the
// panel's state, in both builds.
//
// Expected values were computed outside the code under test, with the pinned
// spool time "Tue, 8 Dec 2026 09:05:07 +0900" (key text "6 09:05:07 +0900",
// hex 362030393a30353a3037202b30393030) and data zero-filled to whole blocks:
//   fixed key:  pad | openssl enc -aes-128-ecb -nopad -K 5e3a91c07d24b6f8a1e0c94d3b7f2a61
//   spool key:  pad | openssl enc -aes-128-ecb -nopad -K 362030393a30353a3037202b30393030
//   then `xxd -p | tr a-f A-F` (hex forms) or `base64 -w0` (Base64 forms);
//   digests:    printf '%s' "00007Tue, 8 Dec 2026 09:05:07 +0900" | md5sum
//   encodings:  printf 'Zoë' | iconv -t MACINTOSH (or CP1252, CP932) | xxd -p
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "pde/JC.h"
#include "platform/controls.h"
#include "platform/print_settings.h"
#include "platform/system.h"
#include "support/harness.h"

using jobwick::kModelProfile;

namespace jwtest {
namespace {

std::string key(const std::string& name) {
  return "jp.co.quivo.print.PrintSettings." + name;
}

constexpr double kPinnedTime = 1796688307.0;  // Tue, 8 Dec 2026 09:05:07 +0900

// printf '%s' "Tue, 8 Dec 2026 09:05:07 +0900" | xxd -p | tr a-f A-F
const char kSpoolHex[] = "5475652C20382044656320323032362030393A30353A3037202B30393030";
// printf '*standard' | xxd -p | tr a-f A-F
const char kStandardHex[] = "2A7374616E64617264";
// printf '%s' "00007Tue, 8 Dec 2026 09:05:07 +0900" | md5sum
const char kPassCode7Digest[] = "d0676802650734979ecaf961983b0c81";
// printf '7' | <pad> | openssl enc ... fixed key | xxd -p
const char kPassCode7Cipher[] = "C4624E022F8D6975284A7F1E49428329";
// printf 'alice' | <pad> | openssl enc ... fixed key | base64
const char kAliceFixedB64[] = "lAuh/m4HE8maPqWIteYs8g==";
// printf 'alice' | <pad> | openssl enc ... spool key | base64
const char kAliceSpoolB64[] = "ykmSV1BelqHc1IzukzWNYg==";
const char kAliceHex[] = "616C696365";

using Expected = std::map<std::string, std::optional<std::string>>;  // nullopt: absent

class TicketWriterTest : public ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    jc = makeController();
    jc->hasInited = true;
  }

  template <class T>
  T* add(const std::string& outlet) {
    auto control = std::make_shared<T>();
    owned.push_back(control);
    EXPECT_TRUE(jc->setOutletForKey(outlet, control.get())) << outlet;
    return control.get();
  }

  platform::Matrix* addMatrix(const std::string& outlet, const std::vector<std::string>& cells) {
    auto* matrix = add<platform::Matrix>(outlet);
    for (const auto& name : cells) {
      auto cell = std::make_shared<platform::ButtonCell>();
      cell->setButtonType(platform::ButtonType::Radio);
      matrix->addRow(cell);
      EXPECT_TRUE(jc->setOutletForKey(name, cell.get())) << name;
    }
    return matrix;
  }

  /// Builds the panel's controls by hand, with the folder popup, the folder
  /// matrix (and its name field), or both.
  void buildPanel(bool withPopup = true, bool withFolderMatrix = false) {
    retention = add<platform::Button>("retentionCheckBox");
    suspendMatrix = addMatrix(
        "suspendMatrix", {"holdOnlyRadioButton", "holdAfterRadioButton", "samplePrintRadioButton"});
    if (withPopup) {
      popup = add<platform::PopUpButton>("folderSelectionPopup");
      auto* menu = popup->menu();
      menu->addItem(std::make_shared<platform::MenuItem>("Quick File", "", ""));
      menu->addItem(std::make_shared<platform::MenuItem>("Main Folder", "", ""));
      menu->addItem(platform::MenuItem::separatorItem());
      for (int i = 0; i < 8; ++i) {
        menu->addItem(std::make_shared<platform::MenuItem>("F" + std::to_string(i), "", ""));
      }
      popup->selectItemAtIndex(0);
    }
    if (withFolderMatrix) {
      folderMatrix =
          addMatrix("folderSelectionMatrix",
                    {"quickFileRadioButton", "mainFolderRadioButton", "customFolderRadioButton"});
      folderMatrix->selectCellAtRow(0);
      fields["folderNameEditText"] = add<platform::TextField>("folderNameEditText");
    }
    authMatrix =
        addMatrix("authenticationMatrix", {"authenticationRadioButton", "userNumberRadioButton"});
    authMatrix->selectCellAtRow(0);
    for (const char* name :
         {"suspendKeyEditText", "folderPasswordEditText", "loginNameEditText", "passwordEditText",
          "userNumberEditText", "accountNumberEditText", "userNameEditText", "jobNameEditText"}) {
      fields[name] = add<platform::TextField>(name);
    }
    for (const char* name : {"suspendKeyButton", "loginNameButton", "passwordButton",
                             "userNameButton", "jobNameButton", "folderPasswordButton",
                             "userNumberButton", "accountNumberButton", "folderNameButton"}) {
      locks[name] = add<platform::Button>(name);
      locks[name]->setButtonType(platform::ButtonType::Toggle);
    }
  }

  void setText(const std::string& field, const std::string& text) {
    fields.at(field)->setStringValue(text);
  }
  void retain(int row) {
    retention->setState(platform::NSOnState);
    suspendMatrix->selectCellAtRow(row);
  }

  platform::PrintSettings& settings() { return lastHost->settings; }
  void resetTicket() { settings() = platform::PrintSettings{}; }
  std::optional<std::string> value(const std::string& name) { return settings().value(key(name)); }
  void save() { EXPECT_TRUE(jc->saveValuesAndReturnError(nullptr)); }
  /// The pieces of a chunked value joined, up to the first missing piece.
  std::string joinedPieces(const std::string& baseName) {
    std::string joined;
    for (int piece = 1; auto part = value(baseName + std::to_string(piece)); ++piece) {
      joined += *part;
    }
    return joined;
  }

  void expectTicket(const Expected& expected, const std::string& label = {}) {
    for (const auto& [name, want] : expected) {
      EXPECT_EQ(value(name), want) << name << " " << label;
    }
  }

  // Controls live longer than the controller's plain pointers to them.
  std::vector<std::shared_ptr<platform::Object>> owned;
  std::shared_ptr<JC> jc;
  platform::Button* retention = nullptr;
  platform::Matrix* suspendMatrix = nullptr;
  platform::PopUpButton* popup = nullptr;
  platform::Matrix* folderMatrix = nullptr;
  platform::Matrix* authMatrix = nullptr;
  std::map<std::string, platform::TextField*> fields;
  std::map<std::string, platform::Button*> locks;
};

TEST_F(TicketWriterTest, LeavesTheTicketAloneWithoutSettingsOrBeforeInitialisation) {
  buildPanel();
  settings().setValue(key("filing"), "1");
  lastHost->hasSettings = false;
  save();
  lastHost->hasSettings = true;
  jc->hasInited = false;
  save();
  ASSERT_EQ(settings().entries().size(), 1u);
  EXPECT_EQ(value("filing"), "1");
}

TEST_F(TicketWriterTest, EmptyFieldsLeaveNoEntries) {
  buildPanel();
  retain(0);
  std::vector<std::string> stale = {
      "jobSuspendKey", "jobSuspend2Key", "loginName11",    "loginName01",
      "password",      "password2",      "userNumber",     "userNumber2",
      "accountNumber", "accountNumber2", "userName",       "userName2",
      "jobName",       "jobName2",       "folderPassword", "folderPassword2"};
  if (isVk7300())
    stale.insert(stale.end(), {"loginName21", "password31", "userName31", "jobName31"});
  for (const auto& name : stale) settings().setValue(key(name), "STALE");
  save();
  for (const auto& name : stale) EXPECT_FALSE(settings().contains(key(name))) << name;
  expectTicket({{"spoolTime", kSpoolHex},
                {"jobSuspend", "2"},
                {"Authentication", "1"},
                {"holdButton", "0"}});
}

TEST_F(TicketWriterTest, RetentionModeAndOneDigitPassCode) {
  buildPanel();
  setText("suspendKeyEditText", "7");
  const std::vector<std::pair<int, const char*>> cases = {{0, "2"}, {1, "1"}, {2, "3"}, {-1, "0"}};
  for (const auto& [row, mode] : cases) {
    resetTicket();
    retain(row);
    save();
    const bool keyed = std::string(mode) != "0";
    expectTicket(
        {{"jobSuspend", mode},
         {"jobSuspendKey", keyed ? std::optional<std::string>(kPassCode7Digest) : std::nullopt},
         {"jobSuspend2Key", keyed ? std::optional<std::string>(kPassCode7Cipher) : std::nullopt}},
        "row " + std::to_string(row));
  }
}

TEST_F(TicketWriterTest, RetentionOffKeepsEarlierPassCodeOnlyWhereTheSpoolTimeStays) {
  buildPanel();
  retain(1);
  setText("suspendKeyEditText", "7");
  save();
  ASSERT_EQ(value("jobSuspendKey"), kPassCode7Digest);
  retention->setState(platform::NSOffState);
  save();
  EXPECT_EQ(value("jobSuspend"), "0");
  if (isVk7300()) {
    expectTicket({{"jobSuspendKey", kPassCode7Digest}, {"jobSuspend2Key", kPassCode7Cipher}});
  } else {
    expectTicket({{"jobSuspendKey", std::nullopt}, {"jobSuspend2Key", std::nullopt}});
  }
}

struct FilingCase {
  int choice;  // popup index or matrix row
  std::string folderName;
  const char* filing;
  std::optional<std::string> path, path2, path3;
};

TEST_F(TicketWriterTest, FilingFromThePopupAndTheFolderList) {
  buildPanel(/*withPopup=*/true);
  jc->folderList = FolderList{FolderEntry{{"name", "Alpha"}}, FolderEntry{{"name", "Beta"}},
                              FolderEntry{{"password", true}}};
  // printf Beta | xxd -p
  const std::vector<FilingCase> cases = {
      {0, "", "1", std::nullopt, std::nullopt, std::nullopt},
      {1, "", "2", kStandardHex, std::nullopt, std::nullopt},
      {4, "", "3", "42657461", "42657461", "42657461"},
      {5, "", "3", std::nullopt, std::nullopt, std::nullopt},  // entry without a name
      {9, "", "3", std::nullopt, std::nullopt, std::nullopt},  // beyond the list
  };
  for (const auto& c : cases) {
    resetTicket();
    retain(0);
    popup->selectItemAtIndex(c.choice);
    save();
    const std::string label = "index " + std::to_string(c.choice);
    if (isVk7300()) {
      expectTicket({{"filing", c.filing},
                    {"folderPath", c.path},
                    {"folderPath2", c.path2},
                    {"folderPath31", c.path3}},
                   label);
    } else {
      expectTicket({{"filing", "0"},
                    {"folderPath", kStandardHex},
                    {"folderPath2", kStandardHex},
                    {"folderPath31", std::nullopt}},
                   label);
    }
  }
}

TEST_F(TicketWriterTest, FilingFromTheMatrixAndTheTypedFolderName) {
  buildPanel(/*withPopup=*/false, /*withFolderMatrix=*/true);
  // 'Café' in MACINTOSH, CP1252, UTF-8; '書類' has no MacRoman form and falls
  // back to CP932 for both system and Latin forms.
  const std::vector<FilingCase> cases = {
      {0, "Café", "1", std::nullopt, std::nullopt, std::nullopt},
      {1, "Café", "2", kStandardHex, std::nullopt, std::nullopt},
      {2, "Café", "3", "4361668E", "436166E9", "436166C3A9"},
      {2, "書類", "3", "8F9197DE", "8F9197DE", "E69BB8E9A19E"},
      {2, "", "3", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    resetTicket();
    retain(0);
    folderMatrix->selectCellAtRow(c.choice);
    setText("folderNameEditText", c.folderName);
    save();
    const std::string label = "row " + std::to_string(c.choice) + " " + c.folderName;
    if (isVk7300()) {
      expectTicket({{"filing", c.filing},
                    {"folderPath", c.path},
                    {"folderPath2", c.path2},
                    {"folderPath31", c.path3}},
                   label);
    } else {
      expectTicket({{"filing", "0"},
                    {"folderPath", kStandardHex},
                    {"folderPath2", kStandardHex},
                    {"folderPath31", std::nullopt}},
                   label);
    }
  }
}

TEST_F(TicketWriterTest, RetentionOffFilesNothing) {
  buildPanel();
  settings().setValue(key("folderPath"), "4F6C64");
  settings().setValue(key("folderPath2"), "4F6C64");
  popup->selectItemAtIndex(1);
  save();
  EXPECT_EQ(value("filing"), "0");
  EXPECT_EQ(value("folderPath2"), std::nullopt);
  // The vk7300 build leaves folderPath to the filing digit; the vk410e build removes it.
  EXPECT_EQ(value("folderPath"), isVk7300() ? std::optional<std::string>("4F6C64") : std::nullopt);
}

TEST_F(TicketWriterTest, AuthenticationMethod) {
  buildPanel();
  save();
  EXPECT_EQ(value("Authentication"), "1");
  authMatrix->selectCellAtRow(1);
  save();
  EXPECT_EQ(value("Authentication"), "0");
}

TEST_F(TicketWriterTest, LoginNameInItsEncodings) {
  buildPanel();
  setText("loginNameEditText", "Zoë");
  save();
  // 'Zoë' as MACINTOSH (5A6F91) with the fixed key, as CP1252 (5A6FEB) and as
  // UTF-8 (5A6FC3AB) with the spool key.
  expectTicket({{"loginName11", "sOD1QDP1PxRktH6uVeks9Q=="},
                {"loginName01", "N8r31mI4XDmPtNVoWZAsyA=="},
                {"loginName21", isVk7300() ? std::optional<std::string>("CySlUMc39HAOCyc8XascZw==")
                                           : std::nullopt}});
}

TEST_F(TicketWriterTest, LongLoginNameTakesTwoPiecesAndAShortOneRemovesTheSecond) {
  buildPanel();
  std::string name;
  for (int i = 0; i < 20; ++i) name += "abcdefghij";  // 200 bytes: a 208-byte cipher
  setText("loginNameEditText", name);
  save();
  const std::string fixed1 =
      "Gk2tL4CzRQs2b1NBcqUbW+0xIpPLt4EoNmligACX4hD4ohh5cAtU5C4kJU5sVSaF+rRw3YHAgEr1DELmknVY9y8wj"
      "nk++FYUf4aHkN1IaCQaTa0vgLNFCzZvU0FypRtb7TEik8u3gSg2aWKAAJfiEPiiGHlwC1TkLiQlTmxVJoX6tHDdg"
      "cCASvUMQuaSdVj3LzCOeT74VhR/hoeQ3UhoJBpNrS+As0ULNm9TQXKlG1vtMSKTy7eBKDZpYoAAl+";
  const std::string spool1 =
      "5GNSl5BgcRSnqpVJ+fopi0i0NJECtIHACK6gN4eY+LZXGqwyQZyASyIc/OX3WVMjWDIQVxxAjm8OzyU+K+R32ItRK"
      "31vfd0TTErVp2Or4lvkY1KXkGBxFKeqlUn5+imLSLQ0kQK0gcAIrqA3h5j4tlcarDJBnIBLIhz85fdZUyNYMhBXHE"
      "CObw7PJT4r5HfYi1ErfW993RNMStWnY6viW+RjUpeQYHEUp6qVSfn6KYtItDSRArSBwAiuoDeHmP";
  ASSERT_EQ(fixed1.size(), 254u);
  ASSERT_EQ(spool1.size(), 254u);
  const auto utf8 = [](const char* v) {
    return isVk7300() ? std::optional<std::string>(v) : std::nullopt;
  };
  expectTicket({{"loginName11", fixed1},
                {"loginName12", "IQX+sK05iJ654cdscsSNHQYg=="},
                {"loginName13", std::nullopt},
                {"loginName01", spool1},
                {"loginName02", "i2iHFyqgV9wtfjz3wPXWDx5w=="},
                {"loginName21", utf8(spool1.c_str())},
                {"loginName22", utf8("i2iHFyqgV9wtfjz3wPXWDx5w==")}});

  setText("loginNameEditText", "alice");
  save();
  expectTicket({{"loginName11", kAliceFixedB64},
                {"loginName12", std::nullopt},
                {"loginName01", kAliceSpoolB64},
                {"loginName02", std::nullopt},
                {"loginName22", std::nullopt}});
}

TEST_F(TicketWriterTest, LoginNameFillsEachConversionToItsLimit) {
  buildPanel();
  setText("loginNameEditText", std::string(1600, 'a'));
  save();
  // ECB over blocks of 'a' repeats every three blocks (64 Base64 characters):
  // 255 bytes give 5 units and a tail, the vk7300's 1530 UTF-8 bytes 31.
  const auto repeated = [](const std::string& unit, int count, const std::string& tail) {
    std::string text;
    for (int i = 0; i < count; ++i) text += unit;
    return text + tail;
  };
  const std::string fixedUnit = "hz1jqTU9QO9+oyQPkB+ZdIc9Y6k1PUDvfqMkD5AfmXSHPWOpNT1A736jJA+QH5l0";
  const std::string spoolUnit = "x3AYAJDZtczgOSiYQbl228dwGACQ2bXM4DkomEG5dtvHcBgAkNm1zOA5KJhBuXbb";
  EXPECT_EQ(joinedPieces("loginName1"), repeated(fixedUnit, 5, "BW7Eg+rtkeef5IDTdOoaJg=="));
  EXPECT_EQ(joinedPieces("loginName0"), repeated(spoolUnit, 5, "66bfDVxydwSEBPRIlWWc7g=="));
  if (isVk7300()) {
    EXPECT_EQ(joinedPieces("loginName2"),
              repeated(spoolUnit, 31,
                       "x3AYAJDZtczgOSiYQbl228dwGACQ2bXM4DkomEG5dtuPEzOf/8QMLFVPcBLKhAMz"));
    EXPECT_EQ(value("loginName29")->size(), 16u);  // 8 pieces of 254 and the rest
  }
}

TEST_F(TicketWriterTest, LockedLoginNameWritesTheHeldNameNeverTheBullets) {
  for (const bool directory : {false, true}) {
    resetTicket();
    owned.clear();
    fields.clear();
    locks.clear();
    jc = makeController();
    jc->hasInited = true;
    jc->active_directory = directory;
    buildPanel();
    locks["loginNameButton"]->setState(platform::NSOnState);
    setText("loginNameEditText", "•••••");
    jc->loginNameStringRef = "alice";
    setText("userNameEditText", "Someone");
    save();
    const std::string label = directory ? "directory" : "plain";
    expectTicket({{"loginName11", kAliceFixedB64}, {"loginName01", kAliceSpoolB64}}, label);
    // In directory mode (a vk7300 PPD flag) the login name stands for the user name.
    const bool byLogin = directory && isVk7300();
    expectTicket({{"userName", byLogin ? kAliceHex : "536F6D656F6E65"},
                  {"userName2", byLogin ? kAliceHex : "536F6D656F6E65"}},
                 label);

    // A lock without a held name: no login name, and no directory user name.
    jc->loginNameStringRef = "";
    save();
    expectTicket({{"loginName11", std::nullopt}, {"loginName01", std::nullopt}}, label);
    if (byLogin) expectTicket({{"userName", std::nullopt}}, label);
  }
}

TEST_F(TicketWriterTest, PasswordsOfOneAndTwoBlocks) {
  buildPanel();
  struct Case {
    const char* password;
    const char* spoolB64;  // password and (UTF-8, same bytes here) password31
    const char* fixedHex;  // password2, always 64 digits
  };
  const Case cases[] = {
      {"abcdefghijklmnopqrst", "pYyLGqqOipRFGWpOBtQx1otWgRNWVsEJUWZ4U84FGKk=",
       "EFE278B0B0ABF91098B44BB7E0D6AF60AE15A618C1178541AE5F7B3F68C5CC40"},
      {"s3cr!", "A/YYfSe3WP91nUTwDkKejw==",
       "E9E600DD8CBA3993B317EE016795A1A700000000000000000000000000000000"},
  };
  for (const auto& c : cases) {
    setText("passwordEditText", c.password);
    save();
    expectTicket(
        {{"password", c.spoolB64},
         {"password2", c.fixedHex},
         {"password31", isVk7300() ? std::optional<std::string>(c.spoolB64) : std::nullopt}},
        c.password);
  }
}

TEST_F(TicketWriterTest, NumbersAndFolderPassword) {
  buildPanel();
  setText("userNumberEditText", "42");
  setText("accountNumberEditText", "12345678");
  setText("folderPasswordEditText", "123");
  save();
  expectTicket({
      {"userNumber", "00042"},
      {"userNumber2", "E864292E48D8B3336FB5C71E0BD2DD0A"},  // fixed key over '42'
      {"accountNumber", "12345"},
      {"accountNumber2", "44B2FFA78104B2B0B0C81DFEA72DA8B2"},  // fixed key over '12345'
      // printf '%s' "Tue, 8 Dec 2026 09:05:07 +090000123" | md5sum
      {"folderPassword", "f9f0b8d83623ec9b6a4e32fd605d7757"},
      {"folderPassword2", "B9B0191389C8364CC375385F648FD948"},
  });
}

TEST_F(TicketWriterTest, NamesInTheirEncodingsWithControlCharactersCleaned) {
  buildPanel();
  struct Case {
    const char* name;
    const char* system;  // as typed, system encoding (CP932 when nothing converts)
    const char* latin;   // CP1252, spaces for what it lacks, cleaned
    const char* utf8;    // cleaned
  };
  const Case cases[] = {
      {"Zoë \"Q\"\n", "5A6F91202251220A", "5A6FEB2020512020", "5A6FC3AB2020512020"},
      {"ab✓cd", "6162", "6162206364", "6162E29C936364"},  // the check mark stops MacRoman
      {"山田", "8E529363", "2020", "E5B1B1E794B0"},
  };
  for (const auto& c : cases) {
    setText("userNameEditText", c.name);
    setText("jobNameEditText", c.name);
    save();
    const auto utf8 = isVk7300() ? std::optional<std::string>(c.utf8) : std::nullopt;
    expectTicket({{"userName", c.system},
                  {"userName2", c.latin},
                  {"userName31", utf8},
                  {"jobName", c.system},
                  {"jobName2", c.latin},
                  {"jobName31", utf8}},
                 c.name);
  }
}

TEST_F(TicketWriterTest, LongJobNameIsCutAtTheModelsLimitAndChunkedInUtf8) {
  buildPanel();
  std::string name;
  for (int i = 0; i < 20; ++i) name += "0123456789";
  setText("jobNameEditText", name);
  save();
  std::string hex;  // printf 0123456789 | xxd -p, twenty times
  for (int i = 0; i < 20; ++i) hex += "30313233343536373839";
  const std::size_t limit = isVk7300() ? 80 : 32;
  expectTicket({{"jobName", hex.substr(0, 2 * limit)}, {"jobName2", hex.substr(0, 2 * limit)}});
  if (isVk7300()) {
    expectTicket({{"jobName31", hex.substr(0, 254)},
                  {"jobName32", hex.substr(254)},
                  {"jobName33", std::nullopt}});
  }
}

TEST_F(TicketWriterTest, HoldButtonMaskIsAlwaysWritten) {
  buildPanel();
  save();
  EXPECT_EQ(value("holdButton"), "0");
  locks["loginNameButton"]->setState(platform::NSOnState);
  locks["folderNameButton"]->setState(platform::NSOnState);
  save();
  EXPECT_EQ(value("holdButton"), "258");
  for (auto& [name, button] : locks) button->setState(platform::NSOnState);
  save();
  EXPECT_EQ(value("holdButton"), "511");
}

TEST_F(TicketWriterTest, SecondSaveKeepsOrRenewsTheSpoolTime) {
  buildPanel();
  save();
  ASSERT_EQ(value("spoolTime"), kSpoolHex);
  platform::setCurrentTimeOverride(kPinnedTime + 3600);
  save();
  // printf '%s' "Tue, 8 Dec 2026 10:05:07 +0900" | xxd -p | tr a-f A-F
  EXPECT_EQ(
      value("spoolTime"),
      isVk7300() ? kSpoolHex : "5475652C20382044656320323032362031303A30353A3037202B30393030");
}

TEST_F(TicketWriterTest, StoredSpoolTimeKeysTheCiphersOfTheVk7300) {
  buildPanel();
  retain(0);
  setText("suspendKeyEditText", "7");
  setText("passwordEditText", "s3cr!");
  // printf '%s' "Mon, 1 Jun 2026 10:00:00 +0900" | xxd -p | tr a-f A-F
  const std::string stored = "4D6F6E2C2031204A756E20323032362031303A30303A3030202B30393030";
  settings().setValue(key("spoolTime"), stored);
  save();
  if (isVk7300()) {
    expectTicket({{"spoolTime", stored},
                  // printf '%s' "00007Mon, 1 Jun 2026 10:00:00 +0900" | md5sum
                  {"jobSuspendKey", "a5a8e1c05bf704f8272d37dc009d43dc"},
                  // key text "6 10:00:00 +0900"
                  {"password", "/rCFTt2tZGIRNCRXT+tQUw=="}});
  } else {
    expectTicket({{"spoolTime", kSpoolHex},
                  {"jobSuspendKey", kPassCode7Digest},
                  {"password", "A/YYfSe3WP91nUTwDkKejw=="}});
  }
}

TEST_F(TicketWriterTest, UnusableStoredSpoolTimeIsReplaced) {
  buildPanel();
  retain(0);
  setText("suspendKeyEditText", "7");
  std::string overlong, hostile;
  for (int i = 0; i < 200; ++i) overlong += "41";  // 200 bytes: more than the buffer holds
  for (int i = 0; i < 1000; ++i) hostile += "41";  // 2000 characters
  const std::vector<std::string> values = {
      "41",                                // 1 character
      "5475652C20382044656320323032",      // 14 characters
      "41424344000000000000000000000000",  // zero bytes inside
      overlong,
      hostile,
      "41é4243444546474849505152535455",
  };
  for (const auto& stored : values) {
    resetTicket();
    settings().setValue(key("spoolTime"), stored);
    save();
    expectTicket({{"spoolTime", kSpoolHex}, {"jobSuspendKey", kPassCode7Digest}},
                 stored.substr(0, 40));
  }
}

TEST_F(TicketWriterTest, MissingControls) {
  // No controls at all, over a ticket full of earlier entries.
  const Expected earlier = {
      {"filing", "1"},         {"folderPath", "4F6C64"},   {"folderPath2", "4F6C64"},
      {"jobSuspend", "2"},     {"jobSuspendKey", "d0"},    {"jobSuspend2Key", "C4"},
      {"Authentication", "1"}, {"loginName11", "lA"},      {"loginName01", "yk"},
      {"password", "A/"},      {"password2", "E9"},        {"userNumber", "00042"},
      {"userNumber2", "E8"},   {"accountNumber", "12345"}, {"accountNumber2", "44"},
      {"userName", "61"},      {"userName2", "61"},        {"jobName", "61"},
      {"jobName2", "61"},      {"folderPassword", "f9"},   {"folderPassword2", "B9"},
  };
  for (const auto& [name, v] : earlier) settings().setValue(key(name), *v);
  save();
  Expected expected;
  for (const auto& [name, v] : earlier) expected[name] = std::nullopt;
  expected["spoolTime"] = kSpoolHex;
  expected["holdButton"] = "0";
  if (isVk7300()) {
    // Missing controls read as off and empty; the retention pass code and
    // folderPath stay with retention off.
    expected["filing"] = "0";
    expected["folderPath"] = "4F6C64";
    expected["jobSuspend"] = "0";
    expected["jobSuspendKey"] = "d0";
    expected["jobSuspend2Key"] = "C4";
    expected["Authentication"] = "0";
  }
  expectTicket(expected);
}

TEST_F(TicketWriterTest, Vk410eKeepsRetainedJobsInTheMainFolderWithoutFilingControls) {
  retention = add<platform::Button>("retentionCheckBox");
  retention->setState(platform::NSOnState);
  settings().setValue(key("filing"), "1");
  save();
  if (isVk7300()) {
    expectTicket({{"filing", "0"}, {"folderPath", std::nullopt}});  // no filing choice: 0
  } else {
    expectTicket(
        {{"filing", std::nullopt}, {"folderPath", kStandardHex}, {"folderPath2", kStandardHex}});
  }
}

TEST_F(TicketWriterTest, TheModelsInterfaceFilesFeedTheWriter) {
  std::vector<std::vector<std::string>> ppds = {{}};
  if (isVk7300()) ppds.push_back({"*ARActiveDirectory: True"});  // the folder-matrix file
  for (const auto& lines : ppds) {
    auto panel = makeController(makeHost(lines));
    ASSERT_NE(showPanel(*panel), nullptr);
    ASSERT_TRUE(panel->hasInited);
    panel->retentionCheckBox->setState(platform::NSOnState);
    panel->suspendMatrix->selectCellAtRow(0);
    panel->suspendKeyEditText->setStringValue("7");
    if (panel->folderSelectionPopup) panel->folderSelectionPopup->selectItemAtIndex(1);
    if (panel->folderSelectionMatrix) panel->folderSelectionMatrix->selectCellAtRow(1);
    panel->authenticationMatrix->selectCellAtRow(0);
    panel->loginNameEditText->setStringValue("alice");
    panel->userNameEditText->setStringValue("Someone");
    ASSERT_TRUE(panel->saveValuesAndReturnError(nullptr));
    const bool directory = lines.size() == 1;
    expectTicket({{"spoolTime", kSpoolHex},
                  {"filing", isVk7300() ? "2" : "0"},
                  {"folderPath", kStandardHex},
                  {"jobSuspend", "2"},
                  {"jobSuspendKey", kPassCode7Digest},
                  {"Authentication", "1"},
                  {"loginName11", kAliceFixedB64},
                  {"userName", directory ? kAliceHex : "536F6D656F6E65"},
                  {"holdButton", "0"}},
                 directory ? "directory" : "plain");
  }
}

}  // namespace
}  // namespace jwtest
