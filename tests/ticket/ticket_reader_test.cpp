// SPDX-License-Identifier: Apache-2.0
// Restoring the panel from a job ticket: defaults, the single entries, the
// remembered values that win once, the active-directory cases and hostile
// values. Tickets are built with the value notations of ticket/keys.h, whose
// cipher forms are checked against fixed vectors in keys_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pde/JC.h"
#include "platform/encoding.h"
#include "platform/print_settings.h"
#include "platform/system.h"
#include "ticket/credentials.h"
#include "ticket/keys.h"
#include "ticket/ticket_decoding.h"
#include "ticket/ticket_panel.h"
#include "ticket/value_helpers.h"

using jobwick::kModelProfile;
namespace tk = jobwick::ticket;

namespace jwtest {
namespace {

bool isVk7300() {
  return std::string(kModelProfile.model) == "vk7300";
}

/// The hex text of the fixed-key cipher of raw bytes, which the notations of
/// keys.h cannot make (they stop at a zero byte like the writer does).
std::string hexCipherOfBytes(const std::string& bytes, std::size_t cipherBytes) {
  std::vector<std::uint8_t> plain(bytes.begin(), bytes.end());
  plain.push_back(0);
  std::vector<std::uint8_t> cipher(cipherBytes, 0);
  my_aes_encrypt(reinterpret_cast<const char*>(plain.data()), cipher.data(), cipher.size());
  return tk::hexOfBytes(std::string(cipher.begin(), cipher.end()));
}

class TicketReaderTest : public TicketPanelTest {};

// ---- Defaults ----

TEST_F(TicketReaderTest, EmptyTicketGivesTheDefaults) {
  auto jc = restored(makeHost());
  const PanelSnapshot s = snapshot(*jc);
  EXPECT_FALSE(s.retention);
  EXPECT_EQ(s.retentionRow, 0);
  // Main folder on whichever folder control the interface file has.
  EXPECT_TRUE(s.folderItem == 1 || s.folderRow == 1) << s;
  EXPECT_EQ(s.authenticationRow, 0);
  EXPECT_EQ(s.userName, "Jane Doe");
  EXPECT_EQ(s.jobName, "Quarterly Report");
  EXPECT_EQ(s.loginField, "");
  EXPECT_EQ(s.passCode, "");
  EXPECT_EQ(s.password, "");
  EXPECT_EQ(s.userNumber, "");
  EXPECT_EQ(s.accountNumber, "");
  EXPECT_EQ(s.folderPassword, "");
  EXPECT_EQ(s.locks, 0u);
  EXPECT_FALSE(s.loginLockFlag);
}

TEST_F(TicketReaderTest, MissingUserNamesAndJobNameLeaveWhatThePlatformGives) {
  platform::setUserNamesOverride(std::string("jdoe"), std::nullopt);
  auto host = makeHost();
  host->settings.setJobName(std::nullopt);
  auto jc = restored(host);
  // No full name: the field keeps its (empty) interface-file text; no job
  // name: empty.
  EXPECT_EQ(snapshot(*jc).jobName, "");
  EXPECT_EQ(snapshot(*jc).userName, "");
}

// ---- Retention ----

TEST_F(TicketReaderTest, JobSuspendSelectsRetentionAndRow) {
  struct Case {
    const char* value;
    bool on;
    std::int64_t row;
  };
  const Case cases[] = {{"1", true, 1},  {"2", true, 0}, {"3", true, 2},  {"0", false, 0},
                        {"9", false, 0}, {"", false, 0}, {"2x", true, 0}, {"x2", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    auto host = makeHost();
    put(*host, "jobSuspend", c.value);
    auto jc = restored(host);
    EXPECT_EQ(snapshot(*jc).retention, c.on);
    EXPECT_EQ(snapshot(*jc).retentionRow, c.row);
  }
}

TEST_F(TicketReaderTest, ActiveDirectoryAlwaysHoldsTheJob) {
  if (!isVk7300()) GTEST_SKIP() << "only the vk7300 build reads the active-directory flag";
  for (const char* value : std::initializer_list<const char*>{"0", "1", "3", nullptr}) {
    SCOPED_TRACE(value ? value : "(absent)");
    auto host = makeHost(activeDirectoryPPD());
    if (value) put(*host, "jobSuspend", value);
    auto jc = restored(host);
    ASSERT_TRUE(jc->active_directory);
    EXPECT_TRUE(snapshot(*jc).retention);
    EXPECT_EQ(snapshot(*jc).retentionRow, 0);
  }
}

// ---- Secrets and locks ----

TEST_F(TicketReaderTest, HoldButtonLocksFieldsThatHaveAnEntry) {
  auto host = makeHost();
  put(*host, "holdButton", "4");
  put(*host, "password2", tk::aesFHex64("s3cret pass"));
  auto jc = restored(host);
  EXPECT_EQ(snapshot(*jc).password, "s3cret pass");
  EXPECT_EQ(snapshot(*jc).locks, unsigned(tk::kHoldPassword));

  // The bit alone, without the entry, locks nothing.
  auto bare = makeHost();
  put(*bare, "holdButton", "4");
  auto jc2 = restored(bare);
  EXPECT_EQ(snapshot(*jc2).password, "");
  EXPECT_EQ(snapshot(*jc2).locks, 0u);
}

TEST_F(TicketReaderTest, SecretsDecodeFromTheirCipherForms) {
  auto host = makeHost();
  put(*host, "jobSuspend", "2");
  put(*host, "jobSuspend2Key", tk::aesFHex32("4321"));
  put(*host, "Authentication", "0");
  put(*host, "userNumber2", tk::aesFHex32("12345678"));
  put(*host, "accountNumber2", tk::aesFHex32("99"));
  put(*host, "password2", tk::aesFHex64("a password of twenty"));  // two blocks
  put(*host, "holdButton", "96");  // folder password and user number locked
  put(*host, "folderPassword2", tk::aesFHex32("555"));
  auto jc = restored(host);
  const PanelSnapshot s = snapshot(*jc);
  EXPECT_EQ(s.passCode, "4321");
  EXPECT_EQ(s.authenticationRow, 1);
  EXPECT_EQ(s.userNumber, "12345678");
  EXPECT_EQ(s.accountNumber, "99");
  // The user-number method clears the unlocked password.
  EXPECT_EQ(s.password, "");
  EXPECT_EQ(s.folderPassword, "555");
  EXPECT_EQ(s.locks, unsigned(tk::kHoldUserNumber | tk::kHoldFolderPassword));
}

TEST_F(TicketReaderTest, PasswordOfOneFullBlockComesBackWithoutNoise) {
  // 16 bytes fill the first cipher block; the 64-digit form adds a block of
  // zeros, which must not be deciphered into the password.
  const std::string sixteen = "0123456789abcdef";
  for (const std::string& password : {sixteen, sixteen + "g", std::string("short")}) {
    SCOPED_TRACE(password);
    auto host = makeHost();
    put(*host, "password2", tk::aesFHex64(password));
    auto jc = restored(host);
    EXPECT_EQ(snapshot(*jc).password, password);

    // The remembered password has the same form.
    auto jc2 = panelFor(makeHost());
    jc2->prefHoldButtonFlag = tk::kHoldPassword;
    jc2->prefPasswordStringRef = tk::aesFHex64(password);
    ASSERT_TRUE(jc2->restoreValuesAndReturnError(nullptr));
    EXPECT_EQ(snapshot(*jc2).password, password);
  }
}

TEST_F(TicketReaderTest, CodesLongerThanTheModelTakesAreNotShown) {
  auto host = makeHost();
  put(*host, "jobSuspend", "2");
  put(*host, "jobSuspend2Key", tk::aesFHex32("123456"));
  put(*host, "accountNumber2", tk::aesFHex32("123456"));
  put(*host, "folderPassword2", tk::aesFHex32("123456"));
  put(*host, "holdButton", "160");  // folder password and account number locked
  put(*host, "Authentication", "0");
  put(*host, "userNumber2", tk::aesFHex32("123456"));
  auto jc = restored(host);
  const PanelSnapshot s = snapshot(*jc);
  const std::string expected = jc->getPasswordMax() > 0 ? "" : "123456";
  EXPECT_EQ(s.passCode, expected);
  EXPECT_EQ(s.accountNumber, expected);
  EXPECT_EQ(s.folderPassword, expected);
  // The user number has no such limit, and the locks follow the ticket.
  EXPECT_EQ(s.userNumber, "123456");
  EXPECT_EQ(s.locks, unsigned(tk::kHoldFolderPassword | tk::kHoldAccountNumber));
}

TEST_F(TicketReaderTest, RememberedPassCodeWinsOnceThenTheTicket) {
  auto host = makeHost();
  put(*host, "jobSuspend", "2");
  put(*host, "jobSuspend2Key", tk::aesFHex32("1111"));
  auto jc = panelFor(host);
  jc->prefHoldButtonFlag = tk::kHoldPassCode | tk::kHoldJobName;
  jc->prefSuspendKeyStringRef = tk::aesFHex32("2222");
  jc->prefJobNameStringRef = "Remembered job";

  ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
  EXPECT_EQ(snapshot(*jc).passCode, "2222");
  EXPECT_EQ(snapshot(*jc).jobName, "Remembered job");
  EXPECT_EQ(snapshot(*jc).locks, unsigned(tk::kHoldPassCode | tk::kHoldJobName));
  EXPECT_EQ(jc->prefHoldButtonFlag, 0u);

  ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
  EXPECT_EQ(snapshot(*jc).passCode, "1111");
  EXPECT_EQ(snapshot(*jc).jobName, "Quarterly Report");
  EXPECT_EQ(snapshot(*jc).locks, 0u);
}

TEST_F(TicketReaderTest, RememberedBitWithoutValueLocksAndShowsTheTicket) {
  auto host = makeHost();
  put(*host, "password2", tk::aesFHex64("from ticket"));
  auto jc = panelFor(host);
  jc->prefHoldButtonFlag = tk::kHoldPassword;
  ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
  EXPECT_EQ(snapshot(*jc).password, "from ticket");
  EXPECT_EQ(snapshot(*jc).locks, unsigned(tk::kHoldPassword));
}

TEST_F(TicketReaderTest, RememberedAuthenticationWinsWhileAnAuthenticationEntryIsRemembered) {
  struct Case {
    std::uint32_t prefBits;
    std::optional<bool> remembered;
    const char* ticket;
    std::int64_t row;
  };
  const Case cases[] = {
      {tk::kHoldUserNumber, false, "1", 1},         // remembered user-number method wins
      {tk::kHoldPassword, true, "0", 0},            // remembered login method wins
      {tk::kHoldJobName, false, "1", 0},            // no authentication entry remembered
      {tk::kHoldUserNumber, std::nullopt, "0", 1},  // nothing remembered: the ticket
      {0, std::nullopt, nullptr, 0},                // neither: login method
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.prefBits << " " << (c.ticket ? c.ticket : "-"));
    auto host = makeHost();
    if (c.ticket) put(*host, "Authentication", c.ticket);
    auto jc = panelFor(host);
    jc->prefHoldButtonFlag = c.prefBits;
    jc->prefAuthenticationBooleanRef = c.remembered;
    ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
    EXPECT_EQ(snapshot(*jc).authenticationRow, c.row);
  }
}

// ---- Login name ----

TEST_F(TicketReaderTest, LoginNameInOneOrTwoPieces) {
  // 200 bytes: a cipher of 208 bytes, 280 Base64 characters, two pieces.
  const std::string longName(200, 'n');
  const std::string base64 = tk::aesFBase64(longName);
  ASSERT_GT(base64.size(), tk::kPieceLength);
  for (const std::string& name : {std::string("alice"), longName}) {
    SCOPED_TRACE(name.size());
    auto host = makeHost();
    MyMultiPMPrintSetAsciiCStrValue(&host->settings, tk::keys::kLoginName1,
                                    tk::aesFBase64(name).c_str());
    put(*host, "holdButton", "2");
    auto jc = restored(host);
    const PanelSnapshot s = snapshot(*jc);
    EXPECT_EQ(s.heldLoginName, name);
    EXPECT_TRUE(s.loginLockFlag);
    EXPECT_EQ(platform::utf16Length(s.loginField), name.size());  // one bullet per unit
    EXPECT_EQ(s.locks, unsigned(tk::kHoldLoginName));
  }
}

TEST_F(TicketReaderTest, SecondPieceAloneIsNoLoginName) {
  auto host = makeHost();
  put(*host, "loginName12", tk::aesFBase64("stray"));
  auto jc = restored(host);
  EXPECT_EQ(snapshot(*jc).loginField, "");
  EXPECT_EQ(snapshot(*jc).locks, 0u);
}

TEST_F(TicketReaderTest, ActiveDirectoryRestoresOneAndTwoPieceNamesElseTheOsUser) {
  if (!isVk7300()) GTEST_SKIP() << "only the vk7300 build reads the active-directory flag";
  const std::string longName(200, 'd');
  struct Case {
    std::optional<std::string> name;
    const char* holdButton;
    std::string expected;
    bool locked;
  };
  const Case cases[] = {
      {std::string("ad.user"), nullptr, "ad.user", false},  // one piece: restored
      {longName, nullptr, longName, false},                 // two pieces
      {std::nullopt, nullptr, "jdoe", false},               // none: the OS user
      {std::nullopt, "2", "jdoe", true},                    // the lock still follows the mask
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.substr(0, 10));
    auto host = makeHost(activeDirectoryPPD());
    if (c.name) {
      MyMultiPMPrintSetAsciiCStrValue(&host->settings, tk::keys::kLoginName1,
                                      tk::aesFBase64(*c.name).c_str());
    }
    if (c.holdButton) put(*host, "holdButton", c.holdButton);
    auto jc = restored(host);
    const PanelSnapshot s = snapshot(*jc);
    EXPECT_EQ(loginNameOf(s), c.expected);
    EXPECT_EQ(s.loginLockFlag, c.locked);
    // Without a ticket user name the user name is the OS user's short name.
    EXPECT_EQ(s.userName, "jdoe");
  }
}

TEST_F(TicketReaderTest, RememberedLoginNameIsMaskedAndHeld) {
  auto host = makeHost();
  MyMultiPMPrintSetAsciiCStrValue(&host->settings, tk::keys::kLoginName1,
                                  tk::aesFBase64("ticket.user").c_str());
  auto jc = panelFor(host);
  jc->prefHoldButtonFlag = tk::kHoldLoginName;
  jc->prefLoginNameStringRef = tk::aesFBase64("kept.user");
  jc->prefAuthenticationBooleanRef = true;
  ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
  EXPECT_EQ(snapshot(*jc).heldLoginName, "kept.user");
  EXPECT_EQ(snapshot(*jc).loginField, "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022");

  // The next restore unmasks, then shows the ticket's unlocked name.
  ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
  EXPECT_EQ(snapshot(*jc).loginField, "ticket.user");
  EXPECT_FALSE(snapshot(*jc).loginLockFlag);
  EXPECT_FALSE(jc->loginNameStringRef.has_value());
}

// ---- Filing ----

TEST_F(TicketReaderTest, FilingChoosesTheDestination) {
  const FolderList folders = {
      {{"name", std::string("Sales")}, {"password", false}},
      {{"name", std::string("Legal")}, {"password", true}},
  };
  struct Case {
    const char* filing;
    std::optional<std::string> folder;
    std::int64_t item;  // pop-up item on the vk7300 build
  };
  const Case cases[] = {
      {"1", std::nullopt, 0},            // quick file
      {"2", std::nullopt, 1},            // main folder
      {"3", std::nullopt, 1},            // custom without a folder: main folder
      {"3", std::string("legal"), 4},    // found without regard to case
      {"3", std::string("Archive"), 1},  // unknown to the list: main folder
      {"0", std::string("Sales"), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.filing << " " << c.folder.value_or("-"));
    auto host = makeHost();
    put(*host, "jobSuspend", "1");
    put(*host, "filing", c.filing);
    if (c.folder) put(*host, "folderPath", tk::hexOfBytes(*c.folder));
    auto jc = panelFor(host);
    jc->folderList = folders;
    jc->makeFolderPopup();
    ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
    // The model without a hard disk files nothing, but the restore still
    // follows the ticket it is given.
    EXPECT_EQ(jc->folderSelectionPopup->indexOfSelectedItem(), c.item);
    if (c.filing[0] == '3' && c.folder) {
      EXPECT_EQ(jc->folderNameStringRef, c.folder);
    }
  }
}

TEST_F(TicketReaderTest, CustomFolderOnTheFolderMatrix) {
  if (!isVk7300()) GTEST_SKIP() << "only the active-directory panel has the folder matrix";
  auto host = makeHost(activeDirectoryPPD());
  put(*host, "filing", "3");
  put(*host, "folderPath", tk::hexOfBytes("Projects/2026"));
  put(*host, "holdButton", "256");
  auto jc = restored(host);
  const PanelSnapshot s = snapshot(*jc);
  EXPECT_EQ(s.folderRow, 2);
  EXPECT_EQ(s.folderName, "Projects/2026");
  EXPECT_EQ(s.locks, unsigned(tk::kHoldFolderName));

  // A remembered folder name wins and locks, whatever the ticket says.
  auto host2 = makeHost(activeDirectoryPPD());
  put(*host2, "filing", "2");
  auto jc2 = panelFor(host2);
  jc2->prefHoldButtonFlag = tk::kHoldFolderName;
  jc2->prefFolderNameStringRef = "Remembered";
  ASSERT_TRUE(jc2->restoreValuesAndReturnError(nullptr));
  EXPECT_EQ(snapshot(*jc2).folderName, "Remembered");
  EXPECT_EQ(snapshot(*jc2).locks, unsigned(tk::kHoldFolderName));
}

// ---- Names and encodings ----

TEST_F(TicketReaderTest, NamesReadInTheSystemEncoding) {
  platform::setSystemEncodingOverride(platform::kCFStringEncodingMacJapanese);
  auto host = makeHost();
  // "Yamada" and "report" in MacJapanese bytes.
  put(*host, "userName", "8E529363");
  put(*host, "jobName", "95F18D90");
  put(*host, "holdButton", "24");
  auto jc = restored(host);
  EXPECT_EQ(snapshot(*jc).jobName, "\u5831\u544a");
  EXPECT_EQ(snapshot(*jc).locks, unsigned(tk::kHoldUserName | tk::kHoldJobName));
  EXPECT_EQ(snapshot(*jc).userName, "\u5c71\u7530");
}

// ---- Hostile values ----

/// Values a damaged or forged ticket may hold.
std::vector<std::string> nastyValues() {
  std::vector<std::string> values = {
      "",
      "0",
      "Z",
      "ZZ",
      "ABC",                     // odd length
      "zz!!??",                  // not hex, not Base64
      "====",                    // Base64 fill only
      "QUJD\nREVG",              // line break inside Base64
      "\xC3\xA9\xC3\xA9",        // not ASCII
      std::string("AB\0CD", 5),  // zero inside
      "-1",
      "99999999999999999999",
      "4abc",
      std::string(255, 'F'),
      std::string(256, 'F'),
      std::string(511, 'A'),
      std::string(3058, 'E'),
      std::string(100000, '9'),
      "+/+/+/+/+/+/",
  };
  // Bytes MacJapanese does not read: ciphers of a cut two-byte character and
  // of bytes it leaves undefined, and a name of lead bytes only.
  values.push_back(hexCipherOfBytes("AB\x81", 16));
  values.push_back(hexCipherOfBytes("\xA0\xFD\xFE\xFF", 32));
  values.push_back(tk::hexOfBytes(std::string(200, '\x81')));
  return values;
}

/// Every key the reader reads, with its short name.
const std::vector<std::string>& readKeys() {
  static const std::vector<std::string> keys = {
      "holdButton",     "jobSuspend",  "jobSuspend2Key", "filing",         "folderPath",
      "Authentication", "loginName11", "loginName12",    "password2",      "userNumber2",
      "accountNumber2", "userName",    "jobName",        "folderPassword2"};
  return keys;
}

TEST_F(TicketReaderTest, HostileValuesNeverBreakTheRestore) {
  for (const auto encoding :
       {platform::kCFStringEncodingMacRoman, platform::kCFStringEncodingMacJapanese}) {
    platform::setSystemEncodingOverride(encoding);
    for (bool directory : {false, true}) {
      if (directory && !isVk7300()) continue;
      for (const std::string& value : nastyValues()) {
        SCOPED_TRACE(testing::Message() << "encoding " << encoding << " directory " << directory
                                        << " value " << value.substr(0, 24));
        // Every key at once, with filing "3" so that folderPath is read.
        auto host = makeHost(directory ? activeDirectoryPPD() : std::vector<std::string>{});
        for (const std::string& key : readKeys()) put(*host, key, value);
        put(*host, "filing", "3");
        auto jc = restored(host);
        ASSERT_TRUE(jc);
        const PanelSnapshot s = snapshot(*jc);
        EXPECT_TRUE(allTextsValid(s)) << s;
        EXPECT_TRUE(jc->folderNameStringRef.has_value());
        // A second restore, and saving what was restored, stay sound too.
        ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
        ASSERT_TRUE(jc->saveValuesAndReturnError(nullptr));
      }
    }
  }
}

TEST_F(TicketReaderTest, DamagedValuesShowWhatDecodes) {
  platform::setSystemEncodingOverride(platform::kCFStringEncodingMacJapanese);
  auto host = makeHost();
  put(*host, "jobSuspend", "2");
  // Deciphers to "12" and a cut two-byte character: shown as "12".
  put(*host, "jobSuspend2Key", hexCipherOfBytes("12\x81", 16));
  // A name whose bytes do not read at all counts as none: the default name.
  // (0x81 leads a two-byte character, whose second byte cannot be 0x20.)
  put(*host, "userName", "81208120");
  // A job name cut inside its last character keeps the characters before.
  put(*host, "jobName", tk::hexOfBytes("Plan \x95\xf1\x8d"));
  // Too long for the value buffer: read as empty.
  put(*host, "password2", std::string(256, 'A'));
  // Odd length: the unpaired digit is read as if followed by '0'.
  put(*host, "Authentication", "0");
  put(*host, "userNumber2", tk::aesFHex32("77").substr(0, 31));
  auto jc = restored(host);
  const PanelSnapshot s = snapshot(*jc);
  EXPECT_EQ(s.passCode, "12");
  EXPECT_EQ(s.userName, "Jane Doe");
  EXPECT_EQ(s.jobName, "Plan \u5831");
  EXPECT_EQ(s.password, "");
  EXPECT_TRUE(platform::isValidUtf8(s.userNumber));
  EXPECT_NE(s.userNumber, "77");
}

TEST_F(TicketReaderTest, HoldButtonOutsideTheMaskLocksNothing) {
  struct Case {
    const char* value;
    std::uint32_t mask;
  };
  const Case cases[] = {{"4", 4},     {" 4", 4},         {"4abc", 4}, {"+4", 4},
                        {"511", 511}, {"512", 0},        {"-1", 0},   {"-4", 0},
                        {"abc", 0},   {"4294967300", 0}, {"", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(tk::holdButtonMaskOf(c.value), c.mask);
  }
  auto host = makeHost();
  put(*host, "holdButton", "-1");
  put(*host, "password2", tk::aesFHex64("pw"));
  put(*host, "userName", tk::hexOfBytes("Someone"));
  auto jc = restored(host);
  EXPECT_EQ(snapshot(*jc).locks, 0u);
  EXPECT_EQ(jc->presetHoldButtonFlag, 0u);
}

TEST(TicketDecoding, LongestReadablePrefix) {
  const auto japanese =
      platform::CFStringConvertEncodingToNSStringEncoding(platform::kCFStringEncodingMacJapanese);
  EXPECT_EQ(tk::textInEncoding("A\x81", japanese), "A");
  EXPECT_EQ(tk::textInEncoding(std::string("A\0\x81", 3), japanese), "A");
  EXPECT_EQ(tk::textInEncoding("\x81", japanese), "");
  EXPECT_EQ(tk::textInEncoding("abc", 0), "");  // unknown encoding
  EXPECT_EQ(tk::asciiText(std::string(255, 'x'), 255), std::string(255, 'x'));
  EXPECT_EQ(tk::asciiText(std::string(256, 'x'), 255), "");
  EXPECT_EQ(tk::asciiText("x\xC3\xA9", 255), "");
  EXPECT_EQ(tk::textOfHexSecret("", 16, platform::NSUTF8StringEncoding), "");
  EXPECT_EQ(tk::textOfHexSecret(tk::aesFHex32("12345"), 16, platform::NSUTF8StringEncoding, 5),
            "12345");
  EXPECT_EQ(tk::textOfHexSecret(tk::aesFHex32("123456"), 16, platform::NSUTF8StringEncoding, 5),
            "");
  EXPECT_EQ(tk::textOfBase64Secret(tk::aesFBase64("abc") + "!junk", platform::NSUTF8StringEncoding),
            "abc");
}

}  // namespace
}  // namespace jwtest
