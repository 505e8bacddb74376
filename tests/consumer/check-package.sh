#!/usr/bin/env bash
# The installed package as an outside project sees it. Installs the build
# folder into a scratch prefix, then checks that lib/ holds only libKivReport
# (with the CMake and pkg-config folders, and the Python module when it was
# built), that include/ holds the public headers and nothing internal, that
# libKivReport exports the public classes only, and builds and runs the
# consumer program twice: with find_package(KivReport) and with
# `pkg-config --cflags --libs kivreport`. Installed programs run without
# LD_LIBRARY_PATH.
# Usage: check-package.sh BUILD_DIR WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
prefix=$work/prefix
rm -rf "$prefix" "$work/cmake-consumer"
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "check-package: $*" >&2; exit 1; }

# lib/: the library, its SONAME link and development link, and the package folders.
extra=$(cd "$prefix/lib" && ls -A | grep -v -E '^(libKivReport\.so(\.[0-9]+)*|cmake|pkgconfig|python3)$' || true)
[ -z "$extra" ] || fail "lib/ holds more than libKivReport: $extra"
# include/: exactly the public headers and the host headers they include.
headers=$(cd "$prefix/include/kivreport" && find . -type f | sort | tr '\n' ' ')
expected="./KivReport/FieldValuesGenerator.h ./KivReport/KivReportExport.h ./KivReport/Problem.h ./KivReport/ReportComponent.h \
./KivReport/ReportCreator.h ./KivReport/ReportCreatorHtml.h ./KivReport/ReportCreatorPowerPoint.h \
./KivReport/ReportCreatorWord.h ./KivReport/Repository.h ./KivReport/Snapshot.h ./KivReport/Table.h \
./LibCore/lfwRef.h ./host/core/KivImage.h ./host/core/KivInstance.h ./host/core/KivRefCountedObject.h \
./host/core/KivStr.h ./host/core/KivVersion.h "
[ "$headers" = "$expected" ] || fail "installed headers differ from the public ones: $headers"

# libKivReport exports the public classes of kiv::rep and the string and image
# classes they hand over, nothing else.
lib=$(ls "$prefix"/lib/libKivReport.so.*.*.* | head -n 1)
if nm -D --defined-only "$lib" | c++filt | awk '$2 ~ /^[TtWwVvDdBbRr]$/ {$1 = ""; $2 = ""; print}' |
    grep -v -E '^ *(typeinfo( name)? for |vtable for |VTT for |construction vtable for |(non-)?virtual thunk to )?(kiv::rep::|kiv::Str::|kiv::Image::|kiv::Image$)' |
    grep -v -E '^ *(_init|_fini|KIVREPORT_[0-9A-Z_.]*)$'; then
  fail "libKivReport exports symbols other than the public classes (listed above)"
fi

# A model file for the consumer: an Mdlx file of one case, as the toolkit writes them.
/usr/bin/python3 - "$work/model.mdlx" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("mdlx.id", "MDLX 1\n")
    z.writestr("cases/0/case.txt", "id=1\nname=Load case 1")
    z.writestr("cases/0/model.bin", b"\x01\x02\x03" * 100, compress_type=zipfile.ZIP_DEFLATED)
PY

cmake -S "$here" -B "$work/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-consumer" >/dev/null
env -u LD_LIBRARY_PATH "$work/cmake-consumer/consumer" "$work/model.mdlx"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
c++ -std=c++17 -o "$work/pkg-config-consumer" "$here/main.cpp" $(pkg-config --cflags --libs kivreport) \
  -Wl,-rpath,"$(pkg-config --variable=libdir kivreport)"
env -u LD_LIBRARY_PATH "$work/pkg-config-consumer" "$work/model.mdlx"

if [ -x "$prefix/bin/kivreport" ]; then
  env -u LD_LIBRARY_PATH "$prefix/bin/kivreport" --version
  [ -f "$prefix/share/man/man1/kivreport.1" ] || fail "no manual page"
  [ -f "$prefix/share/bash-completion/completions/kivreport" ] || fail "no bash completion"
fi
if [ -d "$prefix/lib/python3/dist-packages/kivreport" ]; then
  (cd "$work" && PYTHONPATH="$prefix/lib/python3/dist-packages" /usr/bin/python3 -c \
    'import kivreport; assert kivreport.__file__.startswith("'"$prefix"'/"); print("kivreport", kivreport.__version__)')
fi
echo "check-package: the installed package is complete and works"
