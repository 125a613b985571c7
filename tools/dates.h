// Date arguments as people write them, and numbers as modhost prints them.
#ifndef MODHOST_DATES_H
#define MODHOST_DATES_H

#include <string>
#include <string_view>

namespace modhost {

// A date argument: an ISO date yyyy-mm-dd of the host calendar, a date value
// (days from 1960-01-01, fractions allowed), or "." or nothing for a missing
// value. Returns false with a reason for anything else.
bool parse_date(std::string_view text, double& value, std::string& error);

// The shortest text that reads back as the same double. Writes at most 32
// characters to `out` and returns how many.
int format_number(double value, char* out);

}  // namespace modhost

#endif  // MODHOST_DATES_H
