// What the fuzz targets share: both modules loaded once through a reference
// host, and a check that stops the run with a message.
#ifndef FUZZ_LOADED_MODULES_H
#define FUZZ_LOADED_MODULES_H

#include <cstdio>
#include <cstdlib>

#include "core/loader.h"
#include "tests/instruments/host.h"

namespace fuzzing {

struct LoadedModules {
  testhost::Host host;
  dmcore::Module pelvoran = dmcore::load_module_or_exit(host, PELVORAN_PATH);
  dmcore::Module tashkume = dmcore::load_module_or_exit(host, TASHKUME_PATH);
};

// Loaded on first use and kept for the whole run.
inline LoadedModules& loaded_modules() {
  static LoadedModules m;
  return m;
}

inline void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

}  // namespace fuzzing

#endif  // FUZZ_LOADED_MODULES_H
