// SPDX-License-Identifier: Apache-2.0
// The framework library's modules: shared objects of this build, installed
// beside the library, that hold the code calling a large library (libcurl,
// libxml2, ICU) so that only a process that uses it loads it. Each module
// exports one C entry point that answers its table of noexcept functions;
// the table starts with the build's version of it and its size, and a
// module whose table differs is refused.
#pragma once

#include <cstddef>
#include <string>

#include "platform/c_handles.h"

namespace platform {

/// Where a module is and what it is called in messages.
struct ModuleName {
  const char* what;          ///< "XML", as in "the XML module could not be loaded"
  const char* fileName;      ///< "jobwick-xml.so", in the framework library's folder
  const char* pathVariable;  ///< names another file to load in its place
  const char* symbol;        ///< the entry point
};

/// A module's file opened and its entry point found, or why not.
struct ModuleFile {
  SharedLibrary library;
  void* entry = nullptr;
  std::string path;
  std::string error;
};

/// Opens the module (never unloaded) and finds its entry point; `error`
/// says why when `entry` is null: "the XML module could not be loaded: ...".
ModuleFile openModule(const ModuleName& name);

/// A module's table, loaded and checked.
template <class Table>
struct LoadedModule {
  SharedLibrary library;
  const Table* table = nullptr;
  std::string error;
};

/// Opens the module and takes its table when it is one of this build:
/// `Table` starts with `int version` and `std::size_t size`.
template <class Table>
LoadedModule<Table> loadModuleTable(const ModuleName& name, int version) {
  LoadedModule<Table> loaded;
  ModuleFile file = openModule(name);
  if (!file.entry) {
    loaded.error = std::move(file.error);
    return loaded;
  }
  const auto entry = reinterpret_cast<const Table* (*)()>(file.entry);
  const Table* table = entry();
  if (!table || table->version != version || table->size != sizeof(Table)) {
    loaded.error =
        std::string("the ") + name.what + " module " + file.path + " is not one of this build";
    return loaded;
  }
  loaded.library = std::move(file.library);
  loaded.table = table;
  return loaded;
}

/// The table of the module `name`, loaded on the first call of the
/// process and kept; null with `error` (when given) saying why when it
/// could not be loaded.
template <class Table>
const Table* moduleTable(const ModuleName& name, int version, std::string* error) {
  static const LoadedModule<Table> loaded = loadModuleTable<Table>(name, version);
  if (!loaded.table && error) *error = loaded.error;
  return loaded.table;
}

}  // namespace platform
