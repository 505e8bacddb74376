# read.py ARCHIVE NAME PASSWORD OUT: writes the bytes of entry NAME to OUT.
import sys
import zipfile

z = zipfile.ZipFile(sys.argv[1])
if sys.argv[3]:
    z.setpassword(sys.argv[3].encode())
open(sys.argv[4], 'wb').write(z.read(sys.argv[2]))
