// wzstndx and wzstlen: exact, case-sensitive search in length-counted text.
#include "text/text.h"

extern "C" {

std::int32_t wzstlen(const char* s) {
  if (s == nullptr) return 0;
  std::int32_t n = 0;
  // The build keeps the compiler from turning this loop into a call of strlen.
  while (s[n] != '\0') ++n;
  return n;
}

std::int32_t wzstndx(const char* t, std::int32_t n, const char* p, std::int32_t m) {
  if (m == 0) return 0;
  if (m < 0) {
    if (p == nullptr) return 0;
    m = wzstlen(p);
    // An empty NUL-terminated pattern is found at once, like length 0.
    if (m == 0) return 0;
  }
  if (n <= 0) return -1;
  return mcn::search(t, n, p, m);
}

}  // extern "C"
