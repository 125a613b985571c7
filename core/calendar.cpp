#include "core/calendar.h"

#include <cmath>

namespace dmcore {

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

bool date_from_civil_any(const Civil& c, double& value) {
  if (c.year <= -kYearLimit || c.year >= kYearLimit || !valid_civil(c)) return false;
  value = static_cast<double>(days_from_civil(c));
  return true;
}

bool civil_from_date(double value, Civil& out) {
  if (!(std::fabs(value) < kDayLimit)) return false;
  out = civil_from_days(static_cast<std::int64_t>(std::floor(value)));
  return true;
}

Civil gregorian_from_unix_days(std::int64_t z) {
  z += 719468;  // from 0000-03-01
  const std::int64_t era = floor_div(z, kDaysPer400);
  const std::int64_t doe = z - era * kDaysPer400;                                  // 0..146096
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // 0..399
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // 0..365
  const std::int64_t mp = (5 * doy + 2) / 153;                                     // March = 0
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2), month, day};
}

bool date_from_unix_days(std::int64_t day, double& value) {
  constexpr std::int64_t kFromUnix = 3653;       // 1960-01-01 .. 1970-01-01
  constexpr std::int64_t kAgreeFirst = -719468;  // 0000-03-01
  constexpr std::int64_t kAgreeLast = 741500;    // 4000-02-28
  if (day >= kAgreeFirst && day <= kAgreeLast) {
    value = static_cast<double>(day + kFromUnix);
    return true;
  }
  if (!(std::fabs(static_cast<double>(day)) < kDayLimit)) return false;
  return date_from_civil(gregorian_from_unix_days(day), value);
}

}  // namespace dmcore
