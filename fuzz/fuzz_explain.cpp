// Explanations of fuzzed evaluations: any bit pattern as a date, a basis left
// out, missing or of any bytes, for both functions. The explained figure is
// always the module's, and the text and JSON are made safely: JSON without a
// control byte or an invalid escape, one object.
//
// Input: flags (1 byte: bit 0 DATDIF, bits 1-2 the basis kind), start (8),
// end (8), basis bytes.
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/explain.h"
#include "core/library.h"
#include "fuzz/input.h"

namespace {

using fuzzing::check;
using fuzzing::take;

const dmcore::Registry& registry() {
  static const dmcore::Registry r = [] {
    std::string dir = PELVORAN_PATH;
    return dmcore::open_directory(dir.substr(0, dir.rfind('/')));
  }();
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto flags = take<std::uint8_t>(data, size);
  const auto start = take<double>(data, size);  // any bit pattern
  const auto end = take<double>(data, size);
  const std::string text(reinterpret_cast<const char*>(data), size);

  const dmcore::Function& f = registry().functions.at((flags & 1) ? "DATDIF" : "YRDIF");
  dmcore::Basis basis = dmcore::Basis::of(text);
  if ((flags >> 1 & 3) == 1) basis = dmcore::Basis::missing();
  if ((flags >> 1 & 3) == 2 && f.min_args <= 2) basis = dmcore::Basis::left_out();

  const dmcore::Explanation e = dmcore::explain(f, start, end, basis);
  check(e.same_bits, "the explained figure is the module's result");
  check((e.count == dmcore::Count::kNone) == (e.failed != dmcore::FailedTest::kNone),
        "a count exactly when the result is not missing");
  const std::string json = dmcore::explanation_json(e);
  check(json.front() == '{' && json.back() == '}', "JSON is one object");
  for (std::size_t i = 0; i < json.size(); ++i) {
    const auto c = static_cast<unsigned char>(json[i]);
    check(c >= 0x20, "no control byte in JSON");
    if (c == '\\') {
      check(i + 1 < json.size() && std::strchr("\"\\", json[i + 1]) != nullptr,
            "JSON escapes only quotes and backslashes");
      ++i;
    }
  }
  const std::string t = dmcore::explanation_text(e);
  check(!t.empty() && t.back() == '\n', "the text ends its last line");
  for (const char c : t)
    check(static_cast<unsigned char>(c) >= 0x20 || c == '\n', "no control byte in the text");
  return 0;
}
