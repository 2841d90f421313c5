// A loopback forward proxy for the programs the bench runs: it takes requests in absolute form
// ("GET http://host:port/path HTTP/1.1"), records them, and relays each in origin form to the same
// port on 127.0.0.1 (where the tests' servers live), or to one fixed port when told to; one
// connection at a time, closed after each answer. Other requests (CONNECT) get 501.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "tests/e2e/bench/raw_server.h"

namespace cv::bench {

class ForwardProxy {
 public:
  // Listens on 127.0.0.1:port (0 picks a free port).
  explicit ForwardProxy(int port = 0);

  // Relays every request to 127.0.0.1:upstreamPort whatever port its URI names.
  void RouteAllTo(int upstreamPort) { upstreamPort_ = upstreamPort; }
  int port() const { return server_.port(); }
  // The request line of each request received, as sent ("GET http://... HTTP/1.1").
  std::vector<std::string> RequestLines() const;

 private:
  void Handle(int client);

  std::atomic<int> upstreamPort_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requestLines_;
  RawServer server_;  // last, so that it stops before the members its handler uses go
};

}  // namespace cv::bench
