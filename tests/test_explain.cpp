// Explanations: over random date pairs for every function and basis the
// explained figure is the module's result bit for bit and its parts add up;
// random basis texts are explained by the rule that decides them; missing
// results name the first failed test; and the text and JSON of the worked
// examples and surprising cases are compared in full with fixtures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "basis_model.h"
#include "core/dates.h"
#include "core/explain.h"
#include "core/library.h"
#include "differential_model.h"

namespace {

using dmcore::Basis;
using dmcore::Count;
using dmcore::Explanation;
using dmcore::FailedTest;
using testing_support::kBasisText;
using testing_support::kPairsPerBasis;

std::uint64_t bits(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

const dmcore::Registry& registry() {
  static const dmcore::Registry r = dmcore::open_directory(MODULE_DIR);
  return r;
}

const dmcore::Function& function(const char* name) {
  const auto it = registry().functions.find(name);
  if (it == registry().functions.end()) {
    ADD_FAILURE() << name << " is not registered from " << MODULE_DIR;
    std::abort();
  }
  return it->second;
}

// The floor of a date value: its day, as the host calendar holds it.
std::int64_t day_of(double v) { return static_cast<std::int64_t>(std::floor(v)); }

// What the parts of an explanation must come to, checked against the dates
// and against the result.
void check_parts(const Explanation& e, double start, double end) {
  ASSERT_EQ(e.failed, FailedTest::kNone);
  const bool yrdif = e.function == "YRDIF";
  // The dates counted are the days of the arguments, in the order counted.
  const double first = e.swapped ? end : start;
  const double second = e.swapped ? start : end;
  // The engine's day numbers count 29 February of years divisible by 4000,
  // which the host calendar lacks.
  const std::int64_t actual =
      day_of(second) - day_of(first) + (second >= first ? 1 : -1) * e.host_lacks;
  if (e.count != Count::kThirty) {
    EXPECT_EQ(mcn::day_number(e.to) - mcn::day_number(e.from), actual);
  }
  EXPECT_EQ(e.swapped,
            start > end && (!yrdif || e.basis == mcn::kBasisActAct || e.basis == mcn::kBasisAge));
  EXPECT_EQ(e.sign, start > end ? -1 : 1);

  switch (e.count) {
    case Count::kThirty: {
      const mcn::CivilDate& a = e.adjusted_from;
      const mcn::CivilDate& b = e.adjusted_to;
      EXPECT_EQ(360 * (std::int64_t{b.year} - a.year) + 30 * (b.month - a.month) + (b.day - a.day),
                e.days);
      // A moved day was the date's own and became 30; an unmoved one stayed.
      bool from_moved = false, to_moved = false;
      for (int i = 0; i < e.moves; ++i) {
        const dmcore::DayMoved& m = e.moved[i];
        EXPECT_EQ(m.to, 30);
        (m.end ? to_moved : from_moved) = true;
        if (m.end && m.rule == mcn::ThirtyRule::kBothEndOfFebruary) {
          EXPECT_EQ(m.from, e.to.day);
        }
        if (!m.end) {
          EXPECT_EQ(m.from, e.from.day);
        }
      }
      EXPECT_EQ(a.day, from_moved ? 30 : e.from.day);
      EXPECT_EQ(b.day, to_moved ? 30 : e.to.day);
      EXPECT_EQ(bits(e.result), bits(yrdif ? static_cast<double>(e.days) / 360.0
                                           : static_cast<double>(e.sign * e.days)));
      break;
    }
    case Count::kActual:
      EXPECT_EQ(e.days, actual);
      EXPECT_EQ(bits(e.result), bits(yrdif ? static_cast<double>(e.days) / e.divisor
                                           : static_cast<double>(e.sign * e.days)));
      break;
    case Count::kActAct:
    case Count::kAge: {
      // Common days and leap days make the days; the parts and the whole
      // years between make each.
      EXPECT_EQ(e.common_days + e.leap_days, e.days);
      std::int64_t common = 365 * (e.whole_years - e.whole_leap), leap = 366 * e.whole_leap;
      for (int i = 0; i < e.parts; ++i) {
        const dmcore::YearPart& p = e.part[i];
        EXPECT_EQ(mcn::day_number(p.to) - mcn::day_number(p.from), p.days);
        EXPECT_EQ(p.leap, mcn::gregorian_leap(p.from.year));
        (p.leap ? leap : common) += p.days;
      }
      EXPECT_EQ(common, e.common_days);
      EXPECT_EQ(leap, e.leap_days);
      EXPECT_EQ(e.part[0].from.year + (e.parts == 2 ? 1 : 0) + e.whole_years,
                e.part[e.parts - 1].from.year);
      // Without shifts the ACT/ACT days are the actual days; AGE moves each
      // end by a year at most.
      if (e.shifts == 0) {
        EXPECT_EQ(e.days, actual);
      }
      EXPECT_EQ(e.years_taken_off, e.count == Count::kAge ? e.shifts : 0);
      const double years = static_cast<double>(e.common_days) / 365.0 +
                           static_cast<double>(e.leap_days) / 366.0 - e.years_taken_off;
      EXPECT_EQ(bits(e.result), bits(e.sign * years));
      break;
    }
    case Count::kNone:
      ADD_FAILURE() << "no count for a result";
  }
}

struct Pairs : testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(Pairs, ExplainedFigureIsTheModulesAndItsPartsAddUp) {
  const auto [name, code] = GetParam();
  const dmcore::Function& f = function(name);
  const Basis basis = code == 0 ? Basis::left_out() : Basis::of(kBasisText[code]);
  dmcore::Evaluator module(f);
  module.basis(basis);
  testing_support::Dates dates(0xE1A9 + code + (f.name == "YRDIF" ? 0 : 100));
  int results = 0;
  for (int i = 0; i < kPairsPerBasis; ++i) {
    const double start = dates.next();
    const double end = dates.partner(start);
    const Explanation e = dmcore::explain(f, start, end, basis);
    double expected;
    const dmcore::Cause cause = module.run(start, end, &expected);
    ASSERT_TRUE(e.same_bits) << name << " " << start << " " << end;
    ASSERT_EQ(bits(e.module_result), bits(expected));
    ASSERT_EQ(e.cause, cause);
    if (cause != dmcore::Cause::kNone) {
      EXPECT_EQ(e.count, Count::kNone);
      continue;
    }
    ++results;
    ASSERT_EQ(bits(e.result), bits(expected));
    check_parts(e, start, end);
    if (testing::Test::HasFailure()) FAIL() << name << "(" << start << ", " << end << ")";
  }
  EXPECT_GT(results, kPairsPerBasis * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(EveryBasis, Pairs,
                         testing::Values(std::pair{"YRDIF", 0}, std::pair{"YRDIF", 1},
                                         std::pair{"YRDIF", 2}, std::pair{"YRDIF", 3},
                                         std::pair{"YRDIF", 4}, std::pair{"YRDIF", 5},
                                         std::pair{"DATDIF", 1}, std::pair{"DATDIF", 2},
                                         std::pair{"DATDIF", 3}, std::pair{"DATDIF", 4}),
                         [](const auto& test) {
                           return std::string(test.param.first) + "_" +
                                  std::to_string(test.param.second);
                         });

// Texts made of the keys, their neighbours and blanks: the rule that an
// explanation says decided names the basis, every earlier rule was tried and
// failed, and an independent reading of the rules agrees.
TEST(Explain, BasisTextsAreExplainedByTheirDecidingRule) {
  static const char* const kPieces[] = {"30",  "360", "365", "3", "6",  "ACT", "act", "Ac", "UAL",
                                        "AGE", "age", "/",   " ", "  ", "-",   "\t",  "X",  "0"};
  std::mt19937_64 rng(17);
  for (const char* name : {"YRDIF", "DATDIF"}) {
    const dmcore::Function& f = function(name);
    const bool age = f.name == "YRDIF";
    for (int i = 0; i < 20000; ++i) {
      std::string text;
      const int pieces = 1 + static_cast<int>(rng() % 6);
      for (int k = 0; k < pieces; ++k) text += kPieces[rng() % std::size(kPieces)];
      if (rng() % 50 == 0) text = std::string(250 + rng() % 20, 'x') + text;  // beyond 256
      const Explanation e = dmcore::explain(f, 22000, 22400.5, Basis::of(text));
      ASSERT_TRUE(e.same_bits) << text;
      if (e.basis_given != Basis::Kind::kText) continue;  // blanks only: missing
      EXPECT_EQ(e.basis, testing_support::basis_model(text, age)) << text;
      ASSERT_GT(e.rules_tried, 0) << text;
      for (int k = 0; k < e.rules_tried; ++k) {
        const dmcore::RuleTried& t = e.rules[k];
        EXPECT_EQ(t.decided, k == e.rules_tried - 1 && e.basis != mcn::kBasisNone) << text;
        EXPECT_TRUE(k == 0 || e.rules[k - 1].rule < t.rule) << text;
        EXPECT_TRUE(t.rule != mcn::BasisRule::kAge || age) << text;
        if (t.found_at >= 0) {
          const char* key = mcn::kBasisRules[static_cast<int>(t.rule)].first;
          EXPECT_EQ(
              e.basis_read.compare(static_cast<std::size_t>(t.found_at), std::strlen(key), key), 0)
              << text;
        }
      }
      const dmcore::RuleTried& last = e.rules[e.rules_tried - 1];
      EXPECT_EQ(
          last.decided ? mcn::kBasisRules[static_cast<int>(last.rule)].basis : int{mcn::kBasisNone},
          e.basis)
          << text;
      EXPECT_EQ(last.rule, e.basis == mcn::kBasisNone ? mcn::BasisRule::k360 : last.rule) << text;
      EXPECT_LE(e.basis_read.size(), std::size_t{mcn::kBasisBuffer});
    }
  }
}

// Each missing result names the first of the function's tests that failed.
TEST(Explain, MissingResultsNameTheFirstFailedTest) {
  const double nan = std::nan("");
  struct Case {
    const char* function;
    double start, end;
    Basis basis;
    FailedTest failed;
    const char* cause;
  } cases[] = {
      {"YRDIF", nan, 1e9, Basis::of("nonsense"), FailedTest::kStart, "date missing"},
      {"YRDIF", -138062, nan, Basis::missing(), FailedTest::kStart,
       "date out of range (1582-01-01 to 20000-12-31)"},
      {"YRDIF", 0, nan, Basis::of("nonsense"), FailedTest::kEnd, "date missing"},
      {"DATDIF", 0, 6589336, Basis::missing(), FailedTest::kEnd,
       "date out of range (1582-01-01 to 20000-12-31)"},
      {"DATDIF", 0, 1e300, Basis::of("ACT/ACT"), FailedTest::kEnd,
       "date out of range (1582-01-01 to 20000-12-31)"},
      {"YRDIF", 0, 1, Basis::missing(), FailedTest::kBasis, "basis missing"},
      {"YRDIF", 0, 1, Basis::of("   "), FailedTest::kBasis, "basis missing"},
      {"YRDIF", 0, 1, Basis::of("365"), FailedTest::kBasis, "basis names no basis"},
      {"DATDIF", 0, 1, Basis::of("AGE"), FailedTest::kBasis, "basis names no basis"},
      {"YRDIF", 0, 1, Basis::left_out(), FailedTest::kNone, ""},
      {"YRDIF", -138061, 6589335.99, Basis::of("x360"), FailedTest::kNone, ""},
  };
  for (const Case& c : cases) {
    const Explanation e = dmcore::explain(function(c.function), c.start, c.end, c.basis);
    SCOPED_TRACE(std::string(c.function) + " " + c.cause);
    EXPECT_TRUE(e.same_bits);
    EXPECT_EQ(e.failed, c.failed);
    EXPECT_STREQ(dmcore::cause_text(e.cause), c.cause);
    const std::string json = dmcore::explanation_json(e);
    if (c.failed == FailedTest::kNone) {
      EXPECT_NE(json.find("\"missing\":null"), std::string::npos) << json;
      EXPECT_NE(e.count, Count::kNone);
    } else {
      EXPECT_NE(json.find(std::string("\"missing\":{\"test\":\"") +
                          dmcore::failed_test_text(c.failed) + "\",\"cause\":\"" + c.cause + "\""),
                std::string::npos)
          << json;
      EXPECT_NE(dmcore::explanation_text(e).find(
                    std::string("the ") + dmcore::failed_test_text(c.failed) + ": " + c.cause),
                std::string::npos);
    }
  }
}

// The fixtures: each line of cases.tsv (name, function, start, end and an
// optional basis) has NAME.txt and NAME.json beside it, compared in full.
std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Explain, TextAndJsonOfTheFixtures) {
  std::istringstream cases(read_file(EXPLAIN_DIR "/cases.tsv"));
  std::string line;
  int n = 0;
  while (std::getline(cases, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    ASSERT_GE(f.size(), 4u) << line;
    double dates[2];
    for (int i = 0; i < 2; ++i)
      ASSERT_NE(dmcore::read_date(f[2 + i], dates[i]), dmcore::DateReason::kNotADate) << line;
    const Explanation e = dmcore::explain(function(f[1].c_str()), dates[0], dates[1],
                                          f.size() > 4 ? Basis::of(f[4]) : Basis::left_out());
    EXPECT_EQ(dmcore::explanation_text(e), read_file(EXPLAIN_DIR "/" + f[0] + ".txt")) << f[0];
    EXPECT_EQ(dmcore::explanation_json(e) + "\n", read_file(EXPLAIN_DIR "/" + f[0] + ".json"))
        << f[0];
    ++n;
  }
  EXPECT_GE(n, 10);
}

}  // namespace
