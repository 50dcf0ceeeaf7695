// SPDX-License-Identifier: Apache-2.0
// The job-ticket key catalogue and the value notations.
//
// The job ticket is the set of print-settings entries under
// "jp.co.quivo.print.PrintSettings."; the printer driver's filter builds the
// printer's commands from it, so the key names and value forms below are a
// contract with the filter. The writer, the reader and the preference store
// take their keys and value forms from here.
//
// Nothing here depends on the build's model: the catalogue says which keys
// only the vk7300 build writes (the UTF-8 variants) and the writer asks the
// model profile whether it is such a build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace jobwick::ticket {

/// Prefix of every job-ticket key.
inline constexpr std::string_view kKeyPrefix = "jp.co.quivo.print.PrintSettings.";

#define JOBWICK_TICKET_KEY(name) "jp.co.quivo.print.PrintSettings." name

/// Full key names. The chunked ones are base keys: their pieces are stored
/// under the base key followed by 1, 2, ... (see pieceKey).
namespace keys {
inline constexpr char kSpoolTime[] = JOBWICK_TICKET_KEY("spoolTime");
inline constexpr char kFiling[] = JOBWICK_TICKET_KEY("filing");
inline constexpr char kFolderPath[] = JOBWICK_TICKET_KEY("folderPath");
inline constexpr char kFolderPath2[] = JOBWICK_TICKET_KEY("folderPath2");
inline constexpr char kFolderPath3[] = JOBWICK_TICKET_KEY("folderPath3");
inline constexpr char kJobSuspend[] = JOBWICK_TICKET_KEY("jobSuspend");
inline constexpr char kJobSuspendKey[] = JOBWICK_TICKET_KEY("jobSuspendKey");
inline constexpr char kJobSuspend2Key[] = JOBWICK_TICKET_KEY("jobSuspend2Key");
inline constexpr char kAuthentication[] = JOBWICK_TICKET_KEY("Authentication");
inline constexpr char kLoginName1[] = JOBWICK_TICKET_KEY("loginName1");
inline constexpr char kLoginName0[] = JOBWICK_TICKET_KEY("loginName0");
inline constexpr char kLoginName2[] = JOBWICK_TICKET_KEY("loginName2");
inline constexpr char kPassword[] = JOBWICK_TICKET_KEY("password");
inline constexpr char kPassword2[] = JOBWICK_TICKET_KEY("password2");
inline constexpr char kPassword3[] = JOBWICK_TICKET_KEY("password3");
inline constexpr char kUserNumber[] = JOBWICK_TICKET_KEY("userNumber");
inline constexpr char kUserNumber2[] = JOBWICK_TICKET_KEY("userNumber2");
inline constexpr char kAccountNumber[] = JOBWICK_TICKET_KEY("accountNumber");
inline constexpr char kAccountNumber2[] = JOBWICK_TICKET_KEY("accountNumber2");
inline constexpr char kUserName[] = JOBWICK_TICKET_KEY("userName");
inline constexpr char kUserName2[] = JOBWICK_TICKET_KEY("userName2");
inline constexpr char kUserName3[] = JOBWICK_TICKET_KEY("userName3");
inline constexpr char kJobName[] = JOBWICK_TICKET_KEY("jobName");
inline constexpr char kJobName2[] = JOBWICK_TICKET_KEY("jobName2");
inline constexpr char kJobName3[] = JOBWICK_TICKET_KEY("jobName3");
inline constexpr char kFolderPassword[] = JOBWICK_TICKET_KEY("folderPassword");
inline constexpr char kFolderPassword2[] = JOBWICK_TICKET_KEY("folderPassword2");
inline constexpr char kHoldButton[] = JOBWICK_TICKET_KEY("holdButton");
}  // namespace keys

#undef JOBWICK_TICKET_KEY

/// Longest piece of a chunked value, in characters.
inline constexpr std::size_t kPieceLength = 254;

/// Key of piece `piece` (1, 2, ...) of a chunked value: base key + number.
std::string pieceKey(std::string_view baseKey, int piece);

/// The form of a key's value.
enum class ValueForm {
  kDigit,       ///< one ASCII digit
  kDecimal,     ///< a decimal number ("%d")
  kHex,         ///< hex of the field's bytes
  kPad5,        ///< the field's text filled up with '0' to 5 characters
  kMd5Hex,      ///< md5hex of a filled-up pass code and the spool-time text
  kAesFHex32,   ///< the first 16 bytes of the fixed-key cipher as 32 hex digits
  kAesFHex64,   ///< the first 32 bytes of the fixed-key cipher as 64 hex digits
  kAesFBase64,  ///< Base64 of the whole fixed-key cipher
  kAesSBase64,  ///< Base64 of the whole spool-time-key cipher
};

/// One entry of the key catalogue.
struct KeyInfo {
  const char* key;  ///< full key (the base key for chunked values)
  ValueForm form;
  bool chunked;     ///< stored in pieces under key + "1", key + "2", ...
  bool vk7300Only;  ///< only builds that write the UTF-8 variants write it
  bool readBack;    ///< the ticket reader uses it
};

/// Every job-ticket key, in the order of the catalogue.
std::span<const KeyInfo> keyCatalogue();

/// The catalogue entry of a full key name (or chunked base key), or null.
const KeyInfo* findKey(std::string_view key);

/// Whether a build writes `info`'s key; `writesUtf8Variants` is the build's
/// model-profile flag of that name.
constexpr bool isWrittenBy(const KeyInfo& info, bool writesUtf8Variants) {
  return !info.vk7300Only || writesUtf8Variants;
}

/// Lock-button bits of the hold-button mask (the `holdButton` entry and the
/// preference record's "hold button").
enum HoldButtonBit : std::uint32_t {
  kHoldPassCode = 1,
  kHoldLoginName = 2,
  kHoldPassword = 4,
  kHoldUserName = 8,
  kHoldJobName = 16,
  kHoldFolderPassword = 32,
  kHoldUserNumber = 64,
  kHoldAccountNumber = 128,
  kHoldFolderName = 256,
  kHoldAll = 511,
};

// ---- Value notations. Pure functions over byte strings. ----

/// The text with '0' put in front until it is 5 characters long; a text of
/// 5 or more characters is unchanged ("42" gives "00042", "" gives "00000").
std::string pad5(std::string_view text);

/// The bytes as hexadecimal text, two upper-case digits per byte.
std::string hexOfBytes(std::string_view bytes);

/// The bytes of a hexadecimal text (every character taken, an unpaired last
/// character read as if followed by '0'); no validation.
std::string bytesOfHex(std::string_view hex);

/// MD5 digest of the text (up to a zero byte in it) as 32 lower-case
/// hexadecimal digits.
std::string md5hex(std::string_view text);

/// The first 16 bytes of the fixed-key cipher of the text as 32 hex digits.
/// Only the first block counts: the fields stored this way are at most 16
/// bytes. An empty text gives 32 zeros (callers store no entry for it).
std::string aesFHex32(std::string_view text);

/// The first 32 bytes of the fixed-key cipher of the text as 64 hex digits;
/// for a text of at most 16 bytes the second half is 32 zeros.
std::string aesFHex64(std::string_view text);

/// Base64 of the whole fixed-key cipher of the text; empty for an empty
/// text.
std::string aesFBase64(std::string_view text);

/// Base64 of the whole cipher of the text with the key made of the last 16
/// characters of `spoolTimeText`; empty for an empty text or a key text
/// shorter than 16 characters.
std::string aesSBase64(std::string_view text, std::string_view spoolTimeText);

/// Reverses aesFHex32/aesFHex64: decrypts the first `byteCount` bytes
/// (16 or 32) given by the hex text and returns the text up to the first
/// zero byte. An empty hex text gives an empty text; a shorter one is
/// deciphered as if zero-filled.
std::string textOfAesFHex(std::string_view hex, std::size_t byteCount);

/// Reverses aesFBase64: decodes the Base64 text, deciphers the bytes over
/// their full length and returns the text up to the first zero byte.
std::string textOfAesFBase64(std::string_view base64);

}  // namespace jobwick::ticket
