// The installer transfer's rules: what an answer's header block says about the file (its length,
// the part sent, the validator a resumption is guarded by), whether a transfer that broke may go on
// from where it stopped, the request headers of a resumption, the pause before it, and its WARNING
// line. Plain functions over values; the transfer itself is in download_win.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cv {

// What the stub takes from one answer to an installer request.
struct ResponseFacts {
  std::uint32_t status = 0;
  std::optional<std::uint64_t> contentLength;  // the body's length, when the answer states one
  // "Content-Range: bytes <first>-<last>/<complete>" of a partial answer; the complete length may
  // be unknown ("*").
  std::optional<std::uint64_t> rangeFirst;
  std::optional<std::uint64_t> rangeComplete;
  // What a resumption's If-Range carries: the strong ETag, else the Last-Modified date (a weak ETag
  // cannot guard a range); empty when the answer has neither.
  std::wstring validator;
  bool rangesRefused = false;  // "Accept-Ranges: none"
};

// The facts of an answer with this status code and this raw header block (lines ending in CR LF,
// header names in any letter case).
ResponseFacts ReadResponseFacts(std::uint32_t status, std::wstring_view headers);

// Where the body of an answer goes: after the bytes already held (the partial answer continues them
// exactly), or in their place from the start of the file (a whole file: the server ignored the range
// or the file changed on it, or any other answer, which the final check then judges).
enum class BodyPlace { Append, FromStart };
BodyPlace PlaceOfBody(const ResponseFacts& facts, std::uint64_t offset);

// The length of the whole file as the answer states it, for a body placed at `bodyStart`; empty
// when the answer does not say.
std::optional<std::uint64_t> CompleteLength(const ResponseFacts& facts, std::uint64_t bodyStart);

// True when a request for the rest of the file from `offset` can be guarded: the first answer named
// a validator and did not refuse ranges. Without one, a resumption fetches the whole file again.
bool CanAskForRest(const ResponseFacts& firstAnswer);

// The extra request lines of a resumption from `offset` guarded by `validator`: a changed file is
// then sent whole rather than continued.
std::wstring ResumeRequestHeaders(std::uint64_t offset, std::wstring_view validator);

// How a transfer ended that did not bring the whole file.
enum class BreakReason {
  ClosedEarly,  // the body ended before its stated length
  Stalled,      // no byte for the stall limit
  Failed,       // the platform reported the transfer failed
};

// A broken transfer goes on at most this many times in one run, after a pause that doubles from one
// second (1, 2, 4, 8, 16 s: 31 s in all); then the download fails.
constexpr int kMaxResumptions = 5;
unsigned ResumePauseSeconds(int resumption);  // resumption counts from 1

// The WARNING line of the `resumption`th resumption: where the transfer broke, why, and where it
// goes on. `total` is the file's length when known; `fromStart` when the whole file is fetched again.
std::string ResumeLine(std::uint64_t received, std::optional<std::uint64_t> total, BreakReason reason,
                       std::optional<std::uint32_t> platformResult, bool fromStart, int resumption);

}  // namespace cv
