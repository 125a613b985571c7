#include "tools/dates.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "frame/abi.h"
#include "host/calendar.h"
#include "tools/output.h"

namespace modhost {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool parse_date(std::string_view text, double& value, std::string& error) {
  const std::string_view s = trim(text);
  if (s.empty() || s == ".") {
    value = mcn::missing_value();
    return true;
  }

  // An ISO date: anything shaped like one is judged as one.
  refhost::Civil c;
  if (refhost::parse_iso(s, c)) {
    if (!refhost::valid_civil(c)) {
      error = "no such date in the host calendar: '" + escaped(s) + "'";
      return false;
    }
    value = static_cast<double>(refhost::days_from_civil(c));
    return true;
  }
  if (const std::size_t first = s.find('-', 1);
      first != std::string_view::npos && s.find('-', first + 1) != std::string_view::npos) {
    error = "not a date (yyyy-mm-dd) or date value: '" + escaped(s) + "'";
    return false;
  }

  // A date value. from_chars takes no leading '+'.
  const char* begin = s.data();
  const char* end = s.data() + s.size();
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) {
    error = "not a date (yyyy-mm-dd) or date value: '" + escaped(s) + "'";
    return false;
  }
  return true;
}

bool reads_as_value(std::string_view text) {
  const std::string_view s = trim(text);
  const auto digit = [&](std::size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };
  if (s == ".") return true;
  if (digit(0)) return true;
  if (!s.empty() && (s[0] == '-' || s[0] == '+' || s[0] == '.'))
    return digit(1) || (s[0] != '.' && s.size() > 2 && s[1] == '.' && digit(2));
  return false;
}

MissingCause missing_cause(double start, double end) {
  if (std::isnan(start) || std::isnan(end)) return MissingCause::kDateMissing;
  const auto in_range = [](double d) { return d >= mcn::kFirstDate && d < mcn::kDateLimit; };
  if (!in_range(start) || !in_range(end)) return MissingCause::kDateOutOfRange;
  return MissingCause::kBasis;
}

const char* cause_text(MissingCause cause) {
  switch (cause) {
    case MissingCause::kDateMissing:
      return "date missing";
    case MissingCause::kDateOutOfRange:
      return "date out of range (1582-01-01 to 20000-12-31)";
    default:
      return "basis names no basis";
  }
}

int format_number(double value, char* out) {
  const auto format =
      std::fabs(value) < 1e15 ? std::chars_format::fixed : std::chars_format::general;
  const auto result = std::to_chars(out, out + kNumberChars, value, format);
  return static_cast<int>(result.ptr - out);
}

}  // namespace modhost
