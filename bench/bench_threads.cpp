// Large arrays on one thread and on every core, in one run: for each thread
// count a child process (DATEMODULES_THREADS, read when its pool starts)
// times dm_eval_array over the same pairs, fastest of several runs, and the
// parent prints each beside one thread's.
//
//   bench_threads [PAIRS] [THREADS...]    default 10000000 pairs, threads 1 2
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "embed/datemodules.h"

namespace {

constexpr int kRuns = 7;

// ns per pair of the fastest run, in a child with `threads` threads.
double time_in_child(const char* threads, const std::vector<double>& start,
                     const std::vector<double>& end) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    setenv("DATEMODULES_THREADS", threads, 1);
    dm_library* lib = nullptr;
    const dm_function* f = nullptr;
    double best = 1e300;
    if (dm_open(MODULE_DIR, &lib) == DM_OK && dm_function_find(lib, "YRDIF", &f) == DM_OK) {
      std::vector<double> out(start.size());
      for (int r = 0; r < kRuns; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        dm_eval_array(f, start.size(), start.data(), end.data(), "ACT/ACT", 7, out.data(), nullptr,
                      nullptr);
        const std::chrono::duration<double, std::nano> t = std::chrono::steady_clock::now() - t0;
        if (t.count() < best) best = t.count();
      }
    }
    const double per_pair = best / static_cast<double>(start.size());
    const bool written = write(pipe_fds[1], &per_pair, sizeof per_pair) == sizeof per_pair;
    _exit(written ? 0 : 1);
  }
  close(pipe_fds[1]);
  double per_pair = -1;
  if (read(pipe_fds[0], &per_pair, sizeof per_pair) != sizeof per_pair) per_pair = -1;
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return per_pair;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t pairs = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000000;
  std::vector<const char*> counts;
  for (int i = 2; i < argc; ++i) counts.push_back(argv[i]);
  if (counts.empty()) counts = {"1", "2"};
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> day(-21914, 87658);  // 1900 to 2200
  std::vector<double> start(pairs), end(pairs);
  for (std::size_t i = 0; i < pairs; ++i) {
    start[i] = day(rng);
    end[i] = start[i] + day(rng) / 4;
  }
  std::printf("YRDIF ACT/ACT over %zu pairs through dm_eval_array, fastest of %d runs\n", pairs,
              kRuns);
  std::printf("| threads | ns per pair | speed-up over 1 thread |\n|---:|---:|---:|\n");
  double one = 0;
  for (const char* threads : counts) {
    const double ns = time_in_child(threads, start, end);
    if (ns <= 0) {
      std::fprintf(stderr, "bench_threads: the child with %s threads failed\n", threads);
      return 1;
    }
    if (one == 0) one = ns;
    std::printf("| %s | %.2f | %.2fx |\n", threads, ns, one / ns);
  }
  return 0;
}
