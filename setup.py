"""Builds the kivreport package: the extension kivreport._kivreport with CMake
(the target kivreport_python of this tree, for the Python that runs the build),
and the package's Python files, type stubs and py.typed from python/kivreport.

The CMake build folder is build-python/ in this tree, kept between builds so
that a second `pip install .` or `pip wheel .` only compiles what changed.
KIVREPORT_CMAKE_BUILD_DIR names another one: an existing build of this tree
(configured with -DKIV_BUILD_PYTHON=ON) is then used as it is, which is how the
tests install the module they built. CMAKE_BUILD_PARALLEL_LEVEL sets the jobs
(default: the number of processors).
"""
import glob
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
# setuptools' own build and metadata folders stay out of the CMake build/ of
# scripts/test.sh and out of the tree's files: in build-python/, or in the given
# CMake build folder, so that two builds installing at once do not meet.
GIVEN = os.environ.get("KIVREPORT_CMAKE_BUILD_DIR")
WORK = pathlib.Path(GIVEN).resolve() / "python-setuptools" if GIVEN else ROOT / "build-python"


def project_version():
    """The project's version, which the module reports as kivreport.__version__."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(KivReport VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(GIVEN).resolve() if GIVEN else WORK / "cmake"
        if not GIVEN and not (build / "CMakeCache.txt").exists():
            subprocess.check_call(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                                   "-DKIV_BUILD_TESTS=OFF", "-DKIV_BUILD_TOOLS=OFF", "-DKIV_BUILD_PYTHON=ON",
                                   "-DPython3_EXECUTABLE=" + sys.executable])
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.check_call(["cmake", "--build", str(build), "--target", "kivreport_python", "-j", jobs])
        built = glob.glob(str(build / "python" / "kivreport" / "_kivreport*.so"))
        if len(built) != 1:
            raise RuntimeError("the CMake build made no single kivreport extension in %s" % build)
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


WORK.mkdir(parents=True, exist_ok=True)
setup(
    version=project_version(),
    packages=["kivreport"],
    package_dir={"kivreport": "python/kivreport"},
    package_data={"kivreport": ["py.typed", "*.pyi"]},
    ext_modules=[Extension("kivreport._kivreport", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
    options={"build": {"build_base": str(WORK / "setuptools")}, "egg_info": {"egg_base": str(WORK)}},
)
