// The day-count engine: basis recognition, 30/360, day numbers and the
// ACT/ACT split. Pure functions of dates and texts, apart from the
// upper-casing that basis recognition asks of the host's text routines.
#ifndef MCN_DAYCOUNT_DAYCOUNT_H
#define MCN_DAYCOUNT_DAYCOUNT_H

#include <cstdint>

#include "frame/export.h"

namespace mcn {

// A calendar date: year, month (1 to 12) and day of the month (1 to 31).
struct CivilDate {
  std::int32_t year;
  std::int32_t month;
  std::int32_t day;
};

// Basis codes.
enum Basis : int {
  kBasisNone = 0,
  kBasis30360 = 1,
  kBasisActAct = 2,
  kBasisAct360 = 3,
  kBasisAct365 = 4,
  kBasisAge = 5,
};

// Size of the working copy of a basis text; later bytes are not looked at.
constexpr std::int32_t kBasisBuffer = 256;

// The basis code that a basis text names, or kBasisNone. `age` says whether
// AGE is recognised.
int parse_basis(const char* text, std::int32_t length, bool age);

// Divisible by 4, and not by 100 unless by 400 (no 4000-year exception).
// A multiple of 100 is a multiple of 400 exactly when it is one of 16; the
// low bits of a two's-complement year tell divisibility by 4 and 16 for
// negative years too. Written without short-circuits so that it compiles
// without branches, which random years would mispredict.
constexpr bool gregorian_leap(std::int32_t y) {
  return ((y & 3) == 0) & ((y % 100 != 0) | ((y & 15) == 0));
}

// 30/360 day count from a to b.
std::int64_t diff_30360(CivilDate a, CivilDate b);

// Century terms: Y/4 - Y/100 + Y/400, each quotient truncated toward zero.
// Years of the calendar's range take 32-bit unsigned divisions by constants,
// which are cheaper than signed 64-bit ones; the result is the same.
constexpr std::int64_t century_terms(std::int64_t y) {
  if (y >= 0 && y <= 0xFFFFFFFF) {
    const auto u = static_cast<std::uint32_t>(y);
    return std::int64_t{u / 4} - u / 100 + u / 400;
  }
  return y / 4 - y / 100 + y / 400;
}

// Serial day number; the difference of two is the number of days between them
// in the proleptic Gregorian calendar without the 4000-year exception.
// Ranges for the dates of the calendar (years 1582 to 20000):
constexpr std::int64_t day_number(std::int32_t year, std::int32_t month, std::int32_t day) {
  // For months after February, trunc(0.4 * month + 2.3) in integers.
  const bool late = month > 2;
  // [1581, 20000]
  const std::int64_t adjusted_year = late ? std::int64_t{year} : std::int64_t{year} - 1;
  // [0, 0] for January and February, [3, 7] for March to December
  const std::int64_t month_term = late ? (4 * std::int64_t{month} + 23) / 10 : 0;
  // [577430, 7300000] + [31, 372] + [1, 31] + [383, 4850] - [0, 7]: [577845, 7305246]
  return 365 * std::int64_t{year} + 31 * std::int64_t{month} + day + century_terms(adjusted_year) -
         month_term;
}

constexpr std::int64_t day_number(CivilDate d) { return day_number(d.year, d.month, d.day); }

// The month and day terms of day_number for 1 January: 31 * 1 + 1.
constexpr std::int64_t kFirstOfJanuaryTerms = 31 * 1 + 1;

// The day number of 1 January of `year`, given the century terms of the year
// before (which day_number takes for January).
constexpr std::int64_t first_of_january(std::int64_t year, std::int64_t century_terms_before) {
  return 365 * year + kFirstOfJanuaryTerms + century_terms_before;
}
static_assert(first_of_january(2001, century_terms(2000)) == day_number(2001, 1, 1));

// Actual days from a to b.
constexpr std::int64_t actual_days(CivilDate a, CivilDate b) {
  return day_number(b) - day_number(a);
}

// The actual days of an interval, split by the years they fall in.
struct ActActSplit {
  std::int64_t common;  // days in common years
  std::int64_t leap;    // days in leap years (Gregorian test)

  constexpr std::int64_t days() const { return common + leap; }
  // The ACT/ACT year fraction.
  double years() const {
    return static_cast<double>(common) / 365.0 + static_cast<double>(leap) / 366.0;
  }
};

// The split of the actual days from `start` to `end`, for dates of years from
// 0 on with the start not later than the end.
ActActSplit diff_actact(const CivilDate& start, const CivilDate& end);

}  // namespace mcn

extern "C" {
// Leap year with the 4000-year exception: the host calendar's rule.
MCN_EXPORT std::int32_t isleap(std::int32_t year);
}

#endif  // MCN_DAYCOUNT_DAYCOUNT_H
