// The C interface of the embedding library: one host runtime for the whole
// process, shared by every open library handle, and the modules' functions
// called through the host protocol.
#include "embed/datemodules.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "host/calendar.h"
#include "host/loader.h"
#include "host/runtime.h"

struct dm_function {
  refhost::Function function;
};

struct dm_library {
  refhost::Registry registry;
  std::map<std::string, dm_function> functions;
  std::string errmsg;
};

namespace {

constexpr char kVersion[] = "1.0.0";
constexpr char kModulesEnv[] = "DATEMODULES_MODULES";

// The process's one host runtime, made for the first open handle and ended
// with the last.
std::mutex runtime_mutex;
std::unique_ptr<refhost::Runtime> runtime;
int runtime_users = 0;

refhost::Runtime& acquire_runtime() {
  std::lock_guard<std::mutex> lock(runtime_mutex);
  if (runtime_users++ == 0) runtime = std::make_unique<refhost::Runtime>();
  return *runtime;
}

void release_runtime() {
  std::lock_guard<std::mutex> lock(runtime_mutex);
  if (--runtime_users == 0) runtime.reset();
}

bool is_directory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The modules that come with this library: installed in datemodules/modules
// beside it, or in the build tree's modules folder beside its lib folder.
std::string default_module_dir() {
  if (const char* env = std::getenv(kModulesEnv); env != nullptr && *env != '\0') return env;
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&dm_open), &info) == 0 || info.dli_fname == nullptr)
    return "modules";
  std::string dir = info.dli_fname;
  dir.erase(dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/'));
  if (dir.empty()) dir = ".";
  for (const char* candidate : {"/datemodules/modules", "/../modules"})
    if (is_directory(dir + candidate)) return dir + candidate;
  return dir + "/datemodules/modules";
}

std::string upper(const char* name) {
  std::string s = name;
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}

// One evaluation's argument block, reused from call to call: the block points
// at the two date values and the basis descriptor held beside it.
class Call {
 public:
  Call() {
    block_.args[0].value = &start_;
    block_.args[1].value = &end_;
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  // The basis text, or none (the argument left out).
  void basis(const char* text, std::size_t length) {
    block_.count = text != nullptr ? 3 : 2;
    text_.text = text;
    constexpr std::size_t kLongest =
        static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    text_.length = static_cast<std::int32_t>(length < kLongest ? length : kLongest);
    block_.args[2].value = text != nullptr ? &text_ : nullptr;
  }

  bool run(mcn::ImplEntry impl, double start, double end, double* result) {
    start_ = start;
    end_ = end;
    return impl(&block_, result) == mcn::kStatusOk;
  }

 private:
  mcn::ArgBlock block_{};
  mcn::TextDescriptor text_{};
  double start_ = 0;
  double end_ = 0;
};

bool needs_basis(const dm_function* f) { return f->function.min_args > 2; }

constexpr std::int64_t kLargestYear = 1000000000;  // beyond it, no civil date is taken
constexpr double kLargestDay = 1e12;

}  // namespace

extern "C" {

const char* dm_version(void) { return kVersion; }

int dm_open(const char* module_dir, dm_library** out) {
  if (out == nullptr) return DM_MISUSE;
  *out = nullptr;
  auto* lib = new (std::nothrow) dm_library;
  if (lib == nullptr) return DM_NOMEM;
  const std::string dir = module_dir != nullptr ? module_dir : default_module_dir();
  lib->registry = refhost::load_directory(acquire_runtime(), dir);
  for (const auto& [name, f] : lib->registry.functions)
    lib->functions.emplace(name, dm_function{f});
  for (const std::string& e : lib->registry.errors)
    lib->errmsg += (lib->errmsg.empty() ? "" : "; ") + e;
  for (const std::string& d : lib->registry.duplicates)
    lib->errmsg += (lib->errmsg.empty() ? "" : "; ") + d;
  if (lib->functions.empty() && lib->errmsg.empty()) lib->errmsg = dir + ": no modules";
  *out = lib;
  return lib->functions.empty() ? DM_ERROR : DM_OK;
}

void dm_close(dm_library* lib) {
  if (lib == nullptr) return;
  delete lib;  // unloads the modules that no other handle holds
  release_runtime();
}

const char* dm_errmsg(const dm_library* lib) {
  return lib == nullptr ? "no library handle" : lib->errmsg.c_str();
}

int dm_function_find(dm_library* lib, const char* name, const dm_function** out) {
  if (lib == nullptr || name == nullptr || out == nullptr) return DM_MISUSE;
  const auto it = lib->functions.find(upper(name));
  *out = it != lib->functions.end() ? &it->second : nullptr;
  return *out != nullptr ? DM_OK : DM_NOTFOUND;
}

const char* dm_function_name(const dm_function* f) {
  return f != nullptr ? f->function.name.c_str() : "";
}

void dm_function_arity(const dm_function* f, int* fewest, int* most) {
  if (fewest != nullptr) *fewest = f != nullptr ? f->function.min_args : 0;
  if (most != nullptr) *most = f != nullptr ? f->function.max_args : 0;
}

int dm_eval(const dm_function* f, double start, double end, const char* basis, size_t basis_length,
            double* result) {
  if (f == nullptr || result == nullptr || (basis == nullptr && needs_basis(f))) return DM_MISUSE;
  Call call;
  call.basis(basis, basis_length);
  return call.run(f->function.impl, start, end, result) ? DM_OK : DM_MISSING;
}

int dm_eval_array(const dm_function* f, size_t n, const double* start, const double* end,
                  const char* basis, size_t basis_length, double* results, size_t* missing) {
  if (f == nullptr || (n > 0 && (start == nullptr || end == nullptr || results == nullptr)) ||
      (basis == nullptr && needs_basis(f)))
    return DM_MISUSE;
  Call call;
  call.basis(basis, basis_length);
  const mcn::ImplEntry impl = f->function.impl;
  std::size_t failed = 0;
  for (std::size_t i = 0; i < n; ++i) failed += !call.run(impl, start[i], end[i], &results[i]);
  if (missing != nullptr) *missing = failed;
  return DM_OK;
}

int dm_eval_array_bases(const dm_function* f, size_t n, const double* start, const double* end,
                        const char* const* bases, const size_t* lengths, double* results,
                        size_t* missing) {
  if (f == nullptr || (n > 0 && (start == nullptr || end == nullptr || results == nullptr ||
                                 bases == nullptr || lengths == nullptr)))
    return DM_MISUSE;
  for (std::size_t i = 0; i < n; ++i)
    if (bases[i] == nullptr && needs_basis(f)) return DM_MISUSE;
  Call call;
  const mcn::ImplEntry impl = f->function.impl;
  std::size_t failed = 0;
  for (std::size_t i = 0; i < n; ++i) {
    call.basis(bases[i], lengths[i]);
    failed += !call.run(impl, start[i], end[i], &results[i]);
  }
  if (missing != nullptr) *missing = failed;
  return DM_OK;
}

int dm_date_from_civil(int64_t year, int month, int day, double* value) {
  if (value == nullptr) return DM_MISUSE;
  const refhost::Civil c{year, month, day};
  if (year <= -kLargestYear || year >= kLargestYear || !refhost::valid_civil(c)) return DM_RANGE;
  *value = static_cast<double>(refhost::days_from_civil(c));
  return DM_OK;
}

int dm_civil_from_date(double value, int64_t* year, int* month, int* day) {
  if (year == nullptr || month == nullptr || day == nullptr) return DM_MISUSE;
  if (!(std::fabs(value) < kLargestDay)) return DM_RANGE;
  const refhost::Civil c = refhost::civil_from_days(static_cast<std::int64_t>(std::floor(value)));
  *year = c.year;
  *month = c.month;
  *day = c.day;
  return DM_OK;
}

int dm_dates_from_civil(size_t n, const int64_t* year, const int32_t* month, const int32_t* day,
                        double* values) {
  if (n > 0 && (year == nullptr || month == nullptr || day == nullptr || values == nullptr))
    return DM_MISUSE;
  for (std::size_t i = 0; i < n; ++i)
    if (dm_date_from_civil(year[i], month[i], day[i], &values[i]) != DM_OK)
      values[i] = mcn::missing_value();
  return DM_OK;
}

int dm_date_from_iso(const char* text, size_t length, double* value) {
  if (text == nullptr || value == nullptr) return DM_MISUSE;
  refhost::Civil c;
  if (!refhost::parse_iso(std::string_view(text, length), c)) return DM_RANGE;
  return dm_date_from_civil(c.year, c.month, c.day, value);
}

int dm_iso_from_date(double value, char* buf, size_t size) {
  if (buf == nullptr) return DM_MISUSE;
  std::int64_t y;
  int m, d;
  if (const int status = dm_civil_from_date(value, &y, &m, &d); status != DM_OK) return status;
  const int n = std::snprintf(buf, size, "%s%04lld-%02d-%02d", y < 0 ? "-" : "",
                              static_cast<long long>(y < 0 ? -y : y), m, d);
  return n >= 0 && static_cast<std::size_t>(n) < size ? DM_OK : DM_RANGE;
}

}  // extern "C"
