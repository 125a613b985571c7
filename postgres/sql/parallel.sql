-- A parallel plan gives what a serial one gives, and an index on an
-- expression is used and right. Sums of floats depend on their order, so the
-- plans are compared by sums of the results' hashes, which do not.
SET DateStyle = ISO;
SET extra_float_digits = 3;
CREATE TABLE periods AS
  SELECT i, date '1900-01-01' + ((i::bigint * 7919) % 73000)::int AS s,
         date '1900-01-01' + ((i::bigint * 104729) % 73000)::int AS e
  FROM generate_series(1, 200000) AS i;
ANALYZE periods;
CREATE TEMP TABLE serial AS
  SELECT sum(hashfloat8(yrdif(s, e, 'ACT/ACT'))) AS years, sum(datdif(s, e, '30/360')) AS days,
         count(datdif_cause(s, e, 'ACT/ACT')) AS causes FROM periods;
SET force_parallel_mode = on;
SET parallel_setup_cost = 0;
SET parallel_tuple_cost = 0;
SET min_parallel_table_scan_size = 0;
SET max_parallel_workers_per_gather = 2;
EXPLAIN (COSTS OFF)
  SELECT sum(hashfloat8(yrdif(s, e, 'ACT/ACT'))), sum(datdif(s, e, '30/360')) FROM periods;
SELECT (SELECT years FROM serial) = sum(hashfloat8(yrdif(s, e, 'ACT/ACT'))) AS same_years,
       (SELECT days FROM serial) = sum(datdif(s, e, '30/360')) AS same_days,
       (SELECT causes FROM serial) = count(datdif_cause(s, e, 'ACT/ACT')) AS same_causes
FROM periods;
RESET force_parallel_mode;
RESET parallel_setup_cost;
RESET parallel_tuple_cost;
RESET min_parallel_table_scan_size;
RESET max_parallel_workers_per_gather;

CREATE INDEX periods_days ON periods (datdif(s, e, '30/360'));
ANALYZE periods;
SET enable_seqscan = off;
EXPLAIN (COSTS OFF) SELECT count(*) FROM periods WHERE datdif(s, e, '30/360') BETWEEN 0 AND 360;
SELECT count(*) AS by_index FROM periods WHERE datdif(s, e, '30/360') BETWEEN 0 AND 360;
RESET enable_seqscan;
SET enable_indexscan = off;
SET enable_bitmapscan = off;
SELECT count(*) AS by_scan FROM periods WHERE datdif(s, e, '30/360') BETWEEN 0 AND 360;
RESET enable_indexscan;
RESET enable_bitmapscan;

-- A generated column.
CREATE TABLE loans (start date, maturity date,
                    years float8 GENERATED ALWAYS AS (yrdif(start, maturity, 'ACT/365')) STORED);
INSERT INTO loans VALUES ('2024-01-15', '2024-07-15'), ('2000-02-29', '2001-02-28'), (NULL, '2024-01-01');
SELECT * FROM loans;
DROP TABLE loans;
DROP TABLE periods;
