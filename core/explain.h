// Explain one evaluation: the working of YRDIF and DATDIF shown step by step.
// The steps are those of the engine itself (the count templates of daycount/
// and functions/, run with a trace that keeps their working values), and the
// figure they give is checked against the module's own result, bit for bit.
#ifndef DMCORE_EXPLAIN_H
#define DMCORE_EXPLAIN_H

#include <cstdint>
#include <string>

#include "core/calendar.h"
#include "core/evaluate.h"
#include "core/loader.h"
#include "daycount/basis.h"
#include "functions/argument_tests.h"

namespace dmcore {

// Which of the function's tests of its arguments failed first.
using mcn::FailedTest;
const char* failed_test_text(FailedTest t);  // "", "start date", "end date", "basis"

// Whether the function can be explained: a function declared here
// (core/catalogue.h).
bool explainable(const Function& f);

struct ExplainedDate {
  double value;   // as the function received it
  bool has_date;  // the value lies within the calendar's bounds: `date` holds its day
  Civil date;
};

struct RuleTried {
  mcn::BasisRule rule;
  std::int32_t found_at;  // where the rule's first key was found, or -1
  bool decided;
};

struct DayMoved {  // a 30/360 adjustment
  mcn::ThirtyRule rule;
  bool end;  // of the end date (else of the start date)
  std::int32_t from;
  std::int32_t to;
};

struct YearPart {       // ACT/ACT: the days counted in one year
  mcn::CivilDate from;  // the first day counted
  mcn::CivilDate to;    // the day after the last one counted
  std::int64_t days;
  bool leap;
};

struct AgeShift {  // AGE: a date moved out of a leap year
  bool end;
  mcn::CivilDate before;
  mcn::CivilDate after;
};

// The counts: which fields hold depends on the function and the basis.
enum class Count : std::uint8_t {
  kNone = 0,    // no count: the result is missing
  kThirty = 1,  // 30/360: adjusted dates, adjustments, days (YRDIF: / 360)
  kActual = 2,  // the actual days from one day number to the other (YRDIF: / divisor)
  kActAct = 3,  // YRDIF ACT/ACT: the days split by the years they fall in
  kAge = 4,     // YRDIF AGE: the shifts, then the ACT/ACT split, less the shifts
};

struct Explanation {
  std::string function;  // the registered name
  std::string module;    // and the module that registered it
  bool whole_days;       // its results are days, else years
  bool age_basis;        // AGE is among its bases
  ExplainedDate start;
  ExplainedDate end;

  // The basis argument as given and as the rules read it.
  Basis::Kind basis_given;
  std::string basis_text;  // as given
  std::string basis_read;  // what the last rule tried looked at
  bool upper_cased;        // the rules came to the upper-casing
  int basis;               // the basis it names (mcn::kBasis...), kBasisNone for none
  int rules_tried;         // the first `rules_tried` entries of `rules`
  RuleTried rules[mcn::kBasisRuleCount];

  // The direction: the dates change places (ACT/ACT and AGE of YRDIF, and
  // every basis of DATDIF) when the start is later; sign -1 then.
  bool swapped;
  int sign;

  Count count;
  mcn::CivilDate from;  // the dates counted, in the order counted
  mcn::CivilDate to;
  std::int64_t days;  // the day count (30/360 or actual)
  // The 29 Februaries of years divisible by 4000 from `from` to `to`: the
  // engine counts them, the host calendar lacks them, so the actual days are
  // this many more than the difference of the date values.
  int host_lacks;
  int divisor;  // YRDIF's 360 or 365; 0 for ACT/ACT, AGE and DATDIF
  // kThirty
  mcn::CivilDate adjusted_from;
  mcn::CivilDate adjusted_to;
  int moves;
  DayMoved moved[2];
  // kActAct and kAge
  int shifts;
  AgeShift shifted[2];
  int parts;
  YearPart part[2];          // the partial first and last years (one within a year)
  std::int64_t whole_first;  // the first of the whole years between
  std::int64_t whole_years;  // how many
  std::int64_t whole_leap;   // of which leap years
  std::int64_t common_days;
  std::int64_t leap_days;
  int years_taken_off;  // AGE: the shifts taken off again

  // The result as the steps give it and as the module gave it.
  double result;
  double module_result;
  Cause module_cause;  // the cause of the module's result, as the evaluator gives it
  bool same_bits;
  Cause cause;
  FailedTest failed;
};

// Explains f(start, end, basis). f must be explainable and accept the basis.
Explanation explain(const Function& f, double start, double end, const Basis& basis);

// The count of each function, step by step: the explainer that a function's
// declaration names (functions/*/module.def). Each fills the count's parts and
// the result of an explanation whose arguments passed the tests.
void explain_yrdif(Explanation& e, double start, double end);
void explain_datdif(Explanation& e, double start, double end);

// The explanation as a person reads it: lines ending in "\n".
std::string explanation_text(const Explanation& e);
// As one JSON object (one line, no "\n"): see docs/explain.md for its shape.
std::string explanation_json(const Explanation& e);

// The main parts in a few words each, as the columns of a table of
// explanations (modhost batch --explain): the basis named, the direction
// ("swapped", "negative" or ""), the day count, the count's formula with its
// figures ("184/365 + 182/366", "30 days / 360") and the cause of a missing
// result. Empty texts where a part does not apply.
constexpr int kPartColumns = 5;
inline constexpr const char* kPartColumnNames[kPartColumns] = {"named", "direction", "days",
                                                               "count", "cause"};
struct PartColumns {
  std::string text[kPartColumns];
};
PartColumns part_columns(const Explanation& e);

// The names that the text and JSON give: "30/360", "ACT/ACT", "ACT/360",
// "ACT/365", "AGE", "" for none; a rule as its keys say ("\"30\" then \"360\"").
const char* basis_name(int basis);
std::string rule_name(mcn::BasisRule rule);
const char* thirty_rule_text(mcn::ThirtyRule rule);

}  // namespace dmcore

#endif  // DMCORE_EXPLAIN_H
