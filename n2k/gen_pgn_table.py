#!/usr/bin/env python3
"""Writes the PGN table (n2k/pgn_table.h) from canboat's PGN database.

    gen_pgn_table.py CANBOAT_JSON OUT_CPP            writes OUT_CPP
    gen_pgn_table.py --check CANBOAT_JSON OUT_CPP    exit 1 when OUT_CPP differs, or
        when CANBOAT_JSON or the package.json beside it is not the version pinned in
        canboat.json.sha256 beside it

The decoder reads only this table; no JSON is parsed at run time.
"""
import gzip
import hashlib
import json
import os
import sys

KINDS = {
    'NUMBER': 'Number', 'DURATION': 'Number', 'TIME': 'Number', 'DATE': 'Number',
    'MMSI': 'Number', 'PGN': 'Number', 'FIELD_INDEX': 'Number',
    'LOOKUP': 'Lookup', 'BITLOOKUP': 'BitLookup',
    'RESERVED': 'Reserved', 'SPARE': 'Reserved',
    'STRING_FIX': 'String', 'FLOAT': 'Float',
    'BINARY': 'Binary', 'ISO_NAME': 'Binary', 'DECIMAL': 'Binary',
}


def c_string(s):
    if s is None:
        return 'nullptr'
    out = []
    for ch in s:
        if ch in '\\"':
            out.append('\\' + ch)
        elif 32 <= ord(ch) < 127:
            out.append(ch)
        else:
            # octal escapes of the UTF-8 bytes: never run into a following hex digit
            out.extend('\\%03o' % b for b in ch.encode('utf-8'))
    return '"' + ''.join(out) + '"'


def number(v):
    r = repr(float(v))
    return r if ('e' in r or '.' in r) else r + '.0'


def max_raw(f):
    """The largest raw value (before the offset) that is a reading; canboat gives the
    ones above it special meanings (no data, error, reserved)."""
    if 'RangeMax' not in f or not f.get('Resolution'):
        return 'INT64_MAX'
    v = round(f['RangeMax'] / f['Resolution']) - int(f.get('Offset', 0))
    return 'INT64_MAX' if v >= 2**63 - 1 else '%d' % v


NO_COUNT_FIELD = 255


def repeating_set(p):
    """The PGN's repeating field set as (first field, fields per entry, count field),
    indices among its fields; the count field is NO_COUNT_FIELD when the entries run
    until the data ends. Given only when every entry has the same bits (no field of
    variable length) and the set ends the definition; else none, and the fields decode
    as before (the first entry only). A second set follows only sets of variable
    length in the database, so none is given."""
    fields = p['Fields']
    size = p.get('RepeatingFieldSet1Size', 0)
    if not size or p.get('RepeatingFieldSet2Size'):
        return None
    first = p['RepeatingFieldSet1StartField'] - 1
    count = p.get('RepeatingFieldSet1CountField')
    count = NO_COUNT_FIELD if count is None else count - 1
    entry = fields[first:first + size]
    fixed = all('BitOffset' in f and 'BitLength' in f and not f.get('BitLengthVariable')
                and f['FieldType'] in KINDS for f in entry)
    contiguous = fixed and all(b['BitOffset'] == a['BitOffset'] + a['BitLength']
                               for a, b in zip(entry, entry[1:]))
    counted = count == NO_COUNT_FIELD or (count < first and 'BitOffset' in fields[count])
    if first + size != len(fields) or not contiguous or not counted:
        return None
    return (first, size, count)


def repeating_set_text(p):
    return '{%du, %du, %du}' % (repeating_set(p) or (0, 0, NO_COUNT_FIELD))


def generate(db):
    lookups = []   # (first value index, count, bits)
    values = []    # (value, name)
    lookup_index = {}
    for e in db['LookupEnumerations']:
        lookup_index[('v', e['Name'])] = len(lookups)
        vals = sorted(e['EnumValues'], key=lambda v: v['Value'])
        lookups.append((len(values), len(vals), 'false'))
        values.extend((v['Value'], v['Name']) for v in vals)
    for e in db['LookupBitEnumerations']:
        lookup_index[('b', e['Name'])] = len(lookups)
        vals = sorted(e['EnumBitValues'], key=lambda v: v['Bit'])
        lookups.append((len(values), len(vals), 'true'))
        values.extend((v['Bit'], v['Name']) for v in vals)

    fields = []
    pgns = []
    if max(len(p['Fields']) for p in db['PGNs']) >= NO_COUNT_FIELD:
        sys.exit('a PGN has more fields than the repeating set can index')
    for p in sorted(db['PGNs'], key=lambda p: p['PGN']):  # stable: keeps canboat's order
        first = len(fields)
        for f in p['Fields']:
            kind = KINDS.get(f['FieldType'], 'Other')
            fixed = 'BitOffset' in f and 'BitLength' in f and not f.get('BitLengthVariable')
            # a few fields name a table of the other sort or none: shown as numbers
            if kind == 'Lookup':
                lk = lookup_index.get(('v', f.get('LookupEnumeration')), -1)
            elif kind == 'BitLookup':
                lk = lookup_index.get(('b', f.get('LookupBitEnumeration')), -1)
            else:
                lk = -1
            if kind in ('Lookup', 'BitLookup') and lk < 0:
                kind = 'Number'
            if not fixed:
                kind = 'Other'
            fields.append('{%s, %s, %s, %du, %du, %s, FieldKind::%s, %s, %d, %s, %d, %d}' % (
                c_string(f['Id']), c_string(f['Name']), c_string(f.get('Unit')),
                f.get('BitOffset', 0), f.get('BitLength', 0),
                'true' if f.get('Signed') else 'false', kind,
                number(f.get('Resolution', 1)), int(f.get('Offset', 0)), max_raw(f), lk,
                int(f['Match']) if 'Match' in f else -1))
        pgns.append('{%du, %s, %s, %du, %du, %du, %s, %s, %s}' % (
            p['PGN'], c_string(p['Id']), c_string(p['Description']), first,
            len(fields) - first, p.get('Length', 0),
            'true' if p['Type'] == 'Fast' else 'false',
            'true' if p.get('Fallback') else 'false', repeating_set_text(p)))

    out = ['// Written by n2k/gen_pgn_table.py from third_party/canboat/canboat.json.gz; do not edit.',
           '#include "n2k/pgn_table.h"', '', 'namespace korvan::n2k {', '',
           'const char* const DatabaseVersion = %s;' % c_string(db['Version']), '',
           'const LookupValue LookupValues[] = {']
    out += ['    {%du, %s},' % (v, c_string(n)) for v, n in values]
    out += ['};', '', 'const LookupDef Lookups[] = {']
    out += ['    {%du, %du, %s},' % lk for lk in lookups]
    out += ['};', '', 'const FieldDef Fields[] = {']
    out += ['    %s,' % f for f in fields]
    out += ['};', '', 'const PgnDef Pgns[] = {']
    out += ['    %s,' % p for p in pgns]
    out += ['};', '', 'const size_t PgnCount = %d;' % len(pgns),
            'const size_t LookupCount = %d;' % len(lookups), '', '}  // namespace korvan::n2k', '']
    return '\n'.join(out)


def pin_problems(json_gz, text):
    """What differs between the vendored database and its pin; empty when nothing."""
    folder = os.path.dirname(json_gz)
    pin = {}
    with open(os.path.join(folder, 'canboat.json.sha256'), encoding='utf-8') as f:
        for line in f:
            if line.strip() and not line.startswith('#'):
                key, _, value = line.strip().partition(' ')
                pin[key] = value.strip()
    problems = []
    digest = hashlib.sha256(text).hexdigest()
    if digest != pin.get('sha256'):
        problems.append('%s holds JSON of SHA-256 %s, not the pinned %s'
                        % (json_gz, digest, pin.get('sha256')))
    with open(os.path.join(folder, 'package.json'), encoding='utf-8') as f:
        version = json.load(f).get('version')
    if version != pin.get('version'):
        problems.append('package.json says version %s, the pin %s' % (version, pin.get('version')))
    return problems


def main(argv):
    check = argv[1:2] == ['--check']
    args = argv[2:] if check else argv[1:]
    if len(args) != 2:
        sys.exit(__doc__)
    with gzip.open(args[0], 'rb') as f:
        raw = f.read()
    text = generate(json.loads(raw.decode('utf-8')))
    if check:
        problems = pin_problems(args[0], raw)
        for p in problems:
            print(p)
        if problems:
            return 1
        try:
            with open(args[1], encoding='utf-8') as f:
                current = f.read()
        except OSError:
            current = None
        if current != text:
            print('%s is stale: it was not written from %s by this script' % (args[1], args[0]))
            return 1
        print('%s matches %s' % (args[1], args[0]))
        return 0
    with open(args[1], 'w', encoding='utf-8') as f:
        f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
