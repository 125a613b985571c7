// Date arguments as people write them, and numbers as modhost prints them.
#ifndef MODHOST_DATES_H
#define MODHOST_DATES_H

#include <string>
#include <string_view>

namespace modhost {

// A date argument: an ISO date yyyy-mm-dd of the host calendar, a date value
// (days from 1960-01-01, fractions allowed), or "." or nothing for a missing
// value. Returns false with a reason for anything else. An ISO date of any
// year of up to 9 digits that the host calendar has becomes its date value,
// even outside the range the functions take: they answer it, as any date
// value out of range, with a missing result.
bool parse_date(std::string_view text, double& value, std::string& error);

// Whether a field is meant as a date or a number: it starts, after blanks,
// with a digit, or with a sign or point and a digit, or it is ".". A header
// line has no such field.
bool reads_as_value(std::string_view text);

// Why an evaluation of these arguments gave a missing result, as far as the
// arguments tell: a missing date, a date out of range, else the basis.
enum class MissingCause { kDateMissing, kDateOutOfRange, kBasis, kCount };
MissingCause missing_cause(double start, double end);
const char* cause_text(MissingCause cause);

// Room for any text of format_number.
constexpr int kNumberChars = 400;

// The shortest text that reads back as the same double, in fixed notation
// (no exponent) for |value| < 1e15: whole numbers, day counts among them, as
// integers. Writes at most kNumberChars characters and returns how many.
int format_number(double value, char* out);

}  // namespace modhost

#endif  // MODHOST_DATES_H
