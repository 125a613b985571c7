// An explanation as a person reads it, and its main parts as the columns of
// a table.
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "core/dates.h"
#include "core/explain.h"
#include "core/explain_writing.h"
#include "core/quote.h"

namespace dmcore {

using mcn::BasisRule;
using mcn::CivilDate;
using mcn::valid_date;

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

namespace {

__attribute__((format(printf, 2, 3))) void add(std::string& s, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n > 0) s.append(line, static_cast<std::size_t>(n) < sizeof line ? n : sizeof line - 1);
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

}  // namespace dmcore
