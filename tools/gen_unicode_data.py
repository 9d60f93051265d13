#!/usr/bin/env python3
"""Builds the character data the wide-text functions embed as resources of
type UNICODE from the Unicode Character Database's UnicodeData.txt.

Every table starts with the 16-bit byte-order mark 0xFEFF and is written
little-endian. Layouts (all offsets in bytes):

TYPE      u16 mark, u16 category count N, u16 start[N + 1] (index of the
          first range of each category; start[N] is the number of ranges),
          u16 0 when needed to reach a multiple of 4, then per range
          u32 first, u32 last; ranges of one category are sorted and disjoint.
CASE      u16 mark, u16 0, u32 size of group 1, u32 size of group 2, then
          triples of u32: group 1 the upper-case letters (char, lower, title),
          group 2 the lower-case letters (char, upper, title), group 3 every
          other character with a case mapping (char, lower, upper). Each
          group is sorted by char; a missing form is the char itself.
DECOMPOSE u16 mark, u16 0, u32 count, per entry u32 char, u32 length n and
          n u32 code points (canonical decompositions only).
NUMBERS   u16 mark, u16 0, u32 count, per entry u32 char, i64 numerator,
          i64 denominator (some values pass 2^31).
COMBINE   u16 mark, u16 0, u32 count, per range u32 first, u32 last,
          u32 canonical combining class (classes other than 0).
"""

import argparse
import os
import struct
import sys

# The order is the one engine/unicode/UnicodeTables.h numbers them by.
CATEGORIES = [
    "Lu", "Ll", "Lt", "Lm", "Lo", "Mn", "Mc", "Me", "Nd", "Nl", "No",
    "Pc", "Pd", "Ps", "Pe", "Pi", "Pf", "Po", "Sm", "Sc", "Sk", "So",
    "Zs", "Zl", "Zp", "Cc", "Cf", "Cs", "Co", "Cn",
]
MARK = 0xFEFF


def read_records(path):
    """Yields (first, last, fields) with the First/Last pairs joined."""
    pending = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            fields = line.split(";")
            if len(fields) != 15:
                raise SystemExit(f"{path}: unexpected line: {line}")
            code = int(fields[0], 16)
            name = fields[1]
            if name.endswith(", First>"):
                pending = code
                continue
            if name.endswith(", Last>"):
                if pending is None:
                    raise SystemExit(f"{path}: range end without start at {fields[0]}")
                yield pending, code, fields
                pending = None
                continue
            yield code, code, fields


def build_type(records):
    ranges = {c: [] for c in CATEGORIES}
    for first, last, fields in records:
        cat = fields[2]
        if cat not in ranges:
            raise SystemExit(f"unknown category {cat}")
        lst = ranges[cat]
        if lst and lst[-1][1] + 1 == first:
            lst[-1][1] = last
        else:
            lst.append([first, last])
    starts, flat = [], []
    for cat in CATEGORIES:
        starts.append(len(flat))
        flat.extend(ranges[cat])
    starts.append(len(flat))
    if len(flat) > 0xFFFF:
        raise SystemExit("too many ranges for 16-bit start indexes")
    out = struct.pack("<HH", MARK, len(CATEGORIES))
    out += struct.pack("<%dH" % len(starts), *starts)
    if len(out) % 4:
        out += b"\0\0"
    for first, last in flat:
        out += struct.pack("<II", first, last)
    return out


def build_case(records):
    uppers, lowers, rest = [], [], []
    for first, last, fields in records:
        if first != last:
            continue  # ranges carry no case mappings
        c = first
        upper = int(fields[12], 16) if fields[12] else None
        lower = int(fields[13], 16) if fields[13] else None
        title = int(fields[14], 16) if fields[14] else upper
        if upper is None and lower is None and title is None:
            continue
        cat = fields[2]
        if cat == "Lu":
            uppers.append((c, lower or c, title or c))
        elif cat == "Ll":
            lowers.append((c, upper or c, title or c))
        else:
            rest.append((c, lower or c, upper or c))
    out = struct.pack("<HHII", MARK, 0, len(uppers), len(lowers))
    for group in (uppers, lowers, rest):
        for t in sorted(group):
            out += struct.pack("<III", *t)
    return out


def build_decompose(records):
    entries = []
    for first, last, fields in records:
        d = fields[5]
        if first != last or not d or d.startswith("<"):
            continue
        entries.append((first, [int(x, 16) for x in d.split()]))
    out = struct.pack("<HHI", MARK, 0, len(entries))
    for c, cps in entries:
        out += struct.pack("<II%dI" % len(cps), c, len(cps), *cps)
    return out


def build_numbers(records):
    entries = []
    for first, last, fields in records:
        v = fields[8]
        if first != last or not v:
            continue
        num, _, den = v.partition("/")
        entries.append((first, int(num), int(den) if den else 1))
    out = struct.pack("<HHI", MARK, 0, len(entries))
    for e in entries:
        out += struct.pack("<Iqq", *e)
    return out


def build_combine(records):
    ranges = []
    for first, last, fields in records:
        ccc = int(fields[3])
        if ccc == 0:
            continue
        if ranges and ranges[-1][2] == ccc and ranges[-1][1] + 1 == first:
            ranges[-1][1] = last
        else:
            ranges.append([first, last, ccc])
    out = struct.pack("<HHI", MARK, 0, len(ranges))
    for r in ranges:
        out += struct.pack("<III", *r)
    return out


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--source", required=True, help="UnicodeData.txt")
    ap.add_argument("--out-dir", required=True)
    args = ap.parse_args()
    records = list(read_records(args.source))
    os.makedirs(args.out_dir, exist_ok=True)
    tables = [
        ("TYPE", build_type(records)),
        ("CASE", build_case(records)),
        ("DECOMPOSE", build_decompose(records)),
        ("NUMBERS", build_numbers(records)),
        ("COMBINE", build_combine(records)),
    ]
    rc = ["// Generated by tools/gen_unicode_data.py; do not edit."]
    for name, data in tables:
        path = os.path.join(args.out_dir, name.lower() + ".bin")
        write_if_changed(path, data)
        rc.append('%s UNICODE "%s"' % (name, path.replace("\\", "/")))
    write_if_changed(os.path.join(args.out_dir, "unicode.rc"), ("\n".join(rc) + "\n").encode())
    return 0


if __name__ == "__main__":
    sys.exit(main())
