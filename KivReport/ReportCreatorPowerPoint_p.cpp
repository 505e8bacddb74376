#include "KivReport/ReportCreatorPowerPoint_p.h"
#include "LibCore/lfwFile.h"
#include "KivReport/Repository.h"
#include "KivReport/Table.h"
#include "LibCore/lfwAssert.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/UgConvert.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/TemplateTags.h"
#include "impl/openxml/MkChartData.h"
#include "impl/storage/ReportLog.h"
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
using creator::fromStr;
using creator::looksLikeZip;
using creator::macroEnabledName;
using creator::stemOf;
using creator::titleRuns;
using creator::valueRuns;

// Counted in the report's errorsLogged: a failed step that logged its own cause
// is not reported a second time by the step around it.
#define PPT_LOG_ERROR(message)  \
    do {                        \
        ++errorsLogged;         \
        REP_LOG_ERROR(message); \
    } while (0)

// "SIT3_TITLE", "REF_SIT3_TITLE".
MkString tagName(bool reference, int number, const wchar_t* kind) {
    MkString name;
    name.MakeFormWide(L"%lsSIT%i_%ls", reference ? L"REF_" : L"", number, kind);
    return name;
}

MkString prefixOf(bool reference) { return reference ? MkString(L"REF_") : MkString(); }

bool holds(const MkStringArray& tags, const MkString& tag) { return tags.Find(tag) >= 0; }

bool holdsPart(const MkStringArray& tags, const wchar_t* text) {
    for (int i = 0; i < tags.GetSize(); ++i)
        if (tags[i].Contains(text)) return true;
    return false;
}

const Snapshot* at(const lfw::Collection<const Snapshot>& snaps, int index) {
    if (index < 0 || static_cast<size_t>(index) >= snaps.size()) return nullptr;
    const Snapshot* snapshot = snaps[static_cast<size_t>(index)];
    LFW_ASSERT_MSG(snapshot, "staticSituation");
    return snapshot;
}

// Names of the tag grammar (SIT3_CHART, REF_SIT_PICTURE) on shapes that cannot hold
// their kind (a picture tag on a text box, a chart tag on a table): one message per
// shape. Such a tag would be left as it is; generate refuses the template, validate
// lists them.
std::vector<lfw::String> misplacedTags(const MkSlideContentPtrArray& slides) {
    static const struct {
        const wchar_t* word;
        const char* shape;
    } kinds[] = {{L"PICTURE", "a picture"},  {L"TABLE", "a table"},     {L"CHART", "a chart"},
                 {L"TITLE", "a text shape"}, {L"TEXT", "a text shape"}, {L"MDLX", "a 3D viewer control"}};
    std::vector<lfw::String> messages;
    for (int s = 0; s < slides.GetSize(); ++s) {
        const MkSlideContent& slide = *slides[s];
        const MkStringArray& others = slide.Others();
        for (int i = 0; i < others.GetSize(); ++i) {
            const MkString& name = others[i];
            const MkTagNameParts parts(name);
            if ((!parts.IsSit() && !parts.IsRef()) || name.Contains(L"$")) continue;
            bool placed = false;
            for (int k = 0; k < MkSlideContent::KIND_COUNT && !placed; ++k) {
                const MkSlideContent::Kind kind = static_cast<MkSlideContent::Kind>(k);
                placed = holds(slide.Sit(kind), name) || holds(slide.Ref(kind), name);
            }
            for (const auto& kind : kinds)
                if (!placed && parts.suffix == MkString(kind.word))
                    messages.push_back(lfw::String("The shape %1 on %2 is not %3: rename the shape or change its tag.")
                                           .arg(name.Std())
                                           .arg(slide.slideName.Std())
                                           .arg(kind.shape));
        }
    }
    return messages;
}

// A picture tag the snapshot has no picture for: the report leaves that content
// out, the shape as the template has it.
void noPicture(ReportCreatorBase& creator, const Snapshot* snapshot, const MkString& tag) {
    REP_LOG_WARNING(lfw::String("Snapshot '%1' has no picture for %2.").arg(snapshot->name().toStdWString()).arg(tag.Std()));
    creator.leaveOut(snapshot);
}

}  // namespace

ReportCreatorPowerPointPrivate::ReportCreatorPowerPointPrivate(Repository* repo, const Str& path)
    : ReportCreatorBase(repo, path) {}

// ---------------------------------------------------------------- temporary files

const PictureBytes::Picture* ReportCreatorPowerPointPrivate::pictureFor(Context& c, const Snapshot* snapshot,
                                                                        const MkString& tag) {
    if (!snapshot) return nullptr;
    const PictureBytes::Picture* picture = c.pictures.Of(snapshot);
    if (!picture) {
        noPicture(*this, snapshot, tag);
        return nullptr;
    }
    c.presentation.ProvideMedia(picture->name, picture->data, picture->size);
    return picture;
}

MkString ReportCreatorPowerPointPrivate::modelFile(Context& c, const Snapshot* snapshot, int number, bool reference) {
    const std::string key = std::to_string(reinterpret_cast<uintptr_t>(snapshot)) + (reference ? "R" : "S");
    auto known = c.models.find(key);
    if (known != c.models.end()) return known->second;
    const ug::MdlxMemoryFile* mdlx = snapshot->modelMdlx();
    MkString path;
    std::string file;
    if (embedMdlx) {
        path = c.temporary.Create(".mdlx");
        file = path.ShortChar();
    } else {
        const std::string output = outputPath.ShortChar();
        path.MakeForm("%s/%s_%sSIT%d-%d.mdlx", folderOf(output).c_str(), stemOf(output).c_str(), reference ? "REF_" : "", number,
                      1);
        file = c.staged.stage(path.ShortChar());
    }
    if (file.empty() || !mdlx || !mdlx->internal_mdlxZipMemFile()->Save(MkString(file.c_str()))) {
        PPT_LOG_ERROR("Error saving Mdlx file.");
        return MkString();
    }
    c.models[key] = path;
    return path;
}

// ---------------------------------------------------------------- report

bool ReportCreatorPowerPointPrivate::makeReport(const std::string& reportFile, lfw::StagedFiles& staged) {
    if (snapshots.empty()) {
        PPT_LOG_ERROR("Could not create report file. No active snapshots in repository.");
        return false;
    }
    if (!looksLikeZip(templatePath.ShortChar())) {
        PPT_LOG_ERROR(lfw::String("The template is not a PowerPoint file (no zip package): %1").arg(templatePath.Std()));
        return false;
    }
    const MkString report(reportFile.c_str());
    MkOpenXMLPresentation presentation;
    if (!presentation.Open(templatePath)) {
        if (!presentation.PackageProblem().IsEmpty())
            PPT_LOG_ERROR(lfw::String("The template cannot be used: %1.").arg(presentation.PackageProblem().Std()));
        else if (presentation.Package().IsOpen())
            PPT_LOG_ERROR("The template is not a PowerPoint presentation: it has no ppt/presentation.xml.");
        else PPT_LOG_ERROR(lfw::String("The template cannot be read: %1").arg(presentation.Error().Std()));
        return false;
    }
    presentation.SetReportPath(report);
    presentation.SetMacroEnabled(macroEnabledName(outputPath));
    // A part the report would edit or copy and could not make valid refuses the
    // template before anything is written.
    const MkString problem = presentation.CheckTemplateParts();
    if (!problem.IsEmpty()) {
        PPT_LOG_ERROR(lfw::String("The template cannot be used: %1.").arg(problem.Std()));
        return false;
    }
    presentation.ConvertFromOldPlugin();
    // A deck without tags is written as it is, with a warning (as the other formats do).
    templateWithoutTags = !presentation.CreateSlideContentList() && presentation.GetSlideContentList()->GetSize() == 0;
    if (!presentation.GetSlideContentList()->HasMixedMdlxTags().IsEmpty()) {
        PPT_LOG_ERROR("One or more slides contains both static and generic Mdlx snapshots.");
        return false;
    }
    for (int kind : {SIT_TYPE_REF_PICTURE, SIT_TYPE_REF_TITLE, SIT_TYPE_REF_TEXT, SIT_TYPE_REF_MDLX, SIT_TYPE_REF_MACRO,
                     SIT_TYPE_REF_TABLE, SIT_TYPE_REF_CHART}) {
        MkStringArray tags;
        if (presentation.GetSlideContentList()->GetTags(kind, tags) > 0) templateWithReferenceTags = true;
    }
    const std::vector<lfw::String> misplaced = misplacedTags(*presentation.GetSlideContentList());
    if (!misplaced.empty()) {
        PPT_LOG_ERROR(misplaced.front());
        return false;
    }
    {
        // The template as validate would read it, before it is filled: the report
        // warns of what it leaves unfilled from this, without opening it again.
        MkString validation;
        validateTemplate(validation, false, &presentation);
        if (referenceRepository) validateTemplate(validation, true, &presentation);
        keepValidation(Str(validation.Std()));
    }
    TemporaryFiles temporary;
    Context c{presentation, temporary, staged, {}, {}};

    // Static slides, from copies of their records: filling them changes the package.
    std::vector<MkSlideContent> statics;
    {
        std::unique_ptr<MkSlideContentPtrArray> view(presentation.GetSlideContentList()->GetStaticSlides());
        for (int i = 0; i < view->GetSize(); ++i) statics.push_back(*(*view)[i]);
    }
    const unsigned logged = errorsLogged;
    for (const MkSlideContent& slide : statics) {
        if (!fillStaticSlide(c, slide, false)) {
            if (errorsLogged == logged) PPT_LOG_ERROR("Error adding snapshots.");
            return false;
        }
        // Printed now rather than held as a tree until the report is written.
        presentation.ReleaseSlide(slide.slideName);
    }
    if (!addGenericSlides(c)) {
        if (errorsLogged == logged) PPT_LOG_ERROR("Error adding snapshots.");
        return false;
    }
    if (embedMdlx) {
        // Models come from the template's folder, the report's and this report's own files.
        std::vector<std::string> models;
        for (const auto& model : c.models) models.push_back(model.second.ShortChar());
        presentation.SetModelSources({folderOf(templatePath.ShortChar())}, models);
        if (!presentation.EmbedAllMdlxFilesInArchive()) REP_LOG_WARNING("Not every model file could be embedded in the report.");
    }
    if (!presentation.Save(report)) {
        PPT_LOG_ERROR(lfw::String("Could not write the report: %1").arg(presentation.Error().Std()));
        return false;
    }
    for (const MkString& warning : presentation.Warnings()) REP_LOG_WARNING(lfw::String(warning + L"."));
    return true;
}

bool ReportCreatorPowerPointPrivate::fillStaticSlide(Context& c, const MkSlideContent& slide, bool) {
    const MkString& name = slide.slideName;
    MkIntArray sit, ref;
    auto indices = [&slide](int type) {
        MkIntArray out;
        slide.GetStaticSituationIndexes(type, out);
        return out;
    };
    const bool pictureMode = indices(SIT_TYPE_MDLX).IsEmpty();
    return setStaticTitle(c, name, indices(SIT_TYPE_TITLE), snapshots, false) &&
           setStaticTitle(c, name, indices(SIT_TYPE_REF_TITLE), referenceSnapshots, true) &&
           setStaticText(c, name, indices(SIT_TYPE_TEXT), snapshots, false) &&
           setStaticText(c, name, indices(SIT_TYPE_REF_TEXT), referenceSnapshots, true) &&
           setStaticPicture(c, name, indices(SIT_TYPE_PICTURE), snapshots, false) &&
           setStaticPicture(c, name, indices(SIT_TYPE_REF_PICTURE), referenceSnapshots, true) &&
           setStaticMdlx(c, name, indices(SIT_TYPE_MDLX), snapshots, pictureMode, false) &&
           setStaticMdlx(c, name, indices(SIT_TYPE_REF_MDLX), referenceSnapshots, pictureMode, true) &&
           (setStaticMacro(c, name, slide.GetSitTags(SIT_TYPE_MACRO), snapshots, false),
            setStaticMacro(c, name, slide.GetSitTags(SIT_TYPE_REF_MACRO), referenceSnapshots, true), true) &&
           setStaticTable(c, name, indices(SIT_TYPE_TABLE), snapshots, false) &&
           setStaticTable(c, name, indices(SIT_TYPE_REF_TABLE), referenceSnapshots, true) &&
           setStaticChart(c, name, indices(SIT_TYPE_CHART), snapshots, false) &&
           setStaticChart(c, name, indices(SIT_TYPE_REF_CHART), referenceSnapshots, true);
}

// Each static setter skips an index the repository does not reach (its tag stays
// as the template has it) and goes on with the next.

bool ReportCreatorPowerPointPrivate::setStaticTitle(Context& c, const MkString& slide, const MkIntArray& indices,
                                                    const Snapshots& snaps, bool reference) {
    for (int i = 0; i < indices.GetSize(); ++i) {
        const Snapshot* snapshot = at(snaps, indices[i]);
        if (!snapshot) continue;
        if (!c.presentation.SetText(tagName(reference, indices[i] + 1, L"TITLE"), titleRuns(snapshot), MkString(), slide)) {
            PPT_LOG_ERROR("Error setting new title.");
            return false;
        }
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::setStaticText(Context& c, const MkString& slide, const MkIntArray& indices,
                                                   const Snapshots& snaps, bool reference) {
    for (int i = 0; i < indices.GetSize(); ++i) {
        const Snapshot* snapshot = at(snaps, indices[i]);
        if (!snapshot) continue;
        if (!c.presentation.SetText(tagName(reference, indices[i] + 1, L"TEXT"), descriptionRuns(snapshot), MkString(), slide)) {
            PPT_LOG_ERROR("Error setting new description text.");
            return false;
        }
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::setStaticPicture(Context& c, const MkString& slide, const MkIntArray& indices,
                                                      const Snapshots& snaps, bool reference) {
    for (int i = 0; i < indices.GetSize(); ++i) {
        const Snapshot* snapshot = at(snaps, indices[i]);
        if (!snapshot || snapshot->type() == Snapshot::TABLE) continue;
        const MkString tag = tagName(reference, indices[i] + 1, L"PICTURE");
        const PictureBytes::Picture* picture = pictureFor(c, snapshot, tag);
        if (!picture) continue;  // left out, named by pictureFor
        if (!c.presentation.SetImage(expanded(snapshot, snapshot->title()), tag, picture->name, picture->width, picture->height,
                                     MkString(), slide, fromStr(snapshot->cloudViewerUrl()))) {
            PPT_LOG_ERROR("Error adding image file to archive.");
            return false;
        }
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::setStaticMdlx(Context& c, const MkString& slide, const MkIntArray& indices,
                                                   const Snapshots& snaps, bool pictureMode, bool reference) {
    for (int i = 0; i < indices.GetSize(); ++i) {
        const Snapshot* snapshot = at(snaps, indices[i]);
        if (!snapshot || (snapshot->type() != Snapshot::IMAGE && snapshot->type() != Snapshot::MDLX)) continue;
        const int number = indices[i] + 1;
        const MkString link = fromStr(snapshot->cloudViewerUrl());
        if (pictureMode) {
            const MkString tag = tagName(reference, number, L"PICTURE");
            const PictureBytes::Picture* picture = pictureFor(c, snapshot, tag);
            if (picture)
                c.presentation.SetImage(expanded(snapshot, snapshot->title()), tag, picture->name, picture->width,
                                        picture->height, MkString(), slide, link);
            continue;
        }
        const MkString tag = tagName(reference, number, L"MDLX");
        if (snapshot->type() == Snapshot::MDLX && use3dPlugin) {
            const MkString model = modelFile(c, snapshot, number, reference);
            if (model.IsEmpty()) return false;
            if (!c.presentation.SetMDLX(tag, model, MkString(), MkString(), slide)) {
                PPT_LOG_ERROR("Error adding MDLX file to archive.");
                return false;
            }
            continue;
        }
        const PictureBytes::Picture* picture = pictureFor(c, snapshot, tag);
        if (!picture) continue;  // left out, named by pictureFor
        if (!c.presentation.ConvertMdlxInSlide(tag, picture->name, picture->name,
                                               picture->height ? static_cast<float>(picture->width) / picture->height : 1.0f,
                                               MkString(), slide, link)) {
            PPT_LOG_ERROR("Error converting MDLX file.");
            return false;
        }
    }
    return true;
}

void ReportCreatorPowerPointPrivate::setStaticMacro(Context& c, const MkString& slide, const MkStringArray& macros,
                                                    const Snapshots& snaps, bool reference) {
    if (macros.IsEmpty()) return;
    for (size_t k = 0; k < snaps.size(); ++k) {
        const Snapshot* snapshot = snaps[k];
        if (!snapshot) continue;
        const FieldValues fields = snapshot->fieldValues();
        const MkStringArray keys = FieldMacros::getKeysFromFieldValues(fields);
        const MkStringArray values = FieldMacros::getValuesFromFieldValues(fields);
        for (int i = 0; i < keys.GetSize(); ++i) {
            MkString tag;
            tag.MakeFormWide(L"%lsSIT%i_$%ls", reference ? L"REF_" : L"", static_cast<int>(k) + 1, ~keys[i]);
            if (holds(macros, tag)) {
                const bool ok = c.presentation.SetText(tag, valueRuns(values[i]), MkString(), slide);
                LFW_ASSERT_MSG(ok, "ok");
            }
        }
    }
}

bool ReportCreatorPowerPointPrivate::setStaticTable(Context& c, const MkString& slide, const MkIntArray& indices,
                                                    const Snapshots& snaps, bool reference) {
    for (int i = 0; i < indices.GetSize(); ++i) {
        const Snapshot* snapshot = at(snaps, indices[i]);
        if (!snapshot || snapshot->type() != Snapshot::TABLE || !snapshot->table()) continue;
        if (!c.presentation.SetTable(tagName(reference, indices[i] + 1, L"TABLE"), *snapshot->table(), MkString(), slide)) {
            PPT_LOG_ERROR("Error setting table.");
            return false;
        }
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::setStaticChart(Context& c, const MkString& slide, const MkIntArray& indices,
                                                    const Snapshots& snaps, bool reference) {
    for (int i = 0; i < indices.GetSize(); ++i) {
        const Snapshot* snapshot = at(snaps, indices[i]);
        if (!snapshot || snapshot->type() != Snapshot::TABLE || !snapshot->table()) continue;
        MkChartData chart(*snapshot->table());
        chart.m_title = fromStr(snapshot->title());
        const MkString tag = tagName(reference, indices[i] + 1, L"CHART");
        MkString why;
        if (!c.presentation.SetChart(tag, chart, MkString(), slide, &why)) {
            if (why.IsEmpty()) PPT_LOG_ERROR("Error creating chart.");
            else PPT_LOG_ERROR(lfw::String("%1: %2").arg(tag.Std()).arg(why.Std()));
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- generic slides

bool ReportCreatorPowerPointPrivate::addGenericSlides(Context& c) {
    MkSlideContentPtrArray* list = c.presentation.GetSlideContentList();
    LFW_ASSERT_MSG(list, "slideContents");
    if (!list) return false;
    // Copies of the generic records, taken before the first duplication rebuilds the
    // list; walked from the last to the first like the list itself.
    std::vector<MkSlideContent> generic;
    for (int i = 0; i < list->GetSize(); ++i)
        if ((*list)[i]->IsGeneric(true) || (*list)[i]->IsGeneric(false)) generic.push_back(*(*list)[i]);
    for (auto it = generic.rbegin(); it != generic.rend(); ++it) {
        if (!duplicateGenericSlide(c, *it) || !c.presentation.RemoveSlide(it->slideRelId)) return false;
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::duplicateGenericSlide(Context& c, const MkSlideContent& slide) {
    if (snapshots.empty()) return true;
    const MkStringArray sit = slide.GetSitTags(), ref = slide.GetRefTags();
    const MkString name = slide.slideName;
    if (sit.IsEmpty() && ref.IsEmpty()) return true;
    const bool isStatic = slide.ContainsStaticTags();
    const bool textual = slide.HasGenericTextualTags();
    bool pictures = !slide.Sit(MkSlideContent::KIND_PICTURE).IsEmpty() || !slide.Ref(MkSlideContent::KIND_PICTURE).IsEmpty();
    bool models = !slide.Sit(MkSlideContent::KIND_MDLX).IsEmpty() || !slide.Ref(MkSlideContent::KIND_MDLX).IsEmpty();
    bool tables = !slide.Sit(MkSlideContent::KIND_TABLE).IsEmpty() || !slide.Ref(MkSlideContent::KIND_TABLE).IsEmpty() ||
                  !slide.Sit(MkSlideContent::KIND_CHART).IsEmpty() || !slide.Ref(MkSlideContent::KIND_CHART).IsEmpty();
    if (textual && !pictures && !models && !tables) pictures = models = tables = true;
    const bool fallbackAllowed = isStatic || textual;

    for (size_t k = 0; k < snapshots.size(); ++k) {
        if (genericSnapshotIndices.Find(static_cast<int>(k)) < 0) continue;
        const Snapshot* snap = snapshots[k];
        LFW_ASSERT_MSG(snap, "situation");
        if (!snap) continue;
        const Snapshot* refSnap = k < referenceSnapshots.size() ? referenceSnapshots[k] : nullptr;
        const int number = static_cast<int>(k) + 1;
        MkString mainFile, refFile;
        bool duplicate = false, updateMain = false, updateRef = false;

        auto asImage = [&]() {
            const bool m = holdsPart(sit, L"SIT_MDLX") || holdsPart(sit, L"SIT_PICTURE");
            const bool rm = holdsPart(ref, L"REF_SIT_MDLX") || holdsPart(ref, L"REF_SIT_PICTURE");
            if (!m && !rm) return 0;  // fall back
            // A picture the slide shows and the snapshot lacks is left out: the slide
            // then falls back as for a snapshot of another kind.
            const PictureBytes::Picture* picture = m ? pictureFor(c, snap, MkString(L"SIT_PICTURE")) : nullptr;
            if (m && !picture) return 0;
            if (m) mainFile = picture->name;
            if (rm) {
                if (refSnap && refSnap->type() != Snapshot::TABLE) {
                    const PictureBytes::Picture* ref = pictureFor(c, refSnap, MkString(L"REF_SIT_PICTURE"));
                    if (ref) refFile = ref->name;
                }
                updateRef = true;
            }
            duplicate = updateMain = true;
            return 1;
        };
        int decided = 0;  // 1: decided, 0: fall back, -1: failed, 2: skip
        switch (snap->type()) {
        case Snapshot::IMAGE: decided = pictures ? asImage() : 2; break;
        case Snapshot::MDLX:
            if (!models) {
                decided = 2;
            } else if ((holdsPart(sit, L"SIT_PICTURE") && !holdsPart(sit, L"SIT_MDLX")) || !use3dPlugin) {
                decided = asImage();
            } else if (!holdsPart(sit, L"SIT_MDLX")) {
                decided = 0;
            } else {
                mainFile = modelFile(c, snap, number, false);
                if (mainFile.IsEmpty()) return false;
                updateRef = holdsPart(ref, L"REF_SIT_MDLX");
                if (updateRef && refSnap && refSnap->type() == Snapshot::MDLX) {
                    refFile = modelFile(c, refSnap, number, true);
                    if (refFile.IsEmpty()) return false;
                }
                duplicate = updateMain = true;
                decided = 1;
            }
            break;
        case Snapshot::TABLE:
            if (!tables) {
                decided = 2;
            } else if (!holdsPart(sit, L"SIT_TABLE") && !holdsPart(sit, L"SIT_CHART")) {
                decided = 0;
            } else {
                duplicate = updateMain = true;
                updateRef = holdsPart(ref, L"REF_SIT_TABLE") || holdsPart(ref, L"REF_SIT_CHART");
                decided = 1;
            }
            break;
        default: decided = 0; break;
        }
        if (decided < 0) return false;
        if (decided == 2) continue;
        if (decided == 0) {
            if (!fallbackAllowed) continue;
            duplicate = true;
            updateMain = textual;
            updateRef = false;
        }
        if (!duplicate) continue;

        MkString copy;
        if (!c.presentation.DuplicateSlide(name, copy)) return false;
        // The copy's tags are filled in memory, then the slide is printed once.
        if (updateMain) {
            if (!updateSlideFromSituation(c, copy, number, sit, snap, mainFile, false)) return false;
            if (updateRef) {
                const bool ok = refSnap ? updateSlideFromSituation(c, copy, number, ref, refSnap, refFile, true)
                                        : renameGenericTags(c, copy, ref, number, true);
                if (!ok) return false;
            }
        } else {
            if (!renameGenericTags(c, copy, sit, number, false)) return false;
            if (static_cast<size_t>(number) < snapshots.size() && !renameGenericTags(c, copy, ref, number, true)) return false;
        }
        c.presentation.ReleaseSlide(copy);
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::renameGenericTags(Context& c, const MkString& slide, const MkStringArray& tags, int number,
                                                       bool reference) {
    const MkString p = prefixOf(reference);
    MkString n;
    n.MakeFormWide(L"%lsSIT%i_", ~p, number);
    MkOpenXMLPresentation& pr = c.presentation;
    if (holds(tags, p + L"SIT_MDLX") && !pr.SetMDLX(p + L"SIT_MDLX", MkString(), MkString(), n + L"MDLX", slide)) return false;
    if (holds(tags, p + L"SIT_TABLE") && !pr.SetGraphicFrameTag(p + L"SIT_TABLE", n + L"TABLE", slide)) return false;
    if (holds(tags, p + L"SIT_CHART") && !pr.SetGraphicFrameTag(p + L"SIT_CHART", n + L"CHART", slide)) return false;
    if (holds(tags, p + L"SIT_PICTURE") && !pr.RenamePicture(p + L"SIT_PICTURE", slide, n + L"PICTURE")) return false;
    if (holds(tags, p + L"SIT_TITLE") && !pr.SetTextTag(p + L"SIT_TITLE", n + L"TITLE", slide)) return false;
    if (holds(tags, p + L"SIT_TEXT") && !pr.SetTextTag(p + L"SIT_TEXT", n + L"TEXT", slide)) return false;
    MkString numbered;
    numbered.MakeFormWide(L"SIT%i_$", number);
    for (int i = 0; i < tags.GetSize(); ++i) {
        if (!tags[i].Contains(L"SIT_$")) continue;
        MkString renamed = tags[i];
        renamed.Replace(L"SIT_$", numbered);
        if (!pr.SetTextTag(tags[i], renamed, slide)) return false;
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::updateSlideFromSituation(Context& c, const MkString& slide, int number,
                                                              const MkStringArray& tags, const Snapshot* snapshot,
                                                              const MkString& file, bool reference) {
    if (!snapshot) return false;
    MkOpenXMLPresentation& pr = c.presentation;
    const MkString p = prefixOf(reference);
    const MkString imageFile = file.Contains(L".jpg") || file.Contains(L".png") ? file : MkString();
    const MkString model = file.Contains(L".mdlx") ? file : MkString();
    const bool media = holdsPart(tags, L"SIT_MDLX") || holdsPart(tags, L"SIT_PICTURE");
    const MkString link = fromStr(snapshot->cloudViewerUrl());
    auto numbered = [&](const wchar_t* kind) { return tagName(reference, number, kind); };

    const PictureBytes::Picture* picture =
        media && (!imageFile.IsEmpty() || !use3dPlugin) ? pictureFor(c, snapshot, p + L"SIT_PICTURE") : nullptr;
    if (picture) {
        const int w = picture->width, h = picture->height;
        bool shown = false;
        if (holds(tags, p + L"SIT_PICTURE"))
            shown = pr.SetImage(expanded(snapshot, snapshot->title()), p + L"SIT_PICTURE", picture->name, w, h,
                                numbered(L"PICTURE"), slide, link) ||
                    shown;
        if (holds(tags, p + L"SIT_MDLX"))
            shown = pr.ConvertMdlxInSlide(p + L"SIT_MDLX", MkString(), picture->name, h ? static_cast<float>(w) / h : 1.0f,
                                          numbered(L"PICTURE"), slide, link) ||
                    shown;
        if (!shown) {
            PPT_LOG_ERROR("Error adding image file to archive.");
            return false;
        }
    } else if (media && !model.IsEmpty() && holds(tags, p + L"SIT_MDLX")) {
        if (!pr.SetMDLX(p + L"SIT_MDLX", model, MkString(), numbered(L"MDLX"), slide)) {
            PPT_LOG_ERROR("Error adding MDLX file to archive.");
            return false;
        }
    }
    if (snapshot->type() == Snapshot::TABLE && snapshot->table()) {
        bool shown = false, wanted = false;
        if (holds(tags, p + L"SIT_TABLE")) {
            wanted = true;
            shown = pr.SetTable(p + L"SIT_TABLE", *snapshot->table(), numbered(L"TABLE"), slide) || shown;
        }
        if (holds(tags, p + L"SIT_CHART")) {
            wanted = true;
            MkChartData chart(*snapshot->table());
            chart.m_title = fromStr(snapshot->title());
            MkString why;
            const bool set = pr.SetChart(p + L"SIT_CHART", chart, numbered(L"CHART"), slide, &why);
            if (!set && !why.IsEmpty()) {
                PPT_LOG_ERROR(lfw::String("%1: %2").arg(numbered(L"CHART").Std()).arg(why.Std()));
                return false;
            }
            shown = set || shown;
        }
        if (wanted && !shown) {
            PPT_LOG_ERROR("Error adding table data.");
            return false;
        }
    }
    if (holds(tags, p + L"SIT_TITLE") && !pr.SetText(p + L"SIT_TITLE", titleRuns(snapshot), numbered(L"TITLE"), slide)) {
        PPT_LOG_ERROR("Error setting new title.");
        return false;
    }
    if (holds(tags, p + L"SIT_TEXT") && !pr.SetText(p + L"SIT_TEXT", descriptionRuns(snapshot), numbered(L"TEXT"), slide)) {
        PPT_LOG_ERROR("Error setting new description text.");
        return false;
    }
    const FieldValues fields = snapshot->fieldValues();
    if (holdsPart(tags, reference ? L"REF_SIT_$" : L"SIT_$") && !fields.empty()) {
        const MkStringArray keys = FieldMacros::getKeysFromFieldValues(fields);
        const MkStringArray values = FieldMacros::getValuesFromFieldValues(fields);
        MkString numberedMacro;
        numberedMacro.MakeFormWide(L"SIT%i_$", number);
        for (int i = 0; i < keys.GetSize(); ++i) {
            const MkString tag = p + L"SIT_$" + keys[i];
            if (!holds(tags, tag)) continue;
            MkString renamed = tag;
            renamed.Replace(L"SIT_$", numberedMacro);
            const bool ok = pr.SetText(tag, valueRuns(values[i]), renamed, slide);
            LFW_ASSERT_MSG(ok, "ok");
        }
    }
    return true;
}

}  // namespace rep
}  // namespace kiv

namespace kiv {
namespace rep {

// ---------------------------------------------------------------- validation and summary

namespace {

// The snapshot number of a tag; -1 when it holds none.
int numberOf(const MkString& tag) { return TemplateTags::getTagIndex(tag); }

MkStringArray sortedTags(const MkSlideContentPtrArray& slides, int type, bool unique) {
    MkStringArray tags;
    slides.GetTags(type, tags);
    if (unique) tags.RemoveDuplicates();
    tags.Sort();
    return tags;
}

MkString line(const wchar_t* format, const MkString& text, int n) {
    MkString s;
    s.MakeFormWide(format, ~text, n);
    return s;
}

}  // namespace

bool ReportCreatorPowerPointPrivate::validate(Str* report) const {
    MkString text;
    bool ok = validateTemplate(text, false);
    if (referenceRepository) ok = validateTemplate(text, true) && ok;
    if (report) *report = Str(text.Std());
    return ok;
}

bool ReportCreatorPowerPointPrivate::validateSituationObject(const MkString& tag, Snapshot::SnapshotType expected,
                                                             const Snapshots& snaps, MkString& report) {
    const int n = numberOf(tag);
    const Snapshot* s = n >= 1 && static_cast<size_t>(n) <= snaps.size() ? snaps[static_cast<size_t>(n - 1)] : nullptr;
    if (!s) return false;
    const bool pictureLike = (s->type() == Snapshot::IMAGE || s->type() == Snapshot::MDLX) &&
                             (expected == Snapshot::IMAGE || expected == Snapshot::MDLX);
    if (s->type() == expected || pictureLike) return true;
    report += line(L"%ls: Snapshot %i does not match tag type\n", tag, n);
    return false;
}

bool ReportCreatorPowerPointPrivate::validateMacro(const MkString& tag, const Snapshots& snaps, bool reference,
                                                   MkString& unknownFields, MkString& warnings) {
    const TemplateTags::FieldMacroCheck check = TemplateTags::checkFieldMacro(tag, snaps, reference);
    switch (check.verdict) {
    case TemplateTags::FieldMacroCheck::BAD_SYNTAX: unknownFields += tag + L": Syntax of field not correct\n"; break;
    case TemplateTags::FieldMacroCheck::NO_SNAPSHOT:
        warnings += line(L"%ls: Snapshot %i does not exist\n", tag, check.number);
        break;
    case TemplateTags::FieldMacroCheck::MISSING_EVERYWHERE:
        unknownFields += check.key + L": Generic field not found in any snapshots\n";
        break;
    case TemplateTags::FieldMacroCheck::MISSING_SOMEWHERE:
        unknownFields += check.key + L": Generic field not found for all snapshots\n";
        break;
    case TemplateTags::FieldMacroCheck::UNKNOWN_FIELD: unknownFields += check.key + L": Unknown field name\n"; break;
    default: return true;
    }
    return false;
}

bool ReportCreatorPowerPointPrivate::validateTemplate(MkString& report, bool reference, MkOpenXMLPresentation* opened) const {
    if (!reference) report = MkString(L"\nVALIDATION OF REPOSITORY\n") + TemplateTags::VALIDATION_SEPARATOR;
    else report += MkString(L"\n\nVALIDATION OF REFERENCE REPOSITORY\n") + TemplateTags::VALIDATION_SEPARATOR;
    Snapshots snaps;
    gatherSnapshots(reference ? referenceRepository.get() : repository.get(), &snaps);
    if (snaps.empty()) {
        report = L"No active snapshots in repository";
        return false;
    }
    MkOpenXMLPresentation own;
    MkOpenXMLPresentation& presentation = opened ? *opened : own;
    if (!opened) {
        if (!lfw::FileSystem::fileExists(lfw::String(templatePath.Std())) || !presentation.Open(templatePath)) {
            report = L"Not able to open template file";
            if (!presentation.PackageProblem().IsEmpty()) report += L": " + presentation.PackageProblem();
            return false;
        }
        const MkString problem = presentation.CheckTemplateParts();
        if (!problem.IsEmpty()) {
            report = MkString(L"Not able to open template file: ") + problem;
            return false;
        }
        presentation.CreateSlideContentList();
    }
    const MkSlideContentPtrArray& slides = *presentation.GetSlideContentList();
    const int count = static_cast<int>(snaps.size());
    MkString unmatched;
    bool ok = true;
    const MkIntArray mixed = slides.HasMixedMdlxTags();
    for (int i = 0; i < mixed.GetSize(); ++i) {
        MkString s;
        s.MakeForm("Slide %i has both static and generic Mdlx snapshots\n", mixed[i]);
        unmatched += s;
        ok = false;
    }
    // Tags on shapes that cannot hold them, as generate words them (once, in the main pass).
    if (!reference)
        for (const lfw::String& message : misplacedTags(slides)) {
            unmatched += MkString(message.toStdWString()) + L"\n";
            ok = false;
        }
    const int r = reference ? 1 : 0;
    struct Content {
        int type;
        Snapshot::SnapshotType expected;
        bool unique;
    } contents[] = {{SIT_TYPE_PICTURE + r, Snapshot::IMAGE, true},
                    {SIT_TYPE_MDLX + r, Snapshot::MDLX, false},
                    {SIT_TYPE_TABLE + r, Snapshot::TABLE, false},
                    {SIT_TYPE_CHART + r, Snapshot::TABLE, false}};
    // A tag without a number belongs to a generic slide, which is repeated for the
    // snapshots it can show: nothing to check against one snapshot.
    for (const Content& kind : contents) {
        const MkStringArray tags = sortedTags(slides, kind.type, kind.unique);
        for (int i = 0; i < tags.GetSize(); ++i) {
            const int n = numberOf(tags[i]);
            if (n < 0) {
                continue;
            } else if (n > count) {
                unmatched += line(L"%ls: Snapshot %i does not exist\n", tags[i], n);
                ok = false;
            } else if (!validateSituationObject(tags[i], kind.expected, snaps, unmatched)) {
                ok = false;
            }
            // A chart its table (or, for a generic tag, any table) cannot fill, in the words generate uses.
            if (kind.type != SIT_TYPE_CHART + r || n > count) continue;
            const Snapshot* s = n > 0 ? snaps[static_cast<size_t>(n - 1)] : nullptr;
            if (n > 0 && (!s || s->type() != Snapshot::TABLE || !s->table())) continue;  // told above
            std::vector<MkOpenXMLPart*> charts;
            MkString why;
            presentation.GetChartParts(tags[i], MkString(), &charts);
            if (!presentation.CheckCharts(charts, s ? s->table() : nullptr, nullptr, &why)) {
                const MkString told = tags[i] + L": " + why + L"\n";  // once for the slides of one tag
                if (!unmatched.Contains(told)) unmatched += told;
                ok = false;
            }
        }
    }
    auto textTags = [&](int type) {
        const MkStringArray tags = sortedTags(slides, type, false);
        for (int i = 0; i < tags.GetSize(); ++i) {
            const int n = numberOf(tags[i]);
            if (n > count) {
                unmatched += line(L"%ls: Snapshot %i does not exist\n", tags[i], n);
                ok = false;
            }
        }
    };
    textTags(SIT_TYPE_TEXT + r);
    MkString empty;
    for (int i = 0; i < slides.GetSize(); ++i) {
        const MkStringArray& names = slides[i]->emptyTextTags;
        for (int k = 0; k < names.GetSize(); ++k)
            empty += names[k] + L": No body text for snapshot tag in template. Please enter some body text.\n";
    }
    if (!empty.IsBlank()) report += MkString(L"Empty title/text tags:\n") + TemplateTags::VALIDATION_SEPARATOR + empty + L"\n\n";
    textTags(SIT_TYPE_TITLE + r);
    if (!ok && !unmatched.IsBlank())
        report += MkString(L"Unmatched tags:\n") + TemplateTags::VALIDATION_SEPARATOR + unmatched + L"\n\n";

    MkString fields, warnings;
    MkStringArray macros;
    slides.GetTags(SIT_TYPE_MACRO, macros);
    for (int i = 0; i < macros.GetSize(); ++i) validateMacro(macros[i], snaps, reference, fields, warnings);
    if (!fields.IsBlank()) report += MkString(L"Unknown field values\n") + TemplateTags::VALIDATION_SEPARATOR + fields + L"\n\n";
    if (!warnings.IsBlank())
        report += MkString(L"Field value warnings\n") + TemplateTags::VALIDATION_SEPARATOR + warnings + L"\n\n";

    // A snapshot is used when one of its numbered tags names it, or when a generic
    // tag of a kind that fits its type repeats it.
    MkString unused;
    const MkString p = reference ? MkString(L"REF_") : MkString();
    MkStringArray all[6];
    const int types[6] = {SIT_TYPE_TITLE, SIT_TYPE_TEXT, SIT_TYPE_PICTURE, SIT_TYPE_MDLX, SIT_TYPE_TABLE, SIT_TYPE_CHART};
    const wchar_t* kinds[6] = {L"TITLE", L"TEXT", L"PICTURE", L"MDLX", L"TABLE", L"CHART"};
    for (int t = 0; t < 6; ++t) slides.GetTags(types[t] + r, all[t]);
    for (int i = 0; i < count; ++i) {
        const Snapshot* s = snaps[static_cast<size_t>(i)];
        if (!s) continue;
        bool used = false;
        const bool selected = genericSnapshotIndices.Find(i) >= 0;
        for (int t = 0; t < 6 && !used; ++t) {
            if (all[t].Find(tagName(reference, i + 1, kinds[t])) >= 0) used = true;
            const bool fits = t < 2 || (t < 4 ? s->type() != Snapshot::TABLE : s->type() == Snapshot::TABLE);
            if (selected && fits && all[t].Find(p + L"SIT_" + kinds[t]) >= 0) used = true;
        }
        if (!used) {
            MkString s2;
            s2.MakeForm("Snapshot %i not used.\n", i + 1);
            unused += s2;
        }
    }
    if (!unused.IsBlank()) report += MkString(L"Unused snapshots\n") + TemplateTags::VALIDATION_SEPARATOR + unused;
    // "REF_" tags stay as written without a reference repository: a report warns of them.
    if (!reference && !referenceRepository) {
        bool referenceTags = false;
        for (int kind : {SIT_TYPE_REF_PICTURE, SIT_TYPE_REF_TITLE, SIT_TYPE_REF_TEXT, SIT_TYPE_REF_MDLX, SIT_TYPE_REF_MACRO,
                         SIT_TYPE_REF_TABLE, SIT_TYPE_REF_CHART}) {
            MkStringArray tags;
            referenceTags = referenceTags || slides.GetTags(kind, tags) > 0;
        }
        if (referenceTags)
            report += MkString(L"\n\nReference tags\n") + TemplateTags::VALIDATION_SEPARATOR +
                      L"Reference tags were found in template, but no reference repository specified\n\n";
    }
    return ok;
}

bool ReportCreatorPowerPointPrivate::summarize(const Str& templatePath, Str* summary) {
    MkString text;
    const bool ok = summarizeTemplate(ug::Convert::toMkString(templatePath), text);
    if (summary) *summary = Str(text.Std());
    return ok;
}

bool ReportCreatorPowerPointPrivate::summarizeTemplate(const MkString& templatePath, MkString& summary) {
    MkOpenXMLPresentation presentation;
    if (!lfw::FileSystem::fileExists(lfw::String(templatePath.Std())) || !presentation.Open(templatePath)) {
        summary = L"Not able to open template file";
        if (!presentation.PackageProblem().IsEmpty()) summary += L": " + presentation.PackageProblem();
        return false;
    }
    const MkString problem = presentation.CheckTemplateParts();
    if (!problem.IsEmpty()) {
        summary = MkString(L"Not able to open template file: ") + problem;
        return false;
    }
    presentation.CreateSlideContentList();
    const MkSlideContentPtrArray& slides = *presentation.GetSlideContentList();
    struct Kind {
        int type;
        const wchar_t* line;
    } kinds[] = {{SIT_TYPE_PICTURE, L"Snapshot #%d: Image\r\n"},    {SIT_TYPE_TITLE, L"Snapshot #%d: Title\r\n"},
                 {SIT_TYPE_TEXT, L"Snapshot #%d: Text\r\n"},        {SIT_TYPE_MDLX, L"Snapshot #%d: Mdlx 3D Model\r\n"},
                 {SIT_TYPE_TABLE, L"Snapshot #%d: Table data\r\n"}, {SIT_TYPE_CHART, L"Snapshot #%d: Chart data\r\n"}};
    for (int k = 0; k < slides.GetSize(); ++k) {
        const MkSlideContent& slide = *slides[k];
        MkString lines, fields;
        bool generic[6] = {false, false, false, false, false, false};
        bool genericMacro = false;
        for (int i = 0; i < 6; ++i) {
            MkStringArray tags = slide.GetSitTags(kinds[i].type);
            tags.Append(slide.GetSitTags(kinds[i].type + 1));
            for (int t = 0; t < tags.GetSize(); ++t) {
                if (TemplateTags::isTagGeneric(tags[t])) {
                    generic[i] = true;
                    continue;
                }
                MkString l;
                l.MakeFormWide(kinds[i].line, TemplateTags::getTagIndex(tags[t]));
                lines += l;
            }
        }
        MkStringArray macros = slide.GetSitTags(SIT_TYPE_MACRO);
        macros.Append(slide.GetSitTags(SIT_TYPE_REF_MACRO));
        for (int t = 0; t < macros.GetSize(); ++t) {
            if (TemplateTags::isTagGeneric(macros[t])) genericMacro = true;
            const int index = TemplateTags::getTagIndex(macros[t]);
            MkString l;
            if (index < 0) l.MakeFormWide(L"Generic: %ls\r\n", ~macros[t]);
            else l.MakeFormWide(L"Snapshot #%d: %ls\r\n", index, ~macros[t]);
            fields += l;
        }
        (void)genericMacro;
        MkString head;
        head.MakeForm("Slide %d:\r\n", k + 1);
        summary += head + TemplateTags::SUMMARY_SEPARATOR;
        // Title, description, image, model, table, chart.
        const int order[6] = {1, 2, 0, 3, 4, 5};
        const wchar_t* names[6] = {L"Generic: Title\r\n",         L"Generic: Description\r\n", L"Generic: Image\r\n",
                                   L"Generic: Mdlx 3D model\r\n", L"Generic: Table data\r\n",  L"Generic: Table chart\r\n"};
        for (int i = 0; i < 6; ++i)
            if (generic[order[i]]) summary += names[i];
        summary += lines + L"\r\n";
        if (!fields.IsEmpty()) {
            MkString f;
            f.MakeForm("\r\nSlide %d - Field values:\r\n", k + 1);
            summary += f + TemplateTags::SUMMARY_SEPARATOR + fields + L"\r\n\r\n";
        }
    }
    // The kinds of each chart tag's charts, tags in slide order.
    MkString charts;
    MkStringArray seen;
    for (int k = 0; k < slides.GetSize(); ++k) {
        MkStringArray tags = slides[k]->GetSitTags(SIT_TYPE_CHART);
        tags.Append(slides[k]->GetSitTags(SIT_TYPE_REF_CHART));
        for (int t = 0; t < tags.GetSize(); ++t) {
            if (seen.Find(tags[t]) >= 0) continue;
            seen.AddGrow(tags[t]);
            std::vector<MkOpenXMLPart*> parts;
            presentation.GetChartParts(tags[t], MkString(), &parts);
            MkString kinds, why;
            presentation.CheckCharts(parts, nullptr, &kinds, &why);
            charts += tags[t] + L": " + kinds + (kinds.IsEmpty() || why.IsEmpty() ? why : L" (" + why + L")") + L"\r\n";
        }
    }
    if (!charts.IsEmpty()) summary += MkString(L"\r\nChart kinds\r\n") + TemplateTags::SUMMARY_SEPARATOR + charts;
    return true;
}

}  // namespace rep
}  // namespace kiv
