// The growing buffer that a response body is read into: it starts at 10240 zeroed bytes, doubles
// whenever the next piece would not leave a zero byte after the body, and so always holds the body
// followed by at least one zero byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace cv {

class BodyBuffer {
 public:
  static constexpr std::size_t kInitialCapacity = 10240;
  // The body length is kept as an unsigned 32-bit count, so a body stops fitting one byte before
  // that count would overflow (the zero byte after it must fit too).
  static constexpr std::size_t kDefaultLimit = 0xFFFFFFFEu;

  // Allocates the first, zeroed block. `limit` is the largest body accepted.
  explicit BodyBuffer(std::size_t limit = kDefaultLimit);

  // Appends `count` bytes. Throws std::bad_alloc when memory runs out or the body would pass the
  // limit; the buffer then still holds what it held before.
  void Append(const char* bytes, std::size_t count);

  const char* data() const { return data_.get(); }
  std::uint32_t size() const { return static_cast<std::uint32_t>(size_); }
  std::size_t capacity() const { return capacity_; }

 private:
  std::size_t limit_;
  std::size_t size_ = 0;
  std::size_t capacity_;
  std::unique_ptr<char[]> data_;
};

}  // namespace cv
