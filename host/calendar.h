// The reference host's calendar: date values count days from 1960-01-01 in the
// Gregorian calendar in which years divisible by 4000 are common years.
// Conversions are O(1) over 4000-year eras, which are ten 400-year cycles less
// one day: a date to its day number in the manner of Hinnant's algorithms, a
// day number to its date by Neri and Schneider's unsigned computational calendar.
#ifndef REFHOST_CALENDAR_H
#define REFHOST_CALENDAR_H

#include <cstdint>
#include <string_view>

namespace refhost {

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

// An ISO date yyyy-mm-dd: a year of 1 to 9 digits with an optional sign, a
// month of 1 or 2 digits and a day of 1 or 2 digits. Whether the calendar has
// the date is valid_civil's question. False for any other text.
constexpr int kMaxYearDigits = 9;
bool parse_iso(std::string_view text, Civil& out);

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

}  // namespace refhost

#endif  // REFHOST_CALENDAR_H
