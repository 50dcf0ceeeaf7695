// SPDX-License-Identifier: Apache-2.0
// The command line's own texts in the user's language: gettext catalogs
// (the text domain "jobwick", po/*.po), in the language the panel shows,
// so that a line never mixes languages.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace jobwick::host {

/// Marks a text for the catalogs where it is defined (a table entry) and is
/// translated where it is shown, with tr().
constexpr const char* N_(const char* english) {
  return english;
}

/// `english` in the language of the panel: the first of the user's
/// preferred languages (--language, else LANGUAGE, LC_ALL, LC_MESSAGES,
/// LANG, as the panel reads them) that is English or has a catalog. As it
/// stands when that is English, or the catalog lacks it.
std::string tr(const char* english);

/// tr(english) with %1, %2, ... replaced by `values`, in the translation's
/// own order.
std::string trf(const char* english, std::initializer_list<std::string_view> values);

/// The language tr() translates into ("ja"); empty for English.
std::string messageLanguage();

/// The folder of the catalogs (LANG/LC_MESSAGES/jobwick.mo): PREFIX/share/locale
/// for an installed program, BUILD/locale for one of the build folder.
std::filesystem::path catalogFolder();

}  // namespace jobwick::host
