"""The embedding library libdatemodules, loaded once per process with ctypes.

The C interface is the one binary boundary: the package calls it through
ctypes, whose foreign calls release the GIL, so that an array's loop runs in
C++ while other threads go on.
"""
import ctypes
import os

_SONAME = "libdatemodules.so.1"


def _candidates():
    here = os.path.dirname(os.path.abspath(__file__))
    env = os.environ.get("DATEMODULES_LIBRARY")
    if env:
        yield env
    # The build tree (build/python/datemodules -> build/lib) and an install
    # (PREFIX/lib/python3/dist-packages/datemodules -> PREFIX/lib).
    yield os.path.join(here, "..", "..", "lib", _SONAME)
    yield os.path.join(here, "..", "..", "..", _SONAME)
    yield _SONAME  # wherever the dynamic loader finds it


def _load():
    tried = []
    for path in _candidates():
        if os.sep in path and not os.path.exists(path):
            tried.append(path + " (no such file)")
            continue
        try:
            return ctypes.CDLL(os.path.normpath(path) if os.sep in path else path)
        except OSError as e:
            tried.append(f"{path} ({e})")
    raise ImportError("datemodules: cannot load libdatemodules: " + "; ".join(tried))


lib = _load()

_double_p = ctypes.POINTER(ctypes.c_double)
_size_p = ctypes.POINTER(ctypes.c_size_t)

lib.dm_version.restype = ctypes.c_char_p
lib.dm_open.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p)]
lib.dm_close.argtypes = [ctypes.c_void_p]
lib.dm_close.restype = None
lib.dm_errmsg.argtypes = [ctypes.c_void_p]
lib.dm_errmsg.restype = ctypes.c_char_p
lib.dm_function_find.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p)]
lib.dm_eval_array.argtypes = [ctypes.c_void_p, ctypes.c_size_t, _double_p, _double_p,
                              ctypes.c_char_p, ctypes.c_size_t, _double_p, _size_p]
lib.dm_dates_from_civil.argtypes = [ctypes.c_size_t, ctypes.POINTER(ctypes.c_int64),
                                    ctypes.POINTER(ctypes.c_int32),
                                    ctypes.POINTER(ctypes.c_int32), _double_p]
lib.dm_date_from_iso.argtypes = [ctypes.c_char_p, ctypes.c_size_t, _double_p]

DM_OK = 0
DM_MISUSE = 4


class Library:
    """The modules of one directory, opened through the embedding library."""

    def __init__(self, module_dir=None):
        handle = ctypes.c_void_p()
        status = lib.dm_open(module_dir.encode() if module_dir else None, ctypes.byref(handle))
        self._handle = handle
        if status != DM_OK:
            message = lib.dm_errmsg(handle).decode(errors="replace")
            lib.dm_close(handle)
            self._handle = None
            raise ImportError("datemodules: cannot open the modules: " + message)
        self.functions = {}
        for name in ("YRDIF", "DATDIF"):
            f = ctypes.c_void_p()
            if lib.dm_function_find(handle, name.encode(), ctypes.byref(f)) != DM_OK:
                raise ImportError(f"datemodules: no module registers {name}")
            self.functions[name] = f

    def __del__(self):
        if getattr(self, "_handle", None):
            lib.dm_close(self._handle)
