// The order of two date values, taken without branches: the direction of
// random date pairs is a coin toss, which a branch would mispredict half the
// time. Shared by the functions' counts.
#ifndef MCN_DAYCOUNT_ORDER_H
#define MCN_DAYCOUNT_ORDER_H

#include <emmintrin.h>

namespace mcn {

// The start unless the end is earlier, and the end unless the start is later:
// minsd and maxsd, which keep their first operand unless the comparison says
// otherwise, so that equal values (-0.0 and +0.0) stay where they were.
inline double first_unless_smaller(double first, double second) {
  return _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(second), _mm_set_sd(first)));
}
inline double second_unless_larger(double first, double second) {
  return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(first), _mm_set_sd(second)));
}

// -1 when the start is later than the end, else 1. The direction of random
// date pairs is a coin toss, so it is taken without a branch: the comparison's
// mask (all ones when the end is smaller) takes the sign bit into 1.0.
inline double direction_sign(double first, double second) {
  const __m128d later = _mm_cmplt_sd(_mm_set_sd(second), _mm_set_sd(first));
  return _mm_cvtsd_f64(_mm_xor_pd(_mm_set_sd(1.0), _mm_and_pd(later, _mm_set_sd(-0.0))));
}

}  // namespace mcn

#endif  // MCN_DAYCOUNT_ORDER_H
