// Measuring program, run by hand under Wine: the installer check's one pass with the stub's own
// Windows code (Crc32, and Sha256 over CNG) on a file of random bytes read in 1 MiB pieces through
// ReadFile, as VerifyInstaller reads it. Prints the best of three runs of each pass in MiB/s.
//   check_speed.exe <file to write and read> [MiB, default 256]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <random>

#include "base/handles_win.h"
#include "src/crc32.h"
#include "src/signature_win.h"

namespace {

constexpr DWORD kPieceSize = 1u << 20;

bool WriteRandomFile(const wchar_t* path, unsigned mib) {
  const cv::UniqueHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const auto piece = std::make_unique<unsigned char[]>(kPieceSize);
  std::mt19937 random(42);
  for (DWORD i = 0; i < kPieceSize; ++i) piece[i] = static_cast<unsigned char>(random());
  for (unsigned i = 0; i < mib; ++i) {
    piece[0] = static_cast<unsigned char>(i);
    DWORD written = 0;
    if (!WriteFile(file.get(), piece.get(), kPieceSize, &written, nullptr) || written != kPieceSize) return false;
  }
  return true;
}

// Seconds for one pass over the file; negative when a read or a hash call failed.
double TimePass(const wchar_t* path, bool withSha256) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const cv::UniqueHandle file(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return -1;
  const auto piece = std::make_unique<unsigned char[]>(kPieceSize);
  cv::Crc32 crc;
  cv::Sha256 sha;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), piece.get(), kPieceSize, &read, nullptr)) return -1;
    if (read == 0) break;
    crc.Update(piece.get(), read);
    if (withSha256) sha.Update(piece.get(), read);
  }
  if (withSha256 && !sha.Finish()) return -1;
  QueryPerformanceCounter(&end);
  volatile std::uint32_t sink = crc.Value();
  (void)sink;
  return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const unsigned mib = argc > 2 ? static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10)) : 256;
  if (!WriteRandomFile(argv[1], mib)) return 3;
  for (const bool withSha256 : {false, true}) {
    double best = 0;
    for (int run = 0; run < 3; ++run) {
      const double seconds = TimePass(argv[1], withSha256);
      if (seconds < 0) return 4;
      if (best == 0 || seconds < best) best = seconds;
    }
    std::printf("%-22s %6.0f ms  %7.1f MiB/s\n", withSha256 ? "CRC-32 + SHA-256 (CNG)" : "CRC-32 alone",
                best * 1000, mib / best);
  }
  DeleteFileW(argv[1]);
  return 0;
}
