#pragma once
// Tag names, field-value macros, formatted runs and small file helpers shared
// by all report formats. Stateless.
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "host/core/KivStr.h"
#include "host/ug/MkArray.h"
#include "host/ug/MkString.h"
#include "impl/common/MkFormattedText.h"
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kiv {
class Image;
namespace ug {
class MdlxMemoryFile;
}

namespace rep {

typedef std::map<Str, Str> FieldValues;

// What one report may spend on content it expands from its repositories: text
// grown by field-value macros and unrolled groups, and table markup, counted in
// characters; preview pictures inflated and decoded, counted in bytes over the
// whole report. Charged before the memory is taken; a report that runs out of
// either fails.
class ReportBudget {
public:
    static constexpr uint64_t DEFAULT_BYTES = uint64_t(4) << 30;
    static constexpr uint64_t DEFAULT_CHARACTERS = uint64_t(128) << 20;
    explicit ReportBudget(uint64_t bytes = DEFAULT_BYTES, uint64_t characters = DEFAULT_CHARACTERS)
        : m_left(bytes), m_charactersLeft(characters) {}
    // False, with nothing spent, when fewer are left; the first refusal logs an error.
    bool spend(uint64_t bytes);
    bool spendText(uint64_t characters);
    // Gives back memory that was charged for a while only (a decoder's working
    // memory once the picture is decoded).
    void refund(uint64_t bytes) { m_left += bytes; }
    uint64_t left() const { return m_left; }
    uint64_t charactersLeft() const { return m_charactersLeft; }
    bool exhausted() const { return m_exhausted; }

private:
    bool refuse();
    uint64_t m_left;
    uint64_t m_charactersLeft;
    bool m_exhausted = false;
};

class Utils {
public:
    Utils() = delete;

    // Separator lines of the template texts: validation reports use 36 dashes and a
    // line feed, summaries 33 (sections) and 35 (field values) with CR LF.
    static constexpr const wchar_t* VALIDATION_SEPARATOR = L"------------------------------------\n";
    static constexpr const wchar_t* SUMMARY_SEPARATOR = L"---------------------------------\r\n";
    static constexpr const wchar_t* SUMMARY_FIELD_SEPARATOR = L"-----------------------------------\r\n";

    // "SIT_..." or "REF_SIT_..." (case-sensitive).
    static bool isTagGeneric(const MkString& tag);
    // The snapshot number of "SIT<n>_..." or "REF_SIT<n>_...": n is decimal digits
    // only, up to the first "_". -1 when there is none, when anything else stands
    // there (SIT1a_, SIT1.5_, SIT 1_) or when it exceeds INT_MAX. The one parser
    // of tag numbers: filling, validation and summaries all read them with it.
    static int getTagIndex(const MkString& tag);
    // Sorts the positions `indices` of `snapshots` by the snapshot's type, in order.
    // Positions outside the collection are skipped with a logged error.
    static void getSituationTypeIndices(const lfw::Collection<const Snapshot>& snapshots, const MkIntArray& indices,
                                        MkIntArray* imageIndices, MkIntArray* tableIndices, MkIntArray* modelIndices);

    // Keys and values in key order; position i of one belongs to position i of the other.
    static MkStringArray getKeysFromFieldValues(const FieldValues& fieldValues);
    static MkStringArray getValuesFromFieldValues(const FieldValues& fieldValues);
    // False, with *value untouched, when the key is absent.
    static bool getFieldValue(const FieldValues& fieldValues, const MkString& key, MkString* value);

    // "&", "<", ">", "\"" as entities and a line feed as "<br>".
    static MkString escapeHtml(const MkString& text);
    // How a field value takes the place of its macro: HTML-escaped with line feeds
    // as "<br>" (HTML pages); escaped with line feeds kept, in marked-up text that
    // becomes Office runs (the runs read the entities back); or as written, in
    // plain Office text.
    enum class ValueText { Html, Markup, Plain };
    // Replaces each "$(KEY)" by the escaped value of KEY, keys taken in order (a
    // value may name later keys), then every other "$(NAME)" by "N/A" until a
    // blank name or a "$(" without ")" is met. Linear in the length of the result.
    static void expandString(const FieldValues& fieldValues, MkString* text);
    // Characters a text may grow to by expansion.
    static constexpr size_t MAX_EXPANDED_LENGTH = size_t(1) << 24;
    // The same, growing the text to at most maxLength characters; false when
    // that limit (or the work limit) left macros unexpanded.
    static bool expandString(const FieldValues& fieldValues, MkString* text, size_t maxLength,
                             ValueText values = ValueText::Html);
    // Appends the runs of text marked up with <b>, <i>, <u> (and their closing
    // tags) and <br>; other tags are dropped, a "<" without ">" is text.
    static void convertHtmlToFormattedTextArray(const MkString& text, MkFormattedTextArray* runs);
    // Office text. The runs of marked-up text as above, whose texts then read
    // as written: entities (&amp; &lt; &gt; &quot; &apos; and numeric ones) are
    // decoded and line ends (LF, CR LF, CR, vertical tab, form feed) become
    // line-break runs. The runs of plain text: its line ends as line breaks.
    static void convertMarkupToOfficeRuns(const MkString& text, MkFormattedTextArray* runs);
    static void convertPlainToOfficeRuns(const MkString& text, MkFormattedTextArray* runs);

    // The preview image stored with the model's first case, as a new image with
    // no reference taken (the caller owns it), or null.
    static Image* snapshotFromMemoryFile(const ug::MdlxMemoryFile* model);
    // The same, charging the stored preview's declared size and its decode to the
    // budget before either happens; a preview larger than the budget's rest (or
    // than 256 MiB) is not read. Null with a logged error when the model holds
    // no readable preview.
    static Image* snapshotFromMemoryFile(const ug::MdlxMemoryFile* model, ReportBudget* budget);
    // Writes the image as a JPEG file; on failure logs, returns false and leaves no file.
    static bool saveImageAsJpeg(const Image* image, const MkString& fileName);
    // The JPEG bytes of an image: those it was decoded from when it still holds
    // them, else a new encoding. False, with the error logged, for an empty image.
    static bool jpegBytesOf(const Image* image, std::vector<unsigned char>* jpeg);

    // Byte copy of a regular file; on failure logs, returns false and leaves no destination.
    static bool copy(const Str& source, const Str& destination);
    static bool copyTemplateToOutputFile(const MkString& templatePath, const MkString& outputPath);

    static Str tempPath();
    // Files are written completely beside their target and then moved over it, so
    // that a failed write leaves the previous file as it was.
    // createTemporaryBeside makes a new empty file in target's folder with a name
    // no other file has; false when the folder does not let us create one.
    // The first call for a folder also removes the stale temporaries there.
    static bool createTemporaryBeside(const std::string& target, std::string* tempPath);
    // A temporary of ours in the folder (given with its trailing "/", or empty for
    // the current one) that nothing writes any more: named as createTemporaryBeside
    // names them, a regular file, its process gone and unchanged for a day.
    static bool isStaleTemporary(const std::string& folder, const std::string& name);
    static void removeStaleTemporaries(const std::string& folder);
    // Moves temp over target, keeping target's permissions; on failure logs the
    // error and removes temp.
    static bool replaceWithTemporary(const std::string& temp, const std::string& target);
    static bool exists(const MkString& path);  // can be opened for reading
    static void remove(const MkString& path);
    static MkString pathSeparator();
};

} // namespace rep
} // namespace kiv
