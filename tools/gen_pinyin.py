#!/usr/bin/env python3
"""Writes search/pinyin_table.cpp, the toneless pinyin readings of the CJK
Unified Ideographs (U+4E00-U+9FFF) and extension A (U+3400-U+4DBF), from the
Unicode Han database as Debian's unicode-data package ships it:

    apt-get install unicode-data
    python3 tools/gen_pinyin.py [/usr/share/unicode/Unihan_Readings.txt.bz2]

A character's readings, most common first: kMandarin (the customary reading),
then the modern dictionaries' readings (kTGHZ2013, kXHC1983) and kHanyuPinlu's
frequency-counted ones, so 行 reads xing and hang and 重 zhong and chong. A
character none of those covers takes kHanyuPinyin's readings. Tones are
dropped and ü is written v; a character keeps at most MAX_READINGS.

Layout, about 41 KB: each character's code is 9 bits (a syllable's index,
SEVERAL or NONE), its low 8 bits in one byte array and the ninth in a bit
array; the characters with SEVERAL readings are listed sorted with their
syllables beside them.
"""
import bz2
import collections
import os
import sys
import unicodedata

FIRST, LAST = 0x3400, 0x9FFF
MAX_READINGS = 4
NONE, SEVERAL = 511, 510

# The Unicode Data Files' licence notice, as the licence asks, with the files
# derived from them and in their documentation (search/pinyin.md).
NOTICE = """
UNICODE, INC. LICENSE AGREEMENT - DATA FILES AND SOFTWARE
COPYRIGHT AND PERMISSION NOTICE

Copyright (c) 1991-2022 Unicode, Inc. All rights reserved.
Distributed under the Terms of Use in https://www.unicode.org/copyright.html.

Permission is hereby granted, free of charge, to any person obtaining
a copy of the Unicode data files and any associated documentation
(the "Data Files") or Unicode software and any associated documentation
(the "Software") to deal in the Data Files or Software
without restriction, including without limitation the rights to use,
copy, modify, merge, publish, distribute, and/or sell copies of
the Data Files or Software, and to permit persons to whom the Data Files
or Software are furnished to do so, provided that either
(a) this copyright and permission notice appear with all copies
of the Data Files or Software, or
(b) this copyright and permission notice appear in associated
Documentation.

THE DATA FILES AND SOFTWARE ARE PROVIDED "AS IS", WITHOUT WARRANTY OF
ANY KIND, EXPRESS OR IMPLIED, INCLUDING BUT NOT LIMITED TO THE
WARRANTIES OF MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND
NONINFRINGEMENT OF THIRD PARTY RIGHTS.
IN NO EVENT SHALL THE COPYRIGHT HOLDER OR HOLDERS INCLUDED IN THIS
NOTICE BE LIABLE FOR ANY CLAIM, OR ANY SPECIAL INDIRECT OR CONSEQUENTIAL
DAMAGES, OR ANY DAMAGES WHATSOEVER RESULTING FROM LOSS OF USE,
DATA OR PROFITS, WHETHER IN AN ACTION OF CONTRACT, NEGLIGENCE OR OTHER
TORTIOUS ACTION, ARISING OUT OF OR IN CONNECTION WITH THE USE OR
PERFORMANCE OF THE DATA FILES OR SOFTWARE.

Except as contained in this notice, the name of a copyright holder
shall not be used in advertising or otherwise to promote the sale,
use or other dealings in these Data Files or Software without prior
written authorization of the copyright holder.
"""


def toneless(reading):
    s = unicodedata.normalize('NFD', reading.lower()).replace('u\u0308', 'v')
    s = ''.join(c for c in s if not unicodedata.combining(c))
    if not s.isascii() or not s.isalpha():
        raise ValueError('unexpected reading %r' % reading)
    return s


def read_fields(path):
    fields = collections.defaultdict(dict)
    header = []
    with bz2.open(path, 'rt', encoding='utf-8') as f:
        for line in f:
            if line.startswith('#'):
                if len(header) < 10:
                    header.append(line[1:].strip())
                continue
            if not line.strip():
                continue
            cp, field, value = line.rstrip('\n').split('\t')
            fields[int(cp[2:], 16)][field] = value
    return fields, header


def readings(d):
    out = []

    def add(r):
        r = toneless(r)
        if r not in out:
            out.append(r)
    for r in d.get('kMandarin', '').split():
        add(r)
    for field in ('kTGHZ2013', 'kXHC1983'):
        for entry in d.get(field, '').split():
            add(entry.split(':')[1])
    for entry in d.get('kHanyuPinlu', '').split():
        add(entry.split('(')[0])
    if not out:
        for entry in d.get('kHanyuPinyin', '').split():
            for r in entry.split(':')[1].split(','):
                add(r)
    return out[:MAX_READINGS]


def rows(values, per_line=24):
    values = list(values)
    return '\n'.join('    ' + ','.join(str(v) for v in values[i:i + per_line]) + ','
                     for i in range(0, len(values), per_line))


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else '/usr/share/unicode/Unihan_Readings.txt.bz2'
    fields, header = read_fields(source)
    version = next((h for h in header if h.startswith('Unicode version')), 'Unicode version: unknown')
    table = {cp: readings(fields.get(cp, {})) for cp in range(FIRST, LAST + 1)}
    syllables = sorted({r for rs in table.values() for r in rs})
    assert len(syllables) < SEVERAL, 'syllable indices must fit in 9 bits below the markers'
    index = {s: i for i, s in enumerate(syllables)}

    codes, several = [], []
    for cp in range(FIRST, LAST + 1):
        rs = table[cp]
        if not rs:
            codes.append(NONE)
        elif len(rs) == 1:
            codes.append(index[rs[0]])
        else:
            codes.append(SEVERAL)
            several.append((cp, [index[r] for r in rs]))
    high = bytearray((len(codes) + 7) // 8)
    for i, c in enumerate(codes):
        if c & 0x100:
            high[i >> 3] |= 1 << (i & 7)
    starts, flat = [], []
    for _, ids in several:
        starts.append(len(flat))
        flat.extend(ids)
    starts.append(len(flat))
    text_starts, text = [], ''
    for s in syllables:
        text_starts.append(len(text))
        text += s + '\0'
    text_starts.append(len(text))

    out = []
    out.append('// Generated by tools/gen_pinyin.py from the Unicode Han database (Unihan_Readings.txt,\n'
               '// %s, Debian package unicode-data); do not edit. search/pinyin.md says how\n'
               '// the readings were chosen and how to generate this file again.\n//\n'
               '// The data is derived from the Unicode Data Files and modified: tones dropped,\n'
               '// readings chosen and packed. The Unicode Data Files are under this notice:\n//\n%s\n'
               % (version, '\n'.join(('// ' + line).rstrip() for line in NOTICE.strip('\n').split('\n'))))
    out.append('#include "pinyin_table.h"\n\nnamespace search {\nnamespace pinyin_table {\n')
    out.append('extern const uint32_t kFirst = 0x%04X;\nextern const uint32_t kCount = %d;\n'
               'extern const uint32_t kSyllableCount = %d;\nextern const uint32_t kSeveralCount = %d;\n'
               % (FIRST, len(codes), len(syllables), len(several)))
    out.append('// The syllables, each ending in NUL, and where each starts.\n'
               'extern const char kSyllableText[] =\n%s;\n' %
               '\n'.join('    "%s"' % ''.join(s + '\\0' for s in syllables[i:i + 16])
                         for i in range(0, len(syllables), 16)))
    out.append('extern const uint16_t kSyllableStart[%d] = {\n%s\n};\n' % (len(text_starts), rows(text_starts, 16)))
    out.append('// Low 8 bits of each character\'s code.\nextern const uint8_t kCodeLow[%d] = {\n%s\n};\n'
               % (len(codes), rows(c & 0xFF for c in codes)))
    out.append('// Ninth bit of each character\'s code, character i at bit i %% 8 of byte i / 8.\n'
               'extern const uint8_t kCodeHigh[%d] = {\n%s\n};\n' % (len(high), rows(high)))
    out.append('// The characters with several readings, ascending, and their syllables.\n'
               'extern const uint16_t kSeveralChars[%d] = {\n%s\n};\n' % (len(several), rows((cp for cp, _ in several), 16)))
    out.append('extern const uint16_t kSeveralStart[%d] = {\n%s\n};\n' % (len(starts), rows(starts, 16)))
    out.append('extern const uint16_t kSeveralSyllables[%d] = {\n%s\n};\n' % (len(flat), rows(flat)))
    out.append('\n} // namespace pinyin_table\n} // namespace search\n')
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'search', 'pinyin_table.cpp')
    with open(target, 'w', encoding='utf-8', newline='\n') as f:
        f.write('\n'.join(out))
    print('%s: %d characters, %d syllables, %d with several readings'
          % (os.path.normpath(target), len(codes) - codes.count(NONE), len(syllables), len(several)))


if __name__ == '__main__':
    main()
