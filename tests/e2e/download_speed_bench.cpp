// Benchmark under Wine, run by hand (not a test): the test stub's installer download, from
// "Downloading wrapper" to "Checksum is OK" in its log, against the platform's bare download
// (URLDownloadToFileW with a do-nothing callback) of the same file from the same loopback server,
// in one run; prints both times and their ratio. The large case (2.5 GiB) must succeed.
//   tools/wine-prefix.sh create build/native/wine-bench   (once)
//   CV_WINE_PREFIX=$PWD/build/native/wine-bench tools/own-network.sh \
//       build/native/tests/e2e/download_speed_bench [--benchmark_filter=/256]
// CV_BENCH_STUB=<Linux path of a cv_setup.exe> measures another build of the test stub (an older one,
// say) in its place. CV_BENCH_LOG_DIR=<folder> keeps each stub run's log there (stub-<MiB>-<n>.log),
// to see where the time between the two lines goes.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>

#include "tests/e2e/bench/bench.h"
#include "tests/e2e/bench/range_server.h"

namespace cv::bench {
namespace {

namespace fs = std::filesystem;

// The test installer followed by pseudo-random bytes, `mib` MiB in all.
const std::string& Installer(std::size_t mib) {
  static std::map<std::size_t, std::string> made;
  std::string& bytes = made[mib];
  if (bytes.empty()) {
    bytes = ReadFileBytes(WinTestProgram("test_installer"));
    std::mt19937_64 random(7);
    const std::size_t size = mib << 20;
    bytes.reserve(size);
    while (bytes.size() + 8 <= size) {
      const std::uint64_t word = random();
      bytes.append(reinterpret_cast<const char*>(&word), 8);
    }
    bytes.resize(size, 'x');
  }
  return bytes;
}

std::uint32_t Crc32Of(const std::string& bytes) {
  uLong crc = crc32(0, nullptr, 0);
  for (std::size_t at = 0; at < bytes.size(); at += 1u << 30) {
    const auto count = static_cast<uInt>(std::min<std::size_t>(1u << 30, bytes.size() - at));
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data() + at), count);
  }
  return static_cast<std::uint32_t>(crc);
}

std::map<std::string, std::vector<double>> times;

std::string StubUnderTest() {
  const char* other = std::getenv("CV_BENCH_STUB");
  return other != nullptr && *other != '\0' ? other : TestStubExe();
}

void StubDownload(benchmark::State& state) {
  const std::string& body = Installer(static_cast<std::size_t>(state.range(0)));
  const RangeServer server(body, RangeServerOptions{});
  const std::string document = "{\"shortcut\": false, \"wrapper\": \"" + server.Url() +
                               "\", \"checksum\": " + std::to_string(Crc32Of(body)) + ", \"version\": \"1\"}";
  const auto config = HttpServer::Plain(kConfigPort);
  config->server().Get("/cv.json", [&document](const httplib::Request&, httplib::Response& response) {
    response.set_content(document, "application/json");
  });
  for (auto _ : state) {
    Wine::Get().ResetState();
    const RunResult run = Wine::Get().Run(StubUnderTest(), L"", RunOptions{std::chrono::minutes(30)});
    const double span = LogSpanMs("INFO Downloading wrapper", "INFO Checksum is OK. Continue...") / 1000.0;
    if (!run.finished || run.exitCode != 0 || span < 0) {
      state.SkipWithError("the stub's download failed");
      break;
    }
    state.SetIterationTime(span);
    std::vector<double>& spans = times["stub/" + std::to_string(state.range(0))];
    spans.push_back(span);
    if (const char* logDir = std::getenv("CV_BENCH_LOG_DIR"); logDir != nullptr && *logDir != '\0') {
      WriteFileBytes(std::string(logDir) + "/stub-" + std::to_string(state.range(0)) + "-" +
                         std::to_string(spans.size()) + ".log",
                     LogBytes());
    }
  }
  state.counters["MiB/s"] = benchmark::Counter(static_cast<double>(state.range(0)) * state.iterations(),
                                              benchmark::Counter::kIsRate);
}

void BareDownload(benchmark::State& state) {
  const std::string& body = Installer(static_cast<std::size_t>(state.range(0)));
  const RangeServer server(body, RangeServerOptions{});
  const std::string target = Wine::Get().TempDir() + "/bare_download.bin";
  const std::string timeFile = Wine::Get().TempDir() + "/bare_download.ms";
  for (auto _ : state) {
    Wine::Get().ResetState();
    const RunResult run = Wine::Get().Run(WinTestProgram("bare_download"),
                                          Widen(server.Url() + "?rn=" + std::to_string(std::rand()) + " \"" +
                                                Wine::Get().WindowsPath(target) + "\" \"" +
                                                Wine::Get().WindowsPath(timeFile) + "\""),
                                          RunOptions{std::chrono::minutes(30)});
    const std::string ms = ReadFileBytes(timeFile);
    if (!run.finished || run.exitCode != 0 || ms.empty() || fs::file_size(target) != body.size()) {
      state.SkipWithError("the bare download failed");
      break;
    }
    state.SetIterationTime(std::stod(ms) / 1000);
    times["bare/" + std::to_string(state.range(0))].push_back(std::stod(ms) / 1000);
  }
}

// Bare and stub alternate, so that both meet the same load of the machine.
BENCHMARK(BareDownload)->Arg(256)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(StubDownload)->Arg(256)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(StubDownload)->Arg(2560)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

double Mean(const std::vector<double>& values) {
  double sum = 0;
  for (const double v : values) sum += v;
  return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

}  // namespace
}  // namespace cv::bench

int main(int argc, char** argv) {
  using cv::bench::times;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double stub = cv::bench::Mean(times["stub/256"]);
  const double bare = cv::bench::Mean(times["bare/256"]);
  if (stub > 0 && bare > 0) {
    std::printf("256 MiB: stub %.2f s, bare URLDownloadToFileW %.2f s, ratio %.2f\n", stub, bare, stub / bare);
  }
  if (!times["stub/2560"].empty()) std::printf("2560 MiB: stub %.1f s\n", times["stub/2560"][0]);
  return 0;
}
