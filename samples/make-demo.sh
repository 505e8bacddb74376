#!/usr/bin/env bash
# Makes the sample report with a built tree: generates the sample pictures and
# models, builds the sample repository from data/manifest.json and generates
# templates/report.html, the Word template templates/report-docx and the
# PowerPoint template templates/report-pptx from it.
# Usage: samples/make-demo.sh BUILD_DIR OUT_DIR
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "Usage: $0 BUILD_DIR OUT_DIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
kivreport="$build/tools/kivreport"

# The manifest names its files relative to itself: gather them in one folder.
input="$out/sample-input"
rm -rf "$input"
mkdir -p "$input"
cp "$here"/data/* "$input"/
"$build/samples/make_sample_images" "$input"

"$kivreport" repo create "$out/sample.kivrep" --from "$input/manifest.json"
"$kivreport" validate --repo "$out/sample.kivrep" --template "$here/templates/report.html" >"$out/validation.txt"
# There is no online 3D viewer for the sample models: show their preview pictures.
"$kivreport" generate --repo "$out/sample.kivrep" --template "$here/templates/report.html" \
  --out "$out/report.html" --no-3d-viewer
# The same repository in a Word report (the template is a tree zipped by the build).
"$kivreport" validate --repo "$out/sample.kivrep" --template "$build/samples/report-template.docx" \
  >"$out/validation-docx.txt" || true
"$kivreport" generate --repo "$out/sample.kivrep" --template "$build/samples/report-template.docx" \
  --out "$out/report.docx" --no-3d-viewer
# And in a PowerPoint report (the template is a tree zipped by the build as well).
"$kivreport" validate --repo "$out/sample.kivrep" --template "$build/samples/report-template.pptx" \
  >"$out/validation-pptx.txt" || true
"$kivreport" generate --repo "$out/sample.kivrep" --template "$build/samples/report-template.pptx" \
  --out "$out/report.pptx" --no-3d-viewer
# A Word document typed in LibreOffice Writer: its text markers become tagged controls.
"$kivreport" template controls "$build/samples/report-writer.docx" "$out/report-writer-template.docx"
"$kivreport" generate --repo "$out/sample.kivrep" --template "$out/report-writer-template.docx" \
  --out "$out/report-writer.docx" --no-3d-viewer
echo "Sample report: $out/report.html"
echo "Sample Word report: $out/report.docx"
echo "Sample PowerPoint report: $out/report.pptx"
echo "Sample report from a LibreOffice template: $out/report-writer.docx"
