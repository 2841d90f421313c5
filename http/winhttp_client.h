// WinHttpClient: one synchronous HTTP or HTTPS exchange over WinHTTP, with lenient certificates,
// extra headers and cookies, a named proxy, the fallback to the user's proxy configuration and up to
// three attempts, each bounded by a deadline and a body size limit; it keeps the decoded response and
// the values of its headers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "http/body_buffer.h"
#include "http/header_values.h"
#include "base/handles_win.h"

namespace cv {

class WinHttpClient {
 public:
  explicit WinHttpClient(std::wstring url);
  ~WinHttpClient();
  WinHttpClient(const WinHttpClient&) = delete;
  WinHttpClient& operator=(const WinHttpClient&) = delete;

  // Sends the request with the verb "GET" or "POST" (any letter case). True when an attempt
  // completed; `LastError()` then may still hold the code of a failure that a later step overcame.
  bool Execute(const std::wstring& verb);
  std::wstring ResponseText() const { return responseText; }

  // Request options, set before Execute.
  void SetRequireValidCertificate(bool value) { requireValidCertificate = value; }
  void SetRequestCookies(std::wstring value) { requestCookies = std::move(value); }
  void SetRequestHeaders(std::wstring value) { requestHeaders = std::move(value); }
  void SetRequestData(const void* data, std::uint32_t length);
  void SetProxy(std::wstring value) { proxy = std::move(value); }
  void SetProxyUserName(std::wstring value) { proxyUserName = std::move(value); }
  void SetProxyPassword(std::wstring value) { proxyPassword = std::move(value); }
  // Takes effect when the session opens, that is on the first Execute.
  void SetUserAgent(std::wstring value) { userAgent = std::move(value); }
  // With `fixed` true the headers' charset is ignored and `charset` decodes the body.
  void SetCharset(bool fixed, std::wstring charset) {
    charsetFixed = fixed;
    headerValues.responseCharset = std::move(charset);
  }
  void SetProgressCallback(std::function<void(double)> callback) {
    progressCallback = std::move(callback);
  }
  // Milliseconds; a resolve time-out of 0 means no limit.
  void SetTimeouts(int resolve, int connect, int send, int receive);
  // The longest one attempt may take, from its send to the end of its body, in milliseconds (0: no
  // limit). The time-outs above bound each wait on its own; a server that trickles its answer can
  // keep every wait short and still never end, and the deadline ends the attempt then.
  void SetAttemptDeadline(std::uint32_t milliseconds) { attemptDeadline = milliseconds; }
  // The longest all attempts of one Execute may take together, from its start, in milliseconds (0:
  // no limit): each attempt ends at its own deadline or at this one, whichever comes first, and no
  // attempt starts after it.
  void SetExchangeDeadline(std::uint32_t milliseconds) { exchangeDeadline = milliseconds; }
  // The largest body an attempt accepts, in bytes.
  void SetBodyLimit(std::uint32_t bytes) { bodyLimit = bytes; }
  static constexpr std::uint32_t kDefaultAttemptDeadline = 60000;

  // Response members, read after Execute.
  bool SessionOpen() const { return session.valid(); }
  const std::wstring& HostName() const { return hostName; }
  const std::wstring& ResponseHeaders() const { return responseHeaders; }
  const std::wstring& ResponseCharset() const { return headerValues.responseCharset; }
  std::uint32_t ContentLength() const { return headerValues.contentLength; }
  const std::wstring& Location() const { return headerValues.location; }
  const std::wstring& ResponseCookies() const { return headerValues.responseCookies; }
  const std::wstring& StatusCode() const { return statusCode; }
  // The body of the last attempt that read one, followed by at least one zero byte; null before.
  const char* RawBody() const { return rawBody ? rawBody->data() : nullptr; }
  std::uint32_t RawBodyLength() const { return rawBodyLength; }
  std::uint32_t LastError() const { return lastError; }
  // The platform's error of the last send that failed (0 when none did), which LastError() leaves out.
  std::uint32_t SendError() const { return sendError; }

 private:
  bool Run(const std::wstring& verb);
  // How an attempt ended: complete, failed, or failed by its deadline or body limit while the
  // answer was still coming, whose rest the connection still holds.
  enum class AttemptEnd { Complete, Failed, AnswerAbandoned };
  AttemptEnd Attempt(HINTERNET request, const std::wstring& verb);
  void AddHeaderLines(HINTERNET request, const std::wstring& lines);
  void SetNamedProxy(HINTERNET request);
  bool SendThroughUserProxy(HINTERNET request);
  bool Send(HINTERNET request);
  void ReadHeaderValues(HINTERNET request);
  void ReadStatusCode(HINTERNET request);
  // How the reading of a body ended: at its end (or at a failure that the body survives as it
  // stands), or at one of the attempt's limits, which fail the attempt.
  enum class BodyEnd { Complete, DeadlinePassed, TooLarge };
  BodyEnd ReadBody(HINTERNET request);
  bool StartWait(HINTERNET request);
  bool WaitEndedAtDeadline() const;
  void DecodeBody();
  void ReportProgress(std::uint32_t bytesRead) const;
  void RecordError();

  WinHttpHandle session;
  bool requireValidCertificate = false;
  std::wstring url;
  std::wstring hostName;
  std::wstring responseHeaders;
  std::wstring responseText;
  // The charset, Content-Length, Location and cookies taken from the headers.
  HeaderValues headerValues;
  std::unique_ptr<BodyBuffer> rawBody;
  std::uint32_t rawBodyLength = 0;
  std::function<void(double)> progressCallback;
  std::wstring requestCookies;
  std::vector<char> requestData;
  std::wstring requestHeaders;
  std::wstring proxy;
  std::uint32_t lastError = 0;
  std::wstring statusCode;
  std::wstring userAgent = L"WinHttpClient";
  bool charsetFixed = false;
  std::wstring proxyUserName;
  std::wstring proxyPassword;
  int resolveTimeout = 0;
  int connectTimeout = 60000;
  int sendTimeout = 30000;
  int receiveTimeout = 30000;
  std::uint32_t attemptDeadline = kDefaultAttemptDeadline;
  std::uint32_t exchangeDeadline = 0;
  std::uint32_t sendError = 0;
  std::uint32_t bodyLimit = static_cast<std::uint32_t>(BodyBuffer::kDefaultLimit);
  // The end of the whole exchange and of the running attempt on the GetTickCount64 clock (0: none),
  // and whether the wait now under way was cut to the attempt's end (rather than ending at the
  // time-out of its own).
  std::uint64_t exchangeEnd = 0;
  std::uint64_t attemptEnd = 0;
  bool waitEndsAtDeadline = false;
};

}  // namespace cv
