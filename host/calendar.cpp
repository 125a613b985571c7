#include "host/calendar.h"

namespace refhost {

namespace {

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// The digits of a number field of 1 to `most` digits at the start of `s`, or 0.
std::size_t digits(std::string_view s, std::size_t most) {
  std::size_t n = 0;
  while (n < s.size() && n <= most && s[n] >= '0' && s[n] <= '9') ++n;
  return n <= most ? n : 0;
}

std::int64_t value_of(std::string_view s) {
  std::int64_t v = 0;
  for (char c : s) v = 10 * v + (c - '0');
  return v;
}

}  // namespace

bool parse_iso(std::string_view text, Civil& out) {
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  const std::size_t y = digits(text, kMaxYearDigits);
  if (y == 0 || y >= text.size() || text[y] != '-') return false;
  const std::string_view rest = text.substr(y + 1);
  const std::size_t m = digits(rest, 2);
  if (m == 0 || m >= rest.size() || rest[m] != '-') return false;
  const std::string_view day = rest.substr(m + 1);
  const std::size_t d = digits(day, 2);
  if (d == 0 || d != day.size()) return false;
  const std::int64_t year = value_of(text.substr(0, y));
  out = {negative ? -year : year, static_cast<int>(value_of(rest.substr(0, m))),
         static_cast<int>(value_of(day))};
  return true;
}

bool host_leap(std::int64_t y) {
  return y % 4 == 0 && y % 4000 != 0 && (y % 400 == 0 || y % 100 != 0);
}

int days_in_month(std::int64_t year, int month) {
  static constexpr int kLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && host_leap(year) ? 29 : kLength[month - 1];
}

bool valid_civil(const Civil& c) {
  return c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= days_in_month(c.year, c.month);
}

std::int64_t days_from_civil(const Civil& c) {
  const std::int64_t y = c.year - (c.month <= 2);  // the year that starts on 1 March
  const std::int64_t era = floor_div(y, 4000);
  const std::int64_t year_of_era = y - era * 4000;  // 0..3999
  const std::int64_t cycle = year_of_era / 400;     // 0..9
  const std::int64_t yoc = year_of_era % 400;       // 0..399
  const std::int64_t mp = (c.month + 9) % 12;       // March = 0
  const std::int64_t doy = (153 * mp + 2) / 5 + c.day - 1;
  const std::int64_t doc = yoc * 365 + yoc / 4 - yoc / 100 + doy;
  return era * kDaysPer4000 + cycle * kDaysPer400 + doc - kEpoch;
}

}  // namespace refhost
