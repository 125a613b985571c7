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

namespace dmcore {

// What reading a date text found. The numbers are those of the C interface.
enum class DateReason : std::uint8_t {
  kDate = 0,      // a date or a date value
  kMissing = 1,   // an empty text or "."
  kNotADate = 2,  // no date, date value or missing date
  kNoSuchDay = 3, // shaped like an ISO date, but the host calendar lacks that day
};

// The reason as a message says it; "" for kDate and kMissing.
const char* reason_text(DateReason reason);

// Reads a date text into `value` (the missing value for kMissing).
DateReason read_date(std::string_view text, double& value);

// A refusal as every face words it: the reason and the text, quoted safely.
std::string refusal(DateReason reason, std::string_view text);

// yyyy-mm-dd (at least four year digits, "-" before a negative year) of a
// date value's day; false for a value whose year has more than 9 digits, which
// read_date would not take back. `out` needs room for kIsoChars bytes.
constexpr int kIsoChars = 16;
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
