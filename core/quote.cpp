#include "core/quote.h"

#include <cstdio>

namespace dmcore {

namespace {

// The length of the valid UTF-8 sequence at the start of `s` (at least one
// byte long), or 0 if it does not start with one. Overlong forms, surrogates
// and code points past U+10FFFF are not valid.
std::size_t utf8_length(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = b(0);
  std::size_t n;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < n || b(1) < low || b(1) > high) return 0;
  for (std::size_t i = 2; i < n; ++i)
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  return n;
}

}  // namespace

std::string escaped(std::string_view text, std::size_t limit) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size() && i < limit) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
      ++i;
    } else if (c == '\\') {
      out += "\\\\";
      ++i;
    } else if (const std::size_t n = c >= 0x80 ? utf8_length(text.substr(i)) : 0; n > 0) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
      ++i;
    }
  }
  if (i < text.size()) out += "...";
  return out;
}

std::string shown_path(std::string_view path) {
  if (path.size() <= kPathLimit) return escaped(path, kPathLimit);
  constexpr std::size_t kHead = kPathLimit / 3;
  std::size_t tail = path.size() - (kPathLimit - kHead);
  // The tail starts on a character, not inside one.
  while (tail < path.size() && (static_cast<unsigned char>(path[tail]) & 0xC0) == 0x80) ++tail;
  return escaped(path.substr(0, kHead), kHead) + "..." + escaped(path.substr(tail), kPathLimit);
}

}  // namespace dmcore
