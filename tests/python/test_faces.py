"""The table of evaluations (tests/cases/evaluations.tsv) through every face:
modhost call and batch, the SQLite extension, the Python package, against the
C interface: the same result bits and the same cause everywhere."""
import csv
import io
import math
import os
import re
import sqlite3
import struct
import subprocess

import numpy as np
import pytest

import datemodules
from conftest import BUILD, EXTENSION, evaluation_cases

CASES = evaluation_cases()
MODHOST = os.path.join(BUILD, "bin", "modhost")


def bits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def reference(capi, case):
    """The C interface on the date values that the texts name: (result, cause)."""
    start, _ = capi.date(case["start"])
    end, _ = capi.date(case["end"])
    basis = None if case["left_out"] or case["null_basis"] else case["basis"]
    return capi.eval_with_cause(case["function"], start, end, basis, null_basis=case["null_basis"])


def same(got, want):
    return (math.isnan(got) and math.isnan(want)) or bits(got) == bits(want)


def test_the_table_is_consistent_with_the_c_interface(capi):
    assert len(CASES) >= 40
    for case in CASES:
        if case["refused"]:
            reasons = [capi.date(case[k])[1] for k in ("start", "end")]
            assert case["refused"] in reasons, case
            continue
        result, cause = reference(capi, case)
        assert cause == case["cause"], case
        assert math.isnan(result) == (cause is not None), case


def test_modhost_call(capi):
    for case in CASES:
        args = [MODHOST, "call", case["function"], case["start"], case["end"]]
        if not case["left_out"]:
            args.append("" if case["null_basis"] else case["basis"])
        out = subprocess.run(args, capture_output=True, text=True)
        if case["refused"]:
            assert out.returncode == 2 and case["refused"] in out.stderr, (case, out.stderr)
            continue
        assert out.returncode == 0, (case, out.stderr)
        result, cause = reference(capi, case)
        if cause is None:
            assert same(float(out.stdout), result), (case, out.stdout)
        else:
            assert out.stdout.startswith(f"missing (status 120836): {cause}"), (case, out.stdout)


@pytest.mark.parametrize("function", ["YRDIF", "DATDIF"])
def test_modhost_batch(capi, function):
    cases = [c for c in CASES if c["function"] == function]
    text = io.StringIO()
    writer = csv.writer(text, lineterminator="\n")
    for c in cases:
        row = [c["start"], c["end"]]
        if not c["left_out"]:
            row.append("" if c["null_basis"] else c["basis"])
        writer.writerow(row)
    out = subprocess.run([MODHOST, "batch", function], input=text.getvalue(), capture_output=True,
                         text=True)
    rows = list(csv.reader(io.StringIO(out.stdout)))
    assert len(rows) == len(cases), out.stderr
    causes = {}
    for line, (c, row) in enumerate(zip(cases, rows), start=1):
        if c["refused"]:
            assert row[3] == "" and f"line {line}: field" in out.stderr and c["refused"] in out.stderr
            continue
        result, cause = reference(capi, c)
        if cause is None:
            assert same(float(row[3]), result), (c, row)
        else:
            assert row[3] == "", (c, row)
            causes[cause] = causes.get(cause, 0) + 1
    summary = ", ".join(f"{n} {cause}" for cause, n in causes.items())
    for cause, n in causes.items():
        assert f"{n} {cause}" in out.stderr, (summary, out.stderr)


@pytest.fixture
def db():
    con = sqlite3.connect(":memory:")
    con.enable_load_extension(True)
    con.load_extension(EXTENSION)
    con.enable_load_extension(False)
    yield con
    con.close()


def test_sqlite(db, capi):
    for case in CASES:
        name = case["function"].lower()
        args = [case["start"], case["end"]]
        if not case["left_out"]:
            args.append(None if case["null_basis"] else case["basis"])
        marks = ", ".join("?" * len(args))
        if case["refused"]:
            with pytest.raises(sqlite3.OperationalError, match=re.escape(case["refused"])):
                db.execute(f"select {name}({marks})", args).fetchone()
            continue
        got, cause = db.execute(f"select {name}({marks}), {name}_cause({marks})", args + args).fetchone()
        result, want_cause = reference(capi, case)
        assert cause == want_cause, case
        if want_cause is None:
            assert same(float(got), result), (case, got)
        else:
            assert got is None, case
        # Numbers are date values too: the same through REAL arguments.
        values = [capi.date(case["start"])[0], capi.date(case["end"])[0]]
        numbers = [None if math.isnan(v) else v for v in values] + args[2:]
        again = db.execute(f"select {name}_cause({marks})", numbers).fetchone()[0]
        assert again == want_cause, case


def test_python(capi):
    for function in ("YRDIF", "DATDIF"):
        cases = [c for c in CASES if c["function"] == function and not c["refused"]]
        f = getattr(datemodules, function.lower())
        cause_of = getattr(datemodules, function.lower() + "_cause")
        # One case at a time, scalars.
        for c in cases:
            basis = None if c["left_out"] or c["null_basis"] else c["basis"]
            if c["null_basis"]:
                got, cause = f(c["start"], c["end"], [None])[0], cause_of(c["start"], c["end"], [None])[0]
            else:
                got, cause = f(c["start"], c["end"], basis), cause_of(c["start"], c["end"], basis)
            result, want_cause = reference(capi, c)
            assert cause == want_cause, c
            assert same(got, result), (c, got, result)
        # All at once: arrays of texts, a basis each (None: a basis without a value).
        with_basis = [c for c in cases if not c["left_out"]]
        starts = np.array([c["start"] for c in with_basis])
        ends = [c["end"] for c in with_basis]
        bases = [None if c["null_basis"] else c["basis"] for c in with_basis]
        got, causes = f(starts, ends, bases), cause_of(starts, ends, bases)
        for c, g, k in zip(with_basis, got, causes):
            result, want_cause = reference(capi, c)
            assert k == want_cause and same(g, result), c
    # A refused text raises with errors="raise"; coerced (the default), it is a
    # missing result whose cause is the refusal.
    refused = [c for c in CASES if c["refused"]]
    for c in refused:
        f = getattr(datemodules, c["function"].lower())
        basis = None if c["left_out"] else c["basis"]
        with pytest.raises(ValueError, match=re.escape(c["refused"])):
            f(c["start"], c["end"], basis, errors="raise")
        assert np.isnan(f(c["start"], c["end"], basis)), c
        cause = getattr(datemodules, c["function"].lower() + "_cause")
        assert cause(c["start"], c["end"], basis) == c["refused"], c
