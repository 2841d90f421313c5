# The publisher's release key, built into a stub so that it accepts only signed configuration
# documents. The file must be the public key that `publish keygen` writes (release-key.pub): an ECDSA
# P-256 SubjectPublicKeyInfo in PEM. It is checked here, when the build is configured, so that a
# wrong file (the private key, an RSA key, another curve) stops the build with a clear message
# instead of making a stub that refuses every release.
#
# Also runs as a script, for the check's own test:
#   cmake -DCV_RELEASE_KEY=<file> -P cmake/release_key.cmake

# Every uncompressed P-256 SubjectPublicKeyInfo starts with these 27 bytes (the algorithm
# ecPublicKey, the curve prime256v1, the bit string's header and the point's 04), which are these 36
# base64 characters; the 64 bytes of the point follow, 124 characters in all.
set(CV_P256_SPKI_BASE64_PREFIX "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE")

# cv_release_key_base64(<variable that names the setting> <file> <result variable>) sets the result
# to the base64 body of the key's PEM block, or stops with a message that names the setting.
function(cv_release_key_base64 setting path out)
  set(prefix "${setting}: ${path}")
  if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
    message(FATAL_ERROR "${prefix} is not a file; give the release-key.pub that `publish keygen` wrote")
  endif()
  file(READ "${path}" pem)
  string(REPLACE "\r" "" pem "${pem}")
  string(STRIP "${pem}" pem)
  if(pem MATCHES "PRIVATE KEY")
    message(FATAL_ERROR "${prefix} is a private key; give the public key (release-key.pub), and keep the "
                        "private key off the build machine")
  endif()
  if(NOT pem MATCHES "^-----BEGIN PUBLIC KEY-----\n(.*)\n-----END PUBLIC KEY-----$")
    message(FATAL_ERROR "${prefix} is not a PEM public key (a \"-----BEGIN PUBLIC KEY-----\" block)")
  endif()
  string(REPLACE "\n" "" body "${CMAKE_MATCH_1}")
  string(LENGTH "${body}" length)
  string(SUBSTRING "${body}" 0 36 start)
  # The same key with its point written compressed (02 or 03 and X only) is 59 bytes.
  if(body MATCHES "^MDkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDIgA")
    message(FATAL_ERROR "${prefix} holds its P-256 point compressed; write it uncompressed "
                        "(openssl ec -pubin -in <key> -conv_form uncompressed -pubout)")
  endif()
  if(NOT start STREQUAL "${CV_P256_SPKI_BASE64_PREFIX}")
    message(FATAL_ERROR "${prefix} is not an ECDSA P-256 public key (another algorithm, such as RSA, "
                        "or another curve)")
  endif()
  # The last group holds one byte: two characters, the second with its low four bits zero, and "==".
  if(NOT length EQUAL 124 OR NOT body MATCHES "^[A-Za-z0-9+/]+[AQgw]==$")
    message(FATAL_ERROR "${prefix} is not an uncompressed P-256 key: its base64 body must be 124 "
                        "characters ending in \"==\", it has ${length}")
  endif()
  set(${out} "${body}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  cv_release_key_base64(CV_RELEASE_KEY "${CV_RELEASE_KEY}" body)
  message(STATUS "CV_RELEASE_KEY: an ECDSA P-256 public key")
endif()
