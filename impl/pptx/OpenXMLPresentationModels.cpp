// The 3D-viewer controls of slides: pointed at models, or replaced by pictures.
#include "impl/pptx/OpenXMLPresentation.h"
#include "impl/pptx/PresentationHelpers.h"
#include <algorithm>

namespace kiv {
namespace rep {

using namespace PresentationHelpers;

OpenXMLSlideDocument* OpenXMLPresentation::EditSlideWithTag(const wchar_t* op, const MkString& tag, const MkString& slideName,
                                                            MkString* name, OpenXMLPart** part) {
    SlideContent* record = FindSlide(tag, slideName);
    *name = record ? record->slideName : MkString();
    *part = SlidePart(*name);
    OpenXMLSlideDocument* slide = *part && (*part)->Rels() ? EditSlide(*name) : nullptr;
    if (!slide) reportError(GetProblems(), op, MkString(L"no slide holds the tag ") + tag);
    return slide;
}

bool OpenXMLPresentation::SetMDLX(const MkString& tag, const MkString& modelPath, const MkString& /*imagePath*/,
                                  const MkString& newName, const MkString& slideName) {
    static const wchar_t* op = L"OpenXMLPresentation::SetMDLX";
    MkString name;
    OpenXMLPart* part = nullptr;
    OpenXMLSlideDocument* slide = EditSlideWithTag(op, tag, slideName, &name, &part);
    if (!slide) return false;
    OpenXMLRelationships* rels = part->Rels();
    // A new relationship id no relationship of the slide has.
    MkString newId;
    for (int n = 1;; ++n) {
        newId.MakeForm("sRid%04d", n);
        if (!rels->Find(newId)) break;
    }
    MkString spid, oldId;
    if (!slide->RepointControl(tag, newName, newId, &spid, &oldId) || oldId.IsEmpty()) {
        reportError(GetProblems(), op, MkString(L"no 3D control named ") + tag + L" in " + name);
        return false;
    }
    // A model beside the report is named by its file name.
    const MkString model = modelPath, report = ReportPath();
    auto folder = [](const MkString& path) {
        const int a = path.Find(L'/', -1, false), b = path.Find(L'\\', -1, false);
        return std::max(a, b);
    };
    const int modelSep = folder(model), reportSep = folder(report);
    const MkString reference =
        (modelSep >= 0 && reportSep >= 0 && model.Left(modelSep) == report.Left(reportSep)) ? model.Mid(modelSep + 1) : modelPath;
    if (!AddActiveXPluginFile(part, reference, oldId, newId)) {
        reportError(GetProblems(), op, MkString(L"cannot write the control part for ") + tag);
        return false;
    }
    // The preview drawing of the control goes with it.
    const MkString number = spid.Find(L"_s") >= 0 ? spid.Mid(spid.Find(L"_s") + 2) : spid;
    for (const MkString& id : spid.IsEmpty() ? std::vector<MkString>() : idsOf(*rels, {L"/vmlDrawing"})) {
        OpenXMLPart* drawing = part->Related(id);
        const XmlDocument* vml = drawing ? drawing->Xml() : nullptr;
        for (XmlElement shape = vml ? vml->GetRootElement().GetFirstChildElement("v:shape") : XmlElement(); shape;
             shape = shape.GetNextSiblingElement("v:shape")) {
            const MkString shapeId = shape.GetAttributeString("o:spid");
            const int s = shapeId.Find(L"_s");
            if (s >= 0 && (shapeId.Mid(s + 2) == spid || shapeId.Mid(s + 2) == number)) {
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

bool OpenXMLPresentation::ConvertMdlxInSlide(const MkString& tag, const MkString& /*unusedPath*/, const MkString& imagePath,
                                             float aspect, const MkString& newName, const MkString& slideName,
                                             const MkString& hyperlink) {
    static const wchar_t* op = L"OpenXMLPresentation::ConvertMdlxInSlide";
    MkString name;
    OpenXMLPart* part = nullptr;
    OpenXMLSlideDocument* slide = EditSlideWithTag(op, tag, slideName, &name, &part);
    if (!slide) return false;
    OpenXMLRelationships* rels = part->Rels();
    MkStringArray controlIds;
    std::unique_ptr<TiXmlElement> picture = slide->TakeControlPicture(tag, aspect, &controlIds);
    if (!picture) {
        reportError(GetProblems(), op, MkString(L"no 3D control named ") + tag + L" in " + name);
        return false;
    }
    for (int i = 0; i < controlIds.GetSize(); ++i) rels->Drop(controlIds[i]);
    const std::vector<MkString> drawings = idsOf(*rels, {L"/vmlDrawing"});
    if (!drawings.empty()) {
        OpenXMLPart* drawing = part->Related(drawings.front());
        XmlDocument* vml = drawing ? drawing->EditXml() : nullptr;
        if (!vml) {
            reportError(GetProblems(), op,
                        MkString(L"cannot read the drawing ") + (drawing ? drawing->Name() : drawings.front()));
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
    MkString pictureName = newName.IsBlank() ? tag : newName;
    pictureName.Replace(L"MDLX", L"PICTURE");
    return InsertImage(imagePath, pictureName, name, picture.release(), hyperlink);
}

bool OpenXMLPresentation::InsertImage(const MkString& imagePath, const MkString& name, const MkString& slideName,
                                      TiXmlElement* picture, const MkString& hyperlink) {
    static const wchar_t* op = L"OpenXMLPresentation::InsertImage";
    std::unique_ptr<TiXmlElement> owned(picture);
    OpenXMLSlideDocument* slide = owned && HasMediaSource(imagePath) ? EditSlide(slideName) : nullptr;
    if (!slide || !slide->GetShapeTree()) {
        reportError(GetProblems(), op, MkString(L"cannot insert the image ") + imagePath + L" into " + slideName);
        return false;
    }
    MkString imageId, linkId;
    return RelateImage(op, slideName, imagePath, hyperlink, &imageId, &linkId) &&
           slide->InsertPicture(std::move(owned), name, imageId, linkId);
}

}  // namespace rep
}  // namespace kiv
