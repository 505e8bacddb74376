#include "impl/common/TextRuns.h"
#include "LibCore/lfwString.h"
#include <string>
#include <vector>

namespace kiv {
namespace rep {

namespace {

const size_t npos = std::wstring::npos;

}  // namespace

namespace {

bool isLineEnd(wchar_t c) { return c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f'; }

// The character an entity at text[at] ("&amp;", "&#60;", "&#x3C;") stands for,
// with its length; 0 when there is none there.
wchar_t entityAt(const std::wstring& text, size_t at, size_t* length) {
    static const struct {
        const wchar_t* name;
        wchar_t c;
    } named[] = {{L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&apos;", L'\''}};
    for (const auto& n : named) {
        const size_t size = std::char_traits<wchar_t>::length(n.name);
        if (text.compare(at, size, n.name) == 0) {
            *length = size;
            return n.c;
        }
    }
    if (text.compare(at, 2, L"&#") != 0) return 0;
    const bool hex = at + 2 < text.size() && (text[at + 2] == L'x' || text[at + 2] == L'X');
    size_t i = at + (hex ? 3 : 2);
    unsigned long code = 0;
    const size_t first = i;
    for (; i < text.size() && i - first < 8; ++i) {
        const wchar_t c = text[i];
        int digit = -1;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if (hex && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        else if (hex && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        if (digit < 0) break;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    if (i == first || i >= text.size() || text[i] != L';' || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    *length = i + 1 - at;
    return static_cast<wchar_t>(code);
}

// Appends a run's text as runs of its own flags, its line ends as line breaks
// and, when decode is set, its entities read back. An empty text stays one run.
void appendOfficeText(const FormattedText& run, const std::wstring& text, bool decode, std::vector<FormattedText>* out) {
    FormattedText flags = run;  // without the text, which each piece replaces
    flags.text = MkString();
    std::wstring piece;
    bool any = false;
    auto flush = [&]() {
        if (piece.empty()) return;
        out->push_back(flags);
        out->back().text = MkString(std::move(piece));
        piece.clear();
        any = true;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        // Characters without a meaning of their own go in at once.
        size_t plain = i;
        while (plain < text.size() && !isLineEnd(text[plain]) && !(decode && text[plain] == L'&')) ++plain;
        if (plain > i) {
            piece.append(text, i, plain - i);
            i = plain - 1;
            continue;
        }
        const wchar_t c = text[i];
        size_t length = 0;
        if (isLineEnd(c)) {
            flush();
            if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
            out->emplace_back();
            out->back().lineBreak = true;
            any = true;
        } else if (decode && c == L'&' && entityAt(text, i, &length) != 0) {
            piece.push_back(entityAt(text, i, &length));
            i += length - 1;
        } else {
            piece.push_back(c);
        }
    }
    flush();
    if (!any) {
        out->push_back(flags);
        out->back().text = MkString();
    }
}

void appendRuns(std::vector<FormattedText>* made, FormattedTextArray* runs, Problems* problems) {
    if (made->empty()) return;
    const int first = runs->GetSize();
    if (made->size() > static_cast<size_t>(INT_MAX - first) || !runs->SetSize(first + static_cast<int>(made->size()))) {
        if (problems)
            problems->error(
                ProblemCode::TooLarge,
                lfw::String("Too many formatted text runs (%1)").arg(static_cast<long long>(made->size())).toStdString());
        return;
    }
    for (size_t i = 0; i < made->size(); ++i) (*runs)[first + static_cast<int>(i)] = std::move((*made)[i]);
}

}  // namespace

void TextRuns::convertHtmlToFormattedTextArray(const MkString& text, FormattedTextArray* runs, Problems* problems) {
    if (!runs) return;
    const std::wstring& s = text.Std();
    // Collected first and moved in with one resize: the array grows by at most
    // 1024 elements at a time, so appending run by run would copy it over and over.
    std::vector<FormattedText> made;
    bool bold = false, italic = false, underline = false, breakPending = false;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t open = s.find(L'<', pos);
        size_t close = open == npos ? npos : s.find(L'>', open + 1);
        if (close == npos) open = npos;  // a "<" that no ">" closes is plain text
        if (breakPending) {
            made.emplace_back();
            made.back().newParagraph = true;
            breakPending = false;
        }
        made.emplace_back();
        FormattedText& run = made.back();
        run.bold = bold;
        run.italic = italic;
        run.underline = underline;
        run.text = MkString(s.substr(pos, open == npos ? npos : open - pos));
        if (open == npos) break;

        MkString tag(s.substr(open + 1, close - open - 1));
        tag.Trim().ToLower();
        const std::wstring& t = tag.Std();
        if (t == L"b") bold = true;
        else if (t == L"/b") bold = false;
        else if (t == L"i") italic = true;
        else if (t == L"/i") italic = false;
        else if (t == L"u") underline = true;
        else if (t == L"/u") underline = false;
        else if (t == L"br" || t == L"br/" || t == L"br /") breakPending = true;
        pos = close + 1;
    }
    appendRuns(&made, runs, problems);
}

void TextRuns::convertMarkupToOfficeRuns(const MkString& text, FormattedTextArray* runs, Problems* problems) {
    if (!runs) return;
    FormattedTextArray marked;
    convertHtmlToFormattedTextArray(text, &marked, problems);
    std::vector<FormattedText> made;
    made.reserve(static_cast<size_t>(marked.GetSize()));
    for (const FormattedText& run : marked) {
        if (run.newParagraph) made.push_back(run);
        else appendOfficeText(run, run.text.Std(), true, &made);
    }
    appendRuns(&made, runs, problems);
}

void TextRuns::convertPlainToOfficeRuns(const MkString& text, FormattedTextArray* runs, Problems* problems) {
    if (!runs) return;
    std::vector<FormattedText> made;
    appendOfficeText(FormattedText(), text.Std(), false, &made);
    appendRuns(&made, runs, problems);
}

}  // namespace rep
}  // namespace kiv
