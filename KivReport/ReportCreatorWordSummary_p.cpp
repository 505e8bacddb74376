// What summarize says of a Word template.
#include "KivReport/ReportCreatorWord_p.h"
#include "KivReport/Repository.h"
#include "KivReport/Table.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwFile.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/UgConvert.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/TemplateTags.h"
#include "impl/openxml/ChartData.h"
#include "impl/openxml/OpenXMLPlugin.h"
#include "impl/common/ReportLog.h"
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kiv {
namespace rep {

using wordcreator::placeOf;

// ---------------------------------------------------------------- summary

bool ReportCreatorWordPrivate::summarize(const Str& path, Str* summary, Problems& problems) {
    LFW_ASSERT(summary);
    if (!summary) return false;
    MkString text;
    const bool result = summarizeTemplate(ug::Convert::toMkString(path), text, problems);
    *summary = ug::Convert::toStr(text);
    return result;
}

bool ReportCreatorWordPrivate::summarizeTemplate(const MkString& path, MkString& summary, Problems& problems) {
    summary.Empty();
    OpenXMLWordArchive archive;
    archive.ReportTo(&problems);
    if (!archive.Open(path) || !archive.Document()->GetBody()) {
        summary = MkString(L"Not able to open template file");
        return false;
    }
    WordDocumentContent content;
    archive.GetDocumentContent(content);
    const WordDocumentTagArray& all = content.GetAllTags();
    // The kinds of each chart tag's charts, tags in document order.
    MkString charts;
    MkStringArray seen;
    for (const WordDocumentTag& tag : *content.GetTags(SIT_TYPE_CHART)) {
        if (seen.Find(tag.name) >= 0) continue;
        seen.AddGrow(tag.name);
        MkString kinds, why;
        archive.CheckCharts(archive.GetChartParts(tag.name), nullptr, &kinds, &why);
        charts += tag.name + L": " + kinds + (kinds.IsEmpty() || why.IsEmpty() ? why : L" (" + why + L")") + L"\r\n";
    }

    summary += MkString(L"Generic groups:\r\n");
    summary += MkString(TemplateTags::SUMMARY_SEPARATOR);
    int groups = 0;
    // Groups in document order; one inside another is part of it.
    for (const WordDocumentTag& tag : all) groups += tag.groupMarker && tag.groupIndex < 0 && tag.part.IsEmpty() ? 1 : 0;
    static const struct {
        int kind;
        const wchar_t* line;
    } kinds[] = {{3, L"Title\r\n"},       {5, L"Description\r\n"},  {1, L"Image\r\n"},       {7, L"Mdlx 3D Model\r\n"},
                 {11, L"Table data\r\n"}, {15, L"Table chart\r\n"}, {9, L"Field values\r\n"}};
    for (int g = 0; g < groups; ++g) {
        bool present[7] = {false, false, false, false, false, false, false};
        bool any = false;
        for (const WordDocumentTag& tag : all) {
            if (tag.groupIndex != g || tag.groupMarker) continue;
            for (int i = 0; i < 7; ++i) {
                if (tag.kind == kinds[i].kind || tag.kind == kinds[i].kind + 1) {
                    present[i] = true;
                    any = true;
                }
            }
        }
        MkString line;
        if (!any) {
            line.MakeFormWide(L"Group number %d contains no generic tags and will not be unrolled\r\n", g);
            summary += line;
            continue;
        }
        line.MakeFormWide(L"Content of generic group %d:\r\n", g);
        summary += line;
        for (int i = 0; i < 7; ++i)
            if (present[i]) summary += MkString(kinds[i].line);
        summary += MkString(L"\r\n");
    }
    if (groups == 0) summary += MkString(L"No generic groups found\r\n");

    summary += MkString(L"\r\nStatic snapshots\r\n");
    summary += MkString(TemplateTags::SUMMARY_SEPARATOR);
    summary += MkString(L"The following snapshots are referenced:\r\n");
    MkString fieldLines;
    for (const WordDocumentTag& tag : all) {
        if (tag.snapshotIndex == -1) continue;
        const int n = tag.snapshotIndex;
        MkString line;
        switch (static_cast<int>(tag.kind)) {
        case 1:
        case 2: line.MakeFormWide(L"Snapshot #%d: Image", n); break;
        case 3:
        case 4: line.MakeFormWide(L"Snapshot #%d: Title", n); break;
        case 5:
        case 6: line.MakeFormWide(L"Snapshot #%d: Text", n); break;
        case 7:
        case 8: line.MakeFormWide(L"Snapshot #%d: Mdlx 3D Model", n); break;
        case 11:
        case 12: line.MakeFormWide(L"Snapshot #%d: Table data", n); break;
        case 15:
        case 16: line.MakeFormWide(L"Snapshot #%d: Chart data", n); break;
        case 9:
        case 10: line.MakeFormWide(L"Snapshot #%d: %ls", n, ~tag.name); break;
        default: continue;
        }
        // Tags of headers, footers and notes say where they are.
        if (!tag.part.IsEmpty()) line += L" in " + placeOf(archive, tag.part);
        line += L"\r\n";
        if (tag.kind == SIT_TYPE_MACRO || tag.kind == SIT_TYPE_REF_MACRO) fieldLines += line;
        else summary += line;
    }
    if (!fieldLines.IsEmpty()) {
        summary += MkString(L"\r\nStatic snapshots: Field values\r\n");
        summary += MkString(TemplateTags::SUMMARY_FIELD_SEPARATOR);
        summary += fieldLines;
    }
    if (!charts.IsEmpty()) summary += MkString(L"\r\nChart kinds\r\n") + TemplateTags::SUMMARY_SEPARATOR + charts;
    return true;
}

}  // namespace rep
}  // namespace kiv
