// CRC-32 throughput over a 256 MiB buffer and a 256 MiB file, for each of the stub's methods beside
// zlib's crc32. The file is read in 1 MiB pieces as the installer check reads it; set
// CV_CRC_BENCH_FILE_MIB to use another file size (for example 1024 to watch the peak memory of a
// 1 GiB check with --benchmark_filter=File).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "src/crc32.h"
#include "tests/bench/bench_file.h"

namespace {

using cv::bench::kMiB;
using cv::bench::RandomBytes;
constexpr std::size_t kPieceSize = kMiB;

enum Method { kZlib, kBytewise, kSliceBy8, kCarrylessMultiply };

// Advances `crc` (the running value of the method: zlib's finished CRC, or the stub's object) over
// one piece.
struct Running {
  explicit Running(Method method)
      : method(method),
        crc(method == kBytewise   ? cv::Crc32Method::Bytewise
            : method == kSliceBy8 ? cv::Crc32Method::SliceBy8
                                  : cv::Crc32Method::CarrylessMultiply) {}
  void Update(const unsigned char* data, std::size_t size) {
    if (method == kZlib) {
      zlibValue = crc32(zlibValue, data, static_cast<uInt>(size));
    } else {
      crc.Update(data, size);
    }
  }
  std::uint32_t Value() const { return method == kZlib ? static_cast<std::uint32_t>(zlibValue) : crc.Value(); }

  Method method;
  cv::Crc32 crc;
  uLong zlibValue = crc32(0, nullptr, 0);
};

const std::vector<unsigned char>& Buffer() {
  static const std::vector<unsigned char> buffer = RandomBytes(256 * kMiB);
  return buffer;
}

const std::string& TestFile() {
  static const std::string path = [] {
    const char* mib = std::getenv("CV_CRC_BENCH_FILE_MIB");
    return cv::bench::RandomFile("cv_crc32_bench.bin", mib != nullptr ? std::strtoull(mib, nullptr, 10) : 256);
  }();
  return path;
}

void BM_Buffer(benchmark::State& state) {
  const auto& buffer = Buffer();
  const auto method = static_cast<Method>(state.range(0));
  for (auto _ : state) {
    Running running(method);
    running.Update(buffer.data(), buffer.size());
    benchmark::DoNotOptimize(running.Value());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * buffer.size()));
}

void BM_File(benchmark::State& state) {
  const std::string& path = TestFile();
  const auto method = static_cast<Method>(state.range(0));
  const auto piece = std::make_unique<unsigned char[]>(kPieceSize);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      state.SkipWithError("cannot open the test file");
      return;
    }
    Running running(method);
    std::size_t read;
    while ((read = std::fread(piece.get(), 1, kPieceSize, file)) > 0) {
      running.Update(piece.get(), read);
      bytes += static_cast<std::int64_t>(read);
    }
    std::fclose(file);
    benchmark::DoNotOptimize(running.Value());
  }
  state.SetBytesProcessed(bytes);
}

void Methods(benchmark::internal::Benchmark* b) {
  b->ArgNames({"method"});
  for (const Method m : {kZlib, kBytewise, kSliceBy8, kCarrylessMultiply}) b->Arg(m);
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Buffer)->Apply(Methods);
BENCHMARK(BM_File)->Apply(Methods);

}  // namespace

BENCHMARK_MAIN();
