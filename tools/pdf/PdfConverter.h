#pragma once
// PDF copies of finished reports: PowerPoint and Word reports through LibreOffice
// in headless mode, HTML reports through headless Chromium's print to PDF. Each
// conversion runs in a temporary folder of its own (with its own LibreOffice
// profile or Chromium user data), within a time limit, and the PDF replaces an
// earlier one only once it is complete. Shared by the kivreport tool and the
// Python module.
#include <string>

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
// and, for LibreOffice, with the component the kind needs); otherwise the one
// line that says which Debian package is missing.
std::string missingConverter(ReportKind kind);

// Converts reportPath to pdfPath. A converter that has not finished after
// timeoutSeconds is stopped with all of its processes. On failure returns false
// with one line in *error (without the path of the PDF), and an existing file
// at pdfPath is left as it was: also when the converter failed, or the PDF it
// made lacks its end-of-file marker or does not read with pdfinfo (when that is
// installed).
bool convertToPdf(ReportKind kind, const std::string& reportPath, const std::string& pdfPath, int timeoutSeconds,
                  std::string* error);

} // namespace kivpdf
