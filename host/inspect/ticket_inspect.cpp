// SPDX-License-Identifier: Apache-2.0
// The job-ticket reader of the jobwick command.
#include "host/inspect/ticket_inspect.h"

#include "host/common/escape.h"
#include "host/common/settings_io.h"

#include <nettle/aes.h>
#include <nettle/md5.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "platform/c_handles.h"

namespace jobwick::host {

std::string_view checkStatusName(CheckStatus status) {
  switch (status) {
    case CheckStatus::kMatch:
      return "match";
    case CheckStatus::kMismatch:
      return "mismatch";
    case CheckStatus::kNotChecked:
      break;
  }
  return "not checked";
}

std::ostream& operator<<(std::ostream& out, CheckStatus status) {
  return out << checkStatusName(status);
}
namespace {

using json = nlohmann::ordered_json;

constexpr std::string_view kPrefix = "jp.co.quivo.print.PrintSettings.";
constexpr std::size_t kMaxPieces = 64;  // far more than any writer makes

std::string quote(std::string_view text) {
  return quoteText(text);
}

bool allZero(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\0'; });
}

/// How a key's value is made.
enum class Form {
  kSpoolTime,
  kDigit,     // one digit with a word table
  kHexName,   // hex of the name's bytes
  kMd5,       // digest checked separately
  kHex32,     // fixed-key cipher, 32 hex digits
  kHex64,     // fixed-key cipher, 64 hex digits
  kFixedB64,  // fixed-key cipher, Base64
  kSpoolB64,  // spool-time-key cipher, Base64
  kPad5,      // plain number filled to 5 digits
  kMask,      // hold-button mask
};

/// Which conversion of the field's text the bytes are.
enum class Variant { kNone, kSystem, kSecond, kUtf8 };

struct KeySpec {
  const char* name;
  const char* group;
  Form form;
  Variant variant;
  bool chunked;
  const char* what;  // the field in words: "login name"
};

// Display order: grouped by the panel's areas.
constexpr KeySpec kKeys[] = {
    {"spoolTime", "Spool time", Form::kSpoolTime, Variant::kNone, false, "spool time"},
    {"jobSuspend", "Retention", Form::kDigit, Variant::kNone, false, "retention"},
    {"jobSuspend2Key", "Retention", Form::kHex32, Variant::kSystem, false, "pass code"},
    {"jobSuspendKey", "Retention", Form::kMd5, Variant::kNone, false, "pass-code digest"},
    {"filing", "Filing", Form::kDigit, Variant::kNone, false, "filing"},
    {"folderPath", "Filing", Form::kHexName, Variant::kSystem, false, "folder"},
    {"folderPath2", "Filing", Form::kHexName, Variant::kSecond, false, "folder"},
    {"folderPath3", "Filing", Form::kHexName, Variant::kUtf8, true, "folder"},
    {"folderPassword2", "Filing", Form::kHex32, Variant::kSystem, false, "folder password"},
    {"folderPassword", "Filing", Form::kMd5, Variant::kNone, false, "folder-password digest"},
    {"Authentication", "Authentication", Form::kDigit, Variant::kNone, false, "authentication"},
    {"loginName1", "Authentication", Form::kFixedB64, Variant::kSystem, true, "login name"},
    {"loginName0", "Authentication", Form::kSpoolB64, Variant::kSecond, true, "login name"},
    {"loginName2", "Authentication", Form::kSpoolB64, Variant::kUtf8, true, "login name"},
    {"password", "Authentication", Form::kSpoolB64, Variant::kSystem, false, "password"},
    {"password2", "Authentication", Form::kHex64, Variant::kSystem, false, "password"},
    {"password3", "Authentication", Form::kSpoolB64, Variant::kUtf8, true, "password"},
    {"userNumber", "Authentication", Form::kPad5, Variant::kNone, false, "user number"},
    {"userNumber2", "Authentication", Form::kHex32, Variant::kSystem, false, "user number"},
    {"accountNumber", "Job identification", Form::kPad5, Variant::kNone, false, "account number"},
    {"accountNumber2", "Job identification", Form::kHex32, Variant::kSystem, false,
     "account number"},
    {"userName", "Job identification", Form::kHexName, Variant::kSystem, false, "user name"},
    {"userName2", "Job identification", Form::kHexName, Variant::kSecond, false, "user name"},
    {"userName3", "Job identification", Form::kHexName, Variant::kUtf8, true, "user name"},
    {"jobName", "Job identification", Form::kHexName, Variant::kSystem, false, "job name"},
    {"jobName2", "Job identification", Form::kHexName, Variant::kSecond, false, "job name"},
    {"jobName3", "Job identification", Form::kHexName, Variant::kUtf8, true, "job name"},
    {"holdButton", "Locks", Form::kMask, Variant::kNone, false, "locks"},
};

const char* digitMeaning(std::string_view name, std::string_view value) {
  static const std::map<std::string, std::array<const char*, 4>, std::less<>> words = {
      {"filing", {"no filing", "quick file", "main folder", "custom folder"}},
      {"jobSuspend", {"no retention", "hold after print", "hold only", "sample print"}},
      {"Authentication", {"user number", "login name and password", nullptr, nullptr}},
  };
  auto table = words.find(name);
  if (table == words.end() || value.size() != 1 || value[0] < '0' || value[0] > '3') {
    return nullptr;
  }
  return table->second[std::size_t(value[0] - '0')];
}

/// Whether `text` has the spool time's form, "Tue, 8 Dec 2026 09:05:07
/// +0900": day name, a day of one or two digits without a leading zero,
/// month name, a year of four or more digits, the time, and a zone of four
/// or more digits after its sign. Checked by hand: a regular expression
/// recursed once per digit and overflowed the stack on a long value.
bool isSpoolTimeForm(std::string_view text) {
  std::size_t at = 0;
  auto word = [&](std::initializer_list<std::string_view> words) {
    for (std::string_view w : words) {
      if (text.substr(at, w.size()) == w) {
        at += w.size();
        return true;
      }
    }
    return false;
  };
  auto isDigit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  auto digits = [&](std::size_t least, std::size_t most) {
    std::size_t count = 0;
    while (count < most && isDigit(at)) {
      ++at;
      ++count;
    }
    return count >= least;
  };
  auto literal = [&](char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
  };
  constexpr std::size_t kAny = std::string_view::npos;
  if (!word({"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"}) || !word({", "})) return false;
  if (!isDigit(at) || text[at] == '0' || !digits(1, 2) || !literal(' ')) return false;
  if (!word({"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"}) ||
      !literal(' ') || !digits(4, kAny) || !literal(' ')) {
    return false;
  }
  if (!digits(2, 2) || !literal(':') || !digits(2, 2) || !literal(':') || !digits(2, 2) ||
      !literal(' ')) {
    return false;
  }
  if (!literal('+') && !literal('-')) return false;
  return digits(4, kAny) && at == text.size();
}

/// The spool-time key: the last 16 characters of the spool-time text.
std::optional<std::string> spoolKey(const std::optional<std::string>& spoolText) {
  if (!spoolText || spoolText->size() < 16) return std::nullopt;
  return spoolText->substr(spoolText->size() - 16);
}

/// A one-digit choice in words.
void readDigit(const KeySpec& spec, const std::string& value, TicketField& field) {
  if (const char* words = digitMeaning(spec.name, value)) {
    field.meaning = value + ": " + words;
  } else {
    field.meaning = value + ": unknown";
    field.problem = "not one of the digits this entry takes";
  }
}

/// A digest, checked against its code later (checkDigest).
void readDigest(const KeySpec& spec, const std::string& value, TicketField& field) {
  const bool digest =
      value.size() == 32 && std::all_of(value.begin(), value.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f');
      });
  field.meaning = std::string(spec.what);
  field.how = "MD5, 32 lower-case hex digits";
  if (!digest) field.problem = "not an MD5 digest in lower-case hex";
}

/// A number in plain text, filled up to 5 digits.
void readPlainNumber(const KeySpec& spec, const std::string& value, TicketField& field) {
  const bool digits = std::all_of(value.begin(), value.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
  field.text = value;
  field.meaning = std::string(spec.what) + " " + value + " (plain text)";
  field.how = "plain text filled up to 5 digits";
  if (!digits || value.size() < 5) field.problem = "not a number of at least 5 digits";
}

/// The mask of the locked fields.
void readMask(const std::string& value, TicketField& field) {
  char* end = nullptr;
  const long mask = std::strtol(value.c_str(), &end, 10);
  if (end == value.c_str() || *end != '\0' || mask < 0 || mask > 511) {
    field.meaning = value + ": unknown";
    field.problem = "not a mask of the nine lock buttons (0 to 511)";
    return;
  }
  auto names = lockNames(std::uint32_t(mask));
  std::string list;
  for (const auto& name : names) list += (list.empty() ? "" : ", ") + name;
  field.meaning = value + ": " + (names.empty() ? "no field locked" : list + " locked");
}

class Inspector {
 public:
  Inspector(const platform::PrintSettings& settings, platform::CFStringEncoding system)
      : settings_(settings), system_(system), second_(secondVariantEncoding(system)) {
    report_.systemEncoding = system;
    report_.jobName = settings.jobName();
  }

  TicketReport run() {
    readSpoolTime();
    for (const KeySpec& spec : kKeys) readField(spec);
    preferFallbackDecoding();
    checkDigest("jobSuspendKey", "jobSuspend2Key", /*codeFirst=*/true);
    checkDigest("folderPassword", "folderPassword2", /*codeFirst=*/false);
    checkPlainNumber("userNumber", "userNumber2");
    checkPlainNumber("accountNumber", "accountNumber2");
    checkSameSecret("password", "password2");
    collectOtherKeys();
    return std::move(report_);
  }

 private:
  std::string fullKey(std::string_view name) const {
    return std::string(kPrefix) + std::string(name);
  }

  void readSpoolTime() {
    auto value = settings_.value(fullKey("spoolTime"));
    if (!value) return;
    auto bytes = bytesFromHex(*value);
    if (bytes && !bytes->empty() &&
        std::all_of(bytes->begin(), bytes->end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
      report_.spoolTimeText = *bytes;
    }
  }

  /// The stored value: the entry itself, or its pieces joined.
  std::optional<std::string> storedValue(const KeySpec& spec, std::vector<std::string>* keys) {
    if (!spec.chunked) {
      const std::string key = fullKey(spec.name);
      auto value = settings_.value(key);
      if (value) {
        keys->push_back(key);
        consumed_.insert(key);
      }
      return value;
    }
    std::optional<std::string> joined;
    for (std::size_t piece = 1; piece <= kMaxPieces; ++piece) {
      const std::string key = fullKey(spec.name) + std::to_string(piece);
      auto value = settings_.value(key);
      if (!value) break;
      keys->push_back(key);
      consumed_.insert(key);
      joined = joined.value_or("") + *value;
    }
    return joined;
  }

  platform::CFStringEncoding encodingOf(Variant variant) const {
    switch (variant) {
      case Variant::kSecond:
        return second_;
      case Variant::kUtf8:
        return platform::kCFStringEncodingUTF8;
      default:
        return system_;
    }
  }

  std::string piecesNote(const TicketField& field) const {
    if (field.storedKeys.size() <= 1) return "";
    return ", " + std::to_string(field.storedKeys.size()) + " pieces";
  }

  /// Decoded bytes as text of the field; a problem when they do not read.
  void setText(TicketField& field, const std::string& bytes, platform::CFStringEncoding encoding,
               const char* what) {
    if (auto text = textFromBytes(bytes, encoding)) {
      field.text = *text;
      field.meaning = std::string(what) + " " + quote(*text);
    } else {
      field.problem = "the bytes are not valid " + encodingName(encoding) + " text";
      field.meaning = std::string(what) + " (unreadable)";
    }
  }

  void readField(const KeySpec& spec) {
    TicketField field;
    field.name = spec.name;
    field.group = spec.group;
    auto value = storedValue(spec, &field.storedKeys);
    if (!value) return;
    field.value = *value;
    if (value->empty()) {
      field.meaning = std::string(spec.what) + " (empty)";
      field.problem = "empty value: the panel removes an entry rather than storing it empty";
      add(std::move(field));
      return;
    }
    const platform::CFStringEncoding encoding = encodingOf(spec.variant);

    switch (spec.form) {
      case Form::kSpoolTime:
        readSpoolTimeField(field);
        break;
      case Form::kDigit:
        readDigit(spec, *value, field);
        break;
      case Form::kHexName:
        readHexName(spec, *value, encoding, field);
        break;
      case Form::kMd5:
        readDigest(spec, *value, field);
        break;
      case Form::kHex32:
      case Form::kHex64:
        readHexSecret(spec, *value, encoding, field);
        break;
      case Form::kFixedB64:
        field.how = "fixed key, Base64, " + encodingName(encoding) + piecesNote(field);
        openSecret(field, openBase64Secret(*value, fixedKey()), encoding, spec.what);
        break;
      case Form::kSpoolB64:
        readSpoolKeySecret(spec, *value, encoding, field);
        break;
      case Form::kPad5:
        readPlainNumber(spec, *value, field);
        break;
      case Form::kMask:
        readMask(*value, field);
        break;
    }
    add(std::move(field));
  }

  /// The spool time, read before every other field (readSpoolTime).
  void readSpoolTimeField(TicketField& field) const {
    if (!report_.spoolTimeText) {
      field.problem = "not hexadecimal text of a spool time";
      field.meaning = "spool time (unreadable)";
      return;
    }
    field.text = report_.spoolTimeText;
    field.meaning = "saved " + *report_.spoolTimeText;
    const auto key = spoolKey(report_.spoolTimeText);
    field.how = "hex of the spool-time text; " +
                (key ? "key " + quote(*key) : std::string("too short for a key"));
    if (report_.spoolTimeText->size() < 16) {
      field.problem = "shorter than the 16 characters of a spool-time key";
    } else if (!isSpoolTimeForm(*report_.spoolTimeText)) {
      field.problem = "not of the form \"Tue, 8 Dec 2026 09:05:07 +0900\"";
    }
  }

  /// A name as hex of its bytes; the main folder as "*standard".
  void readHexName(const KeySpec& spec, const std::string& value,
                   platform::CFStringEncoding encoding, TicketField& field) {
    auto bytes = bytesFromHex(value);
    field.how = "hex of " + encodingName(encoding) + " bytes" + piecesNote(field);
    if (!bytes) {
      field.problem = "not hexadecimal text";
      field.meaning = std::string(spec.what) + " (unreadable)";
    } else if (std::string_view(spec.name).starts_with("folderPath") && *bytes == "*standard") {
      field.text = *bytes;
      field.meaning = "main folder (*standard)";
      field.how = "hex of \"*standard\"";
    } else {
      setText(field, *bytes, encoding, spec.what);
      rawBytes_[spec.name] = *bytes;
    }
  }

  /// A fixed-key secret of 32 or 64 hex digits.
  void readHexSecret(const KeySpec& spec, const std::string& value,
                     platform::CFStringEncoding encoding, TicketField& field) {
    const std::size_t bytes = spec.form == Form::kHex32 ? 16 : 32;
    field.how =
        "fixed key, " + std::to_string(bytes * 2) + " hex digits, " + encodingName(encoding);
    if (value.size() != bytes * 2) {
      field.problem = "expected " + std::to_string(bytes * 2) + " hex digits, found " +
                      std::to_string(value.size()) + " characters";
      field.meaning = std::string(spec.what) + " (unreadable)";
      return;
    }
    openSecret(field, openHexSecret(value, bytes), encoding, spec.what);
  }

  /// A Base64 secret ciphered with the ticket's own spool-time key.
  void readSpoolKeySecret(const KeySpec& spec, const std::string& value,
                          platform::CFStringEncoding encoding, TicketField& field) {
    field.how = "spool-time key, Base64, " + encodingName(encoding) + piecesNote(field);
    auto key = spoolKey(report_.spoolTimeText);
    if (!key) {
      field.meaning = std::string(spec.what) + " (not deciphered)";
      field.problem = "cannot decipher: the ticket has no readable spoolTime";
      return;
    }
    openSecret(field, openBase64Secret(value, *key), encoding, spec.what);
    if (!field.problem.empty()) {
      field.problem =
          "does not decipher to text with this ticket's spool-time key (the "
          "spoolTime or this value was changed)";
    }
  }

  void openSecret(TicketField& field, const Secret& secret, platform::CFStringEncoding encoding,
                  const char* what) {
    if (!secret.problem.empty()) {
      field.problem = secret.problem;
      field.meaning = std::string(what) + " (not deciphered)";
      return;
    }
    setText(field, secret.bytes, encoding, what);
    rawBytes_[field.name] = secret.bytes;
  }

  void add(TicketField field) {
    index_[field.name] = report_.fields.size();
    report_.fields.push_back(std::move(field));
  }

  TicketField* find(const std::string& name) {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : &report_.fields[it->second];
  }

  /// Names in the system encoding fall back to MacJapanese when the system
  /// encoding could not convert their first character. When the UTF-8
  /// variant is there, it tells which of the two readings is the name.
  void preferFallbackDecoding() {
    if (system_ == platform::kCFStringEncodingMacJapanese) return;
    static const std::pair<const char*, const char*> pairs[] = {
        {"folderPath", "folderPath3"}, {"folderPath2", "folderPath3"}, {"userName", "userName3"},
        {"userName2", "userName3"},    {"jobName", "jobName3"},        {"jobName2", "jobName3"},
        {"loginName1", "loginName2"},  {"loginName0", "loginName2"},
    };
    for (const auto& [name, utf8Name] : pairs) {
      TicketField* field = find(name);
      TicketField* utf8 = find(utf8Name);
      auto raw = rawBytes_.find(name);
      if (!field || !utf8 || !utf8->text || raw == rawBytes_.end()) continue;
      if (field->text && *field->text == *utf8->text) continue;
      auto japanese = textFromBytes(raw->second, platform::kCFStringEncodingMacJapanese);
      if (!japanese || *japanese != *utf8->text) continue;
      const KeySpec* spec = specOf(name);
      field->text = *japanese;
      field->meaning = std::string(spec->what) + " " + quote(*japanese);
      field->problem.clear();
      const std::string used = encodingName(encodingOf(spec->variant));
      if (auto at = field->how.find(used); at != std::string::npos) {
        field->how.replace(at, used.size(), "Mac Japanese (the writer's fallback)");
      }
    }
  }

  static const KeySpec* specOf(std::string_view name) {
    for (const KeySpec& spec : kKeys) {
      if (name == spec.name) return &spec;
    }
    return nullptr;
  }

  void checkDigest(const std::string& digestName, const std::string& codeName, bool codeFirst) {
    TicketField* digest = find(digestName);
    if (!digest) return;
    TicketCheck check{digestName, CheckStatus::kNotChecked, ""};
    const std::string formula =
        codeFirst ? "md5(pad5(code) + spool time)" : "md5(spool time + pad5(code))";
    TicketField* code = find(codeName);
    auto raw = rawBytes_.find(codeName);
    if (!digest->problem.empty()) {
      check.detail = "the digest is malformed";
    } else if (!code || raw == rawBytes_.end()) {
      check.detail = "no readable " + codeName + " to check it against";
    } else if (!report_.spoolTimeText) {
      check.detail = "the ticket has no readable spoolTime";
    } else {
      const std::string code5 = padFive(raw->second);
      const std::string expected =
          md5Hex(codeFirst ? code5 + *report_.spoolTimeText : *report_.spoolTimeText + code5);
      if (expected == digest->value) {
        check.status = CheckStatus::kMatch;
        check.detail = formula + " with code " + quote(raw->second);
      } else {
        check.status = CheckStatus::kMismatch;
        check.detail = formula + " with code " + quote(raw->second) + " is " + expected +
                       ", the ticket has " + digest->value;
      }
    }
    digest->meaning += check.status == CheckStatus::kMatch      ? ": matches the code"
                       : check.status == CheckStatus::kMismatch ? ": DOES NOT MATCH the code"
                                                                : ": not checked";
    report_.checks.push_back(std::move(check));
  }

  void checkPlainNumber(const std::string& plainName, const std::string& cipherName) {
    TicketField* plain = find(plainName);
    TicketField* cipher = find(cipherName);
    auto raw = rawBytes_.find(cipherName);
    if (!plain || !cipher) return;
    TicketCheck check{plainName, CheckStatus::kNotChecked, ""};
    if (raw == rawBytes_.end()) {
      check.detail = "no readable " + cipherName;
    } else if (padFive(raw->second) == plain->value) {
      check.status = CheckStatus::kMatch;
      check.detail = "equals pad5 of " + cipherName + " " + quote(raw->second);
    } else {
      check.status = CheckStatus::kMismatch;
      check.detail = quote(plain->value) + " differs from pad5 of " + cipherName + " " +
                     quote(padFive(raw->second));
    }
    report_.checks.push_back(std::move(check));
  }

  void checkSameSecret(const std::string& first, const std::string& second) {
    auto a = rawBytes_.find(first);
    auto b = rawBytes_.find(second);
    if (a == rawBytes_.end() || b == rawBytes_.end()) return;
    TicketCheck check{first, a->second == b->second ? CheckStatus::kMatch : CheckStatus::kMismatch,
                      ""};
    check.detail = check.status == CheckStatus::kMatch ? "same text as " + second
                                                       : "deciphers to other bytes than " + second;
    report_.checks.push_back(std::move(check));
  }

  void collectOtherKeys() {
    for (const auto& [key, value] : settings_.entries()) {
      if (!key.starts_with(kPrefix)) {
        report_.otherSettings.emplace_back(key, value);
        continue;
      }
      if (consumed_.count(key)) continue;
      const std::string name = key.substr(kPrefix.size());
      std::string why = "not a job-ticket key";
      for (const KeySpec& spec : kKeys) {
        if (!spec.chunked) continue;
        const std::string_view base = spec.name;
        if (name == base) {
          why = "the value of " + std::string(base) + " is stored in pieces (" + std::string(base) +
                "1, " + std::string(base) + "2, ...); the whole key is not read";
          break;
        }
        if (name.size() > base.size() && name.starts_with(base) &&
            std::all_of(name.begin() + std::ptrdiff_t(base.size()), name.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
          why = "piece " + name.substr(base.size()) + " of " + std::string(base) +
                " after a missing piece: left over from an earlier save, not read";
          break;
        }
      }
      report_.unknownKeys.emplace_back(name, why);
    }
  }

  const platform::PrintSettings& settings_;
  platform::CFStringEncoding system_;
  platform::CFStringEncoding second_;
  TicketReport report_;
  std::set<std::string> consumed_;
  std::map<std::string, std::size_t> index_;
  std::map<std::string, std::string> rawBytes_;  // decoded bytes of names and secrets
};

}  // namespace

std::optional<std::string> bytesFromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = nibble(hex[i]);
    const int low = nibble(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(char(high * 16 + low));
  }
  return bytes;
}

std::optional<std::string> bytesFromBase64(std::string_view text) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (text.size() % 4 == 1) return std::nullopt;
  auto sextet = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string bytes;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (char c : text) {
    const int value = sextet(c);
    if (value < 0) return std::nullopt;
    buffer = (buffer << 6) | std::uint32_t(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(char((buffer >> bits) & 0xFF));
    }
  }
  return bytes;
}

std::string md5Hex(std::string_view text) {
  md5_ctx context;
  md5_init(&context);
  md5_update(&context, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
  std::uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(&context, sizeof digest, digest);
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

std::string padFive(std::string_view text) {
  std::string padded(text);
  if (padded.size() < 5) padded.insert(0, 5 - padded.size(), '0');
  return padded;
}

const std::string& fixedKey() {
  static const std::string key = *bytesFromHex("5e3a91c07d24b6f8a1e0c94d3b7f2a61");
  return key;
}

namespace {

std::optional<std::string> aesBlocks(std::string_view input, std::string_view key, bool encrypt) {
  if (key.size() != 16 || input.size() % 16 != 0) return std::nullopt;
  const auto* keyBytes = reinterpret_cast<const std::uint8_t*>(key.data());
  const auto* from = reinterpret_cast<const std::uint8_t*>(input.data());
  std::string output(input.size(), '\0');
  auto* to = reinterpret_cast<std::uint8_t*>(output.data());
  aes128_ctx schedule;
  if (encrypt) {
    aes128_set_encrypt_key(&schedule, keyBytes);
    aes128_encrypt(&schedule, input.size(), to, from);
  } else {
    aes128_set_decrypt_key(&schedule, keyBytes);
    aes128_decrypt(&schedule, input.size(), to, from);
  }
  return output;
}

}  // namespace

std::optional<std::string> aesDecryptBlocks(std::string_view cipher, std::string_view key) {
  return aesBlocks(cipher, key, false);
}

std::string aesEncryptBlocks(std::string_view plain, std::string_view key) {
  std::string filled(plain);
  if (filled.size() % 16 != 0) filled.append(16 - filled.size() % 16, '\0');
  return aesBlocks(filled, key, true).value_or("");
}

Secret openCipher(std::string_view cipher, std::string_view key) {
  Secret secret;
  if (cipher.empty()) {
    secret.problem = "no cipher bytes";
    return secret;
  }
  if (cipher.size() % 16 != 0) {
    secret.problem =
        "the cipher is " + std::to_string(cipher.size()) + " bytes, not a multiple of 16";
    return secret;
  }
  auto plain = aesDecryptBlocks(cipher, key);
  if (!plain) {
    secret.problem = "the cipher library failed";
    return secret;
  }
  const std::size_t end = plain->find('\0');
  secret.bytes = plain->substr(0, end);
  const bool control = std::any_of(secret.bytes.begin(), secret.bytes.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
  if ((end != std::string::npos && !allZero(std::string_view(*plain).substr(end))) || control) {
    // A field's text has no control characters and ends in zero fill.
    secret.problem = "does not decipher to text: wrong key or damaged value";
  } else if (secret.bytes.empty()) {
    secret.problem = "deciphers to nothing";
  }
  return secret;
}

Secret openHexSecret(std::string_view hex, std::size_t byteCount) {
  auto bytes = bytesFromHex(hex);
  if (!bytes) return Secret{"", "not hexadecimal text"};
  std::string cipher = bytes->substr(0, byteCount);
  // The 64-digit form fills a one-block cipher with a block of zero bytes.
  while (cipher.size() > 16 && allZero(std::string_view(cipher).substr(cipher.size() - 16))) {
    cipher.resize(cipher.size() - 16);
  }
  return openCipher(cipher, fixedKey());
}

Secret openBase64Secret(std::string_view text, std::string_view key) {
  auto bytes = bytesFromBase64(text);
  if (!bytes) return Secret{"", "not Base64 text"};
  return openCipher(*bytes, key);
}

std::optional<std::string> textFromBytes(std::string_view bytes,
                                         platform::CFStringEncoding encoding) {
  const platform::NSStringEncoding ns =
      platform::CFStringConvertEncodingToNSStringEncoding(encoding);
  if (ns == 0) return std::nullopt;
  return platform::stringWithBytes(bytes.data(), bytes.size(), ns);
}

std::string encodingName(platform::CFStringEncoding encoding) {
  switch (encoding) {
    case platform::kCFStringEncodingMacRoman:
      return "Mac OS Roman";
    case platform::kCFStringEncodingMacJapanese:
      return "Mac Japanese";
    case platform::kCFStringEncodingMacChineseTrad:
      return "Mac Traditional Chinese";
    case platform::kCFStringEncodingMacKorean:
      return "Mac Korean";
    case platform::kCFStringEncodingMacChineseSimp:
      return "Mac Simplified Chinese";
    case platform::kCFStringEncodingMacCyrillic:
      return "Mac Cyrillic";
    case platform::kCFStringEncodingMacCentralEurRoman:
      return "Mac Central European";
    case platform::kCFStringEncodingWindowsLatin1:
      return "Windows Latin 1";
    case platform::kCFStringEncodingISOLatin1:
      return "ISO Latin 1";
    case platform::kCFStringEncodingASCII:
      return "ASCII";
    case platform::kCFStringEncodingUTF8:
      return "UTF-8";
    default: {
      std::ostringstream name;
      name << "encoding 0x" << std::hex << encoding;
      return name.str();
    }
  }
}

platform::CFStringEncoding secondVariantEncoding(platform::CFStringEncoding systemEncoding) {
  switch (systemEncoding) {
    case platform::kCFStringEncodingMacJapanese:
    case platform::kCFStringEncodingMacChineseTrad:
    case platform::kCFStringEncodingMacKorean:
    case platform::kCFStringEncodingMacChineseSimp:
      return systemEncoding;
    default:
      return platform::kCFStringEncodingWindowsLatin1;
  }
}

std::vector<std::string> lockNames(std::uint32_t mask) {
  static const char* const kNames[] = {"pass code",   "login name",     "password",
                                       "user name",   "job name",       "folder password",
                                       "user number", "account number", "folder name"};
  std::vector<std::string> names;
  for (std::size_t bit = 0; bit < std::size(kNames); ++bit) {
    if (mask & (1u << bit)) names.emplace_back(kNames[bit]);
  }
  return names;
}

std::vector<std::string> TicketReport::problems() const {
  std::vector<std::string> list;
  for (const auto& field : fields) {
    if (!field.problem.empty()) list.push_back(field.name + ": " + field.problem);
  }
  for (const auto& check : checks) {
    if (check.status == CheckStatus::kMismatch) list.push_back(check.name + ": " + check.detail);
  }
  return list;
}

TicketReport inspectTicket(const platform::PrintSettings& settings,
                           platform::CFStringEncoding systemEncoding) {
  return Inspector(settings, systemEncoding).run();
}

std::string formatTicketReport(const TicketReport& report) {
  std::ostringstream out;
  std::size_t ticketEntries = 0;
  for (const auto& field : report.fields) ticketEntries += field.storedKeys.size();
  out << "Job ticket: " << ticketEntries << (ticketEntries == 1 ? " entry" : " entries")
      << ", names read as " << encodingName(report.systemEncoding) << " / "
      << encodingName(secondVariantEncoding(report.systemEncoding)) << " / UTF-8\n";
  if (report.jobName) out << "Job name: " << escapeText(*report.jobName) << "\n";
  if (report.fields.empty()) out << "\n(the print settings hold no job ticket)\n";

  std::size_t width = 0;
  for (const auto& field : report.fields) width = std::max(width, field.name.size());
  for (const auto& [name, why] : report.unknownKeys)
    width = std::max(width, escapeText(name).size());
  std::string group;
  for (const auto& field : report.fields) {
    if (field.group != group) {
      group = field.group;
      out << "\n" << group << "\n";
    }
    out << "  " << field.name << std::string(width - field.name.size() + 2, ' ')
        << escapeText(field.meaning);
    if (!field.how.empty()) out << "  [" << escapeText(field.how) << "]";
    out << "\n";
    if (!field.problem.empty()) {
      out << "  " << std::string(width + 2, ' ') << "problem: " << escapeText(field.problem)
          << "\n";
    }
  }
  if (!report.checks.empty()) {
    out << "\nChecks\n";
    for (const auto& check : report.checks) {
      out << "  " << check.name << std::string(width - check.name.size() + 2, ' ')
          << (check.status == CheckStatus::kMismatch ? std::string_view("MISMATCH")
                                                     : checkStatusName(check.status))
          << ": " << escapeText(check.detail) << "\n";
    }
  }
  if (!report.unknownKeys.empty()) {
    out << "\nOther ticket keys\n";
    for (const auto& [key, why] : report.unknownKeys) {
      const std::string name = escapeText(key);
      out << "  " << name << std::string(width - name.size() + 2, ' ') << escapeText(why) << "\n";
    }
  }
  if (!report.otherSettings.empty()) {
    out << "\nOther print settings: " << report.otherSettings.size() << "\n";
    for (const auto& [key, value] : report.otherSettings)
      out << "  " << escapeText(key) << " = " << escapeText(value) << "\n";
  }
  const auto problems = report.problems();
  out << "\n";
  if (problems.empty()) {
    out << "No problems found.\n";
  } else {
    out << problems.size() << (problems.size() == 1 ? " problem" : " problems") << ":\n";
    for (const auto& problem : problems) out << "  " << escapeText(problem) << "\n";
  }
  return out.str();
}

json ticketReportJson(const TicketReport& report) {
  json fields = json::array();
  for (const auto& field : report.fields) {
    json entry = {{"name", field.name},
                  {"group", field.group},
                  {"keys", field.storedKeys},
                  {"value", field.value},
                  {"meaning", field.meaning}};
    entry["text"] = field.text ? json(*field.text) : json(nullptr);
    if (!field.how.empty()) entry["how"] = field.how;
    entry["problem"] = field.problem.empty() ? json(nullptr) : json(field.problem);
    fields.push_back(std::move(entry));
  }
  json checks = json::array();
  for (const auto& check : report.checks) {
    checks.push_back({{"name", check.name},
                      {"status", checkStatusName(check.status)},
                      {"detail", check.detail}});
  }
  json unknown = json::array();
  for (const auto& [name, why] : report.unknownKeys) {
    unknown.push_back({{"name", name}, {"why", why}});
  }
  json other = orderedObjectOf(report.otherSettings);
  const auto problems = report.problems();
  return json{
      {"systemEncoding", encodingName(report.systemEncoding)},
      {"secondVariantEncoding", encodingName(secondVariantEncoding(report.systemEncoding))},
      {"jobName", report.jobName ? json(*report.jobName) : json(nullptr)},
      {"spoolTime", report.spoolTimeText ? json(*report.spoolTimeText) : json(nullptr)},
      {"fields", std::move(fields)},
      {"checks", std::move(checks)},
      {"unknownKeys", std::move(unknown)},
      {"otherSettings", std::move(other)},
      {"problems", problems},
      {"consistent", problems.empty()},
  };
}

}  // namespace jobwick::host
