// Generic slides: each repeated once per snapshot, its tags numbered for the copy.
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
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kiv {
namespace rep {

namespace {
using creator::descriptionRuns;
using creator::expanded;
using creator::titleRuns;
using creator::valueRuns;
using pptcreator::holds;
using pptcreator::holdsPart;
using pptcreator::prefixOf;
using pptcreator::tagName;
}  // namespace

// ---------------------------------------------------------------- generic slides

bool ReportCreatorPowerPointPrivate::addGenericSlides(Context& c, const ReportPlan& plan) {
    SlideContentPtrArray* list = c.presentation.getSlideContentList();
    LFW_ASSERT_MSG(list, "slideContents");
    if (!list) return false;
    // Copies of the generic records, taken before the first duplication rebuilds the
    // list; walked from the last to the first like the list itself.
    std::vector<SlideContent> generic;
    for (const int slide : plan.repeatedGroups)
        if (slide < list->getSize()) generic.push_back(*(*list)[slide]);
    for (auto it = generic.rbegin(); it != generic.rend(); ++it) {
        if (!duplicateGenericSlide(c, *it, plan.main.isRepeated) || !c.presentation.removeSlide(it->slideRelId)) return false;
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::duplicateGenericSlide(Context& c, const SlideContent& slide,
                                                           const std::vector<bool>& repeated) {
    if (snapshots.empty()) return true;
    const std::vector<std::string> sit = slide.getSitTags(), ref = slide.getRefTags();
    const std::string name = slide.slideName;
    if (sit.empty() && ref.empty()) return true;
    const bool isStatic = slide.containsStaticTags();
    const bool textual = slide.hasGenericTextualTags();
    bool pictures = !slide.sit(SlideContent::KIND_PICTURE).empty() || !slide.ref(SlideContent::KIND_PICTURE).empty();
    bool models = !slide.sit(SlideContent::KIND_MDLX).empty() || !slide.ref(SlideContent::KIND_MDLX).empty();
    bool tables = !slide.sit(SlideContent::KIND_TABLE).empty() || !slide.ref(SlideContent::KIND_TABLE).empty() ||
                  !slide.sit(SlideContent::KIND_CHART).empty() || !slide.ref(SlideContent::KIND_CHART).empty();
    if (textual && !pictures && !models && !tables) pictures = models = tables = true;
    const bool fallbackAllowed = isStatic || textual;

    for (size_t k = 0; k < snapshots.size(); ++k) {
        if (k >= repeated.size() || !repeated[k]) continue;
        const Snapshot* snap = snapshots[k];
        LFW_ASSERT_MSG(snap, "situation");
        if (!snap) continue;
        const Snapshot* refSnap = k < referenceSnapshots.size() ? referenceSnapshots[k] : nullptr;
        const int number = static_cast<int>(k) + 1;
        std::string mainFile, refFile;
        bool duplicate = false, updateMain = false, updateRef = false;

        auto asImage = [&]() {
            const bool m = holdsPart(sit, "SIT_MDLX") || holdsPart(sit, "SIT_PICTURE");
            const bool rm = holdsPart(ref, "REF_SIT_MDLX") || holdsPart(ref, "REF_SIT_PICTURE");
            if (!m && !rm) return 0;  // fall back
            // A picture the slide shows and the snapshot lacks is left out: the slide
            // then falls back as for a snapshot of another kind.
            const PictureBytes::Picture* picture = m ? pictureFor(c, snap, "SIT_PICTURE") : nullptr;
            if (m && !picture) return 0;
            if (m) mainFile = picture->name;
            if (rm) {
                if (refSnap && refSnap->type() != Snapshot::TABLE) {
                    const PictureBytes::Picture* ref = pictureFor(c, refSnap, "REF_SIT_PICTURE");
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
            } else if ((holdsPart(sit, "SIT_PICTURE") && !holdsPart(sit, "SIT_MDLX")) || !use3dPlugin) {
                decided = asImage();
            } else if (!holdsPart(sit, "SIT_MDLX")) {
                decided = 0;
            } else {
                mainFile = modelFile(c, snap, number, false);
                if (mainFile.empty()) return false;
                updateRef = holdsPart(ref, "REF_SIT_MDLX");
                if (updateRef && refSnap && refSnap->type() == Snapshot::MDLX) {
                    refFile = modelFile(c, refSnap, number, true);
                    if (refFile.empty()) return false;
                }
                duplicate = updateMain = true;
                decided = 1;
            }
            break;
        case Snapshot::TABLE:
            if (!tables) {
                decided = 2;
            } else if (!holdsPart(sit, "SIT_TABLE") && !holdsPart(sit, "SIT_CHART")) {
                decided = 0;
            } else {
                duplicate = updateMain = true;
                updateRef = holdsPart(ref, "REF_SIT_TABLE") || holdsPart(ref, "REF_SIT_CHART");
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

        std::string copy;
        if (!c.presentation.duplicateSlide(name, copy)) return false;
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
        c.presentation.releaseSlide(copy);
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::renameGenericTags(Context& c, const std::string& slide, const std::vector<std::string>& tags,
                                                       int number, bool reference) {
    const std::string p = prefixOf(reference);
    const std::string n = tagName(reference, number, "");
    OpenXMLPresentation& pr = c.presentation;
    if (holds(tags, p + "SIT_MDLX") && !pr.setMdlx(p + "SIT_MDLX", "", "", n + "MDLX", slide)) return false;
    if (holds(tags, p + "SIT_TABLE") && !pr.setGraphicFrameTag(p + "SIT_TABLE", n + "TABLE", slide)) return false;
    if (holds(tags, p + "SIT_CHART") && !pr.setGraphicFrameTag(p + "SIT_CHART", n + "CHART", slide)) return false;
    if (holds(tags, p + "SIT_PICTURE") && !pr.renamePicture(p + "SIT_PICTURE", slide, n + "PICTURE")) return false;
    if (holds(tags, p + "SIT_TITLE") && !pr.setTextTag(p + "SIT_TITLE", n + "TITLE", slide)) return false;
    if (holds(tags, p + "SIT_TEXT") && !pr.setTextTag(p + "SIT_TEXT", n + "TEXT", slide)) return false;
    const std::string numbered = tagName(false, number, "$");
    for (const std::string& tag : tags) {
        if (tag.find("SIT_$") == std::string::npos) continue;
        std::string renamed = tag;
        lfw::text::replaceAll(renamed, "SIT_$", numbered);
        if (!pr.setTextTag(tag, renamed, slide)) return false;
    }
    return true;
}

bool ReportCreatorPowerPointPrivate::updateSlideFromSituation(Context& c, const std::string& slide, int number,
                                                              const std::vector<std::string>& tags, const Snapshot* snapshot,
                                                              const std::string& file, bool reference) {
    if (!snapshot) return false;
    OpenXMLPresentation& pr = c.presentation;
    const std::string p = prefixOf(reference);
    auto holdsText = [&file](const char* text) { return file.find(text) != std::string::npos; };
    const std::string imageFile = holdsText(".jpg") || holdsText(".png") ? file : std::string();
    const std::string model = holdsText(".mdlx") ? file : std::string();
    const bool media = holdsPart(tags, "SIT_MDLX") || holdsPart(tags, "SIT_PICTURE");
    const std::string link = toUtf8(snapshot->cloudViewerUrl());
    auto numbered = [&](const char* kind) { return tagName(reference, number, kind); };

    const PictureBytes::Picture* picture =
        media && (!imageFile.empty() || !use3dPlugin) ? pictureFor(c, snapshot, p + "SIT_PICTURE") : nullptr;
    if (picture) {
        const int w = picture->width, h = picture->height;
        bool shown = false;
        if (holds(tags, p + "SIT_PICTURE"))
            shown = pr.setImage(expanded(problems, snapshot, snapshot->title()), p + "SIT_PICTURE", picture->name, w, h,
                                numbered("PICTURE"), slide, link) ||
                    shown;
        if (holds(tags, p + "SIT_MDLX"))
            shown = pr.convertMdlxInSlide(p + "SIT_MDLX", "", picture->name, h ? static_cast<float>(w) / h : 1.0f,
                                          numbered("PICTURE"), slide, link) ||
                    shown;
        if (!shown) {
            reportError(ProblemCode::General, "Error adding image file to archive.");
            return false;
        }
    } else if (media && !model.empty() && holds(tags, p + "SIT_MDLX")) {
        if (!pr.setMdlx(p + "SIT_MDLX", model, "", numbered("MDLX"), slide)) {
            reportError(ProblemCode::General, "Error adding MDLX file to archive.");
            return false;
        }
    }
    if (snapshot->type() == Snapshot::TABLE && snapshot->table()) {
        bool shown = false, wanted = false;
        if (holds(tags, p + "SIT_TABLE")) {
            wanted = true;
            shown = pr.setTable(p + "SIT_TABLE", *snapshot->table(), numbered("TABLE"), slide) || shown;
        }
        if (holds(tags, p + "SIT_CHART")) {
            wanted = true;
            ChartData chart(*snapshot->table());
            chart.m_title = toUtf8(snapshot->title());
            std::string why;
            const bool set = pr.setChart(p + "SIT_CHART", chart, numbered("CHART"), slide, &why);
            if (!set && !why.empty()) {
                reportError(ProblemCode::General, lfw::String("%1: %2").arg(numbered("CHART")).arg(why));
                return false;
            }
            shown = set || shown;
        }
        if (wanted && !shown) {
            reportError(ProblemCode::General, "Error adding table data.");
            return false;
        }
    }
    if (holds(tags, p + "SIT_TITLE") && !pr.setText(p + "SIT_TITLE", titleRuns(problems, snapshot), numbered("TITLE"), slide)) {
        reportError(ProblemCode::General, "Error setting new title.");
        return false;
    }
    if (holds(tags, p + "SIT_TEXT") &&
        !pr.setText(p + "SIT_TEXT", descriptionRuns(problems, snapshot), numbered("TEXT"), slide)) {
        reportError(ProblemCode::General, "Error setting new description text.");
        return false;
    }
    const FieldValues fields = snapshot->fieldValues();
    if (holdsPart(tags, reference ? "REF_SIT_$" : "SIT_$") && !fields.empty()) {
        const std::vector<std::string> keys = FieldMacros::getKeysFromFieldValues(fields);
        const std::vector<std::string> values = FieldMacros::getValuesFromFieldValues(fields);
        const std::string numberedMacro = tagName(false, number, "$");
        for (size_t i = 0; i < keys.size(); ++i) {
            const std::string tag = p + "SIT_$" + keys[i];
            if (!holds(tags, tag)) continue;
            std::string renamed = tag;
            lfw::text::replaceAll(renamed, "SIT_$", numberedMacro);
            const bool ok = pr.setText(tag, valueRuns(values[i]), renamed, slide);
            LFW_ASSERT_MSG(ok, "ok");
        }
    }
    return true;
}

}  // namespace rep
}  // namespace kiv
