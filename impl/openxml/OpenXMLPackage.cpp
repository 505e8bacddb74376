#include "impl/openxml/OpenXMLPackage.h"
#include "LibCore/lfwText.h"
#include "LibCore/lfwStagedFiles.h"
#include "impl/openxml/OpenXMLPaths.h"
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <unordered_set>

namespace kiv {
namespace rep {

using OpenXMLPaths::partNameOf;

namespace {

// An entry's stored name as the package names parts.
std::string storedName(const ZipArchive& zip, int entry) {
    const std::string name = zip.getStoredName(entry);
    return lfw::text::validUtf8(name.substr(0, name.find('\0')));
}

const char* const RELATIONSHIPS_NAMESPACE = "http://schemas.openxmlformats.org/package/2006/relationships";
const char* const CONTENT_TYPES_NAMESPACE = "http://schemas.openxmlformats.org/package/2006/content-types";

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

// The element's name without its namespace prefix.
std::string localName(const XmlElement& e) {
    const std::string name = e.getName();
    const size_t colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

std::string quoted(const std::string& name) { return std::string("'") + name + "'"; }

// Relationships whose id their source part names in an attribute (r:embed,
// r:id, o:relid, ...): a part that no longer names the id no longer uses them.
bool namedById(const OpenXMLRelationship& r) {
    if (r.external) return false;
    const std::string& type = r.type;
    const size_t slash = type.rfind('/');
    const std::string kind = slash == std::string::npos ? type : type.substr(slash + 1);
    return kind == "image" || kind == "control" || kind == "chart" || kind == "package" || kind == "oleObject";
}

// The lower-case extension of a part name, without the dot; empty when none.
std::string extensionOf(const std::string& name) {
    const std::string& n = name;
    const size_t slash = n.rfind('/');
    const size_t dot = n.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
    return lower(n.substr(dot + 1));
}

// The number n of an id "rId<n>", or -1.
long long rIdNumber(const std::string& id) {
    if (id.size() <= 3 || id.size() > 18 || id.compare(0, 3, "rId") != 0) return -1;
    long long n = 0;
    for (size_t i = 3; i < id.size(); ++i) {
        if (id[i] < '0' || id[i] > '9') return -1;
        n = n * 10 + (id[i] - '0');
    }
    return n;
}

void appendUtf8(std::string* out, unsigned long c) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// An attribute value as written, with its entity and character references decoded.
std::string decodeValue(const std::string& value) {
    if (value.find('&') == std::string::npos) return value;
    static const struct {
        const char* name;
        char c;
    } entities[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const size_t semi = value[i] == '&' ? value.find(';', i) : std::string::npos;
        if (semi == std::string::npos) {
            out += value[i];
            continue;
        }
        const std::string ref = value.substr(i + 1, semi - i - 1);
        bool known = false;
        if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x' || ref[1] == 'X';
            const std::string digits = ref.substr(hex ? 2 : 1);
            if (!digits.empty() && digits.size() <= 8 &&
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos) {
                appendUtf8(&out, std::stoul(digits, nullptr, hex ? 16 : 10));
                known = true;
            }
        }
        for (const auto& e : entities)
            if (!known && ref == e.name) {
                out += e.c;
                known = true;
            }
        if (!known) {
            out += value[i];
            continue;
        }
        i = semi;
    }
    return out;
}

// Takes from `ids` every id that an attribute value of the XML-like text holds
// (a quoted text after "=", references decoded). Reads text that is not
// well-formed too (legacy VML drawings), and, generously, quoted texts in
// element content: keeping a relationship too many is harmless.
void removeNamedInText(const std::string& text, std::unordered_set<std::string>* ids) {
    for (size_t i = text.find('='); i != std::string::npos && !ids->empty(); i = text.find('=', i + 1)) {
        size_t q = i + 1;
        while (q < text.size() && (text[q] == ' ' || text[q] == '\t' || text[q] == '\r' || text[q] == '\n')) ++q;
        if (q >= text.size() || (text[q] != '"' && text[q] != '\'')) continue;
        const size_t end = text.find(text[q], q + 1);
        if (end == std::string::npos) return;
        if (end - q - 1 <= 1024) ids->erase(decodeValue(text.substr(q + 1, end - q - 1)));
        i = end;
    }
}

// The same for a parsed document: every attribute of every element.
void removeNamedInElements(const TiXmlNode* node, std::unordered_set<std::string>* ids) {
    for (const TiXmlNode* c = node->FirstChild(); c && !ids->empty(); c = c->NextSibling()) {
        if (const TiXmlUnknown* text = c->ToUnknown()) removeNamedInText(text->ValueStr(), ids);  // content kept as text
        const TiXmlElement* e = c->ToElement();
        if (!e) continue;
        for (const TiXmlAttribute* a = e->FirstAttribute(); a; a = a->Next()) ids->erase(a->ValueStr());
        removeNamedInElements(e, ids);
    }
}

// The name with its zero bytes shown, for messages.
std::string printableName(const std::string& raw) {
    std::string shown;
    for (char c : raw) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
    return lfw::text::validUtf8(shown);
}

// Folder, stem without its trailing digits, those digits' value and the
// extension (from the first dot) of a part name.
struct Family {
    std::string prefix;  // folder and stem
    std::string extension;
    long long number = 0;
    bool numbered = false;
};
Family familyOf(const std::string& partName) {
    const std::string name = partNameOf(partName);
    const size_t slash = name.rfind('/');
    const size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = name.find('.', fileStart);
    if (dot == std::string::npos) dot = name.size();
    size_t digits = dot;
    while (digits > fileStart && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    Family f;
    f.prefix = name.substr(0, digits);
    f.extension = name.substr(dot);
    if (dot - digits > 0 && dot - digits <= 15) {
        f.numbered = true;
        for (size_t i = digits; i < dot; ++i) f.number = f.number * 10 + (name[i] - '0');
    }
    return f;
}

}  // namespace

// ---------------------------------------------------------------------------
// Relationships

namespace {
// Lists up to this long are searched in place, longer ones through their indexes.
const size_t SEARCHED_IN_PLACE = 16;
}  // namespace

std::string OpenXMLRelationships::targetKey(const OpenXMLRelationship& r) {
    return r.type + (r.external ? "\x01E" : "\x01P") + (r.external ? r.target : OpenXMLPackage::keyOf(r.part));
}

void OpenXMLRelationships::index(size_t index) const {
    const OpenXMLRelationship& r = m_items[index];
    m_byId.emplace(r.id, index);
    // The first of a type and target wins.
    if (!m_byTarget.emplace(targetKey(r), index).second) m_sharedTargets = true;
}

bool OpenXMLRelationships::indexed() const {
    // Once indexed, a list stays indexed (Drop keeps the indexes in step).
    if (m_indexed) return true;
    if (m_items.size() <= SEARCHED_IN_PLACE) return false;
    for (size_t i = 0; i < m_items.size(); ++i) index(i);
    m_indexed = true;
    return true;
}

void OpenXMLRelationships::compact() const {
    if (m_droppedCount == 0) return;
    size_t kept = 0;
    for (size_t i = 0; i < m_items.size(); ++i)
        if (!m_dropped[i]) {
            if (kept != i) m_items[kept] = std::move(m_items[i]);
            ++kept;
        }
    m_items.resize(kept);
    m_dropped.clear();
    m_droppedCount = 0;
    m_byId.clear();
    m_byTarget.clear();
    m_sharedTargets = false;
    for (size_t i = 0; i < m_items.size(); ++i) index(i);
}

const OpenXMLRelationship* OpenXMLRelationships::find(const std::string& id) const {
    if (!indexed()) {
        for (const OpenXMLRelationship& r : m_items)
            if (r.id == id) return &r;
        return nullptr;
    }
    const auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : &m_items[it->second];
}

const OpenXMLRelationship* OpenXMLRelationships::find(const std::string& type, const std::string& target, bool external) const {
    OpenXMLRelationship wanted;
    wanted.type = type;
    wanted.external = external;
    (external ? wanted.target : wanted.part) = target;
    if (!indexed()) {
        const std::string key = targetKey(wanted);
        for (const OpenXMLRelationship& r : m_items)
            if (r.type == type && r.external == external && targetKey(r) == key) return &r;
        return nullptr;
    }
    const auto it = m_byTarget.find(targetKey(wanted));
    return it == m_byTarget.end() ? nullptr : &m_items[it->second];
}

std::string OpenXMLRelationships::relate(const std::string& type, const std::string& target, bool external) {
    if (const OpenXMLRelationship* r = find(type, target, external)) return r->id;
    return add(type, target, external);
}

std::string OpenXMLRelationships::add(const std::string& type, const std::string& target, bool external, const std::string& id) {
    const std::string newId = id.empty() ? nextId() : id;
    if (find(newId)) {
        m_package->fail(quoted(m_source) + " has a relationship " + quoted(newId) + " already");
        return std::string();
    }
    if (lfw::text::isBlank(target)) {
        m_package->fail(std::string("A relationship of ") + quoted(m_source) + " needs a target");
        return std::string();
    }
    OpenXMLRelationship r;
    r.id = newId;
    r.type = type;
    r.external = external;
    if (external) {
        r.target = target;
    } else {
        const OpenXMLPart* part = m_package->part(target);
        r.part = part ? part->name() : partNameOf(target);
        r.target = OpenXMLPaths::relativeTarget(m_source, r.part);
    }
    append(std::move(r));
    m_changed = true;
    return newId;
}

bool OpenXMLRelationships::drop(const std::string& id) {
    const OpenXMLRelationship* r = find(id);
    if (!r) return false;
    const size_t at = static_cast<size_t>(r - m_items.data());
    m_changed = true;
    // Ids given out stay given out (m_largest).
    if (!m_indexed) {
        m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(at));
        return true;
    }
    // An indexed list marks it (see m_items): a presentation that loses many
    // slides would otherwise move its list, or index it anew, after each of them.
    m_byId.erase(r->id);
    const auto target = m_byTarget.find(targetKey(*r));
    const bool first = target != m_byTarget.end() && target->second == at;
    if (first) m_byTarget.erase(target);
    if (m_dropped.empty()) m_dropped.assign(m_items.size(), false);
    m_dropped[at] = true;
    ++m_droppedCount;
    // Another relationship to that target may now come first.
    if (first && m_sharedTargets) compact();
    return true;
}

std::string OpenXMLRelationships::nextId() const { return "rId" + std::to_string(m_largest + 1); }

void OpenXMLRelationships::append(OpenXMLRelationship relationship) {
    m_items.push_back(std::move(relationship));
    if (!m_dropped.empty()) m_dropped.push_back(false);
    m_largest = std::max(m_largest, rIdNumber(m_items.back().id));
    if (m_indexed) index(m_items.size() - 1);
}

bool OpenXMLRelationships::load(const XmlDocument& document, const std::string& relsName, bool indented) {
    m_indented = indented;
    const XmlElement root = document.getRootElement();
    if (!root || localName(root) != "Relationships") return m_package->fail(quoted(relsName) + " is not a relationships part");
    for (XmlElement e = root.getFirstChildElement(); e; e = e.getNextSiblingElement()) {
        if (localName(e) != "Relationship") continue;
        OpenXMLRelationship r;
        r.id = e.getAttributeString("Id");
        if (lfw::text::isBlank(r.id)) return m_package->fail(quoted(relsName) + " has a relationship without an id");
        if (find(r.id)) return m_package->fail(quoted(relsName) + " has two relationships with the id " + quoted(r.id));
        r.type = e.getAttributeString("Type");
        r.target = e.getAttributeString("Target");
        r.external = lower(e.getAttributeString("TargetMode")) == "external";
        if (!r.external) {
            const std::string resolved = OpenXMLPaths::resolvePartName(m_source, r.target);
            const OpenXMLPart* part = resolved.empty() ? nullptr : m_package->part(resolved);
            r.part = part ? part->name() : resolved;
        }
        append(std::move(r));
    }
    m_changed = false;
    return true;
}

std::string OpenXMLRelationships::serialize(const std::vector<bool>& keep) const {
    compact();  // keep counts the relationships left
    // The text XmlDocument would print, written without building one.
    auto attribute = [](std::string* out, const char* name, const std::string& value) {
        const char quote = value.find('"') == std::string::npos ? '"' : '\'';
        *out += ' ';
        *out += name;
        *out += '=';
        *out += quote;
        xmlAppendEscaped(out, value);
        *out += quote;
    };
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>";
    if (m_indented) out += "\n";
    out += "<Relationships";
    attribute(&out, "xmlns", std::string(RELATIONSHIPS_NAMESPACE));
    std::string items;
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (!keep.empty() && !keep[i]) continue;
        const OpenXMLRelationship& r = m_items[i];
        if (m_indented) items += "    ";
        items += "<Relationship";
        attribute(&items, "Id", r.id);
        attribute(&items, "Type", r.type);
        attribute(&items, "Target", r.target);
        if (r.external) attribute(&items, "TargetMode", "External");
        items += m_indented ? " />\n" : " />";
    }
    const char* lineBreak = m_indented ? "\n" : "";
    out += items.empty() ? std::string(" />") + lineBreak : ">" + (lineBreak + items) + "</Relationships>" + lineBreak;
    return out;
}

// ---------------------------------------------------------------------------
// Parts

bool OpenXMLPart::readStored(std::string* bytes) {
    bytes->clear();
    return m_entry < 0 || m_package->readEntry(m_entry, bytes, m_name);
}

bool OpenXMLPart::readStoredRels(std::string* bytes) {
    bytes->clear();
    return m_relsEntry >= 0 && m_package->readEntry(m_relsEntry, bytes, OpenXMLPaths::relsPartName(m_name));
}

std::string OpenXMLPart::print() const { return m_xml ? m_xml->printToString(printsIndented()) : std::string(); }

void OpenXMLPart::ownBytes() {
    if (!m_view) return;
    m_bytes.assign(m_view, m_viewSize);
    m_view = nullptr;
    m_viewSize = 0;
}

const std::string* OpenXMLPart::bytes() {
    ownBytes();
    if (m_xmlIsContent) {
        m_bytes = print();
        return &m_bytes;
    }
    if (!m_bytesAreContent && !m_haveBytes) {
        if (!readStored(&m_bytes)) return nullptr;
        m_haveBytes = true;
    }
    return &m_bytes;
}

bool OpenXMLPart::readBytes(std::string* bytes) {
    if (m_view) {
        bytes->assign(m_view, m_viewSize);
        return true;
    }
    if (m_xmlIsContent || m_bytesAreContent || m_haveBytes) {
        const std::string* content = this->bytes();
        if (!content) return false;
        *bytes = *content;
        return true;
    }
    return readStored(bytes);
}

void OpenXMLPart::setBytesView(const void* data, size_t size) {
    setBytes(std::string());
    m_view = size ? static_cast<const char*>(data) : nullptr;
    m_viewSize = m_view ? size : 0;
}

void OpenXMLPart::setBytes(std::string bytes) {
    m_view = nullptr;
    m_viewSize = 0;
    m_bytes = std::move(bytes);
    m_bytesAreContent = true;
    m_haveBytes = false;
    m_xml.reset();
    m_xmlIsContent = false;
}

const XmlDocument* OpenXMLPart::xml() {
    if (m_xml) return m_xml.get();
    ownBytes();
    std::string stored;
    const std::string* text = &m_bytes;
    if (!m_bytesAreContent && !m_haveBytes) {
        if (!readStored(&stored)) return nullptr;
        text = &stored;
    }
    std::unique_ptr<XmlDocument> document = m_package->newXml(m_name);
    if (!m_package->parseXml(*text, m_name, document.get())) return nullptr;
    m_indented = XmlDocument::looksIndented(text->data(), text->size());
    m_xml = std::move(document);
    return m_xml.get();
}

XmlDocument* OpenXMLPart::editXml() {
    if (!xml()) return nullptr;
    m_xmlIsContent = true;
    m_bytesAreContent = false;
    m_haveBytes = false;
    std::string().swap(m_bytes);
    m_view = nullptr;
    m_viewSize = 0;
    return m_xml.get();
}

void OpenXMLPart::setXml(std::unique_ptr<XmlDocument> document) {
    if (!document) document = std::make_unique<XmlDocument>();
    m_xml = std::move(document);
    m_xmlIsContent = true;
    m_bytesAreContent = false;
    m_haveBytes = false;
    std::string().swap(m_bytes);
    m_view = nullptr;
    m_viewSize = 0;
}

void OpenXMLPart::releaseXml() {
    if (m_xmlIsContent) {
        m_bytes = print();
        m_bytes.shrink_to_fit();  // kept until the package is saved
        m_bytesAreContent = true;
        m_xmlIsContent = false;
    }
    m_xml.reset();
}

OpenXMLRelationships* OpenXMLPart::rels() {
    if (!m_rels) {
        std::unique_ptr<OpenXMLRelationships> rels(new OpenXMLRelationships(m_package, m_name));
        if (!m_package->loadRels(rels.get(), m_relsEntry)) return nullptr;
        m_rels = std::move(rels);
    }
    return m_rels.get();
}

OpenXMLPart* OpenXMLPart::related(const std::string& id) {
    OpenXMLRelationships* rels = this->rels();
    return rels ? m_package->part(rels->find(id)) : nullptr;
}

// ---------------------------------------------------------------------------
// Package: opening

OpenXMLPackage::OpenXMLPackage() { reset(); }

OpenXMLPackage::~OpenXMLPackage() { m_zip.close(); }

void OpenXMLPackage::reset() {
    m_zip.close();
    m_parts.clear();
    m_byName.clear();
    m_rels.reset(new OpenXMLRelationships(this, std::string()));  // empty until a package is open
    m_relsEntry = -1;
    m_types.clear();
    m_typesIndented = false;
    m_families.clear();
    m_error.clear();
}

bool OpenXMLPackage::fail(const std::string& message) const {
    m_error = message;
    return false;
}

std::string OpenXMLPackage::keyOf(const std::string& name) {
    const std::string& s = name;
    if (s.find('%') != std::string::npos) return lower(OpenXMLPaths::percentDecode(partNameOf(name)));
    // partName and lower in one pass: names are looked up often.
    size_t skip = 0;
    while (skip < s.size() && (s[skip] == '/' || s[skip] == '\\')) ++skip;
    std::string key(s, skip);
    for (char& c : key) {
        if (c == '\\') c = '/';
        else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return key;
}

bool OpenXMLPackage::open(const std::string& path) {
    reset();
    if (!m_zip.open(path.c_str(), ZIP_OPEN_READ_ONLY)) return fail(quoted(path) + " cannot be opened as a package");
    return openArchive();
}

bool OpenXMLPackage::openArchive() {
    int typesEntry = -1;
    std::vector<std::pair<std::string, int>> relsEntries;
    std::unordered_set<std::string> seen;
    bool ok = true;
    for (int i = 0; ok && i < m_zip.getNumFiles(); ++i) {
        CZipEntryInfo info;
        if (!m_zip.getEntryInfo(i, &info) || info.directory) continue;
        if (info.name.find('\0') != std::string::npos || info.name.find('\\') != std::string::npos) {
            ok = fail("Entry " + quoted(printableName(info.name)) + " of the package is not a part name");
            break;
        }
        const std::string name = lfw::text::validUtf8(info.name);
        const std::string key = keyOf(name);
        if (!seen.insert(key).second) {
            ok = fail(quoted(name) + " is in the package twice");
            break;
        }
        std::string source;
        if (key == lower(CONTENT_TYPES_PART)) typesEntry = i;
        else if (OpenXMLPaths::relsSourceName(name, &source)) relsEntries.emplace_back(keyOf(source), i);
        else newPart(partNameOf(name))->m_entry = i;
    }
    if (ok && typesEntry < 0) ok = fail(std::string("The package has no [Content_Types].xml"));
    ok = ok && readContentTypes(typesEntry);
    for (const auto& rels : relsEntries) {
        if (rels.first.empty()) {
            m_relsEntry = rels.second;
        } else {
            const auto part = m_byName.find(rels.first);
            if (part != m_byName.end()) part->second->m_relsEntry = rels.second;
        }
    }
    if (ok && m_relsEntry < 0) ok = fail(std::string("The package has no package relationships (_rels/.rels)"));
    if (ok) {
        m_rels.reset(new OpenXMLRelationships(this, std::string()));
        ok = loadRels(m_rels.get(), m_relsEntry);
    }
    if (!ok) {
        const std::string error = m_error;
        reset();
        m_error = error;
    }
    return ok;
}

bool OpenXMLPackage::readEntry(int entry, std::string* bytes, const std::string& part) const {
    if (!const_cast<ZipArchive&>(m_zip).readDataInto(m_zip.getStoredName(entry), bytes))
        return fail("Part " + quoted(part) + " cannot be read from the package");
    return true;
}

bool OpenXMLPackage::parseXml(const std::string& bytes, const std::string& part, XmlDocument* document) const {
    if (std::memchr(bytes.data(), 0, bytes.size()))
        return fail("Part " + quoted(part) + " holds a zero byte: it is not XML in UTF-8");
    document->keepWhiteSpaceInText();
    return document->parseText(bytes.c_str(), m_zip.xmlBudget()) || whyNotParsed(bytes.c_str(), bytes.size(), part, *document);
}

bool OpenXMLPackage::whyNotParsed(const char* text, size_t size, const std::string& part, const XmlDocument& document) const {
    if (document.refusedCost() > 0) {
        return fail(
            lfw::text::format("The part '%s' holds more XML than the report has memory left for (%llu bytes for more "
                              "than %llu elements); it is not read",
                              part.c_str(), static_cast<unsigned long long>(document.refusedCost()),
                              static_cast<unsigned long long>(document.elements())));
    }
    if (!XmlDocument::isWithinParseLimits(text, size))
        return fail("Part " + quoted(part) + " nests its elements too deeply or gives one too many attributes");
    return fail(lfw::text::format("Part '%s' is not well-formed XML: %s (line %d, column %d)", part.c_str(), document.ErrorDesc(),
                                  document.ErrorRow(), document.ErrorCol()));
}

bool OpenXMLPackage::readContentTypes(int entry) {
    const std::string name(CONTENT_TYPES_PART);
    // Read as the zip layer reads every XML part (ZipArchive::parseXmlEntry):
    // the text is charged to the budget before it is inflated, for as long as it
    // is held, and parsed where it lies. One that inflates hugely is refused
    // before it is read, or as soon as its elements outgrow what is left.
    const std::shared_ptr<XmlMemoryBudget>& budget = m_zip.xmlBudget();
    uint64_t declared = 0;
    if (!m_zip.getFileSize(entry, &declared) || !budget->spend(declared)) {
        return fail(lfw::text::format("The part '%s' inflates to %llu bytes, more than the report has left to read", name.c_str(),
                                      static_cast<unsigned long long>(declared)));
    }
    size_t size = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> text(m_zip.readDataRaw(m_zip.getStoredName(entry), &size), std::free);
    // Room for the zeros the parser needs after the text (made in place for a large one).
    void* padded = text ? std::realloc(text.get(), size + XmlDocument::PARSE_PADDING) : nullptr;
    if (padded) {
        text.release();
        text.reset(static_cast<unsigned char*>(padded));
        std::memset(text.get() + size, 0, XmlDocument::PARSE_PADDING);
    }
    const char* chars = reinterpret_cast<const char*>(text.get());
    XmlDocument types;
    bool parsed = false;
    if (!padded) fail("Part " + quoted(name) + " cannot be read from the package");
    else if (std::memchr(chars, 0, size)) fail("Part " + quoted(name) + " holds a zero byte: it is not XML in UTF-8");
    else parsed = types.parsePaddedText(chars, size, budget) || whyNotParsed(chars, size, name, types);
    budget->refund(declared);
    if (!parsed) return false;
    m_typesIndented = XmlDocument::looksIndented(chars, size);
    const XmlElement root = types.getRootElement();
    if (!root || localName(root) != "Types")
        return fail(std::string("[Content_Types].xml is not a content types part: its root is ") +
                    quoted(root ? root.getName() : std::string()));
    std::unordered_map<std::string, std::string> overrides;
    std::unordered_set<std::string> extensions;
    for (XmlElement e = root.getFirstChildElement(); e; e = e.getNextSiblingElement()) {
        const std::string type = e.getAttributeString("ContentType");
        if (lfw::text::isBlank(type)) continue;
        if (localName(e) == "Default") {
            const std::string extension = e.getAttributeString("Extension");
            const std::string key = lower(extension);
            if (!key.empty() && extensions.insert(key).second) m_types.push_back({true, extension, key, type});
        } else if (localName(e) == "Override") {
            const std::string name = e.getAttributeString("PartName");
            const std::string key = keyOf(name);
            if (!key.empty() && overrides.emplace(key, type).second) m_types.push_back({false, name, key, type});
        }
    }
    for (const auto& part : m_parts) {
        const auto it = overrides.find(keyOf(part->m_name));
        part->m_contentType = it != overrides.end() ? it->second : defaultContentType(extensionOf(part->m_name));
    }
    return true;
}

bool OpenXMLPackage::loadRels(OpenXMLRelationships* rels, int entry) {
    if (entry < 0) return true;
    const std::string name = storedName(m_zip, entry);
    std::string bytes;
    XmlDocument document;
    return readEntry(entry, &bytes, name) && parseXml(bytes, name, &document) &&
           rels->load(document, name, XmlDocument::looksIndented(bytes.data(), bytes.size()));
}

// ---------------------------------------------------------------------------
// Package: parts

OpenXMLPart* OpenXMLPackage::part(const std::string& name) const {
    const auto it = m_byName.find(keyOf(name));
    return it == m_byName.end() ? nullptr : it->second;
}

OpenXMLPart* OpenXMLPackage::part(const OpenXMLRelationship* relationship) const {
    if (!relationship || relationship->external || relationship->part.empty()) return nullptr;
    return part(relationship->part);
}

OpenXMLPart* OpenXMLPackage::newPart(const std::string& name) {
    m_parts.emplace_back(new OpenXMLPart(this, name));
    OpenXMLPart* part = m_parts.back().get();
    m_byName.emplace(keyOf(name), part);
    const Family family = familyOf(name);
    const auto cached = m_families.find(lower(family.prefix + '\x01' + family.extension));
    if (cached != m_families.end()) cached->second = std::max(cached->second, family.number);
    return part;
}

OpenXMLPart* OpenXMLPackage::addPart(const std::string& name, const std::string& contentType) {
    if (!isOpen()) {
        fail(std::string("No package is open"));
        return nullptr;
    }
    const std::string partName = partNameOf(name);
    const std::string key = keyOf(partName);
    if (key.empty() || key.back() == '/' || key.find('\0') != std::string::npos || key == lower(CONTENT_TYPES_PART) ||
        OpenXMLPaths::relsSourceName(partName, nullptr)) {
        fail(quoted(name) + " is not a part name");
        return nullptr;
    }
    if (m_byName.count(key)) {
        fail("Part " + quoted(partName) + " is in the package already");
        return nullptr;
    }
    OpenXMLPart* part = newPart(partName);
    part->m_contentType = contentType;
    return part;
}

OpenXMLPart* OpenXMLPackage::copyPart(OpenXMLPart* source, const std::string& name, bool withRelationships) {
    if (!source || &source->package() != this) {
        fail(std::string("A part of another package cannot be copied"));
        return nullptr;
    }
    OpenXMLRelationships* sourceRels = withRelationships ? source->rels() : nullptr;
    if (withRelationships && !sourceRels) return nullptr;
    OpenXMLPart* part = addPart(name, source->m_contentType);
    if (!part) return nullptr;
    part->m_indented = source->m_indented;
    part->m_compact = source->m_compact;
    if (source->m_xmlIsContent) {
        std::unique_ptr<XmlDocument> copy = newXml(part->m_name);
        copy->keepWhiteSpaceInText();
        for (const TiXmlNode* node = source->m_xml->FirstChild(); node; node = node->NextSibling())
            copy->LinkEndChild(node->Clone());
        part->setXml(std::move(copy));
    } else if (source->m_view) {
        part->setBytesView(source->m_view, source->m_viewSize);
    } else if (source->m_bytesAreContent) {
        part->setBytes(source->m_bytes);
    } else if (source->m_entry >= 0) {
        part->m_entry = source->m_entry;
        part->m_copied = true;
    }
    part->m_rels.reset(new OpenXMLRelationships(this, part->m_name));
    if (sourceRels) {
        part->m_rels->m_indented = sourceRels->m_indented;
        for (int i = 0; i < sourceRels->count(); ++i) {
            OpenXMLRelationship r = sourceRels->at(i);
            if (!r.external && this->part(r.part)) r.target = OpenXMLPaths::relativeTarget(part->m_name, r.part);
            part->m_rels->append(std::move(r));
        }
        part->m_rels->m_changed = true;
    }
    return part;
}

std::string OpenXMLPackage::nextPartName(const std::string& name) {
    const Family family = familyOf(name);
    const std::string key = lower(family.prefix + '\x01' + family.extension);
    auto cached = m_families.find(key);
    if (cached == m_families.end()) {
        long long largest = 0;
        for (const auto& part : m_parts) {
            const Family f = familyOf(part->m_name);
            if (f.numbered && lower(f.prefix + '\x01' + f.extension) == key) largest = std::max(largest, f.number);
        }
        cached = m_families.emplace(key, largest).first;
    }
    std::string next;
    for (long long n = cached->second + 1;; ++n) {
        next = std::string(family.prefix + std::to_string(n) + family.extension);
        if (!part(next)) break;
    }
    return next;
}

std::unique_ptr<XmlDocument> OpenXMLPackage::newXml(const std::string& part) const {
    std::unique_ptr<XmlDocument> document = m_xmlMaker ? m_xmlMaker(part) : nullptr;
    return document ? std::move(document) : std::make_unique<XmlDocument>();
}

std::string OpenXMLPackage::defaultContentType(const std::string& extension) const {
    std::string wanted = lower(extension);
    if (!wanted.empty() && wanted[0] == '.') wanted.erase(0, 1);
    for (const TypeEntry& t : m_types)
        if (t.isDefault && t.key == wanted) return t.type;
    return std::string();
}

void OpenXMLPackage::forgetContentType(const std::string& type) {
    const std::string forgotten = lower(type);
    m_types.erase(std::remove_if(m_types.begin(), m_types.end(), [&](const TypeEntry& t) { return lower(t.type) == forgotten; }),
                  m_types.end());
}

// ---------------------------------------------------------------------------
// Package: saving

struct OpenXMLPackage::Plan {
    std::vector<OpenXMLPart*> parts;  // to write, in package order
    // Relationships of which some are left out: which ones are written.
    std::unordered_map<const OpenXMLRelationships*, std::vector<bool>> kept;
};

bool OpenXMLPackage::makePlan(Plan* plan) {
    std::unordered_set<const OpenXMLPart*> reached;
    std::deque<OpenXMLPart*> queue;
    auto follow = [&](const OpenXMLRelationships& rels) {
        const auto kept = plan->kept.find(&rels);
        const std::string source = rels.source().empty() ? std::string("_rels/.rels") : rels.source();
        for (int i = 0; i < rels.count(); ++i) {
            const OpenXMLRelationship& r = rels.at(i);
            if (r.external || (kept != plan->kept.end() && !kept->second[static_cast<size_t>(i)])) continue;
            if (r.part.empty())
                return fail("Relationship " + quoted(r.id) + " of " + quoted(source) + " names " + quoted(r.target) +
                            ", which is outside the package");
            OpenXMLPart* part = this->part(r.part);
            if (!part)
                return fail("Relationship " + quoted(r.id) + " of " + quoted(source) + " names " + quoted(r.part) +
                            ", which is not in the package");
            if (reached.insert(part).second) queue.push_back(part);
        }
        return true;
    };
    if (!follow(*m_rels)) return false;
    while (!queue.empty()) {
        OpenXMLPart* part = queue.front();
        queue.pop_front();
        OpenXMLRelationships* rels = part->rels();
        if (!rels) return false;
        if (part->isChanged() || rels->isChanged()) {
            // Which relationships named by id the part still names.
            std::unordered_set<std::string> unnamed;
            for (int i = 0; i < rels->count(); ++i)
                if (namedById(rels->at(i))) unnamed.insert(rels->at(i).id);
            if (!unnamed.empty()) {
                if (part->m_xml) {
                    removeNamedInElements(part->m_xml.get(), &unnamed);
                } else {
                    std::string stored;
                    part->ownBytes();
                    const std::string* text = &part->m_bytes;
                    if (!part->m_bytesAreContent && !part->m_haveBytes) {
                        if (!part->readStored(&stored)) return false;
                        text = &stored;
                    }
                    removeNamedInText(*text, &unnamed);
                }
            }
            if (!unnamed.empty()) {
                std::vector<bool>& kept = plan->kept[rels];
                kept.assign(static_cast<size_t>(rels->count()), true);
                for (int i = 0; i < rels->count(); ++i)
                    if (namedById(rels->at(i)) && unnamed.count(rels->at(i).id)) kept[static_cast<size_t>(i)] = false;
            }
        }
        if (!follow(*rels)) return false;
    }
    for (const auto& part : m_parts) {
        if (!reached.count(part.get())) continue;
        if (lfw::text::isBlank(part->m_contentType)) return fail("Part " + quoted(part->m_name) + " has no content type");
        plan->parts.push_back(part.get());
    }
    return true;
}

std::string OpenXMLPackage::contentTypesXml(const Plan& plan) const {
    // The template's entries in their order (Overrides of parts still written),
    // then the Defaults and Overrides the parts written need besides.
    std::vector<TypeEntry> types;
    std::unordered_map<std::string, const OpenXMLPart*> written;
    for (const OpenXMLPart* part : plan.parts) written.emplace(keyOf(part->m_name), part);
    std::unordered_set<const OpenXMLPart*> overridden;
    for (const TypeEntry& t : m_types) {
        const auto it = t.isDefault ? written.end() : written.find(t.key);
        if (!t.isDefault && it == written.end()) continue;
        types.push_back(t);
        if (!t.isDefault) {
            overridden.insert(it->second);
            types.back().name = "/" + OpenXMLPaths::relativeTarget(std::string(), it->second->m_name);
            types.back().type = it->second->m_contentType;
        }
    }
    auto defaultOf = [&types](const std::string& extension) -> const std::string* {
        for (const TypeEntry& t : types)
            if (t.isDefault && t.key == extension) return &t.type;
        return nullptr;
    };
    if (!defaultOf("rels")) types.push_back({true, std::string("rels"), "rels", std::string(RELATIONSHIPS_CONTENT_TYPE)});
    for (const OpenXMLPart* part : plan.parts) {
        const std::string extension = extensionOf(part->m_name);
        const std::string* type = defaultOf(extension);
        if (overridden.count(part) || (type && lower(*type) == lower(part->m_contentType))) continue;
        if (!type && !extension.empty() && extension != "xml")
            types.push_back({true, std::string(extension), extension, part->m_contentType});
        else
            types.push_back(
                {false, "/" + OpenXMLPaths::relativeTarget(std::string(), part->m_name), std::string(), part->m_contentType});
    }
    XmlDocument document(true);
    const XmlElement root = document.createRootElement("Types", -1, std::string(CONTENT_TYPES_NAMESPACE));
    for (const TypeEntry& t : types) {
        const XmlElement e = root.addChildElement(t.isDefault ? "Default" : "Override");
        e.addAttributeString(t.isDefault ? "Extension" : "PartName", t.name);
        e.addAttributeString("ContentType", t.type);
    }
    return document.printToString(m_typesIndented);
}

bool OpenXMLPackage::write(ZipArchive& out, Plan& plan) {
    // What goes into the package, in order: bytes, or an entry of the template
    // copied as it is. Bytes are gathered a few megabytes at a time and compressed
    // together (on two threads where there are two) before they are written.
    struct Item {
        std::string name;
        const char* data = nullptr;
        size_t size = 0;
        int entry = -1;          // an entry of the template, copied
        bool entryName = false;  // copied under the template's own name
    };
    const size_t gatherBytes = 4u << 20, gatherItems = 2048;
    std::vector<Item> items;
    std::deque<std::string> made;  // bytes made for the package: printed parts, relationships
    size_t gathered = 0;
    auto flush = [&]() {
        std::vector<std::pair<const void*, size_t>> data;
        for (const Item& item : items)
            if (item.entry < 0 && item.size > 0) data.emplace_back(item.data, item.size);
        out.prepareWrites(data);
        for (const Item& item : items) {
            const std::string name = item.name;
            const bool ok = item.entry < 0 ? out.writeDataRaw(name, item.data, item.size, false)
                                           : out.copyEntryFrom(m_zip, item.entry, item.entryName ? std::string() : name);
            if (!ok) return fail("Part " + quoted(item.name) + " could not be written");
        }
        items.clear();
        made.clear();
        gathered = 0;
        return true;
    };
    auto add = [&](Item item) {
        gathered += item.size;
        items.push_back(std::move(item));
        return (gathered < gatherBytes && items.size() < gatherItems) || flush();
    };
    auto addData = [&](const std::string& name, const char* data, size_t size) {
        Item item;
        item.name = name;
        item.data = data;
        item.size = size;
        return add(std::move(item));
    };
    auto addMade = [&](const std::string& name, std::string bytes) {
        made.push_back(std::move(bytes));
        return addData(name, made.back().data(), made.back().size());
    };
    auto addCopy = [&](const std::string& name, int entry, bool entryName) {
        Item item;
        item.name = name;
        item.entry = entry;
        item.entryName = entryName;
        return add(std::move(item));
    };
    auto addRels = [&](const OpenXMLRelationships& rels, int entry, const std::string& name) {
        const auto kept = plan.kept.find(&rels);
        if (!rels.isChanged() && kept == plan.kept.end()) return entry < 0 || addCopy(name, entry, true);
        static const std::vector<bool> all;
        const std::vector<bool>& keep = kept == plan.kept.end() ? all : kept->second;
        bool any = keep.empty() ? rels.count() > 0 : false;
        for (bool k : keep) any = any || k;
        return !any || addMade(name, rels.serialize(keep));
    };
    if (!addMade(std::string(CONTENT_TYPES_PART), contentTypesXml(plan)) ||
        !addRels(*m_rels, m_relsEntry, std::string("_rels/.rels")))
        return false;
    for (OpenXMLPart* part : plan.parts) {
        bool ok;
        if (part->m_xmlIsContent) ok = addMade(part->m_name, part->print());
        else if (part->m_view) ok = addData(part->m_name, part->m_view, part->m_viewSize);
        else if (part->m_bytesAreContent || part->m_entry < 0)
            ok = addData(part->m_name, part->m_bytes.data(), part->m_bytes.size());
        else ok = addCopy(part->m_name, part->m_entry, false);
        if (!ok || !addRels(*part->m_rels, part->m_relsEntry, OpenXMLPaths::relsPartName(part->m_name))) return false;
    }
    return flush();
}

bool OpenXMLPackage::writtenParts(std::vector<OpenXMLPart*>* parts) {
    parts->clear();
    if (!isOpen()) return fail(std::string("No package is open"));
    Plan plan;
    if (!makePlan(&plan)) return false;
    parts->swap(plan.parts);
    return true;
}

bool OpenXMLPackage::save(const std::string& path) {
    if (!isOpen()) return fail(std::string("No package is open"));
    Plan plan;
    if (!makePlan(&plan)) return false;
    lfw::StagedFiles staged;
    const std::string temp = staged.stage(std::string(path.c_str()));
    if (temp.empty()) {
        m_problems->error(ProblemCode::WriteFailed, staged.error());
        return fail(quoted(path) + " cannot be written: no file can be made beside it");
    }
    ZipArchive out(m_problems);
    if (!out.open(temp, ZIP_CREATE)) return fail(quoted(path) + " cannot be written");
    if (m_compressionLevel >= 0) out.setArchiveParameters(m_compressionLevel, CZipArchive::zipsmSmartest, 65536, 65536);
    const bool written = write(out, plan);
    if (!out.close() && written) return fail(quoted(path) + " could not be written");
    if (!written) return false;
    if (!staged.commit()) {
        m_problems->error(ProblemCode::WriteFailed, staged.error());
        return fail(quoted(path) + " could not be replaced");
    }
    return true;
}

}  // namespace rep
}  // namespace kiv
