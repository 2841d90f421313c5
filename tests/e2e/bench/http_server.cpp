// Loopback HTTP and HTTPS servers for the programs the bench runs; HTTPS uses a self-signed
// certificate made when the server starts.
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <stdexcept>

#include "tests/e2e/bench/bench.h"

namespace cv::bench {
namespace {

struct Certificate {
  X509* cert = nullptr;
  EVP_PKEY* key = nullptr;
  ~Certificate() {
    X509_free(cert);
    EVP_PKEY_free(key);
  }
};

// A certificate for `name`, signed by its own key, valid from yesterday for a year.
void MakeSelfSigned(const std::string& name, Certificate& out) {
  out.key = EVP_RSA_gen(2048);
  out.cert = X509_new();
  if (out.key == nullptr || out.cert == nullptr) throw std::runtime_error("cannot make a key");
  X509_set_version(out.cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(out.cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(out.cert), -86400);
  X509_gmtime_adj(X509_getm_notAfter(out.cert), 365L * 86400);
  X509_set_pubkey(out.cert, out.key);
  X509_NAME* subject = X509_get_subject_name(out.cert);
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
  X509_set_issuer_name(out.cert, subject);
  if (X509_sign(out.cert, out.key, EVP_sha256()) == 0) throw std::runtime_error("cannot sign the certificate");
}

}  // namespace

std::unique_ptr<HttpServer> HttpServer::Plain(int port) {
  return std::unique_ptr<HttpServer>(new HttpServer(std::make_unique<httplib::Server>(), false, port));
}

std::unique_ptr<HttpServer> HttpServer::Tls(int port, const std::string& certName) {
  Certificate certificate;
  MakeSelfSigned(certName, certificate);
  // The server keeps its own references to the certificate and key.
  auto server = std::make_unique<httplib::SSLServer>(certificate.cert, certificate.key);
  return std::unique_ptr<HttpServer>(new HttpServer(std::move(server), true, port));
}

HttpServer::HttpServer(std::unique_ptr<httplib::Server> server, bool tls, int port)
    : server_(std::move(server)), tls_(tls), port_(port) {
  server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    RecordedRequest recorded{request.method, request.target, {}};
    for (const auto& header : request.headers) recorded.headers.emplace(header.first, header.second);
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(std::move(recorded));
    return httplib::Server::HandlerResponse::Unhandled;
  });
  if (port_ == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
  } else if (!server_->bind_to_port("127.0.0.1", port_)) {
    port_ = -1;
  }
  if (port_ <= 0) throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

HttpServer::~HttpServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string HttpServer::Url(const std::string& path) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<RecordedRequest> HttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

}  // namespace cv::bench
