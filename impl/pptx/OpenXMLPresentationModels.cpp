// The 3D-viewer controls of slides: pointed at models, or replaced by pictures.
#include "impl/pptx/OpenXMLPresentation.h"
#include "LibCore/lfwText.h"
#include "impl/pptx/PresentationHelpers.h"
#include <algorithm>

namespace kiv {
namespace rep {

using namespace PresentationHelpers;

OpenXMLSlideDocument* OpenXMLPresentation::EditSlideWithTag(const char* op, const std::string& tag, const std::string& slideName,
                                                            std::string* name, OpenXMLPart** part) {
    SlideContent* record = FindSlide(tag, slideName);
    *name = record ? record->slideName : std::string();
    *part = SlidePart(*name);
    OpenXMLSlideDocument* slide = *part && (*part)->Rels() ? EditSlide(*name) : nullptr;
    if (!slide) reportError(GetProblems(), op, "no slide holds the tag " + tag);
    return slide;
}

bool OpenXMLPresentation::SetMDLX(const std::string& tag, const std::string& modelPath, const std::string& /*imagePath*/,
                                  const std::string& newName, const std::string& slideName) {
    static const char* op = "OpenXMLPresentation::SetMDLX";
    std::string name;
    OpenXMLPart* part = nullptr;
    OpenXMLSlideDocument* slide = EditSlideWithTag(op, tag, slideName, &name, &part);
    if (!slide) return false;
    OpenXMLRelationships* rels = part->Rels();
    // A new relationship id no relationship of the slide has.
    std::string newId;
    for (int n = 1;; ++n) {
        newId = lfw::text::format("sRid%04d", n);
        if (!rels->Find(newId)) break;
    }
    std::string spid, oldId;
    if (!slide->RepointControl(tag, newName, newId, &spid, &oldId) || oldId.empty()) {
        reportError(GetProblems(), op, "no 3D control named " + tag + " in " + name);
        return false;
    }
    // A model beside the report is named by its file name.
    const std::string& model = modelPath;
    const std::string& report = ReportPath();
    const size_t modelSep = model.find_last_of("/\\"), reportSep = report.find_last_of("/\\");
    const std::string reference =
        modelSep != std::string::npos && reportSep != std::string::npos && model.compare(0, modelSep, report, 0, reportSep) == 0
            ? model.substr(modelSep + 1)
            : modelPath;
    if (!AddActiveXPluginFile(part, reference, oldId, newId)) {
        reportError(GetProblems(), op, "cannot write the control part for " + tag);
        return false;
    }
    // The preview drawing of the control goes with it.
    const size_t mark = spid.find("_s");
    const std::string number = mark != std::string::npos ? spid.substr(mark + 2) : spid;
    for (const std::string& id : spid.empty() ? std::vector<std::string>() : idsOf(*rels, {"/vmlDrawing"})) {
        OpenXMLPart* drawing = part->Related(id);
        const XmlDocument* vml = drawing ? drawing->Xml() : nullptr;
        for (XmlElement shape = vml ? vml->GetRootElement().GetFirstChildElement("v:shape") : XmlElement(); shape;
             shape = shape.GetNextSiblingElement("v:shape")) {
            const std::string shapeId = shape.GetAttributeString("o:spid");
            const size_t s = shapeId.find("_s");
            if (s != std::string::npos && (shapeId.compare(s + 2, std::string::npos, spid) == 0 ||
                                           shapeId.compare(s + 2, std::string::npos, number) == 0)) {
                rels->Drop(id);
                break;
            }
        }
    }
    // The slide no longer names the old control relationship: it goes, unless
    // another control of the slide still uses it.
    if (!slide->ControlUsesId(oldId)) rels->Drop(oldId);
    return true;
}

bool OpenXMLPresentation::ConvertMdlxInSlide(const std::string& tag, const std::string& /*unusedPath*/,
                                             const std::string& imagePath, float aspect, const std::string& newName,
                                             const std::string& slideName, const std::string& hyperlink) {
    static const char* op = "OpenXMLPresentation::ConvertMdlxInSlide";
    std::string name;
    OpenXMLPart* part = nullptr;
    OpenXMLSlideDocument* slide = EditSlideWithTag(op, tag, slideName, &name, &part);
    if (!slide) return false;
    OpenXMLRelationships* rels = part->Rels();
    std::vector<std::string> controlIds;
    std::unique_ptr<TiXmlElement> picture = slide->TakeControlPicture(tag, aspect, &controlIds);
    if (!picture) {
        reportError(GetProblems(), op, "no 3D control named " + tag + " in " + name);
        return false;
    }
    for (const std::string& id : controlIds) rels->Drop(id);
    const std::vector<std::string> drawings = idsOf(*rels, {"/vmlDrawing"});
    if (!drawings.empty()) {
        OpenXMLPart* drawing = part->Related(drawings.front());
        XmlDocument* vml = drawing ? drawing->EditXml() : nullptr;
        if (!vml) {
            reportError(GetProblems(), op, "cannot read the drawing " + (drawing ? drawing->Name() : drawings.front()));
            return false;
        }
        XmlElement root = vml->GetRootElement();
        for (XmlElement shape = root.GetFirstChildElement("v:shape"); shape;) {
            XmlElement next = shape.GetNextSiblingElement("v:shape");
            if (shape.GetAttributeString("id") == tag) root.RemoveChildElement(shape);
            shape = next;
        }
        // No shape left: the slide lets go of the drawing.
        if (!root.GetFirstChildElement("v:shape")) rels->Drop(drawings.front());
    }
    slide->RemovePluginWarningLinks();
    std::string pictureName = lfw::text::isBlank(newName) ? tag : newName;
    lfw::text::replaceAll(pictureName, "MDLX", "PICTURE");
    return InsertImage(imagePath, pictureName, name, picture.release(), hyperlink);
}

bool OpenXMLPresentation::InsertImage(const std::string& imagePath, const std::string& name, const std::string& slideName,
                                      TiXmlElement* picture, const std::string& hyperlink) {
    static const char* op = "OpenXMLPresentation::InsertImage";
    std::unique_ptr<TiXmlElement> owned(picture);
    OpenXMLSlideDocument* slide = owned && HasMediaSource(imagePath) ? EditSlide(slideName) : nullptr;
    if (!slide || !slide->GetShapeTree()) {
        reportError(GetProblems(), op, "cannot insert the image " + imagePath + " into " + slideName);
        return false;
    }
    std::string imageId, linkId;
    return RelateImage(op, slideName, imagePath, hyperlink, &imageId, &linkId) &&
           slide->InsertPicture(std::move(owned), name, imageId, linkId);
}

}  // namespace rep
}  // namespace kiv
