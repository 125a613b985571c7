// DATDIF(start, end, basis): the interval between two date values in days.
#include <algorithm>

#include "daycount/daycount.h"
#include "frame/frame.h"

using namespace mcn;

extern "C" MCN_EXPORT std::int32_t ufdatdi(const ArgBlock* args, double* result) {
  store_missing(result);
  const double start = date_argument(args, 0);
  if (!valid_date(start)) return kStatusMissing;
  const double end = date_argument(args, 1);
  if (!valid_date(end)) return kStatusMissing;

  // Every basis counts from the earlier date and negates afterwards; min and
  // max order the pair without a branch on its (random) direction.
  const bool negate = start > end;
  const double earlier = std::min(start, end);  // end < start ? end : start
  const double later = std::max(end, start);    // end < start ? start : end

  const int basis = basis_argument(args, 2, false);
  if (basis == kBasisNone) {
    store_missing(result);
    return kStatusMissing;
  }

  const CivilDate a = host_calendar(earlier);
  const CivilDate b = host_calendar(later);
  std::int64_t days;
  switch (basis) {
    case kBasis30360:
      days = diff_30360(a.month, a.day, a.year, b.month, b.day, b.year);
      break;
    case kBasisActAct:
      if (earlier == later) {
        days = 0;
      } else {
        double fraction;
        diff_actact(a.month, a.day, a.year, b.month, b.day, b.year, &days, &fraction);
      }
      break;
    default:  // kBasisAct360, kBasisAct365: the actual days
      days = actual_days(a, b);
      break;
  }
  *result = static_cast<double>(negate ? -days : days);
  return kStatusOk;
}
