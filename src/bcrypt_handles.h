// Owners of CNG (bcrypt) objects: an algorithm provider, a key and a hash. Each releases what it holds
// when it ends and cannot be copied; built on the owner template of the other Windows handles.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include "src/win_handles.h"

namespace cv {

struct BcryptAlgorithmTraits {
  using Value = BCRYPT_ALG_HANDLE;
  static Value Invalid() { return nullptr; }
  static bool IsValid(Value h) { return h != nullptr; }
  static void Close(Value h) { BCryptCloseAlgorithmProvider(h, 0); }
};

struct BcryptKeyTraits {
  using Value = BCRYPT_KEY_HANDLE;
  static Value Invalid() { return nullptr; }
  static bool IsValid(Value h) { return h != nullptr; }
  static void Close(Value h) { BCryptDestroyKey(h); }
};

struct BcryptHashTraits {
  using Value = BCRYPT_HASH_HANDLE;
  static Value Invalid() { return nullptr; }
  static bool IsValid(Value h) { return h != nullptr; }
  static void Close(Value h) { BCryptDestroyHash(h); }
};

using BcryptAlgorithm = UniqueResource<BcryptAlgorithmTraits>;
using BcryptKey = UniqueResource<BcryptKeyTraits>;
using BcryptHash = UniqueResource<BcryptHashTraits>;

}  // namespace cv
