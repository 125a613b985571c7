"""The embedding library libdatemodules, loaded once per process with ctypes.

The C interface is the one binary boundary: the package calls it through
ctypes, whose foreign calls release the GIL, so that an array's loop runs in
C++ while other threads go on.

The library is the one that comes with the package, where _location.py (made
by the build for the build tree and for the install) says it is from the
package's real folder, symbolic links resolved. The environment variable
DATEMODULES_LIBRARY names another file to load instead; it must exist.
"""
import ctypes
import os

_SONAME = "libdatemodules.so.1"
VARIABLE = "DATEMODULES_LIBRARY"


def _candidates():
    from ._location import LIBRARY
    yield os.path.join(os.path.dirname(os.path.realpath(__file__)), LIBRARY)


def _load():
    env = os.environ.get(VARIABLE)
    if env:
        path = os.path.realpath(env)
        if not os.path.isfile(path):
            raise ImportError(f"datemodules: {VARIABLE} names {env!r}, which is no file")
        try:
            return ctypes.CDLL(path)
        except OSError as e:
            raise ImportError(f"datemodules: cannot load {VARIABLE}={env!r}: {e}") from None
    tried = []
    for candidate in _candidates():
        path = os.path.realpath(candidate)  # what is checked is what is loaded
        if not os.path.isfile(path):
            tried.append(f"{path} (no such file)")
            continue
        try:
            return ctypes.CDLL(path)
        except OSError as e:
            tried.append(f"{path} ({e})")
    raise ImportError(f"datemodules: cannot find {_SONAME} beside the package (tried "
                      + "; ".join(tried) + f"); set {VARIABLE} to its path")


lib = _load()

c_double_p = ctypes.POINTER(ctypes.c_double)
c_size_p = ctypes.POINTER(ctypes.c_size_t)
c_uint8_p = ctypes.POINTER(ctypes.c_uint8)
_handle = ctypes.c_void_p

for _name, _restype, _argtypes in [
    ("dm_version", ctypes.c_char_p, []),
    ("dm_cause_text", ctypes.c_char_p, [ctypes.c_int]),
    ("dm_reason_text", ctypes.c_char_p, [ctypes.c_int]),
    ("dm_open", ctypes.c_int, [ctypes.c_char_p, ctypes.POINTER(_handle)]),
    ("dm_close", None, [_handle]),
    ("dm_errmsg", ctypes.c_char_p, [_handle]),
    ("dm_module_dir", ctypes.c_char_p, [_handle]),
    ("dm_notice_count", ctypes.c_size_t, [_handle]),
    ("dm_notice", ctypes.c_char_p, [_handle, ctypes.c_size_t]),
    ("dm_function_count", ctypes.c_size_t, [_handle]),
    ("dm_function_at", _handle, [_handle, ctypes.c_size_t]),
    ("dm_function_name", ctypes.c_char_p, [_handle]),
    ("dm_function_arity", None, [_handle, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]),
    ("dm_function_whole_days", ctypes.c_int, [_handle]),
    ("dm_function_bases", ctypes.c_char_p, [_handle]),
    ("dm_eval", ctypes.c_int, [_handle, ctypes.c_double, ctypes.c_double, ctypes.c_char_p,
                               ctypes.c_size_t, c_double_p, ctypes.POINTER(ctypes.c_int)]),
    ("dm_eval_array", ctypes.c_int, [_handle, ctypes.c_size_t, ctypes.c_void_p, ctypes.c_void_p,
                                     ctypes.c_char_p, ctypes.c_size_t, ctypes.c_void_p, c_size_p,
                                     ctypes.c_void_p]),
    ("dm_eval_array_bases", ctypes.c_int, [_handle, ctypes.c_size_t, ctypes.c_void_p,
                                           ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p,
                                           ctypes.c_void_p, c_size_p, ctypes.c_void_p]),
    ("dm_dates_from_civil", ctypes.c_int, [ctypes.c_size_t, ctypes.c_void_p, ctypes.c_void_p,
                                           ctypes.c_void_p, ctypes.c_void_p]),
    ("dm_date_from_text", ctypes.c_int, [ctypes.c_char_p, ctypes.c_size_t, c_double_p,
                                         ctypes.POINTER(ctypes.c_int)]),
    ("dm_dates_from_texts", ctypes.c_int, [ctypes.c_size_t, ctypes.c_void_p, ctypes.c_size_t,
                                           ctypes.c_void_p, ctypes.c_void_p]),
    ("dm_dates_from_utf32", ctypes.c_int, [ctypes.c_size_t, ctypes.c_void_p, ctypes.c_size_t,
                                           ctypes.c_void_p, ctypes.c_void_p]),
    ("dm_dates_from_joined", ctypes.c_int, [ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t,
                                            ctypes.c_void_p, ctypes.c_void_p]),
    ("dm_dates_from_counts", ctypes.c_int, [ctypes.c_size_t, ctypes.c_void_p, ctypes.c_int64,
                                            ctypes.c_void_p]),
    ("dm_refusal_text", ctypes.c_size_t, [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int,
                                          ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p,
                                          ctypes.c_size_t]),
    ("dm_iso_from_date", ctypes.c_int, [ctypes.c_double, ctypes.c_char_p, ctypes.c_size_t]),
    ("dm_explain_text", ctypes.c_int, [_handle, ctypes.c_double, ctypes.c_double, ctypes.c_char_p,
                                       ctypes.c_size_t, ctypes.c_int, ctypes.c_char_p,
                                       ctypes.c_size_t, c_size_p]),
]:
    _f = getattr(lib, _name)
    _f.restype = _restype
    _f.argtypes = _argtypes

DM_OK = 0
DM_MISSING = 1
DM_MISUSE = 4
DM_NOMEM = 6
DM_DIFFERS = 7
DM_EXPLAIN_TEXT = 0
DM_EXPLAIN_JSON = 1
DM_REFUSAL_SIZE = 512

# The texts of the causes of missing results, by number, as many as the library
# has; None for none.
CAUSES = [None]
while lib.dm_cause_text(len(CAUSES)):
    CAUSES.append(lib.dm_cause_text(len(CAUSES)).decode())


def _raw(text):
    return text.encode("utf-8", errors="surrogateescape") if isinstance(text, str) else bytes(text)


def refusal(function, argument, reason, text):
    """The message for a refused date text, as every face words it."""
    raw = _raw(text)
    size = DM_REFUSAL_SIZE
    while True:
        buf = ctypes.create_string_buffer(size)
        n = lib.dm_refusal_text(_raw(function), _raw(argument), int(reason), raw, len(raw), buf,
                                size)
        if n < size:
            return buf.value.decode("utf-8", errors="surrogateescape")
        size = n + 1


def explanation(f, start, end, basis, form):
    """The text (form DM_EXPLAIN_TEXT) or JSON of one explanation, and its status."""
    size = 8192
    while True:
        buf = ctypes.create_string_buffer(size)
        length = ctypes.c_size_t()
        status = lib.dm_explain_text(f.handle, start, end, basis, len(basis) if basis else 0,
                                     form, buf, size, ctypes.byref(length))
        if status not in (DM_OK, DM_DIFFERS) or length.value < size:
            return buf.value.decode("utf-8", errors="surrogateescape"), status
        size = length.value + 1


class Function:
    """A function that the modules register, as the library reports it."""

    def __init__(self, handle):
        self.handle = handle
        self.name = lib.dm_function_name(handle).decode()
        fewest, most = ctypes.c_int(), ctypes.c_int()
        lib.dm_function_arity(handle, ctypes.byref(fewest), ctypes.byref(most))
        self.fewest, self.most = fewest.value, most.value
        self.whole_days = bool(lib.dm_function_whole_days(handle))
        self.bases = lib.dm_function_bases(handle).decode()


class Library:
    """The modules of one directory, opened through the embedding library."""

    def __init__(self, module_dir=None):
        handle = ctypes.c_void_p()
        status = lib.dm_open(os.fsencode(module_dir) if module_dir else None, ctypes.byref(handle))
        if status == DM_NOMEM:
            raise MemoryError("datemodules: out of memory while opening the modules")
        self._handle = handle
        self.directory = lib.dm_module_dir(handle).decode(errors="surrogateescape")
        self.notices = [lib.dm_notice(handle, i).decode(errors="surrogateescape")
                        for i in range(lib.dm_notice_count(handle))]
        if status != DM_OK:
            message = lib.dm_errmsg(handle).decode(errors="surrogateescape")
            lib.dm_close(handle)
            self._handle = None
            raise ImportError("datemodules: cannot open the modules: " + message)
        self.functions = {}
        for i in range(lib.dm_function_count(handle)):
            f = Function(lib.dm_function_at(handle, i))
            self.functions[f.name] = f

    def __del__(self):
        if getattr(self, "_handle", None) and lib is not None:
            lib.dm_close(self._handle)


class DatemodulesWarning(UserWarning):
    """A module file that was skipped, or a function that two files register."""


DatemodulesWarning.__module__ = "datemodules"

# The modules, opened when the package is imported (and so once in each
# process that imports it, Dask's workers among them).
modules = Library()
