#include "tools/kivreport/Csv.h"

namespace kivcli {

namespace {

std::string lineText(size_t line) { return "line " + std::to_string(line) + ": "; }

bool isLineBreakAt(const std::string& text, size_t i) {
    return i < text.size() && (text[i] == '\n' || (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'));
}

}  // namespace

bool parseCsv(const std::string& text, CsvRows* rows, std::string* error) {
    rows->clear();
    const size_t n = text.size();
    size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    size_t line = 1;

    while (i < n) {
        const size_t recordLine = line;
        std::vector<std::string> record;
        for (;;) {
            std::string field;
            if (i < n && text[i] == '"') {
                const size_t quoteLine = line;
                ++i;
                for (;;) {
                    if (i >= n) {
                        *error = lineText(quoteLine) + "quoted field is not closed";
                        return false;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < n && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n') ++line;
                    field += text[i++];
                }
                if (i < n && text[i] != ',' && !isLineBreakAt(text, i)) {
                    *error = lineText(line) + "unexpected text after a closing quote";
                    return false;
                }
            } else {
                while (i < n && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
                    if (text[i] == '"') {
                        *error = lineText(line) + "quote inside a field that does not start with a quote";
                        return false;
                    }
                    field += text[i++];
                }
                if (i < n && text[i] == '\r' && !isLineBreakAt(text, i)) {
                    *error = lineText(line) + "carriage return that does not end the line";
                    return false;
                }
            }
            record.push_back(std::move(field));
            if (i < n && text[i] == ',') {
                ++i;  // another field follows, empty when the text ends here
                continue;
            }
            if (i < n) {
                i += text[i] == '\r' ? 2 : 1;
                ++line;
            }
            break;
        }
        if (!rows->empty() && record.size() != rows->front().size()) {
            *error = lineText(recordLine) + "record has " + std::to_string(record.size()) + " fields, the first has " +
                     std::to_string(rows->front().size());
            return false;
        }
        rows->push_back(std::move(record));
    }
    return true;
}

std::string writeCsv(const CsvRows& rows) {
    std::string out;
    for (const std::vector<std::string>& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            if (c) out += ',';
            const std::string& f = row[c];
            const bool quote = f.find_first_of(",\"\r\n") != std::string::npos || (row.size() == 1 && f.empty());
            if (!quote) {
                out += f;
                continue;
            }
            out += '"';
            for (char ch : f) {
                if (ch == '"') out += '"';
                out += ch;
            }
            out += '"';
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace kivcli
