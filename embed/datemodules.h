/*
 * datemodules: YRDIF and DATDIF from the pelvoran and tashkume modules, for
 * programs that embed them. The library is the host runtime that the modules
 * need (its calendar, allocator, translation tables and services), the loader
 * that registers their functions, and this C interface over both. Results are
 * those of the modules themselves, bit for bit.
 *
 *   dm_library* lib;
 *   const dm_function* yrdif;
 *   double years;
 *   if (dm_open(NULL, &lib) == DM_OK && dm_function_find(lib, "YRDIF", &yrdif) == DM_OK)
 *     dm_eval(yrdif, start, end, "ACT/ACT", 7, &years);
 *   dm_close(lib);
 *
 * Dates are date values: days from 1960-01-01, fractions allowed, in the host
 * calendar, in which years divisible by 4000 are common years. The functions
 * take date values from 1582-01-01 to 20000-12-31; any other date, a NaN, or a
 * basis text that names no basis gives the host's missing value, a NaN with
 * the bit pattern 0xFFFFFE0000000000, and the status DM_MISSING.
 *
 * Threads: every function may be called from any thread at any time, on the
 * same handles too; evaluations take no lock.
 */
#ifndef DATEMODULES_H
#define DATEMODULES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library's exported functions; everything else in it is hidden. */
#define DM_API __attribute__((visibility("default")))

/* Status codes. */
enum dm_status {
  DM_OK = 0,       /* done */
  DM_MISSING = 1,  /* a missing result: missing or out-of-range date, or no basis named */
  DM_ERROR = 2,    /* the module directory or a module could not be used: see dm_errmsg */
  DM_NOTFOUND = 3, /* no function of that name */
  DM_MISUSE = 4,   /* a null handle or pointer, or a basis left out where it is needed */
  DM_RANGE = 5,    /* not a date of the host calendar, or not an ISO date */
  DM_NOMEM = 6     /* out of memory */
};

typedef struct dm_library dm_library;   /* the modules of one directory */
typedef struct dm_function dm_function; /* one registered function; lives as long as its library */

/* The library's version, "1.0.0". */
DM_API const char* dm_version(void);

/*
 * Opens every module (*.so) of a directory and registers its functions. With
 * `module_dir` NULL: the directory named by the environment variable
 * DATEMODULES_MODULES, else the modules installed beside this library. A file
 * that is not a module is skipped and named in dm_errmsg. On DM_OK and
 * DM_ERROR *out is a handle to close with dm_close, whose dm_errmsg says what
 * went wrong; DM_ERROR means that no function could be registered.
 */
DM_API int dm_open(const char* module_dir, dm_library** out);
DM_API void dm_close(dm_library* lib);

/* What the last dm_open of this handle could not use, or "". */
DM_API const char* dm_errmsg(const dm_library* lib);

/* A function by name (YRDIF, DATDIF; case does not matter). */
DM_API int dm_function_find(dm_library* lib, const char* name, const dm_function** out);
DM_API const char* dm_function_name(const dm_function* f);
/* The fewest and most arguments the function takes (YRDIF 2 and 3, DATDIF 3). */
DM_API void dm_function_arity(const dm_function* f, int* fewest, int* most);

/*
 * One evaluation. `basis` is a text of `basis_length` bytes, no NUL needed; a
 * NULL basis leaves the argument out, which YRDIF takes as AGE and DATDIF
 * refuses with DM_MISUSE. *result gets the number, or the missing value with
 * DM_MISSING.
 */
DM_API int dm_eval(const dm_function* f, double start, double end, const char* basis,
                   size_t basis_length, double* result);

/*
 * n evaluations with one basis: results[i] for start[i] and end[i]. Returns
 * DM_OK (missing results are in `results`, and counted in *missing when
 * `missing` is not NULL) or DM_MISUSE.
 */
DM_API int dm_eval_array(const dm_function* f, size_t n, const double* start, const double* end,
                         const char* basis, size_t basis_length, double* results, size_t* missing);

/* The same with a basis for each pair: bases[i] of lengths[i] bytes (NULL: left out). */
DM_API int dm_eval_array_bases(const dm_function* f, size_t n, const double* start,
                               const double* end, const char* const* bases, const size_t* lengths,
                               double* results, size_t* missing);

/*
 * The host calendar. A civil date (year, month 1-12, day 1-31) to its date
 * value: DM_RANGE for a date the calendar does not have (4000-02-29, say) or a
 * year beyond +-10^9. A date value to its civil date (the day that holds it):
 * DM_RANGE for a NaN or a value beyond +-10^12.
 */
DM_API int dm_date_from_civil(int64_t year, int month, int day, double* value);
DM_API int dm_civil_from_date(double value, int64_t* year, int* month, int* day);
/* Arrays of civil dates to date values; a date the calendar lacks gives the missing value. */
DM_API int dm_dates_from_civil(size_t n, const int64_t* year, const int32_t* month,
                               const int32_t* day, double* values);

/* An ISO date yyyy-mm-dd (a year of 1 to 9 digits, optionally signed) to its date value. */
DM_API int dm_date_from_iso(const char* text, size_t length, double* value);
/* A date value to yyyy-mm-dd (at least 4 year digits) in buf of `size` bytes, NUL-terminated. */
DM_API int dm_iso_from_date(double value, char* buf, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* DATEMODULES_H */
