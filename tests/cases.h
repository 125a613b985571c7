// The tables that every face runs (tests/cases/*.tsv), read for the C++ tests:
// the evaluations here, the hostile values in test_edges.cpp.
#ifndef TESTS_CASES_H
#define TESTS_CASES_H

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

struct Case {
  std::string function, start, end, basis, outcome;
  bool left_out() const { return basis == "-"; }
  bool null_basis() const { return basis == "<null>"; }
  bool refused() const { return outcome.rfind("refused: ", 0) == 0; }
  std::string refusal() const { return outcome.substr(9); }
  std::string cause() const { return outcome == "none" || refused() ? "" : outcome; }
};

// The rows of a table of tab-separated fields: blank lines, # comments and
// the header line left out, each row `columns` fields (missing ones empty).
inline std::vector<std::vector<std::string>> table_rows(const char* path, std::size_t columns) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    std::vector<std::string> f;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    f.resize(columns);
    rows.push_back(std::move(f));
  }
  return rows;
}

inline std::vector<Case> evaluation_cases() {
  std::vector<Case> cases;
  for (const auto& f : table_rows(CASES_FILE, 5)) cases.push_back({f[0], f[1], f[2], f[3], f[4]});
  return cases;
}

}  // namespace testing_support

#endif  // TESTS_CASES_H
