// CollectMatches against std::wregex (ECMAScript, icase) doing the same extraction (first group of
// each successive match, repeats ignoring case dropped), for the HTTP client's six patterns over a
// 1 KiB header block, a 1 MiB HTML body closed at its end, and header blocks with 500 and 5 000
// Set-Cookie lines. Both sides' results are compared once before timing; a table of times and
// ratios is printed at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/ascii.h"
#include "http/patterns.h"
#include "pattern/pattern_matcher.h"

namespace {

struct PatternPair {
  const char* name;
  const wchar_t* ours;
  const wchar_t* ecmascript;
};

// Our "\n" is a lone CR, else an optional CR and an LF; our "." is any character.
const PatternPair kPatterns[] = {
    {"charset", cv::kCharsetPattern, L"charset=([A-Za-z0-9\\-_]+)"},
    {"content-length", cv::kContentLengthPattern, L"Content-Length: ([0-9]+)"},
    {"location", cv::kLocationPattern, L"(?:\\r|\\r?\\n)Location:[ \\t]*([\\s\\S]+?)(?:\\r|\\r?\\n)"},
    {"set-cookie", cv::kSetCookiePattern, L"Set-Cookie:[ \\t]*([\\s\\S]+?)(?:\\r|\\r?\\n)"},
    {"html-open", cv::kHtmlOpenPattern, L"(<html>)"},
    {"html-close", cv::kHtmlClosePattern, L"(</html>)"},
};

std::wstring HeaderBlock(int cookies) {
  std::wstring text =
      L"HTTP/1.1 302 Found\r\nDate: Wed, 09 Dec 2026 05:39:32 GMT\r\nServer: Apache/2.4.57 (Debian)\r\n"
      L"Cache-Control: no-cache, no-store, must-revalidate\r\nPragma: no-cache\r\n"
      L"Expires: Thu, 01 Jan 1970 00:00:00 GMT\r\nContent-Type: text/html; charset=UTF-8\r\n"
      L"Content-Length: 18234\r\nContent-Location: /download/index.en.html\r\n"
      L"Location: https://www.corvida.com/download/?v=3.2.1&lang=en\r\n"
      L"Vary: Accept-Encoding, User-Agent\r\nX-Frame-Options: SAMEORIGIN\r\n"
      L"Strict-Transport-Security: max-age=31536000; includeSubDomains\r\n";
  for (int i = 0; i < cookies; ++i) {
    text += L"Set-Cookie: session" + std::to_wstring(i) + L"=a81f0c3e; Path=/; HttpOnly\r\n";
  }
  return text + L"Connection: close\r\n\r\n";
}

std::wstring SmallHeaderBlock() {
  std::wstring text = HeaderBlock(3);
  while (text.size() < 1024) text.insert(text.size() - 2, L"X-Padding: 0123456789abcdef0123456789abcdef\r\n");
  return text;
}

std::wstring HtmlBody() {
  std::wstring text = L"<!DOCTYPE html>\n<html lang=\"en\">\n<HTML>\n<head><title>Corvida</title></head>\n<body>\n";
  const std::wstring line = L"<p class=\"row\">Corvida setup downloads the installer and checks it.</p>\n";
  while (text.size() + line.size() < (1u << 20) - 16) text += line;
  return text + L"</body></html>\n";
}

struct Input {
  const char* name;
  std::wstring text;
};

const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = {
      {"headers-1KiB", SmallHeaderBlock()},
      {"html-1MiB", HtmlBody()},
      {"cookies-500", HeaderBlock(500)},
      {"cookies-5000", HeaderBlock(5000)},
  };
  return inputs;
}

std::vector<std::wstring> RegexCollect(const std::wregex& regex, const std::wstring& text) {
  std::vector<std::wstring> results;
  std::unordered_set<std::wstring> seen;
  auto position = text.cbegin();
  std::wsmatch match;
  while (position != text.cend()) {
    const auto flags = position == text.cbegin() ? std::regex_constants::match_default
                                                 : std::regex_constants::match_prev_avail;
    if (!std::regex_search(position, text.cend(), match, regex, flags)) break;
    if (match[1].matched) {
      std::wstring value = match[1].str();
      std::wstring key = value;
      cv::LowerAsciiInPlace(key.data(), key.size());
      if (seen.insert(key).second) results.push_back(std::move(value));
    }
    position = match[0].second == position ? position + 1 : match[0].second;
  }
  return results;
}

std::wregex Regex(const PatternPair& pattern) {
  return std::wregex(pattern.ecmascript, std::regex_constants::ECMAScript | std::regex_constants::icase);
}

void BM_Ours(benchmark::State& state, const PatternPair* pattern, const Input* input) {
  std::vector<std::wstring> results;
  for (auto _ : state) {
    cv::CollectMatches(pattern->ours, input->text, results);
    benchmark::DoNotOptimize(results.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * input->text.size() * sizeof(wchar_t));
}

void BM_Regex(benchmark::State& state, const PatternPair* pattern, const Input* input) {
  const std::wregex regex = Regex(*pattern);
  for (auto _ : state) {
    std::vector<std::wstring> results = RegexCollect(regex, input->text);
    benchmark::DoNotOptimize(results.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * input->text.size() * sizeof(wchar_t));
}

// Keeps each benchmark's least CPU time per iteration over its repetitions (other processes on the
// machine skew wall time and single runs) for the closing table.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const auto [entry, added] = times_.emplace(run.run_name.function_name, run.GetAdjustedCPUTime());
      if (!added) entry->second = std::min(entry->second, run.GetAdjustedCPUTime());
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintTable() const {
    std::printf("\n%-15s %-13s %14s %14s %9s\n", "pattern", "input", "ours (us)", "wregex (us)", "wregex/ours");
    for (const PatternPair& pattern : kPatterns) {
      for (const Input& input : Inputs()) {
        const double ours = Time("ours", pattern, input);
        const double regex = Time("wregex", pattern, input);
        if (ours <= 0 || regex <= 0) continue;
        std::printf("%-15s %-13s %14.1f %14.1f %9.1f\n", pattern.name, input.name, ours, regex,
                    regex / ours);
      }
    }
    std::printf("\n%-15s %s\n", "pattern", "ours: cookies-5000 / cookies-500 (10x the lines)");
    for (const PatternPair& pattern : kPatterns) {
      const double big = Time("ours", pattern, Inputs()[3]);
      const double small = Time("ours", pattern, Inputs()[2]);
      if (big > 0 && small > 0) std::printf("%-15s %.2f\n", pattern.name, big / small);
    }
  }

 private:
  double Time(const char* side, const PatternPair& pattern, const Input& input) const {
    const auto found = times_.find(std::string(side) + "/" + pattern.name + "/" + input.name);
    return found == times_.end() ? -1 : found->second;  // microseconds per iteration
  }

  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  for (const PatternPair& pattern : kPatterns) {
    const std::wregex regex = Regex(pattern);
    for (const Input& input : Inputs()) {
      std::vector<std::wstring> ours;
      cv::CollectMatches(pattern.ours, input.text, ours);
      if (ours != RegexCollect(regex, input.text)) {
        std::fprintf(stderr, "results differ: %s on %s\n", pattern.name, input.name);
        return 1;
      }
    }
    for (const Input& input : Inputs()) {
      for (const char* side : {"ours", "wregex"}) {
        const std::string name = std::string(side) + "/" + pattern.name + "/" + input.name;
        auto* run = side[0] == 'o' ? &BM_Ours : &BM_Regex;
        benchmark::RegisterBenchmark(name.c_str(), run, &pattern, &input)->Unit(benchmark::kMicrosecond);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable();
  benchmark::Shutdown();
  return 0;
}
