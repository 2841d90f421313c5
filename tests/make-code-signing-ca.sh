#!/bin/sh
# Makes a throw-away certificate authority and a code-signing certificate it issued, for the tests
# of the stub's Authenticode signature, in the folder given:
#   ca.pem                  the CA's certificate (what a verifier trusts)
#   signing.pem, signing.key  the code-signing certificate and its private key, encrypted with the
#                           pass phrase in pass.txt
#   signing.p12             the same certificate and key in PKCS#12, protected by the same pass phrase
#   make-code-signing-ca.sh <folder>
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"
CV_TEST_PASS='test pass phrase 20'
export CV_TEST_PASS
printf '%s\n' "$CV_TEST_PASS" > pass.txt
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ca.key -out ca.pem -days 2 \
  -subj "/CN=Corvida Test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -keyout signing.key -passout env:CV_TEST_PASS -out signing.csr \
  -subj "/CN=Corvida Test Code Signing" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > signing.ext
openssl x509 -req -in signing.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out signing.pem -days 2 \
  -extfile signing.ext 2>/dev/null
openssl pkcs12 -export -in signing.pem -inkey signing.key -passin env:CV_TEST_PASS -certfile ca.pem \
  -passout env:CV_TEST_PASS -out signing.p12
chmod 600 signing.key signing.p12
rm -f ca.key ca.srl signing.csr signing.ext
