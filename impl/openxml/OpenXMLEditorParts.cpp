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

bool failWith(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return false;
}

// The relationship that holds a chart's data: the one its c:externalData names,
// else (older charts name none) its first embedded package, rId1 first.
const OpenXMLRelationship* workbookRelationship(const XmlDocument& chart, const OpenXMLRelationships& rels) {
    const TiXmlElement* external = chart.RootElement()->FirstChildElement("c:externalData");
    const char* id = external ? external->Attribute("r:id") : nullptr;
    if (id) return rels.find(std::string(id));
    const OpenXMLRelationship* found = nullptr;
    for (int i = 0; i < rels.count(); ++i) {
        const OpenXMLRelationship& r = rels.at(i);
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
        const XmlDocument* view = control->xml();
        if (!view) continue;
        for (XmlElement p = view->getRootElement().getFirstChildElement(OCX_PR); p; p = p.getNextSiblingElement()) {
            if (p.getName() != std::string(OCX_PR) || p.getAttributeString(AX_VALUE) != oldReference) continue;
            control->editXml();  // the same document, now the part's content
            p.addAttributeString(AX_VALUE, newReference);
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

bool OpenXMLPackageEditor::prepareChart(OpenXMLPart* chart, const ChartData* data, PreparedChart* p, std::string* kind,
                                        std::string* why) {
    const XmlDocument* xml = chart ? chart->xml() : nullptr;
    if (!xml || !xml->RootElement())
        return failWith(why, "the chart part " + (chart ? chart->name() : std::string("named")) + " cannot be read");
    if (kind) *kind = ChartFill::kindOf(*xml);
    const std::string refusal = ChartFill::refusal(*xml, data);
    if (!refusal.empty()) return failWith(why, refusal);
    if (!data) return true;

    // The workbook: embedded (it must be there), linked from outside or missing (a new one is made).
    p->rels = chart->rels();
    if (!p->rels) return failWith(why, "the relationships of the chart " + chart->name() + " cannot be read");
    std::string existing;
    if (const OpenXMLRelationship* r = workbookRelationship(*xml, *p->rels)) {
        p->linkId = r->id;
        if (!r->external) {
            if (r->part.empty()) return failWith(why, "the chart's workbook " + r->target + " lies outside the package");
            p->workbook = m_package.part(r);
            if (!p->workbook) return failWith(why, "the chart's workbook " + r->part + " is missing");
            const std::string* bytes = p->workbook->bytes();
            if (!bytes) return failWith(why, "the chart's workbook " + r->part + " cannot be read");
            existing = *bytes;
        }
    }
    p->chart.reset(new XmlDocument(*xml));
    const std::string name = p->workbook ? p->workbook->name() : "made for " + chart->name();
    return ChartFill::fill(p->chart.get(), *data, existing, name, &p->bytes, why, nullptr, &p->note, &getProblems());
}

bool OpenXMLPackageEditor::checkChart(OpenXMLPart* chart, const ChartData* data, std::string* kind, std::string* why) {
    PreparedChart prepared;
    return prepareChart(chart, data, &prepared, kind, why);
}

void OpenXMLPackageEditor::scanCharts(TemplateScan& scan,
                                      const std::function<std::vector<OpenXMLPart*>(const std::string&)>& partsOf) {
    std::set<std::string> seen;
    for (const ScannedTag& tag : scan.tags) {
        if (tag.kind != TagKind::Chart || !seen.insert(tag.name).second) continue;
        ScannedChart chart;
        chart.tag = tag.name;
        checkCharts(partsOf(tag.name), nullptr, &chart.kinds, &chart.why);
        scan.charts.push_back(std::move(chart));
    }
}

bool OpenXMLPackageEditor::checkCharts(const std::vector<OpenXMLPart*>& charts, const kiv::rep::Table* table, std::string* kinds,
                                       std::string* why) {
    std::unique_ptr<ChartData> data(table ? new ChartData(*table) : nullptr);
    if (kinds && charts.empty()) *kinds = "no chart";
    bool ok = true;
    for (OpenXMLPart* chart : charts) {
        std::string kind, reason;
        if (!checkChart(chart, data.get(), &kind, &reason) && ok) {
            ok = false;
            if (why) *why = reason;
        }
        if (kinds && !kind.empty() && (", " + *kinds + ",").find(", " + kind + ",") == std::string::npos)
            *kinds += (kinds->empty() ? std::string() : std::string(", ")) + kind;
    }
    return ok;
}

bool OpenXMLPackageEditor::updateChart(OpenXMLPart* chart, const ChartData& data, std::string* why) {
    PreparedChart p;
    if (!prepareChart(chart, &data, &p, nullptr, why)) return false;
    if (!p.note.empty()) warn(p.note);
    if (p.workbook) {
        p.workbook->setBytes(std::move(p.bytes));
        chart->setXml(std::move(p.chart));
        return true;
    }
    // A chart whose data lives outside (or nowhere) gets a workbook of its own,
    // so that the report is complete in itself.
    const std::string failed = "the chart " + chart->name() + " cannot be written";
    OpenXMLPart* book = m_package.addPart(m_package.nextPartName(m_root + "/embeddings/Microsoft_Excel_Sheet1.xlsx"),
                                          std::string(XLSX_CONTENT_TYPE));
    if (!book) return failWith(why, failed);
    book->setBytes(std::move(p.bytes));
    if (!p.linkId.empty()) {
        p.rels->drop(p.linkId);
    } else {
        // A chart whose c:externalData names no relationship keeps the element,
        // naming the new one: a second would make the chart invalid.
        p.linkId = p.rels->nextId();
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
    if (p.rels->add(std::string(REL_PACKAGE), book->name(), false, p.linkId).empty()) return failWith(why, failed);
    chart->setXml(std::move(p.chart));
    return true;
}

OpenXMLPart* OpenXMLPackageEditor::copyChart(OpenXMLPart* chart) {
    const XmlDocument* xml = chart ? chart->xml() : nullptr;
    OpenXMLRelationships* rels = chart ? chart->rels() : nullptr;
    if (!xml || !xml->RootElement() || !rels) {
        fail("The chart part " + (chart ? chart->name() : std::string("named")) + " cannot be read");
        return nullptr;
    }
    // The workbook must be there before anything is added: a copy without it
    // would break the package. A workbook linked from outside stays linked.
    const OpenXMLRelationship* link = workbookRelationship(*xml, *rels);
    OpenXMLPart* workbook = link && !link->external ? m_package.part(link) : nullptr;
    if (link && !link->external && !workbook) {
        fail("The workbook of the chart " + chart->name() + " is missing");
        return nullptr;
    }
    const std::string id = link ? link->id : std::string(), type = link ? link->type : std::string();
    OpenXMLPart* copy = m_package.copyPart(chart, m_package.nextPartName(m_root + "/charts/chart1.xml"), true);
    if (!copy) {
        fail(m_package.error());
        return nullptr;
    }
    if (workbook) {
        OpenXMLPart* book = m_package.copyPart(workbook, m_package.nextPartName(workbook->name()), false);
        if (!book) {
            fail(m_package.error());
            return nullptr;
        }
        copy->rels()->drop(id);
        copy->rels()->add(type, book->name(), false, id);
    }
    return copy;
}

// ---------------------------------------------------------------------------
// 3D viewer plug-in: controls

std::vector<OpenXMLPart*> OpenXMLPackageEditor::pluginControls() {
    std::vector<OpenXMLPart*> parts, controls;
    bool any = false;
    for (int i = 0; i < m_package.partCount() && !any; ++i)
        any = lfw::text::equalNoCase(m_package.partAt(i)->contentType(), ACTIVEX_CONTENT_TYPE);
    if (!any || !m_package.writtenParts(&parts)) return controls;
    for (OpenXMLPart* part : parts) {
        if (!lfw::text::equalNoCase(part->contentType(), ACTIVEX_CONTENT_TYPE)) continue;
        const XmlDocument* xml = part->xml();
        if (xml && OpenXMLPlugin::isControl(*xml)) controls.push_back(part);
    }
    return controls;
}

bool OpenXMLPackageEditor::setMdlxPathForPlugin(XmlDocument* controlPart, const std::string& modelReference) {
    const XmlElement root = controlPart ? controlPart->getRootElement() : XmlElement();
    if (!root) return false;
    const XmlElement property = OpenXMLPlugin::findProperty(root, std::string(OpenXMLPlugin::PROP_FILE_URL));
    if (property) return property.addAttributeString(AX_VALUE, modelReference);
    const XmlElement added = root.addChildElement(OCX_PR);
    added.addAttributeString(AX_NAME, std::string(OpenXMLPlugin::PROP_FILE_URL));
    added.addAttributeString(AX_VALUE, modelReference);
    return false;
}

int OpenXMLPackageEditor::replacePathToMdlxFileInPlugins(const std::string& oldReference, const std::string& newReference) {
    return replaceReference(pluginControls(), oldReference, newReference);
}

int OpenXMLPackageEditor::getReferredMdlxFiles(std::vector<std::string>* files, bool embedded) {
    if (!files) return 0;
    std::sort(files->begin(), files->end());
    int appended = 0;
    for (OpenXMLPart* control : pluginControls()) {
        const XmlElement property =
            OpenXMLPlugin::findProperty(control->xml()->getRootElement(), std::string(OpenXMLPlugin::PROP_FILE_URL));
        if (!property) continue;
        const std::string value = property.getAttributeString(AX_VALUE);
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

bool OpenXMLPackageEditor::addActiveXPluginFile(OpenXMLPart* source, const std::string& modelReference,
                                                const std::string& oldControlId, const std::string& newControlId) {
    OpenXMLRelationships* rels = source ? source->rels() : nullptr;
    const OpenXMLRelationship* old = rels ? rels->find(oldControlId) : nullptr;
    if (!old) return false;
    if (!old->external && old->part.empty()) {
        getProblems().error(
            ProblemCode::TemplateMarkup,
            (lfw::String("The control target '%1' lies outside the package").arg(lfw::String(old->target))).toStdString());
        return false;
    }
    OpenXMLPart* control = m_package.part(old);
    const XmlDocument* xml = control ? control->xml() : nullptr;
    if (!xml) return false;
    const XmlElement root = xml->getRootElement("ax:ocx");
    if (!root || !root.getFirstChildElement(OCX_PR)) {
        getProblems().error(
            ProblemCode::TemplateMarkup,
            (lfw::String("The control part '%1' has no ax:ocxPr properties").arg(lfw::String(control->name()))).toStdString());
        return false;
    }
    if (rels->find(newControlId)) {
        getProblems().error(ProblemCode::TemplateMarkup, (lfw::String("Relationship id '%1' is already used in '%2'")
                                                              .arg(lfw::String(newControlId))
                                                              .arg(lfw::String(OpenXMLPaths::relsPartName(source->name()))))
                                                             .toStdString());
        return false;
    }
    OpenXMLPart* copy = m_package.copyPart(control, m_package.nextPartName(m_root + "/activeX/activeX1.xml"), true);
    if (!copy) return fail(m_package.error());
    setMdlxPathForPlugin(copy->editXml(), modelReference);
    return !rels->add(std::string(REL_CONTROL), copy->name(), false, newControlId).empty();
}

void OpenXMLPackageEditor::convertFromOldPlugin() {
    for (OpenXMLPart* control : pluginControls()) {
        bool old = false;
        for (XmlElement p = control->xml()->getRootElement().getFirstChildElement(OCX_PR); p && !old;
             p = p.getNextSiblingElement()) {
            const std::string name = p.getAttributeString(AX_NAME);
            old = name == std::string("_cx") || name == std::string("_cy") || name == std::string("TOOLBAR");
        }
        if (!old) continue;
        for (XmlElement p = control->editXml()->getRootElement().getFirstChildElement(OCX_PR); p; p = p.getNextSiblingElement()) {
            if (p.getName() != std::string(OCX_PR)) continue;
            const std::string name = p.getAttributeString(AX_NAME);
            if (name == std::string("_cx")) {
                p.addAttributeString(AX_NAME, std::string(OpenXMLPlugin::PROP_EXTENT_X));
            } else if (name == std::string("_cy")) {
                p.addAttributeString(AX_NAME, std::string(OpenXMLPlugin::PROP_EXTENT_Y));
            } else if (name == std::string("TOOLBAR")) {
                const bool on = p.getAttributeString(AX_VALUE) == std::string("ON");
                p.addAttributeString(AX_NAME, std::string(OpenXMLPlugin::PROP_TOOLBAR));
                p.addAttributeString(AX_VALUE, std::string(on ? "0" : "1"));
            }
        }
    }
    // Model relationships of the main part move to the package relationships;
    // ids stay unique there (a clashing one gets the next number), and one naming
    // no part is left out.
    OpenXMLRelationships* main = mainRels();
    if (!main) return;
    OpenXMLRelationships& package = m_package.rels();
    std::vector<std::string> moved;
    for (int i = 0; i < main->count(); ++i)
        if (main->at(i).type == std::string(OpenXMLPlugin::RELATIONSHIP_TYPE)) moved.push_back(main->at(i).id);
    for (const std::string& movedId : moved) {
        const OpenXMLRelationship r = *main->find(movedId);
        main->drop(r.id);
        const OpenXMLPart* part = m_package.part(&r);
        if (!part || package.find(r.type, part->name(), false)) continue;
        long long largest = 0;
        for (int k = 0; k < package.count(); ++k)
            if (lfw::text::startsWith(package.at(k).id, "mdlx"))
                largest = std::max<long long>(largest, numberAfter(package.at(k).id, 4));
        const std::string id = package.find(r.id) ? "mdlx" + std::to_string(std::min<long long>(largest + 1, INT_MAX)) : r.id;
        package.add(r.type, part->name(), false, id);
    }
}

// ---------------------------------------------------------------------------
// 3D viewer plug-in: embedded models

bool OpenXMLPackageEditor::updateMdlxPathReference(std::string* referenceId, const std::string& originalPath) {
    if (!referenceId || !isOpen()) return false;
    const std::string name = modelFolder() + OpenXMLPlugin::REFERENCE_PART;
    OpenXMLPart* part = m_package.part(name);
    XmlDocument* document = part && part->xml() ? part->editXml() : nullptr;
    XmlElement root = document ? document->getRootElement("mdlxReferencedFiles") : XmlElement();
    std::vector<long long> numbers;
    if (!root) {
        std::unique_ptr<XmlDocument> fresh(new XmlDocument);
        fresh->setDeclaration("1.0", "UTF-8", "yes");
        root = fresh->createRootElement("mdlxReferencedFiles", -1, std::string(OpenXMLPlugin::REFERENCE_NAMESPACE));
        const std::string xml = m_package.defaultContentType("xml");
        if (!part) part = m_package.addPart(name, xml.empty() ? std::string("application/xml") : xml);
        if (!part || !root) return fail(m_package.error());
        part->setXml(std::move(fresh));
    } else {
        // Every entry counts, so that a new id never repeats an existing one.
        for (XmlElement e = root.getFirstChildElement("mdlxPath"); e; e = e.getNextSiblingElement())
            numbers.push_back(numberAfter(e.getAttributeString("rId"), 4));
    }
    std::sort(numbers.begin(), numbers.end());
    long long number = 0;
    for (long long n : numbers) {
        if (n > number + 1) break;
        if (n > number) number = n;
    }
    ++number;
    // A model of that number (left by a lost reference-id part) is never overwritten.
    while (number < INT_MAX && m_package.part(modelFolder() + "mdlx" + std::to_string(number) + ".mdlx")) ++number;
    if (number >= INT_MAX) return false;
    *referenceId = "mdlx" + std::to_string(number);
    const XmlElement entry = root.addChildElement("mdlxPath");
    entry.addAttributeString("rId", *referenceId);
    entry.addAttributeString("originalPath", originalPath);
    return true;
}

std::string OpenXMLPackageEditor::relateModel(const std::string& modelPart) {
    OpenXMLRelationships& rels = m_package.rels();
    const std::string type(OpenXMLPlugin::RELATIONSHIP_TYPE);
    if (const OpenXMLRelationship* known = rels.find(type, modelPart, false)) return known->id;
    long long largest = 0;
    bool anyModel = false;
    for (int i = 0; i < rels.count(); ++i) {
        const std::string& id = rels.at(i).id;
        const size_t at = id.find("mdlx");
        if (at == std::string::npos) continue;
        anyModel = true;
        largest = std::max<long long>(largest, numberAfter(id, at + 4));
    }
    if (largest >= INT_MAX) return std::string();
    if (!anyModel)
        rels.add(type, modelFolder() + OpenXMLPlugin::REFERENCE_PART, false, std::string(OpenXMLPlugin::REFERENCE_REL_ID));
    return rels.add(type, modelPart, false, "mdlx" + std::to_string(largest + 1));
}

bool OpenXMLPackageEditor::storeModel(const std::string& bytes, const std::string& originalPath, std::string* referenceId) {
    if (!updateMdlxPathReference(referenceId, originalPath)) return false;
    const std::string name = modelFolder() + *referenceId + ".mdlx";
    OpenXMLPart* part = m_package.addPart(name, std::string(MODEL_CONTENT_TYPE));
    if (!part) return fail(m_package.error());
    part->setBytes(bytes);
    return !relateModel(name).empty();
}

bool OpenXMLPackageEditor::embedModel(const void* data, size_t size, const std::string& originalPath, std::string* referenceId) {
    if (!data || size == 0) return fail("The model '" + originalPath + "' is empty");
    std::string id;
    return storeModel(std::string(static_cast<const char*>(data), size), originalPath, referenceId ? referenceId : &id);
}

bool OpenXMLPackageEditor::embedMdlxInArchive(const std::string& modelReference, std::string* internalName) {
    if (modelReference.find(OpenXMLPlugin::EMBEDDED_PREFIX) != std::string::npos) return true;
    const std::string diskPath = OpenXMLPlugin::resolveModelPath(modelReference, m_reportPath);
    // Only model files are embedded: a template may name any file in a control.
    if (!OpenXMLPlugin::isEmbeddableModelFile(diskPath)) {
        getProblems().error(
            ProblemCode::ContentLeftOut,
            (lfw::String("The 3D model '%1' is not a regular .mdlx file and is not embedded").arg(lfw::String(diskPath)))
                .toStdString());
        return false;
    }
    // Only from the report's folder and the places the caller named: a control
    // naming "/home/x/secret.mdlx" or "../../x.mdlx" embeds nothing.
    if (!m_modelSources.allow(diskPath, m_reportPath)) {
        getProblems().error(ProblemCode::ContentLeftOut,
                            (lfw::String("The 3D model '%1' lies outside the template's and the report's folders and is not "
                                         "embedded")
                                 .arg(lfw::String(modelReference)))
                                .toStdString());
        return false;
    }
    std::string bytes;
    std::string id;
    if (!lfw::FileSystem::readFile(diskPath, &bytes) || !storeModel(bytes, OpenXMLPlugin::recordedModelName(modelReference), &id))
        return false;
    if (internalName) *internalName = id + ".mdlx";
    return replacePathToMdlxFileInPlugins(modelReference, std::string(OpenXMLPlugin::EMBEDDED_PREFIX) + id + "]") > 0;
}

bool OpenXMLPackageEditor::embedAllMdlxFilesInArchive() {
    std::vector<std::string> files;
    getReferredMdlxFiles(&files, false);
    bool all = true;
    for (const std::string& file : files)
        if (!file.empty() && !embedMdlxInArchive(file)) all = false;
    return all;
}

}  // namespace rep
}  // namespace kiv
