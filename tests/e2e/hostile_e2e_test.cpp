// Hostile configuration servers under Wine: whatever a server sends, the stub ends with its code and
// its log line within the deadline times the attempts. The cases run the test stub whose HTTP time
// limits are a tenth of the real ones; the trickling body, the one case that only the deadline can
// end, runs against the real limits too.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "tests/e2e/bench/bench.h"
#include "tests/e2e/bench/raw_server.h"

namespace cv::bench {
namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;

constexpr int kAttempts = 3;
constexpr char kCannotDownload[] = "ERROR Can't download config file";
constexpr char kParseError[] = "ERROR Error parsing file. Error: ";

// Waits `time` unless the stub drops the connection first; false when it did. A handler never
// outstays the connection, since the server takes the next attempt's connection only after it.
bool PeerStays(int socket, std::chrono::milliseconds time) {
  pollfd peer{socket, POLLIN, 0};
  if (poll(&peer, 1, static_cast<int>(time.count())) == 0) return true;
  char byte;
  return recv(socket, &byte, 1, MSG_DONTWAIT | MSG_PEEK) > 0;
}

// Sends `head` and then `piece` over and over until `total` bytes of it went out (0: without end)
// or the stub stops reading.
void SendRepeated(int socket, const std::string& head, const std::string& piece, std::size_t total) {
  if (!SendAll(socket, head)) return;
  for (std::size_t sent = 0; total == 0 || sent < total; sent += piece.size()) {
    if (!SendAll(socket, piece)) return;
  }
}

struct Limits {
  const char* stub;  // folder of the test stub in the Windows build
  std::chrono::seconds deadline;
};
const Limits kShort{"test-stub-short", 6s};
const Limits kReal{"test-stub", 60s};

struct HostileCase {
  const char* name;
  Limits limits;
  std::function<void(int socket)> answer;  // what the server does after reading a request
  std::uint32_t exitCode;
  std::string lastLine;
  int connections;  // attempts that reached the server
};

class HostileServerTest : public testing::TestWithParam<HostileCase> {
 protected:
  // A booted session kept from the case before lets some of the stub's attempts miss this case's
  // server (seen with two lanes running): every case starts its own session.
  void SetUp() override { Wine::Get().ResetState(true); }
};

TEST_P(HostileServerTest, EndsWithItsCodeAndLineWithinTheDeadlineTimesTheAttempts) {
  const HostileCase& c = GetParam();
  std::atomic<int> connections{0};
  RawServer server(
      [&](int socket) {
        std::string head, body;
        ++connections;
        if (ReadRequest(socket, head, body)) c.answer(socket);
      },
      kConfigPort);

  const auto bound = c.limits.deadline * kAttempts + 30s;  // start-up, message box and Wine's pace
  const auto start = std::chrono::steady_clock::now();
  const RunResult run = Wine::Get().Run(std::string(CV_WINE_BUILD_DIR) + "/" + c.limits.stub + "/cv_setup.exe",
                                        L"", RunOptions{bound});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("[ hostile  ] %s: exit %u after %.1f s\n", c.name, run.exitCode, seconds);

  ASSERT_TRUE(run.finished) << "the stub did not end within " << bound.count() << " s";
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_THAT(run.boxes, ElementsAre("Cannot obtain configuration. Error code " + std::to_string(c.exitCode)));
  const std::vector<std::string> log = LogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), c.lastLine);
  // An attempt the stub abandoned may keep its connection until the stub ends; the attempts after
  // it wait in the listener's queue until then.
  server.Settle(10s);
  EXPECT_EQ(connections, c.connections);
}

const std::string kDocumentHead = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";

INSTANTIATE_TEST_SUITE_P(
    Servers, HostileServerTest,
    testing::Values(
        // Past the 1 MiB limit each attempt gives up and the next one connects anew.
        HostileCase{"FiftyMebibytesOfGarbage", kShort,
                    [](int socket) {
                      std::string garbage(65536, '\0');
                      for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 + 7);
                      SendRepeated(socket, kDocumentHead + "Content-Length: 52428800\r\n\r\n", garbage, 50u << 20);
                    },
                    1, kCannotDownload, kAttempts},
        // The receive time-out ends the body as it stands: empty.
        HostileCase{"HeadersThenStall", kShort,
                    [](int socket) {
                      SendAll(socket, kDocumentHead + "Content-Length: 100\r\n\r\n");
                      PeerStays(socket, 120s);
                    },
                    3, std::string(kParseError) + "Unexpected end of file at line 1 and column 1", 1},
        // Wine takes the header line whole (Windows refuses headers past 64 KiB by default, which
        // would end this case with code 1); the empty body then fails the parse.
        HostileCase{"OneMebibyteHeaderLine", kShort,
                    [](int socket) {
                      SendAll(socket, kDocumentHead + "X-Padding: " + std::string(1u << 20, 'a') +
                                          "\r\nContent-Length: 0\r\n\r\n");
                    },
                    3, std::string(kParseError) + "Unexpected end of file at line 1 and column 1", 1},
        // The body as far as it came is the document, cut short.
        HostileCase{"ClosedMidBody", kShort,
                    [](int socket) {
                      SendAll(socket, kDocumentHead + "Content-Length: 1000\r\n\r\n{\"shortcut\": true, \"wrapper\": \"http");
                    },
                    3, std::string(kParseError) + "Unexpected end of file at line 1 and column 36", 1},
        // A string without end, without Content-Length: the size limit ends each attempt.
        HostileCase{"EndlessJsonString", kShort,
                    [](int socket) { SendRepeated(socket, kDocumentHead + "\r\n{\"wrapper\": \"", std::string(65536, 'a'), 0); },
                    1, kCannotDownload, kAttempts}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

// The one case that waits out the real limits (three minutes): a lane and a label of its own.
INSTANTIATE_TEST_SUITE_P(
    RealLimits, HostileServerTest,
    testing::Values(
        // Each byte comes well within the receive time-out: only the deadline ends the attempt.
        HostileCase{"OneBodyByteEvery20Seconds", kReal,
                    [](int socket) {
                      if (!SendAll(socket, kDocumentHead + "Content-Length: 100\r\n\r\n")) return;
                      while (SendAll(socket, " ") && PeerStays(socket, 20s)) {
                      }
                    },
                    1, kCannotDownload, kAttempts}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cv::bench
