// SPDX-License-Identifier: Apache-2.0
// Catalog look-ups through glibc's gettext. The catalogs follow the
// panel's choice of language, not the C library's locale (which may name a
// language whose locale is not installed): the look-up runs under the
// C.UTF-8 messages locale with LANGUAGE naming the chosen language, both
// set only for the look-up.
#include "host/common/translate.h"

#include <libintl.h>
#include <locale.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <system_error>

#include "platform/bundle.h"
#include "platform/c_handles.h"

#ifndef JOBWICK_CATALOGS_FROM_BIN
#define JOBWICK_CATALOGS_FROM_BIN "../share/locale"
#endif
#ifndef JOBWICK_CATALOGS_FROM_BUILD_BIN
#define JOBWICK_CATALOGS_FROM_BUILD_BIN "../locale"
#endif

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;

constexpr char kDomain[] = "jobwick";

bool hasCatalog(const fs::path& folder, const std::string& language) {
  std::error_code ec;
  return fs::is_regular_file(folder / language / "LC_MESSAGES" / "jobwick.mo", ec);
}

/// LANGUAGE set to `language` while it lives, then as it was.
class LanguageVariable {
 public:
  explicit LanguageVariable(const std::string& language) {
    if (const char* value = std::getenv("LANGUAGE")) saved_ = value;
    ::setenv("LANGUAGE", language.c_str(), 1);
  }
  ~LanguageVariable() {
    if (saved_) {
      ::setenv("LANGUAGE", saved_->c_str(), 1);
    } else {
      ::unsetenv("LANGUAGE");
    }
  }
  LanguageVariable(const LanguageVariable&) = delete;
  LanguageVariable& operator=(const LanguageVariable&) = delete;

 private:
  std::optional<std::string> saved_;
};

}  // namespace

fs::path catalogFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  const fs::path folder = ec ? fs::current_path(ec) : self.parent_path();
  const fs::path installed = (folder / JOBWICK_CATALOGS_FROM_BIN).lexically_normal();
  if (fs::is_directory(installed, ec)) return installed;
  return (folder / JOBWICK_CATALOGS_FROM_BUILD_BIN).lexically_normal();
}

std::string messageLanguage() {
  static const fs::path folder = catalogFolder();
  for (const std::string& language : platform::preferredLanguages()) {
    if (language == "en") return {};
    if (hasCatalog(folder, language)) return language;
  }
  return {};
}

std::string tr(const char* english) {
  const std::string language = messageLanguage();
  if (language.empty()) return english;
  static const bool bound = [] {
    ::bindtextdomain(kDomain, catalogFolder().c_str());
    ::bind_textdomain_codeset(kDomain, "UTF-8");
    return true;
  }();
  (void)bound;
  static const platform::Locale messages(::newlocale(LC_MESSAGES_MASK, "C.UTF-8", nullptr));
  if (!messages) return english;
  const LanguageVariable chosen(language);
  const locale_t previous = ::uselocale(messages.get());
  std::string text = ::dgettext(kDomain, english);
  ::uselocale(previous);
  return text;
}

std::string trf(const char* english, std::initializer_list<std::string_view> values) {
  const std::string pattern = tr(english);
  std::string text;
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    const char next = at + 1 < pattern.size() ? pattern[at + 1] : '\0';
    const std::size_t index = std::size_t(next - '1');
    if (pattern[at] == '%' && next >= '1' && next <= '9' && index < values.size()) {
      text += *(values.begin() + index);
      ++at;
    } else {
      text += pattern[at];
    }
  }
  return text;
}

}  // namespace jobwick::host
