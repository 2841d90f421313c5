// WinHttpClient's request path: session, URL split, connection and request handles, certificate
// flags, then up to three attempts of headers, proxy, send, data and receive, each within its deadline.
#include "http/winhttp_client.h"

#include <algorithm>
#include <climits>
#include <new>

#include "http/response.h"

namespace cv {

namespace {

// Sends that fail, receives that fail and pages cut short each cost one attempt.
constexpr int kMaxAttempts = 3;

constexpr DWORD kLenientCertificateFlags = SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                                           SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                           SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
static_assert(kLenientCertificateFlags == 0x3100, "certificate errors ignored for HTTPS");

constexpr DWORD kHostNameCapacity = 260;
constexpr DWORD kUrlPathCapacity = 1300;

}  // namespace

WinHttpClient::WinHttpClient(std::wstring url) : url(std::move(url)) {}

WinHttpClient::~WinHttpClient() {
  // The buffers first, then the session.
  rawBody.reset();
  requestData.clear();
  session.reset();
}

void WinHttpClient::SetRequestData(const void* data, std::uint32_t length) {
  const char* bytes = static_cast<const char*>(data);
  requestData.assign(bytes, bytes + length);
}

void WinHttpClient::SetTimeouts(int resolve, int connect, int send, int receive) {
  resolveTimeout = resolve;
  connectTimeout = connect;
  sendTimeout = send;
  receiveTimeout = receive;
}

void WinHttpClient::RecordError() { lastError = GetLastError(); }

bool WinHttpClient::Execute(const std::wstring& verb) {
  try {
    return Run(verb);
  } catch (const std::bad_alloc&) {
    // A body too large for the memory left ends this request, not the process.
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
}

bool WinHttpClient::Run(const std::wstring& verb) {
  if (url.empty()) {
    lastError = ERROR_PATH_NOT_FOUND;
    return false;
  }
  const std::optional<std::wstring> requestVerb = NormaliseVerb(verb);
  if (!requestVerb) {
    lastError = ERROR_INVALID_PARAMETER;
    return false;
  }

  if (!session) {
    session.reset(WinHttpOpen(userAgent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
      RecordError();
      return false;
    }
  }
  WinHttpSetTimeouts(session.get(), resolveTimeout, connectTimeout, sendTimeout, receiveTimeout);

  // With no buffer of its own for the extra information, the query stays part of the path.
  wchar_t host[kHostNameCapacity] = {};
  wchar_t path[kUrlPathCapacity] = {};
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.lpszHostName = host;
  parts.dwHostNameLength = kHostNameCapacity;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kUrlPathCapacity;
  if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
    RecordError();
    return false;
  }
  hostName = host;
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  // Declared in this order so that the request closes before the connection.
  WinHttpHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
  if (!connection) {
    RecordError();
    return false;
  }
  const auto openRequest = [&]() {
    WinHttpHandle request(WinHttpOpenRequest(connection.get(), requestVerb->c_str(), path, nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                             secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) {
      RecordError();
    } else if (secure && !requireValidCertificate) {
      DWORD flags = kLenientCertificateFlags;
      WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
    }
    return request;
  };
  WinHttpHandle request = openRequest();
  if (!request) return false;

  exchangeEnd = exchangeDeadline == 0 ? 0 : GetTickCount64() + exchangeDeadline;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (exchangeEnd != 0 && GetTickCount64() >= exchangeEnd) {
      lastError = ERROR_WINHTTP_TIMEOUT;
      return false;
    }
    const AttemptEnd end = Attempt(request.get(), *requestVerb);
    if (end == AttemptEnd::Complete) return true;
    // An answer given up half-way stays in the connection, and a new send on the same request would
    // first read out the rest of it, for as long as the server goes on sending: the next attempt
    // gets a request, and so a connection, of its own.
    if (end == AttemptEnd::AnswerAbandoned && attempt + 1 < kMaxAttempts) {
      request.reset();
      request = openRequest();
      if (!request) return false;
    }
  }
  return false;
}

WinHttpClient::AttemptEnd WinHttpClient::Attempt(HINTERNET request, const std::wstring& verb) {
  attemptEnd = attemptDeadline == 0 ? 0 : GetTickCount64() + attemptDeadline;
  if (exchangeEnd != 0 && (attemptEnd == 0 || exchangeEnd < attemptEnd)) attemptEnd = exchangeEnd;
  if (!requestHeaders.empty()) AddHeaderLines(request, requestHeaders);
  if (!requestCookies.empty()) AddHeaderLines(request, CookieHeaderLine(requestCookies));
  if (!proxy.empty()) SetNamedProxy(request);

  if (!Send(request) && !SendThroughUserProxy(request)) return AttemptEnd::Failed;

  if (!requestData.empty()) {
    DWORD written = 0;
    if (!WinHttpWriteData(request, requestData.data(), static_cast<DWORD>(requestData.size()),
                          &written)) {
      RecordError();
    }
  }
  if (!StartWait(request)) return AttemptEnd::AnswerAbandoned;
  if (!WinHttpReceiveResponse(request, nullptr)) {
    const bool atDeadline = WaitEndedAtDeadline();
    RecordError();
    return atDeadline ? AttemptEnd::AnswerAbandoned : AttemptEnd::Failed;
  }
  ReadHeaderValues(request);
  ReadStatusCode(request);
  switch (ReadBody(request)) {
    case BodyEnd::Complete: break;
    case BodyEnd::DeadlinePassed: lastError = ERROR_WINHTTP_TIMEOUT; return AttemptEnd::AnswerAbandoned;
    case BodyEnd::TooLarge: lastError = ERROR_WINHTTP_RESPONSE_DRAIN_OVERFLOW; return AttemptEnd::AnswerAbandoned;
  }
  DecodeBody();
  if (verb == L"GET" && !IsCompleteResponse(responseText)) {
    lastError = ERROR_INVALID_DATA;
    return AttemptEnd::Failed;
  }
  return AttemptEnd::Complete;
}

void WinHttpClient::AddHeaderLines(HINTERNET request, const std::wstring& lines) {
  if (!WinHttpAddRequestHeaders(request, lines.c_str(), static_cast<DWORD>(lines.size()),
                                WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON)) {
    RecordError();
  }
}

bool WinHttpClient::StartWait(HINTERNET request) {
  waitEndsAtDeadline = false;
  if (attemptEnd == 0) return true;
  const std::uint64_t now = GetTickCount64();
  if (now >= attemptEnd) {
    lastError = ERROR_WINHTTP_TIMEOUT;
    return false;
  }
  // A blocked synchronous call ends only at its own time-out, so each wait gets no more time than
  // the attempt has left; WinHTTP applies the values to the connection already open, too.
  const int left = static_cast<int>(std::min<std::uint64_t>(attemptEnd - now, INT_MAX));
  const auto cut = [left](int timeout) { return timeout <= 0 || timeout > left ? left : timeout; };
  waitEndsAtDeadline = cut(receiveTimeout) == left;
  WinHttpSetTimeouts(request, cut(resolveTimeout), cut(connectTimeout), cut(sendTimeout), cut(receiveTimeout));
  // The wait for the whole header block has a time-out of its own (90 s unless set).
  DWORD headerTimeout = static_cast<DWORD>(left);
  WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerTimeout, sizeof(headerTimeout));
  return true;
}

bool WinHttpClient::WaitEndedAtDeadline() const {
  // WinHTTP reports a wait that ran out as ERROR_WINHTTP_TIMEOUT; Wine's gives the socket's
  // WSAETIMEDOUT for waits on the body.
  constexpr DWORD kSocketTimedOut = 10060;
  const DWORD error = GetLastError();
  return waitEndsAtDeadline && (error == ERROR_WINHTTP_TIMEOUT || error == kSocketTimedOut);
}

bool WinHttpClient::Send(HINTERNET request) {
  if (!StartWait(request)) return false;
  // The request data's length is announced here, so that WinHTTP sends it as the Content-Length
  // and the bytes written after the send arrive as the body rather than after an empty one.
  if (WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                         static_cast<DWORD>(requestData.size()), 0)) {
    return true;
  }
  sendError = GetLastError();
  return false;
}

}  // namespace cv
