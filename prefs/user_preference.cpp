// SPDX-License-Identifier: Apache-2.0
// The remembered entries of the panel: one preference record per printer and
// user. At each confirmed print every rememberable field is stored (secrets
// only as cipher text) together with the mask of the lock buttons that were
// on; at the next construction the fields whose lock was on come back into
// the controller's remembered-value fields, still in their stored form.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "pde/JC.h"
#include "pde/panel_state.h"
#include "platform/encoding.h"
#include "platform/trace.h"
#include "prefs/preference_load.h"
#include "prefs/preference_store.h"
#include "ticket/keys.h"

using platform::plist::Dict;
using platform::plist::Value;
namespace entry = jobwick::prefs::entry;
namespace ticket = jobwick::ticket;

namespace {

// Size of the zero-filled work buffer a field's bytes are converted into.
constexpr std::size_t kWorkBufferSize = 256;

// Character (UTF-16 unit) and byte limits of the fields stored as cipher text.
constexpr std::size_t kPassCodeLimit = 16;
constexpr std::size_t kLoginNameLimit = 255;
constexpr std::size_t kPasswordLimit = 32;
constexpr std::size_t kNumberLimit = 16;

// The record keeps every lock that is not off (a mixed button included).
using jobwick::panel::isNotUnlocked;

// The text converted to the system encoding: at most `maxUnits` UTF-16 units
// and `maxBytes` bytes, ending at the first character the encoding cannot
// hold, and taken up to a zero byte (the cipher reads the bytes as a
// zero-terminated text).
std::string systemBytes(std::string_view text, std::size_t maxUnits, std::size_t maxBytes) {
  std::array<std::uint8_t, kWorkBufferSize> buffer{};
  const auto result =
      platform::CFStringGetBytes(text, maxUnits, platform::CFStringGetSystemEncoding(), 0,
                                 buffer.data(), std::min(maxBytes, buffer.size() - 1));
  const auto* begin = reinterpret_cast<const char*>(buffer.data());
  return std::string(begin, std::find(begin, begin + result.bytesUsed, '\0'));
}

// The stored forms of a secret: "" for no bytes, else the cipher text.
std::string hex32Or(const std::string& bytes) {
  return bytes.empty() ? std::string() : ticket::aesFHex32(bytes);
}
std::string hex64Or(const std::string& bytes) {
  return bytes.empty() ? std::string() : ticket::aesFHex64(bytes);
}
std::string base64Or(const std::string& bytes) {
  return bytes.empty() ? std::string() : ticket::aesFBase64(bytes);
}

// The folder password: the whole text as ASCII, "" when it has a character
// outside ASCII, does not fit the work buffer or is empty.
std::string folderPassCodeOf(std::string_view text) {
  std::array<char, kWorkBufferSize> buffer{};
  platform::CFStringGetCString(text, buffer.data(), buffer.size(),
                               platform::kCFStringEncodingASCII);
  return hex32Or(buffer.data());
}

// An entry of the record as a string; nullopt when it is missing or was
// written with another type.
std::optional<std::string> stringEntry(const Dict& record, const char* key) {
  const auto found = record.find(key);
  if (found == record.end()) return std::nullopt;
  const std::string* text = found->second.asString();
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

std::optional<bool> booleanEntry(const Dict& record, const char* key) {
  const auto found = record.find(key);
  if (found == record.end()) return std::nullopt;
  const bool* flag = found->second.asBool();
  return flag ? std::optional<bool>(*flag) : std::nullopt;
}

// The stored mask, when it is a number that a signed 32-bit integer holds
// exactly: an integer, or a real with an integral value (8.0 reads as 8, as
// a number of the defaults database does).
std::optional<std::uint32_t> holdButtonEntry(const Dict& record) {
  const auto found = record.find(entry::kHoldButton);
  if (found == record.end()) return std::nullopt;
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  std::int64_t number = 0;
  if (const std::int64_t* integer = found->second.asInteger()) {
    number = *integer;
  } else if (const double* real = found->second.asReal()) {
    // The range test comes first: a cast of a real out of range is undefined.
    if (!(*real >= kMin && *real <= kMax) || std::trunc(*real) != *real) return std::nullopt;
    number = static_cast<std::int64_t>(*real);
  } else {
    return std::nullopt;
  }
  if (number < kMin || number > kMax) return std::nullopt;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(number));
}

// Keeps a record of this model and release; any other record is replaced
// by a fresh one, dropping every remembered value, the mask and the folder
// cache.
void checkRecord(const JC& jc, jobwick::prefs::StoredRecord* stored) {
  jobwick::prefs::updateRecord(
      jc.preferenceName,
      [&jc](Dict& record) {
        const auto model = stringEntry(record, entry::kModelName);
        const auto release = stringEntry(record, entry::kReleaseNumber);
        if (jc.modelStringRef && model == jc.modelStringRef &&
            release == jobwick::prefs::kReleaseNumber) {
          return;
        }
        Dict fresh;
        if (jc.modelStringRef) fresh[entry::kModelName] = *jc.modelStringRef;
        fresh[entry::kReleaseNumber] = jobwick::prefs::kReleaseNumber;
        record = std::move(fresh);
      },
      stored);
}

}  // namespace

void JC::CheckPreference() {
  _PDEProlog(this, "CheckPreference:");
  checkRecord(*this, nullptr);
  _PDEEpilog(this, "CheckPreference:=void");
}

void jobwick::prefs::loadPreferences(JC& jc) {
  _PDEProlog(&jc, "loadPreferences:");
  StoredRecord stored;
  checkRecord(jc, &stored);
  const std::optional<Dict> record =
      stored.known ? std::move(stored.record) : readRecord(jc.preferenceName);
  applyUserPreference(jc, record);
  applyFolderPreference(jc, record);
  _PDEEpilog(&jc, "loadPreferences:=void");
}

bool JC::SaveUserPreference() {
  _PDEProlog(this, "SaveUserPreference:");
  using namespace jobwick::ticket;
  const bool written = jobwick::prefs::updateRecord(preferenceName, [this](Dict& record) {
    std::uint32_t mask = 0;
    // A field missing from the interface file leaves its entry as it was.
    auto storeText = [&record](const char* key, const platform::TextField* field) {
      if (field) record[key] = field->stringValue();
    };

    if (isNotUnlocked(suspendKeyButton)) mask |= kHoldPassCode;
    if (suspendKeyEditText) {
      record[entry::kPassCode] =
          hex32Or(systemBytes(suspendKeyEditText->stringValue(), kPassCodeLimit, kPassCodeLimit));
    }

    record[entry::kAuthentication] =
        authenticationRadioButton && authenticationRadioButton->state() != platform::NSOffState;

    // While the login name is locked the field shows bullets; the name
    // itself is the held copy.
    if (isNotUnlocked(loginNameButton)) mask |= kHoldLoginName;
    const std::string* loginName = nullptr;
    if (loginNameButton && loginNameButton->state() == platform::NSOnState) {
      if (loginNameStringRef) loginName = &*loginNameStringRef;
    } else if (loginNameEditText) {
      loginName = &loginNameEditText->stringValue();
    }
    if (loginName) {
      record[entry::kUserLoginName] =
          base64Or(systemBytes(*loginName, kLoginNameLimit, kLoginNameLimit));
    }

    if (isNotUnlocked(passwordButton)) mask |= kHoldPassword;
    if (passwordEditText) {
      record[entry::kUserPassword] =
          hex64Or(systemBytes(passwordEditText->stringValue(), kPasswordLimit, kPasswordLimit));
    }

    if (isNotUnlocked(userNumberButton)) mask |= kHoldUserNumber;
    if (userNumberEditText) {
      record[entry::kUserNumber] =
          hex32Or(systemBytes(userNumberEditText->stringValue(), kNumberLimit, kNumberLimit));
    }

    if (isNotUnlocked(accountNumberButton)) mask |= kHoldAccountNumber;
    if (accountNumberEditText) {
      record[entry::kAccountNumber] =
          hex32Or(systemBytes(accountNumberEditText->stringValue(), kNumberLimit, kNumberLimit));
    }

    if (isNotUnlocked(userNameButton)) mask |= kHoldUserName;
    storeText(entry::kUserName, userNameEditText);

    if (isNotUnlocked(jobNameButton)) mask |= kHoldJobName;
    storeText(entry::kJobName, jobNameEditText);

    if (isNotUnlocked(folderPasswordButton)) mask |= kHoldFolderPassword;
    if (folderPasswordEditText) {
      record[entry::kFolderPassCode] = folderPassCodeOf(folderPasswordEditText->stringValue());
    }

    if (isNotUnlocked(folderNameButton)) mask |= kHoldFolderName;
    storeText(entry::kFolderName, folderNameEditText);

    record[entry::kHoldButton] = static_cast<std::int64_t>(static_cast<std::int32_t>(mask));
  });
  _PDEEpilog(this, "SaveUserPreference:=BOOL(%s)", written ? "YES" : "NO");
  return written;
}

void JC::GetUserPreference() {
  jobwick::prefs::applyUserPreference(*this, jobwick::prefs::readRecord(preferenceName));
}

void jobwick::prefs::applyUserPreference(JC& jc, const std::optional<Dict>& record) {
  _PDEProlog(&jc, "GetUserPreference:");
  if (!jc.preferenceName) {
    _PDEEpilog(&jc, "GetUserPreference:=void");
    return;
  }
  jc.prefHoldButtonFlag = 0;
  for (auto* field :
       {&jc.prefSuspendKeyStringRef, &jc.prefLoginNameStringRef, &jc.prefPasswordStringRef,
        &jc.prefUserNumberStringRef, &jc.prefUserNameStringRef, &jc.prefJobNameStringRef,
        &jc.prefFolderPassStringRef, &jc.prefAccountNumberStringRef, &jc.prefFolderNameStringRef}) {
    field->reset();
  }
  jc.prefAuthenticationBooleanRef.reset();

  // A mask that is missing, not an integer or out of range loads nothing:
  // bits without their values would lock fields with nothing behind them.
  const std::optional<std::uint32_t> mask =
      record ? holdButtonEntry(*record) : std::optional<std::uint32_t>();
  if (!mask) {
    _PDEEpilog(&jc, "GetUserPreference:=void");
    return;
  }

  using namespace jobwick::ticket;
  auto take = [&](std::uint32_t bit, const char* key, std::optional<std::string>& field) {
    if (*mask & bit) field = stringEntry(*record, key);
  };
  take(kHoldPassCode, entry::kPassCode, jc.prefSuspendKeyStringRef);
  jc.prefAuthenticationBooleanRef = booleanEntry(*record, entry::kAuthentication);
  take(kHoldLoginName, entry::kUserLoginName, jc.prefLoginNameStringRef);
  take(kHoldPassword, entry::kUserPassword, jc.prefPasswordStringRef);
  take(kHoldUserNumber, entry::kUserNumber, jc.prefUserNumberStringRef);
  take(kHoldAccountNumber, entry::kAccountNumber, jc.prefAccountNumberStringRef);
  take(kHoldUserName, entry::kUserName, jc.prefUserNameStringRef);
  take(kHoldJobName, entry::kJobName, jc.prefJobNameStringRef);
  take(kHoldFolderPassword, entry::kFolderPassCode, jc.prefFolderPassStringRef);
  take(kHoldFolderName, entry::kFolderName, jc.prefFolderNameStringRef);
  jc.prefHoldButtonFlag = *mask;
  _PDEEpilog(&jc, "GetUserPreference:=void");
}
