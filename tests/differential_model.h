// The independent model of YRDIF and DATDIF that the differential tests hold
// the modules and every bridge to, and the random date pairs they are drawn
// on. The model shares no code with the modules: its calendar is a
// day-by-day walk, its day number the textbook formula in doubles, and its
// ACT/ACT split adds whole years one at a time.
#ifndef TESTS_DIFFERENTIAL_MODEL_H
#define TESTS_DIFFERENTIAL_MODEL_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "core/calendar.h"
#include "frame/abi.h"
#include "models.h"

namespace testing_support {

inline double from_bits_model(std::uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}

constexpr std::int64_t kFirst = testing_support::kFirstDateValue;
constexpr std::int64_t kLast = testing_support::kLastDateValue;
constexpr int kPairsPerBasis = 100000;  // random date pairs per basis

using testing_support::Ymd;

// The host calendar by walking: every date value in range to its date.
inline const std::vector<Ymd>& walk() {
  static const std::vector<Ymd> table = [] {
    std::vector<Ymd> t;
    t.reserve(kLast - kFirst + 1);
    testing_support::walk_host_calendar(kLast, [&t](std::int64_t, Ymd c) { t.push_back(c); });
    return t;
  }();
  return table;
}

inline Ymd model_calendar(double v) {
  return walk()[static_cast<std::size_t>(std::floor(v) - kFirst)];
}

inline bool model_leap(int y) { return testing_support::model_gregorian_leap(y); }

inline std::int64_t model_dn(const Ymd& c) { return testing_support::model_day_number(c); }

inline void model_actact(const Ymd& s, const Ymd& e, std::int64_t& days, double& fraction) {
  std::int64_t leap = 0, common = 0;
  auto add = [&](int y, std::int64_t n) { (model_leap(y) ? leap : common) += n; };
  if (s.y == e.y) {
    add(s.y, model_dn(e) - model_dn(s));
  } else {
    add(s.y, model_dn({s.y + 1, 1, 1}) - model_dn(s));
    for (int y = s.y + 1; y < e.y; ++y) add(y, model_leap(y) ? 366 : 365);
    add(e.y, model_dn(e) - model_dn({e.y, 1, 1}));
  }
  days = leap + common;
  fraction = static_cast<double>(common) / 365.0 + static_cast<double>(leap) / 366.0;
}

inline std::int64_t model_30360(Ymd a, Ymd b) {
  const auto feb_end = [](const Ymd& c) { return c.m == 2 && c.d == (model_leap(c.y) ? 29 : 28); };
  const bool a_end = feb_end(a), b_end = feb_end(b);
  if (a_end && b_end) b.d = 30;
  if (a_end) a.d = 30;
  if (b.d == 31 && a.d >= 30) b.d = 30;
  if (a.d == 31) a.d = 30;
  return (b.y - a.y) * 360LL + (b.m - a.m) * 30LL + (b.d - a.d);
}

inline bool valid(double v) { return !std::isnan(v) && v >= -138061.0 && v < 6589336.0; }

inline const double kMissing = from_bits_model(mcn::kMissingBits);

// Basis codes: 1 30/360, 2 ACT/ACT, 3 ACT/360, 4 ACT/365, 5 AGE.
inline double model_yrdif(double s, double e, int basis) {
  if (!valid(s) || !valid(e)) return kMissing;
  const double sign = s > e ? -1.0 : 1.0;
  if (s > e && (basis == 2 || basis == 5)) std::swap(s, e);
  Ymd a = model_calendar(s), b = model_calendar(e);
  std::int64_t days;
  double fraction;
  switch (basis) {
    case 1:
      return static_cast<double>(model_30360(a, b)) / 360.0;
    case 3:
      return static_cast<double>(model_dn(b) - model_dn(a)) / 360.0;
    case 4:
      return static_cast<double>(model_dn(b) - model_dn(a)) / 365.0;
    case 2:
      if (s == e) return 0.0;
      model_actact(a, b, days, fraction);
      return sign * fraction;
    default: {
      if (s == e) return 0.0;
      int shifted = 0;
      if (model_leap(a.y)) {
        a.y -= 1, ++shifted;
        if (a.m == 2 && a.d == 29) a.d = 28;
      }
      if (model_leap(b.y)) {
        b.y += 1, ++shifted;
        if (b.m == 2 && b.d == 29) b.d = 28;
      }
      model_actact(a, b, days, fraction);
      return sign * (fraction - shifted);
    }
  }
}

inline double model_datdif(double s, double e, int basis) {
  if (!valid(s) || !valid(e)) return kMissing;
  const bool negate = s > e;
  if (negate) std::swap(s, e);
  const Ymd a = model_calendar(s), b = model_calendar(e);
  std::int64_t days = 0;
  double fraction;
  if (basis == 1)
    days = model_30360(a, b);
  else if (basis == 2 && s != e)
    model_actact(a, b, days, fraction);
  else if (basis != 2)
    days = model_dn(b) - model_dn(a);
  return static_cast<double>(negate ? -days : days);
}

// Date values drawn from the whole range and from the places where rules change.
class Dates {
 public:
  explicit Dates(std::uint64_t seed) : rng_(seed) {}

  double next() {
    double day;
    switch (pick(8)) {
      case 0:
      case 1:
        day = static_cast<double>(uniform(kFirst, kLast));
        break;
      case 2:
        day = month_end(uniform(1582, 20000));
        break;
      case 3:
        day = february_end(4 * uniform(396, 5000));
        break;
      case 4:
        day = static_cast<double>(uniform(kFirst, kFirst + 800));
        break;  // 1582
      case 5:
        day = around_year(4000 * uniform(1, 5));
        break;
      case 6:
        day = static_cast<double>(uniform(kLast - 800, kLast));
        break;  // 20000
      default:
        day = around_year(uniform(1583, 19999));
        break;
    }
    if (pick(4) == 0) day += static_cast<double>(pick(1 << 20)) / (1 << 20);  // a fraction
    if (pick(200) == 0) day = pick(2) ? kLast + 1.0 : kFirst - 0.5;           // just outside
    return day;
  }
  // The second date: near the first (within ~100 years) or anywhere.
  double partner(double first) {
    if (pick(3) == 0 || !valid(first)) return next();
    double d = first + static_cast<double>(uniform(-36600, 36600));
    if (pick(4) == 0) d = first + static_cast<double>(uniform(-400, 400));
    return std::fmin(std::fmax(d, static_cast<double>(kFirst)), static_cast<double>(kLast));
  }

 private:
  std::int64_t uniform(std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng_);
  }
  int pick(int n) { return static_cast<int>(uniform(0, n - 1)); }
  double month_end(std::int64_t y) {
    const int m = pick(12) + 1;
    const int next_m = m == 12 ? 1 : m + 1;
    return static_cast<double>(dmcore::days_from_civil({m == 12 ? y + 1 : y, next_m, 1}) - 1 -
                               pick(2));
  }
  double february_end(std::int64_t y) {
    return static_cast<double>(dmcore::days_from_civil({y, 3, 1}) - 1 - pick(2));
  }
  double around_year(std::int64_t y) {
    const std::int64_t base = dmcore::days_from_civil({y, 1, 1});
    return static_cast<double>(std::min<std::int64_t>(kLast, base + uniform(-62, 62)));
  }
  std::mt19937_64 rng_;
};

// Basis texts by code: 0 (no basis given), 1 30/360, 2 ACT/ACT, 3 ACT/360,
// 4 ACT/365, 5 AGE.
inline const char* const kBasisText[] = {"", "30/360", "ACT/ACT", "ACT/360", "ACT/365", "AGE"};

}  // namespace testing_support

#endif  // TESTS_DIFFERENTIAL_MODEL_H
