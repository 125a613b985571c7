-- Every kind of date argument gives the same result for the same dates.
SET DateStyle = ISO;
SET extra_float_digits = 1;
CREATE TABLE spans (s date, e date, b text);
INSERT INTO spans VALUES
  ('2019-07-01', '2020-07-01', 'ACT/ACT'), ('2000-02-29', '2001-02-28', '30/360'),
  ('1582-01-01', '20000-12-31', 'ACT/365'), ('2024-03-31', '2023-02-28', 'ACT/360'),
  ('3999-12-31', '4000-03-01', 'ACT/ACT'), ('4000-03-01', '4100-02-28', 'AGE');
SELECT s, e, b,
       yrdif(s, e, b) AS dates,
       yrdif(s, e, b) = yrdif(s::timestamp, e::timestamp, b) AS timestamps,
       yrdif(s, e, b) = yrdif(to_char(s, 'YYYY-MM-DD'), to_char(e, 'YYYY-MM-DD'), b) AS texts,
       -- Before 4000, where PostgreSQL's calendar and the host's agree, date - date is a date value.
       CASE WHEN e < '4000-01-01' AND s < '4000-01-01' THEN
         yrdif(s, e, b) = yrdif((s - date '1960-01-01')::float8, (e - date '1960-01-01')::float8, b)
       END AS float8,
       datdif(s, e, b) AS days
FROM spans ORDER BY s;

-- float8 date values: days from 1960-01-01, fractions allowed; NaN is missing.
SELECT yrdif(0::float8, 366::float8, 'ACT/ACT') AS one_year,
       datdif(5.5::float8, 5::float8, 'ACT/ACT') AS same_day,
       yrdif(5.5::float8, 5::float8, 'ACT/ACT') AS minus_zero,
       yrdif('NaN'::float8, 1::float8) IS NULL AS nan,
       yrdif('Infinity'::float8, 1::float8) IS NULL AS infinity;

-- A timestamp is its date; a timestamptz its date in the session's TimeZone.
SELECT datdif(timestamp '2024-01-01 23:30', timestamp '2024-01-02 00:10', 'ACT/ACT') AS timestamp_days;
SET TimeZone = 'America/New_York';
SELECT datdif(timestamptz '2024-01-02 04:30+00', date '2024-01-02', 'ACT/ACT') AS new_york;
SET TimeZone = 'Asia/Tokyo';
SELECT datdif(timestamptz '2024-01-02 04:30+00', date '2024-01-02', 'ACT/ACT') AS tokyo;
RESET TimeZone;
SELECT yrdif('infinity'::timestamptz, now()) IS NULL AS infinite_timestamptz;

-- Mixed arguments take the form that PostgreSQL's casts reach.
SELECT datdif(date '2024-01-01', '2024-02-01', 'ACT/ACT') AS date_and_literal,
       datdif(date '2024-01-01', timestamp '2024-02-01 12:00', 'ACT/ACT') AS date_and_timestamp;

-- The volatility that indexes and generated columns need.
SELECT p.proname, pg_get_function_identity_arguments(p.oid) AS args, p.provolatile, p.proisstrict,
       p.proparallel, format_type(p.prorettype, NULL) AS returns
FROM pg_proc p JOIN pg_depend d ON d.objid = p.oid
JOIN pg_extension x ON x.oid = d.refobjid AND x.extname = 'datemodules'
ORDER BY 1, 2;
DROP TABLE spans;
