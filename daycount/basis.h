// Basis recognition: keys found as substrings, the first matching rule wins.
// Written once, as templates over a trace and over the upper-casing, so that
// the modules (with the host's text routine) and the explainer (with the
// host's table) run the same rules.
#ifndef MCN_DAYCOUNT_BASIS_H
#define MCN_DAYCOUNT_BASIS_H

#include <emmintrin.h>

#include <cstddef>

#include "daycount/daycount.h"
#include "text/text.h"

namespace mcn {

// The keys that the rules look for.
inline constexpr char kKey30[] = "30";
inline constexpr char kKey360[] = "360";
inline constexpr char kKey365[] = "365";
inline constexpr char kKeyAct[] = "ACT";
inline constexpr char kKeyActual[] = "ACTUAL";
inline constexpr char kKeyAge[] = "AGE";
static_assert(kKey30[0] == '3' && kKey360[0] == '3', "the digit rules look for a '3' first");

// The rules in the order they are tried.
enum class BasisRule : std::uint8_t {
  k30Then360,   // "30", and "360" after it
  k360Then360,  // "360", and "360" again after it
  kActThenAct,  // (upper-cased from here on) "ACT", and "ACT" after it
  kActThen360,  // "ACT", and "360" after it
  kActThen365,  // "ACT", and "365" after it
  kActual,      // "ACTUAL"
  kAge,         // "AGE", for YRDIF only
  k360,         // "360" anywhere
};
constexpr int kBasisRuleCount = 8;

// What each rule looks for and what it decides; `then` is null for a rule of
// one key, and a rule's first key is where `found_at` of a trace points.
struct BasisRuleKeys {
  const char* first;
  const char* then;
  int basis;
};
inline constexpr BasisRuleKeys kBasisRules[kBasisRuleCount] = {
    {kKey30, kKey360, kBasis30360},   {kKey360, kKey360, kBasis30360},
    {kKeyAct, kKeyAct, kBasisActAct}, {kKeyAct, kKey360, kBasisAct360},
    {kKeyAct, kKey365, kBasisAct365}, {kKeyActual, nullptr, kBasisActAct},
    {kKeyAge, nullptr, kBasisAge},    {kKey360, nullptr, kBasis30360},
};

namespace basis_detail {

// Copies n bytes (0..256) with fixed-size moves only, which the compiler
// inlines, reading each source byte once: whole words, then a 4-, 2- and
// 1-byte piece as the length's low bits ask.
inline void copy_small(char* dst, const char* src, std::int32_t n) {
  std::int32_t i = 0;
  for (; i + 8 <= n; i += 8) __builtin_memcpy(dst + i, src + i, 8);
  if (n & 4) {
    __builtin_memcpy(dst + i, src + i, 4);
    i += 4;
  }
  if (n & 2) {
    __builtin_memcpy(dst + i, src + i, 2);
    i += 2;
  }
  if (n & 1) dst[i] = src[i];
}

// Finds keys in the first `length` bytes of a copy of the text, position by
// position, for a text of more than 16 bytes without its trailing blanks.
class Searched {
 public:
  Searched(const char* text, std::int32_t length) : length_(length) {
    copy_small(buffer_, text, length);
  }
  char* text() { return buffer_; }
  std::int32_t length() const { return length_; }
  // Upper-cases the copy in place.
  template <typename Upper>
  void upper_case(Upper upper) {
    upper(buffer_, length_);
  }
  // Whether the byte may be in the text: a long text is searched for each key.
  bool may_hold(char) const { return true; }

  // The first occurrence of the key, or -1.
  template <std::size_t N>
  std::int32_t first(const char (&key)[N]) const {
    return search(buffer_, length_, key, static_cast<std::int32_t>(N - 1));
  }
  // Whether the key occurs in [at + skip, length), for a found `at`.
  template <std::size_t N>
  bool after(std::int32_t at, std::int32_t skip, const char (&key)[N]) const {
    return at >= 0 && search(buffer_ + at + skip, length_ - at - skip, key,
                             static_cast<std::int32_t>(N - 1)) >= 0;
  }

 private:
  std::int32_t length_;
  char buffer_[kBasisBuffer];
};

// Whether a key may be looked for in a register whose bytes past the text
// are blanks and zeros: it holds no blank (and, ending at its first zero,
// no zero).
constexpr bool holds_no_blank(const char* key) {
  for (; *key != '\0'; ++key)
    if (*key == ' ') return false;
  return true;
}
static_assert(holds_no_blank(kKey30) && holds_no_blank(kKey360) && holds_no_blank(kKey365) &&
                  holds_no_blank(kKeyAct) && holds_no_blank(kKeyActual) && holds_no_blank(kKeyAge),
              "the register's bytes past the text must match no key");

// The same answers for a text of at most 16 bytes, from bit masks over one
// SSE2 register: bit j of a key's mask is set where the key starts at j. The
// text is read into the register without a byte outside it, stripped there of
// its trailing blanks, and stored once into a small buffer of its own for the
// upper-casing, which works on bytes in memory. The register's bytes past
// the stripped text are its blanks and zeros, which no key holds: a key
// found is found within the text, and no mask of its length is needed.
class Short {
 public:
  static constexpr std::int32_t kMaxLength = 16;

  // `length` from 0 to 16.
  Short(const char* text, std::int32_t length) : bytes_(load(text, length)) {
    const auto blanks =
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes_, _mm_set1_epi8(' '))));
    const std::uint32_t kept = ~blanks & ((std::uint32_t{1} << length) - 1);
    length_ = kept == 0 ? 0 : 32 - __builtin_clz(kept);
    _mm_store_si128(reinterpret_cast<__m128i*>(buffer_), bytes_);
  }
  char* text() { return buffer_; }
  std::int32_t length() const { return length_; }
  // Upper-cases the stripped text in its buffer (the bytes after it stay
  // blanks and zeros) and takes it back.
  template <typename Upper>
  void upper_case(Upper upper) {
    upper(buffer_, length_);
    bytes_ = _mm_load_si128(reinterpret_cast<const __m128i*>(buffer_));
  }
  // Whether the byte (neither a blank nor a zero) is in the text.
  bool may_hold(char c) const { return equal(c) != 0; }

  template <std::size_t N>
  std::int32_t first(const char (&key)[N]) const {
    const std::uint32_t m = starts(key);
    return m != 0 ? __builtin_ctz(m) : -1;
  }
  template <std::size_t N>
  bool after(std::int32_t at, std::int32_t skip, const char (&key)[N]) const {
    return at >= 0 && (starts(key) >> (at + skip)) != 0;
  }

 private:
  template <typename Word>
  static std::uint64_t word(const char* p) {
    Word w;
    __builtin_memcpy(&w, p, sizeof w);
    return w;
  }
  // The n bytes (0 to 16) at p in the low bytes of a register, zeros above:
  // two loads of a width that fits, the second ending at the text's end and
  // overlapping the first (the overlap holds the same bytes in both).
  static __m128i load(const char* p, std::int32_t n) {
    if (n >= 8) {
      // Bytes 8 to n - 1, moved down; for n = 8 they are none (two shifts,
      // each below 64).
      const int drop = (16 - n) * 4;
      const std::uint64_t high = word<std::uint64_t>(p + n - 8) >> drop >> drop;
      return _mm_set_epi64x(static_cast<long long>(high),
                            static_cast<long long>(word<std::uint64_t>(p)));
    }
    std::uint64_t low = 0;
    if (n >= 4) {
      low = word<std::uint32_t>(p) | word<std::uint32_t>(p + n - 4) << ((n - 4) * 8);
    } else if (n >= 2) {
      low = word<std::uint16_t>(p) | word<std::uint16_t>(p + n - 2) << ((n - 2) * 8);
    } else if (n == 1) {
      low = static_cast<unsigned char>(p[0]);
    }
    return _mm_cvtsi64_si128(static_cast<long long>(low));
  }

  std::uint32_t equal(char c) const {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes_, _mm_set1_epi8(c))));
  }
  template <std::size_t N>
  std::uint32_t starts(const char (&key)[N]) const {
    std::uint32_t m = equal(key[0]);
    for (std::size_t k = 1; k + 1 < N; ++k) m &= equal(key[k]) >> k;
    return m;
  }

  __m128i bytes_;
  std::int32_t length_;
  alignas(16) char buffer_[kMaxLength];
};

// Tells the trace of a rule tried, and whether it decided.
template <typename Trace>
inline bool tried(Trace& trace, BasisRule rule, std::int32_t at, bool decided) {
  trace.rule(rule, at, decided);
  return decided;
}

// The rules in their order; the first that matches decides. Digit keys are
// looked for before upper-casing, all others after it.
template <typename Keys, typename Trace, typename Upper>
int apply_rules(Keys& keys, bool age, Trace& trace, Upper upper) {
  trace.text(keys.text(), keys.length(), false);
  // Both digit keys start with a '3': a text without one (every letter basis
  // but ACT/360 and ACT/365) need not be searched for them.
  const bool threes = keys.may_hold('3');
  const std::int32_t thirty = threes ? keys.first(kKey30) : -1;
  if (tried(trace, BasisRule::k30Then360, thirty, keys.after(thirty, 2, kKey360)))
    return kBasis30360;
  const std::int32_t p360 = threes ? keys.first(kKey360) : -1;
  if (tried(trace, BasisRule::k360Then360, p360, keys.after(p360, 3, kKey360))) return kBasis30360;

  keys.upper_case(upper);
  trace.text(keys.text(), keys.length(), true);
  const std::int32_t act = keys.first(kKeyAct);
  if (tried(trace, BasisRule::kActThenAct, act, keys.after(act, 3, kKeyAct))) return kBasisActAct;
  if (tried(trace, BasisRule::kActThen360, act, keys.after(act, 3, kKey360))) return kBasisAct360;
  if (tried(trace, BasisRule::kActThen365, act, keys.after(act, 3, kKey365))) return kBasisAct365;
  const std::int32_t actual = keys.first(kKeyActual);
  if (tried(trace, BasisRule::kActual, actual, actual >= 0)) return kBasisActAct;
  if (age) {
    const std::int32_t at = keys.first(kKeyAge);
    if (tried(trace, BasisRule::kAge, at, at >= 0)) return kBasisAge;
  }
  return tried(trace, BasisRule::k360, p360, p360 >= 0) ? kBasis30360 : kBasisNone;
}

}  // namespace basis_detail

// The basis code that a basis text names, or kBasisNone, told to the trace
// rule by rule. `upper(buffer, n)` upper-cases n bytes in place.
template <typename Trace, typename Upper>
int recognise_basis(const char* text, std::int32_t length, bool age, Trace& trace, Upper upper) {
  using namespace basis_detail;
  std::int32_t n = length;
  if (static_cast<std::uint32_t>(n) > static_cast<std::uint32_t>(Short::kMaxLength)) {
    // A negative length is an empty text; beyond 256 bytes nothing counts.
    n = n < 0 ? 0 : (n < kBasisBuffer ? n : kBasisBuffer);
    // A text padded with blanks past 16 bytes is stripped first, and takes
    // the short path when what is left fits.
    if (n > Short::kMaxLength) n = wzstrip(text, n);
    if (n > Short::kMaxLength) {
      Searched keys(text, n);
      return apply_rules(keys, age, trace, upper);
    }
  }
  Short keys(text, n);
  return apply_rules(keys, age, trace, upper);
}

}  // namespace mcn

#endif  // MCN_DAYCOUNT_BASIS_H
