// SPDX-License-Identifier: Apache-2.0
// Bundle loading through dlopen/dlsym.
#include "host/engine/plugin_loader.h"

#include <dlfcn.h>
#include <algorithm>

#include <cctype>
#include <cstdlib>
#include <system_error>
#include <vector>

#ifndef JOBWICK_BUNDLES_FROM_BUILD_BIN
#define JOBWICK_BUNDLES_FROM_BUILD_BIN "../bundles"
#endif

namespace jobwick::host {

namespace fs = std::filesystem;

LoadedBundle::~LoadedBundle() {
  // The instance's code lives in the shared object: destroy it first.
  plugIn_.reset();
  library_.reset();
}

std::unique_ptr<LoadedBundle> LoadedBundle::load(const fs::path& path, std::string* error) {
  auto fail = [&](std::string message) -> std::unique_ptr<LoadedBundle> {
    if (error) *error = std::move(message);
    return nullptr;
  };
  const std::string name = path.string();

  std::error_code ec;
  if (!fs::exists(path, ec)) return fail("no bundle at " + name);
  if (!fs::is_directory(path, ec)) return fail(name + " is not a bundle folder");

  std::string detail;
  auto bundle = platform::Bundle::bundleWithPath(path, &detail);
  if (!bundle) {
    return fail("cannot open bundle " + name + (detail.empty() ? "" : ": " + detail));
  }

  std::unique_ptr<LoadedBundle> loaded(new LoadedBundle());
  loaded->bundle_ = bundle;

  auto principal = bundle->principalClassName();
  if (!principal || principal->empty()) {
    return fail("bundle " + name +
                " has no principal class: its manifest Info.plist lacks NSPrincipalClass");
  }
  loaded->principalClass_ = *principal;

  auto executable = bundle->executablePath();
  if (!executable) {
    return fail("bundle " + name +
                " has no shared object: its manifest Info.plist lacks CFBundleExecutable");
  }
  loaded->executable_ = *executable;
  if (!fs::exists(*executable, ec)) {
    return fail("bundle " + name + ": its shared object " + executable->string() +
                " does not exist");
  }

  ::dlerror();
  loaded->library_.reset(::dlopen(executable->c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!loaded->library_) {
    const char* why = ::dlerror();
    return fail("bundle " + name + ": cannot load " + executable->string() + ": " +
                (why ? why : "unknown error"));
  }

  const std::string factoryName = *principal + platform::kPrincipalClassFactorySuffix;
  ::dlerror();
  void* symbol = ::dlsym(loaded->library_.get(), factoryName.c_str());
  if (!symbol) {
    return fail("bundle " + name + ": principal class " + *principal + " not found (" +
                executable->filename().string() + " does not export " + factoryName + ")");
  }
  auto factory = reinterpret_cast<platform::PrincipalClassFactory>(symbol);
  loaded->plugIn_.reset(factory());
  if (!loaded->plugIn_) {
    return fail("bundle " + name + ": " + factoryName + " made no instance of " + *principal);
  }
  return loaded;
}

fs::path defaultBundleDir() {
  const char* fromEnvironment = std::getenv("JOBWICK_BUNDLE_DIR");
  if (fromEnvironment && *fromEnvironment) return fromEnvironment;
  // Both places are relative to the program, so that no path of the build
  // folder is compiled into it.
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  const fs::path folder = ec ? fs::current_path(ec) : self.parent_path();
#ifdef JOBWICK_BUNDLES_FROM_BIN
  // An installed command finds the installed bundles beside it.
  const fs::path installed = (folder / JOBWICK_BUNDLES_FROM_BIN).lexically_normal();
  if (fs::is_directory(installed, ec)) return installed;
#endif
  // A program of the build folder (BUILD/host/jobwick, BUILD/tests/...)
  // finds the bundles built there.
  return (folder / JOBWICK_BUNDLES_FROM_BUILD_BIN).lexically_normal();
}

std::optional<fs::path> resolveBundlePath(const std::string& argument, const fs::path& bundleDir,
                                          std::string* error) {
  auto fail = [&](std::string message) -> std::optional<fs::path> {
    if (error) *error = std::move(message);
    return std::nullopt;
  };
  if (argument.empty()) return fail("empty bundle name");

  // A name with "/" is a path; a bare name is always a model or bundle
  // name, so that a folder of that name in the current directory is never
  // taken for a bundle.
  std::error_code ec;
  if (argument.find('/') != std::string::npos) {
    if (fs::exists(argument, ec)) return fs::path(argument);
    return fail("no bundle at " + argument);
  }

  std::string capitalised = argument;
  capitalised[0] = char(std::toupper(static_cast<unsigned char>(capitalised[0])));
  const std::vector<fs::path> candidates = {
      bundleDir / argument,
      bundleDir / (argument + ".plugin"),
      bundleDir / ("Jobwick" + capitalised + ".plugin"),
  };
  for (const auto& candidate : candidates) {
    if (fs::is_directory(candidate, ec)) return candidate;
  }
  // Name the models that are there: "VK7300" or "vk7301" is then easy to correct.
  std::vector<std::string> models;
  for (const auto& entry : fs::directory_iterator(bundleDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("Jobwick") && name.ends_with(".plugin") && name.size() > 14) {
      std::string model = name.substr(7, name.size() - 14);
      for (char& c : model) c = char(std::tolower(static_cast<unsigned char>(c)));
      models.push_back(model);
    }
  }
  std::sort(models.begin(), models.end());
  std::string known;
  for (const auto& model : models) known += (known.empty() ? "" : ", ") + model;
  return fail(
      "no bundle named " + argument + " in " + bundleDir.string() + " (looked for " +
      candidates[1].filename().string() + " and " + candidates[2].filename().string() +
      (known.empty() ? std::string("; no bundles there") : "; the models there are " + known) +
      "; give a path or set JOBWICK_BUNDLE_DIR)");
}

}  // namespace jobwick::host
