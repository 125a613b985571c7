#include "tools/batch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <numeric>
#include <optional>
#include <vector>

#include "core/quote.h"

namespace modhost {

namespace {

using dmcore::escaped;

// Widths of the start, end and basis columns of a table; with the parts after
// it, of the result and of each part but the last.
constexpr std::size_t kTableWidths[] = {12, 12, 10};
constexpr std::size_t kResultWidth = 20;
constexpr std::size_t kPartWidths[dmcore::kPartColumns] = {8, 9, 6, 28, 0};
constexpr int kColumns = 3;
// What a table shows for a missing result or a malformed row.
constexpr std::string_view kTableMissing = ".";
constexpr std::string_view kBasisColumn = "basis";

bool is_header(const std::string_view* fields, int n) {
  if (n < 2) return false;
  for (int i = 0; i < n; ++i)
    if (fields[i].empty() || dmcore::reads_as_value(fields[i])) return false;
  return true;
}

}  // namespace

long Batch::missing() const { return std::accumulate(missing_.begin(), missing_.end(), 0L); }

void Batch::line(std::string_view text, bool too_long) {
  ++lines_;
  if (too_long) {
    bad("longer than " + std::to_string(kMaxLine) + " bytes");
    return unsplit_row("");
  }
  if (text.empty()) return out_.put('\n');
  std::string_view fields[kColumns];
  int n = split_csv(text, fields, kColumns, unquoted_);
  if (n < 0) {
    bad(n == kBadQuote ? "malformed CSV row: a quote does not close where a field ends"
                       : "more than " + std::to_string(kColumns) + " fields");
    return unsplit_row(text);
  }
  if (lines_ == 1 && is_header(fields, n)) {
    if (n == 2) fields[n++] = kBasisColumn;
    row(fields, n, f_.name);
    if (options_.explain) {
      dmcore::PartColumns names;
      for (int i = 0; i < dmcore::kPartColumns; ++i) names.text[i] = dmcore::kPartColumnNames[i];
      parts(&names);
    }
    return out_.put('\n');
  }
  evaluate(text, fields, n);
}

void Batch::evaluate(std::string_view text, const std::string_view* fields, int n) {
  if (n < f_.min_args || n > f_.max_args) {
    bad(f_.name + " takes " + dmcore::arity_text(f_) + " fields, this row has " +
        std::to_string(n));
    return refused_row(fields, n);
  }
  double dates[2];
  for (int i = 0; i < 2; ++i) {
    const dmcore::DateReason r = dmcore::read_date(fields[i], dates[i]);
    if (r == dmcore::DateReason::kNotADate || r == dmcore::DateReason::kNoSuchDay) {
      bad(dmcore::refusal("", "field " + std::to_string(i + 1), r, fields[i]));
      return refused_row(fields, n);
    }
  }
  const dmcore::Basis basis = n == 2 ? dmcore::Basis::left_out() : dmcore::Basis::of(fields[2]);
  // With the parts asked for, the explanation's own call of the module gives
  // the result.
  std::optional<dmcore::Explanation> e;
  double result;
  dmcore::Cause cause;
  if (options_.explain) {
    e = dmcore::explain(f_, dates[0], dates[1], basis);
    result = e->module_result;
    cause = e->module_cause;
  } else {
    evaluator_.basis(basis);
    cause = evaluator_.run(dates[0], dates[1], &result);
  }
  char buf[dmcore::kNumberChars];
  std::string_view value;
  if (cause == dmcore::Cause::kNone) {
    value = std::string_view(buf, static_cast<std::size_t>(dmcore::format_number(result, buf)));
  } else {
    ++missing_[static_cast<int>(cause)];
    if (options_.strict) bad(std::string("missing result: ") + dmcore::cause_text(cause));
  }
  // The common row, 3 fields without quotes, is written as it came.
  if (!options_.table && n == kColumns && text.find('"') == std::string_view::npos) {
    out_.put(text);
    out_.put(',');
    out_.put(value);
  } else {
    row(fields, n, value);
  }
  if (e) {
    if (!e->same_bits) {
      ++differing_;
      say("the explained figure and the module's result differ (a defect of modhost, please "
          "report it)");
    }
    const dmcore::PartColumns columns = dmcore::part_columns(*e);
    parts(&columns);
  }
  out_.put('\n');
}

// A row that was not evaluated: its fields, an empty result and empty parts.
void Batch::refused_row(const std::string_view* fields, int n) {
  row(fields, n, "");
  parts(nullptr);
  out_.put('\n');
}

// The parts after the result; none (empty columns) for a malformed row.
void Batch::parts(const dmcore::PartColumns* columns) {
  if (!options_.explain) return;
  for (int i = 0; i < dmcore::kPartColumns; ++i) {
    const std::string_view text = columns != nullptr ? columns->text[i] : std::string_view();
    out_.put(options_.table ? ' ' : ',');
    if (options_.table)
      out_.pad(text.empty() ? std::string(kTableMissing) : escaped(text), kPartWidths[i]);
    else
      put_csv_field(out_, text);
  }
}

void Batch::bad(const std::string& why) {
  ++bad_rows_;
  say(why);
}

void Batch::say(const std::string& what) {
  out_.flush();  // keeps the message beside its row when both streams go to a terminal
  messages_.put("modhost: line " + std::to_string(lines_) + ": " + what + "\n");
  messages_.flush();
}

void Batch::row(const std::string_view* fields, int n, std::string_view result) {
  for (int i = 0; i < kColumns; ++i) {
    const std::string_view field = i < n ? fields[i] : std::string_view();
    if (options_.table) {
      out_.pad(escaped(field), kTableWidths[i]);
      out_.put(' ');
    } else {
      put_csv_field(out_, field);
      out_.put(',');
    }
  }
  if (options_.table) {
    // Aligned when the parts follow it.
    out_.pad(result.empty() ? std::string(kTableMissing) : escaped(result),
             options_.explain ? kResultWidth : 0);
  } else {
    put_csv_field(out_, result);
  }
}

// A line that cannot be cut into the columns: its text, whole, stands in the
// first column.
void Batch::unsplit_row(std::string_view text) {
  const std::string_view fields[] = {text};
  refused_row(fields, 1);
}

void Batch::finish() {
  out_.flush();  // the summary follows the last row, also when both go to a terminal
  if (const long m = missing(); m > 0) {
    std::string text = "modhost: " + std::to_string(m) + " missing result(s):";
    const char* separator = " ";
    for (int c = 0; c < dmcore::kCauseCount; ++c) {
      if (missing_[c] == 0) continue;
      text += separator + std::to_string(missing_[c]) + " " +
              dmcore::cause_text(static_cast<dmcore::Cause>(c));
      separator = ", ";
    }
    messages_.put(text + "\n");
  }
  if (bad_rows_ > 0)
    messages_.put("modhost: " + std::to_string(bad_rows_) + " bad row(s) of " +
                  std::to_string(lines_) + " line(s)\n");
  messages_.flush();
}

int read_rows(int fd, Batch& batch, Output& out) {
  struct stat st;
  const bool interactive = fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
  const auto on_line = [&](std::string_view text, bool too_long) { batch.line(text, too_long); };
  LineReader reader;
  std::vector<char> buf(1 << 20);
  while (out.ok()) {
    if (interactive) out.flush();
    const ssize_t got = read(fd, buf.data(), buf.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) break;
    reader.feed(std::string_view(buf.data(), static_cast<std::size_t>(got)), on_line);
  }
  if (out.ok()) reader.finish(on_line);
  return 0;
}

}  // namespace modhost
