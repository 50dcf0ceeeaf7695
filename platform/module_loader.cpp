// SPDX-License-Identifier: Apache-2.0
#include "platform/module_loader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace platform {
namespace {

// The folder of the framework library itself: the modules are installed
// (and built) beside it, wherever the whole is.
std::optional<std::filesystem::path> libraryFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&libraryFolder), &info) == 0 || !info.dli_fname ||
      !*info.dli_fname) {
    return std::nullopt;
  }
  std::error_code ec;
  std::filesystem::path object = std::filesystem::canonical(info.dli_fname, ec);
  if (ec) return std::nullopt;
  return object.parent_path();
}

}  // namespace

ModuleFile openModule(const ModuleName& name) {
  ModuleFile file;
  const std::string module = std::string("the ") + name.what + " module ";
  if (const char* chosen = std::getenv(name.pathVariable); chosen && *chosen) {
    file.path = chosen;
  } else if (auto folder = libraryFolder()) {
    file.path = (*folder / name.fileName).string();
  } else {
    file.error =
        module + name.fileName + " cannot be found (the framework library's folder is unknown)";
    return file;
  }
  // Never unloaded: the libraries keep process-wide state once initialised,
  // and what the module made (documents, nodes) may outlive any one user.
  file.library.reset(::dlopen(file.path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
  if (!file.library) {
    const char* why = ::dlerror();
    file.error = module + "could not be loaded: " + std::string(why ? why : file.path);
    return file;
  }
  file.entry = ::dlsym(file.library.get(), name.symbol);
  if (!file.entry) file.error = module + file.path + " is not one of this build";
  return file;
}

}  // namespace platform
