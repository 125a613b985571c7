"""YRDIF and DATDIF of the pelvoran and tashkume modules, for numpy and pandas.

    >>> import datemodules
    >>> datemodules.yrdif("2000-02-29", "2010-02-28")
    10.0
    >>> datemodules.datdif(["2001-01-31"], ["2001-02-28"], "30/360")
    array([28.])
    >>> datemodules.datdif_cause(["2001-01-31", None], "2001-02-28", "30/360")
    array([None, 'date missing'], dtype=object)

The results are the modules' own, bit for bit: the functions call them through
the host protocol, by way of the embedding library, and they are the
functions that the modules register (``functions()`` lists them). Dates may be

- date values: days from 1960-01-01 (float or int, fractions allowed);
- ``datetime.date`` or ``datetime.datetime`` objects, numpy ``datetime64`` of
  any unit, pandas Timestamps: their civil date in their own time zone (as
  ``.dt.date`` gives it), through the host calendar (years divisible by 4000
  are common years there: 4000-02-29 is missing);
- texts as every face reads them: ISO dates ``yyyy-mm-dd``, also with a time
  of day (``2024-01-05 10:00``, ``2024-01-05T10:00Z``, with an offset: the date
  in UTC), or numbers; an empty text or "." is a missing date;
- None, NaN, NaT or pandas.NA: missing;

as scalars, sequences, numpy arrays or pandas Series or Index, broadcast
against each other as numpy broadcasts; two Series are aligned on their labels
as pandas arithmetic aligns them. The basis is a text or an array of texts;
left out (None as the scalar argument) it is AGE for YRDIF and refused for
DATDIF; a missing value among bases (None, NaN, pandas.NA, an empty text) gives
a missing result with the cause "basis missing".

The result is a float64 array (a numpy float64 for scalars), or a Series with
the labels of the Series (or Index) among the arguments. A missing result is
NaN; ``errors="raise"`` raises a ValueError that names the first one and its
cause instead. ``yrdif_cause`` and ``datdif_cause`` give the causes. A text
that is no date, like a date the host calendar lacks (4000-02-29), gives a
missing result whose cause says so; with ``errors="raise"`` a ValueError that
names it. A masked array's masked values are missing dates; arrays in either
byte order are read alike.

``explain(start, end, basis, function)`` shows how a result comes about: the
dates, how the basis text was read, the direction, the count with its figures
and the module's own result beside them (see its documentation).

The variable DATEMODULES_MODULES names the module directory (default: the
modules installed with the library); DATEMODULES_LIBRARY names the library.
"""
import datetime as _datetime
import json as _json
import warnings as _warnings

import numpy as _np

from . import _library

__version__ = _library.lib.dm_version().decode()


class DatemodulesWarning(UserWarning):
    """A module file that was skipped, or a function that two files register."""


# The modules, opened when the package is imported (and so once in each
# process that imports it, Dask's workers among them).
_modules = _library.Library()
for _notice in _modules.notices:
    _warnings.warn(f"datemodules: {_notice}", DatemodulesWarning, stacklevel=2)

_CAUSES = _np.array(_library.CAUSES, dtype=object)
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


# --- dates --------------------------------------------------------------------

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


# --- bases --------------------------------------------------------------------

def _basis_bytes(name, b):
    if isinstance(b, (str, _np.str_)):
        return str(b).encode("utf-8", errors="surrogateescape")
    if isinstance(b, (bytes, _np.bytes_)):
        return bytes(b)
    raise TypeError(f"{name}: a basis must be a text, not {type(b).__name__}")


class _Bases:
    """A column of bases as the library takes it: a pointer and a length for
    each, null for a missing one, from the distinct bases (linear time)."""

    def __init__(self, name, flat):
        if self._joined(flat):
            return
        pd = _pandas()
        if pd is not None:
            codes, uniques = pd.factorize(flat, use_na_sentinel=True) \
                if "use_na_sentinel" in pd.factorize.__code__.co_varnames \
                else pd.factorize(flat, na_sentinel=-1)
            uniques = list(uniques)
        else:
            seen, codes = {}, _np.empty(len(flat), dtype=_np.int64)
            for i, b in enumerate(flat.tolist()):
                if b is None or (isinstance(b, float) and b != b):
                    codes[i] = -1
                else:
                    codes[i] = seen.setdefault(b, len(seen))
            uniques = list(seen)
        self.keep = [_basis_bytes(name, b) for b in uniques]
        import ctypes
        addresses = [ctypes.cast(ctypes.c_char_p(b), ctypes.c_void_p).value for b in self.keep]
        table = _np.array(addresses + [0], dtype=_np.uintp)
        lengths = _np.array([len(b) for b in self.keep] + [0], dtype=_np.uintp)
        self.pointers = _np.ascontiguousarray(table[codes])
        self.lengths = _np.ascontiguousarray(lengths[codes])

    def _joined(self, flat):
        """Texts only, none holding a NUL: one buffer of them joined by NUL
        bytes, cut where the NULs are by numpy without the GIL; False for any
        other column."""
        if flat.dtype.kind not in "UO" or not len(flat):
            return False
        items = flat.tolist()
        try:
            raw = "\0".join(items).encode("utf-8", errors="surrogateescape")
        except TypeError:  # not texts only (None, NaN, bytes)
            return False
        nuls = _np.flatnonzero(_np.frombuffer(raw, dtype=_np.uint8) == 0)
        if len(nuls) != len(items) - 1:
            return False  # a basis holds a NUL of its own
        import ctypes
        self.keep = raw
        base = ctypes.cast(ctypes.c_char_p(raw), ctypes.c_void_p).value
        starts = _np.concatenate(([0], nuls + 1)).astype(_np.uintp)
        ends = _np.concatenate((nuls, [len(raw)])).astype(_np.uintp)
        self.pointers = starts + _np.uintp(base)
        self.lengths = ends - starts
        return True


# --- evaluation -----------------------------------------------------------------

_LEFT_OUT = object()


def _align(args):
    """pandas alignment: Series are joined on their labels (outer join, as
    arithmetic does); the labels of the result are those of the Series or, if
    none, of an Index among the arguments."""
    series = [i for i, a in enumerate(args) if _is_series(a)]
    if len(series) > 1:
        first = args[series[0]]
        if any(not args[i].index.equals(first.index) for i in series[1:]):
            if any(not args[i].index.is_unique for i in series):
                raise ValueError("Series with different labels are aligned on them, which needs "
                                 "unique labels: these have duplicates (give equal indexes, or "
                                 "unique labels)")
            index = first.index
            for i in series[1:]:
                index = index.union(args[i].index)
            args = [a.reindex(index) if _is_series(a) else a for a in args]
    for a in args:
        if _is_series(a):
            return args, a.index
    for a in args:
        if _is_index(a):
            return args, a
    return args, None


def _missing_scalar(x):
    """NaN, NaT or pandas.NA as a scalar: a missing value."""
    return (isinstance(x, float) and x != x) or type(x).__name__ in ("NAType", "NaTType") or \
        (isinstance(x, _np.floating) and _np.isnan(x))


def _evaluate(f, start, end, basis, refuse=True):
    name = f.name.lower()
    (start, end, basis), index = _align([start, end, basis])
    starts = _as_array(start, name, "start", refuse)
    ends = _as_array(end, name, "end", refuse)
    bases = None
    if basis is not _LEFT_OUT:
        if _is_series(basis) or _is_index(basis):
            basis = basis.to_numpy(dtype=object)
        if isinstance(basis, (list, tuple, _np.ndarray)):
            bases = _np.asarray(basis, dtype=object)
        elif basis is None:
            if f.fewest > 2:
                raise TypeError(f"{name}: the basis is needed ({f.bases})")
            basis = _LEFT_OUT
        elif _missing_scalar(basis):
            bases = _np.full((), None, dtype=object)  # a basis without a value
        elif not isinstance(basis, (str, _np.str_, bytes, _np.bytes_)):
            raise TypeError(f"{name}: a basis must be a text, not {type(basis).__name__}")
    try:
        shape = _np.broadcast_shapes(starts.shape, ends.shape,
                                     bases.shape if bases is not None else ())
    except ValueError:
        raise ValueError(f"{name}: start, end and basis do not broadcast together: shapes "
                         f"{starts.shape}, {ends.shape}, {bases.shape if bases is not None else ()}"
                         ) from None
    s = _np.ascontiguousarray(_np.broadcast_to(starts, shape)).reshape(-1)
    e = _np.ascontiguousarray(_np.broadcast_to(ends, shape)).reshape(-1)
    out = _np.empty(s.shape, dtype=_np.float64)
    causes = _np.empty(s.shape, dtype=_np.uint8)
    lib = _library.lib
    if bases is None:
        raw = None if basis is _LEFT_OUT else _basis_bytes(name, basis)
        status = lib.dm_eval_array(f.handle, s.size, s.ctypes.data, e.ctypes.data, raw,
                                   len(raw) if raw else 0, out.ctypes.data, None,
                                   causes.ctypes.data)
    else:
        column = _Bases(name, _np.broadcast_to(bases, shape).reshape(-1))
        status = lib.dm_eval_array_bases(f.handle, s.size, s.ctypes.data, e.ctypes.data,
                                         column.pointers.ctypes.data, column.lengths.ctypes.data,
                                         out.ctypes.data, None, causes.ctypes.data)
    _checked(status, name)
    return out, causes, shape, index


def _shaped(name, values, shape, index):
    values = values.reshape(shape)
    if index is not None and values.ndim == 1 and len(index) == values.size:
        pd = _pandas()
        return pd.Series(values, index=index, name=name)
    return values[()] if values.ndim == 0 else values


def _result_function(f):
    name = f.name.lower()

    def evaluate(start, end, basis=_LEFT_OUT, errors="coerce"):
        if errors not in ("coerce", "raise"):
            raise ValueError(f"{name}: errors must be 'coerce' or 'raise', not {errors!r}")
        out, causes, shape, index = _evaluate(f, start, end, basis, errors == "raise")
        missing = causes != 0
        if missing.any():
            if errors == "raise":
                i = int(_np.argmax(missing))
                label = f" (label {index[i]!r})" if index is not None and len(index) == out.size else ""
                raise ValueError(f"{name}: missing result at position {i}{label}: "
                                 f"{_CAUSES[causes[i]]}")
            out[missing] = _np.nan  # the plain NaN, not the host's pattern
        return _shaped(name, out, shape, index)

    def cause(start, end, basis=_LEFT_OUT):
        _, causes, shape, index = _evaluate(f, start, end, basis, refuse=False)
        return _shaped(f"{name}_cause", _CAUSES[causes], shape, index)

    optional = f.fewest <= 2
    words = "years" if not f.whole_days else "days, as whole-numbered float64"
    evaluate.__name__, cause.__name__ = name, f"{name}_cause"
    evaluate.__qualname__, cause.__qualname__ = evaluate.__name__, cause.__name__
    evaluate.__doc__ = (f"{f.name}(start, end{', [basis]' if optional else ', basis'}): the "
                        f"interval from start to end in {words}."
                        + (" A basis left out (None) is AGE." if optional else "")
                        + " errors='raise' raises a ValueError for a missing result.")
    cause.__doc__ = (f"Why {name} gives a missing result for these arguments: a text "
                     "for each, None where the result is not missing.")
    if not optional:  # the basis is needed
        evaluate.__defaults__ = (None, "coerce")
        cause.__defaults__ = (None,)
    return evaluate, cause


# --- explanations -----------------------------------------------------------------

class ExplanationDiffers(RuntimeError):
    """The explained figure and the module's result differ: a defect of this
    package (please report it). ``.explanation`` holds the explanation."""

    def __init__(self, message, explanation):
        super().__init__(message)
        self.explanation = explanation


class _Parts(dict):
    """A part of an explanation: a dict whose keys are also attributes."""

    def __getattr__(self, key):
        try:
            return self[key]
        except KeyError:
            raise AttributeError(key) from None


class Explanation(_Parts):
    """How one result of YRDIF or DATDIF comes about. ``str()`` is the text
    that ``modhost explain`` prints; the parts are its fields, as in the JSON
    of ``modhost explain --json``: function, start and end (value, date,
    in_range), basis (given, text, read, upper_cased, names, rules), direction
    (swapped, sign), count (basis, from, to, days, formula, and the figures of
    its basis), result, module_result, same_bits and missing (test, cause,
    status) when the result is missing."""

    def __init__(self, parts, text):
        super().__init__(parts)
        self._text = text

    def __str__(self):
        return self._text

    def __repr__(self):
        result = self["result"] if self["missing"] is None else "missing"
        return f"<Explanation {self._text.splitlines()[0]} = {result}>"


def _explain_one(f, start, end, basis, with_text=True):
    """The explanation; a row of a table needs no text."""
    raw = None if basis is _LEFT_OUT else _basis_bytes("explain", basis)
    texts = []
    forms = (_library.DM_EXPLAIN_JSON, _library.DM_EXPLAIN_TEXT) if with_text \
        else (_library.DM_EXPLAIN_JSON,)
    for form in forms:
        text, status = _library.explanation(f, float(start), float(end), raw, form)
        _checked(status, "explain", also=(_library.DM_DIFFERS,))
        texts.append(text)
    parts = _json.loads(texts[0], object_hook=_Parts)
    for part, key in ((parts, "result"), (parts, "module_result"), (parts["start"], "value"),
                      (parts["end"], "value")):
        if part[key] is not None:  # JSON writes whole numbers without a point
            part[key] = float(part[key])
    e = Explanation(parts, texts[-1])
    if status == _library.DM_DIFFERS:
        raise ExplanationDiffers("explain: the explained figure and the module's result differ "
                                 "(a defect of datemodules; please report it):\n" + texts[-1], e)
    return e


# The columns of a DataFrame of explanations, from the parts of each.
def _row(e):
    count = e["count"] or {}
    rules = e["basis"]["rules"]
    decided = rules[-1]["rule"] if rules and rules[-1]["decided"] else None
    missing = e["missing"] or {}
    direction = e["direction"] or {}
    return {
        "start": e["start"]["value"], "end": e["end"]["value"],
        "start_date": e["start"]["date"], "end_date": e["end"]["date"],
        "basis": e["basis"]["text"], "basis_read": e["basis"]["read"],
        "named": e["basis"]["names"], "rule": decided,
        "swapped": direction.get("swapped"), "sign": direction.get("sign"),
        "from": count.get("from"), "to": count.get("to"),
        "days": count.get("days"), "formula": count.get("formula"),
        "divisor": count.get("divisor"), "common_days": count.get("common_days"),
        "leap_days": count.get("leap_days"), "years_taken_off": count.get("years_taken_off"),
        "result": e["result"], "module_result": e["module_result"],
        "same_bits": e["same_bits"], "failed_test": missing.get("test"),
        "cause": missing.get("cause"),
    }


_COLUMNS = ["start", "end", "start_date", "end_date", "basis", "basis_read", "named", "rule",
            "swapped", "sign", "from", "to", "days", "formula", "divisor", "common_days",
            "leap_days", "years_taken_off", "result", "module_result", "same_bits",
            "failed_test", "cause"]
_FLOAT_COLUMNS = ("start", "end", "result", "module_result")
_INTEGER_COLUMNS = ("sign", "days", "divisor", "common_days", "leap_days", "years_taken_off")


def explain(start, end, basis="AGE", function="YRDIF"):
    """How function(start, end, basis) comes about, step by step, from the
    engine that the modules are built from, with the module's own result for
    the same arguments (the two have the same bits; ExplanationDiffers is
    raised if they ever do not). The arguments are taken as yrdif and datdif
    take them; basis=None leaves it out (YRDIF: AGE).

    For scalars: an Explanation, whose str() is the text and whose fields are
    the parts. For arrays, sequences or Series: a pandas DataFrame with a row
    for each evaluation (the labels of the Series among the arguments as its
    index) and a column for each main part: start, end, start_date, end_date,
    basis, basis_read, named, rule, swapped, sign, from, to, days, formula,
    divisor, common_days, leap_days, years_taken_off, result, module_result,
    same_bits, failed_test and cause. Explaining takes some microseconds an
    evaluation: it is for looking into results, not for computing them.
    """
    name = str(function).upper()
    f = _modules.functions.get(name)
    if f is None:
        raise ValueError(f"explain: no function {function!r} (the modules register "
                         f"{', '.join(_modules.functions)})")
    if basis is None:
        if f.fewest > 2:
            raise TypeError(f"explain: {name} needs a basis ({f.bases})")
        basis = _LEFT_OUT
    (start, end, basis), index = _align([start, end, basis])
    starts = _as_array(start, "explain", "start")
    ends = _as_array(end, "explain", "end")
    if _is_series(basis) or _is_index(basis):
        basis = basis.to_numpy(dtype=object)
    array_basis = isinstance(basis, (list, tuple, _np.ndarray))
    bases = _np.asarray(basis, dtype=object) if array_basis else None
    if starts.ndim == 0 and ends.ndim == 0 and not array_basis:
        return _explain_one(f, starts, ends, basis)
    try:
        shape = _np.broadcast_shapes(starts.shape, ends.shape,
                                     bases.shape if bases is not None else ())
    except ValueError:
        raise ValueError("explain: start, end and basis do not broadcast together") from None
    s = _np.broadcast_to(starts, shape).reshape(-1)
    e = _np.broadcast_to(ends, shape).reshape(-1)
    b = _np.broadcast_to(bases, shape).reshape(-1) if bases is not None else None
    rows = []
    for i in range(s.size):
        one = basis if b is None else b[i]
        if one is None or (isinstance(one, float) and one != one) or type(one).__name__ == "NAType":
            one = ""  # a missing basis, as the other functions take it
        rows.append(_row(_explain_one(f, s[i], e[i], one, with_text=False)))
    pd = _pandas()
    if pd is None:
        raise ImportError("explain: a table of explanations needs pandas")
    frame = pd.DataFrame.from_records(rows, columns=_COLUMNS)
    for column in _INTEGER_COLUMNS:
        frame[column] = frame[column].astype("Int64")
    for column in _FLOAT_COLUMNS:  # JSON writes whole numbers without a point
        frame[column] = frame[column].astype(_np.float64)
    if index is not None and len(index) == len(frame):
        frame.index = index
    return frame


def functions():
    """The functions that the modules register: name, fewest and most arguments."""
    return {name: (f.fewest, f.most) for name, f in _modules.functions.items()}


__all__ = ["date_values", "explain", "functions", "DatemodulesWarning", "Explanation",
           "ExplanationDiffers", "__version__"]
for _f in _modules.functions.values():
    for _callable in _result_function(_f):
        globals()[_callable.__name__] = _callable
        __all__.append(_callable.__name__)


def __getattr__(attribute):
    # A function that is not there may be in a module that was skipped: say so.
    skipped = "".join(f"; {n}" for n in _modules.notices)
    raise AttributeError(f"module 'datemodules' has no attribute {attribute!r} (the modules in "
                         f"{_modules.directory} register {', '.join(_modules.functions)}{skipped})")
