// Shared pieces of the tests: where the built files are, and a module opened
// straight through the dynamic loader so that its symbols can be looked at.
#ifndef TESTS_SUPPORT_H
#define TESTS_SUPPORT_H

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "frame/abi.h"
#include "tests/instruments/host.h"

namespace testing_support {

inline const char* const kPelvoran = PELVORAN_PATH;
inline const char* const kTashkume = TASHKUME_PATH;

// The missing value's bit pattern of a double.
inline std::uint64_t bits(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}
inline double from_bits(std::uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}

// A module opened with dlopen and closed again at the end of the test.
class RawModule {
 public:
  explicit RawModule(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) ADD_FAILURE() << "dlopen " << path << ": " << dlerror();
  }
  ~RawModule() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  RawModule(const RawModule&) = delete;
  RawModule& operator=(const RawModule&) = delete;

  void* symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
  template <typename T>
  T function(const char* name) const {
    return reinterpret_cast<T>(symbol(name));
  }
  template <typename T>
  T& data(const char* name) const {
    return *static_cast<T*>(symbol(name));
  }
  const mcn::ImageInfo* init(testhost::Host& host) const {
    return function<McnMain>("mcn_main")(host.gcb(), host.pidb());
  }

 private:
  void* handle_;
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_H
