// The C interface of the embedding library: a thin skin over the core, which
// holds the process's one host runtime, its loaded modules, the evaluator and
// the date reader.
#include "embed/datemodules.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/calendar.h"
#include "core/dates.h"
#include "core/evaluate.h"
#include "core/explain.h"
#include "core/library.h"
#include "core/parallel.h"
#include "core/quote.h"
#include "core/version.h"

// A function lives for the process, as the module that registered it does:
// one per module file and name, whichever handle found it, so that it stays
// valid after every handle that found it is closed.
struct dm_function {
  dmcore::Function function;
};

// A handle. Closing it ends what it holds, but not the handle itself, which
// waits, marked closed, for the next dm_open: a closed handle is refused with
// DM_MISUSE (or an empty answer) instead of being read through freed memory.
struct dm_library {
  std::atomic<std::uint32_t> state{0};
  std::string dir;
  dmcore::Registry registry;                                   // holds the modules
  std::vector<std::vector<dmcore::IdentityField>> identities;  // of registry.modules
  std::vector<const dm_function*> functions;
  std::vector<std::string> notices;
  std::string errmsg;
};

namespace {

constexpr std::uint32_t kOpen = 0x6f70656e;
constexpr std::uint32_t kClosed = 0x636c6f73;

bool is_open(const dm_library* lib) {
  return lib != nullptr && lib->state.load(std::memory_order_acquire) == kOpen;
}

std::mutex handles_mutex;

// The process's functions by file and name, and the closed handles waiting
// for reuse; neither is ever destroyed, since other threads may still use
// them at exit.
std::map<std::pair<std::string, std::string>, const dm_function*>& process_functions() {
  static auto* functions = new std::map<std::pair<std::string, std::string>, const dm_function*>;
  return *functions;
}
std::vector<dm_library*>& closed_handles() {
  static auto* handles = new std::vector<dm_library*>;
  return *handles;
}

// The process's one dm_function for a registered function.
const dm_function* process_function(const dmcore::Function& f) {
  std::lock_guard<std::mutex> lock(handles_mutex);
  const dm_function*& slot = process_functions()[{f.path, f.name}];
  if (slot == nullptr) slot = new dm_function{f};
  return slot;
}

// A closed handle to reuse, or a new one; null when there is no memory for it.
dm_library* new_handle() {
  try {
    std::lock_guard<std::mutex> lock(handles_mutex);
    auto& closed = closed_handles();
    if (!closed.empty()) {
      dm_library* lib = closed.back();
      closed.pop_back();
      return lib;
    }
  } catch (...) {
    return nullptr;
  }
  return new (std::nothrow) dm_library;
}

// Ends what a handle holds and keeps the handle for reuse; false when it was
// not open.
bool close_handle(dm_library* lib) {
  std::uint32_t expected = kOpen;
  if (lib == nullptr || !lib->state.compare_exchange_strong(expected, kClosed)) return false;
  std::string().swap(lib->dir);
  lib->registry = dmcore::Registry{};
  std::vector<std::vector<dmcore::IdentityField>>().swap(lib->identities);
  std::vector<const dm_function*>().swap(lib->functions);
  std::vector<std::string>().swap(lib->notices);
  std::string().swap(lib->errmsg);
  try {
    std::lock_guard<std::mutex> lock(handles_mutex);
    closed_handles().push_back(lib);
  } catch (...) {  // no room to keep it: it stays closed, and is not reused
  }
  return true;
}

std::string upper(const char* name) {
  std::string s = name;
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}

// Whether an output array of n doubles overlaps an input other than by being it.
bool overlaps(const double* out, const double* in, std::size_t n) {
  return out != in && out < in + n && in < out + n;
}

// Whether n causes overlap n doubles.
bool overlaps(const std::uint8_t* causes, const double* in, std::size_t n) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(in);
  return causes < bytes + n * sizeof(double) && bytes < causes + n;
}

bool bad_arrays(std::size_t n, const double* start, const double* end, const double* results,
                const std::uint8_t* causes) {
  if (n == 0) return false;
  return start == nullptr || end == nullptr || results == nullptr || overlaps(results, start, n) ||
         overlaps(results, end, n) ||
         (causes != nullptr &&
          (overlaps(causes, start, n) || overlaps(causes, end, n) || overlaps(causes, results, n)));
}

// A basis as the C interface passes it: NULL leaves it out.
dmcore::Basis basis_of(const char* text, std::size_t length) {
  return text != nullptr ? dmcore::Basis::of({text, length}) : dmcore::Basis::left_out();
}

int date_status(dmcore::DateReason r) {
  return r == dmcore::DateReason::kDate || r == dmcore::DateReason::kMissing ? DM_OK : DM_RANGE;
}

// Reads texts begin .. end - 1 that `text_of(i, buffer)` writes as bytes;
// false when a buffer for a text could not grow.
template <typename TextOf>
bool read_range(std::size_t begin, std::size_t end, double* values, std::uint8_t* reasons,
                TextOf& text_of) {
  try {
    std::string buffer;
    for (std::size_t i = begin; i < end; ++i) {
      const dmcore::DateReason r = dmcore::read_date(text_of(i, buffer), values[i]);
      if (reasons != nullptr) reasons[i] = static_cast<std::uint8_t>(r);
    }
    return true;
  } catch (...) {
    return false;
  }
}

// Reads n texts in order, for a `text_of` that must see them so.
template <typename TextOf>
int read_texts(std::size_t n, double* values, std::uint8_t* reasons, TextOf text_of) {
  if (n > 0 && values == nullptr) return DM_MISUSE;
  return read_range(0, n, values, reasons, text_of) ? DM_OK : DM_NOMEM;
}

// Reads n texts, each found by its index, a large array on every core.
template <typename TextOf>
int read_texts_split(std::size_t n, double* values, std::uint8_t* reasons, TextOf text_of) {
  if (n > 0 && values == nullptr) return DM_MISUSE;
  std::atomic<bool> failed{false};
  dmcore::for_each_chunk(n, [&](std::size_t begin, std::size_t end) {
    if (!read_range(begin, end, values, reasons, text_of)) failed.store(true);
  });
  return failed.load() ? DM_NOMEM : DM_OK;
}

// Calls each(i) for i in [0, n), a large array on every core.
template <typename Each>
void for_each_index(std::size_t n, Each each) {
  dmcore::for_each_chunk(n, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) each(i);
  });
}

}  // namespace

extern "C" {

const char* dm_version(void) { return dmcore::kVersion; }

static_assert(DM_CAUSE_COUNT == dmcore::kCauseCount &&
              DM_CAUSE_DATE_MISSING == static_cast<int>(dmcore::Cause::kDateMissing) &&
              DM_CAUSE_DATE_RANGE == static_cast<int>(dmcore::Cause::kDateOutOfRange) &&
              DM_CAUSE_BASIS_MISSING == static_cast<int>(dmcore::Cause::kBasisMissing) &&
              DM_CAUSE_BASIS_UNKNOWN == static_cast<int>(dmcore::Cause::kBasisUnknown) &&
              DM_CAUSE_NOT_A_DATE == static_cast<int>(dmcore::Cause::kNotADate) &&
              DM_CAUSE_NO_SUCH_DAY == static_cast<int>(dmcore::Cause::kNoSuchDay));
static_assert(DM_DATE_OK == static_cast<int>(dmcore::DateReason::kDate) &&
              DM_DATE_MISSING == static_cast<int>(dmcore::DateReason::kMissing) &&
              DM_DATE_NOT_A_DATE == static_cast<int>(dmcore::DateReason::kNotADate) &&
              DM_DATE_NO_SUCH_DAY == static_cast<int>(dmcore::DateReason::kNoSuchDay));

const char* dm_cause_text(int cause) {
  return cause >= 0 && cause < dmcore::kCauseCount
             ? dmcore::cause_text(static_cast<dmcore::Cause>(cause))
             : "";
}

const char* dm_reason_text(int reason) {
  return reason >= 0 && reason <= DM_DATE_NO_SUCH_DAY
             ? dmcore::reason_text(static_cast<dmcore::DateReason>(reason))
             : "";
}

size_t dm_refusal_text(const char* function, const char* argument, int reason, const char* text,
                       size_t length, char* buf, size_t size) {
  const auto r = reason >= DM_DATE_NOT_A_DATE && reason <= DM_DATE_NO_SUCH_DAY
                     ? static_cast<dmcore::DateReason>(reason)
                     : dmcore::DateReason::kNotADate;
  std::string m;
  try {
    m = dmcore::refusal(function != nullptr ? function : "", argument != nullptr ? argument : "", r,
                        text != nullptr ? std::string_view(text, length) : "");
  } catch (...) {  // out of memory: the reason alone, which needs none
    const int n = std::snprintf(buf, size, "%s", dmcore::reason_text(r));
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
  if (buf != nullptr && size > 0) {
    const std::size_t n = std::min(m.size(), size - 1);
    std::memcpy(buf, m.data(), n);
    buf[n] = '\0';
  }
  return m.size();
}

namespace {

// dm_open's work; it may run out of memory, which dm_open turns into a status:
// no C++ exception leaves the library.
int open_library(const char* module_dir, dm_library* lib) {
  std::string error;
  lib->dir = module_dir != nullptr ? module_dir : dmcore::default_module_dir(error);
  if (module_dir != nullptr && lib->dir.empty()) {
    lib->notices.push_back("the module directory is an empty text: name a directory, or pass NULL");
  } else if (lib->dir.empty()) {
    lib->notices.push_back(error);
  } else {
    lib->registry = dmcore::open_directory(lib->dir);
    for (const auto& [name, f] : lib->registry.functions)
      lib->functions.push_back(process_function(f));
    for (const auto& m : lib->registry.modules) lib->identities.push_back(dmcore::identity(*m));
    lib->notices = dmcore::notices(lib->registry);
    if (lib->functions.empty() && lib->notices.empty())
      lib->notices.push_back(dmcore::shown_path(lib->dir) + ": no modules");
  }
  for (const std::string& n : lib->notices) lib->errmsg += (lib->errmsg.empty() ? "" : "; ") + n;
  return lib->functions.empty() ? DM_ERROR : DM_OK;
}

}  // namespace

int dm_open(const char* module_dir, dm_library** out) {
  if (out == nullptr) return DM_MISUSE;
  *out = nullptr;
  dm_library* lib = new_handle();
  if (lib == nullptr) return DM_NOMEM;
  lib->state.store(kOpen, std::memory_order_release);
  try {
    const int status = open_library(module_dir, lib);
    *out = lib;
    return status;
  } catch (...) {
    close_handle(lib);
    return DM_NOMEM;
  }
}

void dm_close(dm_library* lib) { close_handle(lib); }

const char* dm_module_dir(const dm_library* lib) { return is_open(lib) ? lib->dir.c_str() : ""; }

const char* dm_errmsg(const dm_library* lib) {
  if (lib == nullptr) return "no library handle";
  return is_open(lib) ? lib->errmsg.c_str() : "the library handle is closed";
}

size_t dm_notice_count(const dm_library* lib) { return is_open(lib) ? lib->notices.size() : 0; }

const char* dm_notice(const dm_library* lib, size_t i) {
  return is_open(lib) && i < lib->notices.size() ? lib->notices[i].c_str() : "";
}

size_t dm_module_count(const dm_library* lib) {
  return is_open(lib) ? lib->registry.modules.size() : 0;
}

const char* dm_module_name(const dm_library* lib, size_t i) {
  return i < dm_module_count(lib) ? lib->registry.modules[i]->name.c_str() : nullptr;
}

const char* dm_module_path(const dm_library* lib, size_t i) {
  return i < dm_module_count(lib) ? lib->registry.modules[i]->path.c_str() : nullptr;
}

size_t dm_module_field_count(const dm_library* lib, size_t i) {
  return i < dm_module_count(lib) ? lib->identities[i].size() : 0;
}

const char* dm_module_field(const dm_library* lib, size_t i, size_t k, const char** record,
                            const char** label) {
  if (k >= dm_module_field_count(lib, i)) return nullptr;
  const dmcore::IdentityField& field = lib->identities[i][k];
  if (record != nullptr) *record = field.record;
  if (label != nullptr) *label = field.label;
  return field.text.c_str();
}

size_t dm_function_count(const dm_library* lib) { return is_open(lib) ? lib->functions.size() : 0; }

const dm_function* dm_function_at(const dm_library* lib, size_t i) {
  return is_open(lib) && i < lib->functions.size() ? lib->functions[i] : nullptr;
}

int dm_function_find(const dm_library* lib, const char* name, const dm_function** out) {
  if (!is_open(lib) || name == nullptr || out == nullptr) return DM_MISUSE;
  *out = nullptr;
  try {
    const std::string wanted = upper(name);
    for (const dm_function* f : lib->functions)
      if (f->function.name == wanted) *out = f;
  } catch (...) {
    return DM_NOMEM;
  }
  return *out != nullptr ? DM_OK : DM_NOTFOUND;
}

const char* dm_function_name(const dm_function* f) {
  return f != nullptr ? f->function.name.c_str() : "";
}

void dm_function_arity(const dm_function* f, int* fewest, int* most) {
  if (fewest != nullptr) *fewest = f != nullptr ? f->function.min_args : 0;
  if (most != nullptr) *most = f != nullptr ? f->function.max_args : 0;
}

int dm_function_whole_days(const dm_function* f) {
  return f != nullptr && f->function.whole_days() ? 1 : 0;
}

const char* dm_function_bases(const dm_function* f) {
  return f != nullptr && f->function.declared != nullptr ? dmcore::bases_text(*f->function.declared)
                                                         : "";
}

int dm_function_explainable(const dm_function* f) {
  return f != nullptr && dmcore::explainable(f->function) ? 1 : 0;
}

int dm_eval(const dm_function* f, double start, double end, const char* basis, size_t basis_length,
            double* result, int* cause) {
  if (f == nullptr || result == nullptr) return DM_MISUSE;
  const dmcore::Basis b = basis_of(basis, basis_length);
  if (!dmcore::accepts(f->function, b)) return DM_MISUSE;
  dmcore::Evaluator e(f->function);
  e.basis(b);
  const dmcore::Cause c = e.run(start, end, result);
  if (cause != nullptr) *cause = static_cast<int>(c);
  return c == dmcore::Cause::kNone ? DM_OK : DM_MISSING;
}

int dm_eval_array(const dm_function* f, size_t n, const double* start, const double* end,
                  const char* basis, size_t basis_length, double* results, size_t* missing,
                  uint8_t* causes) {
  const dmcore::Basis b = basis_of(basis, basis_length);
  if (f == nullptr || bad_arrays(n, start, end, results, causes) ||
      !dmcore::accepts(f->function, b))
    return DM_MISUSE;
  const std::size_t m = dmcore::evaluate_array(f->function, n, start, end, b, results, causes);
  if (missing != nullptr) *missing = m;
  return DM_OK;
}

int dm_eval_array_bases(const dm_function* f, size_t n, const double* start, const double* end,
                        const char* const* bases, const size_t* lengths, double* results,
                        size_t* missing, uint8_t* causes) {
  if (f == nullptr || bad_arrays(n, start, end, results, causes) ||
      (n > 0 && (bases == nullptr || lengths == nullptr)))
    return DM_MISUSE;
  const std::size_t m =
      dmcore::evaluate_array_bases(f->function, n, start, end, bases, lengths, results, causes);
  if (missing != nullptr) *missing = m;
  return DM_OK;
}

namespace {

// The date value of a civil date: the missing value's kin for a date that
// the calendar lacks, an infinity for a year beyond its bounds.
bool civil_value(const dmcore::Civil& c, double& value) {
  if (dmcore::date_from_civil(c, value)) return true;
  value = c.year <= -dmcore::kYearLimit || c.year >= dmcore::kYearLimit
              ? dmcore::beyond_bounds(static_cast<double>(c.year))
              : dmcore::refused_date(dmcore::DateReason::kNoSuchDay);
  return false;
}

}  // namespace

int dm_date_from_civil(int64_t year, int month, int day, double* value) {
  if (value == nullptr) return DM_MISUSE;
  return civil_value({year, month, day}, *value) ? DM_OK : DM_RANGE;
}

int dm_civil_from_date(double value, int64_t* year, int* month, int* day) {
  if (year == nullptr || month == nullptr || day == nullptr) return DM_MISUSE;
  dmcore::Civil c;
  if (!dmcore::civil_from_date(value, c)) return DM_RANGE;
  *year = c.year;
  *month = c.month;
  *day = c.day;
  return DM_OK;
}

int dm_dates_from_civil(size_t n, const int64_t* year, const int32_t* month, const int32_t* day,
                        double* values) {
  if (n > 0 && (year == nullptr || month == nullptr || day == nullptr || values == nullptr))
    return DM_MISUSE;
  for_each_index(n, [&](std::size_t i) { civil_value({year[i], month[i], day[i]}, values[i]); });
  return DM_OK;
}

int dm_date_from_text(const char* text, size_t length, double* value, int* reason) {
  if ((text == nullptr && length > 0) || value == nullptr) return DM_MISUSE;
  const dmcore::DateReason r =
      dmcore::read_date(text != nullptr ? std::string_view(text, length) : "", *value);
  if (reason != nullptr) *reason = static_cast<int>(r);
  return date_status(r);
}

int dm_dates_from_texts(size_t n, const char* texts, size_t width, double* values,
                        uint8_t* reasons) {
  if (n > 0 && texts == nullptr) return DM_MISUSE;
  return read_texts_split(n, values, reasons, [&](std::size_t i, std::string&) {
    // The padding is the NULs at the end; a NUL before other bytes is part of
    // the text, which is then no date.
    const char* t = texts + i * width;
    std::size_t k = width;
    while (k > 0 && t[k - 1] == '\0') --k;
    return std::string_view(t, k);
  });
}

int dm_dates_from_utf32(size_t n, const uint32_t* texts, size_t width, double* values,
                        uint8_t* reasons) {
  if (n > 0 && texts == nullptr) return DM_MISUSE;
  // The common form first, straight from the characters.
  if (n > 0 && width >= 10 && values != nullptr) {
    std::size_t i = 0;
    for (; i < n; ++i) {
      const uint32_t* t = texts + i * width;
      dmcore::DateReason r;
      bool padded = true;
      for (std::size_t k = 10; k < width && padded; ++k) padded = t[k] == 0;
      if (!padded || !dmcore::read_iso10(t, r, values[i])) break;
      if (reasons != nullptr) reasons[i] = static_cast<std::uint8_t>(r);
    }
    if (i == n) return DM_OK;
  }
  return read_texts_split(n, values, reasons, [&](std::size_t i, std::string& buffer) {
    // A date text is ASCII; any other character makes it no date, which a
    // byte that no date holds keeps it.
    // The padding is the NULs at the end, as with bytes.
    if (buffer.size() < width) buffer.resize(width);
    const uint32_t* t = texts + i * width;
    std::size_t length = width;
    while (length > 0 && t[length - 1] == 0) --length;
    for (std::size_t k = 0; k < length; ++k)
      buffer[k] = t[k] < 0x80 ? static_cast<char>(t[k]) : '\x80';
    return std::string_view(buffer.data(), length);
  });
}

int dm_dates_from_joined(size_t n, const char* texts, size_t length, double* values,
                         uint8_t* reasons) {
  if ((texts == nullptr && length > 0) || (n > 0 && values == nullptr)) return DM_MISUSE;
  if (texts == nullptr) texts = "";
  std::size_t parts = length > 0 || n == 1 ? 1 : 0;
  for (std::size_t i = 0; i < length; ++i) parts += texts[i] == '\0';
  if (parts != n) return DM_MISUSE;
  std::size_t at = 0;
  return read_texts(n, values, reasons, [&](std::size_t, std::string&) {
    const void* nul = std::memchr(texts + at, '\0', length - at);
    const std::size_t end = nul ? static_cast<const char*>(nul) - texts : length;
    const std::string_view t(texts + at, end - at);
    at = end + 1;
    return t;
  });
}

int dm_dates_from_counts(size_t n, const int64_t* counts, int64_t per_day, double* values) {
  if ((n > 0 && (counts == nullptr || values == nullptr)) || per_day <= 0) return DM_MISUSE;
  constexpr std::int64_t kNaT = std::numeric_limits<std::int64_t>::min();
  for_each_index(n, [&](std::size_t i) {
    const std::int64_t c = counts[i];
    const std::int64_t day = c / per_day - (c % per_day < 0);
    if (c == kNaT)
      values[i] = mcn::missing_value();
    else if (!(std::fabs(static_cast<double>(day)) < dmcore::kDayLimit))
      values[i] = dmcore::beyond_bounds(static_cast<double>(day));
    else if (!dmcore::date_from_unix_days(day, values[i]))
      values[i] = dmcore::refused_date(dmcore::DateReason::kNoSuchDay);
  });
  return DM_OK;
}

int dm_dates_from_days(size_t n, const double* days, double* values) {
  if (n > 0 && (days == nullptr || values == nullptr)) return DM_MISUSE;
  for_each_index(n, [&](std::size_t i) {
    const double d = std::floor(days[i]);
    if (std::isnan(d))
      values[i] = mcn::missing_value();
    else if (!(std::fabs(d) < dmcore::kDayLimit))
      values[i] = dmcore::beyond_bounds(d);
    else if (!dmcore::date_from_unix_days(static_cast<std::int64_t>(d), values[i]))
      values[i] = dmcore::refused_date(dmcore::DateReason::kNoSuchDay);
  });
  return DM_OK;
}

size_t dm_quote(const char* text, size_t length, char* buf, size_t size) {
  std::string q;
  try {
    q = dmcore::quoted(text != nullptr ? std::string_view(text, length) : "");
  } catch (...) {  // out of memory: say nothing rather than throw
    q.clear();
  }
  if (buf != nullptr && size > 0) {
    const std::size_t n = std::min(q.size(), size - 1);
    std::memcpy(buf, q.data(), n);
    buf[n] = '\0';
  }
  return q.size();
}

int dm_iso_from_date(double value, char* buf, size_t size) {
  if (buf == nullptr) return DM_MISUSE;
  char iso[dmcore::kIsoChars];
  int length = 0;
  if (!dmcore::format_iso(value, iso, length) || static_cast<std::size_t>(length) >= size) {
    if (size > 0) buf[0] = '\0';
    return DM_RANGE;
  }
  std::memcpy(buf, iso, static_cast<std::size_t>(length) + 1);
  return DM_OK;
}

}  // extern "C"

// --- Explaining -------------------------------------------------------------------

namespace {

// The explanation of an evaluation, or the status that refuses it.
int explanation(const dm_function* f, double start, double end, const char* basis,
                size_t basis_length, dmcore::Explanation& e) {
  if (f == nullptr || !dmcore::explainable(f->function)) return DM_MISUSE;
  const dmcore::Basis b = basis_of(basis, basis_length);
  if (!dmcore::accepts(f->function, b)) return DM_MISUSE;
  e = dmcore::explain(f->function, start, end, b);
  return e.same_bits ? DM_OK : DM_DIFFERS;
}

}  // namespace

int dm_explain_text(const dm_function* f, double start, double end, const char* basis,
                    size_t basis_length, int format, char* buf, size_t size, size_t* length) {
  if ((buf == nullptr && size > 0) || (format != DM_EXPLAIN_TEXT && format != DM_EXPLAIN_JSON))
    return DM_MISUSE;
  try {
    dmcore::Explanation e;
    const int status = explanation(f, start, end, basis, basis_length, e);
    if (status != DM_OK && status != DM_DIFFERS) return status;
    const std::string text =
        format == DM_EXPLAIN_JSON ? dmcore::explanation_json(e) : dmcore::explanation_text(e);
    if (length != nullptr) *length = text.size();
    if (size > 0) {
      const std::size_t n = std::min(text.size(), size - 1);
      std::memcpy(buf, text.data(), n);
      buf[n] = '\0';
    }
    return status;
  } catch (...) {
    return DM_NOMEM;
  }
}
