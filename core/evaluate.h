// One evaluator for every face: a registered function called through the host
// protocol, for one pair or for arrays, with the cause of each missing result.
// The result is the module's own, bit for bit; the cause follows the order in
// which the functions test their arguments (start date, end date, basis).
#ifndef DMCORE_EVALUATE_H
#define DMCORE_EVALUATE_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "core/loader.h"
#include "frame/abi.h"

namespace dmcore {

// Why a result is missing. The numbers are those of the C interface.
enum class Cause : std::uint8_t {
  kNone = 0,            // not missing
  kDateMissing = 1,     // a date is missing (a NaN)
  kDateOutOfRange = 2,  // a date lies outside 1582-01-01 .. 20000-12-31
  kBasisMissing = 3,    // the basis argument was given without a value
  kBasisUnknown = 4,    // the basis text names no basis
  kNotADate = 5,        // a date was given as a text that is no date
  kNoSuchDay = 6,       // a date was given as a day the host calendar lacks
};
constexpr int kCauseCount = 7;

// The one text of each cause; "" for kNone.
const char* cause_text(Cause cause);

// The basis argument of an evaluation: left out (YRDIF then uses AGE), given
// without a value (SQL NULL, a missing value in an array, an empty text), or a
// text.
struct Basis {
  enum class Kind : std::uint8_t { kLeftOut, kMissing, kText };
  Kind kind;
  std::string_view text;

  static constexpr Basis left_out() { return {Kind::kLeftOut, {}}; }
  static constexpr Basis missing() { return {Kind::kMissing, {}}; }
  // A text; an empty one, or blanks only, is no value, as an empty cell of a
  // table is (the module would find no basis in it either).
  static constexpr Basis of(std::string_view t) {
    for (const char c : t)
      if (c != ' ' && c != '\t') return {Kind::kText, t};
    return missing();
  }
};

// Whether `f` may be called with this basis: leaving it out needs a function
// that takes two arguments.
inline bool accepts(const Function& f, const Basis& b) {
  return b.kind != Basis::Kind::kLeftOut || f.min_args <= 2;
}

// The cause of a missing result of these arguments, in the functions' order.
Cause missing_cause(double start, double end, const Basis& basis);

// Evaluations of one function, through one argument block that is reused from
// call to call. Only texts of up to 2^31 - 1 bytes can be described to a
// module; a longer one is cut there, which changes nothing, since the modules
// read only its first 256 bytes.
//
// Made for every call of the C interface's one-pair form, so it sets only
// what a module reads of its argument block (the count and the argument
// addresses); the host's own words of the block are left as they are.
class Evaluator {
 public:
  explicit Evaluator(const Function& f) : impl_(f.impl) {
    block_.count = 2;
    block_.args[0].value = &start_;
    block_.args[1].value = &end_;
    block_.args[2].value = nullptr;
  }
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  void basis(const Basis& b) {
    basis_ = b;
    block_.count = b.kind == Basis::Kind::kLeftOut ? 2 : 3;
    constexpr std::size_t kLongest = std::numeric_limits<std::int32_t>::max();
    text_.text = b.text.data();
    text_.length = static_cast<std::int32_t>(b.text.size() < kLongest ? b.text.size() : kLongest);
    // A text without bytes still needs an address: a null one is no value.
    if (text_.text == nullptr) text_.text = "";
    block_.args[2].value = b.kind == Basis::Kind::kText ? &text_ : nullptr;
  }

  // One evaluation: the module's result in *result, and the cause if missing.
  Cause run(double start, double end, double* result) {
    if (succeeds(start, end, result)) return Cause::kNone;
    return missing_cause(start, end, basis_);
  }
  // One evaluation, telling only whether its result is not missing: for
  // loops, which ask for the cause (missing_cause) where it is wanted.
  bool succeeds(double start, double end, double* result) {
    start_ = start;
    end_ = end;
    return impl_(&block_, result) == mcn::kStatusOk;
  }
  const Basis& basis() const { return basis_; }

 private:
  mcn::ImplEntry impl_;
  mcn::ArgBlock block_;
  mcn::TextDescriptor text_;
  Basis basis_ = Basis::left_out();
  double start_ = 0;
  double end_ = 0;
};

// n evaluations with one basis. causes (may be null) gets a Cause per pair.
// Returns the number of missing results. A large array is split across the
// pool of core/parallel.h, with the same results.
std::size_t evaluate_array(const Function& f, std::size_t n, const double* start, const double* end,
                           const Basis& basis, double* results, std::uint8_t* causes);

// n evaluations with a basis each: bases[i] of lengths[i] bytes, a null
// bases[i] being a basis without a value.
std::size_t evaluate_array_bases(const Function& f, std::size_t n, const double* start,
                                 const double* end, const char* const* bases,
                                 const std::size_t* lengths, double* results, std::uint8_t* causes);

}  // namespace dmcore

#endif  // DMCORE_EVALUATE_H
