// Dates as people write them, read the same way on every face, and numbers
// as the project prints them.
//
// A date text, after blanks (spaces and tabs) at either end are set aside, is
//   - empty or ".": a missing date (the host's missing value);
//   - an ISO date yyyy-mm-dd (a year of 1 to 9 digits with an optional sign, a
//     month and a day of 1 or 2 digits), optionally followed by a time of day
//     as SQLite's date() reads it: "T" or blanks, hh:mm, optionally :ss and a
//     fraction, then optionally blanks and "Z" or an offset +hh:mm / -hh:mm.
//     The date is the civil date of the host calendar; with an offset, the
//     date in UTC, as date() gives it. A year outside 1582 to 20000 gives its
//     date value all the same, which the functions answer with a missing result;
//   - a number: a date value (days from 1960-01-01, fractions allowed).
// Anything else is refused, with its reason.
#ifndef DMCORE_DATES_H
#define DMCORE_DATES_H

#include <cstdint>
#include <string>
#include <string_view>

#include "core/calendar.h"

namespace dmcore {

// What reading a date text found. The numbers are those of the C interface.
enum class DateReason : std::uint8_t {
  kDate = 0,       // a date or a date value
  kMissing = 1,    // an empty text or "."
  kNotADate = 2,   // no date, date value or missing date
  kNoSuchDay = 3,  // shaped like an ISO date, but the host calendar lacks that day
};

// The reason as a message says it; "" for kDate and kMissing.
const char* reason_text(DateReason reason);

// A date that was given but cannot be used keeps its reason in its date
// value, so that the cause of the missing result it gives is the true one:
// a text that is no date, or a day the host calendar lacks (4000-02-29), is
// a quiet NaN whose payload names the reason. The modules take every NaN for
// a missing date, so their results stay what they are; the evaluator reads
// the payload back for the cause. A day beyond the calendar's bounds is an
// infinity of its sign, a date out of range to the functions.
constexpr std::uint64_t kRefusedDateBits = 0x7FF8'DA7E'0000'0000;
inline double refused_date(DateReason reason) {
  return __builtin_bit_cast(double, kRefusedDateBits | static_cast<std::uint64_t>(reason));
}
// The reason a date value carries: kMissing for any other NaN, else kDate.
inline DateReason reason_of_value(double value) {
  const auto bits = __builtin_bit_cast(std::uint64_t, value);
  if (bits == (kRefusedDateBits | static_cast<std::uint64_t>(DateReason::kNotADate)))
    return DateReason::kNotADate;
  if (bits == (kRefusedDateBits | static_cast<std::uint64_t>(DateReason::kNoSuchDay)))
    return DateReason::kNoSuchDay;
  return value != value ? DateReason::kMissing : DateReason::kDate;
}
// The date value of a day past the calendar's bounds, on the side of `sign`.
inline double beyond_bounds(double sign) { return sign < 0 ? -__builtin_inf() : __builtin_inf(); }

// Reads a date text into `value`: the missing value for kMissing, a refused
// date (refused_date) for kNotADate and kNoSuchDay.
DateReason read_date(std::string_view text, double& value);

// The common form alone, yyyy-mm-dd in exactly 10 characters of any width
// (bytes, UTF-32), for the array readers: true with its reason when the text
// has that form; false for any other text, which read_date then reads.
template <typename Char>
inline bool read_iso10(const Char* t, DateReason& reason, double& value) {
  const auto d = [&](int i) { return static_cast<std::uint32_t>(t[i]) - '0'; };
  // A character below '0' wraps to a large number, so one bound tests all.
  std::uint32_t largest = 0;
  for (const int i : {0, 1, 2, 3, 5, 6, 8, 9}) largest = d(i) > largest ? d(i) : largest;
  if (t[4] != '-' || t[7] != '-' || largest > 9) return false;
  const int month = static_cast<int>(10 * d(5) + d(6));
  const int day = static_cast<int>(10 * d(8) + d(9));
  const std::int64_t year = 1000 * d(0) + 100 * d(1) + 10 * d(2) + d(3);
  reason = date_from_civil({year, month, day}, value) ? DateReason::kDate : DateReason::kNoSuchDay;
  if (reason != DateReason::kDate) value = refused_date(reason);
  return true;
}

// A refused date text as every face words it: "FUNCTION: ARGUMENT: REASON:
// 'TEXT'", with FUNCTION and its ": " left out when empty. ARGUMENT names the
// argument as the face's users know it ("argument 2", "end[3]"); each part is
// escaped, and the text (without the blanks the reader passes over) quoted.
std::string refusal(std::string_view function, std::string_view argument, DateReason reason,
                    std::string_view text);

// yyyy-mm-dd (at least four year digits, "-" before a negative year) of a
// date value's day; false for a value whose year has more than 9 digits, which
// read_date would not take back. `out` needs room for kIsoChars bytes.
constexpr int kIsoChars = 17;  // "-999999999-12-31" and its NUL
bool format_iso(double value, char* out, int& length);

// Whether a field is meant as a date or a number: it starts, after blanks,
// with a digit, or with a sign or point and a digit, or it is ".". A header
// line has no such field.
bool reads_as_value(std::string_view text);

// Room for any text of format_number.
constexpr int kNumberChars = 400;

// The shortest text that reads back as the same double, in fixed notation
// (no exponent) for |value| < 1e15: whole numbers, day counts among them, as
// integers. Writes at most kNumberChars characters and returns how many.
int format_number(double value, char* out);

}  // namespace dmcore

#endif  // DMCORE_DATES_H
