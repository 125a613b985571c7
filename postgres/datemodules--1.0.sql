-- datemodules 1.0: YRDIF and DATDIF of the pelvoran and tashkume modules.
\echo Use "CREATE EXTENSION datemodules" to load this file. \quit

-- For each kind of date argument: yrdif(start, end [, basis]) in years,
-- datdif(start, end, basis) in days, and <name>_cause with the same
-- arguments, the cause of a missing result (NULL when there is none), and
-- <name>_explain, how the result comes about as json (docs/explain.md; a NULL
-- argument is explained as the missing result it gives). A missing result is
-- NULL. The date, float8, timestamp and text forms are
-- IMMUTABLE (they serve in indexes and generated columns); the timestamptz
-- form reads the session's TimeZone and is STABLE. All are PARALLEL SAFE.
-- The text form is what untyped literals resolve to.

-- dates
CREATE FUNCTION yrdif(date, date) RETURNS float8
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_date' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION yrdif(date, date, text) RETURNS float8
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_date' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION datdif(date, date, text) RETURNS integer
  AS 'MODULE_PATHNAME', 'datemodules_datdif_date' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION yrdif_cause(date, date) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_cause_date' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_cause(date, date, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_cause_date' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION datdif_cause(date, date, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_datdif_cause_date' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_explain(date, date) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_explain_date' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_explain(date, date, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_explain_date' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION datdif_explain(date, date, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_datdif_explain_date' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;

-- date values, days from 1960-01-01
CREATE FUNCTION yrdif(float8, float8) RETURNS float8
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_float8' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION yrdif(float8, float8, text) RETURNS float8
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_float8' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION datdif(float8, float8, text) RETURNS integer
  AS 'MODULE_PATHNAME', 'datemodules_datdif_float8' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION yrdif_cause(float8, float8) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_cause_float8' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_cause(float8, float8, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_cause_float8' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION datdif_cause(float8, float8, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_datdif_cause_float8' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_explain(float8, float8) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_explain_float8' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_explain(float8, float8, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_explain_float8' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION datdif_explain(float8, float8, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_datdif_explain_float8' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;

-- the dates of timestamps
CREATE FUNCTION yrdif(timestamp, timestamp) RETURNS float8
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_timestamp' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION yrdif(timestamp, timestamp, text) RETURNS float8
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_timestamp' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION datdif(timestamp, timestamp, text) RETURNS integer
  AS 'MODULE_PATHNAME', 'datemodules_datdif_timestamp' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION yrdif_cause(timestamp, timestamp) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_cause_timestamp' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_cause(timestamp, timestamp, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_cause_timestamp' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION datdif_cause(timestamp, timestamp, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_datdif_cause_timestamp' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_explain(timestamp, timestamp) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_explain_timestamp' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_explain(timestamp, timestamp, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_explain_timestamp' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION datdif_explain(timestamp, timestamp, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_datdif_explain_timestamp' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;

-- the dates of timestamps with time zone in the session's TimeZone
CREATE FUNCTION yrdif(timestamptz, timestamptz) RETURNS float8
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_timestamptz' LANGUAGE C STABLE STRICT PARALLEL SAFE;
CREATE FUNCTION yrdif(timestamptz, timestamptz, text) RETURNS float8
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_timestamptz' LANGUAGE C STABLE STRICT PARALLEL SAFE;
CREATE FUNCTION datdif(timestamptz, timestamptz, text) RETURNS integer
  AS 'MODULE_PATHNAME', 'datemodules_datdif_timestamptz' LANGUAGE C STABLE STRICT PARALLEL SAFE;
CREATE FUNCTION yrdif_cause(timestamptz, timestamptz) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_cause_timestamptz' LANGUAGE C STABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_cause(timestamptz, timestamptz, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_cause_timestamptz' LANGUAGE C STABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION datdif_cause(timestamptz, timestamptz, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_datdif_cause_timestamptz' LANGUAGE C STABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_explain(timestamptz, timestamptz) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_explain_timestamptz' LANGUAGE C STABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_explain(timestamptz, timestamptz, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_explain_timestamptz' LANGUAGE C STABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION datdif_explain(timestamptz, timestamptz, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_datdif_explain_timestamptz' LANGUAGE C STABLE CALLED ON NULL INPUT PARALLEL SAFE;

-- date texts (yyyy-mm-dd, also with a time of day, or a date value)
CREATE FUNCTION yrdif(text, text) RETURNS float8
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_text' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION yrdif(text, text, text) RETURNS float8
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_text' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION datdif(text, text, text) RETURNS integer
  AS 'MODULE_PATHNAME', 'datemodules_datdif_text' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
CREATE FUNCTION yrdif_cause(text, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_cause_text' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_cause(text, text, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_cause_text' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION datdif_cause(text, text, text) RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_datdif_cause_text' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_explain(text, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_explain_text' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION yrdif_explain(text, text, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_yrdif_explain_text' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;
CREATE FUNCTION datdif_explain(text, text, text) RETURNS json
  AS 'MODULE_PATHNAME', 'datemodules_datdif_explain_text' LANGUAGE C IMMUTABLE CALLED ON NULL INPUT PARALLEL SAFE;

-- What opening the modules skipped in this backend, one line each, or NULL;
-- and the library's version.
CREATE FUNCTION datemodules_notices() RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_notices' LANGUAGE C VOLATILE PARALLEL SAFE;
-- The notices name files of the server: for the roles that may read its
-- settings, as pg_ls_dir and the file settings are.
REVOKE EXECUTE ON FUNCTION datemodules_notices() FROM PUBLIC;
GRANT EXECUTE ON FUNCTION datemodules_notices() TO pg_read_all_settings;
CREATE FUNCTION datemodules_version() RETURNS text
  AS 'MODULE_PATHNAME', 'datemodules_version' LANGUAGE C IMMUTABLE PARALLEL SAFE;

COMMENT ON FUNCTION yrdif(date, date, text) IS 'YRDIF: the interval from start to end in years under a basis (30/360, ACT/ACT, ACT/360, ACT/365, AGE)';
COMMENT ON FUNCTION yrdif(date, date) IS 'YRDIF: the interval from start to end in years under AGE';
COMMENT ON FUNCTION datdif(date, date, text) IS 'DATDIF: the interval from start to end in days under a basis (30/360, ACT/ACT, ACT/360, ACT/365)';
COMMENT ON FUNCTION yrdif_explain(date, date, text) IS 'How YRDIF comes to its result: the steps of the count, as json';
COMMENT ON FUNCTION datdif_explain(date, date, text) IS 'How DATDIF comes to its result: the steps of the count, as json';
