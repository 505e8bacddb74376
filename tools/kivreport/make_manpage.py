#!/usr/bin/python3
"""Writes the kivreport(1) manual page from the tool's own help texts, so that the
page says what `kivreport --help` and each command's --help say.

Usage: make_manpage.py KIVREPORT OUT.1
"""
import subprocess
import sys

# The commands in the order the page lists them, as the tool takes them.
COMMANDS = [["repo", "create"], ["repo", "show"], ["repo", "export"], ["generate"], ["validate"], ["summarize"],
            ["template", "controls"]]


def help_of(tool, *args):
    return subprocess.run([tool, *args, "--help"], check=True, capture_output=True, text=True).stdout


def roff(text):
    """Text set as it is: backslashes escaped, and lines that would start a request kept as text."""
    lines = []
    for line in text.replace("\\", "\\e").splitlines():
        lines.append("\\&" + line if line.startswith((".", "'")) else line)
    return "\n".join(lines)


def preformatted(text):
    return ".nf\n" + roff(text.rstrip("\n")) + "\n.fi"


def sections(text):
    """The main help as its paragraphs: (heading, body). A paragraph whose first line
    ends in a colon ("Commands:") takes that line as its heading."""
    for paragraph in text.strip("\n").split("\n\n"):
        first, _, rest = paragraph.partition("\n")
        if first.endswith(":") and rest:
            yield first[:-1], rest
        else:
            yield None, paragraph


def main(tool, out):
    version = subprocess.run([tool, "--version"], check=True, capture_output=True, text=True).stdout.split()[-1]
    main_help = help_of(tool)
    paragraphs = list(sections(main_help))
    usage = paragraphs[0][1].replace("Usage: ", "", 1)
    page = [
        '.TH KIVREPORT 1 "" "kivreport %s" "User Commands"' % version,
        ".SH NAME",
        "kivreport \\- make HTML, PowerPoint and Word reports from repositories of snapshots",
        ".SH SYNOPSIS",
        preformatted(usage),
        ".SH DESCRIPTION",
    ]
    for heading, body in paragraphs[1:]:
        if heading is None:
            page += [".PP", roff(body)]
        else:
            page += [".SS " + heading, preformatted(body)]
    page.append(".SH COMMANDS")
    for command in COMMANDS:
        page += [".SS " + " ".join(command), preformatted(help_of(tool, *command))]
    page += [".SH SEE ALSO", "The README of the kivreport sources: templates, manifests and the library."]
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(page) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
