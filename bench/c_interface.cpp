// The C interface's own work, for callgrind (bench/instructions): YRDIF under
// ACT/ACT over the same random pairs, one dm_eval call a pair ("eval") or one
// dm_eval_array call for all ("array"). What the calls cost beyond the
// module's entry is the interface's share.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "embed/datemodules.h"

constexpr int kPairs = 20000;

int main(int argc, char** argv) {
  const bool array = argc > 1 && std::strcmp(argv[1], "array") == 0;
  std::vector<double> start(kPairs), end(kPairs), results(kPairs);
  dm_library* lib = nullptr;
  const dm_function* yrdif = nullptr;
  if (dm_open(MODULE_DIR, &lib) != DM_OK || dm_function_find(lib, "YRDIF", &yrdif) != DM_OK) {
    std::fprintf(stderr, "c_interface: %s\n", dm_errmsg(lib));
    return 1;
  }
  std::srand(2026);
  for (int i = 0; i < kPairs; ++i) {
    start[i] = std::rand() % 6000000 - 100000;
    end[i] = start[i] + std::rand() % 73049 - 36524;
  }
  size_t missing = 0;
  if (array) {
    if (dm_eval_array(yrdif, kPairs, start.data(), end.data(), "ACT/ACT", 7, results.data(),
                      &missing, nullptr) != DM_OK)
      return 1;
  } else {
    for (int i = 0; i < kPairs; ++i)
      missing += dm_eval(yrdif, start[i], end[i], "ACT/ACT", 7, &results[i], nullptr) != DM_OK;
  }
  double sum = 0;
  for (const double r : results) sum += r;
  std::printf("%d %zu %.6f\n", kPairs, missing, sum);
  dm_close(lib);
  return 0;
}
