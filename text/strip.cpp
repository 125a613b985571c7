// wzstrip: the length of a text without its trailing blanks.
//
// The scan runs backwards from the end in three phases. Head: the text's
// last 8 bytes, read as one word at whatever address they start, which takes
// in every byte above the last 8-byte boundary. Words: whole aligned words
// while they are all blanks, two at a step. Tail: the bytes below the first
// boundary, one at a time. Every word read lies inside the text, and the word
// that stops the scan tells its last non-blank byte at once.
#include "text/text.h"

namespace {

using Word = std::uint64_t;
constexpr std::int32_t kWordSize = sizeof(Word);
constexpr Word kOnes = ~Word{0} / 0xFF;  // 0x0101...01
constexpr unsigned char kBlank = ' ';
constexpr Word kBlanks = kOnes * kBlank;

inline Word load_word(const unsigned char* p) {
  Word w;
  __builtin_memcpy(&w, p, sizeof w);
  return w;
}

// 1 + the index of the last non-blank byte of a word that is not all blanks
// (the highest address is the most significant byte on this little-endian
// target).
inline std::int32_t word_end(Word w) { return (63 - __builtin_clzll(w ^ kBlanks)) / 8 + 1; }

}  // namespace

extern "C" std::int32_t wzstrip(const char* t, std::int32_t n) {
  if (n <= 0) return n;
  const auto* s = reinterpret_cast<const unsigned char*>(t);
  std::int32_t i = n;  // the bytes from i to n are blanks

  if (n >= kWordSize) {
    // Head: the last word of the text.
    const Word last = load_word(s + n - kWordSize);
    if (last != kBlanks) return n - kWordSize + word_end(last);
    // Words: aligned, inside the text, from the last boundary down; w is the
    // offset of the word under test.
    std::int32_t w = n - kWordSize -
                     static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(s + n) &
                                               static_cast<std::uintptr_t>(kWordSize - 1));
    // Two words a step while both are blanks, then the last one or two alone.
    while (w >= kWordSize &&
           ((load_word(s + w) ^ kBlanks) | (load_word(s + w - kWordSize) ^ kBlanks)) == 0)
      w -= 2 * kWordSize;
    while (w >= 0 && load_word(s + w) == kBlanks) w -= kWordSize;
    if (w >= 0) return w + word_end(load_word(s + w));
    i = w + kWordSize;
  }
  // Tail: the bytes below the first boundary, or a text shorter than a word.
  while (i > 0 && s[i - 1] == kBlank) --i;
  return i;
}
