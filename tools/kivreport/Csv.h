#pragma once
// Comma-separated tables as spreadsheets write them (RFC 4180): fields in double
// quotes may hold commas, line breaks and doubled quotes. Debian has no C++ CSV
// library, and the format is small enough that a strict parser here is simpler
// than pulling one in by hand.
#include <string>
#include <vector>

namespace kivcli {

typedef std::vector<std::vector<std::string>> CsvRows;

// Parses UTF-8 text. Records end in CRLF or LF; a final line break is optional;
// a leading byte-order mark is skipped. Every record must have as many fields as
// the first. On failure returns false and sets *error to a one-line text that
// names the line ("line 3: ...").
bool parseCsv(const std::string& text, CsvRows* rows, std::string* error);

// The text parseCsv reads back to the same rows: CRLF after every record, fields
// quoted when they hold a comma, a quote, a line break, or when they are the only,
// empty field of a record (which would otherwise be a blank line).
std::string writeCsv(const CsvRows& rows);

}  // namespace kivcli
