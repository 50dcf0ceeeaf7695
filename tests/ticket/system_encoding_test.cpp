// SPDX-License-Identifier: Apache-2.0
// The job ticket in the system encoding of each language: names with the
// characters where the Mac encodings differ from the Windows code pages are
// written as Apple's tables give their bytes, and read back unchanged.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pde/JC.h"
#include "platform/encoding.h"
#include "ticket/credentials.h"
#include "ticket/keys.h"
#include "ticket/ticket_panel.h"

namespace jwtest {
namespace {

/// One language, a name in it and that name's bytes in the language's
/// system encoding (from Apple's mapping tables).
struct LanguageCase {
  const char* language;
  platform::CFStringEncoding encoding;
  const char* name;
  const char* nameHex;
  bool latin1Variant;  ///< the keys ending in 2 carry Windows Latin 1
};

const LanguageCase kLanguages[] = {
    // ¥100 \ © ™ ①: 5C 313030 20 80 20 FD 20 FE 20 8540
    {"ja", platform::kCFStringEncodingMacJapanese,
     "\xC2\xA5"
     "100 \\ \xC2\xA9 \xE2\x84\xA2 \xE2\x91\xA0",
     "5C313030208020FD20FE208540", false},
    // 繁 © ™: C163 20 FD 20 FE
    {"zh-Hant", platform::kCFStringEncodingMacChineseTrad, "\xE7\xB9\x81 \xC2\xA9 \xE2\x84\xA2",
     "C16320FD20FE", false},
    // 한 ₩ ©: C7D1 20 81 20 83
    {"ko", platform::kCFStringEncodingMacKorean, "\xED\x95\x9C \xE2\x82\xA9 \xC2\xA9",
     "C7D120812083", false},
    // 简 © ™: BCF2 20 FD 20 FE
    {"zh-Hans", platform::kCFStringEncodingMacChineseSimp, "\xE7\xAE\x80 \xC2\xA9 \xE2\x84\xA2",
     "BCF220FD20FE", false},
    // Café † €: 43 61 66 8E 20 A0 20 DB
    {"en", platform::kCFStringEncodingMacRoman, "Caf\xC3\xA9 \xE2\x80\xA0 \xE2\x82\xAC",
     "4361668E20A020DB", true},
    // Жук €: 86 E3 EA 20 FF
    {"ru", platform::kCFStringEncodingMacCyrillic, "\xD0\x96\xD1\x83\xD0\xBA \xE2\x82\xAC",
     "86F3EA20FF", true},
};

/// The login name inside `loginName1`: Base64 of the fixed-key cipher.
std::string loginNameBytes(const std::string& base64) {
  std::vector<std::uint8_t> cipher(static_cast<std::size_t>(Base64decode_len(base64.c_str())));
  const std::int32_t n = Base64decode(cipher.data(), base64.c_str(), cipher.size());
  std::vector<std::uint8_t> plain(static_cast<std::size_t>(n) + 1, 0);
  my_aes_decrypt(cipher.data(), static_cast<std::size_t>(n), plain.data(), plain.size());
  return reinterpret_cast<const char*>(plain.data());
}

std::string hexOf(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

class SystemEncodingTicketTest : public TicketPanelTest {
 protected:
  void TearDown() override {
    platform::setSystemEncodingOverride(std::nullopt);
    TicketPanelTest::TearDown();
  }

  std::optional<std::string> value(FakeHost& host, const std::string& shortName) {
    return host.settings.value(ticketKey(shortName));
  }
};

TEST_F(SystemEncodingTicketTest, NamesAreWrittenInTheLanguagesTableAndReadBack) {
  for (const LanguageCase& c : kLanguages) {
    SCOPED_TRACE(c.language);
    ASSERT_EQ(platform::systemEncodingForLanguage(c.language), c.encoding);
    platform::setSystemEncodingOverride(platform::systemEncodingForLanguage(c.language));
    const std::string expected = c.nameHex;

    auto host = makeHost();
    auto first = panelFor(host);
    ASSERT_TRUE(first->restoreValuesAndReturnError(nullptr));
    first->folderList = FolderList{[&] {
      FolderEntry folder;
      folder["name"] = std::string(c.name);
      folder["password"] = false;
      folder["dir"] = false;
      folder["add"] = false;
      return folder;
    }()};
    first->makeFolderPopup();
    if (first->retentionCheckBox) {
      first->retentionCheckBox->setState(platform::NSOnState);
      first->retentionCBoxProc(first->retentionCheckBox);
    }
    if (first->folderSelectionPopup) {
      first->folderSelectionPopup->selectItemAtIndex(3);
      first->folderSelectionPopUpButtonProc(first->folderSelectionPopup);
    }
    if (first->authenticationMatrix) {
      first->authenticationMatrix->selectCellAtRow(0);
      first->authenticationMatrixProc(first->authenticationMatrix);
    }
    first->userNameEditText->setStringValue(c.name);
    first->jobNameEditText->setStringValue(c.name);
    if (first->loginNameEditText) first->loginNameEditText->setStringValue(c.name);
    ASSERT_TRUE(first->saveValuesAndReturnError(nullptr));

    EXPECT_EQ(value(*host, "userName"), expected);
    EXPECT_EQ(value(*host, "jobName"), expected);
    if (!c.latin1Variant) {
      EXPECT_EQ(value(*host, "userName2"), expected);
      EXPECT_EQ(value(*host, "jobName2"), expected);
    }
    if (first->CheckHardDisk() && first->folderSelectionPopup) {
      EXPECT_EQ(value(*host, "folderPath"), expected);
    }
    if (first->loginNameEditText) {
      const auto login = value(*host, "loginName11");
      ASSERT_TRUE(login);
      EXPECT_EQ(hexOf(loginNameBytes(*login)), expected);
    }

    auto second = restored(host);
    EXPECT_EQ(second->userNameEditText->stringValue(), c.name);
    EXPECT_EQ(second->jobNameEditText->stringValue(), c.name);
    if (second->loginNameEditText) {
      EXPECT_EQ(second->loginNameEditText->stringValue(), c.name);
    }
    if (first->CheckHardDisk() && second->folderSelectionPopup) {
      EXPECT_EQ(second->folderNameStringRef.value_or(""), c.name);
    }
  }
}

}  // namespace
}  // namespace jwtest
