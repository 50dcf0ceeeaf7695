// SPDX-License-Identifier: Apache-2.0
// Loading a plug-in bundle: its manifest, its shared object and an instance
// of its principal class.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/bundle.h"
#include "platform/c_handles.h"
#include "platform/pde.h"

namespace jobwick::host {

/// A shared object opened with dlopen, closed when it goes.
using LibraryHandle = platform::SharedLibrary;

/// A loaded bundle: the shared object stays open as long as this object
/// lives, and the principal-class instance is destroyed before it is closed.
/// Everything else made by the plug-in (panels) must be released before
/// this object goes.
class LoadedBundle {
 public:
  /// Opens the bundle folder `path`, loads the shared object its manifest
  /// names (CFBundleExecutable) with RTLD_NOW | RTLD_LOCAL and creates the
  /// principal class (NSPrincipalClass) through its exported factory
  /// NAME + "_alloc". Answers null on any failure; `error` then names the
  /// bundle and what is missing or broken.
  static std::unique_ptr<LoadedBundle> load(const std::filesystem::path& path,
                                            std::string* error = nullptr);

  LoadedBundle(const LoadedBundle&) = delete;
  LoadedBundle& operator=(const LoadedBundle&) = delete;
  ~LoadedBundle();

  const std::shared_ptr<platform::Bundle>& bundle() const { return bundle_; }
  platform::PDEPlugIn& plugIn() const { return *plugIn_; }
  const std::string& principalClass() const { return principalClass_; }
  const std::filesystem::path& executable() const { return executable_; }

 private:
  LoadedBundle() = default;

  std::shared_ptr<platform::Bundle> bundle_;
  std::string principalClass_;
  std::filesystem::path executable_;
  // Declared before the instance so that it is closed after it.
  LibraryHandle library_;
  std::unique_ptr<platform::PDEPlugIn> plugIn_;
};

/// Finds the bundle folder that `argument` names: a name with "/" is a path
/// ("./vk7300" for a folder in the current directory); a bare name is a
/// bundle in `bundleDir` named NAME, NAME.plugin or Jobwick<Name>.plugin
/// ("vk7300" finds JobwickVk7300.plugin), never a file or folder of the
/// current directory. Answers nullopt with `error` when nothing fits.
std::optional<std::filesystem::path> resolveBundlePath(const std::string& argument,
                                                       const std::filesystem::path& bundleDir,
                                                       std::string* error = nullptr);

/// The folder of the bundles: $JOBWICK_BUNDLE_DIR when set and not empty,
/// else the installed bundles beside an installed command
/// (PREFIX/lib/jobwick/bundles for PREFIX/bin/jobwick), else the bundles of
/// the build folder the program lies in (BUILD/bundles for
/// BUILD/host/jobwick).
std::filesystem::path defaultBundleDir();

}  // namespace jobwick::host
