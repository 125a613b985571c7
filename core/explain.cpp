#include "core/explain.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/dates.h"
#include "core/library.h"
#include "core/quote.h"
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
  const double sign = direction_sign(start, end);
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
  e.from = engine_date(std::min(start, end));
  e.to = engine_date(std::max(end, start));
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

// --- The text ------------------------------------------------------------------

namespace {

__attribute__((format(printf, 2, 3))) void add(std::string& s, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n > 0) s.append(line, static_cast<std::size_t>(n) < sizeof line ? n : sizeof line - 1);
}

std::string number(double v) {
  char text[kNumberChars];
  return std::string(text, static_cast<std::size_t>(format_number(v, text)));
}

std::string civil(const CivilDate& d) {
  char text[32];
  std::snprintf(text, sizeof text, "%04" PRId32 "-%02" PRId32 "-%02" PRId32, d.year, d.month,
                d.day);
  return text;
}

// A date argument as a person wrote it: its ISO date, or the value itself.
std::string date_text(const ExplainedDate& d) {
  char iso[kIsoChars];
  int n = 0;
  if (std::isnan(d.value)) return "missing";
  if (d.has_date && d.value == std::floor(d.value) && format_iso(d.value, iso, n))
    return std::string(iso, static_cast<std::size_t>(n));
  return number(d.value);
}

std::string basis_argument_text(const Explanation& e) {
  switch (e.basis_given) {
    case Basis::Kind::kLeftOut:
      return "";
    case Basis::Kind::kMissing:
      return e.basis_text.empty() ? ", missing" : ", " + quoted(e.basis_text);
    case Basis::Kind::kText:
      break;
  }
  return ", " + quoted(e.basis_text);
}

void date_line(std::string& s, const char* label, const ExplainedDate& d) {
  if (const DateReason r = reason_of_value(d.value);
      r != DateReason::kMissing && std::isnan(d.value)) {
    add(s, "%-9s given, but %s\n", label, reason_text(r));
  } else if (std::isnan(d.value)) {
    add(s, "%-9s missing\n", label);
  } else if (!d.has_date) {
    add(s, "%-9s date value %s, beyond the calendar\n", label, number(d.value).c_str());
  } else {
    char iso[kIsoChars];
    int n = 0;
    format_iso(d.value, iso, n);
    add(s, "%-9s %.*s (date value %s)%s\n", label, n, iso, number(d.value).c_str(),
        valid_date(d.value) ? "" : ", out of range");
  }
}

void rule_lines(std::string& s, const Explanation& e) {
  for (int i = 0; i < e.rules_tried; ++i) {
    const RuleTried& t = e.rules[i];
    const mcn::BasisRuleKeys& k = mcn::kBasisRules[static_cast<int>(t.rule)];
    if (t.rule == BasisRule::kActThenAct)
      add(s, "  %-19s %s\n", "upper-cased", quoted(e.basis_read).c_str());
    if (t.rule == BasisRule::k360 && !e.age_basis)
      add(s, "  %-19s not tried: a basis of %s only\n", rule_name(BasisRule::kAge).c_str(),
          declared_names(true).c_str());
    std::string what;
    if (t.found_at < 0) {
      what = std::string("\"") + k.first + "\" not found";
    } else {
      what = std::string("\"") + k.first + "\" at " + std::to_string(t.found_at);
      if (k.then != nullptr)
        what += (t.decided ? std::string(", \"") : std::string(", no \"")) + k.then + "\" after it";
    }
    if (t.decided) what += std::string(": ") + basis_name(k.basis);
    add(s, "  %-19s %s\n", rule_name(t.rule).c_str(), what.c_str());
  }
}

void actact_lines(std::string& s, const Explanation& e) {
  for (int i = 0; i < e.parts; ++i) {
    const YearPart& p = e.part[i];
    if (i == 1 && e.whole_years > 0) {
      const std::int64_t last = e.whole_first + e.whole_years - 1;
      std::string years = std::to_string(e.whole_first);
      if (last != e.whole_first) years += " to " + std::to_string(last);
      add(s,
          "  %s: %" PRId64 " whole year%s, %" PRId64 " of them leap: %" PRId64 " * 365 + %" PRId64
          " * 366 days\n",
          years.c_str(), e.whole_years, e.whole_years == 1 ? "" : "s", e.whole_leap,
          e.whole_years - e.whole_leap, e.whole_leap);
    }
    add(s, "  %s to %s: %" PRId64 " days of %" PRId32 ", a %s year, / %d\n", civil(p.from).c_str(),
        civil(p.to).c_str(), p.days, p.from.year, p.leap ? "leap" : "common", p.leap ? 366 : 365);
  }
  add(s,
      "  common days %" PRId64 ", leap days %" PRId64 " (%" PRId64 " days): %" PRId64
      " / 365 + %" PRId64 " / 366",
      e.common_days, e.leap_days, e.days, e.common_days, e.leap_days);
  if (e.years_taken_off > 0) add(s, " - %d", e.years_taken_off);
  s += "\n";
}

void count_lines(std::string& s, const Explanation& e) {
  const bool yrdif = !e.whole_days;
  switch (e.count) {
    case Count::kNone:
      return;
    case Count::kThirty:
      add(s, "count     30/360: months of 30 days, years of 360, from %s to %s\n",
          civil(e.from).c_str(), civil(e.to).c_str());
      for (int i = 0; i < e.moves; ++i) {
        const DayMoved& m = e.moved[i];
        add(s, "  %s day %" PRId32 " -> %" PRId32 ": %s\n", m.end ? "end" : "start", m.from, m.to,
            thirty_rule_text(m.rule));
      }
      if (e.moves == 0) s += "  no day moved\n";
      // A day of February that is not its last one is where 30/360 surprises.
      for (const auto& [label, d] : {std::pair{"start", e.from}, std::pair{"end", e.to}}) {
        if (d.month == 2 && !mcn::is_end_of_february(d))
          add(s, "  the %s, %s, is not the last day of February (%" PRId32 " is a %s year)\n",
              label, civil(d).c_str(), d.year, mcn::gregorian_leap(d.year) ? "leap" : "common");
      }
      add(s,
          "  360 * (%" PRId32 " - %" PRId32 ") + 30 * (%" PRId32 " - %" PRId32 ") + (%" PRId32
          " - %" PRId32 ") = %" PRId64 " days\n",
          e.adjusted_to.year, e.adjusted_from.year, e.adjusted_to.month, e.adjusted_from.month,
          e.adjusted_to.day, e.adjusted_from.day, e.days);
      if (yrdif) add(s, "  %" PRId64 " / 360\n", e.days);
      break;
    case Count::kActual:
      add(s, "count     %s: the actual days from %s to %s\n",
          yrdif ? basis_name(e.basis) : "actual days", civil(e.from).c_str(), civil(e.to).c_str());
      add(s, "  day numbers %" PRId64 " to %" PRId64 ": %" PRId64 " days\n",
          mcn::day_number(e.from), mcn::day_number(e.to), e.days);
      if (yrdif) add(s, "  %" PRId64 " / %d\n", e.days, e.divisor);
      break;
    case Count::kActAct:
      add(s, "count     ACT/ACT: the days of each year over that year's length, from %s to %s\n",
          civil(e.from).c_str(), civil(e.to).c_str());
      actact_lines(s, e);
      break;
    case Count::kAge:
      add(s, "count     AGE: from %s to %s, the end years moved out of leap years\n",
          civil(e.from).c_str(), civil(e.to).c_str());
      for (int i = 0; i < e.shifts; ++i) {
        const AgeShift& a = e.shifted[i];
        add(s, "  %s %s -> %s: a year %s%s\n", a.end ? "end" : "start", civil(a.before).c_str(),
            civil(a.after).c_str(), a.end ? "later" : "earlier",
            a.before.day != a.after.day ? ", 29 February as 28" : "");
      }
      if (e.shifts == 0) s += "  neither year is a leap year: nothing moved\n";
      add(s, "  ACT/ACT from %s to %s, less the %d year%s moved:\n", civil(e.part[0].from).c_str(),
          civil(e.part[e.parts - 1].to).c_str(), e.shifts, e.shifts == 1 ? "" : "s");
      actact_lines(s, e);
      break;
  }
}

}  // namespace

std::string explanation_text(const Explanation& e) {
  std::string s;
  add(s, "%s(%s, %s%s)\n", e.function.c_str(), date_text(e.start).c_str(), date_text(e.end).c_str(),
      basis_argument_text(e).c_str());
  date_line(s, "start", e.start);
  if (e.failed != FailedTest::kStart) date_line(s, "end", e.end);

  if (e.failed == FailedTest::kNone || e.failed == FailedTest::kBasis) {
    if (e.basis_given == Basis::Kind::kLeftOut) {
      add(s, "%-9s left out: AGE\n", "basis");
    } else if (e.basis_given == Basis::Kind::kMissing) {
      add(s, "%-9s missing\n", "basis");
    } else {
      add(s, "%-9s %s read as %s: %s\n", "basis", quoted(e.basis_text).c_str(),
          quoted(e.basis_read).c_str(),
          e.basis != mcn::kBasisNone ? basis_name(e.basis) : "no basis");
      rule_lines(s, e);
    }
  }
  if (e.failed != FailedTest::kNone) {
    add(s, "missing   the %s: %s\n", failed_test_text(e.failed), cause_text(e.cause));
  } else {
    if (e.swapped)
      add(s, "direction the start is later: the dates change places, sign -1\n");
    else if (e.sign < 0)
      add(s, "direction the start is later: counted from the start, negative by itself\n");
    else
      add(s, "direction the start is not later: sign +1\n");
    count_lines(s, e);
    if (e.host_lacks > 0)
      add(s,
          "  %d of these days %s 29 February of a year divisible by 4000, which the host "
          "calendar lacks\n",
          e.host_lacks, e.host_lacks == 1 ? "is" : "are");
    add(s, "result    %s\n", number(e.result).c_str());
  }
  const std::string module_result =
      e.failed != FailedTest::kNone ? "missing (status " + std::to_string(mcn::kStatusMissing) + ")"
                                    : number(e.module_result);
  if (e.same_bits)
    add(s, "module    %s from %s: the same bits\n", module_result.c_str(), e.module.c_str());
  else
    add(s, "module    %s from %s: NOT THE SAME: the explanation and the module differ\n",
        number(e.module_result).c_str(), e.module.c_str());
  return s;
}

PartColumns part_columns(const Explanation& e) {
  PartColumns c;
  if (e.failed != FailedTest::kNone) {
    c.text[4] = cause_text(e.cause);
    return c;
  }
  c.text[0] = basis_name(e.basis);
  c.text[1] = e.swapped ? "swapped" : (e.sign < 0 ? "negative" : "");
  c.text[2] = std::to_string(e.days);
  std::string& f = c.text[3];
  switch (e.count) {
    case Count::kNone:
      break;
    case Count::kThirty:
    case Count::kActual:
      f = std::to_string(e.days) + " days";
      if (e.divisor != 0) f += " / " + std::to_string(e.divisor);
      break;
    case Count::kActAct:
    case Count::kAge:
      f = std::to_string(e.common_days) + "/365 + " + std::to_string(e.leap_days) + "/366";
      if (e.years_taken_off > 0) f += " - " + std::to_string(e.years_taken_off);
      break;
  }
  if (e.swapped) f = "-(" + f + ")";
  return c;
}

// --- JSON ----------------------------------------------------------------------

namespace {

// A JSON string of a text as messages quote it: escaped() makes it valid
// UTF-8 without control bytes; JSON then escapes its quotes and backslashes.
std::string js(std::string_view text, std::size_t limit = 80) {
  const std::string safe = escaped(text, limit);
  std::string s = "\"";
  for (const char c : safe) {
    if (c == '"' || c == '\\') s += '\\';
    s += c;
  }
  return s + "\"";
}

std::string jnum(double v) { return std::isfinite(v) ? number(v) : "null"; }

std::string jdate(const CivilDate& d) { return "\"" + civil(d) + "\""; }

std::string jbool(bool b) { return b ? "true" : "false"; }

std::string jexplained(const ExplainedDate& d) {
  std::string date = "null";
  char iso[kIsoChars];
  int n = 0;
  if (d.has_date && format_iso(d.value, iso, n)) date = "\"" + std::string(iso, n) + "\"";
  return "{\"value\":" + jnum(d.value) + ",\"date\":" + date +
         ",\"in_range\":" + jbool(valid_date(d.value)) + "}";
}

std::string jparts(const Explanation& e) {
  std::string s = "\"parts\":[";
  for (int i = 0; i < e.parts; ++i) {
    const YearPart& p = e.part[i];
    if (i > 0) s += ",";
    s += "{\"year\":" + std::to_string(p.from.year) + ",\"from\":" + jdate(p.from) +
         ",\"to\":" + jdate(p.to) + ",\"days\":" + std::to_string(p.days) +
         ",\"year_length\":" + (p.leap ? "366" : "365") + "}";
  }
  s += "],\"whole_years\":";
  if (e.parts == 2 && e.whole_years > 0)
    s += "{\"first\":" + std::to_string(e.whole_first) +
         ",\"count\":" + std::to_string(e.whole_years) +
         ",\"leap_years\":" + std::to_string(e.whole_leap) + "}";
  else
    s += "null";
  return s + ",\"common_days\":" + std::to_string(e.common_days) +
         ",\"leap_days\":" + std::to_string(e.leap_days);
}

std::string jcount(const Explanation& e) {
  if (e.count == Count::kNone) return "null";
  std::string s = "{\"basis\":\"" + std::string(basis_name(e.basis)) +
                  "\",\"from\":" + jdate(e.from) + ",\"to\":" + jdate(e.to);
  switch (e.count) {
    case Count::kNone:
      break;
    case Count::kThirty: {
      s += ",\"adjusted_from\":" + jdate(e.adjusted_from) +
           ",\"adjusted_to\":" + jdate(e.adjusted_to) + ",\"adjustments\":[";
      for (int i = 0; i < e.moves; ++i) {
        const DayMoved& m = e.moved[i];
        if (i > 0) s += ",";
        s += std::string("{\"date\":\"") + (m.end ? "end" : "start") + "\",\"rule\":\"" +
             thirty_rule_text(m.rule) + "\",\"from\":" + std::to_string(m.from) +
             ",\"to\":" + std::to_string(m.to) + "}";
      }
      s += "]";
      break;
    }
    case Count::kActual:
      s += ",\"from_day\":" + std::to_string(mcn::day_number(e.from)) +
           ",\"to_day\":" + std::to_string(mcn::day_number(e.to));
      break;
    case Count::kAge:
      s += ",\"shifts\":[";
      for (int i = 0; i < e.shifts; ++i) {
        const AgeShift& a = e.shifted[i];
        if (i > 0) s += ",";
        s += std::string("{\"date\":\"") + (a.end ? "end" : "start") +
             "\",\"from\":" + jdate(a.before) + ",\"to\":" + jdate(a.after) + "}";
      }
      s += "],\"years_taken_off\":" + std::to_string(e.years_taken_off) + "," + jparts(e);
      break;
    case Count::kActAct:
      s += "," + jparts(e);
      break;
  }
  s += ",\"days\":" + std::to_string(e.days) + ",\"formula\":" + js(part_columns(e).text[3]);
  if (e.count != Count::kThirty) s += ",\"days_host_lacks\":" + std::to_string(e.host_lacks);
  s += ",\"divisor\":" + (e.divisor != 0 ? std::to_string(e.divisor) : std::string("null"));
  return s + "}";
}

}  // namespace

std::string explanation_json(const Explanation& e) {
  std::string s = "{\"function\":" + js(e.function) + ",\"start\":" + jexplained(e.start) +
                  ",\"end\":" + jexplained(e.end) + ",\"basis\":{\"given\":";
  switch (e.basis_given) {
    case Basis::Kind::kLeftOut:
      s += "\"left out\",\"text\":null";
      break;
    case Basis::Kind::kMissing:
      s += "\"missing\",\"text\":" + (e.basis_text.empty() ? "null" : js(e.basis_text));
      break;
    case Basis::Kind::kText:
      s += "\"text\",\"text\":" + js(e.basis_text);
      break;
  }
  const bool read = e.rules_tried > 0;
  s += ",\"read\":" + (read ? js(e.basis_read, mcn::kBasisBuffer) : std::string("null")) +
       ",\"upper_cased\":" + jbool(e.upper_cased) + ",\"names\":" +
       (e.basis != mcn::kBasisNone ? "\"" + std::string(basis_name(e.basis)) + "\""
                                   : std::string("null")) +
       ",\"rules\":[";
  for (int i = 0; i < e.rules_tried; ++i) {
    const RuleTried& t = e.rules[i];
    if (i > 0) s += ",";
    s += "{\"rule\":" + js(rule_name(t.rule)) +
         ",\"found_at\":" + (t.found_at >= 0 ? std::to_string(t.found_at) : std::string("null")) +
         ",\"decided\":" + jbool(t.decided) + "}";
  }
  s += "]},\"direction\":";
  if (e.failed == FailedTest::kNone)
    s += "{\"swapped\":" + jbool(e.swapped) + ",\"sign\":" + std::to_string(e.sign) + "}";
  else
    s += "null";
  s += ",\"count\":" + jcount(e);
  const bool missing = e.failed != FailedTest::kNone;
  s += ",\"result\":" + (missing ? std::string("null") : jnum(e.result));
  s += ",\"module_result\":" + jnum(e.module_result);
  s += ",\"same_bits\":" + jbool(e.same_bits) + ",\"missing\":";
  if (missing)
    s += std::string("{\"test\":\"") + failed_test_text(e.failed) +
         "\",\"cause\":" + js(cause_text(e.cause)) +
         ",\"status\":" + std::to_string(mcn::kStatusMissing) + "}";
  else
    s += "null";
  return s + "}";
}

}  // namespace dmcore
