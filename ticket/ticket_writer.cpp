// SPDX-License-Identifier: Apache-2.0
// The job-ticket writer: turns the panel's current state into the entries
// of the job's print settings that the printer driver's filter reads.
//
// One save works through the panel from top to bottom: the spool time that
// keys the per-job ciphers, filing, retention and its pass code,
// authentication, login name and password, user and account numbers, user
// and job name, folder password, and finally the lock-button mask. Each
// field is converted into a byte buffer of the model's size with explicit
// character and byte limits; a longer text is cut silently. A field that
// converts to nothing removes its entries, so an empty field leaves no key.
//
// Model differences come from the model profile: buffer sizes, the job-name
// limit, whether the UTF-8 variants are written, whether a stored spool time
// is kept, and whether the entries of controls missing from the interface
// file are removed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pde/JC.h"
#include "pde/panel_state.h"
#include "platform/controls.h"
#include "platform/encoding.h"
#include "platform/print_settings.h"
#include "platform/trace.h"
#include "ticket/credentials.h"
#include "ticket/keys.h"
#include "ticket/value_helpers.h"

using jobwick::kModelProfile;

namespace {

namespace keys = jobwick::ticket::keys;
namespace tk = jobwick::ticket;
namespace panel = jobwick::panel;
using platform::CFStringEncoding;

/// Characters (UTF-16 units) and bytes one conversion may take.
struct Limits {
  std::size_t characters;
  std::size_t bytes;
};

/// What a conversion does with a character the encoding cannot represent.
enum class Unconvertible { kStop, kSpace };

constexpr Limits kCodeLimits{8, 8};     // pass codes, user number, folder password
constexpr Limits kAccountLimits{8, 5};  // the printer takes five account digits
constexpr Limits kLoginNameLimits{255, 255};
constexpr Limits kLoginNameUtf8Limits{1530, 1530};
constexpr Limits kPasswordLimits{32, 32};
constexpr Limits kPasswordUtf8Limits{192, 192};
constexpr Limits kUserNameLimits{32, 32};
constexpr Limits kUserNameUtf8Limits{192, 192};
constexpr Limits kJobNameUtf8Limits{480, 480};
/// Longest folder name, in bytes of any of its encodings.
constexpr std::size_t kFolderNameMaxBytes = 1529;
/// Longest stored spoolTime value read back (hex characters).
constexpr std::size_t kStoredSpoolTimeMaxCharacters = 1529;
/// The spool-time key is the last 16 characters of the spool-time text.
constexpr std::size_t kSpoolKeyLength = 16;
/// Digest input: a filled-up code and the spool-time text joined.
constexpr std::size_t kDigestInputSize = 128;
static_assert(kCodeLimits.bytes + (kSpoolTimeBufferSize - 1) < kDigestInputSize,
              "a digest input always fits its buffer");

constexpr char kStandardFolder[] = "*standard";

using jobwick::panel::isLockedOn;
using jobwick::panel::isSwitchedOn;

/// The text of a field; none when the field is missing.
std::optional<std::string_view> textOf(const platform::TextField* field) {
  if (field == nullptr) return std::nullopt;
  return std::string_view(field->stringValue());
}

/// The byte buffer one field's text is converted into, cleared before each
/// conversion. It has the model's size plus one byte, so that a conversion
/// that fills the whole size (a 1530-byte UTF-8 login name) is still
/// followed by a terminator: the cipher functions read texts up to it.
class FieldBuffer {
 public:
  FieldBuffer()
      // The cipher of every text must fit the model's cipher buffer too.
      : capacity_(std::min(kModelProfile.ticketTextBuffer,
                           kModelProfile.ticketCipherBuffer / kAesBlockSize * kAesBlockSize)),
        bytes_(kModelProfile.ticketTextBuffer + 1, 0) {}

  /// Converts `source` from its start, within `limits`, into the cleared
  /// buffer and answers the bytes produced (empty for no source). With
  /// `fallback`, a conversion that took no character at all is repeated in
  /// MacJapanese with spaces for unconvertible characters.
  std::string_view convert(std::optional<std::string_view> source, Limits limits,
                           CFStringEncoding encoding, Unconvertible unconvertible,
                           bool fallback = false) {
    clear();
    if (!source) return view();
    const std::size_t maxBytes = std::min(limits.bytes, capacity_);
    const std::uint8_t loss = unconvertible == Unconvertible::kSpace ? ' ' : 0;
    auto used = platform::CFStringGetBytes(*source, limits.characters, encoding, loss,
                                           bytes_.data(), maxBytes);
    if (fallback && used.charactersUsed == 0) {
      used = platform::CFStringGetBytes(*source, limits.characters,
                                        platform::kCFStringEncodingMacJapanese, ' ', bytes_.data(),
                                        maxBytes);
    }
    length_ = used.bytesUsed;
    return view();
  }

  /// Converts the whole of `text` (at most `maxBytes` bytes) into the
  /// cleared buffer; answers false, with an empty buffer, when a character
  /// cannot be converted or the text does not fit.
  bool convertWhole(std::string_view text, std::size_t maxBytes, CFStringEncoding encoding) {
    clear();
    const std::size_t size = std::min(maxBytes, capacity_) + 1;
    if (!platform::CFStringGetCString(text, reinterpret_cast<char*>(bytes_.data()), size,
                                      encoding)) {
      return false;
    }
    length_ = std::char_traits<char>::length(reinterpret_cast<const char*>(bytes_.data()));
    return true;
  }

  /// Replaces control characters and double quotes of the current bytes by
  /// spaces (texts the printer shows).
  std::string_view replaceSpaceCodes() {
    ReplaceSpaceCode(bytes_.data(), static_cast<std::int64_t>(length_));
    return view();
  }

  std::string_view view() const {
    return std::string_view(reinterpret_cast<const char*>(bytes_.data()), length_);
  }

 private:
  void clear() {
    std::fill(bytes_.begin(), bytes_.end(), 0);
    length_ = 0;
  }

  std::size_t capacity_;  // bytes a conversion may write
  std::vector<std::uint8_t> bytes_;
  std::size_t length_ = 0;
};

/// One save of the job ticket into `settings`.
class TicketWriter {
 public:
  TicketWriter(const JC& jc, platform::PrintSettings* settings)
      : jc_(jc),
        settings_(settings),
        strict_(kModelProfile.strictAboutMissingControls),
        utf8Variants_(kModelProfile.writesUtf8Variants),
        latin1_(encodingWindowsLatin1()),
        system_(platform::CFStringGetSystemEncoding()) {}

  void write() {
    settleSpoolTime();
    clearFolderEntries();
    writeFiling();
    writeRetention();
    writeAuthentication();
    const auto directoryUserName = writeLoginName();
    writePassword();
    writeCode(jc_.userNumberEditText, kCodeLimits, keys::kUserNumber, keys::kUserNumber2,
              [](std::string_view code) { return tk::pad5(code); });
    writeCode(jc_.accountNumberEditText, kAccountLimits, keys::kAccountNumber,
              keys::kAccountNumber2, [](std::string_view code) { return tk::pad5(code); });
    writeUserName(directoryUserName);
    writeJobName();
    writeCode(jc_.folderPasswordEditText, kCodeLimits, keys::kFolderPassword,
              keys::kFolderPassword2,
              [this](std::string_view code) { return digest(spoolTime_, tk::pad5(code)); });
    writeHoldButtons();
  }

 private:
  using PlainForm = std::function<std::string(std::string_view)>;

  void set(const char* key, const std::string& value) {
    MyPMPrintSetAsciiCStrValue(settings_, key, value.c_str());
  }
  void remove(const char* key) { MyPMPrintSetAsciiCStrValue(settings_, key, nullptr); }
  /// Stores a value in pieces; an empty value removes piece 1.
  void setChunked(const char* baseKey, const std::string& value) {
    MyMultiPMPrintSetAsciiCStrValue(settings_, baseKey, value.c_str());
  }

  static std::string digest(std::string_view first, std::string_view second) {
    std::string input;
    input.reserve(kDigestInputSize);
    input.append(first).append(second);
    return tk::md5hex(input);
  }

  // ---- Spool time ----

  /// Fixes the spool-time text of this save. A build that keeps the spool
  /// time reuses a stored one that decodes to a usable text, so that the
  /// ciphers of every save of these print settings match the stored value;
  /// otherwise a new text is made and stored.
  void settleSpoolTime() {
    if (kModelProfile.reusesSpoolTime) {
      if (const auto stored = platform::PMPrintSettingsGetValue(settings_, keys::kSpoolTime)) {
        if (auto text = decodeStoredSpoolTime(*stored)) {
          spoolTime_ = std::move(*text);
          return;
        }
      }
    }
    char text[kSpoolTimeBufferSize] = {};
    GetSpoolTime(text);
    spoolTime_ = text;
    set(keys::kSpoolTime, tk::hexOfBytes(spoolTime_));
  }

  /// The spool-time text of a stored hex value; none when the value is not
  /// ASCII, is too long, or does not decode whole into a spool-time buffer
  /// as a text without zero bytes that is long enough for the key.
  static std::optional<std::string> decodeStoredSpoolTime(const std::string& stored) {
    char hex[kStoredSpoolTimeMaxCharacters + 1] = {};
    if (!platform::CFStringGetCString(stored, hex, sizeof hex, platform::kCFStringEncodingASCII)) {
      return std::nullopt;
    }
    const std::size_t count = std::char_traits<char>::length(hex);
    const std::size_t decodedLength = (count + 1) / 2;
    if (decodedLength >= kSpoolTimeBufferSize) return std::nullopt;  // would be cut
    std::uint8_t text[kSpoolTimeBufferSize] = {};
    myatoi(hex, text, static_cast<std::uint32_t>(count), sizeof text);
    std::string decoded(reinterpret_cast<const char*>(text));
    if (decoded.size() != decodedLength || decoded.size() < kSpoolKeyLength) return std::nullopt;
    return decoded;
  }

  // ---- Filing ----

  /// Removes the folder entries the filing step writes anew. The base key of
  /// the chunked folderPath3 is never written itself; its pieces are
  /// replaced by the chunked write.
  void clearFolderEntries() {
    if (strict_) {
      remove(keys::kFiling);
      remove(keys::kFolderPath);
    }
    remove(keys::kFolderPath2);
    if (utf8Variants_) remove(keys::kFolderPath3);
  }

  void writeFiling() {
    const bool retention = isSwitchedOn(jc_.retentionCheckBox);
    const auto* popup = jc_.folderSelectionPopup;
    const auto* matrix = jc_.folderSelectionMatrix;

    if (!jc_.CheckHardDisk()) {
      // Nothing is filed without a hard disk; a retained job is kept in the
      // printer's main folder.
      if (!strict_ || popup != nullptr || matrix != nullptr) set(keys::kFiling, "0");
      if (retention) {
        const std::string standard = tk::hexOfBytes(kStandardFolder);
        set(keys::kFolderPath, standard);
        set(keys::kFolderPath2, standard);
      }
      return;
    }
    if (!retention) {
      set(keys::kFiling, "0");
      return;
    }

    // Filing 1 quick file, 2 main folder, 3 a folder of the list.
    std::int64_t value = 0;
    if (popup != nullptr) {
      const std::int64_t index = popup->indexOfSelectedItem();
      value = index == panel::kQuickFileItem ? 1 : index == panel::kMainFolderItem ? 2 : 3;
    }
    if (matrix != nullptr) value = matrix->selectedRow() + 1;
    set(keys::kFiling, std::to_string(value));

    if (value == 2) {
      set(keys::kFolderPath, tk::hexOfBytes(kStandardFolder));
    } else if (value == 3) {
      writeCustomFolder();
    }
  }

  /// The custom folder: a folder of the printer's list chosen in the popup,
  /// or the name typed beside the folder matrix. Without either the job goes
  /// to the main folder.
  void writeCustomFolder() {
    const auto* popup = jc_.folderSelectionPopup;
    const std::int64_t index = popup != nullptr ? popup->indexOfSelectedItem() : 0;
    if (index >= panel::kFirstFolderItem && jc_.folderList) {
      const FolderEntry* entry = panel::folderAtMenuIndex(jc_.folderList, index);
      if (entry == nullptr) return;  // no such folder: no name
      const std::string* name = panel::folderName(*entry);
      if (name == nullptr) return;
      writeFolderName(*name);
    } else if (jc_.folderSelectionMatrix == nullptr) {
      set(keys::kFolderPath, tk::hexOfBytes(kStandardFolder));
    } else if (jc_.folderNameEditText != nullptr) {
      writeFolderName(jc_.folderNameEditText->stringValue());
    }
  }

  /// The folder name in its three encodings. A name that cannot be converted
  /// writes nothing for that entry.
  void writeFolderName(std::string_view name) {
    bool converted =
        buffer_.convertWhole(name, kFolderNameMaxBytes, system_) ||
        buffer_.convertWhole(name, kFolderNameMaxBytes, platform::kCFStringEncodingMacJapanese);
    if (converted) set(keys::kFolderPath, tk::hexOfBytes(buffer_.view()));

    if (latin1_) {
      converted =
          buffer_.convertWhole(name, kFolderNameMaxBytes, platform::kCFStringEncodingWindowsLatin1);
    }
    if (!converted) {
      converted =
          buffer_.convertWhole(name, kFolderNameMaxBytes, platform::kCFStringEncodingMacJapanese);
    }
    if (converted) set(keys::kFolderPath2, tk::hexOfBytes(buffer_.view()));

    if (utf8Variants_ &&
        buffer_.convertWhole(name, kFolderNameMaxBytes, platform::kCFStringEncodingUTF8)) {
      setChunked(keys::kFolderPath3, tk::hexOfBytes(buffer_.view()));
    }
  }

  // ---- Retention ----

  void writeRetention() {
    if (strict_ && (jc_.retentionCheckBox == nullptr || jc_.suspendMatrix == nullptr)) {
      remove(keys::kJobSuspend);
      remove(keys::kJobSuspendKey);
      remove(keys::kJobSuspend2Key);
      return;
    }
    // Rows: 0 hold only, 1 hold after print, 2 sample print.
    const char* mode = "0";
    if (isSwitchedOn(jc_.retentionCheckBox) && jc_.suspendMatrix != nullptr) {
      switch (jc_.suspendMatrix->selectedRow()) {
        case 0:
          mode = "2";
          break;
        case 1:
          mode = "1";
          break;
        case 2:
          mode = "3";
          break;
        default:
          break;
      }
    }
    set(keys::kJobSuspend, mode);

    if (std::string_view(mode) == "0") {
      // Earlier pass-code entries stay only where the spool time they were
      // digested with stays too.
      if (!kModelProfile.reusesSpoolTime) {
        remove(keys::kJobSuspendKey);
        remove(keys::kJobSuspend2Key);
      }
      return;
    }
    writeCode(jc_.suspendKeyEditText, kCodeLimits, keys::kJobSuspendKey, keys::kJobSuspend2Key,
              [this](std::string_view code) { return digest(tk::pad5(code), spoolTime_); });
  }

  /// A numeric code in two entries: `plainKey` gets a form of the code made
  /// by `plain` and `cipherKey` the fixed-key cipher of the code as 32 hex
  /// digits. No code (or no field) removes both.
  void writeCode(const platform::TextField* field, Limits limits, const char* plainKey,
                 const char* cipherKey, const PlainForm& plain) {
    const std::string_view code =
        buffer_.convert(textOf(field), limits, system_, Unconvertible::kStop);
    if (code.empty()) {
      remove(plainKey);
      remove(cipherKey);
      return;
    }
    set(plainKey, plain(code));
    set(cipherKey, tk::aesFHex32(code));
  }

  // ---- Authentication ----

  void writeAuthentication() {
    if (strict_ && jc_.authenticationRadioButton == nullptr) {
      remove(keys::kAuthentication);
      return;
    }
    set(keys::kAuthentication, isSwitchedOn(jc_.authenticationRadioButton) ? "1" : "0");
  }

  /// Writes the login-name entries and answers the user name of the
  /// active-directory mode: the same login name, the held one while the
  /// field is masked (never the bullets the field shows then).
  std::optional<std::string_view> writeLoginName() {
    if (strict_ && jc_.loginNameEditText == nullptr) {
      setChunked(keys::kLoginName1, "");
      setChunked(keys::kLoginName0, "");
      return std::nullopt;
    }
    std::optional<std::string_view> source;
    if (isLockedOn(jc_.loginNameButton)) {
      if (jc_.loginNameStringRef && !jc_.loginNameStringRef->empty()) {
        source = *jc_.loginNameStringRef;
      }
    } else {
      source = textOf(jc_.loginNameEditText);
    }

    std::string_view bytes =
        buffer_.convert(source, kLoginNameLimits, system_, Unconvertible::kStop, /*fallback=*/true);
    setChunked(keys::kLoginName1, tk::aesFBase64(bytes));

    if (source && latin1_) {
      bytes = buffer_.convert(source, kLoginNameLimits, platform::kCFStringEncodingWindowsLatin1,
                              Unconvertible::kSpace);
    }
    setChunked(keys::kLoginName0, tk::aesSBase64(bytes, spoolTime_));

    if (utf8Variants_) {
      writeSpoolCipherVariant(keys::kLoginName2, source, kLoginNameUtf8Limits,
                              Unconvertible::kStop);
    }
    if (directoryMode()) return source;
    return std::nullopt;
  }

  /// The UTF-8 form of a secret, chunked Base64 of its spool-time-key
  /// cipher; removes piece 1 when there is no such text.
  void writeSpoolCipherVariant(const char* baseKey, std::optional<std::string_view> source,
                               Limits limits, Unconvertible unconvertible) {
    const std::string_view bytes =
        buffer_.convert(source, limits, platform::kCFStringEncodingUTF8, unconvertible);
    setChunked(baseKey, tk::aesSBase64(bytes, spoolTime_));
  }

  bool directoryMode() const { return kModelProfile.readsPPDModelFlags && jc_.active_directory; }

  // ---- Password ----

  void writePassword() {
    if (strict_ && jc_.passwordEditText == nullptr) {
      remove(keys::kPassword);
      remove(keys::kPassword2);
      return;
    }
    const auto source = textOf(jc_.passwordEditText);
    const std::string_view bytes =
        buffer_.convert(source, kPasswordLimits, system_, Unconvertible::kSpace);
    if (bytes.empty()) {
      remove(keys::kPassword);
      remove(keys::kPassword2);
    } else {
      set(keys::kPassword, tk::aesSBase64(bytes, spoolTime_));
      set(keys::kPassword2, tk::aesFHex64(bytes));
    }
    if (utf8Variants_) {
      writeSpoolCipherVariant(keys::kPassword3, source, kPasswordUtf8Limits, Unconvertible::kSpace);
    }
  }

  // ---- User name and job name ----

  struct NameKeys {
    const char* system;  // hex of the system-encoding bytes
    const char* latin;   // hex of the Windows Latin 1 (or system) bytes, cleaned
    const char* utf8;    // chunked hex of the UTF-8 bytes, cleaned
  };

  void writeUserName(std::optional<std::string_view> directoryUserName) {
    if (strict_ && jc_.userNameEditText == nullptr) {
      remove(keys::kUserName);
      remove(keys::kUserName2);
      return;
    }
    const auto source = directoryMode() ? directoryUserName : textOf(jc_.userNameEditText);
    writeName(source, kUserNameLimits, kUserNameUtf8Limits,
              {keys::kUserName, keys::kUserName2, keys::kUserName3});
  }

  void writeJobName() {
    if (strict_ && jc_.jobNameEditText == nullptr) {
      remove(keys::kJobName);
      remove(keys::kJobName2);
      return;
    }
    const Limits limits{kModelProfile.jobNameLimit, kModelProfile.jobNameLimit};
    writeName(textOf(jc_.jobNameEditText), limits, kJobNameUtf8Limits,
              {keys::kJobName, keys::kJobName2, keys::kJobName3});
  }

  /// A name the printer shows, as hex text of its bytes: the system
  /// encoding as typed, the Windows Latin 1 (or system) form and the UTF-8
  /// form with control characters and double quotes made spaces.
  void writeName(std::optional<std::string_view> source, Limits limits, Limits utf8Limits,
                 const NameKeys& names) {
    std::string_view bytes =
        buffer_.convert(source, limits, system_, Unconvertible::kStop, /*fallback=*/true);
    set(names.system, tk::hexOfBytes(bytes));

    if (source && latin1_) {
      bytes = buffer_.convert(source, limits, platform::kCFStringEncodingWindowsLatin1,
                              Unconvertible::kSpace);
    }
    set(names.latin, tk::hexOfBytes(buffer_.replaceSpaceCodes()));

    if (utf8Variants_) {
      buffer_.convert(source, utf8Limits, platform::kCFStringEncodingUTF8, Unconvertible::kSpace);
      setChunked(names.utf8, tk::hexOfBytes(buffer_.replaceSpaceCodes()));
    }
  }

  // ---- Lock buttons ----

  void writeHoldButtons() {
    const std::pair<const platform::Button*, std::uint32_t> locks[] = {
        {jc_.suspendKeyButton, tk::kHoldPassCode},
        {jc_.loginNameButton, tk::kHoldLoginName},
        {jc_.passwordButton, tk::kHoldPassword},
        {jc_.userNameButton, tk::kHoldUserName},
        {jc_.jobNameButton, tk::kHoldJobName},
        {jc_.folderPasswordButton, tk::kHoldFolderPassword},
        {jc_.userNumberButton, tk::kHoldUserNumber},
        {jc_.accountNumberButton, tk::kHoldAccountNumber},
        {jc_.folderNameButton, tk::kHoldFolderName},
    };
    std::uint32_t mask = 0;
    for (const auto& [button, bit] : locks) {
      if (isLockedOn(button)) mask += bit;
    }
    set(keys::kHoldButton, std::to_string(mask));
  }

  const JC& jc_;
  platform::PrintSettings* settings_;
  const bool strict_;
  const bool utf8Variants_;
  const bool latin1_;
  const CFStringEncoding system_;
  std::string spoolTime_;
  FieldBuffer buffer_;
};

}  // namespace

/// Writes the panel's state into the job ticket of the host's print
/// settings. Does nothing without print settings or before the panel was
/// initialised; never reports a failure (the ticket then keeps what was
/// written so far).
void JC::writeNonPPDSettingsToPrintSettings() {
  platform::_PDEProlog(this, "--writeNonPPDSettingsToPrintSettings:");
  platform::PrintSettings* settings =
      pdePluginCallbackObject ? pdePluginCallbackObject->printSettings() : nullptr;
  if (settings != nullptr && hasInited) {
    try {
      TicketWriter(*this, settings).write();
    } catch (...) {
      // Out of memory or a conversion failure: the ticket keeps what was
      // written so far; the save itself goes on.
      platform::_PDELog(this, "writeNonPPDSettingsToPrintSettings: failed");
    }
  }
  platform::_PDEEpilog(this, "--writeNonPPDSettingsToPrintSettings:=void");
}
