// WinHttpClient under Wine: http_probe.exe drives the client with the real WinHTTP against loopback
// servers that the tests start, and writes what the client kept; the tests compare that with what
// the servers sent and saw.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/bench/bench.h"
#include "tests/e2e/bench/forward_proxy.h"
#include "tests/e2e/bench/raw_server.h"

namespace cv::bench {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using Block = std::map<std::string, std::string>;

// The probe's output: the result block of each Execute and, when asked for, the user's proxy
// configuration as WinHTTP reads it.
struct ProbeOutput {
  Block start;  // acp: the ANSI code page of the probe
  std::vector<Block> calls;
  Block userProxy;
};

std::string Unescape(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char next = value[++i];
    out += next == 'r' ? '\r' : next == 'n' ? '\n' : next;
  }
  return out;
}

std::wstring Quoted(const std::string& text) { return L"\"" + std::wstring(text.begin(), text.end()) + L"\""; }

ProbeOutput RunProbe(const std::string& url, const std::vector<std::string>& steps) {
  Wine& wine = Wine::Get();
  const std::string outPath = wine.TempDir() + "/http_probe.txt";
  std::filesystem::remove(outPath);
  std::wstring tail = L"--out " + Quoted(wine.WindowsPath(outPath)) + L" " + Quoted(url);
  for (const std::string& step : steps) tail += L" " + Quoted(step);
  const RunResult run = wine.Run(WinTestProgram("http_probe"), tail, RunOptions{std::chrono::seconds(180)});
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);

  ProbeOutput output;
  std::ifstream file(outPath, std::ios::binary);
  std::string line;
  Block* block = &output.start;
  while (std::getline(file, line)) {
    if (line.rfind("[call ", 0) == 0) {
      output.calls.emplace_back();
      block = &output.calls.back();
    } else if (line == "[user proxy]") {
      block = &output.userProxy;
    } else {
      const std::size_t equals = line.find('=');
      (*block)[line.substr(0, equals)] = Unescape(line.substr(equals + 1));
    }
  }
  return output;
}

// Runs the probe for a single Execute and returns its result block.
Block RunOnce(const std::string& url, const std::vector<std::string>& steps) {
  ProbeOutput out = RunProbe(url, steps);
  if (out.calls.size() != 1) {
    ADD_FAILURE() << "expected one call, got " << out.calls.size();
    return {};
  }
  return out.calls[0];
}

// A port on which nothing listens.
int DeadPort() {
  RawServer closed([](int) {});
  return closed.port();
}

// Writes the user's proxy configuration where WinHTTP reads it: three DWORDs (version 0x46, a
// counter, flags: 1 direct, 2 named proxy, 4 auto-configuration URL), then the proxy, the bypass
// list and the auto-configuration URL, each an ANSI text after its length.
void SetUserProxyConfiguration(std::uint32_t flags, const std::string& proxy, const std::string& autoConfigUrl) {
  std::string bytes;
  auto dword = [&bytes](std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  dword(0x46);
  dword(1);
  dword(flags);
  for (const std::string& text : {proxy, std::string(), autoConfigUrl}) {
    dword(static_cast<std::uint32_t>(text.size()));
    bytes += text;
  }
  bytes += std::string(32, '\0');
  std::string hex;
  for (unsigned char c : bytes) {
    static const char kDigits[] = "0123456789abcdef";
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  ASSERT_EQ(Wine::Get().Command({"reg", "add",
                                 "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections",
                                 "/v", "DefaultConnectionSettings", "/t", "REG_BINARY", "/d", hex, "/f"}),
            0);
}

// Progress calls start at 0 and end at 100 (the body's length equals its Content-Length).
void ExpectProgressFromZeroToHundred(const std::string& progress) {
  EXPECT_EQ(progress.rfind("0;", 0), 0u) << progress;
  ASSERT_GE(progress.size(), 4u);
  EXPECT_EQ(progress.substr(progress.size() - 4), ";100") << progress;
}

std::string Header(const RecordedRequest& request, const std::string& name) {
  const auto found = request.headers.find(name);
  return found == request.headers.end() ? "<none>" : found->second;
}

class HttpClientTest : public testing::Test {
 protected:
  void SetUp() override {
    Wine::Get().ResetState();
    server_ = HttpServer::Plain();
  }
  // Removes the proxy configuration a test wrote.
  void TearDown() override { Wine::Get().ResetState(); }

  void Serve(const std::string& path, int status, const std::string& body, const std::string& type) {
    server_->server().Get(path, [=](const httplib::Request&, httplib::Response& response) {
      response.status = status;
      response.set_content(body, type);
    });
    server_->server().Post(path, [=](const httplib::Request&, httplib::Response& response) {
      response.status = status;
      response.set_content(body, type);
    });
  }

  std::unique_ptr<HttpServer> server_;
};

// ---- Plain HTTP ----------------------------------------------------------------------------------

TEST_F(HttpClientTest, JsonDocumentWithLowerCaseVerbAndProgress) {
  const std::string json = R"({"wrapper":"http://127.0.0.1/setup.exe","checksum":123})";
  Serve("/cv.json", 200, json, "application/json");
  const Block call = RunOnce(server_->Url("/cv.json"), {"--progress", "--exec", "get"});
  EXPECT_EQ(call.at("result"), "1");
  EXPECT_EQ(call.at("lastError"), "0");
  EXPECT_EQ(call.at("statusCode"), "200");
  EXPECT_EQ(call.at("hostName"), "127.0.0.1");
  EXPECT_EQ(call.at("responseText"), json);
  EXPECT_EQ(call.at("contentLength"), std::to_string(json.size()));
  ExpectProgressFromZeroToHundred(call.at("progress"));
  EXPECT_EQ(call.at("responseHeaders").rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(call.at("responseHeaders").substr(call.at("responseHeaders").size() - 4), "\r\n\r\n");

  const auto requests = server_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(Header(requests[0], "User-Agent"), "WinHttpClient");
}

TEST_F(HttpClientTest, NotFoundPageThatIsWholeIsReturned) {
  const std::string page = "<!DOCTYPE html>\n<HTML><body><h1>Not Found</h1></body></HTML>\n";
  Serve("/missing", 404, page, "text/html");
  const Block out = RunOnce(server_->Url("/missing"), {"--exec", "GET"});
  EXPECT_EQ(out.at("result"), "1");
  EXPECT_EQ(out.at("statusCode"), "404");
  EXPECT_EQ(out.at("responseText"), page);
  EXPECT_EQ(server_->Requests().size(), 1u);
}

// Bytes that differ from piece to piece, so that a piece out of place shows.
std::string PieceText(std::size_t length, std::size_t offset) {
  std::string text(length, ' ');
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + (offset + i) % 23);
  return text;
}

TEST_F(HttpClientTest, LargeBodyInUnevenPiecesArrivesWholeWithZeroAfter) {
  const std::vector<std::size_t> pieces = {1, 7001, 13, 4096, 20000, 333, 9, 10240};
  std::string whole;
  for (std::size_t piece : pieces) whole += PieceText(piece, whole.size());
  // Chunked: no Content-Length, so no progress calls.
  server_->server().Get("/chunked", [&](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/plain", [&](std::size_t, httplib::DataSink& sink) {
      std::size_t offset = 0;
      for (std::size_t piece : pieces) {
        sink.write(whole.data() + offset, piece);
        offset += piece;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      sink.done();
      return true;
    });
  });
  // With a Content-Length: progress from 0 to 100.
  server_->server().Get("/sized", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(whole.size(), "text/plain",
                                  [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                    const std::size_t piece = std::min<std::size_t>(length, 3001);
                                    sink.write(whole.data() + offset, piece);
                                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                    return true;
                                  });
  });

  for (const std::string path : {"/chunked", "/sized"}) {
    SCOPED_TRACE(path);
    const Block call = RunOnce(server_->Url(path), {"--progress", "--exec", "GET"});
    EXPECT_EQ(call.at("result"), "1");
    EXPECT_EQ(call.at("rawBodyLength"), std::to_string(whole.size()));
    EXPECT_TRUE(call.at("rawBody") == whole) << "body differs from what was sent";
    EXPECT_EQ(call.at("zeroAfterBody"), "1");
    EXPECT_TRUE(call.at("responseText") == whole);
    if (path == "/chunked") {
      EXPECT_EQ(call.at("progress"), "");
    } else {
      ExpectProgressFromZeroToHundred(call.at("progress"));
    }
  }
}

TEST_F(HttpClientTest, EmptyBodyCompletesWithEmptyText) {
  Serve("/empty", 200, "", "text/plain");
  const Block out = RunOnce(server_->Url("/empty"), {"--exec", "GET"});
  EXPECT_EQ(out.at("result"), "1");
  EXPECT_EQ(out.at("rawBodyLength"), "0");
  EXPECT_EQ(out.at("zeroAfterBody"), "1");
  EXPECT_EQ(out.at("responseText"), "");
}

TEST_F(HttpClientTest, UnclosedHtmlCostsThreeAttemptsForGetButNotForPost) {
  const std::string cut = "<html><body>the page breaks off here";
  Serve("/cut", 200, cut, "text/html");
  // GET then POST on the same object: lastError is not reset by the later success.
  const ProbeOutput out = RunProbe(server_->Url("/cut"), {"--exec", "GET", "--exec", "post"});
  ASSERT_EQ(out.calls.size(), 2u);
  EXPECT_EQ(out.calls[0].at("result"), "0");
  EXPECT_EQ(out.calls[0].at("lastError"), "13");
  EXPECT_EQ(out.calls[0].at("responseText"), cut);
  EXPECT_EQ(out.calls[1].at("result"), "1");
  EXPECT_EQ(out.calls[1].at("lastError"), "13");

  std::vector<std::string> methods;
  for (const auto& request : server_->Requests()) methods.push_back(request.method);
  EXPECT_THAT(methods, ElementsAre("GET", "GET", "GET", "POST"));
}

TEST_F(HttpClientTest, SecondExecuteReusesSessionAndItsUserAgent) {
  Serve("/again", 200, "ok", "text/plain");
  const ProbeOutput out =
      RunProbe(server_->Url("/again"), {"--exec", "GET", "--user-agent", "Other", "--exec", "GET"});
  ASSERT_EQ(out.calls.size(), 2u);
  EXPECT_EQ(out.calls[1].at("result"), "1");
  const auto requests = server_->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(Header(requests[0], "User-Agent"), "WinHttpClient");
  EXPECT_EQ(Header(requests[1], "User-Agent"), "WinHttpClient");
}

TEST_F(HttpClientTest, HeadersCookiesAndDataReachTheServer) {
  std::string receivedBody;
  server_->server().Post("/form", [&](const httplib::Request& request, httplib::Response& response) {
    receivedBody = request.body;
    response.set_content("done", "text/plain");
  });
  const ProbeOutput out = RunProbe(server_->Url("/form"), {"--header", "X-Corvida: one\r\nX-Other: two",
                                                           "--cookies", "k=v; m=n", "--data", "name=value&x=1",
                                                           "--exec", "POST"});
  ASSERT_EQ(out.calls.size(), 1u);
  EXPECT_EQ(out.calls[0].at("result"), "1");
  EXPECT_EQ(out.calls[0].at("lastError"), "0");
  const auto requests = server_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(Header(requests[0], "X-Corvida"), "one");
  EXPECT_EQ(Header(requests[0], "X-Other"), "two");
  EXPECT_EQ(Header(requests[0], "Cookie"), "k=v; m=n");
  EXPECT_EQ(Header(requests[0], "Content-Length"), "14");
  EXPECT_EQ(receivedBody, "name=value&x=1");
}

// ---- HTTPS ---------------------------------------------------------------------------------------

TEST(HttpsClientTest, WronglyNamedSelfSignedCertificateIsAcceptedAndQueryArrives) {
  Wine::Get().ResetState();
  auto server = HttpServer::Tls(0, "wrong.example");
  server->server().Get("/collect", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("GIF89a", "image/gif");
  });
  const std::string target = "/collect?v=1&tid=UA-12345678-9&ea=Canceled&el=a(b)";
  const Block out = RunOnce(server->Url(target), {"--exec", "GET"});
  EXPECT_EQ(out.at("result"), "1");
  EXPECT_EQ(out.at("statusCode"), "200");
  EXPECT_EQ(out.at("responseText"), "GIF89a");
  const auto requests = server->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, target);
}

// ---- Header values and decoding ------------------------------------------------------------------

struct DecodingCase {
  const char* name;
  std::string contentType;
  std::string body;  // bytes as sent
  std::vector<std::string> options;
  std::string charset;  // responseCharset afterwards
  std::string text;     // responseText, as UTF-8
};

void PrintTo(const DecodingCase& c, std::ostream* os) { *os << c.name; }

class DecodingTest : public HttpClientTest, public testing::WithParamInterface<DecodingCase> {};

TEST_P(DecodingTest, BodyIsDecodedByTheChosenCodePage) {
  Serve("/text", 200, GetParam().body, GetParam().contentType);
  std::vector<std::string> steps = GetParam().options;
  steps.insert(steps.end(), {"--exec", "GET"});
  const ProbeOutput probe = RunProbe(server_->Url("/text"), steps);
  // The expected ANSI texts are those of code page 1252, the prefix's ANSI code page here.
  ASSERT_EQ(probe.start.at("acp"), "1252");
  ASSERT_EQ(probe.calls.size(), 1u);
  const Block& out = probe.calls[0];
  EXPECT_EQ(out.at("responseCharset"), GetParam().charset);
  EXPECT_EQ(out.at("responseText"), GetParam().text);
}

const std::string kCafe = "caf\xC3\xA9 \xE2\x82\xAC";  // "café €" in UTF-8

INSTANTIATE_TEST_SUITE_P(
    Charsets, DecodingTest,
    testing::Values(
        DecodingCase{"Utf8", "text/plain; charset=UTF-8", kCafe, {}, "UTF-8", kCafe},
        // Each byte becomes one character of code page 1252: é as "Ã©", € as "â‚¬".
        DecodingCase{"NoCharsetIsAnsi", "text/plain", kCafe, {}, "", "caf\xC3\x83\xC2\xA9 \xC3\xA2\xE2\x80\x9A\xC2\xAC"},
        DecodingCase{"Utf8WithoutHyphenIsAnsi", "text/plain; charset=utf8", kCafe, {}, "utf8",
                     "caf\xC3\x83\xC2\xA9 \xC3\xA2\xE2\x80\x9A\xC2\xAC"},
        DecodingCase{"FixedCharsetWins", "text/plain; charset=windows-1251", kCafe, {"--charset-fixed", "utf-8"},
                     "utf-8", kCafe},
        DecodingCase{"TextEndsAtZeroByte", "text/plain; charset=utf-8", std::string("ab\0cd", 5), {}, "utf-8", "ab"}),
    [](const testing::TestParamInfo<DecodingCase>& info) { return std::string(info.param.name); });

TEST_F(HttpClientTest, CookiesJoinAndLaterResponseAppends) {
  int served = 0;
  server_->server().Get("/cookies", [&](const httplib::Request&, httplib::Response& response) {
    if (served++ == 0) {
      response.set_header("Set-Cookie", "a=1; path=/");
      response.headers.emplace("Set-Cookie", "b=2");
    } else {
      response.set_header("Set-Cookie", "c=3");
    }
    response.set_content("{}", "application/json");
  });
  const ProbeOutput out = RunProbe(server_->Url("/cookies"), {"--exec", "GET", "--exec", "GET"});
  ASSERT_EQ(out.calls.size(), 2u);
  EXPECT_EQ(out.calls[0].at("responseCookies"), "a=1; path=/; b=2;");
  EXPECT_EQ(out.calls[1].at("responseCookies"), "a=1; path=/; b=2;c=3;");
}

TEST_F(HttpClientTest, ContentLengthNeedsTheBlankAndLocationIsTakenWhole) {
  const std::string location = "http://127.0.0.1:47181/installation-cancelled/?v=1.2.3&x=(y)";
  auto spaced = RawServer::Canned("HTTP/1.1 201 Created\r\nContent-Length: 5\r\nLocation: " + location +
                                  "\r\nConnection: close\r\n\r\nhello");
  auto tight = RawServer::Canned("HTTP/1.1 200 OK\r\nContent-Length:5\r\nConnection: close\r\n\r\nhello");
  const std::string spacedUrl = "http://127.0.0.1:" + std::to_string(spaced->port()) + "/";
  const std::string tightUrl = "http://127.0.0.1:" + std::to_string(tight->port()) + "/";

  const Block withBlank = RunOnce(spacedUrl, {"--exec", "GET"});
  EXPECT_EQ(withBlank.at("statusCode"), "201");
  EXPECT_EQ(withBlank.at("contentLength"), "5");
  EXPECT_EQ(withBlank.at("location"), location);

  const Block withoutBlank = RunOnce(tightUrl, {"--exec", "GET"});
  EXPECT_EQ(withoutBlank.at("result"), "1");
  EXPECT_EQ(withoutBlank.at("responseText"), "hello");
  EXPECT_EQ(withoutBlank.at("contentLength"), "0");
  EXPECT_EQ(withoutBlank.at("location"), "");
}

// ---- Failures --------------------------------------------------------------------------------------

TEST_F(HttpClientTest, EmptyUrlAndUnknownVerbFailBeforeAnySession) {
  const Block empty = RunOnce("", {"--exec", "GET"});
  EXPECT_EQ(empty.at("result"), "0");
  EXPECT_EQ(empty.at("lastError"), "3");
  EXPECT_EQ(empty.at("sessionOpen"), "0");

  Serve("/put", 200, "ok", "text/plain");
  const Block put = RunOnce(server_->Url("/put"), {"--exec", "PUT"});
  EXPECT_EQ(put.at("result"), "0");
  EXPECT_EQ(put.at("lastError"), "87");
  EXPECT_EQ(put.at("sessionOpen"), "0");
  EXPECT_THAT(server_->Requests(), IsEmpty());
}

TEST_F(HttpClientTest, NothingListeningAndNoProxyLeavesLastErrorAsItWas) {
  const std::string url = "http://127.0.0.1:" + std::to_string(DeadPort()) + "/cv.json";
  const ProbeOutput out = RunProbe(url, {"--show-user-proxy", "--exec", "GET", "--exec", "PUT", "--exec", "GET"});
  EXPECT_EQ(out.userProxy.at("proxy"), "");
  EXPECT_EQ(out.userProxy.at("autoConfigUrl"), "");
  ASSERT_EQ(out.calls.size(), 3u);
  EXPECT_EQ(out.calls[0].at("result"), "0");
  EXPECT_EQ(out.calls[0].at("lastError"), "0");
  EXPECT_EQ(out.calls[0].at("sessionOpen"), "1");
  EXPECT_EQ(out.calls[0].at("statusCode"), "");
  EXPECT_EQ(out.calls[2].at("result"), "0");
  EXPECT_EQ(out.calls[2].at("lastError"), "87");
}

TEST_F(HttpClientTest, OwnersProxyOptionsAreSetOrRefusedAndRequestGoesOn) {
  // Wine accepts a proxy on a request handle without using it (see below), so the requests go
  // straight to the server either way; what differs is what the option calls recorded.
  Serve("/direct", 200, "ok", "text/plain");
  const struct {
    std::vector<std::string> options;
    const char* lastError;
  } cases[] = {
      {{"--proxy", std::string(259, 'p')}, "0"},
      {{"--proxy", "127.0.0.1:3128", "--proxy-user", "user", "--proxy-password", "secret"}, "0"},
      {{"--proxy", std::string(260, 'p')}, "122"},  // does not fit with its zero: not set
  };
  for (const auto& c : cases) {
    std::vector<std::string> steps = c.options;
    steps.insert(steps.end(), {"--exec", "GET"});
    const Block out = RunOnce(server_->Url("/direct"), steps);
    EXPECT_EQ(out.at("result"), "1") << c.options[1];
    EXPECT_EQ(out.at("lastError"), c.lastError) << c.options[1];
  }
  EXPECT_EQ(server_->Requests().size(), 3u);
}

// ---- Proxy fallback --------------------------------------------------------------------------------
// After a failed send the client reads the user's proxy configuration and sets what it names on the
// request (WINHTTP_OPTION_PROXY). Wine 8.0 accepts that option on a request handle but does not act
// on it, so the later sends still go straight to the target; these tests pin down that behaviour.

TEST_F(HttpClientTest, UserNamedProxyIsReadButWineSendsDirect) {
  Serve("/via-proxy", 200, "through the proxy", "text/plain");
  ForwardProxy proxy;
  proxy.RouteAllTo(server_->port());
  const int deadPort = DeadPort();
  // The proxy itself works: a request in absolute form through it reaches the server.
  httplib::Client direct("127.0.0.1", deadPort);
  direct.set_proxy("127.0.0.1", proxy.port());
  const auto relayed = direct.Get("/via-proxy");
  ASSERT_TRUE(relayed);
  EXPECT_EQ(relayed->body, "through the proxy");
  ASSERT_EQ(proxy.RequestLines().size(), 1u);
  EXPECT_EQ(proxy.RequestLines()[0], "GET http://127.0.0.1:" + std::to_string(deadPort) + "/via-proxy HTTP/1.1");
  const std::size_t serverRequestsBefore = server_->Requests().size();

  SetUserProxyConfiguration(3, "127.0.0.1:" + std::to_string(proxy.port()), "");
  const std::string url = "http://127.0.0.1:" + std::to_string(deadPort) + "/via-proxy";

  const ProbeOutput out = RunProbe(url, {"--show-user-proxy", "--exec", "GET"});
  EXPECT_EQ(out.userProxy.at("read"), "1");
  EXPECT_EQ(out.userProxy.at("proxy"), "127.0.0.1:" + std::to_string(proxy.port()));
  ASSERT_EQ(out.calls.size(), 1u);
  // Reading the configuration and setting its proxy succeeded: nothing was recorded.
  EXPECT_EQ(out.calls[0].at("lastError"), "0");
  EXPECT_EQ(out.calls[0].at("result"), "0");
  EXPECT_EQ(proxy.RequestLines().size(), 1u);
  EXPECT_EQ(server_->Requests().size(), serverRequestsBefore);
}

TEST_F(HttpClientTest, AutoConfigurationUrlIsRefusedByWinesProxyLookup) {
  ForwardProxy proxy;
  proxy.RouteAllTo(server_->port());
  Serve("/proxy.pac", 200,
        "function FindProxyForURL(url, host) { return \"PROXY 127.0.0.1:" + std::to_string(proxy.port()) + "\"; }",
        "application/x-ns-proxy-autoconfig");
  Serve("/via-pac", 200, "through the script's proxy", "text/plain");
  SetUserProxyConfiguration(5, "", server_->Url("/proxy.pac"));
  const std::string url = "http://127.0.0.1:" + std::to_string(DeadPort()) + "/via-pac";

  const ProbeOutput out = RunProbe(url, {"--show-user-proxy", "--exec", "GET"});
  EXPECT_EQ(out.userProxy.at("autoConfigUrl"), server_->Url("/proxy.pac"));
  ASSERT_EQ(out.calls.size(), 1u);
  EXPECT_EQ(out.calls[0].at("result"), "0");
  // Wine's WinHttpGetProxyForUrl rejects auto-detection combined with a script URL with
  // ERROR_INVALID_PARAMETER and never fetches the script.
  EXPECT_EQ(out.calls[0].at("lastError"), "87");
  EXPECT_THAT(server_->Requests(), IsEmpty());
  EXPECT_THAT(proxy.RequestLines(), IsEmpty());
}

}  // namespace
}  // namespace cv::bench
