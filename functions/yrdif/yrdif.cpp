// YRDIF(start, end [, basis]): the interval between two date values in years.
#include "functions/arguments.h"
#include "functions/yrdif/years.h"

extern "C" MCN_EXPORT std::int32_t ufyrdif(const mcn::ArgBlock* args, double* result) {
  using namespace mcn;
  store_missing(result);
  double first = date_argument(args, 0);
  if (!valid_date(first)) return kStatusMissing;
  double second = date_argument(args, 1);
  if (!valid_date(second)) return kStatusMissing;
  const int basis = args->count == 2 ? kBasisAge : basis_argument(args, 2, true);
  if (basis == kBasisNone) return kStatusMissing;

  const double sign = yrdif::direction_sign(first, second);
  yrdif::order(basis, first, second);
  const CivilDate a = host_calendar(first);  // the host sees the earlier date first
  const CivilDate b = host_calendar(second);
  NoTrace none;
  *result = yrdif::years(basis, a, b, sign, none);
  return kStatusOk;
}
