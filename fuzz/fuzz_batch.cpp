// modhost's batch reader and evaluator over any bytes, cut into blocks in any
// way: every input line is accounted for by exactly one output row, every bad
// row by one message that holds no raw control byte, and the output does not
// depend on how the input was cut.
//
// Input: flags (1 byte: function, --table, --strict), a seed for the block
// sizes (1 byte), then the input stream.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/loaded_modules.h"
#include "tests/line_model.h"
#include "tools/batch.h"

namespace {

using fuzzing::check;

fuzzing::LoadedModules& modules() { return fuzzing::loaded_modules(); }

struct Run {
  std::string out, messages;
  long lines, bad;
};

Run run(const dmcore::Function& f, modhost::BatchOptions options, std::string_view in,
        unsigned seed) {
  Run r;
  modhost::Output out(r.out), messages(r.messages);
  modhost::Batch batch(f, options, out, messages);
  const auto on_line = [&](std::string_view text, bool too_long) { batch.line(text, too_long); };
  modhost::LineReader reader;
  while (!in.empty()) {
    const std::size_t n = seed == 0 ? in.size() : 1 + (seed = seed * 1103515245u + 12345u) % 97;
    reader.feed(in.substr(0, n), on_line);
    in.remove_prefix(std::min(n, in.size()));
  }
  reader.finish(on_line);
  batch.finish();
  out.flush();
  messages.flush();
  r.lines = batch.lines();
  r.bad = batch.bad_rows();
  return r;
}

long count_lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

// Messages that begin a line with `start`: input quoted in a message holds no
// raw line end, so it cannot begin a line.
long count_messages(const std::string& text, const std::string& start) {
  long n = 0;
  for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
    if (text.compare(at, start.size(), start) == 0) ++n;
    if (text.find('\n', at) == std::string::npos) break;
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const dmcore::Module& m = data[0] & 1 ? modules().pelvoran : modules().tashkume;
  const modhost::BatchOptions options{(data[0] & 2) != 0, (data[0] & 4) != 0};
  const std::string_view in(reinterpret_cast<const char*>(data + 2), size - 2);

  const Run whole = run(m.functions[0], options, in, 0);
  const Run cut = run(m.functions[0], options, in, data[1] | 1u);
  check(whole.out == cut.out && whole.messages == cut.messages, "output depends on the blocks");

  const long lines =
      static_cast<long>(testing_support::model_lines(std::string(in), modhost::kMaxLine).size());
  check(whole.lines == lines, "a line was lost or made up");
  check(count_lines(whole.out) == lines, "not one output row per input line");
  check(count_messages(whole.messages, "modhost: line ") == whole.bad,
        "a bad row without its message");
  for (char c : whole.messages)
    check(c == '\n' || static_cast<unsigned char>(c) >= 0x20, "a raw control byte in a message");
  return 0;
}
