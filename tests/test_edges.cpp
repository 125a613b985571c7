// What comes from outside the C interface, at its edges: file names and the
// dynamic loader's messages made safe text, the true cause of every hostile
// date value (tests/cases/hostile.tsv, which every face runs), functions that
// outlive their handles, and arguments that are misuse.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "embed/datemodules.h"
#include "tests/cases.h"

namespace {

// Valid UTF-8 without control bytes, checked byte by byte (an independent
// reading of RFC 3629, not the library's).
bool safe_text(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) return false;
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = cp << 6 | (b & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

// A module folder of hostile names: copies of the modules, empty files named
// with an invalid byte and with terminal escapes, a module whose needed
// library is named in escapes and 0xff bytes (the loader quotes it), all in a
// folder whose name is longer than any message shows.
TEST(EdgeText, NoticesOfHostileFilesAreSafeTextAndCut) {
  char base[] = "/tmp/dm-edges-XXXXXX";
  ASSERT_NE(mkdtemp(base), nullptr);
  const std::string outer = std::string(base) + "/" + std::string(150, 'd');
  const std::string dir = outer + "/" + std::string(150, 'e');
  ASSERT_EQ(mkdir(outer.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  const std::string yrdif = read_file(std::string(MODULE_DIR) + "/pelvoran.so");
  std::string datdif = read_file(std::string(MODULE_DIR) + "/tashkume.so");
  write_file(dir + "/pelvoran.so", yrdif);
  write_file(dir + "/caf\xe9.so", "");
  write_file(dir + "/\x1b]0;owned\x07\x1b[2J.so", "");
  // The first nine bytes of a needed library's name (sanitizer builds need
  // the C++ library rather than the C library alone).
  std::size_t needed = datdif.find("libc.so.6");
  if (needed == std::string::npos) needed = datdif.find("libstdc++.so.6");
  ASSERT_NE(needed, std::string::npos);
  datdif.replace(needed, 9, "\x1b[2J\xff\xff\xff\x07\xff");
  write_file(dir + "/tashkume.so", datdif);

  dm_library* lib = nullptr;
  ASSERT_EQ(dm_open(dir.c_str(), &lib), DM_OK) << dm_errmsg(lib);
  EXPECT_EQ(dm_function_count(lib), 1u);
  ASSERT_EQ(dm_notice_count(lib), 3u) << dm_errmsg(lib);
  std::string all;
  for (std::size_t i = 0; i < dm_notice_count(lib); ++i) {
    const std::string notice = dm_notice(lib, i);
    EXPECT_TRUE(safe_text(notice)) << notice;
    EXPECT_LT(notice.size(), 800u) << "a notice is cut: " << notice;
    EXPECT_NE(notice.find("..."), std::string::npos) << "the long folder name is cut: " << notice;
    all += notice + "\n";
  }
  EXPECT_TRUE(safe_text(dm_errmsg(lib)));
  EXPECT_NE(all.find("caf\\xe9.so"), std::string::npos) << all;
  EXPECT_NE(all.find("\\x1b]0;owned\\x07\\x1b[2J.so"), std::string::npos) << all;
  EXPECT_NE(all.find("\\x1b[2J\\xff\\xff\\xff\\x07\\xff"), std::string::npos)
      << "the loader's message, made safe: " << all;
  for (std::size_t i = 0; i < dm_module_count(lib); ++i)
    for (std::size_t k = 0; k < dm_module_field_count(lib, i); ++k)
      EXPECT_TRUE(safe_text(dm_module_field(lib, i, k, nullptr, nullptr)));
  dm_close(lib);

  for (const char* f :
       {"/pelvoran.so", "/caf\xe9.so", "/\x1b]0;owned\x07\x1b[2J.so", "/tashkume.so"})
    std::remove((dir + f).c_str());
  rmdir(dir.c_str());
  rmdir(outer.c_str());
  rmdir(base);
}

struct HostileCase {
  std::string kind, value, cause;
};

std::string unescaped(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() + 0 && s[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<HostileCase> hostile_cases() {
  std::vector<HostileCase> cases;
  for (const auto& f : testing_support::table_rows(HOSTILE_FILE, 3))
    cases.push_back({f[0], unescaped(f[1]), f[2]});
  return cases;
}

// Every hostile value through the C interface's own conversion of its kind,
// then YRDIF: the cause the table says, one by one and as arrays.
TEST(EdgeCauses, EveryHostileValueHasItsTrueCause) {
  dm_library* lib = nullptr;
  const dm_function* yrdif = nullptr;
  ASSERT_EQ(dm_open(MODULE_DIR, &lib), DM_OK);
  ASSERT_EQ(dm_function_find(lib, "YRDIF", &yrdif), DM_OK);
  double end;
  ASSERT_EQ(dm_date_from_civil(2020, 1, 1, &end), DM_OK);
  const auto cases = hostile_cases();
  ASSERT_GE(cases.size(), 20u);
  std::vector<double> starts;
  for (const HostileCase& c : cases) {
    double v = NAN;
    if (c.kind == "missing") {
      v = NAN;
    } else if (c.kind == "text") {
      dm_date_from_text(c.value.data(), c.value.size(), &v, nullptr);
      // The array reader of padded texts reads it alike.
      std::string padded = c.value + std::string(8, '\0');
      double w;
      ASSERT_EQ(dm_dates_from_texts(1, padded.data(), padded.size(), &w, nullptr), DM_OK);
      std::uint64_t a, b;
      std::memcpy(&a, &v, 8);
      std::memcpy(&b, &w, 8);
      EXPECT_EQ(a, b) << c.value;
    } else if (c.kind == "civil") {
      long long y;
      int m, d;
      ASSERT_EQ(std::sscanf(c.value.c_str(), "%lld-%d-%d", &y, &m, &d), 3);
      const std::int64_t year = y;
      const std::int32_t month = m, day = d;
      ASSERT_EQ(dm_dates_from_civil(1, &year, &month, &day, &v), DM_OK);
    } else if (c.kind == "days") {
      const double days = std::strtod(c.value.c_str(), nullptr);
      ASSERT_EQ(dm_dates_from_days(1, &days, &v), DM_OK);
    } else if (c.kind == "seconds") {
      const std::int64_t s = std::stoll(c.value);
      ASSERT_EQ(dm_dates_from_counts(1, &s, 86400, &v), DM_OK);
    } else {
      FAIL() << "unknown kind " << c.kind;
    }
    double r;
    int cause = -1;
    dm_eval(yrdif, v, end, "ACT/ACT", 7, &r, &cause);
    const std::string got = cause == DM_CAUSE_NONE ? "none" : dm_cause_text(cause);
    EXPECT_EQ(got, c.cause) << c.kind << " '" << c.value << "'";
    starts.push_back(v);
  }
  std::vector<double> ends(starts.size(), end), results(starts.size());
  std::vector<std::uint8_t> causes(starts.size());
  ASSERT_EQ(dm_eval_array(yrdif, starts.size(), starts.data(), ends.data(), "ACT/ACT", 7,
                          results.data(), nullptr, causes.data()),
            DM_OK);
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(causes[i] == DM_CAUSE_NONE ? "none" : dm_cause_text(causes[i]), cases[i].cause)
        << cases[i].value;
  dm_close(lib);
}

// A function stays valid after its handle closes, also while another thread
// closes it; a closed handle is refused, and closing it again does nothing.
TEST(EdgeLifetimes, FunctionsOutliveTheirHandles) {
  dm_library* lib = nullptr;
  const dm_function* datdif = nullptr;
  ASSERT_EQ(dm_open(MODULE_DIR, &lib), DM_OK);
  ASSERT_EQ(dm_function_find(lib, "DATDIF", &datdif), DM_OK);
  std::atomic<bool> closed{false};
  std::atomic<long> wrong{0};
  std::thread evaluator([&] {
    for (int i = 0; i < 200000 || !closed; ++i) {
      double r;
      if (dm_eval(datdif, i % 1000, 1000, "ACT/ACT", 7, &r, nullptr) != DM_OK ||
          r != 1000 - i % 1000)
        ++wrong;
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  dm_close(lib);
  closed = true;
  // The memory of the closed handle is taken by new handles, as it would be
  // reused by anything else.
  std::vector<dm_library*> others(8);
  for (auto& o : others) ASSERT_EQ(dm_open(MODULE_DIR, &o), DM_OK);
  evaluator.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_STREQ(dm_function_name(datdif), "DATDIF");
  for (dm_library* o : others) {
    const dm_function* again = nullptr;
    ASSERT_EQ(dm_function_find(o, "DATDIF", &again), DM_OK);
    EXPECT_EQ(again, datdif) << "one function for the process";
    dm_close(o);
  }
  // Every handle is closed now: each call refuses it.
  const dm_function* f = nullptr;
  EXPECT_EQ(dm_function_find(lib, "DATDIF", &f), DM_MISUSE);
  EXPECT_EQ(dm_function_count(lib), 0u);
  EXPECT_EQ(dm_function_at(lib, 0), nullptr);
  EXPECT_EQ(dm_notice_count(lib), 0u);
  EXPECT_STREQ(dm_errmsg(lib), "the library handle is closed");
  EXPECT_EQ(dm_module_name(lib, 0), nullptr);
  dm_close(lib);
  double r;
  EXPECT_EQ(dm_eval(datdif, 0, 366, "ACT/365", 7, &r, nullptr), DM_OK);
  EXPECT_EQ(r, 366);
}

// Arguments at the edges of what the C interface takes.
TEST(EdgeArguments, MisuseAndTheCalendarsBounds) {
  dm_library* lib = nullptr;
  EXPECT_EQ(dm_open("", &lib), DM_ERROR);
  EXPECT_NE(std::string(dm_errmsg(lib)), "") << "an empty folder name says why";
  dm_close(lib);

  // Every year the date reader takes, back to its text.
  for (const long long year : {-999999999LL, -100000000LL, -1LL, 0LL, 999999999LL}) {
    double v;
    ASSERT_EQ(dm_date_from_civil(year, 12, 31, &v), DM_OK);
    char iso[17];
    ASSERT_EQ(dm_iso_from_date(v, iso, sizeof iso), DM_OK) << year;
    double back;
    ASSERT_EQ(dm_date_from_text(iso, std::strlen(iso), &back, nullptr), DM_OK) << iso;
    EXPECT_EQ(back, v) << iso;
  }

  double v;
  std::uint8_t reason = 9;
  EXPECT_EQ(dm_dates_from_joined(1, nullptr, 0, &v, &reason), DM_OK) << "one empty text";
  EXPECT_EQ(reason, DM_DATE_MISSING);
  EXPECT_EQ(dm_dates_from_joined(1, "x", 1, nullptr, nullptr), DM_MISUSE);

  ASSERT_EQ(dm_open(MODULE_DIR, &lib), DM_OK);
  const dm_function* f = nullptr;
  ASSERT_EQ(dm_function_find(lib, "DATDIF", &f), DM_OK);
  double io[8] = {0, 1, 2, 3, 10, 11, 12, 13};
  double out[4];
  auto* causes_in_start = reinterpret_cast<std::uint8_t*>(io);
  auto* causes_in_out = reinterpret_cast<std::uint8_t*>(out) + 1;
  EXPECT_EQ(dm_eval_array(f, 4, io, io + 4, "ACT", 3, out, nullptr, causes_in_start), DM_MISUSE);
  EXPECT_EQ(dm_eval_array(f, 4, io, io + 4, "ACT", 3, out, nullptr, causes_in_out), DM_MISUSE);
  const char* bases[4] = {"ACT", "ACT", "ACT", "ACT"};
  const std::size_t lengths[4] = {3, 3, 3, 3};
  EXPECT_EQ(dm_eval_array_bases(f, 4, io, io + 4, bases, lengths, out, nullptr, causes_in_out),
            DM_MISUSE);
  std::uint8_t causes[4];
  EXPECT_EQ(dm_eval_array(f, 4, io, io + 4, "ACT", 3, out, nullptr, causes), DM_OK);
  dm_close(lib);
}

}  // namespace
