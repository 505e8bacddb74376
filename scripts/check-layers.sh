#!/usr/bin/env bash
# Fails when a file includes a header of a layer above its own, or of a layer
# beside it that it does not build on. Run by CTest (test "include_layers").
# Layers, bottom up:
#   LibCore, host/core, host/ug,
#   include/KivReport (the public headers, on host/core only),
#   impl/storage (on the public headers for the kinds of problem), impl/common (the report model),
#   impl/html | impl/openxml, impl/pptx | impl/docx (above openxml),
#   the creators in KivReport/ (with their private *_p.h),
#   tools (and the Python module beside them).
# The build checks the same: each layer sees only its own and lower layers'
# folders (cmake/KivLayers.cmake).
set -euo pipefail
cd "$(dirname "$0")/.."

# The layer of a file, or of an included name. Both the public headers
# (include/KivReport/X.h) and the creators' private ones (KivReport/X_p.h) are
# included as "KivReport/X.h"; the name is the public header's when there is one.
layer() {
  local f=$1
  if [[ "$f" == KivReport/* ]] && [ -f "include/$f" ]; then
    f=include/$f
  fi
  case "$f" in
    include/KivReport/*) echo api ;;
    LibCore/*) echo lfw ;;
    host/core/*) echo core ;;
    host/ug/*) echo ug ;;
    impl/storage/*) echo storage ;;
    impl/common/*) echo common ;;
    impl/html/*) echo html ;;
    impl/openxml/*) echo openxml ;;
    impl/pptx/*) echo pptx ;;
    impl/docx/*) echo docx ;;
    KivReport/*) echo creators ;;
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
    api) echo "lfw core api" ;;
    storage) echo "lfw core ug api storage" ;;
    common) echo "lfw core ug api storage common" ;;
    html) echo "lfw core ug api storage common html" ;;
    openxml) echo "lfw core ug api storage common openxml" ;;
    pptx) echo "lfw core ug api storage common openxml pptx" ;;
    docx) echo "lfw core ug api storage common openxml docx" ;;
    creators) echo "lfw core ug api storage common html openxml pptx docx creators" ;;
    tools) echo "lfw core ug api tools" ;;  # public classes and host types only
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
    # The tool may use the public headers, never the creators' private ones.
    if [ "$own" = tools ] && [ "$l" = creators ]; then
      echo "layer violation: $file includes private $inc"
      status=1
      continue
    fi
    if [[ "$ok" != *" $l "* ]]; then
      echo "layer violation: $file ($own) includes $inc ($l)"
      status=1
    fi
  done < <(grep -hoE '^#include "[^"]+"' "$file" | sed -E 's/#include "(.*)"/\1/')
done < <(git ls-files --cached --others --exclude-standard 'LibCore/*' 'host/*' 'include/*' 'impl/*' 'KivReport/*' 'tools/*' 'python/*' | grep -E '\.(h|cpp)$')

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
check_links include/CMakeLists.txt KivUnstructGrid KivStorage KivModel KivHtml KivOpenXml KivPptx KivDocx KivCreators KivReport
check_links impl/storage/CMakeLists.txt KivModel KivHtml KivOpenXml KivPptx KivDocx KivCreators KivReport
check_links impl/common/CMakeLists.txt KivHtml KivOpenXml KivPptx KivDocx KivCreators KivReport
check_links impl/html/CMakeLists.txt KivOpenXml KivPptx KivDocx KivCreators KivReport
check_links impl/openxml/CMakeLists.txt KivHtml KivPptx KivDocx KivCreators KivReport
check_links impl/pptx/CMakeLists.txt KivHtml KivDocx KivCreators KivReport
check_links impl/docx/CMakeLists.txt KivHtml KivPptx KivCreators KivReport

[ $status -eq 0 ] && echo "include layers: ok"
exit $status
