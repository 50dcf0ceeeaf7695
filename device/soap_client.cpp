// SPDX-License-Identifier: Apache-2.0
#include "device/soap_client.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/system.h"
#include "platform/trace.h"

using platform::_PDEEpilog;
using platform::_PDELog;
using platform::_PDEProlog;

namespace {

/// Writes `bytes` to `path` atomically (see platform/atomic_file.h); false,
/// with the old file and no stray temporary file left, when that fails.
bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return platform::replaceFileAtomically(path, text, 0600) == 0;
}

// The time-limit timers of clients that may still be pending. Their actions
// are this plug-in's code, while the run loop belongs to the platform and
// outlives the plug-in: when the plug-in is unloaded (this object's static
// lifetime ends), pending timers are invalidated so that the run loop never
// calls or destroys an action whose code is gone.
class PendingTimers {
 public:
  PendingTimers() = default;
  PendingTimers(const PendingTimers&) = delete;
  PendingTimers& operator=(const PendingTimers&) = delete;
  ~PendingTimers() {
    for (const auto& weak : timers_) {
      if (const auto timer = weak.lock()) timer->invalidate();
    }
  }
  void add(const std::shared_ptr<platform::Timer>& timer) {
    std::erase_if(timers_, [](const std::weak_ptr<platform::Timer>& t) { return t.expired(); });
    timers_.push_back(timer);
  }

 private:
  std::vector<std::weak_ptr<platform::Timer>> timers_;
};

PendingTimers& pendingTimers() {
  static PendingTimers timers;
  return timers;
}

}  // namespace

std::shared_ptr<JCSOAPClient> JCSOAPClient::initWithServerName(const std::string& urlText,
                                                               SOAPClientCallback* context) {
  _PDEProlog(nullptr, "initWithServerName:context:");
  auto parsed = platform::URL::parse(urlText);
  if (!parsed) {
    _PDEEpilog(nullptr, "initWithServerName:context:=id(nil)");
    return nullptr;
  }
  std::shared_ptr<JCSOAPClient> client(new JCSOAPClient());
  client->m_context = context;
  client->url = std::move(*parsed);
  _PDEEpilog(client.get(), "initWithServerName:context:=id(self)");
  return client;
}

JCSOAPClient::~JCSOAPClient() = default;

std::optional<std::string> JCSOAPClient::responseFilePath() {
  // No shared fallback folder: without the user's own folder there is no
  // response file at all.
  const auto folder = platform::NSTemporaryDirectory();
  if (!folder) return std::nullopt;
  return *folder + kResponseFileName;
}

void JCSOAPClient::sendMessage(const std::optional<std::vector<std::uint8_t>>& body) {
  _PDEProlog(this, "sendMessage:");
  responseData.reset();

  platform::URLRequest request;
  request.url = url ? url->text : std::string();
  request.cachePolicy = platform::NSURLRequestReloadIgnoringLocalCacheData;
  request.timeoutInterval = kRequestTimeout;
  request.method = "POST";
  if (body) request.body = *body;
  request.setValueForHTTPHeaderField("\"SoapActionDummy\"", "SOAPAction");
  request.setValueForHTTPHeaderField("application/soap; charset=\"utf-8\"", "Content-Type");
  request.setValueForHTTPHeaderField(std::to_string(request.body.size()), "Content-Length");

  finished = kRunning;
  failureCause.clear();

  // An earlier answer must not outlive this exchange: if it fails, the
  // caller would otherwise read another exchange's folders (maybe another
  // printer's) as this one's.
  const std::optional<std::string> responsePath = responseFilePath();
  if (responsePath) unlink(responsePath->c_str());

  std::unique_ptr<platform::URLConnection> connection =
      platform::URLConnection::initWithRequest(request, this);
  if (!connection) {
    _PDELog(this, "Connection fail");
    _PDEEpilog(this, "sendMessage:=void");
    return;
  }

  // One-shot time limit. The timer keeps this client alive until it fires,
  // also when the exchange has long ended (it then changes nothing visible).
  pendingTimers().add(platform::Timer::scheduledTimerWithTimeInterval(
      kTimeLimit,
      [self = shared_from_this()](platform::Timer& timer) { self->firedByTimer(timer); }, false));

  receivedData.emplace();

  // Look at the state before the first wait and after each wait: a time-out
  // first, then a complete answer, then still running.
  for (;;) {
    if (finished == kTimedOut) {
      connection->cancel();
      failureCause =
          "the printer did not answer within " + std::to_string(int(kTimeLimit)) + " seconds";
      reportFailure();
      break;
    }
    if (finished == kDone) {
      if (responsePath) writeFileAtomically(*responsePath, *receivedData);
      break;
    }
    if (finished == kRunning) {
      platform::RunLoop& loop = platform::RunLoop::currentRunLoop();
      if (!loop.runUntilDate(platform::monotonicNow() + kWaitSlice)) {
        // Stopped by the host (its dialog closed), or nothing left that
        // could end the exchange (the time limit was taken off the loop):
        // count it as failed rather than spin.
        connection->cancel();
        finished = kFailed;
        failureCause = "the exchange was ended before the printer answered";
      }
      continue;
    }
    // Failed, or a state this client never sets.
    reportFailure();
    break;
  }

  receivedData.reset();
  _PDEEpilog(this, "sendMessage:=void");
}

void JCSOAPClient::didReceiveResponse(platform::URLConnection&,
                                      const platform::URLResponse& response) {
  responseData = response;
  // A new response starts the body afresh.
  if (receivedData) receivedData->clear();
}

void JCSOAPClient::didReceiveData(platform::URLConnection& connection, const std::uint8_t* bytes,
                                  std::size_t length) {
  if (!receivedData) return;
  if (length > kMaxAnswerBytes - receivedData->size()) {
    // No folder list is that large: stop the transfer instead of holding
    // an unbounded answer in memory, and report the exchange as failed.
    connection.cancel();
    receivedData->clear();
    finished = kFailed;
    failureCause = "the printer's answer is longer than " +
                   std::to_string(kMaxAnswerBytes / (1024 * 1024)) + " MiB";
    return;
  }
  receivedData->insert(receivedData->end(), bytes, bytes + length);
}

void JCSOAPClient::didFinishLoading(platform::URLConnection&) {
  finished = kDone;
}

void JCSOAPClient::didFailWithError(platform::URLConnection&, const std::string& error) {
  _PDELog(this, "connection:didFailWithError: %s", error.c_str());
  finished = kFailed;
  if (failureCause.empty()) failureCause = error;
}

void JCSOAPClient::reportFailure() {
  if (!m_context) return;
  m_context->exchangeFailedBecause(failureCause);
  m_context->recieveEndCallback();
}

void JCSOAPClient::firedByTimer(platform::Timer&) {
  finished = kTimedOut;
}
