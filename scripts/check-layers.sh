#!/usr/bin/env bash
# Fails when a file includes a header of a layer above its own.
# Layers, bottom up: LibCore, host/core, host/ug, impl + KivReport (the component), tools.
set -euo pipefail
cd "$(dirname "$0")/.."
rank() {
  case "$1" in
    LibCore/*) echo 0 ;;
    host/core/*) echo 1 ;;
    host/ug/*) echo 2 ;;
    impl/*|KivReport/*) echo 3 ;;
    tools/*) echo 4 ;;
    *) echo 9 ;;
  esac
}
status=0
while IFS= read -r file; do
  own=$(rank "$file")
  [ "$own" = 9 ] && continue
  while IFS= read -r inc; do
    r=$(rank "$inc")
    [ "$r" = 9 ] && continue
    if [ "$r" -gt "$own" ]; then
      echo "layer violation: $file includes $inc"
      status=1
    fi
  done < <(grep -hoE '^#include "[^"]+"' "$file" | sed -E 's/#include "(.*)"/\1/')
done < <(git ls-files 'LibCore/*' 'host/*' 'impl/*' 'KivReport/*' 'tools/*' | grep -E '\.(h|cpp)$')
# The storage layers of impl/ must not depend on the report model.
for f in impl/MkOXmlDocument.* impl/PxZipArchive.* impl/MkOArray.h; do
  [ -f "$f" ] || continue
  if grep -qE '^#include "KivReport/' "$f"; then
    echo "layer violation: $f (storage) includes the report model"
    status=1
  fi
done
[ $status -eq 0 ] && echo "include layers: ok"
exit $status
