// Lines and fields of CSV input. A line ends at LF, CR or CR LF; a UTF-8 byte
// order mark before the first line is dropped; a line longer than kMaxLine
// bytes is passed on as too long, whatever the sizes of the blocks that carry
// it. Fields are separated by commas and may be quoted, with "" for a quote
// inside a quoted field; a quoted field does not span lines.
#ifndef MODHOST_CSV_H
#define MODHOST_CSV_H

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "tools/output.h"

namespace modhost {

// The longest line taken, without its line end.
constexpr std::size_t kMaxLine = 1 << 16;

// Cuts a stream of bytes, fed in blocks of any size, into lines. `on_line` is
// called as on_line(std::string_view line, bool too_long) for each line once
// its end has been seen (and for a last line without one at finish); a line
// that is too long comes with its text empty.
class LineReader {
 public:
  template <typename OnLine>
  void feed(std::string_view block, OnLine&& on_line) {
    const char* p = block.data();
    const char* const end = p + block.size();
    if (at_start_) {
      // The mark may be split between blocks; until it is whole it waits in
      // partial_, where it stays as text if the bytes turn out to be no mark.
      while (p < end && partial_.size() < kBom.size() && *p == kBom[partial_.size()])
        partial_ += *p++;
      if (p == end && partial_.size() < kBom.size()) return;
      if (partial_ == kBom) partial_.clear();
      at_start_ = false;
    }
    if (after_cr_ && p < end) {
      after_cr_ = false;
      if (*p == '\n') ++p;  // the LF of a CR LF that was split between blocks
    }
    // The next LF and the next CR, each found with memchr and looked for
    // again only once passed, so that a stream of one kind of line end is
    // still read in one pass.
    const char* lf = find(p, end, '\n');
    const char* cr = find(p, end, '\r');
    while (p < end) {
      if (lf < p) lf = find(p, end, '\n');
      if (cr < p) cr = find(p, end, '\r');
      const char* const eol = lf < cr ? lf : cr;
      if (eol == end) {
        keep(std::string_view(p, static_cast<std::size_t>(end - p)));
        return;
      }
      const std::string_view piece(p, static_cast<std::size_t>(eol - p));
      if (partial_.empty() && !too_long_) {
        on_line(piece.size() > kMaxLine ? std::string_view() : piece, piece.size() > kMaxLine);
      } else {
        keep(piece);
        on_line(too_long_ ? std::string_view() : std::string_view(partial_), too_long_);
        partial_.clear();
        too_long_ = false;
      }
      p = eol + 1;
      if (*eol == '\r') {
        if (p == end)
          after_cr_ = true;
        else if (*p == '\n')
          ++p;
      }
    }
  }

  // The end of the input: a last line without a line end.
  template <typename OnLine>
  void finish(OnLine&& on_line) {
    if (!partial_.empty() || too_long_)
      on_line(too_long_ ? std::string_view() : std::string_view(partial_), too_long_);
    partial_.clear();
    too_long_ = false;
  }

 private:
  // The first `c` in [p, end), or end.
  static const char* find(const char* p, const char* end, char c) {
    const void* at = std::memchr(p, c, static_cast<std::size_t>(end - p));
    return at != nullptr ? static_cast<const char*>(at) : end;
  }

  static constexpr std::string_view kBom = "\xEF\xBB\xBF";  // UTF-8 byte order mark

  void keep(std::string_view piece);

  std::string partial_;  // the start of a line that did not end in its block
  bool too_long_ = false;
  bool after_cr_ = false;
  bool at_start_ = true;
};

// Splits a line into at most `max` fields; quoted fields are unquoted into
// `unquoted`, which needs room for `max` strings. Returns the number of
// fields, or kTooManyFields or kBadQuote (a quote that does not close, or
// text after a closing quote).
constexpr int kTooManyFields = -1;
constexpr int kBadQuote = -2;
int split_csv(std::string_view line, std::string_view* fields, int max, std::string* unquoted);

// Writes a field, quoted when it holds a comma, a quote or a line end.
void put_csv_field(Output& out, std::string_view field);

}  // namespace modhost

#endif  // MODHOST_CSV_H
