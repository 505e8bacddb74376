#include "impl/storage/XmlDocument.h"
#include "LibCore/lfwFile.h"
#include "LibCore/lfwText.h"
#include "LibCore/lfwUtf8.h"
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <algorithm>
#include <string_view>
#include <vector>
#include <unordered_set>
#include <vector>

namespace kiv {
namespace rep {

namespace {

const char* const VALUE_FORMAT = "Value%d";
const char* const UNDEFINED_TEXT = "Undefined";

// A name given as null is empty.
const char* nameOf(const char* name) { return name ? name : ""; }

// A value read from the tree: what the parser holds, with bytes that are not
// UTF-8 (the parser does not check) given as U+FFFD.
std::string valueOf(const char* text) { return text ? lfw::text::validUtf8(text) : std::string(); }

// The first text child of an element, null when it has none.
TiXmlText* firstText(TiXmlElement* e) {
    for (TiXmlNode* n = e->FirstChild(); n; n = n->NextSibling())
        if (TiXmlText* t = n->ToText()) return t;
    return nullptr;
}

// A new element with that name and, when value is not empty, one text child.
TiXmlElement* newElement(const char* name, const std::string& value) {
    TiXmlElement* e = new TiXmlElement(nameOf(name));
    if (!value.empty()) e->LinkEndChild(new TiXmlText(value));
    return e;
}

const char* attributeText(const TiXmlElement* e, const char* name) { return e ? e->Attribute(nameOf(name)) : nullptr; }

bool isBlankText(const char* text) {
    if (!text) return true;
    for (; *text; ++text)
        if (!std::strchr(" \t\r\n\f\v", *text)) return false;
    return true;
}

// Walks the items of an array container, calling add(text) for each child element.
template <typename Add>
void readItems(const TiXmlElement* container, int maxItems, Add add) {
    int count = 0;
    for (const TiXmlElement* item = container->FirstChildElement(); item; item = item->NextSiblingElement()) {
        if (maxItems >= 0 && count >= maxItems) break;
        add(item->GetText());
        ++count;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// XmlElement

std::string XmlElement::getName() const { return m_e ? std::string(m_e->Value()) : std::string(); }

XmlElement XmlElement::addChildElement(const char* name, const std::string& value) const {
    if (!m_e) return XmlElement();
    return fromNode(m_e->LinkEndChild(newElement(name, value)));
}

XmlElement XmlElement::addChildElementBefore(const XmlElement& before, const char* name, const std::string& value) const {
    if (!m_e || !before.m_e || before.m_e->Parent() != m_e) return XmlElement();
    // TinyXML inserts a copy; the copy is the element in the tree.
    TiXmlElement* e = newElement(name, value);
    TiXmlNode* inserted = m_e->InsertBeforeChild(before.m_e, *e);
    delete e;
    return fromNode(inserted);
}

bool XmlElement::removeChildElement(const XmlElement& child) const {
    if (!m_e || !child.m_e || child.m_e->Parent() != m_e) return false;
    return m_e->RemoveChild(child.m_e);
}

bool XmlElement::addAttributeString(const char* name, const std::string& value) const {
    if (!m_e) return false;
    m_e->SetAttribute(nameOf(name), value);
    return true;
}

bool XmlElement::addAttributeInt(const char* name, int value) const {
    if (!m_e) return false;
    m_e->SetAttribute(nameOf(name), value);
    return true;
}

bool XmlElement::addIdAttribute(int id) const { return addAttributeInt("ID", id); }

std::string XmlElement::getAttributeString(const char* name, const std::string& def, bool* found) const {
    if (found) *found = false;
    const char* text = attributeText(m_e, name);
    if (isBlankText(text)) return def;
    if (found) *found = true;
    return valueOf(text);
}

int XmlElement::getAttributeInt(const char* name, int def, bool* found) const {
    if (found) *found = false;
    if (!m_e) return def;
    int value = 0;
    if (m_e->QueryIntAttribute(nameOf(name), &value) != TIXML_SUCCESS) return def;
    if (found) *found = true;
    return value;
}

double XmlElement::getAttributeDouble(const char* name, double def, bool* found) const {
    if (found) *found = false;
    const char* text = attributeText(m_e, name);
    if (isBlankText(text)) return def;
    if (found) *found = true;
    if (std::strcmp(text, UNDEFINED_TEXT) == 0) return DBL_MAX;
    return lfw::text::toDouble(text, def);
}

// Arrays are a container element holding one "Value<i>" child per item.
template <typename Array, typename ToText>
bool addArray(const XmlElement& parent, const char* name, const Array& values, ToText toText) {
    XmlElement container = parent.addChildElement(name);
    if (!container) return false;
    char itemName[32];
    for (size_t i = 0; i < values.size(); ++i) {
        std::snprintf(itemName, sizeof itemName, VALUE_FORMAT, static_cast<int>(i));
        container.addChildElement(itemName, toText(values[i]));
    }
    return true;
}

bool XmlElement::addChildIntArray(const char* name, const std::vector<int>& values) const {
    return addArray(*this, name, values, [](int v) { return std::to_string(v); });
}

bool XmlElement::addChildStringArray(const char* name, const std::vector<std::string>& values) const {
    return addArray(*this, name, values, [](const std::string& v) { return v; });
}

bool XmlElement::getChildStringArray(const char* name, std::vector<std::string>* values, int maxItems) const {
    if (!values) return false;
    values->clear();
    return getFirstChildElement(name).getStringArrayItems(values, maxItems);
}

bool XmlElement::getStringArrayItems(std::vector<std::string>* values, int maxItems) const {
    if (!values) return false;
    values->clear();
    if (!m_e) return false;
    readItems(m_e, maxItems, [&](const char* text) { values->push_back(valueOf(text)); });
    return true;
}

std::string XmlElement::getValue() const {
    if (!m_e) return std::string();
    TiXmlText* t = firstText(m_e);
    return t ? valueOf(t->Value()) : std::string();
}

bool XmlElement::setValue(const std::string& text) const {
    if (!m_e) return false;
    if (TiXmlText* t = firstText(m_e)) t->SetValue(text);
    else m_e->LinkEndChild(new TiXmlText(text));
    return true;
}

XmlElement XmlElement::getFirstChildElement() const { return XmlElement(m_e ? m_e->FirstChildElement() : nullptr); }

XmlElement XmlElement::getFirstChildElement(const char* name) const {
    return XmlElement(m_e ? m_e->FirstChildElement(nameOf(name)) : nullptr);
}

XmlElement XmlElement::getNextSiblingElement() const { return XmlElement(m_e ? m_e->NextSiblingElement() : nullptr); }

XmlElement XmlElement::getNextSiblingElement(const char* name) const {
    return XmlElement(m_e ? m_e->NextSiblingElement(nameOf(name)) : nullptr);
}

XmlElement XmlElement::getParentElement() const { return fromNode(m_e ? m_e->Parent() : nullptr); }

int XmlElement::getChildElementCount() const {
    int n = 0;
    if (m_e)
        for (TiXmlElement* c = m_e->FirstChildElement(); c; c = c->NextSiblingElement()) ++n;
    return n;
}

XmlElement XmlElement::getFirstChildFromPath(const char* path) const {
    if (!m_e) return XmlElement();
    TiXmlElement* current = m_e;
    const std::string p = nameOf(path);
    size_t pos = 0;
    while (pos <= p.size()) {
        size_t slash = p.find('/', pos);
        if (slash == std::string::npos) slash = p.size();
        const std::string name = p.substr(pos, slash - pos);
        if (isBlankText(name.c_str())) break;  // path used up
        current = current->FirstChildElement(name.c_str());
        if (!current) return XmlElement();
        pos = slash + 1;
    }
    return XmlElement(current);
}

// ---------------------------------------------------------------------------
// XmlDocument

XmlDocument::XmlDocument(bool withDeclaration) {
    if (withDeclaration) setDeclaration("1.0", "UTF-8", "yes");
}

bool XmlDocument::setDeclaration(const char* version, const char* encoding, const char* standalone) {
    TiXmlDeclaration declaration(nameOf(version), nameOf(encoding), nameOf(standalone));
    TiXmlNode* first = FirstChild();
    if (first && first->ToDeclaration()) *first->ToDeclaration() = declaration;
    else InsertEndChild(declaration);
    return true;
}

bool XmlDocument::LoadFile(const std::string& path) {
    std::string text;
    if (!lfw::FileSystem::readFile(path, &text)) return false;
    // Line ends as TinyXML's own file reading makes them: CR LF and CR become LF.
    std::string normalised;
    normalised.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            normalised += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            normalised += text[i];
        }
    }
    text.clear();
    return parsePadded(&normalised);
}

bool XmlMemoryBudget::spend(uint64_t bytes) {
    if (bytes > m_left) return false;
    m_left -= bytes;
    return true;
}

XmlDocument& XmlDocument::operator=(const XmlDocument& other) {
    if (this != &other) {
        releaseCharge();
        TiXmlDocument::operator=(other);
    }
    return *this;
}

XmlDocument::~XmlDocument() { releaseCharge(); }

void XmlDocument::releaseCharge() {
    if (m_budget) m_budget->refund(m_charged);
    m_budget.reset();
    m_charged = 0;
}

bool XmlDocument::parseText(const char* text) {
    std::string padded(text ? text : "");
    return parsePadded(&padded);
}

namespace {

bool isXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Where the markup starting at text[at] ("<...") ends (one past its last byte),
// and what it is.
enum Markup { START_TAG, END_TAG, EMPTY_TAG, OTHER_MARKUP };
size_t markupEnd(const std::string& text, size_t at, Markup* kind) {
    *kind = OTHER_MARKUP;
    auto past = [&](const char* end) {
        const size_t found = text.find(end, at + 1);
        return found == std::string::npos ? text.size() : found + std::strlen(end);
    };
    if (text.compare(at, 4, "<!--") == 0) return past("-->");
    if (text.compare(at, 9, "<![CDATA[") == 0) return past("]]>");
    if (text.compare(at, 2, "<?") == 0) return past("?>");
    if (text.compare(at, 2, "<!") == 0) return past(">");
    char quote = 0;
    for (size_t i = at + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            if (text[at + 1] == '/') *kind = END_TAG;
            else *kind = text[i - 1] == '/' ? EMPTY_TAG : START_TAG;
            return i + 1;
        }
    }
    return text.size();
}

// The text with the white space the parser would drop or condense written as
// CDATA sections, which it keeps as they are; false when nothing needed it.
bool protectWhiteSpace(const std::string& text, std::string* out) {
    const bool condensed = TiXmlBase::IsWhiteSpaceCondensed();
    bool changed = false;
    Markup previous = OTHER_MARKUP;
    out->reserve(text.size() + text.size() / 8);
    for (size_t at = 0; at < text.size();) {
        if (text[at] == '<') {
            const size_t end = markupEnd(text, at, &previous);
            out->append(text, at, end - at);
            at = end;
            continue;
        }
        size_t end = text.find('<', at);
        if (end == std::string::npos) end = text.size();
        bool blank = true;
        for (size_t i = at; i < end && blank; ++i) blank = isXmlBlank(text[i]);
        const bool wholeContent = previous == START_TAG && text.compare(end, 2, "</") == 0;
        if (blank ? !wholeContent : !condensed) {
            out->append(text, at, end - at);  // kept by the parser as it is, or indentation
        } else {
            for (size_t i = at; i < end;) {
                size_t j = i;
                while (j < end && isXmlBlank(text[j]) == isXmlBlank(text[i])) ++j;
                if (isXmlBlank(text[i])) out->append("<![CDATA[").append(text, i, j - i).append("]]>");
                else out->append(text, i, j - i);
                i = j;
            }
            changed = true;
        }
        at = end;
    }
    return changed;
}

// --- content kept as text ---

// The code point of the UTF-8 sequence at text[at], and its length in `length`;
// -1 for a sequence that is not valid UTF-8.
long utf8At(const std::string& text, size_t at, size_t end, size_t* length) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    const size_t n = lead < 0x80                    ? 1
                     : lead >= 0xC2 && lead <= 0xDF ? 2
                     : lead >= 0xE0 && lead <= 0xEF ? 3
                     : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                    : 0;
    if (n == 0 || at + n > end) return -1;
    long code = n == 1 ? lead : lead & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[at + k]);
        if ((c & 0xC0) != 0x80) return -1;
        code = (code << 6) | (c & 0x3F);
    }
    static const long smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
    *length = n;
    return code;
}

bool isXmlChar(long code) {
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) || (code >= 0xE000 && code <= 0xFFFD) ||
           (code >= 0x10000 && code <= 0x10FFFF);
}

// Whether text[at, end) holds only characters XML allows, in valid UTF-8, with
// references (when `references`) only to the five entities or allowed characters.
bool allowedText(const std::string& text, size_t at, size_t end, bool references) {
    while (at < end) {
        if (references && text[at] == '&') {
            const size_t semi = text.find(';', at);
            if (semi == std::string::npos || semi >= end) return false;
            const std::string name = text.substr(at + 1, semi - at - 1);
            bool known = name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
            if (!known && name.size() > 1 && name[0] == '#') {
                const bool hex = name[1] == 'x';
                const std::string digits = name.substr(hex ? 2 : 1);
                bool number = !digits.empty() && digits.size() <= 8;
                for (char d : digits)
                    number = number &&
                             (hex ? std::isxdigit(static_cast<unsigned char>(d)) : std::isdigit(static_cast<unsigned char>(d)));
                known = number && isXmlChar(std::strtol(digits.c_str(), nullptr, hex ? 16 : 10));
            }
            if (!known) return false;
            at = semi + 1;
            continue;
        }
        if (references && text[at] == '<') return false;
        size_t length = 0;
        if (!isXmlChar(utf8At(text, at, end, &length))) return false;
        at += length;
    }
    return true;
}

size_t nameEnd(const std::string& text, size_t at, size_t end) {
    auto nameChar = [](unsigned char c, bool first) {
        return std::isalpha(c) || c == '_' || c == ':' || (!first && (std::isdigit(c) || c == '-' || c == '.'));
    };
    if (at >= end || !nameChar(static_cast<unsigned char>(text[at]), true)) return at;
    while (++at < end && nameChar(static_cast<unsigned char>(text[at]), false)) {}
    return at;
}

// Whether text[at, end) is well-formed content by XML's own strict rules (ASCII
// names, balanced tags, quoted attribute values without "<" and without repeated
// names, known references, allowed characters), its elements nested at most
// `depth` deep with at most `attributes` each: text that can be copied unparsed
// into a document and stay well-formed there.
bool strictlyWellFormed(const std::string& text, size_t at, size_t end, int depth, int attributes) {
    std::vector<std::string> open;
    auto blank = [&](size_t k) { return k < end && isXmlBlank(text[k]); };
    while (at < end) {
        if (text[at] != '<') {
            size_t next = text.find('<', at);
            if (next == std::string::npos || next > end) next = end;
            if (!allowedText(text, at, next, true)) return false;
            at = next;
            continue;
        }
        static const struct {
            const char* start;
            const char* end;
        } others[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
        bool other = false;
        for (const auto& o : others) {
            if (text.compare(at, std::strlen(o.start), o.start) != 0) continue;
            const size_t close = text.find(o.end, at + std::strlen(o.start));
            if (close == std::string::npos || close + std::strlen(o.end) > end || !allowedText(text, at, close, false))
                return false;
            at = close + std::strlen(o.end);
            other = true;
            break;
        }
        if (other) continue;
        if (text.compare(at, 2, "</") == 0) {
            const size_t stop = nameEnd(text, at + 2, end);
            if (open.empty() || text.compare(at + 2, stop - at - 2, open.back()) != 0 || stop - at - 2 != open.back().size())
                return false;
            open.pop_back();
            at = stop;
            while (blank(at)) ++at;
            if (at >= end || text[at] != '>') return false;
            ++at;
            continue;
        }
        size_t k = nameEnd(text, at + 1, end);
        if (k == at + 1) return false;
        const std::string name = text.substr(at + 1, k - at - 1);
        std::vector<std::string> names;
        for (;;) {
            const size_t spaced = k;
            while (blank(k)) ++k;
            if (k >= end) return false;
            if (text[k] == '>' || text.compare(k, 2, "/>") == 0) {
                if (static_cast<int>(open.size()) + 1 > depth) return false;
                if (text[k] == '>') open.push_back(name);
                k += text[k] == '>' ? 1 : 2;
                break;
            }
            const size_t stop = nameEnd(text, k, end);
            if (k == spaced || stop == k || static_cast<int>(names.size()) >= attributes) return false;
            const std::string attribute = text.substr(k, stop - k);
            if (std::find(names.begin(), names.end(), attribute) != names.end()) return false;
            names.push_back(attribute);
            k = stop;
            while (blank(k)) ++k;
            if (k >= end || text[k] != '=') return false;
            ++k;
            while (blank(k)) ++k;
            if (k >= end || (text[k] != '"' && text[k] != '\'')) return false;
            const size_t close = text.find(text[k], k + 1);
            if (close == std::string::npos || close >= end || !allowedText(text, k + 1, close, true)) return false;
            k = close + 1;
        }
        at = k;
    }
    return open.empty();
}

const char* const KEPT_AS_TEXT = "kivKeptAsText";

// The text with each large, strictly well-formed child without a marker of the
// root's child `parent` replaced by a placeholder element; the children's text
// goes to `kept`, in order.
std::string setAsideChildren(const std::string& text, const std::string& parent, const std::vector<std::string>& markers,
                             size_t minSize, int depth, int attributes, std::vector<std::string>* kept) {
    Markup kind = OTHER_MARKUP;
    int level = 0;
    size_t at = 0;
    bool found = false;
    while (at < text.size() && !found) {
        if (text[at] != '<') {
            at = text.find('<', at);
            if (at == std::string::npos) return text;
            continue;
        }
        const size_t end = markupEnd(text, at, &kind);
        if (kind == START_TAG && ++level == 2 && text.compare(at + 1, parent.size(), parent) == 0 &&
            nameEnd(text, at + 1, text.size()) == at + 1 + parent.size())
            found = true;
        if (kind == END_TAG && --level < 1) return text;
        at = end;
    }
    if (!found) return text;
    std::string out;
    size_t copied = 0, child = std::string::npos;
    level = 0;
    while (at < text.size()) {
        if (text[at] != '<') {
            at = text.find('<', at);
            if (at == std::string::npos) break;
            continue;
        }
        const size_t end = markupEnd(text, at, &kind);
        if (kind == END_TAG && level == 0) break;  // the parent ends
        if (level == 0 && (kind == START_TAG || kind == EMPTY_TAG)) child = at;
        level += kind == START_TAG ? 1 : kind == END_TAG ? -1 : 0;
        at = end;
        if (level != 0 || child == std::string::npos) continue;
        const std::string_view block(text.data() + child, at - child);
        bool plain = block.size() >= minSize;
        for (size_t m = 0; m < markers.size() && plain; ++m) plain = block.find(markers[m]) == std::string_view::npos;
        if (plain && strictlyWellFormed(text, child, at, depth, attributes)) {
            out.append(text, copied, child - copied).append("<").append(KEPT_AS_TEXT).append("/>");
            kept->emplace_back(block);
            copied = at;
        }
        child = std::string::npos;
    }
    if (kept->empty()) return text;
    out.append(text, copied, std::string::npos);
    return out;
}

// Puts the children set aside back in place of their placeholders, as nodes that
// print their text as it was.
void restoreChildren(TiXmlDocument* document, const std::string& parent, std::vector<std::string>* kept) {
    TiXmlElement* root = document->RootElement();
    TiXmlElement* holder = root ? root->FirstChildElement(parent.c_str()) : nullptr;
    size_t next = 0;
    for (TiXmlElement* e = holder ? holder->FirstChildElement(KEPT_AS_TEXT) : nullptr; e && next < kept->size();) {
        TiXmlElement* following = e->NextSiblingElement(KEPT_AS_TEXT);
        std::string& block = (*kept)[next++];
        TiXmlUnknown asText;
        asText.SetValue(block.substr(1, block.size() - 2));  // printed between "<" and ">"
        std::string().swap(block);
        holder->InsertBeforeChild(e, asText);
        holder->RemoveChild(e);
        e = following;
    }
}

// Joins the neighbouring text nodes the CDATA sections made into plain text.
void joinTexts(TiXmlNode* node) {
    for (TiXmlNode* child = node->FirstChild(); child;) {
        TiXmlNode* next = child->NextSibling();
        if (TiXmlText* text = child->ToText()) {
            text->SetCDATA(false);
            if (next && next->ToText()) {
                std::string joined = text->ValueStr();
                while (next && next->ToText()) {
                    joined += next->ValueStr();
                    TiXmlNode* gone = next;
                    next = next->NextSibling();
                    node->RemoveChild(gone);
                }
                text->SetValue(joined);
            }
        } else {
            joinTexts(child);
        }
        child = next;
    }
}

}  // namespace

bool XmlDocument::parseText(const char* text, const std::shared_ptr<XmlMemoryBudget>& budget) {
    std::string padded(text ? text : "");
    return parsePadded(&padded, budget);
}

namespace {

// Appends text as XML character data: markup characters as entities, the
// controls XML allows as character references, and what XML 1.0 forbids left
// out, so that no text makes a document not well-formed. Vertical tab and form
// feed (PowerPoint puts them in copied text) stand for line breaks and become
// line feeds; other controls below U+0020, U+FFFE, U+FFFF and UTF-8 encoded
// surrogates are dropped. Unlike TinyXML's own escaping, "&#x" is escaped too:
// a text is never taken as markup.
void appendXmlText(std::string* out, const char* text, size_t length) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    // The bytes that may need more than a copy: controls, markup, 0xED and 0xEF.
    static const struct Special {
        bool is[256] = {};
        Special() {
            for (int c = 0; c < 0x20; ++c) is[c] = true;
            for (const char* p = "&<>\"'\xED\xEF"; *p; ++p) is[static_cast<unsigned char>(*p)] = true;
        }
    } special;
    size_t plain = 0;  // start of the bytes not yet appended
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = s[i];
        if (!special.is[c]) continue;
        const char* replacement = nullptr;
        size_t skip = 1;
        switch (c) {
        case '&': replacement = "&amp;"; break;
        case '<': replacement = "&lt;"; break;
        case '>': replacement = "&gt;"; break;
        case '"': replacement = "&quot;"; break;
        case '\'': replacement = "&apos;"; break;
        case '\t': replacement = "&#x09;"; break;
        case '\n':
        case '\v':
        case '\f': replacement = "&#x0A;"; break;
        case '\r': replacement = "&#x0D;"; break;
        case 0xEF:  // U+FFFE and U+FFFF are not characters
            if (i + 2 < length && s[i + 1] == 0xBF && (s[i + 2] == 0xBE || s[i + 2] == 0xBF)) {
                replacement = "";
                skip = 3;
            }
            break;
        case 0xED:  // nor are surrogates
            if (i + 2 < length && s[i + 1] >= 0xA0 && s[i + 1] <= 0xBF) {
                replacement = "";
                skip = 3;
            }
            break;
        default:
            if (c < 0x20) replacement = "";
        }
        if (!replacement) continue;
        out->append(text + plain, i - plain);
        out->append(replacement);
        i += skip - 1;
        plain = i + 1;
    }
    out->append(text + plain, length - plain);
}

// Copies raw text (comments, CDATA, declarations kept as unknown nodes) leaving
// out the characters XML 1.0 forbids; nothing is escaped there.
void appendXmlRaw(std::string* out, const char* text) {
    const size_t length = std::strlen(text);
    // A long text (a large table kept as text) gets room for what follows it
    // rather than a buffer twice its size at the next append.
    if (length > out->capacity() - out->size()) out->reserve(std::max(2 * out->capacity(), out->size() + length + length / 8));
    const char* kept = text;  // start of the bytes not yet appended
    for (size_t i = 0; i < length;) {
        if (length - i >= 8) {
            // Eight bytes at a time while none is below 0x20.
            std::uint64_t word;
            std::memcpy(&word, text + i, 8);
            if (((word - 0x2020202020202020ULL) & ~word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out->append(kept, static_cast<size_t>(text + i - kept));
            kept = text + i + 1;
        }
        ++i;
    }
    out->append(kept, static_cast<size_t>(text + length - kept));
}

// TinyXML's printer, laid out as it lays out (an element whose only child is a
// text stays on one line, empty elements close with " />"), writing texts and
// attribute values through appendXmlText.
class XmlPrinter : public TiXmlVisitor {
public:
    XmlPrinter(const char* indent, const char* lineBreak)
        : m_indent(indent),
          m_lineBreak(lineBreak),
          m_indentLength(std::strlen(indent)),
          m_lineBreakLength(std::strlen(lineBreak)) {}

    bool VisitEnter(const TiXmlElement& element, const TiXmlAttribute* attribute) override {
        indent();
        m_out += '<';
        m_out += element.ValueStr();
        for (; attribute; attribute = attribute->Next()) {
            const std::string& value = attribute->ValueStr();
            const char quote = value.find('"') == std::string::npos ? '"' : '\'';
            m_out += ' ';
            appendXmlText(&m_out, attribute->Name(), std::strlen(attribute->Name()));
            m_out += '=';
            m_out += quote;
            appendXmlText(&m_out, value.data(), value.size());
            m_out += quote;
        }
        const TiXmlNode* first = element.FirstChild();
        if (!first) {
            m_out += " />";
            lineBreak();
        } else {
            m_out += '>';
            m_simpleText = first->ToText() && element.LastChild() == first && !first->ToText()->CDATA();
            if (!m_simpleText) lineBreak();
        }
        ++m_depth;
        return true;
    }
    bool VisitExit(const TiXmlElement& element) override {
        --m_depth;
        if (!element.FirstChild()) return true;
        if (m_simpleText) m_simpleText = false;
        else indent();
        m_out += "</";
        m_out += element.ValueStr();
        m_out += '>';
        lineBreak();
        return true;
    }
    bool Visit(const TiXmlText& text) override {
        if (text.CDATA()) {
            indent();
            m_out += "<![CDATA[";
            appendXmlRaw(&m_out, text.Value());
            m_out += "]]>";
            lineBreak();
        } else {
            if (!m_simpleText) indent();
            appendXmlText(&m_out, text.ValueStr().data(), text.ValueStr().size());
            if (!m_simpleText) lineBreak();
        }
        return true;
    }
    bool Visit(const TiXmlDeclaration& declaration) override {
        indent();
        std::string printed;
        declaration.Print(nullptr, 0, &printed);
        appendXmlRaw(&m_out, printed.c_str());
        lineBreak();
        return true;
    }
    bool Visit(const TiXmlComment& comment) override { return raw("<!--", comment.Value(), "-->"); }
    bool Visit(const TiXmlUnknown& unknown) override { return raw("<", unknown.Value(), ">"); }

    std::string& out() { return m_out; }

private:
    void indent() {
        if (m_indentLength)
            for (int i = 0; i < m_depth; ++i) m_out.append(m_indent, m_indentLength);
    }
    void lineBreak() {
        if (m_lineBreakLength) m_out.append(m_lineBreak, m_lineBreakLength);
    }
    bool raw(const char* open, const char* text, const char* close) {
        indent();
        m_out += open;
        appendXmlRaw(&m_out, text);
        m_out += close;
        lineBreak();
        return true;
    }

    const char* m_indent;
    const char* m_lineBreak;
    size_t m_indentLength, m_lineBreakLength;
    std::string m_out;
    int m_depth = 0;
    bool m_simpleText = false;
};

}  // namespace

void xmlAppendEscaped(std::string* out, const std::string& text) { appendXmlText(out, text.data(), text.size()); }

std::string XmlDocument::printToString(bool indented) const {
    XmlPrinter printer(indented ? "    " : "", indented ? "\n" : "");
    Accept(&printer);
    return std::move(printer.out());
}

std::string XmlDocument::printNode(const TiXmlNode& node, bool indented) {
    XmlPrinter printer(indented ? "    " : "", indented ? "\n" : "");
    node.Accept(&printer);
    return std::move(printer.out());
}

bool XmlDocument::looksIndented(const char* text, size_t size) {
    size_t at = 0;
    if (size >= 5 && std::strncmp(text, "<?xml", 5) == 0) {
        const char* end = static_cast<const char*>(std::memchr(text, '>', size));
        at = end ? static_cast<size_t>(end - text) + 1 : size;
    }
    const size_t stop = std::min(size, at + INDENT_PROBE_BYTES);
    for (; at < stop; ++at) {
        if (text[at] != '>') continue;
        size_t p = at + 1;
        if (p < stop && text[p] == '\r') ++p;
        if (p >= stop || text[p] != '\n') continue;
        const size_t blanks = ++p;
        while (p < stop && (text[p] == ' ' || text[p] == '\t')) ++p;
        if (p > blanks && p < stop && text[p] == '<') return true;
    }
    return false;
}

XmlElement XmlDocument::createRootElement(const char* name, int id, const std::string& namespaceUri) {
    XmlElement root = XmlElement::fromNode(LinkEndChild(new TiXmlElement(nameOf(name))));
    if (!lfw::text::isBlank(namespaceUri)) root.addAttributeString("xmlns", namespaceUri);
    if (id >= 0) root.addIdAttribute(id);
    return root;
}

XmlElement XmlDocument::getRootElement(const char* name) const {
    const TiXmlElement* root = FirstChildElement();
    if (!root) return XmlElement();
    if (!isBlankText(name) && std::strcmp(root->Value(), name) != 0) return XmlElement();
    return XmlElement(root);
}

namespace {

// A walk over the text that takes exactly the steps TinyXML's parser takes (the
// same node kinds, names, quoted values, entities and UTF-8 sequence lengths),
// without its recursion: it tells how deep the parser would nest and how many
// attributes it would read per element before the parser itself is run. Where
// the parser would fail, the walk ends too, since nothing after that point is
// read. The text must be followed by PARSE_PADDING zero bytes, as the parser's.
class ParseWalk {
public:
    ParseWalk(int maxDepth, int maxAttributes) : m_maxDepth(maxDepth), m_maxAttributes(maxAttributes) {}

    // False when the parser would nest deeper, read more attributes than allowed
    // or, with a cost limit, build more than that limit pays for.
    bool run(const char* p);
    // The deepest element nesting met (an element inside two others: 3).
    int deepest() const { return m_deepest; }
    void limitCost(uint64_t bytes) { m_costLimit = bytes; }
    // Elements and attributes the parser would build, as memory (see XmlMemoryBudget).
    uint64_t cost() const {
        return m_elements * XmlMemoryBudget::ELEMENT_BYTES + m_attributes * XmlMemoryBudget::ATTRIBUTE_BYTES;
    }
    uint64_t elements() const { return m_elements; }
    bool overCost() const { return m_overCost; }

private:
    enum Kind { NONE, DECLARATION, COMMENT, CDATA, UNKNOWN, ELEMENT };
    enum Encoding { ENC_UNKNOWN, ENC_UTF8, ENC_LEGACY };
    struct OpenElement {
        const char* name;
        size_t length;
    };

    static bool isWhiteSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) || c == '\n' || c == '\r'; }
    static bool isAlpha(unsigned char c) { return c < 127 ? std::isalpha(c) != 0 : true; }
    static bool isAlphaNum(unsigned char c) { return c < 127 ? std::isalnum(c) != 0 : true; }

    const char* skipWhiteSpace(const char* p) const;
    bool stringEqual(const char* p, const char* tag, bool ignoreCase) const;
    const char* getChar(const char* p, std::string* out) const;
    const char* getEntity(const char* p, std::string* out) const;
    const char* readText(const char* p, const char* endTag, std::string* out) const;
    static const char* readName(const char* p);
    Kind identify(const char* p) const;
    const char* parseAttribute(const char* p, std::string* value) const;
    const char* parseDeclaration(const char* p, std::string* encoding) const;
    static const char* parseComment(const char* p);
    const char* parseCData(const char* p) const;
    static const char* parseUnknown(const char* p);
    const char* parseText(const char* p) const;

    const int m_maxDepth;
    const int m_maxAttributes;
    Encoding m_encoding = ENC_UNKNOWN;
    int m_deepest = 0;
    uint64_t m_costLimit = UINT64_MAX;
    uint64_t m_elements = 0;
    uint64_t m_attributes = 0;
    bool m_overCost = false;
};

// Byte lengths of UTF-8 sequences by lead byte, as TinyXML steps over them.
int utf8Length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

const char* ParseWalk::skipWhiteSpace(const char* p) const {
    if (!p || !*p) return nullptr;
    while (*p) {
        const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
        if (m_encoding == ENC_UTF8 && u[0] == 0xEF &&
            ((u[1] == 0xBB && u[2] == 0xBF) || (u[1] == 0xBF && u[2] == 0xBE) || (u[1] == 0xBF && u[2] == 0xBF))) {
            p += 3;
            continue;
        }
        if (!isWhiteSpace(*p)) break;
        ++p;
    }
    return p;
}

bool ParseWalk::stringEqual(const char* p, const char* tag, bool ignoreCase) const {
    if (!p || !*p) return false;
    const char* q = p;
    if (ignoreCase) {
        auto lower = [this](char c) {
            const int v = static_cast<unsigned char>(c);
            return (m_encoding == ENC_UTF8 && v >= 128) ? v : std::tolower(v);
        };
        while (*q && *tag && lower(*q) == lower(*tag)) {
            ++q;
            ++tag;
        }
    } else {
        while (*q && *tag && *q == *tag) {
            ++q;
            ++tag;
        }
    }
    return *tag == 0;
}

const char* ParseWalk::getChar(const char* p, std::string* out) const {
    const int length = m_encoding == ENC_UTF8 ? utf8Length(static_cast<unsigned char>(*p)) : 1;
    if (length == 1) {
        if (*p == '&') return getEntity(p, out);
        if (out) *out += *p;
        return p + 1;
    }
    if (out)
        for (int i = 0; p[i] && i < length; ++i) *out += p[i];
    return p + length;  // may step past the terminating zero: the padding is there for this
}

const char* ParseWalk::getEntity(const char* p, std::string* out) const {
    if (p[1] == '#' && p[2]) {
        unsigned long ucs = 0;
        unsigned long mult = 1;
        const char* q;
        if (p[2] == 'x') {
            if (!p[3]) return nullptr;
            q = std::strchr(p + 3, ';');
            if (!q) return nullptr;
            const char* digit = q - 1;
            // The digits are read backwards up to the nearest "x", wherever that is.
            for (; *digit != 'x'; --digit) {
                const char c = *digit;
                if (c >= '0' && c <= '9') ucs += mult * static_cast<unsigned long>(c - '0');
                else if (c >= 'a' && c <= 'f') ucs += mult * static_cast<unsigned long>(c - 'a' + 10);
                else if (c >= 'A' && c <= 'F') ucs += mult * static_cast<unsigned long>(c - 'A' + 10);
                else return nullptr;
                mult *= 16;
            }
        } else {
            q = std::strchr(p + 2, ';');
            if (!q) return nullptr;
            for (const char* digit = q - 1; *digit != '#'; --digit) {
                if (*digit < '0' || *digit > '9') return nullptr;
                ucs += mult * static_cast<unsigned long>(*digit - '0');
                mult *= 10;
            }
        }
        if (out) {
            // Only the leading ASCII of values matters to the walk.
            if (ucs < 0x80) *out += static_cast<char>(ucs);
            else *out += '\x80';
        }
        return q + 1;
    }
    static const struct {
        const char* text;
        char value;
    } entities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& entity : entities) {
        const size_t n = std::strlen(entity.text);
        if (std::strncmp(entity.text, p, n) == 0) {
            if (out) *out += entity.value;
            return p + n;
        }
    }
    return p + 1;  // an unknown "&" is dropped
}

const char* ParseWalk::readText(const char* p, const char* endTag, std::string* out) const {
    while (p && *p && !stringEqual(p, endTag, false)) p = getChar(p, out);
    if (p && *p) p += std::strlen(endTag);
    return (p && *p) ? p : nullptr;
}

const char* ParseWalk::readName(const char* p) {
    if (!p || !*p || !(isAlpha(static_cast<unsigned char>(*p)) || *p == '_')) return nullptr;
    while (*p && (isAlphaNum(static_cast<unsigned char>(*p)) || *p == '_' || *p == '-' || *p == '.' || *p == ':')) ++p;
    return p;
}

ParseWalk::Kind ParseWalk::identify(const char* p) const {
    p = skipWhiteSpace(p);
    if (!p || *p != '<') return NONE;
    if (stringEqual(p, "<?xml", true)) return DECLARATION;
    if (stringEqual(p, "<!--", false)) return COMMENT;
    if (stringEqual(p, "<![CDATA[", false)) return CDATA;
    if (stringEqual(p, "<!", false)) return UNKNOWN;
    if (isAlpha(static_cast<unsigned char>(p[1])) || p[1] == '_') return ELEMENT;
    return UNKNOWN;
}

const char* ParseWalk::parseAttribute(const char* p, std::string* value) const {
    p = skipWhiteSpace(p);
    if (!p || !*p) return nullptr;
    p = readName(p);
    if (!p || !*p) return nullptr;
    p = skipWhiteSpace(p);
    if (!p || *p != '=') return nullptr;
    p = skipWhiteSpace(p + 1);
    if (!p || !*p) return nullptr;
    if (*p == '\'') return readText(p + 1, "'", value);
    if (*p == '"') return readText(p + 1, "\"", value);
    while (*p && !isWhiteSpace(*p) && *p != '/' && *p != '>') {
        if (*p == '\'' || *p == '"') return nullptr;
        if (value) *value += *p;
        ++p;
    }
    return p;
}

const char* ParseWalk::parseDeclaration(const char* p, std::string* encoding) const {
    p = skipWhiteSpace(p);
    if (!p || !stringEqual(p, "<?xml", true)) return nullptr;
    p += 5;
    while (p && *p) {
        if (*p == '>') return p + 1;
        p = skipWhiteSpace(p);
        // Text ending in white space inside a declaration: some TinyXML builds
        // stop on an assertion here; none reads on.
        if (!p || !*p) return nullptr;
        if (stringEqual(p, "version", true) || stringEqual(p, "standalone", true)) {
            p = parseAttribute(p, nullptr);
        } else if (stringEqual(p, "encoding", true)) {
            encoding->clear();
            p = parseAttribute(p, encoding);
        } else {
            while (*p && *p != '>' && !isWhiteSpace(*p)) ++p;
        }
    }
    return nullptr;
}

const char* ParseWalk::parseComment(const char* p) {
    p += 4;  // "<!--", as identified
    while (*p && std::strncmp(p, "-->", 3) != 0) ++p;
    return *p ? p + 3 : p;
}

const char* ParseWalk::parseCData(const char* p) const {
    p += 9;  // "<![CDATA[", as identified
    while (*p && !stringEqual(p, "]]>", false)) ++p;
    return readText(p, "]]>", nullptr);
}

const char* ParseWalk::parseUnknown(const char* p) {
    ++p;  // "<", as identified
    while (*p && *p != '>') ++p;
    return *p == '>' ? p + 1 : p;
}

const char* ParseWalk::parseText(const char* p) const {
    p = readText(p, "<", nullptr);
    return (p && *p) ? p - 1 : nullptr;  // the "<" starts the next node
}

bool ParseWalk::run(const char* p) {
    if (!p || !*p) return true;  // the parser reports an empty document
    const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
    if (u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) m_encoding = ENC_UTF8;
    std::vector<OpenElement> open;
    std::unordered_set<std::string> names;  // attribute names of the element being read
    p = skipWhiteSpace(p);
    for (;;) {
        // At document level, or inside the content of the innermost open element.
        if (!p || !*p) return true;  // the end: any element still open fails to parse
        Kind kind;
        if (open.empty()) {
            kind = identify(p);
            if (kind == NONE) return true;
        } else if (*p != '<') {
            p = skipWhiteSpace(parseText(p));
            continue;
        } else if (stringEqual(p, "</", false)) {
            // The end tag must name the innermost element.
            const OpenElement& element = open.back();
            if (std::strncmp(p + 2, element.name, element.length) != 0) return true;
            p = skipWhiteSpace(p + 2 + element.length);
            if (!p || *p != '>') return true;
            open.pop_back();
            p = skipWhiteSpace(p + 1);
            continue;
        } else {
            kind = identify(p);
        }
        p = skipWhiteSpace(p);
        switch (kind) {
        case NONE: return true;
        case DECLARATION: {
            std::string encoding;
            p = parseDeclaration(p, &encoding);
            if (p && open.empty() && m_encoding == ENC_UNKNOWN) {
                const bool utf8 = encoding.empty() || stringEqual(encoding.c_str(), "UTF-8", true) ||
                                  stringEqual(encoding.c_str(), "UTF8", true);
                m_encoding = utf8 ? ENC_UTF8 : ENC_LEGACY;
            }
            break;
        }
        case COMMENT: p = parseComment(p); break;
        case CDATA: p = parseCData(p); break;
        case UNKNOWN: p = parseUnknown(p); break;
        case ELEMENT: {
            // The parser links the element into the tree before reading it.
            const int depth = static_cast<int>(open.size()) + 1;
            if (depth > m_deepest) m_deepest = depth;
            if (depth > m_maxDepth) return false;
            const char* name = skipWhiteSpace(p + 1);
            const char* q = readName(name);
            if (!q || !*q) return true;
            const size_t length = static_cast<size_t>(q - name);
            int attributes = 0;
            bool opened = false;
            names.clear();
            for (;;) {
                q = skipWhiteSpace(q);
                if (!q || !*q) return true;
                if (*q == '/') {
                    if (q[1] != '>') return true;
                    q += 2;
                    break;
                }
                if (*q == '>') {
                    ++q;
                    opened = true;
                    break;
                }
                if (++attributes > m_maxAttributes) return false;
                const char* attributeName = skipWhiteSpace(q);
                q = parseAttribute(q, nullptr);
                if (!q || !*q) return true;
                // The parser fails on an attribute name met twice in one element.
                const char* nameEnd = readName(attributeName);
                if (!names.insert(std::string(attributeName, static_cast<size_t>(nameEnd - attributeName))).second) return true;
            }
            p = q;
            if (opened) open.push_back({name, length});
            ++m_elements;
            m_attributes += static_cast<uint64_t>(attributes);
            if (cost() > m_costLimit) {
                m_overCost = true;
                return false;
            }
            break;
        }
        }
        p = skipWhiteSpace(p);
    }
}

}  // namespace

bool XmlDocument::withinLimits(const char* paddedText) {
    return ParseWalk(MAX_PARSE_DEPTH, MAX_ATTRIBUTES_PER_ELEMENT).run(paddedText);
}

bool XmlDocument::parsePadded(std::string* text, const std::shared_ptr<XmlMemoryBudget>& budget) {
    // Large children kept as text and white space kept as written need the text
    // changed before the parse, and the tree mended after it.
    std::vector<std::string> asText;
    if (!m_textParent.empty()) {
        std::string rest = setAsideChildren(*text, m_textParent, m_textMarkers, m_textMinSize, MAX_PARSE_DEPTH - 2,
                                            MAX_ATTRIBUTES_PER_ELEMENT, &asText);
        if (!asText.empty()) text->swap(rest);
    }
    std::string kept;
    const bool protect = m_keepWhiteSpace && protectWhiteSpace(*text, &kept);
    if (protect) text->swap(kept);
    kept = std::string();
    const size_t length = text->size();
    // TinyXML steps over a whole UTF-8 sequence, or an entity, at once, and so
    // can step past the terminating zero of text that ends inside one; the
    // zeros after it keep every such read inside the buffer.
    text->append(PARSE_PADDING, '\0');
    if (!parseInPlace(text->c_str(), length, budget)) return false;
    if (protect) joinTexts(this);
    if (!asText.empty()) restoreChildren(this, m_textParent, &asText);
    return true;
}

bool XmlDocument::parsePaddedText(const char* text, size_t length, const std::shared_ptr<XmlMemoryBudget>& budget) {
    if (m_keepWhiteSpace || !m_textParent.empty()) {
        std::string copy(text, length);
        return parsePadded(&copy, budget);
    }
    return parseInPlace(text, length, budget);
}

bool XmlDocument::parseInPlace(const char* text, size_t length, const std::shared_ptr<XmlMemoryBudget>& budget) {
    Clear();
    ClearError();
    releaseCharge();
    m_refusedCost = 0;
    const uint64_t textBytes = length;
    ParseWalk walk(MAX_PARSE_DEPTH, MAX_ATTRIBUTES_PER_ELEMENT);
    // The walk stops as soon as the parse would cost more than the budget has left.
    if (budget) walk.limitCost(budget->left() > textBytes ? budget->left() - textBytes : 0);
    const bool within = walk.run(text);
    m_elements = walk.elements();
    if (!within) {
        if (walk.overCost()) m_refusedCost = textBytes + walk.cost();
        SetError(TIXML_ERROR_PARSING_ELEMENT, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    if (budget) {
        const uint64_t cost = textBytes + walk.cost();
        if (!budget->spend(cost)) {  // the walk checked it; kept for safety
            m_refusedCost = cost;
            SetError(TIXML_ERROR_PARSING_ELEMENT, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
            return false;
        }
        m_budget = budget;
        m_charged = cost;
    }
    Parse(text, nullptr, TIXML_DEFAULT_ENCODING);
    return !Error();
}

bool XmlDocument::isWithinParseLimits(const char* text, size_t length) {
    if (!text) return true;
    // The parser stops at the first zero byte; so does the walk, even where a
    // UTF-8 sequence would step over it.
    std::string padded(text, strnlen(text, length));
    padded.append(PARSE_PADDING, '\0');
    return withinLimits(padded.c_str());
}

int XmlDocument::parseNestingDepth(const char* text, size_t length) {
    if (!text) return 0;
    // The parser stops at the first zero byte; so does the walk, even where a
    // UTF-8 sequence would step over it.
    std::string padded(text, strnlen(text, length));
    padded.append(PARSE_PADDING, '\0');
    ParseWalk walk(INT_MAX, INT_MAX);
    walk.run(padded.c_str());
    return walk.deepest();
}

}  // namespace rep
}  // namespace kiv
