// SPDX-License-Identifier: Apache-2.0
// The SOAP client of the folder-list fetch: posts one request to the
// printer's web service and waits, pumping the run loop in one-second
// slices, until the answer is complete, the exchange fails, or 20 seconds
// have passed. A complete answer goes to the response file; a failed or
// timed-out exchange is reported by one recieveEndCallback to the context.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pde/JC.h"
#include "platform/object.h"
#include "platform/run_loop.h"
#include "platform/url.h"
#include "platform/url_connection.h"

class JCSOAPClient : public platform::Object,
                     public platform::URLConnectionDelegate,
                     public std::enable_shared_from_this<JCSOAPClient> {
 public:
  /// Exchange states (`finished`).
  static constexpr std::int32_t kRunning = 0;
  static constexpr std::int32_t kDone = 1;
  static constexpr std::int32_t kTimedOut = 2;
  static constexpr std::int32_t kFailed = 3;

  /// Seconds until the exchange is given up.
  static constexpr double kTimeLimit = 20.0;
  /// Seconds of one wait on the run loop between two looks at the state.
  static constexpr double kWaitSlice = 1.0;
  /// The request's own time-out (the time limit above always ends it first).
  static constexpr double kRequestTimeout = 60.0;
  /// Largest answer taken; a longer one fails the exchange.
  static constexpr std::size_t kMaxAnswerBytes = 4 * 1024 * 1024;
  /// Name of the response file in the user's temporary folder.
  static constexpr const char* kResponseFileName = "vwxyz.xml";

  /// Makes a client for the service URL `urlText` (the complete URL) that
  /// reports failures to `context` (not owned; it must outlive
  /// sendMessage). Null when the text is not a valid URL.
  static std::shared_ptr<JCSOAPClient> initWithServerName(const std::string& urlText,
                                                          SOAPClientCallback* context);
  ~JCSOAPClient() override;

  /// Performs one exchange with `body` (no body: an empty one) and returns
  /// when it has ended. The response file is removed first; a complete
  /// answer, whatever its HTTP status, is then written to it. A time-out,
  /// network failure or oversized answer calls the context's
  /// recieveEndCallback instead. When no connection can be made, only the
  /// trace line "Connection fail" is written.
  void sendMessage(const std::optional<std::vector<std::uint8_t>>& body);

  // URL connection delegate messages.
  void didReceiveResponse(platform::URLConnection& connection,
                          const platform::URLResponse& response) override;
  void didReceiveData(platform::URLConnection& connection, const std::uint8_t* bytes,
                      std::size_t length) override;
  void didFinishLoading(platform::URLConnection& connection) override;
  void didFailWithError(platform::URLConnection& connection, const std::string& error) override;

  /// Why the exchange failed (after kTimedOut or kFailed), in words.
  std::string failureCause;

  /// The time-out timer's action: marks the exchange as timed out.
  void firedByTimer(platform::Timer& timer);

  /// Path of the response file: the user's temporary folder followed by
  /// "vwxyz.xml"; nullopt when there is no usable temporary folder.
  static std::optional<std::string> responseFilePath();

  // Fields, in declaration order.
  SOAPClientCallback* m_context = nullptr;  ///< not owned
  std::optional<platform::URL> url;
  /// After sendMessage: kDone when the answer went to the response file,
  /// kTimedOut or kFailed when recieveEndCallback was called, kRunning when
  /// no request went out (no connection could be made).
  std::int32_t finished = kRunning;
  std::optional<platform::URLResponse> responseData;
  /// The answer collected so far; exists only inside sendMessage.
  std::optional<std::vector<std::uint8_t>> receivedData;

 private:
  JCSOAPClient() = default;
  /// Tells the context why the exchange failed, then recieveEndCallback.
  void reportFailure();
};
