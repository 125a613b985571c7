// YRDIF and DATDIF against an independent model, bit for bit, over random
// date pairs: the whole valid range, and clusters at month ends, 29 February,
// 1582, years divisible by 4000 and 20000, with fractional date values.
#include "differential_model.h"
#include "evaluation.h"

namespace {

using testing_support::bits;
using testing_support::Dates;
using testing_support::kBasisText;
using testing_support::kPairsPerBasis;
using testing_support::model_datdif;
using testing_support::model_yrdif;
using testing_support::valid;

class Differential : public testing_support::Functions {};

TEST_F(Differential, YrdifMatchesTheModelBitForBit) {
  for (int basis = 0; basis <= 5; ++basis) {  // 0: two arguments, AGE by default
    Dates dates(1000 + basis);
    int mismatches = 0;
    for (int i = 0; i < kPairsPerBasis && mismatches < 10; ++i) {
      const double s = dates.next(), e = dates.partner(s);
      const testing_support::Outcome r = basis == 0 ? yrdif(s, e) : yrdif(s, e, kBasisText[basis]);
      const double want = model_yrdif(s, e, basis == 0 ? 5 : basis);
      if (bits(r.value) != bits(want) ||
          r.status != (valid(s) && valid(e) ? 0 : mcn::kStatusMissing)) {
        ++mismatches;
        ADD_FAILURE() << "YRDIF(" << s << ", " << e << ", " << kBasisText[basis]
                      << ") = " << r.value << " status " << r.status << ", model " << want;
      }
    }
  }
}

TEST_F(Differential, DatdifMatchesTheModelBitForBit) {
  for (int basis = 1; basis <= 4; ++basis) {
    Dates dates(2000 + basis);
    int mismatches = 0;
    for (int i = 0; i < kPairsPerBasis && mismatches < 10; ++i) {
      const double s = dates.next(), e = dates.partner(s);
      const testing_support::Outcome r = datdif(s, e, kBasisText[basis]);
      const double want = model_datdif(s, e, basis);
      const bool ok = valid(s) && valid(e);
      if (bits(r.value) != bits(want) || r.status != (ok ? 0 : mcn::kStatusMissing)) {
        ++mismatches;
        ADD_FAILURE() << "DATDIF(" << s << ", " << e << ", " << kBasisText[basis]
                      << ") = " << r.value << " status " << r.status << ", model " << want;
      }
      if (ok) {  // exchanging the dates negates the count exactly
        const testing_support::Outcome back = datdif(e, s, kBasisText[basis]);
        if (back.value != -r.value) {
          ++mismatches;
          ADD_FAILURE() << "DATDIF(" << e << ", " << s << ") is not the negation";
        }
      }
    }
  }
}

}  // namespace
