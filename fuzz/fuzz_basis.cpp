// Basis recognition through both modules against the rules. YRDIF over one
// fixed interval gives a different number under each of its five bases, so
// its result names the code that parse_basis chose; DATDIF tells 30/360 from
// the actual-day bases and from no basis at all.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/loaded_modules.h"
#include "tests/basis_model.h"
#include "tests/instruments/arguments.h"

namespace {

constexpr double kStart = 21580.0;  // 2019-01-31
constexpr double kEnd = 21974.0;    // 2020-03-01

// Both modules, and what each function gives over the fixed interval under
// every basis code.
struct Modules : fuzzing::LoadedModules {
  double yrdif_by_code[6];
  double datdif_by_code[6];
  Modules() {
    const char* const names[6] = {"", "30/360", "ACT/ACT", "ACT/360", "ACT/365", "AGE"};
    for (int code = 1; code <= 5; ++code) {
      testhost::Arguments a(kStart, kEnd, names[code]);
      a.call(pelvoran.functions[0].impl, &yrdif_by_code[code]);
      a.call(tashkume.functions[0].impl, &datdif_by_code[code]);
    }
  }
};

Modules& modules() {
  static Modules m;
  return m;
}

void check(bool ok, const char* what, const std::string& text) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s for '%s'\n", what, text.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Modules& m = modules();
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<char[]> exact(new char[size ? size : 1]);
  if (size > 0) std::memcpy(exact.get(), data, size);
  const auto length = static_cast<std::int32_t>(size);

  testhost::Arguments args(kStart, kEnd);
  args.set_count(3);
  args.set_text(exact.get(), length);

  double y = 0, d = 0;
  const std::int32_t ys = args.call(m.pelvoran.functions[0].impl, &y);
  const std::int32_t ds = args.call(m.tashkume.functions[0].impl, &d);

  const int with_age = testing_support::basis_model(text, true);
  const int without_age = testing_support::basis_model(text, false);
  check((ys == 0) == (with_age != 0), "YRDIF recognises exactly the texts the rules name", text);
  if (with_age != 0)
    check(y == m.yrdif_by_code[with_age], "YRDIF uses the basis the rules name", text);
  check((ds == 0) == (without_age != 0), "DATDIF recognises exactly the texts the rules name",
        text);
  if (without_age != 0)
    check(d == m.datdif_by_code[without_age], "DATDIF uses the basis the rules name", text);
  return 0;
}
