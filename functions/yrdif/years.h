// YRDIF's count: the order of the dates and the years between them under a
// basis. Shared by the module's entry and the explainer of the embedding
// library, which passes a trace of its own.
#ifndef MCN_FUNCTIONS_YRDIF_YEARS_H
#define MCN_FUNCTIONS_YRDIF_YEARS_H

#include "daycount/daycount.h"
#include "daycount/order.h"

namespace mcn::yrdif {

// AGE is among YRDIF's bases, and is its basis when the argument is left out.
constexpr bool kAgeBasis = true;
constexpr int kLeftOutBasis = kBasisAge;

// ACT/ACT and AGE count from the earlier date; the others count from the start.
constexpr bool counts_from_earlier(int basis) {
  return basis == kBasisActAct || basis == kBasisAge;
}

// Puts the earlier date first where the basis counts from it. The dates change
// places only when the start is later, so that otherwise each value (a signed
// zero too) reaches the host as it came.
inline void order(int basis, double& first, double& second) {
  if (counts_from_earlier(basis)) {
    const double earlier = first_unless_smaller(first, second);
    second = second_unless_larger(first, second);
    first = earlier;
  }
}

// AGE counts a date to the same day and month n years later as exactly n
// years: both end years are moved out of leap years so that the partial years
// at either end count in 365ths (29 February becoming 28), and the moves are
// taken off again. Leap years come at random, so the moves are arithmetic.
template <typename Trace>
double age_years(CivilDate a, CivilDate b, Trace& trace) {
  const CivilDate a0 = a;
  const CivilDate b0 = b;
  const int leap_a = gregorian_leap(a.year);
  const int leap_b = gregorian_leap(b.year);
  a.year -= leap_a;
  a.day -= leap_a & (a.month == 2) & (a.day == 29);
  b.year += leap_b;
  b.day -= leap_b & (b.month == 2) & (b.day == 29);
  if (leap_a) trace.age_shift(false, a0, a);
  if (leap_b) trace.age_shift(true, b0, b);
  // A year next to a leap year is a common one: both years are common now.
  return diff_actact(a, false, b, false, trace).years() - (leap_a + leap_b);
}

// The years from a to b under a basis. ACT/ACT and AGE take a not later than
// b, and their figure is multiplied by `sign`; the other counts come out
// negative by themselves.
template <typename Trace>
double years(int basis, CivilDate a, CivilDate b, double sign, Trace& trace) {
  switch (basis) {
    case kBasis30360:
      return static_cast<double>(diff_30360(a, b, trace)) / 360.0;
    case kBasisActAct:
      return sign * diff_actact(a, b, trace).years();
    case kBasisAct360:
      return static_cast<double>(actual_days(a, b)) / 360.0;
    case kBasisAct365:
      return static_cast<double>(actual_days(a, b)) / 365.0;
    default:  // kBasisAge
      return sign * age_years(a, b, trace);
  }
}

}  // namespace mcn::yrdif

#endif  // MCN_FUNCTIONS_YRDIF_YEARS_H
