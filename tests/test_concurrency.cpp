// Several threads evaluating both functions through both loaded modules at
// once: every result equals the single-threaded one.
#include <random>
#include <thread>
#include <vector>

#include "evaluation.h"

namespace {

using testing_support::bits;

struct Input {
  double start, end;
  const char* basis;  // null: YRDIF with two arguments
  bool datdif;
};

class Concurrency : public testing_support::Functions {};

TEST_F(Concurrency, ThreadsSeeTheSingleThreadedResults) {
  const char* const bases[] = {nullptr,   "30/360", "ACT/ACT", "ACT/360",
                               "act/365", "AGE",    "bogus",   ""};
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> any(-139000.0, 6590000.0);
  std::vector<Input> inputs;
  for (int i = 0; i < 4000; ++i) {
    const double s = rng() % 4 == 0 ? std::floor(any(rng)) : any(rng);
    const double e = s + static_cast<double>(static_cast<int>(rng() % 80000) - 40000);
    const char* basis = bases[rng() % 8];
    inputs.push_back({s, e, basis, basis != nullptr && rng() % 2 == 0});
  }
  const auto evaluate = [&](const Input& in) {
    if (in.datdif) return datdif(in.start, in.end, in.basis);
    return in.basis ? yrdif(in.start, in.end, in.basis) : yrdif(in.start, in.end);
  };
  std::vector<testing_support::Outcome> expected;
  for (const Input& in : inputs) expected.push_back(evaluate(in));

  constexpr int kThreads = 4;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 10; ++round) {
        // Each thread walks the inputs from its own starting point.
        for (std::size_t k = 0; k < inputs.size(); ++k) {
          const std::size_t i = (k + static_cast<std::size_t>(t) * 997) % inputs.size();
          const testing_support::Outcome r = evaluate(inputs[i]);
          if (r.status != expected[i].status || bits(r.value) != bits(expected[i].value))
            ++mismatches[t];
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
