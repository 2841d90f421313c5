// Owners of Windows resources, shared by the run, the HTTP client and the test programs: kernel
// handles, WinHTTP handles, CNG (bcrypt) providers, keys and hashes, strings and memory the
// platform allocates with GlobalAlloc and LocalAlloc, COM initialisation and COM interface pointers.
// Each releases what it holds when it ends; none can be copied. Releasing keeps the thread's
// last-error number intact, so a failure can be logged after its handles have gone.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <winhttp.h>
#include <bcrypt.h>

#include <utility>

namespace cv {

template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  UniqueResource() = default;
  explicit UniqueResource(Value value) : value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Value get() const { return value_; }
  bool valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return valid(); }

  Value release() { return std::exchange(value_, Traits::Invalid()); }

  void reset(Value value = Traits::Invalid()) {
    const Value old = std::exchange(value_, value);
    if (Traits::IsValid(old)) {
      const DWORD error = GetLastError();
      Traits::Close(old);
      SetLastError(error);
    }
  }

 private:
  Value value_ = Traits::Invalid();
};

struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return nullptr; }
  // Some calls report failure with null, others with INVALID_HANDLE_VALUE; neither is owned.
  static bool IsValid(Value h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Value h) { CloseHandle(h); }
};

struct WinHttpHandleTraits {
  using Value = HINTERNET;
  static Value Invalid() { return nullptr; }
  static bool IsValid(Value h) { return h != nullptr; }
  static void Close(Value h) { WinHttpCloseHandle(h); }
};

struct GlobalStringTraits {
  using Value = LPWSTR;
  static Value Invalid() { return nullptr; }
  static bool IsValid(Value s) { return s != nullptr; }
  static void Close(Value s) { GlobalFree(s); }
};

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

// Memory the platform hands out with LocalAlloc, such as a security descriptor it built.
struct LocalMemoryTraits {
  using Value = HLOCAL;
  static Value Invalid() { return nullptr; }
  static bool IsValid(Value p) { return p != nullptr; }
  static void Close(Value p) { LocalFree(p); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using LocalMemory = UniqueResource<LocalMemoryTraits>;
using WinHttpHandle = UniqueResource<WinHttpHandleTraits>;
using GlobalString = UniqueResource<GlobalStringTraits>;

// COM for the calling thread, single-threaded apartment, for as long as the object lives.
class ComInit {
 public:
  ComInit() : result_(CoInitialize(nullptr)) {}
  ~ComInit() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// A COM interface pointer that is released when the owner ends.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // Address for an out-argument; whatever was held is released first.
  T** put() {
    reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->Release();
  }

 private:
  T* ptr_ = nullptr;
};

}  // namespace cv
