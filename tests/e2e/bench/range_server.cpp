// The installer server with ranges, drops, stalls and pacing.
#include "tests/e2e/bench/range_server.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <thread>

namespace cv::bench {

RangeServer::RangeServer(std::string body, RangeServerOptions options)
    : body_(std::move(body)), options_(std::move(options)) {
  server_ = std::make_unique<RawServer>([this](int socket) { Serve(socket); });
}

std::string RangeServer::Url() const { return "http://127.0.0.1:" + std::to_string(port()) + "/setup.exe"; }

std::vector<std::string> RangeServer::RequestHeads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return heads_;
}

void RangeServer::Serve(int socket) {
  std::string head, ignored;
  if (!ReadRequest(socket, head, ignored)) return;
  const int connection = connections_++;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    heads_.push_back(head);
  }
  const bool later = connection > 0 && !options_.laterBody.empty();
  const std::string& body = later ? options_.laterBody : body_;
  const std::string etag = later ? "\"v2\"" : "\"v1\"";

  std::smatch match;
  std::size_t start = 0;
  const bool asked = std::regex_search(head, match, std::regex("\r\nRange: bytes=([0-9]+)-\r\n", std::regex::icase));
  std::smatch ifRange;
  const bool guardMatches = std::regex_search(head, ifRange, std::regex("\r\nIf-Range: ([^\r]*)\r\n", std::regex::icase)) &&
                            ifRange[1] == etag;
  if (options_.ranges && asked && guardMatches) start = std::min<std::size_t>(std::stoull(match[1]), body.size());
  std::string answer = start > 0 ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
  answer += "Content-Type: application/octet-stream\r\nConnection: close\r\nETag: " + etag +
            "\r\nContent-Length: " + std::to_string(body.size() - start) + "\r\n";
  answer += options_.ranges ? "Accept-Ranges: bytes\r\n" : "Accept-Ranges: none\r\n";
  if (start > 0) {
    answer += "Content-Range: bytes " + std::to_string(start) + "-" + std::to_string(body.size() - 1) + "/" +
              std::to_string(body.size()) + "\r\n";
  }
  if (!SendAll(socket, answer + "\r\n")) return;

  std::size_t end = body.size();
  const bool drops = options_.dropEvery > 0 && (options_.dropConnections < 0 || connection < options_.dropConnections);
  if (drops) end = std::min(end, (start / options_.dropEvery + 1) * options_.dropEvery);
  const bool stalls = options_.stallAt > 0 && options_.stallAt < end;
  if (stalls) end = std::max(start, options_.stallAt);
  const std::size_t step = options_.paceBytes > 0 ? options_.paceBytes : std::size_t{1} << 20;
  for (std::size_t at = start; at < end; at += step) {
    if (at > start && options_.paceMilliseconds > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(options_.paceMilliseconds));
    }
    const std::size_t count = std::min(step, end - at);
    if (!SendAll(socket, body.substr(at, count))) return;
    sent_ += count;
  }
  if (!stalls) return;
  // Silent from here on; the client closing the connection ends the wait.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(150);
  char byte;
  while (std::chrono::steady_clock::now() < until) {
    pollfd waiting{socket, POLLIN, 0};
    if (poll(&waiting, 1, 200) > 0 && recv(socket, &byte, 1, 0) <= 0) return;
  }
}

}  // namespace cv::bench
