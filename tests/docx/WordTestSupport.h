#pragma once
// Word documents built from body XML, printed elements, and the test packages.
#include "impl/docx/OpenXMLWordArchive.h"
#include "openxml/OpenXmlTestSupport.h"
#include <string>
#include <vector>

namespace wordtest {

using namespace kiv::rep;
using namespace kivtest;

inline const char* documentNamespaces() {
    return "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
           "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
           "xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\"";
}

// Parses <w:document><w:body>body</w:body></w:document>.
inline bool parseBody(OpenXMLWordDocument* document, const std::string& body) {
    const std::string text = std::string("<w:document ") + documentNamespaces() + "><w:body>" + body + "</w:body></w:document>";
    return document->parseText(text.c_str());
}

// The printed children of w:body.
inline std::string printBody(const OpenXMLWordDocument& document) {
    std::string out;
    for (XmlElement e = document.getBody().getFirstChildElement(); e; e = e.getNextSiblingElement()) out += print(e);
    return out;
}

inline std::string sdt(const std::string& tag, int id, const std::string& content, const std::string& extra = "") {
    return "<w:sdt><w:sdtPr><w:tag w:val=\"" + tag + "\"/><w:id w:val=\"" + std::to_string(id) + "\"/>" + extra +
           "</w:sdtPr><w:sdtContent>" + content + "</w:sdtContent></w:sdt>";
}

inline std::string group(const std::string& tag, int id, const std::string& content) {
    return sdt(tag, id, content, "<w:group/>");
}

inline std::string para(const std::string& text) {
    return "<w:p><w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r></w:p>";
}

// A picture in line with the text (frame "wp:inline") or floating ("wp:anchor").
inline std::string pictureContent(int docPrId, long cx = 3000000, long cy = 3000000, const std::string& frame = "wp:inline") {
    const std::string size = "cx=\"" + std::to_string(cx) + "\" cy=\"" + std::to_string(cy) + "\"";
    return "<w:p><w:r><w:drawing><" + frame + "><wp:extent " + size + "/><wp:docPr id=\"" + std::to_string(docPrId) +
           "\" name=\"P\"/><a:graphic xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">"
           "<a:graphicData><pic:pic xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
           "<pic:blipFill><a:blip r:embed=\"rId9\"/></pic:blipFill><pic:spPr><a:xfrm><a:ext " +
           size + "/></a:xfrm></pic:spPr></pic:pic></a:graphicData></a:graphic></" + frame + "></w:drawing></w:r></w:p>";
}

inline std::string viewerRun(const std::string& name, const std::string& style = "width:200pt;height:100pt") {
    return "<w:r><w:object><v:shape id=\"s1\" style=\"" + style +
           "\"><v:imagedata r:id=\"rId13\"/></v:shape>"
           "<w:control r:id=\"rId12\" w:name=\"" +
           name + "\" w:shapeid=\"s1\"/></w:object></w:r>";
}

inline std::vector<int> indices(std::initializer_list<int> values) { return std::vector<int>(values); }

// The zipped test packages (tests/data/docx/<name>), made by the build.
inline std::string testPackage(const std::string& name) {
    return std::string(KIV_BINARY_DIR) + "/tests/data/docx/" + name + ".docx";
}

// The tags of a kind and of its "REF_" kind, in document order.
inline WordDocumentTagArray tagsOf(const WordDocumentContent& content, SitTypeTag kind) {
    WordDocumentTagArray tags;
    for (const WordDocumentTag& t : content.getAllTags())
        if (t.kind == kind || (kind != SIT_TYPE_NONE && t.kind == kind + 1)) tags.push_back(t);
    return tags;
}

// Whether a tag outside groups has exactly this name.
inline bool exists(const WordDocumentTagArray& tags, const std::string& name) {
    for (const WordDocumentTag& t : tags)
        if (t.name == name && t.groupIndex < 0) return true;
    return false;
}

// The tags of a scan as text, in document order: kind code as in SitTypeTag.h,
// number, enclosing group and its number.
inline std::string describe(const WordDocumentContent& content) {
    std::string out;
    for (const WordDocumentTag& t : content.getAllTags())
        out += t.name + " kind " + std::to_string(t.kind) + " sit " + std::to_string(t.snapshotIndex) + " in " + t.groupName +
               "#" + std::to_string(t.groupIndex) + (t.groupMarker ? " marker\n" : "\n");
    return out;
}

// Where names disagrees with the scan's lists, group markers aside: for each
// kind, in the body or anywhere, each name of the scan and each extra one is
// named as the lists name it or not. Empty when they agree.
inline std::string namesDiffer(const WordDocumentContent& content, const WordTagNames& names,
                               std::vector<std::string> probes = {}) {
    for (const WordDocumentTag& t : content.getAllTags()) probes.insert(probes.end(), {t.name, t.groupName});
    std::string out;
    for (const std::string& name : probes)
        for (SitTypeTag kind : {SIT_TYPE_NONE, SIT_TYPE_PICTURE, SIT_TYPE_TITLE, SIT_TYPE_TEXT, SIT_TYPE_MDLX, SIT_TYPE_MACRO,
                                SIT_TYPE_TABLE, SIT_TYPE_CHART})
            for (bool bodyOnly : {false, true}) {
                bool listed = false;
                for (const WordDocumentTag& t : tagsOf(content, kind))
                    listed = listed || (!t.groupMarker && t.name == name && (!bodyOnly || t.part.empty()));
                if (listed != names.has(kind, name, bodyOnly))
                    out += name + " kind " + std::to_string(kind) + (bodyOnly ? " in the body\n" : "\n");
            }
    return out;
}

}  // namespace wordtest
