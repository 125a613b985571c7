# The types of the package, for type checkers and editors. The functions of
# the modules are made at import from what the library reports; the test
# tests/python/test_python.py holds this file to them.
from typing import Any, Dict, Literal, Tuple, Union

import numpy as np

# A date: a date value (days from 1960-01-01), a text, a datetime.date or
# datetime.datetime, a numpy.datetime64, a pandas Timestamp, or a missing value
# (None, NaN, NaT, pandas.NA); or a list, tuple, numpy array, pandas Series or
# Index of them.
Dates = Any
# A basis: a text or bytes, a missing value, or a list, array or Series of them.
Bases = Any
Errors = Literal["coerce", "raise"]
# A float64 for scalar arguments, a numpy array, or a pandas Series that keeps
# the labels of the arguments.
Result = Union[float, np.ndarray, Any]
# A text or None for scalar arguments, else an array or Series of them.
Causes = Union[str, None, np.ndarray, Any]

__version__: str

class DatemodulesWarning(UserWarning): ...

class Explanation(Dict[str, Any]):
    """How one result of YRDIF or DATDIF comes about; str() is its text."""
    def __getattr__(self, key: str) -> Any: ...

class ExplanationDiffers(RuntimeError):
    explanation: Explanation

def yrdif(start: Dates, end: Dates, basis: Bases = "AGE", errors: Errors = "coerce") -> Result:
    """YRDIF(start, end, [basis]): the interval from start to end in years."""

def yrdif_cause(start: Dates, end: Dates, basis: Bases = "AGE") -> Causes:
    """Why yrdif gives a missing result for these arguments."""

def datdif(start: Dates, end: Dates, basis: Bases = None, errors: Errors = "coerce") -> Result:
    """DATDIF(start, end, basis): the interval from start to end in days."""

def datdif_cause(start: Dates, end: Dates, basis: Bases = None) -> Causes:
    """Why datdif gives a missing result for these arguments."""

def date_values(dates: Dates) -> np.ndarray:
    """Dates of any accepted kind as a float64 array of date values (NaN: missing)."""

def explain(start: Dates, end: Dates, basis: Bases = "AGE", function: str = "YRDIF") -> Any:
    """How function(start, end, basis) comes about: an Explanation, or a
    DataFrame of them for arrays."""

def functions() -> Dict[str, Tuple[int, int]]:
    """The functions that the modules register: name, fewest and most arguments."""
