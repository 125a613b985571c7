// A module that has to load, for programs that drive fixed modules (fuzz
// targets, benchmarks): on failure the error is printed and the program
// exits. A program's own, never the library's: a library does not end its host.
#ifndef TESTHOST_LOAD_MODULE_H
#define TESTHOST_LOAD_MODULE_H

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/loader.h"

namespace testhost {

inline dmcore::Module load_module_or_exit(dmcore::Runtime& host, const std::string& path) {
  dmcore::Module m;
  std::string error;
  if (!dmcore::load_module(host, path, m, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
  return m;
}

}  // namespace testhost

#endif  // TESTHOST_LOAD_MODULE_H
