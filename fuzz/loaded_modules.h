// Both modules loaded once through a reference host, for the fuzz targets
// that call them directly.
#ifndef FUZZ_LOADED_MODULES_H
#define FUZZ_LOADED_MODULES_H

#include "core/loader.h"
#include "fuzz/input.h"
#include "tests/instruments/host.h"
#include "tests/instruments/load_module.h"

namespace fuzzing {

struct LoadedModules {
  testhost::Host host;
  dmcore::Module pelvoran = testhost::load_module_or_exit(host, PELVORAN_PATH);
  dmcore::Module tashkume = testhost::load_module_or_exit(host, TASHKUME_PATH);
};

// Loaded on first use and kept for the whole run.
inline LoadedModules& loaded_modules() {
  static LoadedModules m;
  return m;
}

}  // namespace fuzzing

#endif  // FUZZ_LOADED_MODULES_H
