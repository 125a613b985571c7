"""The Python package under out of memory: in a child Python with the failing
allocator preloaded, the allocations of the embedding library (and of the C++
library under it) fail one at a time, the first, then the second, and so on,
through an import and a session of calls, until a session runs with no
failure left to make. Every failure must be a MemoryError, the process must
live on, and every session that ends must give the right results."""
import os
import subprocess
import sys

import pytest

from conftest import BUILD

SHIM = os.path.join(BUILD, "tests", "failalloc.so")

CHILD = r'''
import ctypes, sys
import numpy as np
import pandas as pd

shim = ctypes.CDLL(None)
shim.failalloc_arm.argtypes = [ctypes.c_long, ctypes.c_char_p]
shim.failalloc_disarm.restype = ctypes.c_long

def session():
    for name in [m for m in sys.modules if m == "datemodules" or m.startswith("datemodules.")]:
        del sys.modules[name]
    import datemodules as dm
    starts = np.array(["2019-07-01", "2020-02-29", "1999-12-31"], dtype="datetime64[D]")
    out = [
        dm.yrdif(starts, "2021-03-01", "ACT/ACT").tolist(),
        dm.datdif(["2020-02-28", None, "2020-13-01"], "2020-03-31", "30/360", errors="coerce").tolist(),
        dm.yrdif_cause(pd.Series(["2019-07-01", "x"], index=["a", "b"]), 1e9, "ACT/ACT").to_dict(),
        dm.datdif(starts, starts, ["ACT/ACT", "30/360", "bad"]).tolist(),
        str(dm.explain("2020-02-28", "2020-03-31", "30/360", function="DATDIF")),
        dm.explain(["2019-07-01", "2020-01-01"], "2021-01-01", "AGE").shape,
        dm.date_values(["2020-01-01", "1582-10-10"]).tolist(),
    ]
    return repr(out)

expected = session()
runs = wrong = 0
for at in range(1, 100000):
    shim.failalloc_arm(at, b"libdatemodules,libstdc++")
    outcome = None
    try:
        got = session()
    except MemoryError:
        got = None
    except BaseException as e:
        outcome = repr(e)
    shim.failalloc_disarm()
    runs += 1
    if outcome is not None:
        print(f"failing allocation {at}: {outcome}", file=sys.stderr)
        wrong += 1
    elif got is not None and got != expected:
        print(f"failing allocation {at}: wrong results {got}", file=sys.stderr)
        wrong += 1
    if not shim.failalloc_failed():
        break
if session() != expected:
    print("wrong results after the sweep", file=sys.stderr)
    wrong += 1
print(f"{runs} sessions")
sys.exit(1 if wrong else 0)
'''


@pytest.mark.skipif(not os.path.exists(SHIM), reason="the failing allocator (a build without sanitizers)")
def test_every_failed_allocation_is_a_memory_error():
    env = dict(os.environ, LD_PRELOAD=SHIM)
    run = subprocess.run([sys.executable, "-c", CHILD], env=env, capture_output=True, text=True,
                         timeout=900)
    assert run.returncode == 0, run.stderr[-4000:]
    sessions = int(run.stdout.split()[0])
    # The sweep reached past the import into the calls.
    assert sessions > 50, run.stdout
