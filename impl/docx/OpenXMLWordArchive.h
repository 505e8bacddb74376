#pragma once
// The Word package editor: the package of a report opened once, its document
// part parsed once and edited in memory by the document operations
// (OpenXMLWordDocument.h), and the package completed around them — media and
// relationships of pictures, preview images, viewer-control parts, chart parts —
// and written once by Save. What the edits leave unused (a placeholder picture,
// a viewer control's part, a chart of a group without copies) is not written.
//
// The headers, footers, footnotes and endnotes the document relates hold tags
// too: the content operations fill their controls as the body's, and a picture
// there is related from its own part. Groups and 3D viewers are the body's alone.
//
// No operation logs; results and Error() tell failures.
#include "impl/docx/OpenXMLWordDocument.h"
#include "impl/openxml/OpenXMLPackageEditor.h"
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kiv {
namespace rep {

// A picture to store: the caller's bytes, valid during the call, and a name that
// stands for its file (ending in its extension); a name is stored once.
struct OpenXMLPicture {
    std::string name;
    const void* data = nullptr;
    size_t size = 0;
    int width = 0;
    int height = 0;
};

class WordTableText;
class WordRunsText;

// A header, footer, footnotes or endnotes part of the document.
struct WordStory {
    OpenXMLPart* part = nullptr;
    const char* kind = "";                          // "header", "footer", "footnotes" or "endnotes"
    const OpenXMLWordDocument* document = nullptr;  // the part's, as read
};

class OpenXMLWordArchive : public OpenXMLPackageEditor {
public:
    OpenXMLWordArchive();
    ~OpenXMLWordArchive() override;

    // Opens a Word package and parses its document part for the operations below
    // (the white space of text kept; large body content nothing fills kept as
    // text). False, with Error() naming the part and what is wrong, when the
    // package or its document part cannot be read.
    bool open(const std::string& path) override;
    // Writes the report (OpenXMLPackageEditor::Save), letting go first of what
    // only the editing needed.
    bool save(const std::string& path) override;
    // The filling is done: the document part is kept as its text, printed as
    // the package writes it (the tree goes as the text is made); the report is
    // then written from its text. Nothing in the document can be edited after.
    void keepFilledContentAsText();
    // The document part as parsed and edited; null when none is open.
    OpenXMLWordDocument* document() const { return m_document; }

    // The headers, footers and notes parts the document relates, each once, in
    // the order of its relationships. A part that is not well-formed XML is left
    // out: the report holds it as the template does.
    const std::vector<WordStory>& stories();
    // Where a tag of a header, footer or notes part lies, in words: "the header word/header1.xml".
    std::string placeOf(const std::string& part);

    // --- tags and groups ---
    // The tags of the document part, then those of each of its Stories (tagged
    // with the part's name).
    void getDocumentContent(WordDocumentContent& content);
    // Those tags and the groups of the document's body, as validation and
    // summaries read them; withCharts adds the kinds of each chart tag's charts.
    TemplateScan scan(const WordDocumentContent& content, bool withCharts);
    // Groups inside groups, and groups in headers, footers or notes: no report
    // can repeat them. A line each, in the words generate refuses the template with.
    std::vector<std::string> nestedGroups();
    std::vector<std::string> groupsOutsideBody();
    // The names of those tags by kind, found through the indexes the content
    // operations use: what filling needs, at a fraction of a scan's cost.
    void getTagNames(WordTagNames* names);
    bool expandGroup(const std::vector<int>& snapshotIndices, const std::string& tagName);

    // --- content ---
    bool setText(const std::string& tagName, const FormattedTextArray& runs);
    bool setTable(const std::string& tagName, const Table& table);
    bool setAllMacros(const std::vector<std::string>& names, const std::vector<FormattedTextArray>& texts);
    // Puts the picture into the picture controls of tagName, or, with inMdlxControl,
    // replaces the 3D-viewer controls named tagName by picture controls tagged newTagName.
    // The picture is related as "rId<tag>" (and its hyperlink as "rId<tag>_C").
    bool setImage(const std::string& tagName, const OpenXMLPicture& picture, bool inMdlxControl, const std::string& newTagName,
                  const std::string& hyperlink);
    // Points the 3D-viewer control tagName at a model (a file path, or the
    // reference of an embedded model), with a new preview picture when given.
    // A model file beside the report is named by its file name.
    bool setMdlx(const std::string& tagName, const std::string& modelPath, const OpenXMLPicture* preview);
    // Fills the charts of the controls tagName; a chart the table cannot fill fails
    // with the reason in *why (OpenXMLPackageEditor::updateChart).
    bool setChart(const std::string& tagName, const ChartData& data, std::string* why = nullptr);
    // The chart parts of the controls tagName, in document order, then those of
    // the Stories; *allFound, when given, false when a chart names no part.
    std::vector<OpenXMLPart*> getChartParts(const std::string& tagName, bool* allFound = nullptr);
    // Gives every chart reference of the document its own chart part.
    bool syncCharts();

private:
    // The controls index for the editing operations (built when missing).
    const WordControlIndex* index();
    // Whether editing the content of these controls removes controls inside
    // them: the index must then be built again after the edit.
    bool holdsControls(const std::string& tagName);
    // The contents of the controls kept as text made elements again, to be filled.
    void makeElements(const XmlElementList& controls);
    // Runs an edit of the controls tagName on elements: their contents made
    // elements first and kept as text again after, when they can be.
    void editAsElements(const std::string& tagName, const std::function<void()>& edit);
    // Fills the tables of the controls (those of a tag) whose contents are all
    // kept as text, as text; false, with nothing changed, when some control's
    // content is not such text or its filled table would not be kept as text.
    bool fillTablesAsText(const XmlElementList& controls, const Table& table);
    // Puts the runs into the controls (those of a tag) whose contents (outside
    // paragraphs, around no table row or cell) are all kept as text, as text;
    // false, with nothing changed, otherwise.
    bool fillTextAsText(const XmlElementList& controls, const FormattedTextArray& runs);
    // Runs edit on each of the Stories holding controls of one of the names, the
    // part's document made its content. Those parts are small: they are edited
    // as elements, and their index is built again when an edit may have made it
    // stale. False at the first edit that fails.
    bool editStories(const std::vector<std::string>& tagNames,
                     const std::function<bool(OpenXMLWordDocument&, OpenXMLPart&, const WordControlIndex*)>& edit);
    // Relates the picture from `rels` as "rId<idBase>" (and its hyperlink as
    // "rId<idBase>_C"), storing it once per report.
    bool relatePicture(OpenXMLRelationships* rels, const std::string& idBase, const OpenXMLPicture& picture,
                       const std::string& hyperlink);

    OpenXMLWordDocument* m_document = nullptr;  // owned by the main part
    std::unique_ptr<WordControlIndex> m_index;
    bool m_noGroups = false;  // the document was found to hold no group
    bool m_storiesRead = false;
    std::vector<WordStory> m_stories;
    std::vector<std::unique_ptr<WordControlIndex>> m_storyIndex;                   // by story, built when missing
    std::unordered_map<std::string, std::unique_ptr<XmlDocument>> m_parsed;        // contents kept as text, parsed
    std::unordered_map<std::string, std::unique_ptr<WordTableText>> m_tableTexts;  // by shape and template text
    std::unordered_map<std::string, std::unique_ptr<WordRunsText>> m_runsTexts;    // by content text
    // The entries used last: their keys and pieces.
    std::pair<const std::string*, const WordTableText*> m_lastTable{nullptr, nullptr};
    std::pair<const std::string*, const WordRunsText*> m_lastRuns{nullptr, nullptr};
};

}  // namespace rep
}  // namespace kiv
