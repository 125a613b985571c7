// Plain models of the calendar and the day count, written once for every test
// that checks the modules or the host against them. They share no code with
// what they check: the leap rules as written in words, a day-by-day walk, and
// the day number in doubles with truncation.
#ifndef TESTS_MODELS_H
#define TESTS_MODELS_H

#include <cmath>
#include <cstdint>

namespace testing_support {

// Divisible by 4, and not by 100 unless by 400: the rule of the day counts.
constexpr bool model_gregorian_leap(std::int64_t y) {
  return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}

// The host calendar's rule: the same, but years divisible by 4000 are common.
constexpr bool model_host_leap(std::int64_t y) { return model_gregorian_leap(y) && y % 4000 != 0; }

struct Ymd {
  int y, m, d;
};

// The first and last date values of the calendar's range.
constexpr std::int64_t kFirstDateValue = -138061;  // 1582-01-01
constexpr std::int64_t kLastDateValue = 6589335;   // 20000-12-31

// Walks the host calendar a day at a time from 1582-01-01, calling
// on_day(date value, date) for every date value through `last`. Returns the
// date after the last one.
template <typename OnDay>
Ymd walk_host_calendar(std::int64_t last, OnDay&& on_day) {
  constexpr int kLengths[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  Ymd c{1582, 1, 1};
  for (std::int64_t day = kFirstDateValue; day <= last; ++day) {
    on_day(day, c);
    if (++c.d > (c.m == 2 && model_host_leap(c.y) ? 29 : kLengths[c.m])) {
      c.d = 1;
      if (++c.m > 12) c.m = 1, ++c.y;
    }
  }
  return c;
}

// The day number as the textbook writes it, in doubles with truncation.
inline std::int64_t model_day_number(std::int64_t year, std::int64_t month, std::int64_t day) {
  const std::int64_t y = month > 2 ? year : year - 1;
  const std::int64_t t =
      month > 2 ? static_cast<std::int64_t>(std::trunc(0.4 * static_cast<double>(month) + 2.3)) : 0;
  const std::int64_t q = static_cast<std::int64_t>(std::trunc(static_cast<double>(y) * 0.25)) -
                         static_cast<std::int64_t>(std::trunc(static_cast<double>(y) / 100.0)) +
                         static_cast<std::int64_t>(std::trunc(static_cast<double>(y) / 400.0));
  return 365 * year + 31 * month + day + q - t;
}

inline std::int64_t model_day_number(const Ymd& c) { return model_day_number(c.y, c.m, c.d); }

}  // namespace testing_support

#endif  // TESTS_MODELS_H
