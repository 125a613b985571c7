// The SQLite extension: every function of the modules in SQL, through the
// embedding library, with the names, argument counts and result kinds that
// the library reports: yrdif(start, end [, basis]) REAL, datdif(start, end,
// basis) INTEGER (its results are whole days, and sum() of them stays exact),
// and for each a <name>_cause(...) that says why a result is missing (NULL
// when it is not) and a <name>_explain(...) that shows how the result comes
// about, as JSON (the shape of modhost explain --json; a NULL date or basis is
// explained as the missing result it gives). datemodules_notices() gives what
// loading the modules skipped, or NULL.
//
// A date is TEXT as the library reads dates (an ISO date as date() writes it,
// also with a time of day, "T", a fraction, "Z" or an offset; a number) or a
// number, a date value (days from 1960-01-01). NULL, an empty text and a
// missing result are NULL. A text that is no date, or a BLOB, is an SQL error.
//
// Out of memory, wherever it strikes, is SQLite's own: a callback answers
// sqlite3_result_error_nomem, the entry point SQLITE_NOMEM, and no C++
// exception leaves this file. A load that fails leaves no function behind.
#include <sqlite3ext.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "embed/datemodules.h"

SQLITE_EXTENSION_INIT1

namespace {

// The connection's library handle, closed when the last of its functions goes.
struct Connection {
  dm_library* lib;
  int users;
};

void release(Connection* c) {
  if (--c->users == 0) {
    dm_close(c->lib);
    delete c;
  }
}

// What each SQL function is bound to: a function of the library, and what of
// an evaluation it gives.
enum class Gives { kResult, kCause, kExplanation };
constexpr const char* kSuffix[] = {"", "_cause", "_explain"};

struct Bound {
  const dm_function* f;
  Connection* connection;
  std::string sql_name;
  Gives gives;
};

void unbind(void* p) {
  auto* b = static_cast<Bound*>(p);
  release(b->connection);
  delete b;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

void fail(sqlite3_context* context, const std::string& message) {
  sqlite3_result_error(context, message.c_str(), -1);
}

// The message for a refused date text, in the library's words.
std::string refusal(const Bound& b, int k, int reason, const unsigned char* text, int length) {
  const std::string argument = "argument " + std::to_string(k + 1);
  char buf[DM_REFUSAL_SIZE];
  dm_refusal_text(b.sql_name.c_str(), argument.c_str(), reason, reinterpret_cast<const char*>(text),
                  static_cast<size_t>(length), buf, sizeof buf);
  return buf;
}

// Argument k as a date value (NULL: a missing date); false with the SQL
// error set when it is none.
bool date_argument(sqlite3_context* context, const Bound& b, sqlite3_value* value, int k,
                   double* out) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
      *out = __builtin_nan("");
      return true;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      *out = sqlite3_value_double(value);
      return true;
    case SQLITE_TEXT: {
      const unsigned char* text = sqlite3_value_text(value);
      const int length = sqlite3_value_bytes(value);
      if (text == nullptr) {
        sqlite3_result_error_nomem(context);
        return false;
      }
      int reason = DM_DATE_OK;
      if (dm_date_from_text(reinterpret_cast<const char*>(text), static_cast<size_t>(length), out,
                            &reason) == DM_OK)
        return true;
      fail(context, refusal(b, k, reason, text, length));
      return false;
    }
    default:
      fail(context, b.sql_name + ": argument " + std::to_string(k + 1) +
                        " must be a date (TEXT) or a date value (a number), not a BLOB");
      return false;
  }
}

// The explanation as JSON, or the SQL error that says why there is none.
void explanation(sqlite3_context* context, const Bound& b, const double* dates, const char* basis,
                 size_t length) {
  std::string json(4096, '\0');
  size_t whole = 0;
  int status = DM_OK;
  for (int attempt = 0; attempt < 2; ++attempt) {
    status = dm_explain_text(b.f, dates[0], dates[1], basis, length, DM_EXPLAIN_JSON, json.data(),
                             json.size(), &whole);
    if (whole < json.size() || (status != DM_OK && status != DM_DIFFERS)) break;
    json.resize(whole + 1);
  }
  if (status == DM_NOMEM) return sqlite3_result_error_nomem(context);
  if (status == DM_DIFFERS)
    return fail(context, b.sql_name +
                             ": the explained figure and the module's result differ (a defect of "
                             "datemodules, please report it): " +
                             json.c_str());
  if (status != DM_OK) return fail(context, b.sql_name + ": cannot be explained");
  sqlite3_result_text(context, json.c_str(), static_cast<int>(whole), SQLITE_TRANSIENT);
}

void evaluate_call(sqlite3_context* context, int argc, sqlite3_value** argv) {
  const Bound& b = *static_cast<const Bound*>(sqlite3_user_data(context));
  double dates[2];
  for (int k = 0; k < 2; ++k)
    if (!date_argument(context, b, argv[k], k, &dates[k])) return;
  double result;
  int cause = DM_CAUSE_NONE;
  if (b.gives == Gives::kExplanation) {
    if (argc == 2) return explanation(context, b, dates, nullptr, 0);
    if (sqlite3_value_type(argv[2]) == SQLITE_NULL)
      return explanation(context, b, dates, DM_BASIS_NO_VALUE, 0);
    if (sqlite3_value_type(argv[2]) == SQLITE_BLOB)
      return fail(context, b.sql_name + ": the basis must be TEXT, not a BLOB");
    const char* basis = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
    if (basis == nullptr) return sqlite3_result_error_nomem(context);
    return explanation(context, b, dates, basis, static_cast<size_t>(sqlite3_value_bytes(argv[2])));
  }
  if (argc == 2) {
    dm_eval(b.f, dates[0], dates[1], nullptr, 0, &result, &cause);
  } else {
    const char* basis = DM_BASIS_NO_VALUE;  // NULL
    size_t length = 0;
    switch (sqlite3_value_type(argv[2])) {
      case SQLITE_NULL:
        break;
      case SQLITE_BLOB:
        return fail(context, b.sql_name + ": the basis must be TEXT, not a BLOB");
      default:
        basis = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
        if (basis == nullptr) return sqlite3_result_error_nomem(context);
        length = static_cast<size_t>(sqlite3_value_bytes(argv[2]));
    }
    dm_eval(b.f, dates[0], dates[1], basis, length, &result, &cause);
  }
  if (b.gives == Gives::kCause) {
    if (cause == DM_CAUSE_NONE) return sqlite3_result_null(context);
    return sqlite3_result_text(context, dm_cause_text(cause), -1, SQLITE_STATIC);
  }
  if (cause != DM_CAUSE_NONE) return sqlite3_result_null(context);
  if (dm_function_whole_days(b.f))
    sqlite3_result_int64(context, static_cast<sqlite3_int64>(result));
  else
    sqlite3_result_double(context, result);
}

void evaluate(sqlite3_context* context, int argc, sqlite3_value** argv) {
  try {
    evaluate_call(context, argc, argv);
  } catch (...) {  // a message or an explanation could not be made
    sqlite3_result_error_nomem(context);
  }
}

void notices(sqlite3_context* context, int, sqlite3_value**) {
  const auto* connection = static_cast<const Connection*>(sqlite3_user_data(context));
  try {
    std::string text;
    for (size_t i = 0; i < dm_notice_count(connection->lib); ++i)
      text += (text.empty() ? "" : "\n") + std::string(dm_notice(connection->lib, i));
    if (text.empty()) return sqlite3_result_null(context);
    sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  } catch (...) {
    sqlite3_result_error_nomem(context);
  }
}

void release_connection(void* p) { release(static_cast<Connection*>(p)); }

// Registers every SQL function of the library on the connection; on failure
// the ones registered so far are taken away again, so that none of them
// points into an extension that SQLite then unloads.
int register_functions(sqlite3* db, char** error, Connection* connection) {
  constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  std::vector<std::pair<std::string, int>> registered;
  int status = SQLITE_OK;
  // On failure SQLite itself calls the destructor of the user data.
  const auto add = [&](const std::string& name, int arguments, void* data,
                       void (*call)(sqlite3_context*, int, sqlite3_value**), void (*done)(void*)) {
    ++connection->users;
    // Taken away again on failure even when this one fails: SQLite may say
    // SQLITE_NOMEM of a function that it did register.
    registered.emplace_back(name, arguments);
    status = sqlite3_create_function_v2(db, name.c_str(), arguments, kFlags, data, call, nullptr,
                                        nullptr, done);
  };
  try {
    dm_library* lib = connection->lib;
    for (size_t i = 0; i < dm_function_count(lib) && status == SQLITE_OK; ++i) {
      const dm_function* f = dm_function_at(lib, i);
      int fewest, most;
      dm_function_arity(f, &fewest, &most);
      for (const Gives gives : {Gives::kResult, Gives::kCause, Gives::kExplanation}) {
        if (gives == Gives::kExplanation && !dm_function_explainable(f)) continue;
        const std::string name = lower(dm_function_name(f)) + kSuffix[static_cast<int>(gives)];
        for (int n = fewest; n <= most && status == SQLITE_OK; ++n) {
          registered.reserve(registered.size() + 1);  // may throw: before anything is made
          auto* bound = new (std::nothrow) Bound{f, connection, name, gives};
          if (bound == nullptr) throw std::bad_alloc();
          add(name, n, bound, evaluate, unbind);
        }
      }
    }
    if (status == SQLITE_OK) {
      registered.reserve(registered.size() + 1);
      add("datemodules_notices", 0, connection, notices, release_connection);
    }
  } catch (...) {
    status = SQLITE_NOMEM;
  }
  if (status != SQLITE_OK) {
    for (const auto& [name, arguments] : registered)
      sqlite3_create_function_v2(db, name.c_str(), arguments, SQLITE_UTF8, nullptr, nullptr,
                                 nullptr, nullptr, nullptr);
    if (status != SQLITE_NOMEM && (status & 0xff) != SQLITE_NOMEM)
      *error =
          sqlite3_mprintf("datemodules: cannot register its functions: %s", sqlite3_errmsg(db));
  }
  return status;
}

}  // namespace

// The entry point that SQLite derives from the file name mod_datemodules.so,
// and the name that a caller may give load_extension().
extern "C" __attribute__((visibility("default"))) int sqlite3_moddatemodules_init(
    sqlite3* db, char** error, const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  dm_library* lib = nullptr;
  const int opened = dm_open(nullptr, &lib);
  if (opened == DM_NOMEM) {
    dm_close(lib);
    return SQLITE_NOMEM;
  }
  if (opened != DM_OK) {
    *error = sqlite3_mprintf("datemodules: no functions: %s", dm_errmsg(lib));
    dm_close(lib);
    return *error != nullptr ? SQLITE_ERROR : SQLITE_NOMEM;
  }
  auto* connection = new (std::nothrow) Connection{lib, 1};
  if (connection == nullptr) {
    dm_close(lib);
    return SQLITE_NOMEM;
  }
  const int status = register_functions(db, error, connection);
  release(connection);
  return status;
}

extern "C" __attribute__((visibility("default"))) int sqlite3_datemodules_init(
    sqlite3* db, char** error, const sqlite3_api_routines* api) {
  return sqlite3_moddatemodules_init(db, error, api);
}
