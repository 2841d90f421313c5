// The loopback forward proxy: one request per connection, relayed with "Connection: close".
#include "tests/e2e/bench/forward_proxy.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cctype>

namespace cv::bench {
namespace {

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

ForwardProxy::ForwardProxy(int port) : server_([this](int client) { Handle(client); }, port) {}

std::vector<std::string> ForwardProxy::RequestLines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requestLines_;
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
  const int port = upstreamPort_ != 0 ? upstreamPort_.load()
                   : colon == std::string::npos ? 80
                                                : std::stoi(authority.substr(colon + 1));

  const int upstream = ConnectLoopback(port);
  if (upstream < 0) {
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
