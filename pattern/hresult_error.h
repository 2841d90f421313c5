// An exception that carries a Windows HRESULT, for the pattern matcher's internal consistency checks
// and misuse. Portable: the HRESULT values are spelled out here instead of coming from windows.h.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace cv {

inline constexpr std::int32_t kEOutOfMemory = static_cast<std::int32_t>(0x8007000Eu);
inline constexpr std::int32_t kEInvalidArg = static_cast<std::int32_t>(0x80070057u);
inline constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);

class HResultError : public std::runtime_error {
 public:
  explicit HResultError(std::int32_t hresult);
  std::int32_t hresult() const { return hresult_; }

 private:
  std::int32_t hresult_;
};

}  // namespace cv
