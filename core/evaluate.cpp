#include "core/evaluate.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/dates.h"
#include "core/parallel.h"
#include "functions/argument_tests.h"

namespace dmcore {

namespace {

// "date out of range (first to last)", the dates written from the bounds,
// into a buffer of its own: the text is handed out to C callers, so making it
// must not allocate (and so not fail).
struct OutOfRangeText {
  char text[64];
  OutOfRangeText() {
    char first[kIsoChars], last[kIsoChars];
    int first_length = 0, last_length = 0;
    if (!format_iso(mcn::kFirstDate, first, first_length)) first_length = 0;
    if (!format_iso(mcn::kDateLimit - 1, last, last_length)) last_length = 0;
    std::snprintf(text, sizeof text, "date out of range (%.*s to %.*s)", first_length, first,
                  last_length, last);
  }
};

}  // namespace

const char* cause_text(Cause cause) {
  static const OutOfRangeText out_of_range;
  switch (cause) {
    case Cause::kNone:
      return "";
    case Cause::kDateMissing:
      return "date missing";
    case Cause::kDateOutOfRange:
      return out_of_range.text;
    case Cause::kBasisMissing:
      return "basis missing";
    case Cause::kBasisUnknown:
      return "basis names no basis";
    case Cause::kNotADate:
      return reason_text(DateReason::kNotADate);
    case Cause::kNoSuchDay:
      return reason_text(DateReason::kNoSuchDay);
  }
  return "";
}

namespace {

// Why a date that failed its test is no usable date: the reason a NaN keeps,
// or a number beyond the calendar's range.
Cause date_cause(double d) {
  if (!std::isnan(d)) return Cause::kDateOutOfRange;
  switch (reason_of_value(d)) {
    case DateReason::kNotADate:
      return Cause::kNotADate;
    case DateReason::kNoSuchDay:
      return Cause::kNoSuchDay;
    default:
      return Cause::kDateMissing;
  }
}

}  // namespace

Cause missing_cause(double start, double end, const Basis& basis) {
  // The module found no usable basis when both dates passed.
  int code = mcn::kBasisNone;
  switch (mcn::first_failed_test(
      start, end, [] { return int{mcn::kBasisNone}; }, code)) {
    case mcn::FailedTest::kStart:
      return date_cause(start);
    case mcn::FailedTest::kEnd:
      return date_cause(end);
    default:
      return basis.kind == Basis::Kind::kMissing ? Cause::kBasisMissing : Cause::kBasisUnknown;
  }
}

namespace {

// Pairs begin..end with the evaluator's basis. The loop does little more
// than the call: causes were set to none before, and only a missing result
// (the rare case) asks for its cause.
std::size_t evaluate_run(Evaluator& e, std::size_t begin, std::size_t end, const double* starts,
                         const double* ends, double* results, std::uint8_t* causes) {
  std::size_t missing = 0;
  for (std::size_t i = begin; i < end; ++i) {
    if (__builtin_expect(e.succeeds(starts[i], ends[i], &results[i]), 1)) continue;
    ++missing;
    if (causes != nullptr)
      causes[i] = static_cast<std::uint8_t>(missing_cause(starts[i], ends[i], e.basis()));
  }
  return missing;
}

// One range of an array on the calling thread: runs of one basis (as a
// column of a table mostly has, or the whole array) set it once.
std::size_t evaluate_range(const Function& f, std::size_t begin, std::size_t end,
                           const double* starts, const double* ends, const Basis* basis,
                           const char* const* bases, const std::size_t* lengths, double* results,
                           std::uint8_t* causes) {
  if (causes != nullptr) std::memset(causes + begin, static_cast<int>(Cause::kNone), end - begin);
  Evaluator e(f);
  if (basis != nullptr) {
    e.basis(*basis);
    return evaluate_run(e, begin, end, starts, ends, results, causes);
  }
  std::size_t missing = 0;
  for (std::size_t i = begin; i < end;) {
    std::size_t next = i + 1;
    while (next < end && bases[next] == bases[i] && lengths[next] == lengths[i]) ++next;
    e.basis(bases[i] != nullptr ? Basis::of({bases[i], lengths[i]}) : Basis::missing());
    missing += evaluate_run(e, i, next, starts, ends, results, causes);
    i = next;
  }
  return missing;
}

// A whole array, large ones split across the pool.
std::size_t evaluate_split(const Function& f, std::size_t n, const double* starts,
                           const double* ends, const Basis* basis, const char* const* bases,
                           const std::size_t* lengths, double* results, std::uint8_t* causes) {
  std::atomic<std::size_t> missing{0};
  for_each_chunk(n, [&](std::size_t begin, std::size_t end) {
    missing.fetch_add(
        evaluate_range(f, begin, end, starts, ends, basis, bases, lengths, results, causes),
        std::memory_order_relaxed);
  });
  return missing.load();
}

}  // namespace

std::size_t evaluate_array(const Function& f, std::size_t n, const double* start, const double* end,
                           const Basis& basis, double* results, std::uint8_t* causes) {
  return evaluate_split(f, n, start, end, &basis, nullptr, nullptr, results, causes);
}

std::size_t evaluate_array_bases(const Function& f, std::size_t n, const double* start,
                                 const double* end, const char* const* bases,
                                 const std::size_t* lengths, double* results,
                                 std::uint8_t* causes) {
  return evaluate_split(f, n, start, end, nullptr, bases, lengths, results, causes);
}

}  // namespace dmcore
