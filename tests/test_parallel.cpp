// Large arrays on every core: the C interface's array forms and date
// conversions give, element by element, what each element gives alone,
// whatever the number of threads (DATEMODULES_THREADS in forked children, the
// pool of a child of fork its own), also with two callers at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "embed/datemodules.h"

namespace {

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define DM_TEST_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(DM_TEST_TSAN)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif

constexpr std::size_t kPairs = 3 * 16384 + 4321;  // several chunks and a part of one

std::uint64_t bits_of(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// Pairs with every kind of date: ordinary, missing, out of range, refused.
struct Inputs {
  std::vector<double> start, end;
  std::vector<const char*> bases;
  std::vector<std::size_t> lengths;
  explicit Inputs(unsigned seed) {
    static const char* const kBases[] = {"ACT/ACT", "30/360", "ACT/360", "ACT/365",
                                         "AGE",     "bad",    nullptr};
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> day(-138061, 6589335);
    double marker;
    int reason;
    dm_date_from_text("2021-02-30", 10, &marker, &reason);
    for (std::size_t i = 0; i < kPairs; ++i) {
      const unsigned kind = rng() % 64;
      start.push_back(kind == 0 ? NAN : kind == 1 ? 1e9 : kind == 2 ? marker : day(rng));
      end.push_back(day(rng));
      // Runs of one basis, then another, as a column mostly has.
      const char* b = kBases[(i / (1 + rng() % 5000)) % 7];
      bases.push_back(b);
      lengths.push_back(b ? std::strlen(b) : 0);
    }
  }
};

struct Outputs {
  std::vector<double> results;
  std::vector<std::uint8_t> causes;
  std::size_t missing = 0;
  bool operator==(const Outputs& o) const {
    if (results.size() != o.results.size() || causes != o.causes || missing != o.missing)
      return false;
    for (std::size_t i = 0; i < results.size(); ++i)
      if (bits_of(results[i]) != bits_of(o.results[i])) return false;
    return true;
  }
};

class Parallel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(dm_open(MODULE_DIR, &lib), DM_OK) << dm_errmsg(lib);
    ASSERT_EQ(dm_function_find(lib, "YRDIF", &yrdif), DM_OK);
  }
  void TearDown() override { dm_close(lib); }

  // The column of bases through the array form, in one call.
  Outputs together(const Inputs& in) const {
    Outputs o{std::vector<double>(kPairs), std::vector<std::uint8_t>(kPairs), 0};
    EXPECT_EQ(dm_eval_array_bases(yrdif, kPairs, in.start.data(), in.end.data(), in.bases.data(),
                                  in.lengths.data(), o.results.data(), &o.missing, o.causes.data()),
              DM_OK);
    return o;
  }

  // Each pair alone.
  Outputs alone(const Inputs& in) const {
    Outputs o{std::vector<double>(kPairs), std::vector<std::uint8_t>(kPairs), 0};
    for (std::size_t i = 0; i < kPairs; ++i) {
      std::size_t missing = 0;
      EXPECT_EQ(dm_eval_array_bases(yrdif, 1, &in.start[i], &in.end[i], &in.bases[i],
                                    &in.lengths[i], &o.results[i], &missing, &o.causes[i]),
                DM_OK);
      o.missing += missing;
    }
    return o;
  }

  dm_library* lib = nullptr;
  const dm_function* yrdif = nullptr;
};

TEST_F(Parallel, ArraysGiveWhatEachElementGivesAlone) {
  const Inputs in(1);
  const Outputs want = alone(in);
  EXPECT_GT(want.missing, kPairs / 20);
  EXPECT_TRUE(together(in) == want);
  // One basis for the whole array, and in place (the results over the starts).
  std::vector<double> results(kPairs), in_place = in.start;
  std::vector<std::uint8_t> causes(kPairs);
  std::size_t missing = 0;
  ASSERT_EQ(dm_eval_array(yrdif, kPairs, in.start.data(), in.end.data(), "ACT/ACT", 7,
                          results.data(), &missing, causes.data()),
            DM_OK);
  ASSERT_EQ(dm_eval_array(yrdif, kPairs, in_place.data(), in.end.data(), "ACT/ACT", 7,
                          in_place.data(), nullptr, nullptr),
            DM_OK);
  std::size_t want_missing = 0;
  for (std::size_t i = 0; i < kPairs; i += 7) {
    double one;
    int cause;
    dm_eval(yrdif, in.start[i], in.end[i], "ACT/ACT", 7, &one, &cause);
    ASSERT_EQ(bits_of(results[i]), bits_of(one)) << i;
    ASSERT_EQ(bits_of(in_place[i]), bits_of(one)) << i;
    ASSERT_EQ(causes[i], cause) << i;
  }
  for (const std::uint8_t c : causes) want_missing += c != DM_CAUSE_NONE;
  EXPECT_EQ(missing, want_missing);
}

TEST_F(Parallel, DateConversionsOfLargeArraysAreThoseOfEachElement) {
  std::mt19937_64 rng(2);
  std::vector<double> days(kPairs);
  std::vector<std::int64_t> counts(kPairs), years(kPairs);
  std::vector<std::int32_t> months(kPairs), mdays(kPairs);
  std::string texts;
  for (std::size_t i = 0; i < kPairs; ++i) {
    days[i] = static_cast<double>(static_cast<std::int64_t>(rng() % 8000000) - 1000000) / 1.5;
    counts[i] = static_cast<std::int64_t>(rng() % 20000000000ull) - 10000000000ll;
    years[i] = 1500 + static_cast<std::int64_t>(rng() % 19000);
    months[i] = static_cast<std::int32_t>(rng() % 14);
    mdays[i] = static_cast<std::int32_t>(rng() % 32);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(years[i]), months[i],
                  mdays[i]);
    texts.append(text, 10);
  }
  std::vector<double> all(kPairs), one(1);
  const auto same = [&](const char* what, auto each) {
    for (std::size_t i = 0; i < kPairs; ++i) {
      each(i);
      ASSERT_EQ(bits_of(all[i]), bits_of(one[0])) << what << " " << i;
    }
  };
  ASSERT_EQ(dm_dates_from_days(kPairs, days.data(), all.data()), DM_OK);
  same("days", [&](std::size_t i) { dm_dates_from_days(1, &days[i], one.data()); });
  ASSERT_EQ(dm_dates_from_counts(kPairs, counts.data(), 86400, all.data()), DM_OK);
  same("counts", [&](std::size_t i) { dm_dates_from_counts(1, &counts[i], 86400, one.data()); });
  ASSERT_EQ(dm_dates_from_civil(kPairs, years.data(), months.data(), mdays.data(), all.data()),
            DM_OK);
  same("civil", [&](std::size_t i) {
    dm_dates_from_civil(1, &years[i], &months[i], &mdays[i], one.data());
  });
  std::vector<std::uint8_t> reasons(kPairs);
  ASSERT_EQ(dm_dates_from_texts(kPairs, texts.data(), 10, all.data(), reasons.data()), DM_OK);
  same("texts", [&](std::size_t i) {
    std::uint8_t reason;
    dm_dates_from_texts(1, texts.data() + 10 * i, 10, one.data(), &reason);
    ASSERT_EQ(reason, reasons[i]) << i;
  });
}

// Children of fork, each with its own number of threads, started after the
// parent's pool: the same bits as each pair alone.
TEST_F(Parallel, ChildrenOfForkOfEveryThreadCount) {
  if (kThreadSanitizer)
    GTEST_SKIP() << "ThreadSanitizer does not follow threads started after fork";
  const Inputs in(3);
  const Outputs want = alone(in);
  ASSERT_TRUE(together(in) == want);  // the parent's pool is running
  for (const char* threads : {"1", "2", "5", "not a count"}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      setenv("DATEMODULES_THREADS", threads, 1);
      _exit(together(in) == want && together(in) == want ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "threads " << threads;
  }
}

TEST_F(Parallel, TwoCallersAtOnce) {
  const Inputs a(4), b(5);
  const Outputs want_a = alone(a), want_b = alone(b);
  for (int round = 0; round < 5; ++round) {
    Outputs got_a, got_b;
    std::thread other([&] { got_b = together(b); });
    got_a = together(a);
    other.join();
    EXPECT_TRUE(got_a == want_a) << round;
    EXPECT_TRUE(got_b == want_b) << round;
  }
}

}  // namespace
