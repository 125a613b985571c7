#include "host/calendar.h"

namespace refhost {

namespace {

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

}  // namespace refhost
