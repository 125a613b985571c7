"""Every `$ modhost ...` line of the function reference prints what the page shows."""
import os
import re
import shlex
import subprocess

from conftest import BUILD

DOC = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "functions.md")


def examples():
    text = open(DOC, encoding="utf-8").read()
    for block in re.findall(r"```\n(.*?)```", text, flags=re.S):
        command, output = None, []
        for line in block.splitlines() + ["$"]:
            line = line.strip()
            if line.startswith("$"):
                if command:
                    yield command, "\n".join(output).strip()
                command, output = (line[2:] if line.startswith("$ modhost ") else None), []
            elif command:
                output.append(line)


def test_every_example_prints_what_the_page_shows():
    seen = 0
    for command, expected in examples():
        words = shlex.split(command)
        out = subprocess.run([os.path.join(BUILD, "bin", words[0])] + words[1:],
                             capture_output=True, text=True)
        assert (out.stdout + out.stderr).strip() == expected, command
        seen += 1
    assert seen >= 30
