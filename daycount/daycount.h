// The day-count engine: basis recognition, 30/360, day numbers and the
// ACT/ACT split. Pure functions of dates and texts, apart from the
// upper-casing that basis recognition asks of the host's text routines.
//
// The counts take a trace, which is told the working values as they arise:
// the modules pass NoTrace, whose calls compile to nothing, and the explainer
// of the embedding library passes one that keeps them.
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

// The 30/360 rules that move a day of the month, in the order they are tried.
enum class ThirtyRule : std::uint8_t {
  kBothEndOfFebruary,   // both dates are the last day of February: the end's day becomes 30
  kStartEndOfFebruary,  // the start is the last day of February: its day becomes 30
  kEndOn31st,           // the end is a 31st and the start a 30th or 31st: the end's day becomes 30
  kStartOn31st,         // the start is a 31st: its day becomes 30
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

// Which of the rules of basis recognition decides; see daycount/basis.h.
enum class BasisRule : std::uint8_t;

// A trace that keeps nothing: what the modules count with.
struct NoTrace {
  // Basis recognition: the text as the rules see it (stripped of trailing
  // blanks, then upper-cased), and each rule tried, with where its first key
  // was found (-1: nowhere) and whether it decided.
  void text(const char*, std::int32_t, bool /*upper_cased*/) {}
  void rule(BasisRule, std::int32_t /*found_at*/, bool /*decided*/) {}
  // 30/360: a day of the month that a rule moved (end: of the end date).
  void adjusted(ThirtyRule, bool /*end*/, std::int32_t /*from*/, std::int32_t /*to*/) {}
  // ACT/ACT: the days counted in one year (a partial first or last year, or
  // the one year of an interval within a year), and the whole years between.
  void year_part(std::int32_t /*year*/, std::int64_t /*days*/) {}
  void whole_years(std::int64_t /*first*/, std::int64_t /*count*/, std::int64_t /*leap_years*/) {}
  // AGE: a date moved out of a leap year.
  void age_shift(bool /*end*/, CivilDate /*before*/, CivilDate /*after*/) {}
};

// The basis code that a basis text names, or kBasisNone. `age` says whether
// AGE is recognised.
int parse_basis(const char* text, std::int32_t length, bool age);

// Divisible by 4, and not by 100 unless by 400 (no 4000-year exception).
// So a year divisible by 25 is a leap year when divisible by 16, and any
// other when divisible by 4: one test of the low bits, with a mask of 15 or
// 3, which tell divisibility by 16 and 4 for negative two's-complement years
// too. Written so that it compiles without branches, which random years
// would mispredict.
constexpr bool gregorian_leap(std::int32_t y) {
  const std::int32_t low_bits = y % 25 == 0 ? 15 : 3;
  return (y & low_bits) == 0;
}

// Century terms: Y/4 - Y/100 + Y/400, each quotient truncated toward zero.
// For years from 0 on they count the leap years from 1 to Y, and take 32-bit
// unsigned divisions by constants, which are cheaper than signed 64-bit ones.
constexpr std::int32_t leap_years_through(std::int32_t y) {
  const auto u = static_cast<std::uint32_t>(y);
  return static_cast<std::int32_t>(u / 4 - u / 100 + u / 400);
}
constexpr std::int64_t century_terms(std::int64_t y) {
  if (y >= 0 && y <= INT32_MAX) return leap_years_through(static_cast<std::int32_t>(y));
  return y / 4 - y / 100 + y / 400;
}

// The days by which the months before `month` fall short of 31 each
// (February counted with 28): 0 for January and February, and
// trunc(0.4 * month + 2.3) from March on.
constexpr std::int64_t month_term(std::int32_t month) {
  return month > 2 ? (4 * std::int64_t{month} + 23) / 10 : 0;
}

// Serial day number; the difference of two is the number of days between them
// in the proleptic Gregorian calendar without the 4000-year exception.
// Ranges for the dates of the calendar (years 1582 to 20000):
constexpr std::int64_t day_number(std::int32_t year, std::int32_t month, std::int32_t day) {
  // [1581, 20000]
  const std::int64_t adjusted_year = month > 2 ? std::int64_t{year} : std::int64_t{year} - 1;
  // [0, 0] for January and February, [3, 7] for March to December
  const std::int64_t months = month_term(month);
  // [577430, 7300000] + [31, 372] + [1, 31] + [383, 4850] - [0, 7]: [577845, 7305246]
  return 365 * std::int64_t{year} + 31 * std::int64_t{month} + day + century_terms(adjusted_year) -
         months;
}

constexpr std::int64_t day_number(CivilDate d) { return day_number(d.year, d.month, d.day); }

// The days that the months before a month add to its dates' day of the year,
// in common and in leap years, for months 0 to 15 so that a month of four
// bits indexes it: a date's day number less that of 1 January of its year,
// which differ by the century terms of the year before only, a leap day from
// March on.
struct DaysBeforeMonth {
  std::int16_t days[2][16];
};
constexpr DaysBeforeMonth days_before_month() {
  DaysBeforeMonth t{};
  for (std::int32_t leap = 0; leap < 2; ++leap)
    for (std::int32_t m = 0; m < 16; ++m)
      t.days[leap][m] = static_cast<std::int16_t>(31 * (m - 1) - month_term(m) + ((m > 2) & leap));
  return t;
}
inline constexpr DaysBeforeMonth kDaysBeforeMonth = days_before_month();

// The days from 1 January of a date's year (months 1 to 12) to the date,
// [0, 365]. `leap` is the year's.
constexpr std::int32_t day_of_year(CivilDate d, bool leap) {
  return kDaysBeforeMonth.days[leap][d.month & 15] + (d.day - 1);
}
static_assert(day_of_year({2000, 12, 31}, true) ==
              day_number(2000, 12, 31) - day_number(2000, 1, 1));
static_assert(day_of_year({1900, 3, 1}, false) == day_number(1900, 3, 1) - day_number(1900, 1, 1));

// Actual days from a to b.
constexpr std::int64_t actual_days(CivilDate a, CivilDate b) {
  return day_number(b) - day_number(a);
}

// The actual days of an interval, split by the years they fall in; each at
// most the 7305246 days of the calendar's range.
struct ActActSplit {
  std::int32_t common;  // days in common years
  std::int32_t leap;    // days in leap years (Gregorian test)

  constexpr std::int64_t days() const { return std::int64_t{common} + leap; }
  // The ACT/ACT year fraction.
  double years() const {
    return static_cast<double>(common) / 365.0 + static_cast<double>(leap) / 366.0;
  }
};

constexpr std::int32_t end_of_february(std::int32_t y) { return gregorian_leap(y) ? 29 : 28; }

constexpr bool is_end_of_february(CivilDate d) {
  return d.month == 2 && d.day == end_of_february(d.year);
}

// 30/360 day count from a to b.
template <typename Trace>
std::int64_t diff_30360(CivilDate a, CivilDate b, Trace& trace) {
  std::int32_t d1 = a.day;
  std::int32_t d2 = b.day;
  // The rules in this order: the first looks at d1 before the second changes it.
  const auto move = [&trace](std::int32_t& day, ThirtyRule rule, bool end) {
    trace.adjusted(rule, end, day, 30);
    day = 30;
  };
  if (is_end_of_february(b) && is_end_of_february(a))
    move(d2, ThirtyRule::kBothEndOfFebruary, true);
  if (is_end_of_february(a)) move(d1, ThirtyRule::kStartEndOfFebruary, false);
  if (d2 == 31 && (d1 == 30 || d1 == 31)) move(d2, ThirtyRule::kEndOn31st, true);
  if (d1 == 31) move(d1, ThirtyRule::kStartOn31st, false);
  return 360 * (std::int64_t{b.year} - a.year) + 30 * (std::int64_t{b.month} - a.month) +
         (std::int64_t{d2} - d1);
}
inline std::int64_t diff_30360(CivilDate a, CivilDate b) {
  NoTrace none;
  return diff_30360(a, b, none);
}

// The split of the actual days from `start` to `end`, for dates of years from
// 1 on with the start not later than the end. Each partial year is counted
// from its day of the year, and the whole years between in closed form.
// `start_leap` and `end_leap` tell whether the dates' years are leap years.
// Ranges for dates of the calendar (years 1582 to 20000), start <= end:
template <typename Trace>
[[gnu::always_inline]] inline ActActSplit diff_actact(const CivilDate& start, bool start_leap,
                                                      const CivilDate& end, bool end_leap,
                                                      Trace& trace) {
  const std::int32_t first = day_of_year(start, start_leap);  // [0, 365]
  const std::int32_t last = day_of_year(end, end_leap);       // [0, 365]
  // A year's days go to the leap or the common part through a mask (all ones
  // for a leap year), without a branch on the (random) kind of year.
  const std::int32_t start_mask = -std::int32_t{start_leap};
  const std::int32_t end_mask = -std::int32_t{end_leap};

  if (start.year == end.year) {
    const std::int32_t days = last - first;  // [0, 365]
    trace.year_part(start.year, days);
    return {days & ~start_mask, days & start_mask};
  }
  // From the start date through 31 December of its year: [1, 366]
  const std::int32_t head = 365 + start_leap - first;
  trace.year_part(start.year, head);
  // The whole years between: [0, 18417] years, [0, 4466] of them leap years.
  // For years from 1 on, the century terms Q(y) count the leap years 1..y.
  const std::int32_t whole = end.year - start.year - 1;
  const std::int32_t leap_years = leap_years_through(end.year - 1) - leap_years_through(start.year);
  trace.whole_years(std::int64_t{start.year} + 1, whole, leap_years);
  // From 1 January of the end year up to, not including, the end date: [0, 365]
  trace.year_part(end.year, last);
  return {(head & ~start_mask) + 365 * (whole - leap_years) + (last & ~end_mask),
          (head & start_mask) + 366 * leap_years + (last & end_mask)};
}
template <typename Trace>
[[gnu::always_inline]] inline ActActSplit diff_actact(const CivilDate& start, const CivilDate& end,
                                                      Trace& trace) {
  return diff_actact(start, gregorian_leap(start.year), end, gregorian_leap(end.year), trace);
}
inline ActActSplit diff_actact(const CivilDate& start, const CivilDate& end) {
  NoTrace none;
  return diff_actact(start, end, none);
}

}  // namespace mcn

extern "C" {
// Leap year with the 4000-year exception: the host calendar's rule.
MCN_EXPORT std::int32_t isleap(std::int32_t year);
}

#endif  // MCN_DAYCOUNT_DAYCOUNT_H
