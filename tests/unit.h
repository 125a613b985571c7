// The modules' internal routines, linked from a static copy and wired to a
// reference host through that copy's own mcn_main.
#ifndef TESTS_UNIT_H
#define TESTS_UNIT_H

#include <gtest/gtest.h>

#include "daycount/daycount.h"
#include "tests/instruments/host.h"
#include "text/text.h"

namespace testing_support {

class ModuleCode : public ::testing::Test {
 protected:
  void SetUp() override { mcn_main(host.gcb(), host.pidb()); }
  void TearDown() override { v_global_gcb_anchor = nullptr; }
  testhost::Host host;
};

}  // namespace testing_support

#endif  // TESTS_UNIT_H
