// What the HTTP client reads out of a received response with the stub's patterns: the values of the
// raw header block and the completeness check of an HTML page.
#pragma once

#include <cstdint>
#include <string>

namespace cv {

// The response members that the header block sets. Each keeps its value when the headers do not
// carry it; `responseCookies` only ever grows.
struct HeaderValues {
  std::wstring responseCharset;
  std::uint32_t contentLength = 0;
  std::wstring location;
  std::wstring responseCookies;
};

// Takes charset (unless `charsetFixed`), Content-Length, Location and Set-Cookie out of `headers`,
// in that order.
void TakeHeaderValues(const std::wstring& headers, bool charsetFixed, HeaderValues& values);

// False when `text` holds an opening html tag and no closing one (letter case ignored): a page cut
// short in transit. Anything that is not HTML is complete.
bool IsCompleteResponse(const std::wstring& text);

}  // namespace cv
