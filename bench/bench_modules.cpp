// ns per evaluation through the whole protocol, the parts on their own, and
// QuantLib's day counters on the same date pairs. After the runs it prints
// each of our figures beside the peer's for the same work.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <ql/time/date.hpp>
#include <ql/time/daycounters/actual360.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <ql/time/daycounters/actualactual.hpp>
#include <ql/time/daycounters/thirty360.hpp>
#include <random>
#include <string>
#include <vector>

#include "core/calendar.h"
#include "core/loader.h"
#include "core/runtime.h"
#include "daycount/daycount.h"
#include "functions/arguments.h"
#include "tests/instruments/load_module.h"
#include "text/text.h"

namespace {

// QuantLib counts days from 1899-12-30; the host from 1960-01-01.
constexpr long kSerialOf1960 = 21915;
constexpr std::size_t kPairs = 4096;  // a power of two: the index wraps with a mask

struct Pair {
  double start, end;
};

// Date pairs within 100 years of each other, inside QuantLib's range (1901-2199).
const std::vector<Pair>& typical_pairs() {
  static const std::vector<Pair> pairs = [] {
    std::mt19937_64 rng(2026);
    const double lo = static_cast<double>(dmcore::days_from_civil({1901, 1, 1}));
    const double hi = static_cast<double>(dmcore::days_from_civil({2199, 12, 31}));
    std::uniform_real_distribution<double> day(lo, hi);
    std::uniform_int_distribution<int> span(-36524, 36524);
    std::vector<Pair> v;
    while (v.size() < kPairs) {
      const double s = std::floor(day(rng)), e = s + span(rng);
      if (e >= lo && e <= hi) v.push_back({s, e});
    }
    return v;
  }();
  return pairs;
}

const std::vector<Pair>& worst_pairs() {
  static const std::vector<Pair> pairs(kPairs, Pair{-138061.0, 6589335.0});
  return pairs;
}

struct Host {
  dmcore::Runtime host;
  dmcore::Module pelvoran = testhost::load_module_or_exit(host, PELVORAN_PATH);
  dmcore::Module tashkume = testhost::load_module_or_exit(host, TASHKUME_PATH);
  dmcore::Module floor = testhost::load_module_or_exit(host, FLOOR_PATH);
  Host() { mcn_main(host.gcb(), host.pidb()); }  // the static copy, for the parts
};
Host& host() {
  static Host h;
  return h;
}

// One evaluation per iteration through the implementation entry: the host
// writes the two date values into its argument slots and calls.
enum class Entry { kYrdif, kDatdif, kFloor };
void evaluate(benchmark::State& state, Entry which, const char* basis, bool worst) {
  Host& h = host();
  const dmcore::Module& m = which == Entry::kYrdif    ? h.pelvoran
                            : which == Entry::kDatdif ? h.tashkume
                                                      : h.floor;
  const mcn::ImplEntry entry = m.functions[0].impl;
  const std::vector<Pair>& pairs = worst ? worst_pairs() : typical_pairs();
  double start = 0, end = 0, result = 0;
  mcn::TextDescriptor text{};
  mcn::ArgBlock block{};
  block.count = basis ? 3 : 2;
  block.args[0].value = &start;
  block.args[1].value = &end;
  if (basis) {
    text.text = basis;
    text.length = static_cast<std::int32_t>(std::strlen(basis));
    block.args[2].value = &text;
  }
  std::size_t i = 0;
  for (auto _ : state) {
    start = pairs[i].start;
    end = pairs[i].end;
    benchmark::DoNotOptimize(entry(&block, &result));
    benchmark::DoNotOptimize(result);
    i = (i + 1) & (kPairs - 1);
  }
}

// Our evaluations, each on the typical pairs and on the worst case, and the
// floor (bench/floor: what the protocol asks of any evaluation) with the
// same arguments.
void register_evaluations() {
  struct Evaluation {
    const char* name;
    Entry entry;
    const char* basis;  // null: YRDIF with two arguments
  };
  static const Evaluation kEvaluations[] = {
      {"YRDIF/ACT_ACT", Entry::kYrdif, "ACT/ACT"},   {"YRDIF/AGE", Entry::kYrdif, "AGE"},
      {"YRDIF/AGE_default", Entry::kYrdif, nullptr}, {"YRDIF/30_360", Entry::kYrdif, "30/360"},
      {"YRDIF/ACT_360", Entry::kYrdif, "ACT/360"},   {"YRDIF/ACT_365", Entry::kYrdif, "ACT/365"},
      {"DATDIF/ACT_ACT", Entry::kDatdif, "ACT/ACT"}, {"DATDIF/30_360", Entry::kDatdif, "30/360"},
      {"DATDIF/ACT_360", Entry::kDatdif, "ACT/360"}, {"DATDIF/ACT_365", Entry::kDatdif, "ACT/365"},
      {"FLOOR/basis", Entry::kFloor, "ACT/ACT"},     {"FLOOR/no_basis", Entry::kFloor, nullptr},
  };
  for (const Evaluation& e : kEvaluations) {
    for (bool worst : {false, true}) {
      const std::string name = std::string("BM_") + e.name + (worst ? "_worst" : "");
      benchmark::RegisterBenchmark(name.c_str(), [e, worst](benchmark::State& state) {
        evaluate(state, e.entry, e.basis, worst);
      });
    }
  }
}

// The peer: QuantLib Dates from serial numbers, then the day counter.
template <bool Days>
void peer(benchmark::State& state, const QuantLib::DayCounter& dc) {
  const std::vector<Pair>& pairs = typical_pairs();
  std::size_t i = 0;
  for (auto _ : state) {
    const QuantLib::Date a(static_cast<QuantLib::Date::serial_type>(pairs[i].start) +
                           kSerialOf1960 + 1);
    const QuantLib::Date b(static_cast<QuantLib::Date::serial_type>(pairs[i].end) + kSerialOf1960 +
                           1);
    if constexpr (Days)
      benchmark::DoNotOptimize(dc.dayCount(a, b));
    else
      benchmark::DoNotOptimize(dc.yearFraction(a, b));
    i = (i + 1) & (kPairs - 1);
  }
}
void BM_Peer_yearFraction(benchmark::State& s, const QuantLib::DayCounter& dc) {
  peer<false>(s, dc);
}
void BM_Peer_dayCount(benchmark::State& s, const QuantLib::DayCounter& dc) { peer<true>(s, dc); }
const QuantLib::ActualActual kActAct(QuantLib::ActualActual::ISDA);
const QuantLib::Thirty360 kThirty(QuantLib::Thirty360::USA);
const QuantLib::Actual360 kAct360;
const QuantLib::Actual365Fixed kAct365;
BENCHMARK_CAPTURE(BM_Peer_yearFraction, ACT_ACT, kActAct);
BENCHMARK_CAPTURE(BM_Peer_yearFraction, 30_360, kThirty);
BENCHMARK_CAPTURE(BM_Peer_yearFraction, ACT_360, kAct360);
BENCHMARK_CAPTURE(BM_Peer_yearFraction, ACT_365, kAct365);
BENCHMARK_CAPTURE(BM_Peer_dayCount, ACT_ACT, kActAct);
BENCHMARK_CAPTURE(BM_Peer_dayCount, 30_360, kThirty);
BENCHMARK_CAPTURE(BM_Peer_dayCount, ACT_360, kAct360);
BENCHMARK_CAPTURE(BM_Peer_dayCount, ACT_365, kAct365);

// --- The parts ----------------------------------------------------------------

void BM_HostCalendar_civil_from_days(benchmark::State& state) {
  const std::vector<Pair>& pairs = typical_pairs();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(dmcore::civil_from_days(static_cast<std::int64_t>(pairs[i].start)));
    i = (i + 1) & (kPairs - 1);
  }
}
BENCHMARK(BM_HostCalendar_civil_from_days);

void BM_HostCalendar_pair_through_stubs(benchmark::State& state) {
  host();
  const std::vector<Pair>& pairs = typical_pairs();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(mcn::host_calendar(pairs[i].start));
    i = (i + 1) & (kPairs - 1);
  }
}
BENCHMARK(BM_HostCalendar_pair_through_stubs);

void BM_HostCalendar_days_from_civil(benchmark::State& state) {
  int y = 1582;
  for (auto _ : state) {
    benchmark::DoNotOptimize(dmcore::days_from_civil({y, 7, 14}));
    y = y == 20000 ? 1582 : y + 1;
  }
}
BENCHMARK(BM_HostCalendar_days_from_civil);

void BM_parse_basis(benchmark::State& state, const char* text) {
  host();
  const auto n = static_cast<std::int32_t>(std::strlen(text));
  for (auto _ : state) benchmark::DoNotOptimize(mcn::parse_basis(text, n, true));
}
BENCHMARK_CAPTURE(BM_parse_basis, ACT_ACT, "ACT/ACT");
BENCHMARK_CAPTURE(BM_parse_basis, 30_360, "30/360");
BENCHMARK_CAPTURE(BM_parse_basis, ACT_360, "ACT/360");
BENCHMARK_CAPTURE(BM_parse_basis, ACT_365, "ACT/365");
BENCHMARK_CAPTURE(BM_parse_basis, AGE, "AGE");
BENCHMARK_CAPTURE(BM_parse_basis, padded_ACT_ACT, "ACT/ACT                                  ");

// A text of n bytes: "x" then blanks, at an odd address.
std::vector<char> padded(std::size_t n) {
  std::vector<char> v(n + 1, ' ');
  v[1] = 'x';
  return v;
}

std::int32_t byte_scan(const char* t, std::int32_t n) {
  while (n > 0 && t[n - 1] == ' ') --n;
  return n;
}

// A trailing-blank strip over an n-byte text: wzstrip, or the plain byte scan.
template <std::int32_t (*Strip)(const char*, std::int32_t)>
void strip(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const std::vector<char> text = padded(static_cast<std::size_t>(n));
  const char* t = text.data() + 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(t);
    benchmark::DoNotOptimize(Strip(t, n));
  }
}
void BM_wzstrip(benchmark::State& state) { strip<wzstrip>(state); }
void BM_ByteScan(benchmark::State& state) { strip<byte_scan>(state); }
BENCHMARK(BM_wzstrip)->Arg(8)->Arg(64)->Arg(256);
BENCHMARK(BM_ByteScan)->Arg(8)->Arg(64)->Arg(256);

void BM_wzstndx(benchmark::State& state, const char* text, const char* pattern) {
  const auto n = static_cast<std::int32_t>(std::strlen(text));
  const auto m = static_cast<std::int32_t>(std::strlen(pattern));
  for (auto _ : state) benchmark::DoNotOptimize(wzstndx(text, n, pattern, m));
}
BENCHMARK_CAPTURE(BM_wzstndx, short_hit, "ACT/ACT", "ACT");
BENCHMARK_CAPTURE(BM_wzstndx, short_miss, "ACT/365", "360");
BENCHMARK_CAPTURE(BM_wzstndx, long_miss,
                  "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAB", "AAB");

// Prints our evaluation figures beside the peer's for the same work.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) ns_[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    struct Row {
      const char* ours;
      const char* peer;
    };
    const Row rows[] = {
        {"BM_YRDIF/ACT_ACT", "BM_Peer_yearFraction/ACT_ACT"},
        {"BM_YRDIF/AGE", "BM_Peer_yearFraction/ACT_ACT"},
        {"BM_YRDIF/AGE_default", "BM_Peer_yearFraction/ACT_ACT"},
        {"BM_YRDIF/30_360", "BM_Peer_yearFraction/30_360"},
        {"BM_YRDIF/ACT_360", "BM_Peer_yearFraction/ACT_360"},
        {"BM_YRDIF/ACT_365", "BM_Peer_yearFraction/ACT_365"},
        {"BM_DATDIF/ACT_ACT", "BM_Peer_dayCount/ACT_ACT"},
        {"BM_DATDIF/30_360", "BM_Peer_dayCount/30_360"},
        {"BM_DATDIF/ACT_360", "BM_Peer_dayCount/ACT_360"},
        {"BM_DATDIF/ACT_365", "BM_Peer_dayCount/ACT_365"},
    };
    std::printf("\n%-24s %10s %12s %10s %10s\n", "evaluation", "ours ns", "worst ns", "peer ns",
                "ours/peer");
    for (const Row& r : rows) {
      const auto ours = ns_.find(r.ours), peer = ns_.find(r.peer),
                 worst = ns_.find(std::string(r.ours) + "_worst");
      if (ours == ns_.end() || peer == ns_.end()) continue;
      std::printf("%-24s %10.1f %12.1f %10.1f %10.3f\n", r.ours + 3, ours->second,
                  worst == ns_.end() ? 0.0 : worst->second, peer->second,
                  ours->second / peer->second);
    }
  }

 private:
  std::map<std::string, double> ns_;
};

}  // namespace

int main(int argc, char** argv) {
  register_evaluations();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
