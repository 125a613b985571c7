// Routines on host text: length-counted, blank-padded bytes without a terminator.
#ifndef MCN_TEXT_TEXT_H
#define MCN_TEXT_TEXT_H

#include <cstdint>

#include "frame/frame.h"

namespace mcn {
constexpr std::int32_t kStatusBadTable = static_cast<std::int32_t>(0x8000200Au);
}

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
