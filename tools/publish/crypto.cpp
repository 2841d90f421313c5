// OpenSSL calls of publish. Each OpenSSL object has an owner, and each key that publish takes is also
// read by the stub's own parser, so that publish signs only with keys the stub can check.
#include "tools/publish/crypto.h"

#include <fcntl.h>
#include <unistd.h>

#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/pem.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "src/crc32.h"
#include "tools/publish/files.h"

namespace cv::publish {
namespace {

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO_free>>;
using MdContext = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;
using EcdsaSig = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG_free>>;
using Bignum = std::unique_ptr<BIGNUM, Deleter<BN_free>>;

// A read-only memory BIO over `text`, which must outlive it.
Bio ReadBio(std::string_view text) {
  Bio bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
  if (!bio) throw PublishError("out of memory");
  return bio;
}

template <typename Write>
std::string WritePem(Write write) {
  Bio bio(BIO_new(BIO_s_mem()));
  if (!bio || write(bio.get()) != 1) throw PublishError("cannot write a key in PEM form");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

std::string PublicPem(EVP_PKEY* key) {
  return WritePem([key](BIO* bio) { return PEM_write_bio_PUBKEY(bio, key); });
}

// Refuses a key whose public half the stub would not accept (RSA, another curve, ...).
void RequireStubAcceptsKey(EVP_PKEY* key, const std::string& path) {
  P256PublicKey point;
  if (const auto problem = ParseP256PublicKeyPem(PublicPem(key), point)) {
    throw PublishError("the key " + path + " is not usable: " + *problem);
  }
}

MdContext NewMdContext() {
  MdContext context(EVP_MD_CTX_new());
  if (!context) throw PublishError("out of memory");
  return context;
}

}  // namespace

KeyPairPem GenerateReleaseKey(const std::optional<std::string>& passPhrase) {
  Pkey key(EVP_EC_gen("P-256"));
  if (!key) throw PublishError("cannot generate a P-256 key");
  KeyPairPem pair;
  pair.privatePem = WritePem([&key, &passPhrase](BIO* bio) {
    if (!passPhrase) return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    return PEM_write_bio_PKCS8PrivateKey(bio, key.get(), EVP_aes_256_cbc(), passPhrase->data(),
                                         static_cast<int>(passPhrase->size()), nullptr, nullptr);
  });
  pair.publicPem = PublicPem(key.get());
  RequireStubAcceptsKey(key.get(), "made now");
  return pair;
}

Pkey LoadReleasePrivateKey(const std::string& pem, const std::string& path,
                           const std::optional<std::string>& passPhrase) {
  const bool encrypted = pem.find("ENCRYPTED") != std::string::npos;
  if (encrypted && !passPhrase) {
    throw PublishError("the key " + path + " is encrypted; give its pass phrase with --pass-file or --pass-env");
  }
  Bio bio = ReadBio(pem);
  // The pass phrase only through this callback: a key that needs one and gets none is refused
  // rather than asked for on the terminal.
  const auto callback = [](char* buffer, int size, int, void* data) {
    const auto* phrase = static_cast<const std::optional<std::string>*>(data);
    if (!*phrase || static_cast<int>((*phrase)->size()) > size) return 0;
    std::memcpy(buffer, (*phrase)->data(), (*phrase)->size());
    return static_cast<int>((*phrase)->size());
  };
  Pkey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, callback, const_cast<std::optional<std::string>*>(&passPhrase)));
  if (!key && encrypted) throw PublishError("the key " + path + " cannot be decrypted with this pass phrase");
  if (!key) throw PublishError("the key " + path + " is not a PEM private key");
  RequireStubAcceptsKey(key.get(), path);
  return key;
}

std::vector<Pkey> LoadReleasePublicKeys(const std::string& pem, const std::string& path) {
  std::vector<P256PublicKey> points;
  if (const auto problem = ParseP256PublicKeysPem(pem, points)) {
    throw PublishError("the public key " + path + " is not usable: " + *problem);
  }
  // OpenSSL reads the same blocks one after another.
  Bio bio = ReadBio(pem);
  std::vector<Pkey> keys;
  for (std::size_t i = 0; i < points.size(); ++i) {
    keys.emplace_back(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!keys.back()) throw PublishError("the public key " + path + " is not a valid P-256 point");
  }
  return keys;
}

P256Signature SignDocument(EVP_PKEY* privateKey, std::string_view bytes) {
  MdContext context = NewMdContext();
  std::size_t size = 0;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  if (EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, privateKey) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &size, data, bytes.size()) != 1) {
    throw PublishError("cannot sign the document");
  }
  std::vector<unsigned char> der(size);
  if (EVP_DigestSign(context.get(), der.data(), &size, data, bytes.size()) != 1) {
    throw PublishError("cannot sign the document");
  }
  // OpenSSL gives the DER SEQUENCE { r, s }; the file holds r and s as 32 bytes each.
  const unsigned char* next = der.data();
  EcdsaSig sig(d2i_ECDSA_SIG(nullptr, &next, static_cast<long>(size)));
  if (!sig) throw PublishError("cannot read the signature OpenSSL made");
  P256Signature signature;
  if (BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), signature.data(), 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), signature.data() + 32, 32) != 32) {
    throw PublishError("cannot read the signature OpenSSL made");
  }
  return signature;
}

bool SignatureMatches(EVP_PKEY* publicKey, std::string_view bytes, const P256Signature& signature) {
  EcdsaSig sig(ECDSA_SIG_new());
  Bignum r(BN_bin2bn(signature.data(), 32, nullptr));
  Bignum s(BN_bin2bn(signature.data() + 32, 32, nullptr));
  if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) throw PublishError("out of memory");
  r.release();  // now owned by sig
  s.release();
  const int size = i2d_ECDSA_SIG(sig.get(), nullptr);
  if (size <= 0) throw PublishError("out of memory");
  std::vector<unsigned char> der(static_cast<std::size_t>(size));
  unsigned char* out = der.data();
  i2d_ECDSA_SIG(sig.get(), &out);

  MdContext context = NewMdContext();
  if (EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, publicKey) != 1) {
    throw PublishError("cannot set up the signature check");
  }
  return EVP_DigestVerify(context.get(), der.data(), der.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                          bytes.size()) == 1;
}

std::string SignatureText(const P256Signature& signature) {
  unsigned char text[4 * ((sizeof(P256Signature) + 2) / 3) + 1];
  const int size = EVP_EncodeBlock(text, signature.data(), static_cast<int>(signature.size()));
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)) + "\n";
}

InstallerDigest DigestInstaller(const std::string& path) {
  const auto failed = [&path](int error) {
    return PublishError("cannot read the installer " + path + ": " + std::strerror(error));
  };
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) throw failed(errno);
  Crc32 crc;
  MdContext sha = NewMdContext();
  if (EVP_DigestInit_ex(sha.get(), EVP_sha256(), nullptr) != 1) throw PublishError("cannot set up SHA-256");
  std::vector<unsigned char> piece(1 << 20);
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t got = read(fd.get(), piece.data(), piece.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw failed(errno);
    if (got == 0) break;
    crc.Update(piece.data(), static_cast<std::size_t>(got));
    EVP_DigestUpdate(sha.get(), piece.data(), static_cast<std::size_t>(got));
    total += static_cast<std::uint64_t>(got);
  }
  if (total == 0) throw PublishError("the installer " + path + " is empty");
  InstallerDigest digest;
  digest.size = total;
  digest.crc32 = crc.Value();
  if (EVP_DigestFinal_ex(sha.get(), digest.sha256.data(), nullptr) != 1) throw PublishError("cannot finish SHA-256");
  return digest;
}

}  // namespace cv::publish
