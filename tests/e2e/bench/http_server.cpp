// Loopback HTTP and HTTPS servers for the programs the bench runs; HTTPS uses a self-signed
// certificate made when the server starts, or one for 127.0.0.1 that the bench's own authority issues
// and the Wine prefix trusts.
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
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

// A certificate for `name`, valid from yesterday for a year, issued by `issuer` (null: signed by its
// own key) with these X.509 extensions ("name=value" in OpenSSL's configuration syntax).
void MakeCertificate(const std::string& name, const Certificate* issuer,
                     const std::vector<std::pair<int, std::string>>& extensions, Certificate& out) {
  out.key = EVP_RSA_gen(2048);
  out.cert = X509_new();
  if (out.key == nullptr || out.cert == nullptr) throw std::runtime_error("cannot make a key");
  X509_set_version(out.cert, 2);
  // Serial numbers differ, so that no two certificates of one authority look alike.
  static long serial = 1;
  ASN1_INTEGER_set(X509_get_serialNumber(out.cert), serial++);
  X509_gmtime_adj(X509_getm_notBefore(out.cert), -86400);
  X509_gmtime_adj(X509_getm_notAfter(out.cert), 365L * 86400);
  X509_set_pubkey(out.cert, out.key);
  X509_NAME* subject = X509_get_subject_name(out.cert);
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
  X509* signer = issuer != nullptr ? issuer->cert : out.cert;
  X509_set_issuer_name(out.cert, X509_get_subject_name(signer));
  X509V3_CTX context;
  X509V3_set_ctx(&context, signer, out.cert, nullptr, nullptr, 0);
  for (const auto& [nid, value] : extensions) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr || X509_add_ext(out.cert, extension, -1) == 0) throw std::runtime_error("cannot add " + value);
    X509_EXTENSION_free(extension);
  }
  if (X509_sign(out.cert, issuer != nullptr ? issuer->key : out.key, EVP_sha256()) == 0) {
    throw std::runtime_error("cannot sign the certificate");
  }
}

// The bench's certificate authority, one per test program.
const Certificate& TestAuthority() {
  static const Certificate* authority = [] {
    auto* made = new Certificate;
    MakeCertificate("Corvida bench test authority", nullptr,
                    {{NID_basic_constraints, "critical,CA:TRUE"}, {NID_key_usage, "critical,keyCertSign,cRLSign"}},
                    *made);
    return made;
  }();
  return *authority;
}

// The registry key under which Windows keeps a trusted root of the user, named by the SHA-1
// thumbprint of the certificate, and the value "Blob" it holds: the certificate as a serialized
// property (id 32, the encoded certificate) in hex.
std::string RootKey(X509* cert) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  X509_digest(cert, EVP_sha1(), digest, &size);
  std::string key = "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
  char hex[3];
  for (unsigned int i = 0; i < size; ++i) {
    std::snprintf(hex, sizeof(hex), "%02X", digest[i]);
    key += hex;
  }
  return key;
}

std::string RootBlob(X509* cert) {
  unsigned char* der = nullptr;
  const int length = i2d_X509(cert, &der);
  if (length <= 0) throw std::runtime_error("cannot encode the certificate");
  std::string bytes;
  for (const std::uint32_t field : {32u, 1u, static_cast<std::uint32_t>(length)}) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(field >> shift & 0xFF));
  }
  bytes.append(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
  OPENSSL_free(der);
  std::string hex;
  char pair[3];
  for (const char c : bytes) {
    std::snprintf(pair, sizeof(pair), "%02x", static_cast<unsigned char>(c));
    hex += pair;
  }
  return hex;
}

}  // namespace

std::unique_ptr<HttpServer> HttpServer::Plain(int port) {
  return std::unique_ptr<HttpServer>(new HttpServer(std::make_unique<httplib::Server>(), false, port));
}

std::unique_ptr<HttpServer> HttpServer::Tls(int port, const std::string& certName) {
  Certificate certificate;
  MakeCertificate(certName, nullptr, {}, certificate);
  // The server keeps its own references to the certificate and key.
  auto server = std::make_unique<httplib::SSLServer>(certificate.cert, certificate.key);
  return std::unique_ptr<HttpServer>(new HttpServer(std::move(server), true, port));
}

std::unique_ptr<HttpServer> HttpServer::TrustedTls(int port) {
  const Certificate& authority = TestAuthority();
  Certificate certificate;
  MakeCertificate("127.0.0.1", &authority,
                  {{NID_subject_alt_name, "IP:127.0.0.1,DNS:127.0.0.1"}, {NID_ext_key_usage, "serverAuth"}},
                  certificate);
  const std::string key = RootKey(authority.cert);
  if (Wine::Get().Command({"reg", "add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", RootBlob(authority.cert), "/f"}) != 0) {
    throw std::runtime_error("cannot make the Wine prefix trust the bench's authority");
  }
  auto server = std::make_unique<httplib::SSLServer>(certificate.cert, certificate.key);
  std::unique_ptr<HttpServer> trusted(new HttpServer(std::move(server), true, port));
  trusted->trustedRootKey_ = key;
  return trusted;
}

HttpServer::HttpServer(std::unique_ptr<httplib::Server> server, bool tls, int port)
    : server_(std::move(server)), tls_(tls), port_(port) {
  server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    RecordedRequest recorded{request.method, request.target, {}, {}};
    for (const auto& header : request.headers) recorded.headers.emplace(header.first, header.second);
    std::lock_guard<std::mutex> lock(mutex_);
    answering_[&request] = requests_.size();
    requests_.push_back(std::move(recorded));
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // The body is read after the request is routed: it joins the record when the answer goes out.
  server_->set_post_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto record = answering_.find(&request);
    if (record == answering_.end()) return;
    requests_[record->second].body = request.body;
    answering_.erase(record);
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
  if (!trustedRootKey_.empty()) Wine::Get().Command({"reg", "delete", trustedRootKey_, "/f"});
}

std::string HttpServer::Url(const std::string& path) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<RecordedRequest> HttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

}  // namespace cv::bench
