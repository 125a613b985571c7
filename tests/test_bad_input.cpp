// Bad input at every entry a host can reach, through the loaded modules.
// Every text lives in a heap block of exactly its length, so that under the
// sanitizers a read or write outside what the host gave is caught.
#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "evaluation.h"

namespace {

using testing_support::bits;
using testing_support::from_bits;
using testing_support::RawModule;

// A text in a heap block of exactly its size.
class ExactText {
 public:
  explicit ExactText(const std::string& s)
      : size_(s.size()), bytes_(new char[s.size() ? s.size() : 1]) {
    std::memcpy(bytes_.get(), s.data(), s.size());
  }
  char* data() { return size_ ? bytes_.get() : nullptr; }
  std::int32_t size() const { return static_cast<std::int32_t>(size_); }

 private:
  std::size_t size_;
  std::unique_ptr<char[]> bytes_;
};

class BadInput : public testing_support::Functions {};

TEST_F(BadInput, DatesOfEveryBadKindGiveTheMissingValueWithoutAHostCall) {
  host.record_calls(true);
  const double inf = std::numeric_limits<double>::infinity();
  const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::signaling_NaN(),
                        -std::numeric_limits<double>::quiet_NaN(),
                        from_bits(mcn::kMissingBits),
                        from_bits(0x7FF8000000000001u),
                        from_bits(0xFFF0000000000001u),
                        inf,
                        -inf,
                        std::nextafter(-138061.0, -inf),
                        6589336.0,
                        std::numeric_limits<double>::max(),
                        -std::numeric_limits<double>::max(),
                        std::numeric_limits<double>::lowest()};
  const double good = 15000.0;
  for (double v : bad) {
    for (const char* basis : {"ACT/ACT", "30/360", "ACT/360", "ACT/365", "AGE", "junk"}) {
      EXPECT_TRUE(yrdif(v, good, basis).missing()) << v;
      EXPECT_TRUE(yrdif(good, v, basis).missing()) << v;
      EXPECT_TRUE(yrdif(v, v).missing()) << v;
      EXPECT_TRUE(datdif(v, good, basis).missing()) << v;
      EXPECT_TRUE(datdif(good, v, basis).missing()) << v;
    }
  }
  EXPECT_TRUE(host.calls().empty());
  // Just inside the bounds: evaluated.
  for (double v : {-138061.0, std::nextafter(6589336.0, 0.0), std::nextafter(-138061.0, 0.0)}) {
    EXPECT_EQ(yrdif(v, good, "ACT/ACT").status, 0) << v;
    EXPECT_EQ(datdif(v, good, "ACT/ACT").status, 0) << v;
  }
}

TEST_F(BadInput, BasisTextsOfEveryBadShape) {
  const double s = 14610.0, e = 14976.0;  // 2000-01-01 .. 2001-01-01
  struct Case {
    std::string text;
    std::int32_t length;  // used as given; the block holds text.size() bytes
    bool recognised;
  };
  const std::string nul_inside("ACT\0/ACT", 8);
  const Case cases[] = {
      {"ACT/ACT", 7, true},
      {"ACT/ACT", 0, false},
      {"ACT/ACT", -1, false},
      {"ACT/ACT", INT_MIN, false},
      {"ACT/ACT", 3, false},
      {nul_inside, 8, true},
      {"ACT\t/\tACT\t", 10, true},
      {"\xC3\x81"
       "CT/ACT",
       8, false},
      {"ACT/\xFF\xFE"
       "ACT",
       9, true},
      {std::string(4096, ' ') + "ACT/ACT", 4103, false},
      {"ACT/ACT" + std::string(5000, '\xAA'), 5007, true},
      {std::string(256, 'A'), 256, false},
  };
  for (const Case& c : cases) {
    ExactText text(c.text);
    for (bool dat : {false, true}) {
      host.record_calls(true);
      host.clear_calls();
      testhost::Arguments args(s, e);
      args.set_count(3);
      args.set_text(text.data(), c.length);
      const testing_support::Outcome r = call(dat ? datdif_entry : yrdif_entry, args);
      if (c.recognised) {
        EXPECT_EQ(r.status, 0) << c.length;
        EXPECT_EQ(r.value, dat ? 366.0 : 1.0) << c.length;
      } else {
        EXPECT_TRUE(r.missing()) << c.length;
        EXPECT_TRUE(host.calls().empty()) << "no calendar call on a failure path";
      }
    }
  }
}

TEST(BadInputText, TextRoutinesStayInsideTheBytesTheyAreGiven) {
  testhost::Host host;
  for (const char* path : {testing_support::kPelvoran, testing_support::kTashkume}) {
    RawModule mod(path);
    mod.init(host);
    const auto wzstndx =
        mod.function<std::int32_t (*)(const char*, std::int32_t, const char*, std::int32_t)>(
            "wzstndx");
    const auto wzstrip = mod.function<std::int32_t (*)(const char*, std::int32_t)>("wzstrip");
    const auto wztxxlt =
        mod.function<std::int32_t (*)(std::int32_t, const char*, char*, std::int32_t)>("wztxxlt");
    const auto wzstlen = mod.function<std::int32_t (*)(const char*)>("wzstlen");

    for (const std::string& s :
         {std::string("abc\0def   ", 10), std::string("\t\t  "), std::string("\xFF\x80 \xC3\xA9  "),
          std::string(1, '\0'), std::string(33, ' '), std::string(70, '\xA0') + "  "}) {
      ExactText t(s);
      int naive = t.size();
      while (naive > 0 && s[naive - 1] == ' ') --naive;
      EXPECT_EQ(wzstrip(t.data(), t.size()), naive);
      EXPECT_EQ(
          wzstndx(t.data(), t.size(), "\xA0", 1),
          static_cast<std::int32_t>(s.find('\xA0') == std::string::npos ? -1 : s.find('\xA0')));
      std::vector<char> out(s.size() + 1, '#');
      EXPECT_EQ(wztxxlt(2, t.data(), out.data(), t.size()), 0);
      EXPECT_EQ(out.back(), '#') << "writes no more than length bytes";
    }
    EXPECT_EQ(wzstrip(nullptr, 0), 0);
    EXPECT_EQ(wzstrip(nullptr, -3), -3);
    EXPECT_EQ(wzstrip(nullptr, INT_MIN), INT_MIN);
    EXPECT_EQ(wzstndx(nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(wzstndx(nullptr, -7, "x", 1), -1);
    EXPECT_EQ(wzstndx(nullptr, INT_MIN, "x", 1), -1);
    EXPECT_EQ(wzstndx(nullptr, 0, "", -1), 0);
    ExactText big("xy");
    EXPECT_EQ(wzstndx(big.data(), 2, "xyz", 3), -1);  // pattern longer than the text
    EXPECT_EQ(wzstlen(nullptr), 0);
    host.record_calls(true);
    host.clear_calls();
    for (int multibyte : {0, 1}) {
      host.set_multibyte(multibyte != 0);
      for (std::int32_t table : {-1, 5, INT_MIN, INT_MAX})
        EXPECT_EQ(wztxxlt(table, nullptr, nullptr, 4), static_cast<std::int32_t>(0x8000200A));
      for (std::int32_t table = 0; table <= 4; ++table)
        EXPECT_EQ(wztxxlt(table, nullptr, nullptr, -1), 0);
    }
    host.set_multibyte(false);
    EXPECT_TRUE(host.calls().empty());
    host.record_calls(false);
  }
}

TEST(BadInputFrame, XfmuentAndTkvercn1) {
  testhost::Host host;
  RawModule mod(testing_support::kTashkume);
  // tkvercn1 into a heap area of exactly 208 bytes, before and after mcn_main.
  const auto tkvercn1 = mod.function<TkVercn1>("tkvercn1");
  auto area = std::make_unique<unsigned char[]>(208);
  EXPECT_EQ(tkvercn1(area.get()), 0);
  mod.init(host);
  auto again = std::make_unique<unsigned char[]>(208);
  EXPECT_EQ(tkvercn1(again.get()), 0);
  EXPECT_EQ(std::memcmp(area.get(), again.get(), 208), 0);

  host.record_calls(true);
  const auto xfmuent = mod.function<Xfmuent>("xfmuent");
  for (std::int32_t type : {INT_MIN, -1, 0, 3, INT_MAX})
    for (std::int32_t count : {INT_MIN, -1, 0, 1, INT_MAX})
      EXPECT_EQ(xfmuent(type, count, nullptr, nullptr), nullptr);
  for (std::int32_t type : {1, 2})
    for (std::int32_t count : {INT_MIN, -1})
      EXPECT_EQ(xfmuent(type, count, nullptr, nullptr), nullptr);
  EXPECT_EQ(host.allocation_count(), 0u);
  EXPECT_TRUE(host.calls().empty());
}

}  // namespace
