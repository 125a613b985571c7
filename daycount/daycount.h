// The day-count engine: basis recognition, 30/360, day numbers and the
// ACT/ACT split. Pure functions of their arguments, apart from the
// upper-casing that basis recognition asks of the host.
#ifndef MCN_DAYCOUNT_DAYCOUNT_H
#define MCN_DAYCOUNT_DAYCOUNT_H

#include <cstdint>

#include "frame/frame.h"

namespace mcn {

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

// 30/360 day count from the first date to the second.
std::int64_t diff_30360(std::int32_t m1, std::int32_t d1, std::int32_t y1, std::int32_t m2,
                        std::int32_t d2, std::int32_t y2);

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
constexpr std::int64_t day_number(std::int32_t year, std::int32_t month, std::int32_t day) {
  // For months after February, trunc(0.4 * month + 2.3) in integers.
  const bool late = month > 2;
  const std::int64_t adjusted_year = late ? std::int64_t{year} : std::int64_t{year} - 1;
  const std::int64_t month_term = late ? (4 * std::int64_t{month} + 23) / 10 : 0;
  return 365 * std::int64_t{year} + 31 * std::int64_t{month} + day + century_terms(adjusted_year) -
         month_term;
}

// Actual days from a to b.
constexpr std::int64_t actual_days(CivilDate a, CivilDate b) {
  return day_number(b.year, b.month, b.day) - day_number(a.year, a.month, a.day);
}

// The basis code of argument k: kBasisNone for a null descriptor or a null text.
inline int basis_argument(const ArgBlock* args, int k, bool age) {
  const TextDescriptor* d = text_argument(args, k);
  if (d == nullptr || d->text == nullptr) return kBasisNone;
  return parse_basis(d->text, d->length, age);
}

// Actual days from the start date to the end date (start not later), split
// into leap-year and common-year days: total days and the ACT/ACT year
// fraction common / 365 + leap / 366.
void diff_actact(std::int32_t sm, std::int32_t sd, std::int32_t sy, std::int32_t em,
                 std::int32_t ed, std::int32_t ey, std::int64_t* days, double* fraction);

}  // namespace mcn

extern "C" {
// Leap year with the 4000-year exception: the host calendar's rule.
MCN_EXPORT std::int32_t isleap(std::int32_t year);
}

#endif  // MCN_DAYCOUNT_DAYCOUNT_H
