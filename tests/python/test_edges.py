"""Python's values at their edges: the table of hostile values
(tests/cases/hostile.tsv) in every form Python holds them, in either byte
order, masked arrays, frames, duplicate labels, missing and bytes bases, and
module folders with hostile file names."""
import datetime
import os
import re
import shutil
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import datemodules
from conftest import BUILD

HOSTILE = os.path.join(os.path.dirname(__file__), "..", "cases", "hostile.tsv")
END = "2020-01-01"


def hostile_cases():
    rows = []
    with open(HOSTILE, encoding="utf-8") as f:
        lines = [l.rstrip("\n") for l in f if not l.startswith("#") and l.strip("\n")]
    for line in lines[1:]:
        kind, value, cause = line.split("\t")
        value = re.sub(r"\\x([0-9a-f]{2})", lambda m: chr(int(m.group(1), 16)), value)
        rows.append((kind, value, None if cause == "none" else cause))
    return rows


def forms(kind, value):
    """The Python forms of one value of the table: (label, value)."""
    if kind == "missing":
        return [("None", None), ("nan", float("nan")), ("np.nan", np.float64("nan")),
                ("NaT", pd.NaT), ("pd.NA", pd.NA), ("datetime64 NaT", np.datetime64("NaT")),
                ("empty text", "")]
    if kind == "text":
        out = [("str", value), ("list", [value]), ("object array", np.array([value], dtype=object))]
        if "\0" not in value[-1:]:  # numpy strips trailing NULs: only texts that end otherwise
            out += [("<U", np.array([value], dtype="<U40")), (">U", np.array([value], dtype=">U40"))]
        raw = value.encode("utf-8", errors="surrogateescape") if all(ord(c) < 0x80 for c in value) \
            else value.encode("latin-1")
        out += [("bytes", raw)]
        return out
    if kind == "civil":
        y, m, d = map(int, value.split("-"))
        out = [(">M8[D]", np.array([value], dtype=">M8[D]")), ("<M8[D]", np.array([value], dtype="<M8[D]")),
               ("M8[s] scalar", np.datetime64(value, "s")),
               # datetime.date has 4000-02-29 (proleptic Gregorian); the host calendar does not
               ("date", datetime.date(y, m, d))]
        return out
    if kind == "seconds":
        v = int(value)
        return [("<M8[s]", np.array([v], dtype="<i8").view("<M8[s]")),
                (">M8[s]", np.array([v], dtype=">i8").view(">M8[s]"))]
    return []  # days since 1970 as doubles: R's Date


def as_cause(x):
    x = np.asarray(x, dtype=object).reshape(-1)
    return x[0]


@pytest.mark.parametrize("kind,value,cause", hostile_cases())
def test_every_hostile_value_has_its_true_cause(kind, value, cause):
    for label, v in forms(kind, value):
        got = as_cause(datemodules.yrdif_cause(v, END, "ACT/ACT"))
        assert got == cause, (label, value)
        result = np.asarray(datemodules.yrdif(v, END, "ACT/ACT")).reshape(-1)[0]
        assert np.isnan(result) == (cause is not None), (label, value)
        if cause is not None and kind == "text" and cause not in ("date missing",):
            with pytest.raises(ValueError, match=re.escape(cause)):
                datemodules.yrdif(v, END, "ACT/ACT", errors="raise")


def test_a_nul_inside_a_text_is_kept_in_the_message():
    with pytest.raises(ValueError, match=re.escape(r"'2019-12-31\x00junk'")):
        datemodules.yrdif("2019-12-31\0junk", END, errors="raise")


def test_either_byte_order_reads_the_same_dates():
    days = np.arange(-140000, 6500000, 997)
    for unit in ("D", "s", "ns"):
        if unit == "ns":
            days = days[(days > -100000) & (days < 100000)]
        little = (days.astype("<i8") * {"D": 1, "s": 86400, "ns": 86400 * 10**9}[unit]).view(f"<M8[{unit}]")
        big = little.astype(f">M8[{unit}]")
        a, b = datemodules.yrdif(little, END, "ACT/ACT"), datemodules.yrdif(big, END, "ACT/ACT")
        np.testing.assert_array_equal(a, b)
    texts = np.array(["2020-06-30", "1999-12-31", "x"], dtype="<U12")
    np.testing.assert_array_equal(datemodules.datdif_cause(texts, END, "ACT/ACT"),
                                  datemodules.datdif_cause(texts.astype(">U12"), END, "ACT/ACT"))
    floats = np.array([0.0, 21915.5], dtype=">f8")
    np.testing.assert_array_equal(datemodules.yrdif(floats, END), datemodules.yrdif([0.0, 21915.5], END))


def test_masked_values_are_missing_dates():
    for data in (np.array(["2019-01-01", "not a date", "2019-06-30"]),
                 np.array(["2019-01-01", "2019-03-01", "2019-06-30"], dtype="M8[D]"),
                 np.array([21550.0, 1e300, 21730.0]),
                 np.array([21550, 0, 21730]),
                 np.array(["2019-01-01", None, "2019-06-30"], dtype=object)):
        masked = np.ma.masked_array(data, mask=[False, True, False])
        causes = datemodules.yrdif_cause(masked, END, "ACT/ACT")
        assert list(causes) == [None, "date missing", None], data
        assert np.isnan(datemodules.yrdif(masked, END, "ACT/ACT")[1])


def test_frames_are_refused_and_duplicate_labels_say_why():
    frame = pd.DataFrame({"s": ["2019-01-01"], "e": [END]})
    with pytest.raises(TypeError, match="DataFrame"):
        datemodules.yrdif(frame, END)
    s = pd.Series(["2019-01-01", "2019-02-01"], index=["a", "a"])
    # Equal indexes with duplicates pair element by element, as e - s does.
    got = datemodules.datdif(s, pd.Series([END, END], index=["a", "a"]), "ACT/ACT")
    assert list(got.index) == ["a", "a"] and list(got) == [365.0, 334.0]
    with pytest.raises(ValueError, match="unique labels"):
        datemodules.datdif(s, pd.Series([END], index=["b"]), "ACT/ACT")


def test_missing_and_bytes_bases():
    for missing in (np.nan, float("nan"), pd.NA):
        assert datemodules.datdif_cause(0, 1, missing) == "basis missing"
        assert datemodules.datdif_cause([0], [1], [missing])[0] == "basis missing"
    assert datemodules.datdif(0, 366, b"ACT/ACT") == datemodules.datdif(0, 366, "ACT/ACT") == 366
    assert datemodules.datdif([0], [366], [b"ACT/365"])[0] == 366


@pytest.mark.parametrize("column", [
    ["ACT/ACT", "30/360", "act/365", "AGE", "", "nonsense", "ACT/360" * 40],
    ["ACT\0/ACT", "30/360", "ACT/ACT"],        # a NUL of a basis's own
    ["ACT/ACT", None, float("nan"), b"30/360", "ACT/365"],
    np.array(["ACT/ACT", "30/360", "ACT/360"]),  # fixed-width texts
    ["caf\xe9", "\x1b[2J", "ACT/\udcff"],       # not a basis, however written
])
def test_a_column_of_bases_is_read_as_each_basis_alone(column):
    starts = np.array(["2019-07-01", "2020-02-29", "1999-12-31", "2000-01-31", "2010-05-05",
                       "2016-02-28", "2001-01-01"][:len(column)], dtype="datetime64[D]")
    together = datemodules.yrdif_cause(starts, "2021-03-01", column)
    for i, basis in enumerate(column):
        # None alone is a basis left out (YRDIF's default); in a column, a missing one.
        basis = float("nan") if basis is None else basis
        alone = datemodules.yrdif_cause(starts[i], "2021-03-01", basis)
        assert together[i] == alone, (i, basis)
        got, want = datemodules.yrdif(starts, "2021-03-01", column)[i], \
            datemodules.yrdif(starts[i], "2021-03-01", basis)
        assert (got != got and want != want) or got == want, (i, basis)


def test_coerce_gives_the_cause_and_raise_raises():
    got = datemodules.yrdif(["x", "2020-01-01"], "2021-01-01", "ACT/ACT")
    assert np.isnan(got[0]) and got[1] == 1.0
    assert list(datemodules.yrdif_cause(["x", "4000-02-29"], "2021-01-01")) == [
        "not a date (yyyy-mm-dd) or date value", "no such date in the host calendar"]
    with pytest.raises(ValueError, match="start at position 0: not a date"):
        datemodules.yrdif(["x", "2020-01-01"], "2021-01-01", errors="raise")


def test_warnings_of_hostile_file_names_are_safe_text(tmp_path):
    modules = tmp_path / "modules"
    modules.mkdir()
    for name in ("pelvoran.so", "tashkume.so"):
        shutil.copy(os.path.join(BUILD, "modules", name), modules / name)
    for name in (b"caf\xe9.so", b"\x1b]0;owned\x07\x1b[2J.so"):
        open(os.path.join(os.fsencode(str(modules)), name), "wb").close()
    code = ("import warnings; warnings.simplefilter('always')\n"
            "import datemodules\nprint(datemodules.datdif(0, 366, 'ACT/ACT'))\n")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True,
                         env=dict(os.environ, DATEMODULES_MODULES=str(modules),
                                  PYTHONPATH=os.path.join(BUILD, "python")))
    assert out.returncode == 0, out.stderr
    err = out.stderr.decode("utf-8")  # valid UTF-8, or this raises
    assert not re.search(r"[\x00-\x08\x0b-\x1f\x7f]", err), err
    assert r"caf\xe9.so" in err and r"\x1b]0;owned\x07\x1b[2J.so" in err
    assert out.stdout.split() == [b"366.0"]


def test_sqlite_gives_each_hostile_text_its_cause(tmp_path):
    import sqlite3
    from conftest import EXTENSION
    con = sqlite3.connect(":memory:")
    con.enable_load_extension(True)
    con.load_extension(EXTENSION)
    given = 0
    for kind, value, cause in hostile_cases():
        if kind == "missing":
            assert con.execute("select yrdif_cause(NULL, ?, 'ACT/ACT')", (END,)).fetchone()[0] == cause
            continue
        if kind != "text":
            continue
        raw = value.encode("utf-8", errors="surrogateescape") if all(ord(c) < 0x80 for c in value) \
            else value.encode("latin-1")
        # A text with invalid UTF-8 or a NUL goes in as SQLite keeps it: cast from a blob.
        query = "select yrdif_cause(cast(? as text), ?, 'ACT/ACT')"
        if cause in (None, "date missing", "date out of range (1582-01-01 to 20000-12-31)"):
            assert con.execute(query, (raw, END)).fetchone()[0] == cause, value
        else:
            given += 1
            with pytest.raises(sqlite3.OperationalError) as e:
                con.execute(query, (raw, END)).fetchone()
            message = str(e.value)
            assert cause in message and not re.search(r"[\x00-\x1f\x7f]", message), message
    assert given >= 8
