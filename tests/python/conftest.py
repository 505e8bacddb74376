"""Shared helpers of the Python module's tests: pictures, PNG and Mdlx files made
in memory, golden texts, and the paths CTest passes in."""
import io
import os
import pathlib
import struct
import subprocess
import zipfile
import zlib

import numpy as np
import pytest

import kivreport

SOURCE_DIR = pathlib.Path(os.environ.get("KIV_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
BINARY_DIR = pathlib.Path(os.environ.get("KIV_BINARY_DIR", SOURCE_DIR / "build"))
# The Office-saved templates as the build zips them from tests/data/office-templates,
# and the package checker, as for the C++ tests.
OFFICE_TEMPLATES = BINARY_DIR / "tests" / "office-templates"
OOXML_CHECK = SOURCE_DIR / "tests" / "checker" / "ooxml-check"


def golden(name):
    """The text of tests/golden/<name> as written by the C++ tests (line ends kept)."""
    return (SOURCE_DIR / "tests" / "golden" / name).read_bytes().decode("utf-8")


def gradient(height, width, seed=0):
    """A smooth picture, which JPEG keeps close to its pixels."""
    y, x = np.mgrid[0:height, 0:width]
    pixels = np.empty((height, width, 3), np.uint8)
    pixels[..., 0] = x * 200 // max(width - 1, 1) + seed % 56
    pixels[..., 1] = y * 200 // max(height - 1, 1) + 2 * seed % 56
    pixels[..., 2] = 128
    return pixels


def png_bytes(pixels):
    """An 8-bit RGB or RGBA PNG of an (h, w, 3|4) uint8 array."""
    height, width, channels = pixels.shape
    raw = b"".join(b"\0" + pixels[row].tobytes() for row in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 6 if channels == 4 else 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def mdlx_bytes(preview_jpeg=None, name="Load case 1"):
    """An Mdlx model file of one case, with that JPEG as its preview."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        z.writestr("mdlx.id", "MDLX 1\n")
        z.writestr("cases/0/case.txt", "id=1\nname=" + name)
        if preview_jpeg is not None:
            z.writestr("cases/0/preview.jpg", preview_jpeg)
        z.writestr("cases/0/model.bin", b"\x01\x02\x03" * 100, compress_type=zipfile.ZIP_DEFLATED)
    return out.getvalue()


def jpeg_bytes(pixels, tmp_path):
    """JPEG bytes of the pixels, as the library encodes them (read back from a saved repository)."""
    repository = kivreport.Repository()
    repository.add(kivreport.Snapshot.image(pixels, name="picture"))
    path = tmp_path / "jpeg-source.kivrep"
    repository.save(path)
    with zipfile.ZipFile(path) as z:
        names = [n for n in z.namelist() if n != "Project.xml"]
        assert len(names) == 1
        return z.read(names[0])


def jpeg_size(path):
    """(width, height) of a JPEG file, read through the module."""
    height, width, _ = kivreport.Snapshot.image(pathlib.Path(path)).pixels.shape
    return width, height


def pdf_pages(path):
    out = subprocess.run(["pdfinfo", str(path)], check=True, capture_output=True, text=True).stdout
    return int(next(line.split()[1] for line in out.splitlines() if line.startswith("Pages:")))


def ooxml_check(*paths):
    result = subprocess.run([str(OOXML_CHECK), *map(str, paths)], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr


def sit(name, content=""):
    return '<orvrepsit name="%s">%s</orvrepsit>' % (name, content)


@pytest.fixture(autouse=True)
def uninstrumented_children(monkeypatch):
    """Sanitizer builds preload the sanitizer runtime into python3; the programs the
    tests start (converters, the tool) must not inherit that."""
    monkeypatch.delenv("LD_PRELOAD", raising=False)


@pytest.fixture
def fake_program(tmp_path, monkeypatch):
    """Puts a shell script under the given name first on PATH (alone, when alone=True)."""

    def make(name, script, alone=True):
        folder = tmp_path / "fake-bin"
        folder.mkdir(exist_ok=True)
        program = folder / name
        program.write_text("#!/bin/sh\n" + script)
        program.chmod(0o755)
        monkeypatch.setenv("PATH", str(folder) if alone else str(folder) + os.pathsep + os.environ["PATH"])
        return program

    return make


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    """With KIV_NO_SKIPS set (CI), a skipped test fails: every input must be there."""
    outcome = yield
    report = outcome.get_result()
    if report.skipped and os.environ.get("KIV_NO_SKIPS") and not hasattr(report, "wasxfail"):
        report.outcome = "failed"
        report.longrepr = "skipped, which KIV_NO_SKIPS forbids: %s" % (report.longrepr,)
