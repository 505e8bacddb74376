"""The README's Python example runs as written and makes what it promises."""
import contextlib
import io
import os
import re
import shutil

import kivreport
from conftest import SOURCE_DIR, jpeg_size, pdf_pages


def test_the_readme_example(tmp_path, monkeypatch):
    readme = (SOURCE_DIR / "README.md").read_text()
    section = readme[readme.index("## Using the library from Python"):]
    program = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    monkeypatch.chdir(tmp_path)
    printed = io.StringIO()
    with contextlib.redirect_stdout(printed):
        exec(compile(program, "README.md", "exec"), {})

    assert printed.getvalue().startswith("stored situation as snapshot 1\nstored situation1 as snapshot 2\n"
                                         "VALIDATION OF REPOSITORY\n")
    loaded = kivreport.Repository.load("results.kivrep")
    assert [s.title for s in loaded] == ["Load step 1", "Load step 2"]
    html = (tmp_path / "report.html").read_text()
    assert "Peak load 310.0 kN" in html and ">plate.kdb</orvrepsit></h1>" in html
    assert jpeg_size("report_SIT2-1.jpg") == (320, 240)
    if shutil.which("chromium") and shutil.which("pdfinfo"):
        assert pdf_pages("report.pdf") == 1
    else:
        assert "is not installed" in printed.getvalue() and not os.path.exists("report.pdf")
