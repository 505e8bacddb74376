# check.py ARCHIVE PASSWORD: exits 0 when Python's zipfile finds the archive sound
# (testzip) and reads every entry, with PASSWORD when it is not empty.
import sys
import zipfile

z = zipfile.ZipFile(sys.argv[1])
if sys.argv[2]:
    z.setpassword(sys.argv[2].encode())
assert z.testzip() is None
for n in z.namelist():
    z.read(n)
