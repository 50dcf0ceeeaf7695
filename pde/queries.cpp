// SPDX-License-Identifier: Apache-2.0
// Shared small operations: the PPD's text encoding, localisation of control
// texts, the system icons, and the model queries.
#include <algorithm>
#include <cstring>

#include "pde/JC.h"
#include "platform/ppd.h"
#include "platform/strings.h"

using jobwick::kModelProfile;

platform::NSStringEncoding getEncodingFromPPD(ppd_file_t* ppd) {
  if (!ppd) return platform::NSMacOSRomanStringEncoding;
  const auto value = platform::ppdAttributeValue(ppd, "LanguageEncoding");
  if (!value) return platform::NSMacOSRomanStringEncoding;
  if (*value == "ISOLatin1") return platform::NSISOLatin1StringEncoding;
  if (*value == "WindowsANSI") return platform::NSWindowsCP1252StringEncoding;
  if (*value == "JIS83-RKSJ") return platform::NSShiftJISStringEncoding;
  if (*value == "UTF-8" || *value == "UTF8") return platform::NSUTF8StringEncoding;
  return platform::NSMacOSRomanStringEncoding;
}

std::shared_ptr<platform::Image> initWithSystemIconType(std::uint32_t typeCode) {
  auto icon = platform::Image::iconForFileType(typeCode);
  if (icon) icon->setSize({18, 18});
  return icon;
}

namespace {

/// Characters the text scanner skips before it scans: white space and line
/// ends (ASCII and the common Unicode spaces).
bool isSkippedCharacter(char32_t c) {
  switch (c) {
    case U' ':
    case U'\t':
    case U'\n':
    case U'\v':
    case U'\f':
    case U'\r':
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

}  // namespace

std::optional<std::string> JC::localizedStringValue(const std::string& text) {
  // Skip leading white space as the text scanner does, then take the text
  // up to (not including) the first colon. An ASCII text (every control's
  // text in the interface files) is its own UTF-16, so it is scanned as it
  // is rather than converted there and back.
  std::string key;
  bool hasColon = false;
  if (std::all_of(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::size_t start = 0;
    while (start < text.size() && isSkippedCharacter(static_cast<unsigned char>(text[start])))
      ++start;
    const std::size_t colon = text.find(':', start);
    const std::size_t end = colon == std::string::npos ? text.size() : colon;
    if (end == start) return text;  // nothing scanned: the text as it is
    key = text.substr(start, end - start);
    hasColon = colon != std::string::npos;
  } else {
    const std::u16string source = platform::toUtf16(text);
    std::size_t start = 0;
    while (start < source.size() && isSkippedCharacter(source[start])) ++start;
    const std::size_t colon = source.find(u':', start);
    const std::size_t end = colon == std::u16string::npos ? source.size() : colon;
    if (end == start) return text;
    key = platform::fromUtf16(source.substr(start, end - start));
    hasColon = colon != std::u16string::npos;
  }
  const std::string suffix = hasColon ? ":" : "";
  const std::string translated = pdeBundle ? pdeBundle->localizedStringForKey(key) : key;
  return translated + suffix;
}

std::optional<std::string> JC::localizedStringValue(const platform::Object* object) {
  if (!object) return std::nullopt;
  if (auto* field = dynamic_cast<const platform::TextField*>(object)) {
    return localizedStringValue(field->stringValue());
  }
  if (auto* box = dynamic_cast<const platform::Box*>(object)) {
    return localizedStringValue(box->title());
  }
  if (auto* button = dynamic_cast<const platform::Button*>(object)) {
    return localizedStringValue(button->title());
  }
  if (auto* cell = dynamic_cast<const platform::ButtonCell*>(object)) {
    return localizedStringValue(cell->title());
  }
  return std::nullopt;
}

std::int64_t JC::getUIMode() const {
  if (!kModelProfile.readsPPDModelFlags) return kModelProfile.interfaceFiles[0].mode;
  return active_directory ? 5 : 4;
}

bool JC::CheckHardDisk() const {
  return kModelProfile.hasHardDisk;
}

std::int64_t JC::getPasswordMax() const {
  return kModelProfile.passwordMax;
}
