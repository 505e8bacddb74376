// Generic slides: each repeated once per snapshot, its tags numbered for the copy.
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
using creator::fromStr;
using creator::titleRuns;
using creator::valueRuns;
using pptcreator::holds;
using pptcreator::holdsPart;
using pptcreator::prefixOf;
using pptcreator::tagName;
}  // namespace

// ---------------------------------------------------------------- generic slides

bool ReportCreatorPowerPointPrivate::addGenericSlides(Context& c) {
    SlideContentPtrArray* list = c.presentation.GetSlideContentList();
    LFW_ASSERT_MSG(list, "slideContents");
    if (!list) return false;
    // Copies of the generic records, taken before the first duplication rebuilds the
    // list; walked from the last to the first like the list itself.
    std::vector<SlideContent> generic;
    for (int i = 0; i < list->GetSize(); ++i)
        if ((*list)[i]->IsGeneric(true) || (*list)[i]->IsGeneric(false)) generic.push_back(*(*list)[i]);
    for (auto it = generic.rbegin(); it != generic.rend(); ++it) {
        if (!duplicateGenericSlide(c, *it) || !c.presentation.RemoveSlide(it->slideRelId)) return false;
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::duplicateGenericSlide(Context& c, const SlideContent& slide) {
    if (snapshots.empty()) return true;
    const MkStringArray sit = slide.GetSitTags(), ref = slide.GetRefTags();
    const MkString name = slide.slideName;
    if (sit.IsEmpty() && ref.IsEmpty()) return true;
    const bool isStatic = slide.ContainsStaticTags();
    const bool textual = slide.HasGenericTextualTags();
    bool pictures = !slide.Sit(SlideContent::KIND_PICTURE).IsEmpty() || !slide.Ref(SlideContent::KIND_PICTURE).IsEmpty();
    bool models = !slide.Sit(SlideContent::KIND_MDLX).IsEmpty() || !slide.Ref(SlideContent::KIND_MDLX).IsEmpty();
    bool tables = !slide.Sit(SlideContent::KIND_TABLE).IsEmpty() || !slide.Ref(SlideContent::KIND_TABLE).IsEmpty() ||
                  !slide.Sit(SlideContent::KIND_CHART).IsEmpty() || !slide.Ref(SlideContent::KIND_CHART).IsEmpty();
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
    OpenXMLPresentation& pr = c.presentation;
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
    OpenXMLPresentation& pr = c.presentation;
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
            shown = pr.SetImage(expanded(problems, snapshot, snapshot->title()), p + L"SIT_PICTURE", picture->name, w, h,
                                numbered(L"PICTURE"), slide, link) ||
                    shown;
        if (holds(tags, p + L"SIT_MDLX"))
            shown = pr.ConvertMdlxInSlide(p + L"SIT_MDLX", MkString(), picture->name, h ? static_cast<float>(w) / h : 1.0f,
                                          numbered(L"PICTURE"), slide, link) ||
                    shown;
        if (!shown) {
            reportError(ProblemCode::General, "Error adding image file to archive.");
            return false;
        }
    } else if (media && !model.IsEmpty() && holds(tags, p + L"SIT_MDLX")) {
        if (!pr.SetMDLX(p + L"SIT_MDLX", model, MkString(), numbered(L"MDLX"), slide)) {
            reportError(ProblemCode::General, "Error adding MDLX file to archive.");
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
            ChartData chart(*snapshot->table());
            chart.m_title = fromStr(snapshot->title());
            MkString why;
            const bool set = pr.SetChart(p + L"SIT_CHART", chart, numbered(L"CHART"), slide, &why);
            if (!set && !why.IsEmpty()) {
                reportError(ProblemCode::General, lfw::String("%1: %2").arg(numbered(L"CHART").Std()).arg(why.Std()));
                return false;
            }
            shown = set || shown;
        }
        if (wanted && !shown) {
            reportError(ProblemCode::General, "Error adding table data.");
            return false;
        }
    }
    if (holds(tags, p + L"SIT_TITLE") &&
        !pr.SetText(p + L"SIT_TITLE", titleRuns(problems, snapshot), numbered(L"TITLE"), slide)) {
        reportError(ProblemCode::General, "Error setting new title.");
        return false;
    }
    if (holds(tags, p + L"SIT_TEXT") &&
        !pr.SetText(p + L"SIT_TEXT", descriptionRuns(problems, snapshot), numbered(L"TEXT"), slide)) {
        reportError(ProblemCode::General, "Error setting new description text.");
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
            const bool ok = pr.SetText(tag, valueRuns(problems, values[i]), renamed, slide);
            LFW_ASSERT_MSG(ok, "ok");
        }
    }
    return true;
}

}  // namespace rep
}  // namespace kiv
