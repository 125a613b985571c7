"""The Python package against the C interface, and the kinds of input it takes."""
import datetime

import numpy as np
import pandas as pd
import pytest

import datemodules
from conftest import BASES, random_dates, same_bits


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
    assert same_bits(mixed, [1.0, 366 / 360, 1.0, np.nan])


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
    (lambda: datemodules.yrdif("2021-02-30", 1), ValueError, "not an ISO date"),
    (lambda: datemodules.yrdif("x" * 100000, 1), ValueError, "..."),
])
def test_wrong_types_and_lengths_raise_clear_errors(call, error, text):
    with pytest.raises(error, match=None) as e:
        call()
    assert text in str(e.value)
