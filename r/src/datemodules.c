/*
 * YRDIF and DATDIF for R: one .Call per vector, the loop in C over the
 * embedding library. The R side hands each date argument over as Date,
 * POSIXct in UTC, texts or date values; this side recycles the arguments as
 * R's arithmetic does, reads the dates, and evaluates through the library's
 * array forms.
 */
#include <R.h>
#include <Rinternals.h>
#include <R_ext/Rdynload.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "datemodules.h"

/* What a date argument holds, by its type and class: the R side hands over
   Date (days since 1970-01-01), POSIXct in UTC (seconds since 1970-01-01),
   character (texts), or plain numbers (date values, days since 1960-01-01). */
enum date_kind { DAYS_SINCE_1970, DATE_VALUES, TEXTS, UTC_SECONDS_SINCE_1970 };

static enum date_kind kind_of(SEXP x)
{
    if (TYPEOF(x) == STRSXP) return TEXTS;
    if (Rf_inherits(x, "Date")) return DAYS_SINCE_1970;
    if (Rf_inherits(x, "POSIXct")) return UTC_SECONDS_SINCE_1970;
    return DATE_VALUES;
}

static dm_library *library = NULL;

static dm_library *modules(void)
{
    if (library != NULL) return library;
    dm_library *lib = NULL;
    int status = dm_open(NULL, &lib);
    if (status == DM_NOMEM) Rf_error("datemodules: out of memory while opening the modules");
    if (status != DM_OK) {
        char message[1000];
        strncpy(message, dm_errmsg(lib), sizeof message - 1);
        message[sizeof message - 1] = '\0';
        dm_close(lib);
        Rf_error("datemodules: cannot open the modules: %s", message);
    }
    /* Kept before any warning: with options(warn = 2) a warning is an error
       that leaves this function. */
    library = lib;
    for (size_t i = 0; i < dm_notice_count(lib); i++)
        Rf_warning("datemodules: %s", dm_notice(lib, i));
    return library;
}

static const dm_function *function_named(SEXP name)
{
    const dm_function *f = NULL;
    const char *text = CHAR(STRING_ELT(name, 0));
    if (dm_function_find(modules(), text, &f) != DM_OK)
        Rf_error("datemodules: no module registers %s (%s)", text,
                 dm_errmsg(library)[0] ? dm_errmsg(library) : "no notices");
    return f;
}

/* A date argument of n elements as date values; a text that is no date is an error. */
static double *date_values(SEXP x, const char *function, const char *argument)
{
    enum date_kind kind = kind_of(x);
    R_xlen_t n = XLENGTH(x);
    double *out = (double *) R_alloc(n > 0 ? n : 1, sizeof(double));
    if (kind == DAYS_SINCE_1970 || kind == UTC_SECONDS_SINCE_1970) {
        /* Days since 1970-01-01 (a fraction is its day; NA is no day; a day
           past the calendar is out of range), or seconds of a date-time in UTC. */
        const double *v = REAL(x);
        const double *days = v;
        if (kind == UTC_SECONDS_SINCE_1970) {
            double *d = (double *) R_alloc(n > 0 ? n : 1, sizeof(double));
            for (R_xlen_t i = 0; i < n; i++) d[i] = v[i] / 86400.0;
            days = d;
        }
        dm_dates_from_days((size_t) n, days, out);
        return out;
    }
    for (R_xlen_t i = 0; i < n; i++) {
        if (kind == TEXTS) {
            SEXP s = STRING_ELT(x, i);
            if (s == NA_STRING) {
                out[i] = NA_REAL;
                continue;
            }
            int reason = DM_DATE_OK;
            if (dm_date_from_text(CHAR(s), (size_t) LENGTH(s), &out[i], &reason) != DM_OK) {
                char where[64], message[DM_REFUSAL_SIZE];
                snprintf(where, sizeof where, "%.40s[%.0f]", argument, (double) i + 1);
                dm_refusal_text(function, where, reason, CHAR(s), (size_t) LENGTH(s), message,
                                sizeof message);
                Rf_errorcall(R_NilValue, "%s", message);
            }
        } else {
            out[i] = REAL(x)[i];
        }
    }
    return out;
}

/* Date-times (seconds since 1970-01-01) in a time zone ("" the session's) to
   the date values of their civil dates there, as R's as.Date(x, tz) gives
   them but without a list per value: the zone is set in TZ for the
   conversion, as R sets it, and put back. NA stays NA; a time past what the
   C library converts is out of range. */
static SEXP zoned_dates(SEXP x, SEXP zone)
{
    R_xlen_t n = XLENGTH(x);
    const double *v = REAL(x);
    const char *tz = CHAR(STRING_ELT(zone, 0));
    int64_t *years = (int64_t *) R_alloc(n > 0 ? n : 1, sizeof(int64_t));
    int32_t *months = (int32_t *) R_alloc(n > 0 ? n : 1, sizeof(int32_t));
    int32_t *days = (int32_t *) R_alloc(n > 0 ? n : 1, sizeof(int32_t));
    SEXP out = PROTECT(Rf_allocVector(REALSXP, n));
    double *values = REAL(out);
    const char *was = getenv("TZ");
    char *kept = was ? (char *) R_alloc(strlen(was) + 1, 1) : NULL;
    if (was) strcpy(kept, was);
    if (tz[0] != '\0') setenv("TZ", tz, 1);
    tzset();
    for (R_xlen_t i = 0; i < n; i++) {
        struct tm civil;
        time_t t;
        years[i] = 0;  /* month 0: no civil date, its value set below */
        months[i] = 0;
        days[i] = 0;
        if (!(fabs(v[i]) < 0x1p63)) continue; /* NA, or past what a time_t holds */
        t = (time_t) floor(v[i]);
        if (localtime_r(&t, &civil) == NULL) continue;
        years[i] = (int64_t) civil.tm_year + 1900;
        months[i] = civil.tm_mon + 1;
        days[i] = civil.tm_mday;
    }
    if (tz[0] != '\0') {
        if (kept) setenv("TZ", kept, 1);
        else unsetenv("TZ");
        tzset();
    }
    if (dm_dates_from_civil((size_t) n, years, months, days, values) == DM_NOMEM)
        Rf_errorcall(R_NilValue, "datemodules: out of memory");
    for (R_xlen_t i = 0; i < n; i++)
        if (months[i] == 0)  /* NA as missing; a time beyond conversion out of range */
            values[i] = ISNAN(v[i]) ? NA_REAL : (v[i] < 0 ? R_NegInf : R_PosInf);
    UNPROTECT(1);
    return out;
}

/* yrdif, datdif and their causes: results (double, NA where missing) or cause texts, the
   arguments recycled to the longest (the R side has warned of lengths that do not divide it). */
static SEXP evaluate(SEXP name, SEXP start, SEXP end, SEXP basis, SEXP causes_wanted)
{
    const dm_function *f = function_named(name);
    const char *function = CHAR(STRING_ELT(name, 0));
    R_xlen_t ns = XLENGTH(start), ne = XLENGTH(end), nb = Rf_isNull(basis) ? 1 : XLENGTH(basis);
    R_xlen_t n = ns > ne ? ns : ne;
    if (nb > n) n = nb;
    if (ns == 0 || ne == 0 || nb == 0) n = 0;

    int fewest, most;
    dm_function_arity(f, &fewest, &most);
    if (Rf_isNull(basis) && fewest > 2)
        Rf_errorcall(R_NilValue, "%s: the basis is needed (%s)", function, dm_function_bases(f));
    double *s = date_values(start, function, "start");
    double *e = date_values(end, function, "end");
    double *starts = ns == n ? s : (double *) R_alloc(n > 0 ? n : 1, sizeof(double));
    double *ends = ne == n ? e : (double *) R_alloc(n > 0 ? n : 1, sizeof(double));
    for (R_xlen_t i = 0; i < n; i++) {
        starts[i] = s[i % ns];
        ends[i] = e[i % ne];
    }
    SEXP result = PROTECT(Rf_allocVector(REALSXP, n));
    uint8_t *causes = (uint8_t *) R_alloc(n > 0 ? n : 1, 1);
    size_t missing = 0;
    int status;
    if (Rf_isNull(basis)) {
        status = dm_eval_array(f, (size_t) n, starts, ends, NULL, 0, REAL(result), &missing, causes);
    } else if (nb == 1 && STRING_ELT(basis, 0) != NA_STRING) {
        SEXP b = STRING_ELT(basis, 0);
        status = dm_eval_array(f, (size_t) n, starts, ends, CHAR(b), (size_t) LENGTH(b),
                               REAL(result), &missing, causes);
    } else {
        const char **texts = (const char **) R_alloc(n > 0 ? n : 1, sizeof(char *));
        size_t *lengths = (size_t *) R_alloc(n > 0 ? n : 1, sizeof(size_t));
        for (R_xlen_t i = 0; i < n; i++) {
            SEXP b = STRING_ELT(basis, i % nb);
            texts[i] = b == NA_STRING ? NULL : CHAR(b);  /* NA: a basis without a value */
            lengths[i] = b == NA_STRING ? 0 : (size_t) LENGTH(b);
        }
        status = dm_eval_array_bases(f, (size_t) n, starts, ends, texts, lengths, REAL(result),
                                     &missing, causes);
    }
    if (status == DM_NOMEM) Rf_errorcall(R_NilValue, "%s: out of memory", function);
    if (status != DM_OK) Rf_error("%s: the embedding library refused the call (status %d)",
                                  function, status);
    if (Rf_asLogical(causes_wanted)) {
        SEXP texts = PROTECT(Rf_allocVector(STRSXP, n));
        for (R_xlen_t i = 0; i < n; i++)
            SET_STRING_ELT(texts, i, causes[i] ? Rf_mkChar(dm_cause_text(causes[i])) : NA_STRING);
        UNPROTECT(2);
        return texts;
    }
    double *r = REAL(result);
    for (R_xlen_t i = 0; missing > 0 && i < n; i++)
        if (causes[i]) r[i] = NA_REAL;
    UNPROTECT(1);
    return result;
}

/* dm_eval one pair at a time over date values, for the tests: the C interface as a reference. */
static SEXP eval_each(SEXP name, SEXP start, SEXP end, SEXP basis)
{
    const dm_function *f = function_named(name);
    R_xlen_t n = XLENGTH(start);
    SEXP result = PROTECT(Rf_allocVector(REALSXP, n));
    const char *b = Rf_isNull(basis) ? NULL : CHAR(STRING_ELT(basis, 0));
    for (R_xlen_t i = 0; i < n; i++)
        if (dm_eval(f, REAL(start)[i], REAL(end)[i], b, b ? strlen(b) : 0, &REAL(result)[i],
                    NULL) != DM_OK)
            REAL(result)[i] = NA_REAL;
    UNPROTECT(1);
    return result;
}

static SEXP version(void)
{
    return Rf_mkString(dm_version());
}

/* The modules: for each, its name, file and identifying fields (record, label, text). */
static SEXP module_list(void)
{
    dm_library *lib = modules();
    size_t count = dm_module_count(lib);
    SEXP out = PROTECT(Rf_allocVector(VECSXP, (R_xlen_t) count));
    for (size_t i = 0; i < count; i++) {
        size_t fields = dm_module_field_count(lib, i);
        SEXP m = PROTECT(Rf_allocVector(VECSXP, 5));
        SEXP records = PROTECT(Rf_allocVector(STRSXP, (R_xlen_t) fields));
        SEXP labels = PROTECT(Rf_allocVector(STRSXP, (R_xlen_t) fields));
        SEXP texts = PROTECT(Rf_allocVector(STRSXP, (R_xlen_t) fields));
        for (size_t k = 0; k < fields; k++) {
            const char *record, *label;
            const char *text = dm_module_field(lib, i, k, &record, &label);
            SET_STRING_ELT(records, (R_xlen_t) k, Rf_mkChar(record));
            SET_STRING_ELT(labels, (R_xlen_t) k, Rf_mkChar(label));
            SET_STRING_ELT(texts, (R_xlen_t) k, Rf_mkCharCE(text, CE_UTF8));
        }
        SET_VECTOR_ELT(m, 0, Rf_mkString(dm_module_name(lib, i)));
        SET_VECTOR_ELT(m, 1, Rf_mkString(dm_module_path(lib, i)));
        SET_VECTOR_ELT(m, 2, records);
        SET_VECTOR_ELT(m, 3, labels);
        SET_VECTOR_ELT(m, 4, texts);
        SET_VECTOR_ELT(out, (R_xlen_t) i, m);
        UNPROTECT(4);
    }
    UNPROTECT(1);
    return out;
}

/* The registered functions: name, fewest and most arguments, whole days. */
static SEXP function_list(void)
{
    dm_library *lib = modules();
    R_xlen_t count = (R_xlen_t) dm_function_count(lib);
    SEXP names = PROTECT(Rf_allocVector(STRSXP, count));
    SEXP fewest = PROTECT(Rf_allocVector(INTSXP, count));
    SEXP most = PROTECT(Rf_allocVector(INTSXP, count));
    SEXP whole = PROTECT(Rf_allocVector(LGLSXP, count));
    for (R_xlen_t i = 0; i < count; i++) {
        const dm_function *f = dm_function_at(lib, (size_t) i);
        int a, b;
        dm_function_arity(f, &a, &b);
        SET_STRING_ELT(names, i, Rf_mkChar(dm_function_name(f)));
        INTEGER(fewest)[i] = a;
        INTEGER(most)[i] = b;
        LOGICAL(whole)[i] = dm_function_whole_days(f);
    }
    SEXP out = PROTECT(Rf_allocVector(VECSXP, 4));
    SET_VECTOR_ELT(out, 0, names);
    SET_VECTOR_ELT(out, 1, fewest);
    SET_VECTOR_ELT(out, 2, most);
    SET_VECTOR_ELT(out, 3, whole);
    UNPROTECT(5);
    return out;
}

static const R_CallMethodDef calls[] = {
    {"evaluate", (DL_FUNC) &evaluate, 5},
    {"eval_each", (DL_FUNC) &eval_each, 4},
    {"zoned_dates", (DL_FUNC) &zoned_dates, 2},
    {"version", (DL_FUNC) &version, 0},
    {"module_list", (DL_FUNC) &module_list, 0},
    {"function_list", (DL_FUNC) &function_list, 0},
    {NULL, NULL, 0}};

void R_init_datemodules(DllInfo *dll)
{
    R_registerRoutines(dll, NULL, calls, NULL, NULL);
    R_useDynamicSymbols(dll, FALSE);
    R_forceSymbols(dll, TRUE);
}
