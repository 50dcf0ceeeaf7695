// SPDX-License-Identifier: Apache-2.0
// The SOAP client against the printer simulator: the request on the wire,
// the one-second waits, the 20-second limit, the response file and the
// failure report.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "device/fetch_test.h"
#include "platform/system.h"

namespace jwtest {
namespace {

namespace fs = std::filesystem;
using platform::monotonicNow;

class SOAPClientTest : public FetchTest {
 protected:
  std::string serviceURL() const { return "http://" + simulator.address() + "/quivo-mfp-srv"; }

  /// Runs one exchange with `body`; answers its duration in seconds.
  double exchange(const std::string& url, const std::optional<std::vector<std::uint8_t>>& body) {
    auto client = JCSOAPClient::initWithServerName(url, &callback);
    EXPECT_NE(client, nullptr) << url;
    if (!client) return 0;
    const double start = monotonicNow();
    client->sendMessage(body);
    started = start;
    return monotonicNow() - start;
  }

  std::vector<std::string> filesInTemporaryFolder() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(temp->path() / "tmp")) {
      out.push_back(e.path().filename().string());
    }
    return out;
  }

  CallbackRecorder callback;
  double started = 0;
};

TEST_F(SOAPClientTest, RequestGoesOutExactlyAndAPromptAnswerIsWrittenAfterOneWait) {
  startSimulator({"--folder", "Sales", "--locked-folder", "Board"});
  ASSERT_TRUE(jc->requestData.has_value());
  const auto& body = *jc->requestData;
  const std::string expectedBody =
      readFile(sourcePath(std::string("resources/") + jobwick::kModelProfile.model + "/" +
                          jobwick::kModelProfile.requestResource + ".xml"));
  ASSERT_EQ(std::string(body.begin(), body.end()), expectedBody);

  const double took = exchange(serviceURL(), jc->requestData);

  // One wait of a second, no report, the answer on file.
  EXPECT_GE(took, 0.99);
  EXPECT_LT(took, 2.0);
  EXPECT_EQ(callback.calls, 0);
  const auto requests = simulator.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/quivo-mfp-srv");
  EXPECT_EQ(requests[0].body, expectedBody);
  const std::vector<std::pair<std::string, std::string>> expectedHeaders = {
      {"Host", simulator.address()},
      {"SOAPAction", "\"SoapActionDummy\""},
      {"Content-Type", "application/soap; charset=\"utf-8\""},
      {"Content-Length", std::to_string(expectedBody.size())}};
  EXPECT_EQ(requests[0].headers, expectedHeaders);

  const std::string answer = readFile(responseFile());
  EXPECT_EQ(answer.rfind("<?xml", 0), 0u);
  EXPECT_NE(answer.find("<name>Board</name><password>true</password>"), std::string::npos);
  // Only the response file, readable by the user alone, and no leftovers.
  EXPECT_EQ(filesInTemporaryFolder(), (std::vector<std::string>{"vwxyz.xml"}));
  struct stat info {};
  ASSERT_EQ(stat(responseFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SOAPClientTest, NoBodySendsContentLengthZero) {
  startSimulator({});
  exchange(serviceURL(), std::nullopt);
  EXPECT_EQ(callback.calls, 0);
  const auto requests = simulator.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body, "");
  ASSERT_EQ(requests[0].headers.size(), 4u);
  EXPECT_EQ(requests[0].headers[3], (std::pair<std::string, std::string>("Content-Length", "0")));
}

TEST_F(SOAPClientTest, ErrorStatusBodyIsWrittenAsTheAnswer) {
  startSimulator({"--mode", "error", "--status", "500"});
  exchange(serviceURL(), jc->requestData);
  EXPECT_EQ(callback.calls, 0);
  EXPECT_NE(readFile(responseFile()).find("<faultstring>simulated failure</faultstring>"),
            std::string::npos);
}

TEST_F(SOAPClientTest, RefusedConnectionIsReportedWithinAboutASecond) {
  writeAnswer("<stale/>");
  const std::string url =
      "http://127.0.0.1:" + std::to_string(unusedLoopbackPort()) + "/quivo-mfp-srv";
  exchange(url, jc->requestData);
  ASSERT_EQ(callback.calls, 1);
  EXPECT_GE(callback.at - started, 0.99);
  EXPECT_LT(callback.at - started, 2.0);
  // The earlier answer does not survive a failed exchange.
  EXPECT_FALSE(fs::exists(responseFile()));
}

TEST_F(SOAPClientTest, OversizedAnswerFailsTheExchange) {
  writeAnswer("<stale/>");
  startSimulator({"--mode", "huge", "--size", std::to_string(JCSOAPClient::kMaxAnswerBytes + 1)});
  const double took = exchange(serviceURL(), jc->requestData);
  EXPECT_EQ(callback.calls, 1);
  EXPECT_LT(took, 10.0);
  EXPECT_FALSE(fs::exists(responseFile()));
  EXPECT_TRUE(filesInTemporaryFolder().empty());
}

TEST_F(SOAPClientTest, AnswerOfExactlyTheCapIsTaken) {
  startSimulator({"--mode", "huge", "--size", std::to_string(JCSOAPClient::kMaxAnswerBytes)});
  exchange(serviceURL(), jc->requestData);
  EXPECT_EQ(callback.calls, 0);
  EXPECT_EQ(fs::file_size(responseFile()), JCSOAPClient::kMaxAnswerBytes);
}

TEST_F(SOAPClientTest, RedirectIsNotFollowed) {
  startSimulator({"--mode", "redirect"});
  exchange(serviceURL(), jc->requestData);
  EXPECT_EQ(callback.calls, 0);
  EXPECT_EQ(simulator.requests().size(), 1u);
  EXPECT_EQ(readFile(responseFile()), "<moved/>\n");
}

TEST_F(SOAPClientTest, InvalidURLTextMakesNoClient) {
  for (const char* text : {"http://my printer/quivo-mfp-srv", "", "http://10.0.0.5:port/x"}) {
    EXPECT_EQ(JCSOAPClient::initWithServerName(text, &callback), nullptr) << text;
  }
}

TEST_F(SOAPClientTest, ConnectionThatCannotBeMadeEndsAtOnceWithoutReport) {
  const double took = exchange("ftp://127.0.0.1:9/quivo-mfp-srv", jc->requestData);
  EXPECT_LT(took, 0.5);
  EXPECT_EQ(callback.calls, 0);
  EXPECT_FALSE(fs::exists(responseFile()));
}

TEST_F(SOAPClientTest, PlantedLinkIsReplacedNotFollowed) {
  startSimulator({"--folder", "Sales"});
  const fs::path victim = temp->path() / "victim.txt";
  { std::ofstream(victim) << "keep me"; }
  fs::create_symlink(victim, responseFile());
  exchange(serviceURL(), jc->requestData);
  EXPECT_EQ(readFile(victim), "keep me");
  EXPECT_FALSE(fs::is_symlink(responseFile()));
  EXPECT_NE(readFile(responseFile()).find("<name>Sales</name>"), std::string::npos);
}

TEST_F(SOAPClientTest, WithoutATemporaryFolderNoFileIsWritten) {
  startSimulator({"--folder", "Sales"});
  platform::setTemporaryDirectoryOverride(std::string());
  EXPECT_EQ(JCSOAPClient::responseFilePath(), std::nullopt);
  exchange(serviceURL(), jc->requestData);
  EXPECT_EQ(callback.calls, 0);
  EXPECT_EQ(simulator.requests().size(), 1u);
  EXPECT_TRUE(filesInTemporaryFolder().empty());
}

TEST_F(SOAPClientTest, TimerKeepsTheClientUntilItFiresAndThenChangesNothingVisible) {
  startSimulator({});
  auto client = JCSOAPClient::initWithServerName(serviceURL(), &callback);
  ASSERT_NE(client, nullptr);
  std::weak_ptr<JCSOAPClient> watch = client;
  client->sendMessage(jc->requestData);
  EXPECT_EQ(client->finished, JCSOAPClient::kDone);
  client.reset();
  EXPECT_FALSE(watch.expired());  // held by its time-limit timer
  platform::Timer fake(0, {}, false);
  watch.lock()->firedByTimer(fake);  // what the timer will do: only the idle state changes
  EXPECT_EQ(callback.calls, 0);
  EXPECT_TRUE(fs::exists(responseFile()));
}

// The one slow test: a printer that never answers.
TEST_F(SOAPClientTest, SilentPrinterTimesOutAfterTwentySecondsAndTheConnectionIsClosed) {
  writeAnswer("<stale/>");
  startSimulator({"--mode", "never"});
  exchange(serviceURL(), jc->requestData);
  ASSERT_EQ(callback.calls, 1);
  const double waited = callback.at - started;
  EXPECT_GE(waited, 20.0);
  EXPECT_LT(waited, 21.5);
  EXPECT_FALSE(fs::exists(responseFile()));
  // The client hung up: the simulator sees the connection closed.
  const double end = monotonicNow() + 3.0;
  while (simulator.events().empty() && monotonicNow() < end) usleep(50000);
  EXPECT_EQ(simulator.events(), (std::vector<std::string>{"client-closed"}));
}

}  // namespace
}  // namespace jwtest
