"""The package inside dask.dataframe on a LocalCluster of worker processes:
each worker imports the package and opens the modules itself; the results
equal the single-process ones bit for bit."""
import numpy as np
import pandas as pd
import pytest

import datemodules
from conftest import same_bits

dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")

ROWS = 1_000_000


def years(partition):
    return datemodules.yrdif(partition["start"], partition["end"], "ACT/ACT")


def days(partition):
    return datemodules.datdif(partition["start"], partition["end"], partition["basis"])


def frame():
    rng = np.random.default_rng(11)
    start = pd.to_datetime("1901-01-01") + pd.to_timedelta(rng.integers(0, 73000, ROWS), unit="D")
    end = start + pd.to_timedelta(rng.integers(-20000, 20000, ROWS), unit="D")
    basis = rng.choice(["30/360", "ACT/ACT", "ACT/360", "ACT/365", "nonsense"], ROWS)
    return pd.DataFrame({"start": start, "end": end, "basis": basis})


def test_two_worker_processes_give_the_single_process_result():
    df = frame()
    want_years, want_days = years(df), days(df)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        ddf = dd.from_pandas(df, npartitions=8)
        got_years = ddf.map_partitions(years, meta=("yrdif", "f8")).compute()
        got_days = ddf.map_partitions(days, meta=("datdif", "f8")).compute()
        workers = client.run(lambda: __import__("os").getpid())
    assert len(workers) == 2
    assert got_years.index.equals(df.index) and got_days.index.equals(df.index)
    assert same_bits(got_years.to_numpy(), want_years.to_numpy())
    assert same_bits(got_days.to_numpy(), want_days.to_numpy())
    assert np.isnan(got_days[df["basis"] == "nonsense"]).all()
