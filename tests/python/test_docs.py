"""Every example of README.md and docs/ runs as written and prints what the
page shows: shell transcripts (`$ ` lines and their output), Python sessions
(`>>> `), Python programs and C programs. Only the blocks of commands to type
(```sh) are left to the jobs that run them."""
import doctest
import os
import re
import shlex
import subprocess
import sys

import pytest

from conftest import BUILD

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PAGES = ["README.md"] + [os.path.join("docs", f) for f in sorted(os.listdir(os.path.join(ROOT, "docs")))
                         if f.endswith(".md")]


def blocks(page):
    text = open(os.path.join(ROOT, page), encoding="utf-8").read()
    for info, body in re.findall(r"^ *```(\w*)\n(.*?)^ *```", text, flags=re.S | re.M):
        lines = body.splitlines()
        indent = min((len(l) - len(l.lstrip()) for l in lines if l.strip()), default=0)
        yield info, "\n".join(l[indent:] for l in lines) + "\n"


def transcript(body):
    """(command, expected output) pairs of a block of `$ ` lines."""
    pairs, command, output = [], None, []
    for line in body.splitlines():
        if line.startswith("$ ") and not (command and unfinished(command)):
            if command is not None:
                pairs.append((command, output))
            command, output = line[2:], []
        elif command is not None and unfinished(command):
            command += "\n" + line
        else:
            output.append(line)
    if command is not None:
        pairs.append((command, output))
    return pairs


def unfinished(command):
    if command.endswith("\\"):
        return True
    try:
        shlex.split(command)
        return False
    except ValueError:  # an open quote
        return True


@pytest.fixture(scope="module")
def workdir(tmp_path_factory):
    """A folder like the project root: the build, the examples and the header,
    and the data files that the examples read (the README makes its own
    database)."""
    d = tmp_path_factory.mktemp("examples")
    for name, target in [("build", BUILD), ("examples", os.path.join(ROOT, "examples")),
                         ("embed", os.path.join(ROOT, "embed"))]:
        os.symlink(target, d / name)
    (d / "people-1.csv").write_text("born,until\n2000-02-29,2010-02-28\n1985-07-04,2026-12-08\n")
    (d / "people-2.csv").write_text("born,until\n,2026-12-08\n1960-01-01,2000-01-01\n")
    return d


def environment():
    env = dict(os.environ)
    env["PATH"] = os.path.join(BUILD, "bin") + os.pathsep + env.get("PATH", "")
    env["PYTHONPATH"] = os.path.join(BUILD, "python")
    return env


def run_page(page, workdir):
    ran = 0
    for info, body in blocks(page):
        if info == "c":
            (workdir / "example.c").write_text(body)
        elif info == "python":
            (workdir / "example.py").write_text(body)
            out = subprocess.run([sys.executable, "example.py"], cwd=workdir, env=environment(),
                                 capture_output=True, text=True, timeout=300)
            assert out.returncode == 0, (page, out.stderr)
            ran += 1
        elif info == "" and body.startswith(">>> "):
            test = doctest.DocTestParser().get_doctest(body, {}, page, page, 0)
            runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
            old = sys.path[:]
            sys.path.insert(0, os.path.join(BUILD, "python"))
            try:
                result = runner.run(test, out=lambda text: print(text, end=""))
            finally:
                sys.path[:] = old
            assert result.failed == 0, page
            ran += 1
        elif info == "" and body.startswith("$ "):
            for command, expected in transcript(body):
                if command.startswith("psql") and not os.environ.get("PGHOST"):
                    continue  # the postgres job runs it, on its server
                if command.startswith("Rscript") and not os.environ.get("R_LIBS"):
                    continue  # the r job runs it, with the package installed
                out = subprocess.run(["bash", "-c", command], cwd=workdir, env=environment(),
                                     capture_output=True, text=True, timeout=300)
                got = [l.rstrip() for l in (out.stdout + out.stderr).strip().splitlines()]
                assert got == [l.rstrip() for l in "\n".join(expected).strip().splitlines()], \
                    (page, command)
                ran += 1
    return ran


@pytest.mark.parametrize("page", PAGES)
def test_every_example_of_the_page_runs_as_written(page, workdir):
    assert run_page(page, workdir) > 0
    if page == "README.md":
        assert list(workdir.glob("with-ages/people-*.csv")), "the Dask example wrote its output"
