// SPDX-License-Identifier: Apache-2.0
// PPD access through libcups. The host opens the printer's PPD with
// openPPD(); the panel reads attributes through these wrappers, which keep
// libcups' deprecated PPD calls inside one file of the platform.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <cups/ppd.h>

#include "platform/c_handles.h"  // PPDFile
#include "platform/file_bytes.h"

namespace platform {

/// Opens and parses a PPD file. Answers null when the file cannot be read
/// or is not a PPD; `error` (when given) then names the problem and line
/// (and is cleared on success). The record has the model name and the
/// encoding that libcups' parse of the whole file has, and every attribute
/// of it but the *Default of an option left out; it refuses what that
/// parse refuses, on the same line. The UI options are left out where they
/// can be told apart for certain (writeWithoutOptionBlocks), so the cost grows
/// with the file's size, not with the square of its option count. A
/// compressed (gzip) PPD is read whole.
PPDFile openPPD(const std::string& path, std::string* error = nullptr);

/// openPPD for a PPD already read into memory; `name` stands for the file
/// in `error`.
PPDFile openPPDText(std::string_view text, const std::string& name, std::string* error = nullptr);

/// A PPD file's bytes, read once for every question a command asks of it
/// (the bundle choice's keywords, then the dialog's parse).
class PPDText {
 public:
  /// Reads the file at `path`: copied into memory, or mapped when `mapped`
  /// (which costs no memory of its own, but is only for a file that this
  /// process made and that no one else writes, like a PPD fetched into a
  /// temporary file: a mapped file that another process cuts short would
  /// fault its reader). Null when the file cannot be read; `error` then
  /// says why, as openPPD would.
  static std::shared_ptr<const PPDText> read(const std::string& path, bool mapped,
                                             std::string* error = nullptr);
  /// A text already in memory.
  explicit PPDText(std::string text) : copy_(std::move(text)) {}
  ~PPDText();
  PPDText(const PPDText&) = delete;
  PPDText& operator=(const PPDText&) = delete;

  std::string_view bytes() const noexcept {
    return map_ != nullptr ? std::string_view(static_cast<const char*>(map_), size_) : copy_.view();
  }

 private:
  PPDText() = default;
  FileBytes copy_;
  void* map_ = nullptr;
  std::size_t size_ = 0;
};

/// Writes the PPD's text to `write`, in pieces as it is made, without its
/// plain option blocks (an *OpenUI with its *Default and its choices, up
/// to its *CloseUI; other entries inside a block stay where they are);
/// with `keepLines`, each line left out is an empty comment line ("*%"),
/// so line numbers stay those of the file. Blanking stops at the first
/// block it cannot be sure of (nested or unclosed blocks, groups inside
/// one, lines libcups would refuse), and the rest is as it was. libcups
/// makes no attribute of a choice, so its parse of this text has the same
/// attributes, in the same order, as that of the whole text, but for the
/// defaults of the options left out. Answers false when the whole text must
/// be read instead (what was written is then to be dropped), or when
/// `write` failed.
bool writeWithoutOptionBlocks(std::string_view text, bool keepLines,
                              const std::function<bool(std::string_view)>& write);

/// The value string of the first attribute `keyword` (any specifier), as
/// ppdFindAttr finds it; nullopt when the attribute is absent or has no
/// value string.
std::optional<std::string> ppdAttributeValue(ppd_file_t* ppd, const char* keyword);

/// Whether the PPD has an attribute `keyword` at all (with or without value).
bool ppdHasAttribute(ppd_file_t* ppd, const char* keyword);

/// The *ModelName value as the file's raw bytes (not yet decoded);
/// nullopt when the PPD declares none.
std::optional<std::string> ppdModelNameBytes(ppd_file_t* ppd);

/// The value strings of a few main keywords of a PPD, read without parsing
/// the rest of it: what ppdAttributeValue would answer for each of
/// `keywords` (names compared without regard to case; the first entry of
/// that name, whatever its option keyword), as
/// the file's raw bytes. A quoted value may span lines; an unquoted one ends
/// with its line. Keywords the PPD does not give are absent from the answer.
/// nullopt when the file cannot be read or does not start as a PPD
/// ("*PPD-Adobe:"); `error` then says why. Costs one pass over the file,
/// however many options the PPD has.
std::optional<std::map<std::string, std::string>> scanPPDKeywords(
    const std::string& path, const std::vector<std::string>& keywords,
    std::string* error = nullptr);

/// scanPPDKeywords of a PPD already read (PPDText); `name` stands for
/// the file in `error`.
std::optional<std::map<std::string, std::string>> scanPPDKeywords(
    std::string_view text, const std::string& name, const std::vector<std::string>& keywords,
    std::string* error = nullptr);

}  // namespace platform
