#pragma once
// The texts of summarize (and the parts of validate every format shares),
// written from a template's scan: one writer for every format, which words a
// few things its own way.
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "impl/common/TemplateScan.h"
#include <functional>
#include <string>
#include <vector>

namespace kiv {
namespace rep {

class Table;

// The formats whose texts differ in their words.
enum class TextDialect { Html, PowerPoint, Word };

namespace TemplateTexts {

// What summarize says of a template: its generic groups (or slides), the
// snapshots its numbered tags show, its field values and its charts' kinds.
std::string summary(const TemplateScan& scan, TextDialect dialect);

// A validation section: the header line, the separator, the lines and a blank line.
void section(std::string& report, const char* header, const std::string& lines);

// The field-value tags checked, in order, against the snapshots of their side
// (the main or the reference repository; a side given no snapshots is not
// checked): unknown fields and bad names go to `unknownFields`, tags that will
// not be replaced to `warnings`.
void checkFields(const TemplateScan& scan, const lfw::Collection<const Snapshot>* main,
                 const lfw::Collection<const Snapshot>* reference, TextDialect dialect, std::string& unknownFields,
                 std::string& warnings);

// "Snapshot <n> not used." for each snapshot of one side that no tag shows.
// `selected` are the positions generic tags repeat over. A Word snapshot is
// shown by a numbered tag outside groups that fits its type, or by any generic
// tag when selected; a PowerPoint one by any numbered tag, or when selected by a
// generic tag that fits its type.
std::string unusedSnapshots(const TemplateScan& scan, const lfw::Collection<const Snapshot>& snapshots,
                            const std::vector<int>& selected, bool reference, TextDialect dialect);

// What validation reads besides the scan.
struct ValidationInput {
    const lfw::Collection<const Snapshot>* main = nullptr;       // not empty
    const lfw::Collection<const Snapshot>* reference = nullptr;  // empty without a reference repository
    bool referenceGiven = false;  // a reference repository was given (PowerPoint: even an empty one)
    std::vector<int> selected;    // the positions generic tags repeat over
    // Whether the charts of a tag can be filled from the table (null: from some
    // table); false with the reason, in the words generate uses.
    std::function<bool(const std::string& tag, const Table* table, std::string* why)> chartFits;
};

// What validate says of a Word template, with whether it passed.
bool wordValidation(const TemplateScan& scan, const ValidationInput& input, std::string& report);
// One pass of the validation of a PowerPoint template, against the main or the
// reference repository; the reference pass appends to the main one's text.
bool slideValidation(const TemplateScan& scan, const ValidationInput& input, bool referencePass, std::string& report);

// One pass of the validation of an HTML template whose groups are repeated
// (its scan then holds each tag name once): its tags against one side's
// snapshots, appended to report. True when it found nothing to say.
bool htmlValidationPass(const TemplateScan& scan, const lfw::Collection<const Snapshot>& snapshots, bool reference,
                        std::string& report);
// What validate says of an HTML template: `pass` runs htmlValidationPass on the
// template once its groups are repeated over a side's snapshots (false when
// they cannot be: `unrolled` tells), for the main and then the reference side.
struct HtmlPasses {
    std::function<bool(bool reference, std::string& text)> pass;
    std::function<bool()> unrolled;
    std::function<bool()> referenceTags;  // the template, its groups repeated, holds "REF_SIT" tags
};
bool htmlValidation(const ValidationInput& input, const HtmlPasses& passes, std::string& report);

// The notice of "REF_" tags that no reference repository fills.
extern const char* const REFERENCE_TAGS_WITHOUT_REPOSITORY;

}  // namespace TemplateTexts
}  // namespace rep
}  // namespace kiv
