"""The PostgreSQL extension at its edges, on the postgres job's throwaway
cluster: the hostile values of tests/cases/hostile.tsv in PostgreSQL's own
types, and a server whose module folder holds files with hostile names, in a
UTF8 and a LATIN1 database: notices are safe text that survives a dump and a
restore, every call works in a LATIN1 session, and roles that may not read
the server's settings see no paths."""
import contextlib
import os
import re
import shutil
import subprocess
import tempfile
import time

import pytest

from conftest import BUILD
from test_edges import END, hostile_cases
from test_postgres import database, psql, server_log  # noqa: F401 (database: the tests' database)

pytestmark = pytest.mark.skipif(not os.environ.get("PGHOST"), reason="no PostgreSQL server (PGHOST)")
CLUSTER = ("15", "regress")


def sql_forms(kind, value):
    """The SQL expressions of one value of the table."""
    if kind == "missing":
        return ["NULL::date", "NULL::timestamp", "NULL::float8", "NULL::text", "'NaN'::float8"]
    if kind == "civil" and not value.startswith("1500"):
        return [f"date '{value}'", f"timestamp '{value} 10:00'", f"timestamptz '{value} 10:00+00'"]
    if kind == "civil":
        return [f"date '{value}'"]
    if kind == "days" and value in ("Inf", "-Inf"):
        sign = "-" if value.startswith("-") else ""
        return [f"'{sign}infinity'::date", f"'{sign}infinity'::timestamp"]
    if kind == "text" and all(32 <= ord(c) < 127 for c in value) and "'" not in value:
        return [f"'{value}'::text"]
    return []


def test_every_hostile_value_has_its_true_cause():
    checked = 0
    for kind, value, cause in hostile_cases():
        for expr in sql_forms(kind, value):
            end = f"date '{END}'" if "date" in expr or "NULL::date" == expr else \
                "'2020-01-01'::text" if "text" in expr else \
                "timestamp '2020-01-01'" if "timestamp " in expr or "::timestamp" in expr else "21915::float8"
            if "timestamptz" in expr:
                end = "timestamptz '2020-01-01 00:00+00'"
            out = psql(f"SET TimeZone = 'UTC'; "
                       f"SELECT coalesce(yrdif_cause({expr}, {end}, 'ACT/ACT'), 'none')", check=False)
            if kind == "text" and cause not in (None, "date missing",
                                                "date out of range (1582-01-01 to 20000-12-31)"):
                assert out.returncode != 0 and cause in out.stderr, (expr, out.stderr)
            else:
                assert out.returncode == 0, (expr, out.stderr)
                assert out.stdout.strip() == (cause or "none"), expr
            checked += 1
    assert checked >= 20


@contextlib.contextmanager
def server_environment(*lines):
    """The throwaway cluster restarted with these lines in its environment
    file, and restarted as it was afterwards."""
    environment = f"/etc/postgresql/{CLUSTER[0]}/{CLUSTER[1]}/environment"
    before = open(environment).read() if os.path.exists(environment) else None
    with open(environment, "a") as f:
        f.write("\n" + "\n".join(lines) + "\n")
    restart = ["pg_ctlcluster", *CLUSTER, "restart"]
    subprocess.run(restart, check=True)
    try:
        yield
    finally:
        if before is None:
            os.remove(environment)
        else:
            with open(environment, "w") as f:
                f.write(before)
        subprocess.run(restart, check=True)


@pytest.fixture(scope="module")
def hostile_server():
    """The cluster restarted with a module folder of hostile file names, and
    then restored to its own modules."""
    folder = tempfile.mkdtemp(prefix="dm-pg-hostile-")
    os.chmod(folder, 0o755)
    for name in ("pelvoran.so", "tashkume.so"):
        shutil.copy(os.path.join(BUILD, "modules", name), os.path.join(folder, name))
    for name in (b"caf\xe9.so", b"\x1b]0;owned\x07\x1b[2J.so"):
        open(os.path.join(os.fsencode(folder), name), "wb").close()
    with server_environment(f"DATEMODULES_MODULES = '{folder}'"):
        yield folder
    shutil.rmtree(folder)


@pytest.mark.parametrize("encoding", ["UTF8", "LATIN1"])
def test_hostile_notices_survive_a_dump_and_a_restore(hostile_server, encoding, tmp_path):
    db = f"dm_notices_{encoding.lower()}"
    psql(f"DROP DATABASE IF EXISTS {db}", database="postgres")
    psql(f"CREATE DATABASE {db} ENCODING '{encoding}' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0",
         database="postgres")
    psql("CREATE EXTENSION datemodules", database=db)
    env = dict(os.environ, PGCLIENTENCODING="LATIN1")
    out = subprocess.run(["psql", "-X", "-q", "-At", "-v", "ON_ERROR_STOP=1", "-d", db, "-c",
                          "CREATE TABLE n AS SELECT datemodules_notices() AS notices, "
                          "datdif(date '2020-01-01', date '2021-01-01', 'ACT/ACT') AS days; "
                          "SELECT days FROM n; SELECT yrdif('2019-07-01', '2020-07-01', 'ACT/ACT')"],
                         capture_output=True, env=env)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split()[:2] == [b"366", b"1.0013773486039375"]
    warnings = out.stderr.decode("latin-1")
    assert "WARNING" in warnings and not re.search(r"[\x00-\x08\x0b-\x1f\x7f]", warnings)
    dump = tmp_path / "n.sql"
    subprocess.run(["pg_dump", "-d", db, "-t", "n", "-f", str(dump)], check=True)
    notices = psql("SELECT notices FROM n", database=db).stdout
    assert r"caf\xe9.so" in notices and r"\x1b]0;owned\x07\x1b[2J.so" in notices, notices
    psql("DROP TABLE n", database=db)
    subprocess.run(["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", db, "-f", str(dump)],
                   check=True, capture_output=True)
    assert psql("SELECT count(*), max(notices) FROM n", database=db).stdout.split("|")[0] == "1"
    assert psql("SELECT notices FROM n", database=db).stdout == notices
    psql(f"DROP DATABASE {db} WITH (FORCE)", database="postgres")


def test_roles_that_may_not_read_settings_see_no_paths(hostile_server):
    db = "dm_roles"
    psql(f"DROP DATABASE IF EXISTS {db}", database="postgres")
    psql(f"CREATE DATABASE {db}", database="postgres")
    psql("CREATE EXTENSION datemodules", database=db)
    psql("DROP ROLE IF EXISTS dm_plain; DROP ROLE IF EXISTS dm_reader; CREATE ROLE dm_plain; "
         "CREATE ROLE dm_reader IN ROLE pg_read_all_settings", database=db)
    try:
        plain = psql("SET ROLE dm_plain; SELECT datdif(date '2020-01-01', date '2021-01-01', 'ACT/ACT')",
                     database=db, check=False)
        assert plain.returncode == 0 and plain.stdout.strip() == "366", plain.stderr
        assert hostile_server not in plain.stderr and "notices" in plain.stderr, plain.stderr
        denied = psql("SET ROLE dm_plain; SELECT datemodules_notices()", database=db, check=False)
        assert denied.returncode != 0 and "permission denied" in denied.stderr
        reader = psql("SET ROLE dm_reader; SELECT datemodules_notices()", database=db)
        assert r"caf\xe9.so" in reader.stdout
    finally:
        psql("DROP ROLE dm_plain; DROP ROLE dm_reader", database=db, check=False)
        psql(f"DROP DATABASE {db} WITH (FORCE)", database="postgres")


SHIM = os.path.join(BUILD, "tests", "failalloc.so")
OOM_SESSION = ("SELECT yrdif(date '2019-07-01', date '2020-07-01', 'ACT/ACT'); "
               "SELECT datdif_explain('2020-02-28', '2020-03-31', '30/360')->>'result'; "
               "SELECT yrdif_cause(2000::float8, 1e9::float8, 'ACT/ACT'); "
               "SELECT count(datemodules_notices()) <= 1; "
               "SELECT datdif(s, e, b) FROM (VALUES ('2020-01-31'::date, '2020-03-31'::date, '30/360'), "
               "('2020-02-29', '2021-02-28', 'ACT/ACT'), (NULL, '2020-01-01', 'ACT/365')) v(s, e, b)")


def oom_session(control, at):
    """One session with the at-th allocation failed; psql's outcome, how many
    allocations the backend counted and whether it made the failure."""
    counted = control + ".count"
    with open(control, "w") as f:
        f.write(f"{at} libdatemodules,libstdc++\n")
    if os.path.exists(counted):
        os.remove(counted)
    out = psql(OOM_SESSION, check=False)
    # The backend writes its count as it exits, after psql has left (on a
    # loaded machine, seconds after).
    for _ in range(3000):
        if os.path.exists(counted):
            break
        time.sleep(0.01)
    count, failed = (open(counted).read().split() + ["0", "0"])[:2] \
        if os.path.exists(counted) else ("0", "0")
    return out, int(count), failed == "1"


@pytest.mark.skipif(not os.path.exists(SHIM), reason="the failing allocator (a build without sanitizers)")
def test_every_failed_allocation_is_an_out_of_memory_error():
    """The server with the failing allocator preloaded: each new session fails
    the at-th allocation of the embedding library (and of the C++ library under
    it), at = 1, 2, ... as many as a session makes. Each session ends in its
    right results or in PostgreSQL's out of memory error, and no backend dies."""
    folder = tempfile.mkdtemp(prefix="dm-pg-oom-")
    os.chmod(folder, 0o777)
    control = os.path.join(folder, "control")
    with open(control, "w") as f:
        f.write("0\n")
    os.chmod(control, 0o644)
    log = server_log()
    with server_environment(f"LD_PRELOAD = '{SHIM}'", f"FAILALLOC_CONTROL = '{control}'"):
        logged = os.path.getsize(log) if log else 0
        expected, total, _ = oom_session(control, 10 ** 9)
        assert expected.returncode == 0, expected.stderr
        assert expected.stdout.split("\n")[:4] == ["1.0013773486039375", "33", "date out of range "
                                                   "(1582-01-01 to 20000-12-31)", "t"], expected.stdout
        assert total > 10, "the session counted too few allocations"
        for at in range(1, total + 1):
            out, _, failed = oom_session(control, at)
            assert "server closed the connection" not in out.stderr and \
                "terminated" not in out.stderr, (at, out.stderr)
            if out.returncode == 0:
                assert out.stdout == expected.stdout, (at, out.stdout)
            else:
                assert "out of memory" in out.stderr, (at, out.stderr)
            assert failed, f"allocation {at} was not failed (or the backend wrote no count)"
        assert oom_session(control, 0)[0].stdout == expected.stdout
        if log:
            with open(log, errors="replace") as f:
                f.seek(logged)
                news = f.read()
            assert "terminated by signal" not in news and "server process" not in news, news[-2000:]
    shutil.rmtree(folder)


def test_renamed_functions_do_what_they_did():
    """Each SQL function calls its own C entry: renamed, it still gives what
    it gave; the entries that databases of the first builds name still find
    their function by the SQL name."""
    db = "dm_renamed"
    psql(f"DROP DATABASE IF EXISTS {db}", database="postgres")
    psql(f"CREATE DATABASE {db}", database="postgres")
    psql("CREATE EXTENSION datemodules", database=db)
    try:
        before = psql("SELECT yrdif(date '2019-07-01', date '2020-07-01', 'ACT/ACT'), "
                      "datdif_cause(1e9::float8, 0::float8, 'ACT/ACT'), "
                      "(yrdif_explain('2019-07-01', '2020-07-01', 'ACT/ACT')->>'result')::float8",
                      database=db).stdout
        psql("ALTER FUNCTION yrdif(date, date, text) RENAME TO years_between; "
             "ALTER FUNCTION datdif_cause(float8, float8, text) RENAME TO why_no_days; "
             "ALTER FUNCTION yrdif_explain(text, text, text) RENAME TO how", database=db)
        after = psql("SELECT years_between(date '2019-07-01', date '2020-07-01', 'ACT/ACT'), "
                     "why_no_days(1e9::float8, 0::float8, 'ACT/ACT'), "
                     "(how('2019-07-01', '2020-07-01', 'ACT/ACT')->>'result')::float8",
                     database=db).stdout
        assert after == before == "1.0013773486039375|date out of range (1582-01-01 to 20000-12-31)|" \
            "1.0013773486039375\n", (before, after)
        # An entry of the first builds, as their script bound it.
        psql("CREATE SCHEMA old; CREATE FUNCTION old.datdif(date, date, text) RETURNS integer "
             "AS 'datemodules', 'datemodules_date' LANGUAGE C IMMUTABLE STRICT", database=db)
        assert psql("SELECT old.datdif(date '2001-01-31', date '2001-02-28', '30/360')",
                    database=db).stdout.strip() == "28"
    finally:
        psql(f"DROP DATABASE {db} WITH (FORCE)", database="postgres")
