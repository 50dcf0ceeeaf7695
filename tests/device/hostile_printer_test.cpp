// SPDX-License-Identifier: Apache-2.0
// A hostile or broken printer behind the folder-list button: answers that
// are too big, too slow, nested too deep, full of entities or of bytes that
// are not UTF-8, or that point elsewhere. Each press ends with one request,
// a rejected or failed fetch (the alert only where the exchange itself
// failed), no file outside the answer read, and memory that stays bounded.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/fetch_test.h"
#include "platform/alert.h"
#include "platform/run_loop.h"
#include "platform/strings.h"

namespace jwtest {
namespace {

namespace fs = std::filesystem;

std::string bareSoap(const std::string& inner, const std::string& prolog = "") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + prolog +
         "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
         "<SOAP-ENV:Body><list-files-response>" +
         inner + "</list-files-response></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
}

std::string folder(const std::string& name) {
  return "<file><name>" + name + "</name></file>";
}

long maxResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

class HostilePrinterTest : public FetchTest {
 protected:
  // Presses the button against the simulator run with `arguments`; answers
  // the seconds the press took.
  double pressAgainst(const std::vector<std::string>& arguments) {
    startSimulator(arguments);
    platform::clearShownAlerts();
    const double start = platform::monotonicNow();
    press(simulator.address());
    return platform::monotonicNow() - start;
  }

  // Puts a known good list in place (list, cache and menu), as an earlier
  // fetch would have.
  void knownList() {
    jc->folderList = FolderList{FolderEntry{{"name", "Earlier"}, {"password", false}}};
    jc->makeFolderPopup();
  }

  fs::path bodyFile(const std::string& bytes) const {
    return writeFile(temp->path(), "body.xml", bytes);
  }
};

// Answers that complete as HTTP exchanges but must not become a folder
// list: a single request, nothing from the document kept, and a refused
// document says so once and keeps the list.
TEST_F(HostilePrinterTest, HostileDocumentsAreRejectedWithoutAlert) {
  const fs::path secret = writeFile(temp->path(), "secret.txt", "LEAKED-SECRET");
  // Ten levels of ten references each: 10^10 copies of 40 bytes if expanded.
  std::string bomb = "<!DOCTYPE e [<!ENTITY a \"" + std::string(40, 'A') + "\">";
  for (char level = 'b'; level <= 'k'; ++level) {
    std::string refs;
    for (int i = 0; i < 10; ++i) refs += std::string("&") + char(level - 1) + ";";
    bomb += std::string("<!ENTITY ") + level + " \"" + refs + "\">";
  }
  bomb += "]>\n";
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "<d>";
  for (int i = 0; i < 10000; ++i) deep += "</d>";

  struct Case {
    const char* what;
    std::string body;
  };
  const Case cases[] = {
      {"external entity",
       bareSoap("<files>" + folder("&xxe;") + "</files>",
                "<!DOCTYPE e [<!ENTITY xxe SYSTEM \"file://" + secret.string() + "\">]>\n")},
      {"external DTD", bareSoap("<files>" + folder("x") + "</files>",
                                "<!DOCTYPE e SYSTEM \"file://" + secret.string() + "\">\n")},
      {"entity expansion bomb", bareSoap("<files>" + folder("&k;") + "</files>", bomb)},
      {"10,000 levels of nesting",
       bareSoap("<files><file><name>Deep</name>" + deep + "</file></files>")},
      {"10,000 levels at the top", deep},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    knownList();
    const long rssBefore = maxResidentKiB();
    const double took = pressAgainst({"--body-file", bodyFile(c.body).string()});
    EXPECT_LT(took, 10.0);
    EXPECT_LE(platform::shownAlerts().size(), 1u);
    if (!platform::shownAlerts().empty()) {
      EXPECT_EQ(names(), std::vector<std::string>{"Earlier"});
    }
    EXPECT_EQ(simulator.requests().size(), 1u);
    for (const std::string& name : names()) {
      EXPECT_EQ(name.find("LEAKED"), std::string::npos);
      EXPECT_LT(name.size(), 1000u);  // no expanded entity text
    }
    EXPECT_LT(maxResidentKiB() - rssBefore, 64 * 1024) << "memory grew by KiB";
    simulator.stop();
  }
}

// Folder names whose bytes are not UTF-8: either the answer is refused or
// every name that reaches the list and the menu is valid text.
TEST_F(HostilePrinterTest, InvalidUtf8InFolderNamesNeverReachesTheMenu) {
  knownList();
  const std::string body =
      bareSoap("<result-code>ok</result-code><files>" + folder("Sales\xff\xfe") + folder("\xc3(") +
               folder("Board\xed\xa0\x80") + "</files>");
  pressAgainst({"--body-file", bodyFile(body).string()});
  EXPECT_LE(platform::shownAlerts().size(), 1u);
  if (!platform::shownAlerts().empty()) {
    EXPECT_EQ(names(), std::vector<std::string>{"Earlier"});
  }
  ASSERT_TRUE(jc->folderList);
  for (const std::string& name : names()) EXPECT_TRUE(platform::isValidUtf8(name)) << name;
  for (const std::string& title : menuTitles()) EXPECT_TRUE(platform::isValidUtf8(title)) << title;
}

// A body far over the size cap fails the exchange with the alert, without
// the process holding the body in memory; a redirect to another host is
// not followed.
TEST_F(HostilePrinterTest, OversizedBodyFailsAndRedirectIsNotFollowed) {
  knownList();
  const long rssBefore = maxResidentKiB();
  const double took = pressAgainst({"--mode", "huge", "--size", std::to_string(256 << 20)});
  EXPECT_LT(took, 15.0);
  EXPECT_EQ(platform::shownAlerts().size(), 1u);
  EXPECT_EQ(simulator.requests().size(), 1u);
  EXPECT_LT(maxResidentKiB() - rssBefore, 64 * 1024) << "memory grew by KiB";
  simulator.stop();

  knownList();
  pressAgainst({"--mode", "redirect"});
  EXPECT_EQ(simulator.requests().size(), 1u);
  // The small body of the redirect is no folder list: said once, list kept.
  EXPECT_EQ(platform::shownAlerts().size(), 1u);
  EXPECT_EQ(names(), std::vector<std::string>{"Earlier"});
}

// One byte a second: the exchange ends as a time-out after 20 to 21
// seconds with the alert, however many bytes are still coming. Slow; the
// test run registers it once, under the label "slow".
TEST_F(HostilePrinterTest, SlowTrickleTimesOutAfterTwentySeconds) {
  knownList();
  const double took = pressAgainst({"--mode", "trickle"});
  EXPECT_GE(took, 20.0);
  EXPECT_LT(took, 21.5);
  EXPECT_EQ(platform::shownAlerts().size(), 1u);
  EXPECT_EQ(simulator.requests().size(), 1u);
}

}  // namespace
}  // namespace jwtest
