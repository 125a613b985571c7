// 30/360 day count and the ACT/ACT split.
#include "daycount/daycount.h"

namespace mcn {

namespace {

constexpr std::int32_t end_of_february(std::int32_t y) { return gregorian_leap(y) ? 29 : 28; }

constexpr bool is_end_of_february(CivilDate d) {
  return d.month == 2 && d.day == end_of_february(d.year);
}

}  // namespace

std::int64_t diff_30360(CivilDate a, CivilDate b) {
  std::int32_t d1 = a.day;
  std::int32_t d2 = b.day;
  // The rules in this order: the first looks at d1 before the second changes it.
  if (is_end_of_february(b) && is_end_of_february(a)) d2 = 30;
  if (is_end_of_february(a)) d1 = 30;
  if (d2 == 31 && (d1 == 30 || d1 == 31)) d2 = 30;
  if (d1 == 31) d1 = 30;
  return 360 * (std::int64_t{b.year} - a.year) + 30 * (std::int64_t{b.month} - a.month) +
         (std::int64_t{d2} - d1);
}

// Ranges for dates of the calendar (years 1582 to 20000), start <= end:
ActActSplit diff_actact(const CivilDate& start, const CivilDate& end) {
  ActActSplit split{0, 0};
  const auto add = [&split](std::int32_t year, std::int64_t amount) {
    const bool is_leap = gregorian_leap(year);
    split.leap += is_leap ? amount : 0;
    split.common += is_leap ? 0 : amount;
  };
  const std::int64_t first = day_number(start);  // [577845, 7305246]
  const std::int64_t last = day_number(end);     // [first, 7305246]

  if (start.year == end.year) {
    add(start.year, last - first);  // [0, 365]
    return split;
  }
  // For years from 0 on, the century terms Q(y) count the leap years 1..y.
  const std::int64_t q_start = century_terms(start.year);                       // [383, 4849]
  const std::int64_t q_before_end = century_terms(end.year - std::int64_t{1});  // [383, 4849]
  // From the start date through 31 December of its year: [1, 366]
  add(start.year, first_of_january(start.year + std::int64_t{1}, q_start) - first);
  // The whole years between, counted in closed form: [0, 18417] years,
  // [0, 4466] of them leap years.
  const std::int64_t whole = std::int64_t{end.year} - start.year - 1;
  const std::int64_t leap_years = q_before_end - q_start;
  split.leap += 366 * leap_years;
  split.common += 365 * (whole - leap_years);
  // From 1 January of the end year up to, not including, the end date: [0, 365]
  add(end.year, last - first_of_january(end.year, q_before_end));
  return split;
}

}  // namespace mcn
