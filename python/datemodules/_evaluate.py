"""Bases, the alignment and broadcast of the arguments, and the evaluation of
the functions that the modules register, one callable each."""

import numpy as _np

from . import _library
from ._dates import _as_array, _checked, _is_index, _is_series, _pandas


_CAUSES = _np.array(_library.CAUSES, dtype=object)


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
