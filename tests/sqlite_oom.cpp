/*
 * The SQLite extension under out of memory: the allocations of a session
 * (load the extension, call each kind of its functions, close) fail one at a
 * time, the first, then the second, and so on, until a session runs through
 * with no failure left to make. Every session must end without a crash, each
 * failure answered as SQLite answers it (an error, SQLITE_NOMEM), and the
 * last one give the right results. This program's malloc stands in front of
 * the C library's, for SQLite, the extension and the embedding library alike.
 *
 *   sqlite_oom EXTENSION
 */
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
}

static long armed_at; /* the allocation to fail, counting from arming; 0: none */
static long counted;  /* allocations since arming */
static int failed;    /* whether this session's failure was made */

static int fail_now(void) {
  if (armed_at == 0) return 0;
  if (++counted != armed_at) return 0;
  failed = 1;
  return 1;
}

extern "C" {
void* malloc(size_t n) { return fail_now() ? nullptr : __libc_malloc(n); }
void* calloc(size_t n, size_t size) { return fail_now() ? nullptr : __libc_calloc(n, size); }
void* realloc(void* p, size_t n) { return fail_now() ? nullptr : __libc_realloc(p, n); }
}

static const char* const queries[] = {
    "select yrdif('2019-07-01', '2020-07-01', 'ACT/ACT')",
    "select datdif_explain('2020-02-28', '2020-03-31', '30/360')",
    "select datemodules_notices()",
    "select yrdif_cause('2019-07-01', 1e9, 'ACT/ACT')",
    "select datdif('2020-02-28', 'not a date', 'ACT/ACT')",
};

/* One session; with `check`, the results must be the right ones. */
static int session(const char* extension, int check) {
  sqlite3* db = NULL;
  int bad = 0;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
    sqlite3_close(db);
    return check;
  }
  sqlite3_enable_load_extension(db, 1);
  char* error = NULL;
  const int loaded = sqlite3_load_extension(db, extension, NULL, &error);
  if (loaded != SQLITE_OK && check) {
    fprintf(stderr, "load failed with nothing failing: %s\n", error ? error : "?");
    bad = 1;
  }
  if (getenv("SQLITE_OOM_VERBOSE") != nullptr)
    fprintf(stderr, "failing %ld: load %d %s\n", armed_at, loaded, error ? error : "");
  sqlite3_free(error);
  for (size_t q = 0; q < sizeof queries / sizeof *queries; q++) {
    sqlite3_stmt* stmt = NULL;
    if (sqlite3_prepare_v2(db, queries[q], -1, &stmt, NULL) == SQLITE_OK) {
      const int rc = sqlite3_step(stmt);
      if (check) {
        const char* text = (const char*)sqlite3_column_text(stmt, 0);
        const int want_error = q == 4;
        if ((rc == SQLITE_ROW) == want_error ||
            (q == 0 && sqlite3_column_double(stmt, 0) != 1.0013773486039375) ||
            (q == 1 && (text == NULL || strstr(text, "\"result\":33") == NULL)) ||
            (q == 3 && (text == NULL || strncmp(text, "date out of range", 17) != 0))) {
          fprintf(stderr, "%s: wrong answer (%d) %s\n", queries[q], rc,
                  text ? text : sqlite3_errmsg(db));
          bad = 1;
        }
      }
    } else if (check && loaded == SQLITE_OK) {
      fprintf(stderr, "%s: %s\n", queries[q], sqlite3_errmsg(db));
      bad = 1;
    }
    sqlite3_finalize(stmt);
  }
  if (sqlite3_close(db) != SQLITE_OK) {
    fprintf(stderr, "close failed: %s\n", sqlite3_errmsg(db));
    bad = 1;
  }
  return bad;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: sqlite_oom EXTENSION\n");
    return 2;
  }
  if (session(argv[1], 1)) return 1;
  long runs = 0;
  for (long at = 1; at < 200000; at++) {
    counted = 0;
    failed = 0;
    armed_at = at;
    session(argv[1], 0);
    armed_at = 0;
    runs++;
    if (!failed) break;
  }
  if (session(argv[1], 1)) return 1;
  printf("sqlite_oom: %ld sessions, each with one allocation failed in turn, none crashed\n", runs);
  return 0;
}
