// Charts of a package: the chart part and its workbook are read, filled from a
// table (MkChartFill) and stored back; copied charts get their own workbook.
#include "impl/openxml/MkChartData.h"
#include "impl/openxml/MkOpenXMLArchive.h"
#include "impl/openxml/MkOpenXMLPaths.h"
#include <cstring>
#include <memory>
#include <string>

using namespace MkOpenXMLPaths;

namespace {

const wchar_t* const XLSX_CONTENT_TYPE = L"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
const char* const REL_NS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const PACKAGE_RELS_NS = "http://schemas.openxmlformats.org/package/2006/relationships";

MkString relsPathOf(const MkString& part) {
    const int sep = part.Find(L'\\', part.Length() - 1, false);
    return part.Left(sep + 1) + L"_rels\\" + part.Mid(sep + 1) + L".rels";
}

std::string utf8(const MkString& s) { return MkXmlToUtf8(s); }

// The relationship that holds a chart's data: the one its c:externalData names,
// else (older charts name none) its first embedded package, rId1 first.
TiXmlElement* workbookRelationship(const MkXmlDocument& rels, const std::string& id) {
    TiXmlElement* found = nullptr;
    const TiXmlElement* root = rels.RootElement();
    for (TiXmlElement* r = root ? const_cast<TiXmlElement*>(root)->FirstChildElement("Relationship") : nullptr; r;
         r = r->NextSiblingElement("Relationship")) {
        const char* rid = r->Attribute("Id");
        const char* type = r->Attribute("Type");
        if (!id.empty()) {
            if (rid && id == rid) return r;
            continue;
        }
        if (!type || utf8(MkOpenXMLArchive::REL_TYPE_PACKAGE) != type || r->Attribute("TargetMode")) continue;
        if (!found || (rid && std::strcmp(rid, "rId1") == 0)) found = r;
    }
    return found;
}

// A relative target from the folder of `from` to `to` (internal paths).
MkString relativeTarget(const MkString& from, const MkString& to) {
    const std::wstring a = ToSlash(from).Std(), b = ToSlash(to).Std();
    size_t common = 0;
    for (size_t i = 0; i < a.size() && i < b.size() && a[i] == b[i]; ++i)
        if (a[i] == L'/') common = i + 1;
    std::wstring target;
    for (size_t i = common; i < a.size(); ++i)
        if (a[i] == L'/') target += L"../";
    return MkString(target + b.substr(common));
}

bool fail(MkString* why, const MkString& reason) {
    if (why) *why = reason;
    return false;
}

}  // namespace

// A chart part and its workbook, read and filled in memory.
struct MkOpenXMLArchive::PreparedChart {
    MkString part;      // the chart part
    MkString relsPath;  // its relationships part
    MkString linkId;    // the relationship of its data (empty: none)
    MkString workbook;  // the embedded workbook (empty: a new one is stored)
    MkXmlDocument chart;
    MkXmlDocument rels;
    std::string bytes;  // the workbook filled
};

MkString MkOpenXMLArchive::ChartPartPath(const MkString& chartPath) const {
    const MkString internal = ToInternal(chartPath);
    if (!m_rootFolder.IsEmpty() && internal.StartsWith(m_rootFolder + MkString(GetPathSeparator())))
        return ResolvePartTarget(MkString(), internal);
    return TargetToPackagePath(chartPath);
}

bool MkOpenXMLArchive::PrepareChart(const MkString& chartPath, const MkChartData* data, PreparedChart* p,
                                    MkString* kind, MkString* why) {
    p->part = ChartPartPath(chartPath);
    if (p->part.IsEmpty() || !ReadPart(p->part, &p->chart) || !p->chart.RootElement())
        return fail(why, L"the chart part " + ToSlash(p->part.IsEmpty() ? chartPath : p->part) + L" cannot be read");
    if (kind) *kind = MkChartFill::KindOf(p->chart);
    const MkString refusal = MkChartFill::Refusal(p->chart, data);
    if (!refusal.IsEmpty()) return fail(why, refusal);
    if (!data) return true;

    // The workbook: embedded (it must be there), linked from outside or missing (a new one is made).
    p->relsPath = relsPathOf(p->part);
    const TiXmlElement* external = p->chart.RootElement()->FirstChildElement("c:externalData");
    const char* id = external ? external->Attribute("r:id") : nullptr;
    if (!ReadPart(p->relsPath, &p->rels) || !p->rels.RootElement()) {
        p->rels.Clear();
        p->rels.LinkEndChild(new TiXmlElement("Relationships"))->ToElement()->SetAttribute("xmlns", PACKAGE_RELS_NS);
    }
    std::string existing;
    if (const TiXmlElement* r = workbookRelationship(p->rels, id ? id : "")) {
        p->linkId = MkString(r->Attribute("Id"));
        const MkString target(r->Attribute("Target") ? r->Attribute("Target") : "");
        if (!r->Attribute("TargetMode")) {
            p->workbook = ResolvePartTarget(p->part, target);
            if (p->workbook.IsEmpty())
                return fail(why, L"the chart's workbook " + target + L" lies outside the package");
            if (FindFile(p->workbook) < 0)
                return fail(why, L"the chart's workbook " + ToSlash(p->workbook) + L" is missing");
            size_t size = 0;
            unsigned char* raw = ReadDataRaw(p->workbook, &size);
            if (!raw) return fail(why, L"the chart's workbook " + ToSlash(p->workbook) + L" cannot be read");
            existing.assign(reinterpret_cast<const char*>(raw), size);
            free(raw);
        }
    }
    const MkString name = p->workbook.IsEmpty() ? L"made for " + ToSlash(p->part) : ToSlash(p->workbook);
    return MkChartFill::Fill(&p->chart, *data, existing, name, &p->bytes, why, XmlBudget());
}

bool MkOpenXMLArchive::CheckChart(const MkString& chartPath, const MkChartData* data, MkString* kind, MkString* why) {
    PreparedChart prepared;
    return PrepareChart(chartPath, data, &prepared, kind, why);
}

bool MkOpenXMLArchive::CheckCharts(const MkStringArray& parts, const kiv::rep::Table* table, MkString* kinds,
                                   MkString* why) {
    std::unique_ptr<MkChartData> data(table ? new MkChartData(*table) : nullptr);
    if (kinds && parts.IsEmpty()) *kinds = L"no chart";
    bool ok = true;
    for (int i = 0; i < parts.GetSize(); ++i) {
        MkString kind, reason;
        if (!CheckChart(parts[i], data.get(), &kind, &reason) && ok) {
            ok = false;
            if (why) *why = reason;
        }
        if (kinds && !kind.IsEmpty() && !(L", " + *kinds + L",").Contains(L", " + kind + L","))
            *kinds += (kinds->IsEmpty() ? MkString() : MkString(L", ")) + kind;
    }
    return ok;
}

bool MkOpenXMLArchive::UpdateChart(const MkString& chartPath, const MkChartData& data, MkString* why) {
    PreparedChart p;
    if (!PrepareChart(chartPath, &data, &p, nullptr, why)) return false;
    const MkString failed = L"the chart " + ToSlash(p.part) + L" cannot be written";
    if (!p.workbook.IsEmpty()) {
        if (!WriteDataRaw(p.workbook, p.bytes.data(), p.bytes.size(), true) || !WritePart(p.part, p.chart))
            return fail(why, failed);
        return true;
    }
    // A chart whose data lives outside (or nowhere) gets a workbook of its own,
    // so that the report is complete in itself.
    const MkString sep(GetPathSeparator());
    const MkString book = GetNextFileName(m_rootFolder + sep + L"embeddings" + sep + L"Microsoft_Excel_Sheet1.xlsx");
    if (book.IsEmpty() || !WriteDataRaw(book, p.bytes.data(), p.bytes.size(), false)) return fail(why, failed);
    MkXmlDocument scratch;
    MkXmlDocument* types = OpenPart(MkString(CONTENT_TYPES_PART), &scratch);
    if (!types || !types->RootElement()) return fail(why, failed);
    bool registered = false;
    for (const TiXmlElement* e = types->RootElement()->FirstChildElement("Default"); e && !registered;
         e = e->NextSiblingElement("Default"))
        registered = e->Attribute("Extension") && MkString(e->Attribute("Extension")).CompareNoCase(L"xlsx") == 0;
    if (!registered) {
        TiXmlElement xlsx("Default");
        xlsx.SetAttribute("Extension", "xlsx");
        xlsx.SetAttribute("ContentType", utf8(XLSX_CONTENT_TYPE));
        types->RootElement()->InsertBeforeChild(types->RootElement()->FirstChild(), xlsx);
        if (!SavePart(MkString(CONTENT_TYPES_PART), types)) return fail(why, failed);
    }
    TiXmlElement* link = workbookRelationship(p.rels, utf8(p.linkId));
    if (!link) {
        // A new relationship, and the chart's reference to it.
        int largest = 0;
        for (const TiXmlElement* r = p.rels.RootElement()->FirstChildElement("Relationship"); r;
             r = r->NextSiblingElement("Relationship"))
            if (r->Attribute("Id") && std::strncmp(r->Attribute("Id"), "rId", 3) == 0)
                largest = std::max(largest, MkString(r->Attribute("Id") + 3).AsInt(0));
        p.linkId = L"rId" + MkString(largest + 1);
        link = p.rels.RootElement()->LinkEndChild(new TiXmlElement("Relationship"))->ToElement();
        link->SetAttribute("Id", utf8(p.linkId));
        TiXmlElement* space = p.chart.RootElement();
        TiXmlElement* data = space->FirstChildElement("c:externalData");
        if (!data) {
            TiXmlElement* before = space->FirstChildElement();
            while (before && std::strcmp(before->Value(), "c:printSettings") != 0 &&
                   std::strcmp(before->Value(), "c:userShapes") != 0 && std::strcmp(before->Value(), "c:extLst") != 0)
                before = before->NextSiblingElement();
            TiXmlElement element("c:externalData");
            data = (before ? space->InsertBeforeChild(before, element) : space->InsertEndChild(element))->ToElement();
            TiXmlElement autoUpdate("c:autoUpdate");
            autoUpdate.SetAttribute("val", "0");
            data->InsertEndChild(autoUpdate);
        }
        if (!space->Attribute("xmlns:r")) space->SetAttribute("xmlns:r", REL_NS);
        data->SetAttribute("r:id", utf8(p.linkId));
    }
    link->SetAttribute("Type", utf8(REL_TYPE_PACKAGE));
    link->SetAttribute("Target", utf8(relativeTarget(p.part, book)));
    link->RemoveAttribute("TargetMode");
    if (!WritePart(p.relsPath, p.rels) || !WritePart(p.part, p.chart)) return fail(why, failed);
    return true;
}

bool MkOpenXMLArchive::UpdateChartWorkSheet(const MkString& chartPath, const MkChartData& data, MkString* why) {
    MkString reason;
    MkString& out = why ? *why : reason;
    const MkString chartPart = ChartPartPath(chartPath);
    MkXmlDocument rels;
    const TiXmlElement* r =
        !chartPart.IsEmpty() && ReadPart(relsPathOf(chartPart), &rels) ? workbookRelationship(rels, "") : nullptr;
    const MkString workbook =
        r && r->Attribute("Target") ? ResolvePartTarget(chartPart, MkString(r->Attribute("Target"))) : MkString();
    if (workbook.IsEmpty() || FindFile(workbook) < 0)
        return fail(
            &out, L"the chart " + ToSlash(chartPart.IsEmpty() ? chartPath : chartPart) + L" has no embedded workbook");
    size_t size = 0;
    unsigned char* raw = ReadDataRaw(workbook, &size);
    if (!raw) return fail(&out, L"the chart's workbook " + ToSlash(workbook) + L" cannot be read");
    const std::string bytes(reinterpret_cast<const char*>(raw), size);
    free(raw);
    std::string filled;
    if (!MkChartFill::FillWorkbook(bytes, ToSlash(workbook), data, MkString(), &filled, &out, XmlBudget()))
        return false;
    return WriteDataRaw(workbook, filled.data(), filled.size(), true) ||
           fail(&out, L"the chart's workbook " + ToSlash(workbook) + L" cannot be written");
}

bool MkOpenXMLArchive::DuplicateChartDocuments(const MkString& chartTarget, bool markObsolete) {
    const MkString chartPart = ChartPartPath(chartTarget);
    if (chartPart.IsEmpty()) return false;
    const MkString relsPath = relsPathOf(chartPart);
    MkXmlDocument rels;
    if (!ReadPart(relsPath, &rels)) return false;
    // The workbook must be there before anything is written: a copied relationships
    // part without its workbook would break the package. A workbook linked from
    // outside stays linked; the filling embeds one.
    const TiXmlElement* link = workbookRelationship(rels, "");
    const MkString sourceWorkbook = link && link->Attribute("Target")
                                        ? ResolvePartTarget(chartPart, MkString(link->Attribute("Target")))
                                        : MkString();
    if (link && (sourceWorkbook.IsEmpty() || FindFile(sourceWorkbook) < 0)) return false;
    const MkString newRelsTarget = RenameAndSaveDocument(rels, OXML_TARGET_CHART_RELS, true);
    if (newRelsTarget.IsEmpty()) return false;
    const MkString newRels = TargetToPackagePath(newRelsTarget);
    // The part the new relationships belong to: ppt\charts\_rels\chart2.xml.rels -> ppt\charts\chart2.xml.
    MkString newChart = newRels;
    newChart.Replace(MkString(L"\\_rels"), MkString());
    newChart = newChart.Left(newChart.Length() - 5);

    if (link) {
        const MkString newWorkbook = GetNextFileName(sourceWorkbook);
        if (newWorkbook.IsEmpty()) return false;
        size_t size = 0;
        unsigned char* bytes = ReadDataRaw(sourceWorkbook, &size);
        if (!bytes) return false;
        const bool copied = WriteDataRaw(newWorkbook, bytes, size, false);
        free(bytes);
        if (!copied) return false;
        // A workbook registered by name (not by extension) needs its copy registered too.
        MkXmlDocument scratch;
        if (MkXmlDocument* types = OpenPart(MkString(CONTENT_TYPES_PART), &scratch)) {
            const MkString oldName = L"/" + ToSlash(sourceWorkbook);
            for (MkXmlElement e = types->GetRootElement().GetFirstChildElement(MkString(L"Override")); e;
                 e = e.GetNextSiblingElement(MkString(L"Override"))) {
                if (e.GetAttributeString(MkString(L"PartName")).CompareNoCase(oldName) != 0) continue;
                const MkXmlElement copy = types->GetRootElement().AddChildElement(MkString(L"Override"));
                copy.AddAttributeString(MkString(L"PartName"), L"/" + ToSlash(newWorkbook));
                copy.AddAttributeString(MkString(L"ContentType"), e.GetAttributeString(MkString(L"ContentType")));
                if (!SavePart(MkString(CONTENT_TYPES_PART), types)) return false;
                break;
            }
        }
        if (!ReplaceTargetInRelsFile(newRels, MkString(link->Attribute("Target")),
                                     relativeTarget(newChart, newWorkbook)))
            return false;
    }
    if (!AddContentToContentTypesXml(L"/" + ToSlash(newChart), OXML_CT_CHART)) return false;
    if (markObsolete) {
        m_obsoleteFiles.AddGrow(chartPart);
        m_obsoleteFiles.AddGrow(relsPath);
        if (link) m_obsoleteFiles.AddGrow(sourceWorkbook);
    }
    return true;
}
