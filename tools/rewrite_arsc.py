#!/usr/bin/env python3
"""Rewrites an APK's resources.arsc into the layouts Debian's aapt cannot
write, for the device layer's tests:

  compact        FLAG_OFFSET16 types (u16 offsets / 4, 0xFFFF = none) and
                 FLAG_COMPACT entries (u16 key, u16 flags whose high byte is
                 the value type, u32 data), as aapt2 --enable-compact-entries
                 writes them for the platform's own apps
  sparse         FLAG_SPARSE types (sorted pairs of u16 index, u16 offset / 4)
  sparsecompact  both sparse types and compact entries
  deflate        no rewrite; every entry, the table too, deflated

Layouts from androidfw's ResourceTypes.h (ResTable_type, ResTable_entry,
ResTable_sparseTypeEntry) and aapt2's format/binary/TableFlattener.cpp.
Complex (bag) entries and every chunk but the type chunks are copied as they
are. Usage: rewrite_arsc.py MODE IN.apk OUT.apk
"""
import struct
import sys
import zipfile

TABLE, PACKAGE, TYPE = 0x0002, 0x0200, 0x0201
FLAG_SPARSE, FLAG_OFFSET16 = 0x01, 0x02
ENTRY_COMPLEX, ENTRY_COMPACT = 0x0001, 0x0008
NO_ENTRY = 0xFFFFFFFF


def chunks(data, start, end):
    while start + 8 <= end:
        ctype, hsize, size = struct.unpack_from('<HHI', data, start)
        yield ctype, hsize, data[start:start + size]
        start += size


def read_entries(chunk):
    """Index -> raw entry bytes of a type chunk, whatever its layout."""
    _, hsize, _, _, flags, _, count, start = struct.unpack_from('<HHIBBHII', chunk, 0)
    offsets = {}
    if flags & FLAG_SPARSE:
        for i in range(count):
            idx, off = struct.unpack_from('<HH', chunk, hsize + 4 * i)
            offsets[idx] = off * 4
    elif flags & FLAG_OFFSET16:
        for i in range(count):
            off, = struct.unpack_from('<H', chunk, hsize + 2 * i)
            if off != 0xFFFF:
                offsets[i] = off * 4
    else:
        for i in range(count):
            off, = struct.unpack_from('<I', chunk, hsize + 4 * i)
            if off != NO_ENTRY:
                offsets[i] = off
    entries = {}
    for idx, off in offsets.items():
        at = start + off
        esize, eflags = struct.unpack_from('<HH', chunk, at)
        if eflags & ENTRY_COMPACT:
            entries[idx] = chunk[at:at + 8]
        elif eflags & ENTRY_COMPLEX:
            count_maps, = struct.unpack_from('<I', chunk, at + 12)
            entries[idx] = chunk[at:at + esize + 12 * count_maps]
        else:
            entries[idx] = chunk[at:at + esize + 8]
    total = max(count, max(offsets) + 1 if offsets else 0) if not flags & FLAG_SPARSE else None
    return entries, total


def compact_entry(raw):
    esize, eflags, key = struct.unpack_from('<HHI', raw, 0)
    if eflags & (ENTRY_COMPLEX | ENTRY_COMPACT) or key > 0xFFFF:
        return raw
    _, _, vtype, vdata = struct.unpack_from('<HBBI', raw, esize)
    return struct.pack('<HHI', key, ENTRY_COMPACT | (eflags & 0x6) | (vtype << 8), vdata)


def rewrite_type(chunk, mode, dense_count):
    _, hsize, _, tid, flags, reserved, count, _ = struct.unpack_from('<HHIBBHII', chunk, 0)
    header = bytearray(chunk[:hsize])
    entries, total = read_entries(chunk)
    if total is None:
        total = dense_count
    body, where = bytearray(), {}
    for idx in sorted(entries):
        raw = entries[idx]
        if mode in ('compact', 'sparsecompact'):
            raw = compact_entry(raw)
        where[idx] = len(body)
        body += raw
        body += b'\0' * (-len(body) % 4)
    if mode in ('sparse', 'sparsecompact'):
        flags = FLAG_SPARSE
        table = b''.join(struct.pack('<HH', i, where[i] // 4) for i in sorted(where))
        count = len(where)
    elif all(off // 4 < 0xFFFF for off in where.values()):
        flags = FLAG_OFFSET16
        table = b''.join(struct.pack('<H', where[i] // 4 if i in where else 0xFFFF) for i in range(total))
        count = total
    else:
        flags = 0
        table = b''.join(struct.pack('<I', where.get(i, NO_ENTRY)) for i in range(total))
        count = total
    table += b'\0' * (-len(table) % 4)
    start = hsize + len(table)
    struct.pack_into('<HHIBBHII', header, 0, TYPE, hsize, start + len(body), tid, flags, reserved, count, start)
    return bytes(header) + table + bytes(body)


def rewrite_package(chunk, mode):
    _, hsize, _ = struct.unpack_from('<HHI', chunk, 0)
    out = bytearray(chunk[:hsize])
    spec_counts = {}
    for ctype, _, child in chunks(chunk, hsize, len(chunk)):
        if ctype == 0x0202:  # type spec: id, res0, res1, entryCount
            tid, = struct.unpack_from('<B', child, 8)
            spec_counts[tid], = struct.unpack_from('<I', child, 12)
            out += child
        elif ctype == TYPE:
            tid, = struct.unpack_from('<B', child, 8)
            out += rewrite_type(child, mode, spec_counts.get(tid, 0))
        else:
            out += child
    struct.pack_into('<I', out, 4, len(out))
    return bytes(out)


def rewrite_table(data, mode):
    ctype, hsize, size = struct.unpack_from('<HHI', data, 0)
    assert ctype == TABLE and size == len(data)
    out = bytearray(data[:hsize])
    for ctype, _, child in chunks(data, hsize, size):
        out += rewrite_package(child, mode) if ctype == PACKAGE else child
    struct.pack_into('<I', out, 4, len(out))
    return bytes(out)


def main():
    mode, src, dst = sys.argv[1:4]
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(dst, 'w') as zout:
        for info in zin.infolist():
            data = zin.read(info.filename)
            if mode == 'deflate':
                zout.writestr(info.filename, data, zipfile.ZIP_DEFLATED)
            elif info.filename == 'resources.arsc':
                zout.writestr(info.filename, rewrite_table(data, mode), zipfile.ZIP_STORED)
            else:
                zout.writestr(info, data)


if __name__ == '__main__':
    main()
