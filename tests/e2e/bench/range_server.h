// A loopback server of one installer file for the download's stories and benchmark: it can honour
// byte ranges guarded by If-Range, drop connections at fixed places, stop sending for good, send
// slowly, or publish another file after the first request; it counts the body bytes it sent.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/e2e/bench/raw_server.h"

namespace cv::bench {

struct RangeServerOptions {
  bool ranges = true;             // honour "Range: bytes=N-" with a matching If-Range (answers 206)
  std::size_t dropEvery = 0;      // close the connection at each multiple of this many bytes of the file
  int dropConnections = -1;       // only the first this many connections drop (-1: all of them)
  std::size_t stallAt = 0;        // at this byte of the file, send nothing more and hold the connection
  std::size_t paceBytes = 0;      // send this many bytes at a time...
  int paceMilliseconds = 0;       // ...this far apart
  std::string laterBody;          // when set, the file served from the second request on (new ETag)
};

class RangeServer {
 public:
  RangeServer(std::string body, RangeServerOptions options);
  int port() const { return server_->port(); }
  std::string Url() const;  // http://127.0.0.1:<port>/setup.exe
  std::size_t BytesSent() const { return sent_.load(); }
  std::vector<std::string> RequestHeads() const;

 private:
  void Serve(int socket);

  std::string body_;
  RangeServerOptions options_;
  std::atomic<std::size_t> sent_{0};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> heads_;
  std::unique_ptr<RawServer> server_;
};

}  // namespace cv::bench
