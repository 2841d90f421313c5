// Growth of the response body buffer by doubling, keeping a zero byte after the body.
#include "http/body_buffer.h"

#include <cstring>
#include <new>

namespace cv {

BodyBuffer::BodyBuffer(std::size_t limit)
    : limit_(limit), capacity_(kInitialCapacity), data_(new char[kInitialCapacity]()) {}

void BodyBuffer::Append(const char* bytes, std::size_t count) {
  if (count == 0) return;
  if (count > limit_ - size_) throw std::bad_alloc();
  const std::size_t needed = size_ + count + 1;  // the body and its closing zero byte
  if (needed > capacity_) {
    std::size_t capacity = capacity_;
    while (capacity < needed) {
      if (capacity > SIZE_MAX / 2) throw std::bad_alloc();
      capacity *= 2;
    }
    std::unique_ptr<char[]> grown(new char[capacity]());
    std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  std::memcpy(data_.get() + size_, bytes, count);
  size_ += count;
}

}  // namespace cv
