// The installer transfer's rules: what an answer's headers say, where its body goes, whether and how
// a broken transfer goes on, and the lines it writes.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "src/transfer.h"

namespace cv {
namespace {

constexpr std::uint64_t kNone = ~0ull;  // a column left empty

struct FactsCase {
  const char* name;
  std::uint32_t status;
  const wchar_t* headers;
  std::uint64_t contentLength, rangeFirst, rangeComplete;
  const wchar_t* validator;
  bool rangesRefused;
};

std::optional<std::uint64_t> Column(std::uint64_t value) {
  return value == kNone ? std::nullopt : std::optional<std::uint64_t>(value);
}

TEST(ResponseFacts, AreReadFromTheHeaderBlock) {
  const FactsCase cases[] = {
      {"whole file, strong ETag wins over the date", 200,
       L"HTTP/1.1 200 OK\r\nContent-Length: 134217728\r\nETag: \"v1\"\r\nLast-Modified: Wed, 01 Jan 2025 "
       L"00:00:00 GMT\r\n\r\n",
       134217728, kNone, kNone, L"\"v1\"", false},
      {"names in any case, weak ETag gives way to the date", 200,
       L"HTTP/1.1 200 OK\r\ncontent-length:  7 \r\netag: W/\"v1\"\r\nlast-modified: Tue, 02 Jan 2024 "
       L"10:00:00 GMT\r\naccept-ranges: None\r\n\r\n",
       7, kNone, kNone, L"Tue, 02 Jan 2024 10:00:00 GMT", true},
      {"partial answer", 206,
       L"HTTP/1.1 206 Partial Content\r\nContent-Length: 100\r\nContent-Range: bytes 5000000000-5000000099/"
       L"5000000100\r\n\r\n",
       100, 5000000000ull, 5000000100ull, L"", false},
      {"complete length unknown", 206, L"Content-Range: bytes 10-19/*\r\n", kNone, 10, kNone, L"", false},
      {"malformed range and length", 206,
       L"Content-Length: 12x\r\nContent-Range: bytes 20-10/100\r\n", kNone, kNone, kNone, L"", false},
      {"a range past its complete length", 206, L"Content-Range: bytes 0-99/50\r\n", kNone, kNone, kNone, L"",
       false},
      {"a length beyond 64 bits", 200, L"Content-Length: 99999999999999999999\r\n", kNone, kNone, kNone, L"",
       false},
      {"a validator with a control character is not sent back", 200, L"ETag: \"a\x01b\"\r\n", kNone, kNone,
       kNone, L"", false},
      {"no headers at all", 200, L"", kNone, kNone, kNone, L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ResponseFacts facts = ReadResponseFacts(c.status, c.headers);
    EXPECT_EQ(facts.status, c.status);
    EXPECT_EQ(facts.contentLength, Column(c.contentLength));
    EXPECT_EQ(facts.rangeFirst, Column(c.rangeFirst));
    EXPECT_EQ(facts.rangeComplete, Column(c.rangeComplete));
    EXPECT_EQ(facts.validator, c.validator);
    EXPECT_EQ(facts.rangesRefused, c.rangesRefused);
  }
}

TEST(ResponseFacts, PlaceTheBodyAndStateTheWholeLength) {
  struct Case {
    const char* name;
    std::uint32_t status;
    const wchar_t* headers;
    std::uint64_t offset;
    BodyPlace place;
    std::uint64_t complete;
  };
  const Case cases[] = {
      {"the rest asked for", 206, L"Content-Range: bytes 300-999/1000\r\nContent-Length: 700\r\n", 300,
       BodyPlace::Append, 1000},
      {"the rest, complete length unknown", 206, L"Content-Range: bytes 300-999/*\r\nContent-Length: 700\r\n", 300,
       BodyPlace::Append, 1000},
      {"a range from elsewhere", 206, L"Content-Range: bytes 200-999/1000\r\n", 300, BodyPlace::FromStart, 1000},
      {"the whole file again (no ranges, or a changed file)", 200, L"Content-Length: 1200\r\n", 300,
       BodyPlace::FromStart, 1200},
      {"an error page", 404, L"Content-Length: 50\r\n", 300, BodyPlace::FromStart, 50},
      {"no length at all", 200, L"", 0, BodyPlace::FromStart, kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ResponseFacts facts = ReadResponseFacts(c.status, c.headers);
    const BodyPlace place = PlaceOfBody(facts, c.offset);
    EXPECT_EQ(place, c.place);
    EXPECT_EQ(CompleteLength(facts, place == BodyPlace::Append ? c.offset : 0), Column(c.complete));
  }
}

TEST(Resumption, AsksForTheRestOnlyWithAValidatorAndWithoutARefusal) {
  EXPECT_TRUE(CanAskForRest(ReadResponseFacts(200, L"ETag: \"x\"\r\n")));
  EXPECT_TRUE(CanAskForRest(ReadResponseFacts(200, L"Last-Modified: Wed, 01 Jan 2025 00:00:00 GMT\r\n")));
  EXPECT_FALSE(CanAskForRest(ReadResponseFacts(200, L"Content-Length: 5\r\n")));
  EXPECT_FALSE(CanAskForRest(ReadResponseFacts(200, L"ETag: \"x\"\r\nAccept-Ranges: none\r\n")));
  EXPECT_EQ(ResumeRequestHeaders(33554432, L"\"v1\""), L"Range: bytes=33554432-\r\nIf-Range: \"v1\"\r\n");
}

TEST(Resumption, PausesGrowAndStayWithinTheirSum) {
  unsigned sum = 0;
  for (int resumption = 1; resumption <= kMaxResumptions; ++resumption) {
    EXPECT_EQ(ResumePauseSeconds(resumption), 1u << (resumption - 1));
    sum += ResumePauseSeconds(resumption);
  }
  EXPECT_EQ(sum, 31u);
  EXPECT_EQ(ResumePauseSeconds(kMaxResumptions + 3), ResumePauseSeconds(kMaxResumptions));
}

TEST(Resumption, LineSaysWhereWhyAndHow) {
  EXPECT_EQ(ResumeLine(33554432, 134217728, BreakReason::ClosedEarly, std::nullopt, false, 1),
            "Installer download broken at byte 33554432 of 134217728 (the connection closed early): resuming at "
            "byte 33554432 in 1 s, resumption 1 of 5");
  EXPECT_EQ(ResumeLine(1048576, std::nullopt, BreakReason::Stalled, std::nullopt, true, 3),
            "Installer download broken at byte 1048576 (no data for 30 s): downloading it again from the start in "
            "4 s, resumption 3 of 5");
  EXPECT_EQ(ResumeLine(5, 10, BreakReason::Failed, 0x800C0008u, false, 5),
            "Installer download broken at byte 5 of 10 (transfer failed with 0x800C0008): resuming at byte 5 in "
            "16 s, resumption 5 of 5");
}

}  // namespace
}  // namespace cv
