"""PDF copies of reports: page counts of real conversions (LibreOffice, Chromium),
a missing converter, a converter that fails or hangs, converters named by the
environment, warnings about missing fonts, and the kivreport tool's --pdf with its
progress on a terminal."""
import json
import os
import pathlib
import pty
import re
import shutil
import subprocess
import time
import zipfile

import pytest

import kivreport
from conftest import OFFICE_TEMPLATES, SOURCE_DIR, gradient, pdf_pages, sit

needs_pdfinfo = pytest.mark.skipif(shutil.which("pdfinfo") is None, reason="pdfinfo (poppler-utils) is not installed")


def html_report(tmp_path, name="report.html"):
    repository = kivreport.Repository()
    repository.add(kivreport.Snapshot.image(gradient(300, 400), title="Plate"))
    template = tmp_path / "template.html"
    template.write_text("<html><body><h1>" + sit("SIT1_TITLE") + "</h1>" +
                        sit("SIT1_PICTURE", '<img src="x.jpg" width="400" height="300" />') + "</body></html>")
    return repository, template, tmp_path / name


@needs_pdfinfo
@pytest.mark.skipif(shutil.which("chromium") is None, reason="chromium is not installed (scripts/setup.sh browser)")
def test_html_report_as_pdf(tmp_path):
    repository, template, report = html_report(tmp_path, "rapport \u00e9 #1.html")
    kivreport.generate(repository, template, report, pdf=True)
    pdf = tmp_path / "rapport \u00e9 #1.pdf"
    assert pdf_pages(pdf) == 1
    text = subprocess.run(["pdftotext", str(pdf), "-"], capture_output=True, text=True, check=True).stdout
    assert "Plate" in text
    images = subprocess.run(["pdfimages", "-list", str(pdf)], capture_output=True, text=True, check=True).stdout
    assert re.search(r"image\s+400\s+300\s", images)  # the picture beside the report was found

    # A report named otherwise is still printed as a page, not as its source text.
    kivreport.generate(repository, template, tmp_path / "report.txt", pdf=True)
    text = subprocess.run(["pdftotext", str(tmp_path / "report.pdf"), "-"], capture_output=True, text=True).stdout
    assert "Plate" in text and "orvrepsit" not in text
    assert sorted(p.name for p in tmp_path.iterdir() if p.name.startswith(".")) == []


@needs_pdfinfo
@pytest.mark.skipif(shutil.which("soffice") is None, reason="LibreOffice is not installed (scripts/setup.sh pdf)")
@pytest.mark.parametrize("name, pages", [("pp_generic.pptx", 5), ("pp_static.pptx", 2), ("wd_report.docx", 2)])
def test_office_files_as_pdf(tmp_path, name, pages):
    source = tmp_path / name
    shutil.copy(OFFICE_TEMPLATES / name, source)
    assert kivreport.to_pdf(source) == str(tmp_path / (source.stem + ".pdf"))
    assert pdf_pages(tmp_path / (source.stem + ".pdf")) == pages


@needs_pdfinfo
@pytest.mark.skipif(shutil.which("soffice") is None, reason="LibreOffice is not installed (scripts/setup.sh pdf)")
def test_a_powerpoint_report_as_pdf_has_a_page_per_slide(tmp_path):
    repository = kivreport.Repository()
    for i in range(3):
        repository.add(kivreport.Snapshot.image(gradient(120, 160, seed=i), title="Picture %d" % (i + 1)))
    shutil.copy(OFFICE_TEMPLATES / "pp_generic.pptx", tmp_path / "deck.pptx")
    kivreport.generate(repository, tmp_path / "deck.pptx", tmp_path / "report.pptx", pdf=True)
    with zipfile.ZipFile(tmp_path / "report.pptx") as z:
        slides = sum(1 for n in z.namelist() if re.fullmatch(r"ppt/slides/slide\d+\.xml", n))
    assert slides > 5  # generic slides were repeated
    assert pdf_pages(tmp_path / "report.pdf") == slides


def test_missing_converter_names_the_debian_package_and_the_report_is_written(tmp_path, monkeypatch):
    repository, template, report = html_report(tmp_path)
    (tmp_path / "report.pdf").write_bytes(b"%PDF- earlier")
    (tmp_path / "empty-bin").mkdir()
    monkeypatch.setenv("PATH", str(tmp_path / "empty-bin"))
    with pytest.raises(kivreport.PdfError) as failure:
        kivreport.generate(repository, template, report, pdf=True)
    assert str(failure.value) == ("%s: Chromium is not installed (Debian package chromium) (the report %s was written)"
                                  % (tmp_path / "report.pdf", report))
    assert isinstance(failure.value, kivreport.Error)
    assert "SIT1_PICTURE" in report.read_text() and (tmp_path / "report.pdf").read_bytes() == b"%PDF- earlier"

    for name, package in [("deck.pptx", "libreoffice-impress"), ("document.docx", "libreoffice-writer")]:
        (tmp_path / name).write_bytes(b"PK")
        with pytest.raises(kivreport.PdfError, match=r"LibreOffice is not installed \(Debian package %s\)" % package):
            kivreport.to_pdf(tmp_path / name)


def test_a_converter_that_hangs_is_stopped_with_its_children(tmp_path, fake_program):
    repository, template, report = html_report(tmp_path)
    pids = tmp_path / "pids"
    fake_program("chromium", "/bin/sleep 60 &\necho $$ $! > '%s'\nwait\n" % pids)
    started = time.monotonic()
    with pytest.raises(kivreport.PdfError, match="Chromium did not finish the PDF within 1 seconds and was stopped"):
        kivreport.generate(repository, template, report, pdf=True, pdf_timeout=1)
    assert time.monotonic() - started < 10
    assert report.exists() and not (tmp_path / "report.pdf").exists()
    for pid in pids.read_text().split():
        assert not running(pid)


def test_a_converter_failure_is_reported_and_the_old_pdf_kept(tmp_path, fake_program):
    repository, template, report = html_report(tmp_path)
    (tmp_path / "report.pdf").write_bytes(b"%PDF- earlier")
    fake_program("chromium", "echo 'first line'\necho 'cannot print: no display' >&2\nexit 3\n")
    with pytest.raises(kivreport.PdfError, match=r"Chromium did not make a PDF of the report \(exit status 3\): "
                                                 r"cannot print: no display \(the report"):
        kivreport.generate(repository, template, report, pdf=True)
    # Something that is not a complete PDF does not count either, nor a PDF from a
    # converter that failed, nor one that pdfinfo cannot read.
    writes = 'for a; do case "$a" in --print-to-pdf=*) printf "%s" > "${a#--print-to-pdf=}";; esac; done\n'
    for content, status, pdfinfo, message in [
            ("<html>", 0, None, "Chromium made an incomplete PDF of the report"),
            ("%%PDF-1.4 cut", 0, None, "Chromium made an incomplete PDF of the report"),
            (COMPLETE, 1, None, r"Chromium did not make a PDF of the report \(exit status 1\)"),
            (COMPLETE, 0, "echo 'Syntax Error: no xref' >&2; exit 1", "pdfinfo cannot read: Syntax Error: no xref")]:
        fake_program("chromium", writes % content + "exit %d\n" % status)
        if pdfinfo:
            fake_program("pdfinfo", pdfinfo + "\n")
        with pytest.raises(kivreport.PdfError, match=message):
            kivreport.generate(repository, template, report, pdf=True)
    assert (tmp_path / "report.pdf").read_bytes() == b"%PDF- earlier"
    assert [p.name for p in tmp_path.iterdir() if p.name.startswith(".kivreport")] == []

    with pytest.raises(ValueError, match="cannot be named .pdf"):
        kivreport.generate(repository, template, tmp_path / "report.pdf", pdf=True)
    with pytest.raises(ValueError, match="pdf_timeout"):
        kivreport.generate(repository, template, report, pdf=True, pdf_timeout=0)
    assert (tmp_path / "report.pdf").read_bytes() == b"%PDF- earlier"
    with pytest.raises(FileNotFoundError):
        kivreport.to_pdf(tmp_path / "missing.docx")


# What the stand-in converters write: a header and the end-of-file marker (printf text).
COMPLETE = "%%PDF-1.4 stand-in\\n%%%%EOF\\n"


def running(pid, within=5.0):
    """False once the process is gone or a zombie (killed, not yet reaped by init).
    A killed process takes a moment to die, so this waits up to `within` seconds."""
    deadline = time.monotonic() + within
    while True:
        try:
            alive = pathlib.Path("/proc/%s/stat" % pid).read_text().rsplit(")", 1)[1].split()[0] != "Z"
        except FileNotFoundError:
            alive = False
        if not alive or time.monotonic() > deadline:
            return alive
        time.sleep(0.05)


TOOL = os.environ.get("KIVREPORT_TOOL")
BINARY_DIR = pathlib.Path(os.environ.get("KIV_BINARY_DIR", "/nonexistent"))
SAMPLE_TEMPLATE = BINARY_DIR / "samples" / "report-template.docx"
SAMPLE_IMAGES = BINARY_DIR / "samples" / "make_sample_images"


@needs_pdfinfo
@pytest.mark.skipif(shutil.which("soffice") is None, reason="LibreOffice is not installed (scripts/setup.sh pdf)")
@pytest.mark.skipif(not (TOOL and SAMPLE_TEMPLATE.exists() and SAMPLE_IMAGES.exists()),
                    reason="the tool and the samples are not built")
def test_the_sample_word_report_as_pdf_from_python_and_from_the_tool(tmp_path):
    # The demo's repository: the sample inputs, drawn by the build's program, made into a repository by the tool.
    shutil.copytree(SOURCE_DIR / "samples" / "data", tmp_path / "input")
    subprocess.run([str(SAMPLE_IMAGES), str(tmp_path / "input")], check=True, capture_output=True)
    subprocess.run([TOOL, "repo", "create", str(tmp_path / "sample.kivrep"), "--from",
                    str(tmp_path / "input" / "manifest.json")], check=True, capture_output=True)

    repository = kivreport.Repository.load(tmp_path / "sample.kivrep")
    kivreport.generate(repository, SAMPLE_TEMPLATE, tmp_path / "report.docx", use_3d_plugin=False, pdf=True)
    assert pdf_pages(tmp_path / "report.pdf") == 7

    done = subprocess.run([TOOL, "generate", "--repo", str(tmp_path / "sample.kivrep"), "--template",
                           str(SAMPLE_TEMPLATE), "--out", str(tmp_path / "tool.docx"), "--no-3d-plugin", "--pdf"],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert pdf_pages(tmp_path / "tool.pdf") == 7


@pytest.mark.skipif(not TOOL, reason="the kivreport tool is not built (KIVREPORT_TOOL)")
def test_the_tool_writes_a_pdf_beside_the_report(tmp_path, fake_program):
    repository, template, report = html_report(tmp_path)
    repository.save(tmp_path / "r.kivrep")
    args = [TOOL, "generate", "--repo", str(tmp_path / "r.kivrep"), "--template", str(template), "--out", str(report),
            "--pdf"]
    # A stand-in converter that writes a PDF: the tool places it beside the report.
    fake_program("chromium", 'for a; do case "$a" in --print-to-pdf=*) printf "%s" > "${a#--print-to-pdf=}";;'
                              ' esac; done\n' % COMPLETE)
    done = subprocess.run(args, capture_output=True, text=True)
    assert (done.returncode, done.stderr) == (0, "")
    assert done.stdout == "Wrote %s\nWrote %s\n" % (report, tmp_path / "report.pdf")
    assert (tmp_path / "report.pdf").read_bytes() == b"%PDF-1.4 stand-in\n%%EOF\n"

    (tmp_path / "fake-bin" / "chromium").unlink()
    report.unlink()
    done = subprocess.run(args, capture_output=True, text=True)
    assert done.returncode == 2 and report.exists()
    assert done.stderr == ("kivreport: error: %s: Chromium is not installed (Debian package chromium) (the report %s "
                           "was written)\n" % (tmp_path / "report.pdf", report))
    done = subprocess.run(args[:-2] + [str(tmp_path / "report.pdf"), "--pdf"], capture_output=True, text=True)
    assert done.returncode == 2 and "name the report .html" in done.stderr


def test_the_pdf_takes_the_report_name_with_pdf_in_place_of_its_extension(tmp_path, fake_program):
    repository, template, _ = html_report(tmp_path)
    fake_program("chromium", 'for a; do case "$a" in --print-to-pdf=*) printf "%s" > "${a#--print-to-pdf=}";;'
                              ' esac; done\n' % COMPLETE)
    (tmp_path / "v1.2").mkdir()
    for out, pdf in [("v1.2/report", "v1.2/report.pdf"), ("v1.2/report.HTM", "v1.2/report.pdf"),
                     ("v1.2/.hidden", "v1.2/.hidden.pdf"), ("report.final.html", "report.final.pdf")]:
        kivreport.generate(repository, template, tmp_path / out, pdf=True)
        assert (tmp_path / pdf).read_bytes() == b"%PDF-1.4 stand-in\n%%EOF\n", out


WRITES_PDF = 'for a; do case "$a" in --print-to-pdf=*) printf "%s" > "${a#--print-to-pdf=}";; esac; done\n' % COMPLETE


def test_the_environment_names_the_converters(tmp_path, fake_program, monkeypatch):
    repository, template, report = html_report(tmp_path)
    program = fake_program("chromium", WRITES_PDF)
    (tmp_path / "not-a-program").write_text("#!/bin/sh\n")
    monkeypatch.setenv("PATH", str(tmp_path / "nowhere"))  # only the variable can find it
    for value, error in [(str(program), None), ("chromium", "KIVREPORT_CHROMIUM names chromium, which does not exist"),
                         (str(tmp_path / "gone"), "KIVREPORT_CHROMIUM names %s, which does not exist" % (tmp_path / "gone")),
                         (str(tmp_path / "not-a-program"), "which is not an executable file")]:
        monkeypatch.setenv("KIVREPORT_CHROMIUM", value)
        if error is None:
            kivreport.generate(repository, template, report, pdf=True)
            assert (tmp_path / "report.pdf").read_bytes() == b"%PDF-1.4 stand-in\n%%EOF\n"
            continue
        with pytest.raises(kivreport.PdfError, match=re.escape(error)):
            kivreport.generate(repository, template, report, pdf=True)
    # A bare name is looked up on PATH; LibreOffice has its own variable.
    monkeypatch.setenv("PATH", str(program.parent))
    monkeypatch.setenv("KIVREPORT_CHROMIUM", "chromium")
    kivreport.generate(repository, template, report, pdf=True)
    monkeypatch.setenv("KIVREPORT_SOFFICE", str(tmp_path / "gone"))
    (tmp_path / "deck.pptx").write_bytes(b"PK")
    with pytest.raises(kivreport.PdfError, match="KIVREPORT_SOFFICE names .*gone, which does not exist"):
        kivreport.to_pdf(tmp_path / "deck.pptx")


@pytest.mark.parametrize("families, missing", [
    ("NoSuchFontKiv", "NoSuchFontKiv"), ("'NoSuchFontKiv', \"Other Missing\"", "NoSuchFontKiv"),
    ("NoSuchFontKiv, sans-serif", None), ("NoSuchFontKiv, 'DejaVu Sans'", None)])
def test_fonts_the_machine_lacks_are_named_before_converting(tmp_path, fake_program, caplog, families, missing):
    repository, template, report = html_report(tmp_path)
    template.write_text("<html><head><style>h1 { font-family: %s; }</style></head><body>%s</body></html>"
                        % (families, sit("SIT1_TITLE")))
    fake_program("chromium", WRITES_PDF)
    with caplog.at_level("WARNING", logger="kivreport"):
        kivreport.generate(repository, template, report, pdf=True)
    warnings = [r.getMessage() for r in caplog.records if "which is not installed" in r.getMessage()]
    assert warnings == ([] if missing is None else [
        "the report uses the font '%s', which is not installed: the PDF shows 'DejaVu Sans' in its place" % missing])


@pytest.mark.skipif(not TOOL, reason="the kivreport tool is not built (KIVREPORT_TOOL)")
def test_the_tool_shows_progress_and_missing_fonts_on_a_terminal_only(tmp_path, fake_program):
    repository, template, report = html_report(tmp_path)
    template.write_text('<html><body><p style="font-family: NoSuchFontKiv">%s</p></body></html>' % sit("SIT1_TITLE"))
    repository.save(tmp_path / "r.kivrep")
    fake_program("chromium", "/bin/sleep 2\n" + WRITES_PDF)
    args = [TOOL, "generate", "--repo", str(tmp_path / "r.kivrep"), "--template", str(template), "--out", str(report),
            "--pdf"]
    font = "the report uses the font 'NoSuchFontKiv', which is not installed"
    for extra, terminal, shown in [([], True, True), (["--json"], True, False), ([], False, False),
                                   (["-q"], True, False)]:
        primary, secondary = pty.openpty() if terminal else os.pipe()
        done = subprocess.run(args[:1] + (extra if extra == ["-q"] else []) + args[1:] +
                              (extra if extra == ["--json"] else []), stdout=subprocess.PIPE, stderr=secondary)
        os.close(secondary)
        err = b""
        while True:
            try:
                chunk = os.read(primary, 65536)
            except OSError:  # the terminal's other side closed
                break
            if not chunk:
                break
            err += chunk
        os.close(primary)
        assert done.returncode == 0, err
        assert (b"converting %s to PDF with Chromium... 1 s" % bytes(report)) in err if shown else b"... 1 s" not in err
        if extra == ["--json"]:
            messages = json.loads(done.stdout)["messages"]
            assert [(m["level"], m["source"]) for m in messages if font in m["text"]] == [("warning", "kivreport")]
            assert font.encode() not in err
        else:
            assert font.encode() in err  # the tool's warnings show with -q too
