#include "host/calendar.h"

namespace refhost {

namespace {

// Counting from 1 March of year 0, so that a leap day ends its year.
constexpr std::int64_t kDaysPer400 = 146097;
constexpr std::int64_t kDaysPer4000 = 10 * kDaysPer400 - 1;  // no 29 February in year 4000k
constexpr std::int64_t kEpoch = 715815;                      // 0000-03-01 .. 1960-01-01

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

}  // namespace

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

Civil civil_from_days(std::int64_t day) {
  const std::int64_t z = day + kEpoch;
  const std::int64_t era = floor_div(z, kDaysPer4000);
  const std::int64_t doe = z - era * kDaysPer4000;  // 0..kDaysPer4000-1
  const std::int64_t cycle = doe / kDaysPer400;     // 0..9: the last cycle is a day short
  const std::int64_t doc = doe - cycle * kDaysPer400;
  const std::int64_t yoc = (doc - doc / 1460 + doc / 36524 - doc / 146096) / 365;
  const std::int64_t doy = doc - (365 * yoc + yoc / 4 - yoc / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoc + cycle * 400 + era * 4000 + (m <= 2), m, d};
}

}  // namespace refhost
