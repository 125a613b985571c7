"""The PostgreSQL extension on a real server (the postgres job runs these in a
throwaway cluster made by pg_virtualenv, with the extension installed): every
basis over 100,000 random date pairs against the C interface, bit for bit;
hostile SQL; and sqlsmith, after which the server log shows no backend ended by
a signal and no PANIC. Without a server (PGHOST unset) they are skipped."""
import os
import shutil
import subprocess

import numpy as np
import pytest

from conftest import BASES, random_dates, same_bits

pytestmark = pytest.mark.skipif(not os.environ.get("PGHOST"), reason="no PostgreSQL server (PGHOST)")
DATABASE = "datemodules_test"


def psql(sql, database=DATABASE, stdin=None, check=True):
    out = subprocess.run(["psql", "-X", "-q", "-At", "-v", "ON_ERROR_STOP=1", "-d", database,
                          "-c", sql], input=stdin, capture_output=True, text=True)
    if check and out.returncode != 0:
        raise AssertionError(f"{sql[:200]}: {out.stderr}")
    return out


@pytest.fixture(scope="module", autouse=True)
def database():
    psql(f"DROP DATABASE IF EXISTS {DATABASE}", database="postgres")
    psql(f"CREATE DATABASE {DATABASE}", database="postgres")
    psql("CREATE EXTENSION datemodules")
    yield
    psql(f"DROP DATABASE {DATABASE} WITH (FORCE)", database="postgres")


def server_log():
    """The cluster's log file, from pg_lsclusters."""
    lines = subprocess.run(["pg_lsclusters", "--no-header"], capture_output=True, text=True).stdout
    port = os.environ.get("PGPORT", "5432")
    for line in lines.splitlines():
        fields = line.split()
        if len(fields) >= 7 and fields[2] == port:
            return fields[-1]
    return None


def copy_value(x):
    """A float8 as COPY reads it, every bit kept; NaN as NULL."""
    return "\\N" if x != x else repr(float(x))


@pytest.mark.parametrize("name", ["YRDIF", "DATDIF"])
def test_every_basis_matches_the_c_interface_bit_for_bit(capi, name):
    for code, basis in enumerate(BASES[name]):
        start, end = random_dates(900 + code + len(name))
        rows = "".join(f"{i}\t{copy_value(s)}\t{copy_value(e)}\n" for i, (s, e) in enumerate(zip(start, end)))
        call = f"{name.lower()}(s, e{'' if basis is None else ', ' + repr(basis)})"
        script = ("SET extra_float_digits = 3;\n"
                  "CREATE TEMP TABLE pairs (i int, s float8, e float8);\n"
                  "COPY pairs FROM STDIN;\n" + rows + "\\.\n"
                  f"COPY (SELECT {call}, {name.lower()}_cause(s, e"
                  f"{'' if basis is None else ', ' + repr(basis)}) FROM pairs ORDER BY i) TO STDOUT;\n")
        out = subprocess.run(["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", DATABASE],
                             input=script, capture_output=True, text=True)
        assert out.returncode == 0, out.stderr
        got, causes = [], []
        for line in out.stdout.splitlines():
            value, cause = line.split("\t")
            got.append(np.nan if value == "\\N" else float(value))
            causes.append(None if cause == "\\N" else cause)
        want = [capi.eval_with_cause(name, s, e, basis) for s, e in zip(start, end)]
        assert len(got) == len(want)
        assert same_bits(got, [w[0] for w in want]), (name, basis)
        assert causes == [w[1] for w in want], (name, basis)
        # The date form over the dates among them that are whole days.
        whole = [(i, capi.iso(s), capi.iso(e)) for i, (s, e) in enumerate(zip(start, end))
                 if s == s and e == e and s == int(s) and e == int(e) and -138061 <= s < 6589336
                 and -138061 <= e < 6589336][:20000]
        rows = "".join(f"{i}\t{s}\t{e}\n" for i, s, e in whole)
        script = ("SET extra_float_digits = 3;\nSET DateStyle = ISO;\n"
                  "CREATE TEMP TABLE days (i int, s date, e date);\n"
                  "COPY days FROM STDIN;\n" + rows + "\\.\n"
                  f"COPY (SELECT {call} FROM days ORDER BY i) TO STDOUT;\n")
        out = subprocess.run(["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", DATABASE],
                             input=script, capture_output=True, text=True)
        assert out.returncode == 0, out.stderr
        got = [np.nan if v == "\\N" else float(v) for v in out.stdout.splitlines()]
        assert same_bits(got, [want[i][0] for i, _, _ in whole]), (name, basis, "dates")


HOSTILE = [
    "SELECT datdif(1::float8, 400::float8, repeat('ACT/ACT', 1500000))",
    "SELECT yrdif(repeat('2024-01-01', 1000000), '2024-01-01')",
    "SELECT yrdif(convert_from('\\xdeadbeef00ff'::bytea, 'SQL_ASCII'), '2024-01-01')",
    "SELECT yrdif(decode('ffd8ffe000104a46', 'hex')::text, '2024-01-01')",
    "SELECT datdif(now(), now() - interval '1000 years', 'ACT/ACT')",
    "SELECT datdif('294276-12-31'::timestamp, '4713-01-01 BC'::timestamp, 'ACT/ACT')",
    "SELECT yrdif('5874897-12-31'::date, '4713-01-01 BC'::date, 'AGE')",
    "SELECT yrdif(1e308::float8, -1e308::float8, '30/360')",
    "SELECT yrdif('-Infinity'::float8, 'NaN'::float8, NULL)",
    "SELECT yrdif(1::int, 2::bigint, 'ACT/ACT')",
    "SELECT yrdif(1::numeric, 2.5::real, 'ACT/ACT')",
    "SELECT yrdif(current_date, localtimestamp, 'ACT/ACT')",
    "SELECT yrdif(s, s + 1, b) FROM (VALUES (date '2020-01-01', E'\\x01\\x02'), (NULL, NULL)) v (s, b)",
    "SELECT datdif(x, x + 1, 'ACT/ACT') FROM generate_series('infinity'::date, 'infinity'::date, '1 day') x",
    "SELECT yrdif_cause(NULL, NULL, NULL)",
    "SELECT yrdif(NULL, NULL)",
    "SELECT datdif('', '', '')",
    "SELECT yrdif(E'2024-01-01\\n', '2024-01-02')",
    "SELECT yrdif('99999999999-01-01', '2024-01-02')",
    "SELECT datdif(d::text, '2024-01-01', 'ACT/ACT') FROM generate_series(1, 1000) d",
]


def test_hostile_sql_never_ends_a_backend():
    for sql in HOSTILE:
        out = psql(sql, check=False)
        assert "server closed the connection" not in out.stderr, (sql, out.stderr)
        assert out.returncode in (0, 1), (sql, out.stderr)
    assert psql("SELECT datdif(0::float8, 366::float8, 'ACT/ACT')").stdout.strip() == "366"


@pytest.mark.skipif(shutil.which("sqlsmith") is None, reason="no sqlsmith")
def test_sqlsmith_finds_no_crash():
    psql("CREATE TABLE dates (id int, s date, e date, t timestamptz, v float8, b text)")
    psql("INSERT INTO dates SELECT i, date '1900-01-01' + i * 37, date '2100-01-01' - i * 91, "
         "now() - i * interval '13 days', i * 17.5, (ARRAY['ACT/ACT', '30/360', 'AGE', '', NULL])[1 + i % 5] "
         "FROM generate_series(1, 500) i")
    psql(f"ALTER DATABASE {DATABASE} SET statement_timeout = '2s'")
    target = " ".join(f"{k}={os.environ[v]}" for k, v in
                      [("host", "PGHOST"), ("port", "PGPORT"), ("user", "PGUSER"),
                       ("password", "PGPASSWORD")] if v in os.environ) + f" dbname={DATABASE}"
    out = subprocess.run(["sqlsmith", f"--target={target}", "--max-queries=3000", "--seed=2026",
                          "--exclude-catalog"], capture_output=True, text=True, timeout=900)
    log = server_log()
    text = open(log, errors="replace").read() if log and os.path.exists(log) else ""
    assert "terminated by signal" not in text and "PANIC" not in text, text[-3000:]
    assert "was terminated" not in text, text[-3000:]
    # The queries reached the extension's functions too.
    assert out.returncode == 0 or "queries" in out.stderr, out.stderr[-2000:]
