// SPDX-License-Identifier: Apache-2.0
// Replacing a file whole, so that a reader sees the old content or the new,
// never a mix, and a failure at any step leaves the old file as it was.
//
// The new content goes to an unnamed file in the target's folder, is flushed
// to disk, is then given a temporary name of its own (TARGET.XXXXXX, made
// only where no file or link is, so a link planted under that name is never
// written through) and renamed over the target (a link at the target is
// replaced, not followed). A writer killed while writing leaves nothing; one
// killed between naming and renaming leaves a complete temporary file.
// Later writes pick a fresh name and ignore it, and a caller that holds a
// lock over all writers of the target can remove such leftovers with
// removeTemporaryFilesOf(). On a file system without unnamed files the
// temporary file is named from the start (created exclusively, links not
// followed), and a failed write removes it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

/// Replaces the file at `path` with `bytes`, giving it permissions `mode`
/// (whatever the umask). Returns 0 on success; on failure the errno value
/// of the step that failed (ENOSPC for a full disk, EACCES, ...), with the
/// old file untouched and no temporary file left behind.
int replaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                          unsigned mode = 0600);

/// Removes the temporary files that writers of `path` killed in mid-write
/// left in its folder (plain files named TARGET.XXXXXX; links and anything
/// else are left alone). Only safe while no other writer of `path` can be
/// at work, i.e. under a lock all writers take. Returns how many went; 0
/// also when the folder cannot be read.
std::size_t removeTemporaryFilesOf(const std::filesystem::path& path);

/// Whether `name` is the file name of one of replaceFileAtomically's
/// temporary files for a target named `target` (false otherwise).
bool isTemporaryNameFor(std::string_view target, std::string_view name);

/// Places where tests step into replaceFileAtomically; an empty function is
/// the normal behaviour. Not for product code.
struct AtomicFileSeams {
  /// The six characters of the next temporary name tried.
  std::function<std::string()> suffix;
  /// Stands in for write(2): same arguments, same result and errno.
  std::function<long(int fd, const char* data, std::size_t size)> write;
  /// Called with the temporary file's path once it is written and synced,
  /// just before the rename.
  std::function<void(const std::filesystem::path& temporary)> beforeRename;
};

/// Installs `seams` for the replaceFileAtomically calls that follow; pass
/// an empty AtomicFileSeams to restore the normal behaviour.
void setAtomicFileSeamsForTesting(AtomicFileSeams seams);

}  // namespace platform
