// The embedding library's C interface: every function against the
// independent model over random date pairs, bit for bit; the calendar; the
// statuses of misuse; and evaluation from several threads at once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "differential_model.h"
#include "embed/datemodules.h"

namespace {

using testing_support::kBasisText;
using testing_support::kPairsPerBasis;

std::uint64_t bits_of(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

class Embed : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(dm_open(MODULE_DIR, &lib), DM_OK) << dm_errmsg(lib);
    ASSERT_EQ(dm_function_find(lib, "YRDIF", &yrdif), DM_OK);
    ASSERT_EQ(dm_function_find(lib, "datdif", &datdif), DM_OK);
  }
  void TearDown() override { dm_close(lib); }

  dm_library* lib = nullptr;
  const dm_function* yrdif = nullptr;
  const dm_function* datdif = nullptr;
};

// Random pairs per basis through dm_eval_array, and a sample of them through
// dm_eval, each against the model.
TEST_F(Embed, ArraysMatchTheModelBitForBit) {
  struct Run {
    const dm_function* const* f;
    int basis;  // 0: left out
  };
  const Run runs[] = {{&yrdif, 0}, {&yrdif, 1},  {&yrdif, 2},  {&yrdif, 3},  {&yrdif, 4},
                      {&yrdif, 5}, {&datdif, 1}, {&datdif, 2}, {&datdif, 3}, {&datdif, 4}};
  for (const Run& r : runs) {
    testing_support::Dates dates(7000 + r.basis + (*r.f == datdif ? 10 : 0));
    std::vector<double> start(kPairsPerBasis), end(kPairsPerBasis), got(kPairsPerBasis);
    for (int i = 0; i < kPairsPerBasis; ++i) {
      start[i] = dates.next();
      end[i] = dates.partner(start[i]);
    }
    const char* basis = r.basis == 0 ? nullptr : kBasisText[r.basis];
    const std::size_t length = basis ? std::strlen(basis) : 0;
    std::size_t missing = 0;
    ASSERT_EQ(dm_eval_array(*r.f, start.size(), start.data(), end.data(), basis, length, got.data(),
                            &missing),
              DM_OK);
    std::size_t want_missing = 0;
    int mismatches = 0;
    for (int i = 0; i < kPairsPerBasis && mismatches < 10; ++i) {
      const double want =
          *r.f == yrdif ? testing_support::model_yrdif(start[i], end[i], r.basis ? r.basis : 5)
                        : testing_support::model_datdif(start[i], end[i], r.basis);
      want_missing += bits_of(want) == mcn::kMissingBits;
      if (bits_of(got[i]) != bits_of(want)) {
        ++mismatches;
        ADD_FAILURE() << dm_function_name(*r.f) << " basis " << r.basis << ": " << start[i]
                      << " .. " << end[i] << " gives " << got[i] << ", model " << want;
      }
      if (i % 97 == 0) {
        double one;
        const int status = dm_eval(*r.f, start[i], end[i], basis, length, &one);
        EXPECT_EQ(bits_of(one), bits_of(got[i]));
        EXPECT_EQ(status, bits_of(want) == mcn::kMissingBits ? DM_MISSING : DM_OK);
      }
    }
    EXPECT_EQ(missing, want_missing);
  }
}

TEST_F(Embed, ABasisForEachPair) {
  const double start[] = {14610, 14610, 14610, 14610, 14610, 14610};
  const double end[] = {14976, 14976, 14976, 14976, 14976, 14976};
  const char* const bases[] = {"ACT/360", nullptr, "AGE", "nonsense", "30/360", "ACT/ACT"};
  const std::size_t lengths[] = {7, 0, 3, 8, 6, 7};
  double got[6];
  std::size_t missing = 0;
  ASSERT_EQ(dm_eval_array_bases(yrdif, 6, start, end, bases, lengths, got, &missing), DM_OK);
  EXPECT_EQ(got[0], 366.0 / 360.0);
  EXPECT_EQ(got[1], 1.0);  // left out: AGE
  EXPECT_EQ(got[2], 1.0);
  EXPECT_EQ(bits_of(got[3]), mcn::kMissingBits);
  EXPECT_EQ(got[4], 1.0);
  EXPECT_EQ(got[5], 1.0);
  EXPECT_EQ(missing, 1u);
  EXPECT_EQ(dm_eval_array_bases(datdif, 6, start, end, bases, lengths, got, &missing), DM_MISUSE)
      << "DATDIF needs its basis";
}

TEST_F(Embed, StatusesOfMisuseAndFailure) {
  double r;
  EXPECT_EQ(dm_eval(datdif, 1, 2, nullptr, 0, &r), DM_MISUSE);
  EXPECT_EQ(dm_eval(nullptr, 1, 2, "ACT", 3, &r), DM_MISUSE);
  EXPECT_EQ(dm_eval(yrdif, 1, 2, nullptr, 0, nullptr), DM_MISUSE);
  EXPECT_EQ(dm_eval(yrdif, 1, NAN, nullptr, 0, &r), DM_MISSING);
  EXPECT_EQ(bits_of(r), mcn::kMissingBits);
  EXPECT_EQ(dm_eval_array(yrdif, 3, nullptr, nullptr, nullptr, 0, nullptr, nullptr), DM_MISUSE);
  EXPECT_EQ(dm_eval_array(yrdif, 0, nullptr, nullptr, nullptr, 0, nullptr, nullptr), DM_OK);
  const dm_function* f = nullptr;
  EXPECT_EQ(dm_function_find(lib, "NOPE", &f), DM_NOTFOUND);
  EXPECT_EQ(f, nullptr);
  int fewest = 0, most = 0;
  dm_function_arity(yrdif, &fewest, &most);
  EXPECT_EQ(fewest, 2);
  EXPECT_EQ(most, 3);
  EXPECT_STREQ(dm_function_name(datdif), "DATDIF");
  EXPECT_STREQ(dm_errmsg(lib), "");

  dm_library* none = nullptr;
  EXPECT_EQ(dm_open("/nonexistent/modules", &none), DM_ERROR);
  EXPECT_NE(std::string(dm_errmsg(none)).find("/nonexistent/modules"), std::string::npos)
      << dm_errmsg(none);
  dm_close(none);
  EXPECT_EQ(dm_open(nullptr, nullptr), DM_MISUSE);
}

TEST(EmbedCalendar, CivilDatesIsoTextsAndDateValues) {
  // Every 37th day of the calendar's range against the day-by-day walk.
  testing_support::walk_host_calendar(
      testing_support::kLastDateValue, [](std::int64_t day, testing_support::Ymd c) {
        if (day % 37 != 0) return;
        double v;
        ASSERT_EQ(dm_date_from_civil(c.y, c.m, c.d, &v), DM_OK);
        ASSERT_EQ(v, static_cast<double>(day));
        std::int64_t y;
        int m, d;
        ASSERT_EQ(dm_civil_from_date(v + 0.75, &y, &m, &d), DM_OK);
        ASSERT_TRUE(y == c.y && m == c.m && d == c.d) << day;
        char iso[32];
        ASSERT_EQ(dm_iso_from_date(v, iso, sizeof iso), DM_OK);
        double back;
        ASSERT_EQ(dm_date_from_iso(iso, std::strlen(iso), &back), DM_OK);
        ASSERT_EQ(back, v) << iso;
      });
  double v;
  EXPECT_EQ(dm_date_from_civil(4000, 2, 29, &v), DM_RANGE);
  EXPECT_EQ(dm_date_from_civil(2001, 13, 1, &v), DM_RANGE);
  EXPECT_EQ(dm_date_from_civil(2000000000, 1, 1, &v), DM_RANGE);
  for (const char* bad : {"", "2021", "2021-01", "2021-1-", "2021-01-01x", "x2021-01-01",
                          "2021/01/01", "1234567890-01-01", "2021-02-30", "2021-001-01"})
    EXPECT_EQ(dm_date_from_iso(bad, std::strlen(bad), &v), DM_RANGE) << bad;
  ASSERT_EQ(dm_date_from_iso("1960-01-01", 10, &v), DM_OK);
  EXPECT_EQ(v, 0.0);
  ASSERT_EQ(dm_date_from_iso("-0001-03-01", 11, &v), DM_OK);
  char iso[32];
  ASSERT_EQ(dm_iso_from_date(v, iso, sizeof iso), DM_OK);
  EXPECT_STREQ(iso, "-0001-03-01");
  EXPECT_EQ(dm_iso_from_date(0, iso, 5), DM_RANGE) << "too small a buffer";
  EXPECT_EQ(dm_iso_from_date(NAN, iso, sizeof iso), DM_RANGE);

  const std::int64_t years[] = {2000, 4000, 1960};
  const std::int32_t months[] = {2, 2, 1};
  const std::int32_t days[] = {29, 29, 1};
  double values[3];
  ASSERT_EQ(dm_dates_from_civil(3, years, months, days, values), DM_OK);
  EXPECT_EQ(values[0], 14669.0);
  EXPECT_EQ(bits_of(values[1]), mcn::kMissingBits) << "4000-02-29 is not in the host calendar";
  EXPECT_EQ(values[2], 0.0);
}

// Threads evaluate through one handle and their own, and agree with one thread.
TEST_F(Embed, ThreadsGetTheSameResults) {
  testing_support::Dates dates(99);
  std::vector<double> start(20000), end(20000), want(20000);
  for (std::size_t i = 0; i < start.size(); ++i) {
    start[i] = dates.next();
    end[i] = dates.partner(start[i]);
  }
  ASSERT_EQ(dm_eval_array(yrdif, start.size(), start.data(), end.data(), "ACT/ACT", 7, want.data(),
                          nullptr),
            DM_OK);
  std::vector<std::vector<double>> got(4, std::vector<double>(start.size()));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      dm_library* own = nullptr;
      const dm_function* f = yrdif;
      if (t % 2 == 1 && dm_open(MODULE_DIR, &own) == DM_OK) dm_function_find(own, "YRDIF", &f);
      for (int round = 0; round < 5; ++round)
        dm_eval_array(f, start.size(), start.data(), end.data(), "ACT/ACT", 7, got[t].data(),
                      nullptr);
      dm_close(own);
    });
  }
  for (std::thread& t : threads) t.join();
  for (const auto& g : got)
    EXPECT_EQ(std::memcmp(g.data(), want.data(), want.size() * sizeof(double)), 0);
}

}  // namespace
