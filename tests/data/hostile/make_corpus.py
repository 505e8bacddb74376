#!/usr/bin/env python3
"""Writes the hostile inputs of the hostile-input tests: repository files and
templates that once crashed, hung, or took unbounded time or memory.

Run from this folder with Debian's Python: /usr/bin/python3 make_corpus.py.
The outputs are committed; rerun only to change them. Every file is small; some
describe a lot of data or structure. Inputs the tests build at run time (FIFOs,
symbolic links, full disks, stale temporary files, groups of 100,000 tags) are
made by the tests themselves.
"""
import struct
import zipfile
import zlib

HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes" ?>\n'
ROOT_OPEN = '<OrviaRepository xmlns="urn:varnox:orvia:repository" Version="2">\n'
ROOT_CLOSE = '</OrviaRepository>\n'


def situation(name, type_, inner='', attrs='', description='d', fields=None):
    macros = ''
    if fields:
        macros = ('<MacroTableNames>' + ''.join('<Value%d>%s</Value%d>' % (i, k, i) for i, k in enumerate(fields))
                  + '</MacroTableNames><MacroTableValues>'
                  + ''.join('<Value%d>%s</Value%d>' % (i, v, i) for i, v in enumerate(fields.values()))
                  + '</MacroTableValues>')
    return ('<Situation Name="%s" Title="t" File="" SituationState="Active"><Description>%s</Description>%s'
            '<SituationObject Type="%d" Name="%s"%s>%s</SituationObject></Situation>\n'
            % (name, description, macros, type_, name, attrs, inner))


def index(*situations):
    return HEAD + ROOT_OPEN + ''.join(situations) + ROOT_CLOSE


def write(path, entries, compression=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path, 'w', compression) as z:
        for name, data in entries:
            z.writestr(zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0)), data, compress_type=compression)


# --- JPEG pictures made by hand: every coefficient zero, one Huffman code each.

def segment(marker, body):
    return struct.pack('>BBH', 0xFF, marker, len(body) + 2) + body


def jpeg(width, height, components, ac_scans, progressive=True, data=True):
    """A grey or YCbCr picture: a DC scan, then ac_scans AC scans per component
    (repeating a scan is a progression libjpeg only warns about)."""
    out = b'\xff\xd8'
    out += segment(0xDB, b'\x00' + b'\x01' * 64)
    frame = struct.pack('>BHHB', 8, height, width, components)
    for c in range(components):
        frame += bytes([c + 1, 0x11, 0])
    out += segment(0xC2 if progressive else 0xC0, frame)
    one_code = b'\x01' + b'\x00' * 15 + b'\x00'  # one symbol (0) of code length 1
    out += segment(0xC4, b'\x00' + one_code)
    out += segment(0xC4, b'\x10' + one_code)
    blocks = ((width + 7) // 8) * ((height + 7) // 8)

    def bits(count):  # count zero bits, padded with ones
        return bytes(count // 8) + (bytes([0xFF >> (count % 8)]) if count % 8 else b'')

    if not progressive:
        scan = bytes([components]) + b''.join(bytes([c + 1, 0x00]) for c in range(components)) + b'\x00\x3f\x00'
        out += segment(0xDA, scan) + (bits(blocks * components * 2) if data else b'')
        return out + (b'\xff\xd9' if data else b'')
    scan = bytes([components]) + b''.join(bytes([c + 1, 0x00]) for c in range(components)) + b'\x00\x00\x00'
    out += segment(0xDA, scan) + (bits(blocks * components) if data else b'')
    if not data:
        return out
    for _ in range(ac_scans):
        for c in range(components):
            out += segment(0xDA, bytes([1, c + 1, 0x00, 1, 63, 0])) + bits(blocks)
    return out + b'\xff\xd9'


def image_repository(path, picture, width, height):
    write(path, [('img', picture),
                 ('Project.xml', index(situation('img', 1, attrs=' width="%d" height="%d" format="4"' % (width, height))))])


# --- A zip archive written by hand, for an entry whose compressed data is given.

def raw_zip(entries):
    """entries: (name, method, data as stored, crc, uncompressed size)."""
    out = b''
    central = b''
    for name, method, stored, crc, size in entries:
        n = name.encode()
        offset = len(out)
        out += struct.pack('<IHHHHHIIIHH', 0x04034B50, 20, 0, method, 0, 0x21, crc, len(stored), size, len(n), 0)
        out += n + stored
        central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, 20, 20, 0, method, 0, 0x21, crc, len(stored), size,
                               len(n), 0, 0, 0, 0, 0, offset) + n
    end = struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(out), 0)
    return out + central + end


def deflated_zeros(size):
    """Raw deflate data of size zero bytes, and its CRC, made piece by piece."""
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    chunk = bytes(1 << 20)
    data = []
    crc = 0
    left = size
    while left:
        part = chunk[:min(left, len(chunk))]
        data.append(compressor.compress(part))
        crc = zlib.crc32(part, crc)
        left -= len(part)
    data.append(compressor.flush())
    return b''.join(data), crc


def model_with_preview(preview_stored, preview_crc, preview_size, method):
    ident = b'MDLX 1\n'
    case = b'id=1\nname=bomb'
    return raw_zip([('mdlx.id', 0, ident, zlib.crc32(ident), len(ident)),
                    ('cases/0/case.txt', 0, case, zlib.crc32(case), len(case)),
                    ('cases/0/preview.jpg', method, preview_stored, preview_crc, preview_size)])


# 1. Deep nesting behind an attribute value that TinyXML reads past its quote.
DEEP = '<a>' * 50000 + '</a>' * 50000
for name, attribute in (('deep_entity', b'x="&#x"zz x41;="'), ('deep_utf8', b'x="\xf0"zz="')):
    project = HEAD.encode() + b'<OrviaRepository ' + attribute + b'>' + DEEP.encode() + ROOT_CLOSE.encode()
    write(name + '.zip', [('Project.xml', project)])
    template = (b'<?xml version="1.0" encoding="UTF-8"?>\n<html ' + attribute + b'><body>' + DEEP.encode()
                + b'<orvrepsit name="SIT1_TITLE">t</orvrepsit></body></html>\n')
    open(name + '.html', 'wb').write(template)

# 2. Text that ends inside an attribute, on a 4-byte UTF-8 lead byte.
write('cut_utf8.zip', [('Project.xml', HEAD.encode() + b'<OrviaRepository Version="2" x="\xf0')])
open('cut_utf8.html', 'wb').write(b'<?xml version="1.0" encoding="UTF-8"?>\n<html><body x="\xf0')

# 3. A progressive JPEG of 2,000 AC scans; and one of 10, which must still load.
image_repository('jpeg_scans.zip', jpeg(64, 64, 1, 2000), 64, 64)
image_repository('jpeg_progressive_ok.zip', jpeg(64, 64, 3, 10), 64, 64)

# 5. A model whose preview inflates to 1 GiB, shown by 10 snapshots.
stored, crc = deflated_zeros(1 << 30)
bomb = model_with_preview(stored, crc, 1 << 30, 8)
write('preview_bomb.zip', [('bomb', bomb), ('Project.xml', index(*[
    situation('bomb', 2).replace('Name="bomb" Title', 'Name="s%d" Title' % i) for i in range(10)]))],
    zipfile.ZIP_STORED)
# A model whose preview is not a JPEG: it cannot be shown.
junk = b'not a picture'
write('preview_unreadable.zip', [('m', model_with_preview(junk, zlib.crc32(junk), len(junk), 0)),
                                 ('Project.xml', index(situation('m', 2)))], zipfile.ZIP_STORED)

# 6. Amplification: nested field-value macros, tables of millions of empty
# rows, a progressive picture whose decoder would take gigabytes.
fields = {'K%02d' % i: '$(K%02d)' % (i + 1) * 4 for i in range(12)}
fields['K12'] = 'x' * 64
write('macro_bomb.zip', [('Project.xml', index(*[
    situation('s%d' % i, 3, description='$(K00)', fields=fields) for i in range(25)]))])
write('table_rows.zip', [('Project.xml', index(*[
    situation('t%d' % i, 3, '<TableRow0><Value0/></TableRow0>', ' TableRowCount="4000000"') for i in range(4)]))])
image_repository('jpeg_decoder_memory.zip', jpeg(16384, 16384, 3, 0, data=False), 16384, 16384)

# 12. Damaged repositories: an image with a bad CRC, an encrypted entry.
good_picture = jpeg(8, 8, 1, 0, progressive=False)
bad = bytearray(raw_zip([('img', 0, good_picture, zlib.crc32(good_picture) ^ 1, len(good_picture))]))
project = index(situation('img', 1, attrs=' width="8" height="8" format="4"'),
                situation('t', 3, '<TableRow0><Value0>a</Value0></TableRow0>', ' TableRowCount="1"')).encode()
pieces = [('img', 0, good_picture, zlib.crc32(good_picture) ^ 1, len(good_picture)),
          ('Project.xml', 0, project, zlib.crc32(project), len(project))]
open('bad_crc_image.zip', 'wb').write(raw_zip(pieces))
encrypted = raw_zip([('img', 0, b'\x00' * 12 + good_picture, zlib.crc32(good_picture), len(good_picture)),
                     ('Project.xml', 0, project, zlib.crc32(project), len(project))])
# Set the "encrypted" flag in both headers of the picture.
encrypted = bytearray(encrypted)
encrypted[6] = 1
central = encrypted.index(b'PK\x01\x02')
encrypted[central + 8] = 1
open('encrypted_image.zip', 'wb').write(bytes(encrypted))

# 14. Names and titles holding terminal escape sequences; a nested group.
write('control_names.zip', [('Project.xml', index(
    situation('evil\x1b]0;owned\x07\x1b[2J', 3, '<TableRow0><Value0>a</Value0></TableRow0>', ' TableRowCount="1"')
    .replace('Title="t"', 'Title="\x1b[31mred\u009b1m"')))])
open('nested_group.html', 'w').write(
    '<html><body><orvrepgroup><orvrepgroup><orvrepsit name="SIT_TITLE">t</orvrepsit></orvrepgroup>'
    '<orvrepsit name="SIT_TEXT">x</orvrepsit></orvrepgroup></body></html>\n')

# 15. A template whose [Content_Types].xml inflates into 12 million elements
# (48 MB, more than a report may parse): refused before it is parsed whole.
# Named .pptx; the tests copy it under a Word name too.
types_bomb = (HEAD + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">' + '<a/>' * (12 << 20)
              + '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
              '<Override PartName="/ppt/presentation.xml" ContentType="application/vnd.openxmlformats-officedocument.'
              'presentationml.presentation.main+xml"/></Types>')
write('types_bomb.pptx', [
    ('[Content_Types].xml', types_bomb),
    ('_rels/.rels', HEAD + '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
     '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
     'officeDocument" Target="ppt/presentation.xml"/></Relationships>'),
    ('ppt/presentation.xml', HEAD + '<p:presentation xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/'
     'main"/>')])
