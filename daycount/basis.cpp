// Basis recognition: keys found as substrings, the first matching rule wins.
#include "daycount/daycount.h"
#include "text/text.h"

namespace mcn {

namespace {

// Searches the buffer range [from, length) for a key.
struct Range {
  const char* buffer;
  std::int32_t length;

  // What wzstndx gives for the key in [from, length): -1 for an empty range.
  template <std::size_t N>
  std::int32_t find(std::int32_t from, const char (&key)[N]) const {
    return search(buffer + from, length - from, key, static_cast<std::int32_t>(N - 1));
  }
  template <std::size_t N>
  bool after(std::int32_t at, std::int32_t skip, const char (&key)[N]) const {
    return at >= 0 && find(at + skip, key) >= 0;
  }
};

// Copies n bytes (0..256) with fixed-size moves only, which the compiler
// inlines: overlapping words, every read inside the n source bytes.
inline void copy_text(char* dst, const char* src, std::int32_t n) {
  if (n >= 8) {
    std::int32_t i = 0;
    for (; i + 8 <= n; i += 8) __builtin_memcpy(dst + i, src + i, 8);
    if (i < n) __builtin_memcpy(dst + n - 8, src + n - 8, 8);
  } else if (n >= 4) {
    __builtin_memcpy(dst, src, 4);
    __builtin_memcpy(dst + n - 4, src + n - 4, 4);
  } else if (n >= 2) {
    __builtin_memcpy(dst, src, 2);
    __builtin_memcpy(dst + n - 2, src + n - 2, 2);
  } else if (n == 1) {
    dst[0] = src[0];
  }
}

}  // namespace

int parse_basis(const char* text, std::int32_t length, bool age) {
  char buffer[kBasisBuffer];
  // A negative length is an empty text; beyond 256 bytes nothing counts.
  const std::int32_t n = length < 0 ? 0 : (length < kBasisBuffer ? length : kBasisBuffer);
  copy_text(buffer, text, n);
  const Range r{buffer, wzstrip(buffer, n)};

  // Digit keys, before upper-casing.
  const std::int32_t thirty = r.find(0, "30");
  if (r.after(thirty, 2, "360")) return kBasis30360;
  const std::int32_t p360 = r.find(0, "360");
  if (r.after(p360, 3, "360")) return kBasis30360;

  wztxxlt(kTableUpper, buffer, buffer, r.length);
  const std::int32_t act = r.find(0, "ACT");
  if (r.after(act, 3, "ACT")) return kBasisActAct;
  if (r.after(act, 3, "360")) return kBasisAct360;
  if (r.after(act, 3, "365")) return kBasisAct365;
  if (r.find(0, "ACTUAL") >= 0) return kBasisActAct;
  if (age && r.find(0, "AGE") >= 0) return kBasisAge;
  return p360 >= 0 ? kBasis30360 : kBasisNone;
}

}  // namespace mcn
