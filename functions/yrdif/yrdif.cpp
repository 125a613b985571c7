// YRDIF(start, end [, basis]): the interval between two date values in years.
#include "functions/arguments.h"
#include "functions/yrdif/years.h"

extern "C" MCN_EXPORT std::int32_t ufyrdif(const mcn::ArgBlock* args, double* result) {
  using namespace mcn;
  store_missing(result);
  int basis = kBasisNone;
  const auto read_basis = [args] {
    return args->count == 2 ? yrdif::kLeftOutBasis : basis_argument(args, 2, yrdif::kAgeBasis);
  };
  double first = date_argument(args, 0);
  double second = date_argument(args, 1);
  if (first_failed_test(first, second, read_basis, basis) != FailedTest::kNone)
    return kStatusMissing;

  const double sign = direction_sign(first, second);
  yrdif::order(basis, first, second);
  const CivilDate a = host_calendar(first);  // the host sees the earlier date first
  const CivilDate b = host_calendar(second);
  NoTrace none;
  *result = yrdif::years(basis, a, b, sign, none);
  return kStatusOk;
}
