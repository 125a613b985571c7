// DATDIF's count: the days between two dates under a basis. Shared by the
// module's entry and the explainer of the embedding library.
#ifndef MCN_FUNCTIONS_DATDIF_DAYS_H
#define MCN_FUNCTIONS_DATDIF_DAYS_H

#include "daycount/daycount.h"

namespace mcn::datdif {

// DATDIF's bases are the day counts, AGE none of them, and it has no basis
// when the argument is left out.
constexpr bool kAgeBasis = false;
constexpr int kLeftOutBasis = kBasisNone;

// Every basis counts from the earlier date a to the later b, and the count is
// negated when the start was the later one. ACT/ACT, ACT/360 and ACT/365 all
// count the actual days.
template <typename Trace>
std::int64_t days(int basis, CivilDate a, CivilDate b, Trace& trace) {
  return basis == kBasis30360 ? diff_30360(a, b, trace) : actual_days(a, b);
}

}  // namespace mcn::datdif

#endif  // MCN_FUNCTIONS_DATDIF_DAYS_H
