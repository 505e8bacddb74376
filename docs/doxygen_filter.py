#!/usr/bin/python3
"""Doxygen's input filter for the public headers, which are commented in plain
// prose: a block of comment lines becomes a /// block documenting what follows
it, and a comment that ends a declaration's line becomes ///< (documenting that
line's member). The first block that stands before an #include or another
preprocessor line describes the header itself (\\file). Code is passed through
as it is.

Usage: doxygen_filter.py HEADER   (writes the filtered text to stdout)
"""
import re
import sys

LEADING = re.compile(r"^(\s*)//(?!/)\s?(.*)$")
TRAILING = re.compile(r"^(.*?[;,{])(\s*)//(?!/)\s?(.*)$")


def filtered(lines):
    out, block, described = [], [], False
    for line in lines + [""]:
        leading = LEADING.match(line)
        if leading:
            block.append(leading.groups())
            continue
        if block:
            if line.startswith("#"):
                # About the header: its description once, plain comments after that.
                if not described:
                    out.append("/// \\file")
                out += ["%s/// %s" % b if not described else "%s// %s" % b for b in block]
                described = True
            else:
                out += ["%s/// %s" % b for b in block]
            block = []
        trailing = TRAILING.match(line)
        if trailing and '"' not in trailing.group(1):
            line = "%s%s///< %s" % trailing.groups()
        out.append(line)
    return out[:-1]


with open(sys.argv[1], encoding="utf-8") as header:
    print("\n".join(filtered(header.read().split("\n"))), end="")
