// The growable array behind a compiled program and the matcher's backtracking stack: zero-filled
// storage that grows by half its capacity (or to the size asked for, if larger), never throws, and
// reports a failed growth so the caller can end cleanly.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

namespace cv {

template <typename T>
class GrowableArray {
  static_assert(std::is_trivially_copyable_v<T>, "elements are copied as bytes");

 public:
  // `maxSize` bounds the array; growing beyond it fails like a failed allocation.
  explicit GrowableArray(std::size_t maxSize = static_cast<std::size_t>(-1) / sizeof(T))
      : maxSize_(maxSize) {}
  GrowableArray(const GrowableArray&) = delete;
  GrowableArray& operator=(const GrowableArray&) = delete;

  // Sets the length; growing zero-fills the new elements. False (and unchanged) when storage
  // cannot be had. Shrinking keeps the storage, except that length 0 releases it.
  bool Resize(std::size_t size) {
    if (size == 0) {
      storage_.reset();
      size_ = capacity_ = 0;
      return true;
    }
    if (size > capacity_ && !Reserve(size)) return false;
    if (size > size_) std::memset(static_cast<void*>(storage_.get() + size_), 0, (size - size_) * sizeof(T));
    size_ = size;
    return true;
  }

  bool Append(const T& value) {
    if (!Resize(size_ + 1)) return false;
    storage_[size_ - 1] = value;
    return true;
  }

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  T* data() { return storage_.get(); }
  const T* data() const { return storage_.get(); }
  T& operator[](std::size_t i) { return storage_[i]; }
  const T& operator[](std::size_t i) const { return storage_[i]; }

 private:
  bool Reserve(std::size_t needed) {
    if (needed > maxSize_) return false;
    std::size_t capacity = needed;
    if (capacity_ != 0) {
      const std::size_t step = std::max(capacity_ / 2, needed - capacity_);
      capacity = std::max(needed, capacity_ + std::min(step, maxSize_ - capacity_));
    }
    std::unique_ptr<T[]> storage(new (std::nothrow) T[capacity]());
    if (!storage) return false;
    if (size_ != 0) std::memcpy(static_cast<void*>(storage.get()), storage_.get(), size_ * sizeof(T));
    storage_ = std::move(storage);
    capacity_ = capacity;
    return true;
  }

  std::unique_ptr<T[]> storage_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t maxSize_;
};

}  // namespace cv
