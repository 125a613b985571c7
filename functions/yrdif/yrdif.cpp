// YRDIF(start, end [, basis]): the interval between two date values in years.
#include <algorithm>

#include "daycount/daycount.h"
#include "frame/frame.h"

namespace {

using namespace mcn;

// The ACT/ACT year fraction from a to b (a not later).
double actact_years(CivilDate a, CivilDate b) {
  std::int64_t days;
  double fraction;
  diff_actact(a.month, a.day, a.year, b.month, b.day, b.year, &days, &fraction);
  return fraction;
}

// AGE counts a date to the same day and month n years later as exactly n
// years: both end years are moved out of leap years so that the partial years
// at either end count in 365ths, and the moves are taken off again.
double age_years(CivilDate a, CivilDate b) {
  int count = 0;
  if (gregorian_leap(a.year)) {
    --a.year;
    ++count;
    if (a.month == 2 && a.day == 29) a.day = 28;
  }
  if (gregorian_leap(b.year)) {
    ++b.year;
    ++count;
    if (b.month == 2 && b.day == 29) b.day = 28;
  }
  return actact_years(a, b) - count;
}

}  // namespace

extern "C" MCN_EXPORT std::int32_t ufyrdif(const ArgBlock* args, double* result) {
  store_missing(result);
  double first = date_argument(args, 0);
  if (!valid_date(first)) return kStatusMissing;
  double second = date_argument(args, 1);
  if (!valid_date(second)) return kStatusMissing;

  int basis = kBasisAge;
  if (args->count != 2) {
    basis = basis_argument(args, 2, true);
    if (basis == kBasisNone) {
      store_missing(result);
      return kStatusMissing;
    }
  }

  // Only ACT/ACT and AGE put the dates in order; the other counts come out
  // negative by themselves. The direction of random date pairs is a coin
  // toss, so it is taken without branches (min, max and arithmetic).
  const bool reversed = first > second;
  const double sign = 1.0 - 2.0 * reversed;
  if (basis == kBasisActAct || basis == kBasisAge) {
    const double earlier = std::min(second, first);
    second = std::max(second, first);
    first = earlier;
  }

  const CivilDate a = host_calendar(first);
  const CivilDate b = host_calendar(second);
  double years;
  switch (basis) {
    case kBasis30360:
      years =
          static_cast<double>(diff_30360(a.month, a.day, a.year, b.month, b.day, b.year)) / 360.0;
      break;
    case kBasisActAct:
      years = first == second ? 0.0 : sign * actact_years(a, b);
      break;
    case kBasisAct360:
      years = static_cast<double>(actual_days(a, b)) / 360.0;
      break;
    case kBasisAct365:
      years = static_cast<double>(actual_days(a, b)) / 365.0;
      break;
    default:  // kBasisAge
      years = first == second ? 0.0 : sign * age_years(a, b);
      break;
  }
  *result = years;
  return kStatusOk;
}
