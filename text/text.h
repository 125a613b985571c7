// Routines on host text: length-counted, blank-padded bytes without a terminator.
#ifndef MCN_TEXT_TEXT_H
#define MCN_TEXT_TEXT_H

#include <cstdint>

#include "frame/frame.h"

namespace mcn {

// The position-by-position search of wzstndx for a pattern of m >= 1 bytes:
// the lowest i with t[i..i+m) equal to p[0..m), or -1. A text shorter than
// the pattern holds no position, and no byte of either is read. Inline, so
// that callers with a constant pattern get it specialised.
inline std::int32_t search(const char* t, std::int32_t n, const char* p, std::int32_t m) {
  if (n < m) return -1;
  const char first = p[0];
  for (std::int32_t i = 0; i <= n - m; ++i) {
    if (t[i] != first) continue;
    std::int32_t j = 1;
    while (j < m && t[i + j] == p[j]) ++j;
    if (j == m) return i;
  }
  return -1;
}

// Whether the host's text is multi-byte: its flag, read afresh on every call.
inline bool multibyte_text(const Gcb* g) {
  const HostTextFlags* flags = g->text_record->flags;
  return flags != nullptr && flags->multibyte != 0;
}

// Upper-cases n >= 0 bytes in place as wztxxlt does with the host's
// upper-casing table, through its multi-byte routine or its byte table. The
// byte table is applied without a test per byte: to whole groups of 8, then
// to the 0 to 7 bytes left, entered at their count.
inline void upper_case_in_place(char* text, std::int32_t n) {
  const Gcb* g = gcb();
  if (multibyte_text(g)) {
    wzstrup(text, n);
    return;
  }
  const unsigned char* map = g->translation_tables[kTranslationFirstSlot + kTableUpper];
  auto* b = reinterpret_cast<unsigned char*>(text);
  const auto at = [map, &b](int k) { b[k] = map[b[k]]; };
  for (; n >= 8; n -= 8, b += 8) {
    at(0);
    at(1);
    at(2);
    at(3);
    at(4);
    at(5);
    at(6);
    at(7);
  }
  switch (n) {
    case 7:
      at(6);
      [[fallthrough]];
    case 6:
      at(5);
      [[fallthrough]];
    case 5:
      at(4);
      [[fallthrough]];
    case 4:
      at(3);
      [[fallthrough]];
    case 3:
      at(2);
      [[fallthrough]];
    case 2:
      at(1);
      [[fallthrough]];
    case 1:
      at(0);
      break;
    default:
      break;
  }
}

}  // namespace mcn

extern "C" {
// Index of the first occurrence of pattern p (length m) in text t (length n),
// or -1. A negative m takes p as NUL-terminated.
MCN_EXPORT std::int32_t wzstndx(const char* t, std::int32_t n, const char* p, std::int32_t m);
// Length of the text without its trailing blanks (0x20 only).
MCN_EXPORT std::int32_t wzstrip(const char* t, std::int32_t n);
// Translates n bytes through host translation `table` (0..4) from src to dst.
MCN_EXPORT std::int32_t wztxxlt(std::int32_t table, const char* src, char* dst, std::int32_t n);
// Number of bytes before the NUL; 0 for a null pointer.
MCN_EXPORT std::int32_t wzstlen(const char* s);
}

#endif  // MCN_TEXT_TEXT_H
