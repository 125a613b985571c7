// The reference host's calendar, proved over its whole range against a plain
// day-by-day walk, and through the zjuldat/zymdjul services.
#include "core/calendar.h"
#include "models.h"
#include "support.h"

namespace {

constexpr std::int64_t kLast = testing_support::kLastDateValue;

TEST(HostCalendar, EveryDateValueMatchesADayByDayWalkAndRoundTrips) {
  // The walk knows only month lengths and the leap rule with its 4000-year exception.
  const testing_support::Ymd after =
      testing_support::walk_host_calendar(kLast, [](std::int64_t day, testing_support::Ymd w) {
        const dmcore::Civil c = dmcore::civil_from_days(day);
        if (c.year != w.y || c.month != w.m || c.day != w.d) {
          FAIL() << "day " << day << ": " << c.year << "-" << c.month << "-" << c.day
                 << ", walk says " << w.y << "-" << w.m << "-" << w.d;
        }
        if (dmcore::days_from_civil(c) != day) FAIL() << "day " << day << " does not round-trip";
      });
  EXPECT_EQ(after.y, 20001);  // the range ends on 20000-12-31
  EXPECT_EQ(dmcore::days_from_civil({1960, 1, 1}), 0);
  EXPECT_EQ(dmcore::days_from_civil({2001, 1, 31}), 15006);
}

TEST(HostCalendar, LeapDaysOfYearsDivisibleBy4000DoNotExist) {
  for (std::int64_t y : {4000, 8000, 12000, 16000, 20000}) {
    EXPECT_FALSE(dmcore::valid_civil({y, 2, 29})) << y;
    EXPECT_TRUE(dmcore::valid_civil({y, 2, 28})) << y;
    EXPECT_EQ(dmcore::days_from_civil({y, 3, 1}) - dmcore::days_from_civil({y, 2, 28}), 1) << y;
  }
  EXPECT_TRUE(dmcore::valid_civil({2000, 2, 29}));
  EXPECT_TRUE(dmcore::valid_civil({4400, 2, 29}));
  EXPECT_FALSE(dmcore::valid_civil({2100, 2, 29}));
  EXPECT_FALSE(dmcore::valid_civil({2021, 4, 31}));
  EXPECT_FALSE(dmcore::valid_civil({2021, 13, 1}));
  EXPECT_FALSE(dmcore::valid_civil({2021, 0, 1}));
}

TEST(HostCalendar, ServicesConvertFractionalDateValuesToTheirDay) {
  testhost::Host host;
  testing_support::RawModule mod(testing_support::kPelvoran);
  mod.init(host);
  const auto zjuldat = mod.function<double (*)(double)>("zjuldat");
  const auto zymdjul = mod.function<std::int32_t (*)(double, double*, double*, double*)>("zymdjul");
  struct Case {
    double value;
    double y, m, d;
  };
  const Case cases[] = {{0.0, 1960, 1, 1},           {-0.5, 1959, 12, 31},
                        {15006.99, 2001, 1, 31},     {-138061.0, 1582, 1, 1},
                        {6589335.75, 20000, 12, 31}, {14669.0, 2000, 2, 29}};
  for (const Case& c : cases) {
    double y, m, d;
    zymdjul(zjuldat(c.value), &y, &m, &d);
    EXPECT_EQ(y, c.y) << c.value;
    EXPECT_EQ(m, c.m) << c.value;
    EXPECT_EQ(d, c.d) << c.value;
  }
}

}  // namespace
