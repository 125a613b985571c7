// modhost: the reference host as a person uses it. It loads every module of
// its module directory, registers their functions and evaluates them by name.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "host/arguments.h"
#include "host/host.h"
#include "host/loader.h"
#include "tools/dates.h"

namespace {

constexpr char kVersion[] = "modhost 1.0.0";
constexpr char kModulesEnv[] = "MODHOST_MODULES";

constexpr int kExitOk = 0;
constexpr int kExitBadRows = 1;
constexpr int kExitUsage = 2;
constexpr int kExitHostEnded = 3;

constexpr char kHelp[] = R"HELP(Usage: modhost [--modules DIR] VERB ...

Loads every module (*.so) of the module directory, registers the functions
they provide and evaluates them as the host runtime would.

Verbs:
  call FUNCTION ARG...      Evaluate FUNCTION once and print the result.
  batch [--table] FUNCTION  Evaluate FUNCTION for every CSV row of standard
                            input (start,end[,basis]; a header line is
                            allowed) and write each row with its result.
  inspect [MODULE...]       Show what the host sees of each module: name,
                            functions with argument counts, image information
                            and version block. MODULE is a file path or a
                            module name in the module directory; no MODULE
                            means every module there.

Dates are ISO dates of the host calendar (yyyy-mm-dd, years 1582 to 20000) or
date values (days from 1960-01-01, fractions allowed); "." is a missing value.
A result is printed as the shortest text that reads back to the same number.
A missing result (status 120836: a missing or out-of-range date, or a basis
that names no basis) is printed as "missing (status 120836)" by call and as an
empty field by batch.

Options:
  --modules DIR   Module directory (default: $MODHOST_MODULES, else
                  ../modules beside the modhost binary).
  --table         batch: print an aligned table instead of CSV.
  --help          Show this help.
  --version       Show the version.

Bases: 30/360, ACT/ACT (or ACTUAL), ACT/360, ACT/365 and, for YRDIF, AGE
(YRDIF's default when the basis is left out).

Exit status: 0 success; 1 batch input had malformed rows; 2 usage error,
unknown function or wrong argument count; 3 a module ended processing.

Examples:
  modhost call YRDIF 2000-02-29 2010-02-28            prints 10
  modhost call YRDIF 2019-07-01 2020-07-01 ACT/ACT    prints 1.0013773486039375
  modhost call DATDIF 2001-01-31 2001-02-28 30/360    prints 28
  modhost batch DATDIF < periods.csv > periods-with-days.csv
  modhost batch --table YRDIF < examples/years.csv
  modhost inspect
)HELP";

void print_error(const std::string& message) {
  std::fprintf(stderr, "modhost: %s\n", message.c_str());
}

std::string default_module_dir() {
  if (const char* env = std::getenv(kModulesEnv); env != nullptr && *env != '\0') return env;
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "modules";
  std::string exe(path, static_cast<std::size_t>(n));
  const std::size_t slash = exe.rfind('/');
  const std::string dir = exe.substr(0, slash == std::string::npos ? 0 : slash) + "/../modules";
  char resolved[PATH_MAX];
  return realpath(dir.c_str(), resolved) != nullptr ? std::string(resolved) : dir;
}

// --- inspect -----------------------------------------------------------------

void print_text_word(const char* label, const char* text) {
  std::printf("    %-22s %s%s%s\n", label, text ? "\"" : "", text ? text : "(null)",
              text ? "\"" : "");
}

void print_module(const refhost::Module& m) {
  const mcn::ImageInfo& image = *m.image;
  const mcn::VersionBlock& v = m.version;
  std::printf("module %s (%s)\n", m.name.c_str(), m.path.c_str());
  for (const refhost::Function& f : m.functions) {
    if (f.min_args == f.max_args)
      std::printf("  function %s: %d arguments\n", f.name.c_str(), f.min_args);
    else
      std::printf("  function %s: %d to %d arguments\n", f.name.c_str(), f.min_args, f.max_args);
  }
  std::printf("  image information\n");
  std::printf("    %-22s %s\n", "marker",
              refhost::field_text(image.marker, sizeof image.marker).c_str());
  std::printf("    %-22s %s\n", "release",
              refhost::field_text(image.release, sizeof image.release).c_str());
  std::printf("    %-22s %s\n", "release (short)",
              refhost::field_text(image.release_short, sizeof image.release_short).c_str());
  std::printf("    %-22s %s\n", "build date",
              refhost::field_text(image.build_date, sizeof image.build_date).c_str());
  std::printf("    %-22s %s\n", "level",
              refhost::field_text(image.level, sizeof image.level).c_str());
  std::printf("    %-22s %s\n", "copyright", image.copyright ? image.copyright : "(none)");
  std::printf("  version block\n");
  print_text_word("release", v.release);
  print_text_word("build path", v.build_path);
  std::printf("    %-22s %llu\n", "build time (s)", static_cast<unsigned long long>(v.build_time));
  print_text_word("build time", v.build_stamp);
  print_text_word("build host", v.build_host);
  print_text_word("module identifier", v.module_ident);
  print_text_word("shared identifier", v.shared_ident);
  print_text_word("build identifier", v.build_ident);
  print_text_word("hotfix field", v.hotfix);
  print_text_word("description field", v.description);
}

int run_inspect(refhost::Host& host, const std::string& dir,
                const std::vector<std::string>& names) {
  if (names.empty()) {
    const refhost::Registry registry = refhost::load_directory(host, dir);
    for (const std::string& e : registry.errors) print_error(e);
    if (registry.modules.empty()) {
      print_error("no modules in " + dir);
      return kExitUsage;
    }
    for (std::size_t i = 0; i < registry.modules.size(); ++i) {
      if (i > 0) std::printf("\n");
      print_module(registry.modules[i]);
    }
    return registry.errors.empty() ? kExitOk : kExitUsage;
  }
  int status = kExitOk;
  bool first = true;
  for (const std::string& name : names) {
    const std::string path = refhost::module_path(dir, name);
    refhost::Module m;
    std::string error;
    if (!refhost::load_module(host, path, m, error)) {
      print_error(error);
      status = kExitUsage;
      continue;
    }
    if (!first) std::printf("\n");
    first = false;
    print_module(m);
  }
  return status;
}

// --- call ----------------------------------------------------------------------

const refhost::Function* find_function(const refhost::Registry& registry, std::string name,
                                       const std::string& dir) {
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  const auto it = registry.functions.find(name);
  if (it != registry.functions.end()) return &it->second;
  std::string known;
  for (const auto& [n, f] : registry.functions) known += (known.empty() ? "" : ", ") + n;
  print_error("unknown function " + name + " (" +
              (known.empty() ? "no functions registered from " + dir : "known: " + known) + ")");
  return nullptr;
}

std::string count_text(const refhost::Function& f) {
  return f.min_args == f.max_args
             ? std::to_string(f.min_args)
             : std::to_string(f.min_args) + " to " + std::to_string(f.max_args);
}

int run_call(const refhost::Function& f, const std::vector<std::string>& args) {
  const int n = static_cast<int>(args.size());
  if (n < f.min_args || n > f.max_args) {
    print_error(f.name + " takes " + count_text(f) + " arguments, not " + std::to_string(n));
    return kExitUsage;
  }
  double dates[2];
  for (int i = 0; i < 2; ++i) {
    std::string error;
    if (!modhost::parse_date(args[i], dates[i], error)) {
      print_error("argument " + std::to_string(i + 1) + ": " + error);
      return kExitUsage;
    }
  }
  refhost::Arguments a = n == 2 ? refhost::Arguments(dates[0], dates[1])
                                : refhost::Arguments(dates[0], dates[1], args[2]);
  double result;
  const std::int32_t status = a.call(f.impl, &result);
  if (status == mcn::kStatusOk) {
    char buf[32];
    std::printf("%.*s\n", modhost::format_number(result, buf), buf);
  } else {
    std::printf("missing (status %d)\n", status);
  }
  return kExitOk;
}

// --- batch ---------------------------------------------------------------------

// Buffered standard output.
class Output {
 public:
  ~Output() { flush(); }
  void put(std::string_view s) {
    if (used_ + s.size() > sizeof buf_) flush();
    if (s.size() > sizeof buf_) {
      std::fwrite(s.data(), 1, s.size(), stdout);
      return;
    }
    std::memcpy(buf_ + used_, s.data(), s.size());
    used_ += s.size();
  }
  void put(char c) { put(std::string_view(&c, 1)); }
  void pad(std::string_view s, std::size_t width) {
    put(s);
    for (std::size_t i = s.size(); i < width; ++i) put(' ');
  }
  void flush() {
    if (used_ > 0) std::fwrite(buf_, 1, used_, stdout);
    used_ = 0;
    std::fflush(stdout);
  }

 private:
  char buf_[1 << 16];
  std::size_t used_ = 0;
};

// Splits a CSV line into at most `max` fields; a field may be quoted, with ""
// for a quote inside it. Returns the number of fields, or -1 for a field
// count above `max` or an unterminated quote.
int split_csv(std::string_view line, std::string_view* fields, int max, std::string* unquoted) {
  int n = 0;
  std::size_t i = 0;
  while (true) {
    if (n == max) return -1;
    if (i < line.size() && line[i] == '"') {
      std::string& u = unquoted[n];
      u.clear();
      ++i;
      while (true) {
        if (i >= line.size()) return -1;
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
      if (i < line.size() && line[i] != ',') return -1;
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

bool looks_like_header(std::string_view first_field) {
  double v;
  std::string error;
  return !modhost::parse_date(first_field, v, error);
}

constexpr std::size_t kMaxLine = 1 << 16;
constexpr std::size_t kTableDate = 12;
constexpr std::size_t kTableBasis = 10;

class Batch {
 public:
  Batch(const refhost::Function& f, bool table) : f_(f), table_(table) {}

  void row(std::string_view line, long number) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return;
    std::string_view fields[mcn::kMaxArgs + 1];
    const int n = split_csv(line, fields, mcn::kMaxArgs + 1, unquoted_);
    if (number == 1 && n > 0 && looks_like_header(fields[0])) {
      header(line, fields, n);
      return;
    }
    if (n < f_.min_args || n > f_.max_args) {
      bad(number, n < 0 ? std::string("malformed CSV row")
                        : f_.name + " takes " + count_text(f_) + " fields, this row has " +
                              std::to_string(n));
      emit(line, fields, n < 0 ? 0 : n, nullptr);
      return;
    }
    double dates[2];
    for (int i = 0; i < 2; ++i) {
      std::string error;
      if (!modhost::parse_date(fields[i], dates[i], error)) {
        bad(number, "field " + std::to_string(i + 1) + ": " + error);
        emit(line, fields, n, nullptr);
        return;
      }
    }
    refhost::Arguments a = n == 2 ? refhost::Arguments(dates[0], dates[1])
                                  : refhost::Arguments(dates[0], dates[1], fields[2]);
    double result;
    const bool ok = a.call(f_.impl, &result) == mcn::kStatusOk;
    emit(line, fields, n, ok ? &result : nullptr);
  }

  void finish() { out_.flush(); }
  long bad_rows() const { return bad_rows_; }

 private:
  void bad(long number, const std::string& why) {
    ++bad_rows_;
    out_.flush();  // keeps the message beside its row when both streams go to a terminal
    std::fprintf(stderr, "modhost: line %ld: %s\n", number, why.c_str());
  }

  void header(std::string_view line, const std::string_view* fields, int n) {
    if (!table_) {
      out_.put(line);
      out_.put(',');
      out_.put(f_.name);
      out_.put('\n');
      return;
    }
    columns(fields, n);
    out_.put(f_.name);
    out_.put('\n');
  }

  // The three argument columns of a table row, each padded to its width.
  void columns(const std::string_view* fields, int n) {
    for (int i = 0; i < 3; ++i) {
      out_.pad(i < n ? fields[i] : std::string_view(), i < 2 ? kTableDate : kTableBasis);
      out_.put(' ');
    }
  }

  void emit(std::string_view line, const std::string_view* fields, int n, const double* result) {
    char buf[32];
    const std::string_view value =
        result ? std::string_view(buf, modhost::format_number(*result, buf)) : "";
    if (!table_) {
      out_.put(line);
      out_.put(',');
      out_.put(value);
      out_.put('\n');
      return;
    }
    columns(fields, n);
    out_.put(result ? value : std::string_view("."));
    out_.put('\n');
  }

  const refhost::Function& f_;
  bool table_;
  long bad_rows_ = 0;
  Output out_;
  std::string unquoted_[mcn::kMaxArgs + 1];
};

int run_batch(const refhost::Function& f, bool table) {
  Batch batch(f, table);
  // Lines are cut from a fixed buffer; a line longer than it is reported and skipped.
  std::vector<char> buf(1 << 20);
  std::size_t have = 0;
  long number = 0;
  bool skipping = false;
  while (true) {
    const std::size_t got = std::fread(buf.data() + have, 1, buf.size() - have, stdin);
    have += got;
    std::size_t start = 0;
    while (true) {
      const void* nl = std::memchr(buf.data() + start, '\n', have - start);
      if (nl == nullptr) break;
      const std::size_t end = static_cast<const char*>(nl) - buf.data();
      ++number;
      if (!skipping) batch.row(std::string_view(buf.data() + start, end - start), number);
      skipping = false;
      start = end + 1;
    }
    std::memmove(buf.data(), buf.data() + start, have - start);
    have -= start;
    if (got == 0) break;
    if (have > kMaxLine && !skipping) {
      std::fprintf(stderr, "modhost: line %ld: longer than %zu bytes, skipped\n", number + 1,
                   kMaxLine);
      skipping = true;
    }
    if (skipping) have = 0;
  }
  if (have > 0 && !skipping) batch.row(std::string_view(buf.data(), have), ++number);
  batch.finish();
  if (batch.bad_rows() > 0)
    std::fprintf(stderr, "modhost: %ld malformed row(s) of %ld\n", batch.bad_rows(), number);
  return batch.bad_rows() > 0 ? kExitBadRows : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  std::vector<std::string> rest;
  bool table = false;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (!options_done && a == "--") {
      options_done = true;
    } else if (!options_done && (a == "--help" || a == "-h")) {
      std::fputs(kHelp, stdout);
      return kExitOk;
    } else if (!options_done && a == "--version") {
      std::printf("%s\n", kVersion);
      return kExitOk;
    } else if (!options_done && a == "--table") {
      table = true;
    } else if (!options_done && (a == "--modules" || a.rfind("--modules=", 0) == 0)) {
      if (a == "--modules") {
        if (++i == argc) {
          print_error("--modules needs a directory");
          return kExitUsage;
        }
        dir = argv[i];
      } else {
        dir = std::string(a.substr(10));
      }
    } else if (!options_done && a.size() > 2 && a.rfind("--", 0) == 0) {
      print_error("unknown option " + std::string(a) + " (see --help)");
      return kExitUsage;
    } else {
      rest.emplace_back(a);
      // After the verb and function name, arguments are data: "-138061" is a date value.
      if (rest.size() >= 2 && rest[0] != "inspect") options_done = true;
    }
  }
  if (rest.empty()) {
    std::fputs(kHelp, stderr);
    return kExitUsage;
  }
  if (dir.empty()) dir = default_module_dir();

  refhost::Host host;
  host.on_xexit([](std::int32_t code, std::int32_t) {
    std::fflush(stdout);
    std::fprintf(stderr, "modhost: a module ended processing (xexit code %d%s)\n", code,
                 code == mcn::kExitNoMemory ? ": out of host memory" : "");
    std::_Exit(kExitHostEnded);
  });

  const std::string verb = rest[0];
  const std::vector<std::string> args(rest.begin() + 1, rest.end());
  if (verb == "inspect") return run_inspect(host, dir, args);
  if (verb != "call" && verb != "batch") {
    print_error("unknown verb " + verb + " (see --help)");
    return kExitUsage;
  }
  if (args.empty()) {
    print_error(verb + " needs a function name (see --help)");
    return kExitUsage;
  }

  const refhost::Registry registry = refhost::load_directory(host, dir);
  for (const std::string& e : registry.errors) print_error(e);
  const refhost::Function* f = find_function(registry, args[0], dir);
  if (f == nullptr) return kExitUsage;
  if (verb == "call") return run_call(*f, std::vector<std::string>(args.begin() + 1, args.end()));
  if (args.size() != 1) {
    print_error("batch takes one function name and reads its rows from standard input");
    return kExitUsage;
  }
  return run_batch(*f, table);
}
