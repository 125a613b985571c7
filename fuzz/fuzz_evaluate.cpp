// Evaluation through both loaded modules from fuzzed argument blocks: any bit
// pattern as a date, any argument count, null or real basis descriptor and
// text pointer, any length and bytes.
//
// Input: flags (1 byte), start (8), end (8), count (1), length (4), text bytes.
// The text block holds the given bytes and, when the length claims more (up to
// 8 KiB), blanks after them, in a heap block of exactly that size.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz/loaded_modules.h"
#include "tests/instruments/arguments.h"

namespace {

using fuzzing::check;

fuzzing::LoadedModules& modules() { return fuzzing::loaded_modules(); }

using fuzzing::take;

struct Result {
  std::int32_t status;
  double value;
};

void check_result(const Result& r) {
  std::uint64_t bits;
  std::memcpy(&bits, &r.value, sizeof bits);
  check(r.status == mcn::kStatusOk || r.status == mcn::kStatusMissing, "status is 0 or 120836");
  check((r.status == mcn::kStatusMissing) == (bits == mcn::kMissingBits),
        "missing value goes with 120836");
  if (r.status == mcn::kStatusOk) check(std::isfinite(r.value), "a result is finite");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::LoadedModules& m = modules();
  const auto flags = take<std::uint8_t>(data, size);
  const auto start = take<double>(data, size);  // any bit pattern
  const auto end = take<double>(data, size);
  const auto count = take<std::uint8_t>(data, size);
  const auto length = take<std::int32_t>(data, size);

  const std::size_t claimed =
      length > 0 ? static_cast<std::size_t>(length < 8192 ? length : 8192) : 0;
  const std::size_t block = size > claimed ? size : claimed;
  std::unique_ptr<char[]> text(new char[block ? block : 1]);
  std::memset(text.get(), ' ', block);
  if (size > 0) std::memcpy(text.get(), data, size);

  const bool datdif = flags & 1;
  const mcn::ImplEntry entry = (datdif ? m.tashkume : m.pelvoran).functions[0].impl;
  const auto evaluate = [&](double a, double b) {
    testhost::Arguments args(a, b);
    args.set_count(2 + (count % 3));  // 2, 3 or 4: only YRDIF looks, and only at 2
    if (!(flags & 2)) args.set_text((flags & 4) ? nullptr : text.get(), length);
    Result r{0, 0.0};
    r.status = args.call(entry, &r.value);
    check_result(r);
    return r;
  };

  const Result forward = evaluate(start, end);
  if (datdif) {
    check(std::floor(forward.value) == forward.value || forward.status != 0,
          "DATDIF results are whole");
    const Result back = evaluate(end, start);
    check(back.status == forward.status, "exchanging the dates keeps the status");
    if (forward.status == 0)
      check(back.value == -forward.value, "exchanging the dates negates DATDIF");
  }
  return 0;
}
