// The check of a template before a report is made from it: every part a report
// may edit or copy can be read and would make a valid report.
#include "impl/pptx/OpenXMLPresentation.h"
#include "impl/openxml/OpenXMLPaths.h"
#include "impl/pptx/PresentationHelpers.h"
#include <cstdlib>
#include <set>

namespace kiv {
namespace rep {

using namespace PresentationHelpers;

namespace {

// Why the bytes of a part do not parse, in words for whoever made the template.
MkString whyNotXml(const char* text, size_t size, const XmlDocument& failed) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    if (size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        return L"is UTF-16 text: the report reads UTF-8 parts only";
    if (std::memchr(text, 0, size)) return L"holds a NUL byte";
    if (XmlDocument::ParseNestingDepth(text, size) > XmlDocument::MAX_PARSE_DEPTH)
        return tagText(L"nests elements deeper than %ls levels", MkString(XmlDocument::MAX_PARSE_DEPTH));
    if (!XmlDocument::IsWithinParseLimits(text, size)) return L"gives an element too many attributes";
    return MkString(L"is not well-formed XML (") + MkString(failed.ErrorDesc()) + L")";
}

// Why a part's bytes make no usable part, with that root element when one is
// given; empty when they do.
MkString checkXml(const MkString& name, const std::string& bytes, const wchar_t* root,
                  const std::shared_ptr<XmlMemoryBudget>& budget, XmlDocument* document) {
    document->KeepWhiteSpaceInText();
    if (!document->ParseText(bytes.c_str(), budget))
        return name + L" " +
               (document->RefusedCost() > 0 ? MkString(L"holds more XML than the report has memory left for")
                                            : whyNotXml(bytes.data(), bytes.size(), *document));
    const MkString found = document->GetRootElement().GetName();
    if (root && found != MkString(root))
        return name + L" has the root element " + (found.IsEmpty() ? MkString(L"(none)") : found) + L", not " + root;
    return MkString();
}

bool isSlideRelationship(const OpenXMLRelationship& r) { return !r.external && endsWith(r.type, L"/relationships/slide"); }
}  // namespace

MkString OpenXMLPresentation::PackageProblemOf(const MkString& path, Problems* problems) {
    ZipArchive zip(problems);
    if (!zip.Open(path.ShortChar(), ZIP_OPEN_READ_ONLY)) return MkString();
    // One entry per name: a name holding a NUL byte reads as the name before it.
    std::set<std::string> names;
    for (int i = 0; i < zip.GetNumFiles(); ++i) {
        const std::string name = zip.GetStoredName(i).c_str();
        if (!names.insert(name).second)
            return MkString(name.c_str()) + L" is stored twice in the package (or its name holds a NUL byte)";
    }
    const MkString types(OpenXMLPackage::CONTENT_TYPES_PART);
    const std::string typesEntry = "[Content_Types].xml";
    if (zip.FindFile(typesEntry) < 0) return types + L" is missing";
    // Charged to the budget as the package charges it, its text before it is
    // inflated and its elements as they are parsed, and parsed where it lies:
    // one that inflates hugely is refused without being copied or parsed whole.
    const std::shared_ptr<XmlMemoryBudget>& budget = zip.XmlBudget();
    uint64_t declared = 0;
    zip.GetFileSize(zip.FindFile(typesEntry), &declared);
    const MkString tooLarge = types + L" holds more XML than the report has memory left for";
    if (!budget->Spend(declared)) return tooLarge;
    size_t size = 0;
    unsigned char* data = zip.ReadDataRaw(typesEntry, &size);
    void* padded = data ? std::realloc(data, size + XmlDocument::PARSE_PADDING) : nullptr;
    MkString problem = types + L" cannot be read from the package";
    if (padded) {
        const char* text = static_cast<const char*>(padded);
        std::memset(static_cast<char*>(padded) + size, 0, XmlDocument::PARSE_PADDING);
        XmlDocument document;
        if (!document.ParsePaddedText(text, size, budget)) {
            problem = document.RefusedCost() > 0 ? tooLarge : types + L" " + whyNotXml(text, size, document);
        } else {
            const MkString found = document.GetRootElement().GetName();
            problem = found == MkString(L"Types")
                          ? MkString()
                          : types + L" has the root element " + (found.IsEmpty() ? MkString(L"(none)") : found) + L", not Types";
        }
    }
    std::free(padded ? padded : data);
    budget->Refund(declared);
    return problem;
}

MkString OpenXMLPresentation::CheckTemplateParts() {
    // A part that must parse, with that root element when one is given. It is
    // parsed as the package parses it, and the slides are scanned from that
    // parse; the text is looked at again only to tell why it does not parse. A
    // part parsed here alone is let go of again (a deck's slides held parsed at
    // once would take several times their text's memory).
    auto check = [this](const MkString& name, const wchar_t* root) -> MkString {
        OpenXMLPart* part = Package().Part(name);
        if (!part) return name + L" is missing";
        const XmlDocument* xml = part->Xml();
        if (xml) {
            const MkString found = xml->GetRootElement().GetName();
            if (!root || found == MkString(root)) return MkString();
            return name + L" has the root element " + (found.IsEmpty() ? MkString(L"(none)") : found) + L", not " + root;
        }
        std::string bytes;
        if (!part->ReadBytes(&bytes)) return name + L" cannot be read from the package";
        XmlDocument document;
        const MkString problem = checkXml(name, bytes, root, XmlBudget(), &document);
        if (document.RefusedCost() > 0) {
            MkString message;
            message.MakeForm(
                "The part '%ls' holds more XML than the report has memory left for (%llu bytes for more "
                "than %llu elements); it is not read",
                ~name, static_cast<unsigned long long>(document.RefusedCost()),
                static_cast<unsigned long long>(document.Elements()));
            GetProblems().error(ProblemCode::TooLarge, lfw::String(message).toStdString());
        }
        return problem.IsEmpty() ? Package().Error() : problem;
    };
    auto release = [this](const MkString& name, bool wasParsed) {
        OpenXMLPart* part = Package().Part(name);
        if (part && !wasParsed && !part->IsChanged()) part->ReleaseXml();
    };
    auto parsed = [this](const MkString& name) {
        const OpenXMLPart* part = Package().Part(name);
        return part && part->IsParsed();
    };
    // The relationships of a part, which must parse and give each id once.
    auto checkRels = [this](const MkString& name) -> MkString {
        OpenXMLPart* part = Package().Part(name);
        std::string bytes;
        if (!part || !part->ReadStoredRels(&bytes)) return MkString();
        const MkString rels = OpenXMLPaths::RelsPartName(part->Name());
        XmlDocument document;
        const MkString problem = checkXml(rels, bytes, L"Relationships", XmlBudget(), &document);
        if (!problem.IsEmpty()) return problem;
        std::set<std::wstring> ids;
        for (XmlElement r = document.GetRootElement().GetFirstChildElement("Relationship"); r;
             r = r.GetNextSiblingElement("Relationship"))
            if (!ids.insert(r.GetAttributeString("Id").Std()).second)
                return rels + L" gives the relationship id " + r.GetAttributeString("Id") + L" twice";
        return part->Rels() ? MkString() : Package().Error();
    };
    MkString problem = check(L"ppt/presentation.xml", L"p:presentation");
    if (problem.IsEmpty()) problem = checkRels(L"ppt/presentation.xml");
    if (problem.IsEmpty() && !MainRels()) problem = L"ppt/_rels/presentation.xml.rels is missing";
    if (!problem.IsEmpty()) return problem;

    // The slides the presentation relates, and those of the slides folder.
    std::set<std::wstring> slides;
    for (int i = 0; i < MainRels()->Count(); ++i)
        if (isSlideRelationship(MainRels()->At(i)) && !MainRels()->At(i).part.IsEmpty())
            slides.insert(MainRels()->At(i).part.Std());
    for (int i = 0; i < Package().PartCount(); ++i) {
        const MkString& name = Package().PartAt(i)->Name();
        if (name.Left(11).CompareNoCase(L"ppt/slides/") == 0 && name.Find(L'/', 11) < 0) slides.insert(name.Std());
    }
    for (const std::wstring& slide : slides) {
        const MkString name(slide);
        const bool wasParsed = parsed(name);
        problem = check(name, L"p:sld");
        if (problem.IsEmpty()) problem = checkRels(name);
        if (!problem.IsEmpty()) return problem;
        const SlideContent* record = name.Left(11).CompareNoCase(L"ppt/slides/") == 0 ? ScanSlide(fileNameOf(name)) : nullptr;
        release(name, wasParsed);
        if (!record || !record->HasTags()) continue;
        // What a copy of a tagged slide takes along.
        OpenXMLRelationships* rels = SlidePart(fileNameOf(name))->Rels();
        for (const MkString& id : idsOf(*rels, {L"/notesSlide", L"/tags", L"/chart", L"/comments"})) {
            const MkString target = rels->Find(id)->part;
            const bool targetParsed = parsed(target);
            if (!target.IsEmpty()) problem = check(target, nullptr);
            if (problem.IsEmpty() && !target.IsEmpty()) problem = checkRels(target);
            if (!target.IsEmpty()) release(target, targetParsed);
            if (!problem.IsEmpty()) return problem;
        }
    }
    return MkString();
}

}  // namespace rep
}  // namespace kiv
