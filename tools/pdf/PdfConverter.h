#pragma once
// PDF copies of finished reports: PowerPoint and Word reports through LibreOffice
// in headless mode, HTML reports through headless Chromium's print to PDF. Each
// conversion runs in a temporary folder of its own (with its own LibreOffice
// profile or Chromium user data), within a time limit, and the PDF replaces an
// earlier one only once it is complete. Shared by the kivreport tool and the
// Python module.
//
// The converters are the programs found on PATH, or the ones the environment
// names: KIVREPORT_SOFFICE (LibreOffice, for PowerPoint and Word reports) and
// KIVREPORT_CHROMIUM (HTML reports). A variable that names no program makes
// the conversion fail with an error naming the variable and its value.
#include <string>
#include <vector>

namespace kivpdf {

enum class ReportKind { Html, PowerPoint, Word };

const int kDefaultTimeoutSeconds = 180;

// "out/report.docx" -> "out/report.pdf"; a name without extension gets ".pdf"
// appended.
std::string pdfPathFor(const std::string& reportPath);

// The Debian package that provides the converter of that kind of report
// ("libreoffice-impress", "libreoffice-writer", "chromium").
const char* converterPackage(ReportKind kind);

// An empty string when the converter of that kind is installed (found on PATH
// or named by its variable and, for LibreOffice, with the component the kind
// needs); otherwise the one line that says which Debian package is missing, or
// that the variable names no program.
std::string missingConverter(ReportKind kind);

// One line for each font the report asks for that this machine lacks, which the
// PDF shows in another font ("the report uses the font 'Calibri', which is not
// installed: the PDF shows 'Carlito' in its place"). Installed means what
// fontconfig, which both converters use, finds. PowerPoint and Word reports: the
// Latin fonts of their text, styles and themes; HTML reports: the font-family
// lists none of whose families is installed or generic. Empty for a report that
// cannot be read.
std::vector<std::string> missingFontWarnings(ReportKind kind, const std::string& reportPath);

// Converts reportPath to pdfPath. A converter that has not finished after
// timeoutSeconds is stopped with all of its processes. On failure returns false
// with one line in *error (without the path of the PDF), and an existing file
// at pdfPath is left as it was: also when the converter failed, or the PDF it
// made lacks its end-of-file marker or does not read with pdfinfo (when that is
// installed).
bool convertToPdf(ReportKind kind, const std::string& reportPath, const std::string& pdfPath, int timeoutSeconds,
                  std::string* error);

}  // namespace kivpdf
