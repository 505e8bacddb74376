// The fonts a report asks for, and which of them this machine lacks. LibreOffice
// and Chromium draw a font that is not installed in another one, so the PDF
// looks different from the report in Office or a browser: the tool warns before
// converting. fontconfig decides what is installed, as it does for both
// converters: a family it matches to a font of another family is missing.
#include "tools/pdf/PdfConverter.h"
#include "host/ug/ZipArchive.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

namespace kivpdf {

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text, const char* blanks = " \t\r\n") {
    const size_t start = text.find_first_not_of(blanks);
    if (start == std::string::npos) return std::string();
    return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

// The five entities of XML attribute values; character references stay as written.
std::string unescaped(const std::string& text) {
    static const std::pair<const char*, char> entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        bool replaced = false;
        for (const auto& e : entities) {
            const size_t n = std::char_traits<char>::length(e.first);
            if (text.compare(i, n, e.first) == 0) {
                out += e.second;
                i += n - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i];
    }
    return out;
}

// The values of attribute `name` on elements whose start tag begins with `element`
// ("<a:latin", "<w:rFonts"); the attribute may stand anywhere in the tag.
void attributeValues(const std::string& xml, const std::string& element, const std::string& name, std::set<std::string>* values) {
    for (size_t at = xml.find(element); at != std::string::npos; at = xml.find(element, at + 1)) {
        const size_t after = at + element.size();
        if (after >= xml.size() || (xml[after] != ' ' && xml[after] != '\t' && xml[after] != '\n' && xml[after] != '\r'))
            continue;
        const size_t end = xml.find('>', after);
        const std::string tag = xml.substr(after, end == std::string::npos ? std::string::npos : end - after);
        const std::string key = " " + name + "=";
        size_t k = tag.find(key);
        if (k == std::string::npos) {
            // The attribute may follow a line break or a tab instead of a space.
            for (const char* blank : {"\n", "\t", "\r"}) {
                k = tag.find(std::string(blank) + name + "=");
                if (k != std::string::npos) break;
            }
        }
        if (k == std::string::npos || k + key.size() >= tag.size()) continue;
        const char quote = tag[k + key.size()];
        if (quote != '"' && quote != '\'') continue;
        const size_t close = tag.find(quote, k + key.size() + 1);
        if (close == std::string::npos) continue;
        values->insert(unescaped(tag.substr(k + key.size() + 1, close - k - key.size() - 1)));
    }
}

// Latin fonts of an Office package: DrawingML runs and themes (a:latin, whose
// "+mn-lt" names a theme font, read from the theme), and Word runs and styles
// (w:rFonts w:ascii and w:hAnsi; the theme attributes resolve through the theme).
// East Asian and complex script fonts are left out: they matter only for text in
// those scripts, and themes list dozens of them for every document.
std::set<std::string> officeFonts(const std::string& path) {
    std::set<std::string> fonts;
    try {
        CZipArchive zip;
        if (!zip.Open(path, CZipArchive::zipOpenReadOnly)) return fonts;
        for (int i = 0; i < zip.GetCount(); ++i) {
            const std::string name = zip.GetEntryName(i);
            if (name.size() < 4 || name.compare(name.size() - 4, 4, ".xml") != 0) continue;
            CZipEntryInfo info;
            if (!zip.GetEntryInfo(i, &info) || info.uncompressedSize > (64u << 20)) continue;
            CZipMemFile content;
            if (!zip.ExtractFile(i, content)) continue;
            const std::string xml(reinterpret_cast<const char*>(content.GetData()), content.GetSize());
            attributeValues(xml, "<a:latin", "typeface", &fonts);
            attributeValues(xml, "<w:rFonts", "w:ascii", &fonts);
            attributeValues(xml, "<w:rFonts", "w:hAnsi", &fonts);
        }
        zip.Close();
    } catch (const CZipException&) {
        // An archive that cannot be read names no fonts; the conversion says the rest.
    }
    std::set<std::string> named;
    for (const std::string& font : fonts)
        if (!font.empty() && font[0] != '+') named.insert(font);
    return named;
}

bool isGenericFamily(const std::string& family) {
    static const char* const generic[] = {"serif",        "sans-serif", "monospace",     "cursive",           "fantasy",
                                          "system-ui",    "emoji",      "math",          "fangsong",          "inherit",
                                          "initial",      "unset",      "revert",        "ui-serif",          "ui-sans-serif",
                                          "ui-monospace", "ui-rounded", "-apple-system", "blinkmacsystemfont"};
    const std::string name = lower(family);
    return std::any_of(std::begin(generic), std::end(generic), [&](const char* g) { return name == g; });
}

// The font-family lists of an HTML report: CSS declarations (in style elements
// and attributes) and the face attribute of font elements; each list as its
// families, quotes taken off.
std::vector<std::vector<std::string>> htmlFontLists(const std::string& path) {
    std::vector<std::vector<std::string>> lists;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return lists;
    std::string html;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && html.size() < (256u << 20)) html.append(buffer, n);
    std::fclose(f);
    const std::string text = lower(html);
    auto addList = [&](const std::string& value) {
        std::vector<std::string> families;
        size_t start = 0;
        for (;;) {
            const size_t comma = value.find(',', start);
            const std::string family = trimmed(
                unescaped(value.substr(start, comma == std::string::npos ? std::string::npos : comma - start)), " \t\r\n\"'");
            if (!family.empty()) families.push_back(family);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (!families.empty()) lists.push_back(std::move(families));
    };
    // Positions are found in the lowered text, values are taken from the original.
    for (size_t at = text.find("font-family"); at != std::string::npos; at = text.find("font-family", at + 1)) {
        size_t i = at + 11;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size() || text[i] != ':') continue;
        // In a style attribute the value ends at the attribute's quote; in a style
        // element quotes belong to family names.
        std::string ends = ";}<";
        const size_t open = text.rfind('<', at), close = text.rfind('>', at);
        if (open != std::string::npos && (close == std::string::npos || open > close)) {
            const size_t eq = text.find_last_of('=', at);
            const char quote = eq != std::string::npos && eq > open && eq + 1 < text.size() ? text[eq + 1] : '\0';
            ends = std::string(";>") + (quote == '"' || quote == '\'' ? std::string(1, quote) : std::string());
        }
        const size_t end = text.find_first_of(ends, i + 1);
        std::string value = html.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
        const size_t important = lower(value).find("!important");
        if (important != std::string::npos) value.erase(important);
        addList(value);
    }
    for (size_t at = text.find("<font"); at != std::string::npos; at = text.find("<font", at + 1)) {
        const size_t end = text.find('>', at);
        const size_t face = text.find("face=", at);
        if (face == std::string::npos || (end != std::string::npos && face > end)) continue;
        const char quote = face + 5 < html.size() ? html[face + 5] : '\0';
        if (quote != '"' && quote != '\'') continue;
        const size_t close = html.find(quote, face + 6);
        if (close == std::string::npos) continue;
        addList(html.substr(face + 6, close - face - 6));
    }
    return lists;
}

// fontconfig, loaded once per process for the questions of one report.
class FontMatcher {
public:
    FontMatcher() : m_config(FcInitLoadConfigAndFonts()) {}
    ~FontMatcher() {
        if (m_config) FcConfigDestroy(m_config);
    }
    FontMatcher(const FontMatcher&) = delete;
    FontMatcher& operator=(const FontMatcher&) = delete;
    bool usable() const { return m_config != nullptr; }

    // True when a font of that family is installed; otherwise *substitute is the
    // family fontconfig offers instead.
    bool installed(const std::string& family, std::string* substitute) {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcConfigSubstitute(m_config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(m_config, pattern, &result);
        FcPatternDestroy(pattern);
        if (!match) {
            substitute->clear();
            return false;
        }
        bool found = false;
        FcChar8* name = nullptr;
        // A font may carry several family names (localized ones among them).
        for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
            if (i == 0) *substitute = reinterpret_cast<const char*>(name);
            if (lower(reinterpret_cast<const char*>(name)) == lower(family)) found = true;
        }
        FcPatternDestroy(match);
        return found;
    }

private:
    FcConfig* m_config;
};

std::string missingFontWarning(const std::string& family, const std::string& substitute) {
    std::string text = "the report uses the font '" + family + "', which is not installed: the PDF shows ";
    return text + (substitute.empty() ? std::string("another font") : "'" + substitute + "'") + " in its place";
}

}  // namespace

std::vector<std::string> missingFontWarnings(ReportKind kind, const std::string& reportPath) {
    std::vector<std::string> warnings;
    FontMatcher fonts;
    if (!fonts.usable()) return warnings;
    std::string substitute;
    if (kind == ReportKind::Html) {
        std::set<std::string> told;
        for (const std::vector<std::string>& families : htmlFontLists(reportPath)) {
            // The browser takes the first family it has; a generic one it always has.
            bool covered = false;
            for (const std::string& family : families)
                if (isGenericFamily(family) || fonts.installed(family, &substitute)) covered = true;
            if (covered || !told.insert(lower(families.front())).second) continue;
            fonts.installed(families.front(), &substitute);
            warnings.push_back(missingFontWarning(families.front(), substitute));
        }
        return warnings;
    }
    for (const std::string& family : officeFonts(reportPath))
        if (!fonts.installed(family, &substitute)) warnings.push_back(missingFontWarning(family, substitute));
    return warnings;
}

}  // namespace kivpdf
