// HResultError: the HRESULT in the message as the platform prints it (eight hex digits).
#include "pattern/hresult_error.h"

#include <cstdio>
#include <string>

namespace cv {
namespace {

std::string Describe(std::int32_t hresult) {
  char text[40];
  std::snprintf(text, sizeof text, "HRESULT 0x%08X", static_cast<unsigned>(hresult));
  return text;
}

}  // namespace

HResultError::HResultError(std::int32_t hresult) : std::runtime_error(Describe(hresult)), hresult_(hresult) {}

}  // namespace cv
