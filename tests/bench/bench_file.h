// Input of the benchmarks: random bytes, and a file of them in the temporary folder that is written
// once per program and removed when it ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace cv::bench {

constexpr std::size_t kMiB = 1024 * 1024;

// Random bytes of the given size, the same in every run.
inline std::vector<unsigned char> RandomBytes(std::size_t size) {
  std::vector<unsigned char> bytes(size);
  std::mt19937_64 random(42);
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    const std::uint64_t word = random();
    for (int b = 0; b < 8; ++b) bytes[i + b] = static_cast<unsigned char>(word >> (8 * b));
  }
  return bytes;
}

// The path of `name` in the temporary folder, filled with `mib` MiB of random content (pieces of
// 1 MiB, each followed by one byte of its number, so that no two pieces are alike).
inline std::string RandomFile(const std::string& name, std::size_t mib) {
  static std::vector<std::filesystem::path> written;
  const std::filesystem::path path = std::filesystem::temp_directory_path() / name;
  const std::vector<unsigned char> piece = RandomBytes(kMiB);
  FILE* file = std::fopen(path.c_str(), "wb");
  for (std::size_t done = 0; file != nullptr && done < mib; ++done) {
    std::fwrite(piece.data(), 1, piece.size(), file);
    std::fputc(static_cast<int>(done), file);
  }
  if (file != nullptr) std::fclose(file);
  if (written.empty()) {
    std::atexit([] {
      for (const auto& p : written) std::filesystem::remove(p);
    });
  }
  written.push_back(path);
  return path.string();
}

}  // namespace cv::bench
