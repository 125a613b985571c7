// modhost end to end: call, batch, inspect and their failures, as a person
// or a script would run them, with faults injected from the shell.
#include <elf.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/explain.h"

namespace {

struct Outcome {
  int status;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string temp(const std::string& name) { return ::testing::TempDir() + "/" + name; }

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Runs a bash script in which $M is modhost and $T a scratch folder, with the
// given standard input; the status is the script's.
Outcome script(const std::string& body, const std::string& input = "") {
  const std::string in = temp("modhost.in"), out = temp("modhost.out"), err = temp("modhost.err"),
                    file = temp("modhost.sh");
  write_file(in, input);
  write_file(file, "M=" MODHOST_PATH "\nT=" + ::testing::TempDir() + "\n" + body + "\n");
  const std::string command = "bash " + file + " <" + in + " >" + out + " 2>" + err;
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

// Runs modhost with the arguments (shell words) and the given standard input.
Outcome modhost(const std::string& args, const std::string& input = "",
                const std::string& env = "") {
  return script(env + " $M " + args, input);
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

long count_lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

TEST(ModhostCall, PrintsShortestRoundTripResults) {
  struct Case {
    const char* args;
    const char* out;
  };
  const Case cases[] = {
      {"call YRDIF 2000-02-29 2010-02-28", "10\n"},
      {"call DATDIF 2001-01-31 2001-02-28 30/360", "28\n"},
      {"call yrdif 2019-07-01 2020-07-01 ACT/ACT", "1.0013773486039375\n"},
      {"call YRDIF 2000-01-10 2000-06-10", "0.41369863013698627\n"},
      {"call YRDIF 2020-01-01 2021-01-01 ACT/365", "1.0027397260273974\n"},
      {"call DATDIF 15006 15034 30/360", "28\n"},
      {"call DATDIF -138061 -138060.5 ACT/ACT", "0\n"},
      {"call DATDIF 2001-02-28 2001-01-31 \"30/360\"", "-28\n"},
      {"call YRDIF 20000-12-31 1582-01-01 AGE", "-18418.997260273973\n"},
      // Day counts in full, never in exponent form.
      {"call DATDIF 0 100000 ACT/ACT", "100000\n"},
      {"call DATDIF 0 200000 ACT/360", "200000\n"},
      {"call DATDIF -100000 700000 ACT/365", "800000\n"},
      {"call DATDIF 700000 0 ACT/ACT", "-700000\n"},
      // Past 4000-02-28: day counts have a 29 February that the calendar lacks.
      {"call DATDIF 0 1000000 ACT/ACT", "1000001\n"},
      {"call YRDIF -138061 6589335 ACT/365", "18431.235616438356\n"},
      // Missing results say why.
      {"call YRDIF 2000-01-01 2001-01-01 NONSENSE",
       "missing (status 120836): basis names no basis ('NONSENSE')\n"},
      {"call DATDIF 1 2 $'A\\x1b[2J'",
       "missing (status 120836): basis names no basis ('A\\x1b[2J')\n"},
      {"call DATDIF . 2001-01-01 ACT/ACT", "missing (status 120836): date missing\n"},
      {"call DATDIF 1500-01-01 2001-01-01 ACT/ACT",
       "missing (status 120836): date out of range (1582-01-01 to 20000-12-31)\n"},
      {"call DATDIF 2001-01-01 99999-01-01 ACT/ACT",
       "missing (status 120836): date out of range (1582-01-01 to 20000-12-31)\n"},
      {"call DATDIF 2001-01-01 999999999-12-31 ACT/ACT",
       "missing (status 120836): date out of range (1582-01-01 to 20000-12-31)\n"},
  };
  for (const Case& c : cases) {
    const Outcome r = modhost(c.args);
    EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.args;
  }
  EXPECT_EQ(modhost("call --strict YRDIF 1 2 NONSENSE").status, 1);
  EXPECT_EQ(modhost("call YRDIF 1 2 NONSENSE --strict").status, 1);
}

TEST(ModhostCall, RefusesBadDatesUnknownFunctionsAndWrongArgumentCounts) {
  struct Case {
    const char* args;
    const char* message;
  };
  const Case cases[] = {
      {"call YRDIF 2021-02-30 2022-01-01", "no such date"},
      {"call YRDIF 4000-02-29 4001-01-01", "no such date"},
      {"call YRDIF 12x 2022-01-01", "not a date"},
      {"call YRDIF 1000000000-01-01 2022-01-01", "not a date"},
      {"call YRDIF $'\\x1b]0;x\\a' 2022-01-01", "'\\x1b]0;x\\x07'"},
      {"call DATDIF 2021-01-01 2022-01-01", "takes 3 arguments, not 2"},
      {"call YRDIF 2021-01-01", "takes 2 to 3 arguments, not 1"},
      {"call YRDIF 1 2 3 4", "takes 2 to 3 arguments, not 4"},
      {"call NOPE 1 2", "unknown function NOPE"},
      {"frobnicate", "unknown verb"},
      {"--bogus inspect", "unknown option"},
      {"--modules= call YRDIF 1 2", "--modules needs a directory"},
      {"--modules '' call YRDIF 1 2", "--modules needs a directory"},
      {"call YRDIF 1 2 --modules", "--modules needs a directory"},
  };
  for (const Case& c : cases) {
    const Outcome r = modhost(c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_TRUE(has(r.err, c.message)) << c.args << ": " << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << "raw escape byte in: " << r.err;
  }
}

TEST(ModhostBatch, EveryLineGivesOneRowOfFourColumns) {
  const std::string input =
      "start,end,basis\n"
      "2000-01-01,2001-01-01,ACT/ACT\n"
      "2021-02-30,2022-01-01,ACT/ACT\n"
      "4000-02-29,4001-01-01,30/360\n"
      "2000-01-01,2001-01-01\n"
      "\n"
      "2000-01-01,abc,ACT/360\n"
      "2000-01-01,2001-01-01,NONE\r\n"
      "2000-01-01,2001-01-01,\"ACT/365\"\n"
      "1,2,3,4,5\n"
      "\"a,b\",\"c\"\"d\n"
      "0,100000,ACT/360\n"
      "14610,14976.5,act/360";
  const Outcome r = modhost("batch DATDIF", input);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "start,end,basis,DATDIF\n"
            "2000-01-01,2001-01-01,ACT/ACT,366\n"
            "2021-02-30,2022-01-01,ACT/ACT,\n"
            "4000-02-29,4001-01-01,30/360,\n"
            "2000-01-01,2001-01-01,,\n"
            "\n"
            "2000-01-01,abc,ACT/360,\n"
            "2000-01-01,2001-01-01,NONE,\n"
            "2000-01-01,2001-01-01,ACT/365,366\n"
            "\"1,2,3,4,5\",,,\n"
            "\"\"\"a,b\"\",\"\"c\"\"\"\"d\",,,\n"
            "0,100000,ACT/360,100000\n"
            "14610,14976.5,act/360,366\n");
  for (const char* line : {"line 3:", "line 4:", "line 5:", "line 7:", "line 10:", "line 11:"})
    EXPECT_TRUE(has(r.err, line)) << line << " in " << r.err;
  EXPECT_FALSE(has(r.err, "line 8:")) << "a missing result is not a bad row without --strict";
  EXPECT_TRUE(has(r.err, "1 missing result(s): 1 basis names no basis")) << r.err;
  EXPECT_TRUE(has(r.err, "6 bad row(s) of 13 line(s)")) << r.err;

  const Outcome strict = modhost("batch --strict DATDIF", "2000-01-01,2001-01-01,A/365\n");
  EXPECT_EQ(strict.status, 1);
  EXPECT_TRUE(has(strict.err, "line 1: missing result: basis names no basis")) << strict.err;
}

TEST(ModhostBatch, CleanInputExitsZeroAndTwoFieldRowsUseTheDefaultBasis) {
  const Outcome r =
      modhost("batch YRDIF", "2000-02-29,2010-02-28\n2000-02-29,2010-02-28,ACT/365\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2000-02-29,2010-02-28,,10\n2000-02-29,2010-02-28,ACT/365,10.005479452054795\n");
  EXPECT_EQ(r.err, "");
}

// What line 1 is, and the line ends: nothing is taken as a header but a line
// without any date or number, and no line end swallows a row.
TEST(ModhostBatch, HeadersByteOrderMarksAndLineEnds) {
  struct Case {
    const char* name;
    std::string input, out;
    int status;
    const char* message;
  };
  const std::string row = "2000-01-01,2001-01-01,ACT/ACT";
  const Case cases[] = {
      {"header", "start,end,basis\n" + row + "\n", "start,end,basis,DATDIF\n" + row + ",366\n", 0,
       ""},
      {"two-field header", "from,to\n", "from,to,basis,DATDIF\n", 0, ""},
      {"BOM before data", "\xEF\xBB\xBF" + row + "\n", row + ",366\n", 0, ""},
      {"BOM before header", "\xEF\xBB\xBFs,e,b\n" + row, "s,e,b,DATDIF\n" + row + ",366\n", 0, ""},
      {"bad date first", "2021-02-30,2022-01-01,ACT/ACT\n", "2021-02-30,2022-01-01,ACT/ACT,\n", 1,
       "line 1: field 1: no such date"},
      {"typo first", "2021-01-0l,2022-01-01,ACT/ACT\n", "2021-01-0l,2022-01-01,ACT/ACT,\n", 1,
       "line 1: field 1: not a date"},
      {"header with an empty field", "start,,basis\n", "start,,basis,\n", 1, "line 1: field 1"},
      {"one word", "hello\n", "hello,,,\n", 1, "line 1: DATDIF takes 3 fields"},
      {"CR only", "s,e,b\r" + row + "\r" + row + "\r",
       "s,e,b,DATDIF\n" + row + ",366\n" + row + ",366\n", 0, ""},
      {"CR LF", row + "\r\n\r\n" + row, row + ",366\n\n" + row + ",366\n", 0, ""},
      {"LF CR is two ends", row + "\n\r" + row, row + ",366\n\n" + row + ",366\n", 0, ""},
      {"blank lines stay", "\n\n" + row + "\n\n", "\n\n" + row + ",366\n\n", 0, ""},
      {"missing cause counted", "1,2,A/365\n1,2,\n.,2,ACT/ACT\n1500-01-01,2,ACT/ACT\n",
       "1,2,A/365,\n1,2,,\n.,2,ACT/ACT,\n1500-01-01,2,ACT/ACT,\n", 0,
       "4 missing result(s): 1 date missing, 1 date out of range (1582-01-01 to 20000-12-31), 1 "
       "basis missing, 1 basis names no basis"},
  };
  for (const Case& c : cases) {
    const Outcome r = modhost("batch DATDIF", c.input);
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
    EXPECT_TRUE(has(r.err, c.message)) << c.name << ": " << r.err;
    if (*c.message == '\0') {
      EXPECT_EQ(r.err, "") << c.name;
    }
  }
}

TEST(ModhostBatch, MessagesQuoteInputSafely) {
  const std::string big(60000, 'x');
  const std::string nul(1, '\0');
  const Outcome r =
      modhost("batch DATDIF", "\x1b[31m,2,ACT\n2" + nul + "00-01-01,2,ACT\n\xff\xfe,2,x\n" + big +
                                  ",2,ACT\n\xC3\xA9t\xC3\xA9,2,ACT\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "'\\x1b[31m'")) << r.err;
  EXPECT_TRUE(has(r.err, "'2\\x0000-01-01'")) << r.err;
  EXPECT_TRUE(has(r.err, "line 3: field 1: not a date (yyyy-mm-dd) or date value: '\\xff\\xfe'"))
      << r.err;
  EXPECT_TRUE(has(r.err,
                  "line 5: field 1: not a date (yyyy-mm-dd) or date value: "
                  "'\xC3\xA9t\xC3\xA9'"))
      << "valid UTF-8 stays as it is, and the message after a NUL byte is not cut: " << r.err;
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
  EXPECT_EQ(r.err.find('\0'), std::string::npos);
  EXPECT_LT(r.err.size(), 1000u) << "a 60 KB field is cut in the message";
  EXPECT_TRUE(has(r.err, std::string(80, 'x') + "...'"));
  EXPECT_EQ(count_lines(r.out), 5);
}

// A line longer than the limit is one bad row wherever it sits against the
// reader's 1 MiB blocks, and a line of exactly the limit is not too long.
TEST(ModhostBatch, LongLinesAreBadRowsWhateverTheirOffset) {
  constexpr long kMax = 1 << 16;
  constexpr long kBlock = 1 << 20;
  const std::string row = "2000-01-01,2001-01-01,ACT/ACT\n";  // 30 bytes
  for (long start : {0L, kBlock - kMax - 1, kBlock - 30, kBlock - 1, kBlock, kBlock + 29}) {
    for (long length : {kMax, kMax + 1, 3 * kMax}) {
      const long rows = start / static_cast<long>(row.size());
      std::string input;
      for (long i = 0; i < rows; ++i) input += row;
      input += std::string(static_cast<std::size_t>(start - rows * 30), ' ') + "\n";
      input += std::string(static_cast<std::size_t>(length), 'y') + "\n" + row;
      const std::string file = temp("long.csv");
      write_file(file, input);
      const Outcome r = script("$M batch DATDIF < " + file);
      const std::string at = "start " + std::to_string(start) + " length " + std::to_string(length);
      EXPECT_EQ(r.status, 1) << at;
      EXPECT_EQ(count_lines(r.out), rows + 3) << at;
      EXPECT_EQ(has(r.err, "line " + std::to_string(rows + 2) + ": longer than 65536 bytes"),
                length > kMax)
          << at << ": " << r.err;
      EXPECT_TRUE(has(r.out.substr(r.out.size() - row.size() - 4), "366\n")) << at;
    }
  }
  const Outcome nul = script("head -c 20000000 /dev/zero | $M batch DATDIF");
  EXPECT_EQ(nul.status, 1);
  EXPECT_EQ(nul.out, ",,,\n");
  EXPECT_TRUE(has(nul.err, "line 1: longer than 65536 bytes")) << nul.err;
}

TEST(ModhostBatch, TableShowsEveryRowAligned) {
  const Outcome r =
      modhost("batch YRDIF --table",
              "start,end,basis\n2000-01-01,2001-01-01,ACT/ACT\n2000-01-01,x,AGE\n0,1e6,ACT/ACT\n");
  EXPECT_EQ(r.status, 1);
  std::istringstream lines(r.out);
  std::string header, row, bad, big;
  std::getline(lines, header);
  std::getline(lines, row);
  std::getline(lines, bad);
  std::getline(lines, big);
  EXPECT_EQ(header.find("YRDIF"), row.find_last_of(' ') + 1);
  EXPECT_EQ(row.substr(row.find_last_of(' ') + 1), "1");
  EXPECT_EQ(bad.rfind("2000-01-01", 0), 0u) << "a bad row shows its fields: " << bad;
  EXPECT_EQ(bad.back(), '.');
  EXPECT_FALSE(has(big, "e+")) << big;
}

// A slow producer: each row is out before the next line is written.
TEST(ModhostBatch, StreamsRowsFromAPipe) {
  const Outcome r = script(
      "rm -f $T/stream.out\n"
      "{ echo 2000-01-01,2001-01-01,ACT/ACT\n"
      "  for i in $(seq 200); do [ -s $T/stream.out ] && break; sleep 0.05; done\n"
      "  [ -s $T/stream.out ] && echo streamed >&2\n"
      "  echo 2000-01-01,2002-01-01,ACT/ACT; } | $M batch DATDIF > $T/stream.out\n"
      "cat $T/stream.out");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "streamed\n");
  EXPECT_EQ(r.out, "2000-01-01,2001-01-01,ACT/ACT,366\n2000-01-01,2002-01-01,ACT/ACT,731\n");
}

// Faults of the world around modhost: each ends in a message naming it and a
// non-zero status, never in silence.
TEST(ModhostFaults, ReadAndWriteFailuresAreReported) {
  std::string rows;
  for (int i = 0; i < 200000; ++i) rows += "2000-01-01,2001-01-01,ACT/ACT\n";
  write_file(temp("rows.csv"), rows);
  struct Case {
    const char* script;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"$M call YRDIF 1 2 >/dev/full", 4, "cannot write standard output: No space left"},
      {"$M batch DATDIF <$T/rows.csv >/dev/full", 4, "cannot write standard output: No space left"},
      {"$M inspect >/dev/full", 4, "cannot write standard output: No space left"},
      {"$M --help >/dev/full", 4, "cannot write standard output"},
      {"$M call YRDIF 1 2 >&-", 4, "cannot write standard output: Bad file descriptor"},
      {"$M batch DATDIF <$T/rows.csv >&-", 4, "cannot write standard output: Bad file descriptor"},
      {"trap '' PIPE; $M batch DATDIF <$T/rows.csv | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}",
       4, "cannot write standard output: Broken pipe"},
      {"$M batch DATDIF < /", 4, "cannot read standard input: Is a directory"},
      {"$M batch DATDIF <&-", 4, "cannot read standard input: Bad file descriptor"},
  };
  for (const Case& c : cases) {
    const Outcome r = script(c.script);
    EXPECT_EQ(r.status, c.status) << c.script << ": " << r.err;
    EXPECT_TRUE(has(r.err, c.message)) << c.script << ": " << r.err;
  }
}

// A module directory with files that are not modules: truncated copies, a
// FIFO, a directory, a text. Each is skipped with a message; the good module
// still works, and inspect lists the rest as refused.
TEST(ModhostFaults, BadModuleFilesAreSkipped) {
  const std::string m = temp("badmods");
  const std::string good = slurp(PELVORAN_PATH);
  const std::string other = slurp(TASHKUME_PATH);
  std::system(
      ("rm -rf " + m + " && mkdir -p " + m + "/dir.so && mkfifo " + m + "/fifo.so").c_str());
  write_file(m + "/pelvoran.so", good);
  write_file(m + "/text.so", "not a module\n");
  write_file(m + "/\x1b[2Jterm.so", "");
  // Cut in the ELF header, in the program headers, and inside the segments.
  Elf64_Ehdr header;
  std::memcpy(&header, other.data(), sizeof header);
  std::size_t loaded = 0;  // where the last segment ends
  for (int i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr ph;
    std::memcpy(&ph, other.data() + header.e_phoff + i * sizeof ph, sizeof ph);
    loaded = std::max<std::size_t>(loaded, ph.p_offset + ph.p_filesz);
  }
  const std::size_t sizes[] = {0, 16, 64, 100, 200, loaded / 2, loaded - 1};
  for (std::size_t size : sizes)
    write_file(m + "/zz" + std::to_string(size) + ".so", other.substr(0, size));

  const Outcome call = script("timeout 20 $M --modules " + m + " call YRDIF 2000-01-01 2001-01-01");
  EXPECT_EQ(call.status, 0) << call.err;
  EXPECT_EQ(call.out, "1\n");
  EXPECT_TRUE(has(call.err, m + "/fifo.so: cannot load: not a regular file")) << call.err;
  EXPECT_TRUE(has(call.err, m + "/dir.so: cannot load: not a regular file")) << call.err;
  EXPECT_TRUE(has(call.err, m + "/text.so: cannot load: not an ELF file")) << call.err;
  for (std::size_t size : sizes)
    EXPECT_TRUE(has(call.err, "skipped " + m + "/zz" + std::to_string(size) + ".so: cannot load: "))
        << size << ": " << call.err;
  EXPECT_TRUE(has(call.err, "zz" + std::to_string(loaded / 2) + ".so: cannot load: truncated"))
      << call.err;
  EXPECT_TRUE(has(call.err, "/\\x1b[2Jterm.so: cannot load: not an ELF file")) << call.err;
  EXPECT_EQ(call.err.find('\x1b'), std::string::npos) << "a file name's escape byte reached stderr";

  const Outcome inspect = script("timeout 20 $M --modules " + m + " inspect");
  EXPECT_EQ(inspect.status, 2);
  EXPECT_TRUE(has(inspect.out, "module pelvoran"));
  EXPECT_TRUE(has(inspect.out, "refused " + m + "/zz" + std::to_string(loaded - 1) +
                                   ".so: cannot load: truncated"))
      << inspect.out;
}

TEST(ModhostFaults, DuplicateRegistrationsNameBothFiles) {
  const std::string m = temp("dupmods");
  std::system(("rm -rf " + m + " && mkdir -p " + m).c_str());
  write_file(m + "/a.so", slurp(TASHKUME_PATH));
  write_file(m + "/b.so", slurp(TASHKUME_PATH));
  const Outcome r = modhost("--modules " + m + " call DATDIF 1 2 ACT/360");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1\n");
  EXPECT_TRUE(has(r.err, "function DATDIF is registered by both " + m + "/a.so and " + m +
                             "/b.so; " + m + "/a.so is used"))
      << r.err;
}

TEST(ModhostInspect, ShowsModulesFunctionsAndBuildTexts) {
  const Outcome r = modhost("inspect");
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* text : {"module pelvoran", "module tashkume", "function YRDIF: 2 to 3 arguments",
                           "function DATDIF: 3 arguments",
                           "ZEM_Image_Information=", "ZEM_VERSION_HOTFIX_NUMBER=", "build time"})
    EXPECT_TRUE(has(r.out, text)) << text;
  const Outcome one = modhost("inspect tashkume");
  EXPECT_EQ(one.status, 0);
  EXPECT_FALSE(has(one.out, "pelvoran"));
  EXPECT_TRUE(has(one.out, "DATDIF"));
  const Outcome missing = modhost("inspect nosuchmodule");
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(has(missing.err, "cannot load"));
}

TEST(ModhostModules, DirectoryComesFromTheOptionOrTheEnvironment) {
  const std::string empty = temp("empty-modules");
  std::system(("mkdir -p " + empty).c_str());
  const Outcome by_option = modhost("--modules " + empty + " call YRDIF 1 2");
  EXPECT_EQ(by_option.status, 2);
  EXPECT_TRUE(has(by_option.err, "no functions registered")) << by_option.err;
  for (const char* variable : {"DATEMODULES_MODULES=", "MODHOST_MODULES="}) {
    const Outcome by_env = modhost("call YRDIF 1 2", "", variable + empty);
    EXPECT_EQ(by_env.status, 2) << variable;
    EXPECT_TRUE(has(by_env.err, "no functions registered from " + empty)) << by_env.err;
    const Outcome inspect = modhost("inspect", "", variable + empty);
    EXPECT_EQ(inspect.status, 2);
    EXPECT_TRUE(has(inspect.err, "no modules"));
  }
  // The new name wins over the old one.
  const Outcome both = modhost("call YRDIF 1 2", "",
                               "DATEMODULES_MODULES=" + empty + " MODHOST_MODULES=/nonexistent");
  EXPECT_TRUE(has(both.err, empty)) << both.err;
}

// explain: the text of a fixture, one JSON line, the refusals of call, and
// the distinct status when the module's result is not the explained one.
TEST(ModhostExplain, TextJsonRefusalsAndADifferingModule) {
  Outcome r = modhost("explain YRDIF 2019-07-01 2020-07-01 ACT/ACT");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, slurp(EXPLAIN_DIR "/actact-one-year.txt"));
  r = modhost("explain --json DATDIF 2021-02-28 2021-03-31 30/360");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, slurp(EXPLAIN_DIR "/thirty-end-of-february.json"));
  EXPECT_EQ(count_lines(r.out), 1);
  // A missing result is explained, not an error; with --strict it is one.
  r = modhost("explain DATDIF 2021-02-28 . 30/360");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(has(r.out, "missing   the end date: date missing")) << r.out;
  const Outcome strict = modhost("--strict explain DATDIF 2021-02-28 . 30/360");
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(strict.out, r.out);
  EXPECT_EQ(modhost("--strict explain DATDIF 2021-02-28 2021-03-31 30/360").status, 0);
  for (const char* args :
       {"explain DATDIF 1 2", "explain YRDIF x 2", "explain YRDIF", "explain NOPE 1 2"}) {
    r = modhost(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_TRUE(r.out.empty()) << args;
  }
  r = modhost("--modules " WRONG_MODULE_DIR " explain YRDIF 2019-07-01 2020-07-01");
  EXPECT_EQ(r.status, 5) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "module    42 from fake: NOT THE SAME")) << r.out;
  EXPECT_TRUE(has(r.err, "differ")) << r.err;
  // batch --explain says so in its status too, and still writes every row.
  r = modhost("--modules " WRONG_MODULE_DIR " batch --explain YRDIF",
              "2019-07-01,2020-07-01\n2019-07-01,2020-07-01\n");
  EXPECT_EQ(r.status, 5) << r.err;
  EXPECT_EQ(count_lines(r.out), 2) << r.out;
  EXPECT_TRUE(has(r.err, "line 2: the explained figure")) << r.err;
}

// batch --explain: the parts after the result, empty for a malformed row, and
// one row for every line still.
TEST(ModhostBatch, ExplainAddsThePartsAsColumns) {
  const Outcome r = modhost("batch --explain YRDIF",
                            "start,end,basis\n"
                            "2019-07-01,2020-07-01,ACT/ACT\n"
                            "2020-07-01,2019-07-01,ACT/ACT\n"
                            "2000-02-29,2010-02-28\n"
                            "2021-01-31,2021-02-28,30/360\n"
                            "2021-01-31,2021-02-28,nonsense\n"
                            "x,2021-02-28,30/360\n"
                            "\n");
  EXPECT_EQ(r.status, 1);  // the row with x
  EXPECT_EQ(r.out,
            "start,end,basis,YRDIF,named,direction,days,count,cause\n"
            "2019-07-01,2020-07-01,ACT/ACT,1.0013773486039375,ACT/ACT,,366,184/365 + 182/366,\n"
            "2020-07-01,2019-07-01,ACT/ACT,-1.0013773486039375,ACT/ACT,swapped,366,"
            "-(184/365 + 182/366),\n"
            "2000-02-29,2010-02-28,,10,AGE,,4018,2920/365 + 1098/366 - 1,\n"
            "2021-01-31,2021-02-28,30/360,0.07777777777777778,30/360,,28,28 days / 360,\n"
            "2021-01-31,2021-02-28,nonsense,,,,,,basis names no basis\n"
            "x,2021-02-28,30/360,,,,,,\n"
            "\n");
  EXPECT_TRUE(has(r.err, "line 7: field 1")) << r.err;
}

// An option of another verb is a usage error; the summary of a batch comes
// after its last row when both go to one place; a table with the parts is
// aligned column by column.
TEST(ModhostBatch, OptionsOfOtherVerbsSummaryOrderAndAlignedParts) {
  for (const char* args :
       {"--json call YRDIF 1 2", "--table explain YRDIF 1 2", "--explain call YRDIF 1 2",
        "--json batch YRDIF", "--strict inspect", "call --table DATDIF 1 2 ACT/ACT"}) {
    const Outcome r = modhost(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_TRUE(r.out.empty()) << args;
    EXPECT_TRUE(has(r.err, "is an option of")) << args << ": " << r.err;
  }
  const std::string rows =
      "2019-07-01,2020-07-01,ACT/ACT\n2000-02-29,2010-02-28\n"
      "2021-01-31,2021-02-28,30/360\n2021-01-31,2021-02-28,nonsense\n";
  write_file(temp("parts.csv"), rows);
  const Outcome both = script("$M batch --table --explain YRDIF <$T/parts.csv 2>&1");
  EXPECT_EQ(both.status, 0);
  std::istringstream lines(both.out);
  std::string line;
  std::vector<std::string> got;
  while (std::getline(lines, line)) got.push_back(line);
  ASSERT_EQ(got.size(), 5u) << both.out;
  EXPECT_EQ(got[4], "modhost: 1 missing result(s): 1 basis names no basis") << both.out;
  // Each part starts in the same column on every row.
  const std::size_t days = got[0].find(" 366 ");
  ASSERT_NE(days, std::string::npos) << got[0];
  EXPECT_EQ(got[1].find(" 4018 "), days) << both.out;
  EXPECT_EQ(got[2].find(" 28 "), days) << both.out;
  EXPECT_EQ(got[0].find("184/365"), got[1].find("2920/365")) << both.out;
}

TEST(ModhostHelp, DocumentsEveryVerbOptionAndExitStatus) {
  const Outcome r = modhost("--help");
  EXPECT_EQ(r.status, 0);
  for (const char* text :
       {"call", "batch", "inspect", "explain", "--json", "--explain", "5  explain", "--modules",
        "--table", "--strict", "--version", "-V", "DATEMODULES_MODULES", "MODHOST_MODULES", "65536",
        "order mark", "4  reading standard input", "5  explain, batch --explain", "Examples"})
    EXPECT_TRUE(has(r.out, text)) << text;
  // The columns that batch --explain writes, as it names them.
  const std::size_t columns = r.out.find("--explain       batch: add the columns");
  ASSERT_NE(columns, std::string::npos) << r.out;
  const std::string described = r.out.substr(columns, r.out.find("-h, --help") - columns);
  for (const char* name : dmcore::kPartColumnNames)
    EXPECT_TRUE(has(described, std::string(" ") + name)) << name << " in " << described;
  EXPECT_EQ(modhost("--version").out, "modhost 1.0.0\n");
  EXPECT_EQ(modhost("-V").out, "modhost 1.0.0\n");
  EXPECT_EQ(modhost("").status, 2);
}

}  // namespace
