"""Reports, validation and summaries from Python: the texts equal the C++ ones
(the golden files of the C++ tests), failures raise with the library's message."""
import logging
import re
import shutil
import threading
import zipfile

import pytest

import kivreport
from conftest import (BINARY_DIR, OFFICE_TEMPLATES, golden, gradient, jpeg_bytes, jpeg_size, mdlx_bytes,
                      ooxml_check, sit)


def text_snapshot(title, fields=None):
    return kivreport.Snapshot.image(None, title=title, fields=fields)


def sample_repository(tmp_path):
    repository = kivreport.Repository()
    repository.add(kivreport.Snapshot.image(gradient(48, 64), title="Plate", description="Peak $(MAX)",
                                            fields={"MAX": "312 MPa"}))
    repository.add(kivreport.Snapshot.image(gradient(30, 20), title="Tall"))
    repository.add(kivreport.Snapshot.table([["Name", "Value"], ["x<5 & y", "2"]], title="Table"))
    repository.add(kivreport.Snapshot.model(mdlx_bytes(jpeg_bytes(gradient(24, 32), tmp_path)), title="Beam",
                                            viewer_url="https://viewer.example.com/m/beam"))
    return repository


TEMPLATE = ("<html><body><h1>" + sit("SIT1_TITLE", "t") + "</h1><p>" + sit("SIT1_TEXT", "d") + "</p>\n" +
            sit("SIT1_PICTURE", '<img src="x.jpg" width="640" height="640" />') + "\n"
            "<orvrepgroup><div class=\"g\">" + sit("SIT_TITLE") +
            sit("SIT_PICTURE", '<img src="" width="100" height="100" />') + "</div></orvrepgroup>\n" +
            sit("SIT3_TABLE", '<table border="1"><tr><td>sample</td></tr></table>') + "\n" +
            sit("SIT4_MDLX", '<iframe src="about:blank" width="200" height="200"></iframe>') + "\n" +
            "<p>" + sit("REF_SIT1_TITLE", "r") + "</p></body></html>\n")


def test_html_report_and_its_options(tmp_path):
    repository = sample_repository(tmp_path)
    template = tmp_path / "template.html"
    template.write_text(TEMPLATE)
    reference = kivreport.Repository()
    reference.add(text_snapshot("Reference title"))

    made = kivreport.generate(repository, template, tmp_path / "report.html", reference=reference)
    assert made.files == [str(tmp_path / n) for n in ("report.html", "report_SIT1-1.jpg", "report_SIT2-1.jpg")]
    assert made.warnings == [] and made.left_out == []
    html = (tmp_path / "report.html").read_text()
    assert "<h1>" + sit("SIT1_TITLE", "Plate") + "</h1>" in html
    assert sit("SIT1_TEXT", "Peak 312 MPa") in html
    assert html.count('<div class="g">') == 2  # the picture group repeats for the two pictures
    assert sit("SIT2_TITLE", "Tall") in html
    assert "<td>x&lt;5 &amp; y</td>" in html
    assert '<iframe src="https://viewer.example.com/m/beam?embed=1"' in html
    assert sit("REF_SIT1_TITLE", "Reference title") in html
    assert jpeg_size(tmp_path / "report_SIT1-1.jpg") == (64, 48)
    assert jpeg_size(tmp_path / "report_SIT2-1.jpg") == (20, 30)

    # Only the second snapshot in the group; the model as its preview picture.
    kivreport.generate(repository, template, tmp_path / "other.html", snapshots=[1], use_3d_viewer=False)
    html = (tmp_path / "other.html").read_text()
    assert html.count('<div class="g">') == 1 and sit("SIT2_TITLE", "Tall") in html
    assert "<iframe" not in html and jpeg_size(tmp_path / "other_SIT4-1.jpg") == (32, 24)

    # Without the reference repository the REF_ tag stays: a warning, or a refused strict report.
    made = kivreport.generate(repository, template, tmp_path / "other.html")
    html = (tmp_path / "other.html").read_text()
    assert made.warnings == ["Reference tags were found in template, but no reference repository specified"]
    with pytest.raises(kivreport.Error, match=r"\(strict\)"):
        kivreport.generate(repository, template, tmp_path / "other.html", snapshots=[1], strict=True)
    assert html == (tmp_path / "other.html").read_text()


def test_validate_and_summarize_give_the_texts_of_the_cpp_library(tmp_path):
    template = tmp_path / "template.html"
    repository = kivreport.Repository()
    repository.add(text_snapshot("A"))
    repository.add(text_snapshot("B"))
    template.write_text("<p>" + sit("SIT1_TITLE") + "</p>")
    assert kivreport.validate(repository, template) == (True, golden("html/validate_unused.txt"))

    repository = kivreport.Repository()
    repository.add(text_snapshot("First", {"KEY": "1", "SITE": "s"}))
    repository.add(kivreport.Snapshot.model(None, title="Model", viewer_url="u", fields={"OTHER": "2"}))
    template.write_text(
        "<html><body>" + "".join(sit(t) for t in [
            "SIT3_PICTURE", "SIT1_TABLE", "SIT2_PICTURE", "SIT2_MDLX", "SIT_TITLE", "SIT0_TEXT", "SIT1_CHART",
            "SITX_$KEY", "SIT_$KEY", "SIT1_$NOPE", "SIT9_$KEY", "SIT1_TITLE", "SIT1_TITLE", "REF_SIT1_TEXT"]) +
        "<orvrepgroup>" + sit("SIT_$SITE") + "</orvrepgroup></body></html>")
    assert kivreport.validate(repository, template) == (False, golden("html/validate_problems.txt"))

    repository = kivreport.Repository()
    repository.add(text_snapshot("A"))
    repository.add(kivreport.Snapshot.table([["x"]]))
    reference = kivreport.Repository()
    for _ in range(3):
        reference.add(kivreport.Snapshot.image(gradient(2, 2)))
    template.write_text("".join(sit(t) for t in ["SIT1_TITLE", "SIT2_TABLE", "REF_SIT1_PICTURE", "REF_SIT4_TITLE",
                                                 "REF_SIT2_TABLE"]))
    passed, text = kivreport.validate(repository, template, reference=reference, snapshots=[0, 1])
    assert passed and "REF_SIT4_TITLE: Snapshot 4 does not exist\nREF_SIT2_TABLE: Snapshot does not match tag type" in text
    # A snapshot beyond the repository is refused in the words every front end uses.
    for call in (kivreport.validate, lambda *a, **k: kivreport.generate(*a, out=tmp_path / "o.html", **k)):
        with pytest.raises(kivreport.Error, match=r"Snapshot 6 \(index 5\) does not exist: the repository holds 2"):
            call(repository, template, snapshots=[0, 5])

    template.write_text(
        "<!DOCTYPE html>\n<html><head><title>t</title></head><body>"
        "<orvrepgroup><div>" + sit("SIT_PICTURE", '<img src="a.jpg"/>') + sit("SIT_TITLE") + sit("SIT_$KEY") +
        sit("SIT4_TEXT") + "</div></orvrepgroup>"
        "<orvrepgroup>" + sit("SIT2_$KEY") + "</orvrepgroup>"
        "<orvrepgroup>" + sit("REF_SIT_TABLE") + sit("SIT_MDLX") + sit("SIT_TEXT") + "</orvrepgroup>" +
        "".join(sit(t) for t in ["SIT1_TITLE", "SIT2_TEXT", "SIT3_PICTURE", "REF_SIT5_MDLX", "SIT6_TABLE",
                                 "SIT1_$DATABASE_NAME", "UNKNOWN"]) + "</body></html>")
    assert kivreport.summarize(template) == golden("html/summary_groups.txt")

    assert kivreport.validate(kivreport.Repository(), template) == (False, "No active snapshots in repository")


def test_failures_raise_with_the_logged_message_and_keep_the_earlier_report(tmp_path):
    repository = sample_repository(tmp_path)
    template = tmp_path / "template.html"
    template.write_text(TEMPLATE)
    report = tmp_path / "report.html"
    kivreport.generate(repository, template, report)
    before = report.read_bytes()

    with pytest.raises(kivreport.Error) as failure:
        kivreport.generate(kivreport.Repository(), template, report)
    assert str(failure.value) == "Could not create report file (%s). No active snapshots in repository" % report
    assert (failure.value.errors, failure.value.warnings, failure.value.left_out) == ([str(failure.value)], [], [])
    assert failure.value.codes == ["invalid-argument"]
    missing = tmp_path / "missing.html"
    with pytest.raises(kivreport.Error) as failure:
        kivreport.generate(repository, missing, report)
    assert str(failure.value) == "Copy failed. Source file %s did not exist" % missing
    with pytest.raises(kivreport.Error, match="Source and destination are the same file"):
        kivreport.generate(repository, template, template)
    assert report.read_bytes() == before and template.read_text() == TEMPLATE

    with pytest.raises(kivreport.Error) as failure:
        kivreport.validate(repository, missing)
    assert str(failure.value) == "Could not read template file (%s)" % missing
    assert failure.value.codes == ["file-not-found"]
    not_a_zip = tmp_path / "not.kivrep"
    not_a_zip.write_text("plain text")
    with pytest.raises(kivreport.Error) as failure:
        kivreport.Repository.load(not_a_zip)
    assert failure.value.codes[0] == "not-an-archive"
    (tmp_path / "open.html").write_text("<html><body><p>" + sit("SIT1_TITLE") + "</body></html>")
    with pytest.raises(kivreport.Error, match="Closing tags are required for summary!"):
        kivreport.summarize(tmp_path / "open.html")

    with pytest.raises(ValueError, match="unknown template type"):
        kivreport.generate(repository, tmp_path / "template.txt", report)
    with pytest.raises(TypeError):
        kivreport.generate("not a repository", template, report)
    with pytest.raises(TypeError):
        kivreport.generate(repository, 42, report)
    with pytest.raises(TypeError):
        kivreport.generate(repository, template, report, snapshots=["1"])
    with pytest.raises(TypeError):
        kivreport.generate(repository, template, report, reference="r")
    with pytest.raises(ValueError):
        kivreport.generate(repository, template, report, snapshots=[-1])


def test_library_warnings_go_to_python_logging(tmp_path, caplog):
    repository = kivreport.Repository()
    repository.add(kivreport.Snapshot.image(None, name="empty"))
    with caplog.at_level(logging.WARNING, logger="kivreport"):
        repository.save(tmp_path / "r.kivrep")
    assert [(r.name, r.levelname, r.getMessage()) for r in caplog.records] == [
        ("kivreport", "WARNING", "Image snapshot 'empty' has no image; it is saved without one")]


def test_threads_report_at_once_and_each_gets_its_own_errors(tmp_path):
    repository = sample_repository(tmp_path)
    template = tmp_path / "template.html"
    template.write_text(TEMPLATE)
    results = {}

    def work(i):
        try:
            if i % 2:
                kivreport.generate(repository, tmp_path / ("missing%d.html" % i), tmp_path / ("r%d.html" % i))
            else:
                kivreport.generate(repository, template, tmp_path / ("r%d.html" % i))
            results[i] = "ok"
        except kivreport.Error as e:
            results[i] = str(e)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for i in range(8):
        expected = "ok" if i % 2 == 0 else "Copy failed. Source file %s did not exist" % (tmp_path / ("missing%d.html" % i))
        assert results[i] == expected
    assert (tmp_path / "r6.html").read_text() == (tmp_path / "r0.html").read_text().replace("r0_SIT", "r6_SIT")


def office_repository(tmp_path):
    """The repository of the C++ Word tests: a picture with field values, a model with
    a preview, tables and another picture."""
    repository = kivreport.Repository()
    repository.add(kivreport.Snapshot.image(gradient(240, 320), title="Engine",
                                            fields={"DATABASE_NAME": "engine.db", "Pressure": "3 bar"}))
    repository.add(kivreport.Snapshot.model(mdlx_bytes(jpeg_bytes(gradient(48, 64), tmp_path)), title="Model"))
    repository.add(kivreport.Snapshot.table(cells(4), title="Loads", x_axis_title="x", y_axis_title="p"))
    repository.add(kivreport.Snapshot.image(gradient(100, 100), title="Detail"))
    repository.add(kivreport.Snapshot.table(cells(3), title="Summary"))
    return repository


def cells(rows):
    return [["x", "p", "q"]] + [[str(r), str(r * 2), str(r * 3)] for r in range(1, rows)]


@pytest.mark.parametrize("name", ["wd_report.docx", "wd_groups.docx"])
def test_word_reports_open_cleanly_in_office(tmp_path, name):
    template = tmp_path / name
    shutil.copy(OFFICE_TEMPLATES / name, template)
    reports = [tmp_path / "embedded.docx", tmp_path / "beside.docx"]
    repository = office_repository(tmp_path)
    kivreport.generate(repository, template, reports[0])
    kivreport.generate(repository, template, reports[1], embed_models=False, use_3d_plugin=False, snapshots=[3, 0])
    ooxml_check(*reports)
    with zipfile.ZipFile(reports[0]) as z:
        assert ">Engine<" in z.read("word/document.xml").decode()
    with pytest.raises(ValueError, match="name it .docx"):
        kivreport.generate(repository, template, tmp_path / "report.html")


@pytest.mark.parametrize("template, out", [("pp_signed.pptm", "r.pptm"), ("pp_signed.pptm", "r.pptx"),
                                           ("wd_signed.docm", "r.docm"), ("wd_signed.docm", "r.docx")])
def test_macro_enabled_templates_keep_their_macros_in_macro_enabled_reports_only(tmp_path, caplog, template, out):
    repository = kivreport.Repository()
    repository.add(kivreport.Snapshot.image(gradient(16, 8)))
    with caplog.at_level(logging.WARNING, logger="kivreport"):
        kivreport.generate(repository, OFFICE_TEMPLATES / template, tmp_path / out)
    ooxml_check(tmp_path / out)
    kept = out.endswith("m")
    with zipfile.ZipFile(tmp_path / out) as z:
        assert any(n.endswith("/vbaProject.bin") for n in z.namelist()) == kept
    assert "digital signatures are left out" in caplog.text
    assert ("macros (its VBA project) are left out" in caplog.text) != kept
    (tmp_path / "t.html").write_text(TEMPLATE)
    with pytest.raises(ValueError, match="name it .html"):
        kivreport.generate(repository, tmp_path / "t.html", tmp_path / ("h." + out.split(".")[1]))


def test_word_validation_and_summary_texts_equal_the_cpp_ones(tmp_path):
    repository = kivreport.Repository()
    repository.add(kivreport.Snapshot.image(gradient(10, 10)))
    repository.add(kivreport.Snapshot.table(cells(3)))
    repository.add(text_snapshot("t", {"Pressure": "1"}))
    text = ""
    for name in ["wd_valid_edges.docx", "wd_valid_groups.docx", "wd_valid_outside.docx", "wd_valid_sit0.docx",
                 "wd_sum.docx", "wd_report.docx", "wd_groups.docx", "forms", "wd_headers.docx", "wd_header_group.docx"]:
        path = BINARY_DIR / "tests" / "data" / "docx" / "forms.docx" if name == "forms" else OFFICE_TEMPLATES / name
        ok, report = kivreport.validate(repository, path)
        text += "=== %s (%s)\n%s\n--- summary\n%s\n" % (name, "valid" if ok else "invalid", report,
                                                         kivreport.summarize(path))
    assert text == golden("word/validation_and_summary.txt")

    (tmp_path / "not.docx").write_text("plain text")
    assert kivreport.validate(repository, tmp_path / "not.docx") == (False, "Not able to open template file")
    with pytest.raises(kivreport.Error):
        kivreport.generate(repository, tmp_path / "not.docx", tmp_path / "report.docx")
    with pytest.raises(kivreport.Error):
        kivreport.summarize(tmp_path / "not.docx")
    assert not (tmp_path / "report.docx").exists()


def slide_count(path):
    with zipfile.ZipFile(path) as z:
        return sum(1 for n in z.namelist() if re.fullmatch(r"ppt/slides/slide\d+\.xml", n))


def test_powerpoint_reports_open_cleanly_in_office(tmp_path):
    repository = office_repository(tmp_path)
    reports = []
    for name in ("pp_static.pptx", "pp_generic.pptx", "pp_models.pptx"):
        shutil.copy(OFFICE_TEMPLATES / name, tmp_path / name)
        reports.append(tmp_path / ("report_" + name))
        kivreport.generate(repository, tmp_path / name, reports[-1], embed_models=(name != "pp_models.pptx"))
    ooxml_check(*reports)
    with zipfile.ZipFile(reports[0]) as z:
        assert ">Engine<" in z.read("ppt/slides/slide1.xml").decode()
    # The generic slides repeat for the chosen snapshots only.
    kivreport.generate(repository, tmp_path / "pp_generic.pptx", tmp_path / "two.pptx", snapshots=[0, 3])
    kivreport.generate(repository, tmp_path / "pp_generic.pptx", tmp_path / "one.pptx", snapshots=[3])
    assert slide_count(tmp_path / "two.pptx") > slide_count(tmp_path / "one.pptx")
    with pytest.raises(ValueError, match="name it .pptx"):
        kivreport.generate(repository, tmp_path / "pp_static.pptx", tmp_path / "report.docx")


def test_powerpoint_validation_and_summary_texts_equal_the_cpp_ones():
    repository = kivreport.Repository()
    repository.add(text_snapshot("a", {"KEY": "v"}))
    repository.add(kivreport.Snapshot.image(gradient(48, 64), name="b"))
    repository.add(kivreport.Snapshot.table([["x", "y"], ["1", "2"]]))
    repository.add(kivreport.Snapshot.image(gradient(48, 64), name="d"))
    for deck, name in [("pp_valid.pptx", "valid"), ("pp_static.pptx", "static"), ("pp_mixed.pptx", "mixed"),
                       ("pp_generic.pptx", "generic")]:
        assert kivreport.validate(repository, OFFICE_TEMPLATES / deck)[1] == golden("pptxreport/validate-%s.txt" % name)
    for deck in ["pp_sum1.pptx", "pp_static.pptx", "pp_generic.pptx", "pp_models.pptx"]:
        assert kivreport.summarize(OFFICE_TEMPLATES / deck) == golden("pptxreport/summary-%s.txt" % deck)
    assert kivreport.validate(repository, OFFICE_TEMPLATES / "pp_valid.pptx", reference=kivreport.Repository()) == (
        False, "No active snapshots in repository")
    assert kivreport.validate(repository, "/nonexistent.pptx") == (False, "Not able to open template file")
    with pytest.raises(kivreport.Error) as failure:
        kivreport.summarize("/nonexistent.pptx")
    assert str(failure.value) == "/nonexistent.pptx: Not able to open template file"
