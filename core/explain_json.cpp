// An explanation as one JSON object, the explained form for programs.
#include <cmath>
#include <string_view>

#include "core/dates.h"
#include "core/explain.h"
#include "core/explain_writing.h"
#include "core/quote.h"

namespace dmcore {

using mcn::CivilDate;
using mcn::valid_date;

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
