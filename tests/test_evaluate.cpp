// YRDIF and DATDIF through the real protocol, rule by rule.
#include <limits>
#include <string>
#include <vector>

#include "daycount/daycount.h"
#include "differential_model.h"
#include "evaluation.h"

namespace {

using testing_support::bits;
using testing_support::date;
using testing_support::from_bits;
using testing_support::Functions;
using testing_support::Outcome;

class Yrdif : public testing_support::Functions {};
class Datdif : public testing_support::Functions {};

struct Case {
  int y1, m1, d1, y2, m2, d2;
  const char* basis;  // null: YRDIF with two arguments
  double expected;
};

TEST_F(Yrdif, AgeAnniversariesAreWholeYears) {
  const Case cases[] = {
      {2000, 2, 29, 2010, 2, 28, nullptr, 10.0},
      {2010, 2, 28, 2000, 2, 29, nullptr, -10.0},
      {2001, 3, 15, 2011, 3, 15, nullptr, 10.0},
      {2000, 3, 15, 2010, 3, 15, nullptr, 10.0},
      {2001, 3, 15, 2012, 3, 15, nullptr, 11.0},
      {1999, 3, 1, 2000, 3, 1, nullptr, 1.0},
      {2000, 2, 29, 2004, 2, 28, nullptr, 4.0},
      {2000, 2, 29, 2004, 2, 29, nullptr, 4.0},
      {2000, 1, 10, 2000, 6, 10, nullptr, 0.41369863013698627},
      {2000, 1, 10, 2000, 6, 10, "AGE", 0.41369863013698627},
      {1960, 7, 4, 2026, 7, 4, "age", 66.0},
      {1582, 1, 1, 20000, 1, 1, nullptr, 18418.0},
  };
  for (const Case& c : cases) {
    const double s = date(c.y1, c.m1, c.d1), e = date(c.y2, c.m2, c.d2);
    const Outcome r = c.basis ? yrdif(s, e, c.basis) : yrdif(s, e);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.value, c.expected)
        << c.y1 << "-" << c.m1 << "-" << c.d1 << " .. " << c.y2 << "-" << c.m2;
  }
}

TEST_F(Yrdif, BasesAndDirection) {
  const Case cases[] = {
      {2020, 1, 1, 2021, 1, 1, "ACT/ACT", 1.0},
      {2019, 7, 1, 2020, 7, 1, "ACT/ACT", 1.0013773486039375},
      {2020, 7, 1, 2019, 7, 1, "ACT/ACT", -1.0013773486039375},
      {2000, 7, 1, 2001, 7, 1, "actual", 0.9986226513960625},
      {2020, 1, 1, 2021, 1, 1, "ACT/365", 366.0 / 365.0},
      {2020, 1, 1, 2021, 1, 1, "ACT/360", 366.0 / 360.0},
      {2021, 1, 1, 2020, 1, 1, "ACT/365", -366.0 / 365.0},
      {2021, 2, 28, 2020, 3, 31, "30/360", -330.0 / 360.0},  // rules see the dates as given
      {2020, 3, 31, 2021, 2, 28, "30/360", 328.0 / 360.0},
      {4000, 2, 28, 4000, 3, 1, "ACT/360", 2.0 / 360.0},  // 4000 counts as leap here
  };
  for (const Case& c : cases) {
    const Outcome r = yrdif(date(c.y1, c.m1, c.d1), date(c.y2, c.m2, c.d2), c.basis);
    EXPECT_EQ(r.status, 0) << c.basis;
    EXPECT_EQ(r.value, c.expected) << c.basis << " " << c.y1 << "-" << c.m1 << "-" << c.d1;
  }
}

TEST_F(Datdif, BasesAndDirection) {
  const Case cases[] = {
      {2001, 1, 31, 2001, 2, 28, "30/360", 28.0},
      {2001, 2, 28, 2001, 1, 31, "30/360", -28.0},
      {2021, 2, 28, 2020, 3, 31, "30/360", -328.0},
      {2020, 3, 31, 2021, 2, 28, "30/360", 328.0},
      {2000, 2, 29, 2001, 2, 28, "30/360", 360.0},
      {2000, 2, 29, 2001, 2, 28, "ACT/ACT", 365.0},
      {2000, 2, 29, 2001, 2, 28, "ACT/360", 365.0},
      {2000, 2, 29, 2001, 2, 28, "ACT/365", 365.0},
      {2000, 2, 28, 2000, 3, 31, "30/360", 33.0},
      {2000, 3, 30, 2000, 3, 31, "30/360", 0.0},
      {2000, 1, 1, 2001, 1, 1, "ACTUAL", 366.0},
      {2001, 1, 1, 2000, 1, 1, "ACTUAL", -366.0},
      {2001, 1, 1, 2000, 1, 1, "act/act", -366.0},
      {2000, 1, 1, 2001, 1, 1, "ACT/360", 366.0},
      {2000, 1, 1, 2001, 1, 1, "AGE 360", 360.0},
      {4000, 2, 28, 4000, 3, 1, "ACT/ACT", 2.0},
      {4000, 2, 28, 4000, 3, 1, "ACT/360", 2.0},
      {4000, 2, 28, 4000, 3, 1, "ACT/365", 2.0},
      {1582, 1, 1, 20000, 12, 31, "ACT/ACT", 6727401.0},  // five leap days the host lacks
  };
  for (const Case& c : cases) {
    const Outcome r = datdif(date(c.y1, c.m1, c.d1), date(c.y2, c.m2, c.d2), c.basis);
    EXPECT_EQ(r.status, 0) << c.basis;
    EXPECT_EQ(r.value, c.expected) << c.basis << " " << c.y1 << "-" << c.m1 << "-" << c.d1;
  }
}

TEST_F(Yrdif, EqualDatesAndSignedZeros) {
  const double d = date(2012, 5, 17);
  for (const char* basis : {"ACT/ACT", "AGE", "ACT/360", "ACT/365", "30/360"}) {
    const Outcome r = yrdif(d, d, basis);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(bits(r.value), bits(0.0)) << basis;
  }
  // One calendar day, start later by a fraction: sign times 0.0 under ACT/ACT and AGE.
  EXPECT_EQ(bits(yrdif(d + 0.75, d + 0.25, "ACT/ACT").value), bits(-0.0));
  EXPECT_EQ(bits(yrdif(d + 0.75, d + 0.25).value), bits(-0.0));
  EXPECT_EQ(bits(yrdif(d + 0.25, d + 0.75).value), bits(0.0));
  EXPECT_EQ(bits(yrdif(d + 0.75, d + 0.25, "ACT/365").value), bits(0.0));
}

TEST_F(Datdif, EqualDatesAndSignedZeros) {
  const double d = date(2012, 5, 17);
  for (const char* basis : {"ACT/ACT", "ACT/360", "ACT/365", "30/360"}) {
    EXPECT_EQ(bits(datdif(d, d, basis).value), bits(0.0)) << basis;
    // An integer negated: +0.0, not -0.0.
    EXPECT_EQ(bits(datdif(d + 0.75, d + 0.25, basis).value), bits(0.0)) << basis;
  }
}

TEST_F(Functions, BoundsAndNaNsGiveTheMissingValue) {
  const double ok = date(2000, 1, 1);
  const double nan_kinds[] = {std::numeric_limits<double>::quiet_NaN(),
                              -std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::signaling_NaN(),
                              from_bits(mcn::kMissingBits),
                              from_bits(0x7FF0000000000001u),
                              from_bits(0xFFFFFFFFFFFFFFFFu)};
  std::vector<double> bad(std::begin(nan_kinds), std::end(nan_kinds));
  for (double v : {-138061.5, -138062.0, 6589336.0, 6589336.5, 1e300, -1e300,
                   std::numeric_limits<double>::infinity(),
                   -std::numeric_limits<double>::infinity(), std::nextafter(-138061.0, -1e9)})
    bad.push_back(v);
  for (double v : bad) {
    for (bool start : {true, false}) {
      const double s = start ? v : ok, e = start ? ok : v;
      EXPECT_TRUE(yrdif(s, e).missing()) << v;
      EXPECT_TRUE(yrdif(s, e, "ACT/ACT").missing()) << v;
      EXPECT_TRUE(datdif(s, e, "ACT/ACT").missing()) << v;
    }
  }
  for (double v : {-138061.0, 6589335.75, std::nextafter(6589336.0, 0.0), -0.0}) {
    EXPECT_EQ(yrdif(v, ok).status, 0) << v;
    EXPECT_EQ(yrdif(ok, v, "30/360").status, 0) << v;
    EXPECT_EQ(datdif(v, ok, "ACT/360").status, 0) << v;
    EXPECT_EQ(datdif(ok, v, "30/360").status, 0) << v;
  }
}

TEST_F(Functions, BasisArgumentFailures) {
  const double s = date(2000, 1, 1), e = date(2001, 1, 1);
  for (const char* basis : {"", "   ", "ACT", "30/365", "NL/365", "365/ACT", "ACT/366"}) {
    EXPECT_TRUE(yrdif(s, e, basis).missing()) << basis;
    EXPECT_TRUE(datdif(s, e, basis).missing()) << basis;
  }
  for (const char* basis : {"AGE", "PAGE", "age"}) {
    EXPECT_TRUE(datdif(s, e, basis).missing()) << basis;
    EXPECT_EQ(yrdif(s, e, basis).status, 0) << basis;
  }
  // A null descriptor or null text: missing, never the AGE default.
  for (mcn::ImplEntry f : {yrdif_entry, datdif_entry}) {
    testhost::Arguments null_descriptor(s, e, "ACT/ACT");
    null_descriptor.set_null_basis(true);
    EXPECT_TRUE(call(f, null_descriptor).missing());
    testhost::Arguments null_text(s, e);
    null_text.set_count(3);
    null_text.set_text(nullptr, 7);
    EXPECT_TRUE(call(f, null_text).missing());
  }
  // DATDIF never reads the argument count; YRDIF takes only 2 as "no basis".
  testhost::Arguments two(s, e, "ACT/360");
  two.set_count(2);
  EXPECT_EQ(call(datdif_entry, two).value, 366.0);
  EXPECT_EQ(call(yrdif_entry, two).value, 1.0);  // AGE
  two.set_count(4);
  EXPECT_EQ(call(yrdif_entry, two).value, 366.0 / 360.0);
}

TEST_F(Functions, CalendarIsCalledTwiceOnSuccessAndNeverOnFailure) {
  host.record_calls(true);
  const double s = date(2010, 6, 30) + 0.5, e = date(2001, 2, 3);
  struct Failing {
    double start, end;
    const char* basis;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Failing failing[] = {{nan, e, "nonsense"}, {1e9, e, "ACT"},    {s, nan, "ACT/ACT"},
                             {s, -2e5, "ACT/ACT"}, {s, e, "nonsense"}, {s, e, ""}};
  for (const Failing& f : failing) {
    host.clear_calls();
    EXPECT_TRUE(yrdif(f.start, f.end, f.basis).missing());
    EXPECT_TRUE(datdif(f.start, f.end, f.basis).missing());
    EXPECT_TRUE(host.calls().empty()) << f.basis;
  }

  // Successful calls: zjuldat, zymdjul for the first date, then for the second.
  struct Succeeding {
    mcn::ImplEntry entry;
    const char* basis;
    double first, second;
  };
  const Succeeding ok[] = {{yrdif_entry, "ACT/ACT", e, s}, {yrdif_entry, "AGE", e, s},
                           {yrdif_entry, "30/360", s, e},  {yrdif_entry, "ACT/365", s, e},
                           {datdif_entry, "30/360", e, s}, {datdif_entry, "ACT/360", e, s}};
  for (const Succeeding& c : ok) {
    host.clear_calls();
    EXPECT_EQ(call(c.entry, testhost::Arguments(s, e, c.basis)).status, 0);
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 4u) << c.basis;
    EXPECT_EQ(calls[0].id, (164ull << 32) | 9);
    EXPECT_EQ(calls[0].value, c.first) << c.basis;
    EXPECT_EQ(calls[1].id, (164ull << 32) | 21);
    EXPECT_EQ(calls[1].value, std::floor(c.first));
    EXPECT_EQ(calls[2].value, c.second) << c.basis;
    EXPECT_EQ(calls[3].value, std::floor(c.second));
  }
}

// With multi-byte text the host upper-cases through its routine: once, on
// the text without its trailing blanks, before the calendar calls, and only
// when the digit rules have not decided; short, padded and long texts alike.
TEST_F(Functions, MultibyteUpperCasingIsAskedOnceOfTheStrippedText) {
  host.set_multibyte(true);
  host.record_calls(true);
  const double s = date(2001, 2, 3), e = date(2010, 6, 30);
  struct Text {
    std::string basis;
    std::int64_t stripped;  // what wzstrup is given; -1: not called
    double years;
  };
  const Text texts[] = {
      {"act/act", 7, testing_support::model_yrdif(s, e, mcn::kBasisActAct)},
      {"act/act" + std::string(33, ' '), 7, testing_support::model_yrdif(s, e, mcn::kBasisActAct)},
      {" actual/365 and some " + std::string(9, ' '), 20,
       testing_support::model_yrdif(s, e, mcn::kBasisAct365)},
      {"age ", 3, testing_support::model_yrdif(s, e, mcn::kBasisAge)},
      {"30/360   ", -1, testing_support::model_yrdif(s, e, mcn::kBasis30360)},
  };
  for (const Text& c : texts) {
    host.clear_calls();
    const Outcome r = call(yrdif_entry, testhost::Arguments(s, e, c.basis));
    EXPECT_EQ(bits(r.value), bits(c.years)) << "'" << c.basis << "'";
    const auto calls = host.calls();
    const std::size_t upper = c.stripped >= 0 ? 1 : 0;
    ASSERT_EQ(calls.size(), 4 + upper) << "'" << c.basis << "'";
    if (upper == 1) {
      EXPECT_EQ(calls[0].id, mcn::service_id(mcn::service::wzstrup));
      EXPECT_EQ(static_cast<std::int64_t>(calls[0].words[1]), c.stripped) << "'" << c.basis << "'";
    }
    EXPECT_EQ(calls[upper].id, mcn::service_id(mcn::service::zjuldat));
  }
}

// The dates change places only when the start is later: otherwise each value
// reaches zjuldat as it came, signed zeros included, under every basis.
TEST_F(Functions, EachDateValueReachesTheHostUnchangedUnlessSwapped) {
  host.record_calls(true);
  for (const char* basis : {"ACT/ACT", "AGE", "30/360", "ACT/360"}) {
    for (const auto& [first, second] : {std::pair{-0.0, 0.0}, std::pair{0.0, -0.0}}) {
      for (mcn::ImplEntry f : {yrdif_entry, datdif_entry}) {
        host.clear_calls();
        const Outcome r = call(f, testhost::Arguments(first, second, basis));
        if (r.missing()) continue;  // AGE under DATDIF
        const auto calls = host.calls();
        ASSERT_EQ(calls.size(), 4u) << basis;
        EXPECT_EQ(bits(calls[0].value), bits(first)) << basis;
        EXPECT_EQ(bits(calls[2].value), bits(second)) << basis;
      }
    }
  }
}

}  // namespace
