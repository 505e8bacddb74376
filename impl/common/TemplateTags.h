#pragma once
// Tag names of the templates: generic tags, the snapshot number a tag names,
// field-value macros checked against snapshots, and the separator lines of the
// validation and summary texts. Stateless.
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "impl/storage/Problems.h"
#include <string>
#include <string_view>
#include <vector>

namespace kiv {
namespace rep {

class TemplateTags {
public:
    TemplateTags() = delete;

    // Separator lines of the template texts: validation reports use 36 dashes and a
    // line feed, summaries 33 (sections) and 35 (field values) with CR LF.
    static constexpr const char* VALIDATION_SEPARATOR = "------------------------------------\n";
    static constexpr const char* SUMMARY_SEPARATOR = "---------------------------------\r\n";
    static constexpr const char* SUMMARY_FIELD_SEPARATOR = "-----------------------------------\r\n";

    // "SIT_..." or "REF_SIT_..." (case-sensitive).
    static bool isTagGeneric(std::string_view tag);
    // The snapshot number of "SIT<n>_..." or "REF_SIT<n>_...": n is decimal digits
    // only, up to the first "_". -1 when there is none, when anything else stands
    // there (SIT1a_, SIT1.5_, SIT 1_) or when it exceeds INT_MAX. The one parser
    // of tag numbers: filling, validation and summaries all read them with it.
    static int getTagIndex(std::string_view tag);
    // What a field-macro tag (SIT3_$KEY, SIT_$KEY, REF_SIT3_$KEY, REF_SIT_$KEY)
    // finds among snapshots: the one check of field macros behind every format's
    // validation, which words the verdict its own way.
    struct FieldMacroCheck {
        enum Verdict {
            OTHER_SIDE,          // a REF_ tag in the main pass, or the other way round
            BAD_SYNTAX,          // neither SIT<n>_$KEY nor SIT_$KEY
            NO_SNAPSHOT,         // numbered, and no snapshot has that number
            MISSING_EVERYWHERE,  // generic, and no snapshot has the key
            MISSING_SOMEWHERE,   // generic, and some snapshots lack the key
            UNKNOWN_FIELD,       // numbered, and that snapshot lacks the key
            FOUND
        };
        Verdict verdict = BAD_SYNTAX;
        int number = 0;  // 0 for a generic tag
        bool generic = false;
        std::string key;
    };
    static FieldMacroCheck checkFieldMacro(std::string_view tag, const lfw::Collection<const Snapshot>& snapshots,
                                           bool reference);
};

}  // namespace rep
}  // namespace kiv
