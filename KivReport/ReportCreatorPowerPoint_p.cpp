#include "KivReport/ReportCreatorPowerPoint_p.h"
#include "impl/common/ReportPlan.h"
#include "LibCore/lfwFile.h"
#include "KivReport/Repository.h"
#include "KivReport/Table.h"
#include "LibCore/lfwAssert.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "LibCore/lfwText.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/HostText.h"
#include "impl/common/TemplateTags.h"
#include "impl/openxml/ChartData.h"
#include "impl/common/ReportLog.h"
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kiv {
namespace rep {

namespace {

using creator::descriptionRuns;
using creator::expanded;
using creator::folderOf;
using creator::looksLikeZip;
using creator::macroEnabledName;
using creator::stemOf;
using creator::titleRuns;
using creator::valueRuns;
using pptcreator::holds;
using pptcreator::tagName;

const Snapshot* at(const lfw::Collection<const Snapshot>& snaps, int index) {
    if (index < 0 || static_cast<size_t>(index) >= snaps.size()) return nullptr;
    const Snapshot* snapshot = snaps[static_cast<size_t>(index)];
    LFW_ASSERT_MSG(snapshot, "staticSituation");
    return snapshot;
}

// A picture tag the snapshot has no picture for: the report leaves that content
// out, the shape as the template has it.
void noPicture(ReportCreatorBase& creator, const Snapshot* snapshot, const std::string& tag) {
    creator.reportWarning(ProblemCode::ContentLeftOut,
                          lfw::String("Snapshot '%1' has no picture for %2.").arg(snapshot->name().toStdWString()).arg(tag));
    creator.leaveOut(snapshot);
}

}  // namespace

namespace pptcreator {

std::string tagName(bool reference, int number, const char* kind) {
    return prefixOf(reference) + "SIT" + std::to_string(number) + "_" + kind;
}

std::string prefixOf(bool reference) { return reference ? "REF_" : ""; }

bool holds(const std::vector<std::string>& tags, const std::string& tag) {
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

bool holdsPart(const std::vector<std::string>& tags, const char* text) {
    for (const std::string& tag : tags)
        if (tag.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace pptcreator

ReportCreatorPowerPointPrivate::ReportCreatorPowerPointPrivate(Repository* repo, const Str& path)
    : ReportCreatorBase(repo, path) {}

// ---------------------------------------------------------------- temporary files

const PictureBytes::Picture* ReportCreatorPowerPointPrivate::pictureFor(Context& c, const Snapshot* snapshot,
                                                                        const std::string& tag) {
    if (!snapshot) return nullptr;
    const PictureBytes::Picture* picture = c.pictures.of(snapshot);
    if (!picture) {
        noPicture(*this, snapshot, tag);
        return nullptr;
    }
    c.presentation.provideMedia(picture->name, picture->data, picture->size);
    return picture;
}

std::string ReportCreatorPowerPointPrivate::modelFile(Context& c, const Snapshot* snapshot, int number, bool reference) {
    const std::string key = std::to_string(reinterpret_cast<uintptr_t>(snapshot)) + (reference ? "R" : "S");
    auto known = c.models.find(key);
    if (known != c.models.end()) return known->second;
    const ug::MdlxMemoryFile* mdlx = snapshot->modelMdlx();
    std::string path, file;
    if (embedMdlx) {
        path = file = c.temporary.create(".mdlx");
    } else {
        path = lfw::text::format("%s/%s_%sSIT%d-%d.mdlx", folderOf(outputPath).c_str(), stemOf(outputPath).c_str(),
                                 reference ? "REF_" : "", number, 1);
        file = c.staged.stage(path);
    }
    // The grid library's file name is made from the path's bytes, which it writes
    // back unchanged (not from its text: a name that is not UTF-8 still names the file).
    if (file.empty() || !mdlx || !mdlx->internal_mdlxZipMemFile()->Save(file.c_str())) {
        reportError(ProblemCode::General, "Error saving Mdlx file.");
        return std::string();
    }
    c.models[key] = path;
    return path;
}

// ---------------------------------------------------------------- report

bool ReportCreatorPowerPointPrivate::makeReport(const std::string& reportFile, lfw::StagedFiles& staged) {
    if (snapshots.empty()) {
        reportError(ProblemCode::InvalidArgument, "Could not create report file. No active snapshots in repository.");
        return false;
    }
    // The template is opened once. Only when that fails is it looked at again,
    // to tell a file that is no zip package from a damaged one; the problems of
    // opening wait until then.
    OpenXMLPresentation presentation;
    Problems opening;
    presentation.reportTo(&opening);
    const bool opened = presentation.open(templatePath);
    if (!opened && !looksLikeZip(templatePath.c_str())) {
        reportError(ProblemCode::WrongContent,
                    lfw::String("The template is not a PowerPoint file (no zip package): %1").arg(templatePath));
        return false;
    }
    for (const Problem& problem : opening.all()) problems.add(problem);
    presentation.reportTo(&problems);
    if (!opened) {
        if (!presentation.packageProblem().empty())
            reportError(ProblemCode::WrongContent,
                        lfw::String("The template cannot be used: %1.").arg(presentation.packageProblem()));
        else if (presentation.package().isOpen())
            reportError(ProblemCode::WrongContent,
                        "The template is not a PowerPoint presentation: it has no ppt/presentation.xml.");
        else reportError(ProblemCode::WrongContent, lfw::String("The template cannot be read: %1").arg(presentation.error()));
        return false;
    }
    presentation.setReportPath(reportFile);
    presentation.setMacroEnabled(macroEnabledName(outputPath));
    // A part the report would edit or copy and could not make valid refuses the
    // template before anything is written.
    const std::string problem = presentation.checkTemplateParts();
    if (!problem.empty()) {
        reportError(ProblemCode::WrongContent, lfw::String("The template cannot be used: %1.").arg(problem));
        return false;
    }
    presentation.convertFromOldPlugin();
    // A deck without tags is written as it is, with a warning (as the other formats do).
    templateWithoutTags = !presentation.createSlideContentList() && presentation.getSlideContentList()->getSize() == 0;
    if (!presentation.getSlideContentList()->hasMixedMdlxTags().empty()) {
        reportError(ProblemCode::TemplateMarkup, "One or more slides contains both static and generic Mdlx snapshots.");
        return false;
    }
    const TemplateScan scan = presentation.scan(false);
    templateWithReferenceTags = scan.hasReferenceTags();
    if (!scan.misplacedTags.empty()) {
        reportError(ProblemCode::General, lfw::String(scan.misplacedTags.front()));
        return false;
    }
    {
        // The template as validate would read it, before it is filled: the report
        // warns of what it leaves unfilled from this, without opening it again.
        std::string validation;
        validateTemplate(validation, &presentation, &scan);
        keepValidation(Str(validation));
    }
    TemporaryFiles temporary;
    Context c{presentation, temporary, staged, PictureBytes(problems), {}};

    // Plan: the slides filled in place, those repeated, and for which snapshots.
    const ReportPlan plan = planReport(scan, snapshots, referenceSnapshots, genericSnapshotIndices, false);
    // Static slides, from copies of their records: filling them changes the package.
    std::vector<SlideContent> statics;
    for (const int slide : plan.staticGroups) statics.push_back(*(*presentation.getSlideContentList())[slide]);
    // A failed step that reported its own cause is not reported again by the step around it.
    const size_t errorsBefore = problems.errorCount();
    for (const SlideContent& slide : statics) {
        if (!fillStaticSlide(c, slide, false)) {
            if (problems.errorCount() == errorsBefore) reportError(ProblemCode::General, "Error adding snapshots.");
            return false;
        }
        // Printed now rather than held as a tree until the report is written.
        presentation.releaseSlide(slide.slideName);
    }
    if (!addGenericSlides(c, plan)) {
        if (problems.errorCount() == errorsBefore) reportError(ProblemCode::General, "Error adding snapshots.");
        return false;
    }
    if (embedMdlx) {
        // Models come from the template's folder, the report's and this report's own files.
        std::vector<std::string> models;
        for (const auto& model : c.models) models.push_back(model.second);
        presentation.setModelSources({folderOf(templatePath)}, models);
        if (!presentation.embedAllMdlxFilesInArchive())
            reportWarning(ProblemCode::ContentLeftOut, "Not every model file could be embedded in the report.");
    }
    if (!presentation.save(reportFile)) {
        reportError(ProblemCode::WriteFailed, lfw::String("Could not write the report: %1").arg(presentation.error()));
        return false;
    }
    for (const std::string& warning : presentation.warnings()) reportWarning(ProblemCode::General, lfw::String(warning + "."));
    return true;
}

bool ReportCreatorPowerPointPrivate::fillStaticSlide(Context& c, const SlideContent& slide, bool) {
    const std::string& name = slide.slideName;
    auto indices = [&slide](int type) {
        std::vector<int> out;
        slide.getStaticSituationIndexes(type, out);
        return out;
    };
    const bool pictureMode = indices(SIT_TYPE_MDLX).empty();
    return setStaticTitle(c, name, indices(SIT_TYPE_TITLE), snapshots, false) &&
           setStaticTitle(c, name, indices(SIT_TYPE_REF_TITLE), referenceSnapshots, true) &&
           setStaticText(c, name, indices(SIT_TYPE_TEXT), snapshots, false) &&
           setStaticText(c, name, indices(SIT_TYPE_REF_TEXT), referenceSnapshots, true) &&
           setStaticPicture(c, name, indices(SIT_TYPE_PICTURE), snapshots, false) &&
           setStaticPicture(c, name, indices(SIT_TYPE_REF_PICTURE), referenceSnapshots, true) &&
           setStaticMdlx(c, name, indices(SIT_TYPE_MDLX), snapshots, pictureMode, false) &&
           setStaticMdlx(c, name, indices(SIT_TYPE_REF_MDLX), referenceSnapshots, pictureMode, true) &&
           (setStaticMacro(c, name, slide.getSitTags(SIT_TYPE_MACRO), snapshots, false),
            setStaticMacro(c, name, slide.getSitTags(SIT_TYPE_REF_MACRO), referenceSnapshots, true), true) &&
           setStaticTable(c, name, indices(SIT_TYPE_TABLE), snapshots, false) &&
           setStaticTable(c, name, indices(SIT_TYPE_REF_TABLE), referenceSnapshots, true) &&
           setStaticChart(c, name, indices(SIT_TYPE_CHART), snapshots, false) &&
           setStaticChart(c, name, indices(SIT_TYPE_REF_CHART), referenceSnapshots, true);
}

// Each static setter skips an index the repository does not reach (its tag stays
// as the template has it) and goes on with the next.

bool ReportCreatorPowerPointPrivate::setStaticTitle(Context& c, const std::string& slide, const std::vector<int>& indices,
                                                    const Snapshots& snaps, bool reference) {
    for (const int index : indices) {
        const Snapshot* snapshot = at(snaps, index);
        if (!snapshot) continue;
        if (!c.presentation.setText(tagName(reference, index + 1, "TITLE"), titleRuns(problems, snapshot), "", slide)) {
            reportError(ProblemCode::General, "Error setting new title.");
            return false;
        }
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::setStaticText(Context& c, const std::string& slide, const std::vector<int>& indices,
                                                   const Snapshots& snaps, bool reference) {
    for (const int index : indices) {
        const Snapshot* snapshot = at(snaps, index);
        if (!snapshot) continue;
        if (!c.presentation.setText(tagName(reference, index + 1, "TEXT"), descriptionRuns(problems, snapshot), "", slide)) {
            reportError(ProblemCode::General, "Error setting new description text.");
            return false;
        }
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::setStaticPicture(Context& c, const std::string& slide, const std::vector<int>& indices,
                                                      const Snapshots& snaps, bool reference) {
    for (const int index : indices) {
        const Snapshot* snapshot = at(snaps, index);
        if (!snapshot || snapshot->type() == Snapshot::TABLE) continue;
        const std::string tag = tagName(reference, index + 1, "PICTURE");
        const PictureBytes::Picture* picture = pictureFor(c, snapshot, tag);
        if (!picture) continue;  // left out, named by pictureFor
        if (!c.presentation.setImage(expanded(problems, snapshot, snapshot->title()), tag, picture->name, picture->width,
                                     picture->height, "", slide, toUtf8(snapshot->cloudViewerUrl()))) {
            reportError(ProblemCode::General, "Error adding image file to archive.");
            return false;
        }
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::setStaticMdlx(Context& c, const std::string& slide, const std::vector<int>& indices,
                                                   const Snapshots& snaps, bool pictureMode, bool reference) {
    for (const int index : indices) {
        const Snapshot* snapshot = at(snaps, index);
        if (!snapshot || (snapshot->type() != Snapshot::IMAGE && snapshot->type() != Snapshot::MDLX)) continue;
        const int number = index + 1;
        const std::string link = toUtf8(snapshot->cloudViewerUrl());
        if (pictureMode) {
            const std::string tag = tagName(reference, number, "PICTURE");
            const PictureBytes::Picture* picture = pictureFor(c, snapshot, tag);
            if (picture)
                c.presentation.setImage(expanded(problems, snapshot, snapshot->title()), tag, picture->name, picture->width,
                                        picture->height, "", slide, link);
            continue;
        }
        const std::string tag = tagName(reference, number, "MDLX");
        if (snapshot->type() == Snapshot::MDLX && use3dPlugin) {
            const std::string model = modelFile(c, snapshot, number, reference);
            if (model.empty()) return false;
            if (!c.presentation.setMdlx(tag, model, "", "", slide)) {
                reportError(ProblemCode::General, "Error adding MDLX file to archive.");
                return false;
            }
            continue;
        }
        const PictureBytes::Picture* picture = pictureFor(c, snapshot, tag);
        if (!picture) continue;  // left out, named by pictureFor
        if (!c.presentation.convertMdlxInSlide(tag, picture->name, picture->name,
                                               picture->height ? static_cast<float>(picture->width) / picture->height : 1.0f, "",
                                               slide, link)) {
            reportError(ProblemCode::General, "Error converting MDLX file.");
            return false;
        }
    }
    return true;
}

void ReportCreatorPowerPointPrivate::setStaticMacro(Context& c, const std::string& slide, const std::vector<std::string>& macros,
                                                    const Snapshots& snaps, bool reference) {
    if (macros.empty()) return;
    for (size_t k = 0; k < snaps.size(); ++k) {
        const Snapshot* snapshot = snaps[k];
        if (!snapshot) continue;
        const FieldValues fields = snapshot->fieldValues();
        const std::vector<std::string> keys = FieldMacros::getKeysFromFieldValues(fields);
        const std::vector<std::string> values = FieldMacros::getValuesFromFieldValues(fields);
        for (size_t i = 0; i < keys.size(); ++i) {
            const std::string tag = tagName(reference, static_cast<int>(k) + 1, "$") + keys[i];
            if (holds(macros, tag)) {
                const bool ok = c.presentation.setText(tag, valueRuns(values[i]), "", slide);
                LFW_ASSERT_MSG(ok, "ok");
            }
        }
    }
}

bool ReportCreatorPowerPointPrivate::setStaticTable(Context& c, const std::string& slide, const std::vector<int>& indices,
                                                    const Snapshots& snaps, bool reference) {
    for (const int index : indices) {
        const Snapshot* snapshot = at(snaps, index);
        if (!snapshot || snapshot->type() != Snapshot::TABLE || !snapshot->table()) continue;
        if (!c.presentation.setTable(tagName(reference, index + 1, "TABLE"), *snapshot->table(), "", slide)) {
            reportError(ProblemCode::General, "Error setting table.");
            return false;
        }
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::setStaticChart(Context& c, const std::string& slide, const std::vector<int>& indices,
                                                    const Snapshots& snaps, bool reference) {
    for (const int index : indices) {
        const Snapshot* snapshot = at(snaps, index);
        if (!snapshot || snapshot->type() != Snapshot::TABLE || !snapshot->table()) continue;
        ChartData chart(*snapshot->table());
        chart.m_title = toUtf8(snapshot->title());
        const std::string tag = tagName(reference, index + 1, "CHART");
        std::string why;
        if (!c.presentation.setChart(tag, chart, "", slide, &why)) {
            if (why.empty()) reportError(ProblemCode::General, "Error creating chart.");
            else reportError(ProblemCode::General, lfw::String("%1: %2").arg(tag).arg(why));
            return false;
        }
    }
    return true;
}

}  // namespace rep
}  // namespace kiv
