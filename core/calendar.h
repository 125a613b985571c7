// The reference host's calendar: date values count days from 1960-01-01 in the
// Gregorian calendar in which years divisible by 4000 are common years.
// Conversions are O(1) over 4000-year eras, which are ten 400-year cycles less
// one day: a date to its day number in the manner of Hinnant's algorithms, a
// day number to its date by Neri and Schneider's unsigned computational calendar.
#ifndef DMCORE_CALENDAR_H
#define DMCORE_CALENDAR_H

#include <cstdint>

namespace dmcore {

// Counting from 1 March of year 0, so that a leap day ends its year.
constexpr std::int64_t kDaysPer400 = 146097;
constexpr std::int64_t kDaysPer4000 = 10 * kDaysPer400 - 1;  // no 29 February in year 4000k
constexpr std::int64_t kEpoch = 715815;                      // 0000-03-01 .. 1960-01-01

struct Civil {
  std::int64_t year;
  int month;  // 1..12
  int day;    // 1..31
};

bool host_leap(std::int64_t year);
int days_in_month(std::int64_t year, int month);
bool valid_civil(const Civil& c);

// The calendar's bounds: civil dates of years of at most 9 digits (either
// sign), and date values of less than 10^12 days either way.
constexpr std::int64_t kYearLimit = 1000000000;
constexpr int kMaxYearDigits = 9;
constexpr double kDayLimit = 1e12;

// The civil date of a day counted from 1970-01-01 in the proleptic Gregorian
// calendar (numpy's and pandas' calendar), by Hinnant's algorithm; any day
// within +-10^12.
Civil gregorian_from_unix_days(std::int64_t day);
// The date value of a day counted so: the same day of the host calendar, or
// false for a day that it lacks (a 29 February of a year divisible by 4000).
// Between 0000-03-01 and 4000-02-28 the two calendars agree day for day.
bool date_from_unix_days(std::int64_t day, double& value);

// A civil date to its date value, within the bounds; false for a date that
// the calendar lacks (4000-02-29) or a year beyond them. Inline for the years
// 1 to 3999, where the host calendar is the Gregorian one: the date readers
// run it for every element of a column.
bool date_from_civil_any(const Civil& c, double& value);
inline bool date_from_civil(const Civil& c, double& value) {
  if (c.year < 1 || c.year > 3999) return date_from_civil_any(c, value);
  const auto y = static_cast<std::uint32_t>(c.year);
  const auto m = static_cast<std::uint32_t>(c.month);
  const auto d = static_cast<std::uint32_t>(c.day);
  const bool leap = y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
  constexpr std::uint8_t kLength[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m - 1 > 11 || d - 1 >= static_cast<std::uint32_t>(kLength[m] + (m == 2 && leap)))
    return false;
  // Hinnant's days from civil, counted from 0000-03-01.
  const std::uint32_t ya = y - (m <= 2);
  const std::uint32_t era = ya / 400;
  const std::uint32_t yoe = ya - era * 400;
  const std::uint32_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::uint32_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  value = static_cast<double>(static_cast<std::int64_t>(era * 146097 + doe) - kEpoch);
  return true;
}
// The civil date of the day that holds a date value; false for a NaN or a
// value beyond the bounds.
bool civil_from_date(double value, Civil& out);

// Day number of a valid calendar date (day 0 = 1960-01-01).
std::int64_t days_from_civil(const Civil& c);
// Calendar date of a day number. Inline: the host's zymdjul service runs it
// twice per evaluation.
inline Civil civil_from_days(std::int64_t day) {
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

}  // namespace dmcore

#endif  // DMCORE_CALENDAR_H
