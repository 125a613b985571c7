// The floor of an evaluation: what the host protocol asks of any function
// like YRDIF and DATDIF and nothing more. It reads the arguments as they do,
// tests the dates, needs a basis text when one is given, orders the dates,
// makes the host calls they make (the calendar pair for each date, in the
// same order and with the same arguments) and stores a figure that takes no
// work. The modules' instructions and time per evaluation are measured
// beside it (bench/instructions, bench_modules): what they spend above it is
// their own work.
#include <algorithm>

#include "functions/arguments.h"

extern "C" MCN_EXPORT std::int32_t uffloor(const mcn::ArgBlock* args, double* result) {
  using namespace mcn;
  store_missing(result);
  const double start = date_argument(args, 0);
  const double end = date_argument(args, 1);
  int basis = kBasisNone;
  const auto read_basis = [args] {
    if (args->count == 2) return int{kBasisAge};
    const TextDescriptor* d = text_argument(args, 2);
    return d != nullptr && d->text != nullptr ? int{kBasisActAct} : int{kBasisNone};
  };
  if (first_failed_test(start, end, read_basis, basis) != FailedTest::kNone) return kStatusMissing;
  const bool negate = start > end;
  const CivilDate a = host_calendar(std::min(start, end));
  const CivilDate b = host_calendar(std::max(end, start));
  const double figure = b.day - a.day;
  *result = negate ? -figure : figure;
  return kStatusOk;
}
