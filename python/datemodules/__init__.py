"""YRDIF and DATDIF of the pelvoran and tashkume modules, for numpy and pandas.

    >>> import datemodules
    >>> datemodules.yrdif("2000-02-29", "2010-02-28")
    10.0
    >>> datemodules.datdif(["2001-01-31"], ["2001-02-28"], "30/360")
    array([28.])

The results are the modules' own, bit for bit: the functions call them through
the host protocol, by way of the embedding library. Dates may be

- date values: days from 1960-01-01 (float or int, fractions allowed);
- ``datetime.date`` or ``datetime.datetime`` objects, numpy ``datetime64`` of
  any unit, pandas Timestamps: their civil date, through the host calendar
  (years divisible by 4000 are common years there: 4000-02-29 is missing);
- ISO texts ``yyyy-mm-dd``;
- None, NaN or NaT: missing;

as scalars, sequences, numpy arrays or pandas Series or Index, broadcast
against each other as numpy broadcasts. The basis is a text or an array of
texts. The result is a float64 array (a numpy float64 for scalars), or a
Series with the index of the first Series or Index among the dates; a missing
result, as a missing date or a basis that names no basis give, is NaN.
"""
import datetime as _datetime

import numpy as _np

from . import _library

__all__ = ["yrdif", "datdif", "date_values", "__version__"]
__version__ = _library.lib.dm_version().decode()

# The modules, opened when the package is imported (and so once in each
# process that imports it, Dask's workers among them).
_modules = _library.Library()


def _civil_to_values(years, months, days):
    shape = _np.shape(years)
    years = _np.ascontiguousarray(years, dtype=_np.int64)
    months = _np.ascontiguousarray(months, dtype=_np.int32)
    days = _np.ascontiguousarray(days, dtype=_np.int32)
    out = _np.empty(years.shape, dtype=_np.float64)
    _library.lib.dm_dates_from_civil(
        years.size, years.ctypes.data_as(_library.ctypes.POINTER(_library.ctypes.c_int64)),
        months.ctypes.data_as(_library.ctypes.POINTER(_library.ctypes.c_int32)),
        days.ctypes.data_as(_library.ctypes.POINTER(_library.ctypes.c_int32)),
        out.ctypes.data_as(_library._double_p))
    return out.reshape(shape)


def _datetime64_to_values(a):
    """datetime64 of any unit: the civil date of each, NaT missing."""
    nat = _np.isnat(a)
    day = a.astype("M8[D]")
    year = day.astype("M8[Y]")
    month = day.astype("M8[M]")
    years = year.astype(_np.int64) + 1970
    months = (month - year.astype("M8[M]")).astype(_np.int64) + 1
    days = (day - month.astype("M8[D]")).astype(_np.int64) + 1
    out = _civil_to_values(years, months, days)
    out[nat] = _np.nan
    return out


def _iso_to_value(text):
    value = _library.ctypes.c_double()
    raw = text.encode("utf-8", errors="surrogateescape")
    if _library.lib.dm_date_from_iso(raw, len(raw), _library.ctypes.byref(value)) != 0:
        shown = text if len(text) <= 40 else text[:40] + "..."
        raise ValueError(f"not an ISO date (yyyy-mm-dd) of the host calendar: {shown!r}")
    return value.value


def _scalar_to_value(x):
    if x is None:
        return _np.nan
    if isinstance(x, (bool, _np.bool_)):
        raise TypeError(f"a date must be a date value, a date or an ISO text, not {type(x).__name__}")
    if isinstance(x, (int, float, _np.integer, _np.floating)):
        return float(x)
    if isinstance(x, str):
        return _iso_to_value(x)
    if isinstance(x, _np.datetime64):
        return float(_datetime64_to_values(_np.asarray([x]))[0])
    if type(x).__name__ in ("NaTType", "NAType"):  # pandas.NaT, pandas.NA
        return _np.nan
    if isinstance(x, _datetime.date):  # datetime.datetime and pandas.Timestamp too
        return float(_civil_to_values([x.year], [x.month], [x.day])[0])
    raise TypeError(f"a date must be a date value, a date or an ISO text, not {type(x).__name__}")


def date_values(dates):
    """Dates of any accepted kind as a float64 array of date values (NaN: missing)."""
    a = _np.asarray(dates.to_numpy() if hasattr(dates, "to_numpy") else dates)
    kind = a.dtype.kind
    if kind in "fiu":
        return a.astype(_np.float64)
    if kind == "M":
        return _datetime64_to_values(a)
    if kind == "b":
        raise TypeError("a date must be a date value, a date or an ISO text, not bool")
    if kind in "OUS":
        flat = [_scalar_to_value(x.decode() if isinstance(x, bytes) else x) for x in a.ravel()]
        return _np.asarray(flat, dtype=_np.float64).reshape(a.shape)
    raise TypeError(f"a date must be a date value, a date or an ISO text, not {a.dtype}")


def _index_of(*args):
    for a in args:
        if hasattr(a, "index") and hasattr(a, "to_numpy") and not isinstance(a, _np.ndarray):
            return a.index  # a Series
        if type(a).__name__.endswith("Index") and hasattr(a, "to_numpy"):
            return a
    return None


def _basis_bytes(name, b):
    """A basis as the library takes it: bytes, or None to leave it out."""
    if b is None or (isinstance(b, float) and b != b):
        if name == "DATDIF":
            raise TypeError("datdif: the basis is needed (30/360, ACT/ACT, ACT/360 or ACT/365)")
        return None
    if isinstance(b, (str, _np.str_)):
        return str(b).encode("utf-8", errors="surrogateescape")
    raise TypeError(f"{name.lower()}: a basis must be a text, not {type(b).__name__}")


def _run(f, raw, starts, ends):
    """One call of the library over flat float64 arrays; the loop runs in C++
    with the GIL released."""
    s = _np.ascontiguousarray(starts, dtype=_np.float64)
    e = _np.ascontiguousarray(ends, dtype=_np.float64)
    r = _np.empty(s.shape, dtype=_np.float64)
    status = _library.lib.dm_eval_array(f, s.size, s.ctypes.data_as(_library._double_p),
                                        e.ctypes.data_as(_library._double_p), raw,
                                        len(raw) if raw else 0,
                                        r.ctypes.data_as(_library._double_p), None)
    if status != _library.DM_OK:
        raise RuntimeError(f"the embedding library refused the call (status {status})")
    return r


def _evaluate(name, start, end, basis):
    f = _modules.functions[name]
    starts, ends = date_values(start), date_values(end)
    bases = _np.asarray(basis.to_numpy() if hasattr(basis, "to_numpy") else basis, dtype=object)
    try:
        shape = _np.broadcast_shapes(starts.shape, ends.shape, bases.shape)
    except ValueError:
        raise ValueError(f"{name.lower()}: start, end and basis do not broadcast together: "
                         f"shapes {starts.shape}, {ends.shape}, {bases.shape}") from None
    starts = _np.broadcast_to(starts, shape).ravel()
    ends = _np.broadcast_to(ends, shape).ravel()
    if bases.ndim == 0:  # one basis for all: one call
        out = _run(f, _basis_bytes(name, bases[()]), starts, ends)
    else:  # a call per distinct basis
        bases = _np.broadcast_to(bases, shape).ravel()
        out = _np.empty(starts.shape, dtype=_np.float64)
        for b in set(bases.tolist()):
            mask = bases == b if b is not None else _np.equal(bases, None)
            out[mask] = _run(f, _basis_bytes(name, b), starts[mask], ends[mask])
    # The host's missing value is a NaN of its own pattern; give the plain one.
    out[_np.isnan(out)] = _np.nan
    out = out.reshape(shape)
    index = _index_of(start, end, basis)
    if index is not None and out.ndim == 1 and len(index) == out.size:
        import pandas as _pd
        return _pd.Series(out, index=index, name=name.lower())
    return out[()] if out.ndim == 0 else out


def yrdif(start, end, basis="AGE"):
    """The interval from start to end in years (YRDIF); basis None leaves it out (AGE)."""
    return _evaluate("YRDIF", start, end, basis)


def datdif(start, end, basis):
    """The interval from start to end in days (DATDIF), as whole-numbered float64."""
    return _evaluate("DATDIF", start, end, basis)
