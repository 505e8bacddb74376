#pragma once
// The HTML template processor: finds the report's custom elements by plain
// text search, unrolls generic groups, fills snapshot tags, writes the JPEG
// files the pictures refer to and saves the result.
//
// Elements:
//   <orvrepsit name="TAG">content</orvrepsit>   one snapshot tag
//   <orvrepgroup ...>content</orvrepgroup>      repeated once per selected snapshot
// Matching is by exact, case-sensitive text: the opening tag is a prefix match
// ("<orvrepsit"), and the first closing tag ends an element (no nesting).
//
// The text is held as the file's bytes, UTF-8, and positions are byte offsets
// (npos: none). The markup searched for is ASCII, which never occurs inside the
// encoding of another character, so a byte search finds what a character search
// would; bytes that are not UTF-8 are carried along untouched.
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "host/core/KivStr.h"
#include "LibCore/lfwStagedFiles.h"
#include "impl/common/ReportBudget.h"
#include "impl/common/TemplateScan.h"
#include "impl/storage/XmlDocument.h"
#include "impl/storage/Problems.h"
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kiv {
class Image;

namespace rep {

// Kind of an orvrepsit tag; also the outcome of filling a 3D-model tag.
enum HtmlTagType {
    HTML_TAG_UNKNOWN = -1,
    HTML_TAG_TITLE = 0,
    HTML_TAG_TEXT = 1,
    HTML_TAG_PICTURE = 2,  // as a result: the tag now shows a picture
    HTML_TAG_MDLX = 3,     // as a result: the tag now shows the online 3D viewer
    HTML_TAG_TABLE = 4,
    HTML_TAG_MACRO = 6  // field-value macro: the kind begins with "$"
};

class HtmlDocument {
public:
    typedef lfw::Collection<const Snapshot> Snapshots;
    static constexpr size_t npos = std::string::npos;

    explicit HtmlDocument(const Str& path);
    HtmlDocument(const HtmlDocument&) = delete;
    HtmlDocument& operator=(const HtmlDocument&) = delete;
    // Where the document, its budget and the pictures it writes report problems:
    // the list given, or the document's own.
    void reportTo(Problems* problems) {
        m_problems = problems ? problems : &m_own;
        m_budget.reportTo(m_problems);
    }
    Problems& problems() const { return *m_problems; }

    // Reads the file byte for byte; bytes that are not UTF-8 survive a later save().
    // False, content unchanged, when the file cannot be read.
    bool open();
    // Writes the content to the path (created or truncated), or to the save path
    // when one is set.
    bool save();
    // Where save() writes instead of the path; picture names and their folder
    // still follow the path.
    void setSavePath(const Str& savePath) { m_savePath = savePath; }
    // Pictures are then written under temporary names through `staged`, to be
    // moved beside the report together with it, instead of directly.
    void setStagedOutput(lfw::StagedFiles* staged) { m_staged = staged; }
    // Names of the snapshots whose picture could not be made (a model preview
    // that cannot be read or exceeds the memory budget); each was logged.
    const std::vector<std::string>& leftOutSnapshots() const { return m_leftOut; }
    const std::string& getDocumentContent() const { return m_content; }
    void setDocumentContent(const std::string& content) { m_content = content; }
    void setDocumentContent(std::string&& content) { m_content = std::move(content); }

    // The name of every orvrepsit element, document order, duplicates removed.
    bool getSitTagNames(std::vector<std::string>& names) const;
    bool hasRefTags() const;

    // Repeats the content of every orvrepgroup element once per accepted entry
    // of indices, renumbering its tags; runs once per document.
    bool unrollGroups(const Snapshots& snapshots, const std::vector<int>& indices, int use3dPlugin);
    bool groupsUnrolled() const { return m_groupsUnrolled; }
    // Unrolls the groups, fills every tag and saves.
    bool updateDocumentContent(const Snapshots& snapshots, const Snapshots& referenceSnapshots, const std::vector<int>& indices,
                               bool use3dPlugin);

    // --- validation ---
    // One validation pass: the groups repeated (once), then the tags checked
    // against one side's snapshots; appends its sections to report. True when
    // it appended nothing.
    bool validateDocument(const Snapshots& snapshots, const std::vector<int>& indices, bool isReference, std::string& report);

    // --- scanning and editing helpers ---
    // Element from "<tag" to the first "</tag>" after it; start/end (one past) or npos.
    static std::string getEntireElement(std::string_view text, std::string_view tag, size_t from, size_t* start, size_t* end);
    // The helpers below report to the list given (none: not reported).
    // Text between the opening and the closing tag; start/end are its first and
    // last index (end = start-1 when empty), npos with a reported error when missing.
    static std::string getElementContent(std::string_view text, std::string_view tag, size_t from, size_t* start, size_t* end,
                                         Problems* problems);
    static size_t findEndBracket(std::string_view text, std::string_view tag, size_t from, Problems* problems);
    static bool replaceSubString(std::string& text, size_t from, size_t to, std::string_view replacement);
    static std::string findSitName(std::string_view element);
    static HtmlTagType findSitTypeFromName(std::string_view name);
    // The tags of a template read as XML, as summaries read it: each orvrepsit in
    // document order, in the innermost orvrepgroup around it.
    static TemplateScan scanXml(const XmlElement& root);
    // The tags of the text as it is (each name once, in order), as validation reads them.
    TemplateScan scan() const;
    static int findSituationIndexFromName(std::string_view name);
    // Replaces the double-quoted value of the first attribute `attribute="..."` at or after from.
    static bool replaceAttribute(std::string& text, size_t from, std::string_view attribute, std::string_view value,
                                 Problems* problems);
    static bool replaceAttributeStyleInt(std::string& text, size_t from, std::string_view property, int value,
                                         Problems* problems);
    static bool getSizeFromTag(std::string_view tag, int& height, int& width);
    static int findIntAttributeStyle(std::string_view tag, std::string_view property);
    static int findIntAttribute(std::string_view tag, std::string_view attribute);
    static bool updateSizeAttributesOfTag(std::string& tag, int imageHeight, int imageWidth, Problems* problems);

    // --- tag filling (snapshotIndex is 0-based) ---
    bool setImage(std::string& element, int snapshotIndex, const Image* image, bool isReference);
    HtmlTagType setMdlx(std::string& element, int snapshotIndex, const Snapshot* snapshot, bool isReference);
    HtmlTagType replaceMdlx(std::string& element, int snapshotIndex, const Snapshot* snapshot, bool isReference);
    static bool setTable(std::string& element, const Snapshot* snapshot);

    // Name of the JPEG file of a snapshot picture, without directory: "<base>_SIT3-1.jpg".
    std::string imageFileName(int snapshotIndex, bool isReference) const;

private:
    // Appends one renumbered copy of the group's content per accepted index to out;
    // reserves room for them and for `following` more bytes.
    bool unrollGenericTagsInGroup(std::string_view group, const Snapshots& snapshots, const std::vector<int>& indices,
                                  int use3dPlugin, size_t following, std::string* out);
    // The new text of one orvrepsit element; false when it stays as it is.
    bool fillElement(std::string_view element, const Snapshots& snapshots, const Snapshots& referenceSnapshots, int limit,
                     bool use3dPlugin, std::string* filled);

    // The picture of an image or model snapshot (a model's preview, within the
    // budget); null, noting the snapshot as left out, when a preview fails.
    PtrRef<Image> pictureOf(const Snapshot* snapshot);

    bool m_groupsUnrolled = false;
    lfw::StagedFiles* m_staged = nullptr;
    Problems m_own;
    Problems* m_problems = &m_own;  // where the document and its budget report
    ReportBudget m_budget;
    bool m_writeFailed = false;  // a picture could not be written
    std::vector<std::string> m_leftOut;
    std::vector<std::string> m_savedImages;
    std::unordered_set<std::string> m_savedImageSet;  // lookup into m_savedImages
    Str m_path;
    Str m_savePath;
    std::string m_baseName;
    std::string m_directory;  // folder of the document, with its separator; the pictures go there
    std::string m_content;
};

}  // namespace rep
}  // namespace kiv
