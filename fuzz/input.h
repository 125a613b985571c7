// What every fuzz target does with its input: fixed-size values taken from
// the front (zeros past the end), and a check that stops the run with a message.
#ifndef FUZZ_INPUT_H
#define FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzzing {

template <typename T>
T take(const std::uint8_t*& data, std::size_t& size) {
  T v{};
  const std::size_t n = size < sizeof v ? size : sizeof v;
  std::memcpy(&v, data, n);
  data += n;
  size -= n;
  return v;
}

inline void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

}  // namespace fuzzing

#endif  // FUZZ_INPUT_H
