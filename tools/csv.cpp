#include "tools/csv.h"

namespace modhost {

void LineReader::keep(std::string_view piece) {
  if (too_long_) return;
  if (partial_.size() + piece.size() > kMaxLine) {
    too_long_ = true;
    std::string().swap(partial_);  // a line that is too long keeps no memory
    return;
  }
  partial_.append(piece);
}

int split_csv(std::string_view line, std::string_view* fields, int max, std::string* unquoted) {
  int n = 0;
  std::size_t i = 0;
  while (true) {
    if (n == max) return kTooManyFields;
    if (i < line.size() && line[i] == '"') {
      std::string& u = unquoted[n];
      u.clear();
      ++i;
      while (true) {
        if (i >= line.size()) return kBadQuote;
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            u += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        u += line[i++];
      }
      fields[n++] = u;
      if (i < line.size() && line[i] != ',') return kBadQuote;
    } else {
      const std::size_t comma = line.find(',', i);
      fields[n++] =
          line.substr(i, comma == std::string_view::npos ? std::string_view::npos : comma - i);
      if (comma == std::string_view::npos) return n;
      i = comma;
    }
    if (i >= line.size()) return n;
    ++i;  // the comma
  }
}

void put_csv_field(Output& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) return out.put(field);
  out.put('"');
  for (char c : field) {
    if (c == '"') out.put('"');
    out.put(c);
  }
  out.put('"');
}

}  // namespace modhost
