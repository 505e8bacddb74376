#pragma once
// Presentations for the PowerPoint layer's tests: the zipped test decks, copies
// opened for change, parts read back, and slides parsed from text.
#include "impl/pptx/OpenXMLPresentation.h"
#include "openxml/OpenXmlTestSupport.h"
#include "support/Golden.h"
#include "support/OoxmlCheck.h"
#include <memory>
#include <sstream>
#include <string>

using namespace kiv::rep;  // the layers' classes

namespace pptxtest {

using namespace kivtest;

// The zipped test decks (tests/data/pptx/<name>), made by the build.
inline std::string testDeck(const std::string& name) {
    return std::string(KIV_BINARY_DIR) + "/tests/data/pptx/" + name + ".pptx";
}

inline const char* slideNamespaces() {
    return "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
           "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
           "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\"";
}

// Parses <p:sld><p:cSld><p:spTree>shapes</p:spTree>controls</p:cSld></p:sld>.
inline bool parseSlide(XmlDocument* slide, const std::string& shapes, const std::string& controls = "") {
    const std::string c = controls.empty() ? "" : "<p:controls>" + controls + "</p:controls>";
    const std::string text =
        std::string("<p:sld ") + slideNamespaces() + "><p:cSld><p:spTree>" + shapes + "</p:spTree>" + c + "</p:cSld></p:sld>";
    return slide->parseText(text.c_str());
}

inline std::string sp(const std::string& name, const std::string& ph = "", const std::string& body = "") {
    const std::string nvPr = ph.empty() ? "<p:nvPr/>" : "<p:nvPr><p:ph type=\"" + ph + "\"/></p:nvPr>";
    return "<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"" + name + "\"/><p:cNvSpPr/>" + nvPr + "</p:nvSpPr><p:spPr/>" +
           (body.empty() ? "<p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>x</a:t></a:r></a:p></p:txBody>" : body) + "</p:sp>";
}

inline std::string pic(const std::string& name, const std::string& embed = "rId2") {
    return "<p:pic><p:nvPicPr><p:cNvPr id=\"3\" name=\"" + name +
           "\"/><p:cNvPicPr/><p:nvPr/></p:nvPicPr>"
           "<p:blipFill><a:blip r:embed=\"" +
           embed + "\"/></p:blipFill><p:spPr/></p:pic>";
}

inline std::string frame(const std::string& name, bool table) {
    const std::string content =
        table ? "<a:tbl><a:tblGrid/></a:tbl>"
              : "<c:chart xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" r:id=\"rId3\"/>";
    return "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"4\" name=\"" + name +
           "\"/><p:cNvGraphicFramePr/><p:nvPr/></p:nvGraphicFramePr><a:graphic><a:graphicData>" + content +
           "</a:graphicData></a:graphic></p:graphicFrame>";
}

inline std::string group(const std::string& content) {
    return "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"9\" name=\"Group\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
           "<p:grpSpPr/>" +
           content + "</p:grpSp>";
}

inline std::string control(const std::string& name) {
    return "<mc:AlternateContent><mc:Choice Requires=\"v\"><p:control name=\"" + name +
           "\" r:id=\"rId4\"/></mc:Choice><mc:Fallback><p:control name=\"" + name +
           "\" r:id=\"rId4\"><p:pic><p:nvPicPr><p:cNvPr id=\"7\" name=\"" + name +
           "\"/><p:cNvPicPr/><p:nvPr/></p:nvPicPr><p:blipFill/><p:spPr/></p:pic></p:control></mc:Fallback>"
           "</mc:AlternateContent>";
}

// What every shape tree starts with.
inline std::string groupProperties() {
    return "<p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>";
}

template <typename T>
std::string joined(const std::vector<T>& items) {
    std::ostringstream out;
    for (size_t i = 0; i < items.size(); ++i) out << (i ? " " : "") << items[i];
    return out.str();
}

// A slide record as text: names, lists by kind code, the static indices and the classification.
inline std::string describe(const SlideContent& r) {
    std::string out = r.slideName + " " + r.slideRelId + " \"" + r.slideTitle + "\" " + r.relsPath +
                      "\n  plugins: " + joined(r.pluginTargets) + " / " + joined(r.pluginIds) +
                      "\n  pictures: " + joined(r.pictureTargets) + "\n";
    for (int type = 1; type <= 16; ++type) {
        std::vector<int> indices;
        const std::vector<std::string>* list = r.getList(type);
        if (!list || list->empty()) continue;
        out += "  " + std::to_string(type) + ": " + joined(*list);
        if (r.getStaticSituationIndexes(type, indices)) out += " (static " + joined(indices) + ")";
        out += "\n";
    }
    return out + "  others: " + joined(r.others()) + "\n  all: " + joined(r.getSitTags()) + "\n  static " +
           std::to_string(r.containsStaticTags()) + " textual " + std::to_string(r.hasGenericTextualTags()) + " mixed " +
           std::to_string(r.hasMixedMdlxTags()) + "\n";
}

// A deck opened from a temporary folder, saved there as report.pptx.
class DeckTest : public kivtest::LoggingTest {
protected:
    void openCopy(const std::string& deck, const std::string& name = "report.pptx") {
        path = dir.file(name);
        presentation.reset(new OpenXMLPresentation());
        presentation->reportTo(&logged);  // what the deck reports reaches errors()
        ASSERT_TRUE(presentation->open(deck));
        presentation->setReportPath(path);
    }
    // Writes the package and checks it with the Office package checker.
    void closeAndCheck(bool render = false) {
        ASSERT_TRUE(presentation->save(path));
        EXPECT_TRUE(kivtest::passesOoxmlCheck({path}, render));
    }
    // A part as the package would write it now.
    std::string part(const std::string& name) { return presentation->save(path) ? readPart(path, name) : std::string(); }
    // Whether the package would write the part now.
    bool hasPart(const std::string& name) {
        std::vector<OpenXMLPart*> parts;
        presentation->package().writtenParts(&parts);
        for (OpenXMLPart* p : parts)
            if (p->name() == name) return true;
        return false;
    }
    // The target of a relationship of a slide.
    std::string target(const std::string& slide, const std::string& id) {
        OpenXMLPart* p = presentation->slidePart(slide);
        const OpenXMLRelationship* r = p && p->rels() ? p->rels()->find(id) : nullptr;
        return r ? r->target : std::string();
    }
    // A file beside the package: an image of the deck trees.
    std::string image(const std::string& name = "image1.png") {
        const std::string target = dir.file(name);
        copyFile(std::string(KIV_TEST_DATA_DIR) + "/pptx/tagged/ppt/media/image1.png", target);
        return target;
    }

    kivtest::TempDir dir;
    std::string path;
    Problems logged{logProblem};
    std::unique_ptr<OpenXMLPresentation> presentation;
};

// The tagged test deck, opened for change, with its slide list made.
class TaggedDeckTest : public DeckTest {
protected:
    void SetUp() override {
        DeckTest::SetUp();
        openCopy(testDeck("tagged"));
        ASSERT_TRUE(presentation->createSlideContentList());
    }
};

}  // namespace pptxtest
