// modhost end to end: call, batch, inspect and their failures, as a person
// or a script would run them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Outcome {
  int status;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs modhost with the arguments (shell words) and the given standard input.
Outcome modhost(const std::string& args, const std::string& input = "",
                const std::string& env = "") {
  const std::string dir = ::testing::TempDir();
  const std::string in = dir + "/modhost.in", out = dir + "/modhost.out",
                    err = dir + "/modhost.err";
  std::ofstream(in) << input;
  const std::string command =
      env + " " MODHOST_PATH " " + args + " <" + in + " >" + out + " 2>" + err;
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

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
      {"call YRDIF 2000-01-01 2001-01-01 NONSENSE", "missing (status 120836)\n"},
      {"call DATDIF . 2001-01-01 ACT/ACT", "missing (status 120836)\n"},
      {"call DATDIF 1500-01-01 2001-01-01 ACT/ACT", "missing (status 120836)\n"},
  };
  for (const Case& c : cases) {
    const Outcome r = modhost(c.args);
    EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.args;
  }
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
      {"call DATDIF 2021-01-01 2022-01-01", "takes 3 arguments, not 2"},
      {"call YRDIF 2021-01-01", "takes 2 to 3 arguments, not 1"},
      {"call YRDIF 1 2 3 4", "takes 2 to 3 arguments, not 4"},
      {"call NOPE 1 2", "unknown function NOPE"},
      {"frobnicate", "unknown verb"},
      {"--bogus inspect", "unknown option"},
  };
  for (const Case& c : cases) {
    const Outcome r = modhost(c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
  }
}

TEST(ModhostBatch, AppendsAResultColumnAndReportsBadRows) {
  const std::string input =
      "start,end,basis\n"
      "2000-01-01,2001-01-01,ACT/ACT\n"
      "2021-02-30,2022-01-01,ACT/ACT\n"
      "4000-02-29,4001-01-01,30/360\n"
      "2000-01-01,2001-01-01\n"
      "2000-01-01,abc,ACT/360\n"
      "2000-01-01,2001-01-01,NONE\r\n"
      "2000-01-01,2001-01-01,\"ACT/365\"\n"
      "14610,14976.5,act/360";
  const Outcome r = modhost("batch DATDIF", input);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "start,end,basis,DATDIF\n"
            "2000-01-01,2001-01-01,ACT/ACT,366\n"
            "2021-02-30,2022-01-01,ACT/ACT,\n"
            "4000-02-29,4001-01-01,30/360,\n"
            "2000-01-01,2001-01-01,\n"
            "2000-01-01,abc,ACT/360,\n"
            "2000-01-01,2001-01-01,NONE,\n"
            "2000-01-01,2001-01-01,\"ACT/365\",366\n"
            "14610,14976.5,act/360,366\n");
  for (const char* line : {"line 3:", "line 4:", "line 5:", "line 6:"})
    EXPECT_NE(r.err.find(line), std::string::npos) << line << " in " << r.err;
  EXPECT_EQ(r.err.find("line 7:"), std::string::npos) << "a missing result is not a malformed row";
}

TEST(ModhostBatch, CleanInputExitsZeroAndTwoFieldRowsUseTheDefaultBasis) {
  const Outcome r =
      modhost("batch YRDIF", "2000-02-29,2010-02-28\n2000-02-29,2010-02-28,ACT/365\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2000-02-29,2010-02-28,10\n2000-02-29,2010-02-28,ACT/365,10.005479452054795\n");
  EXPECT_EQ(r.err, "");
}

TEST(ModhostBatch, TableOutputIsAligned) {
  const Outcome r = modhost("batch --table YRDIF",
                            "start,end,basis\n2000-01-01,2001-01-01,ACT/ACT\n2000-01-01,x,AGE\n");
  EXPECT_EQ(r.status, 1);
  std::istringstream lines(r.out);
  std::string header, row, bad;
  std::getline(lines, header);
  std::getline(lines, row);
  std::getline(lines, bad);
  EXPECT_EQ(header.find("YRDIF"), row.find_last_of(' ') + 1);
  EXPECT_EQ(row.substr(row.find_last_of(' ') + 1), "1");
  EXPECT_EQ(bad.back(), '.');
}

TEST(ModhostInspect, ShowsModulesFunctionsAndBuildTexts) {
  const Outcome r = modhost("inspect");
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* text : {"module pelvoran", "module tashkume", "function YRDIF: 2 to 3 arguments",
                           "function DATDIF: 3 arguments",
                           "ZEM_Image_Information=", "ZEM_VERSION_HOTFIX_NUMBER=", "build time"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text;
  const Outcome one = modhost("inspect tashkume");
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(one.out.find("pelvoran"), std::string::npos);
  EXPECT_NE(one.out.find("DATDIF"), std::string::npos);
  const Outcome missing = modhost("inspect nosuchmodule");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot load"), std::string::npos);
}

TEST(ModhostModules, DirectoryComesFromTheOptionOrTheEnvironment) {
  const std::string empty = ::testing::TempDir() + "/empty-modules";
  std::system(("mkdir -p " + empty).c_str());
  const Outcome by_option = modhost("--modules " + empty + " call YRDIF 1 2");
  EXPECT_EQ(by_option.status, 2);
  EXPECT_NE(by_option.err.find("no functions registered"), std::string::npos) << by_option.err;
  const Outcome by_env = modhost("call YRDIF 1 2", "", "MODHOST_MODULES=" + empty);
  EXPECT_EQ(by_env.status, 2);
  const Outcome inspect = modhost("inspect", "", "MODHOST_MODULES=" + empty);
  EXPECT_EQ(inspect.status, 2);
  EXPECT_NE(inspect.err.find("no modules"), std::string::npos);
}

TEST(ModhostHelp, DocumentsEveryVerbAndOption) {
  const Outcome r = modhost("--help");
  EXPECT_EQ(r.status, 0);
  for (const char* text : {"call", "batch", "inspect", "--modules", "--table", "--version",
                           "MODHOST_MODULES", "Examples"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text;
  EXPECT_EQ(modhost("--version").out, "modhost 1.0.0\n");
  EXPECT_EQ(modhost("").status, 2);
}

}  // namespace
