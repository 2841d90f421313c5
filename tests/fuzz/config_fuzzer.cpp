// Parses arbitrary texts as the configuration document and reads its members the way the run does.
// None may crash, hang or read outside memory; a read gives either a value that the run can use or a
// code 3 failure whose log line carries no raw control character.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "log/log_text.h"
#include "src/config.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

bool HasControl(const std::string& line) {
  for (const char c : line) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7F) return true;
  }
  return false;
}

// True when the read succeeded; a failure must be a well-formed code 3 line.
bool Succeeded(const cv::StageResult& failure) {
  if (!failure) return true;
  if (failure->code != cv::FailureCode::ConfigParseFailed) Fail("a document failure other than code 3");
  if (failure->logLine.rfind("Error parsing file. Error: ", 0) != 0) Fail("a code 3 line of another form");
  if (HasControl(failure->logLine)) Fail("a raw control character in a log line");
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = cv::fuzz::WideText(data, size);
  cv::WrapperConfig config;
  if (!Succeeded(cv::ParseConfig(text, config))) return 0;

  bool shortcut = false;
  std::uint32_t checksum = 0;
  std::wstring wrapper, version, any;
  Succeeded(cv::ReadBoolMember(config, "shortcut", shortcut));
  Succeeded(cv::ReadUint32Member(config, "checksum", checksum));
  Succeeded(cv::ReadTextMember(config, "a", any));
  if (Succeeded(cv::ReadWrapperMember(config, wrapper)) && cv::WrapperAddressProblem(wrapper)) {
    Fail("an unusable wrapper address read as usable");
  }
  if (Succeeded(cv::ReadVersionMember(config, version)) && cv::VersionTextProblem(version)) {
    Fail("an unusable version read as usable");
  }
  // The texts as they enter log lines.
  for (const std::wstring* member : {&wrapper, &version, &any}) {
    if (HasControl(cv::Narrow(*member))) Fail("a raw control character in a narrowed text");
  }
  return 0;
}
