// YRDIF(start, end [, basis]): the interval between two date values in years.
#include <emmintrin.h>

#include "functions/arguments.h"

namespace {

using namespace mcn;

// The start unless the end is earlier, and the end unless the start is later:
// minsd and maxsd, which keep their first operand unless the comparison says
// otherwise, so that equal values (-0.0 and +0.0) stay where they were.
inline double first_unless_smaller(double first, double second) {
  return _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(second), _mm_set_sd(first)));
}
inline double second_unless_larger(double first, double second) {
  return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(first), _mm_set_sd(second)));
}

// AGE counts a date to the same day and month n years later as exactly n
// years: both end years are moved out of leap years so that the partial years
// at either end count in 365ths (29 February becoming 28), and the moves are
// taken off again. Leap years come at random, so the moves are arithmetic.
double age_years(CivilDate a, CivilDate b) {
  const int leap_a = gregorian_leap(a.year);
  const int leap_b = gregorian_leap(b.year);
  a.year -= leap_a;
  a.day -= leap_a & (a.month == 2) & (a.day == 29);
  b.year += leap_b;
  b.day -= leap_b & (b.month == 2) & (b.day == 29);
  return diff_actact(a, b).years() - (leap_a + leap_b);
}

// The years from a to b under a basis. ACT/ACT and AGE take a not later than
// b, and their figure is multiplied by `sign`; the other counts come out
// negative by themselves.
double years(int basis, CivilDate a, CivilDate b, double sign) {
  switch (basis) {
    case kBasis30360:
      return static_cast<double>(diff_30360(a, b)) / 360.0;
    case kBasisActAct:
      return sign * diff_actact(a, b).years();
    case kBasisAct360:
      return static_cast<double>(actual_days(a, b)) / 360.0;
    case kBasisAct365:
      return static_cast<double>(actual_days(a, b)) / 365.0;
    default:  // kBasisAge
      return sign * age_years(a, b);
  }
}

}  // namespace

extern "C" MCN_EXPORT std::int32_t ufyrdif(const ArgBlock* args, double* result) {
  store_missing(result);
  double first = date_argument(args, 0);
  if (!valid_date(first)) return kStatusMissing;
  double second = date_argument(args, 1);
  if (!valid_date(second)) return kStatusMissing;
  const int basis = args->count == 2 ? kBasisAge : basis_argument(args, 2, true);
  if (basis == kBasisNone) return kStatusMissing;

  // ACT/ACT and AGE count from the earlier date. The dates change places only
  // when the start is later, so that otherwise each value (a signed zero too)
  // reaches the host as it came. The direction of random date pairs is a coin
  // toss, so the order and the sign are taken without branches.
  const double sign = 1.0 - 2.0 * (first > second);
  if (basis == kBasisActAct || basis == kBasisAge) {
    const double earlier = first_unless_smaller(first, second);
    second = second_unless_larger(first, second);
    first = earlier;
  }
  const CivilDate a = host_calendar(first);  // the host sees the earlier date first
  const CivilDate b = host_calendar(second);
  *result = years(basis, a, b, sign);
  return kStatusOk;
}
