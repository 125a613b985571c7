// The lines of a whole input, the plain way, as modhost's line reader is to
// cut them: a UTF-8 byte order mark at the start dropped; LF, CR and CR LF
// each end a line; a last line without an end counts when it is not empty; a
// line longer than `max` bytes stands as kTooLong.
#ifndef TESTS_LINE_MODEL_H
#define TESTS_LINE_MODEL_H

#include <cstddef>
#include <string>
#include <vector>

namespace testing_support {

inline const char kTooLong[] = "<too long>";

inline std::vector<std::string> model_lines(std::string in, std::size_t max) {
  if (in.rfind("\xEF\xBB\xBF", 0) == 0) in.erase(0, 3);
  std::vector<std::string> lines;
  std::string line;
  const auto end_line = [&] {
    lines.push_back(line.size() > max ? kTooLong : line);
    line.clear();
  };
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '\n') {
      end_line();
    } else if (in[i] == '\r') {
      end_line();
      if (i + 1 < in.size() && in[i + 1] == '\n') ++i;
    } else {
      line += in[i];
    }
  }
  if (!line.empty()) end_line();
  return lines;
}

}  // namespace testing_support

#endif  // TESTS_LINE_MODEL_H
