"""Packs the extension: OUT (the .oxt) from files of the folder STAGE, each
dated by SECONDS (the build time) and with fixed modes, so that two builds
of one tree give the same bytes.

    python3 calc/oxt.py OUT STAGE SECONDS FILE...
"""
import sys
import time
import zipfile


def main(out, stage, seconds, *files):
    when = time.gmtime(int(seconds))[:6]
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as oxt:
        for name in files:
            entry = zipfile.ZipInfo(name, date_time=max(when, (1980, 1, 1, 0, 0, 0)))
            executable = name.endswith(".so") or ".so." in name
            entry.external_attr = (0o100755 if executable else 0o100644) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(f"{stage}/{name}", "rb") as f:
                oxt.writestr(entry, f.read())


if __name__ == "__main__":
    main(*sys.argv[1:])
