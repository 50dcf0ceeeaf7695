// SPDX-License-Identifier: Apache-2.0
// The framework's modules: loaded from the library's folder or the file a
// variable names, and refused when missing or of another build.
#include "platform/module_loader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/xml_module.h"

namespace platform {
namespace {

TEST(ModuleLoader, LoadsAModuleOfThisBuildAndRefusesAnyOther) {
  constexpr const char* kVariable = "JOBWICK_TEST_MODULE";
  struct Case {
    const char* what;
    const char* fileName;  // beside the framework library
    const char* chosen;    // the variable's value, if set
    int version;
    const char* error;  // empty: loaded
  };
  const Case cases[] = {
      {"the XML module", xml::kModuleFileName, nullptr, xml::kModuleVersion, ""},
      {"another build's table", xml::kModuleFileName, nullptr, xml::kModuleVersion + 1,
       "the XML module /"},
      {"a module without the entry point", "jobwick-http.so", nullptr, xml::kModuleVersion,
       "jobwick-http.so is not one of this build"},
      {"a missing file", "gone.so", nullptr, xml::kModuleVersion,
       "the XML module could not be loaded: "},
      {"the variable's file", "gone.so", "/nonexistent/chosen.so", xml::kModuleVersion,
       "the XML module could not be loaded: /nonexistent/chosen.so"},
  };
  for (const Case& c : cases) {
    if (c.chosen) {
      setenv(kVariable, c.chosen, 1);
    } else {
      unsetenv(kVariable);
    }
    const auto loaded =
        loadModuleTable<xml::Module>({"XML", c.fileName, kVariable, xml::kModuleSymbol}, c.version);
    if (*c.error == '\0') {
      ASSERT_NE(loaded.table, nullptr) << c.what << ": " << loaded.error;
      EXPECT_NE(loaded.table->readMemory, nullptr);
      continue;
    }
    EXPECT_EQ(loaded.table, nullptr) << c.what;
    EXPECT_NE(loaded.error.find(c.error), std::string::npos) << c.what << ": " << loaded.error;
  }
  unsetenv(kVariable);
}

}  // namespace
}  // namespace platform
