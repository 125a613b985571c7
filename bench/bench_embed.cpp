// The embedding library's cost per element: dm_eval_array over random date
// pairs for every basis, and dm_eval one pair at a time, to set beside the
// bare protocol figures of bench_modules.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "embed/datemodules.h"

namespace {

constexpr std::size_t kPairs = 4096;

struct Setup {
  dm_library* lib = nullptr;
  const dm_function* yrdif = nullptr;
  const dm_function* datdif = nullptr;
  std::vector<double> start, end, out;
  Setup() : start(kPairs), end(kPairs), out(kPairs) {
    dm_open(MODULE_DIR, &lib);
    dm_function_find(lib, "YRDIF", &yrdif);
    dm_function_find(lib, "DATDIF", &datdif);
    // The same kind of pairs as bench_modules: less than 100 years apart in 1901-2199.
    std::mt19937_64 rng(2026);
    std::uniform_int_distribution<int> day(-21549, 87657), span(-36500, 36500);
    for (std::size_t i = 0; i < kPairs; ++i) {
      start[i] = day(rng);
      end[i] = start[i] + span(rng);
    }
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

void array(benchmark::State& state, bool datdif, const char* basis) {
  Setup& s = setup();
  const dm_function* f = datdif ? s.datdif : s.yrdif;
  for (auto _ : state) {
    dm_eval_array(f, kPairs, s.start.data(), s.end.data(), basis, basis ? std::strlen(basis) : 0,
                  s.out.data(), nullptr, nullptr);
    benchmark::DoNotOptimize(s.out.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPairs));
  state.counters["ns_per_element"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kPairs),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void one(benchmark::State& state, const char* basis) {
  Setup& s = setup();
  std::size_t i = 0;
  double r;
  for (auto _ : state) {
    dm_eval(s.yrdif, s.start[i], s.end[i], basis, std::strlen(basis), &r, nullptr);
    benchmark::DoNotOptimize(r);
    i = (i + 1) % kPairs;
  }
}

BENCHMARK_CAPTURE(array, YRDIF_ACT_ACT, false, "ACT/ACT");
BENCHMARK_CAPTURE(array, YRDIF_AGE, false, "AGE");
BENCHMARK_CAPTURE(array, YRDIF_30_360, false, "30/360");
BENCHMARK_CAPTURE(array, YRDIF_ACT_360, false, "ACT/360");
BENCHMARK_CAPTURE(array, DATDIF_ACT_ACT, true, "ACT/ACT");
BENCHMARK_CAPTURE(array, DATDIF_ACT_365, true, "ACT/365");
BENCHMARK_CAPTURE(one, YRDIF_ACT_ACT, "ACT/ACT");

}  // namespace

BENCHMARK_MAIN();
