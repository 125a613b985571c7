#include "core/dates.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/calendar.h"
#include "core/quote.h"
#include "frame/abi.h"

namespace dmcore {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool digit(char c) { return c >= '0' && c <= '9'; }

// Reads a number of `fewest` to `most` digits at the front of `s`.
bool number(std::string_view& s, std::size_t fewest, std::size_t most, std::int64_t& out) {
  std::size_t n = 0;
  out = 0;
  while (n < s.size() && n < most && digit(s[n])) out = 10 * out + (s[n++] - '0');
  if (n < fewest || (n < s.size() && digit(s[n]))) return false;
  s.remove_prefix(n);
  return true;
}

bool take(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

// A two-digit field and its upper bound.
bool two_digits(std::string_view& s, std::int64_t below, std::int64_t& out) {
  return number(s, 2, 2, out) && out < below;
}

// The time of day after a date: the days by which it moves the date (an
// offset may carry it into the day before or after, in UTC), or false.
bool time_of_day(std::string_view s, int& shift) {
  std::int64_t hours, minutes, seconds = 0;
  if (!two_digits(s, 24, hours) || !take(s, ':') || !two_digits(s, 60, minutes)) return false;
  if (take(s, ':')) {
    if (!two_digits(s, 60, seconds)) return false;
    if (take(s, '.')) {
      std::size_t n = 0;
      while (n < s.size() && digit(s[n])) ++n;
      if (n == 0) return false;
      s.remove_prefix(n);
    }
  }
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  std::int64_t offset = 0;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    const bool west = s.front() == '-';
    s.remove_prefix(1);
    std::int64_t oh, om;
    if (!two_digits(s, 15, oh) || !take(s, ':') || !two_digits(s, 60, om)) return false;
    offset = (west ? -1 : 1) * (60 * oh + om);
  } else if (!s.empty() && (s.front() == 'Z' || s.front() == 'z')) {
    s.remove_prefix(1);
  }
  if (!s.empty()) return false;
  const std::int64_t utc = 60 * hours + minutes - offset;  // minutes from the date's midnight
  shift = utc < 0 ? -1 : utc >= 24 * 60 ? 1 : 0;
  return true;
}

// An ISO date with what may follow it; kNotADate when the text is not shaped
// like one at all.
DateReason iso_date(std::string_view s, double& value) {
  const bool negative = !s.empty() && s.front() == '-';
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
  std::int64_t year, month, day;
  if (!number(s, 1, kMaxYearDigits, year) || !take(s, '-') || !number(s, 1, 2, month) ||
      !take(s, '-') || !number(s, 1, 2, day))
    return DateReason::kNotADate;
  int shift = 0;
  if (!s.empty()) {
    const bool t = s.front() == 'T';
    if (!t && !blank(s.front())) return DateReason::kNotADate;
    s.remove_prefix(1);
    if (!t)
      while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    if (!time_of_day(s, shift)) return DateReason::kNotADate;
  }
  const Civil c{negative ? -year : year, static_cast<int>(month), static_cast<int>(day)};
  if (!date_from_civil(c, value)) return DateReason::kNoSuchDay;
  value += shift;
  return DateReason::kDate;
}

}  // namespace

const char* reason_text(DateReason reason) {
  switch (reason) {
    case DateReason::kNotADate:
      return "not a date (yyyy-mm-dd) or date value";
    case DateReason::kNoSuchDay:
      return "no such date in the host calendar";
    default:
      return "";
  }
}

DateReason read_date(std::string_view text, double& value) {
  // The common form, yyyy-mm-dd alone, straight to its day.
  if (DateReason r; text.size() == 10 && read_iso10(text.data(), r, value)) return r;
  const std::string_view s = trim(text);
  value = mcn::missing_value();
  if (s.empty() || s == ".") return DateReason::kMissing;
  if (const DateReason r = iso_date(s, value); r != DateReason::kNotADate) {
    if (r == DateReason::kNoSuchDay) value = refused_date(r);
    return r;
  }
  // A date value. from_chars takes no leading '+'.
  double v;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v)) {
    value = refused_date(DateReason::kNotADate);
    return DateReason::kNotADate;
  }
  value = v;
  return DateReason::kDate;
}

std::string refusal(std::string_view function, std::string_view argument, DateReason reason,
                    std::string_view text) {
  std::string s;
  if (!function.empty()) s = escaped(function) + ": ";
  return s + escaped(argument) + ": " + reason_text(reason) + ": " + quoted(trim(text));
}

bool format_iso(double value, char* out, int& length) {
  Civil c;
  if (!civil_from_date(value, c) || c.year <= -kYearLimit || c.year >= kYearLimit) return false;
  length = std::snprintf(out, kIsoChars, "%s%04lld-%02d-%02d", c.year < 0 ? "-" : "",
                         static_cast<long long>(c.year < 0 ? -c.year : c.year), c.month, c.day);
  return length > 0 && length < kIsoChars;
}

bool reads_as_value(std::string_view text) {
  const std::string_view s = trim(text);
  const auto digit_at = [&](std::size_t i) { return i < s.size() && digit(s[i]); };
  if (s == ".") return true;
  if (digit_at(0)) return true;
  if (!s.empty() && (s[0] == '-' || s[0] == '+' || s[0] == '.'))
    return digit_at(1) || (s[0] != '.' && s.size() > 2 && s[1] == '.' && digit_at(2));
  return false;
}

int format_number(double value, char* out) {
  const auto format =
      std::fabs(value) < 1e15 ? std::chars_format::fixed : std::chars_format::general;
  const auto result = std::to_chars(out, out + kNumberChars, value, format);
  return static_cast<int>(result.ptr - out);
}

}  // namespace dmcore
