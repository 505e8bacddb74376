// What validate and summarize say of a PowerPoint template.
#include "KivReport/ReportCreatorPowerPoint_p.h"
#include "LibCore/lfwFile.h"
#include "KivReport/Repository.h"
#include "KivReport/Table.h"
#include "LibCore/lfwAssert.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "LibCore/lfwText.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/TemplateTags.h"
#include "impl/common/TemplateTexts.h"
#include "impl/openxml/ChartData.h"
#include "impl/common/ReportLog.h"
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kiv {
namespace rep {

namespace pptcreator {

std::vector<lfw::String> misplacedTags(const SlideContentPtrArray& slides) {
    static const struct {
        const char* word;
        const char* shape;
    } kinds[] = {{"PICTURE", "a picture"},  {"TABLE", "a table"},     {"CHART", "a chart"},
                 {"TITLE", "a text shape"}, {"TEXT", "a text shape"}, {"MDLX", "a 3D viewer control"}};
    std::vector<lfw::String> messages;
    for (int s = 0; s < slides.getSize(); ++s) {
        const SlideContent& slide = *slides[s];
        for (const std::string& name : slide.others()) {
            const TagNameParts parts(name);
            if ((!parts.isSit() && !parts.isRef()) || name.find('$') != std::string::npos) continue;
            bool placed = false;
            for (int k = 0; k < SlideContent::KIND_COUNT && !placed; ++k) {
                const SlideContent::Kind kind = static_cast<SlideContent::Kind>(k);
                placed = holds(slide.sit(kind), name) || holds(slide.ref(kind), name);
            }
            for (const auto& kind : kinds)
                if (!placed && parts.suffix == kind.word)
                    messages.push_back(lfw::String("The shape %1 on %2 is not %3: rename the shape or change its tag.")
                                           .arg(name)
                                           .arg(slide.slideName)
                                           .arg(kind.shape));
        }
    }
    return messages;
}

}  // namespace pptcreator

using pptcreator::holds;
using pptcreator::misplacedTags;
using pptcreator::tagName;

// ---------------------------------------------------------------- validation and summary

namespace {

// The snapshot number of a tag; -1 when it holds none.
int numberOf(const std::string& tag) { return TemplateTags::getTagIndex(tag); }

std::vector<std::string> sortedTags(const SlideContentPtrArray& slides, int type, bool unique) {
    std::vector<std::string> tags;
    slides.getTags(type, tags);
    std::sort(tags.begin(), tags.end());
    if (unique) tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    return tags;
}

// A line naming a tag and a number: format holds "%s" for the tag, then "%i".
std::string line(const char* format, const std::string& tag, int n) { return lfw::text::format(format, tag.c_str(), n); }

}  // namespace

bool ReportCreatorPowerPointPrivate::validate(Str* report) const {
    std::string text;
    bool ok = validateTemplate(text, false);
    if (referenceRepository) ok = validateTemplate(text, true) && ok;
    if (report) *report = Str(text);
    return ok;
}

bool ReportCreatorPowerPointPrivate::validateSituationObject(const std::string& tag, Snapshot::SnapshotType expected,
                                                             const Snapshots& snaps, std::string& report) {
    const int n = numberOf(tag);
    const Snapshot* s = n >= 1 && static_cast<size_t>(n) <= snaps.size() ? snaps[static_cast<size_t>(n - 1)] : nullptr;
    if (!s) return false;
    const bool pictureLike = (s->type() == Snapshot::IMAGE || s->type() == Snapshot::MDLX) &&
                             (expected == Snapshot::IMAGE || expected == Snapshot::MDLX);
    if (s->type() == expected || pictureLike) return true;
    report += line("%s: Snapshot %i does not match tag type\n", tag, n);
    return false;
}

bool ReportCreatorPowerPointPrivate::validateTemplate(std::string& report, bool reference, OpenXMLPresentation* opened) const {
    if (!reference) report = std::string("\nVALIDATION OF REPOSITORY\n") + TemplateTags::VALIDATION_SEPARATOR;
    else report += std::string("\n\nVALIDATION OF REFERENCE REPOSITORY\n") + TemplateTags::VALIDATION_SEPARATOR;
    Snapshots snaps;
    gatherSnapshots(reference ? referenceRepository.get() : repository.get(), &snaps);
    if (snaps.empty()) {
        report = "No active snapshots in repository";
        return false;
    }
    OpenXMLPresentation own;
    own.reportTo(&problems);
    OpenXMLPresentation& presentation = opened ? *opened : own;
    if (!opened) {
        if (!lfw::FileSystem::fileExists(lfw::String(templatePath)) || !presentation.open(templatePath)) {
            report = "Not able to open template file";
            if (!presentation.packageProblem().empty()) report += ": " + presentation.packageProblem();
            return false;
        }
        const std::string problem = presentation.checkTemplateParts();
        if (!problem.empty()) {
            report = "Not able to open template file: " + problem;
            return false;
        }
        presentation.createSlideContentList();
    }
    const SlideContentPtrArray& slides = *presentation.getSlideContentList();
    const int count = static_cast<int>(snaps.size());
    std::string unmatched;
    bool ok = true;
    for (const int position : slides.hasMixedMdlxTags()) {
        unmatched += lfw::text::format("Slide %i has both static and generic Mdlx snapshots\n", position);
        ok = false;
    }
    // Tags on shapes that cannot hold them, as generate words them (once, in the main pass).
    if (!reference)
        for (const lfw::String& message : misplacedTags(slides)) {
            unmatched += message.toStdString() + "\n";
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
        const std::vector<std::string> tags = sortedTags(slides, kind.type, kind.unique);
        for (size_t i = 0; i < tags.size(); ++i) {
            const int n = numberOf(tags[i]);
            if (n < 0) {
                continue;
            } else if (n > count) {
                unmatched += line("%s: Snapshot %i does not exist\n", tags[i], n);
                ok = false;
            } else if (!validateSituationObject(tags[i], kind.expected, snaps, unmatched)) {
                ok = false;
            }
            // A chart its table (or, for a generic tag, any table) cannot fill, in the words generate uses.
            if (kind.type != SIT_TYPE_CHART + r || n > count) continue;
            const Snapshot* s = n > 0 ? snaps[static_cast<size_t>(n - 1)] : nullptr;
            if (n > 0 && (!s || s->type() != Snapshot::TABLE || !s->table())) continue;  // told above
            std::vector<OpenXMLPart*> charts;
            std::string why;
            presentation.getChartParts(tags[i], "", &charts);
            if (!presentation.checkCharts(charts, s ? s->table() : nullptr, nullptr, &why)) {
                const std::string told = tags[i] + ": " + why + "\n";  // once for the slides of one tag
                if (unmatched.find(told) == std::string::npos) unmatched += told;
                ok = false;
            }
        }
    }
    auto textTags = [&](int type) {
        for (const std::string& tag : sortedTags(slides, type, false)) {
            const int n = numberOf(tag);
            if (n > count) {
                unmatched += line("%s: Snapshot %i does not exist\n", tag, n);
                ok = false;
            }
        }
    };
    textTags(SIT_TYPE_TEXT + r);
    std::string empty;
    for (int i = 0; i < slides.getSize(); ++i)
        for (const std::string& name : slides[i]->emptyTextTags)
            empty += name + ": No body text for snapshot tag in template. Please enter some body text.\n";
    using lfw::text::isBlank;
    if (!isBlank(empty)) report += std::string("Empty title/text tags:\n") + TemplateTags::VALIDATION_SEPARATOR + empty + "\n\n";
    textTags(SIT_TYPE_TITLE + r);
    if (!ok && !isBlank(unmatched))
        report += std::string("Unmatched tags:\n") + TemplateTags::VALIDATION_SEPARATOR + unmatched + "\n\n";

    const TemplateScan scan = presentation.scan(false);
    std::string fields, warnings;
    TemplateTexts::checkFields(scan, reference ? nullptr : &snaps, reference ? &snaps : nullptr, TextDialect::PowerPoint, fields,
                               warnings);
    if (!isBlank(fields)) report += std::string("Unknown field values\n") + TemplateTags::VALIDATION_SEPARATOR + fields + "\n\n";
    if (!isBlank(warnings))
        report += std::string("Field value warnings\n") + TemplateTags::VALIDATION_SEPARATOR + warnings + "\n\n";

    const std::string unused =
        TemplateTexts::unusedSnapshots(scan, snaps, genericSnapshotIndices, reference, TextDialect::PowerPoint);
    if (!isBlank(unused)) report += std::string("Unused snapshots\n") + TemplateTags::VALIDATION_SEPARATOR + unused;
    // "REF_" tags stay as written without a reference repository: a report warns of them.
    if (!reference && !referenceRepository && TemplateTexts::hasReferenceTags(scan))
        report += std::string("\n\nReference tags\n") + TemplateTags::VALIDATION_SEPARATOR +
                  TemplateTexts::REFERENCE_TAGS_WITHOUT_REPOSITORY + "\n\n";
    return ok;
}

bool ReportCreatorPowerPointPrivate::summarize(const Str& templatePath, Str* summary, Problems& problems) {
    std::string text;
    const bool ok = summarizeTemplate(templatePath.toStdString(), text, problems);
    if (summary) *summary = Str(text);
    return ok;
}

bool ReportCreatorPowerPointPrivate::summarizeTemplate(const std::string& templatePath, std::string& summary,
                                                       Problems& problems) {
    OpenXMLPresentation presentation;
    presentation.reportTo(&problems);
    if (!lfw::FileSystem::fileExists(lfw::String(templatePath)) || !presentation.open(templatePath)) {
        summary = "Not able to open template file";
        if (!presentation.packageProblem().empty()) summary += ": " + presentation.packageProblem();
        return false;
    }
    const std::string problem = presentation.checkTemplateParts();
    if (!problem.empty()) {
        summary = "Not able to open template file: " + problem;
        return false;
    }
    presentation.createSlideContentList();
    summary += TemplateTexts::summary(presentation.scan(true), TextDialect::PowerPoint);
    return true;
}

}  // namespace rep
}  // namespace kiv
