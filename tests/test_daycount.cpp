// 30/360, the day number, the ACT/ACT split and isleap.
#include <cmath>

#include "core/calendar.h"
#include "models.h"
#include "unit.h"

namespace {

TEST(Diff30360, EndOfMonthRulesInOrder) {
  struct Case {
    int d1, m1, y1, d2, m2, y2;
    std::int64_t expected;
  };
  const Case cases[] = {
      {28, 2, 2021, 31, 3, 2021, 30},   {27, 2, 2021, 31, 3, 2021, 34},
      {29, 2, 2020, 28, 2, 2021, 360},  {28, 2, 2020, 29, 2, 2020, 1},
      {31, 1, 2021, 28, 2, 2021, 28},   {15, 1, 2021, 31, 3, 2021, 76},
      {30, 1, 2021, 31, 3, 2021, 60},   {31, 12, 2020, 31, 1, 2021, 30},
      {31, 1, 2021, 31, 1, 2022, 360},  {31, 3, 2020, 28, 2, 2021, 328},
      {28, 2, 2021, 31, 3, 2020, -330}, {28, 2, 2100, 1, 3, 2100, 1},
      {28, 2, 1900, 31, 3, 1900, 30},   {28, 2, 4000, 31, 3, 4000, 33},
      {29, 2, 4000, 31, 3, 4000, 30},   {17, 6, 2011, 17, 6, 2011, 0},
      {31, 5, 2011, 31, 5, 2011, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(mcn::diff_30360({c.y1, c.m1, c.d1}, {c.y2, c.m2, c.d2}), c.expected)
        << c.d1 << "/" << c.m1 << "/" << c.y1 << " .. " << c.d2 << "/" << c.m2 << "/" << c.y2;
}

// The day number as written with doubles and truncation, for comparison.
std::int64_t day_number_in_doubles(std::int32_t year, std::int32_t month, std::int32_t day) {
  return testing_support::model_day_number(year, month, day);
}

TEST(DayNumber, EqualsTheDoubleFormulaForAnyYearAndMonth) {
  for (std::int64_t y = -5000; y <= 25000; ++y)
    for (int m = -3; m <= 15; ++m)
      ASSERT_EQ(mcn::day_number(static_cast<std::int32_t>(y), m, 1),
                day_number_in_doubles(static_cast<std::int32_t>(y), m, 1))
          << y << "-" << m;
  for (std::int32_t y : {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX})
    for (std::int32_t m : {INT32_MIN, 0, 2, 3, 12, 1000003, INT32_MAX})
      EXPECT_EQ(mcn::day_number(y, m, 7), day_number_in_doubles(y, m, 7)) << y << "-" << m;
}

TEST(DayNumber, StepsOneDayAlongTheHostCalendarButForLeapDaysOf4000Years) {
  EXPECT_EQ(mcn::day_number(1960, 1, 1) - mcn::day_number(1582, 1, 1), 138061);
  EXPECT_EQ(mcn::day_number(2000, 1, 1) - mcn::day_number(1960, 1, 1), 14610);
  std::int64_t previous = 0;
  for (std::int64_t v = -138061; v <= 6589335; ++v) {
    const dmcore::Civil c = dmcore::civil_from_days(v);
    const std::int64_t dn = mcn::day_number(static_cast<std::int32_t>(c.year), c.month, c.day);
    if (v > -138061) {
      // The day number counts a 29 February that the host calendar lacks.
      const bool skipped = c.month == 3 && c.day == 1 && c.year % 4000 == 0;
      if (dn - previous != (skipped ? 2 : 1)) FAIL() << "date value " << v;
    }
    previous = dn;
  }
}

TEST(GregorianLeap, FollowsTheRuleForEveryYearOfTheRangeAndTheExtremes) {
  for (std::int32_t y = -30000; y <= 30000; ++y)
    ASSERT_EQ(mcn::gregorian_leap(y), testing_support::model_gregorian_leap(y)) << y;
  for (std::int32_t y : {INT32_MIN, INT32_MIN + 400, INT32_MAX, INT32_MAX - 47, 2147483600})
    EXPECT_EQ(mcn::gregorian_leap(y), testing_support::model_gregorian_leap(y)) << y;
}

// The day of the year against day numbers, for every date of the calendar.
TEST(DayOfYear, IsTheDayNumberLessThatOfTheFirstOfJanuary) {
  for (std::int64_t v = -138061; v <= 6589335; ++v) {
    const dmcore::Civil c = dmcore::civil_from_days(v);
    const mcn::CivilDate d{static_cast<std::int32_t>(c.year), c.month, c.day};
    const std::int64_t want = mcn::day_number(d) - mcn::day_number(d.year, 1, 1);
    if (mcn::day_of_year(d, mcn::gregorian_leap(d.year)) != want) FAIL() << "date value " << v;
  }
}

mcn::ActActSplit actact(int sy, int sm, int sd, int ey, int em, int ed) {
  return mcn::diff_actact({sy, sm, sd}, {ey, em, ed});
}

TEST(DiffActAct, DocumentedSplits) {
  struct Case {
    int sy, sm, sd, ey, em, ed;
    std::int64_t days;
    double fraction;
  };
  const Case cases[] = {
      {2000, 7, 1, 2001, 7, 1, 365, 0.9986226513960625},
      {2000, 1, 1, 2001, 1, 1, 366, 1.0},
      {2001, 1, 1, 2002, 1, 1, 365, 1.0},
      {1999, 12, 31, 2000, 1, 1, 1, 1.0 / 365},
      {2000, 12, 31, 2001, 1, 1, 1, 1.0 / 366},
      {2003, 3, 1, 2004, 3, 1, 366, 306.0 / 365 + 60.0 / 366},
      {2004, 2, 1, 2004, 3, 1, 29, 29.0 / 366},
      {1900, 2, 1, 1900, 3, 1, 28, 28.0 / 365},
      {2001, 1, 1, 2003, 12, 31, 1094, 1094.0 / 365},
      {4000, 2, 28, 4000, 3, 1, 2, 2.0 / 366},
      {4000, 1, 1, 4001, 1, 1, 366, 1.0},
      {2011, 5, 5, 2011, 5, 5, 0, 0.0},
  };
  for (const Case& c : cases) {
    const mcn::ActActSplit s = actact(c.sy, c.sm, c.sd, c.ey, c.em, c.ed);
    EXPECT_EQ(s.days(), c.days) << c.sy << "-" << c.sm << "-" << c.sd;
    EXPECT_EQ(s.years(), c.fraction) << c.sy << "-" << c.sm << "-" << c.sd;
  }
  EXPECT_NEAR(actact(2003, 3, 1, 2004, 3, 1).years(), 1.00229059061307, 1e-14);
}

// The closed form against the year-by-year loop's running sums, for every
// pair of years from 1582 to 20001, through the whole-year part of the split
// (start on 1 January, end on 1 January: no partial years).
TEST(DiffActAct, ClosedFormEqualsTheYearLoopForEveryPairOfYears) {
  constexpr int kFirst = 1582, kLast = 20001;
  const auto leap = testing_support::model_gregorian_leap;
  for (int sy = kFirst; sy <= kLast; ++sy) {
    std::int64_t leap_days = 0, common_days = 0;  // the loop's running sums
    // Start 2 July of sy, so that a partial first year comes along.
    const std::int64_t first = mcn::day_number(sy + 1, 1, 1) - mcn::day_number(sy, 7, 2);
    for (int ey = sy + 1; ey <= kLast; ++ey) {
      if (ey > sy + 1) (leap(ey - 1) ? leap_days : common_days) += leap(ey - 1) ? 366 : 365;
      const mcn::ActActSplit split = mcn::diff_actact({sy, 7, 2}, {ey, 1, 1});
      const std::int64_t days = split.days();
      const double fraction = split.years();
      const std::int64_t common = common_days + (leap(sy) ? 0 : first);
      const std::int64_t leapd = leap_days + (leap(sy) ? first : 0);
      if (days != common + leapd ||
          fraction != static_cast<double>(common) / 365.0 + static_cast<double>(leapd) / 366.0)
        FAIL() << sy << " .. " << ey;
    }
  }
}

TEST(Isleap, FollowsTheRuleWithTheFourThousandYearException) {
  for (std::int32_t y = -5000; y <= 25000; ++y) {
    const bool expected = testing_support::model_host_leap(y);
    ASSERT_EQ(isleap(y), expected ? 1 : 0) << y;
  }
  const std::pair<std::int32_t, int> cases[] = {
      {1900, 0},  {2000, 1}, {2004, 1}, {2001, 0}, {2400, 1}, {4000, 0}, {8000, 0},
      {20000, 0}, {0, 0},    {-4, 1},   {-100, 0}, {-400, 1}, {-4000, 0}};
  for (const auto& [y, leap] : cases) EXPECT_EQ(isleap(y), leap) << y;
}

}  // namespace
