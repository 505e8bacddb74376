"""The README's Python example runs as written and makes what it promises."""
import contextlib
import io
import os
import pathlib
import re
import shutil
import zipfile

import pytest

import kivreport
from conftest import SOURCE_DIR, ooxml_check, pdf_pages

SAMPLE_TEMPLATE = pathlib.Path(os.environ.get("KIV_BINARY_DIR", "/nonexistent")) / "samples" / "report-template.docx"


@pytest.mark.skipif(not SAMPLE_TEMPLATE.exists(), reason="the sample Word template is not built")
def test_the_readme_example(tmp_path, monkeypatch):
    readme = (SOURCE_DIR / "README.md").read_text()
    section = readme[readme.index("## Using the library from Python"):]
    program = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    line = 'template = "build-demo/samples/report-template.docx"'
    assert line in program
    program = program.replace(line, "template = %r" % str(SAMPLE_TEMPLATE))
    monkeypatch.chdir(tmp_path)
    printed = io.StringIO()
    with contextlib.redirect_stdout(printed):
        exec(compile(program, "README.md", "exec"), {})

    assert printed.getvalue().startswith("stored situation as snapshot 1\nstored situation1 as snapshot 2\n"
                                         "Unmatched tags:\n")
    loaded = kivreport.Repository.load("results.kivrep")
    assert [s.title for s in loaded] == ["Load step 1", "Load step 2"]
    ooxml_check(tmp_path / "report.docx")
    with zipfile.ZipFile("report.docx") as z:
        document = z.read("word/document.xml").decode()
    for text in ("Load step 2", "Plate under 310.0 kN.", "496 MPa", ">plate.kdb<"):
        assert text in document
    if shutil.which("soffice") and shutil.which("pdfinfo"):
        assert pdf_pages("report.pdf") == 5
    else:
        assert "is not installed" in printed.getvalue() and not os.path.exists("report.pdf")
