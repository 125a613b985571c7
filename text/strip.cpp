// wzstrip: the length of a text without its trailing blanks.
#include "text/text.h"

namespace {

constexpr unsigned char kBlank = 0x20;
constexpr std::uint64_t kBlankWord = 0x2020202020202020u;
constexpr std::int32_t kShortText = 16;
constexpr std::uintptr_t kWord = 8;

// Backward byte scan from index i: 1 + the index of the last non-blank at or
// below i, or 0 when all are blanks.
inline std::int32_t strip_bytes(const unsigned char* s, std::int32_t i) {
  while (i >= 0 && s[i] == kBlank) --i;
  return i + 1;
}

inline std::uint64_t load_word(const unsigned char* p) {
  std::uint64_t w;
  __builtin_memcpy(&w, p, sizeof w);
  return w;
}

// 1 + the index of the last non-blank byte of a word that is not all blanks,
// counted from the start of the word (the highest address is the most
// significant byte on this little-endian target).
inline std::int32_t word_end(std::uint64_t w) {
  return (63 - __builtin_clzll(w ^ kBlankWord)) / 8 + 1;
}

}  // namespace

extern "C" std::int32_t wzstrip(const char* t, std::int32_t n) {
  if (n <= 0) return n;
  const auto* s = reinterpret_cast<const unsigned char*>(t);
  if (s[n - 1] != kBlank) return n;
  if (n <= kShortText) return strip_bytes(s, n - 2);

  // Words at aligned addresses, all of them inside the n bytes of the text:
  // [lo, hi) with lo the first aligned address at or after s and hi the last
  // one at or below s + n. A text of more than 16 bytes holds at least one.
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(s);
  const std::int32_t lo = static_cast<std::int32_t>(((base + kWord - 1) & ~(kWord - 1)) - base);
  const std::int32_t hi = static_cast<std::int32_t>(((base + n) & ~(kWord - 1)) - base);

  // The unaligned tail above the last word.
  for (std::int32_t i = n - 2; i >= hi; --i)
    if (s[i] != kBlank) return i + 1;

  std::int32_t w = hi - static_cast<std::int32_t>(kWord);
  if (load_word(s + lo) != kBlankWord) {
    // The first word is not all blanks: it stops the scan, no bound test needed.
    while (load_word(s + w) == kBlankWord) w -= kWord;
  } else {
    while (w > lo && load_word(s + w) == kBlankWord) w -= kWord;
    if (w == lo) return strip_bytes(s, lo - 1);  // every word was blank
  }
  return w + word_end(load_word(s + w));
}
