#include "impl/common/FieldMacros.h"
#include "LibCore/lfwString.h"
#include "LibCore/lfwText.h"
#include "impl/common/HostText.h"

namespace kiv {
namespace rep {

namespace {

const size_t npos = std::string::npos;

void appendEscaped(std::string* out, std::string_view value) {
    for (char c : value) {
        switch (c) {
        case '&': out->append("&amp;"); break;
        case '<': out->append("&lt;"); break;
        case '>': out->append("&gt;"); break;
        case '"': out->append("&quot;"); break;
        case '\n': out->append("<br>"); break;
        default: out->push_back(c);
        }
    }
}

// Field values are caller data (a repository file may hold anything): a value
// can name later keys, so nested values could double the text per key, and many
// distinct unknown macros make the clean-up pass over the text again and again.
// Expansion stops, with a logged error, before the text would grow past
// FieldMacros::MAX_EXPANDED_LENGTH characters or the passes would read more than
// MAX_EXPANSION_WORK bytes in all.
const size_t MAX_EXPANSION_WORK = size_t(1) << 30;

size_t countOccurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t p = text.find(part); p != npos; p = text.find(part, p + part.size())) ++n;
    return n;
}

}  // namespace

std::vector<std::string> FieldMacros::getKeysFromFieldValues(const FieldValues& fieldValues) {
    std::vector<std::string> keys;
    keys.reserve(fieldValues.size());
    for (const auto& kv : fieldValues) keys.push_back(toUtf8(kv.first));
    return keys;
}

std::vector<std::string> FieldMacros::getValuesFromFieldValues(const FieldValues& fieldValues) {
    std::vector<std::string> values;
    values.reserve(fieldValues.size());
    for (const auto& kv : fieldValues) values.push_back(toUtf8(kv.second));
    return values;
}

bool FieldMacros::getFieldValue(const FieldValues& fieldValues, const std::string& key, std::string* value) {
    auto it = fieldValues.find(toStr(key));
    if (it == fieldValues.end()) return false;
    if (value) *value = toUtf8(it->second);
    return true;
}

std::string FieldMacros::escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendEscaped(&out, text);
    return out;
}

void FieldMacros::expandString(const FieldValues& fieldValues, std::string* text, Problems* problems) {
    expandString(fieldValues, text, FieldMacros::MAX_EXPANDED_LENGTH, problems);
}

bool FieldMacros::expandString(const FieldValues& fieldValues, std::string* text, size_t maxLength, Problems* problems,
                               ValueText values) {
    const auto refuse = [problems](std::string message) {
        if (problems) problems->error(ProblemCode::TooLarge, std::move(message));
        return false;
    };
    if (!text) return true;
    if (maxLength > FieldMacros::MAX_EXPANDED_LENGTH) maxLength = FieldMacros::MAX_EXPANDED_LENGTH;
    size_t work = 0;
    auto withinBudget = [&]() {
        work += text->size();
        if (work <= MAX_EXPANSION_WORK) return true;
        return refuse("Field value macros need too much work; the remaining macros are not expanded");
    };

    // Every key in order, each replaced everywhere: a value that names a later
    // key is expanded again by that key's turn.
    for (const auto& kv : fieldValues) {
        if (text->find("$(") == npos) return true;  // nothing left that a key or the clean-up could change
        const std::string macro = "$(" + toUtf8(kv.first) + ")";
        const size_t count = countOccurrences(*text, macro);
        if (count == 0) continue;
        std::string value = toUtf8(kv.second);
        if (values == ValueText::Html) {
            value = escapeHtml(value);
        } else if (values == ValueText::Markup) {
            std::string escaped;
            escaped.reserve(value.size());
            for (char c : value) {
                if (c == '\n') escaped.push_back(c);  // a line break of the runs
                else appendEscaped(&escaped, std::string_view(&c, 1));
            }
            value = std::move(escaped);
        }
        const size_t valueLength = lfw::text::codePoints(value), macroLength = lfw::text::codePoints(macro);
        const size_t grown = valueLength > macroLength ? count * (valueLength - macroLength) : 0;
        if (lfw::text::codePoints(*text) + grown > maxLength) {
            return refuse(lfw::String("Field values expand beyond %1 characters; the remaining macros are not expanded")
                              .arg(static_cast<long long>(maxLength))
                              .toStdString());
        }
        lfw::text::replaceAll(*text, macro, value);
        if (!withinBudget()) return false;
    }

    // Macros without a field value become "N/A", one name at a time from the
    // start, until a blank name or a "$(" without ")".
    for (;;) {
        const size_t open = text->find("$(");
        if (open == npos) return true;
        const size_t close = text->find(')', open + 2);
        if (close == npos) return true;
        const std::string name = text->substr(open + 2, close - open - 2);
        if (lfw::text::isBlank(name)) return true;
        lfw::text::replaceAll(*text, "$(" + name + ")", "N/A");
        if (!withinBudget()) return false;
    }
}

}  // namespace rep
}  // namespace kiv
