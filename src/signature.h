// The texts of a signed release, read without any cryptographic library: the publisher's ECDSA
// P-256 public key (PEM SubjectPublicKeyInfo), the signature file beside the configuration document
// (base64 of r||s) and the document's SHA-256 member (lower-case hex). The stub and publish share them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

// The public point X||Y, each coordinate 32 bytes big-endian.
using P256PublicKey = std::array<std::uint8_t, 64>;
// An ECDSA signature r||s, each 32 bytes big-endian.
using P256Signature = std::array<std::uint8_t, 64>;
using Sha256Digest = std::array<std::uint8_t, 32>;

// Strict base64 (RFC 4648, standard alphabet): the length is a multiple of four, "=" only as the
// padding of the last group, unused bits zero, nothing else allowed (no white space). Empty when the
// text breaks one of these rules.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

// Reads a "-----BEGIN PUBLIC KEY-----" block holding an uncompressed ECDSA P-256 key, with LF or
// CRLF line ends and white space around the block, into `key`. Nothing when it is one, otherwise why
// not (RSA and other curves included); `key` is then unchanged. Whether the point lies on the curve
// is left to the library that imports it.
std::optional<std::string> ParseP256PublicKeyPem(std::string_view pem, P256PublicKey& key);

// Reads one or more such blocks, one after another (the keys of a rotation: the old and the new),
// into `keys`, in order. Nothing when every block is a key, otherwise why not, naming the block by
// its position ("key 2: ...") when there are several; `keys` is then unchanged.
std::optional<std::string> ParseP256PublicKeysPem(std::string_view pem, std::vector<P256PublicKey>& keys);

// Reads the signature file: base64 of the 64 bytes r||s on one line, one line end (LF or CRLF)
// allowed after it. Nothing when it is one, otherwise why not; `signature` is then unchanged.
std::optional<std::string> ParseSignatureText(std::string_view text, P256Signature& signature);

// The signature file of a rotation holds one such line per key, the lines separated by LF or CRLF.
// A line that is no signature of this kind is passed over, so that a signature of a later kind can
// stand beside the ones a stub can check. `problem` says why no signature was read when
// `signatures` is empty: the first line's reason, or that the file has no line or too many.
constexpr std::size_t kMaxSignatureLines = 8;
struct SignatureLines {
  std::vector<P256Signature> signatures;
  std::string problem;
};
SignatureLines ParseSignatureLines(std::string_view text);

// Lower-case hex digits of `size` bytes, two per byte.
std::string LowerHex(const void* data, std::size_t size);

// True when the text is exactly 64 characters, each 0-9 or a-f: a SHA-256 member as written.
bool IsSha256Hex(std::string_view text);
bool IsSha256Hex(std::wstring_view text);

}  // namespace cv
