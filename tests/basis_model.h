// The basis rules written over std::string, independently of the modules'
// routines: the tests and the fuzzer compare parse_basis with it.
#ifndef TESTS_BASIS_MODEL_H
#define TESTS_BASIS_MODEL_H

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace testing_support {

inline int basis_model(std::string t, bool age) {
  t.resize(std::min<std::size_t>(t.size(), 256));
  while (!t.empty() && t.back() == ' ') t.pop_back();
  const auto after = [](const std::string& s, const char* lead, const char* next) {
    const std::size_t i = s.find(lead);
    return i != std::string::npos && s.find(next, i + std::strlen(lead)) != std::string::npos;
  };
  if (after(t, "30", "360") || after(t, "360", "360")) return 1;
  std::string u = t;
  for (char& c : u) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (after(u, "ACT", "ACT")) return 2;
  if (after(u, "ACT", "360")) return 3;
  if (after(u, "ACT", "365")) return 4;
  if (u.find("ACTUAL") != std::string::npos) return 2;
  if (age && u.find("AGE") != std::string::npos) return 5;
  return t.find("360") != std::string::npos ? 1 : 0;
}

}  // namespace testing_support

#endif  // TESTS_BASIS_MODEL_H
