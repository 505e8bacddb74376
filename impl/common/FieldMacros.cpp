#include "impl/common/FieldMacros.h"
#include "LibCore/lfwString.h"
#include <string>
#include <string_view>

namespace kiv {
namespace rep {

namespace {

typedef std::wstring_view WView;
const size_t npos = std::wstring::npos;

void appendEscaped(std::wstring* out, WView value) {
    for (wchar_t c : value) {
        switch (c) {
        case L'&': out->append(L"&amp;"); break;
        case L'<': out->append(L"&lt;"); break;
        case L'>': out->append(L"&gt;"); break;
        case L'"': out->append(L"&quot;"); break;
        case L'\n': out->append(L"<br>"); break;
        default: out->push_back(c);
        }
    }
}

// Field values are caller data (a repository file may hold anything): a value
// can name later keys, so nested values could double the text per key, and many
// distinct unknown macros make the clean-up pass over the text again and again.
// Expansion stops, with a logged error, before the text would grow past
// FieldMacros::MAX_EXPANDED_LENGTH characters or the passes would read more than
// MAX_EXPANSION_WORK characters in all.
const size_t MAX_EXPANSION_WORK = size_t(1) << 30;

size_t countOccurrences(const std::wstring& text, const std::wstring& part) {
    size_t n = 0;
    for (size_t p = text.find(part); p != npos; p = text.find(part, p + part.size())) ++n;
    return n;
}

}  // namespace

MkStringArray FieldMacros::getKeysFromFieldValues(const FieldValues& fieldValues) {
    MkStringArray keys;
    keys.Std().reserve(fieldValues.size());
    for (const auto& kv : fieldValues) keys.Std().emplace_back(kv.first.toStdWString());
    return keys;
}

MkStringArray FieldMacros::getValuesFromFieldValues(const FieldValues& fieldValues) {
    MkStringArray values;
    values.Std().reserve(fieldValues.size());
    for (const auto& kv : fieldValues) values.Std().emplace_back(kv.second.toStdWString());
    return values;
}

bool FieldMacros::getFieldValue(const FieldValues& fieldValues, const MkString& key, MkString* value) {
    auto it = fieldValues.find(Str(key.Std()));
    if (it == fieldValues.end()) return false;
    if (value) *value = MkString(it->second.toStdWString());
    return true;
}

MkString FieldMacros::escapeHtml(const MkString& text) {
    std::wstring out;
    out.reserve(text.Std().size());
    appendEscaped(&out, text.Std());
    return MkString(std::move(out));
}

void FieldMacros::expandString(const FieldValues& fieldValues, MkString* text, Problems* problems) {
    expandString(fieldValues, text, FieldMacros::MAX_EXPANDED_LENGTH, problems);
}

bool FieldMacros::expandString(const FieldValues& fieldValues, MkString* text, size_t maxLength, Problems* problems,
                               ValueText values) {
    const auto refuse = [problems](std::string message) {
        if (problems) problems->error(ProblemCode::TooLarge, std::move(message));
        return false;
    };
    if (!text) return true;
    if (maxLength > FieldMacros::MAX_EXPANDED_LENGTH) maxLength = FieldMacros::MAX_EXPANDED_LENGTH;
    size_t work = 0;
    auto withinBudget = [&]() {
        work += text->Std().size();
        if (work <= MAX_EXPANSION_WORK) return true;
        return refuse("Field value macros need too much work; the remaining macros are not expanded");
    };

    // Every key in order, each replaced everywhere: a value that names a later
    // key is expanded again by that key's turn.
    for (const auto& kv : fieldValues) {
        if (text->Find(MkString(L"$(")) < 0) return true;  // nothing left that a key or the clean-up could change
        const std::wstring macro = L"$(" + kv.first.toStdWString() + L")";
        const size_t count = countOccurrences(text->Std(), macro);
        if (count == 0) continue;
        MkString value(kv.second.toStdWString());
        if (values == ValueText::Html) {
            value = escapeHtml(value);
        } else if (values == ValueText::Markup) {
            std::wstring escaped;
            escaped.reserve(value.Std().size());
            for (wchar_t c : value.Std()) {
                if (c == L'\n') escaped.push_back(c);  // a line break of the runs
                else appendEscaped(&escaped, WView(&c, 1));
            }
            value = MkString(std::move(escaped));
        }
        const size_t grown =
            static_cast<size_t>(value.Length()) > macro.size() ? count * (static_cast<size_t>(value.Length()) - macro.size()) : 0;
        if (text->Std().size() + grown > maxLength) {
            return refuse(lfw::String("Field values expand beyond %1 characters; the remaining macros are not expanded")
                              .arg(static_cast<long long>(maxLength))
                              .toStdString());
        }
        text->Replace(MkString(macro), value);
        if (!withinBudget()) return false;
    }

    // Macros without a field value become "N/A", one name at a time from the
    // start, until a blank name or a "$(" without ")".
    for (;;) {
        const int open = text->Find(MkString(L"$("));
        if (open < 0) return true;
        const int close = text->Find(L')', open + 2);
        if (close < 0) return true;
        const MkString name = text->Mid(open + 2, close - open - 2);
        if (name.IsBlank()) return true;
        text->Replace(MkString(L"$(") + name + MkString(L")"), MkString(L"N/A"));
        if (!withinBudget()) return false;
    }
}

}  // namespace rep
}  // namespace kiv
