// The installer transfer's header facts, resumption decisions and lines.
#include "src/transfer.h"

#include "base/ascii.h"
#include "src/download.h"

namespace cv {
namespace {

std::wstring_view Trim(std::wstring_view text) {
  while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t' || text.back() == L'\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// The decimal number at the start of `text`, moving past it; empty when there is none or it does
// not fit 64 bits.
std::optional<std::uint64_t> TakeNumber(std::wstring_view& text) {
  std::uint64_t value = 0;
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9') {
    const std::uint64_t digit = static_cast<std::uint64_t>(text[digits] - L'0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  return value;
}

std::optional<std::uint64_t> WholeNumber(std::wstring_view text) {
  auto value = TakeNumber(text);
  return value && text.empty() ? value : std::nullopt;
}

// "bytes <first>-<last>/<complete or *>".
void ReadContentRange(std::wstring_view value, ResponseFacts& facts) {
  if (!StartsWithNoCase(value, L"bytes ")) return;
  value = Trim(value.substr(6));
  const auto first = TakeNumber(value);
  if (!first || value.empty() || value.front() != L'-') return;
  value.remove_prefix(1);
  const auto last = TakeNumber(value);
  if (!last || *last < *first || value.empty() || value.front() != L'/') return;
  value.remove_prefix(1);
  if (value != L"*") {
    const auto complete = WholeNumber(value);
    if (!complete || *complete <= *last) return;
    facts.rangeComplete = complete;
  }
  facts.rangeFirst = first;
}

}  // namespace

ResponseFacts ReadResponseFacts(std::uint32_t status, std::wstring_view headers) {
  ResponseFacts facts;
  facts.status = status;
  std::wstring etag, lastModified;
  while (!headers.empty()) {
    const std::size_t end = headers.find(L'\n');
    const std::wstring_view line = headers.substr(0, end);
    headers.remove_prefix(end == std::wstring_view::npos ? headers.size() : end + 1);
    const std::size_t colon = line.find(L':');
    if (colon == std::wstring_view::npos) continue;  // the status line, the closing blank line
    const std::wstring_view name = Trim(line.substr(0, colon));
    const std::wstring_view value = Trim(line.substr(colon + 1));
    if (EqualsNoCase(name, L"Content-Length")) {
      facts.contentLength = WholeNumber(value);
    } else if (EqualsNoCase(name, L"Content-Range")) {
      ReadContentRange(value, facts);
    } else if (EqualsNoCase(name, L"ETag")) {
      etag = value;
    } else if (EqualsNoCase(name, L"Last-Modified")) {
      lastModified = value;
    } else if (EqualsNoCase(name, L"Accept-Ranges")) {
      facts.rangesRefused = EqualsNoCase(value, L"none");
    }
  }
  // A validator goes back to the server inside a header line: one holding a control character could
  // add lines of its own, so it is not used.
  const auto usable = [](const std::wstring& text) {
    for (const wchar_t c : text) {
      if (CodeOf(c) < 0x20 || CodeOf(c) == 0x7F) return false;
    }
    return !text.empty();
  };
  const bool strongEtag = usable(etag) && etag.front() == L'"';
  facts.validator = strongEtag ? etag : usable(lastModified) ? lastModified : std::wstring();
  return facts;
}

BodyPlace PlaceOfBody(const ResponseFacts& facts, std::uint64_t offset) {
  return facts.status == 206 && facts.rangeFirst == offset ? BodyPlace::Append : BodyPlace::FromStart;
}

std::optional<std::uint64_t> CompleteLength(const ResponseFacts& facts, std::uint64_t bodyStart) {
  if (facts.status == 206 && facts.rangeFirst) {
    if (facts.rangeComplete) return facts.rangeComplete;
    if (facts.contentLength) return bodyStart + *facts.contentLength;
    return std::nullopt;
  }
  return facts.contentLength;
}

bool CanAskForRest(const ResponseFacts& firstAnswer) {
  return !firstAnswer.validator.empty() && !firstAnswer.rangesRefused;
}

std::wstring ResumeRequestHeaders(std::uint64_t offset, std::wstring_view validator) {
  const std::string digits = std::to_string(offset);
  std::wstring lines = L"Range: bytes=";
  lines.append(digits.begin(), digits.end());
  lines += L"-\r\nIf-Range: ";
  lines += validator;
  lines += L"\r\n";
  return lines;
}

unsigned ResumePauseSeconds(int resumption) {
  return resumption < 1 ? 0u : 1u << (resumption > kMaxResumptions ? kMaxResumptions - 1 : resumption - 1);
}

std::string ResumeLine(std::uint64_t received, std::optional<std::uint64_t> total, BreakReason reason,
                       std::optional<std::uint32_t> platformResult, bool fromStart, int resumption) {
  std::string line = "Installer download broken at byte " + std::to_string(received);
  if (total) line += " of " + std::to_string(*total);
  switch (reason) {
    case BreakReason::ClosedEarly: line += " (the connection closed early)"; break;
    case BreakReason::Stalled: line += " (no data for " + std::to_string(kStallLimitSeconds) + " s)"; break;
    case BreakReason::Failed: {
      // Hex digits by hand: the runtime's formatted printing would add to the stub's size.
      std::string code = "0x";
      const std::uint32_t value = platformResult.value_or(0);
      for (int shift = 28; shift >= 0; shift -= 4) code.push_back("0123456789ABCDEF"[(value >> shift) & 0xF]);
      line += " (transfer failed with " + code + ")";
      break;
    }
  }
  line += fromStart ? ": downloading it again from the start" : ": resuming at byte " + std::to_string(received);
  line += " in " + std::to_string(ResumePauseSeconds(resumption)) + " s, resumption " + std::to_string(resumption) +
          " of " + std::to_string(kMaxResumptions);
  return line;
}

}  // namespace cv
