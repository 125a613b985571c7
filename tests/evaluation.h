// Evaluating YRDIF and DATDIF through the loaded modules, for the tests.
#ifndef TESTS_EVALUATION_H
#define TESTS_EVALUATION_H

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "core/calendar.h"
#include "core/loader.h"
#include "support.h"
#include "tests/instruments/arguments.h"

namespace testing_support {

// The date value of an ISO date of the host calendar.
inline double date(int y, int m, int d) {
  return static_cast<double>(dmcore::days_from_civil({y, m, d}));
}

struct Outcome {
  std::int32_t status;
  double value;
  bool missing() const { return status == mcn::kStatusMissing && bits(value) == mcn::kMissingBits; }
};

// Both modules loaded through the reference host, with their entries at hand.
class Functions : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(dmcore::load_module(host, kPelvoran, pelvoran, error)) << error;
    ASSERT_TRUE(dmcore::load_module(host, kTashkume, tashkume, error)) << error;
    yrdif_entry = pelvoran.functions.at(0).impl;
    datdif_entry = tashkume.functions.at(0).impl;
  }

  static Outcome call(mcn::ImplEntry entry, testhost::Arguments args) {
    double result = 12345.0;  // anything but the expected values
    const std::int32_t status = args.call(entry, &result);
    return {status, result};
  }
  Outcome yrdif(double start, double end) {
    return call(yrdif_entry, testhost::Arguments(start, end));
  }
  Outcome yrdif(double start, double end, std::string_view basis) {
    return call(yrdif_entry, testhost::Arguments(start, end, basis));
  }
  Outcome datdif(double start, double end, std::string_view basis) {
    return call(datdif_entry, testhost::Arguments(start, end, basis));
  }

  testhost::Host host;
  dmcore::Module pelvoran, tashkume;
  mcn::ImplEntry yrdif_entry = nullptr;
  mcn::ImplEntry datdif_entry = nullptr;
};

}  // namespace testing_support

#endif  // TESTS_EVALUATION_H
