-- Explanations as json: the parts of the worked examples and the surprising
-- cases, every kind of date argument, NULLs explained as missing results.
SELECT yrdif_explain(date '2019-07-01', date '2020-07-01', 'ACT/ACT')->'count'->>'formula' AS actact,
       yrdif_explain(date '2000-02-29', date '2010-02-28')->'count'->'shifts' AS age_shifts,
       datdif_explain(date '2020-02-28', date '2020-03-31', '30/360')->'count'->>'days' AS thirty_leap_feb,
       datdif_explain(date '2021-02-28', date '2021-03-31', '30/360')->'count'->'adjustments' AS thirty_moves;
-- The result and the module's, the same bits, for each kind of argument.
SELECT kind, e->>'result' AS result, e->>'module_result' AS module_result, e->>'same_bits' AS same
FROM (VALUES
  ('date', yrdif_explain(date '2019-07-01', date '2020-07-01', 'act/act')),
  ('float8', yrdif_explain(21731::float8, 22097::float8, 'ACT/ACT')),
  ('timestamp', yrdif_explain(timestamp '2019-07-01 23:00', timestamp '2020-07-01 01:00', 'ACT/ACT')),
  ('text', yrdif_explain('2019-07-01', '2020-07-01', 'ACT/ACT'))) AS t(kind, e);
SET TimeZone = 'Pacific/Auckland';
SELECT yrdif_explain(timestamptz '2019-06-30 13:00+00', timestamptz '2020-07-01 00:00+12', 'ACT/ACT')->'start'->>'date' AS local_start;
RESET TimeZone;
-- Missing results: the first test that failed and the cause.
SELECT yrdif_explain(NULL::date, date '2020-07-01')->'missing' AS null_start,
       datdif_explain(date '2019-07-01', 'infinity'::date, 'ACT/ACT')->'missing' AS infinite_end,
       datdif_explain(date '2019-07-01', date '2020-07-01', NULL)->'missing'->>'cause' AS null_basis,
       datdif_explain(date '2019-07-01', date '2020-07-01', 'AGE')->'missing'->>'cause' AS age_in_datdif;
-- The rules a basis text went through.
SELECT r->>'rule' AS rule, r->>'found_at' AS found_at, r->>'decided' AS decided
FROM json_array_elements(yrdif_explain(date '2019-07-01', date '2020-07-01', '360/ACT')->'basis'->'rules') AS r;
-- A text that is no date is an error, as in the other functions.
\set VERBOSITY sqlstate
SELECT yrdif_explain('2021-02-30', '2022-01-01');
\set VERBOSITY default
