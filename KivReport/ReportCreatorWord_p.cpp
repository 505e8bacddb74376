#include "KivReport/ReportCreatorWord_p.h"
#include "impl/common/ReportPlan.h"
#include "KivReport/Repository.h"
#include "KivReport/Table.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwFile.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "LibCore/lfwText.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/HostText.h"
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

namespace {

using creator::descriptionRuns;
using creator::folderOf;
using creator::macroEnabledName;
using creator::stemOf;
using creator::titleRuns;
using creator::valueRuns;

}  // namespace

namespace wordcreator {

std::string tagStem(const std::string& prefix, int n) { return prefix + std::to_string(n) + "_"; }

std::string tagName(const std::string& stem, const char* kind) { return stem + kind; }

}  // namespace wordcreator

using wordcreator::tagName;
using wordcreator::tagStem;

ReportCreatorWordPrivate::ReportCreatorWordPrivate(Repository* repo, const Str& path) : ReportCreatorBase(repo, path) {}

// ---------------------------------------------------------------- report

bool ReportCreatorWordPrivate::makeReport(const std::string& reportFile, lfw::StagedFiles& staged) {
    if (snapshots.empty()) {
        reportError(ProblemCode::InvalidArgument, "Could not create report file. No active snapshots in repository.");
        return false;
    }
    // The template's package is read once, edited in memory and written once as the report.
    OpenXMLWordArchive archive;
    archive.reportTo(&problems);
    if (!archive.open(templatePath)) {
        reportError(ProblemCode::WrongContent, lfw::String(archive.error() + "."));
        return false;
    }
    archive.setReportPath(outputPath);
    archive.setMacroEnabled(macroEnabledName(outputPath));
    // Models come from the template's folder and the report's.
    archive.setModelSources({folderOf(templatePath)}, {});
    const XmlElement body = archive.document()->getBody();
    if (!body) {
        reportError(ProblemCode::WrongContent, "The document part word/document.xml has no body (w:body in w:document).");
        return false;
    }
    // Scan: the template's tags as read before anything changes. Groups no
    // report can repeat refuse it; what validate says of it tells generate of
    // the tags the report leaves unfilled (the template is not read again).
    WordDocumentContent tags;
    archive.getDocumentContent(tags);
    const TemplateScan scan = archive.scan(tags, false);
    if (!scan.nestedGroups.empty() || !scan.groupsOutsideBody.empty()) {
        reportError(ProblemCode::General,
                    lfw::String(scan.nestedGroups.empty() ? scan.groupsOutsideBody[0] : scan.nestedGroups[0]));
        return false;
    }
    templateWithoutTags = true;
    for (const ScannedTag& tag : scan.tags)
        if (tag.kind == TagKind::Group || tag.name.find("SIT") != std::string::npos) templateWithoutTags = false;
    {
        std::string validation;
        validateScan(archive, scan, snapshots, referenceSnapshots, validation);
        // The text as written: a path in it keeps its bytes.
        keepValidation(Str(validation));
    }
    // Plan: the snapshots the groups repeat over (all of them when none is selected).
    const ReportPlan plan = planReport(scan, snapshots, referenceSnapshots, genericSnapshotIndices, true);
    const bool referencePass = !referenceSnapshots.empty();

    // Apply: groups repeated, then tags filled.
    archive.convertFromOldPlugin();
    for (const ReportPlan::Side* side : {&plan.main, &plan.reference}) {
        const std::string prefix = side == &plan.main ? "" : "REF_";
        if (!prefix.empty() && !referencePass) break;
        archive.expandGroup(side->images, prefix + "SIT_PICTURE");
        archive.expandGroup(side->tables, prefix + "SIT_TABLE");
        archive.expandGroup(side->models, prefix + "SIT_MDLX");
        archive.expandGroup(side->tables, prefix + "SIT_CHART");
    }
    archive.expandGroup(plan.main.repeated, std::string());
    if (!archive.syncCharts())
        reportWarning(ProblemCode::General, "Charts repeated by groups could not all get a chart part of their own.");

    bool filled = false;
    {
        // The tags, and the snapshots' pictures (encoded once, handed over in memory
        // and stored by the package), are needed while the content is filled only.
        WordTagNames tags;
        archive.getTagNames(&tags);
        PictureBytes shots(problems);
        replaceMacros(archive, snapshots, tags, false);
        filled = replaceSituationData(archive, snapshots, tags, false, staged, shots);
        if (filled && referencePass) {
            filled = replaceSituationData(archive, referenceSnapshots, tags, true, staged, shots);
            replaceMacros(archive, referenceSnapshots, tags, true);
        }
    }
    // A content step that failed has logged its error; the report is not written.
    if (!filled) return false;
    if (embedMdlx && !archive.embedAllMdlxFilesInArchive())
        reportWarning(ProblemCode::ContentLeftOut, "Not every model file could be embedded in the report.");
    archive.keepFilledContentAsText();
    if (!archive.save(reportFile)) {
        reportError(ProblemCode::WriteFailed, lfw::String(archive.error() + "."));
        return false;
    }
    for (const std::string& warning : archive.warnings()) reportWarning(ProblemCode::General, lfw::String(warning + "."));
    return true;
}

void ReportCreatorWordPrivate::replaceMacros(OpenXMLWordArchive& archive, const Snapshots& snaps, const WordTagNames& tags,
                                             bool reference) const {
    for (size_t k = 0; k < snaps.size(); ++k) {
        const Snapshot* snapshot = snaps[k];
        LFW_ASSERT_MSG(snapshot, "situation");
        if (!snapshot) continue;
        const FieldValues fields = snapshot->fieldValues();
        const std::vector<std::string> keys = FieldMacros::getKeysFromFieldValues(fields);
        const std::vector<std::string> values = FieldMacros::getValuesFromFieldValues(fields);
        const std::string stem = tagStem(reference ? "REF_SIT" : "SIT", static_cast<int>(k) + 1) + "$";
        std::vector<std::string> names;
        std::vector<FormattedTextArray> texts;
        for (size_t i = 0; i < keys.size(); ++i) {
            std::string name = stem + keys[i];
            if (!tags.has(SIT_TYPE_MACRO, name)) continue;
            names.push_back(std::move(name));
            texts.push_back(valueRuns(values[i]));
        }
        if (!names.empty()) archive.setAllMacros(names, texts);
    }
}

bool ReportCreatorWordPrivate::replaceSituationData(OpenXMLWordArchive& archive, const Snapshots& snaps, const WordTagNames& tags,
                                                    bool reference, lfw::StagedFiles& staged, PictureBytes& shots) {
    const std::string prefix = reference ? "REF_SIT" : "SIT";
    const auto has = [&](SitTypeTag kind, const std::string& name) {
        // 3D viewers are filled in the body only (validation tells of the others).
        return tags.has(kind, name, kind == SIT_TYPE_MDLX);
    };
    const std::string& output = outputPath;

    for (size_t k = 0; k < snaps.size(); ++k) {
        const Snapshot* snapshot = snaps[k];
        LFW_ASSERT_MSG(snapshot, "situation");
        if (!snapshot) continue;
        const int n = static_cast<int>(k) + 1;
        const std::string stem = tagStem(prefix, n);
        const std::string title = tagName(stem, "TITLE"), text = tagName(stem, "TEXT");
        const std::string picture = tagName(stem, "PICTURE"), model = tagName(stem, "MDLX");
        const std::string table = tagName(stem, "TABLE"), chart = tagName(stem, "CHART");
        const std::string link = toUtf8(snapshot->cloudViewerUrl());

        if (has(SIT_TYPE_TITLE, title)) archive.setText(title, titleRuns(problems, snapshot));
        if (has(SIT_TYPE_TEXT, text)) archive.setText(text, descriptionRuns(problems, snapshot));
        // The snapshot's picture (a model's preview), handed to the package in memory.
        OpenXMLPicture shown;
        auto pictureBytes = [&]() -> const OpenXMLPicture* {
            const PictureBytes::Picture* bytes = shots.of(snapshot);
            if (!bytes) return nullptr;
            shown.name = bytes->name;
            shown.data = bytes->data;
            shown.size = bytes->size;
            shown.width = bytes->width;
            shown.height = bytes->height;
            return &shown;
        };
        // Puts the picture into a picture or viewer tag; a snapshot without one
        // is left out of the report, its tag left as the template has it.
        auto putImage = [&](const std::string& tag, bool inViewer) {
            const OpenXMLPicture* bytes = pictureBytes();
            if (!bytes) {
                reportWarning(ProblemCode::General,
                              lfw::String("Snapshot '%1' has no picture for %2.").arg(snapshot->name().toStdWString()).arg(tag));
                leaveOut(snapshot);
                return true;
            }
            if (!archive.setImage(tag, *bytes, inViewer, inViewer ? picture : std::string(), link)) {
                reportError(ProblemCode::General, "Error adding image file to archive.");
                return false;
            }
            return true;
        };

        switch (snapshot->type()) {
        case Snapshot::IMAGE: {
            if (has(SIT_TYPE_PICTURE, picture) && !putImage(picture, false)) return false;
            if (has(SIT_TYPE_MDLX, model) && !putImage(model, true)) return false;
            break;
        }
        case Snapshot::MDLX: {
            const ug::MdlxMemoryFile* mdlx = snapshot->modelMdlx();
            if (has(SIT_TYPE_MDLX, model)) {
                if (!use3dPlugin) {
                    if (!putImage(model, true)) return false;
                } else {
                    // The model is embedded from memory, or saved beside the report under a
                    // name made from the report's: the reference-id part records that name.
                    std::string modelPath = lfw::text::format("%s/%s_%s%d-%d.mdlx", folderOf(output).c_str(),
                                                              stemOf(output).c_str(), prefix.c_str(), n, 1);
                    const auto* bytes = mdlx ? mdlx->internal_mdlxZipMemFile() : nullptr;
                    bool saved = bytes && !bytes->IsEmpty();
                    if (saved && embedMdlx) {
                        std::string id;
                        // The name the reference-id part records is text of the part.
                        const std::string name = lfw::text::validUtf8(modelPath.substr(modelPath.rfind('/') + 1));
                        saved = archive.embedModel(bytes->GetBuffer(), bytes->GetSize(), name, &id);
                        modelPath = OpenXMLPlugin::EMBEDDED_PREFIX + id + "]";
                    } else if (saved) {
                        // The file is named by the bytes of the path, those that are not UTF-8 too.
                        const std::string modelFile = staged.stage(modelPath);
                        saved = !modelFile.empty() && bytes->Save(modelFile.c_str());
                    }
                    if (!saved) {
                        reportError(ProblemCode::General, "Error saving Mdlx file.");
                        return false;
                    }
                    if (!archive.setMdlx(model, modelPath, pictureBytes())) {
                        reportError(ProblemCode::General, "Error adding MDLX file to archive.");
                        return false;
                    }
                }
            }
            // A model without a preview shows no picture.
            if (has(SIT_TYPE_PICTURE, picture) && shots.of(snapshot) && !putImage(picture, false)) return false;
            break;
        }
        case Snapshot::TABLE: {
            const Table* data = snapshot->table();
            if (!data) break;
            if (has(SIT_TYPE_TABLE, table) && !archive.setTable(table, *data)) {
                reportError(ProblemCode::General, "Error adding table to archive.");
                return false;
            }
            if (has(SIT_TYPE_CHART, chart)) {
                ChartData chartData(*data);
                chartData.m_title = toUtf8(snapshot->title());
                std::string why;
                if (!archive.setChart(chart, chartData, &why)) {
                    if (why.empty()) reportError(ProblemCode::General, "Error adding chart file to archive.");
                    else reportError(ProblemCode::General, lfw::String("%1: %2").arg(chart).arg(why));
                    return false;
                }
            }
            break;
        }
        default: break;
        }
    }
    return true;
}

}  // namespace rep
}  // namespace kiv
