#pragma once
// Field values and the "$(KEY)" macros that take them into template texts. Stateless.
// Texts are UTF-8; lengths given as characters count code points.
#include "host/core/KivStr.h"
#include "impl/storage/Problems.h"
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kiv {
namespace rep {

typedef std::map<Str, Str> FieldValues;

class FieldMacros {
public:
    FieldMacros() = delete;

    // Keys and values in key order; position i of one belongs to position i of the other.
    static std::vector<std::string> getKeysFromFieldValues(const FieldValues& fieldValues);
    static std::vector<std::string> getValuesFromFieldValues(const FieldValues& fieldValues);
    // False, with *value untouched, when the key is absent.
    static bool getFieldValue(const FieldValues& fieldValues, const std::string& key, std::string* value);

    // "&", "<", ">", "\"" as entities and a line feed as "<br>".
    static std::string escapeHtml(std::string_view text);
    // How a field value takes the place of its macro: HTML-escaped with line feeds
    // as "<br>" (HTML pages); escaped with line feeds kept, in marked-up text that
    // becomes Office runs (the runs read the entities back); or as written, in
    // plain Office text.
    enum class ValueText { Html, Markup, Plain };
    // Replaces each "$(KEY)" by the escaped value of KEY, keys taken in order (a
    // value may name later keys), then every other "$(NAME)" by "N/A" until a
    // blank name or a "$(" without ")" is met. Linear in the length of the result.
    // Macros left unexpanded by the limits below are reported to the list given
    // (none: not reported).
    static void expandString(const FieldValues& fieldValues, std::string* text, Problems* problems);
    // Characters a text may grow to by expansion.
    static constexpr size_t MAX_EXPANDED_LENGTH = size_t(1) << 24;
    // The same, growing the text to at most maxLength characters; false when
    // that limit (or the work limit) left macros unexpanded.
    static bool expandString(const FieldValues& fieldValues, std::string* text, size_t maxLength, Problems* problems,
                             ValueText values = ValueText::Html);
};

}  // namespace rep
}  // namespace kiv
