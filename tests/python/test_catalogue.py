"""Each face's declarations of the functions held to what the modules
register, as the library reports it (name, fewest and most arguments, whole
days or not): the PostgreSQL script's functions and their C entries, and the
R package's wrappers and exports. A new function, or a changed one, fails
here until every face declares it."""
import os
import re

import datemodules

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
KINDS = ["date", "float8", "timestamp", "timestamptz", "text"]


def library_functions():
    return [(f.name.lower(), f.fewest, f.most, f.whole_days)
            for f in datemodules._modules.functions.values()]


def test_the_postgresql_script_declares_every_function_of_every_kind():
    script = open(os.path.join(ROOT, "postgres", "datemodules--1.0.sql"), encoding="utf-8").read()
    declared = set(re.findall(
        r"CREATE FUNCTION (\w+)\(([^)]*)\) RETURNS (\w+)\s+AS 'MODULE_PATHNAME', '(\w+)'", script))
    wanted = {("datemodules_notices", "", "text", "datemodules_notices"),
              ("datemodules_version", "", "text", "datemodules_version")}
    for name, fewest, most, whole in library_functions():
        for kind in KINDS:
            for n in range(max(fewest, 2), most + 1):
                args = ", ".join([kind, kind] + ["text"] * (n - 2))
                for suffix, returns in (("", "integer" if whole else "float8"), ("_cause", "text"),
                                        ("_explain", "json")):
                    wanted.add((name + suffix, args, returns, f"datemodules_{name}{suffix}_{kind}"))
    assert declared == wanted, (sorted(declared - wanted), sorted(wanted - declared))


def test_the_r_package_wraps_and_exports_every_function():
    source = open(os.path.join(ROOT, "r", "R", "datemodules.R"), encoding="utf-8").read()
    namespace = open(os.path.join(ROOT, "r", "NAMESPACE"), encoding="utf-8").read()
    exports = set(re.findall(r"\w+", re.search(r"export\(([^)]*)\)", namespace).group(1)))
    wrappers = dict(re.findall(r"^(\w+) <- function\(start, end, basis([^)]*)\)", source, re.M))
    for name, fewest, most, whole in library_functions():
        for wrapper in (name, name + "_cause"):
            assert wrapper in exports, wrapper
            # A basis that may be left out has a default (AGE); a needed one none.
            assert (wrappers[wrapper] != "") == (fewest <= 2), (wrapper, wrappers[wrapper])
    assert {w for w in wrappers} == {w for f in library_functions() for w in (f[0], f[0] + "_cause")}


def test_every_function_has_its_descriptions_and_the_stubs_say_them():
    """docs/descriptions.tsv, which the spreadsheet's function wizard shows,
    describes every function and argument that the library reports, and the
    Python stubs' docstrings say the same of each function."""
    texts = {}
    with open(os.path.join(ROOT, "docs", "descriptions.tsv"), encoding="utf-8") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                function, argument, text = line.rstrip("\n").split("\t")
                texts[(function, argument)] = text
    stubs = open(os.path.join(ROOT, "python", "datemodules", "__init__.pyi"), encoding="utf-8").read()
    for name, fewest, most, _ in library_functions():
        function = name.upper()
        assert {a for f, a in texts if f == function} == {"", "start", "end", "basis"}, function
        described = texts[(function, "")]
        docstring = re.search(rf'def {name}\(.*?\n    """(.*?)"""', stubs, re.S).group(1)
        assert described[0].lower() + described[1:] in docstring, (function, docstring)
        assert ("left out" in texts[(function, "basis")]) == (fewest < most), function
