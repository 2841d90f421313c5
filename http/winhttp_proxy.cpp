// WinHttpClient's proxies: the owner's named proxy with its credentials, and after a failed send the
// user's proxy configuration, either through its auto-configuration script or its named proxy.
#include <cwchar>

#include "http/winhttp_client.h"

namespace cv {

namespace {

// Proxy and bypass texts are handed over in buffers of this many characters, the zero included.
constexpr std::size_t kProxyTextCapacity = 260;

// Copies `text` (null for none) into `buffer`; false with ERROR_INSUFFICIENT_BUFFER when it does
// not fit.
bool CopyProxyText(const wchar_t* text, wchar_t (&buffer)[kProxyTextCapacity]) {
  if (text == nullptr) return true;
  const std::size_t length = std::wcslen(text);
  if (length >= kProxyTextCapacity) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  std::wmemcpy(buffer, text, length + 1);
  return true;
}

// Routes the request through the named proxy `proxy`, bypassing it for the hosts of `bypass` (null
// for none). False with the platform's error when the option is not set.
bool SetNamedProxyOption(HINTERNET request, const wchar_t* proxy, const wchar_t* bypass) {
  wchar_t proxyText[kProxyTextCapacity] = {};
  wchar_t bypassText[kProxyTextCapacity] = {};
  if (!CopyProxyText(proxy, proxyText) || !CopyProxyText(bypass, bypassText)) return false;
  WINHTTP_PROXY_INFO info = {};
  info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
  info.lpszProxy = proxyText;
  info.lpszProxyBypass = bypass != nullptr ? bypassText : nullptr;
  return WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info)) != FALSE;
}

// String options take their length in characters.
bool SetTextOption(HINTERNET request, DWORD option, const std::wstring& value) {
  return WinHttpSetOption(request, option, const_cast<wchar_t*>(value.c_str()),
                          static_cast<DWORD>(value.size())) != FALSE;
}

}  // namespace

void WinHttpClient::SetNamedProxy(HINTERNET request) {
  if (!SetNamedProxyOption(request, proxy.c_str(), nullptr)) RecordError();
  if (proxyUserName.empty()) return;
  if (!SetTextOption(request, WINHTTP_OPTION_PROXY_USERNAME, proxyUserName)) RecordError();
  if (!proxyPassword.empty() &&
      !SetTextOption(request, WINHTTP_OPTION_PROXY_PASSWORD, proxyPassword)) {
    RecordError();
  }
}

bool WinHttpClient::SendThroughUserProxy(HINTERNET request) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
    RecordError();
    return false;
  }
  // Released whichever way this ends; the auto-detect flag is not consulted.
  const GlobalString autoConfigUrl(config.lpszAutoConfigUrl);
  const GlobalString userProxy(config.lpszProxy);
  const GlobalString userBypass(config.lpszProxyBypass);

  if (autoConfigUrl) {
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT | WINHTTP_AUTOPROXY_CONFIG_URL;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP;
    options.lpszAutoConfigUrl = autoConfigUrl.get();
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO found = {};
    if (!WinHttpGetProxyForUrl(session.get(), url.c_str(), &options, &found)) {
      RecordError();
      return false;
    }
    const GlobalString foundProxy(found.lpszProxy);
    const GlobalString foundBypass(found.lpszProxyBypass);
    // The script's answer is tried at once; a failure to set it is not recorded.
    return WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &found, sizeof(found)) && Send(request);
  }
  // The next attempt sends through the user's named proxy.
  if (userProxy && !SetNamedProxyOption(request, userProxy.get(), userBypass.get())) RecordError();
  return false;
}

}  // namespace cv
