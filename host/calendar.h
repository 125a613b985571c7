// The reference host's calendar: date values count days from 1960-01-01 in the
// Gregorian calendar in which years divisible by 4000 are common years.
// Conversions are O(1), in the manner of Hinnant's civil-date algorithms, with
// 4000-year eras that are ten 400-year cycles less one day.
#ifndef REFHOST_CALENDAR_H
#define REFHOST_CALENDAR_H

#include <cstdint>

namespace refhost {

struct Civil {
  std::int64_t year;
  int month;  // 1..12
  int day;    // 1..31
};

bool host_leap(std::int64_t year);
int days_in_month(std::int64_t year, int month);
bool valid_civil(const Civil& c);

// Day number of a valid calendar date (day 0 = 1960-01-01).
std::int64_t days_from_civil(const Civil& c);
// Calendar date of a day number.
Civil civil_from_days(std::int64_t day);

}  // namespace refhost

#endif  // REFHOST_CALENDAR_H
