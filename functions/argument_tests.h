// The tests that every function makes of its arguments before it counts, in
// their one order: the start date, the end date, then the basis. Shared by the
// modules' entries, the evaluator that gives the cause of a missing result and
// the explainer that shows the test that failed.
#ifndef MCN_FUNCTIONS_ARGUMENT_TESTS_H
#define MCN_FUNCTIONS_ARGUMENT_TESTS_H

#include <cstdint>

#include "daycount/daycount.h"
#include "frame/abi.h"

namespace mcn {

// A date value is usable when it is a number within the host's calendar range;
// every comparison with a NaN is false, so NaNs fail too.
constexpr bool valid_date(double d) { return d >= kFirstDate && d < kDateLimit; }

// The first test that fails.
enum class FailedTest : std::uint8_t { kNone = 0, kStart = 1, kEnd = 2, kBasis = 3 };

// Runs the tests in order. `read_basis`, which returns a basis code, is
// called only when both dates are usable; its code is left in `basis`.
template <typename ReadBasis>
inline FailedTest first_failed_test(double start, double end, ReadBasis read_basis, int& basis) {
  if (!valid_date(start)) return FailedTest::kStart;
  if (!valid_date(end)) return FailedTest::kEnd;
  basis = read_basis();
  return basis == kBasisNone ? FailedTest::kBasis : FailedTest::kNone;
}

}  // namespace mcn

#endif  // MCN_FUNCTIONS_ARGUMENT_TESTS_H
