#pragma once
// XML documents over TinyXML: typed attributes, arrays as child elements and
// path navigation. Names are UTF-8 C strings (a null name is empty) and values
// UTF-8 strings, as the parser holds them.
//
// XmlElement is a small copyable handle around a TiXmlElement*, not a
// subclass: elements found in parsed documents are plain TiXmlElements, and a
// handle can be null. Every operation on a null handle answers null, false, an
// empty value or the caller's default, so call chains over missing elements
// stay safe:
//   doc.getRootElement("Root").getFirstChildElement("A").getAttributeInt("n", -1)
// Handles do not own anything; the tree belongs to its document.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <tinyxml.h>
#include <vector>

namespace kiv {
namespace rep {

class XmlElement {
public:
    XmlElement() = default;
    XmlElement(std::nullptr_t) {}
    explicit XmlElement(TiXmlElement* element) : m_e(element) {}
    explicit XmlElement(const TiXmlElement* element) : m_e(const_cast<TiXmlElement*>(element)) {}
    // The element of a node, null for other node kinds.
    static XmlElement fromNode(TiXmlNode* node) { return XmlElement(node ? node->ToElement() : nullptr); }

    // Handle semantics: a handle acts like a pointer to an element.
    bool isNull() const { return m_e == nullptr; }
    explicit operator bool() const { return m_e != nullptr; }
    const XmlElement* operator->() const { return this; }
    TiXmlElement* tx() const { return m_e; }  // the TinyXML element (null for a null handle)
    friend bool operator==(const XmlElement& a, const XmlElement& b) { return a.m_e == b.m_e; }
    friend bool operator!=(const XmlElement& a, const XmlElement& b) { return a.m_e != b.m_e; }

    // Name of the element; empty for a null handle.
    std::string getName() const;

    // --- children ---
    // New last child; when value is not empty it gets one text child holding it.
    XmlElement addChildElement(const char* name, const std::string& value = std::string()) const;
    // A new element like addChildElement inserted just before `before`, which must be
    // a child of this element (otherwise null and nothing is added).
    XmlElement addChildElementBefore(const XmlElement& before, const char* name, const std::string& value = std::string()) const;
    // Unlinks and deletes a child element; false when it is not a child of this element.
    bool removeChildElement(const XmlElement& child) const;

    // --- attributes (set or overwrite) ---
    bool addAttributeString(const char* name, const std::string& value) const;
    bool addAttributeInt(const char* name, int value) const;
    bool addIdAttribute(int id) const;

    // --- attribute reads; `found` (when given) is false unless the attribute exists and is not blank ---
    std::string getAttributeString(const char* name, const std::string& def = std::string(), bool* found = nullptr) const;
    int getAttributeInt(const char* name, int def = 0, bool* found = nullptr) const;
    double getAttributeDouble(const char* name, double def = 0.0, bool* found = nullptr) const;

    // --- arrays as a child element holding one "Value<i>" element per item ---
    bool addChildIntArray(const char* name, const std::vector<int>& values) const;
    bool addChildStringArray(const char* name, const std::vector<std::string>& values) const;
    // Empty the array, then read the items of the first child of that name (item
    // element names are ignored). maxItems >= 0 stops reading after that many items.
    // False when the child does not exist.
    bool getChildStringArray(const char* name, std::vector<std::string>* values, int maxItems = -1) const;
    // The same reads on this element itself (its children are the items).
    bool getStringArrayItems(std::vector<std::string>* values, int maxItems = -1) const;

    // --- text ---
    std::string getValue() const;  // text of the first text child, empty when none
    bool setValue(const std::string& text) const;

    // --- navigation (a null handle answers null) ---
    XmlElement getFirstChildElement() const;
    XmlElement getFirstChildElement(const char* name) const;
    XmlElement getNextSiblingElement() const;
    XmlElement getNextSiblingElement(const char* name) const;
    XmlElement getParentElement() const;
    int getChildElementCount() const;
    // Follows element names separated by "/"; a blank name ends the walk there.
    XmlElement getFirstChildFromPath(const char* path) const;

private:
    TiXmlElement* m_e = nullptr;
};

// The memory that parsed documents may hold at once. A parse is charged, before
// the parser runs, with what its text, elements and attributes will take, and
// the charge is given back when the document is parsed again or destroyed. The
// documents read from one package share one budget (ZipArchive), so a part
// that would inflate into more elements than memory allows is refused early.
class XmlMemoryBudget {
public:
    static constexpr uint64_t DEFAULT_BYTES = uint64_t(4) << 30;
    // What the parser takes per element (with its text) and per attribute.
    static constexpr uint64_t ELEMENT_BYTES = 384;
    static constexpr uint64_t ATTRIBUTE_BYTES = 128;

    explicit XmlMemoryBudget(uint64_t bytes = DEFAULT_BYTES) : m_left(bytes) {}
    // False, with nothing spent, when fewer bytes are left.
    bool spend(uint64_t bytes);
    void refund(uint64_t bytes) { m_left += bytes; }
    uint64_t left() const { return m_left; }

private:
    uint64_t m_left;
};

class XmlDocument : public TiXmlDocument {
public:
    // Nesting depth and attributes per element accepted when parsing. TinyXML parses,
    // prints and deletes recursively, so deeper input would exhaust the stack; and
    // it checks duplicate attributes linearly, so huge attribute lists cost
    // quadratic time. Real documents stay far below both.
    static constexpr int MAX_PARSE_DEPTH = 512;
    static constexpr int MAX_ATTRIBUTES_PER_ELEMENT = 4096;

    explicit XmlDocument(bool withDeclaration = false);
    // A copy holds no charge of the original's budget.
    XmlDocument(const XmlDocument& other) : TiXmlDocument(other) {}
    XmlDocument& operator=(const XmlDocument& other);
    ~XmlDocument() override;

    // Overwrites the declaration when the first node is one, else appends one.
    bool setDeclaration(const char* version, const char* encoding, const char* standalone);
    // Reads and parses a file (UTF-8 path, encoding detected). False when the file
    // cannot be opened or parsed.
    bool LoadFile(const std::string& path);
    // Replaces the content by the parse of a zero-terminated text. False on a parse
    // error (ErrorId/ErrorDesc tell which) or when the input exceeds the limits above.
    bool parseText(const char* text);
    // The same for a text the parse may change and use up (large parts are not copied).
    bool parseOwnedText(std::string* text, const std::shared_ptr<XmlMemoryBudget>& budget = nullptr) {
        return parsePadded(text, budget);
    }
    // With true, later parses keep the white space of text as written (markup
    // parts such as Office documents, where a run of blanks is content): blanks
    // around and inside text, and text of blanks only that is an element's whole
    // content (<w:t> </w:t>), whatever TinyXML's process-wide condensing switch
    // says. White space between elements (indentation) is dropped as before.
    void keepWhiteSpaceInText(bool keep = true) { m_keepWhiteSpace = keep; }
    // With a parent name (w:body), later parses keep each child of the root's child
    // of that name that is at least minSize bytes long, holds none of the markers
    // and is strictly well-formed as its text: not parsed, and printed back as it
    // was (a node that prints "<" + its value + ">"). Large untouched content then
    // costs its size rather than a tree of it.
    void keepChildrenAsText(const std::string& parent, const std::vector<std::string>& markers, size_t minSize) {
        m_textParent = parent;
        m_textMarkers = markers;
        m_textMinSize = minSize;
    }
    // The same, charged to the budget first (see XmlMemoryBudget). A parse the budget
    // cannot pay fails before the parser runs; refusedCost then tells what it
    // would have taken at least, and Elements how many elements were counted.
    bool parseText(const char* text, const std::shared_ptr<XmlMemoryBudget>& budget);
    // The same on a text of length bytes that PARSE_PADDING zero bytes follow,
    // parsed where it is (a large part is not copied first).
    bool parsePaddedText(const char* text, size_t length, const std::shared_ptr<XmlMemoryBudget>& budget);
    // Zero bytes a text must have after it for parsePaddedText: TinyXML may read a
    // few bytes past the end of text that ends inside a UTF-8 sequence.
    static constexpr size_t PARSE_PADDING = 16;
    uint64_t refusedCost() const { return m_refusedCost; }
    uint64_t elements() const { return m_elements; }

    // The printed document: four-space indent and "\n" line ends, or, not
    // indented, all on one line. Texts and attribute values are escaped once, and
    // characters XML 1.0 forbids never reach the output (vertical tab and form
    // feed become line feeds, other controls, U+FFFE and U+FFFF are left out).
    std::string printToString(bool indented = true) const;
    // One node and what it holds, printed the same way.
    static std::string printNode(const TiXmlNode& node, bool indented = false);
    // Whether a document's text was written indented: near its start (the first
    // INDENT_PROBE_BYTES after the declaration) an element's tag is followed by
    // a line break and blanks before the next tag. Office writes its parts on one
    // line; a part it did not write may be printed the way it came.
    static bool looksIndented(const char* text, size_t size);
    static constexpr size_t INDENT_PROBE_BYTES = 4096;

    // Appends the root element; "xmlns" is set when namespaceUri is not blank, "ID" when id >= 0.
    XmlElement createRootElement(const char* name, int id = -1, const std::string& namespaceUri = std::string());
    // The first element; null when there is none or when name is not blank and differs.
    XmlElement getRootElement(const char* name = nullptr) const;

    // True when TinyXML, parsing the text, would nest elements no deeper than
    // MAX_PARSE_DEPTH and read no more than MAX_ATTRIBUTES_PER_ELEMENT attributes
    // of one element. The check follows the parser's own reading of the text
    // (entities, UTF-8 sequences, quotes), so no spelling gets past it. Reads the
    // text up to `length` bytes or its first zero byte, as the parser does.
    static bool isWithinParseLimits(const char* text, size_t length);
    // How deep the parser would nest elements in the text (an element inside two
    // others: 3), whether or not the parse succeeds.
    static int parseNestingDepth(const char* text, size_t length);

private:
    // Checks the limits and the budget, then parses; text gets the padding appended.
    bool parsePadded(std::string* text, const std::shared_ptr<XmlMemoryBudget>& budget = nullptr);
    // The parse itself, of a text PARSE_PADDING zero bytes follow, as it is.
    bool parseInPlace(const char* text, size_t length, const std::shared_ptr<XmlMemoryBudget>& budget);
    static bool withinLimits(const char* paddedText);

    bool m_keepWhiteSpace = false;
    std::string m_textParent;
    std::vector<std::string> m_textMarkers;
    size_t m_textMinSize = 0;
    void releaseCharge();

    std::shared_ptr<XmlMemoryBudget> m_budget;
    uint64_t m_charged = 0;
    uint64_t m_refusedCost = 0;
    uint64_t m_elements = 0;
};

// Appends UTF-8 text as an attribute value or character data, escaped as
// XmlDocument prints it.
void xmlAppendEscaped(std::string* out, const std::string& text);

}  // namespace rep
}  // namespace kiv
