// The bare loopback TCP server and its socket helpers.
#include "tests/e2e/bench/raw_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <memory>
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

}  // namespace

RawServer::RawServer(Handler handler, int port) : handler_(std::move(handler)) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  // The port may still hold connections of a cpp-httplib server in TIME_WAIT; that server sets only
  // SO_REUSEPORT, and Linux lets a new listener share the port with them only when it sets it too.
  setsockopt(listener_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof(on));
  sockaddr_in address = Loopback(port);
  socklen_t size = sizeof(address);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (listener_ >= 0) close(listener_);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] {
    while (!stopping_) {
      pollfd waiting{listener_, POLLIN, 0};
      if (poll(&waiting, 1, 50) <= 0) continue;
      busy_ = true;
      const int client = accept(listener_, nullptr, nullptr);
      if (client >= 0) {
        handler_(client);
        close(client);
      }
      busy_ = false;
    }
  });
}

RawServer::~RawServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  close(listener_);
}

void RawServer::Settle(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    // busy_ is set before a pending connection is accepted, so a connection is always seen either
    // as pending or as being handled.
    pollfd waiting{listener_, POLLIN, 0};
    if (!busy_ && poll(&waiting, 1, 0) == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::unique_ptr<RawServer> RawServer::Canned(std::string response, int port) {
  return std::make_unique<RawServer>(
      [response](int socket) {
        std::string head, body;
        if (ReadRequest(socket, head, body)) SendAll(socket, response);
      },
      port);
}

int ConnectLoopback(int port) {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(port);
  if (socket >= 0 && connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
    return socket;
  }
  if (socket >= 0) close(socket);
  return -1;
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
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t field = lower.find("\r\ncontent-length:");
  const std::size_t length = field == std::string::npos ? 0 : std::stoul(head.substr(field + 17));
  while (body.size() < length) {
    const ssize_t n = recv(socket, buffer, sizeof(buffer), 0);
    if (n <= 0) return false;
    body.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace cv::bench
