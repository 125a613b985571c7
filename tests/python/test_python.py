"""The Python package against the C interface, and the kinds of input it takes."""
import concurrent.futures
import datetime
import io
import os
import shutil
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import datemodules
from conftest import BASES, BUILD, random_dates, same_bits


@pytest.mark.parametrize("name", ["YRDIF", "DATDIF"])
def test_arrays_match_the_c_interface_bit_for_bit(capi, name):
    f = getattr(datemodules, name.lower())
    for code, basis in enumerate(BASES[name]):
        start, end = random_dates(100 * code + len(name))
        got = f(start, end, basis) if basis is not None else f(start, end, None)
        want = np.array([capi.eval(name, s, e, basis) for s, e in zip(start, end)])
        assert same_bits(got, want), (name, basis)


def test_civil_dates_go_through_the_host_calendar(capi):
    rng = np.random.default_rng(5)
    days = rng.integers(-138061, 6589336, 20000).astype(np.float64)
    iso = [capi.iso(d) for d in days]
    # ISO texts, datetime64 of several units, datetime.date, pandas Timestamps
    # and strings all give the date values they name.
    assert same_bits(datemodules.date_values(iso), days)
    in_numpy = np.array([t for t in iso if len(t) == 10], dtype="M8[D]")
    expected = datemodules.date_values([str(t) for t in in_numpy])
    for unit in ["D", "h", "s", "ms"]:
        assert same_bits(datemodules.date_values(in_numpy.astype(f"M8[{unit}]")), expected), unit
    dates = [datetime.date.fromisoformat(t) for t in iso if len(t) == 10 and t >= "0001"]
    assert same_bits(datemodules.date_values(dates), datemodules.date_values([d.isoformat() for d in dates]))
    # After 4000-02-28 the civil date is kept: the host calendar has no 29 February 4000.
    assert datemodules.datdif(np.datetime64("4000-02-28"), np.datetime64("4000-03-01"), "ACT/ACT") == 2.0
    assert np.isnan(datemodules.yrdif(np.datetime64("4000-02-29"), 0))
    assert datemodules.date_values("4000-03-01") - datemodules.date_values("4000-02-28") == 1


def test_scalars_missing_values_and_broadcasting():
    assert datemodules.yrdif("2000-02-29", "2010-02-28") == 10.0
    assert isinstance(datemodules.yrdif(1.0, 2.0), np.float64)
    assert datemodules.datdif(datetime.date(2001, 1, 31), "2001-02-28", "30/360") == 28.0
    for missing in [None, float("nan"), np.nan, pd.NaT, pd.NA, np.datetime64("NaT")]:
        assert np.isnan(datemodules.yrdif(missing, 1.0)), missing
    assert np.isnan(datemodules.datdif(1.0, 2.0, "A/365"))
    assert same_bits(datemodules.yrdif(pd.array([14610.0, None], dtype="Float64"), 14976.0), [1.0, np.nan])
    got = datemodules.datdif([[0.0], [1.0]], [10.0, 20.0, 30.0], "ACT/360")
    assert got.shape == (2, 3) and got[1, 2] == 29.0
    mixed = datemodules.yrdif(14610.0, 14976.0, ["AGE", "ACT/360", None, "nonsense"])
    assert same_bits(mixed, [1.0, 366 / 360, np.nan, np.nan])


def test_pandas_keeps_the_index():
    s = pd.Series(pd.to_datetime(["2000-01-01", "2001-06-30", None]), index=["a", "b", "c"])
    got = datemodules.datdif(s, "2002-01-01", "ACT/360")
    assert isinstance(got, pd.Series) and list(got.index) == ["a", "b", "c"]
    assert got["a"] == 731.0 and np.isnan(got["c"])
    index = pd.DatetimeIndex(["2000-01-01", "2010-01-01"])
    assert list(datemodules.yrdif(index, "2020-01-01", "ACT/ACT").index) == list(index)


@pytest.mark.parametrize("call, error, text", [
    (lambda: datemodules.datdif(1, 2, None), TypeError, "basis is needed"),
    (lambda: datemodules.yrdif(1, 2, 5), TypeError, "basis must be a text"),
    (lambda: datemodules.yrdif({}, 1), TypeError, "not dict"),
    (lambda: datemodules.yrdif(True, 1), TypeError, "not bool"),
    (lambda: datemodules.yrdif(np.array([1 + 2j]), 1), TypeError, "complex"),
    (lambda: datemodules.yrdif([1, 2, 3], [1, 2]), ValueError, "do not broadcast"),
    (lambda: datemodules.yrdif("2021-02-30", 1, errors="raise"), ValueError, "start: no such date in the host calendar: '2021-02-30'"),
    (lambda: datemodules.yrdif(1, ["2021-01-01", "x\x1b"], errors="raise"), ValueError, "end at position 1: not a date (yyyy-mm-dd) or date value: 'x\\x1b'"),
    (lambda: datemodules.yrdif(1, 2, errors="ignore"), ValueError, "errors must be"),
    (lambda: datemodules.yrdif(1, 2, "ACT/ACT", errors="raise") + datemodules.yrdif(np.nan, 2, errors="raise"), ValueError, "missing result at position 0: date missing"),
    (lambda: datemodules.datdif(pd.Series([1.0, 2.0], index=["a", "b"]), 400, ["ACT/ACT", None], errors="raise"), ValueError, "position 1 (label 'b'): basis missing"),
    (lambda: datemodules.yrdif("x" * 100000, 1, errors="raise"), ValueError, "..."),
])
def test_wrong_types_and_lengths_raise_clear_errors(call, error, text):
    with pytest.raises(error, match=None) as e:
        call()
    assert text in str(e.value)


def test_bases_with_missing_values_give_a_missing_result_with_its_cause():
    bases = ["ACT/ACT", float("nan"), "30/360", None, pd.NA, ""]
    got = datemodules.yrdif([0] * 6, [400] * 6, bases)
    assert same_bits(got, [datemodules.yrdif(0, 400, "ACT/ACT"), np.nan, datemodules.yrdif(0, 400, "30/360"),
                         np.nan, np.nan, np.nan])
    causes = datemodules.yrdif_cause([0] * 6, [400] * 6, bases)
    assert list(causes) == [None, "basis missing", None, "basis missing", "basis missing", "basis missing"]
    # As pd.read_csv gives them: an empty cell is NaN.
    frame = pd.read_csv(io.StringIO("s,e,b\n0,400,ACT/ACT\n0,400,\n0,400,30/360\n"))
    assert same_bits(datemodules.datdif(frame.s, frame.e, frame.b),
                     [400, np.nan, datemodules.datdif(0, 400, "30/360")])
    assert list(datemodules.datdif_cause(frame.s, frame.e, frame.b)) == [None, "basis missing", None]
    # The scalar None leaves the basis out: AGE for YRDIF, refused for DATDIF.
    assert datemodules.yrdif("2000-02-29", "2010-02-28", None) == 10.0
    # Many distinct bases, each its own text.
    many = [f"ACT/365 {i}" for i in range(8000)] + [None]
    assert same_bits(datemodules.datdif(0, 400, many), [400.0] * 8000 + [np.nan])


def test_the_civil_date_in_the_values_own_time_zone():
    ts = pd.Timestamp("2024-01-01 23:30", tz="US/Eastern")
    want = datemodules.date_values("2024-01-01")
    forms = [ts, [ts], np.array([ts], dtype=object), pd.Series([ts]), pd.DatetimeIndex([ts]),
             ts.to_pydatetime(), [ts.to_pydatetime()]]
    for form in forms:
        got = datemodules.date_values(form)
        assert np.all(np.asarray(got) == want), form
        assert np.all(np.asarray(datemodules.datdif(form, "2024-01-02", "ACT/ACT")) == 1.0), form
    series = pd.Series(pd.date_range("2023-03-11 22:00", periods=200, freq="37min", tz="Europe/Berlin"))
    assert same_bits(datemodules.date_values(series),
                     datemodules.date_values([d.isoformat() for d in series.dt.date]))


def test_the_edges_of_every_datetime64_unit():
    assert datemodules.date_values(pd.Timestamp.min) == datemodules.date_values("1677-09-21")
    assert datemodules.date_values(pd.Timestamp.max) == datemodules.date_values("2262-04-11")
    edges = pd.Series([pd.Timestamp.min, pd.Timestamp.max, pd.NaT])
    assert same_bits(datemodules.date_values(edges),
                     [datemodules.date_values("1677-09-21"), datemodules.date_values("2262-04-11"), np.nan])
    counts = np.array([-1, 0, 1, np.iinfo(np.int64).max, np.iinfo(np.int64).min + 1])
    for unit in ["Y", "M", "W", "D", "h", "m", "s", "ms", "us", "ns", "ps", "fs", "as"]:
        a = counts.view(f"M8[{unit}]") if unit not in "YMW" else np.array([-1, 0, 1], dtype=f"M8[{unit}]")
        got = datemodules.date_values(a)
        if unit not in ("ps", "fs", "as"):
            small = a[:3]
            want = datemodules.date_values([str(np.datetime64(x, "D")) for x in small])
            assert same_bits(got[:3], want), unit
        else:  # a day has more ps, fs and as than the first counts reach
            assert list(got[:3]) == list(datemodules.date_values(["1969-12-31", "1970-01-01", "1970-01-01"])), unit
        assert not np.any(np.isnan(got[:3])), unit
    assert np.isnan(datemodules.date_values(np.array(["NaT"], dtype="M8[ps]")))[0]


def test_series_are_aligned_on_their_labels():
    a = pd.Series([0.0, 100.0, 200.0], index=["x", "y", "z"])
    b = pd.Series([366.0, 466.0], index=["z", "y"])
    got = datemodules.datdif(a, b, "ACT/ACT")
    assert list(got.index) == list((a - b).index)
    assert got["y"] == 366.0 and got["z"] == 166.0 and np.isnan(got["x"])
    assert list(datemodules.datdif_cause(a, b, "ACT/ACT").index) == ["x", "y", "z"]
    # A Series with an array: by position, and the lengths must match.
    assert list(datemodules.datdif(a, [366.0, 366.0, 366.0], "ACT/ACT")) == [366.0, 266.0, 166.0]
    with pytest.raises(ValueError, match="do not broadcast"):
        datemodules.datdif(a, [1.0, 2.0], "ACT/ACT")
    # A basis Series aligns too.
    bases = pd.Series(["30/360", "ACT/360"], index=["z", "x"])
    assert list(datemodules.datdif_cause(a, 400.0, bases)) == [None, "basis missing", None]


def test_nan_among_texts_stays_missing():
    got = datemodules.yrdif(["2000-01-01", float("nan"), None, "", "."], "2001-01-01")
    assert got[0] == 1.0 and np.all(np.isnan(got[1:]))
    assert list(datemodules.yrdif_cause(["2000-01-01", float("nan")], "2001-01-01")) == [None, "date missing"]
    mixed = datemodules.date_values(["2000-01-01", 14610.0, datetime.date(2000, 1, 1), np.nan, pd.NaT, b"2000-01-01"])
    assert same_bits(mixed, [14610.0] * 3 + [np.nan] * 2 + [14610.0])


def test_no_copy_of_contiguous_float64_input():
    start = np.arange(10.0)
    assert datemodules.date_values(start) is start or np.shares_memory(datemodules.date_values(start), start)


def run_python(code, env=None, cwd=None):
    full = dict(os.environ, **(env or {}))
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=full, cwd=cwd)


def test_library_variable_and_a_symlinked_package(tmp_path):
    out = run_python("import datemodules", {"DATEMODULES_LIBRARY": str(tmp_path / "nothing.so")})
    assert out.returncode != 0 and "ImportError" in out.stderr and "DATEMODULES_LIBRARY" in out.stderr
    # The package reached through a symbolic link loads the library of its real place.
    link = tmp_path / "site"
    link.mkdir()
    (link / "datemodules").symlink_to(os.path.join(BUILD, "python", "datemodules"))
    code = ("import datemodules, datemodules._library as l, os; "
            "print(os.path.realpath(l.lib._name)); print(datemodules.yrdif(0, 366, 'ACT/ACT'))")
    out = run_python(code, {"PYTHONPATH": str(link)}, cwd=str(tmp_path))
    assert out.returncode == 0, out.stderr
    lines = out.stdout.split()
    assert lines[0] == os.path.realpath(os.path.join(BUILD, "lib", "libdatemodules.so.1"))
    assert lines[1] == "1.0"


def test_skipped_modules_are_warnings_and_missing_functions_say_why(tmp_path):
    modules = tmp_path / "modules"
    modules.mkdir()
    shutil.copy(os.path.join(BUILD, "modules", "pelvoran.so"), modules / "pelvoran.so")
    data = open(os.path.join(BUILD, "modules", "tashkume.so"), "rb").read()
    (modules / "tashkume.so").write_bytes(data[:5000])
    code = ("import warnings; warnings.simplefilter('always')\n"
            "import datemodules\n"
            "print(datemodules.yrdif(0, 366, 'ACT/ACT'))\n"
            "try:\n    datemodules.datdif\nexcept AttributeError as e:\n    print(e)\n")
    out = run_python(code, {"DATEMODULES_MODULES": str(modules),
                            "PYTHONPATH": os.path.join(BUILD, "python")})
    assert out.returncode == 0, out.stderr
    assert "DatemodulesWarning" in out.stderr and "tashkume.so: cannot load: truncated" in out.stderr
    assert out.stdout.splitlines()[0] == "1.0"
    assert "'datdif'" in out.stdout and "tashkume.so: cannot load: truncated" in out.stdout


def test_threads_share_the_modules():
    start, end = np.arange(0.0, 200000.0), np.arange(366.0, 200366.0)
    want = datemodules.yrdif(start, end, "ACT/ACT")
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda _: datemodules.yrdif(start, end, "ACT/ACT"), range(8)))
    assert all(same_bits(r, want) for r in results)


def test_the_type_stub_is_the_package_as_it_is():
    """The stub that type checkers read names what the package has, with the
    same parameters, and a function and its cause for each function of the
    modules."""
    import ast
    import inspect
    stub = os.path.join(os.path.dirname(datemodules.__file__), "__init__.pyi")
    tree = ast.parse(open(stub, encoding="utf-8").read())
    declared = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            declared[node.name] = node
        elif isinstance(node, ast.AnnAssign):
            declared[node.target.id] = node
    assert set(declared) == set(datemodules.__all__)
    for name in datemodules.functions():
        assert {name.lower(), name.lower() + "_cause"} <= set(declared), name
    for name, node in declared.items():
        if not isinstance(node, ast.FunctionDef):
            continue
        params = list(inspect.signature(getattr(datemodules, name)).parameters.values())
        assert [a.arg for a in node.args.args] == [p.name for p in params], name
        with_default = [p.name for p in params if p.default is not inspect.Parameter.empty]
        assert [a.arg for a in node.args.args][len(node.args.args) - len(node.args.defaults):] \
            == with_default, name
