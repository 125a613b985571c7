-- The worked examples of the function reference, untyped literals, NULLs,
-- infinities, bad bases and huge texts.
CREATE EXTENSION datemodules;
SET DateStyle = ISO;
SET extra_float_digits = 1;

-- Untyped literals, as people write them, resolve to the text form.
SELECT yrdif('2019-07-01', '2020-07-01', 'ACT/ACT');
SELECT yrdif('2000-02-29', '2010-02-28');
SELECT datdif('2001-01-31', '2001-02-28', '30/360');

-- Every basis over one interval, as dates.
SELECT basis, yrdif(date '2019-07-01', date '2020-07-01', basis) AS years,
       datdif(date '2019-07-01', date '2020-07-01', basis) AS days
FROM (VALUES ('30/360'), ('ACT/ACT'), ('ACTUAL'), ('ACT/360'), ('ACT/365'), ('AGE')) AS b (basis);

-- 30/360 end-of-month rules and reversed intervals.
SELECT datdif(date '2001-02-28', date '2001-03-31', '30/360') AS feb_to_march,
       datdif(date '2021-03-31', date '2021-02-28', '30/360') AS reversed_days,
       yrdif(date '2021-03-31', date '2021-02-28', '30/360') AS reversed_years;

-- AGE: 29 February reaches its anniversary on 28 February.
SELECT yrdif(date '2000-02-29', date '2010-02-28') AS ten,
       yrdif(date '2000-02-29', date '2010-03-01') AS a_day_more,
       yrdif(date '2000-02-29', date '2004-02-29', 'AGE') AS four;

-- The host calendar has no 29 February 4000; the day counts do.
SELECT datdif(date '4000-02-28', date '4000-03-01', 'ACT/ACT') AS days;
SELECT datdif('4000-02-29', '4001-01-01', 'ACT/ACT');

-- NULL in, NULL out; a missing result is NULL.
SELECT yrdif(NULL::date, date '2020-01-01') IS NULL AS null_start,
       datdif(date '2020-01-01', date '2021-01-01', NULL) IS NULL AS null_basis,
       datdif(date '2020-01-01', date '2021-01-01', 'AGE') IS NULL AS no_basis,
       yrdif(date '1500-01-01', date '2020-01-01') IS NULL AS out_of_range,
       yrdif('infinity'::date, date '2020-01-01') IS NULL AS infinity,
       datdif(date '2020-01-01', '-infinity'::date, 'ACT/ACT') IS NULL AS minus_infinity;

-- Bases: parts of the text decide; only the first 256 bytes count.
SELECT yrdif(date '2019-07-01', date '2020-07-01', 'A/360') AS a_360,
       yrdif(date '2019-07-01', date '2020-07-01', 'not actual') AS not_actual,
       yrdif(date '2019-07-01', date '2020-07-01', 'ACT') IS NULL AS act_alone,
       datdif(date '2019-07-01', date '2020-07-01', repeat(' ', 256) || 'ACT/ACT') IS NULL AS past_256,
       datdif(date '2019-07-01', date '2020-07-01', 'ACT/ACT' || repeat(' ', 10000000)) AS ten_megabytes;

-- Texts that are no dates are errors, quoted safely.
SELECT yrdif('2021-02-30', '2022-01-01');
SELECT yrdif('not a date', '2022-01-01', 'ACT/ACT');
SELECT yrdif(E'x\x1b[2J', '2022-01-01');
SELECT datdif(repeat('9', 100000), '2022-01-01', 'ACT/ACT');
-- A text with a time of day, a T or an offset is the date SQLite's date() gives.
SELECT datdif('2024-01-05 23:30-05:00', '2024-01-06', 'ACT/ACT') AS utc_day,
       datdif('2024-01-05T10:00', '2024-01-06', 'ACT/ACT') AS one_day,
       yrdif('', '2024-01-06') IS NULL AS empty_is_missing;

SELECT datemodules_version(), datemodules_notices() IS NULL AS no_notices;
