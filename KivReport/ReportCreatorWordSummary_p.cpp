// What summarize says of a Word template.
#include "KivReport/ReportCreatorWord_p.h"
#include "KivReport/Repository.h"
#include "KivReport/Table.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwFile.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
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
#include <set>
#include <unistd.h>

namespace kiv {
namespace rep {

using wordcreator::placeOf;

// ---------------------------------------------------------------- summary

bool ReportCreatorWordPrivate::summarize(const Str& path, Str* summary, Problems& problems) {
    LFW_ASSERT(summary);
    if (!summary) return false;
    std::string text;
    // The path as the file system names it (bytes that are not UTF-8 kept).
    const bool result = summarizeTemplate(path.toStdString(), text, problems);
    *summary = Str(text);
    return result;
}

bool ReportCreatorWordPrivate::summarizeTemplate(const std::string& path, std::string& summary, Problems& problems) {
    summary.clear();
    OpenXMLWordArchive archive;
    archive.reportTo(&problems);
    if (!archive.open(path) || !archive.document()->getBody()) {
        summary = "Not able to open template file";
        return false;
    }
    WordDocumentContent content;
    archive.getDocumentContent(content);
    const WordDocumentTagArray& all = content.getAllTags();
    // The kinds of each chart tag's charts, tags in document order.
    std::string charts;
    std::set<std::string> seen;
    for (const WordDocumentTag& tag : *content.getTags(SIT_TYPE_CHART)) {
        if (!seen.insert(tag.name).second) continue;
        std::string kinds, why;
        archive.checkCharts(archive.getChartParts(tag.name), nullptr, &kinds, &why);
        charts += tag.name + ": " + kinds + (kinds.empty() || why.empty() ? why : " (" + why + ")") + "\r\n";
    }

    const std::string separator = TemplateTags::SUMMARY_SEPARATOR;
    summary += "Generic groups:\r\n";
    summary += separator;
    int groups = 0;
    // Groups in document order; one inside another is part of it.
    for (const WordDocumentTag& tag : all) groups += tag.groupMarker && tag.groupIndex < 0 && tag.part.empty() ? 1 : 0;
    static const struct {
        int kind;
        const char* line;
    } kinds[] = {{3, "Title\r\n"},       {5, "Description\r\n"},  {1, "Image\r\n"},       {7, "Mdlx 3D Model\r\n"},
                 {11, "Table data\r\n"}, {15, "Table chart\r\n"}, {9, "Field values\r\n"}};
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
        if (!any) {
            summary += "Group number " + std::to_string(g) + " contains no generic tags and will not be unrolled\r\n";
            continue;
        }
        summary += "Content of generic group " + std::to_string(g) + ":\r\n";
        for (int i = 0; i < 7; ++i)
            if (present[i]) summary += kinds[i].line;
        summary += "\r\n";
    }
    if (groups == 0) summary += "No generic groups found\r\n";

    summary += "\r\nStatic snapshots\r\n";
    summary += separator;
    summary += "The following snapshots are referenced:\r\n";
    std::string fieldLines;
    for (const WordDocumentTag& tag : all) {
        if (tag.snapshotIndex == -1) continue;
        const char* what = nullptr;
        switch (static_cast<int>(tag.kind)) {
        case 1:
        case 2: what = "Image"; break;
        case 3:
        case 4: what = "Title"; break;
        case 5:
        case 6: what = "Text"; break;
        case 7:
        case 8: what = "Mdlx 3D Model"; break;
        case 11:
        case 12: what = "Table data"; break;
        case 15:
        case 16: what = "Chart data"; break;
        case 9:
        case 10: what = tag.name.c_str(); break;
        default: continue;
        }
        std::string line = "Snapshot #" + std::to_string(tag.snapshotIndex) + ": " + what;
        // Tags of headers, footers and notes say where they are.
        if (!tag.part.empty()) line += " in " + placeOf(archive, tag.part);
        line += "\r\n";
        if (tag.kind == SIT_TYPE_MACRO || tag.kind == SIT_TYPE_REF_MACRO) fieldLines += line;
        else summary += line;
    }
    if (!fieldLines.empty()) {
        summary += "\r\nStatic snapshots: Field values\r\n";
        summary += TemplateTags::SUMMARY_FIELD_SEPARATOR;
        summary += fieldLines;
    }
    if (!charts.empty()) summary += "\r\nChart kinds\r\n" + separator + charts;
    return true;
}

}  // namespace rep
}  // namespace kiv
