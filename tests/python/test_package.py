"""The installed package: its metadata, and its type stubs, which name what the
extension has (mypy's stubtest) and with which mypy checks the README's example
and catches wrong arguments."""
import importlib.metadata
import os
import pathlib
import re
import subprocess
import sys

import kivreport
from conftest import SOURCE_DIR

HERE = pathlib.Path(__file__).resolve().parent
# A sanitizer build's extension loads only with the runtimes preloaded, which the
# tests otherwise keep from the programs they start (conftest).
PRELOAD = os.environ.get("LD_PRELOAD")


def test_the_installed_package_knows_its_version_and_is_typed():
    assert importlib.metadata.version("kivreport") == kivreport.__version__
    folder = pathlib.Path(kivreport.__file__).parent
    assert {"py.typed", "_kivreport.pyi"} <= {p.name for p in folder.iterdir()}
    assert kivreport.generate.__module__ == "kivreport" and kivreport.Error.__module__ == "kivreport"
    assert "Makes the report" in kivreport.generate.__doc__  # the docstrings stay


def test_the_stubs_name_what_the_extension_has():
    env = dict(os.environ, **({"LD_PRELOAD": PRELOAD} if PRELOAD else {}))
    done = subprocess.run([sys.executable, "-m", "mypy.stubtest", "kivreport", "--allowlist",
                           str(HERE / "stubtest-allowlist.txt")], capture_output=True, text=True, env=env)
    assert done.returncode == 0, done.stdout + done.stderr


def test_mypy_checks_programs_with_the_stubs(tmp_path):
    readme = (SOURCE_DIR / "README.md").read_text()
    section = readme[readme.index("## Using the library from Python"):]
    programs = {
        "readme": re.search(r"```python\n(.*?)```", section, re.S).group(1),
        "path_as_number": 'import kivreport\nkivreport.generate(kivreport.Repository(), 42, "out.html")\n',
        "cell_of_a_list": "import kivreport\nkivreport.Snapshot.table([[['a']]])\n",
        "verdict_as_text": 'import kivreport\nok: str = kivreport.validate(kivreport.Repository(), "t.html")[0]\n',
        "unknown_name": "import kivreport\nkivreport.Snapshot.picture(None)\n",
    }
    for name, text in programs.items():
        (tmp_path / (name + ".py")).write_text(text)
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-error-summary", "--cache-dir",
                           str(tmp_path / "cache"), *(name + ".py" for name in programs)],
                          cwd=tmp_path, capture_output=True, text=True)
    flagged = {line.split(".py:")[0] for line in done.stdout.splitlines() if ": error:" in line}
    assert flagged == set(programs) - {"readme"}, done.stdout + done.stderr
