"""The Calc component called straight, in a Python process of its own that
loads it as the office does (its type library and its .components file into
python3-uno's service manager): every allocation that it or the library
makes failed in turn, two threads at once, and a module folder whose name
holds control and invalid bytes. Serial numbers and texts are what Calc
passes; there is no byte order to choose (UNO hands over doubles)."""
import os
import subprocess
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(os.environ.get("DATEMODULES_BUILD", os.path.join(HERE, "..", "..", "build")))
SHIM = os.path.join(BUILD, "tests", "failalloc.so")

LOAD = r'''
import os, struct, sys, threading
import uno
from com.sun.star.beans import NamedValue
from com.sun.star.uno import RuntimeException

stage = os.path.join(sys.argv[1], "calc", "datemodules")
ctx = uno.getComponentContext()
ctx.getValueByName("/singletons/com.sun.star.reflection.theTypeDescriptionManager").insert(
    uno.systemPathToFileUrl(os.path.join(stage, "datemodules.rdb")))
uno.invoke(ctx.ServiceManager, "insert", (uno.Any("[]com.sun.star.beans.NamedValue", (
    NamedValue("uri", uno.systemPathToFileUrl(os.path.join(stage, "datemodules.components"))),
    NamedValue("component-context", ctx))),))
addin = ctx.ServiceManager.createInstanceWithContext("org.datemodules.calc.DateDifferences", ctx)

def shown(x):
    """A result as a comparable text: doubles by their bits (errors are NaNs)."""
    if isinstance(x, float):
        return struct.pack("<d", x).hex()
    if isinstance(x, (tuple, list)):
        return [shown(e) for e in x]
    return x

def session():
    cell = lambda v: ((v,),)
    column = ((43647.0,), ("2020-02-29",), ("",), ("x\x1b\ud7ff",), (1e9,))
    return shown([
        addin.yrdif(None, cell(43647.0), cell(44013.0), "ACT/ACT"),
        addin.yrdif(None, cell("2019-07-01"), cell(44013.0), "AGE"),
        addin.yrdifCause(None, cell(43647.0), cell(44013.0), "A/365"),
        addin.datdif(None, column, cell(44013.0), cell("30/360")),
        addin.datdifCause(None, column, cell(44013.0), (("ACT/ACT", "", 0.0, "AGE", "ACT/360"),)),
        uno.invoke(addin, "yrdif", (None, column, column,
                                    uno.Any("[][]any", (("ACT/ACT",), ("30/360",))))),
        addin.yrdifExplain(None, cell(43647.0), cell(44013.0), "30/360"),
        addin.datdifExplain(None, column, cell(44013.0), cell("ACT/365")),
    ])
'''

OOM = LOAD + r'''
import ctypes
shim = ctypes.CDLL(None)
shim.failalloc_arm.argtypes = [ctypes.c_long, ctypes.c_char_p]
shim.failalloc_disarm.restype = ctypes.c_long
expected = session()
failures = 0
for at in range(1, 100000):
    shim.failalloc_arm(at, b"datemodules")
    try:
        got = session()
    except RuntimeException as e:
        got = e.Message
    counted = shim.failalloc_disarm()
    if not shim.failalloc_failed():
        assert got == expected, got
        break
    failures += 1
    # Out of memory is the component's own RuntimeException, a cell that says
    # it (the library could not be opened), or nothing at all (an allocation
    # that the library can do without); and the next session is whole again.
    assert got == expected or got == "datemodules: out of memory" or \
        "datemodules: out of memory" in str(got), (at, got)
    assert session() == expected, at
print(failures)
'''

OPEN = LOAD + r'''
import ctypes
shim = ctypes.CDLL(None)
shim.failalloc_arm.argtypes = [ctypes.c_long, ctypes.c_char_p]
at = int(sys.argv[2])
shim.failalloc_arm(at, b"datemodules")
try:
    first = session()
except RuntimeException as e:
    first = e.Message
shim.failalloc_disarm()
failed = shim.failalloc_failed()
# The first call opens the library; after a failure there the next one opens it.
again = session()
# A failure says out of memory, or (one the library can do without) changes nothing.
print(failed, "datemodules: out of memory" in str(first) or first == again, again == session())
'''

THREADS = LOAD + r'''
expected = session()
wrong = []
def work():
    for _ in range(200):
        if session() != expected:
            wrong.append(1)
threads = [threading.Thread(target=work) for _ in range(2)]
for t in threads: t.start()
for t in threads: t.join()
assert not wrong
print("ok")
'''

FOLDER = LOAD + r'''
print(addin.yrdifCause(None, ((43647.0,),), ((44013.0,),), "ACT/ACT"))
print(repr(addin.yrdif(None, ((43647.0,),), ((44013.0,),), "ACT/ACT")))
'''


def child(script, env=None, *args):
    done = subprocess.run(["/usr/bin/python3", "-c", script, BUILD, *args], capture_output=True,
                          text=True, timeout=600, env={**os.environ, **(env or {})})
    assert done.returncode == 0, done.stderr[-3000:]
    return done.stdout


def test_every_failed_allocation_is_out_of_memory_and_passes():
    # Allocations count when the component or the library is among the eight
    # callers above the allocator: what they make through the C++ and UNO
    # libraries too.
    failures = int(child(OOM, {"LD_PRELOAD": SHIM, "FAILALLOC_DEPTH": "8"}))
    assert failures > 50


def test_an_open_that_ran_out_of_memory_is_tried_again():
    """The first call opens the library: each of its allocations failed in
    turn, in a process each, says out of memory, and the next call works."""
    env = {"LD_PRELOAD": SHIM, "FAILALLOC_DEPTH": "8"}
    for at in range(1, 2000):
        failed, said, whole = child(OPEN, env, str(at)).split()
        if failed == "0":
            break
        assert said == "True" and whole == "True", at
    assert at > 20


def test_two_threads_evaluate_at_once():
    assert child(THREADS) == "ok\n"


def test_a_module_folder_named_with_control_and_invalid_bytes(tmp_path):
    folder = os.path.join(os.fsencode(tmp_path), b"mod\x1b[2J\xff\x07ules")
    os.mkdir(folder)
    out = child(FOLDER, {"DATEMODULES_MODULES": os.fsdecode(folder)})
    cause, result = out.splitlines()
    # The cell says why, with the name escaped; the result is #N/A.
    assert cause.startswith("datemodules: no function YRDIF: "), cause
    assert "\\x1b[2J\\xff\\x07" in cause and "\x1b" not in cause and "\x07" not in cause, cause
    assert result == "nan", result
