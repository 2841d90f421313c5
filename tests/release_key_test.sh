#!/bin/sh
# The build's check of the release key (cmake/release_key.cmake): the public key that publish keygen
# writes passes, and so does a rotation's file of two; the private key, keys of other algorithms and curves, a compressed point and a
# missing file stop the configuration with a message that says what the file is.
#   release_key_test.sh <source folder>
set -eu
src=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# Runs the check on a file; its status, and its messages on one line.
check() {
  status=0
  out=$(cmake -DCV_RELEASE_KEY="$1" -P "$src/cmake/release_key.cmake" 2>&1) || status=$?
  out=$(printf '%s' "$out" | tr -s ' \n' '  ')
}
accepted() {
  check "$1"
  [ "$status" -eq 0 ] || { echo "refused $1: $out"; exit 1; }
}
refused() {
  check "$1"
  [ "$status" -ne 0 ] || { echo "accepted $1"; exit 1; }
  case "$out" in *"$2"*) ;; *) echo "$1: expected \"$2\" in: $out"; exit 1 ;; esac
}

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 2>/dev/null | openssl pkey -pubout -out "$dir/rsa.pub"
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 2>/dev/null | openssl pkey -pubout -out "$dir/p384.pub"
openssl ec -pubin -in "$src/tests/e2e/keys/release-key.pub" -conv_form compressed -pubout -out "$dir/compressed.pub" 2>/dev/null
# The same key with CRLF line ends and its base64 in one line.
openssl pkey -pubin -in "$src/tests/e2e/keys/release-key.pub" -outform DER | base64 -w0 |
  { printf -- '-----BEGIN PUBLIC KEY-----\r\n'; cat; printf '\r\n-----END PUBLIC KEY-----\r\n'; } > "$dir/one-line.pub"

# A rotation's file: two keys, one block each; a second block that is no key is named.
cat "$src/tests/e2e/keys/release-key.pub" "$dir/one-line.pub" > "$dir/two.pub"
{ cat "$src/tests/e2e/keys/release-key.pub"; cat "$dir/rsa.pub"; } > "$dir/second-rsa.pub"

accepted "$src/tests/e2e/keys/release-key.pub"
accepted "$dir/one-line.pub"
accepted "$dir/two.pub"
refused "$dir/second-rsa.pub" "second-rsa.pub, key 2 of 2, is not an ECDSA P-256 public key"
refused "$src/tests/e2e/keys/release-key.pem" "is a private key; give the public key (release-key.pub)"
refused "$dir/rsa.pub" "is not an ECDSA P-256 public key"
refused "$dir/p384.pub" "is not an ECDSA P-256 public key"
refused "$dir/compressed.pub" "holds its P-256 point compressed"
refused "$dir/missing.pub" "is not a file"
echo "release key check: all cases as expected"
