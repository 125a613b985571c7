// 30/360 day count and the ACT/ACT split.
#include "daycount/daycount.h"

namespace mcn {

namespace {

constexpr std::int32_t end_of_february(std::int32_t y) { return gregorian_leap(y) ? 29 : 28; }

constexpr bool is_end_of_february(std::int32_t m, std::int32_t d, std::int32_t y) {
  return m == 2 && d == end_of_february(y);
}

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// Number of leap years (Gregorian test) from year 1 through y; differences of
// it count the leap years of any range of years, negative ones included.
constexpr std::int64_t leap_years_through(std::int64_t y) {
  return floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400);
}

}  // namespace

std::int64_t diff_30360(std::int32_t m1, std::int32_t d1, std::int32_t y1, std::int32_t m2,
                        std::int32_t d2, std::int32_t y2) {
  // The rules in this order: the first looks at d1 before the second changes it.
  if (is_end_of_february(m2, d2, y2) && is_end_of_february(m1, d1, y1)) d2 = 30;
  if (is_end_of_february(m1, d1, y1)) d1 = 30;
  if (d2 == 31 && (d1 == 30 || d1 == 31)) d2 = 30;
  if (d1 == 31) d1 = 30;
  return 360 * (std::int64_t{y2} - y1) + 30 * (std::int64_t{m2} - m1) + (std::int64_t{d2} - d1);
}

void diff_actact(std::int32_t sm, std::int32_t sd, std::int32_t sy, std::int32_t em,
                 std::int32_t ed, std::int32_t ey, std::int64_t* days, double* fraction) {
  std::int64_t leap = 0;
  std::int64_t common = 0;
  const auto add = [&](std::int32_t year, std::int64_t amount) {
    const bool is_leap = gregorian_leap(year);
    leap += is_leap ? amount : 0;
    common += is_leap ? 0 : amount;
  };
  const std::int64_t start = day_number(sy, sm, sd);
  const std::int64_t end = day_number(ey, em, ed);

  if (sy == ey) {
    add(sy, end - start);
  } else {
    // For years from 0 on, the century terms Q(y) count the leap years 1..y.
    const std::int64_t q_start = century_terms(sy);
    const std::int64_t q_before_end = century_terms(std::int64_t{ey} - 1);
    // From the start date through 31 December of its year.
    add(sy, 365 * std::int64_t{sy} + 397 + q_start - start);
    // The whole years between, counted in closed form.
    const std::int64_t whole = std::int64_t{ey} - sy - 1;
    if (whole > 0) {
      const std::int64_t leap_years =
          sy >= 0 ? q_before_end - q_start
                  : leap_years_through(ey - std::int64_t{1}) - leap_years_through(sy);
      leap += 366 * leap_years;
      common += 365 * (whole - leap_years);
    }
    // From 1 January of the end year up to, not including, the end date.
    add(ey, end - (365 * std::int64_t{ey} + 32 + q_before_end));
  }

  *days = common + leap;
  *fraction = static_cast<double>(common) / 365.0 + static_cast<double>(leap) / 366.0;
}

}  // namespace mcn
