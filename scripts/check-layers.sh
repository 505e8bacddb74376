#!/usr/bin/env bash
# Fails when a file includes a header of a layer above its own, or of a layer
# beside it that it does not build on. Run by CTest (test "include_layers").
# Layers, bottom up:
#   LibCore, host/core, host/ug,
#   impl/storage, impl/common (the report model; its public headers are in KivReport/),
#   impl/html | impl/openxml, impl/pptx | impl/docx (above openxml),
#   the creators in KivReport/, tools (and the Python module beside them).
set -euo pipefail
cd "$(dirname "$0")/.."

# The report model's public headers in KivReport/ belong to the common layer.
# The build checks the same: each layer sees only its own and lower layers'
# folders (cmake/KivLayers.cmake).
model_files=" Snapshot Table Repository ReportComponent FieldValuesGenerator KivReportExport "

layer() {
  local f=$1
  case "$f" in
    LibCore/*) echo lfw ;;
    host/core/*) echo core ;;
    host/ug/*) echo ug ;;
    impl/storage/*) echo storage ;;
    impl/common/*) echo common ;;
    impl/html/*) echo html ;;
    impl/openxml/*) echo openxml ;;
    impl/pptx/*) echo pptx ;;
    impl/docx/*) echo docx ;;
    KivReport/*)
      local base
      base=$(basename "$f"); base=${base%.*}
      if [[ "$model_files" == *" $base "* ]]; then echo common; else echo creators; fi ;;
    tools/*|python/*) echo tools ;;
    impl/*) echo stray ;;
    *) echo none ;;
  esac
}

# What each layer may include: itself and the layers listed.
allowed() {
  case "$1" in
    lfw) echo "lfw" ;;
    core) echo "lfw core" ;;
    ug) echo "lfw core ug" ;;
    storage) echo "lfw core ug storage" ;;
    common) echo "lfw core ug storage common" ;;
    html) echo "lfw core ug storage common html" ;;
    openxml) echo "lfw core ug storage common openxml" ;;
    pptx) echo "lfw core ug storage common openxml pptx" ;;
    docx) echo "lfw core ug storage common openxml docx" ;;
    creators) echo "lfw core ug storage common html openxml pptx docx creators" ;;
    tools) echo "lfw core ug common tools" ;;  # public classes and host types only
  esac
}

status=0
while IFS= read -r file; do
  own=$(layer "$file")
  if [ "$own" = stray ]; then
    echo "layer violation: $file is in impl/ but in no layer folder"
    status=1
    continue
  fi
  [ "$own" = none ] && continue
  ok=" $(allowed "$own") "
  while IFS= read -r inc; do
    l=$(layer "$inc")
    [ "$l" = none ] && continue
    # The tool may use the public headers of KivReport/, never its private ones.
    if [ "$own" = tools ] && [[ "$inc" == KivReport/* ]]; then
      [[ "$inc" == *_p.h ]] && { echo "layer violation: $file includes private $inc"; status=1; }
      continue
    fi
    if [[ "$ok" != *" $l "* ]]; then
      echo "layer violation: $file ($own) includes $inc ($l)"
      status=1
    fi
  done < <(grep -hoE '^#include "[^"]+"' "$file" | sed -E 's/#include "(.*)"/\1/')
done < <(git ls-files --cached --others --exclude-standard 'LibCore/*' 'host/*' 'impl/*' 'KivReport/*' 'tools/*' 'python/*' | grep -E '\.(h|cpp)$')

# Linking follows the same order: a layer's CMakeLists links only the targets below it.
check_links() {
  local cm=$1; shift
  [ -f "$cm" ] || return 0
  for bad in "$@"; do
    if grep -qE "target_link_libraries\([^)]*\b$bad\b" "$cm"; then
      echo "layer violation: $cm links $bad"
      status=1
    fi
  done
}
check_links impl/storage/CMakeLists.txt KivModel KivHtml KivOpenXml KivPptx KivDocx KivCreators KivReport
check_links impl/common/CMakeLists.txt KivHtml KivOpenXml KivPptx KivDocx KivCreators KivReport
check_links impl/html/CMakeLists.txt KivOpenXml KivPptx KivDocx KivCreators KivReport
check_links impl/openxml/CMakeLists.txt KivHtml KivPptx KivDocx KivCreators KivReport
check_links impl/pptx/CMakeLists.txt KivHtml KivDocx KivCreators KivReport
check_links impl/docx/CMakeLists.txt KivHtml KivPptx KivCreators KivReport

[ $status -eq 0 ] && echo "include layers: ok"
exit $status
