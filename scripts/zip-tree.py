#!/usr/bin/python3
"""Zips an unzipped package tree deterministically.

Usage: zip-tree.py SOURCE_DIR OUTPUT_FILE

"[Content_Types].xml" comes first, then every other file in sorted order of its
"/"-separated path; each entry is deflated, stamped 1980-01-01 00:00:00 and
given permissions 0644, so the same tree gives the same bytes on every machine.
Folders get no entries of their own, except that a folder whose name ends in
.xlsx, .docx, .pptx or .zip is a nested package: it is zipped the same way and
stored as one entry (embedded workbooks stay readable trees). The output is written beside its target and
renamed over it, so a failed run never leaves a truncated archive.
"""
import io
import os
import sys
import zipfile

FIRST = "[Content_Types].xml"
STAMP = (1980, 1, 1, 0, 0, 0)


NESTED = (".xlsx", ".docx", ".pptx", ".zip")


def entries(root):
    names = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        for name in [d for d in dirs if d.lower().endswith(NESTED)]:
            dirs.remove(name)
            files.append(name)
        for name in files:
            path = os.path.join(folder, name)
            names.append(os.path.relpath(path, root).replace(os.sep, "/"))
    names.sort()
    if FIRST in names:
        names.remove(FIRST)
        names.insert(0, FIRST)
    return names


def zip_bytes(root):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name in entries(root):
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = 0o100644 << 16
            path = os.path.join(root, name)
            if os.path.isdir(path):
                data = zip_bytes(path)
            else:
                with open(path, "rb") as f:
                    data = f.read()
            archive.writestr(info, data, compresslevel=6)
    return buffer.getvalue()


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: zip-tree.py SOURCE_DIR OUTPUT_FILE\n")
        return 2
    root, output = argv[1], argv[2]
    if not os.path.isdir(root):
        sys.stderr.write("zip-tree.py: not a folder: %s\n" % root)
        return 1
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    temp = output + ".tmp"
    try:
        with open(temp, "wb") as f:
            f.write(zip_bytes(root))
        os.replace(temp, output)
    except OSError as error:
        if os.path.exists(temp):
            os.remove(temp)
        sys.stderr.write("zip-tree.py: %s\n" % error)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
