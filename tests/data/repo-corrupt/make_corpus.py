#!/usr/bin/env python3
"""Writes the hostile repository files used by the storage tests.

Run from this folder: python3 make_corpus.py. The files are committed; rerun only
to change them. Each is small, but some expand to a lot of data or structure.
"""
import struct
import zipfile
import zlib

HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes" ?>\n'
ROOT_OPEN = '<OrviaRepository xmlns="urn:varnox:orvia:repository" Version="2">\n'
ROOT_CLOSE = '</OrviaRepository>\n'
JPEG_1x1 = bytes.fromhex(
    'ffd8ffe000104a46494600010100000100010000ffdb004300080606070605080707070909080a0c140d0c0b0b0c1912130f141d1a1f1e1d1a1c1c'
    '20242e2720222c231c1c2837292c30313434341f27393d38323c2e333432ffc0000b080001000101011100ffc4001f0000010501010101010100'
    '000000000000000102030405060708090a0bffc400b5100002010303020403050504040000017d01020300041105122131410613516107227114'
    '328191a1082342b1c11552d1f02433627282090a161718191a25262728292a3435363738393a434445464748494a535455565758595a636465666768'
    '696a737475767778797a838485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7'
    'd8d9dae1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8f9faffda0008010100003f00fbd3ffd9')


def situation(name, type_, inner='', attrs=''):
    return ('<Situation Name="%s" Title="t" File="" SituationState="Active"><Description>d</Description>'
            '<SituationObject Type="%d" Name="%s"%s>%s</SituationObject></Situation>\n' % (name, type_, name, attrs, inner))


def index(*situations):
    return HEAD + ROOT_OPEN + ''.join(situations) + ROOT_CLOSE


def write(path, entries, compression=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path, 'w', compression) as z:
        for name, data in entries:
            z.writestr(zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0)), data, compress_type=compression)


def good():
    return [('img', JPEG_1x1), ('Project.xml', index(situation('img', 1, attrs=' width="1" height="1" format="4"')))]


# A valid file: the others derive from it.
write('valid.zip', good())
# One snapshot of each kind, with field values (also a fuzzing seed).
write('all_kinds.zip', [
    ('A', JPEG_1x1), ('B', b'PK\x03\x04 model bytes'),
    ('Project.xml', index(
        situation('A', 1, attrs=' width="1" height="1" format="4"').replace(
            '</Description>', '</Description><MacroTableNames><Value0>a</Value0><Value1>b</Value1></MacroTableNames>'
            '<MacroTableValues><Value0>1</Value0><Value1>2</Value1></MacroTableValues>'),
        situation('B', 2),
        situation('C', 3, '<TableRow0><Value0>x</Value0><Value1>y</Value1></TableRow0>'
                          '<TableRow1><Value0>z</Value0></TableRow1><TableColumns><Value0>0</Value0>'
                          '<Value1>1</Value1></TableColumns>', ' XAxis="t" YAxis="v" TableRowCount="2"')))])
data = open('valid.zip', 'rb').read()
open('truncated.zip', 'wb').write(data[:len(data) * 2 // 3])
open('empty.zip', 'wb').write(b'')
open('not_a_zip.zip', 'wb').write(bytes(range(256)) * 4)

# Wrong CRC of the index in the central directory and in the local header.
bad = bytearray(data)
for sig, off in ((b'PK\x01\x02', 16), (b'PK\x03\x04', 14)):
    pos = 0
    while True:
        pos = bad.find(sig, pos)
        if pos < 0:
            break
        name_len = struct.unpack_from('<H', bad, pos + (28 if sig == b'PK\x01\x02' else 26))[0]
        name_at = pos + (46 if sig == b'PK\x01\x02' else 30)
        if bytes(bad[name_at:name_at + name_len]) == b'Project.xml':
            struct.pack_into('<I', bad, pos + off, 0x12345678)
        pos += 4
open('bad_crc.zip', 'wb').write(bytes(bad))

write('not_xml.zip', [('Project.xml', 'this is not XML at all <<<')])
write('wrong_root.zip', [('Project.xml', HEAD + '<Something Version="2"><Situation/></Something>')])

# Entry names that would escape a folder if they were used as paths.
write('hostile_names.zip', [
    ('../evil', JPEG_1x1), ('/abs/path', JPEG_1x1), ('a\\b', JPEG_1x1),
    ('Project.xml', index(situation('../evil', 1), situation('/abs/path', 1), situation('a\\b', 1),
                          situation('..\\..\\x', 1)))])

# The index inflates to 70 MB of spaces.
write('index_bomb.zip', [('Project.xml', index() + ' ' * (70 << 20))])

# Deep nesting, for a recursive parser.
write('deep.zip', [('Project.xml', HEAD + ROOT_OPEN + '<Situation>' + '<a>' * 200000 + '</a>' * 200000
                    + '</Situation>' + ROOT_CLOSE)])

# Table rows: absurd row counts and a row of a million items.
row = '<TableRow0><Value0>x</Value0></TableRow0>'
write('rows_huge.zip', [('Project.xml', index(situation('big', 3, row, ' TableRowCount="2000000000"')))])
write('rows_negative.zip', [('Project.xml', index(situation('neg', 3, row, ' TableRowCount="-5"')))])
write('row_million_items.zip', [('Project.xml', index(
    situation('wide', 3, '<TableRow0>' + '<V/>' * 1000000 + '</TableRow0>', ' TableRowCount="1"')))])

# Image entries that are deflate bombs (150 MB of zeros behind a JPEG start): one
# says how large it is, the other claims 2 bytes.
MB = 150
bomb = zlib.compressobj(9, zlib.DEFLATED, -15)
chunks = [bomb.compress(b'\xff\xd8')]
zero = b'\0' * (1 << 20)
crc = zlib.crc32(b'\xff\xd8')
for _ in range(MB):
    chunks.append(bomb.compress(zero))
    crc = zlib.crc32(zero, crc)
chunks.append(bomb.flush())
payload = b''.join(chunks)
size = 2 + MB * (1 << 20)


def with_raw_entry(path, index_text, name, payload, crc, size):
    """A zip with Project.xml and a deflated entry whose sizes are given, not computed."""
    with zipfile.ZipFile(path, 'w') as z:
        z.writestr(zipfile.ZipInfo('Project.xml', (1980, 1, 1, 0, 0, 0)), index_text)
    raw = bytearray(open(path, 'rb').read())
    eocd = raw.rfind(b'PK\x05\x06')
    cd_size, cd_off = struct.unpack_from('<II', raw, eocd + 12)
    central = raw[cd_off:cd_off + cd_size]
    files = raw[:cd_off]
    local = struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 0, 8, 0, 0x21, crc, len(payload), size, len(name), 0)
    offset = len(files)
    files += local + name + payload
    central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, 0, 8, 0, 0x21, crc, len(payload),
                           size, len(name), 0, 0, 0, 0, 0, offset) + name
    end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 2, 2, len(central), len(files), 0)
    open(path, 'wb').write(bytes(files + central + end))


three = index(situation('img', 1), situation('img', 1), situation('img', 1))
with_raw_entry('image_bomb.zip', three, b'img', payload, crc & 0xffffffff, size)
with_raw_entry('image_bomb_lying.zip', three, b'img', payload, zlib.crc32(b'\xff\xd8') & 0xffffffff, 2)

# An older file (no Version): a PNG where a JPEG belongs, a missing picture and
# model, one name twice, an element that is no Situation, an unknown type.
write('older_format.zip', [
    ('P', b'\x89PNG\r\n\x1a\n\0\0\0\rIHDR'),
    ('Project.xml', HEAD + '<OrviaRepository xmlns="urn:x">\n'
     '<Situation Name="P" Title="png"><SituationObject Type="1" Name="P"/></Situation>\n'
     '<Situation Name="Gone"><SituationObject Type="1" Name="Gone"/></Situation>\n'
     '<Situation Name="M"><SituationObject Type="2" Name="M"/></Situation>\n'
     '<Situation Name="dup"><SituationObject Type="3" Name="dup" TableRowCount="-1"/></Situation>\n'
     '<Other Name="dup"><SituationObject Type="3" Name="dup" TableRowCount="0"/></Other>\n'
     '<Situation Name="U"><SituationObject Type="9" Name="U"/></Situation>\n' + ROOT_CLOSE)])

# Rows out of order, repeated, misnamed and past the row count; a row longer than the first.
write('rows_cut.zip', [('Project.xml', index(situation('T', 3,
    '<TableRow1><Value0>a</Value0><Value1>b</Value1></TableRow1>'
    '<TableRow3><Value0>1</Value0><Value1>2</Value1><Value2>cut</Value2></TableRow3>'
    '<TableRow3><Value0>second</Value0></TableRow3>'
    '<TableRow01><Value0>not a row name</Value0></TableRow01>'
    '<TableRow9><Value0>past the count</Value0></TableRow9>', ' TableRowCount="4"')))])
