#include "impl/html/HtmlDocument.h"
#include "KivReport/Table.h"
#include "host/core/KivImage.h"
#include "host/ug/MkFile.h"
#include "host/ug/UgConvert.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/SnapshotPictures.h"
#include "impl/common/TemplateTags.h"
#include "LibCore/lfwUtf8.h"
#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <climits>
#include <string>
#include <vector>

namespace kiv {
namespace rep {

namespace {

// A problem for the list, when there is one.
void report(Problems* problems, Problem::Level level, ProblemCode code, std::string message) {
    if (problems) problems->add(Problem{level, code, std::string(), std::move(message)});
}

const wchar_t* const SIT_TAG = L"orvrepsit";
const wchar_t* const GROUP_TAG = L"orvrepgroup";

// Numbers read from templates can be anything; casting an out-of-range float
// to int is undefined, so clamp first.
int truncateToInt(double value) {
    if (value != value) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

// The first number of the text as an int, or -1 when there is none.
int firstIntOf(const MkString& text) {
    float f = text.GetFirstFloat();
    if (f == FLT_MAX) return -1;
    return truncateToInt(f);
}

bool isSpaceChar(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }

bool isAttributeNameChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' || c == L'_' ||
           c == L':' || c == L'.';
}

// Index of the opening double quote of the first `attribute="` (spaces allowed
// around "=") at or after from, or -1. Requiring the "=" and the quote keeps
// "height" inside a style value or "src" inside "data-src" from being taken
// for the attribute, which would replace the text between two unrelated quotes.
int findAttributeValueQuote(const MkString& text, int from, const MkString& attribute, bool* nameFound) {
    *nameFound = false;
    const std::wstring& s = text.Std();
    const std::wstring& a = attribute.Std();
    if (a.empty()) return -1;
    size_t p = s.find(a, from < 0 ? 0 : static_cast<size_t>(from));
    while (p != std::wstring::npos) {
        *nameFound = true;
        const bool startsName = p == 0 || !isAttributeNameChar(s[p - 1]);
        size_t q = p + a.size();
        while (q < s.size() && isSpaceChar(s[q])) ++q;
        if (startsName && q < s.size() && s[q] == L'=') {
            ++q;
            while (q < s.size() && isSpaceChar(s[q])) ++q;
            if (q < s.size() && s[q] == L'"') return static_cast<int>(q);
        }
        p = s.find(a, p + 1);
    }
    return -1;
}

// Text placed inside an element or a double-quoted attribute value.
MkString escapeMarkup(const MkString& text) {
    const std::wstring& s = text.Std();
    std::wstring out;
    out.reserve(s.size());
    for (wchar_t c : s) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'"': out += L"&quot;"; break;
        default: out += c;
        }
    }
    return MkString(std::move(out));
}

// A file name as a relative URL: its UTF-8 bytes, with every byte outside a
// safe set percent-encoded, so that "#", "%", "?", spaces and non-ASCII letters
// in a report's name still lead the browser to the file whatever encoding the
// page is read in.
MkString fileNameAsUrl(const MkString& name) {
    const std::string bytes = lfw::utf8::encode(name.Std(), lfw::utf8::Invalid::Escape);
    static const char hex[] = "0123456789ABCDEF";
    std::wstring out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes) {
        const bool keep = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
                          b == '_' || b == '~' || b == '!' || b == '$' || b == '\'' || b == '(' || b == ')' || b == '*' ||
                          b == '+' || b == ',' || b == ';' || b == '=' || b == '@';
        if (keep) {
            out += static_cast<wchar_t>(b);
        } else {
            out += L'%';
            out += static_cast<wchar_t>(hex[b >> 4]);
            out += static_cast<wchar_t>(hex[b & 15]);
        }
    }
    return MkString(std::move(out));
}

MkString imgElement(int width, int height) {
    return MkString(L"<img src=\"dummysnapshot.jpg\" width=\"") + MkString(width) + MkString(L"\" height=\"") + MkString(height) +
           MkString(L"\" />");
}

int clampToInt(unsigned int value) { return value > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(value); }

bool hasPixels(const Image* image) { return image && image->byteCount() > 0 && image->width() > 0 && image->height() > 0; }

// Where the text holds "SIT" inside an occurrence of one of the names: the
// places that renumbering a copy of the text changes. All occurrences of all
// names are found in one pass (Aho-Corasick), so that a group with many tags
// costs time linear in its length.
std::vector<size_t> renumberedPlaces(const std::wstring& text, const std::vector<std::wstring>& names) {
    struct Node {
        std::vector<std::pair<wchar_t, int>> next;  // sorted by character
        int fail = 0;
        size_t longest = 0;  // longest name ending at this node (itself or through its fail links)
    };
    std::vector<Node> nodes(1);
    auto child = [&](int node, wchar_t c) -> int {
        const auto& next = nodes[static_cast<size_t>(node)].next;
        auto it = std::lower_bound(
            next.begin(), next.end(), std::make_pair(c, 0),
            [](const std::pair<wchar_t, int>& a, const std::pair<wchar_t, int>& b) { return a.first < b.first; });
        return it != next.end() && it->first == c ? it->second : -1;
    };
    for (const std::wstring& name : names) {
        int node = 0;
        for (wchar_t c : name) {
            int next = child(node, c);
            if (next < 0) {
                next = static_cast<int>(nodes.size());
                auto& list = nodes[static_cast<size_t>(node)].next;
                list.insert(std::upper_bound(list.begin(), list.end(), std::make_pair(c, 0),
                                             [](const std::pair<wchar_t, int>& a, const std::pair<wchar_t, int>& b) {
                                                 return a.first < b.first;
                                             }),
                            std::make_pair(c, next));
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
        const std::vector<std::pair<wchar_t, int>> edges = nodes[static_cast<size_t>(node)].next;
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
        while (node > 0 && child(node, text[i]) < 0) node = nodes[static_cast<size_t>(node)].fail;
        const int next = child(node, text[i]);
        node = next < 0 ? 0 : next;
        const size_t length = nodes[static_cast<size_t>(node)].longest;
        if (length > 0) earliest[i + 1] = i + 1 - length;
    }
    for (size_t e = n; e-- > 0;) earliest[e] = std::min(earliest[e], earliest[e + 1]);
    std::vector<size_t> places;
    for (size_t p = text.find(L"SIT"); p != std::wstring::npos; p = text.find(L"SIT", p + 1))
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
    const MkString mkPath = ug::Convert::toMkString(path);
    m_baseName = MkGetFileName(mkPath, false);
    m_directory = MkGetFilePath(mkPath, true);
}

bool HtmlDocument::open() {
    std::string bytes;
    if (!MkReadFile(ug::Convert::toMkString(m_path), &bytes)) return false;
    // kiv::Str's conversion from narrow text, without its intermediate copy:
    // bytes that are not UTF-8 become escape characters that save() writes back.
    m_content = MkString(lfw::utf8::decode(bytes, lfw::utf8::Invalid::Escape));
    return true;
}

bool HtmlDocument::save() {
    // kiv::Str's toStdString() conversion, without copying the content first.
    const std::string bytes = lfw::utf8::encode(m_content.Std(), lfw::utf8::Invalid::Escape);
    const Str& target = m_savePath.isEmpty() ? m_path : m_savePath;
    if (!MkWriteFile(ug::Convert::toMkString(target), bytes.data(), bytes.size())) {
        report(m_problems, Problem::Error, ProblemCode::WriteFailed,
               (lfw::String("Error writing report file (%1)").arg(target.toStdWString())).toStdString());
        return false;
    }
    return true;
}

bool HtmlDocument::getSitTagNames(MkStringArray& names) const {
    names.Clear();
    int pos = 0;
    while (pos < m_content.Length()) {
        int start = -1, end = -1;
        MkString element = getEntireElement(m_content, SIT_TAG, pos, &start, &end);
        if (start < 0) break;
        names.AddGrow(findSitName(element));
        pos = end;
    }
    names.RemoveDuplicates();
    return true;
}

bool HtmlDocument::hasRefTags() const {
    MkStringArray names;
    getSitTagNames(names);
    for (int i = 0; i < names.GetSize(); ++i)
        if (names[i].StartsWith(L"REF_SIT")) return true;
    return false;
}

// ---------------------------------------------------------------------------
// Groups

bool HtmlDocument::unrollGroups(const Snapshots& snapshots, const MkIntArray& indices, int use3dPlugin) {
    if (m_groupsUnrolled) return true;
    // The result is written into a new buffer while scanning, so a template
    // with many groups or a long unrolled group costs linear time.
    const std::wstring& source = m_content.Std();
    std::wstring out;
    size_t copied = 0;
    int pos = 0;
    while (pos < m_content.Length()) {
        int start = -1, end = -1;
        MkString group = getEntireElement(m_content, GROUP_TAG, pos, &start, &end);
        if (start < 0) break;
        pos = end;
        // A group inside a group would end at the inner closing tag and leave the
        // outer one unbalanced in the report.
        if (group.Find(MkString(L"<") + MkString(GROUP_TAG), 1) >= 0) {
            report(m_problems, Problem::Error, ProblemCode::TemplateMarkup,
                   (lfw::String("Generic group inside a generic group at character %1: groups cannot be nested").arg(start))
                       .toStdString());
            report(m_problems, Problem::Error, ProblemCode::TemplateMarkup, "Error unrolling generic tags");
            return false;
        }
        int first = -1, last = -1;
        MkString content = getElementContent(group, GROUP_TAG, 0, &first, &last, m_problems);
        if (first < 0) continue;  // an opening tag without ">": left as it is
        out.append(source, copied, static_cast<size_t>(start) - copied);
        if (!unrollGenericTagsInGroup(content, snapshots, indices, use3dPlugin, source.size() - static_cast<size_t>(end), &out)) {
            report(m_problems, Problem::Error, ProblemCode::TemplateMarkup, "Error unrolling generic tags");
            return false;
        }
        copied = static_cast<size_t>(end);
    }
    if (copied > 0) {
        out.append(source, copied, std::wstring::npos);
        m_content.Std().swap(out);
    }
    m_groupsUnrolled = true;
    return true;
}

bool HtmlDocument::unrollGenericTagsInGroup(const MkString& group, const Snapshots& snapshots, const MkIntArray& indices,
                                            int use3dPlugin, size_t following, std::wstring* out) {
    std::vector<MkString> tags;  // the names of the group's tags, in order
    bool hasPicture = false, hasMdlx = false, hasTable = false;
    int pos = 0;
    while (pos < group.Length()) {
        int start = -1, end = -1;
        MkString element = getEntireElement(group, SIT_TAG, pos, &start, &end);
        if (start < 0) break;
        const MkString name = findSitName(element);
        switch (findSitTypeFromName(name)) {
        case HTML_TAG_PICTURE: hasPicture = true; break;
        case HTML_TAG_MDLX: hasMdlx = true; break;
        case HTML_TAG_TABLE: hasTable = true; break;
        default: break;
        }
        tags.push_back(name);
        pos = end;
    }
    const bool typed = hasPicture || hasMdlx || hasTable;

    std::vector<int> accepted;
    for (int i = 0; i < indices.GetSize(); ++i) {
        const int k = indices[i];
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
    for (const MkString& tag : tags)
        if (tag.IsEmpty()) return false;

    // Every "SIT" inside an occurrence of a collected name gets the snapshot's
    // number. The places are found once for the group; each copy is then
    // written in one pass.
    std::vector<std::wstring> names;
    {
        std::unordered_set<std::wstring> seen;
        for (const MkString& tag : tags) {
            const std::wstring& name = tag.Std();
            if (name.find(L"SIT") != std::wstring::npos && seen.insert(name).second) names.push_back(name);
        }
    }
    const std::wstring& text = group.Std();
    const std::vector<size_t> places = renumberedPlaces(text, names);
    const size_t perCopy = text.size() + 11 * places.size();
    if (!m_budget.spendText(perCopy * accepted.size())) return false;
    // One allocation for all copies: growing by doubling instead would touch
    // fresh memory several times over for a large report.
    out->reserve(out->size() + perCopy * accepted.size() + following);
    for (int k : accepted) {
        const std::wstring number = std::to_wstring(k + 1);
        size_t copied = 0;
        for (size_t place : places) {
            out->append(text, copied, place + 3 - copied);
            out->append(number);
            copied = place + 3;
        }
        out->append(text, copied, std::wstring::npos);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Filling

bool HtmlDocument::updateDocumentContent(const Snapshots& snapshots, const Snapshots& referenceSnapshots,
                                         const MkIntArray& indices, bool use3dPlugin) {
    if (!unrollGroups(snapshots, indices, use3dPlugin ? 1 : 0)) return false;
    const size_t largest = snapshots.size() > referenceSnapshots.size() ? snapshots.size() : referenceSnapshots.size();
    const int limit = largest > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(largest);

    // Filled elements go into a new buffer as the scan passes them; replacing
    // them one by one inside a multi-megabyte string would cost quadratic time.
    // Inserted text is never scanned again, so a title holding tag markup is
    // not taken for a tag.
    const std::wstring& source = m_content.Std();
    std::wstring out;
    size_t copied = 0;
    int pos = 0;
    while (pos < m_content.Length()) {
        int start = -1, end = -1;
        MkString element = getEntireElement(m_content, SIT_TAG, pos, &start, &end);
        if (start < 0) break;
        pos = end;
        MkString filled;
        if (!fillElement(element, snapshots, referenceSnapshots, limit, use3dPlugin, &filled)) continue;
        if (out.empty()) out.reserve(source.size() + source.size() / 8);
        out.append(source, copied, static_cast<size_t>(start) - copied);
        out += filled.Std();
        copied = static_cast<size_t>(end);
    }
    if (m_writeFailed || m_budget.exhausted()) {
        report(m_problems, Problem::Error, ProblemCode::ContentLeftOut,
               (lfw::String("Report not written: %1")
                    .arg(m_writeFailed ? "a picture could not be written" : "it would take too much memory"))
                   .toStdString());
        return false;
    }
    if (copied > 0) {
        out.append(source, copied, std::wstring::npos);
        m_content.Std().swap(out);
        std::wstring().swap(out);  // the old content is not needed while saving
    }
    return save();
}

bool HtmlDocument::fillElement(const MkString& element, const Snapshots& snapshots, const Snapshots& referenceSnapshots,
                               int limit, bool use3dPlugin, MkString* filled) {
    int first = -1, last = -1;
    getElementContent(element, SIT_TAG, 0, &first, &last, m_problems);
    if (first < 0) return false;
    const MkString name = findSitName(element);
    const int n = findSituationIndexFromName(name);
    if (n < 1 || n - 1 >= limit) return false;
    // The prefix decides, as in validation: a field key holding "REF_" (SIT1_$REF_X)
    // still belongs to the main repository.
    const bool isReference = name.StartsWith(L"REF_");
    const Snapshots& collection = isReference ? referenceSnapshots : snapshots;
    if (static_cast<size_t>(n) > collection.size()) return false;
    const Snapshot* snapshot = collection[static_cast<size_t>(n - 1)];
    if (!snapshot) return false;

    const MkString before = element.Left(first);
    const MkString after = element.Mid(last + 1);
    const HtmlTagType kind = findSitTypeFromName(name);
    switch (kind) {
    case HTML_TAG_TITLE:
    case HTML_TAG_TEXT: {
        MkString text = ug::Convert::toMkString(kind == HTML_TAG_TITLE ? snapshot->title() : snapshot->description());
        // Macros may grow the text only as far as the report's budget reaches.
        const uint64_t room = m_budget.charactersLeft();
        const size_t maxLength =
            room < FieldMacros::MAX_EXPANDED_LENGTH ? static_cast<size_t>(room) : FieldMacros::MAX_EXPANDED_LENGTH;
        if (!FieldMacros::expandString(snapshot->fieldValues(), &text, maxLength, m_problems) &&
            maxLength < FieldMacros::MAX_EXPANDED_LENGTH) {
            m_budget.spendText(room + 1);  // refused: logs that the report ran out of room
            return false;
        }
        if (!m_budget.spendText(static_cast<uint64_t>(text.Length()))) return false;
        *filled = before + text + after;
        return true;
    }
    case HTML_TAG_PICTURE: {
        if (snapshot->type() != Snapshot::IMAGE && snapshot->type() != Snapshot::MDLX) return false;
        PtrRef<Image> picture = pictureOf(snapshot);
        if (!picture) return false;
        MkString edited(element);
        if (!setImage(edited, n - 1, picture.p(), isReference)) return false;
        *filled = edited;
        return true;
    }
    case HTML_TAG_MDLX: {
        MkString edited(element);
        const HtmlTagType r =
            use3dPlugin ? setMdlx(edited, n - 1, snapshot, isReference) : replaceMdlx(edited, n - 1, snapshot, isReference);
        if (r == HTML_TAG_PICTURE) {
            const MkString prefix(isReference ? L"REF_SIT" : L"SIT");
            edited.Replace(prefix + MkString(n) + MkString(L"_MDLX"), prefix + MkString(n) + MkString(L"_PICTURE"));
        }
        *filled = edited;
        return true;
    }
    case HTML_TAG_TABLE: {
        const Table* cells = snapshot->table();
        if (cells && !m_budget.spendText(cells->rowCount() * (cells->columnCount() * 9 + 20))) return false;
        MkString table(element);
        if (!setTable(table, snapshot)) return false;
        *filled = before + table + after;
        return true;
    }
    case HTML_TAG_MACRO: {
        const std::map<Str, Str> fieldValues = snapshot->fieldValues();
        if (fieldValues.empty()) return false;
        const MkString key = name.Mid(name.Find(L'$') + 1);
        MkString value;
        if (!FieldMacros::getFieldValue(fieldValues, key, &value)) return false;
        *filled = before + FieldMacros::escapeHtml(value) + after;
        return true;
    }
    default: return false;
    }
}

MkString HtmlDocument::imageFileName(int snapshotIndex, bool isReference) const {
    return m_baseName + MkString(L"_") + MkString(isReference ? L"REF_" : L"") + MkString(L"SIT") + MkString(snapshotIndex + 1) +
           MkString(L"-1.jpg");
}

bool HtmlDocument::setImage(MkString& element, int snapshotIndex, const Image* image, bool isReference) {
    const MkString name = imageFileName(snapshotIndex, isReference);
    const int slash = name.Find(L'/', -1, false);
    const MkString value = fileNameAsUrl(slash >= 0 ? name.Mid(slash + 1) : name);

    const int p = element.Find(L"src");
    if (p < 0) {
        report(m_problems, Problem::Error, ProblemCode::TemplateMarkup, "image element src not found in html");
        return false;
    }
    if (!replaceAttribute(element, p, L"src", value, m_problems))
        report(m_problems, Problem::Warning, ProblemCode::TemplateMarkup,
               (lfw::String("Not able to set image src in string: %1").arg(element.Std())).toStdString());
    if (!image) return true;

    if (!updateSizeAttributesOfTag(element, clampToInt(image->height()), clampToInt(image->width()), m_problems))
        report(m_problems, Problem::Warning, ProblemCode::TemplateMarkup,
               (lfw::String("Not able to set image width/height in string: %1").arg(element.Std())).toStdString());

    if (m_savedImageSet.count(name.Std())) return true;
    // The pictures go beside the document: the src values name them relative to it.
    MkString file = m_directory + name;
    if (m_staged) {
        // Written under a temporary name, moved into place with the report.
        const std::string temp = m_staged->stage(file.ShortChar());
        if (temp.empty()) {
            m_writeFailed = true;
            return false;
        }
        file = MkString(temp.c_str());
    }
    if (SnapshotPictures::saveImageAsJpeg(image, file, m_problems)) {
        m_savedImages.AddGrow(name);
        m_savedImageSet.insert(name.Std());
        return true;
    }
    m_writeFailed = true;
    report(m_problems, Problem::Warning, ProblemCode::WriteFailed, "Error saving image for HTML report");
    return false;
}

HtmlTagType HtmlDocument::setMdlx(MkString& element, int snapshotIndex, const Snapshot* snapshot, bool isReference) {
    if (!element.Contains(L"iframe", false)) {
        report(m_problems, Problem::Error, ProblemCode::TemplateMarkup, "iframe element not found in html.");
        return HTML_TAG_UNKNOWN;
    }
    if (!snapshot) return HTML_TAG_UNKNOWN;
    switch (snapshot->type()) {
    case Snapshot::MDLX: {
        const int p = element.Find(L"src");
        if (p < 0) return HTML_TAG_UNKNOWN;
        const MkString url = ug::Convert::toMkString(snapshot->cloudViewerUrl()) + MkString(L"?embed=1");
        if (!replaceAttribute(element, p, L"src", escapeMarkup(url), m_problems))
            report(m_problems, Problem::Warning, ProblemCode::TemplateMarkup, "iframe element src not found in html.");
        return HTML_TAG_MDLX;
    }
    case Snapshot::IMAGE: {
        int height = -1, width = -1;
        if (!getSizeFromTag(element, height, width)) {
            report(m_problems, Problem::Error, ProblemCode::TemplateMarkup, "iframe element size not found in html.");
            return HTML_TAG_UNKNOWN;
        }
        MkString img = imgElement(width, height);
        if (!setImage(img, snapshotIndex, snapshot->image(), isReference)) return HTML_TAG_UNKNOWN;
        int first = -1, last = -1;
        getElementContent(element, SIT_TAG, 0, &first, &last, m_problems);
        if (first < 0) return HTML_TAG_UNKNOWN;
        element = element.Left(first) + img + element.Mid(last + 1);
        return HTML_TAG_PICTURE;
    }
    default: return HTML_TAG_UNKNOWN;
    }
}

HtmlTagType HtmlDocument::replaceMdlx(MkString& element, int snapshotIndex, const Snapshot* snapshot, bool isReference) {
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
    MkString img = imgElement(width, height);
    if (!setImage(img, snapshotIndex, picture.p(), isReference)) return HTML_TAG_UNKNOWN;
    element = img;
    return HTML_TAG_PICTURE;
}

bool HtmlDocument::setTable(MkString& element, const Snapshot* snapshot) {
    if (!snapshot || snapshot->type() != Snapshot::TABLE) return false;
    const Table* table = snapshot->table();
    if (!table || table->rowCount() < 1 || table->columnCount() < 1) return false;

    // The template's table must show a sample row with cells; its own cells are not kept.
    const int rowStart = element.Find(L"<tr");
    const int rowEnd = rowStart >= 0 ? element.Find(L"</tr>", rowStart) : -1;
    if (rowStart < 0 || rowEnd < 0) return false;
    const MkString sampleRow = element.GetSubString(rowStart, rowEnd + 4);
    if (!sampleRow.Contains(L"<td") && !sampleRow.Contains(L"<th")) return false;

    // The template's opening <table ...> tag keeps its attributes.
    MkString opening;
    const int word = element.Find(L"table");
    const int lt = word > 0 ? element.Find(L'<', word - 1, false) : -1;
    const int tableTag = element.Find(L"<table");
    const int gt = tableTag >= 0 ? element.Find(L'>', tableTag) : -1;
    if (lt >= 0 && tableTag >= 0 && gt >= lt) opening = element.GetSubString(lt, gt);
    if (opening.IsEmpty()) opening = MkString(L"\n<table border=\"1\"\n>");

    std::wstring out = opening.Std();
    for (size_t r = 0; r < table->rowCount(); ++r) {
        const wchar_t* cellOpen = r == 0 ? L"<th>" : L"<td>";
        const wchar_t* cellClose = r == 0 ? L"</th>" : L"</td>";
        out += L"  <tr>\n    ";
        for (size_t c = 0; c < table->columnCount(); ++c) {
            out += cellOpen;
            // Cell texts are data, not markup: "x<5 & y>2" must show as written.
            out += escapeMarkup(ug::Convert::toMkString(table->value(r, c))).Std();
            out += cellClose;
        }
        out += L"\n  </tr>\n";
    }
    out += L"</table>\n";
    element = MkString(std::move(out));
    return true;
}

// ---------------------------------------------------------------------------
// Scanning helpers

MkString HtmlDocument::getEntireElement(const MkString& text, const MkString& tag, int from, int* start, int* end) {
    const MkString opening = MkString(L"<") + tag;
    const MkString closing = MkString(L"</") + tag + MkString(L">");
    const int s = text.Find(opening, from);
    const int e = s >= 0 ? text.Find(closing, s) : -1;
    if (s < 0 || e < 0) {
        if (start) *start = -1;
        if (end) *end = -1;
        return MkString();
    }
    const int stop = e + closing.Length();
    if (start) *start = s;
    if (end) *end = stop;
    return text.Mid(s, stop - s);
}

MkString HtmlDocument::getElementContent(const MkString& text, const MkString& tag, int from, int* start, int* end,
                                         Problems* problems) {
    const MkString opening = MkString(L"<") + tag;
    const MkString closing = MkString(L"</") + tag + MkString(L">");
    const int s = text.Find(opening, from);
    const int e = s >= 0 ? text.Find(closing, s) : -1;
    const int b = s >= 0 ? findEndBracket(text, tag, s, problems) : -1;
    // A ">" past the closing tag belongs to the closing tag: the opening tag is unfinished.
    if (s < 0 || e < 0 || b < 0 || b > e) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Element not found when trying to read '%1' in string: %2").arg(tag.Std()).arg(text.Std()))
                   .toStdString());
        if (start) *start = -1;
        if (end) *end = -1;
        return MkString();
    }
    if (start) *start = b + 1;
    if (end) *end = e - 1;
    return text.GetSubString(b + 1, e - 1);
}

int HtmlDocument::findEndBracket(const MkString& text, const MkString& tag, int from, Problems* problems) {
    const int p = text.Find(MkString(L"<") + tag, from);
    if (p < 0) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Start bracket not found for '%1' in string: %2").arg(tag.Std()).arg(text.Std())).toStdString());
        return -1;
    }
    const int b = text.Find(L'>', p);
    if (b < 0) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("End bracket not found for '%1' in string: %2").arg(tag.Std()).arg(text.Std())).toStdString());
        return -1;
    }
    return b;
}

bool HtmlDocument::replaceSubString(MkString& text, int from, int to, const MkString& replacement) {
    const int length = text.Length();
    if (from < 0) from = 0;
    if (from > length) from = length;
    if (to < from) to = from;
    if (to > length) to = length;
    text.Std().replace(static_cast<size_t>(from), static_cast<size_t>(to - from), replacement.Std());
    return true;
}

MkString HtmlDocument::findSitName(const MkString& element) {
    const int p = element.Find(L"name");
    if (p < 0) return MkString();
    const int q1 = element.Find(L'"', p);
    const int q2 = q1 >= 0 ? element.Find(L'"', q1 + 1) : -1;
    if (q2 < 0) return MkString();
    return element.Mid(q1 + 1, q2 - q1 - 1);
}

HtmlTagType HtmlDocument::findSitTypeFromName(const MkString& name) {
    MkString rest;
    if (name.StartsWith(L"SIT")) rest = name.Mid(3);
    else if (name.StartsWith(L"REF_SIT")) rest = name.Mid(7);
    const int underscore = rest.Find(L'_');
    if (underscore >= 0) rest = rest.Mid(underscore + 1);

    if (rest == MkString(L"TITLE")) return HTML_TAG_TITLE;
    if (rest == MkString(L"TEXT")) return HTML_TAG_TEXT;
    if (rest == MkString(L"PICTURE")) return HTML_TAG_PICTURE;
    if (rest == MkString(L"MDLX")) return HTML_TAG_MDLX;
    if (rest == MkString(L"TABLE")) return HTML_TAG_TABLE;
    if (rest.StartsWith(L"$")) return HTML_TAG_MACRO;
    return HTML_TAG_UNKNOWN;
}

int HtmlDocument::findSituationIndexFromName(const MkString& name) { return TemplateTags::getTagIndex(name); }

bool HtmlDocument::replaceAttribute(MkString& text, int from, const MkString& attribute, const MkString& value,
                                    Problems* problems) {
    bool nameFound = false;
    const int q1 = findAttributeValueQuote(text, from, attribute, &nameFound);
    if (!nameFound) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Attribute not found when trying to read '%1' in string: %2").arg(attribute.Std()).arg(text.Std()))
                   .toStdString());
        return false;
    }
    const int q2 = q1 >= 0 ? text.Find(L'"', q1 + 1) : -1;
    if (q2 < 0) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Attribute value not found when trying to replace '%1' in string: %2")
                    .arg(attribute.Std())
                    .arg(text.Std()))
                   .toStdString());
        return false;
    }
    return replaceSubString(text, q1 + 1, q2, value);
}

bool HtmlDocument::replaceAttributeStyleInt(MkString& text, int from, const MkString& property, int value, Problems* problems) {
    const int p = text.Find(L"style", from);
    if (p < 0) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("'style' not found when trying to set width and height in text: %1").arg(text.Std())).toStdString());
        return false;
    }
    const int a = text.Find(property, p);
    if (a < 0) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("%1 not found when trying to set width and height in text: %2").arg(property.Std()).arg(text.Std()))
                   .toStdString());
        return false;
    }
    const int c = text.Find(L';', a);
    if (c < 0) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Ending ; not found for attribute %1 when trying to set width and height in text: %2")
                    .arg(property.Std())
                    .arg(text.Std()))
                   .toStdString());
        return false;
    }
    const MkString declaration = text.GetSubString(a, c);
    const int oldNumber = firstIntOf(declaration);
    if (oldNumber == -1 && declaration.GetFirstFloat() == FLT_MAX) {
        report(problems, Problem::Error, ProblemCode::TemplateMarkup,
               (lfw::String("Number not found for attribute %1 when trying to set width and height in text: %2")
                    .arg(property.Std())
                    .arg(text.Std()))
                   .toStdString());
        return false;
    }
    MkString newDeclaration(declaration);
    newDeclaration.Replace(MkString(oldNumber), MkString(value));
    text.Replace(declaration, newDeclaration);
    return true;
}

bool HtmlDocument::getSizeFromTag(const MkString& tag, int& height, int& width) {
    height = findIntAttributeStyle(tag, L"height");
    width = findIntAttributeStyle(tag, L"width");
    if (height == -1) {
        height = findIntAttribute(tag, L"height");
        width = findIntAttribute(tag, L"width");
    }
    return height != -1 && width != -1;
}

int HtmlDocument::findIntAttributeStyle(const MkString& tag, const MkString& property) {
    const int p = tag.Find(property);
    if (p < 0) return -1;
    const int c = tag.Find(L';', p);
    if (c < 0) return -1;
    return firstIntOf(tag.GetSubString(p, c));
}

int HtmlDocument::findIntAttribute(const MkString& tag, const MkString& attribute) {
    const int p = tag.Find(attribute);
    if (p < 0) return -1;
    const float f = tag.GetFirstFloat(p);
    return f == FLT_MAX ? -1 : truncateToInt(f);
}

bool HtmlDocument::updateSizeAttributesOfTag(MkString& tag, int imageHeight, int imageWidth, Problems* problems) {
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
    const bool heightSet = replaceAttribute(tag, 0, L"height", MkString(newHeight), problems);
    const bool widthSet = replaceAttribute(tag, 0, L"width", MkString(newWidth), problems);
    if (!heightSet || !widthSet) {
        replaceAttributeStyleInt(tag, 0, L"height", newHeight, problems);
        replaceAttributeStyleInt(tag, 0, L"width", newWidth, problems);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Validation

bool HtmlDocument::validateDocument(const Snapshots& snapshots, const MkIntArray& indices, bool isReference, MkString& report) {
    if (!unrollGroups(snapshots, indices, 1)) return false;
    MkString unmatched, unused, unknown;
    validateTags(unmatched, unused, unknown, snapshots, isReference);

    bool appended = false;
    // Tag sections are written when they hold anything, macro sections when not blank.
    auto section = [&](const wchar_t* header, const MkString& text, bool skipBlank) {
        if (text.IsEmpty() || (skipBlank && text.IsBlank())) return;
        report += MkString(header);
        report += MkString(TemplateTags::VALIDATION_SEPARATOR);
        report += text;
        report += MkString(L"\n\n");
        appended = true;
    };
    section(L"Unmatched tags:\n", unmatched, false);
    section(L"Unknown tags:\n", unknown, false);
    section(L"Unused snapshots:\n", unused, false);

    MkStringArray macros;
    if (getMacroNames(macros)) {
        MkString unknownFields, warnings;
        for (int i = 0; i < macros.GetSize(); ++i) validateMacro(macros[i], snapshots, isReference, unknownFields, warnings);
        section(L"Unknown field values\n", unknownFields, true);
        section(L"Field value warnings\n", warnings, true);
    }
    return !appended;
}

bool HtmlDocument::validateTags(MkString& unmatched, MkString& unused, MkString& unknown, const Snapshots& snapshots,
                                bool isReference) const {
    MkStringArray names;
    getSitTagNames(names);
    const size_t count = snapshots.size();
    std::vector<char> used(count, 0);
    const MkString lineEnd(L"\n");
    bool clean = true;

    for (int i = 0; i < names.GetSize(); ++i) {
        const MkString& name = names[i];
        const HtmlTagType kind = findSitTypeFromName(name);
        if (kind == HTML_TAG_UNKNOWN) {
            unknown += name + lineEnd;
            clean = false;
            continue;
        }
        if (name.StartsWith(L"REF_SIT") != isReference) continue;
        const int n = findSituationIndexFromName(name);
        if (n == -1) {
            unknown += name + lineEnd;
            clean = false;
            continue;
        }
        // SIT0_ (or a negative number) names no snapshot: report it rather than look it up.
        if (n < 1 || static_cast<size_t>(n) > count) {
            unmatched += name + MkString(L": Snapshot ") + MkString(n) + MkString(L" does not exist\n");
            clean = false;
            continue;
        }
        used[static_cast<size_t>(n - 1)] = 1;
        const Snapshot* snapshot = snapshots[static_cast<size_t>(n - 1)];
        if (!snapshot) continue;
        const Snapshot::SnapshotType type = snapshot->type();
        bool mismatch = false;
        if (kind == HTML_TAG_PICTURE || kind == HTML_TAG_MDLX) mismatch = type == Snapshot::TABLE;
        else if (kind == HTML_TAG_TABLE) mismatch = type == Snapshot::IMAGE || type == Snapshot::MDLX;
        if (mismatch) {
            unmatched += name + MkString(L": Snapshot does not match tag type\n");
            clean = false;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        if (used[i]) continue;
        unused += MkString(L"Snapshot ") + MkString(static_cast<int>(i + 1)) + MkString(L" not used.\n");
        clean = false;
    }
    return clean;
}

bool HtmlDocument::getMacroNames(MkStringArray& names) const {
    names.Clear();
    MkStringArray all;
    getSitTagNames(all);
    for (int i = 0; i < all.GetSize(); ++i)
        if (all[i].Contains(L"$")) names.AddGrow(all[i]);
    return !names.IsEmpty();
}

bool HtmlDocument::validateMacro(const MkString& name, const Snapshots& snapshots, bool isReference, MkString& unknownFields,
                                 MkString& warnings) const {
    const TemplateTags::FieldMacroCheck check = TemplateTags::checkFieldMacro(name, snapshots, isReference);
    const MkString& key = check.key;
    switch (check.verdict) {
    case TemplateTags::FieldMacroCheck::BAD_SYNTAX:
        unknownFields += MkString(L"Syntax of field name ") + name + MkString(L" is not correct\n");
        break;
    case TemplateTags::FieldMacroCheck::NO_SNAPSHOT:
        warnings += MkString(L"Snapshot index ") + MkString(check.number) + MkString(L" does not exist. Field ") + name +
                    MkString(L" will not be replaced\n");
        break;
    case TemplateTags::FieldMacroCheck::MISSING_EVERYWHERE:
        unknownFields += MkString(L"Generic field ") + key + MkString(L" not found in any snapshots\n");
        break;
    case TemplateTags::FieldMacroCheck::MISSING_SOMEWHERE:
        unknownFields += MkString(L"Generic field ") + key + MkString(L" not found for all snapshots\n");
        break;
    case TemplateTags::FieldMacroCheck::UNKNOWN_FIELD: {
        const Snapshot* snapshot = snapshots[static_cast<size_t>(check.number - 1)];
        unknownFields += MkString(L"Field name ") + key + MkString(L" not found for snapshot ") + MkString(check.number) +
                         MkString(L" (") + ug::Convert::toMkString(snapshot ? snapshot->title() : Str()) + MkString(L")\n");
        break;
    }
    default: return true;
    }
    return false;
}

}  // namespace rep
}  // namespace kiv
