// SPDX-License-Identifier: Apache-2.0
// No secret typed into the panel is left readable: after whole sessions
// (typing, locking, saving, printing, fetching, a second dialog that loads
// the remembered entries), the pass code, passwords, user and account
// numbers and login name appear neither as plain text nor as hexadecimal
// text of their bytes (either letter case) in the print settings, the
// preference files, the temporary folder with the response file, or what
// the plug-in writes to standard output and standard error.
//
// The job ticket's `userNumber` and `accountNumber` entries carry the
// numbers in plain text for the driver's filter; those two keys are the
// only ones left out of the scan.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pde/JC.h"
#include "platform/controls.h"
#include "support/harness.h"
#include "ticket/keys.h"

namespace jwtest {
namespace {

namespace fs = std::filesystem;

struct Secret {
  const char* what;
  std::string text;
};

std::string hexOf(const std::string& bytes, bool upper) {
  static const char* digits[] = {"0123456789abcdef", "0123456789ABCDEF"};
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[upper][c >> 4];
    out += digits[upper][c & 15];
  }
  return out;
}

// Where `haystack` shows `secret` readably, or "".
std::string exposure(const std::string& haystack, const std::string& secret) {
  if (haystack.find(secret) != std::string::npos) return "plain text";
  if (haystack.find(hexOf(secret, true)) != std::string::npos) return "upper-case hex";
  if (haystack.find(hexOf(secret, false)) != std::string::npos) return "lower-case hex";
  return "";
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SecretsScanTest : public ControllerTest {
 protected:
  // Digits only and at most five of them, which every field of both models
  // takes; long enough not to turn up by chance in the cipher texts.
  const std::vector<Secret> secrets = {
      {"pass code", "73915"},      {"folder password", "48263"}, {"user number", "61842"},
      {"account number", "95173"}, {"password", "Pw9Kx2Lq"},     {"login name", "svc.jwtest"},
  };

  // One dialog: type every secret, lock every field, save, print, fetch.
  void session(std::shared_ptr<FakeHost> host, int authenticationRow) {
    auto jc = makeController(host);
    ASSERT_TRUE(jc);
    ASSERT_NE(showPanel(*jc), nullptr);
    jc->restoreValuesAndReturnError(nullptr);

    if (jc->retentionCheckBox) {
      jc->retentionCheckBox->setState(platform::NSOnState);
      jc->retentionCBoxProc(jc->retentionCheckBox);
    }
    if (jc->authenticationMatrix) {
      jc->authenticationMatrix->selectCellAtRow(authenticationRow);
      jc->authenticationMatrixProc(jc->authenticationMatrix);
    }
    const std::pair<platform::TextField*, std::string> texts[] = {
        {jc->suspendKeyEditText, secrets[0].text}, {jc->folderPasswordEditText, secrets[1].text},
        {jc->userNumberEditText, secrets[2].text}, {jc->accountNumberEditText, secrets[3].text},
        {jc->passwordEditText, secrets[4].text},   {jc->loginNameEditText, secrets[5].text},
        {jc->folderNameEditText, "Board Room"},
    };
    for (const auto& [field, text] : texts) {
      if (field) field->setStringValue(text);
    }
    using Action = void (JC::*)(platform::Object*);
    const std::pair<platform::Button*, Action> locks[] = {
        {jc->suspendKeyButton, &JC::suspendKeyButtonProc},
        {jc->loginNameButton, &JC::loginNameButtonProc},
        {jc->passwordButton, &JC::passwordButtonProc},
        {jc->userNameButton, &JC::userNameButtonProc},
        {jc->jobNameButton, &JC::jobNameButtonProc},
        {jc->folderPasswordButton, &JC::folderPasswordButtonProc},
        {jc->userNumberButton, &JC::userNumberButtonProc},
        {jc->accountNumberButton, &JC::accountNumberButtonProc},
        {jc->folderNameButton, &JC::folderNameButtonProc},
    };
    for (const auto& [button, action] : locks) {
      if (!button) continue;
      button->setState(platform::NSOnState);
      ((*jc).*action)(button);
    }
    EXPECT_TRUE(jc->saveValuesAndReturnError(nullptr));
    EXPECT_TRUE(jc->shouldPrint());
    jc->summaryInfo();
    // A fetch without an address parses the answer on file and caches it.
    if (jc->printersAddressEditText && jc->getFolderNameButton) {
      jc->printersAddressEditText->setStringValue("");
      jc->getFolderNameButtonProc(jc->getFolderNameButton);
    }
    // The next dialog restores the remembered entries and saves them again.
    auto again = makeController(host);
    ASSERT_TRUE(again);
    ASSERT_NE(showPanel(*again), nullptr);
    again->restoreValuesAndReturnError(nullptr);
    again->saveValuesAndReturnError(nullptr);
    EXPECT_TRUE(again->shouldPrint());
  }

  void expectNoSecretIn(const std::string& where, const std::string& bytes) {
    for (const Secret& secret : secrets) {
      const std::string how = exposure(bytes, secret.text);
      EXPECT_EQ(how, "") << "the " << secret.what << " is readable as " << how << " in " << where;
    }
  }
};

TEST_F(SecretsScanTest, NoSecretIsLeftReadable) {
  writeFile(temp->path() / "tmp", "vwxyz.xml",
            "<e><b><r><result-code>ok</result-code><files><f><name>Board Room</name>"
            "<password>true</password></f></files></r></b></e>");
  auto host = makeHost();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  session(host, 0);  // login name and password
  session(host, 1);  // user number
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  expectNoSecretIn("standard output", out);
  expectNoSecretIn("standard error", err);

  // The ticket really carries the secrets, so the scan looks at real data.
  const std::string prefix(jobwick::ticket::kKeyPrefix);
  ASSERT_GT(host->settings.entries().size(), 5u);
  const std::string plainKeys[] = {prefix + "userNumber", prefix + "accountNumber"};
  // The excluded entries do carry the numbers, so the scan would see them.
  if (const auto number = host->settings.value(plainKeys[0])) {
    EXPECT_EQ(exposure(*number, secrets[2].text), "plain text");
  }
  for (const auto& [key, value] : host->settings.entries()) {
    if (key == plainKeys[0] || key == plainKeys[1]) continue;
    expectNoSecretIn("print-settings entry " + key, key + "=" + value);
  }

  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(temp->path())) {
    if (!entry.is_regular_file() || entry.path().extension() == ".ppd") continue;
    ++files;
    expectNoSecretIn(entry.path().string(), slurp(entry.path()));
  }
  EXPECT_GE(files, 2);  // at least the domain file and the response file
  EXPECT_TRUE(fs::exists(temp->path() / "prefs" / "jp.co.quivo.mfp.Office_MFP.plist"));
}

}  // namespace
}  // namespace jwtest
