// modhost batch: one function evaluated for every CSV row of an input stream.
//
// Every input line gives exactly one output row of four columns (start, end,
// basis, result; with `explain` the parts of core/explain.h after them), in
// input order: a header line (line 1, when none of its
// fields reads as a date or number) with the function's name as the result
// column's name, a blank line as a blank line, a malformed row with an empty
// result and a message that names its line. Nothing is dropped.
#ifndef MODHOST_BATCH_H
#define MODHOST_BATCH_H

#include <array>
#include <string>
#include <string_view>

#include "core/dates.h"
#include "core/evaluate.h"
#include "core/explain.h"
#include "core/loader.h"
#include "frame/abi.h"
#include "tools/csv.h"
#include "tools/output.h"

namespace modhost {

struct BatchOptions {
  bool table = false;    // an aligned table for people instead of CSV
  bool strict = false;   // a missing result makes its row a bad row
  bool explain = false;  // columns of how each result comes about follow the result
};

class Batch {
 public:
  // Rows go to `out`, messages (one line each) to `messages`.
  Batch(const dmcore::Function& f, BatchOptions options, Output& out, Output& messages)
      : f_(f), evaluator_(f), options_(options), out_(out), messages_(messages) {}

  // One input line, as LineReader passes it on.
  void line(std::string_view text, bool too_long);
  // Writes the closing summary to `messages`, if there is anything to say.
  void finish();

  long lines() const { return lines_; }
  // Malformed rows, and with `strict` rows with a missing result.
  long bad_rows() const { return bad_rows_; }
  long missing() const;
  // With `explain`, rows whose explained figure differs from the module's
  // result (a defect, reported beside the row, not a bad row).
  long differing() const { return differing_; }

 private:
  void evaluate(std::string_view text, const std::string_view* fields, int n);
  void bad(const std::string& why);
  void say(const std::string& what);
  void row(const std::string_view* fields, int n, std::string_view result);
  void parts(const dmcore::PartColumns* columns);
  void refused_row(const std::string_view* fields, int n);
  void unsplit_row(std::string_view text);

  const dmcore::Function& f_;
  dmcore::Evaluator evaluator_;
  BatchOptions options_;
  Output& out_;
  Output& messages_;
  long lines_ = 0;
  long bad_rows_ = 0;
  long differing_ = 0;
  std::array<long, dmcore::kCauseCount> missing_{};
  std::string unquoted_[mcn::kMaxArgs];
};

// Feeds everything readable from `fd` through a LineReader into `batch`.
// When `fd` is not a regular file (a pipe, a terminal), `out` is flushed
// before every read, so that each row appears as soon as its line is
// complete. Stops at the first failed write. Returns 0, or the errno of a
// failed read.
int read_rows(int fd, Batch& batch, Output& out);

}  // namespace modhost

#endif  // MODHOST_BATCH_H
