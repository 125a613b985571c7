"""Where the built pieces are, and the embedding library's C interface called
straight through ctypes: the reference that every bridge is held to."""
import ctypes
import os

import numpy as np
import pytest

BUILD = os.environ.get("DATEMODULES_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
BUILD = os.path.abspath(BUILD)
EXTENSION = os.path.join(BUILD, "sqlite", "datemodules")
MISSING_BITS = 0xFFFFFE0000000000

# Basis texts by code; None leaves the basis out.
BASES = {"YRDIF": [None, "30/360", "ACT/ACT", "ACT/360", "ACT/365", "AGE"],
         "DATDIF": ["30/360", "ACT/ACT", "ACT/360", "ACT/365"]}
PAIRS = 100_000


class CApi:
    """dm_eval, one pair at a time."""

    def __init__(self):
        import datemodules._library as native  # the same libdatemodules the package loads
        self.lib = native.lib
        self.lib.dm_eval.argtypes = [ctypes.c_void_p, ctypes.c_double, ctypes.c_double,
                                     ctypes.c_char_p, ctypes.c_size_t,
                                     ctypes.POINTER(ctypes.c_double)]
        self.lib.dm_iso_from_date.argtypes = [ctypes.c_double, ctypes.c_char_p, ctypes.c_size_t]
        self.library = native.Library()

    def eval(self, name, start, end, basis):
        out = ctypes.c_double()
        raw = basis.encode() if basis is not None else None
        self.lib.dm_eval(self.library.functions[name], start, end, raw, len(raw) if raw else 0,
                         ctypes.byref(out))
        return out.value

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
