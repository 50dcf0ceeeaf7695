// SPDX-License-Identifier: Apache-2.0
// The folder-list fetch: the answer grammar of parseXML, and the button
// press with the simulator (list, cache, menu, chasing arrow, alert).
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/fetch_test.h"
#include "platform/alert.h"
#include "platform/plist.h"
#include "prefs/preference_store.h"

namespace jwtest {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

/// A SOAP answer whose answer element holds `inner`.
std::string soap(const std::string& inner) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:qv=\"urn:q\">\n <SOAP-ENV:Header/>\n <SOAP-ENV:Body>\n  <qv:other/>\n"
         "  <qv:list-files-response>\n" +
         inner + "\n  </qv:list-files-response>\n </SOAP-ENV:Body>\n</SOAP-ENV:Envelope>\n";
}

std::string file(const std::string& name, const std::string& password = "false",
                 const std::string& dir = "true") {
  return "<file><name>" + name + "</name><password>" + password + "</password><dir>" + dir +
         "</dir></file>";
}

class FolderFetchTest : public FetchTest {
 protected:
  /// Parses `text` as the answer file.
  bool parse(const std::string& text) {
    writeAnswer(text);
    return jc->parseXML(responseFile().string());
  }

  std::optional<platform::plist::Dict> cache() const {
    return jobwick::prefs::readRecord(jc->preferenceName);
  }
  Names cachedNames() const {
    const auto record = cache();
    if (!record || !record->count("files")) return {"<none>"};
    Names out;
    for (const auto& value : *record->at("files").asArray()) {
      out.push_back(*value.asDict()->at("name").asString());
    }
    return out;
  }
  std::string cachedAddress() const {
    const auto record = cache();
    const platform::plist::Value* address =
        record && record->count("address") ? &record->at("address") : nullptr;
    return address && address->asString() ? *address->asString() : "<none>";
  }
};

TEST_F(FolderFetchTest, AnswerGrammar) {
  struct Case {
    const char* what;
    std::string document;
    bool result;
    Names names;
  };
  const std::string three = file("Sales") + file("Board", "true") + file("Archive");
  const Case cases[] = {
      {"ok with three folders",
       soap("<result-code>ok</result-code><files>" + three + "</files>"),
       true,
       {"Sales", "Board", "Archive"}},
      {"no result-code", soap("<files>" + three + "</files>"), true, {"Sales", "Board", "Archive"}},
      {"result-code other than ok",
       soap("<result-code>unsupported-operation</result-code><files>" + three + "</files>"),
       false,
       {"previous"}},
      {"result-code differing in case",
       soap("<result-code>OK</result-code><files/>"),
       false,
       {"previous"}},
      {"the last result-code decides",
       soap("<result-code>busy</result-code><files>" + file("A") +
            "</files><result-code>ok</result-code>"),
       true,
       {"A"}},
      {"files without children", soap("<result-code>ok</result-code><files></files>"), true, {}},
      {"no files", soap("<result-code>ok</result-code>"), false, {"previous"}},
      {"prefixed files",
       soap("<result-code>ok</result-code><qv:files>" + three + "</qv:files>"),
       false,
       {"previous"}},
      {"prefixed name is no name",
       soap("<files><file><qv:name>X</qv:name></file>" + file("B") + "</files>"),
       true,
       {"B"}},
      {"the last files is used",
       soap("<files>" + file("Old") + "</files><files>" + file("New") + "</files>"),
       true,
       {"New"}},
      {"folder element name does not matter",
       soap("<files><folder><name>A</name></folder><x><name>B</name></x></files>"),
       true,
       {"A", "B"}},
      {"answer element without children",
       "<Envelope><Body><response/></Body></Envelope>",
       false,
       {"previous"}},
      {"body without children", "<Envelope><Body/></Envelope>", false, {"previous"}},
      {"document element alone", "<Envelope/>", false, {"previous"}},
      {"a folder without name is left out",
       soap("<files><file><password>true</password></file>" + file("A") +
            "<file><dir>true</dir></file>" + file("B") + "</files>"),
       true,
       {"A", "B"}},
      {"empty name is kept", soap("<files>" + file("") + "</files>"), true, {""}},
      {"the last name wins",
       soap("<files><file><name>A</name><name>B</name></file></files>"),
       true,
       {"B"}},
      {"names keep entities and spaces",
       soap("<files>" + file(" R&amp;D &#x65E5; ") + "</files>"),
       true,
       {" R&D \xE6\x97\xA5 "}},
  };
  for (const auto& c : cases) {
    jc->folderList = FolderList{FolderEntry{{"name", "previous"}}};
    EXPECT_EQ(parse(c.document), c.result) << c.what;
    EXPECT_EQ(names(), c.names) << c.what;
  }
}

TEST_F(FolderFetchTest, FlagsAreSetOnlyByTheExactTextTrue) {
  ASSERT_TRUE(parse(soap("<files>" + file("a", "true", "true") + file("b", "True", "TRUE") +
                         file("c", "1", "yes") + file("d", " true", "true ") +
                         "<file><name>e</name></file>" +
                         "<file><password>true</password><password>false</password>"
                         "<dir>true</dir><dir>0</dir><name>f</name></file>" +
                         "</files>")));
  ASSERT_EQ(names(), (Names{"a", "b", "c", "d", "e", "f"}));
  const bool expectedPassword[] = {true, false, false, false, false, true};
  const bool expectedDir[] = {true, false, false, false, false, true};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(flag(i, "password"), expectedPassword[i]) << i;
    EXPECT_EQ(flag(i, "dir"), expectedDir[i]) << i;
    EXPECT_FALSE(flag(i, "add")) << i;
    EXPECT_EQ(jc->folderList->at(i).size(), 4u);
  }
}

TEST_F(FolderFetchTest, UnreadableAnswerLeavesTheListAsItWas) {
  jc->folderList = FolderList{FolderEntry{{"name", "kept"}}};
  EXPECT_FALSE(jc->parseXML((temp->path() / "missing.xml").string()));
  EXPECT_EQ(names(), (Names{"kept"}));
  EXPECT_FALSE(parse("<files><file><name>x</name></files>"));
  EXPECT_EQ(names(), (Names{"kept"}));
  EXPECT_FALSE(parse(""));
  EXPECT_EQ(names(), (Names{"kept"}));
}

TEST_F(FolderFetchTest, ExternalEntityInAnAnswerIsNotRead) {
  const fs::path secret = temp->path() / "secret.txt";
  { std::ofstream(secret) << "TOP-SECRET-4711"; }
  for (const std::string& target :
       {"file://" + secret.string(), std::string("file:///etc/passwd")}) {
    const std::string document =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE e [<!ENTITY xxe SYSTEM \"" + target + "\">]>\n" +
        "<e><b><r><files><file><name>&xxe;x</name></file></files></r></b></e>";
    parse(document);
    for (const auto& name : names()) {
      EXPECT_EQ(name.find("TOP-SECRET"), std::string::npos);
      EXPECT_EQ(name.find("root:"), std::string::npos);
    }
  }
}

TEST_F(FolderFetchTest, PromptAnswerBecomesListCacheAndMenu) {
  startSimulator({"--folder", "Sales", "--locked-folder", "Board", "--folder", "Archive"});
  // Look at the chasing arrow while the exchange waits.
  bool arrowShownDuringExchange = false;
  platform::Timer::scheduledTimerWithTimeInterval(
      0.3,
      [this, &arrowShownDuringExchange](platform::Timer&) {
        arrowShownDuringExchange =
            jc->chasingArrow && jc->chasingArrow->isAnimating() && !jc->chasingArrow->isHidden();
      },
      false);
  press(simulator.address());

  EXPECT_EQ(names(), (Names{"Sales", "Board", "Archive"}));
  EXPECT_TRUE(flag(1, "password"));
  EXPECT_FALSE(flag(0, "password"));
  EXPECT_EQ(menuTitles(),
            (Names{menuTitles()[0], menuTitles()[1], "---", "Sales", "Board", "Archive"}));
  EXPECT_EQ(cachedNames(), (Names{"Sales", "Board", "Archive"}));
  EXPECT_EQ(cachedAddress(), simulator.address());
  EXPECT_TRUE(platform::shownAlerts().empty());
  if (jc->chasingArrow) {
    EXPECT_TRUE(arrowShownDuringExchange);
    EXPECT_FALSE(jc->chasingArrow->isAnimating());
    EXPECT_TRUE(jc->chasingArrow->isHidden());
  }
  // The request is the model's request file.
  const auto requests = simulator.requests();
  ASSERT_EQ(requests.size(), 1u);
  ASSERT_TRUE(jc->requestData);
  EXPECT_EQ(requests[0].body, std::string(jc->requestData->begin(), jc->requestData->end()));
}

TEST_F(FolderFetchTest, FailedExchangeAlertsAndKeepsTheEarlierList) {
  startSimulator({"--folder", "PrinterA-1", "--folder", "PrinterA-2"});
  press(simulator.address());
  ASSERT_EQ(names(), (Names{"PrinterA-1", "PrinterA-2"}));
  simulator.stop();
  // The panel now shows another list (as loaded from the cache of another
  // printer); printer A's answer is still on file.
  jc->folderList = FolderList{FolderEntry{{"name", "B-cached"}, {"password", false}}};
  jc->makeFolderPopup();
  const Names menuBefore = menuTitles();

  // Another printer that cannot be reached.
  const std::string other = "127.0.0.1:" + std::to_string(unusedLoopbackPort());
  press(other);

  ASSERT_EQ(platform::shownAlerts().size(), 1u);
  const platform::Alert& alert = platform::shownAlerts()[0];
  EXPECT_EQ(alert.title, "");
  EXPECT_EQ(alert.message, "Could not retrieve Folder Names.");
  EXPECT_EQ(alert.defaultButton, "OK");
  // Printer A's answer is not shown or cached as this one's.
  EXPECT_FALSE(fs::exists(responseFile()));
  EXPECT_EQ(names(), (Names{"B-cached"}));
  EXPECT_EQ(menuTitles(), menuBefore);
  EXPECT_EQ(cachedNames(), (Names{"B-cached"}));
  EXPECT_EQ(cachedAddress(), other);
  if (jc->chasingArrow) {
    EXPECT_FALSE(jc->chasingArrow->isAnimating());
    EXPECT_TRUE(jc->chasingArrow->isHidden());
  }
}

TEST_F(FolderFetchTest, AlertComesWhileTheArrowIsAlreadyStopped) {
  bool arrowStoppedAtAlert = false;
  platform::setAlertPresenter([this, &arrowStoppedAtAlert](const platform::Alert&) {
    arrowStoppedAtAlert =
        !jc->chasingArrow || (!jc->chasingArrow->isAnimating() && jc->chasingArrow->isHidden());
  });
  press("127.0.0.1:" + std::to_string(unusedLoopbackPort()));
  EXPECT_TRUE(arrowStoppedAtAlert);
}

// The answer on file may be another printer's (an earlier fetch's): a press
// that sends no request never reads it.
TEST_F(FolderFetchTest, NoRequestNeverReadsTheAnswerOnFile) {
  struct Case {
    const char* address;
    std::size_t alerts;
  };
  // Empty address: nothing asked, nothing said. An address that makes no
  // valid URL: the fetch failed, and the user is told.
  const Case cases[] = {{"", 0}, {"my printer", 1}, {"ho\nst", 1}};
  for (const Case& c : cases) {
    platform::clearShownAlerts();
    writeAnswer(soap("<files>" + file("OtherPrinters") + "</files>"));
    jc->folderList = FolderList{FolderEntry{{"name", "Mine"}, {"password", false}}};
    jc->makeFolderPopup();
    press(c.address);
    EXPECT_EQ(names(), (Names{"Mine"})) << c.address;
    EXPECT_EQ(menuTitles().back(), "Mine") << c.address;
    EXPECT_EQ(cachedNames(), (Names{"Mine"})) << c.address;
    EXPECT_EQ(cachedAddress(), c.address);
    EXPECT_EQ(platform::shownAlerts().size(), c.alerts) << c.address;
  }
  // Without a list of its own the panel still has none.
  jc->folderList.reset();
  press("");
  EXPECT_EQ(names(), (Names{"<nil>"}));
}

// An answer that yields no folder list says nothing about the printer's
// folders: the user is told once, and the list, menu and cache stay.
TEST_F(FolderFetchTest, UnusableAnswerAlertsOnceAndKeepsTheList) {
  const std::vector<std::vector<std::string>> modes = {
      {"--folder", "Sales", "--result-code", "unsupported-operation"},
      {"--mode", "malformed"},
      {"--mode", "error", "--status", "500"},
  };
  for (const auto& mode : modes) {
    platform::clearShownAlerts();
    startSimulator(mode);
    jc->folderList = FolderList{FolderEntry{{"name", "Old"}, {"password", false}}};
    jc->makeFolderPopup();
    press(simulator.address());
    simulator.stop();
    EXPECT_EQ(names(), (Names{"Old"})) << mode[1];
    EXPECT_EQ(menuTitles().back(), "Old") << mode[1];
    EXPECT_EQ(cachedNames(), (Names{"Old"})) << mode[1];
    ASSERT_EQ(platform::shownAlerts().size(), 1u) << mode[1];
    EXPECT_EQ(platform::shownAlerts()[0].message, "Could not retrieve Folder Names.");
  }
}

// A failed fetch keeps the panel's own text and says why below it; a host
// that stops the run loop (its dialog closed) ends a hanging exchange at
// once instead of at the time-out.
TEST_F(FolderFetchTest, FailedFetchAlertSaysWhy) {
  struct Case {
    std::vector<std::string> simulator;  // empty: no printer there
    std::string address;
    double stopAfter;  // seconds; 0: not stopped
    std::string cause;
  };
  const std::string unreachable = "127.0.0.1:" + std::to_string(unusedLoopbackPort());
  const Case cases[] = {
      {{}, "my printer", 0, "no connection could be made to my printer"},
      {{}, unreachable, 0, ""},
      {{"--mode", "malformed"}, "", 0, "the printer's answer is not a folder list"},
      {{"--mode", "never"}, "", 0.3, "the exchange was ended before the printer answered"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cause);
    platform::clearShownAlerts();
    if (!c.simulator.empty()) startSimulator(c.simulator);
    std::shared_ptr<platform::Timer> stopper;
    if (c.stopAfter > 0) {
      stopper = platform::Timer::scheduledTimerWithTimeInterval(
          c.stopAfter, [](platform::Timer&) { platform::RunLoop::currentRunLoop().stop(); }, false);
    }
    const double start = platform::monotonicNow();
    press(c.simulator.empty() ? c.address : simulator.address());
    const double took = platform::monotonicNow() - start;
    simulator.stop();
    ASSERT_EQ(platform::shownAlerts().size(), 1u);
    const platform::Alert& alert = platform::shownAlerts()[0];
    EXPECT_EQ(alert.message, "Could not retrieve Folder Names.");
    if (c.cause.empty()) {
      EXPECT_NE(alert.detail, "");  // the connection's own words
    } else {
      EXPECT_EQ(alert.detail, c.cause);
    }
    if (c.stopAfter > 0) {
      EXPECT_LT(took, c.stopAfter + 1.5);
    }
  }
  // Stopping while nothing runs leaves the next wait alone.
  platform::RunLoop::currentRunLoop().stop();
  auto timer = platform::Timer::scheduledTimerWithTimeInterval(
      0.05, [](platform::Timer&) {}, false);
  EXPECT_TRUE(platform::RunLoop::currentRunLoop().runUntilDate(platform::monotonicNow() + 0.1));
}

TEST_F(FolderFetchTest, WithoutTheButtonNothingHappens) {
  writeAnswer(soap("<files>" + file("OnFile") + "</files>"));
  jc->folderList.reset();
  jc->getFolderNameButton = nullptr;
  jc->getFolderNameButtonProc(nullptr);
  EXPECT_EQ(names(), (Names{"<nil>"}));
  EXPECT_EQ(cachedNames(), (Names{"<none>"}));
}

}  // namespace
}  // namespace jwtest
