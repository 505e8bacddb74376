#include "impl/storage/MkOXmlDocument.h"
#include "LibCore/lfwFile.h"
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char* const VALUE_FORMAT = "Value%d";
const char* const UNDEFINED_TEXT = "Undefined";
// Floats at or above this are written as "Undefined" (the largest float marks "no value").
const float FLOAT_UNDEFINED_LIMIT = 2.99e38f;

std::string narrowName(const MkString& name) { return std::string(name.ShortChar()); }

MkString fromUtf8(const char* text) {
    if (!text) return MkString();
    return MkStringFromUTF8(text, static_cast<int>(std::strlen(text)) + 1);
}

std::string formatFixed(double value) {
    char buf[512];
    std::snprintf(buf, sizeof(buf), "%f", value);
    return buf;
}

// The first text child of an element, null when it has none.
TiXmlText* firstText(TiXmlElement* e) {
    for (TiXmlNode* n = e->FirstChild(); n; n = n->NextSibling())
        if (TiXmlText* t = n->ToText()) return t;
    return nullptr;
}

// A new element with that name and, when value is not empty, one text child.
TiXmlElement* newElement(const MkString& name, const MkString& value) {
    TiXmlElement* e = new TiXmlElement(narrowName(name));
    if (!value.IsEmpty()) e->LinkEndChild(new TiXmlText(MkXmlToUtf8(value)));
    return e;
}

// Decimal conversion of the leading digits; non-numbers give 0, overflow is clamped.
int textToInt(const char* text) {
    if (!text) return 0;
    errno = 0;
    long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

const char* attributeText(const TiXmlElement* e, const MkString& name) {
    return e ? e->Attribute(name.ShortChar()) : nullptr;
}

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

} // namespace

std::string MkXmlToUtf8(const MkString& text) {
    int length = 0;
    char* bytes = MkStringToUTF8(text, &length);
    std::string out;
    if (bytes && length > 0) out.assign(bytes, static_cast<size_t>(length));
    delete[] bytes;
    return out;
}

// ---------------------------------------------------------------------------
// MkXmlElement

MkString MkXmlElement::GetName() const { return m_e ? MkString(m_e->Value()) : MkString(); }

bool MkXmlElement::SetName(const MkString& name) const {
    if (!m_e || name.IsBlank()) return false;
    m_e->SetValue(narrowName(name));
    return true;
}

MkXmlElement MkXmlElement::AddChildElement(const MkString& name, const MkString& value) const {
    if (!m_e) return MkXmlElement();
    return FromNode(m_e->LinkEndChild(newElement(name, value)));
}

MkXmlElement MkXmlElement::AddChildElementBefore(const MkXmlElement& before, const MkString& name,
                                                 const MkString& value) const {
    if (!m_e || !before.m_e || before.m_e->Parent() != m_e) return MkXmlElement();
    // TinyXML inserts a copy; the copy is the element in the tree.
    TiXmlElement* e = newElement(name, value);
    TiXmlNode* inserted = m_e->InsertBeforeChild(before.m_e, *e);
    delete e;
    return FromNode(inserted);
}

MkXmlElement MkXmlElement::AddChildElementCompleteTag(const MkString& tagText, const MkString& value) const {
    if (!m_e) return MkXmlElement();
    MkString tag(tagText);
    tag.Nicify();
    if (tag.Find(L'<') < 0 || tag.Find(L'>') < 0) return MkXmlElement();
    // Drop the angle brackets, then every "/" (self-closing marks, slashes in values).
    std::wstring text = tag.Std();
    text = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::wstring();
    std::wstring body;
    body.reserve(text.size());
    for (wchar_t c : text)
        if (c != L'/') body += c;

    std::vector<std::wstring> words;
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t next = body.find(L' ', pos);
        if (next == std::wstring::npos) next = body.size();
        if (next > pos) words.push_back(body.substr(pos, next - pos));
        pos = next + 1;
    }
    if (words.empty()) return MkXmlElement();

    TiXmlElement* e = new TiXmlElement(narrowName(MkString(words[0])));
    for (size_t w = 1; w < words.size(); ++w) {
        std::vector<std::wstring> parts;
        size_t start = 0;
        for (;;) {
            size_t eq = words[w].find(L'=', start);
            parts.push_back(words[w].substr(start, eq == std::wstring::npos ? std::wstring::npos : eq - start));
            if (eq == std::wstring::npos) break;
            start = eq + 1;
        }
        bool valid = !parts.empty() && parts.size() % 2 == 0;
        for (size_t i = 0; valid && i < parts.size(); i += 2)
            if (parts[i].empty()) valid = false;  // an attribute needs a name
        if (!valid) {
            delete e;
            return MkXmlElement();
        }
        for (size_t i = 0; i < parts.size(); i += 2) {
            std::wstring v;
            for (wchar_t c : parts[i + 1])
                if (c != L'"') v += c;
            e->SetAttribute(narrowName(MkString(parts[i])), MkXmlToUtf8(MkString(v)));
        }
    }
    if (!value.IsEmpty()) e->LinkEndChild(new TiXmlText(MkXmlToUtf8(value)));
    return FromNode(m_e->LinkEndChild(e));
}

bool MkXmlElement::RemoveChildElement(const MkXmlElement& child) const {
    if (!m_e || !child.m_e || child.m_e->Parent() != m_e) return false;
    return m_e->RemoveChild(child.m_e);
}

bool MkXmlElement::AddAttributeString(const MkString& name, const MkString& value) const {
    if (!m_e) return false;
    m_e->SetAttribute(narrowName(name), MkXmlToUtf8(value));
    return true;
}

bool MkXmlElement::AddAttributeInt(const MkString& name, int value) const {
    if (!m_e) return false;
    m_e->SetAttribute(narrowName(name), value);
    return true;
}

bool MkXmlElement::AddAttributeBool(const MkString& name, bool value) const {
    if (!m_e) return false;
    m_e->SetAttribute(narrowName(name), value ? "true" : "false");
    return true;
}

bool MkXmlElement::AddAttributeFloat(const MkString& name, float value) const {
    if (!m_e) return false;
    // "not below the limit" also catches NaN, which has no sensible text either.
    std::string text = (value < FLOAT_UNDEFINED_LIMIT) ? formatFixed(value) : std::string(UNDEFINED_TEXT);
    m_e->SetAttribute(narrowName(name), text);
    return true;
}

bool MkXmlElement::AddAttributeDouble(const MkString& name, double value) const {
    if (!m_e) return false;
    std::string text = (value == DBL_MAX) ? std::string(UNDEFINED_TEXT) : formatFixed(value);
    m_e->SetAttribute(narrowName(name), text);
    return true;
}

bool MkXmlElement::AddAttributeColor(const MkString& name, const MkXmlColor& value) const {
    if (!m_e) return false;
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%d %d %d", value.red, value.green, value.blue);
    m_e->SetAttribute(narrowName(name), buf);
    return true;
}

bool MkXmlElement::AddIDAttribute(int id) const { return AddAttributeInt("ID", id); }

bool MkXmlElement::RemoveAttribute(const MkString& name) const {
    if (!m_e || !m_e->Attribute(name.ShortChar())) return false;
    m_e->RemoveAttribute(name.ShortChar());
    return true;
}

bool MkXmlElement::HasAttribute(const MkString& name) const { return attributeText(m_e, name) != nullptr; }

MkString MkXmlElement::GetAttributeString(const MkString& name, const MkString& def, bool* found) const {
    if (found) *found = false;
    const char* text = attributeText(m_e, name);
    if (isBlankText(text)) return def;
    if (found) *found = true;
    return fromUtf8(text);
}

int MkXmlElement::GetAttributeInt(const MkString& name, int def, bool* found) const {
    if (found) *found = false;
    if (!m_e) return def;
    int value = 0;
    if (m_e->QueryIntAttribute(name.ShortChar(), &value) != TIXML_SUCCESS) return def;
    if (found) *found = true;
    return value;
}

bool MkXmlElement::GetAttributeBool(const MkString& name, bool def, bool* found) const {
    if (found) *found = false;
    const char* text = attributeText(m_e, name);
    if (isBlankText(text)) return def;
    if (found) *found = true;
    if (text[0] == '0') return false;
    if (text[0] == '1') return true;
    MkString word = fromUtf8(text);
    word.ToLower();
    word.Trim();
    if (word == MkString("yes") || word == MkString("on") || word == MkString("true")) return true;
    if (word == MkString("no") || word == MkString("off") || word == MkString("false")) return false;
    return def;
}

float MkXmlElement::GetAttributeFloat(const MkString& name, float def, bool* found) const {
    if (found) *found = false;
    const char* text = attributeText(m_e, name);
    if (isBlankText(text)) return def;
    if (found) *found = true;
    if (std::strcmp(text, UNDEFINED_TEXT) == 0) return FLT_MAX;
    return fromUtf8(text).AsFloat(def);
}

double MkXmlElement::GetAttributeDouble(const MkString& name, double def, bool* found) const {
    if (found) *found = false;
    const char* text = attributeText(m_e, name);
    if (isBlankText(text)) return def;
    if (found) *found = true;
    if (std::strcmp(text, UNDEFINED_TEXT) == 0) return DBL_MAX;
    return fromUtf8(text).AsDouble(def);
}

MkXmlColor MkXmlElement::GetAttributeColor(const MkString& name, const MkXmlColor& def, bool* found) const {
    if (found) *found = false;
    const char* text = attributeText(m_e, name);
    if (isBlankText(text)) return def;
    if (found) *found = true;
    int rgb[3] = {0, 0, 0};
    const char* p = text;
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        long v = std::strtol(p, &end, 10);
        if (end == p) break;  // missing components stay 0
        rgb[i] = v < 0 ? 0 : (v > 255 ? 255 : static_cast<int>(v));
        p = end;
    }
    return MkXmlColor(static_cast<unsigned char>(rgb[0]), static_cast<unsigned char>(rgb[1]),
                      static_cast<unsigned char>(rgb[2]));
}

int MkXmlElement::GetIDAttribute(bool* found) const { return GetAttributeInt("ID", -1, found); }

// Arrays are a container element holding one "Value<i>" child per item.
template <typename Array, typename ToText>
bool addArray(const MkXmlElement& parent, const MkString& name, const Array& values, ToText toText) {
    MkXmlElement container = parent.AddChildElement(name);
    if (!container) return false;
    MkString itemName;
    for (int i = 0; i < values.GetSize(); ++i) {
        itemName.MakeForm(VALUE_FORMAT, i);
        container.AddChildElement(itemName, toText(values[i]));
    }
    return true;
}

bool MkXmlElement::AddChildIntArray(const MkString& name, const MkIntArray& values) const {
    return addArray(*this, name, values, [](int v) { return MkString::Make(v); });
}

bool MkXmlElement::AddChildFloatArray(const MkString& name, const MkFloatArray& values) const {
    return addArray(*this, name, values, [](float v) { return MkString::Make(v); });
}

bool MkXmlElement::AddChildStringArray(const MkString& name, const MkStringArray& values) const {
    return addArray(*this, name, values, [](const MkString& v) { return v; });
}

bool MkXmlElement::GetChildIntArray(const MkString& name, MkIntArray* values, int maxItems) const {
    if (!values) return false;
    values->Clear();
    MkXmlElement container = GetFirstChildElement(name);
    if (!container) return false;
    readItems(container.m_e, maxItems, [&](const char* text) { values->AddGrow(textToInt(text)); });
    return true;
}

bool MkXmlElement::GetChildFloatArray(const MkString& name, MkFloatArray* values, int maxItems) const {
    if (!values) return false;
    values->Clear();
    MkXmlElement container = GetFirstChildElement(name);
    if (!container) return false;
    readItems(container.m_e, maxItems, [&](const char* text) { values->AddGrow(fromUtf8(text).AsFloat(0.0f)); });
    return true;
}

bool MkXmlElement::GetChildStringArray(const MkString& name, MkStringArray* values, int maxItems) const {
    if (!values) return false;
    values->Clear();
    return GetFirstChildElement(name).GetStringArrayItems(values, maxItems);
}

bool MkXmlElement::GetStringArrayItems(MkStringArray* values, int maxItems) const {
    if (!values) return false;
    values->Clear();
    if (!m_e) return false;
    readItems(m_e, maxItems, [&](const char* text) { values->AddGrow(fromUtf8(text)); });
    return true;
}

bool MkXmlElement::AddMatrix(const MkString& name, const MkMatrix4& matrix) const {
    MkXmlElement container = AddChildElement(name);
    if (!container) return false;
    MkString rowName, text;
    for (int k = 1; k <= 4; ++k) {
        rowName.MakeForm("Row%d", k);
        text.MakeForm("%f %f %f %f", matrix[0][k - 1], matrix[1][k - 1], matrix[2][k - 1], matrix[3][k - 1]);
        container.AddChildElement(rowName, text);
    }
    return true;
}

bool MkXmlElement::GetMatrix(const MkString& name, MkMatrix4* matrix) const {
    if (!matrix) return false;
    MkXmlElement container = GetFirstChildElement(name);
    if (!container) return false;
    MkString rowName;
    for (int k = 1; k <= 4; ++k) {
        rowName.MakeForm("Row%d", k);
        MkXmlElement row = container.GetFirstChildElement(rowName);
        if (!row) return false;
        const char* p = row.m_e->GetText();
        for (int i = 0; i < 4; ++i) {
            double v = 0.0;
            if (p) {
                char* end = nullptr;
                v = std::strtod(p, &end);
                p = (end == p) ? nullptr : end;
            }
            (*matrix)[i][k - 1] = v;
        }
    }
    return true;
}

MkString MkXmlElement::GetValue() const {
    if (!m_e) return MkString();
    TiXmlText* t = firstText(m_e);
    return t ? fromUtf8(t->Value()) : MkString();
}

bool MkXmlElement::SetValue(const MkString& text) const {
    if (!m_e) return false;
    std::string utf8 = MkXmlToUtf8(text);
    if (TiXmlText* t = firstText(m_e))
        t->SetValue(utf8);
    else
        m_e->LinkEndChild(new TiXmlText(utf8));
    return true;
}

MkXmlElement MkXmlElement::GetFirstChildElement() const {
    return MkXmlElement(m_e ? m_e->FirstChildElement() : nullptr);
}

MkXmlElement MkXmlElement::GetFirstChildElement(const MkString& name) const {
    return MkXmlElement(m_e ? m_e->FirstChildElement(name.ShortChar()) : nullptr);
}

MkXmlElement MkXmlElement::GetNextSiblingElement() const {
    return MkXmlElement(m_e ? m_e->NextSiblingElement() : nullptr);
}

MkXmlElement MkXmlElement::GetNextSiblingElement(const MkString& name) const {
    return MkXmlElement(m_e ? m_e->NextSiblingElement(name.ShortChar()) : nullptr);
}

MkXmlElement MkXmlElement::GetParentElement() const { return FromNode(m_e ? m_e->Parent() : nullptr); }

MkXmlElement MkXmlElement::GetChildElement(int index) const {
    if (!m_e || index < 0) return MkXmlElement();
    TiXmlElement* c = m_e->FirstChildElement();
    for (int i = 0; c && i < index; ++i) c = c->NextSiblingElement();
    return MkXmlElement(c);
}

int MkXmlElement::GetChildElementCount() const {
    int n = 0;
    if (m_e)
        for (TiXmlElement* c = m_e->FirstChildElement(); c; c = c->NextSiblingElement()) ++n;
    return n;
}

MkXmlElement MkXmlElement::GetFirstChildFromPath(const MkString& path) const {
    if (!m_e) return MkXmlElement();
    TiXmlElement* current = m_e;
    const std::wstring& p = path.Std();
    size_t pos = 0;
    while (pos <= p.size()) {
        size_t slash = p.find(L'/', pos);
        if (slash == std::wstring::npos) slash = p.size();
        MkString name(p.substr(pos, slash - pos));
        if (name.IsBlank()) break;  // path used up
        current = current->FirstChildElement(name.ShortChar());
        if (!current) return MkXmlElement();
        pos = slash + 1;
    }
    return MkXmlElement(current);
}

MkXmlElement MkXmlElement::GetSubChildElement(const MkXmlElement& excluded, const MkString& name) const {
    if (!m_e) return MkXmlElement();
    // Pre-order walk over this element, its subtree and the following siblings with
    // theirs, checking at each element for a direct child of that name. Iterative,
    // so long sibling lists cannot exhaust the stack.
    const std::string wanted = narrowName(name);
    const TiXmlNode* topParent = m_e->Parent();
    TiXmlElement* node = m_e;
    while (node) {
        if (TiXmlElement* hit = node->FirstChildElement(wanted)) return hit == excluded.m_e ? MkXmlElement() : MkXmlElement(hit);
        if (TiXmlElement* child = node->FirstChildElement()) {
            node = child;
            continue;
        }
        for (;;) {
            if (TiXmlElement* sibling = node->NextSiblingElement()) {
                node = sibling;
                break;
            }
            TiXmlNode* parent = node->Parent();
            if (!parent || parent == topParent || node == m_e) {
                node = nullptr;
                break;
            }
            node = parent->ToElement();
            if (!node) break;
        }
    }
    return MkXmlElement();
}

// ---------------------------------------------------------------------------
// MkXmlDocument

MkXmlDocument::MkXmlDocument(bool withDeclaration) {
    if (withDeclaration) SetDeclaration("1.0", "UTF-8", "yes");
}

bool MkXmlDocument::SetDeclaration(const MkString& version, const MkString& encoding, const MkString& standalone) {
    TiXmlDeclaration declaration(MkXmlToUtf8(version), MkXmlToUtf8(encoding), MkXmlToUtf8(standalone));
    TiXmlNode* first = FirstChild();
    if (first && first->ToDeclaration())
        *first->ToDeclaration() = declaration;
    else
        InsertEndChild(declaration);
    return true;
}

bool MkXmlDocument::LoadFile(const MkString& path) {
    lfw::FilePtr file(lfw::File::fopen(lfw::String(path), "rb"));
    if (!file) return false;
    // Check the limits on the raw text first, then let TinyXML read the file itself
    // (it also normalises line ends).
    std::string text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), file.get())) > 0) text.append(buf, n);
    if (std::ferror(file.get())) return false;
    if (!IsWithinParseLimits(text.data(), text.size())) {
        Clear();
        ClearError();
        SetError(TIXML_ERROR_PARSING_ELEMENT, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    std::rewind(file.get());
    return TiXmlDocument::LoadFile(file.get());
}

bool MkXmlDocument::SaveFile(const MkString& path) const {
    lfw::FilePtr file(lfw::File::fopen(lfw::String(path), "w"));
    if (!file) return false;
    std::string text = PrintToString();
    bool ok = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    FILE* raw = file.release();
    if (std::fclose(raw) != 0) ok = false;
    return ok;
}

bool MkXmlDocument::ParseText(const char* text) {
    Clear();
    ClearError();
    if (!text) text = "";
    if (!IsWithinParseLimits(text, std::strlen(text))) {
        SetError(TIXML_ERROR_PARSING_ELEMENT, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    Parse(text, nullptr, TIXML_DEFAULT_ENCODING);
    return !Error();
}

std::string MkXmlDocument::PrintToString() const {
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\n");
    Accept(&printer);
    return printer.Str();
}

MkXmlElement MkXmlDocument::CreateRootElement(const MkString& name, int id, const MkString& namespaceUri) {
    MkXmlElement root = MkXmlElement::FromNode(LinkEndChild(new TiXmlElement(narrowName(name))));
    if (!namespaceUri.IsBlank()) root.AddAttributeString("xmlns", namespaceUri);
    if (id >= 0) root.AddIDAttribute(id);
    return root;
}

MkXmlElement MkXmlDocument::GetRootElement(const MkString& name) const {
    const TiXmlElement* root = FirstChildElement();
    if (!root) return MkXmlElement();
    if (!name.IsBlank() && std::strcmp(root->Value(), name.ShortChar()) != 0) return MkXmlElement();
    return MkXmlElement(root);
}

namespace {

bool startsWith(const char* p, const char* end, const char* prefix) {
    size_t n = std::strlen(prefix);
    return static_cast<size_t>(end - p) >= n && std::memcmp(p, prefix, n) == 0;
}

// Position just after `terminator` at or after p, or end when there is none.
const char* skipPast(const char* p, const char* end, const char* terminator) {
    size_t n = std::strlen(terminator);
    for (; static_cast<size_t>(end - p) >= n; ++p)
        if (std::memcmp(p, terminator, n) == 0) return p + n;
    return end;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

bool MkXmlDocument::IsWithinParseLimits(const char* text, size_t length) {
    if (!text) return true;
    // Follows how TinyXML tells nodes apart, erring on the side of counting a level
    // too many: comments and CDATA end at their terminators, other "<!" and "<?"
    // nodes at the first ">", and an element starts with "<" and a letter or "_".
    const char* p = text;
    const char* end = text + length;
    int depth = 0;
    while (p < end) {
        if (*p != '<') {
            ++p;
            continue;
        }
        if (startsWith(p, end, "<!--")) {
            p = skipPast(p + 4, end, "-->");
            continue;
        }
        if (startsWith(p, end, "<![CDATA[")) {
            p = skipPast(p + 9, end, "]]>");
            continue;
        }
        if (p + 1 < end && p[1] == '/') {
            if (depth > 0) --depth;
            p = skipPast(p + 2, end, ">");
            continue;
        }
        unsigned char next = (p + 1 < end) ? static_cast<unsigned char>(p[1]) : 0;
        bool element = next == '_' || next >= 127 || (next < 127 && std::isalpha(next));
        if (!element) {
            p = skipPast(p + 1, end, ">");
            continue;
        }
        if (++depth > MAX_PARSE_DEPTH) return false;
        // Scan the tag: attribute values after "=" may be quoted and hold ">".
        int attributes = 0;
        bool afterEquals = false;
        char previous = 0;
        ++p;
        while (p < end) {
            char c = *p;
            if (afterEquals) {
                if (isSpace(c)) {
                    ++p;
                    continue;
                }
                afterEquals = false;
                if (c == '"' || c == '\'') {
                    const char* close = static_cast<const char*>(std::memchr(p + 1, c, static_cast<size_t>(end - p - 1)));
                    p = close ? close + 1 : end;
                    previous = c;
                    continue;
                }
            }
            if (c == '=') {
                if (++attributes > MAX_ATTRIBUTES_PER_ELEMENT) return false;
                afterEquals = true;
            } else if (c == '>') {
                if (previous == '/' && depth > 0) --depth;
                ++p;
                break;
            }
            previous = c;
            ++p;
        }
    }
    return true;
}
