// The explainer's model: the function's tests and count run with a trace that
// keeps their working values, beside the module's own result. Its writers are
// explain_text.cpp and explain_json.cpp.
#include "core/explain.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/dates.h"
#include "core/library.h"
#include "functions/datdif/days.h"
#include "functions/yrdif/years.h"

namespace dmcore {

namespace {

using mcn::BasisRule;
using mcn::CivilDate;

using mcn::valid_date;

CivilDate engine_date(double value) {
  Civil c{};
  civil_from_date(value, c);
  return {static_cast<std::int32_t>(c.year), c.month, c.day};
}

ExplainedDate explained_date(double value) {
  ExplainedDate d{value, false, {0, 0, 0}};
  d.has_date = civil_from_date(value, d.date);
  return d;
}

// The trace that keeps what the engine tells it.
struct Recorder {
  Explanation& e;
  CivilDate from;  // the interval that diff_actact will count
  CivilDate to;

  void text(const char* buffer, std::int32_t n, bool upper_cased) {
    e.basis_read.assign(buffer, static_cast<std::size_t>(n));
    e.upper_cased = upper_cased;
  }
  void rule(BasisRule rule, std::int32_t found_at, bool decided) {
    e.rules[e.rules_tried++] = {rule, found_at, decided};
  }
  void adjusted(mcn::ThirtyRule rule, bool end, std::int32_t from_day, std::int32_t to_day) {
    e.moved[e.moves++] = {rule, end, from_day, to_day};
  }
  void year_part(std::int32_t year, std::int64_t days) {
    YearPart& p = e.part[e.parts];
    if (e.parts++ == 0) {
      p.from = from;
      p.to = year == to.year ? to : CivilDate{year + 1, 1, 1};
    } else {
      p.from = {year, 1, 1};
      p.to = to;
    }
    p.days = days;
    p.leap = mcn::gregorian_leap(year);
  }
  void whole_years(std::int64_t first, std::int64_t count, std::int64_t leap_years) {
    e.whole_first = first;
    e.whole_years = count;
    e.whole_leap = leap_years;
  }
  void age_shift(bool end, CivilDate before, CivilDate after) {
    e.shifted[e.shifts++] = {end, before, after};
    (end ? to : from) = after;
  }
};

void upper_case(char* buffer, std::int32_t n) {
  const unsigned char* table = process_runtime().table(mcn::kTableUpper);
  for (std::int32_t i = 0; i < n; ++i)
    buffer[i] = static_cast<char>(table[static_cast<unsigned char>(buffer[i])]);
}

// The 29 Februaries of years divisible by 4000 between two dates.
int leap_days_host_lacks(CivilDate from, CivilDate to) {
  const auto before = [](const CivilDate& a, const CivilDate& b) {
    return a.year != b.year     ? a.year < b.year
           : a.month != b.month ? a.month < b.month
                                : a.day < b.day;
  };
  if (before(to, from)) std::swap(from, to);
  int n = 0;
  for (std::int32_t y = (from.year + 3999) / 4000 * 4000; y <= to.year; y += 4000) {
    const CivilDate leap_day{y, 2, 29};
    n += !before(leap_day, from) && before(leap_day, to);
  }
  return n;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

void explain_yrdif(Explanation& e, double start, double end) {
  using namespace mcn::yrdif;
  const double sign = mcn::direction_sign(start, end);
  double first = start;
  double second = end;
  order(e.basis, first, second);
  e.swapped = counts_from_earlier(e.basis) && start > end;
  e.sign = sign < 0 ? -1 : 1;
  e.from = engine_date(first);
  e.to = engine_date(second);
  Recorder r{e, e.from, e.to};
  e.result = years(e.basis, e.from, e.to, sign, r);
  switch (e.basis) {
    case mcn::kBasis30360:
      e.count = Count::kThirty;
      e.days = mcn::diff_30360(e.from, e.to);
      e.divisor = 360;
      break;
    case mcn::kBasisAct360:
    case mcn::kBasisAct365:
      e.count = Count::kActual;
      e.days = mcn::actual_days(e.from, e.to);
      e.divisor = e.basis == mcn::kBasisAct360 ? 360 : 365;
      break;
    default: {  // ACT/ACT and AGE
      e.count = e.basis == mcn::kBasisAge ? Count::kAge : Count::kActAct;
      const mcn::ActActSplit split = mcn::diff_actact(r.from, r.to);
      e.common_days = split.common;
      e.leap_days = split.leap;
      e.days = split.days();
      e.years_taken_off = e.shifts;
      break;
    }
  }
}

void explain_datdif(Explanation& e, double start, double end) {
  const bool negate = start > end;
  e.swapped = negate;
  e.sign = negate ? -1 : 1;
  e.from = engine_date(mcn::first_unless_smaller(start, end));
  e.to = engine_date(mcn::second_unless_larger(start, end));
  Recorder r{e, e.from, e.to};
  const std::int64_t days = mcn::datdif::days(e.basis, e.from, e.to, r);
  e.result = static_cast<double>(negate ? -days : days);
  e.days = days;
  e.count = e.basis == mcn::kBasis30360 ? Count::kThirty : Count::kActual;
}

const char* failed_test_text(FailedTest t) {
  switch (t) {
    case FailedTest::kNone:
      return "";
    case FailedTest::kStart:
      return "start date";
    case FailedTest::kEnd:
      return "end date";
    case FailedTest::kBasis:
      return "basis";
  }
  return "";
}

bool explainable(const Function& f) { return f.declared != nullptr; }

const char* basis_name(int basis) {
  switch (basis) {
    case mcn::kBasis30360:
      return "30/360";
    case mcn::kBasisActAct:
      return "ACT/ACT";
    case mcn::kBasisAct360:
      return "ACT/360";
    case mcn::kBasisAct365:
      return "ACT/365";
    case mcn::kBasisAge:
      return "AGE";
    default:
      return "";
  }
}

std::string rule_name(BasisRule rule) {
  const mcn::BasisRuleKeys& k = mcn::kBasisRules[static_cast<int>(rule)];
  std::string s = std::string("\"") + k.first + "\"";
  if (k.then != nullptr) s += std::string(" then \"") + k.then + "\"";
  return s;
}

const char* thirty_rule_text(mcn::ThirtyRule rule) {
  switch (rule) {
    case mcn::ThirtyRule::kBothEndOfFebruary:
      return "both dates are the last day of February";
    case mcn::ThirtyRule::kStartEndOfFebruary:
      return "the start is the last day of February";
    case mcn::ThirtyRule::kEndOn31st:
      return "the end is a 31st and the start a 30th or 31st";
    case mcn::ThirtyRule::kStartOn31st:
      return "the start is a 31st";
  }
  return "";
}

Explanation explain(const Function& f, double start, double end, const Basis& basis) {
  Explanation e{};
  e.function = f.name;
  e.module = f.module;
  e.whole_days = f.whole_days();
  e.age_basis = f.declared->age_basis;
  e.start = explained_date(start);
  e.end = explained_date(end);
  e.basis_given = basis.kind;
  e.basis_text = std::string(basis.text);
  e.basis = mcn::kBasisNone;
  e.result = mcn::missing_value();

  // The module's own result.
  Evaluator module(f);
  module.basis(basis);
  e.module_cause = module.run(start, end, &e.module_result);

  // The function's tests, in their order, with the basis read as the module
  // reads it.
  const Declaration& d = *f.declared;
  const auto read_basis = [&] {
    if (basis.kind == Basis::Kind::kLeftOut) return d.left_out_basis;
    if (basis.kind != Basis::Kind::kText) return int{mcn::kBasisNone};
    const std::size_t n = basis.text.size() < std::size_t{mcn::kBasisBuffer}
                              ? basis.text.size()
                              : std::size_t{mcn::kBasisBuffer};
    Recorder r{e, {}, {}};
    return mcn::recognise_basis(basis.text.data(), static_cast<std::int32_t>(n), d.age_basis, r,
                                upper_case);
  };
  e.failed = mcn::first_failed_test(start, end, read_basis, e.basis);

  if (e.failed != FailedTest::kNone) {
    e.cause = missing_cause(start, end, basis);
  } else {
    d.explain_count(e, start, end);
  }
  e.adjusted_from = e.from;
  e.adjusted_to = e.to;
  if (e.count != Count::kNone && e.count != Count::kThirty)
    e.host_lacks = leap_days_host_lacks(e.from, e.to);
  for (int i = 0; i < e.moves; ++i) (e.moved[i].end ? e.adjusted_to : e.adjusted_from).day = 30;
  e.same_bits = same_bits(e.result, e.module_result) &&
                (e.module_cause == Cause::kNone) == (e.failed == FailedTest::kNone);
  return e;
}

}  // namespace dmcore
