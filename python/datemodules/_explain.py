"""Explanations of evaluations: one as a dict with its text, many as a DataFrame."""

import json as _json

import numpy as _np

from . import _library
from ._dates import _as_array, _checked, _is_index, _is_series, _pandas
from ._evaluate import _LEFT_OUT, _align, _basis_bytes


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
    f = _library.modules.functions.get(name)
    if f is None:
        raise ValueError(f"explain: no function {function!r} (the modules register "
                         f"{', '.join(_library.modules.functions)})")
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
