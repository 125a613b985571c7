/*
 * The PostgreSQL extension: YRDIF and DATDIF of the modules in SQL, one more
 * skin over the embedding library. Each SQL function has a C entry of its
 * own, named by the function of the modules, what it gives of it (the
 * result, its cause or its explanation) and the kind of its date arguments
 * (date, float8, timestamp, timestamptz, text): datemodules_yrdif_date,
 * datemodules_datdif_cause_text. The library is opened once per backend.
 *
 * Dates: a date or a timestamp is its civil date (infinity is a date out of
 * range, and a day the host calendar lacks, 4000-02-29, gives that cause); a
 * timestamptz its civil date in the session's TimeZone; a float8 a
 * date value (days from 1960-01-01); a text as every face reads dates. A
 * missing result is NULL; <name>_cause gives its cause, <name>_explain how
 * the result comes about, as json (a NULL argument is explained as the
 * missing result it gives). A text that is no
 * date is an ERROR with SQLSTATE 22007. Nothing here throws or exits: the
 * library reports every failure as a status, and this file is C.
 */
#include "postgres.h"

#include "catalog/pg_authid.h"
#include "catalog/pg_type.h"
#include "miscadmin.h"
#include "utils/acl.h"
#include "fmgr.h"
#include "lib/stringinfo.h"
#include "utils/builtins.h"
#include "utils/date.h"
#include "utils/float.h"
#include "utils/lsyscache.h"
#include "utils/timestamp.h"

#include "embed/datemodules.h"

PG_MODULE_MAGIC;

/* What the date arguments of an SQL function are. */
typedef enum
{
	ARG_DATE,
	ARG_FLOAT8,
	ARG_TIMESTAMP,
	ARG_TIMESTAMPTZ,
	ARG_TEXT
} ArgKind;

/* What an SQL function gives of an evaluation, by the suffix of its name. */
typedef enum
{
	GIVES_RESULT,
	GIVES_CAUSE,				/* <name>_cause */
	GIVES_EXPLANATION			/* <name>_explain */
} Gives;

/* One call site's function, found from its SQL name. */
typedef struct
{
	const dm_function *function;
	Gives		gives;
	bool		whole_days;
	char		name[NAMEDATALEN];
} CallSite;

static bool
ends_with(const char *name, size_t length, const char *suffix)
{
	size_t		n = strlen(suffix);

	return length > n && strcmp(name + length - n, suffix) == 0;
}

/* The modules, opened on first use in this backend and kept. */
static dm_library *library = NULL;

/* Days from 1970-01-01 to PostgreSQL's epoch, 2000-01-01. */
#define UNIX_TO_PG_DAYS 10957

/*
 * Whether the session's role may see server paths in messages: the notices
 * name the module files, as settings name them to roles that may read them.
 */
static bool
may_read_paths(void)
{
	return has_privs_of_role(GetUserId(), ROLE_PG_READ_ALL_SETTINGS);
}

static dm_library *
modules(void)
{
	dm_library *lib = NULL;
	size_t		i;
	int			status;

	if (library != NULL)
		return library;
	status = dm_open(NULL, &lib);
	if (status == DM_NOMEM)
	{
		dm_close(lib);
		ereport(ERROR, (errcode(ERRCODE_OUT_OF_MEMORY), errmsg("datemodules: out of memory")));
	}
	if (status != DM_OK)
	{
		char		message[1024];

		strlcpy(message, dm_errmsg(lib), sizeof message);
		dm_close(lib);
		if (may_read_paths())
			ereport(ERROR,
					(errcode(ERRCODE_EXTERNAL_ROUTINE_INVOCATION_EXCEPTION),
					 errmsg("datemodules: cannot open the modules: %s", message)));
		ereport(ERROR,
				(errcode(ERRCODE_EXTERNAL_ROUTINE_INVOCATION_EXCEPTION),
				 errmsg("datemodules: cannot open the modules"),
				 errhint("A role that may read the server's settings sees why.")));
	}
	/* Kept before anything is reported, so that a report that fails leaks nothing. */
	library = lib;
	if (dm_notice_count(lib) == 0)
		return library;
	if (!may_read_paths())
		ereport(WARNING,
				(errcode(ERRCODE_EXTERNAL_ROUTINE_INVOCATION_EXCEPTION),
				 errmsg("datemodules: %zu notices of loading the modules", dm_notice_count(lib)),
				 errhint("datemodules_notices() shows them to roles that may read the server's settings.")));
	else
		for (i = 0; i < dm_notice_count(lib); i++)
			ereport(WARNING,
					(errcode(ERRCODE_EXTERNAL_ROUTINE_INVOCATION_EXCEPTION),
					 errmsg("datemodules: %s", dm_notice(lib, i))));
	return library;
}

/*
 * One call site's function: `function` of the modules (yrdif, datdif) and
 * what the SQL function gives of it, as its C entry says; or, for the entries
 * that databases made by the first builds still name, from the SQL
 * function's name (function NULL).
 */
static CallSite *
call_site(FunctionCallInfo fcinfo, const char *function, Gives gives)
{
	CallSite   *site = (CallSite *) fcinfo->flinfo->fn_extra;
	char		name[NAMEDATALEN];
	Oid			returns;

	if (site != NULL)
		return site;
	site = MemoryContextAllocZero(fcinfo->flinfo->fn_mcxt, sizeof(CallSite));
	if (function == NULL)
	{
		char	   *sql_name = get_func_name(fcinfo->flinfo->fn_oid);
		size_t		length;

		if (sql_name == NULL)
			elog(ERROR, "datemodules: no name for function %u", fcinfo->flinfo->fn_oid);
		strlcpy(site->name, sql_name, sizeof site->name);
		length = strlen(site->name);
		gives = ends_with(site->name, length, "_cause") ? GIVES_CAUSE
			: ends_with(site->name, length, "_explain") ? GIVES_EXPLANATION
			: GIVES_RESULT;
		strlcpy(name, site->name, sizeof name);
		if (gives != GIVES_RESULT)
			*strrchr(name, '_') = '\0';
	}
	else
	{
		strlcpy(name, function, sizeof name);
		snprintf(site->name, sizeof site->name, "%s%s", function,
				 gives == GIVES_CAUSE ? "_cause" : gives == GIVES_EXPLANATION ? "_explain" : "");
	}
	site->gives = gives;
	if (dm_function_find(modules(), name, &site->function) != DM_OK)
	{
		if (may_read_paths())
			ereport(ERROR,
					(errcode(ERRCODE_UNDEFINED_FUNCTION),
					 errmsg("datemodules: no module registers %s", name),
					 errdetail("Loading the modules said: %s",
							   dm_errmsg(library)[0] ? dm_errmsg(library) : "nothing")));
		ereport(ERROR,
				(errcode(ERRCODE_UNDEFINED_FUNCTION),
				 errmsg("datemodules: no module registers %s", name)));
	}
	site->whole_days = dm_function_whole_days(site->function) != 0;
	/* The script declares each result type; it must be the one the library reports. */
	returns = get_func_rettype(fcinfo->flinfo->fn_oid);
	if (returns != (site->gives == GIVES_CAUSE ? TEXTOID
					: site->gives == GIVES_EXPLANATION ? JSONOID
					: site->whole_days ? INT4OID : FLOAT8OID))
		ereport(ERROR,
				(errcode(ERRCODE_DATATYPE_MISMATCH),
				 errmsg("datemodules: %s is declared to return %s, which is not the kind of %s's results",
						site->name, format_type_be(returns), dm_function_name(site->function))));
	fcinfo->flinfo->fn_extra = site;
	return site;
}

/* Days from 1960-01-01, where date values count from, to 1970-01-01. */
#define DATE_VALUE_OF_1970 3653

/*
 * The span of days (since 1970-01-01) on which PostgreSQL's calendar and the
 * host's agree day for day, so that a day's date value is the day moved to
 * 1960-01-01: asked of the library's conversion once per backend. The two
 * calendars agree on one span around 1970 and are a day or more apart on
 * either side of it (the host lacks the 29 Februaries of years divisible by
 * 4000), so each bound is found by bisection.
 */
static int64 agree_first = 1;
static int64 agree_last = 0;

static bool
agrees(int64 unix_days)
{
	double		value;

	dm_dates_from_counts(1, &unix_days, 1, &value);
	return value == (double) (unix_days + DATE_VALUE_OF_1970);
}

/* The farthest day from 1970-01-01 in one direction (step 1 or -1) on which they agree. */
static int64
last_agreeing(int64 step)
{
	int64		in = 0;
	int64		out = step * (INT64CONST(1) << 40);	/* far past the host calendar's bounds */

	while ((out - in) * step > 1)
	{
		int64		mid = in + (out - in) / 2;

		if (agrees(mid))
			in = mid;
		else
			out = mid;
	}
	return in;
}

static void
find_agreement(void)
{
	agree_last = last_agreeing(1);
	agree_first = last_agreeing(-1);
}

/*
 * The date value of a civil day counted from PostgreSQL's epoch: within the
 * span of agreement the day moved to 1960-01-01, any other day through its
 * civil date.
 */
static inline double
from_pg_days(int64 days)
{
	int64		unix_days = days + UNIX_TO_PG_DAYS;
	double		value;

	if (unlikely(agree_first > agree_last))
		find_agreement();
	if (unix_days >= agree_first && unix_days <= agree_last)
		return (double) (unix_days + DATE_VALUE_OF_1970);
	dm_dates_from_counts(1, &unix_days, 1, &value);
	return value;
}

/* -infinity and infinity: a date beyond every bound, out of range. */
static inline double
beyond(bool before)
{
	return before ? -get_float8_infinity() : get_float8_infinity();
}

static double
date_argument(FunctionCallInfo fcinfo, const CallSite *site, ArgKind kind, int k)
{
	if (PG_ARGISNULL(k))
		return get_float8_nan();
	switch (kind)
	{
		case ARG_DATE:
			{
				DateADT		d = PG_GETARG_DATEADT(k);

				return DATE_NOT_FINITE(d) ? beyond(DATE_IS_NOBEGIN(d)) : from_pg_days(d);
			}
		case ARG_TIMESTAMP:
			{
				Timestamp	t = PG_GETARG_TIMESTAMP(k);
				int64		days;

				if (TIMESTAMP_NOT_FINITE(t))
					return beyond(TIMESTAMP_IS_NOBEGIN(t));
				days = t / USECS_PER_DAY - (t % USECS_PER_DAY < 0);
				return from_pg_days(days);
			}
		case ARG_TIMESTAMPTZ:
			{
				/* Its date in the session's time zone, as timestamptz::date gives it. */
				DateADT		d = DatumGetDateADT(DirectFunctionCall1(timestamptz_date,
																	PG_GETARG_DATUM(k)));

				return DATE_NOT_FINITE(d) ? beyond(DATE_IS_NOBEGIN(d)) : from_pg_days(d);
			}
		case ARG_FLOAT8:
			return PG_GETARG_FLOAT8(k);
		case ARG_TEXT:
			{
				text	   *t = PG_GETARG_TEXT_PP(k);
				double		value;
				int			reason = DM_DATE_OK;

				if (dm_date_from_text(VARDATA_ANY(t), VARSIZE_ANY_EXHDR(t), &value, &reason) != DM_OK)
				{
					char		argument[32];
					char		message[DM_REFUSAL_SIZE];

					snprintf(argument, sizeof argument, "argument %d", k + 1);
					dm_refusal_text(site->name, argument, reason, VARDATA_ANY(t),
									VARSIZE_ANY_EXHDR(t), message, sizeof message);
					ereport(ERROR,
							(errcode(ERRCODE_INVALID_DATETIME_FORMAT),
							 errmsg("%s", message)));
				}
				return value;
			}
	}
	return get_float8_nan();
}

/* The explanation as json; a NULL basis is a basis without a value. */
static Datum
explanation(FunctionCallInfo fcinfo, const CallSite *site, double start, double end)
{
	const char *basis = NULL;	/* left out */
	size_t		length = 0;
	size_t		size = 4096;
	size_t		whole = 0;
	char	   *json;
	int			status;

	if (PG_NARGS() == 3)
	{
		basis = DM_BASIS_NO_VALUE;
		if (!PG_ARGISNULL(2))
		{
			text	   *t = PG_GETARG_TEXT_PP(2);

			basis = VARDATA_ANY(t);
			length = VARSIZE_ANY_EXHDR(t);
		}
	}
	for (;;)
	{
		json = palloc(size);
		status = dm_explain_text(site->function, start, end, basis, length, DM_EXPLAIN_JSON,
								 json, size, &whole);
		if ((status != DM_OK && status != DM_DIFFERS) || whole < size)
			break;
		pfree(json);
		size = whole + 1;
	}
	if (status == DM_DIFFERS)
		ereport(ERROR,
				(errcode(ERRCODE_INTERNAL_ERROR),
				 errmsg("%s: the explained figure and the module's result differ", site->name),
				 errdetail("%s", json),
				 errhint("This is a defect of datemodules: please report it.")));
	if (status == DM_NOMEM)
		ereport(ERROR, (errcode(ERRCODE_OUT_OF_MEMORY), errmsg("%s: out of memory", site->name)));
	if (status != DM_OK)
		ereport(ERROR,
				(errcode(ERRCODE_FEATURE_NOT_SUPPORTED),
				 errmsg("%s: %s cannot be explained", site->name,
						dm_function_name(site->function))));
	PG_RETURN_TEXT_P(cstring_to_text_with_len(json, whole));
}

static Datum
evaluate(FunctionCallInfo fcinfo, const char *function, Gives gives, ArgKind kind)
{
	const CallSite *site = call_site(fcinfo, function, gives);
	double		start = date_argument(fcinfo, site, kind, 0);
	double		end = date_argument(fcinfo, site, kind, 1);
	double		result;
	int			cause = DM_CAUSE_NONE;

	if (site->gives == GIVES_EXPLANATION)
		return explanation(fcinfo, site, start, end);
	if (PG_NARGS() == 2)
		dm_eval(site->function, start, end, NULL, 0, &result, &cause);
	else if (PG_ARGISNULL(2))
		dm_eval(site->function, start, end, DM_BASIS_NO_VALUE, 0, &result, &cause);
	else
	{
		text	   *basis = PG_GETARG_TEXT_PP(2);

		dm_eval(site->function, start, end, VARDATA_ANY(basis), VARSIZE_ANY_EXHDR(basis),
				&result, &cause);
	}
	if (site->gives == GIVES_CAUSE)
	{
		if (cause == DM_CAUSE_NONE)
			PG_RETURN_NULL();
		PG_RETURN_TEXT_P(cstring_to_text(dm_cause_text(cause)));
	}
	if (cause != DM_CAUSE_NONE)
		PG_RETURN_NULL();
	if (site->whole_days)
		PG_RETURN_INT32((int32) result);
	PG_RETURN_FLOAT8(result);
}

/*
 * The C entries, one for each SQL function of the script: the function of
 * the modules, what it gives and the kind of its date arguments are the
 * entry's own, so that an SQL function that is renamed, or made again under
 * another name in the same library, still does what it did.
 */
#define DATEMODULES_ENTRY(fn, suffix, gives, kind, arg) \
	PG_FUNCTION_INFO_V1(datemodules_##fn##suffix##_##kind); \
	Datum \
	datemodules_##fn##suffix##_##kind(PG_FUNCTION_ARGS) \
	{ \
		return evaluate(fcinfo, #fn, gives, arg); \
	}
#define DATEMODULES_KINDS(fn, suffix, gives) \
	DATEMODULES_ENTRY(fn, suffix, gives, date, ARG_DATE) \
	DATEMODULES_ENTRY(fn, suffix, gives, float8, ARG_FLOAT8) \
	DATEMODULES_ENTRY(fn, suffix, gives, timestamp, ARG_TIMESTAMP) \
	DATEMODULES_ENTRY(fn, suffix, gives, timestamptz, ARG_TIMESTAMPTZ) \
	DATEMODULES_ENTRY(fn, suffix, gives, text, ARG_TEXT)
#define DATEMODULES_FUNCTION(fn) \
	DATEMODULES_KINDS(fn, , GIVES_RESULT) \
	DATEMODULES_KINDS(fn, _cause, GIVES_CAUSE) \
	DATEMODULES_KINDS(fn, _explain, GIVES_EXPLANATION)

DATEMODULES_FUNCTION(yrdif)
DATEMODULES_FUNCTION(datdif)

/*
 * The entries that the first builds' script named, one for each kind of
 * date argument, which find their function from the SQL function's name:
 * databases made then still call them.
 */
PG_FUNCTION_INFO_V1(datemodules_date);
PG_FUNCTION_INFO_V1(datemodules_float8);
PG_FUNCTION_INFO_V1(datemodules_timestamp);
PG_FUNCTION_INFO_V1(datemodules_timestamptz);
PG_FUNCTION_INFO_V1(datemodules_text);
PG_FUNCTION_INFO_V1(datemodules_notices);
PG_FUNCTION_INFO_V1(datemodules_version);

Datum
datemodules_date(PG_FUNCTION_ARGS)
{
	return evaluate(fcinfo, NULL, GIVES_RESULT, ARG_DATE);
}

Datum
datemodules_float8(PG_FUNCTION_ARGS)
{
	return evaluate(fcinfo, NULL, GIVES_RESULT, ARG_FLOAT8);
}

Datum
datemodules_timestamp(PG_FUNCTION_ARGS)
{
	return evaluate(fcinfo, NULL, GIVES_RESULT, ARG_TIMESTAMP);
}

Datum
datemodules_timestamptz(PG_FUNCTION_ARGS)
{
	return evaluate(fcinfo, NULL, GIVES_RESULT, ARG_TIMESTAMPTZ);
}

Datum
datemodules_text(PG_FUNCTION_ARGS)
{
	return evaluate(fcinfo, NULL, GIVES_RESULT, ARG_TEXT);
}

/* What opening the modules skipped, one line each, or NULL. */
Datum
datemodules_notices(PG_FUNCTION_ARGS)
{
	dm_library *lib = modules();
	StringInfoData text;
	size_t		i;

	if (dm_notice_count(lib) == 0)
		PG_RETURN_NULL();
	initStringInfo(&text);
	for (i = 0; i < dm_notice_count(lib); i++)
		appendStringInfo(&text, "%s%s", i > 0 ? "\n" : "", dm_notice(lib, i));
	PG_RETURN_TEXT_P(cstring_to_text(text.data));
}

Datum
datemodules_version(PG_FUNCTION_ARGS)
{
	PG_RETURN_TEXT_P(cstring_to_text(dm_version()));
}
