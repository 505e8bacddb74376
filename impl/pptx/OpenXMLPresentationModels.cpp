// The 3D-viewer controls of slides: pointed at models, or replaced by pictures.
#include "impl/pptx/OpenXMLPresentation.h"
#include "LibCore/lfwText.h"
#include "impl/pptx/PresentationHelpers.h"
#include <algorithm>

namespace kiv {
namespace rep {

using namespace PresentationHelpers;

OpenXMLSlideDocument* OpenXMLPresentation::editSlideWithTag(const char* op, const std::string& tag, const std::string& slideName,
                                                            std::string* name, OpenXMLPart** part) {
    SlideContent* record = findSlide(tag, slideName);
    *name = record ? record->slideName : std::string();
    *part = slidePart(*name);
    OpenXMLSlideDocument* slide = *part && (*part)->rels() ? editSlide(*name) : nullptr;
    if (!slide) reportError(getProblems(), op, "no slide holds the tag " + tag);
    return slide;
}

bool OpenXMLPresentation::setMdlx(const std::string& tag, const std::string& modelPath, const std::string& /*imagePath*/,
                                  const std::string& newName, const std::string& slideName) {
    static const char* op = "OpenXMLPresentation::SetMDLX";
    std::string name;
    OpenXMLPart* part = nullptr;
    OpenXMLSlideDocument* slide = editSlideWithTag(op, tag, slideName, &name, &part);
    if (!slide) return false;
    OpenXMLRelationships* rels = part->rels();
    // A new relationship id no relationship of the slide has.
    std::string newId;
    for (int n = 1;; ++n) {
        newId = lfw::text::format("sRid%04d", n);
        if (!rels->find(newId)) break;
    }
    std::string spid, oldId;
    if (!slide->repointControl(tag, newName, newId, &spid, &oldId) || oldId.empty()) {
        reportError(getProblems(), op, "no 3D control named " + tag + " in " + name);
        return false;
    }
    // A model beside the report is named by its file name.
    const std::string& model = modelPath;
    const std::string& report = reportPath();
    const size_t modelSep = model.find_last_of("/\\"), reportSep = report.find_last_of("/\\");
    const std::string reference =
        modelSep != std::string::npos && reportSep != std::string::npos && model.compare(0, modelSep, report, 0, reportSep) == 0
            ? model.substr(modelSep + 1)
            : modelPath;
    if (!addActiveXPluginFile(part, reference, oldId, newId)) {
        reportError(getProblems(), op, "cannot write the control part for " + tag);
        return false;
    }
    // The preview drawing of the control goes with it.
    const size_t mark = spid.find("_s");
    const std::string number = mark != std::string::npos ? spid.substr(mark + 2) : spid;
    for (const std::string& id : spid.empty() ? std::vector<std::string>() : idsOf(*rels, {"/vmlDrawing"})) {
        OpenXMLPart* drawing = part->related(id);
        const XmlDocument* vml = drawing ? drawing->xml() : nullptr;
        for (XmlElement shape = vml ? vml->getRootElement().getFirstChildElement("v:shape") : XmlElement(); shape;
             shape = shape.getNextSiblingElement("v:shape")) {
            const std::string shapeId = shape.getAttributeString("o:spid");
            const size_t s = shapeId.find("_s");
            if (s != std::string::npos && (shapeId.compare(s + 2, std::string::npos, spid) == 0 ||
                                           shapeId.compare(s + 2, std::string::npos, number) == 0)) {
                rels->drop(id);
                break;
            }
        }
    }
    // The slide no longer names the old control relationship: it goes, unless
    // another control of the slide still uses it.
    if (!slide->controlUsesId(oldId)) rels->drop(oldId);
    return true;
}

bool OpenXMLPresentation::convertMdlxInSlide(const std::string& tag, const std::string& /*unusedPath*/,
                                             const std::string& imagePath, float aspect, const std::string& newName,
                                             const std::string& slideName, const std::string& hyperlink) {
    static const char* op = "OpenXMLPresentation::ConvertMdlxInSlide";
    std::string name;
    OpenXMLPart* part = nullptr;
    OpenXMLSlideDocument* slide = editSlideWithTag(op, tag, slideName, &name, &part);
    if (!slide) return false;
    OpenXMLRelationships* rels = part->rels();
    std::vector<std::string> controlIds;
    std::unique_ptr<TiXmlElement> picture = slide->takeControlPicture(tag, aspect, &controlIds);
    if (!picture) {
        reportError(getProblems(), op, "no 3D control named " + tag + " in " + name);
        return false;
    }
    for (const std::string& id : controlIds) rels->drop(id);
    const std::vector<std::string> drawings = idsOf(*rels, {"/vmlDrawing"});
    if (!drawings.empty()) {
        OpenXMLPart* drawing = part->related(drawings.front());
        XmlDocument* vml = drawing ? drawing->editXml() : nullptr;
        if (!vml) {
            reportError(getProblems(), op, "cannot read the drawing " + (drawing ? drawing->name() : drawings.front()));
            return false;
        }
        XmlElement root = vml->getRootElement();
        for (XmlElement shape = root.getFirstChildElement("v:shape"); shape;) {
            XmlElement next = shape.getNextSiblingElement("v:shape");
            if (shape.getAttributeString("id") == tag) root.removeChildElement(shape);
            shape = next;
        }
        // No shape left: the slide lets go of the drawing.
        if (!root.getFirstChildElement("v:shape")) rels->drop(drawings.front());
    }
    slide->removePluginWarningLinks();
    std::string pictureName = lfw::text::isBlank(newName) ? tag : newName;
    lfw::text::replaceAll(pictureName, "MDLX", "PICTURE");
    return insertImage(imagePath, pictureName, name, picture.release(), hyperlink);
}

bool OpenXMLPresentation::insertImage(const std::string& imagePath, const std::string& name, const std::string& slideName,
                                      TiXmlElement* picture, const std::string& hyperlink) {
    static const char* op = "OpenXMLPresentation::InsertImage";
    std::unique_ptr<TiXmlElement> owned(picture);
    OpenXMLSlideDocument* slide = owned && hasMediaSource(imagePath) ? editSlide(slideName) : nullptr;
    if (!slide || !slide->getShapeTree()) {
        reportError(getProblems(), op, "cannot insert the image " + imagePath + " into " + slideName);
        return false;
    }
    std::string imageId, linkId;
    return relateImage(op, slideName, imagePath, hyperlink, &imageId, &linkId) &&
           slide->insertPicture(std::move(owned), name, imageId, linkId);
}

}  // namespace rep
}  // namespace kiv
