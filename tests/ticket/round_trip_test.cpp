// SPDX-License-Identifier: Apache-2.0
// Save and restore: many generated panel states are saved into the print
// settings, restored into a new controller for the same print settings, and
// must come back with the same values, selections and lock states, apart
// from what the ticket deliberately does not carry (see expectedAfterRestore).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "pde/JC.h"
#include "platform/encoding.h"
#include "platform/strings.h"
#include "ticket/keys.h"
#include "ticket/ticket_panel.h"

using jobwick::kModelProfile;
namespace tk = jobwick::ticket;

namespace jwtest {
namespace {

/// A printer set-up and the texts its user types.
struct PrinterSetup {
  const char* name;
  std::vector<std::string> ppdLines;
  bool japanese;  ///< system encoding MacJapanese and Japanese texts
  bool vk7300Only;
};

const PrinterSetup kSetups[] = {
    {"plain", {}, false, false},
    {"japanese", {}, true, false},
    {"print-system", {"*ARQuivoPrintSystem: True"}, false, true},
    {"directory", {"*ARActiveDirectory: True"}, false, true},
    {"directory-japanese", {"*ARActiveDirectory: True"}, true, true},
};

/// One generated panel state, as the user would set it.
struct Choice {
  bool retention = false;
  std::int64_t retentionRow = 0;
  std::int64_t folder = 1;     ///< pop-up item or matrix row
  bool folderUnknown = false;  ///< the restoring panel's list lacks the folder
  std::int64_t authenticationRow = 0;
  std::string folderName, passCode, login, password, userNumber, account, userName, jobName,
      folderPassword;
  std::uint32_t locks = 0;
};

class Generator {
 public:
  Generator(unsigned seed, bool japanese, std::int64_t codeDigits)
      : random_(seed), japanese_(japanese), codeDigits_(codeDigits) {}

  bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
  std::int64_t below(std::int64_t n) {
    return std::uniform_int_distribution<std::int64_t>(0, n - 1)(random_);
  }
  template <class T>
  const T& pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(below(static_cast<std::int64_t>(items.size())))];
  }

  std::string digits(std::int64_t maxLength) {
    std::string text;
    const std::int64_t length = below(maxLength + 1);
    for (std::int64_t i = 0; i < length; ++i) text += static_cast<char>('0' + below(10));
    return text;
  }
  std::string code() { return chance(0.3) ? std::string() : digits(codeDigits_); }

  std::string password() {
    if (chance(0.3)) return {};
    // Printable ASCII that every system encoding keeps as it is.
    static const std::string kAlphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 "
        "!#$%&()*+,-./:;<=>?@[]^_{|}";
    std::string text;
    const std::int64_t length = 1 + below(31);
    for (std::int64_t i = 0; i < length; ++i) {
      text += kAlphabet[static_cast<std::size_t>(below(std::int64_t(kAlphabet.size())))];
    }
    return text;
  }

  std::string loginName() {
    static const std::vector<std::string> kLatin = {"",
                                                    "jdoe",
                                                    "ad.user",
                                                    "first.last@example",
                                                    std::string(180, 'x'),
                                                    std::string(250, 'q'),
                                                    "Ren\u00e9e"};
    static const std::vector<std::string> kJapanese = {
        "", "yamada", "\u5c71\u7530\u592a\u90ce", "\u30ed\u30b0\u30a4\u30f3\u540d",
        // 120 two-byte characters: 240 bytes, stored in two pieces.
        repeat("\u3042", 120)};
    return pick(japanese_ ? kJapanese : kLatin);
  }

  std::string userName() {
    static const std::vector<std::string> kLatin = {"", "Jane Q. Public", "Zo\u00eb M\u00fcller",
                                                    "O'Brien", std::string(32, 'u')};
    static const std::vector<std::string> kJapanese = {"", "\u5c71\u7530\u592a\u90ce",
                                                       "Sato \u4f50\u85e4", "\u30e4\u30de\u30c0"};
    return pick(japanese_ ? kJapanese : kLatin);
  }

  std::string jobName(std::size_t limit) {
    static const std::vector<std::string> kLatin = {"", "Budget 2027", "Caf\u00e9 menu \"final\"",
                                                    std::string(80, 'j')};
    static const std::vector<std::string> kJapanese = {"", "\u5831\u544a\u66f8",
                                                       "\u4f1a\u8b70 memo", repeat("\u6587", 40)};
    std::string name = pick(japanese_ ? kJapanese : kLatin);
    return platform::utf16Substring(name, 0, japanese_ ? limit / 2 : limit);
  }

  std::string folderName() {
    static const std::vector<std::string> kLatin = {"", "Projects", "Caf\u00e9 receipts",
                                                    "Team A/2026"};
    static const std::vector<std::string> kJapanese = {"", "\u55b6\u696d\u90e8", "\u6cd5\u52d9",
                                                       "Team \u30a2"};
    return pick(japanese_ ? kJapanese : kLatin);
  }

  FolderList folderList() const {
    if (japanese_) {
      return {entry("\u55b6\u696d", false), entry("\u6cd5\u52d9", true), entry("Shared", false)};
    }
    return {entry("Sales", false), entry("Legal", true), entry("Caf\u00e9", false),
            entry("Archive 2025", true)};
  }

 private:
  static std::string repeat(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
  }
  static FolderEntry entry(const std::string& name, bool password) {
    FolderEntry folder;
    folder["name"] = name;
    folder["password"] = password;
    folder["dir"] = false;
    folder["add"] = false;
    return folder;
  }

  std::mt19937 random_;
  bool japanese_;
  std::int64_t codeDigits_;
};

class RoundTripTest : public TicketPanelTest {
 protected:
  std::shared_ptr<JC> panelWithFolders(std::shared_ptr<FakeHost> host, const FolderList& list) {
    auto jc = panelFor(std::move(host));
    jc->folderList = list;
    jc->makeFolderPopup();
    return jc;
  }

  Choice generate(Generator& g, const JC& jc, bool directory, std::size_t folders) {
    Choice c;
    c.retention = directory || g.chance(0.7);
    c.retentionRow = directory ? 0 : g.below(3);
    if (jc.folderSelectionPopup) {
      const std::int64_t pick = g.below(3);
      c.folder = pick < 2 ? pick : 3 + g.below(static_cast<std::int64_t>(folders));
      c.folderUnknown = c.folder >= 3 && g.chance(0.3);
    } else {
      // The active-directory printer always holds the job (hold only), which
      // quick file does not go with.
      c.folder = directory ? 1 + g.below(2) : g.below(3);
      c.folderName = g.folderName();
    }
    c.authenticationRow = g.below(2);
    c.passCode = g.code();
    c.login = g.loginName();
    c.password = g.password();
    c.userNumber = g.code();
    c.account = g.chance(0.3) ? std::string() : g.digits(5);
    c.userName = g.userName();
    c.jobName = g.jobName(kModelProfile.jobNameLimit);
    c.folderPassword = g.code();
    c.locks = static_cast<std::uint32_t>(g.below(512));
    return c;
  }

  /// Sets the panel as a user would: choices first, then texts, then locks,
  /// and finally the actions that drop what no longer applies.
  static void apply(JC& jc, const Choice& c) {
    if (jc.retentionCheckBox) {
      jc.retentionCheckBox->setState(c.retention ? platform::NSOnState : platform::NSOffState);
      jc.retentionCBoxProc(jc.retentionCheckBox);
    }
    if (jc.suspendMatrix) {
      jc.suspendMatrix->selectCellAtRow(c.retentionRow);
      jc.suspendKeyMatrixProc(jc.suspendMatrix);
    }
    if (c.retention && jc.folderSelectionPopup) {
      jc.folderSelectionPopup->selectItemAtIndex(c.folder);
      jc.folderSelectionPopUpButtonProc(jc.folderSelectionPopup);
    }
    if (c.retention && jc.folderSelectionMatrix) {
      jc.folderSelectionMatrix->selectCellAtRow(c.folder);
      jc.folderSelectionMatrixProc(jc.folderSelectionMatrix);
    }
    if (jc.authenticationMatrix) {
      jc.authenticationMatrix->selectCellAtRow(c.authenticationRow);
      jc.authenticationMatrixProc(jc.authenticationMatrix);
    }

    const std::pair<platform::TextField*, const std::string*> texts[] = {
        {jc.suspendKeyEditText, &c.passCode},   {jc.loginNameEditText, &c.login},
        {jc.passwordEditText, &c.password},     {jc.userNumberEditText, &c.userNumber},
        {jc.accountNumberEditText, &c.account}, {jc.userNameEditText, &c.userName},
        {jc.jobNameEditText, &c.jobName},       {jc.folderPasswordEditText, &c.folderPassword},
        {jc.folderNameEditText, &c.folderName}};
    for (const auto& [field, text] : texts) {
      if (field) field->setStringValue(*text);
    }

    using Action = void (JC::*)(platform::Object*);
    const std::tuple<platform::Button*, std::uint32_t, Action> locks[] = {
        {jc.suspendKeyButton, tk::kHoldPassCode, &JC::suspendKeyButtonProc},
        {jc.loginNameButton, tk::kHoldLoginName, &JC::loginNameButtonProc},
        {jc.passwordButton, tk::kHoldPassword, &JC::passwordButtonProc},
        {jc.userNameButton, tk::kHoldUserName, &JC::userNameButtonProc},
        {jc.jobNameButton, tk::kHoldJobName, &JC::jobNameButtonProc},
        {jc.folderPasswordButton, tk::kHoldFolderPassword, &JC::folderPasswordButtonProc},
        {jc.userNumberButton, tk::kHoldUserNumber, &JC::userNumberButtonProc},
        {jc.accountNumberButton, tk::kHoldAccountNumber, &JC::accountNumberButtonProc},
        {jc.folderNameButton, tk::kHoldFolderName, &JC::folderNameButtonProc},
    };
    for (const auto& [button, bit, action] : locks) {
      if (!button) continue;
      button->setState((c.locks & bit) ? platform::NSOnState : platform::NSOffState);
      (jc.*action)(button);
    }

    jc.retentionCBoxProc(jc.retentionCheckBox);
    jc.folderSelectionPopUpButtonProc(jc.folderSelectionPopup);
    if (jc.folderSelectionMatrix) jc.folderSelectionMatrixProc(jc.folderSelectionMatrix);
    jc.authenticationMatrixProc(jc.authenticationMatrix);
  }

  /// The text the writer keeps of a name: at most `limit` characters and
  /// bytes in the system encoding.
  static std::string cutToSystemBytes(const std::string& text, std::size_t limit) {
    std::vector<std::uint8_t> buffer(limit);
    const auto used = platform::CFStringGetBytes(text, limit, platform::CFStringGetSystemEncoding(),
                                                 0, buffer.data(), buffer.size());
    return platform::utf16Substring(text, 0, used.charactersUsed);
  }

  static std::string bullets(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < platform::utf16Length(text); ++i) out += "\u2022";
    return out;
  }

  /// What a restore shows after saving `s`: the same, except where the job
  /// ticket does not carry a value.
  static PanelSnapshot expectedAfterRestore(const PanelSnapshot& s, const JC& jc,
                                            const FolderList& list1, const FolderList& list2) {
    PanelSnapshot e = s;
    const bool directory = kModelProfile.readsPPDModelFlags && jc.active_directory;
    const bool filed = s.retention && jc.CheckHardDisk();

    // The pass code travels only with retention.
    if (!s.retention) e.passCode.clear();

    // Filing travels only with retention on a printer with a hard disk; a
    // custom folder comes back by name, found in the restoring panel's list.
    if (jc.folderSelectionPopup) {
      if (!filed) {
        e.folderItem = 1;
      } else if (s.folderItem >= 3) {
        const auto* name = list1[static_cast<std::size_t>(s.folderItem - 3)].at("name").asString();
        e.folderItem = 1;
        for (std::size_t i = 0; i < list2.size(); ++i) {
          if (*list2[i].at("name").asString() == *name) e.folderItem = 3 + std::int64_t(i);
        }
      }
    }
    if (jc.folderSelectionMatrix) {
      const bool custom = filed && s.folderRow == 2 && !s.folderName.empty();
      if (!filed || (s.folderRow == 2 && !custom)) e.folderRow = 1;
      if (!custom) e.folderName.clear();
    }

    // A lock on a secret or name comes back only with its entry.
    const std::pair<const std::string*, std::uint32_t> secrets[] = {
        {&e.passCode, tk::kHoldPassCode},
        {&e.password, tk::kHoldPassword},
        {&e.userNumber, tk::kHoldUserNumber},
        {&e.accountNumber, tk::kHoldAccountNumber},
        {&e.folderPassword, tk::kHoldFolderPassword}};
    for (const auto& [text, bit] : secrets) {
      if (text->empty()) e.locks &= ~bit;
    }

    // The active-directory printer knows the user by the OS login.
    const std::string login = loginNameOf(s);
    if (directory && login.empty()) {
      if (s.loginLockFlag) {
        e.heldLoginName = "jdoe";
        e.loginField = bullets("jdoe");
      } else if (s.authenticationRow == 0) {
        e.loginField = "jdoe";
      }
    }

    // The user name of the active-directory printer is its login name.
    std::string userName = directory ? cutToSystemBytes(login, 32) : s.userName;
    if (userName.empty()) {
      userName = directory ? "jdoe" : "Jane Doe";
      e.locks &= ~std::uint32_t(tk::kHoldUserName);
    }
    e.userName = userName;
    if (e.jobName.empty()) {
      e.jobName = "Quarterly Report";
      e.locks &= ~std::uint32_t(tk::kHoldJobName);
    }
    return e;
  }
};

TEST_F(RoundTripTest, GeneratedPanelStatesComeBack) {
  int checked = 0;
  for (std::size_t setupIndex = 0; setupIndex < std::size(kSetups); ++setupIndex) {
    const PrinterSetup& setup = kSetups[setupIndex];
    if (setup.vk7300Only && !kModelProfile.readsPPDModelFlags) continue;
    platform::setSystemEncodingOverride(setup.japanese ? platform::kCFStringEncodingMacJapanese
                                                       : platform::kCFStringEncodingMacRoman);
    const std::int64_t codeDigits = kModelProfile.passwordMax > 0 ? kModelProfile.passwordMax : 8;
    Generator g(1000 + static_cast<unsigned>(setupIndex), setup.japanese, codeDigits);

    for (int round = 0; round < 20; ++round) {
      SCOPED_TRACE(testing::Message() << setup.name << " round " << round);
      const FolderList list1 = g.folderList();
      auto host = makeHost(setup.ppdLines);
      auto first = panelWithFolders(host, list1);
      ASSERT_TRUE(first->restoreValuesAndReturnError(nullptr));  // empty ticket: defaults
      const bool directory = kModelProfile.readsPPDModelFlags && first->active_directory;
      const Choice choice = generate(g, *first, directory, list1.size());
      apply(*first, choice);
      const PanelSnapshot before = snapshot(*first);
      ASSERT_TRUE(first->saveValuesAndReturnError(nullptr));

      FolderList list2 = list1;
      if (choice.folderUnknown) list2.erase(list2.begin() + (choice.folder - 3));
      auto second = panelWithFolders(host, list2);
      ASSERT_TRUE(second->restoreValuesAndReturnError(nullptr));
      const PanelSnapshot after = snapshot(*second);
      EXPECT_EQ(after, expectedAfterRestore(before, *second, list1, list2))
          << "saved from " << before;

      // What came back is saved and restored unchanged.
      ASSERT_TRUE(second->saveValuesAndReturnError(nullptr));
      auto third = panelWithFolders(host, list2);
      ASSERT_TRUE(third->restoreValuesAndReturnError(nullptr));
      EXPECT_EQ(snapshot(*third), after);
      ++checked;
    }
  }
  EXPECT_GE(checked, 40);
}

}  // namespace
}  // namespace jwtest
