"""The SQLite extension, loaded by Python's sqlite3 and by the sqlite3 shell,
on a database file, against the C interface."""
import math
import os
import sys
import shutil
import sqlite3
import subprocess

import numpy as np
import pytest

from conftest import BASES, BUILD, EXTENSION, random_dates, same_bits


@pytest.fixture
def db(tmp_path):
    path = tmp_path / "dates.db"
    con = sqlite3.connect(path)
    con.enable_load_extension(True)
    con.load_extension(EXTENSION)
    con.enable_load_extension(False)
    yield con
    con.close()


@pytest.mark.parametrize("name", ["YRDIF", "DATDIF"])
def test_results_match_the_c_interface(db, capi, name):
    db.execute("create table t (s, e, b)")
    for code, basis in enumerate(BASES[name]):
        start, end = random_dates(500 + code + len(name))
        # Half the dates as ISO texts as date() writes them, half as date values.
        as_text = np.arange(start.size) % 2 == 0
        rows = [(capi.iso(s) if t and s == s and math.floor(s) == s else (None if s != s else s),
                 e if e == e else None, basis) for s, e, t in zip(start, end, as_text)]
        db.execute("delete from t")
        db.executemany("insert into t values (?, ?, ?)", rows)
        sql = f"select {name.lower()}(s, e{', b' if basis is not None else ''}) from t order by rowid"
        got = np.array([r[0] if r[0] is not None else np.nan for r in db.execute(sql)], dtype=float)
        want = np.array([capi.eval(name, s, e, basis) for s, e in zip(start, end)])
        assert same_bits(got, want), (name, basis)
    kinds = {r[0] for r in db.execute("select typeof(datdif(1, 2000, 'ACT/ACT'))")}
    assert kinds == {"integer"}
    assert db.execute("select typeof(yrdif(1, 2000))").fetchone()[0] == "real"


def test_nulls_missing_results_and_bad_arguments(db):
    one = lambda sql: db.execute(sql).fetchone()[0]
    assert one("select yrdif('2000-02-29', '2010-02-28')") == 10.0
    assert one("select datdif(date('2001-01-31'), '2001-02-28', '30/360')") == 28
    assert one("select datdif(null, 1, 'ACT/ACT')") is None
    assert one("select datdif(1, 2, null)") is None
    assert one("select datdif(1, 2, 'A/365')") is None, "a basis that names no basis"
    assert one("select yrdif('1500-01-01', 1)") is None, "out of range"
    assert one("select datdif('4000-02-28', '4000-03-01', 'ACT/ACT')") == 2
    for sql, text in [("select yrdif(x'00', 1)", "not a BLOB"),
                      ("select datdif(1, 2, x'41')", "not a BLOB"),
                      ("select yrdif('2021-02-30', 1)", "argument 1: no such date in the host calendar: '2021-02-30'"),
                      ("select yrdif('4000-02-29', 1)", "no such date in the host calendar"),
                      ("select yrdif(1, 'x' || zeroblob(1000000))", r"argument 2: not a date \(yyyy-mm-dd\) or date value: 'x\\x00"),
                      ("select yrdif(1, char(27) || '[2J')", r"'\\x1b\[2J'"),
                      ("select datdif(1, 2)", "wrong number of arguments"),
                      ("select yrdif(1)", "wrong number of arguments")]:
        with pytest.raises(sqlite3.OperationalError, match=text):
            db.execute(sql).fetchone()
    huge = "ACT/ACT" + " " * 2_000_000
    assert db.execute("select datdif(1, 400, ?)", (huge,)).fetchone()[0] == 399


def test_deterministic_functions_serve_an_index(db):
    db.execute("create table t (s, e)")
    db.execute("create index by_age on t (yrdif(s, e, 'AGE'))")  # needs a deterministic function
    db.execute("insert into t values ('2000-01-01', '2010-01-01')")
    assert db.execute("select count(*) from t where yrdif(s, e, 'AGE') = 10").fetchone()[0] == 1


@pytest.mark.skipif(shutil.which("sqlite3") is None, reason="no sqlite3 shell")
def test_the_sqlite3_shell_loads_it(tmp_path):
    path = tmp_path / "shell.db"
    script = (f".load {EXTENSION}\n"
              "create table t (s, e, b);\n"
              "insert into t values ('2019-07-01', '2020-07-01', 'ACT/ACT'), (0, 100000, 'ACT/360');\n"
              "select yrdif(s, e, b), datdif(s, e, b) from t;\n")
    out = subprocess.run(["sqlite3", str(path)], input=script, capture_output=True, text=True, check=True)
    assert out.stdout.split() == ["1.00137734860394|366", "277.777777777778|100000"], out.stdout


def test_texts_that_date_reads_and_empty_cells(db):
    one = lambda sql, *args: db.execute(sql, args).fetchone()[0]
    for text in ["2024-01-05", "2024-01-05 10:00:00", "2024-01-05T10:00", "2024-01-05 10:00:00.123",
                 "2024-01-05 10:00Z", "2024-01-05 10:00:00+01:00", "  2024-01-05", "2024-01-05 "]:
        # The date that SQLite's date() gives, wherever date() reads the text.
        assert one("select datdif(?, date(?), 'ACT/ACT')", text, text.strip()) == 0, text
    assert one("select datdif('2024-01-05 23:30-05:00', '2024-01-06', 'ACT/ACT')") == 0
    assert one("select date('2024-01-05 23:30-05:00')") == "2024-01-06"
    assert one("select yrdif('', 1)") is None and one("select yrdif_cause('', 1)") == "date missing"
    assert one("select datdif(1, 2, '')") is None and one("select datdif_cause(1, 2, '')") == "basis missing"
    assert one("select datdif_cause(1, 2, null)") == "basis missing"
    assert one("select yrdif_cause(null, 1)") == "date missing"
    assert one("select yrdif_cause(1, 2)") is None
    assert one("select datdif_cause(1, 2, 'A/365')") == "basis names no basis"
    assert one("select yrdif_cause('1500-01-01', 1)") == "date out of range (1582-01-01 to 20000-12-31)"
    assert one("select datemodules_notices()") is None


@pytest.mark.skipif(shutil.which("sqlite3") is None, reason="no sqlite3 shell")
def test_import_with_an_index_on_the_expression_keeps_every_row(tmp_path):
    data = tmp_path / "loans.csv"
    data.write_text("id,start,maturity\n1,2024-01-15,2024-07-15\n2,,2024-05-31\n3,2000-02-29,2001-02-28\n")
    script = (f".load {EXTENSION}\n"
              "create table loans (id integer, start text, maturity text);\n"
              "create index by_days on loans (datdif(start, maturity, '30/360'));\n"
              f".import --csv --skip 1 {data} loans\n"
              "select id, datdif(start, maturity, '30/360'), datdif_cause(start, maturity, '30/360') from loans;\n")
    out = subprocess.run(["sqlite3", str(tmp_path / "l.db")], input=script, capture_output=True, text=True)
    assert out.stdout.split() == ["1|180|", "2||date", "missing", "3|360|"], (out.stdout, out.stderr)


def test_skipped_modules_are_notices_and_no_functions_is_an_error(tmp_path):
    modules = tmp_path / "modules"
    modules.mkdir()
    shutil.copy(os.path.join(BUILD, "modules", "pelvoran.so"), modules / "pelvoran.so")
    (modules / "tashkume.so").write_bytes(open(os.path.join(BUILD, "modules", "tashkume.so"), "rb").read()[:5000])
    code = ("import sqlite3; c = sqlite3.connect(':memory:'); c.enable_load_extension(True)\n"
            f"c.load_extension({EXTENSION!r})\n"
            "print(c.execute('select datemodules_notices()').fetchone()[0])\n"
            "print(c.execute('select yrdif(0, 366, \\'ACT/ACT\\')').fetchone()[0])\n")
    env = dict(os.environ, DATEMODULES_MODULES=str(modules))
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
    assert out.returncode == 0, out.stderr
    assert "tashkume.so: cannot load: truncated" in out.stdout and out.stdout.split()[-1] == "1.0"
    empty = tmp_path / "empty"
    empty.mkdir()
    env["DATEMODULES_MODULES"] = str(empty)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
    assert out.returncode != 0 and f"datemodules: no functions: {empty}: no modules" in out.stderr


def resident_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def test_many_connections_keep_memory_steady():
    def connect_and_close():
        con = sqlite3.connect(":memory:")
        con.enable_load_extension(True)
        con.load_extension(EXTENSION)
        con.execute("select yrdif(0, 366, 'ACT/ACT')").fetchone()
        con.close()
    for _ in range(2000):
        connect_and_close()
    before = resident_kib()
    for _ in range(30000):
        connect_and_close()
    assert resident_kib() - before < 1024, "KiB grown over 30,000 connections"
