// The installer download and its CRC-32 check under Wine, against loopback servers: the statuses and
// percentages in the log, the progress window (with a screenshot), the failures 4 and 6, the user
// closing the window in the middle of a download, and transfers that break, stall or crawl.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/bench/bench.h"
#include "tests/e2e/bench/range_server.h"
#include "tests/e2e/bench/raw_server.h"

namespace cv::bench {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAreArray;

constexpr char kWindowTitle[] = "Downloading PMX Installer...";

std::uint32_t Crc32(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Runs a command with the bench's display; its standard output.
std::string CommandOutput(const std::string& command) {
  std::string line = "DISPLAY=" + Wine::Get().Display() + " " + command;
  std::string output;
  if (FILE* pipe = popen(line.c_str(), "r")) {
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, count);
    pclose(pipe);
  }
  return output;
}

bool ProgressWindowVisible() {
  return !CommandOutput("xdotool search --onlyvisible --name 'Downloading PMX Installer\\.\\.\\.'").empty();
}

// Runs the test stub up to its failure box, which must come within `boxWithin` and find the
// progress window gone; presses it away and returns the run. `toBox` receives the time the box took.
RunResult RunToFailureBox(std::chrono::seconds boxWithin, std::chrono::steady_clock::duration* toBox = nullptr) {
  const auto start = std::chrono::steady_clock::now();
  auto process = Wine::Get().Start(TestStubExe(), L"", RunOptions{boxWithin + std::chrono::seconds(30), false});
  if (!process->WaitForWindow("We apologize!", boxWithin)) {
    ADD_FAILURE() << "no failure box within " << boxWithin.count() << " s";
    return {};
  }
  if (toBox != nullptr) *toBox = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(ProgressWindowVisible());
  EXPECT_TRUE(process->DismissBox());
  return process->Wait();
}

// The log lines from "INFO Downloading wrapper" (exclusive) to the first line matching `end`
// (exclusive): the download's status lines.
std::vector<std::string> DownloadLines(const std::vector<std::string>& log, const std::string& endPrefix) {
  std::vector<std::string> lines;
  bool inside = false;
  for (const auto& line : log) {
    if (line == "INFO Downloading wrapper") {
      inside = true;
    } else if (inside && line.rfind(endPrefix, 0) == 0) {
      break;
    } else if (inside) {
      lines.push_back(line);
    }
  }
  return lines;
}

// The percentages among the lines, in order.
std::vector<int> Percentages(const std::vector<std::string>& lines) {
  std::vector<int> numbers;
  const std::regex number("INFO ([0-9]+)");
  std::smatch match;
  for (const auto& line : lines) {
    if (std::regex_match(line, match, number)) numbers.push_back(std::stoi(match[1]));
  }
  return numbers;
}

class DownloadTest : public testing::Test {
 protected:
  void SetUp() override {
    Wine::Get().ResetState();
    config_ = HttpServer::Plain(kConfigPort);
    installerServer_ = HttpServer::Plain();
    // The installer that the stub starts after a good check: the bench's stand-in, which ends at once.
    installer_ = ReadFileBytes(WinTestProgram("test_installer"));
    ASSERT_FALSE(installer_.empty());
  }

  // The servers stop before the bytes they serve go away.
  void TearDown() override {
    installerServer_.reset();
    config_.reset();
  }

  void ServeDocument(const std::string& wrapperUrl, const std::string& checksum) {
    document_ = "{\"shortcut\": false, \"wrapper\": \"" + wrapperUrl + "\", \"checksum\": " + checksum +
                ", \"version\": \"4.5.6\"}";
    config_->server().Get("/cv.json", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(document_, "application/json");
    });
  }

  // Serves the installer at /setup.exe, all at once or in pieces of 10 KB every 50 ms.
  void ServeInstaller(bool slowly) {
    installerServer_->server().Get("/setup.exe", [this, slowly](const httplib::Request&, httplib::Response& response) {
      if (!slowly) {
        response.set_content(installer_, "application/octet-stream");
        return;
      }
      response.set_content_provider(installer_.size(), "application/octet-stream",
                                    [this](size_t offset, size_t length, httplib::DataSink& sink) {
                                      std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                      return sink.write(installer_.data() + offset, std::min<size_t>(length, 10240));
                                    });
    });
  }

  std::string Checksum() const { return std::to_string(Crc32(installer_)); }

  // Linux paths of the files in the temporary folder and its folders whose names end in `suffix`.
  static std::vector<std::string> TempFiles(const std::string& suffix) {
    std::vector<std::string> paths;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(Wine::Get().TempDir(), ignored)) {
      const std::string name = entry.path().filename().string();
      if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        paths.push_back(entry.path().string());
      }
    }
    return paths;
  }

  // Linux paths of the files in the stub's working folders whose names end in `suffix`.
  static std::vector<std::string> WorkingFolderFiles(const std::string& suffix) {
    std::vector<std::string> paths;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(Wine::Get().Prefix() + "/drive_c/windows/temp", ignored)) {
      const std::string path = entry.path().string();
      if (path.find("/cv") != std::string::npos && path.size() >= suffix.size() &&
          path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
        paths.push_back(path);
      }
    }
    return paths;
  }

  // The copies of "setup.exe" in the internet cache of the download service.
  static std::set<std::string> CachedCopies() {
    std::set<std::string> copies;
    const fs::path cache = fs::path(Wine::Get().UserDir()) / "AppData/Local/Microsoft/Windows/INetCache";
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(cache, ignored)) {
      if (entry.path().filename().string().rfind("setup[", 0) == 0) copies.insert(entry.path().string());
    }
    return copies;
  }

  std::unique_ptr<HttpServer> config_, installerServer_;
  std::string installer_, document_;
};

const std::regex kDownloadedLine(std::string("INFO Wrapper successfully downloaded to \"") + kInstallerPathPattern +
                                  "\"");

const std::regex kDownloadFailedLine(std::string("ERROR Can't download wrapper to \"") + kInstallerPathPattern +
                                      "\"");


TEST_F(DownloadTest, GoodInstallerIsDownloadedLoggedAndAccepted) {
  ServeDocument(installerServer_->Url("/setup.exe"), Checksum());
  ServeInstaller(false);

  const auto cachedBefore = CachedCopies();
  const RunResult run = Wine::Get().Run(TestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_THAT(run.boxes, testing::IsEmpty());
  const auto log = LogMessages();
  const auto downloaded = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return std::regex_match(line, kDownloadedLine);
  });
  ASSERT_NE(downloaded, log.end()) << testing::PrintToString(log);
  ASSERT_NE(downloaded + 1, log.end());
  EXPECT_EQ(*(downloaded + 1), "INFO Checksum is OK. Continue...");

  // Wine reports connecting, sending, the MIME type, the start and the cache file, then the data;
  // asked for the body as a stream, it reports finding the resource first.
  auto lines = DownloadLines(log, "INFO Wrapper successfully downloaded to");
  if (!lines.empty() && lines.front() == "INFO Finding resource...") lines.erase(lines.begin());
  ASSERT_GE(lines.size(), 7u) << testing::PrintToString(lines);
  EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 5),
              ElementsAreArray({"INFO Connecting...", "INFO Sending request...", "INFO Mime type available",
                                "INFO Begin download", "INFO Cache filename available"}));
  EXPECT_EQ(lines.back(), "INFO End download");
  const auto percentages = Percentages(lines);
  ASSERT_FALSE(percentages.empty());
  EXPECT_EQ(percentages.back(), 100);

  const auto requests = installerServer_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(std::regex_match(requests[0].target, std::regex(R"(/setup\.exe\?rn=[0-9]{1,5})")))
      << requests[0].target;
  EXPECT_LE(std::stoi(requests[0].target.substr(requests[0].target.find('=') + 1)), 32767);

  // Nothing stays behind: the installer, the reserved name and the folder are gone, and so is the
  // copy the download service kept in the internet cache.
  EXPECT_THAT(StubEntriesInTemp(), testing::IsEmpty());
  EXPECT_THAT(StubEntriesInTemp(true), testing::IsEmpty());
  EXPECT_EQ(CachedCopies(), cachedBefore);
}

TEST_F(DownloadTest, SlowDownloadMovesTheBarThroughRisingPercentages) {
  // The stand-in installer comes in about 80 pieces.
  ServeDocument(installerServer_->Url("/setup.exe"), "\"" + Checksum() + "\"");
  ServeInstaller(true);

  auto process = Wine::Get().Start(TestStubExe());
  ASSERT_TRUE(process->WaitForWindow(kWindowTitle, std::chrono::seconds(30)));
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const fs::path artifacts = fs::current_path() / "artifacts";
  fs::create_directories(artifacts);
  const fs::path screenshot = artifacts / "progress_window.png";
  CommandOutput("xwd -root -silent | convert xwd:- " + screenshot.string());
  EXPECT_TRUE(ProgressWindowVisible());
  // Not a black screen: the dialog is drawn.
  const std::string mean = CommandOutput("convert " + screenshot.string() + " -format '%[fx:mean]' info:");
  EXPECT_GT(std::stod(mean.empty() ? "0" : mean), 0.01) << screenshot;
  const std::string geometry = CommandOutput(
      "xdotool search --onlyvisible --name 'Downloading PMX Installer\\.\\.\\.' getwindowgeometry");
  RecordProperty("screenshot", screenshot.string());
  RecordProperty("geometry", geometry);

  const RunResult run = process->Wait();
  ASSERT_TRUE(run.finished);
  EXPECT_THAT(run.boxes, testing::IsEmpty());
  EXPECT_THAT(run.windows, testing::Contains(std::string(kWindowTitle) + "|#32770"));
  const auto lines = DownloadLines(LogMessages(), "INFO Wrapper successfully downloaded to");
  const auto percentages = Percentages(lines);
  ASSERT_GE(percentages.size(), 10u) << testing::PrintToString(lines);
  for (size_t i = 1; i < percentages.size(); ++i) EXPECT_LT(percentages[i - 1], percentages[i]);
  EXPECT_GT(percentages.front(), 0);
  EXPECT_EQ(percentages.back(), 100);
  EXPECT_EQ(lines.back(), "INFO End download");
  EXPECT_THAT(LogMessages(), testing::Contains("INFO Checksum is OK. Continue..."));
}

TEST_F(DownloadTest, WrongChecksumFailsWithCode6AfterTheWindowHasClosed) {
  ServeDocument(installerServer_->Url("/setup.exe"), std::to_string(Crc32(installer_) ^ 1u));
  ServeInstaller(false);

  const RunResult run = RunToFailureBox(std::chrono::seconds(30));
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 6u);
  EXPECT_THAT(run.boxes, ElementsAreArray({"The installation file is corrupted. Error code 6"}));
  const auto log = WithoutRemovals(LogMessages());
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "INFO End download");
  EXPECT_TRUE(std::regex_match(log[log.size() - 2], kDownloadedLine)) << log[log.size() - 2];
  EXPECT_EQ(log.back(), "ERROR Mismatch of the wrapper checksum");
}

TEST_F(DownloadTest, EmptyInstallerHasCrc0AndPassesWithChecksum0) {
  installer_.clear();
  ServeDocument(installerServer_->Url("/setup.exe"), "0");
  ServeInstaller(false);

  const RunResult run = Wine::Get().Run(TestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_THAT(LogMessages(), testing::Contains("INFO Checksum is OK. Continue..."));
}

TEST_F(DownloadTest, NothingListeningFailsTheDownloadWithCode4) {
  const int port = installerServer_->port();
  installerServer_.reset();  // the port is free again: nothing answers there
  ServeDocument("http://127.0.0.1:" + std::to_string(port) + "/setup.exe", Checksum());

  const RunResult run = Wine::Get().Run(TestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 4u);
  EXPECT_THAT(run.boxes, ElementsAreArray({"Cannot obtain installer. Error code 4"}));
  const auto log = WithoutRemovals(LogMessages());
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(std::regex_match(log.back(), kDownloadFailedLine)) << log.back();
  EXPECT_THAT(log, testing::Not(testing::Contains("INFO End download")));
}

TEST_F(DownloadTest, NotFoundAnswerIsWrittenAsTheFileAndFailsTheChecksumWithCode6) {
  // Under Wine the download call reports success for a 404 with a body and writes the error page.
  const std::string page = "<html><body><h1>404 Not Found</h1></body></html>";
  installerServer_->server().Get("/setup.exe", [&page](const httplib::Request&, httplib::Response& response) {
    response.status = 404;
    response.set_content(page, "text/html");
  });
  ServeDocument(installerServer_->Url("/setup.exe"), Checksum());

  const RunResult run = Wine::Get().Run(TestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 6u);
  EXPECT_THAT(run.boxes, ElementsAreArray({"The installation file is corrupted. Error code 6"}));
  // The error page was the file that was checked, and removed.
  EXPECT_EQ(WithoutRemovals(LogMessages()).back(), "ERROR Mismatch of the wrapper checksum");
}

TEST_F(DownloadTest, MissingChecksumFailsWithCode3OnlyAfterTheDownload) {
  document_ = "{\"shortcut\": false, \"wrapper\": \"" + installerServer_->Url("/setup.exe") + "\"}";
  config_->server().Get("/cv.json", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(document_, "application/json");
  });
  ServeInstaller(false);

  const RunResult run = Wine::Get().Run(TestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 3u);
  EXPECT_THAT(run.boxes, ElementsAreArray({"Cannot obtain configuration. Error code 3"}));
  const auto log = WithoutRemovals(LogMessages());
  ASSERT_GE(log.size(), 2u);
  EXPECT_TRUE(std::regex_match(log[log.size() - 2], kDownloadedLine));
  EXPECT_EQ(log.back(), "ERROR Error parsing file. Error: the document has no member \"checksum\"");
}

TEST_F(DownloadTest, ClosingTheWindowEndsTheRunAtOnceWithExitValue0) {
  installer_.append(1024 * 1024, 'x');  // about nine seconds at 10 KB per 50 ms
  ServeDocument(installerServer_->Url("/setup.exe"), Checksum());
  ServeInstaller(true);

  auto process = Wine::Get().Start(TestStubExe());
  ASSERT_TRUE(process->WaitForWindow(kWindowTitle, std::chrono::seconds(30)));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  // The stub writes the bytes into its own file as they arrive: a partial installer lies in its
  // working folder, never in the user's temporary folder.
  EXPECT_THAT(TempFiles(".tmp.exe"), testing::IsEmpty());
  const auto partial = WorkingFolderFiles(".tmp.exe");
  ASSERT_EQ(partial.size(), 1u);
  EXPECT_GT(fs::file_size(partial[0]), 0u);
  EXPECT_LT(fs::file_size(partial[0]), installer_.size());
  const RunResult closer = Wine::Get().Run(WinTestProgram("close_window"), L"\"Downloading PMX Installer...\"");
  EXPECT_EQ(closer.exitCode, 0u);

  const RunResult run = process->Wait();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(run.boxes, testing::IsEmpty());
  const auto log = LogMessages();
  EXPECT_THAT(log, testing::Not(testing::Contains("INFO End download")));
  EXPECT_THAT(log, testing::Not(testing::Contains(testing::StartsWith("INFO Wrapper successfully"))));
  // The partial installer, the reserved name and the folder went with the process.
  EXPECT_THAT(StubEntriesInTemp(), testing::IsEmpty());
  EXPECT_THAT(StubEntriesInTemp(true), testing::IsEmpty());
}

// A raw server for the installer that sends its header block and then the body in `pieces` equal
// parts, `gap` apart; with `stallAfter` set it sends that many parts and then nothing more, holding
// the connection open until the client gives up (or the test ends).
std::unique_ptr<RawServer> PacedInstallerServer(const std::string& body, int pieces, std::chrono::seconds gap,
                                                std::optional<int> stallAfter = std::nullopt) {
  return std::make_unique<RawServer>([=](int socket) {
    std::string head, request;
    if (!ReadRequest(socket, head, request)) return;
    SendAll(socket, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n");
    const std::size_t piece = (body.size() + pieces - 1) / pieces;
    for (int i = 0; i < pieces && (!stallAfter || i < *stallAfter); ++i) {
      if (i > 0) std::this_thread::sleep_for(gap);
      if (!SendAll(socket, body.substr(i * piece, piece))) return;
    }
    // Silent from here on; the client closing the connection ends the wait.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    char byte;
    while (stallAfter && std::chrono::steady_clock::now() < until) {
      pollfd waiting{socket, POLLIN, 0};
      if (poll(&waiting, 1, 200) > 0 && recv(socket, &byte, 1, 0) <= 0) return;
    }
  });
}

// The cases that wait out the real stall limit: a lane and a label of their own.
class RealLimitsDownloadTest : public DownloadTest {};

// A transfer that stops sending while its connection stays open is given up after the stall
// limit (30 s without a byte): code 4, with the window closed before the box.
TEST_F(RealLimitsDownloadTest, StalledTransferFailsWithCode4OnceNoByteCameForTheStallLimit) {
  const auto server = PacedInstallerServer(installer_, 4, std::chrono::seconds(0), 1);
  ServeDocument("http://127.0.0.1:" + std::to_string(server->port()) + "/setup.exe", Checksum());

  std::chrono::steady_clock::duration toBox{};
  const RunResult run = RunToFailureBox(std::chrono::seconds(90), &toBox);
  EXPECT_GE(toBox, std::chrono::seconds(30));
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 4u);
  EXPECT_THAT(run.boxes, ElementsAreArray({"Cannot obtain installer. Error code 4"}));
  const auto log = WithoutRemovals(LogMessages());
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "WARNING No installer data for 30 s: download stopped");
  EXPECT_TRUE(std::regex_match(log.back(), kDownloadFailedLine)) << log.back();
}

// A slow transfer whose pauses stay under the stall limit runs to its end, however long it takes.
TEST_F(RealLimitsDownloadTest, SlowTransferThatKeepsMovingIsNeverCutShort) {
  // Three pieces 20 s apart: about 40 s in all, longer than the stall limit.
  const auto server = PacedInstallerServer(installer_, 3, std::chrono::seconds(20));
  ServeDocument("http://127.0.0.1:" + std::to_string(server->port()) + "/setup.exe", Checksum());

  const RunResult run = Wine::Get().Run(TestStubExe(), L"", RunOptions{std::chrono::seconds(150)});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(run.boxes, testing::IsEmpty());
  EXPECT_THAT(LogMessages(), testing::Contains("INFO Checksum is OK. Continue..."));
}

// ---- Transfers that break ---------------------------------------------------------------------

constexpr std::size_t kMiB = 1u << 20;

// A runnable installer of `size` bytes: the test installer followed by pseudo-random bytes.
std::string PaddedInstaller(const std::string& installer, std::size_t size, unsigned seed) {
  std::string bytes = installer;
  std::mt19937 random(seed);
  while (bytes.size() < size) bytes.push_back(static_cast<char>(random()));
  return bytes;
}

struct TransferCase {
  const char* name;
  std::size_t size;
  RangeServerOptions options;
  std::uint32_t exitCode;
  std::size_t bytesSent;  // body bytes the server sent in all
  int resumptions;        // WARNING lines of resumptions
  const char* secondRequestRange;  // the Range line of the second request; "" when it has none
};

// Serves the case's installer, runs the stub to its end and checks the story: exit value, bytes
// sent, resumptions and, after a good run, that the installer started is the one published last.
// `serveDocument` publishes the document naming the address and the checksum on the fixture's server.
void RunTransferCase(const TransferCase& c, const std::string& installer,
                     const std::function<void(const std::string&, const std::string&)>& serveDocument) {
  SCOPED_TRACE(c.name);
  Wine::Get().ResetState();
  RangeServerOptions options = c.options;
  const std::string first = PaddedInstaller(installer, c.size, 1);
  if (!options.laterBody.empty()) options.laterBody = PaddedInstaller(installer, c.size, 2);
  const std::string& published = options.laterBody.empty() ? first : options.laterBody;
  const RangeServer server(first, options);
  serveDocument(server.Url(), std::to_string(Crc32(published)));

  const RunResult run = Wine::Get().Run(TestStubExe(), L"--digest", RunOptions{std::chrono::seconds(240)});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_EQ(server.BytesSent(), c.bytesSent);
  const auto log = LogMessages();
  const auto resumptions = std::count_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("WARNING Installer download broken at byte ", 0) == 0;
  });
  EXPECT_EQ(resumptions, c.resumptions) << testing::PrintToString(log);

  // The first request is the plain one; a resumption asks for the rest only where it may.
  const auto heads = server.RequestHeads();
  ASSERT_GE(heads.size(), 1u + (c.resumptions > 0));
  EXPECT_THAT(heads[0], testing::Not(testing::HasSubstr("Range:")));
  if (c.resumptions > 0) {
    if (*c.secondRequestRange == '\0') {
      EXPECT_THAT(heads[1], testing::Not(testing::HasSubstr("Range:")));
    } else {
      EXPECT_THAT(heads[1], testing::HasSubstr(std::string("\r\nRange: ") + c.secondRequestRange + "\r\n"));
      EXPECT_THAT(heads[1], testing::HasSubstr("\r\nIf-Range: \"v1\"\r\n"));
    }
  }
  const std::string digest = ReadFileBytes(Wine::Get().TempDir() + "/test_installer_digest.txt");
  if (c.exitCode == 0) {
    EXPECT_EQ(digest, std::to_string(published.size()) + " " + std::to_string(Crc32(published)));
    EXPECT_THAT(log, testing::Contains("INFO Checksum is OK. Continue..."));
  } else {
    EXPECT_EQ(digest, "");  // nothing was started
    EXPECT_THAT(run.boxes, ElementsAreArray({"Cannot obtain installer. Error code 4"}));
    EXPECT_TRUE(std::regex_match(WithoutRemovals(log).back(), kDownloadFailedLine));
  }
  EXPECT_THAT(StubEntriesInTemp(true), testing::IsEmpty());
}

TEST_F(DownloadTest, BrokenTransfersResumeOrStartOverWithinTheirBound) {
  const TransferCase cases[] = {
      {"drops every 16 MiB, ranges: the rest each time", 64 * kMiB, {true, 16 * kMiB}, 0, 64 * kMiB, 3,
       "bytes=16777216-"},
      {"drops once, no ranges: the whole file again", 64 * kMiB, {false, 16 * kMiB, 1}, 0, 80 * kMiB, 1, ""},
      {"drops every 16 MiB, no ranges: never gets further", 64 * kMiB, {false, 16 * kMiB}, 4, 32 * kMiB, 1, ""},
      {"drops more often than resumptions allow", 64 * kMiB, {true, 8 * kMiB}, 4, 48 * kMiB, 5,
       "bytes=8388608-"},
      {"file changed between two requests: fetched whole", 64 * kMiB, {true, 16 * kMiB, 1, 0, 0, 0, "changed"}, 0,
       80 * kMiB, 1, "bytes=16777216-"},
      {"very slow but moving", 2 * kMiB, {true, 0, -1, 0, 64 * 1024, 100}, 0, 2 * kMiB, 0, ""},
  };
  for (const auto& c : cases) {
    RunTransferCase(c, installer_, [this](const std::string& url, const std::string& sum) { ServeDocument(url, sum); });
  }
}

// A server that stops for good: the transfer is given up after the stall limit, resumed once, and
// ends when the resumed request brings nothing either (about twice the limit and a pause).
TEST_F(RealLimitsDownloadTest, TransferThatStallsForGoodEndsAfterOneFruitlessResumption) {
  const TransferCase cases[] = {
      {"stalls for good at 1 MiB, ranges", 4 * kMiB, {true, 0, -1, 1 * kMiB}, 4, 1 * kMiB, 1, "bytes=1048576-"},
  };
  for (const auto& c : cases) {
    RunTransferCase(c, installer_, [this](const std::string& url, const std::string& sum) { ServeDocument(url, sum); });
  }
  EXPECT_THAT(LogMessages(), testing::Contains("WARNING No installer data for 30 s: download stopped"));
}

// The window code itself, driven by a test program with the stub's dialog: a download that ends
// before the dialog opens leaves no window behind, and the bar follows the percentages.
TEST(ProgressWindow, ClosesItselfWhenTheDownloadEndedFirstAndOtherwiseFollowsTheDownload) {
  const std::wstring stub = L"\"" + fs::path(Wine::Get().WindowsPath(TestStubExe())).wstring() + L"\"";
  for (const std::wstring scenario : {L"late", L"moves"}) {
    const RunResult run = Wine::Get().Run(WinTestProgram("progress_window_check"), stub + L" " + scenario,
                                          RunOptions{std::chrono::seconds(30)});
    EXPECT_TRUE(run.finished) << fs::path(scenario).string();
    EXPECT_EQ(run.exitCode, 0u) << fs::path(scenario).string();
  }
}

// The template of dialog 103 in both stubs, byte for byte as the platform loads it.
TEST(ProgressDialogResource, IsTheTabledExtendedTemplate) {
  std::string expected;
  const auto word = [&expected](std::uint16_t v) { expected.append({char(v & 0xFF), char(v >> 8)}); };
  const auto dword = [&word](std::uint32_t v) { word(v & 0xFFFF), word(v >> 16); };
  const auto text = [&word](const std::string& s) {
    for (const char c : s) word(static_cast<std::uint16_t>(c));
    word(0);
  };
  word(1), word(0xFFFF), dword(0), dword(0x00040080), dword(0x80880848), word(1);
  word(0), word(0), word(280), word(36);
  word(0), word(0), word(0);  // menu, class, title
  word(8), word(400), expected.append({'\0', '\1'});  // italic, character set
  text("MS Shell Dlg");
  ASSERT_EQ(expected.size() % 4, 0u);
  dword(0), dword(0), dword(0x50800001), word(7), word(7), word(266), word(21), dword(1001);
  text("msctls_progress32");
  word(0), word(0);  // title, creation data
  ASSERT_EQ(expected.size(), 128u);

  const fs::path out = fs::path(Wine::Get().TempDir()) / "dialog103.bin";
  for (const std::string& stub : {TestStubExe(), std::string(CV_WINE_BUILD_DIR) + "/cv_setup.exe"}) {
    fs::remove(out);
    const RunResult run = Wine::Get().Run(WinTestProgram("dialog_template"),
                                          L"\"" + fs::path(Wine::Get().WindowsPath(stub)).wstring() + L"\" \"" +
                                              fs::path(Wine::Get().WindowsPath(out.string())).wstring() + L"\"");
    ASSERT_EQ(run.exitCode, 0u) << stub;
    EXPECT_EQ(ReadFileBytes(out.string()), expected) << stub;
  }
}

}  // namespace
}  // namespace cv::bench
