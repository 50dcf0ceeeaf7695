// SPDX-License-Identifier: Apache-2.0
// An independent reader of the job ticket and of the preference record's
// protected values: every entry of a ticket explained in words, names decoded
// from their hexadecimal text, secrets deciphered and the digests checked.
//
// The plug-ins keep their own ticket code inside the bundles; this reader is
// a second implementation of the same contract, written from the key list and
// the value forms, so that a disagreement between the two shows up instead of
// being shared. It trusts nothing it reads: malformed values are reported,
// never decoded into garbage.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/encoding.h"
#include "platform/print_settings.h"

namespace jobwick::host {

// ---- Primitives, shared with `jobwick prefs show`. ----

/// The bytes of a hexadecimal text (either letter case); nullopt when the
/// text has an odd length or a character that is not a hexadecimal digit.
std::optional<std::string> bytesFromHex(std::string_view hex);

/// The bytes of standard Base64 text ("=" fill optional); nullopt for any
/// character outside the alphabet or a length that no encoding produces.
std::optional<std::string> bytesFromBase64(std::string_view text);

/// MD5 of `text` as 32 lower-case hexadecimal digits.
std::string md5Hex(std::string_view text);

/// `text` with '0' characters put in front until it is 5 characters long.
std::string padFive(std::string_view text);

/// The 16 key bytes of the fixed key that protects remembered and carried
/// secrets.
const std::string& fixedKey();

/// AES-128 in independent blocks without padding: deciphers `cipher` (a
/// multiple of 16 bytes) with the 16-byte `key`. nullopt when the lengths do
/// not fit or the cipher library fails.
std::optional<std::string> aesDecryptBlocks(std::string_view cipher, std::string_view key);

/// AES-128 in independent blocks, the last one filled with zero bytes: the
/// inverse of aesDecryptBlocks (for tests and for making sample values).
/// Empty for an empty text or a key that is not 16 bytes.
std::string aesEncryptBlocks(std::string_view plain, std::string_view key);

/// What a deciphered secret holds.
struct Secret {
  std::string bytes;    ///< the plain bytes up to the first zero byte
  std::string problem;  ///< empty when the value deciphered cleanly
};

/// Deciphers cipher bytes and cuts the zero fill. A plain text of a right
/// key ends in nothing but zero bytes after its first zero, so anything else
/// after it says that the key is wrong or the value was damaged; the
/// problem then says so.
Secret openCipher(std::string_view cipher, std::string_view key);

/// Deciphers a fixed-key secret stored as hexadecimal text of 16 or 32
/// cipher bytes (`byteCount`). A second block of zero digits is the fill of
/// the 64-digit form and is not deciphered.
Secret openHexSecret(std::string_view hex, std::size_t byteCount);

/// Deciphers a secret stored as Base64 of its cipher with `key`.
Secret openBase64Secret(std::string_view text, std::string_view key);

/// Bytes as text in `encoding` (a conversion number); nullopt when they are
/// not valid in it.
std::optional<std::string> textFromBytes(std::string_view bytes,
                                         platform::CFStringEncoding encoding);

/// A readable name of a conversion number ("Mac OS Roman", "UTF-8").
std::string encodingName(platform::CFStringEncoding encoding);

/// The encoding of the second text variant (the keys ending in 2 and
/// `loginName0`) that a writer with `systemEncoding` uses: Windows Latin 1,
/// except on the Asian Mac encodings, where it is the system encoding.
platform::CFStringEncoding secondVariantEncoding(platform::CFStringEncoding systemEncoding);

/// The names of the lock buttons whose bits are set in a hold-button mask,
/// in bit order ("pass code", "login name", ...).
std::vector<std::string> lockNames(std::uint32_t mask);

// ---- The ticket report. ----

/// One entry of the ticket (a chunked value counts once, with its pieces).
struct TicketField {
  std::string name;                     ///< key without the prefix; base key for pieces
  std::string group;                    ///< "Spool time", "Retention", ...
  std::vector<std::string> storedKeys;  ///< the full keys read
  std::string value;                    ///< the stored value (pieces joined)
  std::string meaning;                  ///< the entry in words
  std::optional<std::string> text;      ///< the decoded text, for names and secrets
  std::string how;                      ///< how it was decoded ("fixed key, Base64")
  std::string problem;                  ///< empty when the value is sound
};

/// How a consistency check came out.
enum class CheckStatus { kNotChecked, kMatch, kMismatch };

/// "not checked", "match" or "mismatch": the word the report shows (and the
/// JSON report's "status").
std::string_view checkStatusName(CheckStatus status);

/// Whether `status` is the one `name` (as checkStatusName gives it) names.
inline bool operator==(CheckStatus status, std::string_view name) {
  return checkStatusName(status) == name;
}

/// Writes checkStatusName(status).
std::ostream& operator<<(std::ostream& out, CheckStatus status);

/// A consistency check between entries.
struct TicketCheck {
  std::string name;  ///< the entry checked ("jobSuspendKey")
  CheckStatus status = CheckStatus::kNotChecked;
  std::string detail;
};

struct TicketReport {
  platform::CFStringEncoding systemEncoding = platform::kCFStringEncodingMacRoman;
  std::optional<std::string> jobName;
  std::optional<std::string> spoolTimeText;
  std::vector<TicketField> fields;
  std::vector<TicketCheck> checks;
  /// Keys under the ticket prefix that are not part of the ticket (or
  /// pieces left behind after a missing piece), with why.
  std::vector<std::pair<std::string, std::string>> unknownKeys;
  /// Every print setting outside the ticket.
  std::vector<std::pair<std::string, std::string>> otherSettings;

  /// Every problem found: malformed values and failed checks.
  std::vector<std::string> problems() const;
};

/// Reads the job ticket in `settings`, decoding names and secrets as a
/// writer whose system encoding was `systemEncoding` made them. Never fails:
/// what cannot be read is reported in the fields and checks.
TicketReport inspectTicket(const platform::PrintSettings& settings,
                           platform::CFStringEncoding systemEncoding);

/// The report as text for a person (ends with a newline).
std::string formatTicketReport(const TicketReport& report);

/// The report as a JSON document.
nlohmann::ordered_json ticketReportJson(const TicketReport& report);

}  // namespace jobwick::host
