// What an implementation entry does with its argument block and result slot:
// reading date values and the basis text, the missing value, and the host's
// calendar pair that turns a date value into a calendar date.
#ifndef MCN_FUNCTIONS_ARGUMENTS_H
#define MCN_FUNCTIONS_ARGUMENTS_H

#include "daycount/daycount.h"
#include "frame/frame.h"
#include "functions/argument_tests.h"

namespace mcn {

inline void store_missing(double* slot) { __builtin_memcpy(slot, &kMissingBits, sizeof *slot); }

inline double date_argument(const ArgBlock* args, int k) {
  return *static_cast<const double*>(args->args[k].value);
}

inline const TextDescriptor* text_argument(const ArgBlock* args, int k) {
  return static_cast<const TextDescriptor*>(args->args[k].value);
}

// The basis code of argument k: kBasisNone for a null descriptor or a null text.
inline int basis_argument(const ArgBlock* args, int k, bool age) {
  const TextDescriptor* d = text_argument(args, k);
  if (d == nullptr || d->text == nullptr) return kBasisNone;
  return parse_basis(d->text, d->length, age);
}

// Converts a date value to year, month and day through the host calendar pair.
inline CivilDate host_calendar(double date) {
  const double day = zjuldat(date);
  double year, month, mday;
  zymdjul(day, &year, &month, &mday);
  return {static_cast<std::int32_t>(year), static_cast<std::int32_t>(month),
          static_cast<std::int32_t>(mday)};
}

}  // namespace mcn

#endif  // MCN_FUNCTIONS_ARGUMENTS_H
