// The check of a template before a report is made from it: every part a report
// may edit or copy can be read and would make a valid report.
#include "impl/pptx/OpenXMLPresentation.h"
#include "LibCore/lfwText.h"
#include "impl/openxml/OpenXMLPaths.h"
#include "impl/pptx/PresentationHelpers.h"
#include <algorithm>
#include <cstdlib>
#include <set>

namespace kiv {
namespace rep {

using namespace PresentationHelpers;

namespace {

// Why the bytes of a part do not parse, in words for whoever made the template.
std::string whyNotXml(const char* text, size_t size, const XmlDocument& failed) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    if (size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        return "is UTF-16 text: the report reads UTF-8 parts only";
    if (std::memchr(text, 0, size)) return "holds a NUL byte";
    if (XmlDocument::parseNestingDepth(text, size) > XmlDocument::MAX_PARSE_DEPTH)
        return "nests elements deeper than " + std::to_string(XmlDocument::MAX_PARSE_DEPTH) + " levels";
    if (!XmlDocument::isWithinParseLimits(text, size)) return "gives an element too many attributes";
    return std::string("is not well-formed XML (") + failed.ErrorDesc() + ")";
}

// The root element of a parsed part, in the words of the template check.
std::string wrongRoot(const std::string& name, const std::string& found, const char* root) {
    return name + " has the root element " + (found.empty() ? std::string("(none)") : found) + ", not " + root;
}

// Why a part's bytes make no usable part, with that root element when one is
// given; empty when they do.
std::string checkXml(const std::string& name, const std::string& bytes, const char* root,
                     const std::shared_ptr<XmlMemoryBudget>& budget, XmlDocument* document) {
    document->keepWhiteSpaceInText();
    if (!document->parseText(bytes.c_str(), budget))
        return name + " " +
               (document->refusedCost() > 0 ? std::string("holds more XML than the report has memory left for")
                                            : whyNotXml(bytes.data(), bytes.size(), *document));
    const std::string found = document->getRootElement().getName();
    return root && found != root ? wrongRoot(name, found, root) : std::string();
}

bool isSlideRelationship(const OpenXMLRelationship& r) { return !r.external && endsWith(r.type, "/relationships/slide"); }
}  // namespace

std::string OpenXMLPresentation::packageProblemOf(const std::string& path, Problems* problems) {
    ZipArchive zip(problems);
    if (!zip.open(path.c_str(), ZIP_OPEN_READ_ONLY)) return std::string();
    // One entry per name: a name holding a NUL byte reads as the name before it.
    std::set<std::string> names;
    for (int i = 0; i < zip.getNumFiles(); ++i) {
        const std::string name = zip.getStoredName(i).c_str();
        if (!names.insert(name).second) return name + " is stored twice in the package (or its name holds a NUL byte)";
    }
    const std::string types(OpenXMLPackage::CONTENT_TYPES_PART);
    const std::string typesEntry = "[Content_Types].xml";
    if (zip.findFile(typesEntry) < 0) return types + " is missing";
    // Charged to the budget as the package charges it, its text before it is
    // inflated and its elements as they are parsed, and parsed where it lies:
    // one that inflates hugely is refused without being copied or parsed whole.
    const std::shared_ptr<XmlMemoryBudget>& budget = zip.xmlBudget();
    uint64_t declared = 0;
    zip.getFileSize(zip.findFile(typesEntry), &declared);
    const std::string tooLarge = types + " holds more XML than the report has memory left for";
    if (!budget->spend(declared)) return tooLarge;
    size_t size = 0;
    unsigned char* data = zip.readDataRaw(typesEntry, &size);
    void* padded = data ? std::realloc(data, size + XmlDocument::PARSE_PADDING) : nullptr;
    std::string problem = types + " cannot be read from the package";
    if (padded) {
        const char* text = static_cast<const char*>(padded);
        std::memset(static_cast<char*>(padded) + size, 0, XmlDocument::PARSE_PADDING);
        XmlDocument document;
        if (!document.parsePaddedText(text, size, budget)) {
            problem = document.refusedCost() > 0 ? tooLarge : types + " " + whyNotXml(text, size, document);
        } else {
            const std::string found = document.getRootElement().getName();
            problem = found == "Types" ? std::string() : wrongRoot(types, found, "Types");
        }
    }
    std::free(padded ? padded : data);
    budget->refund(declared);
    return problem;
}

std::string OpenXMLPresentation::checkTemplateParts() {
    // A part that must parse, with that root element when one is given. It is
    // parsed as the package parses it, and the slides are scanned from that
    // parse; the text is looked at again only to tell why it does not parse. A
    // part parsed here alone is let go of again (a deck's slides held parsed at
    // once would take several times their text's memory).
    auto check = [this](const std::string& name, const char* root) -> std::string {
        OpenXMLPart* part = package().part(name);
        if (!part) return name + " is missing";
        const XmlDocument* xml = part->xml();
        if (xml) {
            const std::string found = xml->getRootElement().getName();
            return !root || found == root ? std::string() : wrongRoot(name, found, root);
        }
        std::string bytes;
        if (!part->readBytes(&bytes)) return name + " cannot be read from the package";
        XmlDocument document;
        const std::string problem = checkXml(name, bytes, root, xmlBudget(), &document);
        if (document.refusedCost() > 0)
            getProblems().error(ProblemCode::TooLarge,
                                lfw::text::format("The part '%s' holds more XML than the report has memory left for (%llu bytes "
                                                  "for more than %llu elements); it is not read",
                                                  name.c_str(), static_cast<unsigned long long>(document.refusedCost()),
                                                  static_cast<unsigned long long>(document.elements())));
        return problem.empty() ? package().error() : problem;
    };
    auto release = [this](const std::string& name, bool wasParsed) {
        OpenXMLPart* part = package().part(name);
        if (part && !wasParsed && !part->isChanged()) part->releaseXml();
    };
    auto parsed = [this](const std::string& name) {
        const OpenXMLPart* part = package().part(name);
        return part && part->isParsed();
    };
    // The relationships of a part, which must parse and give each id once.
    auto checkRels = [this](const std::string& name) -> std::string {
        OpenXMLPart* part = package().part(name);
        std::string bytes;
        if (!part || !part->readStoredRels(&bytes)) return std::string();
        const std::string rels = OpenXMLPaths::relsPartName(part->name());
        XmlDocument document;
        const std::string problem = checkXml(rels, bytes, "Relationships", xmlBudget(), &document);
        if (!problem.empty()) return problem;
        std::set<std::string> ids;
        for (XmlElement r = document.getRootElement().getFirstChildElement("Relationship"); r;
             r = r.getNextSiblingElement("Relationship"))
            if (!ids.insert(r.getAttributeString("Id")).second)
                return rels + " gives the relationship id " + r.getAttributeString("Id") + " twice";
        return part->rels() ? std::string() : package().error();
    };
    std::string problem = check("ppt/presentation.xml", "p:presentation");
    if (problem.empty()) problem = checkRels("ppt/presentation.xml");
    if (problem.empty() && !mainRels()) problem = "ppt/_rels/presentation.xml.rels is missing";
    if (!problem.empty()) return problem;

    // The slides the presentation relates, and those of the slides folder.
    auto inSlidesFolder = [](const std::string& name) {
        return name.size() >= 11 && lfw::text::equalNoCase(std::string_view(name).substr(0, 11), "ppt/slides/");
    };
    std::set<std::string> slides;
    for (int i = 0; i < mainRels()->count(); ++i)
        if (isSlideRelationship(mainRels()->at(i)) && !mainRels()->at(i).part.empty()) slides.insert(mainRels()->at(i).part);
    for (int i = 0; i < package().partCount(); ++i) {
        const std::string& name = package().partAt(i)->name();
        if (inSlidesFolder(name) && name.find('/', 11) == std::string::npos) slides.insert(name);
    }
    for (const std::string& name : slides) {
        const bool wasParsed = parsed(name);
        problem = check(name, "p:sld");
        if (problem.empty()) problem = checkRels(name);
        if (!problem.empty()) return problem;
        const SlideContent* record = inSlidesFolder(name) ? scanSlide(fileNameOf(name)) : nullptr;
        release(name, wasParsed);
        if (!record || !record->hasTags()) continue;
        // What a copy of a tagged slide takes along.
        OpenXMLRelationships* rels = slidePart(fileNameOf(name))->rels();
        for (const std::string& id : idsOf(*rels, {"/notesSlide", "/tags", "/chart", "/comments"})) {
            const std::string target = rels->find(id)->part;
            const bool targetParsed = parsed(target);
            if (!target.empty()) problem = check(target, nullptr);
            if (problem.empty() && !target.empty()) problem = checkRels(target);
            if (!target.empty()) release(target, targetParsed);
            if (!problem.empty()) return problem;
        }
    }
    return std::string();
}

namespace {

// Names of the tag grammar (SIT3_CHART, REF_SIT_PICTURE) on shapes that cannot hold
// their kind (a picture tag on a text box, a chart tag on a table): one message per
// shape. Such a tag would be left as it is: generate refuses the template, validate
// lists them.
std::vector<std::string> misplacedTags(const SlideContentPtrArray& slides) {
    static const struct {
        const char* word;
        const char* shape;
    } kinds[] = {{"PICTURE", "a picture"},  {"TABLE", "a table"},     {"CHART", "a chart"},
                 {"TITLE", "a text shape"}, {"TEXT", "a text shape"}, {"MDLX", "a 3D viewer control"}};
    std::vector<std::string> messages;
    for (int s = 0; s < slides.getSize(); ++s) {
        const SlideContent& slide = *slides[s];
        for (const std::string& name : slide.others()) {
            const TagNameParts parts(name);
            if ((!parts.isSit() && !parts.isRef()) || name.find('$') != std::string::npos) continue;
            const bool placed = slide.holdsTag(name);
            for (const auto& kind : kinds)
                if (!placed && parts.suffix == kind.word)
                    messages.push_back("The shape " + name + " on " + slide.slideName + " is not " + kind.shape +
                                       ": rename the shape or change its tag.");
        }
    }
    return messages;
}

}  // namespace

TemplateScan OpenXMLPresentation::scan(bool withCharts) {
    TemplateScan scan;
    if (!m_slides) return scan;
    static const struct {
        SlideContent::Kind list;
        TagKind kind;
    } kinds[] = {{SlideContent::KIND_TITLE, TagKind::Title}, {SlideContent::KIND_PICTURE, TagKind::Picture},
                 {SlideContent::KIND_MDLX, TagKind::Model},  {SlideContent::KIND_TEXT, TagKind::Text},
                 {SlideContent::KIND_MACRO, TagKind::Field}, {SlideContent::KIND_TABLE, TagKind::Table},
                 {SlideContent::KIND_CHART, TagKind::Chart}};
    const SlideContentPtrArray& slides = *m_slides;
    scan.groups = slides.getSize();
    for (int k = 0; k < slides.getSize(); ++k) {
        const SlideContent& slide = *slides[k];
        for (const auto& kind : kinds) {
            for (const std::string& name : slide.sit(kind.list)) scan.add(name, kind.kind, k);
            for (const std::string& name : slide.ref(kind.list)) scan.add(name, kind.kind, k);
        }
        for (const std::string& name : slide.others()) scan.add(name, TagKind::Other, k);
        scan.emptyTextTags.insert(scan.emptyTextTags.end(), slide.emptyTextTags.begin(), slide.emptyTextTags.end());
    }
    scan.misplacedTags = misplacedTags(slides);
    if (withCharts)
        scanCharts(scan, [&](const std::string& tag) {
            std::vector<OpenXMLPart*> parts;
            getChartParts(tag, "", &parts);
            return parts;
        });
    return scan;
}

}  // namespace rep
}  // namespace kiv
