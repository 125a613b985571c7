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
 *   int cause;
 *   if (dm_open(NULL, &lib) == DM_OK && dm_function_find(lib, "YRDIF", &yrdif) == DM_OK &&
 *       dm_eval(yrdif, start, end, "ACT/ACT", 7, &years, &cause) == DM_MISSING)
 *     puts(dm_cause_text(cause));
 *   dm_close(lib);
 *
 * Dates are date values: days from 1960-01-01, fractions allowed, in the host
 * calendar, in which years divisible by 4000 are common years. The functions
 * take date values from 1582-01-01 to 20000-12-31; any other date, a NaN, or a
 * basis that is missing or names no basis gives the host's missing value, a
 * NaN with the bit pattern 0xFFFFFE0000000000, the status DM_MISSING and a
 * cause (enum dm_cause). Only the first 256 bytes of a basis text count.
 *
 * Modules: each module file is loaded and initialised once per process and
 * stays loaded; opening the same directory again costs no memory. A module
 * file must not be rewritten in place while a process has it loaded (the
 * platform's rule for every shared library: the process would crash); install
 * a new version under a new name and rename it over the old one.
 *
 * Threads: every function may be called from any thread at any time, on the
 * same handles too; evaluations take no lock. Closing a handle while another
 * thread still uses it or its functions is misuse.
 *
 * Arrays: a results array may be the start or the end array itself (results
 * are written in place); any other overlap of a results array with an input
 * is refused with DM_MISUSE.
 *
 * What stays: every function, enum value and constant declared here keeps its
 * signature, number and meaning for as long as the library is
 * libdatemodules.so.1; later versions only add functions and values (a
 * program should take an unknown cause or reason as it takes one it does not
 * handle). The interface has no structs whose layout could change: handles
 * are opaque, and an explanation is JSON, whose keys documented in
 * docs/explain.md stay (keys may be added). Texts for people (causes,
 * reasons, refusals, notices, the explanation as text) keep their meaning but
 * not necessarily their wording; compare numbers, not texts.
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
  DM_MISSING = 1,  /* a missing result: see its cause */
  DM_ERROR = 2,    /* the module directory or a module could not be used: see dm_errmsg */
  DM_NOTFOUND = 3, /* no function of that name */
  DM_MISUSE = 4,   /* a null handle or pointer, a basis left out where it is needed, overlap */
  DM_RANGE = 5,    /* not a date of the host calendar, or a date beyond its bounds */
  DM_NOMEM = 6,    /* out of memory */
  DM_DIFFERS = 7   /* dm_explain: the explained figure and the module's result differ
                      (a defect of this library: please report it) */
};

/* Why a result is missing, in the order the functions test their arguments. */
enum dm_cause {
  DM_CAUSE_NONE = 0,          /* the result is not missing */
  DM_CAUSE_DATE_MISSING = 1,  /* "date missing": a date is a NaN (none of the two below) */
  DM_CAUSE_DATE_RANGE = 2,    /* "date out of range (1582-01-01 to 20000-12-31)" */
  DM_CAUSE_BASIS_MISSING = 3, /* "basis missing": a basis argument without a value */
  DM_CAUSE_BASIS_UNKNOWN = 4, /* "basis names no basis" */
  DM_CAUSE_NOT_A_DATE = 5,    /* "not a date (yyyy-mm-dd) or date value": a date given as
                                 such a text (see the date readers) */
  DM_CAUSE_NO_SUCH_DAY = 6    /* "no such date in the host calendar": a date given as a day
                                 the calendar lacks (4000-02-29) */
};
#define DM_CAUSE_COUNT 7 /* causes are 0 .. DM_CAUSE_COUNT - 1 */
/* The text of a cause, as every face gives it; "" for DM_CAUSE_NONE or an unknown number. */
DM_API const char* dm_cause_text(int cause);

typedef struct dm_library dm_library;   /* the modules of one directory */
typedef struct dm_function dm_function; /* one registered function; lives as long as its library */

/* The library's version, "1.0.0". */
DM_API const char* dm_version(void);

/*
 * Opens every module (*.so) of a directory and registers its functions. With
 * `module_dir` NULL: the directory named by the environment variable
 * DATEMODULES_MODULES (or its older name MODHOST_MODULES), else the modules
 * installed beside this library. A file that is not a module is skipped and
 * reported as a notice, and so is a function that two files register. On DM_OK
 * and DM_ERROR *out is a handle to close with dm_close; DM_ERROR means that no
 * function could be registered, and dm_errmsg says why.
 */
DM_API int dm_open(const char* module_dir, dm_library** out);
DM_API void dm_close(dm_library* lib);

/* The directory the handle opened. */
DM_API const char* dm_module_dir(const dm_library* lib);
/* Every notice of dm_open joined by "; ", or "". */
DM_API const char* dm_errmsg(const dm_library* lib);
/* The notices one by one: the files skipped and the functions registered twice. */
DM_API size_t dm_notice_count(const dm_library* lib);
DM_API const char* dm_notice(const dm_library* lib, size_t i);

/* The modules that registered functions, in file name order: each one's name,
   file, and the fields that identify it (what modhost inspect shows): field k
   of module i is its text, with *record ("image information" or "version
   block") and *label ("release", "build date", "copyright", ...) set. NULL
   past the end. */
DM_API size_t dm_module_count(const dm_library* lib);
DM_API const char* dm_module_name(const dm_library* lib, size_t i);
DM_API const char* dm_module_path(const dm_library* lib, size_t i);
DM_API size_t dm_module_field_count(const dm_library* lib, size_t i);
DM_API const char* dm_module_field(const dm_library* lib, size_t i, size_t k, const char** record,
                                   const char** label);

/* The registered functions, in name order. */
DM_API size_t dm_function_count(const dm_library* lib);
DM_API const dm_function* dm_function_at(const dm_library* lib, size_t i);
/* A function by name; case does not matter. */
DM_API int dm_function_find(const dm_library* lib, const char* name, const dm_function** out);
DM_API const char* dm_function_name(const dm_function* f);
/* The fewest and most arguments the function takes, as its module registers them. */
DM_API void dm_function_arity(const dm_function* f, int* fewest, int* most);
/* 1 when the function's results are whole numbers of days, else 0 (years, or
   a function of a module not built with this library). */
DM_API int dm_function_whole_days(const dm_function* f);
/* The bases the function takes, as a person reads them ("30/360, ACT/ACT,
   ACT/360 or ACT/365", AGE last where it is among them), for a message that
   asks for one; "" for a function of a module not built with this library. */
DM_API const char* dm_function_bases(const dm_function* f);
/* 1 when the function can be explained (a function of the modules built with
   this library, under its declared name and argument counts), else 0. */
DM_API int dm_function_explainable(const dm_function* f);

/*
 * One evaluation. `basis` is a text of `basis_length` bytes, no NUL needed; a
 * NULL basis leaves the argument out, which YRDIF takes as AGE and DATDIF
 * refuses with DM_MISUSE. A basis given without a value (an SQL NULL, an
 * empty cell) is DM_BASIS_NO_VALUE with length 0, as is any empty or
 * all-blank text: DM_MISSING with DM_CAUSE_BASIS_MISSING. *result gets the
 * number, or the missing value with DM_MISSING; *cause (when `cause` is not
 * NULL) gets its dm_cause.
 */
#define DM_BASIS_NO_VALUE ""
DM_API int dm_eval(const dm_function* f, double start, double end, const char* basis,
                   size_t basis_length, double* result, int* cause);

/*
 * n evaluations with one basis: results[i] for start[i] and end[i]. Returns
 * DM_OK (missing results are in `results`, counted in *missing and explained
 * in causes[i], for each that is not NULL) or DM_MISUSE.
 *
 * Large arrays (32768 elements or more), here and in the array forms of the
 * date conversions, are split across a pool of threads that the library
 * starts on first need, one for each CPU the process may run on, or as many
 * as DATEMODULES_THREADS says (1: none); smaller ones, and any while another
 * thread's large array has the pool, stay on the calling thread. The results
 * are the same bits whatever the split. A child of fork starts its own pool.
 */
DM_API int dm_eval_array(const dm_function* f, size_t n, const double* start, const double* end,
                         const char* basis, size_t basis_length, double* results, size_t* missing,
                         uint8_t* causes);

/*
 * The same with a basis for each pair: bases[i] of lengths[i] bytes. A NULL
 * bases[i] is a basis without a value (a missing value in a column of bases):
 * that result is missing with DM_CAUSE_BASIS_MISSING.
 */
DM_API int dm_eval_array_bases(const dm_function* f, size_t n, const double* start,
                               const double* end, const char* const* bases, const size_t* lengths,
                               double* results, size_t* missing, uint8_t* causes);

/*
 * The host calendar. Its bounds: civil dates of years of at most 9 digits
 * either way, date values of less than 10^12 days either way.
 * A civil date (year, month 1-12, day 1-31) to its date value: DM_RANGE for a
 * date the calendar does not have (4000-02-29, say) or a year beyond the
 * bounds. A date value to its civil date (the day that holds it): DM_RANGE for
 * a NaN or a value beyond the bounds.
 */
DM_API int dm_date_from_civil(int64_t year, int month, int day, double* value);
DM_API int dm_civil_from_date(double value, int64_t* year, int* month, int* day);
/*
 * A date that was given but cannot be used gives a date value that keeps why,
 * so that the cause of its missing result is the true one: a day the calendar
 * lacks (and a text that is no date) is a NaN that the evaluations report as
 * DM_CAUSE_NO_SUCH_DAY (DM_CAUSE_NOT_A_DATE), a day beyond the bounds an
 * infinity of its sign, which they report as DM_CAUSE_DATE_RANGE. Any other
 * NaN is a missing date. dm_date_from_civil stores such a value too.
 */
/* Arrays of civil dates to date values. */
DM_API int dm_dates_from_civil(size_t n, const int64_t* year, const int32_t* month,
                               const int32_t* day, double* values);

/*
 * Date texts, read as every face reads them: after blanks at either end,
 *   - empty or "." is a missing date;
 *   - yyyy-mm-dd (a year of 1 to 9 digits, optionally signed), optionally
 *     followed by a time of day as SQLite's date() reads it ("T" or blanks,
 *     hh:mm[:ss[.fff]], then optionally "Z" or +hh:mm / -hh:mm), is the civil
 *     date of the host calendar (with an offset, the date in UTC);
 *   - a number is a date value.
 * The reason (enum dm_reason) says what was found; a refused text gives the
 * missing value.
 */
enum dm_reason {
  DM_DATE_OK = 0,         /* a date or a date value */
  DM_DATE_MISSING = 1,    /* an empty text or "." */
  DM_DATE_NOT_A_DATE = 2, /* "not a date (yyyy-mm-dd) or date value" */
  DM_DATE_NO_SUCH_DAY = 3 /* "no such date in the host calendar" (2021-02-30, 4000-02-29) */
};
/* The text of a refusal's reason; "" for DM_DATE_OK and DM_DATE_MISSING. */
DM_API const char* dm_reason_text(int reason);
/*
 * The message for a date text that was refused, as every face words it:
 * "FUNCTION: ARGUMENT: REASON: 'TEXT'" (without "FUNCTION: " when `function`
 * is NULL or ""). ARGUMENT names the argument as the face's users know it
 * ("argument 2" in SQL, "end[3]" in R, "end at position 3" in Python); the
 * names are escaped and the text, less the blanks the reader passes over,
 * quoted as dm_quote does. Writes at most `size` bytes, NUL-terminated, and
 * returns the length of the whole message (DM_REFUSAL_SIZE suffice for names
 * of up to 40 printable bytes each). Out of memory leaves the text out.
 */
#define DM_REFUSAL_SIZE 512
DM_API size_t dm_refusal_text(const char* function, const char* argument, int reason,
                              const char* text, size_t length, char* buf, size_t size);
/* One text: DM_OK (a date, or a missing date with the missing value) or DM_RANGE. */
DM_API int dm_date_from_text(const char* text, size_t length, double* value, int* reason);
/* n texts of `width` bytes each, one after another, each padded with NULs at
   its end (a numpy array of dtype S); a NUL before other bytes makes the text
   no date. reasons (may be NULL) gets a dm_reason each. */
DM_API int dm_dates_from_texts(size_t n, const char* texts, size_t width, double* values,
                               uint8_t* reasons);
/* The same for texts of `width` UTF-32 code units each (a numpy array of dtype U). */
DM_API int dm_dates_from_utf32(size_t n, const uint32_t* texts, size_t width, double* values,
                               uint8_t* reasons);
/* n texts joined by NUL bytes into one of `length` bytes (no NUL after the
   last): DM_MISUSE unless there are exactly n. */
DM_API int dm_dates_from_joined(size_t n, const char* texts, size_t length, double* values,
                                uint8_t* reasons);
/* Counts of a time unit since 1970-01-01 in the proleptic Gregorian calendar,
   `per_day` units a day (numpy datetime64: 1 for D, 86400 for s, 86400e9 for
   ns, 86400e12 for ps; a day has more fs and as than an int64 holds), to the
   date values of their civil days;
   INT64_MIN (NaT) gives the missing value. */
DM_API int dm_dates_from_counts(size_t n, const int64_t* counts, int64_t per_day, double* values);
/* Days since 1970-01-01 as doubles (R's Date; fractions are the day that holds
   them) to date values; a NaN gives the missing value. */
DM_API int dm_dates_from_days(size_t n, const double* days, double* values);

/* A text as every face quotes it in a message: between single quotes, control
   bytes, backslashes and bytes that are not UTF-8 as \xHH (or \\), cut after
   80 bytes with "...". Writes at most `size` bytes, NUL-terminated (DM_QUOTE_SIZE
   always suffice), and returns the length of the whole quotation. */
#define DM_QUOTE_SIZE 360
DM_API size_t dm_quote(const char* text, size_t length, char* buf, size_t size);

/* A date value to yyyy-mm-dd (at least 4 year digits) in buf of `size` bytes,
   NUL-terminated: 17 bytes always suffice. DM_RANGE, with buf set to "" when
   size > 0, for a value beyond the bounds, a year of more than 9 digits (which
   dm_date_from_text would not read back) or too small a buffer. */
DM_API int dm_iso_from_date(double value, char* buf, size_t size);

/*
 * Explaining one evaluation: the steps by which the result comes about, from
 * the day-count engine that the modules are built from, with the module's own
 * result for the same arguments beside them.
 *
 * As a text for a person (format DM_EXPLAIN_TEXT: lines ending in "\n") or as
 * one JSON object (DM_EXPLAIN_JSON; its shape, the one explained form for
 * programs, is in docs/explain.md), into buf of `size` bytes, NUL-terminated,
 * cut if it does not fit. *length (when not NULL) gets the length of the
 * whole text, so a caller can ask again with room for it. The basis is taken
 * as dm_eval takes it. Returns DM_OK (a missing result too: its JSON says
 * which test failed and why), DM_DIFFERS when the steps do not give the
 * module's result bit for bit (never, as the tests show), DM_NOMEM, or
 * DM_MISUSE for a null pointer, an unknown format, a left-out basis where one
 * is needed, or a function that cannot be explained.
 */
enum dm_explain_format { DM_EXPLAIN_TEXT = 0, DM_EXPLAIN_JSON = 1 };
DM_API int dm_explain_text(const dm_function* f, double start, double end, const char* basis,
                           size_t basis_length, int format, char* buf, size_t size, size_t* length);

#ifdef __cplusplus
}
#endif

#endif /* DATEMODULES_H */
