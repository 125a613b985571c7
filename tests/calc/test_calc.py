"""The Calc add-in in a real spreadsheet: headless LibreOffice computes
cases.fods (and sheets made here) with the extension installed in a
throwaway profile, and every cell is held to modhost: the same result bits,
the same causes, the error that each cause gives."""
import csv
import datetime
import io
import math
import os
import re
import struct
import subprocess

import pytest
import uno

import office as lo

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(os.environ.get("DATEMODULES_BUILD", os.path.join(HERE, "..", "..", "build")))
OXT = os.path.join(BUILD, "calc", "datemodules.oxt")
MODHOST = os.path.join(BUILD, "bin", "modhost")
CASES = os.path.join(HERE, "cases.fods")
TABLES = os.path.join(HERE, "..", "cases")

# The Calc error of each cause.
ERROR_OF_CAUSE = {
    "date missing": lo.NOT_AVAILABLE,
    "basis missing": lo.NOT_AVAILABLE,
    "basis names no basis": lo.ILLEGAL_ARGUMENT,
    "date out of range (1582-01-01 to 20000-12-31)": lo.ILLEGAL_FP,
    "not a date (yyyy-mm-dd) or date value": lo.NO_VALUE,
    "no such date in the host calendar": lo.NO_VALUE,
}
NULL_DATES = [(1899, 12, 30), (1900, 1, 1), (1904, 1, 1)]
FUNCTIONS = ("YRDIF", "DATDIF")


@pytest.fixture(scope="module")
def office():
    o = lo.Office(OXT)
    yield o
    o.close()


@pytest.fixture(scope="module")
def cases(office):
    doc = office.load(CASES)
    yield doc
    doc.close(True)


def bits(x):
    return struct.pack("<d", x)


def modhost_batch(function, rows):
    """modhost's result and cause for each row (start, end, basis; basis None
    is left out, "" has no value): (float or None, cause text or "")."""
    text = io.StringIO()
    writer = csv.writer(text, lineterminator="\n", quoting=csv.QUOTE_ALL)
    writer.writerow(["start", "end", "basis"])
    for start, end, basis in rows:
        writer.writerow([start, end] if basis is None else [start, end, basis])
    done = subprocess.run([MODHOST, "batch", "--explain", function], input=text.getvalue(),
                          capture_output=True, text=True, timeout=60)
    # A refused date text makes a bad row: its reason is on standard error.
    refused = {}
    for line in done.stderr.splitlines():
        m = re.match(r"modhost: line (\d+): field \d: (.*?): '", line)
        if m:
            refused[int(m.group(1)) - 2] = m.group(2)
    out = []
    for i, row in enumerate(list(csv.reader(io.StringIO(done.stdout)))[1:]):
        if i in refused:
            out.append((None, refused[i]))
        else:
            out.append((float(row[3]) if row[3] else None, row[-1]))
    assert len(out) == len(rows), done.stderr
    return out


def gregorian(null, serial):
    """The civil date of a serial number, by Python's calendar, as modhost
    reads dates: an ISO text, or a date value far beyond the bounds."""
    try:
        return (datetime.date(*null) + datetime.timedelta(days=math.floor(serial))).isoformat()
    except OverflowError:
        assert abs(serial) > 7e6
        return "1e12" if serial > 0 else "-1e12"


def date_input(cell, null, in_range):
    """What modhost reads for a date cell: an empty cell is 0 to Calc when it
    is referenced alone, and a missing date inside a range."""
    kind = cell.getType().value
    if kind == "EMPTY":
        return "" if in_range else gregorian(null, 0)
    if kind == "TEXT":
        return cell.getString()
    return gregorian(null, cell.getValue())


def basis_input(cell):
    kind = cell.getType().value
    if kind == "EMPTY":
        return ""
    if kind == "TEXT":
        return cell.getString()
    number = cell.getValue()
    return "" if number == 0 else "%.15g" % number


def check(cell, expected, cause_cell=None, where=""):
    """A result cell (and its cause cell) against modhost's result and cause."""
    value, cause = expected
    got = lo.cell_result(cell)
    if value is not None:
        assert got[0] == "value" and bits(got[1]) == bits(value), (where, got, value)
    else:
        assert got == ("error", ERROR_OF_CAUSE[cause]), (where, got, cause)
    if cause_cell is not None:
        assert lo.cell_result(cause_cell) == ("text", cause), (where, cause)


def set_null_date(doc, null):
    doc.NullDate = uno.createUnoStruct("com.sun.star.util.Date", null[2], null[1], null[0])
    doc.calculateAll()


def pair_rows(sheet, null, in_range):
    """The inputs of the pairs sheet, row by row, as modhost reads them."""
    rows = []
    r = 1
    while sheet.getCellByPosition(3, r).getFormula():
        c = [sheet.getCellByPosition(k, r) for k in range(3)]
        rows.append((date_input(c[0], null, in_range), date_input(c[1], null, in_range),
                     basis_input(c[2])))
        r += 1
    return rows


@pytest.mark.parametrize("null", NULL_DATES, ids=lambda n: "%04d-%02d-%02d" % n)
def test_pairs_and_arrays_match_modhost(cases, null):
    set_null_date(cases, null)
    pairs = cases.Sheets.getByName("pairs")
    arrays = cases.Sheets.getByName("arrays")
    alone = pair_rows(pairs, null, in_range=False)
    ranged = pair_rows(pairs, null, in_range=True)
    assert len(alone) > 30
    for column, function in ((3, "YRDIF"), (5, "DATDIF")):
        for i, expected in enumerate(modhost_batch(function, alone)):
            check(pairs.getCellByPosition(column, i + 1), expected,
                  pairs.getCellByPosition(column + 1, i + 1), f"{function} row {i + 2}")
        # The array formulas over the same cells.
        for i, expected in enumerate(modhost_batch(function, ranged)):
            check(arrays.getCellByPosition(column - 3, i + 1), expected,
                  arrays.getCellByPosition(column - 2, i + 1), f"{function} array row {i + 2}")
    # One basis for the whole array, and the basis left out.
    for column, basis in ((4, "ACT/ACT"), (5, None)):
        rows = [(s, e, basis) for s, e, _ in ranged]
        for i, expected in enumerate(modhost_batch("YRDIF", rows)):
            check(arrays.getCellByPosition(column, i + 1), expected, where=f"column {column} row {i}")
    # One start against every end.
    rows = [(ranged[0][0], e, "ACT/365") for _, e, _ in ranged]
    for i, expected in enumerate(modhost_batch("DATDIF", rows)):
        check(arrays.getCellByPosition(6, i + 1), expected, where=f"one start, row {i}")
    # A column of three starts by a row of four ends, and a range too short.
    grid = [(ranged[r][0], ranged[5 + c][1], "ACT/ACT") for r in range(3) for c in range(4)]
    for k, expected in enumerate(modhost_batch("DATDIF", grid)):
        check(arrays.getCellByPosition(7 + k % 4, 1 + k // 4), expected, where=f"grid {k}")
    short = modhost_batch("YRDIF", [(ranged[r][0], ranged[r][1], "ACT/ACT") for r in range(2)])
    for r in range(4):
        cell = arrays.getCellByPosition(7, 5 + r)
        if r < 2:
            check(cell, short[r], where=f"short {r}")
        else:
            assert lo.cell_result(cell) == ("error", lo.NOT_AVAILABLE)


def test_explanations_match_modhost(cases):
    set_null_date(cases, NULL_DATES[0])
    sheet = cases.Sheets.getByName("explain")
    r = 1
    while sheet.getCellByPosition(0, r).getFormula():
        for column, function in enumerate(FUNCTIONS):
            cell = sheet.getCellByPosition(column, r)
            args = re.search(r"EXPLAIN\((.*)\)$", cell.getFormula()).group(1).split(";")
            pairs = cases.Sheets.getByName("pairs")
            inputs = []
            for k, a in enumerate(args):
                if a.startswith('"'):
                    inputs.append(a.strip('"'))
                    continue
                ref = pairs.getCellRangeByName(a.split(".")[-1].replace("$", ""))
                inputs.append(basis_input(ref) if k == 2 else date_input(ref, NULL_DATES[0], False))
            done = subprocess.run([MODHOST, "explain", function, "--"] + inputs,
                                  capture_output=True, text=True, timeout=30)
            if function == "DATDIF" and len(inputs) == 2:
                assert lo.cell_result(cell) == ("error", lo.PARAMETER_LIST)
                continue
            assert done.returncode == 0, done.stderr
            assert lo.cell_result(cell) == ("text", done.stdout.rstrip("\n")), (r, function)
        r += 1
    assert r > 10


def table(name):
    with open(os.path.join(TABLES, name), encoding="utf-8") as f:
        lines = [l.rstrip("\n") for l in f if l.strip() and not l.startswith("#")]
    head = lines[0].split("\t")
    return [dict(zip(head, (l.split("\t") + [""] * 5)[: len(head)])) for l in lines[1:]]


def put_text(cell, text):
    """A text in a cell, as a Calc user holds it: an empty text is the
    formula ="" (an empty cell would be 0)."""
    if text == "":
        cell.setFormula('=""')
    else:
        cell.setString(text)


def test_the_table_of_every_face(office):
    """tests/cases/evaluations.tsv, with the dates as texts, one formula a
    row and again as one array formula a function."""
    rows = table("evaluations.tsv")
    doc = office.new_sheet()
    try:
        sheet = doc.Sheets.getByIndex(0)
        for i, row in enumerate(rows):
            r = i + 1
            put_text(sheet.getCellByPosition(0, r), row["start"])
            put_text(sheet.getCellByPosition(1, r), row["end"])
            if row["basis"] not in ("-", "<null>"):  # <null>: an empty cell
                put_text(sheet.getCellByPosition(2, r), row["basis"])
            args = f"A{r + 1};B{r + 1}" + ("" if row["basis"] == "-" else f";C{r + 1}")
            f = row["function"]
            sheet.getCellByPosition(3, r).setFormula(f"={lo.PREFIX}{f}({args})")
            sheet.getCellByPosition(4, r).setFormula(f"={lo.PREFIX}{f}CAUSE({args})")
        doc.calculateAll()
        for f in FUNCTIONS:
            mine = [(i, row) for i, row in enumerate(rows) if row["function"] == f]
            expected = modhost_batch(f, [(row["start"], row["end"],
                                          None if row["basis"] == "-" else
                                          "" if row["basis"] == "<null>" else row["basis"])
                                         for _, row in mine])
            for (i, row), (value, cause) in zip(mine, expected):
                outcome = row["outcome"]
                if f == "DATDIF" and row["basis"] == "-":
                    assert lo.cell_result(sheet.getCellByPosition(3, i + 1))[0] == "error"
                    continue
                if outcome.startswith("refused: "):
                    outcome = outcome[len("refused: "):]
                assert cause == ("" if outcome == "none" else outcome), row
                check(sheet.getCellByPosition(3, i + 1), (value, cause),
                      sheet.getCellByPosition(4, i + 1), str(row))
    finally:
        doc.close(True)


def test_hostile_dates_give_their_causes(office):
    """tests/cases/hostile.tsv, each date as Calc can hold it: a text (its
    bytes as characters), a serial number for days since 1970, a date cell
    for a civil date; missing values as an empty cell in a range."""
    doc = office.new_sheet()
    try:
        sheet = doc.Sheets.getByIndex(0)
        rows = []
        for row in table("hostile.tsv"):
            kind, value = row["kind"], row["value"]
            if kind == "seconds" or value in ("Inf", "-Inf"):
                continue  # values that a cell cannot hold
            cell = sheet.getCellByPosition(0, len(rows) + 1)
            if kind == "text":
                text = re.sub(r"\\x([0-9a-f]{2})", lambda m: chr(int(m.group(1), 16)), value)
                put_text(cell, text)
            elif kind == "days":
                cell.setValue(float(value) + 25569)  # 1970-01-01 is serial 25569
            elif kind == "civil":  # a date cell of that day, which Calc's calendar has
                day = datetime.date(*map(int, value.split("-")))
                cell.setValue((day - datetime.date(1899, 12, 30)).days)
            # missing: the cell stays empty
            rows.append(row)
        n = len(rows)
        sheet.getCellByPosition(1, 1).setString("2020-01-01")
        sheet.getCellRangeByPosition(2, 1, 2, n).setArrayFormula(
            f"={lo.PREFIX}YRDIF(A2:A{n + 1};B2;\"ACT/ACT\")")
        sheet.getCellRangeByPosition(3, 1, 3, n).setArrayFormula(
            f"={lo.PREFIX}YRDIFCAUSE(A2:A{n + 1};B2;\"ACT/ACT\")")
        doc.calculateAll()
        for i, row in enumerate(rows):
            cause = "" if row["cause"] == "none" else row["cause"]
            got = lo.cell_result(sheet.getCellByPosition(3, i + 1))
            assert got == ("text", cause), row
            result = lo.cell_result(sheet.getCellByPosition(2, i + 1))
            if cause:
                assert result == ("error", ERROR_OF_CAUSE[cause]), row
            else:
                assert result[0] == "value", row
    finally:
        doc.close(True)


def descriptions():
    out = {}
    with open(os.path.join(HERE, "..", "..", "docs", "descriptions.tsv"), encoding="utf-8") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                function, argument, text = line.rstrip("\n").split("\t")
                out[(function, argument)] = text
    return out


def test_function_wizard_shows_names_arguments_and_descriptions(office):
    fd = office.context.ServiceManager.createInstanceWithContext(
        "com.sun.star.sheet.FunctionDescriptions", office.context)
    date_time = None
    shown = {}
    for i in range(fd.getCount()):
        d = {p.Name: p.Value for p in fd.getByIndex(i)}
        if d["Name"] == "YEARFRAC":
            date_time = d["Category"]
        shown[d["Name"]] = d
    texts = descriptions()
    for f, fewest in (("YRDIF", 2), ("DATDIF", 3)):
        for suffix in ("", "_CAUSE", "_EXPLAIN"):
            d = shown[f + suffix]
            assert d["Category"] == date_time, f + suffix  # Date&Time, with YEARFRAC
            assert texts[(f, "")] in d["Description"]
            args = d["Arguments"]
            assert [a.Name for a in args] == ["start", "end", "basis"]
            assert [a.Description for a in args] == [texts[(f, a)] for a in ("start", "end", "basis")]
            assert [a.IsOptional for a in args] == [False, False, fewest == 2]


def test_peers_beside(cases):
    """Calc's own YEARFRAC and DAYS360 beside YRDIF and DATDIF, as
    docs/functions.md tells where they agree."""
    set_null_date(cases, NULL_DATES[0])
    sheet = cases.Sheets.getByName("peers")
    r = 1
    seen = 0
    while sheet.getCellByPosition(0, r).getType().value != "EMPTY":
        v = [lo.cell_result(sheet.getCellByPosition(c, r)) for c in range(13)]
        assert all(kind == "value" for kind, _ in v[2:]), (r, v)
        x = [value for _, value in v]
        start = datetime.date(1899, 12, 30) + datetime.timedelta(days=int(x[0]))
        end = datetime.date(1899, 12, 30) + datetime.timedelta(days=int(x[1]))
        sign = math.copysign(1, x[1] - x[0])
        # ACT/360 and ACT/365: the same days over the same year, the same bits;
        # YEARFRAC leaves out the sign.
        assert bits(x[6]) == bits(sign * x[7]) and bits(x[8]) == bits(sign * x[9]), r
        # ACT/ACT within one calendar year: the days over that year's length.
        if start.year == end.year:
            assert bits(x[4]) == bits(x[5]), r
        # 30/360: YEARFRAC's basis 0 and DAYS360's US method agree with YRDIF
        # and DATDIF, except where February's last day moves a date.
        last_of_february = lambda d: (d + datetime.timedelta(days=1)).month == 3 and d.month == 2
        if sign > 0 and not last_of_february(start):
            assert bits(x[2]) == bits(x[3]), r
        if not last_of_february(end):
            assert x[10] == x[11], r
        # DAYS360's European method is 30/360 with neither the February rules
        # nor the US rule for the 31st.
        d1, d2 = min(start.day, 30), min(end.day, 30)
        assert x[12] == 360 * (end.year - start.year) + 30 * (end.month - start.month) + d2 - d1
        seen += 1
        r += 1
    assert seen >= 10
    # docs/functions.md's table of them is what Calc computes.
    page = open(os.path.join(HERE, "..", "..", "docs", "functions.md"), encoding="utf-8").read()
    section = page.split("### In LibreOffice Calc: YEARFRAC and DAYS360 beside")[1]
    lines = [l for l in section.split("\n###")[0].splitlines() if re.match(r"\| \d{4}-", l)]
    assert len(lines) >= 4
    columns = (4, 5, 2, 3, 10, 11, 12)  # of the sheet, in the table's order
    for line in lines:
        start, end, *figures = [f.strip() for f in line.strip("|").split("|")]
        r = 1
        while sheet.getCellByPosition(0, r).getType().value != "EMPTY":
            day = lambda c: (datetime.date(1899, 12, 30) + datetime.timedelta(
                days=int(sheet.getCellByPosition(c, r).getValue()))).isoformat()
            if (day(0), day(1)) == (start, end):
                break
            r += 1
        else:
            raise AssertionError(f"{start} to {end} is not on the sheet")
        got = [sheet.getCellByPosition(c, r).getValue() for c in columns]
        assert [float(f) for f in figures] == got, line


@pytest.fixture(scope="module")
def converter():
    """A profile with the extension and no running office, for soffice
    --convert-to as a user runs it."""
    o = lo.Office(OXT, listen=False)
    yield o
    o.close()


def convert(converter, path, options=""):
    """soffice --headless --convert-to csv of a copy of the document: the
    texts of each row of its first sheet."""
    out = converter.path("out")
    converter.run(["soffice", "--headless", "--norestore", "--convert-to", "csv" + options,
                   "--outdir", out, converter.copy(path)])
    name = os.path.splitext(os.path.basename(path))[0] + ".csv"
    with open(os.path.join(out, name), encoding="utf-8") as f:
        return list(csv.reader(f))


def test_csv_export_shows_what_the_cells_hold(cases, converter):
    """The plain headless route: soffice --convert-to csv computes the
    document and writes what each cell shows (15 significant digits), the
    same texts as the cells of the document that the tests compute."""
    set_null_date(cases, NULL_DATES[0])
    pairs = cases.Sheets.getByName("pairs")
    n = len(pair_rows(pairs, NULL_DATES[0], False))
    shown = [[pairs.getCellByPosition(c, r).getString() for c in range(3, 7)]
             for r in range(1, n + 1)]
    exported = convert(converter, CASES, ":Text - txt - csv (StarCalc):44,34,76,1")
    assert [row[3:7] for row in exported[1:n + 1]] == shown


def test_the_readme_example(converter):
    """README.md's Calc example prints what the README shows."""
    readme = open(os.path.join(HERE, "..", "..", "README.md"), encoding="utf-8").read()
    shown = re.search(r"examples/intervals.fods.*?```\n```\n(.*?)```", readme, re.S).group(1)
    example = os.path.join(HERE, "..", "..", "examples", "intervals.fods")
    assert convert(converter, example) == list(csv.reader(io.StringIO(shown)))


def calculate_within(office, doc, seconds=300):
    """Recalculates the document; fails if the office hangs or dies."""
    import threading
    failure = []

    def run():
        try:
            doc.calculateAll()
        except Exception as e:  # the office went away
            failure.append(e)

    worker = threading.Thread(target=run, daemon=True)
    worker.start()
    worker.join(seconds)
    assert not worker.is_alive(), "the office did not finish the recalculation"
    assert not failure and office.alive(), failure


def test_hostile_sheet(office):
    """Huge texts, control characters and other binary in cells, errors in
    referenced cells and a 100,000-row range: the office survives, and every
    cell is a number, or an error whose cause the cause function gives."""
    doc = office.new_sheet()
    try:
        sheet = doc.Sheets.getByIndex(0)
        texts = ["2024-01-01" + "x" * 200_000, "9" * 100_000, " " * 50_000 + "2024-01-01",
                 "\x01\x02\x1b[2J\x07\x7f", "2024-01-01\x00", "\uffff\ufffe\u200b", "\U0001F4C5",
                 "2024-01-01" + "\u0301", "-" * 300, "+9999999999-01-01"]
        bases = ["ACT/ACT" + " " * 1_000_000, "\x00ACT/ACT", "ACT/ACT\x00", "\x1b[31m",
                 "30/360" * 50_000, "\U0001F4C5", "A" * 257, "ACT/365", "ACT/360", "AGE"]
        rows = [(t, "ACT/ACT") for t in texts] + [("2024-01-01", b) for b in bases]
        for i, (text, basis) in enumerate(rows):
            sheet.getCellByPosition(0, i).setString(text)
            sheet.getCellByPosition(1, i).setString("2025-01-01")
            sheet.getCellByPosition(2, i).setString(basis)
            for c, f in ((3, "YRDIF"), (4, "YRDIFCAUSE"), (5, "DATDIF"), (6, "DATDIFCAUSE")):
                sheet.getCellByPosition(c, i).setFormula(
                    f"={lo.PREFIX}{f}(A{i + 1};B{i + 1};C{i + 1})")
        # Errors in referenced cells: Calc's own error comes through, for a
        # cell alone and inside a range.
        sheet.getCellRangeByName("H1").setFormula("=1/0")
        sheet.getCellRangeByName("H2").setFormula("=NA()")
        sheet.getCellRangeByName("I1").setFormula(f'={lo.PREFIX}YRDIF(H1;B1;"ACT/ACT")')
        sheet.getCellRangeByName("I2").setFormula(f'={lo.PREFIX}DATDIFCAUSE(H2;B1;"ACT/ACT")')
        sheet.getCellRangeByName("I3").setFormula(f'={lo.PREFIX}YRDIF(H1:H2;B1:B2;"ACT/ACT")')
        # 100,000 rows: dates from a formula, one array formula over them.
        n = 100_000
        sheet.getCellRangeByName("K1").setFormula("=ROW()*3")
        sheet.getCellRangeByName(f"K1:K{n}").fillAuto(
            uno.Enum("com.sun.star.sheet.FillDirection", "TO_BOTTOM"), 1)
        sheet.getCellRangeByName(f"L1:L{n}").setArrayFormula(
            f'={lo.PREFIX}YRDIF(K1:K{n};K1:K{n}+400;C1:C{n})')
        sheet.getCellRangeByName(f"M1:M{n}").setArrayFormula(
            f'={lo.PREFIX}YRDIFCAUSE(K1:K{n};K1:K{n}+400;C1:C{n})')
        calculate_within(office, doc)
        for i in range(len(rows)):
            for c in (3, 5):
                result = lo.cell_result(sheet.getCellByPosition(c, i))
                cause = lo.cell_result(sheet.getCellByPosition(c + 1, i))
                assert cause[0] == "text", (i, c, cause)
                if result[0] == "error":
                    assert ERROR_OF_CAUSE[cause[1]] == result[1], (i, c, result, cause)
                else:
                    assert result[0] == "value" and cause[1] == "", (i, c, result, cause)
        assert lo.cell_result(sheet.getCellRangeByName("I1")) == ("error", 532)  # #DIV/0!
        assert lo.cell_result(sheet.getCellRangeByName("I2")) == ("error", lo.NOT_AVAILABLE)
        assert lo.cell_result(sheet.getCellRangeByName("I3"))[0] == "error"
        # Below the bases the range's basis cells are empty: basis missing.
        for r in (0, 7, 10, n // 2, n - 1):
            result = lo.cell_result(sheet.getCellByPosition(11, r))
            cause = lo.cell_result(sheet.getCellByPosition(12, r))
            if r < len(rows):
                assert cause[0] == "text"
            else:
                assert result == ("error", lo.NOT_AVAILABLE) and cause == ("text", "basis missing")
        # And with a basis for all: numbers all the way down.
        sheet.getCellRangeByName(f"L1:L{n}").setArrayFormula(
            f'={lo.PREFIX}DATDIF(K1:K{n};K1:K{n}+400;"ACT/365")')
        calculate_within(office, doc)
        assert lo.cell_result(sheet.getCellByPosition(11, n - 1)) == ("value", 400.0)
    finally:
        doc.close(True)


def test_random_pairs_match_modhost(office):
    """A differential sweep: 1,000 random pairs of serial numbers (fractions,
    negative ones, beyond the bounds) with random bases, and the days that
    Calc's calendar has and the host calendar lacks; each function as one
    array formula, every cell held to modhost."""
    import random
    rng = random.Random(20261210)
    bases = ["30/360", "ACT/ACT", "ACT/360", "ACT/365", "AGE", "ACTUAL", "act/365", " 30/360 ",
             "A/365", "", "360/ACT"]
    low, high = (datetime.date(1500, 1, 1) - datetime.date(1899, 12, 30)).days, \
        (datetime.date(9999, 12, 31) - datetime.date(1899, 12, 30)).days
    rows = []
    for _ in range(1000):
        a = rng.uniform(low, high) if rng.random() < 0.3 else rng.uniform(-130000, 80000)
        b = a + rng.uniform(-4000, 4000) if rng.random() < 0.7 else rng.uniform(low, high)
        b = min(max(b, low), high)
        rows.append((round(a, rng.choice([0, 0, 3])), round(b, rng.choice([0, 0, 3])),
                     rng.choice(bases)))
    for year in (4000, 8000):  # 29 February of Calc's calendar, and the days around it
        leap = (datetime.date(year, 2, 29) - datetime.date(1899, 12, 30)).days
        rows += [(leap + d, leap + 400, basis) for d in (-1, 0, 0.5, 1) for basis in bases[:4]]
    doc = office.new_sheet()
    try:
        sheet = doc.Sheets.getByIndex(0)
        n = len(rows)
        sheet.getCellRangeByPosition(0, 0, 2, n - 1).setDataArray(
            tuple((a, b, basis) for a, b, basis in rows))
        for column, f in enumerate(FUNCTIONS):
            sheet.getCellRangeByPosition(3 + column, 0, 3 + column, n - 1).setArrayFormula(
                f"={lo.PREFIX}{f}(A1:A{n};B1:B{n};C1:C{n})")
            sheet.getCellRangeByPosition(5 + column, 0, 5 + column, n - 1).setArrayFormula(
                f"={lo.PREFIX}{f}CAUSE(A1:A{n};B1:B{n};C1:C{n})")
        calculate_within(office, doc)
        null = NULL_DATES[0]
        inputs = [(gregorian(null, a), gregorian(null, b), basis) for a, b, basis in rows]
        checked = set()
        for column, f in enumerate(FUNCTIONS):
            for i, expected in enumerate(modhost_batch(f, inputs)):
                check(sheet.getCellByPosition(3 + column, i), expected,
                      sheet.getCellByPosition(5 + column, i), f"{f} {rows[i]}")
                checked.add("number" if expected[0] is not None else expected[1])
        # The sweep met numbers and every cause that its values can have.
        assert checked >= {"number", "basis missing", "basis names no basis",
                           "date out of range (1582-01-01 to 20000-12-31)",
                           "no such date in the host calendar"}, checked
    finally:
        doc.close(True)
