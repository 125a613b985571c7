// The SQLite extension: yrdif(start, end [, basis]) and datdif(start, end,
// basis) in SQL, through the embedding library and so through the modules
// themselves. A date is TEXT, an ISO date as date() writes it, or a number, a
// date value (days from 1960-01-01). NULL in any argument gives NULL, and so
// does a missing result. yrdif gives REAL; datdif gives INTEGER, since its
// results are whole numbers (and sum() of them stays exact).
#include <sqlite3ext.h>

#include <cmath>
#include <cstring>
#include <string>

#include "embed/datemodules.h"

SQLITE_EXTENSION_INIT1

namespace {

// A text as a message may quote it: printable ASCII, at most 40 bytes.
std::string quoted(const unsigned char* text, int length) {
  std::string s;
  for (int i = 0; i < length && i < 40; ++i)
    s += text[i] >= 0x20 && text[i] < 0x7F ? static_cast<char>(text[i]) : '?';
  return length > 40 ? s + "..." : s;
}

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

// What each SQL function is bound to: a function of the library.
struct Bound {
  const dm_function* f;
  Connection* connection;
};

void unbind(void* p) {
  auto* b = static_cast<Bound*>(p);
  release(b->connection);
  delete b;
}

const dm_function* bound_function(sqlite3_context* context) {
  return static_cast<const Bound*>(sqlite3_user_data(context))->f;
}

// The function's name as SQL spells it, for messages.
std::string sql_name(const dm_function* f) {
  std::string name = dm_function_name(f);
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return name;
}

// Argument k as a date value; false with the SQL error set when it is none.
bool date_argument(sqlite3_context* context, sqlite3_value* value, int k, double* out) {
  const std::string name = sql_name(bound_function(context));
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      *out = sqlite3_value_double(value);
      return true;
    case SQLITE_TEXT: {
      const unsigned char* text = sqlite3_value_text(value);
      const int length = sqlite3_value_bytes(value);
      if (text != nullptr && dm_date_from_iso(reinterpret_cast<const char*>(text),
                                              static_cast<size_t>(length), out) == DM_OK)
        return true;
      const std::string message = name + ": argument " + std::to_string(k + 1) +
                                  " is not an ISO date (yyyy-mm-dd) of the host calendar: '" +
                                  quoted(text, length) + "'";
      sqlite3_result_error(context, message.c_str(), -1);
      return false;
    }
    default: {
      const std::string message =
          name + ": argument " + std::to_string(k + 1) +
          " must be an ISO date (TEXT) or a date value (a number), not a BLOB";
      sqlite3_result_error(context, message.c_str(), -1);
      return false;
    }
  }
}

void evaluate(sqlite3_context* context, int argc, sqlite3_value** argv) {
  const dm_function* f = bound_function(context);
  for (int k = 0; k < argc; ++k)
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) return sqlite3_result_null(context);
  double dates[2];
  for (int k = 0; k < 2; ++k)
    if (!date_argument(context, argv[k], k, &dates[k])) return;
  const char* basis = nullptr;
  int length = 0;
  if (argc == 3) {
    if (sqlite3_value_type(argv[2]) == SQLITE_BLOB) {
      const std::string message = sql_name(f) + ": the basis must be TEXT, not a BLOB";
      return sqlite3_result_error(context, message.c_str(), -1);
    }
    basis = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
    length = sqlite3_value_bytes(argv[2]);
    if (basis == nullptr) return sqlite3_result_error_nomem(context);
  }
  double result;
  if (dm_eval(f, dates[0], dates[1], basis, static_cast<size_t>(length), &result) != DM_OK)
    return sqlite3_result_null(context);
  int fewest, most;
  dm_function_arity(f, &fewest, &most);
  if (fewest == 3)  // DATDIF: whole days
    sqlite3_result_int64(context, static_cast<sqlite3_int64>(result));
  else
    sqlite3_result_double(context, result);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int sqlite3_datemodules_init(
    sqlite3* db, char** error, const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  dm_library* lib = nullptr;
  const dm_function* yrdif = nullptr;
  const dm_function* datdif = nullptr;
  if (dm_open(nullptr, &lib) != DM_OK || dm_function_find(lib, "YRDIF", &yrdif) != DM_OK ||
      dm_function_find(lib, "DATDIF", &datdif) != DM_OK) {
    *error = sqlite3_mprintf("datemodules: no YRDIF and DATDIF: %s", dm_errmsg(lib));
    dm_close(lib);
    return SQLITE_ERROR;
  }
  struct Registration {
    const char* name;
    int arguments;
    const dm_function* f;
  };
  const Registration registrations[] = {
      {"yrdif", 2, yrdif}, {"yrdif", 3, yrdif}, {"datdif", 3, datdif}};
  auto* connection = new Connection{lib, 1};
  constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  int status = SQLITE_OK;
  for (const Registration& r : registrations) {
    ++connection->users;
    // On failure SQLite itself calls unbind.
    status = sqlite3_create_function_v2(db, r.name, r.arguments, kFlags, new Bound{r.f, connection},
                                        evaluate, nullptr, nullptr, unbind);
    if (status != SQLITE_OK) {
      *error = sqlite3_mprintf("datemodules: cannot register %s: %s", r.name, sqlite3_errmsg(db));
      break;
    }
  }
  release(connection);
  return status;
}
