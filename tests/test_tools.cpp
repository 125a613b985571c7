// modhost's own pieces: the line reader against a plain model under every
// way of cutting the input into blocks, CSV fields written and read back,
// message quoting, and numbers printed without exponents.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/quote.h"
#include "line_model.h"
#include "tools/csv.h"
#include "tools/output.h"

namespace {

using testing_support::kTooLong;

std::vector<std::string> model_lines(const std::string& in) {
  return testing_support::model_lines(in, modhost::kMaxLine);
}

std::vector<std::string> reader_lines(const std::string& in, const std::vector<std::size_t>& cuts) {
  std::vector<std::string> lines;
  const auto on_line = [&](std::string_view text, bool too_long) {
    EXPECT_TRUE(!too_long || text.empty());
    lines.push_back(too_long ? kTooLong : std::string(text));
  };
  modhost::LineReader reader;
  std::size_t at = 0;
  for (std::size_t cut : cuts) {
    reader.feed(std::string_view(in).substr(at, cut - at), on_line);
    at = cut;
  }
  reader.feed(std::string_view(in).substr(at), on_line);
  reader.finish(on_line);
  return lines;
}

TEST(LineReader, SameLinesHoweverTheInputIsCut) {
  const std::string big(modhost::kMaxLine, 'b');
  const std::string inputs[] = {
      "",
      "\xEF\xBB\xBF",
      "\xEF\xBB",
      "\xEF\xBB\xBF\xEF\xBB\xBFx",
      "\xEF\xBB\xBF"
      "a,b\r\n\r\nc\rd\n\re",
      "a\r",
      "\r\n\r\n\n\r\r",
      "x\xEF\xBB\xBF\ny",
      big + "\n" + big + "x\r\n" + big + "\r" + big + "yy",
      "short\n" + big + big + "\nafter",
      std::string(3, '\0') + "\n" + std::string(1, '\0'),
  };
  std::mt19937 rng(7);
  for (const std::string& in : inputs) {
    const std::vector<std::string> want = model_lines(in);
    std::vector<std::vector<std::size_t>> cuttings = {{}};
    for (std::size_t step : {1, 2, 3, 7, 4096}) {
      std::vector<std::size_t> cuts;
      for (std::size_t c = step; c < in.size(); c += step) cuts.push_back(c);
      cuttings.push_back(cuts);
    }
    for (int r = 0; r < 20 && !in.empty(); ++r) {
      std::vector<std::size_t> cuts;
      for (std::size_t c = rng() % in.size(); c < in.size(); c += 1 + rng() % (in.size() / 3 + 1))
        cuts.push_back(c);
      cuttings.push_back(cuts);
    }
    for (const auto& cuts : cuttings)
      EXPECT_EQ(reader_lines(in, cuts), want)
          << "input of " << in.size() << " bytes, " << cuts.size() << " cuts";
  }
}

TEST(Csv, FieldsWrittenReadBackTheSame) {
  const std::string fields[] = {"", "plain", "a,b", "\"", "say \"hi\"", ",", "\"\"", "x\"y,z"};
  for (const std::string& a : fields) {
    for (const std::string& b : fields) {
      std::string line;
      {
        modhost::Output out(line);
        modhost::put_csv_field(out, a);
        out.put(',');
        modhost::put_csv_field(out, b);
      }
      std::string_view got[3];
      std::string unquoted[3];
      ASSERT_EQ(modhost::split_csv(line, got, 3, unquoted), 2) << line;
      EXPECT_EQ(got[0], a) << line;
      EXPECT_EQ(got[1], b) << line;
    }
  }
  std::string_view got[3];
  std::string unquoted[3];
  EXPECT_EQ(modhost::split_csv("a,b,c,d", got, 3, unquoted), modhost::kTooManyFields);
  EXPECT_EQ(modhost::split_csv("\"a", got, 3, unquoted), modhost::kBadQuote);
  EXPECT_EQ(modhost::split_csv("\"a\"b", got, 3, unquoted), modhost::kBadQuote);
  EXPECT_EQ(modhost::split_csv("a,b,", got, 3, unquoted), 3);
}

TEST(Escaped, ControlBytesAndBadUtf8AreEscapedAndLongTextsCut) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"plain 2021-01-01", "plain 2021-01-01"},
      {"\x1b[2J", "\\x1b[2J"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"back\\slash", "back\\\\slash"},
      {"\x7f\t\r\n", "\\x7f\\x09\\x0d\\x0a"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"\xC3", "\\xc3"},                             // cut sequence
      {"\xC0\xAF", "\\xc0\\xaf"},                    // overlong
      {"\xED\xA0\x80", "\\xed\\xa0\\x80"},           // surrogate
      {"\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // past U+10FFFF
      {"\xFF", "\\xff"},
      {std::string(81, 'x'), std::string(80, 'x') + "..."},
      {std::string(80, 'x'), std::string(80, 'x')},
  };
  for (const Case& c : cases) EXPECT_EQ(dmcore::escaped(c.in), c.out) << c.out;
}

std::string formatted(double v) {
  char buf[dmcore::kNumberChars];
  return std::string(buf, static_cast<std::size_t>(dmcore::format_number(v, buf)));
}

TEST(FormatNumber, FullNumbersThatReadBackExactly) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> exponent(-8, 15);
  for (int i = 0; i < 200000; ++i) {
    const double v = (rng() & 1 ? -1 : 1) * std::pow(10.0, exponent(rng));
    const std::string text = formatted(v);
    EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
    double back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_EQ(back, v) << text;
    const double whole = std::trunc(v);
    EXPECT_EQ(formatted(whole).find('.'), std::string::npos) << "a whole number: " << whole;
  }
  EXPECT_EQ(formatted(1e5), "100000");
  EXPECT_EQ(formatted(-0.0), "-0");
  EXPECT_EQ(formatted(1e15), "1e+15");
}

TEST(ReadsAsValue, WhatLine1MustNotHoldToBeAHeader) {
  for (const char* value :
       {"2021-01-01", "2021-01-0l", "0", "-5", "+5", ".5", "-.5", ".", " 7", "30/360", "1e5"})
    EXPECT_TRUE(dmcore::reads_as_value(value)) << value;
  for (const char* text : {"start", "", "-", "ACT/360", "basis", "-x", ".x", "d1"})
    EXPECT_FALSE(dmcore::reads_as_value(text)) << text;
}

}  // namespace
