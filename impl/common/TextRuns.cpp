#include "impl/common/TextRuns.h"
#include "LibCore/lfwText.h"
#include <string>
#include <vector>

namespace kiv {
namespace rep {

namespace {

const size_t npos = std::string_view::npos;

bool isLineEnd(char c) { return c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Appends a code point as UTF-8.
void appendCodePoint(std::string* out, unsigned long code) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The character an entity at text[at] ("&amp;", "&#60;", "&#x3C;") stands for,
// with its length; 0 when there is none there.
unsigned long entityAt(std::string_view text, size_t at, size_t* length) {
    static const struct {
        std::string_view name;
        char c;
    } named[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& n : named) {
        if (text.compare(at, n.name.size(), n.name) == 0) {
            *length = n.name.size();
            return static_cast<unsigned long>(n.c);
        }
    }
    if (text.compare(at, 2, "&#") != 0) return 0;
    const bool hex = at + 2 < text.size() && (text[at + 2] == 'x' || text[at + 2] == 'X');
    size_t i = at + (hex ? 3 : 2);
    unsigned long code = 0;
    const size_t first = i;
    for (; i < text.size() && i - first < 8; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) break;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    if (i == first || i >= text.size() || text[i] != ';' || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    *length = i + 1 - at;
    return code;
}

// Appends a run's text as runs of its own flags, its line ends as line breaks
// and, when decode is set, its entities read back. An empty text stays one run.
void appendOfficeText(const FormattedText& run, std::string_view text, bool decode, FormattedTextArray* out) {
    FormattedText flags = run;  // without the text, which each piece replaces
    flags.text.clear();
    std::string piece;
    bool any = false;
    auto flush = [&]() {
        if (piece.empty()) return;
        out->push_back(flags);
        out->back().text = std::move(piece);
        piece.clear();
        any = true;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        // Characters without a meaning of their own go in at once.
        size_t plain = i;
        while (plain < text.size() && !isLineEnd(text[plain]) && !(decode && text[plain] == '&')) ++plain;
        if (plain > i) {
            piece.append(text.substr(i, plain - i));
            i = plain - 1;
            continue;
        }
        const char c = text[i];
        size_t length = 0;
        if (isLineEnd(c)) {
            flush();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out->emplace_back();
            out->back().lineBreak = true;
            any = true;
        } else if (decode && c == '&' && entityAt(text, i, &length) != 0) {
            appendCodePoint(&piece, entityAt(text, i, &length));
            i += length - 1;
        } else {
            piece.push_back(c);
        }
    }
    flush();
    if (!any) out->push_back(flags);
}

}  // namespace

void TextRuns::convertHtmlToFormattedTextArray(std::string_view s, FormattedTextArray* runs) {
    if (!runs) return;
    bool bold = false, italic = false, underline = false, breakPending = false;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t open = s.find('<', pos);
        size_t close = open == npos ? npos : s.find('>', open + 1);
        if (close == npos) open = npos;  // a "<" that no ">" closes is plain text
        if (breakPending) {
            runs->emplace_back();
            runs->back().newParagraph = true;
            breakPending = false;
        }
        runs->emplace_back();
        FormattedText& run = runs->back();
        run.bold = bold;
        run.italic = italic;
        run.underline = underline;
        run.text = std::string(s.substr(pos, open == npos ? npos : open - pos));
        if (open == npos) break;

        const std::string t = lfw::text::lowerAscii(std::string(lfw::text::trimmed(s.substr(open + 1, close - open - 1))));
        if (t == "b") bold = true;
        else if (t == "/b") bold = false;
        else if (t == "i") italic = true;
        else if (t == "/i") italic = false;
        else if (t == "u") underline = true;
        else if (t == "/u") underline = false;
        else if (t == "br" || t == "br/" || t == "br /") breakPending = true;
        pos = close + 1;
    }
}

void TextRuns::convertMarkupToOfficeRuns(std::string_view text, FormattedTextArray* runs) {
    if (!runs) return;
    FormattedTextArray marked;
    convertHtmlToFormattedTextArray(text, &marked);
    runs->reserve(runs->size() + marked.size());
    for (const FormattedText& run : marked) {
        if (run.newParagraph) runs->push_back(run);
        else appendOfficeText(run, run.text, true, runs);
    }
}

void TextRuns::convertPlainToOfficeRuns(std::string_view text, FormattedTextArray* runs) {
    if (!runs) return;
    appendOfficeText(FormattedText(), text, false, runs);
}

}  // namespace rep
}  // namespace kiv
