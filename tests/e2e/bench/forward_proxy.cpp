// The loopback forward proxy: plain sockets, one request per connection.
#include "tests/e2e/bench/forward_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <stdexcept>

namespace cv::bench {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool SendAll(int socket, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads until the end of the header block, then the body its Content-Length announces.
bool ReadRequest(int socket, std::string& head, std::string& body) {
  std::string data;
  char buffer[4096];
  std::size_t headEnd;
  while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = recv(socket, buffer, sizeof(buffer), 0);
    if (n <= 0) return false;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  head = data.substr(0, headEnd + 2);
  body = data.substr(headEnd + 4);
  std::size_t length = 0;
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t field = lower.find("\r\ncontent-length:");
  if (field != std::string::npos) length = std::stoul(head.substr(field + 17));
  while (body.size() < length) {
    const ssize_t n = recv(socket, buffer, sizeof(buffer), 0);
    if (n <= 0) return false;
    body.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

// The header lines of `head` after the request line, without those that manage the connection.
std::string EndToEndHeaders(const std::string& head) {
  std::string kept;
  std::size_t start = head.find("\r\n") + 2;
  while (start < head.size()) {
    const std::size_t end = head.find("\r\n", start);
    const std::string line = head.substr(start, end - start);
    std::string name = line.substr(0, line.find(':'));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name != "connection" && name != "proxy-connection" && name != "keep-alive") kept += line + "\r\n";
    start = end + 2;
  }
  return kept;
}

}  // namespace

ForwardProxy::ForwardProxy(int port) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in address = Loopback(port);
  socklen_t size = sizeof(address);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (listener_ >= 0) close(listener_);
    throw std::runtime_error("forward proxy cannot listen on 127.0.0.1:" + std::to_string(port));
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

ForwardProxy::~ForwardProxy() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  close(listener_);
}

std::vector<std::string> ForwardProxy::RequestLines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requestLines_;
}

void ForwardProxy::Serve() {
  while (!stopping_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, 50) <= 0) continue;
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    Handle(client);
    close(client);
  }
}

void ForwardProxy::Handle(int client) {
  std::string head, body;
  if (!ReadRequest(client, head, body)) return;
  const std::string requestLine = head.substr(0, head.find("\r\n"));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requestLines_.push_back(requestLine);
  }
  // "METHOD http://host[:port]/path VERSION"
  const std::size_t methodEnd = requestLine.find(' ');
  const std::size_t uriEnd = requestLine.rfind(' ');
  const std::string uri = requestLine.substr(methodEnd + 1, uriEnd - methodEnd - 1);
  if (uri.rfind("http://", 0) != 0) {
    SendAll(client, "HTTP/1.1 501 Not Implemented\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return;
  }
  const std::size_t pathStart = uri.find('/', 7);
  const std::string authority = uri.substr(7, pathStart == std::string::npos ? std::string::npos : pathStart - 7);
  const std::string path = pathStart == std::string::npos ? "/" : uri.substr(pathStart);
  const std::size_t colon = authority.rfind(':');
  int port = colon == std::string::npos ? 80 : std::stoi(authority.substr(colon + 1));
  if (upstreamPort_ != 0) port = upstreamPort_;

  const int upstream = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(port);
  if (upstream < 0 || connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    if (upstream >= 0) close(upstream);
    SendAll(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return;
  }
  SendAll(upstream, requestLine.substr(0, methodEnd + 1) + path + requestLine.substr(uriEnd) + "\r\n" +
                        EndToEndHeaders(head) + "Connection: close\r\n\r\n" + body);
  char buffer[8192];
  ssize_t n;
  while ((n = recv(upstream, buffer, sizeof(buffer), 0)) > 0) {
    if (!SendAll(client, std::string(buffer, static_cast<std::size_t>(n)))) break;
  }
  close(upstream);
}

}  // namespace cv::bench
