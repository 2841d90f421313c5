// Test helper: drives one WinHttpClient from its command line and writes what it got as UTF-8.
//   http_probe.exe [--out <file>] <url> <step>...
// Steps run in order on the same object: --exec <verb> runs Execute and writes a result block; the
// others set an option first: --header <lines>, --cookies <text>, --proxy <host:port>,
// --proxy-user <name>, --proxy-password <text>, --user-agent <text>, --charset-fixed <name>,
// --data <text>, --progress (record progress calls), --timeouts <resolve,connect,send,receive>;
// --show-user-proxy writes what WinHTTP reads of the user's proxy configuration.
// Each block: "[call N]", then key=value lines, values with \, CR and LF escaped as \\, \r, \n.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "http/winhttp_client.h"

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

class Report {
 public:
  explicit Report(FILE* file) : file_(file) {}
  void Line(const char* key, const std::string& value) {
    std::fprintf(file_, "%s=%s\n", key, Escape(value).c_str());
  }
  void Line(const char* key, const std::wstring& value) { Line(key, Utf8(value)); }
  void Line(const char* key, unsigned long value) { Line(key, std::to_string(value)); }
  void Raw(const std::string& text) { std::fputs(text.c_str(), file_); }

 private:
  FILE* file_;
};

void WriteResult(Report& report, int call, bool result, const cv::WinHttpClient& client,
                 const std::vector<double>& progress) {
  report.Raw("[call " + std::to_string(call) + "]\n");
  report.Line("result", result ? 1ul : 0ul);
  report.Line("lastError", static_cast<unsigned long>(client.LastError()));
  report.Line("sessionOpen", client.SessionOpen() ? 1ul : 0ul);
  report.Line("hostName", client.HostName());
  report.Line("statusCode", client.StatusCode());
  report.Line("responseCharset", client.ResponseCharset());
  report.Line("contentLength", static_cast<unsigned long>(client.ContentLength()));
  report.Line("location", client.Location());
  report.Line("responseCookies", client.ResponseCookies());
  report.Line("rawBodyLength", static_cast<unsigned long>(client.RawBodyLength()));
  const char* body = client.RawBody();
  report.Line("zeroAfterBody",
              body != nullptr && body[client.RawBodyLength()] == '\0' ? 1ul : 0ul);
  report.Line("rawBody", body != nullptr ? std::string(body, client.RawBodyLength()) : "");
  const std::wstring text = client.ResponseText();
  report.Line("responseTextLength", static_cast<unsigned long>(text.size()));
  report.Line("responseText", text);
  report.Line("responseHeaders", client.ResponseHeaders());
  std::string calls;
  for (double percent : progress) {
    char number[32];
    std::snprintf(number, sizeof(number), "%s%.6g", calls.empty() ? "" : ";", percent);
    calls += number;
  }
  report.Line("progress", calls);
}

// What WinHttpGetIEProxyConfigForCurrentUser reports, so a test can tell that the configuration it
// wrote is the one WinHTTP sees.
void WriteUserProxy(Report& report) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
  const bool read = WinHttpGetIEProxyConfigForCurrentUser(&config) != FALSE;
  const cv::GlobalString autoConfigUrl(config.lpszAutoConfigUrl);
  const cv::GlobalString proxy(config.lpszProxy);
  const cv::GlobalString bypass(config.lpszProxyBypass);
  report.Raw("[user proxy]\n");
  report.Line("read", read ? 1ul : 0ul);
  report.Line("autoDetect", config.fAutoDetect ? 1ul : 0ul);
  report.Line("autoConfigUrl", std::wstring(autoConfigUrl ? autoConfigUrl.get() : L""));
  report.Line("proxy", std::wstring(proxy ? proxy.get() : L""));
  report.Line("bypass", std::wstring(bypass ? bypass.get() : L""));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int arg = 1;
  FILE* out = stdout;
  if (arg + 1 < argc && std::wcscmp(argv[arg], L"--out") == 0) {
    out = _wfopen(argv[arg + 1], L"wb");
    if (out == nullptr) return 2;
    arg += 2;
  }
  if (arg >= argc) return 2;
  cv::WinHttpClient client(argv[arg++]);
  Report report(out);
  report.Line("acp", static_cast<unsigned long>(GetACP()));

  std::vector<double> progress;
  int calls = 0;
  for (; arg < argc; ++arg) {
    const std::wstring step = argv[arg];
    if (step == L"--show-user-proxy") {
      WriteUserProxy(report);
      continue;
    }
    if (step == L"--progress") {
      client.SetProgressCallback([&progress](double percent) { progress.push_back(percent); });
      continue;
    }
    if (arg + 1 >= argc) return 2;
    const std::wstring value = argv[++arg];
    if (step == L"--exec") {
      progress.clear();
      const bool result = client.Execute(value);
      WriteResult(report, ++calls, result, client, progress);
    } else if (step == L"--header") {
      client.SetRequestHeaders(value);
    } else if (step == L"--cookies") {
      client.SetRequestCookies(value);
    } else if (step == L"--proxy") {
      client.SetProxy(value);
    } else if (step == L"--proxy-user") {
      client.SetProxyUserName(value);
    } else if (step == L"--proxy-password") {
      client.SetProxyPassword(value);
    } else if (step == L"--user-agent") {
      client.SetUserAgent(value);
    } else if (step == L"--charset-fixed") {
      client.SetCharset(true, value);
    } else if (step == L"--data") {
      const std::string bytes = Utf8(value);
      client.SetRequestData(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    } else if (step == L"--timeouts") {
      int t[4] = {};
      if (swscanf(value.c_str(), L"%d,%d,%d,%d", &t[0], &t[1], &t[2], &t[3]) != 4) return 2;
      client.SetTimeouts(t[0], t[1], t[2], t[3]);
    } else {
      return 2;
    }
  }
  std::fflush(out);
  if (out != stdout) std::fclose(out);
  return 0;
}
