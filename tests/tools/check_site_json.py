"""Checks what a recorder published for a site against its database.

usage: check_site_json.py MESSAGES [DB] [--faults-needed]

MESSAGES holds one message per line, "<retained> <topic> <payload>" (as
mosquitto_sub -F '%r %t %p' writes them). Every sample and fault payload must
parse as JSON of the documented shape, its utc_offset being the offset of
this process's local zone at its time; with DB, the samples' time_days must
be exactly the Time values of the database's records (each stored sample
published, nothing published that is not stored). Prints a summary line and
exits 1 on the first difference.
"""
import datetime
import json
import re
import sqlite3
import sys

COLUMNS = ("Pd Ps Td Ts Toil Ta Te PMV AC FreqMain FreqTotal SubUnit1 SubUnit2 SubUnit3 EPCode_Tar "
           "FunSpeed Main_Valves Main_free Pd_Temp Ps_Temp Td1 Ts1 Toil1 Ta1 Te1 PMV1 Sub1_Valves "
           "Sub1_free1 Sub1_free2 Sub1_free3 Td2 Ts2 Toil2 Ta2 Te2 PMV2 Sub2_Valves Sub2_free1 "
           "Sub2_free2 Sub2_free3 Td3 Ts3 Toil3 Ta3 Te3 PMV3 Sub3_Valves Sub3_free1 Sub3_free2 "
           "Sub3_free3").split()
ISO = re.compile(r"^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}$")
OFFSET = re.compile(r"^[+-]\d{2}:[0-5]\d$")
EPOCH = datetime.datetime(1899, 12, 30)


def fail(text):
    print("FAIL: " + text)
    sys.exit(1)


def iso_of_days(days):
    t = EPOCH + datetime.timedelta(days=days)
    t = (t + datetime.timedelta(microseconds=500000)).replace(microsecond=0)
    return t.strftime("%Y-%m-%dT%H:%M:%S")


def offset_text(delta):
    minutes = int(delta.total_seconds()) // 60
    return "%s%02d:%02d" % ("-" if minutes < 0 else "+", abs(minutes) // 60, abs(minutes) % 60)


def check_offset(obj):
    """utc_offset is the local zone's offset at the local time (either one
    where the clocks going back make that time name two instants)."""
    if not isinstance(obj["utc_offset"], str) or not OFFSET.match(obj["utc_offset"]):
        fail("utc_offset " + repr(obj["utc_offset"]))
    local = datetime.datetime.strptime(obj["time"], "%Y-%m-%dT%H:%M:%S")
    possible = {offset_text(local.replace(fold=f).astimezone().utcoffset()) for f in (0, 1)}
    if obj["utc_offset"] not in possible:
        fail("utc_offset %s at %s, the local zone has %s" % (obj["utc_offset"], obj["time"], sorted(possible)))


def check_sample(obj):
    if list(obj) != ["time", "utc_offset", "time_days", "values"]:
        fail("sample keys " + repr(list(obj)))
    if not ISO.match(obj["time"]):
        fail("sample time " + repr(obj["time"]))
    check_offset(obj)
    if not isinstance(obj["time_days"], float):
        fail("time_days " + repr(obj["time_days"]))
    if iso_of_days(obj["time_days"]) != obj["time"]:
        fail("time %s is not time_days %r" % (obj["time"], obj["time_days"]))
    if list(obj["values"]) != COLUMNS:
        fail("value keys " + repr(list(obj["values"])))
    for k, v in obj["values"].items():
        if not isinstance(v, int) or not -32768 <= v <= 32767:
            fail("value %s = %r" % (k, v))


def check_fault(obj):
    if list(obj) != ["list", "time", "utc_offset", "status"]:
        fail("fault keys " + repr(list(obj)))
    if obj["list"] not in ("Err", "ComErr", "ProtErr"):
        fail("fault list " + repr(obj["list"]))
    if not ISO.match(obj["time"]) or not isinstance(obj["status"], str):
        fail("fault " + repr(obj))
    check_offset(obj)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    messages, db = args[0], (args[1] if len(args) > 1 else None)
    faults_needed = "--faults-needed" in sys.argv
    samples, faults = [], 0
    with open(messages, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split(" ", 2)
            if len(parts) < 3:
                continue
            topic, payload = parts[1], parts[2]
            if topic.endswith("/sample"):
                obj = json.loads(payload)
                check_sample(obj)
                samples.append(obj["time_days"])
            elif topic.endswith("/faults"):
                check_fault(json.loads(payload))
                faults += 1
    if faults_needed and faults == 0:
        fail("no fault published")
    if db is None:
        print("ok samples=%d faults=%d" % (len(samples), faults))
        return
    stored = [r[0] for r in sqlite3.connect(db).execute("SELECT Time FROM emp1 ORDER BY Time")]
    if len(stored) != len(set(stored)):
        fail("the database holds a sample twice")
    published = set(samples)
    if set(stored) != published:
        only_db = sorted(set(stored) - published)
        only_pub = sorted(published - set(stored))
        fail("stored %d, published %d distinct; only stored %s, only published %s" %
             (len(stored), len(published), [iso_of_days(t) for t in only_db[:5]],
              [iso_of_days(t) for t in only_pub[:5]]))
    print("ok samples=%d distinct=%d faults=%d stored=%d" % (len(samples), len(published), faults, len(stored)))


main()
