// wzstndx, wzstrip, wztxxlt and wzstlen: the documented cases, and sweeps
// against plain models.
#include <sys/mman.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "unit.h"

namespace {

using testing_support::ModuleCode;

std::int32_t find(const std::string& t, const std::string& p) {
  return wzstndx(t.data(), static_cast<std::int32_t>(t.size()), p.data(),
                 static_cast<std::int32_t>(p.size()));
}

TEST(Wzstndx, DocumentedCases) {
  EXPECT_EQ(find("30/360", "360"), 3);
  EXPECT_EQ(find("ACT/ACT", "ACT"), 0);
  EXPECT_EQ(find("/ACT", "ACT"), 1);
  EXPECT_EQ(find("AAAB", "AAB"), 1);
  EXPECT_EQ(find("AB", "ABC"), -1);
  EXPECT_EQ(find("act", "ACT"), -1);
  EXPECT_EQ(find("", "A"), -1);
  EXPECT_EQ(find("", ""), 0);
  EXPECT_EQ(find("XYZ", ""), 0);
  EXPECT_EQ(wzstndx("360", 3, "360", -1), 0);
  EXPECT_EQ(wzstndx("30/360", 6, "360", -1), 3);
  EXPECT_EQ(wzstndx("30/360", 6, nullptr, -1), 0);
  EXPECT_EQ(wzstndx(nullptr, 0, "A", 1), -1);
  EXPECT_EQ(wzstndx("ABC", -4, "A", 1), -1);
}

TEST(Wzstndx, EmptyNulTerminatedPatternIsFoundAtZeroAndReadsNoText) {
  // Mended: a negative length with "" behaves like length 0, whatever the text.
  EXPECT_EQ(wzstndx(nullptr, 0, "", -1), 0);
  EXPECT_EQ(wzstndx(nullptr, 5, "", -3), 0);
  EXPECT_EQ(wzstndx("ABC", 3, "", -1), 0);
}

// A text shorter than the pattern holds no match, and not one byte of the
// pattern is read to find that out: here the pattern's bytes are unreadable.
TEST(Wzstndx, ReadsNoPatternByteWhenTheTextIsShorter) {
  const long page = sysconf(_SC_PAGESIZE);
  void* guard =
      mmap(nullptr, static_cast<std::size_t>(page), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(guard, MAP_FAILED);
  const char* unreadable = static_cast<const char*>(guard);
  EXPECT_EQ(wzstndx("AB", 2, unreadable, 3), -1);
  EXPECT_EQ(wzstndx("ABC", 3, unreadable, 4), -1);
  EXPECT_EQ(wzstndx("", 0, unreadable, 1), -1);
  munmap(guard, static_cast<std::size_t>(page));
}

TEST(Wzstndx, MatchesANaiveSearchOverGeneratedTexts) {
  std::mt19937 rng(7);
  const char alphabet[] = "AB /";
  for (int round = 0; round < 20000; ++round) {
    std::string t(rng() % 24, ' '), p(1 + rng() % 4, ' ');
    for (char& c : t) c = alphabet[rng() % 4];
    for (char& c : p) c = alphabet[rng() % 4];
    int naive = -1;
    for (std::size_t i = 0; i + p.size() <= t.size() && naive < 0; ++i)
      if (t.compare(i, p.size(), p) == 0) naive = static_cast<int>(i);
    ASSERT_EQ(find(t, p), naive) << "'" << t << "' / '" << p << "'";
    ASSERT_EQ(wzstndx(t.data(), static_cast<std::int32_t>(t.size()), p.c_str(), -1), naive);
  }
}

TEST(Wzstrip, DocumentedCases) {
  struct Case {
    std::string text;
    std::int32_t n, expected;
  };
  const Case cases[] = {{"ABC   ", 6, 3}, {"      ", 6, 0}, {"  A", 3, 3},
                        {"", 0, 0},       {"", -5, -5},     {std::string("AB\0\0", 4), 4, 4},
                        {"AB\t\t", 4, 4}, {"AB\t ", 4, 3},  {std::string(40, ' '), 40, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(wzstrip(c.text.data(), c.n), c.expected) << "'" << c.text << "'";
}

// Every length 0..80 at every alignment 0..7, with the only non-blank at every
// position (or none), against a plain byte scan. The text sits at the end of
// its own heap block so that a read past it is caught by the sanitizers.
TEST(Wzstrip, MatchesAByteScanAtEveryLengthAlignmentAndPosition) {
  for (int align = 0; align < 8; ++align) {
    for (int n = 0; n <= 80; ++n) {
      for (int pos = -1; pos < n; ++pos) {
        std::vector<char> block(static_cast<std::size_t>(align + n));
        char* t = block.data() + align;
        for (int i = 0; i < n; ++i) t[i] = ' ';
        if (pos >= 0) t[pos] = 'x';
        int naive = n;
        while (naive > 0 && t[naive - 1] == ' ') --naive;
        ASSERT_EQ(wzstrip(t, n), naive) << "n " << n << " align " << align << " pos " << pos;
        // Non-blanks below the last one change nothing.
        if (pos > 0) {
          t[0] = 'y';
          ASSERT_EQ(wzstrip(t, n), naive);
        }
      }
    }
  }
}

TEST_F(ModuleCode, WztxxltTranslatesThroughTheHostTables) {
  host.set_multibyte(false);
  host.record_calls(true);
  for (int table = 0; table <= 4; ++table) {
    std::string src = "Mixed Case 30/360 \x01\xC3\xA9";
    std::string dst(src.size(), '#');
    ASSERT_EQ(wztxxlt(table, src.data(), dst.data(), static_cast<std::int32_t>(src.size())), 0);
    for (std::size_t i = 0; i < src.size(); ++i)
      EXPECT_EQ(static_cast<unsigned char>(dst[i]),
                host.table(table)[static_cast<unsigned char>(src[i])]);
    std::string in_place = src;
    wztxxlt(table, in_place.data(), in_place.data(), static_cast<std::int32_t>(in_place.size()));
    EXPECT_EQ(in_place, dst) << table;
  }
  EXPECT_TRUE(host.calls().empty()) << "the flag is clear: no host service";
}

TEST_F(ModuleCode, WztxxltDelegatesToTheHostWhileTheMultibyteFlagIsSet) {
  host.set_multibyte(true);
  host.record_calls(true);
  const std::uint64_t expected_service[4] = {(4ull << 32) | 7, (4ull << 32) | 39, 331, 330};
  for (int table = 0; table <= 3; ++table) {
    for (bool in_place : {false, true}) {
      host.clear_calls();
      std::string src = "Abc d";
      std::string other(src.size(), '#');
      char* dst = in_place ? src.data() : other.data();
      ASSERT_EQ(wztxxlt(table, src.data(), dst, 5), 0);
      const auto calls = host.calls();
      ASSERT_EQ(calls.size(), 1u) << table;
      EXPECT_EQ(calls[0].id, expected_service[table]);
      EXPECT_EQ(calls[0].flag_seen, 0);
      const std::string out(dst, 5);
      EXPECT_EQ(out, table == 2 ? "ABC D" : table == 3 ? "abc d" : table == 1 ? "Abc d" : "Abc d");
    }
  }
  // Table 4 always translates byte by byte.
  host.clear_calls();
  std::string text = "aBc";
  wztxxlt(4, text.data(), text.data(), 3);
  EXPECT_EQ(text, "AbC");
  EXPECT_TRUE(host.calls().empty());
  // Fields are read afresh: a null record B counts as a clear flag.
  host.set_record_b(false);
  text = "abc";
  wztxxlt(2, text.data(), text.data(), 3);
  EXPECT_EQ(text, "ABC");
  EXPECT_TRUE(host.calls().empty());
}

TEST_F(ModuleCode, WztxxltRejectsBadTablesAndNegativeLengths) {
  for (bool multibyte : {false, true}) {
    host.set_multibyte(multibyte);
    host.record_calls(true);
    std::string text = "abc";
    for (int table : {5, -1, 100, INT32_MIN}) {
      EXPECT_EQ(wztxxlt(table, text.data(), text.data(), 3), static_cast<std::int32_t>(0x8000200A));
    }
    for (int table = 0; table <= 4; ++table) {
      EXPECT_EQ(wztxxlt(table, text.data(), text.data(), -1), 0);
      EXPECT_EQ(wztxxlt(table, text.data(), text.data(), INT32_MIN), 0);
    }
    EXPECT_EQ(text, "abc");
    EXPECT_TRUE(host.calls().empty());
    EXPECT_EQ(wztxxlt(2, text.data(), text.data(), 0), 0);
    EXPECT_EQ(text, "abc");
    // An empty text may come with null pointers.
    for (int table = 0; table <= 4; ++table) {
      EXPECT_EQ(wztxxlt(table, nullptr, nullptr, 0), 0);
      EXPECT_EQ(wztxxlt(table, nullptr, text.data(), 0), 0);
    }
    EXPECT_EQ(text, "abc");
  }
}

TEST(Wzstlen, CountsBytesBeforeTheNul) {
  EXPECT_EQ(wzstlen(nullptr), 0);
  EXPECT_EQ(wzstlen(""), 0);
  EXPECT_EQ(wzstlen("ACT"), 3);
  EXPECT_EQ(wzstlen("A\0B"), 1);
  const std::string long_text(1000, 'x');
  EXPECT_EQ(wzstlen(long_text.c_str()), 1000);
}

}  // namespace
