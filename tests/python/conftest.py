"""Where the built pieces are, and the embedding library's C interface called
straight through ctypes: the reference that every bridge is held to."""
import ctypes
import os

import numpy as np
import pytest

BUILD = os.environ.get("DATEMODULES_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
BUILD = os.path.abspath(BUILD)
EXTENSION = os.path.join(BUILD, "sqlite", "mod_datemodules")
MISSING_BITS = 0xFFFFFE0000000000

# Basis texts by code; None leaves the basis out.
CASES = os.path.join(os.path.dirname(__file__), "..", "cases", "evaluations.tsv")


def evaluation_cases():
    """The table of evaluations that every face runs: dicts of function,
    start, end, basis and outcome."""
    rows = []
    with open(CASES, encoding="utf-8") as f:
        lines = [l.rstrip("\n") for l in f if l.strip() and not l.startswith("#")]
    head = lines[0].split("\t")
    for line in lines[1:]:
        row = dict(zip(head, (line.split("\t") + [""] * 5)[:5]))
        row["left_out"] = row["basis"] == "-"
        row["null_basis"] = row["basis"] == "<null>"
        row["refused"] = row["outcome"][9:] if row["outcome"].startswith("refused: ") else None
        row["cause"] = None if row["outcome"] == "none" or row["refused"] else row["outcome"]
        rows.append(row)
    return rows


BASES = {"YRDIF": [None, "30/360", "ACT/ACT", "ACT/360", "ACT/365", "AGE"],
         "DATDIF": ["30/360", "ACT/ACT", "ACT/360", "ACT/365"]}
PAIRS = 100_000


class CApi:
    """dm_eval, one pair at a time."""

    def __init__(self):
        import datemodules._library as native  # the same libdatemodules the package loads
        self.lib = native.lib
        self.library = native.Library()

    def eval(self, name, start, end, basis):
        return self.eval_with_cause(name, start, end, basis)[0]

    def eval_with_cause(self, name, start, end, basis, null_basis=False):
        """The result and the cause text (None when not missing); null_basis
        passes a basis without a value."""
        out = ctypes.c_double()
        f = self.library.functions[name].handle
        if null_basis:
            s, e = ctypes.c_double(start), ctypes.c_double(end)
            base, length, cause = ctypes.c_void_p(0), ctypes.c_size_t(0), ctypes.c_uint8()
            self.lib.dm_eval_array_bases(f, 1, ctypes.addressof(s), ctypes.addressof(e),
                                         ctypes.addressof(base), ctypes.addressof(length),
                                         ctypes.addressof(out), None, ctypes.addressof(cause))
            code = cause.value
        else:
            raw = basis.encode() if basis is not None else None
            cause = ctypes.c_int()
            self.lib.dm_eval(f, start, end, raw, len(raw) if raw else 0, ctypes.byref(out),
                             ctypes.byref(cause))
            code = cause.value
        return out.value, (self.lib.dm_cause_text(code).decode() or None)

    def date(self, text):
        """The date value of a text and the reason text of a refusal ('' if none)."""
        value, reason = ctypes.c_double(), ctypes.c_int()
        raw = text.encode()
        self.lib.dm_date_from_text(raw, len(raw), ctypes.byref(value), ctypes.byref(reason))
        return value.value, self.lib.dm_reason_text(reason.value).decode()

    def iso(self, value):
        buf = ctypes.create_string_buffer(32)
        return buf.value.decode() if self.lib.dm_iso_from_date(value, buf, 32) == 0 else None


@pytest.fixture(scope="session")
def capi():
    return CApi()


def random_dates(seed, n=PAIRS):
    """Date value pairs over the whole range and near each other, with
    fractions, a few just outside the range and a few NaNs."""
    rng = np.random.default_rng(seed)
    first, last = -138061, 6589335
    start = rng.integers(first, last + 1, n).astype(np.float64)
    near = start + rng.integers(-36600, 36601, n)
    end = np.where(rng.random(n) < 0.3, rng.integers(first, last + 1, n), np.clip(near, first, last))
    end = end.astype(np.float64)
    frac = rng.random(n) < 0.2
    start[frac] += rng.random(frac.sum())
    outside = rng.random(n) < 0.005
    start[outside] = np.where(rng.random(outside.sum()) < 0.5, last + 1.0, first - 0.5)
    end[rng.random(n) < 0.002] = np.nan
    return start, end


def same_bits(a, b):
    """Bit for bit, but every NaN alike (a missing result is NaN)."""
    a = np.asarray(a, dtype=np.float64)
    b = np.asarray(b, dtype=np.float64)
    both_nan = np.isnan(a) & np.isnan(b)
    return bool(np.all(both_nan | (a.view(np.uint64) == b.view(np.uint64))))
