#!/usr/bin/env python3
"""Proves a generated Jet test file with two independent readers.

Generates the file with jet_fixture.py, then reads its table back with
mdbtools' mdb-export and with the npm package mdb-reader (through node), and
compares every cell with the generated rows. A damaged file is proven the
other way round: neither reader may hand back the generated rows unharmed.

    prove_fixture.py WORKDIR --records N [--kind KIND] [--seed S]

The folder holding node_modules/mdb-reader is taken from ORLIX_MDB_READER.
Exit status 0 when the proof holds, 1 with the first difference otherwise.
"""
import argparse
import datetime
import math
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import jet_fixture  # noqa: E402

EPOCH = datetime.datetime(1899, 12, 30)


def mdb_export_time(td):
    """The text mdb-export gives a date-time with -T '%Y-%m-%dT%H:%M:%S': the
    day count and the time of day rounded to the nearest second."""
    day = math.floor(td)
    seconds = math.floor((td - day) * 86400.0 + 0.5)
    return (EPOCH + datetime.timedelta(days=day, seconds=seconds)).strftime("%Y-%m-%dT%H:%M:%S")


def mdb_reader_time(td):
    """What mdb-reader gives: milliseconds since 1970, rounded as JavaScript's
    Math.round does."""
    return str(math.floor((td - 25569) * 86400 * 1000 + 0.5))


def expected_cells(rows, types, time_text):
    out = []
    for r in rows:
        cells = []
        for v, t in zip(r, types):
            if v is None:
                cells.append("N")
            elif t == jet_fixture.T_DATETIME:
                cells.append(time_text(v))
            else:
                cells.append(str(v))
        out.append(cells)
    return out


def run(cmd, env=None):
    p = subprocess.run(cmd, capture_output=True, text=True, env=env)
    return p.returncode, p.stdout, p.stderr


def read_mdb_export(path, table):
    rc, out, err = run(["mdb-export", "-H", "-Q", "-0", "N", "-T", "%Y-%m-%dT%H:%M:%S", path, table])
    if rc != 0:
        return None, err.strip()
    return [line.split(",") for line in out.splitlines()], err.strip()


def read_mdb_reader(path, table):
    rc, out, err = run(["node", os.path.join(HERE, "read_with_mdb_reader.mjs"), path, table])
    if rc != 0:
        errors = [line for line in err.splitlines() if line.startswith("Error")]
        return None, None, errors[0] if errors else "exit %d" % rc
    lines = out.splitlines()
    return lines[0].split(" "), [line.split(" ") for line in lines[1:]], ""


def first_difference(name, got, want):
    if got is None:
        return "%s could not read the table" % name
    if len(got) != len(want):
        return "%s read %d records, %d were written" % (name, len(got), len(want))
    for n, (g, w) in enumerate(zip(got, want)):
        if g != w:
            col = next(i for i, (a, b) in enumerate(zip(g, w)) if a != b) if len(g) == len(w) else -1
            return "%s record %d column %d: read %r, wrote %r" % (
                name, n, col, g[col] if col >= 0 else g, w[col] if col >= 0 else w)
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("workdir")
    ap.add_argument("--records", type=int, required=True)
    ap.add_argument("--kind", default="plain")
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    os.makedirs(a.workdir, exist_ok=True)
    path = os.path.join(a.workdir, "%s_%d.mdb" % (a.kind, a.records))
    blob, rows = jet_fixture.build(a.records, a.kind, a.seed)
    with open(path, "wb") as f:
        f.write(blob)

    table = "Orders" if a.kind == "foreign" else "emp1"
    layout = {"foreign": jet_fixture.foreign_layout()}.get(a.kind, list(jet_fixture.EMP1))
    if a.kind == "wrong-type":
        layout[0] = ("Pd", jet_fixture.T_LONG)
    if a.kind == "missing-column":
        layout = layout[:-1]
    types = [t for _, t in layout]
    names = [n for n, _ in layout]

    exported, export_err = read_mdb_export(path, table)
    header, read, reader_err = read_mdb_reader(path, table)
    export_diff = first_difference("mdb-export", exported,
                                   expected_cells(rows, types, mdb_export_time))
    reader_diff = first_difference("mdb-reader", read,
                                   expected_cells(rows, types, mdb_reader_time))
    if reader_diff is None and header != names:
        reader_diff = "mdb-reader column names %r" % header

    if a.kind == "damaged":
        if export_diff is None or reader_diff is None:
            print("FAIL %s: a reader reads the damaged file as whole" % path)
            return 1
        print("ok %s: damage seen (%s; %s)" % (os.path.basename(path), export_diff,
                                                reader_err or reader_diff))
        return 0
    for diff, err in ((export_diff, export_err), (reader_diff, reader_err)):
        if diff:
            print("FAIL %s: %s %s" % (path, diff, err))
            return 1
    print("ok %s: %d records read back exactly by mdb-export and mdb-reader"
          % (os.path.basename(path), len(rows)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
