"""Explanations on every face: the fixtures of tests/explain through modhost,
Python, SQLite and (with a server) PostgreSQL, the same text and JSON
everywhere; tables of explanations aligned with their input and holding the
results of yrdif and datdif bit for bit."""
import json
import math
import os
import sqlite3
import struct
import subprocess

import numpy as np
import pandas as pd
import pytest

import datemodules
from conftest import BUILD, EXTENSION

FIXTURES = os.path.join(os.path.dirname(__file__), "..", "explain")
MODHOST = os.path.join(BUILD, "bin", "modhost")


def bits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def fixtures():
    with open(os.path.join(FIXTURES, "cases.tsv"), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            name, function, start, end, *basis = line.split("\t")
            with open(os.path.join(FIXTURES, name + ".txt"), encoding="utf-8") as t, \
                    open(os.path.join(FIXTURES, name + ".json"), encoding="utf-8") as j:
                yield name, function, start, end, (basis[0] if basis else None), t.read(), \
                    j.read().rstrip("\n")


CASES = list(fixtures())


@pytest.mark.parametrize("name,function,start,end,basis,text,js", CASES, ids=[c[0] for c in CASES])
def test_fixtures_on_every_face(name, function, start, end, basis, text, js):
    args = [function, start, end] + ([basis] if basis is not None else [])
    out = subprocess.run([MODHOST, "explain", "--", *args], capture_output=True, text=True)
    assert out.returncode == 0 and out.stdout == text, out.stderr
    out = subprocess.run([MODHOST, "explain", "--json", "--", *args], capture_output=True,
                         text=True)
    assert out.stdout == js + "\n"

    e = datemodules.explain(start, end, basis, function)
    assert str(e) == text
    assert e == json.loads(js)
    assert e.function == function and e.same_bits is True

    db = sqlite3.connect(":memory:")
    db.enable_load_extension(True)
    db.load_extension(EXTENSION)
    sql = f"SELECT {function.lower()}_explain(?, ?{', ?' if basis is not None else ''})"
    assert db.execute(sql, args[1:]).fetchone()[0] == js


def test_the_parts_are_attributes_and_missing_results_say_why():
    e = datemodules.explain("2019-07-01", "2020-07-01", "ACT/ACT")
    assert e.count.common_days == 184 and e.count.leap_days == 182
    assert type(datemodules.explain(0, 366, "ACT/ACT", "DATDIF").result) is float
    assert [p.year_length for p in e.count.parts] == [365, 366]
    assert e.basis.rules[-1].decided and e.basis.names == "ACT/ACT"
    assert repr(e) == "<Explanation YRDIF(2019-07-01, 2020-07-01, 'ACT/ACT') = 1.0013773486039375>"
    m = datemodules.explain("2019-07-01", None, "30/360", "datdif")
    assert m.missing == {"test": "end date", "cause": "date missing", "status": 120836}
    assert m.result is None and m.count is None
    assert datemodules.explain(0, 1, "AGE", "DATDIF").missing.cause == "basis names no basis"
    # The default basis is AGE, and None leaves it out: both count in AGE.
    assert datemodules.explain(0, 400).basis.names == "AGE"
    assert datemodules.explain(0, 400, None).basis.given == "left out"
    with pytest.raises(TypeError, match="DATDIF needs a basis"):
        datemodules.explain(0, 1, None, "DATDIF")
    with pytest.raises(ValueError, match="no function 'NOPE'"):
        datemodules.explain(0, 1, "ACT/ACT", "NOPE")
    with pytest.raises(ValueError, match="not a date"):
        datemodules.explain("yesterday", 1, "ACT/ACT")
    with pytest.raises(AttributeError):
        e.no_such_part


@pytest.mark.parametrize("function,basis", [("YRDIF", "ACT/ACT"), ("YRDIF", "AGE"),
                                            ("YRDIF", "30/360"), ("DATDIF", "ACT/365"),
                                            ("DATDIF", "30/360")])
def test_tables_of_explanations_hold_the_results(function, basis):
    rng = np.random.default_rng(5)
    n = 3000
    start = rng.integers(-138061, 6589336, n).astype(float)
    end = np.where(rng.random(n) < 0.5, start + rng.integers(-800, 800, n), rng.integers(-138061, 6589336, n))
    start[::97] = np.nan
    labels = [f"r{i}" for i in range(n)]
    s = pd.Series(start, index=labels)
    t = pd.Series(end, index=labels)
    frame = datemodules.explain(s, t, basis, function)
    f = getattr(datemodules, function.lower())
    want = f(s, t, basis)
    assert list(frame.index) == labels
    assert frame["same_bits"].all()
    got = frame["result"].to_numpy(dtype=float)
    assert all((math.isnan(a) and math.isnan(b)) or bits(a) == bits(b) for a, b in zip(got, want))
    assert (frame["cause"].notna() == np.isnan(want.to_numpy())).all()
    counted = frame[frame["failed_test"].isna()]
    if basis in ("ACT/ACT", "AGE"):
        assert (counted["common_days"] + counted["leap_days"] == counted["days"]).all()
    assert (frame.loc[np.isnan(start), "failed_test"] == "start date").all()
    assert (frame.loc[np.isnan(start), "cause"] == "date missing").all()


def test_tables_keep_the_order_and_labels_of_their_input():
    s = pd.Series(["2021-02-28", "2020-02-28"], index=[10, 3])
    t = pd.Series(["2020-03-31", "2021-03-31"], index=[3, 10])
    # Aligned on the labels as pandas arithmetic aligns them, like datdif itself.
    frame = datemodules.explain(s, t, "30/360", "DATDIF")
    assert list(frame.index) == list(datemodules.datdif(s, t, "30/360").index) == [3, 10]
    assert list(frame["days"]) == [33, 30]
    assert list(frame["formula"]) == ["33 days", "30 days"]
    same = datemodules.explain(s, s.to_numpy(), "ACT/ACT", "DATDIF")
    assert list(same.index) == [10, 3] and list(same["days"]) == [0, 0]
    bases = datemodules.explain(["2019-07-01"] * 3, "2020-07-01", ["ACT/ACT", None, "x"])
    assert list(bases["cause"]) == [None, "basis missing", "basis names no basis"]
    assert len(datemodules.explain([], [], "ACT/ACT")) == 0


@pytest.mark.skipif(not os.environ.get("PGHOST"), reason="no PostgreSQL server (PGHOST)")
def test_postgres_gives_the_fixtures():
    database = "datemodules_explain"
    subprocess.run(["psql", "-X", "-q", "-d", "postgres", "-c", f"DROP DATABASE IF EXISTS {database}"],
                   check=True)
    subprocess.run(["psql", "-X", "-q", "-d", "postgres", "-c", f"CREATE DATABASE {database}"],
                   check=True)
    try:
        subprocess.run(["psql", "-X", "-q", "-d", database, "-c", "CREATE EXTENSION datemodules"],
                       check=True)
        for name, function, start, end, basis, _, js in CASES:
            args = [start, end] + ([basis] if basis is not None else [])
            literals = ", ".join("'" + a.replace("'", "''") + "'::text" for a in args)
            out = subprocess.run(["psql", "-X", "-q", "-At", "-d", database, "-c",
                                  f"SELECT {function.lower()}_explain({literals})"],
                                 capture_output=True, text=True, check=True)
            assert out.stdout.rstrip("\n") == js, name
    finally:
        subprocess.run(["psql", "-X", "-q", "-d", "postgres", "-c",
                        f"DROP DATABASE {database} WITH (FORCE)"], check=True)
