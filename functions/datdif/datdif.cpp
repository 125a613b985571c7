// DATDIF(start, end, basis): the interval between two date values in days.
#include "daycount/order.h"
#include "functions/arguments.h"
#include "functions/datdif/days.h"

using namespace mcn;

extern "C" MCN_EXPORT std::int32_t ufdatdi(const ArgBlock* args, double* result) {
  store_missing(result);
  int basis = kBasisNone;
  const auto read_basis = [args] { return basis_argument(args, 2, datdif::kAgeBasis); };
  const double start = date_argument(args, 0);
  const double end = date_argument(args, 1);
  if (first_failed_test(start, end, read_basis, basis) != FailedTest::kNone) return kStatusMissing;

  // Every basis counts from the earlier date and negates afterwards, all
  // without a branch on the pair's (random) direction: minsd and maxsd order
  // it, and the count is negated through a mask.
  const std::int64_t negate = -static_cast<std::int64_t>(start > end);  // all ones or none
  const double earlier = first_unless_smaller(start, end);              // end < start ? end : start
  const double later = second_unless_larger(start, end);                // start > end ? start : end

  const CivilDate a = host_calendar(earlier);
  const CivilDate b = host_calendar(later);
  NoTrace none;
  const std::int64_t days = datdif::days(basis, a, b, none);
  *result = static_cast<double>((days ^ negate) - negate);
  return kStatusOk;
}
