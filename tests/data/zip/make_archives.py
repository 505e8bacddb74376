# make_archives.py FOLDER: writes archives of three entries (x.txt = "hello " * 1000,
# y.bin = bytes 0..255 eight times, e empty) the way Python's zipfile writes them:
# deflated.zip and stored.zip with the comment "archive comment"; zip64.zip with
# ZIP64 extra fields in local headers only (force_zip64); zip64full.zip with the
# ZIP64 end record, locator and central extra fields everywhere.
import os
import sys
import zipfile

d = sys.argv[1]
data = {'x.txt': b'hello ' * 1000, 'y.bin': bytes(range(256)) * 8, 'e': b''}
for name, method in (('deflated.zip', zipfile.ZIP_DEFLATED), ('stored.zip', zipfile.ZIP_STORED)):
    with zipfile.ZipFile(os.path.join(d, name), 'w', method) as z:
        z.comment = b'archive comment'
        for k, v in data.items():
            z.writestr(k, v)
with zipfile.ZipFile(os.path.join(d, 'zip64.zip'), 'w', zipfile.ZIP_DEFLATED) as z:
    for k, v in data.items():
        with z.open(k, 'w', force_zip64=True) as f:
            f.write(v)
zipfile.ZIP64_LIMIT = 0
with zipfile.ZipFile(os.path.join(d, 'zip64full.zip'), 'w', zipfile.ZIP_DEFLATED) as z:
    for k, v in data.items():
        with z.open(k, 'w', force_zip64=True) as f:
            f.write(v)
