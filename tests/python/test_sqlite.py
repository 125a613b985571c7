"""The SQLite extension, loaded by Python's sqlite3 and by the sqlite3 shell,
on a database file, against the C interface."""
import math
import shutil
import sqlite3
import subprocess

import numpy as np
import pytest

from conftest import BASES, EXTENSION, random_dates, same_bits


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
                      ("select yrdif('2021-02-30', 1)", "not an ISO date"),
                      ("select yrdif('4000-02-29', 1)", "not an ISO date"),
                      ("select yrdif(1, 'x' || zeroblob(1000000))", "not an ISO date"),
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
