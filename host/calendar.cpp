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
  // Shifted by whole 4000-year eras so that every day number the host can be
  // asked about (|day| < 10^12) is positive and all divisions are unsigned.
  constexpr std::uint64_t kShiftEras = 700000;
  const std::uint64_t z = static_cast<std::uint64_t>(day + kEpoch) + kShiftEras * kDaysPer4000;
  const std::uint64_t era = z / kDaysPer4000;
  const auto n = static_cast<std::uint32_t>(z - era * kDaysPer4000);  // day of the era

  // Neri and Schneider's computational calendar within the era: an era is
  // whole 400-year cycles but for its last day, which it never reaches.
  const std::uint32_t n1 = 4 * n + 3;
  const std::uint32_t century = n1 / 146097;
  const std::uint32_t n2 = (n1 % 146097) | 3;
  const std::uint64_t p2 = std::uint64_t{2939745} * n2;
  const auto year_of_century = static_cast<std::uint32_t>(p2 >> 32);
  const std::uint32_t day_of_year = static_cast<std::uint32_t>(p2) / 2939745 / 4;
  const std::uint32_t n3 = 2141 * day_of_year + 197913;
  const std::uint32_t month = n3 >> 16;
  const std::uint32_t mday = (n3 & 0xFFFF) / 2141 + 1;
  const bool january_or_february = day_of_year >= 306;

  const std::int64_t year =
      (static_cast<std::int64_t>(era) - static_cast<std::int64_t>(kShiftEras)) * 4000 +
      100 * std::int64_t{century} + year_of_century + january_or_february;
  return {year, static_cast<int>(january_or_february ? month - 12 : month), static_cast<int>(mday)};
}

}  // namespace refhost
