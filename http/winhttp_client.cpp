// WinHttpClient's request path: session, URL split, connection and request handles, certificate
// flags, then up to three attempts of headers, proxy, send, data and receive.
#include "http/winhttp_client.h"

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
  WinHttpHandle request(WinHttpOpenRequest(connection.get(), requestVerb->c_str(), path, nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                           secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) {
    RecordError();
    return false;
  }
  if (secure && !requireValidCertificate) {
    DWORD flags = kLenientCertificateFlags;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
  }

  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (Attempt(request.get(), *requestVerb)) return true;
  }
  return false;
}

bool WinHttpClient::Attempt(HINTERNET request, const std::wstring& verb) {
  if (!requestHeaders.empty()) AddHeaderLines(request, requestHeaders);
  if (!requestCookies.empty()) AddHeaderLines(request, CookieHeaderLine(requestCookies));
  if (!proxy.empty()) SetNamedProxy(request);

  if (!Send(request) && !SendThroughUserProxy(request)) return false;

  if (!requestData.empty()) {
    DWORD written = 0;
    if (!WinHttpWriteData(request, requestData.data(), static_cast<DWORD>(requestData.size()),
                          &written)) {
      RecordError();
    }
  }
  if (!WinHttpReceiveResponse(request, nullptr)) {
    RecordError();
    return false;
  }
  ReadHeaderValues(request);
  ReadStatusCode(request);
  ReadBody(request);
  DecodeBody();
  if (verb == L"GET" && !IsCompleteResponse(responseText)) {
    lastError = ERROR_INVALID_DATA;
    return false;
  }
  return true;
}

void WinHttpClient::AddHeaderLines(HINTERNET request, const std::wstring& lines) {
  if (!WinHttpAddRequestHeaders(request, lines.c_str(), static_cast<DWORD>(lines.size()),
                                WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON)) {
    RecordError();
  }
}

bool WinHttpClient::Send(HINTERNET request) {
  // The request data's length is announced here, so that WinHTTP sends it as the Content-Length
  // and the bytes written after the send arrive as the body rather than after an empty one.
  return WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            static_cast<DWORD>(requestData.size()), 0) != FALSE;
}

}  // namespace cv
