"""Checks an orlix-export output against the database it came from, with
Python's own csv, json and sqlite3 modules: every record of emp1 in time
order, the same numbers, and the ISO time computed here from the day count.

usage: check_export.py DB OUTPUT csv|json [FROM_DAYS BEFORE_DAYS]
Prints the first difference and exits 1, or prints the record count.
"""
import csv
import datetime
import json
import sqlite3
import sys

EPOCH = datetime.datetime(1899, 12, 30)


def iso(days):
    if days is None:
        return None
    t = EPOCH + datetime.timedelta(seconds=round(days * 86400.0))
    return t.strftime("%Y-%m-%dT%H:%M:%S")


def main():
    db_path, out_path, fmt = sys.argv[1:4]
    bounds = [float(b) for b in sys.argv[4:6]]
    db = sqlite3.connect("file:" + db_path + "?mode=ro", uri=True)
    columns = [r[1] for r in db.execute("PRAGMA table_info(emp1)")][:50]
    sql = "SELECT %s, Time FROM emp1" % ",".join(columns)
    if bounds:
        sql += " WHERE Time >= ? AND Time < ?"
    records = db.execute(sql + " ORDER BY Time", bounds).fetchall()

    with open(out_path, encoding="utf-8", newline="") as f:
        if fmt == "csv":
            reader = csv.reader(f)
            header = next(reader)
            if header != ["time", "time_days"] + columns:
                print("header differs:", header)
                return 1
            rows = [(r[0], float(r[1]), [int(v) for v in r[2:]]) for r in reader]
        else:
            rows = []
            for line in f:
                o = json.loads(line)
                if list(o.keys()) != ["time", "time_days"] + columns:
                    print("keys differ:", list(o.keys()))
                    return 1
                rows.append((o["time"], o["time_days"], [o[c] for c in columns]))

    if len(rows) != len(records):
        print("records: %d exported, %d in the file" % (len(rows), len(records)))
        return 1
    for n, (row, rec) in enumerate(zip(rows, records)):
        want = (iso(rec[50]), rec[50], list(rec[:50]))
        if row != want:
            print("record %d differs:\n  exported %r\n  file     %r" % (n, row, want))
            return 1
    print(len(rows))
    return 0


sys.exit(main())
