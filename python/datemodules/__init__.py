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
import warnings as _warnings

from . import _library
from ._dates import date_values
from ._evaluate import _result_function
from ._explain import Explanation, ExplanationDiffers, explain

__version__ = _library.lib.dm_version().decode()
DatemodulesWarning = _library.DatemodulesWarning

_modules = _library.modules
for _notice in _modules.notices:
    _warnings.warn(f"datemodules: {_notice}", DatemodulesWarning, stacklevel=2)


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
