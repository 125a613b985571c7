-- The cause of each missing result, in the order the functions test their
-- arguments, with the texts of every face.
SET DateStyle = ISO;
SELECT yrdif_cause(date '2019-07-01', date '2020-07-01', 'ACT/ACT') IS NULL AS none,
       yrdif_cause(NULL::date, date '2020-07-01') AS null_date,
       yrdif_cause(''::text, '2020-07-01') AS empty_text,
       yrdif_cause('infinity'::date, date '2020-07-01') AS infinity,
       yrdif_cause(date '1581-12-31', date '2020-07-01') AS before_1582,
       yrdif_cause(date '2019-07-01', date '2020-07-01', NULL) AS null_basis,
       yrdif_cause(date '2019-07-01', date '2020-07-01', '') AS empty_basis,
       yrdif_cause(date '2019-07-01', date '2020-07-01', 'ACT') AS act_alone;
SELECT datdif_cause(date '2019-07-01', date '2020-07-01', 'AGE') AS age_in_datdif,
       datdif_cause(NULL::date, date '1500-01-01', 'nonsense') AS start_first,
       datdif_cause(date '1500-01-01', NULL::date, 'nonsense') AS range_before_missing_end,
       datdif_cause(6589336::float8, 0::float8, 'ACT/ACT') AS past_20000,
       datdif_cause(0::float8, 'NaN'::float8, NULL) AS end_missing_before_basis;

-- Errors have their SQLSTATE: 22007 for a text that is no date.
\set VERBOSITY sqlstate
SELECT datdif('2021-02-30', '2022-01-01', 'ACT/ACT');
SELECT yrdif_cause('yesterday', '2022-01-01');
\set VERBOSITY default
