// Charts and the 3D viewer plug-in on the package of an Office report: chart
// parts filled from tables with their workbooks, controls, embedded models and
// the reference-id part.
#include "KivReport/Table.h"
#include "LibCore/lfwText.h"
#include "LibCore/lfwFile.h"
#include "impl/openxml/ChartData.h"
#include "impl/openxml/OpenXMLPackageEditor.h"
#include "impl/openxml/OpenXMLPaths.h"
#include "impl/openxml/OpenXMLPlugin.h"
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

namespace kiv {
namespace rep {

namespace {

const char* const OCX_PR = "ax:ocxPr";
const char* const AX_NAME = "ax:name";
const char* const AX_VALUE = "ax:value";

// The number written from byte `at` of an id ("mdlx12" from 4: 12); 0 when none.
int numberAfter(const std::string& id, size_t at) {
    return at < id.size() ? lfw::text::toInt(std::string_view(id).substr(at), 0) : 0;
}

bool fail(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return false;
}

// The relationship that holds a chart's data: the one its c:externalData names,
// else (older charts name none) its first embedded package, rId1 first.
const OpenXMLRelationship* workbookRelationship(const XmlDocument& chart, const OpenXMLRelationships& rels) {
    const TiXmlElement* external = chart.RootElement()->FirstChildElement("c:externalData");
    const char* id = external ? external->Attribute("r:id") : nullptr;
    if (id) return rels.Find(std::string(id));
    const OpenXMLRelationship* found = nullptr;
    for (int i = 0; i < rels.Count(); ++i) {
        const OpenXMLRelationship& r = rels.At(i);
        if (r.external || r.type != std::string(OpenXMLPackageEditor::REL_PACKAGE)) continue;
        if (!found || r.id == std::string("rId1")) found = &r;
    }
    return found;
}

// Every plug-in control of the list whose FileURL is oldReference gets newReference.
int replaceReference(const std::vector<OpenXMLPart*>& controls, const std::string& oldReference,
                     const std::string& newReference) {
    int changed = 0;
    for (OpenXMLPart* control : controls) {
        const XmlDocument* view = control->Xml();
        if (!view) continue;
        for (XmlElement p = view->GetRootElement().GetFirstChildElement(OCX_PR); p; p = p.GetNextSiblingElement()) {
            if (p.GetName() != std::string(OCX_PR) || p.GetAttributeString(AX_VALUE) != oldReference) continue;
            control->EditXml();  // the same document, now the part's content
            p.AddAttributeString(AX_VALUE, newReference);
            ++changed;
            break;
        }
    }
    return changed;
}

}  // namespace

// ---------------------------------------------------------------------------
// Charts

// A chart part and its workbook, read and filled in memory.
struct OpenXMLPackageEditor::PreparedChart {
    std::unique_ptr<XmlDocument> chart;  // a copy of the chart part, filled
    OpenXMLRelationships* rels = nullptr;
    std::string linkId;               // the relationship of its data (empty: none)
    OpenXMLPart* workbook = nullptr;  // the embedded workbook (null: a new one is stored)
    std::string bytes;                // the workbook filled
    std::string note;                 // what the workbook had to cut
};

bool OpenXMLPackageEditor::PrepareChart(OpenXMLPart* chart, const ChartData* data, PreparedChart* p, std::string* kind,
                                        std::string* why) {
    const XmlDocument* xml = chart ? chart->Xml() : nullptr;
    if (!xml || !xml->RootElement())
        return fail(why, "the chart part " + (chart ? chart->Name() : std::string("named")) + " cannot be read");
    if (kind) *kind = ChartFill::KindOf(*xml);
    const std::string refusal = ChartFill::Refusal(*xml, data);
    if (!refusal.empty()) return fail(why, refusal);
    if (!data) return true;

    // The workbook: embedded (it must be there), linked from outside or missing (a new one is made).
    p->rels = chart->Rels();
    if (!p->rels) return fail(why, "the relationships of the chart " + chart->Name() + " cannot be read");
    std::string existing;
    if (const OpenXMLRelationship* r = workbookRelationship(*xml, *p->rels)) {
        p->linkId = r->id;
        if (!r->external) {
            if (r->part.empty()) return fail(why, "the chart's workbook " + r->target + " lies outside the package");
            p->workbook = m_package.Part(r);
            if (!p->workbook) return fail(why, "the chart's workbook " + r->part + " is missing");
            const std::string* bytes = p->workbook->Bytes();
            if (!bytes) return fail(why, "the chart's workbook " + r->part + " cannot be read");
            existing = *bytes;
        }
    }
    p->chart.reset(new XmlDocument(*xml));
    const std::string name = p->workbook ? p->workbook->Name() : "made for " + chart->Name();
    return ChartFill::Fill(p->chart.get(), *data, existing, name, &p->bytes, why, nullptr, &p->note, &GetProblems());
}

bool OpenXMLPackageEditor::CheckChart(OpenXMLPart* chart, const ChartData* data, std::string* kind, std::string* why) {
    PreparedChart prepared;
    return PrepareChart(chart, data, &prepared, kind, why);
}

bool OpenXMLPackageEditor::CheckCharts(const std::vector<OpenXMLPart*>& charts, const kiv::rep::Table* table, std::string* kinds,
                                       std::string* why) {
    std::unique_ptr<ChartData> data(table ? new ChartData(*table) : nullptr);
    if (kinds && charts.empty()) *kinds = "no chart";
    bool ok = true;
    for (OpenXMLPart* chart : charts) {
        std::string kind, reason;
        if (!CheckChart(chart, data.get(), &kind, &reason) && ok) {
            ok = false;
            if (why) *why = reason;
        }
        if (kinds && !kind.empty() && (", " + *kinds + ",").find(", " + kind + ",") == std::string::npos)
            *kinds += (kinds->empty() ? std::string() : std::string(", ")) + kind;
    }
    return ok;
}

bool OpenXMLPackageEditor::UpdateChart(OpenXMLPart* chart, const ChartData& data, std::string* why) {
    PreparedChart p;
    if (!PrepareChart(chart, &data, &p, nullptr, why)) return false;
    if (!p.note.empty()) Warn(p.note);
    if (p.workbook) {
        p.workbook->SetBytes(std::move(p.bytes));
        chart->SetXml(std::move(p.chart));
        return true;
    }
    // A chart whose data lives outside (or nowhere) gets a workbook of its own,
    // so that the report is complete in itself.
    const std::string failed = "the chart " + chart->Name() + " cannot be written";
    OpenXMLPart* book = m_package.AddPart(m_package.NextPartName(m_root + "/embeddings/Microsoft_Excel_Sheet1.xlsx"),
                                          std::string(XLSX_CONTENT_TYPE));
    if (!book) return fail(why, failed);
    book->SetBytes(std::move(p.bytes));
    if (!p.linkId.empty()) {
        p.rels->Drop(p.linkId);
    } else {
        // A chart whose c:externalData names no relationship keeps the element,
        // naming the new one: a second would make the chart invalid.
        p.linkId = p.rels->NextId();
        TiXmlElement* space = p.chart->RootElement();
        TiXmlElement* link = space->FirstChildElement("c:externalData");
        if (!link) {
            TiXmlElement* before = space->FirstChildElement();
            while (before && std::strcmp(before->Value(), "c:printSettings") != 0 &&
                   std::strcmp(before->Value(), "c:userShapes") != 0 && std::strcmp(before->Value(), "c:extLst") != 0)
                before = before->NextSiblingElement();
            TiXmlElement element("c:externalData");
            link = (before ? space->InsertBeforeChild(before, element) : space->InsertEndChild(element))->ToElement();
            TiXmlElement autoUpdate("c:autoUpdate");
            autoUpdate.SetAttribute("val", "0");
            link->InsertEndChild(autoUpdate);
        }
        if (!space->Attribute("xmlns:r"))
            space->SetAttribute("xmlns:r", "http://schemas.openxmlformats.org/officeDocument/2006/relationships");
        link->SetAttribute("r:id", p.linkId);
    }
    if (p.rels->Add(std::string(REL_PACKAGE), book->Name(), false, p.linkId).empty()) return fail(why, failed);
    chart->SetXml(std::move(p.chart));
    return true;
}

OpenXMLPart* OpenXMLPackageEditor::CopyChart(OpenXMLPart* chart) {
    const XmlDocument* xml = chart ? chart->Xml() : nullptr;
    OpenXMLRelationships* rels = chart ? chart->Rels() : nullptr;
    if (!xml || !xml->RootElement() || !rels) {
        Fail("The chart part " + (chart ? chart->Name() : std::string("named")) + " cannot be read");
        return nullptr;
    }
    // The workbook must be there before anything is added: a copy without it
    // would break the package. A workbook linked from outside stays linked.
    const OpenXMLRelationship* link = workbookRelationship(*xml, *rels);
    OpenXMLPart* workbook = link && !link->external ? m_package.Part(link) : nullptr;
    if (link && !link->external && !workbook) {
        Fail("The workbook of the chart " + chart->Name() + " is missing");
        return nullptr;
    }
    const std::string id = link ? link->id : std::string(), type = link ? link->type : std::string();
    OpenXMLPart* copy = m_package.CopyPart(chart, m_package.NextPartName(m_root + "/charts/chart1.xml"), true);
    if (!copy) {
        Fail(m_package.Error());
        return nullptr;
    }
    if (workbook) {
        OpenXMLPart* book = m_package.CopyPart(workbook, m_package.NextPartName(workbook->Name()), false);
        if (!book) {
            Fail(m_package.Error());
            return nullptr;
        }
        copy->Rels()->Drop(id);
        copy->Rels()->Add(type, book->Name(), false, id);
    }
    return copy;
}

// ---------------------------------------------------------------------------
// 3D viewer plug-in: controls

std::vector<OpenXMLPart*> OpenXMLPackageEditor::PluginControls() {
    std::vector<OpenXMLPart*> parts, controls;
    bool any = false;
    for (int i = 0; i < m_package.PartCount() && !any; ++i)
        any = lfw::text::equalNoCase(m_package.PartAt(i)->ContentType(), ACTIVEX_CONTENT_TYPE);
    if (!any || !m_package.WrittenParts(&parts)) return controls;
    for (OpenXMLPart* part : parts) {
        if (!lfw::text::equalNoCase(part->ContentType(), ACTIVEX_CONTENT_TYPE)) continue;
        const XmlDocument* xml = part->Xml();
        if (xml && OpenXMLPlugin::IsControl(*xml)) controls.push_back(part);
    }
    return controls;
}

bool OpenXMLPackageEditor::SetMdlxPathForPlugin(XmlDocument* controlPart, const std::string& modelReference) {
    const XmlElement root = controlPart ? controlPart->GetRootElement() : XmlElement();
    if (!root) return false;
    const XmlElement property = OpenXMLPlugin::FindProperty(root, std::string(OpenXMLPlugin::PROP_FILE_URL));
    if (property) return property.AddAttributeString(AX_VALUE, modelReference);
    const XmlElement added = root.AddChildElement(OCX_PR);
    added.AddAttributeString(AX_NAME, std::string(OpenXMLPlugin::PROP_FILE_URL));
    added.AddAttributeString(AX_VALUE, modelReference);
    return false;
}

int OpenXMLPackageEditor::ReplacePathToMdlxFileInPlugins(const std::string& oldReference, const std::string& newReference) {
    return replaceReference(PluginControls(), oldReference, newReference);
}

int OpenXMLPackageEditor::GetReferredMdlxFiles(std::vector<std::string>* files, bool embedded) {
    if (!files) return 0;
    std::sort(files->begin(), files->end());
    int appended = 0;
    for (OpenXMLPart* control : PluginControls()) {
        const XmlElement property =
            OpenXMLPlugin::FindProperty(control->Xml()->GetRootElement(), std::string(OpenXMLPlugin::PROP_FILE_URL));
        if (!property) continue;
        const std::string value = property.GetAttributeString(AX_VALUE);
        const size_t close = value.find(']');
        const size_t open = value.find('[');
        const bool closed = close != std::string::npos;
        if (embedded != closed || (embedded && (open == std::string::npos || open > close))) continue;
        const std::string entry = embedded ? value.substr(open + 1, close - open - 1) : value;
        const auto at = std::lower_bound(files->begin(), files->end(), entry);
        if (at != files->end() && *at == entry) continue;
        files->insert(at, entry);
        ++appended;
    }
    return appended;
}

bool OpenXMLPackageEditor::AddActiveXPluginFile(OpenXMLPart* source, const std::string& modelReference,
                                                const std::string& oldControlId, const std::string& newControlId) {
    OpenXMLRelationships* rels = source ? source->Rels() : nullptr;
    const OpenXMLRelationship* old = rels ? rels->Find(oldControlId) : nullptr;
    if (!old) return false;
    if (!old->external && old->part.empty()) {
        GetProblems().error(
            ProblemCode::TemplateMarkup,
            (lfw::String("The control target '%1' lies outside the package").arg(lfw::String(old->target))).toStdString());
        return false;
    }
    OpenXMLPart* control = m_package.Part(old);
    const XmlDocument* xml = control ? control->Xml() : nullptr;
    if (!xml) return false;
    const XmlElement root = xml->GetRootElement("ax:ocx");
    if (!root || !root.GetFirstChildElement(OCX_PR)) {
        GetProblems().error(
            ProblemCode::TemplateMarkup,
            (lfw::String("The control part '%1' has no ax:ocxPr properties").arg(lfw::String(control->Name()))).toStdString());
        return false;
    }
    if (rels->Find(newControlId)) {
        GetProblems().error(ProblemCode::TemplateMarkup, (lfw::String("Relationship id '%1' is already used in '%2'")
                                                              .arg(lfw::String(newControlId))
                                                              .arg(lfw::String(OpenXMLPaths::RelsPartName(source->Name()))))
                                                             .toStdString());
        return false;
    }
    OpenXMLPart* copy = m_package.CopyPart(control, m_package.NextPartName(m_root + "/activeX/activeX1.xml"), true);
    if (!copy) return Fail(m_package.Error());
    SetMdlxPathForPlugin(copy->EditXml(), modelReference);
    return !rels->Add(std::string(REL_CONTROL), copy->Name(), false, newControlId).empty();
}

void OpenXMLPackageEditor::ConvertFromOldPlugin() {
    for (OpenXMLPart* control : PluginControls()) {
        bool old = false;
        for (XmlElement p = control->Xml()->GetRootElement().GetFirstChildElement(OCX_PR); p && !old;
             p = p.GetNextSiblingElement()) {
            const std::string name = p.GetAttributeString(AX_NAME);
            old = name == std::string("_cx") || name == std::string("_cy") || name == std::string("TOOLBAR");
        }
        if (!old) continue;
        for (XmlElement p = control->EditXml()->GetRootElement().GetFirstChildElement(OCX_PR); p; p = p.GetNextSiblingElement()) {
            if (p.GetName() != std::string(OCX_PR)) continue;
            const std::string name = p.GetAttributeString(AX_NAME);
            if (name == std::string("_cx")) {
                p.AddAttributeString(AX_NAME, std::string(OpenXMLPlugin::PROP_EXTENT_X));
            } else if (name == std::string("_cy")) {
                p.AddAttributeString(AX_NAME, std::string(OpenXMLPlugin::PROP_EXTENT_Y));
            } else if (name == std::string("TOOLBAR")) {
                const bool on = p.GetAttributeString(AX_VALUE) == std::string("ON");
                p.AddAttributeString(AX_NAME, std::string(OpenXMLPlugin::PROP_TOOLBAR));
                p.AddAttributeString(AX_VALUE, std::string(on ? "0" : "1"));
            }
        }
    }
    // Model relationships of the main part move to the package relationships;
    // ids stay unique there (a clashing one gets the next number), and one naming
    // no part is left out.
    OpenXMLRelationships* main = MainRels();
    if (!main) return;
    OpenXMLRelationships& package = m_package.Rels();
    std::vector<std::string> moved;
    for (int i = 0; i < main->Count(); ++i)
        if (main->At(i).type == std::string(OpenXMLPlugin::RELATIONSHIP_TYPE)) moved.push_back(main->At(i).id);
    for (const std::string& movedId : moved) {
        const OpenXMLRelationship r = *main->Find(movedId);
        main->Drop(r.id);
        const OpenXMLPart* part = m_package.Part(&r);
        if (!part || package.Find(r.type, part->Name(), false)) continue;
        long long largest = 0;
        for (int k = 0; k < package.Count(); ++k)
            if (lfw::text::startsWith(package.At(k).id, "mdlx"))
                largest = std::max<long long>(largest, numberAfter(package.At(k).id, 4));
        const std::string id = package.Find(r.id) ? "mdlx" + std::to_string(std::min<long long>(largest + 1, INT_MAX)) : r.id;
        package.Add(r.type, part->Name(), false, id);
    }
}

// ---------------------------------------------------------------------------
// 3D viewer plug-in: embedded models

bool OpenXMLPackageEditor::UpdateMdlxPathReference(std::string* referenceId, const std::string& originalPath) {
    if (!referenceId || !IsOpen()) return false;
    const std::string name = ModelFolder() + OpenXMLPlugin::REFERENCE_PART;
    OpenXMLPart* part = m_package.Part(name);
    XmlDocument* document = part && part->Xml() ? part->EditXml() : nullptr;
    XmlElement root = document ? document->GetRootElement("mdlxReferencedFiles") : XmlElement();
    std::vector<long long> numbers;
    if (!root) {
        std::unique_ptr<XmlDocument> fresh(new XmlDocument);
        fresh->SetDeclaration("1.0", "UTF-8", "yes");
        root = fresh->CreateRootElement("mdlxReferencedFiles", -1, std::string(OpenXMLPlugin::REFERENCE_NAMESPACE));
        const std::string xml = m_package.DefaultContentType("xml");
        if (!part) part = m_package.AddPart(name, xml.empty() ? std::string("application/xml") : xml);
        if (!part || !root) return Fail(m_package.Error());
        part->SetXml(std::move(fresh));
    } else {
        // Every entry counts, so that a new id never repeats an existing one.
        for (XmlElement e = root.GetFirstChildElement("mdlxPath"); e; e = e.GetNextSiblingElement())
            numbers.push_back(numberAfter(e.GetAttributeString("rId"), 4));
    }
    std::sort(numbers.begin(), numbers.end());
    long long number = 0;
    for (long long n : numbers) {
        if (n > number + 1) break;
        if (n > number) number = n;
    }
    ++number;
    // A model of that number (left by a lost reference-id part) is never overwritten.
    while (number < INT_MAX && m_package.Part(ModelFolder() + "mdlx" + std::to_string(number) + ".mdlx")) ++number;
    if (number >= INT_MAX) return false;
    *referenceId = "mdlx" + std::to_string(number);
    const XmlElement entry = root.AddChildElement("mdlxPath");
    entry.AddAttributeString("rId", *referenceId);
    entry.AddAttributeString("originalPath", originalPath);
    return true;
}

std::string OpenXMLPackageEditor::RelateModel(const std::string& modelPart) {
    OpenXMLRelationships& rels = m_package.Rels();
    const std::string type(OpenXMLPlugin::RELATIONSHIP_TYPE);
    if (const OpenXMLRelationship* known = rels.Find(type, modelPart, false)) return known->id;
    long long largest = 0;
    bool anyModel = false;
    for (int i = 0; i < rels.Count(); ++i) {
        const std::string& id = rels.At(i).id;
        const size_t at = id.find("mdlx");
        if (at == std::string::npos) continue;
        anyModel = true;
        largest = std::max<long long>(largest, numberAfter(id, at + 4));
    }
    if (largest >= INT_MAX) return std::string();
    if (!anyModel)
        rels.Add(type, ModelFolder() + OpenXMLPlugin::REFERENCE_PART, false, std::string(OpenXMLPlugin::REFERENCE_REL_ID));
    return rels.Add(type, modelPart, false, "mdlx" + std::to_string(largest + 1));
}

bool OpenXMLPackageEditor::StoreModel(const std::string& bytes, const std::string& originalPath, std::string* referenceId) {
    if (!UpdateMdlxPathReference(referenceId, originalPath)) return false;
    const std::string name = ModelFolder() + *referenceId + ".mdlx";
    OpenXMLPart* part = m_package.AddPart(name, std::string(MODEL_CONTENT_TYPE));
    if (!part) return Fail(m_package.Error());
    part->SetBytes(bytes);
    return !RelateModel(name).empty();
}

bool OpenXMLPackageEditor::EmbedModel(const void* data, size_t size, const std::string& originalPath, std::string* referenceId) {
    if (!data || size == 0) return Fail("The model '" + originalPath + "' is empty");
    std::string id;
    return StoreModel(std::string(static_cast<const char*>(data), size), originalPath, referenceId ? referenceId : &id);
}

bool OpenXMLPackageEditor::EmbedMdlxInArchive(const std::string& modelReference, std::string* internalName) {
    if (modelReference.find(OpenXMLPlugin::EMBEDDED_PREFIX) != std::string::npos) return true;
    const std::string diskPath = OpenXMLPlugin::ResolveModelPath(modelReference, m_reportPath);
    // Only model files are embedded: a template may name any file in a control.
    if (!OpenXMLPlugin::IsEmbeddableModelFile(diskPath)) {
        GetProblems().error(
            ProblemCode::ContentLeftOut,
            (lfw::String("The 3D model '%1' is not a regular .mdlx file and is not embedded").arg(lfw::String(diskPath)))
                .toStdString());
        return false;
    }
    // Only from the report's folder and the places the caller named: a control
    // naming "/home/x/secret.mdlx" or "../../x.mdlx" embeds nothing.
    if (!m_modelSources.Allow(diskPath, m_reportPath)) {
        GetProblems().error(ProblemCode::ContentLeftOut,
                            (lfw::String("The 3D model '%1' lies outside the template's and the report's folders and is not "
                                         "embedded")
                                 .arg(lfw::String(modelReference)))
                                .toStdString());
        return false;
    }
    std::string bytes;
    std::string id;
    if (!lfw::FileSystem::readFile(diskPath, &bytes) || !StoreModel(bytes, OpenXMLPlugin::RecordedModelName(modelReference), &id))
        return false;
    if (internalName) *internalName = id + ".mdlx";
    return ReplacePathToMdlxFileInPlugins(modelReference, std::string(OpenXMLPlugin::EMBEDDED_PREFIX) + id + "]") > 0;
}

bool OpenXMLPackageEditor::EmbedAllMdlxFilesInArchive() {
    std::vector<std::string> files;
    GetReferredMdlxFiles(&files, false);
    bool all = true;
    for (const std::string& file : files)
        if (!file.empty() && !EmbedMdlxInArchive(file)) all = false;
    return all;
}

}  // namespace rep
}  // namespace kiv
