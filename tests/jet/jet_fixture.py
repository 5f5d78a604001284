#!/usr/bin/env python3
"""Writes small Jet 4.0 (Access 2000) database files for the tests.

No Jet writer exists on Linux, so the test files are built here from the
published facts about the format: 4096-byte pages; page 0 the header; the
catalog table MSysObjects defined on page 2; one table definition page per
table (a 63-byte header, 25 bytes per column, then the names); data pages
with a 14-byte header, a 2-byte offset table and rows packed from the end of
the page downwards; a table's pages listed in a usage map, inline for up to
512 pages, else through bitmap pages.

The sample table is `emp1`: 50 Integer columns, Time (DateTime), Number
(Long), all fixed, nullable. Its rows are written in order, 33 to a page.

    jet_fixture.py OUT.mdb --records N [--kind KIND] [--seed S] [--expected FILE]

KIND: plain (default), extreme, nulls, damaged, foreign, wrong-type,
missing-column, encrypted. --expected writes the generated rows, one line per
record: 50 values, Time as a hexadecimal double, Number, blank-separated, with
"N" for a NULL cell.
"""
import argparse
import random
import struct
import sys

PAGE = 4096
MAGIC_KEY = bytes([0xC7, 0xDA, 0x39, 0x6B])

T_INT, T_LONG, T_DATETIME, T_TEXT, T_OLE = 0x03, 0x04, 0x08, 0x0A, 0x0B
FIXED_SIZE = {T_INT: 2, T_LONG: 4, T_DATETIME: 8}
FMT = {T_INT: "<h", T_LONG: "<i", T_DATETIME: "<d"}

EMP1_NAMES = (
    "Pd Ps Td Ts Toil Ta Te PMV AC FreqMain FreqTotal SubUnit1 SubUnit2 SubUnit3 "
    "EPCode_Tar FunSpeed Main_Valves Main_free Pd_Temp Ps_Temp Td1 Ts1 Toil1 Ta1 Te1 "
    "PMV1 Sub1_Valves Sub1_free1 Sub1_free2 Sub1_free3 Td2 Ts2 Toil2 Ta2 Te2 PMV2 "
    "Sub2_Valves Sub2_free1 Sub2_free2 Sub2_free3 Td3 Ts3 Toil3 Ta3 Te3 PMV3 "
    "Sub3_Valves Sub3_free1 Sub3_free2 Sub3_free3").split()
EMP1 = [(n, T_INT) for n in EMP1_NAMES] + [("Time", T_DATETIME), ("Number", T_LONG)]

# The first Time: 2024-03-01 08:00:00, then a sample every 4 s.
FIRST_TIME = 45352.0 + 8.0 / 24.0
STEP = 4.0 / 86400.0


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    out = bytearray(data)
    i = j = 0
    for n in range(len(out)):
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out[n] ^= s[(s[i] + s[j]) & 0xFF]
    return bytes(out)


class Column:
    def __init__(self, name, type_, number, fixed_offset=0, var_index=0):
        self.name, self.type, self.number = name, type_, number
        self.fixed = type_ in FIXED_SIZE
        self.size = FIXED_SIZE.get(type_, 510 if type_ == T_TEXT else 0)
        self.fixed_offset, self.var_index = fixed_offset, var_index


def make_columns(layout):
    cols, fixed_at, var_n = [], 0, 0
    for number, (name, type_) in enumerate(layout):
        c = Column(name, type_, number)
        if c.fixed:
            c.fixed_offset = fixed_at
            fixed_at += c.size
        else:
            c.var_index = var_n
            var_n += 1
        cols.append(c)
    return cols


def table_definition(columns, rows, system, used_map, free_map):
    """A table definition page: header, column entries, column names."""
    head = bytearray(63)
    head[0], head[1] = 0x02, 0x01
    head[2:4] = b"VC"
    struct.pack_into("<I", head, 16, rows)
    head[40] = 0x53 if system else 0x4E
    n_var = sum(1 for c in columns if not c.fixed)
    struct.pack_into("<HHH", head, 41, len(columns), n_var, len(columns))
    struct.pack_into("<ii", head, 47, 0, 0)
    struct.pack_into("<II", head, 55, used_map, free_map)
    body = bytearray()
    for c in columns:
        e = bytearray(25)
        e[0] = c.type
        struct.pack_into("<HHH", e, 5, c.number, c.var_index, c.number)
        e[15] = (0x01 if c.fixed else 0) | 0x02
        struct.pack_into("<HH", e, 21, c.fixed_offset, c.size)
        body += e
    for c in columns:
        name = c.name.encode("utf-16-le")
        body += struct.pack("<H", len(name)) + name
    page = bytearray(PAGE)
    data = head + body
    struct.pack_into("<I", data, 8, len(data) - 8)
    page[: len(data)] = data
    return page


def pack_row(columns, values):
    """A row: column count, fixed data, variable data with its offset table
    (only when the table has variable columns), null mask (bit set = not null)."""
    fixed = bytearray(sum(c.size for c in columns if c.fixed))
    mask = bytearray((len(columns) + 7) // 8)
    var_cols = [c for c in columns if not c.fixed]
    var_data, var_starts = bytearray(), []
    for c, v in zip(columns, values):
        if v is not None:
            mask[c.number // 8] |= 1 << (c.number % 8)
        if c.fixed:
            if v is not None:
                struct.pack_into(FMT[c.type], fixed, c.fixed_offset, v)
        else:
            var_starts.append(2 + len(fixed) + len(var_data))
            if v is not None:
                var_data += v
    row = bytearray(struct.pack("<H", len(columns))) + fixed + var_data
    if var_cols:
        eod = len(row)
        offsets = [eod] + var_starts[::-1]
        row += b"".join(struct.pack("<H", o) for o in offsets)
        row += struct.pack("<H", len(var_cols))
    return bytes(row + mask)


def data_page(owner, rows):
    page = bytearray(PAGE)
    page[0], page[1] = 0x01, 0x01
    struct.pack_into("<IIH", page, 4, owner, 0, len(rows))
    end = PAGE
    for i, r in enumerate(rows):
        end -= len(r)
        page[end:end + len(r)] = r
        struct.pack_into("<H", page, 14 + 2 * i, end)
    struct.pack_into("<H", page, 2, end - (14 + 2 * len(rows)))
    return page


def fill_pages(owner, rows):
    pages, cur, used = [], [], 14
    for r in rows:
        if used + len(r) + 2 > PAGE:
            pages.append(data_page(owner, cur))
            cur, used = [], 14
        cur.append(r)
        used += len(r) + 2
    if cur:
        pages.append(data_page(owner, cur))
    return pages


def usage_map(pages, first_free_page, out_pages):
    """The usage map row for data pages `pages`: inline when they fit one
    512-page window, else indirect through bitmap pages appended to out_pages
    starting at page number first_free_page. Returns the row."""
    if not pages:
        return b"\x00" + struct.pack("<I", 0) + bytes(64)
    if pages[-1] - pages[0] < 512:
        bits = bytearray(64)
        for p in pages:
            bits[(p - pages[0]) // 8] |= 1 << ((p - pages[0]) % 8)
        return b"\x00" + struct.pack("<I", pages[0]) + bytes(bits)
    span = (PAGE - 4) * 8
    n_maps = pages[-1] // span + 1
    ptrs = []
    for m in range(n_maps):
        bm = bytearray(PAGE)
        bm[0], bm[1] = 0x05, 0x01
        for p in pages:
            if m * span <= p < (m + 1) * span:
                i = p - m * span
                bm[4 + i // 8] |= 1 << (i % 8)
        ptrs.append(first_free_page + len(out_pages))
        out_pages.append(bm)
    return b"\x01" + b"".join(struct.pack("<I", p) for p in ptrs)


def header_page(created, db_key):
    page = bytearray(PAGE)
    page[0:4] = b"\x00\x01\x00\x00"
    page[4:20] = b"Standard Jet DB\x00"
    struct.pack_into("<I", page, 0x14, 1)
    struct.pack_into("<H", page, 0x3C, 936)
    struct.pack_into("<I", page, 0x3E, db_key)
    struct.pack_into("<H", page, 0x6E, 0x0804)
    struct.pack_into("<d", page, 0x72, created)
    mask = struct.pack("<i", int(created))
    for i in range(40):
        page[0x42 + i] = mask[i % 4]  # an empty password, masked
    page[0x18:0x98] = rc4(MAGIC_KEY, bytes(page[0x18:0x98]))
    return page


def sample_rows(n, kind, rng):
    rows = []
    extremes = (-32768, 32767, 0, -1, 1)
    for k in range(n):
        if kind == "extreme":
            vals = [extremes[(k + c) % len(extremes)] for c in range(50)]
            number = (-2**31, 2**31 - 1, 0, k)[k % 4]
        else:
            vals = list(struct.unpack("<50h", rng.randbytes(100)))
            number = k
        row = vals + [FIRST_TIME + k * STEP, number]
        if kind == "nulls" and k % 3 == 1:
            row[(k * 7) % 50] = None
            if k % 9 == 1:
                row[50] = None
            if k % 5 == 1:
                row[51] = None
        rows.append(row)
    return rows


def foreign_layout():
    return [("OrderId", T_LONG), ("Placed", T_DATETIME), ("Qty", T_INT)]


def catalog_rows(user_name):
    tables, created = 0x0F000001, FIRST_TIME - 1.0
    catalog = [("Tables", 0x0F000000, 3, 0, tables), ("Databases", 0x0F000000, 3, 0, 0x0F000002),
               ("Relationships", 0x0F000000, 3, 0, 0x0F000003),
               ("MSysObjects", tables, 1, -2147483646, 2), (user_name, tables, 1, 0, 4)]
    return [[id_, parent, name.encode("utf-16-le"), type_, created, created, flags, None]
            for name, parent, type_, flags, id_ in catalog]


MSYS_LAYOUT = [("Id", T_LONG), ("ParentId", T_LONG), ("Name", T_TEXT), ("Type", T_INT),
               ("DateCreate", T_DATETIME), ("DateUpdate", T_DATETIME), ("Flags", T_LONG),
               ("LvProp", T_OLE)]


def build(n, kind, seed):
    rng = random.Random(seed)
    if kind == "foreign":
        layout, user_name = foreign_layout(), "Orders"
        rows = [[k + 1, FIRST_TIME + k, k % 7] for k in range(n)]
    else:
        layout, user_name = list(EMP1), "emp1"
        if kind == "wrong-type":
            layout[0] = ("Pd", T_LONG)
        if kind == "missing-column":
            layout = layout[:-1]
        rows = sample_rows(n, kind, rng)
        if kind in ("wrong-type", "missing-column"):
            rows = [r[:len(layout)] for r in rows]
    user_cols = make_columns(layout)
    msys_cols = make_columns(MSYS_LAYOUT)
    # Pages: 0 header, 1 usage maps, 2 catalog definition, 3 catalog rows,
    # 4 user table definition, 5.. bitmap pages (if any), then its rows.
    data = fill_pages(4, [pack_row(user_cols, r) for r in rows]) if rows else []
    extra = []
    first_data = 5 + (1 if len(data) > 512 else 0)
    data_numbers = list(range(first_data, first_data + len(data)))
    user_map = usage_map(data_numbers, 5, extra)
    assert 5 + len(extra) == first_data
    empty_map = b"\x00" + struct.pack("<I", 0) + bytes(64)
    maps = [usage_map([3], 0, []), empty_map, user_map, empty_map]
    map_page = data_page(0, maps)
    msys = data_page(2, [pack_row(msys_cols, r) for r in catalog_rows(user_name)])
    db_key = 0x5AC3E10F if kind == "encrypted" else 0
    pages = [header_page(FIRST_TIME - 1.0, db_key), map_page,
             table_definition(msys_cols, 5, True, (1 << 8) | 0, (1 << 8) | 1), msys,
             table_definition(user_cols, len(rows), False, (1 << 8) | 2, (1 << 8) | 3)]
    pages += extra + data
    if kind == "damaged":
        if len(data) < 2:
            sys.exit("a damaged file needs at least two data pages")
        victim = first_data + len(data) // 2
        pages[victim] = bytearray(random.Random(seed + 1).randbytes(PAGE))
        pages[victim][0] = 0x07
    if db_key:
        for p in range(1, len(pages)):
            pages[p] = rc4(struct.pack("<I", db_key ^ p), bytes(pages[p]))
    return b"".join(bytes(p) for p in pages), rows


def expected_line(row):
    out = []
    for i, v in enumerate(row):
        if v is None:
            out.append("N")
        elif i == 50:
            out.append(float(v).hex())
        else:
            out.append(str(v))
    return " ".join(out)


def main():
    ap = argparse.ArgumentParser(description="Writes a Jet 4.0 test database.")
    ap.add_argument("out")
    ap.add_argument("--records", type=int, required=True)
    ap.add_argument("--kind", default="plain",
                    choices=["plain", "extreme", "nulls", "damaged", "foreign", "wrong-type",
                             "missing-column", "encrypted"])
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--expected")
    a = ap.parse_args()
    blob, rows = build(a.records, a.kind, a.seed)
    with open(a.out, "wb") as f:
        f.write(blob)
    if a.expected:
        with open(a.expected, "w") as f:
            for r in rows:
                f.write(expected_line(r) + "\n")


if __name__ == "__main__":
    main()
