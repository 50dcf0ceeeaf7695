// SPDX-License-Identifier: Apache-2.0
// PPD attribute access through libcups, URL splitting and the print-system
// accessors that combine them with the printer's device URI.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ppd.h"
#include "platform/print_settings.h"
#include "platform/url.h"

namespace platform {
namespace {

class PPDFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "jobwick-ppd-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string write(const std::string& name, const std::string& content) {
    const std::filesystem::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  std::filesystem::path folder_;
};

const char kHeader[] =
    "*PPD-Adobe: \"4.3\"\n"
    "*FormatVersion: \"4.3\"\n"
    "*LanguageVersion: English\n"
    "*NickName: \"Quivo Test\"\n"
    "*ShortNickName: \"Quivo Test\"\n";

TEST_F(PPDFiles, AttributeValuesPresentAbsentAndEmpty) {
  const std::string path = write("a.ppd", std::string(kHeader) +
                                              "*LanguageEncoding: ISOLatin1\n"
                                              "*ModelName: \"Quivo VK7300\"\n"
                                              "*ARDocumentFiling: True\n"
                                              "*ARQuivoPrintSystem: \"\"\n"
                                              "*ARActiveDirectory Main/Main: False\n");
  std::string error = "stale";
  PPDFile ppd = openPPD(path, &error);
  ASSERT_TRUE(ppd) << error;
  EXPECT_EQ(error, "");

  struct Case {
    const char* keyword;
    std::optional<std::string> value;
    bool present;
  };
  const Case cases[] = {
      {"ARDocumentFiling", "True", true},
      {"ARQuivoPrintSystem", "", true},
      {"ARActiveDirectory", "False", true},  // any specifier
      {"ARMissing", std::nullopt, false},
      // libcups itself answers UTF-8 in lang_encoding; the attribute keeps
      // what the file says.
      {"LanguageEncoding", "ISOLatin1", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ppdAttributeValue(ppd.get(), c.keyword), c.value) << c.keyword;
    EXPECT_EQ(ppdHasAttribute(ppd.get(), c.keyword), c.present) << c.keyword;
  }
  EXPECT_EQ(ppdModelNameBytes(ppd.get()), "Quivo VK7300");

  EXPECT_EQ(ppdAttributeValue(nullptr, "ARDocumentFiling"), std::nullopt);
  EXPECT_EQ(ppdAttributeValue(ppd.get(), nullptr), std::nullopt);
  EXPECT_FALSE(ppdHasAttribute(nullptr, "ARDocumentFiling"));
  EXPECT_EQ(ppdModelNameBytes(nullptr), std::nullopt);
}

TEST_F(PPDFiles, ModelNameKeepsTheFilesOwnBytes) {
  const std::string path = write("latin1.ppd", std::string(kHeader) +
                                                   "*LanguageEncoding: ISOLatin1\n"
                                                   "*ModelName: \"Caf\xE9 VK410e\"\n");
  PPDFile ppd = openPPD(path);
  ASSERT_TRUE(ppd);
  EXPECT_EQ(ppdModelNameBytes(ppd.get()), "Caf\xE9 VK410e");
}

TEST_F(PPDFiles, ModelNameAbsent) {
  PPDFile ppd = openPPD(write("bare.ppd", kHeader));
  ASSERT_TRUE(ppd);
  EXPECT_EQ(ppdModelNameBytes(ppd.get()), std::nullopt);
  EXPECT_EQ(ppdAttributeValue(ppd.get(), "LanguageEncoding"), std::nullopt);
}

TEST_F(PPDFiles, FailuresNameTheProblem) {
  std::string error;
  EXPECT_FALSE(openPPD((folder_ / "missing.ppd").string(), &error));
  EXPECT_NE(error.find("missing.ppd"), std::string::npos) << error;
  EXPECT_NE(error.find("Unable to open PPD file"), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(openPPD(write("text.ppd", "*PPD-Adobe: \"4.3\"\nno asterisk here\n"), &error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(openPPD(write("notppd.ppd", "hello\n"), &error));
  EXPECT_NE(error.find("line 1"), std::string::npos) << error;

  // No error text requested: still just null.
  EXPECT_FALSE(openPPD((folder_ / "missing.ppd").string()));
}

// The keyword scan answers what the full parse answers, whatever comes
// around the keywords: quoted code spanning lines (with lines inside that
// look like entries), option keywords, other cases, comments, unquoted
// values.
TEST_F(PPDFiles, KeywordScanAgreesWithTheParser) {
  const std::vector<std::string> keywords = {"JobwickDialogExtension", "ModelName", "NickName"};
  const std::string bodies[] = {
      "*ModelName: \"Quivo VK7300\"\n",
      "*OpenUI *PageSize: PickOne\n*DefaultPageSize: A4\n"
      "*PageSize A4/A4: \"<</PageSize[595 842]>>\n*ModelName: \"inside code\"\nsetpagedevice\"\n"
      "*End\n*CloseUI: *PageSize\n*ModelName: \"After Code\"\n",
      "*JobwickDialogExtension zz/Later: \"Z.plugin\"\n"
      "*JobwickDialogExtension aa: \"A.plugin\"\n*ModelName: Unquoted Model  \n",
      "*JobwickDialogExtension b: \"B.plugin\"\n*JobwickDialogExtension: \"Plain.plugin\"\n"
      "*JobwickDialogExtension: \"Second.plugin\"\n",
      "*jobwickdialogextension: \"Lower.plugin\"\n*% *ModelName: \"comment\"\n"
      "*ModelName: \"two\nlines\"\n",
      "*ModelName: \"\"\n",
      "*ModelName: \"X\x1b]0;t\x07\xc2\x85\"\n",
  };
  for (const std::string& body : bodies) {
    SCOPED_TRACE(body);
    const std::string path = write("scan.ppd", std::string(kHeader) + body);
    PPDFile ppd = openPPD(path);
    ASSERT_TRUE(ppd);
    std::string error = "stale";
    const auto scanned = scanPPDKeywords(path, keywords, &error);
    ASSERT_TRUE(scanned) << error;
    EXPECT_EQ(error, "");
    for (const std::string& keyword : keywords) {
      SCOPED_TRACE(keyword);
      const auto found = scanned->find(keyword);
      const std::optional<std::string> value =
          found == scanned->end() ? std::nullopt : std::optional(found->second);
      EXPECT_EQ(value, ppdAttributeValue(ppd.get(), keyword.c_str()));
    }
  }
}

TEST_F(PPDFiles, KeywordScanRefusesWhatIsNoPPD) {
  const struct {
    std::string name, content, error;
  } cases[] = {
      {"empty.ppd", "", "Missing PPD-Adobe-4.x header"},
      {"text.ppd", "*ModelName: \"Quivo VK7300\"\n", "Missing PPD-Adobe-4.x header"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(scanPPDKeywords(write(c.name, c.content), {"ModelName"}, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  std::string error;
  EXPECT_FALSE(scanPPDKeywords((folder_ / "missing.ppd").string(), {"ModelName"}, &error));
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST(URL, SplitsDeviceURIs) {
  struct Case {
    const char* text;
    const char* scheme;
    const char* user;
    const char* host;
    int port;
    const char* resource;
  };
  const Case cases[] = {
      {"ipp://10.0.0.5:631/ipp/print", "ipp", "", "10.0.0.5", 631, "/ipp/print"},
      {"ipp://10.0.0.5/ipp/print", "ipp", "", "10.0.0.5", 0, "/ipp/print"},
      {"lpd://printer.example/queue", "lpd", "", "printer.example", 0, "/queue"},
      {"socket://10.0.0.5:9100", "socket", "", "10.0.0.5", 9100, "/"},
      {"socket://10.0.0.5", "socket", "", "10.0.0.5", 0, "/"},
      {"http://h/p?q=1", "http", "", "h", 0, "/p?q=1"},
      {"http://h:8080", "http", "", "h", 8080, "/"},
      {"ipp://[fe80::1]:8631/x", "ipp", "", "fe80::1", 8631, "/x"},
      {"ipp://[::1]/x", "ipp", "", "::1", 0, "/x"},
      {"lpd://alice@h/q", "lpd", "alice", "h", 0, "/q"},
      {"IPP://Host/x", "IPP", "", "Host", 0, "/x"},  // scheme case kept
  };
  for (const Case& c : cases) {
    const std::optional<URL> url = URL::parse(c.text);
    ASSERT_TRUE(url) << c.text;
    EXPECT_EQ(url->text, c.text);
    EXPECT_EQ(url->scheme, c.scheme) << c.text;
    EXPECT_EQ(url->user, c.user) << c.text;
    EXPECT_EQ(url->host, c.host) << c.text;
    EXPECT_EQ(url->port, c.port) << c.text;
    EXPECT_EQ(url->resource, c.resource) << c.text;
  }
}

TEST(URL, RefusesInvalidText) {
  for (const char* text : {"", "not a url", "ipp://h/a b", "ipp://h:99999/x", "ipp://h:abc/",
                           "no-scheme", "ipp://h/\xC3\xA9", "ipp://h/x\n"}) {
    EXPECT_EQ(URL::parse(text), std::nullopt) << text;
  }
}

TEST(PrintSystem, PrinterAndSettingsAccessors) {
  const PrintSession session(Printer("Quivo_VK7300", "socket://10.0.0.5:9100"));
  const Printer* printer = nullptr;
  ASSERT_EQ(PMSessionGetCurrentPrinter(&session, &printer), noErr);
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(PMPrinterGetID(printer), "Quivo_VK7300");
  const std::optional<URL> uri = PMPrinterCopyDeviceURI(printer);
  ASSERT_TRUE(uri);
  EXPECT_EQ(uri->host, "10.0.0.5");

  const Printer noURI("p", std::nullopt);
  const Printer badURI("p", "usb printer");
  EXPECT_EQ(PMPrinterCopyDeviceURI(&noURI), std::nullopt);
  EXPECT_EQ(PMPrinterCopyDeviceURI(&badURI), std::nullopt);

  // Null handles do nothing and answer nothing.
  EXPECT_NE(PMSessionGetCurrentPrinter(nullptr, &printer), noErr);
  EXPECT_EQ(printer, nullptr);
  EXPECT_EQ(PMPrinterCopyDeviceURI(nullptr), std::nullopt);
  EXPECT_EQ(PMPrinterGetID(nullptr), "");
  EXPECT_EQ(PMPrintSettingsGetValue(nullptr, "k"), std::nullopt);
  EXPECT_NE(PMPrintSettingsSetValue(nullptr, "k", "v"), noErr);
  std::string name = "unchanged";
  EXPECT_NE(PMPrintSettingsGetJobName(nullptr, &name), noErr);
  EXPECT_EQ(name, "unchanged");

  PrintSettings settings;
  EXPECT_EQ(PMPrintSettingsSetValue(&settings, "k", "v"), noErr);
  EXPECT_EQ(PMPrintSettingsGetValue(&settings, "k"), "v");
  EXPECT_EQ(PMPrintSettingsSetValue(&settings, "k", std::nullopt), noErr);
  EXPECT_FALSE(settings.contains("k"));
  EXPECT_EQ(PMPrintSettingsSetValue(&settings, "absent", std::nullopt), noErr);

  EXPECT_NE(PMPrintSettingsGetJobName(&settings, &name), noErr);
  settings.setJobName("report.pdf");
  EXPECT_EQ(PMPrintSettingsGetJobName(&settings, &name), noErr);
  EXPECT_EQ(name, "report.pdf");
}

}  // namespace
}  // namespace platform
