// The date reader over any bytes: what it finds agrees with the value it
// gives (a date, or the missing value for every other reason), an ISO date
// it takes is written back by format_iso and read again as the same day, the
// common-form shortcut agrees with the full grammar, and a refusal's message
// is bounded and printable.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/dates.h"
#include "core/evaluate.h"
#include "frame/abi.h"
#include "fuzz/loaded_modules.h"

using dmcore::DateReason;
using fuzzing::check;

namespace {

std::uint64_t bits(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  double value;
  const DateReason r = dmcore::read_date(text, value);
  check(r <= DateReason::kNoSuchDay, "a known reason");
  check(dmcore::reason_of_value(value) == r, "the value carries the reason");
  if (r == DateReason::kMissing)
    check(bits(value) == mcn::kMissingBits, "the host's missing value");
  if (r == DateReason::kDate) check(std::isfinite(value), "a finite date value");

  // The shortcut of the array readers against the grammar, on the first 10 bytes.
  if (size >= 10) {
    DateReason quick;
    double v;
    if (dmcore::read_iso10(reinterpret_cast<const char*>(data), quick, v)) {
      double full;
      check(dmcore::read_date(text.substr(0, 10), full) == quick, "the shortcut's reason");
      if (quick == DateReason::kDate) check(v == full, "the shortcut's value");
    }
  }

  // A date that format_iso can write reads back as the same day.
  char iso[dmcore::kIsoChars];
  int length = 0;
  if (r == DateReason::kDate && dmcore::format_iso(value, iso, length)) {
    double back;
    check(dmcore::read_date(std::string_view(iso, length), back) == DateReason::kDate,
          "reads back");
    check(back == std::floor(value), "the same day");
  }

  if (r == DateReason::kNotADate || r == DateReason::kNoSuchDay) {
    const std::string message = dmcore::refusal("f\x1b", "argument 1", r, text);
    check(message.size() < 400, "a bounded message");
    for (const char c : message) check(c != '\n' && c != '\x1b', "a message without control bytes");
  }
  const dmcore::Basis b = dmcore::Basis::of(text);
  check(b.kind != dmcore::Basis::Kind::kLeftOut, "a text is never left out");
  return 0;
}
