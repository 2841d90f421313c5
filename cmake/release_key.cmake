# The publisher's release keys, built into a stub so that it accepts only signed configuration
# documents. The file holds the public key that `publish keygen` writes (release-key.pub): an ECDSA
# P-256 SubjectPublicKeyInfo in PEM; during a key rotation it holds several such blocks one after
# another (the old key and the new), and the stub takes a document signed by any of them. It is
# checked here, when the build is configured, so that a wrong file (the private key, an RSA key,
# another curve) stops the build with a clear message instead of making a stub that refuses every
# release.
#
# Also runs as a script, for the check's own test:
#   cmake -DCV_RELEASE_KEY=<file> -P cmake/release_key.cmake

# Every uncompressed P-256 SubjectPublicKeyInfo starts with these 27 bytes (the algorithm
# ecPublicKey, the curve prime256v1, the bit string's header and the point's 04), which are these 36
# base64 characters; the 64 bytes of the point follow, 124 characters in all.
set(CV_P256_SPKI_BASE64_PREFIX "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE")

# cv_release_keys_pem(<variable that names the setting> <file> <result variable>) sets the result
# to the file's keys as PEM text with "\n" escapes (for a C string literal), each block checked, or
# stops with a message that names the setting (and the block, when there are several).
function(cv_release_keys_pem setting path out)
  set(prefix "${setting}: ${path}")
  if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
    message(FATAL_ERROR "${prefix} is not a file; give the release-key.pub that `publish keygen` wrote")
  endif()
  file(READ "${path}" pem)
  string(REPLACE "\r" "" pem "${pem}")
  if(pem MATCHES "PRIVATE KEY")
    message(FATAL_ERROR "${prefix} is a private key; give the public key (release-key.pub), and keep the "
                        "private key off the build machine")
  endif()
  # One block per key: the text up to each end marker; a rest other than white space is one more.
  set(blocks "")
  set(end_marker "-----END PUBLIC KEY-----")
  string(LENGTH "${end_marker}" end_length)
  string(FIND "${pem}" "${end_marker}" end)
  while(NOT end EQUAL -1)
    math(EXPR end "${end} + ${end_length}")
    string(SUBSTRING "${pem}" 0 ${end} block)
    string(SUBSTRING "${pem}" ${end} -1 pem)
    list(APPEND blocks "${block}")
    string(FIND "${pem}" "${end_marker}" end)
  endwhile()
  string(STRIP "${pem}" rest)
  if(blocks STREQUAL "" OR NOT rest STREQUAL "")
    list(APPEND blocks "${rest}")
  endif()
  list(LENGTH blocks count)
  set(text "")
  set(index 0)
  foreach(block IN LISTS blocks)
    math(EXPR index "${index} + 1")
    if(count GREATER 1)
      set(where "${prefix}, key ${index} of ${count},")
    else()
      set(where "${prefix}")
    endif()
    cv_release_key_base64("${where}" "${block}" body)
    string(APPEND text "-----BEGIN PUBLIC KEY-----\\n${body}\\n-----END PUBLIC KEY-----\\n")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# cv_release_key_base64(<prefix of messages> <one PEM block> <result variable>) sets the result to
# the base64 body of the block, or stops with a message that starts with the prefix.
function(cv_release_key_base64 prefix pem out)
  string(STRIP "${pem}" pem)
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
  cv_release_keys_pem(CV_RELEASE_KEY "${CV_RELEASE_KEY}" keys)
  string(REGEX MATCHALL "BEGIN" blocks "${keys}")
  list(LENGTH blocks count)
  message(STATUS "CV_RELEASE_KEY: ${count} ECDSA P-256 public key(s)")
endif()
