#include "impl/docx/OpenXMLWordArchive.h"
#include "KivReport/Table.h"
#include "LibCore/lfwText.h"
#include "impl/common/HostText.h"
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace kiv {
namespace rep {

namespace {

std::string relationId(const std::string& base, const char* suffix = "") { return "rId" + base + suffix; }

// The folder of a path ("/" or "\" separators), without the trailing separator.
std::string folderOf(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    const size_t last = path.rfind('/');
    return last != std::string::npos ? path.substr(0, last) : std::string();
}

// Content that nothing fills, renumbers or relates holds none of these: no
// control, bookmark, comment, revision mark (its w:author, or a table grid's
// change), picture id or relationship.
const std::vector<std::string>& inertMarkers() {
    static const std::vector<std::string> markers = {
        "<w:sdt",           "<w:control", "<wp:docPr", "<w:bookmark", "<w:comment", "w:author",
        "<w:tblGridChange", " r:",        "\tr:",      "\nr:",        "\rr:"};
    return markers;
}

// Markers made ready for a search: by their first byte, each with its first
// four bytes as a word, so that a byte of the text costs a lookup and a byte
// that may start a marker a few comparisons of words.
class MarkerSet {
public:
    explicit MarkerSet(const std::vector<std::string>& markers) {
        for (const std::string& text : markers) {
            if (text.empty()) continue;
            Marker marker;
            marker.text = text;
            const size_t head = std::min<size_t>(text.size(), 4);
            std::memcpy(&marker.head, text.data(), head);
            std::memset(&marker.mask, 0xFF, head);
            m_byFirst[static_cast<unsigned char>(text[0])].push_back(marker);
        }
    }

    // Whether the text holds one of the markers.
    bool in(const char* text, size_t size) const {
        for (size_t i = 0; i < size; ++i) {
            const std::vector<Marker>& candidates = m_byFirst[static_cast<unsigned char>(text[i])];
            if (candidates.empty()) continue;
            std::uint32_t word = 0;
            std::memcpy(&word, text + i, std::min<size_t>(size - i, 4));
            for (const Marker& marker : candidates)
                if ((word & marker.mask) == marker.head && size - i >= marker.text.size() &&
                    (marker.text.size() <= 4 || std::memcmp(text + i + 4, marker.text.data() + 4, marker.text.size() - 4) == 0))
                    return true;
        }
        return false;
    }

private:
    struct Marker {
        std::string text;
        std::uint32_t head = 0;
        std::uint32_t mask = 0;
    };
    std::vector<Marker> m_byFirst[256];
};

// The markers of content inert outside groups, and in them: what the copies of
// a group rename or renumber beside — macros, the ends of revision ranges,
// fields and links that may name a bookmark of the copy, and note references
// (each copy gets notes of its own).
const MarkerSet& inert(bool inGroup) {
    static const MarkerSet outside(inertMarkers());
    static const MarkerSet inGroups([] {
        std::vector<std::string> markers = inertMarkers();
        for (const char* marker :
             {"$(", "RangeEnd", "<w:fldSimple", "<w:instrText", "w:anchor", "<w:footnoteReference", "<w:endnoteReference"})
            markers.push_back(marker);
        return markers;
    }());
    return inGroup ? inGroups : outside;
}

// Whether the text holds a marker of content that is not inert outside groups.
bool holdsAny(const char* text, size_t size) { return inert(false).in(text, size); }

// Whether filled content printed as `text` is inert (see keepAsText).
bool isInert(const std::string& text, bool inGroup) { return text.size() > 2 && !inert(inGroup).in(text.data(), text.size()); }

// The children of the controls' contents that are inert from now on are kept
// as their text (a node that prints it as it was): a report of many filled
// controls then costs about the size of its text rather than a tree of it.
// A group's controls keep what their copies rename as elements (see isInert).
void keepAsText(const XmlElementList& controls, bool inGroup = false) {
    for (const XmlElement& sdt : controls) {
        TiXmlElement* content = sdt.tx()->FirstChildElement("w:sdtContent");
        for (TiXmlNode* c = content ? content->FirstChild() : nullptr; c;) {
            TiXmlNode* next = c->NextSibling();
            if (c->ToElement()) {
                const std::string text = XmlDocument::printNode(*c);
                if (isInert(text, inGroup)) {
                    TiXmlUnknown asText;
                    asText.SetValue(text.substr(1, text.size() - 2));  // printed between "<" and ">"
                    content->InsertBeforeChild(c, asText);
                    content->RemoveChild(c);
                }
            }
            c = next;
        }
    }
}

// A byte the printer writes as it is in a text.
bool printsAsIs(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x20 && u != '&' && u != '<' && u != '>' && u != '"' && u != '\'' && u != 0xED && u != 0xEF;
}

// Whether a kept node's text is an element of that name ("w:tbl" and its attributes or end).
bool isElementText(const std::string& text, const char* name) {
    const size_t n = std::strlen(name);
    return text.compare(0, n, name) == 0 && text.size() > n && text[n] && std::strchr(" \t\r\n/>", text[n]);
}

const char* const REL_FOOTNOTES = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes";
const char* const REL_ENDNOTES = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/endnotes";
const char* const REL_HEADER = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";
const char* const REL_FOOTER = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer";

// The kind of story part a relationship type of the document names; null for other types.
const char* storyKind(const std::string& type) {
    static const struct {
        const char* type;
        const char* kind;
    } kinds[] = {{REL_HEADER, "header"}, {REL_FOOTER, "footer"}, {REL_FOOTNOTES, "footnotes"}, {REL_ENDNOTES, "endnotes"}};
    for (const auto& k : kinds)
        if (type == k.type) return k.kind;
    return nullptr;
}

std::vector<std::string> one(const std::string& name) { return std::vector<std::string>(1, name); }

// Whether one of the controls holds another control (whose element an edit may replace).
bool holdControls(const XmlElementList& controls) {
    for (const XmlElement& sdt : controls) {
        XmlElementList inner;
        OpenXMLDocument::findAllElements(sdt, "w:sdt", &inner, true, true);
        if (!inner.empty()) return true;
    }
    return false;
}

// Whether an element of that name lies below root, at any depth.
bool holdsElement(const TiXmlElement* root, const char* name) {
    for (const TiXmlElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement())
        if (std::strcmp(c->Value(), name) == 0 || holdsElement(c, name)) return true;
    return false;
}

// The footnotes or the endnotes of a document, as the copies of its groups
// refer to them: the first copy keeps the note it refers to, and each further
// reference to that note gets a copy of it under a new id (a reference is the
// one mark of its note: Word numbers notes by their references).
class NoteCopies {
public:
    NoteCopies(OpenXMLPart* main, const char* reference, const char* type) : m_main(main), m_reference(reference), m_type(type) {}

    void separate(TiXmlElement* root) {
        if (std::strcmp(root->Value(), m_reference) == 0) {
            const char* id = root->Attribute("w:id");
            if (id && !m_shown.insert(id).second) {
                const std::string copy = this->copy(id);
                if (!copy.empty()) root->SetAttribute("w:id", copy);
            }
        }
        for (TiXmlElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement()) separate(c);
    }

private:
    // The id of a new copy of the note; empty when the note is not found.
    std::string copy(const std::string& id) {
        if (!m_read) read();
        auto it = m_notes.find(id);
        if (it == m_notes.end()) return std::string();
        TiXmlElement* copy = m_root->InsertEndChild(*it->second)->ToElement();
        const std::string fresh = std::to_string(++m_largest);
        copy->SetAttribute("w:id", fresh);
        OpenXMLWordDocument::dropParagraphIds(copy);
        return fresh;
    }

    void read() {
        m_read = true;
        OpenXMLRelationships* rels = m_main->rels();
        for (int i = 0; rels && i < rels->count() && !m_root; ++i) {
            if (rels->at(i).type != m_type) continue;
            OpenXMLPart* part = m_main->package().part(&rels->at(i));
            XmlDocument* notes = part ? part->editXml() : nullptr;
            if (notes) part->printCompact();
            m_root = notes ? notes->RootElement() : nullptr;
        }
        for (TiXmlElement* note = m_root ? m_root->FirstChildElement() : nullptr; note; note = note->NextSiblingElement()) {
            long long id = 0;
            const char* text = note->Attribute("w:id");
            if (!text) continue;
            m_notes[text] = note;
            char* end = nullptr;
            id = std::strtoll(text, &end, 10);
            if (end && *end == '\0' && id > m_largest) m_largest = id;
        }
    }

    OpenXMLPart* m_main;
    const char* m_reference;
    const char* m_type;
    std::set<std::string> m_shown;
    bool m_read = false;
    TiXmlElement* m_root = nullptr;
    std::map<std::string, TiXmlElement*> m_notes;
    long long m_largest = 0;
};

}  // namespace

// A table kept as text and filled as text. Its text is filled once as elements
// with a mark in place of each value and printed; the print, cut at the marks,
// gives the pieces that go between the values (rows past the third repeat the
// third's). A value goes in as the printer writes a text, and an empty one
// closes its w:t as the printer closes an element without children.
class WordTableText {
public:
    // False (and Made() false) when the filled template cannot be cut so.
    bool make(const std::string& tableText, int rows, int columns) { return m_made = cut(tableText, rows, columns); }
    bool made() const { return m_made; }

    // The kept text of the table filled with rows x columns values (UTF-8); false
    // when the filled table would not be inert. No marker of inert content spans
    // a value and a piece (the pieces end in ">" and start with "<"), and the
    // pieces hold none: the values' texts tell.
    bool print(int rows, const std::function<std::string(int, int)>& value, std::string* kept) const {
        std::string& out = *kept;
        out.clear();
        out.reserve(m_size / static_cast<size_t>(m_rows) * static_cast<size_t>(rows) +
                    16 * static_cast<size_t>(rows * m_columns));
        size_t skip = 0;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < m_columns; ++c) {
                out.append(m_pieces[std::min(r, m_rows - 1) * m_columns + c], skip, std::string::npos);
                skip = 0;
                const std::string text = value(r, c);
                if (text.empty()) {
                    out.back() = ' ';  // "<w:t ...>" + "</w:t>" print as "<w:t ... />"
                    out += "/>";
                    skip = 6;
                } else if (std::all_of(text.begin(), text.end(), printsAsIs)) {
                    if (holdsAny(text.data(), text.size())) return false;
                    out += text;
                } else {
                    const std::string printed = XmlDocument::printNode(TiXmlText(text));
                    if (holdsAny(printed.data(), printed.size())) return false;
                    out += printed;
                }
            }
        }
        out.append(m_pieces.back(), skip, std::string::npos);
        return true;
    }

private:
    bool cut(const std::string& tableText, int rows, int columns) {
        m_rows = std::min(rows, 3);
        m_columns = columns;
        const int marks = m_rows * columns;
        // The marks are private-use characters the template does not hold.
        if (marks > 0x1000 || tableText.find('\xEE') != std::string::npos) return false;
        XmlDocument parsed;
        parsed.keepWhiteSpaceInText();
        std::string xml = "<" + tableText + ">";
        if (!parsed.parseOwnedText(&xml) || !parsed.RootElement()) return false;
        OpenXMLWordDocument::fillTable(XmlElement(parsed.RootElement()), m_rows, columns,
                                       [columns](int r, int c) { return mark(r * columns + c); });
        const std::string printed = XmlDocument::printNode(*parsed.RootElement());
        if (!isInert(printed, false)) return false;
        size_t from = 1;  // the kept text goes without the first "<" and the last ">"
        for (int k = 0; k < marks; ++k) {
            const std::string mark = WordTableText::mark(k);
            const size_t at = printed.find(mark, from);
            if (at == std::string::npos) return false;
            m_pieces.push_back(printed.substr(from, at - from));
            from = at + mark.size();
        }
        if (printed.size() < from + 1) return false;
        m_pieces.push_back(printed.substr(from, printed.size() - 1 - from));
        m_size = printed.size();
        for (int k = 0; k < marks; ++k)
            if (m_pieces[k].empty() || m_pieces[k].back() != '>' || m_pieces[k + 1].compare(0, 6, "</w:t>") != 0) return false;
        return true;
    }

    static std::string mark(int k) {
        const unsigned code = 0xE000u + static_cast<unsigned>(k);
        std::string mark(3, '\0');
        mark[0] = static_cast<char>(0xE0 | (code >> 12));
        mark[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        mark[2] = static_cast<char>(0x80 | (code & 0x3F));
        return mark;
    }

    bool m_made = false;
    size_t m_size = 0;  // of the print
    int m_rows = 0;
    int m_columns = 0;
    std::vector<std::string> m_pieces;
};

// The content of a control kept as text and filled with runs as text: the
// content is emptied for runs once (OpenXMLWordDocument::clearForRuns), with
// a mark where the runs go, and printed; the runs, printed, go between the two
// pieces. No marker of inert content spans a piece and the runs (these start
// with "<" and end with ">"), and the pieces hold none: the runs tell.
class WordRunsText {
public:
    // contentText: the content's children, printed. False (and Made() false)
    // when the emptied content is not one paragraph, inert, to put runs in.
    bool make(const std::string& contentText) { return m_made = cut(contentText); }
    bool made() const { return m_made; }

    // The kept text of the content (one paragraph) holding the runs; false when
    // it would not be inert or holds no run. Each run is printed as appendRuns
    // makes it: the print of a run of its kind around its text.
    bool print(const FormattedTextArray& runs, std::string* kept) const {
        // The pieces hold no marker of inert content (piecesFor), and none spans a
        // piece and a text: the texts tell.
        std::string& out = *kept;
        out = m_before;
        const size_t start = out.size();
        std::string joinedText;
        for (size_t i = 0; i < runs.size(); ++i) {
            const FormattedText& run = runs[i];
            if (run.newParagraph || run.lineBreak) {
                const RunPieces* pieces = piecesFor(kBreak);
                if (!pieces) return false;
                out += pieces->before;
                continue;
            }
            // A blank run that joins this one makes its text not empty.
            const bool joined = i + 1 < runs.size() && OpenXMLWordDocument::joinsPreviousRun(runs[i + 1].text);
            const bool empty = !joined && run.text.empty();
            if (joined) joinedText = run.text + runs[i + 1].text;
            const std::string& text = joined ? joinedText : run.text;
            if (joined) ++i;
            const unsigned kind = (run.bold ? 1u : 0u) | (run.italic ? 2u : 0u) | (run.underline ? 4u : 0u) |
                                  (run.reserved ? 8u : 0u) | (empty ? kEmpty : 0u);
            const RunPieces* pieces = piecesFor(kind);
            if (!pieces) return false;
            out += pieces->before;
            if (!empty) {
                const size_t at = out.size();
                if (std::all_of(text.begin(), text.end(), printsAsIs)) out += text;
                else out += XmlDocument::printNode(TiXmlText(text));
                if (holdsAny(out.data() + at, out.size() - at)) return false;
            }
            out += pieces->after;
        }
        if (out.size() == start) return false;
        out += m_after;
        return true;
    }

private:
    bool cut(const std::string& contentText) {
        static const std::string mark = "\xEE\x80\x80";
        if (contentText.find('\xEE') != std::string::npos) return false;
        XmlDocument parsed;
        parsed.keepWhiteSpaceInText();
        std::string xml = "<w:sdt><w:sdtContent>" + contentText + "</w:sdtContent></w:sdt>";
        if (!parsed.parseOwnedText(&xml) || !parsed.RootElement()) return false;
        const XmlElement p = OpenXMLWordDocument::clearForRuns(XmlElement(parsed.RootElement()), &m_runProperties);
        TiXmlNode* content = p ? p.tx()->Parent() : nullptr;
        if (!content || std::strcmp(p.tx()->Value(), "w:p") != 0 || content->FirstChild() != p.tx() ||
            content->LastChild() != p.tx())
            return false;
        TiXmlUnknown* place = new TiXmlUnknown;
        place->SetValue(mark);
        p.tx()->LinkEndChild(place);
        const std::string printed = XmlDocument::printNode(*p.tx());
        const size_t at = printed.find("<" + mark + ">");
        if (!isInert(printed, false) || at == std::string::npos) return false;
        m_before = printed.substr(1, at - 1);  // the kept text goes without the first "<" and the last ">"
        m_after = printed.substr(at + mark.size() + 2, printed.size() - at - mark.size() - 3);
        return true;
    }

    // The print of a run of a kind (formatting, empty text, a break), cut where its text goes.
    struct RunPieces {
        bool made = false;
        std::string before, after;
    };
    static const unsigned kEmpty = 16, kBreak = 32, kKinds = 33;

    // Null when the run cannot be cut so.
    const RunPieces* piecesFor(unsigned kind) const {
        std::unique_ptr<RunPieces>& pieces = m_runs[kind];
        if (!pieces) {
            pieces.reset(new RunPieces);
            static const std::string mark = "\xEE\x80\x80";
            FormattedText run;
            run.lineBreak = kind == kBreak;
            if (!run.lineBreak) {
                run.bold = kind & 1u;
                run.italic = kind & 2u;
                run.underline = kind & 4u;
                run.reserved = kind & 8u;
                if (!(kind & kEmpty)) run.text = mark;
            }
            const FormattedTextArray one(1, run);
            TiXmlElement scratch("runs");
            OpenXMLWordDocument::appendRuns(XmlElement(&scratch), one, m_runProperties.get());
            std::string printed;
            for (const TiXmlNode* c = scratch.FirstChild(); c; c = c->NextSibling()) printed += XmlDocument::printNode(*c);
            const size_t at = printed.find(mark);
            if (run.text.empty()) {
                pieces->before = printed;
                pieces->made = at == std::string::npos;
            } else if (at != std::string::npos && printed.find(mark, at + 1) == std::string::npos) {
                pieces->before = printed.substr(0, at);
                pieces->after = printed.substr(at + mark.size());
                pieces->made = true;
            }
            pieces->made = pieces->made && !holdsAny(pieces->before.data(), pieces->before.size()) &&
                           !holdsAny(pieces->after.data(), pieces->after.size());
        }
        return pieces->made ? pieces.get() : nullptr;
    }

    bool m_made = false;
    std::string m_before, m_after;
    std::unique_ptr<TiXmlElement> m_runProperties;
    mutable std::unique_ptr<RunPieces> m_runs[kKinds];
};

OpenXMLWordArchive::OpenXMLWordArchive() {
    // A report repeats its groups: the fastest deflate level takes a fraction of
    // the default's time for a few per cent more bytes.
    package().setCompressionLevel(1);
    // Parts are read as Word documents: headers, footers and notes are scanned
    // and filled as the body is.
    package().setXmlMaker([](const std::string&) { return std::unique_ptr<XmlDocument>(new OpenXMLWordDocument); });
}
OpenXMLWordArchive::~OpenXMLWordArchive() = default;

bool OpenXMLWordArchive::open(const std::string& path) {
    m_document = nullptr;
    m_noGroups = false;
    m_index.reset();
    m_storiesRead = false;
    m_stories.clear();
    m_storyIndex.clear();
    if (!OpenXMLPackageEditor::open(path)) {
        if (m_package.isOpen()) fail("The package has no document part word/document.xml");
        return false;
    }
    const std::string part = m_main->name();
    std::string text;
    if (!m_main->readBytes(&text)) return fail("The document part " + part + " cannot be read");
    std::unique_ptr<OpenXMLWordDocument> document(new OpenXMLWordDocument);
    document->keepWhiteSpaceInText();
    // Large content of the body that is inert stays text: a long table costs its size.
    document->keepChildrenAsText("w:body", inertMarkers(), 1024);
    if (!document->parseOwnedText(&text, xmlBudget())) {
        std::string why;
        if (document->refusedCost() > 0)
            why = lfw::text::format(
                "The part '%s' holds more XML than the report has memory left for (%llu bytes for more than "
                "%llu elements); it is not read",
                part.c_str(), static_cast<unsigned long long>(document->refusedCost()),
                static_cast<unsigned long long>(document->elements()));
        else why = lfw::text::format("The document part %s is not well-formed XML (%s)", part.c_str(), document->ErrorDesc());
        m_main = nullptr;
        return fail(why);
    }
    m_document = document.get();
    m_main->setXml(std::move(document));
    // White space between elements means nothing to Word, and a large report would be mostly indentation.
    m_main->printCompact();
    return true;
}

bool OpenXMLWordArchive::save(const std::string& path) {
    m_index.reset();
    for (auto& index : m_storyIndex) index.reset();
    m_parsed.clear();
    m_tableTexts.clear();
    m_runsTexts.clear();
    m_lastTable = {nullptr, nullptr};
    m_lastRuns = {nullptr, nullptr};
    return OpenXMLPackageEditor::save(path);
}

void OpenXMLWordArchive::keepFilledContentAsText() {
    TiXmlElement* body = m_document ? m_document->getBody().tx() : nullptr;
    if (!body || !body->FirstChild()) return;
    m_index.reset();
    m_parsed.clear();
    // The body's children printed one by one, each dropped once printed: the
    // texts take the memory the tree gives back. The document printed around a
    // mark in the emptied body gives what goes before and after them.
    std::vector<std::string> texts;
    size_t size = 0;
    for (TiXmlNode* c = body->FirstChild(); c;) {
        TiXmlNode* next = c->NextSibling();
        texts.push_back(XmlDocument::printNode(*c));
        size += texts.back().size();
        body->RemoveChild(c);
        c = next;
    }
    static const std::string mark = "\xEE\x80\x80", placed = "<" + mark + ">";
    TiXmlUnknown* place = new TiXmlUnknown;
    place->SetValue(mark);
    body->LinkEndChild(place);
    const std::string around = m_main->print();
    size_t at = around.find(placed);
    // Should the mark not be the document's alone, the children go back as one text.
    const bool alone = at != std::string::npos && around.find(placed, at + 1) == std::string::npos;
    if (!alone) at = 0;
    std::string text;
    text.reserve(size + (alone ? around.size() : 0));
    text.append(around, 0, at);
    for (std::string& t : texts) {
        text += t;
        std::string().swap(t);
    }
    m_document = nullptr;
    if (!alone) {
        place->SetValue(text.substr(1, text.size() - 2));  // printed between "<" and ">"
        m_main->releaseXml();
        return;
    }
    text.append(around, at + placed.size(), std::string::npos);
    m_main->setBytes(std::move(text));
}

const WordControlIndex* OpenXMLWordArchive::index() {
    if (!m_index && m_document) m_index.reset(new WordControlIndex(*m_document));
    return m_index.get();
}

void OpenXMLWordArchive::makeElements(const XmlElementList& controls) {
    for (const XmlElement& sdt : controls) {
        TiXmlElement* content = sdt.tx()->FirstChildElement("w:sdtContent");
        for (TiXmlNode* c = content ? content->FirstChild() : nullptr; c;) {
            TiXmlNode* next = c->NextSibling();
            if (const TiXmlUnknown* asText = c->ToUnknown()) {
                // The copies of a group share their contents' texts: each is parsed once.
                std::unique_ptr<XmlDocument>& parsed = m_parsed[asText->ValueStr()];
                if (!parsed) {
                    parsed.reset(new XmlDocument);
                    parsed->keepWhiteSpaceInText();
                    std::string text = "<" + asText->ValueStr() + ">";
                    if (!parsed->parseOwnedText(&text)) parsed->Clear();
                }
                if (parsed->RootElement()) {
                    content->InsertBeforeChild(c, *parsed->RootElement());
                    content->RemoveChild(c);
                }
            }
            c = next;
        }
    }
}

bool OpenXMLWordArchive::holdsControls(const std::string& tagName) {
    const WordControlIndex* index = this->index();
    return index && holdControls(index->find(tagName));
}

const std::vector<WordStory>& OpenXMLWordArchive::stories() {
    if (m_storiesRead || !m_main) return m_stories;
    m_storiesRead = true;
    OpenXMLRelationships* rels = mainRels();
    for (int i = 0; rels && i < rels->count(); ++i) {
        const char* kind = storyKind(rels->at(i).type);
        OpenXMLPart* part = kind ? m_package.part(&rels->at(i)) : nullptr;
        if (!part || part == m_main) continue;
        bool listed = false;
        for (const WordStory& story : m_stories) listed = listed || story.part == part;
        const OpenXMLWordDocument* document = listed ? nullptr : dynamic_cast<const OpenXMLWordDocument*>(part->xml());
        if (document && document->getContentRoot()) m_stories.push_back(WordStory{part, kind, document});
    }
    m_storyIndex.resize(m_stories.size());
    return m_stories;
}

bool OpenXMLWordArchive::editStories(
    const std::vector<std::string>& tagNames,
    const std::function<bool(OpenXMLWordDocument&, OpenXMLPart&, const WordControlIndex*)>& edit) {
    const std::vector<WordStory>& stories = this->stories();
    for (size_t i = 0; i < stories.size(); ++i) {
        std::unique_ptr<WordControlIndex>& index = m_storyIndex[i];
        if (!index) index.reset(new WordControlIndex(*stories[i].document));
        bool held = false, nested = false;
        for (const std::string& tagName : tagNames) {
            const XmlElementList& controls = index->find(tagName);
            held = held || !controls.empty();
            nested = nested || holdControls(controls);
        }
        if (!held) continue;
        // The document read is the one edited: it becomes the part's content.
        OpenXMLWordDocument* document = dynamic_cast<OpenXMLWordDocument*>(stories[i].part->editXml());
        if (!document) return false;
        stories[i].part->printCompact();
        const bool done = edit(*document, *stories[i].part, index.get());
        if (nested) index.reset();
        if (!done) return false;
    }
    return true;
}

// ---------------------------------------------------------------- tags and groups

std::string OpenXMLWordArchive::placeOf(const std::string& part) {
    for (const WordStory& story : stories())
        if (story.part->name() == part) return std::string("the ") + story.kind + " " + part;
    return part;
}

std::vector<std::string> OpenXMLWordArchive::nestedGroups() {
    const XmlElement body = m_document ? m_document->getBody() : XmlElement();
    std::vector<std::string> lines;
    XmlElementList controls;
    OpenXMLDocument::findAllElements(body, "w:sdt", &controls, true, true);
    for (const XmlElement& sdt : controls) {
        if (!OpenXMLDocument::isSdtGroup(sdt) || !OpenXMLWordDocument::isInSdtGroup(sdt.getParentElement())) continue;
        // A group repeats its content once per snapshot: one inside another would
        // repeat it for every pair.
        const std::string name = OpenXMLWordDocument::getSdtName(sdt);
        if (lfw::text::isBlank(name))
            lines.push_back("The template's group without a tag lies inside another group; groups cannot be nested.");
        else lines.push_back("The template's group '" + name + "' lies inside another group; groups cannot be nested.");
    }
    return lines;
}

std::vector<std::string> OpenXMLWordArchive::groupsOutsideBody() {
    std::vector<std::string> lines;
    for (const WordStory& story : stories()) {
        XmlElementList controls;
        OpenXMLDocument::findAllElements(story.document->getContentRoot(), "w:sdt", &controls, true, true);
        for (const XmlElement& sdt : controls) {
            if (!OpenXMLDocument::isSdtGroup(sdt)) continue;
            // A page's header, footer or notes are no place to repeat content per snapshot.
            const std::string name = OpenXMLWordDocument::getSdtName(sdt);
            const std::string place = placeOf(story.part->name());
            const std::string group = lfw::text::isBlank(name) ? "group without a tag" : "group '" + name + "'";
            lines.push_back("The template's " + group + " lies in " + place +
                            "; groups repeat content of the document's body only.");
        }
    }
    return lines;
}

TemplateScan OpenXMLWordArchive::scan(const WordDocumentContent& content, bool withCharts) {
    TemplateScan scan;
    for (const WordDocumentTag& tag : content.getAllTags()) {
        // Groups of the body, in document order; one inside another is part of it.
        // A kind's code and its "REF_" variant's (the next code) read alike.
        static const TagKind kinds[] = {TagKind::Picture, TagKind::Title, TagKind::Text,  TagKind::Model,
                                        TagKind::Field,   TagKind::Table, TagKind::Other, TagKind::Chart};
        const int code = (static_cast<int>(tag.kind) - 1) / 2;
        TagKind kind = tag.kind > 0 && code < 8 ? kinds[code] : TagKind::Other;
        if (tag.groupMarker) {
            if (tag.groupIndex < 0 && tag.part.empty()) ++scan.groups;
            kind = TagKind::Group;
        }
        scan.add(tag.name, kind, tag.groupIndex, tag.part.empty() ? std::string() : placeOf(tag.part));
    }
    scan.nestedGroups = nestedGroups();
    scan.groupsOutsideBody = groupsOutsideBody();
    if (withCharts) scanCharts(scan, [&](const std::string& tag) { return getChartParts(tag); });
    return scan;
}

void OpenXMLWordArchive::getDocumentContent(WordDocumentContent& content) {
    if (!m_document) return;
    m_document->getDocumentContent(content);
    for (const WordStory& story : stories()) {
        content.setPart(story.part->name());
        story.document->getDocumentContent(content);
    }
    content.setPart(std::string());
}

void OpenXMLWordArchive::getTagNames(WordTagNames* names) {
    if (!m_document || !names) return;
    m_document->getTagNames(*index(), false, names);
    const std::vector<WordStory>& stories = this->stories();
    for (size_t i = 0; i < stories.size(); ++i) {
        std::unique_ptr<WordControlIndex>& index = m_storyIndex[i];
        if (!index) index.reset(new WordControlIndex(*stories[i].document));
        stories[i].document->getTagNames(*index, true, names);
    }
}

bool OpenXMLWordArchive::expandGroup(const std::vector<int>& snapshotIndices, const std::string& tagName) {
    if (!m_document) return false;
    // Nothing adds a group to the document: once none is found, none is searched for.
    if (m_noGroups) return static_cast<bool>(m_document->getBody());
    // The contents of the groups' controls, and of their copies', stay text until
    // they are filled: the copies of a large group cost little more than their text.
    XmlElementList inGroups;
    OpenXMLDocument::findAllElements(m_document->getBody(), "w:sdt", &inGroups, true, false);
    bool notes = false, groups = false;
    for (const XmlElement& group : inGroups) {
        if (!OpenXMLDocument::isSdtGroup(group)) continue;
        groups = true;
        XmlElementList controls;
        OpenXMLDocument::findAllElements(group, "w:sdt", &controls, true, true);
        keepAsText(controls, true);
        // Note references stay elements in groups (see isInert).
        notes = notes || holdsElement(group.tx(), "w:footnoteReference") || holdsElement(group.tx(), "w:endnoteReference");
    }
    if (!groups) {
        m_noGroups = true;
        return static_cast<bool>(m_document->getBody());
    }
    m_index.reset();
    for (auto& index : m_storyIndex) index.reset();  // the copies of a group may copy notes
    NoteCopies footnotes(m_main, "w:footnoteReference", REL_FOOTNOTES);
    NoteCopies endnotes(m_main, "w:endnoteReference", REL_ENDNOTES);
    return m_document->expandGroup(snapshotIndices, tagName, [&](const XmlElementList& copy) {
        XmlElementList controls;
        for (const XmlElement& top : copy) {
            if (notes) {
                footnotes.separate(top.tx());
                endnotes.separate(top.tx());
            }
            if (std::strcmp(top.tx()->Value(), "w:sdt") == 0) controls.push_back(top);
            OpenXMLDocument::findAllElements(top, "w:sdt", &controls, true, true);
        }
        keepAsText(controls);
    });
}

// ---------------------------------------------------------------- content

void OpenXMLWordArchive::editAsElements(const std::string& tagName, const std::function<void()>& edit) {
    makeElements(index()->find(tagName));
    const bool nested = holdsControls(tagName);
    edit();
    if (nested) m_index.reset();
    keepAsText(index()->find(tagName));
}

bool OpenXMLWordArchive::fillTextAsText(const XmlElementList& controls, const FormattedTextArray& runs) {
    std::vector<std::pair<TiXmlElement*, std::string>> filled;  // each control and its content's new text
    for (const XmlElement& sdt : controls) {
        TiXmlElement* content = sdt.tx()->FirstChildElement("w:sdtContent");
        if (!sdt.tx()->FirstChildElement("w:sdtPr") || !content || OpenXMLWordDocument::isInParagraph(XmlElement(content)))
            return false;
        std::string key;
        for (const TiXmlNode* c = content->FirstChild(); c; c = c->NextSibling()) {
            const TiXmlUnknown* text = c->ToUnknown();
            if (!text || isElementText(text->ValueStr(), "w:tr") || isElementText(text->ValueStr(), "w:tc")) return false;
            key.append(1, '<').append(text->ValueStr()).append(1, '>');
        }
        // The copies of a group fill one content after another: the last one's
        // pieces are checked before the content is looked up.
        if (!m_lastRuns.first || *m_lastRuns.first != key) {
            auto it = m_runsTexts.emplace(key, nullptr).first;
            if (!it->second) {
                it->second.reset(new WordRunsText);
                it->second->make(key);
            }
            m_lastRuns = {&it->first, it->second.get()};
        }
        const WordRunsText* pieces = m_lastRuns.second;
        std::string kept;
        if (!pieces->made() || !pieces->print(runs, &kept)) return false;
        filled.emplace_back(sdt.tx(), std::move(kept));
    }
    for (auto& f : filled) {
        TiXmlElement* pr = f.first->FirstChildElement("w:sdtPr");
        OpenXMLWordDocument::removePlaceHolder(XmlElement(pr));
        if (TiXmlElement* picture = pr->FirstChildElement("w:picture")) pr->RemoveChild(picture);
        TiXmlElement* content = f.first->FirstChildElement("w:sdtContent");
        content->Clear();
        TiXmlUnknown* asText = new TiXmlUnknown;
        asText->SetValue(f.second);
        content->LinkEndChild(asText);
    }
    return true;
}

bool OpenXMLWordArchive::setText(const std::string& tagName, const FormattedTextArray& runs) {
    if (!m_document) return false;
    // Texts are filled as text, as tables are (a description of many lines costs
    // about its text).
    const XmlElementList& controls = index()->find(tagName);
    keepAsText(controls);
    if (!fillTextAsText(controls, runs)) editAsElements(tagName, [&] { m_document->setText(tagName, runs, index()); });
    return editStories(one(tagName), [&](OpenXMLWordDocument& document, OpenXMLPart&, const WordControlIndex* index) {
        return document.setText(tagName, runs, index);
    });
}

bool OpenXMLWordArchive::fillTablesAsText(const XmlElementList& controls, const Table& table) {
    const int rows = static_cast<int>(table.rowCount());
    const int columns = static_cast<int>(table.columnCount());
    if (rows <= 0 || columns <= 0) return false;
    // The tables (the first in each control, kept as a child of its content) and their pieces.
    struct Filled {
        TiXmlElement* control;
        TiXmlNode* table;
        const WordTableText* pieces;
    };
    std::vector<Filled> tables;
    for (const XmlElement& sdt : controls) {
        TiXmlElement* content = sdt.tx()->FirstChildElement("w:sdtContent");
        if (!sdt.tx()->FirstChildElement("w:sdtPr") || !content) return false;
        TiXmlNode* found = nullptr;
        for (TiXmlNode* c = content->FirstChild(); c; c = c->NextSibling()) {
            const TiXmlUnknown* text = c->ToUnknown();
            if (!text) return false;
            if (found) continue;
            if (isElementText(text->ValueStr(), "w:tbl")) found = c;
            else if (text->ValueStr().find("w:tbl") != std::string::npos) return false;
        }
        if (!found) continue;
        // The copies of a group fill one template table after another: the last
        // one's pieces are checked before the table is looked up.
        const std::string shape = std::to_string(std::min(rows, 3)) + "x" + std::to_string(columns) + ":";
        const std::string& text = found->ValueStr();
        const std::string* last = m_lastTable.first;
        if (!last || last->size() != shape.size() + text.size() || last->compare(0, shape.size(), shape) != 0 ||
            last->compare(shape.size(), std::string::npos, text) != 0) {
            auto it = m_tableTexts.emplace(shape + text, nullptr).first;
            if (!it->second) {
                it->second.reset(new WordTableText);
                it->second->make(text, rows, columns);
            }
            m_lastTable = {&it->first, it->second.get()};
        }
        if (!m_lastTable.second->made()) return false;
        tables.push_back(Filled{sdt.tx(), found, m_lastTable.second});
    }
    const auto value = [&](int r, int c) { return toUtf8(table.value(static_cast<size_t>(r), static_cast<size_t>(c))); };
    std::vector<std::string> texts(tables.size());
    for (size_t i = 0; i < tables.size(); ++i)
        if (!tables[i].pieces->print(rows, value, &texts[i])) return false;
    for (size_t i = 0; i < tables.size(); ++i) {
        OpenXMLWordDocument::removePlaceHolder(XmlElement(tables[i].control->FirstChildElement("w:sdtPr")));
        tables[i].table->SetValue(texts[i]);
        std::string().swap(texts[i]);
    }
    return true;
}

bool OpenXMLWordArchive::setTable(const std::string& tagName, const Table& table) {
    if (!m_document) return false;
    // Tables are filled as text: a table of many rows then costs about its text,
    // where as elements it would take many times that. A group's copies keep
    // their contents as text already; other controls' contents are made text here.
    const XmlElementList& controls = index()->find(tagName);
    keepAsText(controls);
    if (!fillTablesAsText(controls, table)) editAsElements(tagName, [&] { m_document->setTable(tagName, table, index()); });
    return editStories(one(tagName), [&](OpenXMLWordDocument& document, OpenXMLPart&, const WordControlIndex* index) {
        return document.setTable(tagName, table, index);
    });
}

bool OpenXMLWordArchive::setAllMacros(const std::vector<std::string>& names, const std::vector<FormattedTextArray>& texts) {
    if (!m_document) return false;
    bool nested = false;
    for (const std::string& name : names) {
        makeElements(index()->find(name));
        nested = nested || holdsControls(name);
    }
    if (!m_document->setAllMacros(names, texts, index())) return false;
    if (nested) m_index.reset();
    for (const std::string& name : names) keepAsText(index()->find(name));
    return editStories(names, [&](OpenXMLWordDocument& document, OpenXMLPart&, const WordControlIndex* index) {
        return document.setAllMacros(names, texts, index);
    });
}

bool OpenXMLWordArchive::setImage(const std::string& tagName, const OpenXMLPicture& picture, bool inMdlxControl,
                                  const std::string& newTagName, const std::string& hyperlink) {
    OpenXMLRelationships* rels = mainRels();
    if (!m_document || !rels) return false;
    // The placeholder picture, or the viewer control and its preview, go with
    // their last user when the package is saved.
    if (inMdlxControl) {
        if (picture.width <= 0 || picture.height <= 0) return false;
        m_document->setImageInMdlx(tagName, newTagName, picture.width, picture.height, hyperlink);
        m_index.reset();
        return relatePicture(rels, newTagName, picture, hyperlink);
    }
    if (!index()->find(tagName).empty() && (!m_document->setImage(tagName, picture.width, picture.height, hyperlink, index()) ||
                                            !relatePicture(rels, tagName, picture, hyperlink)))
        return false;
    // A header's picture (a logo) is related from the header.
    return editStories(one(tagName), [&](OpenXMLWordDocument& document, OpenXMLPart& part, const WordControlIndex* index) {
        return document.setImage(tagName, picture.width, picture.height, hyperlink, index) &&
               relatePicture(part.rels(), tagName, picture, hyperlink);
    });
}

bool OpenXMLWordArchive::relatePicture(OpenXMLRelationships* rels, const std::string& idBase, const OpenXMLPicture& picture,
                                       const std::string& hyperlink) {
    const std::string imageId = relationId(idBase);
    if (!rels) return false;
    if (rels->find(imageId)) return true;
    const std::string media = addMedia(picture.name, picture.data, picture.size);
    if (media.empty() || rels->add(REL_IMAGE, media, false, imageId).empty()) return false;
    const std::string linkId = relationId(idBase, "_C");
    return lfw::text::isBlank(hyperlink) || rels->find(linkId) || !rels->add(REL_HYPERLINK, hyperlink, true, linkId).empty();
}

bool OpenXMLWordArchive::setMdlx(const std::string& tagName, const std::string& modelPath, const OpenXMLPicture* preview) {
    OpenXMLRelationships* rels = mainRels();
    if (!m_document || !rels) return false;
    std::string oldControlId, newControlId, previewId;
    if (!m_document->setMdlx(tagName, &oldControlId, &newControlId, &previewId)) return false;
    if (preview && !previewId.empty()) {
        if (!rels->find(previewId)) return false;
        const std::string media = addMedia(preview->name, preview->data, preview->size);
        if (media.empty()) return false;
        if (m_document->countRelationReferences(previewId) > 1) {
            // Other controls (copies of a group) share the preview: this one gets its own.
            const std::string id = rels->relate(REL_IMAGE, media);
            if (id.empty() || !m_document->setPreviewRelationId(tagName, id)) return false;
        } else {
            rels->drop(previewId);
            if (rels->add(REL_IMAGE, media, false, previewId).empty()) return false;
        }
    }
    std::string modelReference = modelPath;
    std::replace(modelReference.begin(), modelReference.end(), '/', '\\');
    if (!reportPath().empty() && folderOf(modelPath) == folderOf(reportPath())) {
        modelReference = modelPath;
        std::replace(modelReference.begin(), modelReference.end(), '\\', '/');
        const size_t slash = modelReference.rfind('/');
        if (slash != std::string::npos) modelReference.erase(0, slash + 1);
    }
    // The control gets a part of its own; the part it shared goes with its last user. The
    // reference is text of the part: bytes of the path that are not UTF-8 become U+FFFD.
    return addActiveXPluginFile(m_main, lfw::text::validUtf8(modelReference), oldControlId, newControlId);
}

bool OpenXMLWordArchive::setChart(const std::string& tagName, const ChartData& data, std::string* why) {
    if (!m_document) return false;
    bool ok = true;
    for (OpenXMLPart* chart : getChartParts(tagName, &ok))
        if (!updateChart(chart, data, why)) return false;  // the chart keeps its template content
    return ok;
}

std::vector<OpenXMLPart*> OpenXMLWordArchive::getChartParts(const std::string& tagName, bool* allFound) {
    std::vector<OpenXMLPart*> parts;
    if (!m_document) return parts;
    // Each chart is related from the part that shows it.
    std::vector<std::pair<OpenXMLPart*, const OpenXMLWordDocument*>> sources{{m_main, m_document}};
    for (const WordStory& story : stories()) sources.emplace_back(story.part, story.document);
    for (const auto& source : sources) {
        std::vector<std::string> ids;
        source.second->getChartRelationIds(tagName, &ids);
        for (const std::string& id : ids) {
            if (OpenXMLPart* chart = source.first->related(id)) parts.push_back(chart);
            else if (allFound) *allFound = false;
        }
    }
    return parts;
}

bool OpenXMLWordArchive::syncCharts() {
    OpenXMLRelationships* rels = mainRels();
    if (!m_document || !rels) return false;
    XmlElementList charts;
    OpenXMLDocument::findAllElements(m_document->getBody(), "c:chart", &charts, true, true);
    std::set<std::string> seen;
    for (const XmlElement& chart : charts) {
        const std::string id = chart.getAttributeString("r:id");
        if (seen.insert(id).second) continue;
        OpenXMLPart* copy = copyChart(m_main->related(id));
        const std::string newId = copy ? rels->relate(REL_CHART, copy->name()) : std::string();
        if (newId.empty()) return false;
        chart.addAttributeString("r:id", newId);
    }
    return true;
}

}  // namespace rep
}  // namespace kiv
