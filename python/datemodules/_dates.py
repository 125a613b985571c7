"""Dates from everything the package takes, as date values, through the
embedding library's readers; refused texts in the library's one wording."""

import datetime as _datetime

import numpy as _np

from . import _library


_NAT = _np.iinfo(_np.int64).min
_PER_DAY = {"D": 1, "h": 24, "m": 1440, "s": 86400, "ms": 86400 * 10**3, "us": 86400 * 10**6,
            "ns": 86400 * 10**9, "ps": 86400 * 10**12}
_UNIX_ORDINAL = _datetime.date(1970, 1, 1).toordinal()


def _pandas():
    try:
        import pandas
        return pandas
    except ImportError:
        return None


def _is_series(x):
    return type(x).__name__ == "Series" and hasattr(x, "index") and hasattr(x, "to_numpy")


def _is_frame(x):
    return type(x).__name__ == "DataFrame" and hasattr(x, "columns")


def _is_index(x):
    return type(x).__name__.endswith("Index") and hasattr(x, "to_numpy")


def _type_error(name, argument, what):
    return TypeError(f"{name}: {argument}: a date must be a date value, a date or a text, "
                     f"not {what}")


def _checked(status, name="datemodules", also=()):
    """A status of the library: out of memory as Python says it."""
    if status == _library.DM_NOMEM:
        raise MemoryError(f"{name}: out of memory")
    if status != _library.DM_OK and status not in also:
        raise RuntimeError(f"{name}: the embedding library refused the call (status {status})")


def _native(a):
    """An array in the machine's own byte order (the library reads no other)."""
    return a if a.dtype.byteorder in ("=", "|") else a.astype(a.dtype.newbyteorder("="))


def _from_counts(counts, per_day):
    counts = _np.ascontiguousarray(counts, dtype=_np.int64)
    out = _np.empty(counts.shape, dtype=_np.float64)
    _checked(_library.lib.dm_dates_from_counts(counts.size, counts.ctypes.data, per_day,
                                               out.ctypes.data))
    return out


def _from_datetime64(a):
    unit, step = _np.datetime_data(a.dtype)
    if unit == "generic":  # only NaT has no unit
        return _np.full(a.shape, _np.nan)
    if unit in ("Y", "M", "W") or step != 1:
        a = a.astype("M8[D]") if unit in ("Y", "M", "W") else a.astype(f"M8[{unit}]")
        unit = "D" if unit in ("Y", "M", "W") else unit
    counts = _native(a).view(_np.int64)
    if unit in ("fs", "as"):  # a day has more of these than an int64 holds: day 0 or -1
        counts = _np.where(counts == _NAT, _NAT, _np.where(counts < 0, -1, 0))
        unit = "D"
    return _from_counts(counts, _PER_DAY[unit])


def _refused(name, argument, position, reason, text):
    where = f" at position {position}" if position is not None else ""
    return ValueError(_library.refusal(name, argument + where, reason, text))


def _from_texts(texts, name, argument, scalar=False, positions=None, refuse=True):
    """A flat array of str (dtype U) to date values; with `refuse` a refused
    text raises, naming its position (in `positions`, when the texts are a
    part), else its value keeps the reason for the cause."""
    texts = _np.ascontiguousarray(_native(texts))
    out = _np.empty(texts.shape, dtype=_np.float64)
    reasons = _np.empty(texts.shape, dtype=_np.uint8)
    width = texts.dtype.itemsize // 4
    if width == 0:  # only empty texts: missing dates
        return _np.full(texts.shape, _np.nan)
    if texts.size:
        _checked(_library.lib.dm_dates_from_utf32(texts.size, texts.ctypes.data, width,
                                                  out.ctypes.data, reasons.ctypes.data))
    bad = reasons >= 2
    if refuse and bad.any():
        i = int(_np.argmax(bad))
        where = None if scalar else int(positions[i]) if positions is not None else i
        raise _refused(name, argument, where, reasons[i], str(texts[i]))
    return out


def _kind_of_type(t):
    """How an object of type t becomes a date value."""
    if t is str or t is _np.str_:
        return 1  # text
    if t is bool or t is _np.bool_:
        return -1
    if t.__name__ in ("NoneType", "NaTType", "NAType"):
        return 0  # missing
    if issubclass(t, (int, float, _np.integer, _np.floating)):
        return 2  # a date value (NaN: missing)
    if issubclass(t, _datetime.date):
        return 3  # its civil date in its own time zone
    if issubclass(t, _np.datetime64):
        return 4
    if issubclass(t, bytes):
        return 5
    return -1


def _from_joined(items, name, argument, scalar, positions, refuse=True):
    """A list of str read in one call, joined by NUL bytes; None when a text
    holds a NUL itself."""
    raw = "\0".join(items).encode("utf-8", errors="surrogateescape")
    out = _np.empty(len(items), dtype=_np.float64)
    reasons = _np.empty(len(items), dtype=_np.uint8)
    status = _library.lib.dm_dates_from_joined(len(items), raw, len(raw), out.ctypes.data,
                                               reasons.ctypes.data)
    if status == _library.DM_MISUSE:
        return None
    _checked(status)
    bad = reasons >= 2
    if refuse and bad.any():
        i = int(_np.argmax(bad))
        where = None if scalar else int(positions[i]) if positions is not None else i
        raise _refused(name, argument, where, reasons[i], items[i])
    return out


def _from_items(items, name, argument, scalar=False, positions=None, refuse=True):
    """A list of objects: each kind of element converted in one call."""
    try:
        values = _from_joined(items, name, argument, scalar, positions, refuse)
        if values is not None:
            return values
    except TypeError:  # not all texts
        pass
    types = set(map(type, items))
    kinds = {t: _kind_of_type(t) for t in types}
    for t, k in kinds.items():
        if k < 0:
            raise _type_error(name, argument, t.__name__)
    if len(kinds) == 1:
        groups = {next(iter(kinds.values())): None}
    else:
        codes = _np.fromiter(map(kinds.__getitem__, map(type, items)), dtype=_np.int8,
                             count=len(items))
        groups = {k: _np.flatnonzero(codes == k) for k in set(kinds.values())}
    out = _np.full(len(items), _np.nan)
    for kind, where in groups.items():
        part = items if where is None else list(map(items.__getitem__, where.tolist()))
        at = where if positions is None else (positions if where is None else positions[where])
        if kind == 1:
            values = _from_joined(part, name, argument, scalar, at, refuse)
            if values is None:  # a NUL inside a text
                values = _from_texts(_np.array(part, dtype="U"), name, argument, scalar, at,
                                     refuse)
        elif kind == 2:
            values = _np.array(part, dtype=_np.float64)
        elif kind == 3:
            ordinals = _np.fromiter(map(_datetime.date.toordinal, part), dtype=_np.int64,
                                    count=len(part))
            values = _from_counts(ordinals - _UNIX_ORDINAL, 1)
        elif kind == 4:
            values = _np.array([_from_datetime64(_np.asarray([x]))[0] for x in part])
        elif kind == 5:
            texts = [x.decode("utf-8", errors="surrogateescape") for x in part]
            values = _from_items(texts, name, argument, scalar, at, refuse)
        else:
            continue
        if where is None:
            out = values
        else:
            out[where] = values
    return out


def _as_array(dates, name, argument, refuse=True):
    """Any accepted kind of dates as a float64 array of date values (NaN: missing).
    With `refuse`, a text that is no date raises; else its value says why."""
    if _is_frame(dates):
        raise TypeError(f"{name}: {argument}: a DataFrame holds many columns of dates; pass "
                        f"one of them (frame['column']), a Series")
    if isinstance(dates, _np.ma.MaskedArray):
        return _from_masked(dates, name, argument, refuse)
    pd = _pandas() if (_is_series(dates) or _is_index(dates)) else None
    if pd is not None:
        dtype = dates.dtype
        if getattr(dtype, "tz", None) is not None:  # the civil date in its own time zone
            dates = dates.dt.tz_localize(None) if _is_series(dates) else dates.tz_localize(None)
            return _from_datetime64(dates.to_numpy())
        if pd.api.types.is_extension_array_dtype(dtype):
            if pd.api.types.is_numeric_dtype(dtype) and not pd.api.types.is_bool_dtype(dtype):
                return dates.to_numpy(dtype=_np.float64, na_value=_np.nan)
            return _from_items(dates.to_numpy(dtype=object, na_value=None).tolist(), name, argument,
                               refuse=refuse)
        dates = dates.to_numpy()
    if isinstance(dates, (list, tuple)) and not any(
            isinstance(x, (list, tuple, _np.ndarray)) for x in dates[:1]):
        # A flat sequence, element by element: numpy would find a type for
        # all of it slowly, and make a NaN among texts the text 'nan'.
        return _from_items(dates if isinstance(dates, list) else list(dates), name, argument,
                           refuse=refuse)
    if _np.ndim(dates) == 0 and not isinstance(dates, _np.ndarray):
        return _from_items([dates], name, argument, scalar=True, refuse=refuse).reshape(())
    a = _np.asarray(dates)
    kind = a.dtype.kind
    if kind == "f":
        return a.astype(_np.float64, copy=False)
    if kind in "iu":
        return a.astype(_np.float64)
    if kind == "M":
        return _from_datetime64(a.ravel()).reshape(a.shape)
    if kind == "U":
        return _from_texts(a.ravel(), name, argument, refuse=refuse).reshape(a.shape)
    if kind in "SO":
        return _from_items(a.ravel().tolist(), name, argument, refuse=refuse).reshape(a.shape)
    raise _type_error(name, argument, "bool" if kind == "b" else str(a.dtype))


def _from_masked(dates, name, argument, refuse):
    """A masked array: its masked values are missing dates, whatever they hold."""
    mask = _np.ma.getmaskarray(dates)
    data = _np.array(_np.ma.getdata(dates), copy=True)
    if data.dtype.kind in "US":
        data[mask] = ""
    elif data.dtype.kind == "O":
        data[mask] = None
    elif data.dtype.kind == "M":
        data[mask] = _np.datetime64("NaT")
    elif data.dtype.kind in "iub":
        data = data.astype(_np.float64)
    values = _np.array(_as_array(data, name, argument, refuse), dtype=_np.float64, copy=True)
    values[mask] = _np.nan
    return values


def date_values(dates):
    """Dates of any accepted kind as a float64 array of date values (NaN: missing)."""
    return _as_array(dates, "date_values", "dates")
