// RFC 3339 dates and times, converted with the proleptic Gregorian calendar by day counts (days
// since 1970-01-01 of a civil date and back), so that no platform time function, time zone or
// locale takes part.
#include "src/utc_time.h"

namespace cv {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date, in 400-year eras of 146,097 days, with years taken from March
// so that the leap day ends a year. 32-bit arithmetic throughout: on the 32-bit stub, 64-bit
// division would bring in the compiler's helpers for it.
std::int32_t DaysFromCivil(std::int32_t year, std::int32_t month, std::int32_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int32_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int32_t yearOfEra = year - era * 400;
  const std::int32_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int32_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

template <typename Char>
class Reader {
 public:
  explicit Reader(std::basic_string_view<Char> text) : text_(text) {}

  // `count` decimal digits as a number; -1 when they are not there.
  int Digits(std::size_t count) {
    int value = 0;
    for (std::size_t i = 0; i < count; ++i, ++at_) {
      if (at_ >= text_.size() || text_[at_] < '0' || text_[at_] > '9') return -1;
      value = value * 10 + static_cast<int>(text_[at_] - '0');
    }
    return value;
  }
  // True, and past it, when the next character is `c` (or, for a letter, its small form).
  bool Take(char c) {
    if (at_ >= text_.size()) return false;
    const Char next = text_[at_];
    if (next != static_cast<Char>(c) && !(c >= 'A' && c <= 'Z' && next == static_cast<Char>(c - 'A' + 'a'))) {
      return false;
    }
    ++at_;
    return true;
  }
  bool AtEnd() const { return at_ == text_.size(); }

 private:
  std::basic_string_view<Char> text_;
  std::size_t at_ = 0;
};

template <typename Char>
std::optional<std::int64_t> ParseRfc3339Of(std::basic_string_view<Char> text) {
  Reader<Char> in(text);
  const int year = in.Digits(4);
  if (year < 0 || !in.Take('-')) return std::nullopt;
  const int month = in.Digits(2);
  if (month < 1 || month > 12 || !in.Take('-')) return std::nullopt;
  const int day = in.Digits(2);
  if (day < 1 || day > DaysInMonth(year, month) || !in.Take('T')) return std::nullopt;
  const int hour = in.Digits(2);
  if (hour < 0 || hour > 23 || !in.Take(':')) return std::nullopt;
  const int minute = in.Digits(2);
  if (minute < 0 || minute > 59 || !in.Take(':')) return std::nullopt;
  const int second = in.Digits(2);
  if (second < 0 || second > 60) return std::nullopt;
  if (in.Take('.')) {
    if (in.Digits(1) < 0) return std::nullopt;
    while (in.Digits(1) >= 0) {
    }
  }
  std::int64_t offset = 0;
  if (!in.Take('Z')) {
    int sign = 0;
    if (in.Take('+')) sign = 1;
    else if (in.Take('-')) sign = -1;
    else return std::nullopt;
    const int offsetHours = in.Digits(2);
    if (offsetHours < 0 || offsetHours > 23 || !in.Take(':')) return std::nullopt;
    const int offsetMinutes = in.Digits(2);
    if (offsetMinutes < 0 || offsetMinutes > 59) return std::nullopt;
    offset = sign * (offsetHours * 3600 + offsetMinutes * 60);
  }
  if (!in.AtEnd()) return std::nullopt;
  // A leap second (60) is counted as the first second of the next minute.
  return static_cast<std::int64_t>(DaysFromCivil(year, month, day)) * kSecondsPerDay + hour * 3600 + minute * 60 +
         second - offset;
}

void AppendDigits(std::string& text, std::int32_t value, int width) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 || count < width);
  while (count > 0) text += digits[--count];
}

// Division rounded down, as calendar arithmetic needs for times before 1970.
std::int32_t FloorDivide(std::int32_t value, std::int32_t divisor) {
  return value / divisor - (value % divisor < 0 ? 1 : 0);
}

}  // namespace

std::optional<std::int64_t> ParseRfc3339(std::string_view text) { return ParseRfc3339Of(text); }
std::optional<std::int64_t> ParseRfc3339(std::wstring_view text) { return ParseRfc3339Of(text); }

std::string FormatRfc3339Utc(std::int64_t secondsSince1970) {
  constexpr std::int64_t kFirst = -62167219200;  // 0000-01-01T00:00:00Z
  constexpr std::int64_t kLast = 253402300799;   // 9999-12-31T23:59:59Z
  if (secondsSince1970 < kFirst) secondsSince1970 = kFirst;
  if (secondsSince1970 > kLast) secondsSince1970 = kLast;
  // 86,400 = 128 * 675: the shift keeps the quotient within 32 bits for years 0 to 9999.
  std::int32_t days = FloorDivide(static_cast<std::int32_t>(secondsSince1970 >> 7), 675);
  const auto seconds = static_cast<std::int32_t>(secondsSince1970 - static_cast<std::int64_t>(days) * kSecondsPerDay);
  // The civil date of a day count: the inverse of DaysFromCivil.
  days += 719468;
  const std::int32_t era = FloorDivide(days, 146097);
  const std::int32_t dayOfEra = days - era * 146097;
  const std::int32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int32_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const std::int32_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const std::int32_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  const std::int32_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

  std::string text;
  AppendDigits(text, year, 4);
  text += '-';
  AppendDigits(text, month, 2);
  text += '-';
  AppendDigits(text, day, 2);
  text += 'T';
  AppendDigits(text, seconds / 3600, 2);
  text += ':';
  AppendDigits(text, seconds / 60 % 60, 2);
  text += ':';
  AppendDigits(text, seconds % 60, 2);
  text += 'Z';
  return text;
}

}  // namespace cv
