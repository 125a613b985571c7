// Basis recognition: the documented texts, and generated texts against a
// model written with std::string.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>

#include "basis_model.h"
#include "unit.h"

namespace {

using testing_support::ModuleCode;

int parse(const std::string& text, bool age) {
  return mcn::parse_basis(text.data(), static_cast<std::int32_t>(text.size()), age);
}

TEST_F(ModuleCode, BasisTextsAndTheirCodes) {
  struct Case {
    const char* text;
    int with_age, without_age;
  };
  const Case cases[] = {
      {"30/360", 1, 1},       {"30E/360", 1, 1},   {"360/360", 1, 1},    {"30360", 1, 1},
      {"360", 1, 1},          {"1360", 1, 1},      {"ACT/ACT", 2, 2},    {"act/act", 2, 2},
      {"Act Act", 2, 2},      {"ACTACT", 2, 2},    {"ACTUAL", 2, 2},     {"actual", 2, 2},
      {"ACT/ACTUAL", 2, 2},   {"ACT/360", 3, 3},   {"act/360", 3, 3},    {"ACT360", 3, 3},
      {"ACTUAL/360", 3, 3},   {"ACT/365", 4, 4},   {"ACT/365F", 4, 4},   {"ACTUAL/365", 4, 4},
      {"360/ACT", 1, 1},      {"365/ACT", 0, 0},   {"ACT 30/360", 1, 1}, {"360/ACT/360", 1, 1},
      {"ACT/365/360", 3, 3},  {"AGE", 5, 0},       {"age", 5, 0},        {"PAGE", 5, 0},
      {"AVERAGE", 5, 0},      {"AGE 360", 5, 1},   {"30/365", 0, 0},     {"ACT/366", 0, 0},
      {"ACT", 0, 0},          {"NL/365", 0, 0},    {"", 0, 0},           {"      ", 0, 0},
      {"   ACT/360  ", 3, 3}, {"\tACT/ACT", 2, 2}, {"ACT/ACT\t", 2, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parse(c.text, true), c.with_age) << "'" << c.text << "'";
    EXPECT_EQ(parse(c.text, false), c.without_age) << "'" << c.text << "'";
  }
}

TEST_F(ModuleCode, OnlyTheFirst256BytesCount) {
  std::string text(300, 'x');
  text.replace(260, 7, "ACT/ACT");
  EXPECT_EQ(parse(text, true), 0);
  text.replace(249, 7, "ACT/ACT");  // ends at byte 256
  EXPECT_EQ(parse(text, true), 2);
  std::string split(300, ' ');
  split.replace(250, 7, "ACT/ACT");  // "ACT/AC" inside, "T" beyond
  EXPECT_EQ(parse(split, true), 0);
}

TEST_F(ModuleCode, NegativeLengthIsAnEmptyTextAndTheCallerTextIsNotChanged) {
  host.record_calls(true);
  const char text[] = "act/act";
  EXPECT_EQ(mcn::parse_basis(text, -1, true), 0);
  EXPECT_EQ(mcn::parse_basis(text, INT32_MIN, true), 0);
  EXPECT_EQ(mcn::parse_basis(text, 7, true), 2);
  EXPECT_STREQ(text, "act/act");
  host.set_multibyte(true);  // upper-casing by the host service works the same
  EXPECT_EQ(mcn::parse_basis(text, 7, true), 2);
  EXPECT_EQ(mcn::parse_basis("act/365", 7, false), 4);
}

TEST_F(ModuleCode, GeneratedTextsMatchTheModel) {
  const char* const fragments[] = {"30",  "360", "365", "ACT", "act", "AcT", "UAL",
                                   "ual", "AGE", "age", "/",   " ",   "E",   "F",
                                   "1",   "0",   "6",   "3",   "\t",  "A"};
  std::mt19937 rng(11);
  for (int round = 0; round < 200000; ++round) {
    std::string text;
    const int parts = static_cast<int>(rng() % 7);
    for (int i = 0; i < parts; ++i)
      text += fragments[rng() % (sizeof fragments / sizeof *fragments)];
    if (rng() % 4 == 0) text.append(rng() % 20, ' ');
    if (rng() % 50 == 0) text.insert(0, 250 + rng() % 10, 'x');
    for (bool age : {true, false})
      ASSERT_EQ(parse(text, age), testing_support::basis_model(text, age)) << "'" << text << "'";
  }
}

// Texts against the model, each placed right after one page that may not be
// read and right before another, so that reading a byte outside a text faults:
// every length the short path loads in pieces (0 to 16), and texts padded past
// it.
TEST_F(ModuleCode, NoByteOutsideTheTextIsRead) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* mapped =
      mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  char* const area = static_cast<char*>(mapped);
  ASSERT_EQ(mprotect(area, page, PROT_NONE), 0);
  ASSERT_EQ(mprotect(area + 2 * page, page, PROT_NONE), 0);
  char* const first = area + page;      // the first byte that may be read
  char* const limit = area + 2 * page;  // the first that may not
  const char* const fragments[] = {"act", "/", "360", "365", "AGE", "ual", "30", " ", "x"};
  std::mt19937 rng(5);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    while (text.size() < static_cast<std::size_t>(round % 17))
      text += fragments[rng() % (sizeof fragments / sizeof *fragments)];
    text.resize(static_cast<std::size_t>(round % 17));
    if (round % 5 == 0) text.append(rng() % 40, ' ');
    for (char* at : {first, limit - text.size()}) {
      std::memcpy(at, text.data(), text.size());
      const auto n = static_cast<std::int32_t>(text.size());
      for (bool age : {true, false})
        ASSERT_EQ(mcn::parse_basis(at, n, age), testing_support::basis_model(text, age))
            << "'" << text << "'";
    }
  }
  munmap(mapped, 3 * page);
}

}  // namespace
