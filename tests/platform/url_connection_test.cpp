// SPDX-License-Identifier: Apache-2.0
// URL connections against the printer simulator on loopback: the bytes that
// go out, the delegate messages that come back through the run loop, and
// cancelling.
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/run_loop.h"
#include "platform/url_connection.h"
#include "tests/support/printer_simulator.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class Recorder : public URLConnectionDelegate {
 public:
  void didReceiveResponse(URLConnection&, const URLResponse& response) override {
    events.push_back("response " + std::to_string(response.statusCode));
    headers = response.headers;
    body.clear();
  }
  void didReceiveData(URLConnection& connection, const std::uint8_t* bytes,
                      std::size_t length) override {
    if (events.empty() || events.back() != "data") events.push_back("data");
    body.append(reinterpret_cast<const char*>(bytes), length);
    if (cancelAfter && body.size() >= cancelAfter) connection.cancel();
  }
  void didFinishLoading(URLConnection&) override {
    events.push_back("finish");
    done = true;
  }
  void didFailWithError(URLConnection&, const std::string& error) override {
    events.push_back("fail");
    this->error = error;
    done = true;
  }

  std::vector<std::string> events;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string error;
  bool done = false;
  std::size_t cancelAfter = 0;
};

// Pumps the run loop in short slices until the delegate heard the end or
// `limit` seconds have passed.
void pumpUntilDone(const Recorder& recorder, double limit) {
  const double end = monotonicNow() + limit;
  while (!recorder.done && monotonicNow() < end) {
    RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.05);
  }
}

URLRequest soapRequest(const std::string& url, const std::string& body) {
  URLRequest request;
  request.url = url;
  request.cachePolicy = NSURLRequestReloadIgnoringLocalCacheData;
  request.method = "POST";
  request.body.assign(body.begin(), body.end());
  request.setValueForHTTPHeaderField("\"SoapActionDummy\"", "SOAPAction");
  request.setValueForHTTPHeaderField("application/soap; charset=\"utf-8\"", "Content-Type");
  request.setValueForHTTPHeaderField(std::to_string(body.size()), "Content-Length");
  return request;
}

class URLConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "jobwick-url-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
  }
  void TearDown() override {
    simulator.stop();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  void startSimulator(const std::vector<std::string>& arguments) {
    ASSERT_TRUE(simulator.start(arguments, folder / "requests.jsonl"));
  }
  std::string serviceURL() const { return "http://" + simulator.address() + "/quivo-mfp-srv"; }

  fs::path folder;
  jwtest::PrinterSimulator simulator;
};

TEST(URLRequestTest, SettingAFieldAgainReplacesItInPlaceWhateverItsCase) {
  URLRequest request;
  request.setValueForHTTPHeaderField("1", "A");
  request.setValueForHTTPHeaderField("2", "B");
  request.setValueForHTTPHeaderField("3", "a");
  ASSERT_EQ(request.headers.size(), 2u);
  EXPECT_EQ(request.headers[0], (std::pair<std::string, std::string>("A", "3")));
  EXPECT_EQ(request.headers[1].first, "B");
}

TEST(URLConnectionRefusalTest, RequestsThatCannotGoOutMakeNoConnection) {
  Recorder recorder;
  const std::vector<URLRequest> refused = [] {
    std::vector<URLRequest> list;
    for (const char* url : {"http://printer host/x", "https://127.0.0.1/x", "ftp://127.0.0.1/x",
                            "http:///quivo-mfp-srv", "not a url", ""}) {
      URLRequest request;
      request.url = url;
      list.push_back(request);
    }
    URLRequest injected;
    injected.url = "http://127.0.0.1:9/x";
    injected.setValueForHTTPHeaderField("x\r\nEvil: 1", "SOAPAction");
    list.push_back(injected);
    URLRequest badField;
    badField.url = "http://127.0.0.1:9/x";
    badField.setValueForHTTPHeaderField("1", "Bad Field:");
    list.push_back(badField);
    return list;
  }();
  for (const auto& request : refused) {
    EXPECT_EQ(URLConnection::initWithRequest(request, &recorder), nullptr) << request.url;
  }
  EXPECT_TRUE(recorder.events.empty());
}

TEST_F(URLConnectionTest, PostGoesOutByteForByteWithTheFieldsInOrder) {
  startSimulator({"--folder", "Sales"});
  // Bytes that a text-minded stack might alter: NUL, CR LF, high bytes, and
  // more than 1 MiB (where HTTP stacks like to ask for "100-continue").
  std::string body = "<?xml version=\"1.0\"?>\r\n<a>\xE6\x97\xA5</a>";
  body.push_back('\0');
  body += std::string(1 << 20, 'z');
  Recorder recorder;
  auto connection = URLConnection::initWithRequest(soapRequest(serviceURL(), body), &recorder);
  ASSERT_NE(connection, nullptr);
  pumpUntilDone(recorder, 10.0);

  EXPECT_EQ(recorder.events, (std::vector<std::string>{"response 200", "data", "finish"}));
  EXPECT_NE(recorder.body.find("<name>Sales</name>"), std::string::npos);
  const auto requests = simulator.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/quivo-mfp-srv");
  EXPECT_TRUE(requests[0].body == body);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Host", simulator.address()},
      {"SOAPAction", "\"SoapActionDummy\""},
      {"Content-Type", "application/soap; charset=\"utf-8\""},
      {"Content-Length", std::to_string(body.size())}};
  EXPECT_EQ(requests[0].headers, expected);
}

TEST_F(URLConnectionTest, EmptyBodySendsContentLengthZero) {
  startSimulator({});
  Recorder recorder;
  auto connection = URLConnection::initWithRequest(soapRequest(serviceURL(), ""), &recorder);
  ASSERT_NE(connection, nullptr);
  pumpUntilDone(recorder, 10.0);
  EXPECT_EQ(recorder.events.back(), "finish");
  const auto requests = simulator.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body, "");
  EXPECT_EQ(requests[0].headers.back(),
            (std::pair<std::string, std::string>("Content-Length", "0")));
}

TEST_F(URLConnectionTest, ErrorStatusAndRedirectAreAnswersWithBodies) {
  struct Case {
    std::vector<std::string> arguments;
    std::string response;
    std::string bodyPart;
  };
  for (const Case& c : {Case{{"--mode", "error", "--status", "503"}, "response 503", "Fault"},
                        Case{{"--mode", "redirect"}, "response 302", "<moved/>"}}) {
    simulator.stop();
    fs::remove(folder / "requests.jsonl");
    startSimulator(c.arguments);
    Recorder recorder;
    auto connection = URLConnection::initWithRequest(soapRequest(serviceURL(), "<x/>"), &recorder);
    ASSERT_NE(connection, nullptr);
    pumpUntilDone(recorder, 10.0);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{c.response, "data", "finish"}));
    EXPECT_NE(recorder.body.find(c.bodyPart), std::string::npos) << recorder.body;
    // The redirect is not followed: the simulator saw one request only.
    EXPECT_EQ(simulator.requests().size(), 1u);
  }
}

TEST_F(URLConnectionTest, RefusedConnectionFailsPromptly) {
  Recorder recorder;
  const std::string url =
      "http://127.0.0.1:" + std::to_string(jwtest::unusedLoopbackPort()) + "/quivo-mfp-srv";
  const double start = monotonicNow();
  auto connection = URLConnection::initWithRequest(soapRequest(url, "<x/>"), &recorder);
  ASSERT_NE(connection, nullptr);  // it starts; the failure comes as a message
  pumpUntilDone(recorder, 5.0);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"fail"}));
  EXPECT_FALSE(recorder.error.empty());
  EXPECT_LT(monotonicNow() - start, 1.0);
  EXPECT_TRUE(connection->isFinished());
}

TEST_F(URLConnectionTest, CancelStopsEveryMessageAndLeavesTheRunLoop) {
  startSimulator({"--mode", "never"});
  Recorder recorder;
  auto connection = URLConnection::initWithRequest(soapRequest(serviceURL(), "<x/>"), &recorder);
  ASSERT_NE(connection, nullptr);
  RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.5);
  connection->cancel();
  EXPECT_TRUE(connection->isFinished());
  // Nothing left to wait for: the connection is no longer a run-loop source.
  EXPECT_FALSE(RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.2));
  EXPECT_TRUE(recorder.events.empty());
}

TEST_F(URLConnectionTest, DelegateMayCancelWhileDataArrives) {
  startSimulator({"--mode", "huge", "--size", "3000000"});
  Recorder recorder;
  recorder.cancelAfter = 100000;
  auto connection = URLConnection::initWithRequest(soapRequest(serviceURL(), "<x/>"), &recorder);
  ASSERT_NE(connection, nullptr);
  const double end = monotonicNow() + 10.0;
  while (!connection->isFinished() && monotonicNow() < end) {
    RunLoop::currentRunLoop().runUntilDate(monotonicNow() + 0.05);
  }
  EXPECT_TRUE(connection->isFinished());
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"response 200", "data"}));
  EXPECT_GE(recorder.body.size(), 100000u);
  EXPECT_LT(recorder.body.size(), 3000000u);
}

}  // namespace
}  // namespace platform
