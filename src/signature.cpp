// Reading the publisher's key, the signature file and the SHA-256 text. The key is read with a small
// DER reader of its own, because a SubjectPublicKeyInfo is only three nested elements and the stub
// carries no ASN.1 library; each refusal names what the text is instead, so a wrong key is easy to spot.
#include "src/signature.h"

#include <algorithm>

namespace cv {
namespace {

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Contents of DER elements, read front to back.
class DerReader {
 public:
  DerReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  // Reads the next element when it has this tag; its contents then come back as a reader.
  std::optional<DerReader> Next(std::uint8_t tag) {
    if (size_ < 2 || data_[0] != tag) return std::nullopt;
    std::size_t length = data_[1];
    std::size_t header = 2;
    if (length >= 0x80) {
      // Long form with one or two length bytes; a key is never longer than 64 KB.
      const std::size_t lengthBytes = length & 0x7F;
      if (lengthBytes == 0 || lengthBytes > 2 || size_ < 2 + lengthBytes) return std::nullopt;
      length = 0;
      for (std::size_t i = 0; i < lengthBytes; ++i) length = (length << 8) | data_[2 + i];
      header += lengthBytes;
    }
    if (size_ - header < length) return std::nullopt;
    DerReader contents(data_ + header, length);
    data_ += header + length;
    size_ -= header + length;
    return contents;
  }

  bool Equals(const std::uint8_t* bytes, std::size_t size) const {
    return size_ == size && std::equal(bytes, bytes + size, data_);
  }
  bool AtEnd() const { return size_ == 0; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kObjectId = 0x06;
constexpr std::uint8_t kBitString = 0x03;
constexpr std::uint8_t kEcPublicKeyOid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};  // 1.2.840.10045.2.1
constexpr std::uint8_t kP256Oid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};  // 1.2.840.10045.3.1.7

constexpr std::string_view kPemBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kPemEnd = "-----END PUBLIC KEY-----";

std::string_view TrimWhiteSpace(std::string_view text) {
  constexpr std::string_view kWhite = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kWhite);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kWhite) - first + 1);
}

// The base64 body of the PEM block: its lines joined, each without its LF or CRLF.
std::optional<std::string> PemBody(std::string_view pem) {
  pem = TrimWhiteSpace(pem);
  if (pem.size() < kPemBegin.size() + kPemEnd.size() || pem.substr(0, kPemBegin.size()) != kPemBegin ||
      pem.substr(pem.size() - kPemEnd.size()) != kPemEnd) {
    return std::nullopt;
  }
  std::string_view lines = pem.substr(kPemBegin.size(), pem.size() - kPemBegin.size() - kPemEnd.size());
  // The markers stand on lines of their own.
  if (lines.empty() || lines.back() != '\n') return std::nullopt;
  std::string body;
  bool first = true;
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');  // found: the text ends in a line end
    std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first && !line.empty()) return std::nullopt;  // text after the BEGIN marker
    first = false;
    body.append(line);
  }
  return body;
}

template <typename Char>
bool IsSha256HexOf(std::basic_string_view<Char> text) {
  if (text.size() != 64) return false;
  for (const Char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (std::size_t group = 0; group < text.size(); group += 4) {
    const bool last = group + 4 == text.size();
    // Padding: "xx==" or "xxx=", in the last group only.
    std::size_t padding = 0;
    if (last && text[group + 3] == '=') padding = text[group + 2] == '=' ? 2 : 1;
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4 - padding; ++i) {
      const int value = Base64Value(text[group + i]);
      if (value < 0) return std::nullopt;
      bits = (bits << 6) | static_cast<std::uint32_t>(value);
    }
    bits <<= 6 * padding;
    // The bits that fall between the last byte and the padding must be zero.
    if ((padding == 1 && (bits & 0xFF) != 0) || (padding == 2 && (bits & 0xFFFF) != 0)) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(bits >> 16));
    if (padding < 2) bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
    if (padding < 1) bytes.push_back(static_cast<std::uint8_t>(bits));
  }
  return bytes;
}

std::optional<std::string> ParseP256PublicKeyPem(std::string_view pem, P256PublicKey& key) {
  const auto body = PemBody(pem);
  if (!body) return "not a PEM \"PUBLIC KEY\" block";
  const auto der = DecodeBase64(*body);
  if (!der) return "the PEM block is not valid base64";

  // SubjectPublicKeyInfo ::= SEQUENCE { SEQUENCE { algorithm OID, parameters }, BIT STRING }
  DerReader whole(der->data(), der->size());
  auto info = whole.Next(kSequence);
  if (!info || !whole.AtEnd()) return "the PEM block is not a SubjectPublicKeyInfo";
  auto algorithm = info->Next(kSequence);
  auto bits = info->Next(kBitString);
  if (!algorithm || !bits || !info->AtEnd()) return "the PEM block is not a SubjectPublicKeyInfo";
  const auto algorithmId = algorithm->Next(kObjectId);
  if (!algorithmId || !algorithmId->Equals(kEcPublicKeyOid, sizeof kEcPublicKeyOid)) {
    return "not an elliptic-curve key (RSA or another algorithm)";
  }
  const auto curve = algorithm->Next(kObjectId);
  if (!curve || !curve->Equals(kP256Oid, sizeof kP256Oid) || !algorithm->AtEnd()) {
    return "an elliptic-curve key of a curve other than P-256";
  }
  // No unused bits, then the uncompressed point: 04, X, Y.
  if (bits->size() != 2 + key.size() || bits->data()[0] != 0 || bits->data()[1] != 0x04) {
    return "the P-256 key is not an uncompressed point of 64 bytes";
  }
  std::copy(bits->data() + 2, bits->data() + bits->size(), key.begin());
  return std::nullopt;
}

std::optional<std::string> ParseP256PublicKeysPem(std::string_view pem, std::vector<P256PublicKey>& keys) {
  std::vector<P256PublicKey> read;
  for (;;) {
    // One block per key: the text up to the next end marker, or the rest.
    const std::size_t end = pem.find(kPemEnd);
    const std::string_view block = pem.substr(0, end == std::string_view::npos ? end : end + kPemEnd.size());
    pem.remove_prefix(block.size());
    P256PublicKey key;
    if (auto problem = ParseP256PublicKeyPem(block, key)) {
      if (read.empty() && TrimWhiteSpace(pem).empty()) return problem;
      return "key " + std::to_string(read.size() + 1) + ": " + *problem;
    }
    read.push_back(key);
    if (TrimWhiteSpace(pem).empty()) break;
  }
  keys = std::move(read);
  return std::nullopt;
}

std::optional<std::string> ParseSignatureText(std::string_view text, P256Signature& signature) {
  if (!text.empty() && text.back() == '\n') {
    text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  }
  const auto bytes = DecodeBase64(text);
  if (!bytes) return "the signature is not one line of base64";
  if (bytes->size() != signature.size()) {
    return "the signature holds " + std::to_string(bytes->size()) + " bytes instead of 64";
  }
  std::copy(bytes->begin(), bytes->end(), signature.begin());
  return std::nullopt;
}

SignatureLines ParseSignatureLines(std::string_view text) {
  SignatureLines lines;
  std::size_t count = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end + (end < text.size() ? 1 : 0));
    text.remove_prefix(line.size());
    if (++count > kMaxSignatureLines) {
      lines.signatures.clear();
      lines.problem = "the signature file has more than " + std::to_string(kMaxSignatureLines) + " lines";
      return lines;
    }
    P256Signature signature;
    if (auto problem = ParseSignatureText(line, signature)) {
      if (lines.problem.empty()) lines.problem = std::move(*problem);
    } else {
      lines.signatures.push_back(signature);
    }
  }
  if (count == 0) lines.problem = "the signature file is empty";
  if (!lines.signatures.empty()) lines.problem.clear();
  return lines;
}

std::string LowerHex(const void* data, std::size_t size) {
  constexpr char kDigits[] = "0123456789abcdef";
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::string text;
  text.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

bool IsSha256Hex(std::string_view text) { return IsSha256HexOf(text); }
bool IsSha256Hex(std::wstring_view text) { return IsSha256HexOf(text); }

}  // namespace cv
