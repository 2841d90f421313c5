// The installer check's one pass over a 256 MiB file read in 1 MiB pieces, as the stub reads it: the
// CRC-32 alone (an unsigned release), and the CRC-32 with the SHA-256 in the same read loop (a signed
// release). OpenSSL's SHA-256 stands in natively for the CNG hash the stub uses on Windows
// (tests/e2e/win/check_speed.cpp measures that one under Wine); SHA-256 alone shows its own share.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <string>

#include "src/crc32.h"
#include "tests/bench/bench_file.h"

namespace {

using cv::bench::kMiB;

enum Pass { kCrc32, kCrc32AndSha256, kSha256 };

const std::string& TestFile() {
  static const std::string path = cv::bench::RandomFile("cv_check_bench.bin", 256);
  return path;
}

void BM_CheckPass(benchmark::State& state) {
  const auto pass = static_cast<Pass>(state.range(0));
  const auto piece = std::make_unique<unsigned char[]>(kMiB);
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> sha(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    FILE* file = std::fopen(TestFile().c_str(), "rb");
    if (file == nullptr || EVP_DigestInit_ex(sha.get(), EVP_sha256(), nullptr) != 1) {
      state.SkipWithError("cannot open the test file or start the hash");
      return;
    }
    cv::Crc32 crc;
    std::size_t read;
    while ((read = std::fread(piece.get(), 1, kMiB, file)) > 0) {
      if (pass != kSha256) crc.Update(piece.get(), read);
      if (pass != kCrc32) EVP_DigestUpdate(sha.get(), piece.get(), read);
      bytes += static_cast<std::int64_t>(read);
    }
    std::fclose(file);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(sha.get(), digest, &size);
    benchmark::DoNotOptimize(crc.Value());
    benchmark::DoNotOptimize(digest[0]);
  }
  state.SetBytesProcessed(bytes);
}

BENCHMARK(BM_CheckPass)
    ->ArgNames({"pass"})
    ->Arg(kCrc32)
    ->Arg(kCrc32AndSha256)
    ->Arg(kSha256)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
