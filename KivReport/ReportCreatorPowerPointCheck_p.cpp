// What validate and summarize say of a PowerPoint template.
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

namespace pptcreator {

std::vector<lfw::String> misplacedTags(const SlideContentPtrArray& slides) {
    static const struct {
        const wchar_t* word;
        const char* shape;
    } kinds[] = {{L"PICTURE", "a picture"},  {L"TABLE", "a table"},     {L"CHART", "a chart"},
                 {L"TITLE", "a text shape"}, {L"TEXT", "a text shape"}, {L"MDLX", "a 3D viewer control"}};
    std::vector<lfw::String> messages;
    for (int s = 0; s < slides.GetSize(); ++s) {
        const SlideContent& slide = *slides[s];
        const MkStringArray& others = slide.Others();
        for (int i = 0; i < others.GetSize(); ++i) {
            const MkString& name = others[i];
            const TagNameParts parts(name);
            if ((!parts.IsSit() && !parts.IsRef()) || name.Contains(L"$")) continue;
            bool placed = false;
            for (int k = 0; k < SlideContent::KIND_COUNT && !placed; ++k) {
                const SlideContent::Kind kind = static_cast<SlideContent::Kind>(k);
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

}  // namespace pptcreator

using pptcreator::misplacedTags;
using pptcreator::tagName;

// ---------------------------------------------------------------- validation and summary

namespace {

// The snapshot number of a tag; -1 when it holds none.
int numberOf(const MkString& tag) { return TemplateTags::getTagIndex(tag); }

MkStringArray sortedTags(const SlideContentPtrArray& slides, int type, bool unique) {
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

bool ReportCreatorPowerPointPrivate::validateTemplate(MkString& report, bool reference, OpenXMLPresentation* opened) const {
    if (!reference) report = MkString(L"\nVALIDATION OF REPOSITORY\n") + TemplateTags::VALIDATION_SEPARATOR;
    else report += MkString(L"\n\nVALIDATION OF REFERENCE REPOSITORY\n") + TemplateTags::VALIDATION_SEPARATOR;
    Snapshots snaps;
    gatherSnapshots(reference ? referenceRepository.get() : repository.get(), &snaps);
    if (snaps.empty()) {
        report = L"No active snapshots in repository";
        return false;
    }
    OpenXMLPresentation own;
    own.ReportTo(&problems);
    OpenXMLPresentation& presentation = opened ? *opened : own;
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
    const SlideContentPtrArray& slides = *presentation.GetSlideContentList();
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
            std::vector<OpenXMLPart*> charts;
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

bool ReportCreatorPowerPointPrivate::summarize(const Str& templatePath, Str* summary, Problems& problems) {
    MkString text;
    const bool ok = summarizeTemplate(ug::Convert::toMkString(templatePath), text, problems);
    if (summary) *summary = Str(text.Std());
    return ok;
}

bool ReportCreatorPowerPointPrivate::summarizeTemplate(const MkString& templatePath, MkString& summary, Problems& problems) {
    OpenXMLPresentation presentation;
    presentation.ReportTo(&problems);
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
    const SlideContentPtrArray& slides = *presentation.GetSlideContentList();
    struct Kind {
        int type;
        const wchar_t* line;
    } kinds[] = {{SIT_TYPE_PICTURE, L"Snapshot #%d: Image\r\n"},    {SIT_TYPE_TITLE, L"Snapshot #%d: Title\r\n"},
                 {SIT_TYPE_TEXT, L"Snapshot #%d: Text\r\n"},        {SIT_TYPE_MDLX, L"Snapshot #%d: Mdlx 3D Model\r\n"},
                 {SIT_TYPE_TABLE, L"Snapshot #%d: Table data\r\n"}, {SIT_TYPE_CHART, L"Snapshot #%d: Chart data\r\n"}};
    for (int k = 0; k < slides.GetSize(); ++k) {
        const SlideContent& slide = *slides[k];
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
            std::vector<OpenXMLPart*> parts;
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
