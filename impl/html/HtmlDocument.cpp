#include "impl/html/HtmlDocument.h"
#include "KivReport/Table.h"
#include "host/core/KivImage.h"
#include "host/ug/MkFile.h"
#include "LibCore/lfwFile.h"
#include "host/ug/UgConvert.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/SnapshotPictures.h"
#include "impl/common/TemplateTags.h"
#include "impl/common/TemplateTexts.h"
#include "LibCore/lfwText.h"
#include "LibCore/lfwUtf8.h"
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <locale.h>
#include <string>
#include <vector>

namespace kiv {
namespace rep {

namespace {

const size_t npos = std::string::npos;

// A problem for the list, when there is one.
void report(Problems* problems, Problem::Level level, ProblemCode code, std::string message) {
    if (problems) problems->add(Problem{level, code, std::string(), std::move(message)});
}

// The layers below take the host's wide strings: the text is converted at the
// call, bytes that are not UTF-8 as the escape characters that convert back to them.
std::wstring wide(std::string_view text) { return lfw::utf8::decode(text.data(), text.size(), lfw::utf8::Invalid::Escape); }
std::string utf8(const std::wstring& text) { return lfw::utf8::encode(text, lfw::utf8::Invalid::Escape); }

const std::string_view SIT_TAG = "orvrepsit";
const std::string_view GROUP_TAG = "orvrepgroup";

// The first occurrence of part at or after from; an empty part is never found.
size_t find(std::string_view text, std::string_view part, size_t from = 0) { return part.empty() ? npos : text.find(part, from); }

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Whether text holds part, ASCII letters compared without regard to case.
bool containsNoCase(std::string_view text, std::string_view part) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return !part.empty() && std::search(text.begin(), text.end(), part.begin(), part.end(),
                                        [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

// Replaces every occurrence of from, left to right, in one pass.
void replaceAll(std::string* text, std::string_view from, std::string_view to) {
    size_t hit = find(*text, from);
    if (hit == npos) return;
    std::string out;
    out.reserve(text->size());
    size_t copied = 0;
    for (; hit != npos; hit = text->find(from, copied)) {
        out.append(*text, copied, hit - copied);
        out += to;
        copied = hit + from.size();
    }
    out.append(*text, copied, npos);
    text->swap(out);
}

// Characters of UTF-8 text: the bytes that do not continue a character.
uint64_t characterCount(std::string_view text) {
    return static_cast<uint64_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Numbers read from templates can be anything; casting an out-of-range float
// to int is undefined, so clamp first.
int truncateToInt(double value) {
    if (value != value) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

// The first number at or after from in single precision (infinite beyond its
// range), or FLT_MAX when there is none.
float firstFloat(std::string_view text, size_t from = 0) {
    return from < text.size() ? lfw::text::firstFloat(text.substr(from)) : FLT_MAX;
}

// The first number of the text as an int, or -1 when there is none.
int firstIntOf(std::string_view text) {
    const float f = firstFloat(text);
    if (f == FLT_MAX) return -1;
    return truncateToInt(f);
}

bool isSpaceChar(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool isAttributeNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':' ||
           c == '.';
}

// Index of the opening double quote of the first `attribute="` (spaces allowed
// around "=") at or after from, or npos. Requiring the "=" and the quote keeps
// "height" inside a style value or "src" inside "data-src" from being taken
// for the attribute, which would replace the text between two unrelated quotes.
size_t findAttributeValueQuote(std::string_view s, size_t from, std::string_view a, bool* nameFound) {
    *nameFound = false;
    size_t p = find(s, a, from);
    while (p != npos) {
        *nameFound = true;
        const bool startsName = p == 0 || !isAttributeNameChar(s[p - 1]);
        size_t q = p + a.size();
        while (q < s.size() && isSpaceChar(s[q])) ++q;
        if (startsName && q < s.size() && s[q] == '=') {
            ++q;
            while (q < s.size() && isSpaceChar(s[q])) ++q;
            if (q < s.size() && s[q] == '"') return q;
        }
        p = s.find(a, p + 1);
    }
    return npos;
}

// Text placed inside an element or a double-quoted attribute value.
std::string escapeMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// A file name as a relative URL: its UTF-8 bytes, with every byte outside a
// safe set percent-encoded, so that "#", "%", "?", spaces and non-ASCII letters
// in a report's name still lead the browser to the file whatever encoding the
// page is read in.
std::string fileNameAsUrl(std::string_view name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const unsigned char b = static_cast<unsigned char>(c);
        const bool keep = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
                          b == '_' || b == '~' || b == '!' || b == '$' || b == '\'' || b == '(' || b == ')' || b == '*' ||
                          b == '+' || b == ',' || b == ';' || b == '=' || b == '@';
        if (keep) {
            out += c;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

std::string imgElement(int width, int height) {
    return "<img src=\"dummysnapshot.jpg\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" />";
}

int clampToInt(unsigned int value) { return value > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(value); }

bool hasPixels(const Image* image) { return image && image->byteCount() > 0 && image->width() > 0 && image->height() > 0; }

// Where the element "<tag ...</tag>" found first at or after from lies: its
// start and its end (one past its closing tag); false when there is none.
bool locateElement(std::string_view text, std::string_view tag, size_t from, size_t* start, size_t* end) {
    const std::string opening = "<" + std::string(tag);
    const std::string closing = "</" + std::string(tag) + ">";
    const size_t s = find(text, opening, from);
    const size_t e = s != npos ? find(text, closing, s) : npos;
    if (e == npos) return false;
    *start = s;
    *end = e + closing.size();
    return true;
}

// Where the text holds "SIT" inside an occurrence of one of the names: the
// places that renumbering a copy of the text changes. All occurrences of all
// names are found in one pass (Aho-Corasick), so that a group with many tags
// costs time linear in its length.
std::vector<size_t> renumberedPlaces(std::string_view text, const std::vector<std::string_view>& names) {
    struct Node {
        std::vector<std::pair<unsigned char, int>> next;  // sorted by byte
        int fail = 0;
        size_t longest = 0;  // longest name ending at this node (itself or through its fail links)
    };
    typedef std::pair<unsigned char, int> Edge;
    auto byByte = [](const Edge& a, const Edge& b) { return a.first < b.first; };
    std::vector<Node> nodes(1);
    auto child = [&](int node, unsigned char c) -> int {
        const auto& next = nodes[static_cast<size_t>(node)].next;
        auto it = std::lower_bound(next.begin(), next.end(), Edge(c, 0), byByte);
        return it != next.end() && it->first == c ? it->second : -1;
    };
    for (std::string_view name : names) {
        int node = 0;
        for (char ch : name) {
            const unsigned char c = static_cast<unsigned char>(ch);
            int next = child(node, c);
            if (next < 0) {
                next = static_cast<int>(nodes.size());
                auto& list = nodes[static_cast<size_t>(node)].next;
                list.insert(std::upper_bound(list.begin(), list.end(), Edge(c, 0), byByte), Edge(c, next));
                nodes.emplace_back();
            }
            node = next;
        }
        nodes[static_cast<size_t>(node)].longest = name.size();
    }
    // Fail links breadth first.
    std::vector<int> queue;
    for (const auto& edge : nodes[0].next) queue.push_back(edge.second);
    for (size_t q = 0; q < queue.size(); ++q) {
        const int node = queue[q];
        const std::vector<Edge> edges = nodes[static_cast<size_t>(node)].next;
        for (const auto& edge : edges) {
            int f = nodes[static_cast<size_t>(node)].fail;
            while (f > 0 && child(f, edge.first) < 0) f = nodes[static_cast<size_t>(f)].fail;
            const int target = child(f, edge.first);
            Node& n = nodes[static_cast<size_t>(edge.second)];
            n.fail = target >= 0 && target != edge.second ? target : 0;
            if (n.longest == 0) n.longest = nodes[static_cast<size_t>(n.fail)].longest;
            queue.push_back(edge.second);
        }
    }
    // earliest[e]: the smallest start of an occurrence ending at or after e.
    const size_t n = text.size();
    std::vector<size_t> earliest(n + 2, SIZE_MAX);
    int node = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        while (node > 0 && child(node, c) < 0) node = nodes[static_cast<size_t>(node)].fail;
        const int next = child(node, c);
        node = next < 0 ? 0 : next;
        const size_t length = nodes[static_cast<size_t>(node)].longest;
        if (length > 0) earliest[i + 1] = i + 1 - length;
    }
    for (size_t e = n; e-- > 0;) earliest[e] = std::min(earliest[e], earliest[e + 1]);
    std::vector<size_t> places;
    for (size_t p = text.find("SIT"); p != npos; p = text.find("SIT", p + 1))
        if (earliest[p + 3] <= p) places.push_back(p);
    return places;
}

}  // namespace

PtrRef<Image> HtmlDocument::pictureOf(const Snapshot* snapshot) {
    if (!snapshot->modelMdlx()) return PtrRef<Image>(snapshot->image());
    // A model shows its preview; the reference keeps the new image alive as long as needed.
    PtrRef<Image> preview(SnapshotPictures::snapshotFromMemoryFile(snapshot->modelMdlx(), &m_budget));
    if (!preview) m_leftOut.push_back(snapshot->name().toStdString());
    return preview;
}

// ---------------------------------------------------------------------------
// Document

HtmlDocument::HtmlDocument(const Str& path) : m_path(path) {
    m_budget.reportTo(m_problems);
    m_baseName = utf8(MkGetFileName(path.toStdWString(), false).Std());
    m_directory = utf8(MkGetFilePath(path.toStdWString(), true).Std());
}

bool HtmlDocument::open() {
    std::string bytes;
    if (!lfw::FileSystem::readFile(m_path.toStdString(), &bytes)) return false;
    m_content.swap(bytes);
    return true;
}

bool HtmlDocument::save() {
    const Str& target = m_savePath.isEmpty() ? m_path : m_savePath;
    if (!MkWriteFile(target.toStdWString(), m_content.data(), m_content.size())) {
        report(m_problems, Problem::Error, ProblemCode::WriteFailed,
               (lfw::String("Error writing report file (%1)").arg(target.toStdWString())).toStdString());
        return false;
    }
    return true;
}

bool HtmlDocument::getSitTagNames(std::vector<std::string>& names) const {
    names.clear();
    std::unordered_set<std::string> seen;
    size_t pos = 0;
    while (pos < m_content.size()) {
        size_t start = npos, end = npos;
        if (!locateElement(m_content, SIT_TAG, pos, &start, &end)) break;
        std::string name = findSitName(std::string_view(m_content).substr(start, end - start));
        if (seen.insert(name).second) names.push_back(std::move(name));
        pos = end;
    }
    return true;
}

bool HtmlDocument::hasRefTags() const {
    std::vector<std::string> names;
    getSitTagNames(names);
    return std::any_of(names.begin(), names.end(), [](const std::string& name) { return startsWith(name, "REF_SIT"); });
}

// ---------------------------------------------------------------------------
// Groups

bool HtmlDocument::unrollGroups(const Snapshots& snapshots, const std::vector<int>& indices, int use3dPlugin) {
    if (m_groupsUnrolled) return true;
    // The result is written into a new buffer while scanning, so a template
    // with many groups or a long unrolled group costs linear time.
    const std::string_view source = m_content;
    std::string out;
    size_t copied = 0;
    size_t pos = 0;
    while (pos < source.size()) {
        size_t start = npos, end = npos;
        if (!locateElement(source, GROUP_TAG, pos, &start, &end)) break;
        pos = end;
        const std::string_view group = source.substr(start, end - start);
        // A group inside a group would end at the inner closing tag and leave the
        // outer one unbalanced in the report.
        if (find(group, "<" + std::string(GROUP_TAG), 1) != npos) {
            // Counted in characters, as an editor shows the place.
            const size_t character = wide(source.substr(0, start)).size();
            report(m_problems, Problem::Error, ProblemCode::TemplateMarkup,
                   (lfw::String("Generic group inside a generic group at character %1: groups cannot be nested")
                        .arg(static_cast<long long>(character)))
                       .toStdString());
            report(m_problems, Problem::Error, ProblemCode::TemplateMarkup, "Error unrolling generic tags");
            return false;
        }
        size_t first = npos, last = npos;
        const std::string content = getElementContent(group, GROUP_TAG, 0, &first, &last, m_problems);
        if (first == npos) continue;  // an opening tag without ">": left as it is
        out.append(source.substr(copied, start - copied));
        if (!unrollGenericTagsInGroup(content, snapshots, indices, use3dPlugin, source.size() - end, &out)) {
            report(m_problems, Problem::Error, ProblemCode::TemplateMarkup, "Error unrolling generic tags");
            return false;
        }
        copied = end;
    }
    if (copied > 0) {
        out.append(source.substr(copied));
        m_content.swap(out);
    }
    m_groupsUnrolled = true;
    return true;
}

bool HtmlDocument::unrollGenericTagsInGroup(std::string_view group, const Snapshots& snapshots, const std::vector<int>& indices,
                                            int use3dPlugin, size_t following, std::string* out) {
    std::vector<std::string> tags;  // the names of the group's tags, in order
    bool hasPicture = false, hasMdlx = false, hasTable = false;
    size_t pos = 0;
    while (pos < group.size()) {
        size_t start = npos, end = npos;
        if (!locateElement(group, SIT_TAG, pos, &start, &end)) break;
        std::string name = findSitName(group.substr(start, end - start));
        switch (findSitTypeFromName(name)) {
        case HTML_TAG_PICTURE: hasPicture = true; break;
        case HTML_TAG_MDLX: hasMdlx = true; break;
        case HTML_TAG_TABLE: hasTable = true; break;
        default: break;
        }
        tags.push_back(std::move(name));
        pos = end;
    }
    const bool typed = hasPicture || hasMdlx || hasTable;

    std::vector<int> accepted;
    for (const int k : indices) {
        if (k < 0 || static_cast<size_t>(k) >= snapshots.size() || !snapshots[static_cast<size_t>(k)]) continue;
        bool accepts;
        switch (snapshots[static_cast<size_t>(k)]->type()) {
        case Snapshot::IMAGE: accepts = hasPicture || (hasMdlx && use3dPlugin != 1) || !typed; break;
        case Snapshot::MDLX: accepts = hasMdlx || !typed; break;
        case Snapshot::TABLE: accepts = hasTable || !typed; break;
        default: accepts = !typed; break;
        }
        if (accepts) accepted.push_back(k);
    }
    if (accepted.empty()) return true;  // the group disappears
    for (const std::string& tag : tags)
        if (tag.empty()) return false;

    // Every "SIT" inside an occurrence of a collected name gets the snapshot's
    // number. The places are found once for the group; each copy is then
    // written in one pass.
    std::vector<std::string_view> names;
    {
        std::unordered_set<std::string_view> seen;
        for (const std::string& tag : tags)
            if (tag.find("SIT") != npos && seen.insert(tag).second) names.push_back(tag);
    }
    const std::vector<size_t> places = renumberedPlaces(group, names);
    // The budget counts characters; the copies take bytes.
    if (!m_budget.spendText((characterCount(group) + 11 * places.size()) * accepted.size())) return false;
    const size_t perCopy = group.size() + 11 * places.size();
    // One allocation for all copies: growing by doubling instead would touch
    // fresh memory several times over for a large report.
    out->reserve(out->size() + perCopy * accepted.size() + following);
    for (const int k : accepted) {
        const std::string number = std::to_string(k + 1);
        size_t copied = 0;
        for (const size_t place : places) {
            out->append(group.substr(copied, place + 3 - copied));
            out->append(number);
            copied = place + 3;
        }
        out->append(group.substr(copied));
    }
    return true;
}

// ---------------------------------------------------------------------------
// Filling

bool HtmlDocument::updateDocumentContent(const Snapshots& snapshots, const Snapshots& referenceSnapshots,
                                         const std::vector<int>& indices, bool use3dPlugin) {
    if (!unrollGroups(snapshots, indices, use3dPlugin ? 1 : 0)) return false;
    const size_t largest = snapshots.size() > referenceSnapshots.size() ? snapshots.size() : referenceSnapshots.size();
    const int limit = largest > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(largest);

    // Filled elements go into a new buffer as the scan passes them; replacing
    // them one by one inside a multi-megabyte string would cost quadratic time.
    // Inserted text is never scanned again, so a title holding tag markup is
    // not taken for a tag.
    const std::string_view source = m_content;
    std::string out;
    size_t copied = 0;
    size_t pos = 0;
    while (pos < source.size()) {
        size_t start = npos, end = npos;
        if (!locateElement(source, SIT_TAG, pos, &start, &end)) break;
        pos = end;
        std::string filled;
        if (!fillElement(source.substr(start, end - start), snapshots, referenceSnapshots, limit, use3dPlugin, &filled)) continue;
        if (out.empty()) out.reserve(source.size() + source.size() / 8);
        out.append(source.substr(copied, start - copied));
        out += filled;
        copied = end;
    }
    if (m_writeFailed || m_budget.exhausted()) {
        report(m_problems, Problem::Error, ProblemCode::ContentLeftOut,
               (lfw::String("Report not written: %1")
                    .arg(m_writeFailed ? "a picture could not be written" : "it would take too much memory"))
                   .toStdString());
        return false;
    }
    if (copied > 0) {
        out.append(source.substr(copied));
        m_content.swap(out);
        std::string().swap(out);  // the old content is not needed while saving
    }
    return save();
}

bool HtmlDocument::fillElement(std::string_view element, const Snapshots& snapshots, const Snapshots& referenceSnapshots,
                               int limit, bool use3dPlugin, std::string* filled) {
    size_t first = npos, last = npos;
    getElementContent(element, SIT_TAG, 0, &first, &last, m_problems);
    if (first == npos) return false;
    const std::string name = findSitName(element);
    const int n = findSituationIndexFromName(name);
    if (n < 1 || n - 1 >= limit) return false;
    // The prefix decides, as in validation: a field key holding "REF_" (SIT1_$REF_X)
    // still belongs to the main repository.
    const bool isReference = startsWith(name, "REF_");
    const Snapshots& collection = isReference ? referenceSnapshots : snapshots;
    if (static_cast<size_t>(n) > collection.size()) return false;
    const Snapshot* snapshot = collection[static_cast<size_t>(n - 1)];
    if (!snapshot) return false;

    const std::string_view before = element.substr(0, first);
    const std::string_view after = element.substr(last + 1);
    // The element with its content replaced by text.
    auto withContent = [&](std::string_view text) {
        filled->reserve(before.size() + text.size() + after.size());
        filled->assign(before).append(text).append(after);
        return true;
    };
    const HtmlTagType kind = findSitTypeFromName(name);
    switch (kind) {
    case HTML_TAG_TITLE:
    case HTML_TAG_TEXT: {
        std::string text = (kind == HTML_TAG_TITLE ? snapshot->title() : snapshot->description()).toStdString();
        // Macros may grow the text only as far as the report's budget reaches.
        const uint64_t room = m_budget.charactersLeft();
        const size_t maxLength =
            room < FieldMacros::MAX_EXPANDED_LENGTH ? static_cast<size_t>(room) : FieldMacros::MAX_EXPANDED_LENGTH;
        if (!FieldMacros::expandString(snapshot->fieldValues(), &text, maxLength, m_problems) &&
            maxLength < FieldMacros::MAX_EXPANDED_LENGTH) {
            m_budget.spendText(room + 1);  // refused: logs that the report ran out of room
            return false;
        }
        if (!m_budget.spendText(static_cast<uint64_t>(lfw::text::codePoints(text)))) return false;
        return withContent(text);
    }
    case HTML_TAG_PICTURE: {
        if (snapshot->type() != Snapshot::IMAGE && snapshot->type() != Snapshot::MDLX) return false;
        PtrRef<Image> picture = pictureOf(snapshot);
        if (!picture) return false;
        std::string edited(element);
        if (!setImage(edited, n - 1, picture.p(), isReference)) return false;
        *filled = std::move(edited);
        return true;
    }
    case HTML_TAG_MDLX: {
        std::string edited(element);
        const HtmlTagType r =
            use3dPlugin ? setMdlx(edited, n - 1, snapshot, isReference) : replaceMdlx(edited, n - 1, snapshot, isReference);
        if (r == HTML_TAG_PICTURE) {
            const std::string tag = (isReference ? "REF_SIT" : "SIT") + std::to_string(n);
            replaceAll(&edited, tag + "_MDLX", tag + "_PICTURE");
        }
        *filled = std::move(edited);
        return true;
    }
    case HTML_TAG_TABLE: {
        const Table* cells = snapshot->table();
        if (cells && !m_budget.spendText(cells->rowCount() * (cells->columnCount() * 9 + 20))) return false;
        std::string table(element);
        if (!setTable(table, snapshot)) return false;
        return withContent(table);
    }
    case HTML_TAG_MACRO: {
        const std::map<Str, Str> fieldValues = snapshot->fieldValues();
        if (fieldValues.empty()) return false;
        // The key as FieldMacros::getFieldValue looks it up.
        const auto value = fieldValues.find(Str(name.substr(name.find('$') + 1)));
        if (value == fieldValues.end()) return false;
        return withContent(FieldMacros::escapeHtml(value->second.toStdString()));
    }
    default: return false;
    }
}

std::string HtmlDocument::imageFileName(int snapshotIndex, bool isReference) const {
    return m_baseName + "_" + (isReference ? "REF_" : "") + "SIT" + std::to_string(snapshotIndex + 1) + "-1.jpg";
}

bool HtmlDocument::setImage(std::string& element, int snapshotIndex, const Image* image, bool isReference) {
    const std::string name = imageFileName(snapshotIndex, isReference);
    const size_t slash = name.rfind('/');
    const std::string value = fileNameAsUrl(slash != npos ? std::string_view(name).substr(slash + 1) : name);

    const size_t p = find(element, "src");
    if (p == npos) {
        report(m_problems, Problem::Error, ProblemCode::TemplateMarkup, "image element src not found in html");
        return false;
    }
    if (!replaceAttribute(element, p, "src", value, m_problems))
        report(m_problems, Problem::Warning, ProblemCode::TemplateMarkup,
               (lfw::String("Not able to set image src in string: %1").arg(element)).toStdString());
    if (!image) return true;

    if (!updateSizeAttributesOfTag(element, clampToInt(image->height()), clampToInt(image->width()), m_problems))
        report(m_problems, Problem::Warning, ProblemCode::TemplateMarkup,
               (lfw::String("Not able to set image width/height in string: %1").arg(element)).toStdString());

    if (m_savedImageSet.count(name)) return true;
    // The pictures go beside the document: the src values name them relative to it.
    std::string file = m_directory + name;
    if (m_staged) {
        // Written under a temporary name, moved into place with the report.
        file = m_staged->stage(file);
        if (file.empty()) {
            m_writeFailed = true;
            return false;
        }
    }
    if (SnapshotPictures::saveImageAsJpeg(image, file, m_problems)) {
        m_savedImages.push_back(name);
        m_savedImageSet.insert(name);
        return true;
    }
    m_writeFailed = true;
    report(m_problems, Problem::Warning, ProblemCode::WriteFailed, "Error saving image for HTML report");
    return false;
}

HtmlTagType HtmlDocument::setMdlx(std::string& element, int snapshotIndex, const Snapshot* snapshot, bool isReference) {
    if (!containsNoCase(element, "iframe")) {
        report(m_problems, Problem::Error, ProblemCode::TemplateMarkup, "iframe element not found in html.");
        return HTML_TAG_UNKNOWN;
    }
    if (!snapshot) return HTML_TAG_UNKNOWN;
    switch (snapshot->type()) {
    case Snapshot::MDLX: {
        const size_t p = find(element, "src");
        if (p == npos) return HTML_TAG_UNKNOWN;
        const std::string url = snapshot->cloudViewerUrl().toStdString() + "?embed=1";
        if (!replaceAttribute(element, p, "src", escapeMarkup(url), m_problems))
            report(m_problems, Problem::Warning, ProblemCode::TemplateMarkup, "iframe element src not found in html.");
        return HTML_TAG_MDLX;
    }
    case Snapshot::IMAGE: {
        int height = -1, width = -1;
        if (!getSizeFromTag(element, height, width)) {
            report(m_problems, Problem::Error, ProblemCode::TemplateMarkup, "iframe element size not found in html.");
            return HTML_TAG_UNKNOWN;
        }
        std::string img = imgElement(width, height);
        if (!setImage(img, snapshotIndex, snapshot->image(), isReference)) return HTML_TAG_UNKNOWN;
        size_t first = npos, last = npos;
        getElementContent(element, SIT_TAG, 0, &first, &last, m_problems);
        if (first == npos) return HTML_TAG_UNKNOWN;
        element.replace(first, last + 1 - first, img);
        return HTML_TAG_PICTURE;
    }
    default: return HTML_TAG_UNKNOWN;
    }
}

HtmlTagType HtmlDocument::replaceMdlx(std::string& element, int snapshotIndex, const Snapshot* snapshot, bool isReference) {
    if (!snapshot || (snapshot->type() != Snapshot::MDLX && snapshot->type() != Snapshot::IMAGE)) return HTML_TAG_UNKNOWN;
    int height = -1, width = -1;
    if (!getSizeFromTag(element, height, width)) return HTML_TAG_UNKNOWN;

    PtrRef<Image> picture = pictureOf(snapshot);
    if (!picture && snapshot->modelMdlx()) return HTML_TAG_UNKNOWN;  // its preview failed (noted)
    if (hasPixels(picture.p())) {
        const float ratio = static_cast<float>(picture->width()) / static_cast<float>(picture->height());
        if (ratio > static_cast<float>(width) / static_cast<float>(height))
            height = truncateToInt(static_cast<float>(width) / ratio);
        else width = truncateToInt(ratio * static_cast<float>(height));
    }
    std::string img = imgElement(width, height);
    if (!setImage(img, snapshotIndex, picture.p(), isReference)) return HTML_TAG_UNKNOWN;
    element = std::move(img);
    return HTML_TAG_PICTURE;
}

bool HtmlDocument::setTable(std::string& element, const Snapshot* snapshot) {
    if (!snapshot || snapshot->type() != Snapshot::TABLE) return false;
    const Table* table = snapshot->table();
    if (!table || table->rowCount() < 1 || table->columnCount() < 1) return false;

    // The template's table must show a sample row with cells; its own cells are not kept.
    const size_t rowStart = find(element, "<tr");
    const size_t rowEnd = rowStart != npos ? find(element, "</tr>", rowStart) : npos;
    if (rowEnd == npos) return false;
    const std::string_view sampleRow = std::string_view(element).substr(rowStart, rowEnd + 5 - rowStart);
    if (find(sampleRow, "<td") == npos && find(sampleRow, "<th") == npos) return false;

    // The template's opening <table ...> tag keeps its attributes.
    std::string opening;
    const size_t word = find(element, "table");
    const size_t lt = word != npos && word > 0 ? element.rfind('<', word - 1) : npos;
    const size_t tableTag = find(element, "<table");
    const size_t gt = tableTag != npos ? element.find('>', tableTag) : npos;
    if (lt != npos && gt != npos && gt >= lt) opening = element.substr(lt, gt + 1 - lt);
    if (opening.empty()) opening = "\n<table border=\"1\"\n>";

    std::string out = std::move(opening);
    for (size_t r = 0; r < table->rowCount(); ++r) {
        const char* cellOpen = r == 0 ? "<th>" : "<td>";
        const char* cellClose = r == 0 ? "</th>" : "</td>";
        out += "  <tr>\n    ";
        for (size_t c = 0; c < table->columnCount(); ++c) {
            out += cellOpen;
            // Cell texts are data, not markup: "x<5 & y>2" must show as written.
            out += escapeMarkup(table->value(r, c).toStdString());
            out += cellClose;
        }
        out += "\n  </tr>\n";
    }
    out += "</table>\n";
    element = std::move(out);
    return true;
}

// ---------------------------------------------------------------------------
// Scanning helpers

std::string HtmlDocument::getEntireElement(std::string_view text, std::string_view tag, size_t from, size_t* start, size_t* end) {
    size_t s = npos, e = npos;
    const bool found = locateElement(text, tag, from, &s, &e);
    if (start) *start = s;
    if (end) *end = e;
    return found ? std::string(text.substr(s, e - s)) : std::string();
}

std::string HtmlDocument::getElementContent(std::string_view text, std::string_view tag, size_t from, size_t* start, size_t* end,
                                            Problems* problems) {
    const std::string opening = "<" + std::string(tag);
    const std::string closing = "</" + std::string(tag) + ">";
    const size_t s = find(text, opening, from);
    const size_t e = s != npos ? find(text, closing, s) : npos;
    const size_t b = s != npos ? findEndBracket(text, tag, s, problems) : npos;
    // A ">" past the closing tag belongs to the closing tag: the opening tag is unfinished.
    if (e == npos || b == npos || b > e) {
        report(
            problems, Problem::Error, ProblemCode::TemplateMarkup,
            (lfw::String("Element not found when trying to read '%1' in string: %2").arg(std::string(tag)).arg(std::string(text)))
                .toStdString());
        if (start) *start = npos;
        if (end) *end = npos;
        return std::string();
    }
    if (start) *start = b + 1;
    if (end) *end = e - 1;
    return std::string(text.substr(b + 1, e - b - 1));
}

size_t HtmlDocument::findEndBracket(std::string_view text, std::string_view tag, size_t from, Problems* problems) {
    const size_t p = find(text, "<" + std::string(tag), from);
    if (p == npos) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Start bracket not found for '%1' in string: %2").arg(std::string(tag)).arg(std::string(text)))
                   .toStdString());
        return npos;
    }
    const size_t b = text.find('>', p);
    if (b == npos) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("End bracket not found for '%1' in string: %2").arg(std::string(tag)).arg(std::string(text)))
                   .toStdString());
        return npos;
    }
    return b;
}

bool HtmlDocument::replaceSubString(std::string& text, size_t from, size_t to, std::string_view replacement) {
    const size_t length = text.size();
    if (from > length) from = length;
    if (to < from) to = from;
    if (to > length) to = length;
    text.replace(from, to - from, replacement);
    return true;
}

std::string HtmlDocument::findSitName(std::string_view element) {
    const size_t p = find(element, "name");
    if (p == npos) return std::string();
    const size_t q1 = element.find('"', p);
    const size_t q2 = q1 != npos ? element.find('"', q1 + 1) : npos;
    if (q2 == npos) return std::string();
    return std::string(element.substr(q1 + 1, q2 - q1 - 1));
}

HtmlTagType HtmlDocument::findSitTypeFromName(std::string_view name) {
    std::string_view rest;
    if (startsWith(name, "SIT")) rest = name.substr(3);
    else if (startsWith(name, "REF_SIT")) rest = name.substr(7);
    const size_t underscore = rest.find('_');
    if (underscore != npos) rest = rest.substr(underscore + 1);

    if (rest == "TITLE") return HTML_TAG_TITLE;
    if (rest == "TEXT") return HTML_TAG_TEXT;
    if (rest == "PICTURE") return HTML_TAG_PICTURE;
    if (rest == "MDLX") return HTML_TAG_MDLX;
    if (rest == "TABLE") return HTML_TAG_TABLE;
    if (startsWith(rest, "$")) return HTML_TAG_MACRO;
    return HTML_TAG_UNKNOWN;
}

int HtmlDocument::findSituationIndexFromName(std::string_view name) { return TemplateTags::getTagIndex(name); }

bool HtmlDocument::replaceAttribute(std::string& text, size_t from, std::string_view attribute, std::string_view value,
                                    Problems* problems) {
    bool nameFound = false;
    const size_t q1 = findAttributeValueQuote(text, from, attribute, &nameFound);
    if (!nameFound) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Attribute not found when trying to read '%1' in string: %2").arg(std::string(attribute)).arg(text))
                   .toStdString());
        return false;
    }
    const size_t q2 = q1 != npos ? text.find('"', q1 + 1) : npos;
    if (q2 == npos) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Attribute value not found when trying to replace '%1' in string: %2")
                    .arg(std::string(attribute))
                    .arg(text))
                   .toStdString());
        return false;
    }
    return replaceSubString(text, q1 + 1, q2, value);
}

bool HtmlDocument::replaceAttributeStyleInt(std::string& text, size_t from, std::string_view property, int value,
                                            Problems* problems) {
    const size_t p = find(text, "style", from);
    if (p == npos) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("'style' not found when trying to set width and height in text: %1").arg(text)).toStdString());
        return false;
    }
    const size_t a = find(text, property, p);
    if (a == npos) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("%1 not found when trying to set width and height in text: %2").arg(std::string(property)).arg(text))
                   .toStdString());
        return false;
    }
    const size_t c = text.find(';', a);
    if (c == npos) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Ending ; not found for attribute %1 when trying to set width and height in text: %2")
                    .arg(std::string(property))
                    .arg(text))
                   .toStdString());
        return false;
    }
    const std::string declaration = text.substr(a, c + 1 - a);
    const int oldNumber = firstIntOf(declaration);
    if (firstFloat(declaration) == FLT_MAX) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Number not found for attribute %1 when trying to set width and height in text: %2")
                    .arg(std::string(property))
                    .arg(text))
                   .toStdString());
        return false;
    }
    std::string newDeclaration(declaration);
    replaceAll(&newDeclaration, std::to_string(oldNumber), std::to_string(value));
    replaceAll(&text, declaration, newDeclaration);
    return true;
}

bool HtmlDocument::getSizeFromTag(std::string_view tag, int& height, int& width) {
    height = findIntAttributeStyle(tag, "height");
    width = findIntAttributeStyle(tag, "width");
    if (height == -1) {
        height = findIntAttribute(tag, "height");
        width = findIntAttribute(tag, "width");
    }
    return height != -1 && width != -1;
}

int HtmlDocument::findIntAttributeStyle(std::string_view tag, std::string_view property) {
    const size_t p = find(tag, property);
    if (p == npos) return -1;
    const size_t c = tag.find(';', p);
    if (c == npos) return -1;
    return firstIntOf(tag.substr(p, c + 1 - p));
}

int HtmlDocument::findIntAttribute(std::string_view tag, std::string_view attribute) {
    const size_t p = find(tag, attribute);
    if (p == npos) return -1;
    const float f = firstFloat(tag, p);
    return f == FLT_MAX ? -1 : truncateToInt(f);
}

bool HtmlDocument::updateSizeAttributesOfTag(std::string& tag, int imageHeight, int imageWidth, Problems* problems) {
    int height = -1, width = -1;
    if (!getSizeFromTag(tag, height, width)) return false;
    if (imageHeight <= 0 || imageWidth <= 0) return false;  // no shape to fit to
    const float rh = static_cast<float>(height) / static_cast<float>(imageHeight);
    const float rw = static_cast<float>(width) / static_cast<float>(imageWidth);
    int newHeight, newWidth;
    if (rw > rh) {
        newHeight = height;
        newWidth = truncateToInt(rh * static_cast<float>(imageWidth));
    } else {
        newWidth = width;
        newHeight = truncateToInt(rw * static_cast<float>(imageHeight));
    }
    const bool heightSet = replaceAttribute(tag, 0, "height", std::to_string(newHeight), problems);
    const bool widthSet = replaceAttribute(tag, 0, "width", std::to_string(newWidth), problems);
    if (!heightSet || !widthSet) {
        replaceAttributeStyleInt(tag, 0, "height", newHeight, problems);
        replaceAttributeStyleInt(tag, 0, "width", newWidth, problems);
    }
    return true;
}

namespace {
TagKind kindOf(std::string_view name) {
    switch (HtmlDocument::findSitTypeFromName(name)) {
    case HTML_TAG_TITLE: return TagKind::Title;
    case HTML_TAG_TEXT: return TagKind::Text;
    case HTML_TAG_PICTURE: return TagKind::Picture;
    case HTML_TAG_MDLX: return TagKind::Model;
    case HTML_TAG_TABLE: return TagKind::Table;
    case HTML_TAG_MACRO: return TagKind::Field;
    default: return TagKind::Other;
    }
}
}  // namespace

TemplateScan HtmlDocument::scan() const {
    TemplateScan scan;
    std::vector<std::string> names;
    getSitTagNames(names);
    for (std::string& name : names) {
        const TagKind kind = kindOf(name);
        scan.add(std::move(name), kind, -1);
    }
    return scan;
}

TemplateScan HtmlDocument::scanXml(const XmlElement& root) {
    TemplateScan scan;
    // Depth first with an explicit stack: the next element to visit on each
    // level, and the group that level lies in.
    struct Level {
        XmlElement next;
        int group;
    };
    std::vector<Level> stack{{root.getFirstChildElement(), -1}};
    while (!stack.empty()) {
        const XmlElement current = stack.back().next;
        if (current.isNull()) {
            stack.pop_back();
            continue;
        }
        stack.back().next = current.getNextSiblingElement();
        int group = stack.back().group;
        const std::string element = current.getName();
        if (element == "orvrepgroup") {
            scan.parentGroups.push_back(group);
            group = scan.groups++;
        } else if (element == "orvrepsit") {
            std::string name = current.getAttributeString("name");
            const TagKind kind = kindOf(name);
            scan.add(std::move(name), kind, group);
        }
        stack.push_back({current.getFirstChildElement(), group});
    }
    return scan;
}

// ---------------------------------------------------------------------------
// Validation

bool HtmlDocument::validateDocument(const Snapshots& snapshots, const std::vector<int>& indices, bool isReference,
                                    std::string& report) {
    if (!unrollGroups(snapshots, indices, 1)) return false;
    return TemplateTexts::htmlValidationPass(scan(), snapshots, isReference, report);
}

}  // namespace rep
}  // namespace kiv
