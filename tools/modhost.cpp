// modhost: the reference host as a person uses it. It loads every module of
// its module directory, registers their functions and evaluates them by name.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/dates.h"
#include "core/evaluate.h"
#include "core/explain.h"
#include "core/library.h"
#include "core/loader.h"
#include "core/quote.h"
#include "core/version.h"
#include "tools/batch.h"
#include "tools/output.h"

namespace {

using dmcore::escaped;

constexpr int kExitOk = 0;
constexpr int kExitBadRows = 1;
constexpr int kExitUsage = 2;
constexpr int kExitHostEnded = 3;
constexpr int kExitIo = 4;
constexpr int kExitExplainDiffers = 5;

constexpr char kHelp[] = R"HELP(Usage: modhost [OPTION...] VERB ...

Loads every module (*.so) of the module directory, registers the functions
they provide and evaluates them as the host runtime would.

Verbs:
  call FUNCTION ARG...      Evaluate FUNCTION once and print the result.
  batch FUNCTION            Evaluate FUNCTION for every CSV row of standard
                            input (start,end[,basis]) and write each row with
                            its result.
  explain FUNCTION ARG...   Evaluate FUNCTION once and show how the result
                            comes about: the dates, how the basis was read,
                            the direction, the count with its figures, and
                            the module's own result beside it.
  inspect [MODULE...]       Show what the host sees of each module: name,
                            functions with argument counts, image information
                            and version block. MODULE is a file path or a
                            module name in the module directory; no MODULE
                            means every module there.

Options (anywhere before a lone --):
  --modules DIR   Module directory (default: $DATEMODULES_MODULES, or the
                  older $MODHOST_MODULES, else the modules installed with
                  modhost: LIBDIR/datemodules/modules of its install (see
                  FILES in its manual page), or ../modules in a build tree).
  --table         batch: print an aligned table instead of CSV.
  --strict        A missing result is an error: call and explain exit 1,
                  batch reports the row and counts it as a bad row.
  --json          explain: one JSON object instead of the text.
  --explain       batch: add the columns named, direction, days, count and
                  cause (how each result comes about).
  -h, --help      Show this help.
  -V, --version   Show the version.

Dates are ISO dates of the host calendar (yyyy-mm-dd, in which years divisible
by 4000 are common years) or date values (days from 1960-01-01, fractions
allowed); "." or an empty field is a missing date. An ISO date outside 1582 to
20000 is taken, like any date value out of range, and gives a missing result.
Numbers are printed in full (no exponent), as the shortest text that reads
back to the same double: day counts as integers.

Missing results (status 120836: a missing or out-of-range date, or a basis
that names no basis): call prints "missing (status 120836): " and the cause;
batch leaves the result empty ("." with --table) and counts the causes in a
summary on standard error.

Batch input: one row per line; lines end in LF, CR LF or CR; a UTF-8 byte
order mark is dropped. Fields are separated by commas and may be quoted with
"; a quoted field does not span lines. Line 1 is a header when none of its
2 or 3 fields is empty or reads as a date or number (starts with a digit, a
sign or a point). A line may be up to 65536 bytes long. Every input line gives
one output row of the columns start, end, basis and result, in order: a blank
line stays blank, and a malformed row (wrong field count, bad date, bad quote,
too long) keeps its fields (or its whole text in the first column) with an
empty result and is reported on standard error with its line number. Rows
are written as soon as their line is complete when input is a pipe or terminal.

Modules: only regular files holding x86-64 ELF shared objects are loaded; any
other file is skipped with a message, and the other modules go on. A function
registered by two files is taken from the first in name order.

Exit status:
  0  success (a batch may still have missing results: see the summary)
  1  batch input had bad rows; with --strict, a missing result
  2  usage error, unknown function, wrong argument count, or inspect found a
     file that is not a module
  3  a module ended processing (xexit)
  4  reading standard input or writing standard output failed
  5  explain, batch --explain: the explained figure and the module's result
     differ (a defect of this program: please report it)

Examples:
  modhost call YRDIF 2000-02-29 2010-02-28            prints 10
  modhost call YRDIF 2019-07-01 2020-07-01 ACT/ACT    prints 1.0013773486039375
  modhost call DATDIF 2001-01-31 2001-02-28 30/360    prints 28
  modhost explain YRDIF 2019-07-01 2020-07-01 ACT/ACT
  modhost batch DATDIF < periods.csv > periods-with-days.csv
  modhost batch --table YRDIF < periods.csv
  modhost inspect
)HELP";

// Standard output and standard error, each checked.
modhost::Output out(STDOUT_FILENO);
modhost::Output err(STDERR_FILENO);

void print_error(const std::string& message) {
  err.put("modhost: " + message + "\n");
  err.flush();
}

// printf into standard output.
__attribute__((format(printf, 1, 2))) void print(const char* format, ...) {
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    text.pop_back();
    out.put(text);
  }
  va_end(again);
}

// A standard descriptor that is closed would be handed out again by the next
// open (of a module file, say), and output meant for the terminal would land
// there. Each closed one gets a stand-in on which every read or write fails
// as on a closed descriptor, with EBADF.
void hold_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) != fd) std::_Exit(kExitIo);
  }
}

// The exit status, after checking that standard output took everything.
int finish(int status) {
  if (!out.flush()) {
    print_error(std::string("cannot write standard output: ") + std::strerror(out.error()));
    return kExitIo;
  }
  return status;
}

// --- inspect -----------------------------------------------------------------

void print_module(const dmcore::Module& m) {
  print("module %s (%s)\n", m.name.c_str(), dmcore::shown_path(m.path).c_str());
  for (const dmcore::Function& f : m.functions)
    print("  function %s: %s arguments\n", f.name.c_str(), dmcore::arity_text(f).c_str());
  const char* record = "";
  for (const dmcore::IdentityField& field : dmcore::identity(m)) {
    if (std::strcmp(record, field.record) != 0) print("  %s\n", record = field.record);
    print("    %-22s %s\n", field.label,
          field.quoted ? ("\"" + field.text + "\"").c_str() : field.text.c_str());
  }
}

int run_inspect(const std::string& dir, const std::vector<std::string>& names) {
  const char* separator = "";
  if (names.empty()) {
    const dmcore::Registry registry = dmcore::open_directory(dir);
    for (const std::string& d : registry.duplicates) print_error(d);
    if (registry.modules.empty() && registry.errors.empty()) {
      print_error("no modules in " + dmcore::shown_path(dir));
      return kExitUsage;
    }
    for (const auto& m : registry.modules) {
      print("%s", separator);
      separator = "\n";
      print_module(*m);
    }
    for (const std::string& e : registry.errors) {
      print("%srefused %s\n", separator, e.c_str());
      separator = "";
      print_error(e);
    }
    return registry.errors.empty() ? kExitOk : kExitUsage;
  }
  int status = kExitOk;
  for (const std::string& name : names) {
    std::string error;
    const auto m = dmcore::process_module(dmcore::module_path(dir, name), error);
    if (m == nullptr) {
      print_error(error);
      status = kExitUsage;
      continue;
    }
    print("%s", separator);
    separator = "\n";
    print_module(*m);
  }
  return status;
}

// --- call ----------------------------------------------------------------------

const dmcore::Function* find_function(const dmcore::Registry& registry, std::string name,
                                      const std::string& dir) {
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  const auto it = registry.functions.find(name);
  if (it != registry.functions.end()) return &it->second;
  std::string known;
  for (const auto& [n, f] : registry.functions) known += (known.empty() ? "" : ", ") + n;
  print_error("unknown function " + escaped(name) + " (" +
              (known.empty() ? "no functions registered from " + dmcore::shown_path(dir)
                             : "known: " + known) +
              ")");
  return nullptr;
}

// The arguments of one evaluation, as call and explain take them; false
// with the error printed when they are not.
bool read_arguments(const dmcore::Function& f, const std::vector<std::string>& args,
                    double (&dates)[2], dmcore::Basis& basis) {
  const int n = static_cast<int>(args.size());
  if (n < f.min_args || n > f.max_args) {
    print_error(f.name + " takes " + dmcore::arity_text(f) + " arguments, not " +
                std::to_string(n));
    return false;
  }
  for (int i = 0; i < 2; ++i) {
    const dmcore::DateReason r = dmcore::read_date(args[i], dates[i]);
    if (r == dmcore::DateReason::kNotADate || r == dmcore::DateReason::kNoSuchDay) {
      print_error(dmcore::refusal("", "argument " + std::to_string(i + 1), r, args[i]));
      return false;
    }
  }
  basis = n == 2 ? dmcore::Basis::left_out() : dmcore::Basis::of(args[2]);
  return true;
}

int run_call(const dmcore::Function& f, const std::vector<std::string>& args, bool strict) {
  double dates[2];
  dmcore::Basis basis = dmcore::Basis::left_out();
  if (!read_arguments(f, args, dates, basis)) return kExitUsage;
  dmcore::Evaluator evaluator(f);
  evaluator.basis(basis);
  double result;
  const dmcore::Cause cause = evaluator.run(dates[0], dates[1], &result);
  if (cause == dmcore::Cause::kNone) {
    char buf[dmcore::kNumberChars];
    out.put(std::string_view(buf, static_cast<std::size_t>(dmcore::format_number(result, buf))));
    out.put('\n');
    return kExitOk;
  }
  // The basis that named none is quoted beside the cause.
  print(
      "missing (status %d): %s%s\n", mcn::kStatusMissing, dmcore::cause_text(cause),
      cause == dmcore::Cause::kBasisUnknown ? (" (" + dmcore::quoted(args[2]) + ")").c_str() : "");
  return strict ? kExitBadRows : kExitOk;
}

// --- explain -------------------------------------------------------------------

int run_explain(const dmcore::Function& f, const std::vector<std::string>& args, bool json,
                bool strict) {
  if (!dmcore::explainable(f)) {
    print_error("explain knows " + dmcore::declared_names() + ", not " + f.name + " of module " +
                f.module);
    return kExitUsage;
  }
  double dates[2];
  dmcore::Basis basis = dmcore::Basis::left_out();
  if (!read_arguments(f, args, dates, basis)) return kExitUsage;
  const dmcore::Explanation e = dmcore::explain(f, dates[0], dates[1], basis);
  out.put(json ? dmcore::explanation_json(e) + "\n" : dmcore::explanation_text(e));
  if (!e.same_bits) {
    print_error("the explained figure and " + f.module +
                "'s result differ: a defect of modhost, please report it");
    return kExitExplainDiffers;
  }
  return strict && e.module_cause != dmcore::Cause::kNone ? kExitBadRows : kExitOk;
}

// --- batch ---------------------------------------------------------------------

int run_batch(const dmcore::Function& f, modhost::BatchOptions options) {
  modhost::Batch batch(f, options, out, err);
  if (const int error = modhost::read_rows(STDIN_FILENO, batch, out); error != 0) {
    out.flush();
    print_error(std::string("cannot read standard input: ") + std::strerror(error));
    batch.finish();
    return kExitIo;
  }
  batch.finish();
  if (batch.differing() > 0) return kExitExplainDiffers;
  return batch.bad_rows() > 0 ? kExitBadRows : kExitOk;
}

// --- the command line ------------------------------------------------------------

struct CommandLine {
  std::string dir;
  modhost::BatchOptions batch;
  bool json = false;
  std::vector<std::string> words;           // the verb and its arguments
  std::vector<std::string_view> for_verbs;  // the options given that belong to some verbs
};

// The options that belong to some verbs, and those verbs.
constexpr struct {
  std::string_view option, verbs;
} kVerbOptions[] = {
    {"--table", "batch"},
    {"--explain", "batch"},
    {"--json", "explain"},
    {"--strict", "call, batch and explain"},
};

// An option of other verbs is a usage error, not ignored.
bool options_fit(const CommandLine& c, const std::string& verb) {
  for (const std::string_view given : c.for_verbs)
    for (const auto& o : kVerbOptions)
      if (o.option == given && o.verbs.find(verb) == std::string_view::npos) {
        print_error(std::string(given) + " is an option of " + std::string(o.verbs) + ", not of " +
                    verb + " (see --help)");
        return false;
      }
  return true;
}

// Options may stand anywhere before "--": no date value or basis starts with
// two dashes, and a single dash starts a negative date value.
// Returns -1 when the command line is taken, else the exit status.
int parse_command_line(int argc, char** argv, CommandLine& c) {
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const bool option = !options_done && (a.rfind("--", 0) == 0 || a == "-h" || a == "-V");
    if (!option) {
      c.words.emplace_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (a == "--help" || a == "-h") {
      out.put(kHelp);
      return kExitOk;
    } else if (a == "--version" || a == "-V") {
      out.put(std::string("modhost ") + dmcore::kVersion + "\n");
      return kExitOk;
    } else if (a == "--table" || a == "--strict" || a == "--json" || a == "--explain") {
      c.batch.table |= a == "--table";
      c.batch.strict |= a == "--strict";
      c.json |= a == "--json";
      c.batch.explain |= a == "--explain";
      c.for_verbs.push_back(a);
    } else if (a == "--modules" || a.rfind("--modules=", 0) == 0) {
      if (a == "--modules" && ++i == argc) {
        print_error("--modules needs a directory");
        return kExitUsage;
      }
      c.dir = a == "--modules" ? argv[i] : std::string(a.substr(10));
      if (c.dir.empty()) {
        print_error("--modules needs a directory, not an empty text");
        return kExitUsage;
      }
    } else {
      print_error("unknown option " + escaped(a) + " (see --help)");
      return kExitUsage;
    }
  }
  if (c.words.empty()) {
    err.put(kHelp);
    return kExitUsage;
  }
  if (c.dir.empty()) {
    std::string error;
    c.dir = dmcore::default_module_dir(error);
    if (c.dir.empty()) {
      print_error(error);
      return kExitUsage;
    }
  }
  return -1;
}

int run(int argc, char** argv) {
  CommandLine c;
  if (const int status = parse_command_line(argc, argv, c); status >= 0) return status;

  dmcore::process_runtime().on_xexit([](std::int32_t code, std::int32_t) {
    out.flush();
    print_error("a module ended processing (xexit code " + std::to_string(code) +
                (code == mcn::kExitNoMemory ? ": out of host memory)" : ")"));
    std::_Exit(kExitHostEnded);
  });

  const std::string verb = c.words[0];
  const std::vector<std::string> args(c.words.begin() + 1, c.words.end());
  if (verb != "call" && verb != "batch" && verb != "explain" && verb != "inspect") {
    print_error("unknown verb " + escaped(verb) + " (see --help)");
    return kExitUsage;
  }
  if (!options_fit(c, verb)) return kExitUsage;
  if (verb == "inspect") return run_inspect(c.dir, args);
  if (args.empty()) {
    print_error(verb + " needs a function name (see --help)");
    return kExitUsage;
  }
  if (verb == "batch" && args.size() != 1) {
    print_error("batch takes one function name and reads its rows from standard input");
    return kExitUsage;
  }

  const dmcore::Registry registry = dmcore::open_directory(c.dir);
  for (const std::string& notice : dmcore::notices(registry)) print_error(notice);
  const dmcore::Function* f = find_function(registry, args[0], c.dir);
  if (f == nullptr) return kExitUsage;
  if (verb == "explain")
    return run_explain(*f, std::vector<std::string>(args.begin() + 1, args.end()), c.json,
                       c.batch.strict);
  if (verb == "call")
    return run_call(*f, std::vector<std::string>(args.begin() + 1, args.end()), c.batch.strict);
  return run_batch(*f, c.batch);
}

}  // namespace

int main(int argc, char** argv) {
  hold_standard_descriptors();
  return finish(run(argc, argv));
}
