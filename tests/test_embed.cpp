// The embedding library's C interface: every function against the
// independent model over random date pairs, bit for bit, with the cause of
// each missing result; the table of evaluations that every face runs; the
// calendar and the date reader; the statuses of misuse; threads that evaluate
// while others open and close handles; and memory over many handles.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "basis_model.h"
#include "cases.h"
#include "differential_model.h"
#include "embed/datemodules.h"

namespace {

using testing_support::kBasisText;
using testing_support::kPairsPerBasis;

std::uint64_t bits_of(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// The cause that the model's order of tests gives for a missing result.
int model_cause(double start, double end) {
  for (const double d : {start, end}) {
    if (std::isnan(d)) return DM_CAUSE_DATE_MISSING;
    if (!testing_support::valid(d)) return DM_CAUSE_DATE_RANGE;
  }
  return DM_CAUSE_BASIS_UNKNOWN;
}

class Embed : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(dm_open(MODULE_DIR, &lib), DM_OK) << dm_errmsg(lib);
    ASSERT_EQ(dm_function_find(lib, "YRDIF", &yrdif), DM_OK);
    ASSERT_EQ(dm_function_find(lib, "datdif", &datdif), DM_OK);
  }
  void TearDown() override { dm_close(lib); }

  const dm_function* function(const std::string& name) const {
    return name == "YRDIF" ? yrdif : datdif;
  }

  dm_library* lib = nullptr;
  const dm_function* yrdif = nullptr;
  const dm_function* datdif = nullptr;
};

// Random pairs per basis through dm_eval_array, and a sample of them through
// dm_eval, each against the model, with their causes.
TEST_F(Embed, ArraysMatchTheModelBitForBitWithTheirCauses) {
  struct Run {
    const dm_function* const* f;
    int basis;  // 0: left out
  };
  const Run runs[] = {{&yrdif, 0}, {&yrdif, 1},  {&yrdif, 2},  {&yrdif, 3},  {&yrdif, 4},
                      {&yrdif, 5}, {&datdif, 1}, {&datdif, 2}, {&datdif, 3}, {&datdif, 4}};
  for (const Run& r : runs) {
    testing_support::Dates dates(7000 + r.basis + (*r.f == datdif ? 10 : 0));
    std::vector<double> start(kPairsPerBasis), end(kPairsPerBasis), got(kPairsPerBasis);
    std::vector<std::uint8_t> causes(kPairsPerBasis, 0xEE);
    for (int i = 0; i < kPairsPerBasis; ++i) {
      start[i] = dates.next();
      end[i] = dates.partner(start[i]);
    }
    const char* basis = r.basis == 0 ? nullptr : kBasisText[r.basis];
    const std::size_t length = basis ? std::strlen(basis) : 0;
    std::size_t missing = 0;
    ASSERT_EQ(dm_eval_array(*r.f, start.size(), start.data(), end.data(), basis, length, got.data(),
                            &missing, causes.data()),
              DM_OK);
    std::size_t want_missing = 0;
    int mismatches = 0;
    for (int i = 0; i < kPairsPerBasis && mismatches < 10; ++i) {
      const double want =
          *r.f == yrdif ? testing_support::model_yrdif(start[i], end[i], r.basis ? r.basis : 5)
                        : testing_support::model_datdif(start[i], end[i], r.basis);
      const bool is_missing = bits_of(want) == mcn::kMissingBits;
      want_missing += is_missing;
      const int want_cause = is_missing ? model_cause(start[i], end[i]) : DM_CAUSE_NONE;
      if (bits_of(got[i]) != bits_of(want) || causes[i] != want_cause) {
        ++mismatches;
        ADD_FAILURE() << dm_function_name(*r.f) << " basis " << r.basis << ": " << start[i]
                      << " .. " << end[i] << " gives " << got[i] << " (cause " << int{causes[i]}
                      << "), model " << want << " (cause " << want_cause << ")";
      }
      if (i % 97 == 0) {
        double one;
        int cause = -1;
        const int status = dm_eval(*r.f, start[i], end[i], basis, length, &one, &cause);
        EXPECT_EQ(bits_of(one), bits_of(got[i]));
        EXPECT_EQ(status, is_missing ? DM_MISSING : DM_OK);
        EXPECT_EQ(cause, want_cause);
      }
    }
    EXPECT_EQ(missing, want_missing);
  }
}

// The table that every face runs: the texts read as dates, the result bits of
// the model for the date values they name, and the cause.
TEST_F(Embed, TheTableOfEvaluationsOfEveryFace) {
  const auto cases = testing_support::evaluation_cases();
  ASSERT_GE(cases.size(), 40u);
  for (const testing_support::Case& c : cases) {
    SCOPED_TRACE(c.function + " " + c.start + " " + c.end + " " + c.basis);
    double dates[2];
    int reasons[2];
    const int s0 = dm_date_from_text(c.start.data(), c.start.size(), &dates[0], &reasons[0]);
    const int s1 = dm_date_from_text(c.end.data(), c.end.size(), &dates[1], &reasons[1]);
    if (c.refused()) {
      ASSERT_TRUE(s0 == DM_RANGE || s1 == DM_RANGE);
      EXPECT_EQ(dm_reason_text(s0 == DM_RANGE ? reasons[0] : reasons[1]), c.refusal());
      continue;
    }
    ASSERT_EQ(s0, DM_OK);
    ASSERT_EQ(s1, DM_OK);
    const dm_function* f = function(c.function);
    double got;
    int cause = -1;
    if (c.null_basis()) {
      const char* none = nullptr;
      const std::size_t zero = 0;
      std::uint8_t one_cause = 0;
      ASSERT_EQ(
          dm_eval_array_bases(f, 1, &dates[0], &dates[1], &none, &zero, &got, nullptr, &one_cause),
          DM_OK);
      cause = one_cause;
    } else {
      dm_eval(f, dates[0], dates[1], c.left_out() ? nullptr : c.basis.data(), c.basis.size(), &got,
              &cause);
    }
    EXPECT_EQ(dm_cause_text(cause), c.cause());
    if (c.cause().empty()) {
      const int code =
          c.left_out() ? 5 : testing_support::basis_model(c.basis, c.function == "YRDIF");
      const double want = c.function == "YRDIF"
                              ? testing_support::model_yrdif(dates[0], dates[1], code)
                              : testing_support::model_datdif(dates[0], dates[1], code);
      EXPECT_EQ(bits_of(got), bits_of(want)) << got << " " << want;
    } else {
      EXPECT_EQ(bits_of(got), mcn::kMissingBits);
    }
  }
}

TEST_F(Embed, ABasisForEachPairAndBasesWithoutAValue) {
  const double start[] = {14610, 14610, 14610, 14610, 14610, 14610, 14610};
  const double end[] = {14976, 14976, 14976, 14976, 14976, 14976, 14976};
  const char* const bases[] = {"ACT/360", nullptr, "AGE", "nonsense", "30/360", "ACT/ACT", "  "};
  const std::size_t lengths[] = {7, 0, 3, 8, 6, 7, 2};
  double got[7];
  std::uint8_t causes[7];
  std::size_t missing = 0;
  ASSERT_EQ(dm_eval_array_bases(yrdif, 7, start, end, bases, lengths, got, &missing, causes),
            DM_OK);
  EXPECT_EQ(got[0], 366.0 / 360.0);
  EXPECT_EQ(bits_of(got[1]), mcn::kMissingBits) << "a basis without a value is not AGE";
  EXPECT_EQ(got[2], 1.0);
  EXPECT_EQ(bits_of(got[3]), mcn::kMissingBits);
  EXPECT_EQ(got[4], 1.0);
  EXPECT_EQ(got[5], 1.0);
  EXPECT_EQ(missing, 3u);
  const std::uint8_t want[] = {0, DM_CAUSE_BASIS_MISSING, 0, DM_CAUSE_BASIS_UNKNOWN, 0,
                               0, DM_CAUSE_BASIS_MISSING};
  EXPECT_EQ(std::memcmp(causes, want, sizeof want), 0);
  ASSERT_EQ(dm_eval_array_bases(datdif, 7, start, end, bases, lengths, got, &missing, causes),
            DM_OK);
  EXPECT_EQ(causes[1], DM_CAUSE_BASIS_MISSING);
  EXPECT_EQ(causes[2], DM_CAUSE_BASIS_UNKNOWN) << "AGE is no basis of DATDIF";
  EXPECT_EQ(got[0], 366.0);
  // One pair says the same: a basis given without a value, or blanks only.
  for (const dm_function* f : {yrdif, datdif})
    for (const char* basis : {DM_BASIS_NO_VALUE, "  ", "\t"}) {
      double one;
      int cause = DM_CAUSE_NONE;
      EXPECT_EQ(dm_eval(f, 14610, 14976, basis, std::strlen(basis), &one, &cause), DM_MISSING);
      EXPECT_EQ(cause, DM_CAUSE_BASIS_MISSING) << "'" << basis << "'";
      EXPECT_EQ(bits_of(one), mcn::kMissingBits);
    }
}

TEST_F(Embed, StatusesOfMisuseAndFailure) {
  double r;
  EXPECT_EQ(dm_eval(datdif, 1, 2, nullptr, 0, &r, nullptr), DM_MISUSE) << "DATDIF needs a basis";
  EXPECT_EQ(dm_eval(nullptr, 1, 2, "ACT", 3, &r, nullptr), DM_MISUSE);
  EXPECT_EQ(dm_eval(yrdif, 1, 2, nullptr, 0, nullptr, nullptr), DM_MISUSE);
  EXPECT_EQ(dm_eval(yrdif, 1, NAN, nullptr, 0, &r, nullptr), DM_MISSING);
  EXPECT_EQ(bits_of(r), mcn::kMissingBits);
  EXPECT_EQ(dm_eval_array(yrdif, 3, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr),
            DM_MISUSE);
  EXPECT_EQ(dm_eval_array(yrdif, 0, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr),
            DM_OK);
  EXPECT_EQ(dm_eval_array(datdif, 1, &r, &r, nullptr, 0, &r, nullptr, nullptr), DM_MISUSE);

  // Results in place of an input are taken; any other overlap is refused.
  double a[4] = {0, 100, 200, 300};
  double b[4] = {366, 466, 566, 666};
  ASSERT_EQ(dm_eval_array(datdif, 4, a, b, "ACT/ACT", 7, a, nullptr, nullptr), DM_OK);
  for (double d : a) EXPECT_EQ(d, 366.0);
  double c[5] = {0, 1, 2, 3, 4};
  EXPECT_EQ(dm_eval_array(datdif, 4, c, b, "ACT/ACT", 7, c + 1, nullptr, nullptr), DM_MISUSE);
  const char* basis = "ACT/ACT";
  const std::size_t len = 7;
  EXPECT_EQ(dm_eval_array_bases(datdif, 2, c + 1, b, &basis, &len, c, nullptr, nullptr), DM_MISUSE);

  const dm_function* f = nullptr;
  EXPECT_EQ(dm_function_find(lib, "NOPE", &f), DM_NOTFOUND);
  EXPECT_EQ(f, nullptr);
  int fewest = 0, most = 0;
  dm_function_arity(yrdif, &fewest, &most);
  EXPECT_EQ(fewest, 2);
  EXPECT_EQ(most, 3);
  EXPECT_STREQ(dm_function_name(datdif), "DATDIF");
  EXPECT_EQ(dm_function_whole_days(datdif), 1);
  EXPECT_EQ(dm_function_whole_days(yrdif), 0);
  // The bases each function names in a message are the ones its module takes.
  EXPECT_STREQ(dm_function_bases(yrdif), "30/360, ACT/ACT, ACT/360, ACT/365 or AGE");
  EXPECT_STREQ(dm_function_bases(datdif), "30/360, ACT/ACT, ACT/360 or ACT/365");
  EXPECT_STREQ(dm_function_bases(nullptr), "");
  for (const dm_function* g : {yrdif, datdif}) {
    std::string list = dm_function_bases(g);
    for (std::size_t at; (at = list.find(" or ")) != std::string::npos;) list.replace(at, 4, ", ");
    std::istringstream names(list);
    int named = 0;
    for (std::string name; std::getline(names >> std::ws, name, ',');) {
      EXPECT_EQ(dm_eval(g, 0, 400, name.data(), name.size(), &r, nullptr), DM_OK) << name;
      ++named;
    }
    EXPECT_EQ(dm_eval(g, 0, 400, "AGE", 3, &r, nullptr) == DM_OK, named == 5);
  }
  ASSERT_EQ(dm_function_count(lib), 2u);
  EXPECT_EQ(dm_function_at(lib, 0), datdif);
  EXPECT_EQ(dm_function_at(lib, 2), nullptr);
  EXPECT_STREQ(dm_errmsg(lib), "");
  EXPECT_EQ(dm_notice_count(lib), 0u);
  // The modules' identities, as modhost inspect shows them.
  ASSERT_EQ(dm_module_count(lib), 2u);
  EXPECT_STREQ(dm_module_name(lib, 0), "pelvoran");
  EXPECT_EQ(std::string(dm_module_path(lib, 1)), std::string(MODULE_DIR) + "/tashkume.so");
  const char* record = nullptr;
  const char* label = nullptr;
  ASSERT_GE(dm_module_field_count(lib, 1), 10u);
  EXPECT_STREQ(dm_module_field(lib, 1, 0, &record, &label), "ZEM_Image_Information=");
  EXPECT_STREQ(record, "image information");
  EXPECT_STREQ(label, "marker");
  bool module_identifier = false;
  for (std::size_t k = 0; k < dm_module_field_count(lib, 1); ++k)
    if (std::string(dm_module_field(lib, 1, k, &record, &label)) == "TSK5R9WD")
      module_identifier = std::string(label) == "module identifier";
  EXPECT_TRUE(module_identifier);
  EXPECT_EQ(dm_module_field(lib, 1, 99, &record, &label), nullptr);
  EXPECT_EQ(dm_module_name(lib, 2), nullptr);
  EXPECT_STREQ(dm_cause_text(99), "");
  EXPECT_STREQ(dm_version(), "1.0.0");

  dm_library* none = nullptr;
  EXPECT_EQ(dm_open("/nonexistent/modules", &none), DM_ERROR);
  EXPECT_NE(std::string(dm_errmsg(none)).find("/nonexistent/modules"), std::string::npos)
      << dm_errmsg(none);
  EXPECT_EQ(dm_notice_count(none), 1u);
  dm_close(none);
  EXPECT_EQ(dm_open(nullptr, nullptr), DM_MISUSE);
}

// A directory with a truncated module, a text file named like a module and a
// second copy of a module: the good functions are there, and every fault is
// a notice that names its file.
TEST(EmbedNotices, RefusedFilesAndDuplicatesAreReported) {
  char dir_template[] = "/tmp/dm-notices-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  const auto copy = [](const std::string& from, const std::string& to, long limit) {
    FILE* in = std::fopen(from.c_str(), "rb");
    FILE* out = std::fopen(to.c_str(), "wb");
    ASSERT_TRUE(in && out);
    char buf[4096];
    long total = 0;
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0 && total < limit;) {
      const std::size_t keep = std::min<long>(static_cast<long>(n), limit - total);
      ASSERT_EQ(std::fwrite(buf, 1, keep, out), keep);
      total += static_cast<long>(keep);
    }
    std::fclose(in);
    std::fclose(out);
  };
  copy(std::string(MODULE_DIR) + "/pelvoran.so", dir + "/a-pelvoran.so", LONG_MAX);
  copy(std::string(MODULE_DIR) + "/pelvoran.so", dir + "/b-pelvoran.so", LONG_MAX);
  copy(std::string(MODULE_DIR) + "/tashkume.so", dir + "/tashkume.so", 5000);
  FILE* text = std::fopen((dir + "/notes.so").c_str(), "w");
  ASSERT_NE(text, nullptr);
  std::fputs("not a module\n", text);
  std::fclose(text);

  dm_library* lib = nullptr;
  ASSERT_EQ(dm_open(dir.c_str(), &lib), DM_OK);
  ASSERT_EQ(dm_function_count(lib), 1u);
  std::string all;
  for (std::size_t i = 0; i < dm_notice_count(lib); ++i)
    all += std::string(dm_notice(lib, i)) + "\n";
  EXPECT_EQ(dm_notice_count(lib), 3u) << all;
  EXPECT_NE(all.find("tashkume.so: cannot load: truncated"), std::string::npos) << all;
  EXPECT_NE(all.find("notes.so: cannot load: not an ELF file"), std::string::npos) << all;
  EXPECT_NE(all.find("registered by both " + dir + "/a-pelvoran.so and " + dir + "/b-pelvoran.so"),
            std::string::npos)
      << all;
  dm_close(lib);
  for (const char* f : {"/a-pelvoran.so", "/b-pelvoran.so", "/tashkume.so", "/notes.so"})
    std::remove((dir + f).c_str());
  rmdir(dir.c_str());
}

TEST(EmbedCalendar, CivilDatesIsoTextsAndDateValues) {
  // Every 37th day of the calendar's range against the day-by-day walk.
  testing_support::walk_host_calendar(
      testing_support::kLastDateValue, [](std::int64_t day, testing_support::Ymd c) {
        if (day % 37 != 0) return;
        double v;
        ASSERT_EQ(dm_date_from_civil(c.y, c.m, c.d, &v), DM_OK);
        ASSERT_EQ(v, static_cast<double>(day));
        std::int64_t y;
        int m, d;
        ASSERT_EQ(dm_civil_from_date(v + 0.75, &y, &m, &d), DM_OK);
        ASSERT_TRUE(y == c.y && m == c.m && d == c.d) << day;
        char iso[16];
        ASSERT_EQ(dm_iso_from_date(v, iso, sizeof iso), DM_OK);
        double back;
        ASSERT_EQ(dm_date_from_text(iso, std::strlen(iso), &back, nullptr), DM_OK);
        ASSERT_EQ(back, v) << iso;
      });
  double v;
  EXPECT_EQ(dm_date_from_civil(4000, 2, 29, &v), DM_RANGE);
  EXPECT_EQ(dm_date_from_civil(2001, 13, 1, &v), DM_RANGE);
  EXPECT_EQ(dm_date_from_civil(2000000000, 1, 1, &v), DM_RANGE);
  ASSERT_EQ(dm_date_from_text("-0001-03-01", 11, &v, nullptr), DM_OK);
  char iso[16];
  ASSERT_EQ(dm_iso_from_date(v, iso, sizeof iso), DM_OK);
  EXPECT_STREQ(iso, "-0001-03-01");
  // A buffer too small, or a year the reader would not take back: "" and DM_RANGE.
  std::memset(iso, 'x', sizeof iso);
  EXPECT_EQ(dm_iso_from_date(0, iso, 10), DM_RANGE) << "too small a buffer";
  EXPECT_STREQ(iso, "");
  ASSERT_EQ(dm_date_from_civil(999999999, 12, 31, &v), DM_OK);
  ASSERT_EQ(dm_iso_from_date(v, iso, sizeof iso), DM_OK);
  EXPECT_STREQ(iso, "999999999-12-31");
  EXPECT_EQ(dm_iso_from_date(v + 1, iso, sizeof iso), DM_RANGE) << "a year of 10 digits";
  EXPECT_EQ(dm_iso_from_date(NAN, iso, sizeof iso), DM_RANGE);

  const std::int64_t years[] = {2000, 4000, 1960};
  const std::int32_t months[] = {2, 2, 1};
  const std::int32_t days[] = {29, 29, 1};
  double values[3];
  ASSERT_EQ(dm_dates_from_civil(3, years, months, days, values), DM_OK);
  EXPECT_EQ(values[0], 14669.0);
  EXPECT_TRUE(std::isnan(values[1])) << "4000-02-29 is not in the host calendar";
  EXPECT_NE(bits_of(values[1]), mcn::kMissingBits) << "but it was given: not a missing date";
  EXPECT_EQ(values[2], 0.0);
}

// The date reader: every form, the reason of each refusal, and the array
// forms (bytes and UTF-32) agreeing with the one-text form.
TEST(EmbedTexts, EveryFormAndItsReason) {
  double jan5;
  ASSERT_EQ(dm_date_from_civil(2024, 1, 5, &jan5), DM_OK);
  struct Case {
    const char* text;
    int reason;
    double offset;  // days from 2024-01-05
  };
  const Case cases[] = {
      {"2024-01-05", DM_DATE_OK, 0},
      {"2024-1-5", DM_DATE_OK, 0},
      {" \t2024-01-05 ", DM_DATE_OK, 0},
      {"2024-01-05 10:00", DM_DATE_OK, 0},
      {"2024-01-05T10:00", DM_DATE_OK, 0},
      {"2024-01-05  10:00:59", DM_DATE_OK, 0},
      {"2024-01-05 10:00:00.123456789", DM_DATE_OK, 0},
      {"2024-01-05 10:00Z", DM_DATE_OK, 0},
      {"2024-01-05 10:00:00 z", DM_DATE_OK, 0},
      {"2024-01-05 23:30-05:00", DM_DATE_OK, 1},
      {"2024-01-05 18:59-05:00", DM_DATE_OK, 0},
      {"2024-01-05 19:00-05:00", DM_DATE_OK, 1},
      {"2024-01-05 01:30+05:00", DM_DATE_OK, -1},
      {"2024-01-05 14:00:00+14:00", DM_DATE_OK, 0},
      {"2024-01-05 10:00:00+14:00", DM_DATE_OK, -1},
      {"2024-01-05 09:59:59+10:00", DM_DATE_OK, -1},
      {"14610.5", DM_DATE_OK, 14610.5},
      {"-5", DM_DATE_OK, -5},
      {"", DM_DATE_MISSING, 0},
      {"   ", DM_DATE_MISSING, 0},
      {".", DM_DATE_MISSING, 0},
      {"2021-02-30", DM_DATE_NO_SUCH_DAY, 0},
      {"4000-02-29 10:00", DM_DATE_NO_SUCH_DAY, 0},
      {"2024-00-10", DM_DATE_NO_SUCH_DAY, 0},
      {"1234567890-01-01", DM_DATE_NOT_A_DATE, 0},
      {"2024-01-05Z", DM_DATE_NOT_A_DATE, 0},
      {"2024-01-05T", DM_DATE_NOT_A_DATE, 0},
      {"2024-01-05 24:00", DM_DATE_NOT_A_DATE, 0},
      {"2024-01-05 10:60", DM_DATE_NOT_A_DATE, 0},
      {"2024-01-05 23:59:60", DM_DATE_NOT_A_DATE, 0},
      {"2024-01-05 10", DM_DATE_NOT_A_DATE, 0},
      {"2024-01-05 10:00:00.", DM_DATE_NOT_A_DATE, 0},
      {"2024-01-05 10:00:00+0500", DM_DATE_NOT_A_DATE, 0},
      {"2024-01-05 10:00:00+15:00", DM_DATE_NOT_A_DATE, 0},
      {"2024-01-05x", DM_DATE_NOT_A_DATE, 0},
      {"2024/01/05", DM_DATE_NOT_A_DATE, 0},
      {"2021-001-01", DM_DATE_NOT_A_DATE, 0},
      {"nan", DM_DATE_NOT_A_DATE, 0},
      {"inf", DM_DATE_NOT_A_DATE, 0},
      {"+5", DM_DATE_NOT_A_DATE, 0},
      {"..", DM_DATE_NOT_A_DATE, 0},
  };
  constexpr std::size_t kWidth = 32;
  std::vector<char> bytes(std::size(cases) * kWidth, '\0');
  std::vector<std::uint32_t> wide(std::size(cases) * kWidth, 0);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    std::memcpy(&bytes[i * kWidth], c.text, std::strlen(c.text));
    for (std::size_t k = 0; c.text[k] != '\0'; ++k) wide[i * kWidth + k] = c.text[k];
    double v;
    int reason = -1;
    const int status = dm_date_from_text(c.text, std::strlen(c.text), &v, &reason);
    EXPECT_EQ(reason, c.reason) << "'" << c.text << "'";
    EXPECT_EQ(status, c.reason <= DM_DATE_MISSING ? DM_OK : DM_RANGE) << c.text;
    if (c.reason == DM_DATE_OK) {
      const double want =
          std::strchr(c.text, '-') != nullptr && c.text[0] != '-' ? jan5 + c.offset : c.offset;
      EXPECT_EQ(v, want) << c.text;
    } else if (c.reason == DM_DATE_MISSING) {
      EXPECT_EQ(bits_of(v), mcn::kMissingBits) << c.text;
    } else {
      EXPECT_TRUE(std::isnan(v)) << c.text;
      EXPECT_NE(bits_of(v), mcn::kMissingBits) << c.text << ": given, so not a missing date";
    }
  }
  std::vector<double> from_bytes(std::size(cases)), from_wide(std::size(cases));
  std::vector<std::uint8_t> reasons_bytes(std::size(cases)), reasons_wide(std::size(cases));
  ASSERT_EQ(dm_dates_from_texts(std::size(cases), bytes.data(), kWidth, from_bytes.data(),
                                reasons_bytes.data()),
            DM_OK);
  ASSERT_EQ(dm_dates_from_utf32(std::size(cases), wide.data(), kWidth, from_wide.data(),
                                reasons_wide.data()),
            DM_OK);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    double v;
    int reason;
    dm_date_from_text(cases[i].text, std::strlen(cases[i].text), &v, &reason);
    EXPECT_EQ(bits_of(from_bytes[i]), bits_of(v)) << cases[i].text;
    EXPECT_EQ(bits_of(from_wide[i]), bits_of(v)) << cases[i].text;
    EXPECT_EQ(reasons_bytes[i], reason);
    EXPECT_EQ(reasons_wide[i], reason);
  }
  const std::uint32_t accented[] = {'2', '0', '2', '4', '-', '0', '1', '-', '0', 0xE9};
  double v;
  std::uint8_t reason;
  ASSERT_EQ(dm_dates_from_utf32(1, accented, 10, &v, &reason), DM_OK);
  EXPECT_EQ(reason, DM_DATE_NOT_A_DATE);

  char q[DM_QUOTE_SIZE];
  EXPECT_EQ(dm_quote("A\x1b[2J\xff", 6, q, sizeof q), 14u);
  EXPECT_STREQ(q, "'A\\x1b[2J\\xff'");
  const std::string huge(1000, '\x01');
  EXPECT_LT(dm_quote(huge.data(), huge.size(), q, sizeof q), sizeof q);
  EXPECT_EQ(std::string(q).substr(std::strlen(q) - 4), "...'") << "cut after 80 bytes";
}

// The one wording of a refused date text: names escaped, the text read as
// the readers read it (blanks at the ends passed over) and quoted, a message
// cut to the buffer with its whole length returned.
TEST(EmbedTexts, RefusalsInOneWording) {
  struct Case {
    const char* function;
    const char* argument;
    int reason;
    std::string text;
    const char* message;
  } cases[] = {
      {"yrdif", "argument 1", DM_DATE_NO_SUCH_DAY, "2021-02-30",
       "yrdif: argument 1: no such date in the host calendar: '2021-02-30'"},
      {nullptr, "field 2", DM_DATE_NOT_A_DATE, "  x\x1b ",
       "field 2: not a date (yyyy-mm-dd) or date value: 'x\\x1b'"},
      {"", "end[3]", DM_DATE_NOT_A_DATE, std::string("a\0b", 3),
       "end[3]: not a date (yyyy-mm-dd) or date value: 'a\\x00b'"},
      {"f\x1b[2J", "start at position 0\n", DM_DATE_NOT_A_DATE, "\xff",
       "f\\x1b[2J: start at position 0\\x0a: not a date (yyyy-mm-dd) or date value: '\\xff'"},
      // A reason that is no refusal is worded as a text that is no date.
      {"datdif", "argument 2", DM_DATE_OK, "?",
       "datdif: argument 2: not a date (yyyy-mm-dd) or date value: '?'"},
  };
  for (const Case& c : cases) {
    char m[DM_REFUSAL_SIZE];
    EXPECT_EQ(dm_refusal_text(c.function, c.argument, c.reason, c.text.data(), c.text.size(), m,
                              sizeof m),
              std::strlen(c.message));
    EXPECT_STREQ(m, c.message);
    char small[12];
    EXPECT_EQ(dm_refusal_text(c.function, c.argument, c.reason, c.text.data(), c.text.size(), small,
                              sizeof small),
              std::strlen(c.message));
    EXPECT_EQ(std::string(small), std::string(c.message).substr(0, sizeof small - 1));
  }
  const std::string huge(100000, 'x');
  char m[DM_REFUSAL_SIZE];
  EXPECT_LT(dm_refusal_text("yrdif", "argument 1", DM_DATE_NOT_A_DATE, huge.data(), huge.size(), m,
                            sizeof m),
            sizeof m);
  EXPECT_EQ(dm_refusal_text(nullptr, nullptr, DM_DATE_NOT_A_DATE, nullptr, 0, nullptr, 0),
            std::strlen(": not a date (yyyy-mm-dd) or date value: ''"));
}

// datetime64 counts in every unit to date values, against the civil dates
// that the Gregorian calendar gives them and the host calendar takes.
TEST(EmbedTexts, CountsOfEveryUnitGoThroughTheCivilDate) {
  const std::int64_t per_day[] = {1, 24, 1440, 86400, 86400000, 86400000000, 86400000000000};
  // Days around the calendars' points of difference and the edges of the
  // nanosecond range, and a sweep.
  std::vector<std::int64_t> days = {0,      -1,     1,      -719469, -719468, -719467, 741499,
                                    741500, 741501, 741502, -106752, 106751,  2932896, -2932897};
  for (std::int64_t d = -800000; d < 2000000; d += 997) days.push_back(d);
  for (const std::int64_t unit : per_day) {
    for (const std::int64_t day : days) {
      if (unit > 1 && (day > INT64_MAX / unit - 1 || day < INT64_MIN / unit + 1)) continue;
      // The first and the last unit of the day, and one in the middle.
      for (const std::int64_t count : {day * unit, day * unit + unit - 1, day * unit + unit / 2}) {
        double got;
        ASSERT_EQ(dm_dates_from_counts(1, &count, unit, &got), DM_OK);
        // The model: the Gregorian civil date of the day, taken by the host calendar.
        const std::int64_t z = day + 719468;
        const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        const std::int64_t doe = z - era * 146097;
        const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const std::int64_t mp = (5 * doy + 2) / 153;
        const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        // A day that the host calendar lacks is refused by both alike.
        double want;
        dm_date_from_civil(yoe + era * 400 + (m <= 2), m, d, &want);
        ASSERT_EQ(bits_of(got), bits_of(want)) << "day " << day << " unit " << unit;
      }
    }
  }
  const std::int64_t nat = INT64_MIN;
  double v;
  ASSERT_EQ(dm_dates_from_counts(1, &nat, 86400000000000, &v), DM_OK);
  EXPECT_EQ(bits_of(v), mcn::kMissingBits);
  // pandas.Timestamp.min, 1677-09-21 00:12:43.145224193, is that day.
  const std::int64_t ts_min = INT64_MIN + 1;
  ASSERT_EQ(dm_dates_from_counts(1, &ts_min, 86400000000000, &v), DM_OK);
  double want;
  ASSERT_EQ(dm_date_from_civil(1677, 9, 21, &want), DM_OK);
  EXPECT_EQ(v, want);
  EXPECT_EQ(dm_dates_from_counts(1, &ts_min, 0, &v), DM_MISUSE);
}

// Threads evaluate through one handle while others open and close handles on
// the same directory; every result agrees with one thread's.
TEST_F(Embed, ThreadsEvaluateWhileOthersOpenAndClose) {
  testing_support::Dates dates(99);
  std::vector<double> start(20000), end(20000), want(20000);
  for (std::size_t i = 0; i < start.size(); ++i) {
    start[i] = dates.next();
    end[i] = dates.partner(start[i]);
  }
  ASSERT_EQ(dm_eval_array(yrdif, start.size(), start.data(), end.data(), "ACT/ACT", 7, want.data(),
                          nullptr, nullptr),
            DM_OK);
  constexpr int kEvaluators = 8;
  std::vector<std::vector<double>> got(kEvaluators, std::vector<double>(start.size()));
  std::atomic<bool> done{false};
  std::atomic<int> opened{0};
  std::vector<std::thread> openers;
  for (int t = 0; t < 2; ++t)
    openers.emplace_back([&] {
      while (!done.load()) {
        dm_library* own = nullptr;
        const dm_function* f = nullptr;
        if (dm_open(MODULE_DIR, &own) == DM_OK && dm_function_find(own, "DATDIF", &f) == DM_OK) {
          double r;
          if (dm_eval(f, 0, 366, "ACT/ACT", 7, &r, nullptr) == DM_OK && r == 366) ++opened;
        }
        dm_close(own);
      }
    });
  std::vector<std::thread> evaluators;
  for (int t = 0; t < kEvaluators; ++t)
    evaluators.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round)
        dm_eval_array(yrdif, start.size(), start.data(), end.data(), "ACT/ACT", 7, got[t].data(),
                      nullptr, nullptr);
    });
  for (std::thread& t : evaluators) t.join();
  done = true;
  for (std::thread& t : openers) t.join();
  EXPECT_GT(opened.load(), 0);
  for (const auto& g : got)
    EXPECT_EQ(std::memcmp(g.data(), want.data(), want.size() * sizeof(double)), 0);
}

long resident_kib() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  long pages = 0, resident = 0;
  if (f != nullptr) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Holding one handle while 100,000 others open and close keeps memory steady:
// each module file was loaded and registered once.
TEST_F(Embed, MemoryStaysSteadyOverManyHandles) {
  const auto cycle = [] {
    dm_library* other = nullptr;
    ASSERT_EQ(dm_open(MODULE_DIR, &other), DM_OK);
    dm_close(other);
  };
  for (int i = 0; i < 2000; ++i) cycle();
  const long before = resident_kib();
  for (int i = 0; i < 100000; ++i) cycle();
  const long grown = resident_kib() - before;
#ifndef MCN_SANITIZED  // a sanitizer's quarantine keeps freed memory
  EXPECT_LT(grown, 1024) << "KiB grown over 100,000 handles";
#else
  RecordProperty("grown_kib", static_cast<int>(grown));
#endif
}

}  // namespace

namespace {

// The JSON explanation of an evaluation, whole.
std::string explained_json(const dm_function* f, double s, double t, const char* basis,
                           int* status = nullptr) {
  size_t length = 0;
  const size_t n = basis != nullptr ? std::strlen(basis) : 0;
  const int first = dm_explain_text(f, s, t, basis, n, DM_EXPLAIN_JSON, nullptr, 0, &length);
  std::vector<char> buf(length + 1);
  const int second =
      dm_explain_text(f, s, t, basis, n, DM_EXPLAIN_JSON, buf.data(), buf.size(), nullptr);
  EXPECT_EQ(first, second);
  if (status != nullptr) *status = second;
  return buf.data();
}

// A number of an explanation's JSON after `key` (`"result":`), or NaN for null.
double json_number(const std::string& json, const std::string& key) {
  const std::size_t at = json.find(key);
  EXPECT_NE(at, std::string::npos) << key << " in " << json;
  if (at == std::string::npos || json.compare(at + key.size(), 4, "null") == 0) return NAN;
  return std::strtod(json.c_str() + at + key.size(), nullptr);
}

// Explanations through the C interface: the JSON holds the core's parts and
// the module's result, the text and JSON forms fit or say how long they are,
// and misuse is refused.
TEST_F(Embed, ExplanationsAsTextAndJson) {
  struct Case {
    const dm_function* f;
    double start, end;
    const char* basis;
    std::vector<const char*> parts;
  } cases[] = {
      {yrdif,
       21731,
       22097,
       "act/act  ",
       {"\"read\":\"ACT/ACT\"", "\"names\":\"ACT/ACT\"",
        "\"rule\":\"\\\"ACT\\\" then \\\"ACT\\\"\",\"found_at\":0,\"decided\":true",
        "\"common_days\":184", "\"leap_days\":182", "\"same_bits\":true", "\"missing\":null"}},
      {datdif,
       22370,
       22339,
       "30/360",
       {"\"swapped\":true", "the start is the last day of February",
        "the end is a 31st and the start a 30th or 31st", "\"result\":-30"}},
      {datdif, 0, NAN, "AGE", {"\"test\":\"end date\",\"cause\":\"date missing\""}},
      {datdif, 0, 1, "AGE", {"\"test\":\"basis\",\"cause\":\"basis names no basis\""}},
      {yrdif, 14669, 18321, nullptr, {"\"given\":\"left out\"", "\"result\":10"}},
  };
  for (const Case& c : cases) {
    int status = -1;
    const std::string json = explained_json(c.f, c.start, c.end, c.basis, &status);
    EXPECT_EQ(status, DM_OK);
    for (const char* part : c.parts) EXPECT_NE(json.find(part), std::string::npos) << part << json;
  }

  // The texts: whole, then cut to a small buffer with the whole length told.
  size_t length = 0;
  std::vector<char> big(4096);
  ASSERT_EQ(dm_explain_text(yrdif, 21731, 22097, "ACT/ACT", 7, DM_EXPLAIN_TEXT, big.data(),
                            big.size(), &length),
            DM_OK);
  EXPECT_EQ(std::strlen(big.data()), length);
  EXPECT_NE(std::strstr(big.data(), "182 days of 2020, a leap year"), nullptr) << big.data();
  char small[10];
  size_t cut = 0;
  ASSERT_EQ(dm_explain_text(yrdif, 21731, 22097, "ACT/ACT", 7, DM_EXPLAIN_TEXT, small, sizeof small,
                            &cut),
            DM_OK);
  EXPECT_EQ(cut, length);
  EXPECT_EQ(std::string(small), std::string(big.data(), sizeof small - 1));

  // Misuse.
  char buf[64];
  EXPECT_EQ(dm_explain_text(nullptr, 0, 1, "AGE", 3, DM_EXPLAIN_JSON, buf, sizeof buf, nullptr),
            DM_MISUSE);
  EXPECT_EQ(dm_explain_text(datdif, 0, 1, nullptr, 0, DM_EXPLAIN_JSON, buf, sizeof buf, nullptr),
            DM_MISUSE);
  EXPECT_EQ(dm_explain_text(yrdif, 0, 1, "AGE", 3, 2, big.data(), big.size(), nullptr), DM_MISUSE);
  EXPECT_EQ(dm_explain_text(yrdif, 0, 1, "AGE", 3, DM_EXPLAIN_TEXT, nullptr, 5, nullptr),
            DM_MISUSE);
}

// Over random pairs, the explained figure and the module's result in the
// JSON are dm_eval's, to the bit, and a missing result names its cause.
TEST_F(Embed, ExplainedFiguresAreTheResultsOfDmEval) {
  testing_support::Dates dates(77);
  for (int code = 1; code <= 5; ++code) {
    for (const dm_function* f : {yrdif, datdif}) {
      if (f == datdif && code == 5) continue;
      const char* basis = kBasisText[code];
      for (int i = 0; i < 3000; ++i) {
        const double s = dates.next(), t = dates.partner(s);
        double r;
        int cause;
        int status = -1;
        const std::string json = explained_json(f, s, t, basis, &status);
        ASSERT_EQ(status, DM_OK) << json;
        const int evaluated = dm_eval(f, s, t, basis, std::strlen(basis), &r, &cause);
        if (evaluated == DM_MISSING) {
          ASSERT_NE(json.find(std::string("\"cause\":\"") + dm_cause_text(cause) + "\""),
                    std::string::npos)
              << json;
          ASSERT_TRUE(std::isnan(json_number(json, "\"module_result\":")));
        } else {
          ASSERT_EQ(bits_of(json_number(json, "\"module_result\":")), bits_of(r)) << json;
          ASSERT_EQ(bits_of(json_number(json, ",\"result\":")), bits_of(r)) << json;
        }
      }
    }
  }
}

}  // namespace
