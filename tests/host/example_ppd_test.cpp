// SPDX-License-Identifier: Apache-2.0
// The sample printers in examples/ppd: each opens with libcups and declares
// the job-handling keywords its name promises.
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/ppd.h"

namespace {

namespace fs = std::filesystem;

struct SamplePrinter {
  const char* file;
  const char* modelName;  ///< raw bytes of *ModelName
  const char* encoding;
  std::optional<std::string> documentFiling;
  std::optional<std::string> printSystem;
  std::optional<std::string> activeDirectory;
};

TEST(ExamplePPDs, OpenAndDeclareTheirKeywords) {
  const std::optional<std::string> none;
  const SamplePrinter printers[] = {
      {"vk7300.ppd", "Quivo VK-7300", "ISOLatin1", "True", "False", none},
      {"vk7300-active-directory.ppd", "Quivo VK-7300", "ISOLatin1", "True", "False", "True"},
      {"vk7300-print-system.ppd", "Quivo VK-7300", "ISOLatin1", "True", "True", none},
      {"vk7300-no-filing.ppd", "Quivo VK-7300", "ISOLatin1", "False", "False", none},
      {"vk7300-plain.ppd", "Quivo VK-7300", "ISOLatin1", none, none, none},
      {"vk410e.ppd", "Quivo VK-410E", "ISOLatin1", none, none, none},
      // "クイボ複合機 VK-7300" in Shift-JIS.
      {"vk7300-ja.ppd", "\x83\x4e\x83\x43\x83\x7b\x95\xa1\x8d\x87\x8b\x40 VK-7300", "JIS83-RKSJ",
       "True", "False", none},
  };
  for (const auto& printer : printers) {
    SCOPED_TRACE(printer.file);
    fs::path path = fs::path(JOBWICK_SOURCE_DIR) / "examples" / "ppd" / printer.file;
    std::string error;
    platform::PPDFile ppd = platform::openPPD(path.string(), &error);
    ASSERT_TRUE(ppd) << error;
    EXPECT_EQ(platform::ppdModelNameBytes(ppd.get()), printer.modelName);
    EXPECT_EQ(platform::ppdAttributeValue(ppd.get(), "LanguageEncoding"), printer.encoding);
    EXPECT_EQ(platform::ppdAttributeValue(ppd.get(), "Manufacturer"), "Quivo");
    EXPECT_EQ(platform::ppdAttributeValue(ppd.get(), "ARDocumentFiling"), printer.documentFiling);
    EXPECT_EQ(platform::ppdAttributeValue(ppd.get(), "ARQuivoPrintSystem"), printer.printSystem);
    EXPECT_EQ(platform::ppdAttributeValue(ppd.get(), "ARActiveDirectory"), printer.activeDirectory);
  }
}

}  // namespace
