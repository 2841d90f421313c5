// A bare TCP server on 127.0.0.1 for answers that the bench's HTTP servers cannot give (header lines
// written byte for byte, a forward proxy): each connection is handed to a handler on the server's
// thread, one at a time, and closed when the handler returns.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace cv::bench {

class RawServer {
 public:
  using Handler = std::function<void(int socket)>;
  // Listens on 127.0.0.1:port (0 picks a free port).
  explicit RawServer(Handler handler, int port = 0);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;
  int port() const { return port_; }

  // Waits until every connection made so far has been accepted and handed to the handler, and the
  // handler has returned; at most `limit`. A program that has ended may leave connections queued
  // behind a handler that was still busy with its earlier one; counts taken by the handler are
  // complete only after this.
  void Settle(std::chrono::milliseconds limit);

  // A server that answers every request with `response` as it stands.
  static std::unique_ptr<RawServer> Canned(std::string response, int port = 0);

 private:
  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> busy_{false};  // from a pending connection's accept to its handler's return
  std::thread thread_;
};

// Connects to 127.0.0.1:port; -1 when nothing listens there.
int ConnectLoopback(int port);
bool SendAll(int socket, const std::string& bytes);
// Reads one HTTP request: the header block up to and with its last CR LF, and the body that its
// Content-Length announces. False when the peer closes first.
bool ReadRequest(int socket, std::string& head, std::string& body);

}  // namespace cv::bench
