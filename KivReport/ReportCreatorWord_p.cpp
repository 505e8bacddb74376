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
#include "impl/openxml/MkChartData.h"
#include "impl/openxml/MkOpenXMLPlugin.h"
#include "impl/storage/ReportLog.h"
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
using creator::fromStr;
using creator::looksLikeZip;
using creator::macroEnabledName;
using creator::stemOf;
using creator::titleRuns;
using creator::valueRuns;

int countOf(const lfw::Collection<const Snapshot>& snaps) {
    return snaps.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(snaps.size());
}

void section(MkString& report, const wchar_t* header, const MkString& lines) {
    report += MkString(header);
    report += MkString(TemplateTags::VALIDATION_SEPARATOR);
    report += lines;
    report += MkString(L"\n\n");
}

// A chart its table (or, in a group, any table) cannot fill adds "tag: why" in
// the words generate uses.
bool chartFits(MkOpenXMLWordArchive& archive, const MkWordDocumentTag& tag, const lfw::Collection<const Snapshot>& snaps,
               MkString& unmatched) {
    const int n = tag.groupIndex >= 0 ? -1 : TemplateTags::getTagIndex(tag.name);
    const Snapshot* s = n >= 1 && n <= countOf(snaps) ? snaps[static_cast<size_t>(n - 1)] : nullptr;
    if (n >= 1 && (!s || !s->table())) return true;  // told by the tag checks
    MkString why;
    if (archive.CheckCharts(archive.GetChartParts(tag.name), s ? s->table() : nullptr, nullptr, &why)) return true;
    const MkString line = tag.name + L": " + why + L"\n";  // once for the controls of one tag
    if (!unmatched.Contains(line)) unmatched += line;
    return false;
}

// Where a tag of a header, footer or notes part lies, in words: "the header word/header1.xml".
MkString placeOf(MkOpenXMLWordArchive& archive, const MkString& part) {
    for (const MkWordStory& story : archive.Stories())
        if (story.part->Name() == part) return MkString(L"the ") + story.kind + L" " + part;
    return part;
}

// "<prefix><n>_", made without a formatted print: a report names six tags per snapshot.
std::wstring tagStem(const MkString& prefix, int n) {
    wchar_t digits[12];
    wchar_t* first = digits + 12;
    unsigned value = n < 0 ? 0u - static_cast<unsigned>(n) : static_cast<unsigned>(n);
    do *--first = static_cast<wchar_t>(L'0' + value % 10);
    while (value /= 10);
    if (n < 0) *--first = L'-';
    std::wstring stem;
    stem.reserve(prefix.Std().size() + 20);
    return stem.append(prefix.Std()).append(first, digits + 12).append(1, L'_');
}

MkString tagName(const std::wstring& stem, const wchar_t* kind) { return MkString(stem + kind); }

}  // namespace

ReportCreatorWordPrivate::ReportCreatorWordPrivate(Repository* repo, const Str& path) : ReportCreatorBase(repo, path) {}

MkStringArray ReportCreatorWordPrivate::nestedGroups(const MkXmlElement& body) {
    MkStringArray lines;
    MkXmlElementList controls;
    MkOpenXMLDocument::FindAllElements(body, "w:sdt", &controls, true, true);
    for (const MkXmlElement& sdt : controls) {
        if (!MkOpenXMLDocument::IsSdtGroup(sdt) || !MkOpenXMLWordDocument::IsInSdtGroup(sdt.GetParentElement())) continue;
        // A group repeats its content once per snapshot: one inside another would
        // repeat it for every pair.
        const MkString name = MkOpenXMLWordDocument::GetSdtName(sdt);
        MkString line;
        if (name.IsBlank()) line = L"The template's group without a tag lies inside another group; groups cannot be nested.";
        else line.MakeFormWide(L"The template's group '%ls' lies inside another group; groups cannot be nested.", ~name);
        lines.AddGrow(line);
    }
    return lines;
}

MkStringArray ReportCreatorWordPrivate::storyGroups(MkOpenXMLWordArchive& archive) {
    MkStringArray lines;
    for (const MkWordStory& story : archive.Stories()) {
        MkXmlElementList controls;
        MkOpenXMLDocument::FindAllElements(story.document->GetContentRoot(), "w:sdt", &controls, true, true);
        for (const MkXmlElement& sdt : controls) {
            if (!MkOpenXMLDocument::IsSdtGroup(sdt)) continue;
            // A page's header, footer or notes are no place to repeat content per snapshot.
            const MkString name = MkOpenXMLWordDocument::GetSdtName(sdt);
            const MkString place = placeOf(archive, story.part->Name());
            MkString line;
            if (name.IsBlank()) line.MakeFormWide(L"The template's group without a tag lies in %ls; ", ~place);
            else line.MakeFormWide(L"The template's group '%ls' lies in %ls; ", ~name, ~place);
            lines.AddGrow(line + L"groups repeat content of the document's body only.");
        }
    }
    return lines;
}

// ---------------------------------------------------------------- report

bool ReportCreatorWordPrivate::makeReport(const std::string& reportFile, lfw::StagedFiles& staged) {
    if (snapshots.empty()) {
        REP_LOG_ERROR("Could not create report file. No active snapshots in repository.");
        return false;
    }
    // The template's package is read once, edited in memory and written once as the report.
    MkOpenXMLWordArchive archive;
    if (!archive.Open(templatePath)) {
        REP_LOG_ERROR(lfw::String(archive.Error() + L"."));
        return false;
    }
    archive.SetReportPath(outputPath);
    archive.SetMacroEnabled(macroEnabledName(outputPath));
    // Models come from the template's folder and the report's.
    archive.SetModelSources({folderOf(templatePath.ShortChar())}, {});
    const MkXmlElement body = archive.Document()->GetBody();
    if (!body) {
        REP_LOG_ERROR("The document part word/document.xml has no body (w:body in w:document).");
        return false;
    }
    MkStringArray misplaced = nestedGroups(body);
    misplaced.Append(storyGroups(archive));
    if (!misplaced.IsEmpty()) {
        REP_LOG_ERROR(lfw::String(misplaced[0]));
        return false;
    }
    {
        // The template's tags as read before anything changes: whether it holds
        // any, and what validate says of it, which generate tells of the tags
        // the report leaves unfilled (the template is not read a second time).
        MkWordDocumentContent tags;
        archive.GetDocumentContent(tags);
        templateWithoutTags = true;
        for (const MkWordDocumentTag& tag : tags.GetAllTags())
            if (tag.groupMarker || tag.name.Contains(L"SIT")) templateWithoutTags = false;
        MkString validation;
        validateOpened(archive, tags, snapshots, referenceSnapshots, validation);
        keepValidation(ug::Convert::toStr(validation));
    }
    archive.ConvertFromOldPlugin();

    const bool referencePass = !referenceSnapshots.empty();
    MkIntArray mainSelection, referenceSelection;
    mainSelection.AssignConsecutive(countOf(snapshots), 0);
    referenceSelection.AssignConsecutive(countOf(referenceSnapshots), 0);
    if (!genericSnapshotIndices.IsEmpty()) {
        mainSelection.Intersect(genericSnapshotIndices);
        referenceSelection.Intersect(genericSnapshotIndices);
    }
    MkIntArray images, tables, models, refImages, refTables, refModels;
    TemplateTags::getSituationTypeIndices(snapshots, mainSelection, &images, &tables, &models);
    if (referencePass)
        TemplateTags::getSituationTypeIndices(referenceSnapshots, referenceSelection, &refImages, &refTables, &refModels);

    archive.ExpandGroup(images, L"SIT_PICTURE");
    archive.ExpandGroup(tables, L"SIT_TABLE");
    archive.ExpandGroup(models, L"SIT_MDLX");
    archive.ExpandGroup(tables, L"SIT_CHART");
    if (referencePass) {
        archive.ExpandGroup(refImages, L"REF_SIT_PICTURE");
        archive.ExpandGroup(refTables, L"REF_SIT_TABLE");
        archive.ExpandGroup(refModels, L"REF_SIT_MDLX");
        archive.ExpandGroup(refTables, L"REF_SIT_CHART");
    }
    archive.ExpandGroup(mainSelection, MkString());
    if (!archive.SyncCharts()) REP_LOG_WARNING("Charts repeated by groups could not all get a chart part of their own.");

    bool filled = false;
    {
        // The tags, and the snapshots' pictures (encoded once, handed over in memory
        // and stored by the package), are needed while the content is filled only.
        MkWordTagNames tags;
        archive.GetTagNames(&tags);
        PictureBytes shots;
        replaceMacros(archive, snapshots, tags, false);
        filled = replaceSituationData(archive, snapshots, tags, false, staged, shots);
        if (filled && referencePass) {
            filled = replaceSituationData(archive, referenceSnapshots, tags, true, staged, shots);
            replaceMacros(archive, referenceSnapshots, tags, true);
        }
    }
    // A content step that failed has logged its error; the report is not written.
    if (!filled) return false;
    if (embedMdlx && !archive.EmbedAllMdlxFilesInArchive())
        REP_LOG_WARNING("Not every model file could be embedded in the report.");
    archive.KeepFilledContentAsText();
    if (!archive.Save(MkString(reportFile.c_str()))) {
        REP_LOG_ERROR(lfw::String(archive.Error() + L"."));
        return false;
    }
    for (const MkString& warning : archive.Warnings()) REP_LOG_WARNING(lfw::String(warning + L"."));
    return true;
}

void ReportCreatorWordPrivate::replaceMacros(MkOpenXMLWordArchive& archive, const Snapshots& snaps, const MkWordTagNames& tags,
                                             bool reference) const {
    for (size_t k = 0; k < snaps.size(); ++k) {
        const Snapshot* snapshot = snaps[k];
        LFW_ASSERT_MSG(snapshot, "situation");
        if (!snapshot) continue;
        const FieldValues fields = snapshot->fieldValues();
        const MkStringArray keys = FieldMacros::getKeysFromFieldValues(fields);
        const MkStringArray values = FieldMacros::getValuesFromFieldValues(fields);
        MkStringArray names;
        MkArrayT<MkFormattedTextArray> texts;
        for (int i = 0; i < keys.GetSize(); ++i) {
            MkString name;
            name.MakeFormWide(L"%lsSIT%i_$%ls", reference ? L"REF_" : L"", static_cast<int>(k) + 1, ~keys[i]);
            if (!tags.Has(SIT_TYPE_MACRO, name)) continue;
            names.AddGrow(name);
            texts.AddGrow(valueRuns(values[i]));
        }
        if (!names.IsEmpty()) archive.SetAllMacros(names, texts);
    }
}

bool ReportCreatorWordPrivate::replaceSituationData(MkOpenXMLWordArchive& archive, const Snapshots& snaps,
                                                    const MkWordTagNames& tags, bool reference, lfw::StagedFiles& staged,
                                                    PictureBytes& shots) {
    const MkString prefix = reference ? MkString(L"REF_SIT") : MkString(L"SIT");
    const auto has = [&](SitTypeTag kind, const MkString& name) {
        // 3D viewers are filled in the body only (validation tells of the others).
        return tags.Has(kind, name, kind == SIT_TYPE_MDLX);
    };
    const std::string output = outputPath.ShortChar();

    for (size_t k = 0; k < snaps.size(); ++k) {
        const Snapshot* snapshot = snaps[k];
        LFW_ASSERT_MSG(snapshot, "situation");
        if (!snapshot) continue;
        const int n = static_cast<int>(k) + 1;
        const std::wstring stem = tagStem(prefix, n);
        const MkString title = tagName(stem, L"TITLE"), text = tagName(stem, L"TEXT");
        const MkString picture = tagName(stem, L"PICTURE"), model = tagName(stem, L"MDLX");
        const MkString table = tagName(stem, L"TABLE"), chart = tagName(stem, L"CHART");
        const MkString link = fromStr(snapshot->cloudViewerUrl());

        if (has(SIT_TYPE_TITLE, title)) archive.SetText(title, titleRuns(snapshot));
        if (has(SIT_TYPE_TEXT, text)) archive.SetText(text, descriptionRuns(snapshot));
        // The snapshot's picture (a model's preview), handed to the package in memory.
        MkOpenXMLPicture shown;
        auto pictureBytes = [&]() -> const MkOpenXMLPicture* {
            const PictureBytes::Picture* bytes = shots.Of(snapshot);
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
        auto putImage = [&](const MkString& tag, bool inViewer) {
            const MkOpenXMLPicture* bytes = pictureBytes();
            if (!bytes) {
                REP_LOG_WARNING(
                    lfw::String("Snapshot '%1' has no picture for %2.").arg(snapshot->name().toStdWString()).arg(tag.Std()));
                leaveOut(snapshot);
                return true;
            }
            if (!archive.SetImage(tag, *bytes, inViewer, inViewer ? picture : MkString(), link)) {
                REP_LOG_ERROR("Error adding image file to archive.");
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
                    MkString modelPath;
                    modelPath.MakeForm("%s/%s_%ls%d-%d.mdlx", folderOf(output).c_str(), stemOf(output).c_str(), ~prefix, n, 1);
                    const auto* bytes = mdlx ? mdlx->internal_mdlxZipMemFile() : nullptr;
                    bool saved = bytes && !bytes->IsEmpty();
                    if (saved && embedMdlx) {
                        MkString id;
                        const MkString name = modelPath.Mid(modelPath.Find(L'/', modelPath.Length() - 1, false) + 1);
                        saved = archive.EmbedModel(bytes->GetBuffer(), bytes->GetSize(), name, &id);
                        modelPath = MkString(MkOpenXMLPlugin::EMBEDDED_PREFIX) + id + L"]";
                    } else if (saved) {
                        const std::string modelFile = staged.stage(modelPath.ShortChar());
                        saved = !modelFile.empty() && bytes->Save(MkString(modelFile.c_str()));
                    }
                    if (!saved) {
                        REP_LOG_ERROR("Error saving Mdlx file.");
                        return false;
                    }
                    if (!archive.SetMDLX(model, modelPath, pictureBytes())) {
                        REP_LOG_ERROR("Error adding MDLX file to archive.");
                        return false;
                    }
                }
            }
            // A model without a preview shows no picture.
            if (has(SIT_TYPE_PICTURE, picture) && shots.Of(snapshot) && !putImage(picture, false)) return false;
            break;
        }
        case Snapshot::TABLE: {
            const Table* data = snapshot->table();
            if (!data) break;
            if (has(SIT_TYPE_TABLE, table) && !archive.SetTable(table, *data)) {
                REP_LOG_ERROR("Error adding table to archive.");
                return false;
            }
            if (has(SIT_TYPE_CHART, chart)) {
                MkChartData chartData(*data);
                chartData.m_title = fromStr(snapshot->title());
                MkString why;
                if (!archive.SetChart(chart, chartData, &why)) {
                    if (why.IsEmpty()) REP_LOG_ERROR("Error adding chart file to archive.");
                    else REP_LOG_ERROR(lfw::String("%1: %2").arg(chart.Std()).arg(why.Std()));
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

// ---------------------------------------------------------------- validation

bool ReportCreatorWordPrivate::validate(Str* report) const {
    LFW_ASSERT(report);
    if (!report) return false;
    MkString text;
    const bool result = validateTemplate(text);
    *report = ug::Convert::toStr(text);
    return result;
}

bool ReportCreatorWordPrivate::validateTemplate(MkString& report) const {
    report.Empty();
    Snapshots main, ref;
    gatherSnapshots(repository.p(), &main);
    if (main.empty()) {
        report = MkString(L"No active snapshots in repository");
        return false;
    }
    MkOpenXMLWordArchive archive;
    if (!archive.Open(templatePath) || !archive.Document()->GetBody()) {
        // The reason generate gives for refusing the template.
        report = MkString(L"Not able to open template file");
        if (!archive.IsOpen() && looksLikeZip(templatePath.ShortChar())) report += L": " + archive.Error();
        return false;
    }
    gatherSnapshots(referenceRepository.p(), &ref);
    MkWordDocumentContent content;
    archive.GetDocumentContent(content);
    return validateOpened(archive, content, main, ref, report);
}

bool ReportCreatorWordPrivate::validateOpened(MkOpenXMLWordArchive& archive, const MkWordDocumentContent& content,
                                              const Snapshots& main, const Snapshots& ref, MkString& report) const {
    report.Empty();
    const MkOpenXMLWordDocument& probe = *archive.Document();
    const bool referenceChecks = !ref.empty();
    MkString unmatched, genericOutside, unused;

    bool passed = true;
    const struct {
        SitTypeTag kind;
        NeededType type;
    } typed[] = {{SIT_TYPE_PICTURE, NEEDS_IMAGE},
                 {SIT_TYPE_TABLE, NEEDS_TABLE},
                 {SIT_TYPE_CHART, NEEDS_TABLE},
                 {SIT_TYPE_MDLX, NEEDS_MDLX}};
    for (const auto& list : typed)
        for (const MkWordDocumentTag& tag : *content.GetTags(list.kind))
            if (!viewerInBody(archive, tag, unmatched) || !validateTag(tag, list.type, main, ref, unmatched, genericOutside) ||
                (list.kind == SIT_TYPE_CHART && (!tag.name.StartsWith(L"REF_") || referenceChecks) &&
                 !chartFits(archive, tag, tag.name.StartsWith(L"REF_") ? ref : main, unmatched)))
                passed = false;
    for (SitTypeTag kind : {SIT_TYPE_TEXT, SIT_TYPE_TITLE}) {
        for (const MkWordDocumentTag& tag : *content.GetTags(kind)) {
            if (!validateTagPosition(tag, genericOutside)) {
                passed = false;
                continue;
            }
            const bool isRef = tag.name.StartsWith(L"REF_");
            if (!validateSituationIndex(tag, isRef ? ref : main, unmatched)) passed = false;
        }
    }
    if (!passed) {
        if (!unmatched.IsBlank()) section(report, L"Unmatched tags:\n", unmatched);
        if (!genericOutside.IsBlank()) section(report, L"Generic tags outside group:\n", genericOutside);
    }
    // What a report refuses fails validation too, in the same words.
    const MkStringArray nested = nestedGroups(probe.GetBody());
    if (!nested.IsEmpty()) {
        MkString lines;
        for (int i = 0; i < nested.GetSize(); ++i) lines += nested[i] + L"\n";
        section(report, L"Nested groups:\n", lines);
        passed = false;
    }
    const MkStringArray outside = storyGroups(archive);
    if (!outside.IsEmpty()) {
        MkString lines;
        for (int i = 0; i < outside.GetSize(); ++i) lines += outside[i] + L"\n";
        section(report, L"Groups outside the body:\n", lines);
        passed = false;
    }
    const MkWordDocumentTagArray* others = content.GetTags(SIT_TYPE_NONE);
    if (!others->IsEmpty()) {
        bool opened = false;
        for (const MkWordDocumentTag& tag : *others) {
            if (tag.groupMarker || tag.name.IsBlank()) continue;  // groups, and controls without a tag
            if (!opened) {
                report += MkString(L"Unknown tags:\n");
                report += MkString(TemplateTags::VALIDATION_SEPARATOR);
                opened = true;
            }
            MkString line;
            line.MakeFormWide(L"%ls: Unknown tag\n", ~tag.name);
            report += line;
        }
        report += MkString(L"\n\n");
    }
    validateSituationUsage(main, content, false, unused);
    if (referenceChecks) validateSituationUsage(ref, content, true, unused);
    if (!unused.IsBlank()) section(report, L"Unused snapshots\n", unused);

    MkString unknownFields, warnings;
    for (const MkWordDocumentTag& tag : *content.GetTags(SIT_TYPE_MACRO)) {
        validateMacro(tag, main, false, unknownFields, warnings);
        if (referenceChecks) validateMacro(tag, ref, true, unknownFields, warnings);
    }
    if (!unknownFields.IsBlank()) section(report, L"Unknown field values\n", unknownFields);
    if (!warnings.IsBlank()) section(report, L"Field value warnings\n", warnings);

    if (!referenceChecks) {
        bool referenceTags = false;
        for (SitTypeTag kind : {SIT_TYPE_TITLE, SIT_TYPE_TEXT, SIT_TYPE_PICTURE, SIT_TYPE_MDLX, SIT_TYPE_TABLE})
            for (const MkWordDocumentTag& tag : *content.GetTags(kind)) referenceTags |= tag.name.StartsWith(L"REF_");
        if (referenceTags)
            section(report, L"Reference tags\n",
                    MkString(L"Reference tags were found in template, but no reference repository specified"));
    }
    if (report.IsBlank()) report = MkString(L"No warnings or errors found");
    return passed;
}

bool ReportCreatorWordPrivate::viewerInBody(MkOpenXMLWordArchive& archive, const MkWordDocumentTag& tag, MkString& unmatched) {
    if (tag.kind != SIT_TYPE_MDLX && tag.kind != SIT_TYPE_REF_MDLX) return true;
    if (tag.part.IsEmpty()) return true;
    MkString line;
    line.MakeFormWide(L"%ls: 3D viewer controls are filled in the document's body only, not in %ls\n", ~tag.name,
                      ~placeOf(archive, tag.part));
    unmatched += line;
    return false;
}

bool ReportCreatorWordPrivate::validateTag(const MkWordDocumentTag& tag, NeededType type, const Snapshots& main,
                                           const Snapshots& ref, MkString& unmatched, MkString& genericOutside) const {
    const bool isRef = tag.name.StartsWith(L"REF_");
    if (isRef && ref.empty()) return true;
    const Snapshots& snaps = isRef ? ref : main;
    if (!validateTagPosition(tag, genericOutside)) return false;
    if (tag.groupIndex >= 0) return true;
    if (!validateSituationIndex(tag, snaps, unmatched)) return false;
    return validateSituationObject(tag, type, snaps, unmatched);
}

bool ReportCreatorWordPrivate::validateTagPosition(const MkWordDocumentTag& tag, MkString& genericOutside) {
    if (tag.name.FindFirstNumber() >= 0 || tag.groupIndex != -1) return true;
    MkString line;
    line.MakeFormWide(L"%ls: Generic tag found outside group\n", ~tag.name);
    genericOutside += line;
    return false;
}

bool ReportCreatorWordPrivate::validateSituationIndex(const MkWordDocumentTag& tag, const Snapshots& snaps, MkString& unmatched) {
    if (tag.groupIndex >= 0) return true;
    const int n = TemplateTags::getTagIndex(tag.name);
    if (n < 0) return false;
    if (n <= countOf(snaps)) return true;
    MkString line;
    line.MakeFormWide(L"%ls: Snapshot %i does not exist\n", ~tag.name, n);
    unmatched += line;
    return false;
}

bool ReportCreatorWordPrivate::validateSituationObject(const MkWordDocumentTag& tag, NeededType type, const Snapshots& snaps,
                                                       MkString& unmatched) {
    const int n = TemplateTags::getTagIndex(tag.name);
    // A tag numbered 0 names no snapshot.
    const Snapshot* snapshot = n >= 1 && n <= countOf(snaps) ? snaps[static_cast<size_t>(n - 1)] : nullptr;
    bool matches = false;
    if (snapshot) {
        const Snapshot::SnapshotType kind = snapshot->type();
        switch (type) {
        case NEEDS_TABLE: matches = kind == Snapshot::TABLE; break;
        case NEEDS_IMAGE:
        case NEEDS_MDLX: matches = kind == Snapshot::IMAGE || kind == Snapshot::MDLX; break;
        default: LFW_FAIL_MSG("Unhandled snapshot type"); return true;
        }
    }
    if (matches) return true;
    MkString line;
    line.MakeFormWide(L"%ls: Snapshot does not match tag type\n", ~tag.name);
    unmatched += line;
    return false;
}

void ReportCreatorWordPrivate::validateSituationUsage(const Snapshots& snaps, const MkWordDocumentContent& content,
                                                      bool reference, MkString& unused) const {
    const MkString prefix = reference ? MkString(L"REF_SIT") : MkString(L"SIT");
    bool anyGeneric = false;
    for (SitTypeTag kind :
         {SIT_TYPE_PICTURE, SIT_TYPE_MDLX, SIT_TYPE_TABLE, SIT_TYPE_CHART, SIT_TYPE_TITLE, SIT_TYPE_TEXT, SIT_TYPE_MACRO})
        anyGeneric |= content.GetTags(kind)->HasGenericTag();
    // The snapshots generic tags repeat over, by position.
    std::vector<bool> generic(snaps.size(), false);
    for (int i = 0; i < genericSnapshotIndices.GetSize(); ++i)
        if (genericSnapshotIndices[i] >= 0 && static_cast<size_t>(genericSnapshotIndices[i]) < generic.size())
            generic[static_cast<size_t>(genericSnapshotIndices[i])] = true;
    for (size_t k = 0; k < snaps.size(); ++k) {
        const Snapshot* snapshot = snaps[k];
        LFW_ASSERT_MSG(snapshot, "situation");
        if (!snapshot) continue;
        const int n = static_cast<int>(k) + 1;
        const std::wstring stem = tagStem(prefix, n);
        bool used = content.GetTags(SIT_TYPE_TITLE)->Exists(tagName(stem, L"TITLE")) ||
                    content.GetTags(SIT_TYPE_TEXT)->Exists(tagName(stem, L"TEXT"));
        used = used || (generic[k] && anyGeneric);
        const Snapshot::SnapshotType type = snapshot->type();
        if (!used && (type == Snapshot::IMAGE || type == Snapshot::MDLX))
            used = content.GetTags(SIT_TYPE_PICTURE)->Exists(tagName(stem, L"PICTURE")) ||
                   content.GetTags(SIT_TYPE_MDLX)->Exists(tagName(stem, L"MDLX"));
        // A table shows in its table tags and in its chart tags alike.
        if (!used && type == Snapshot::TABLE)
            used = content.GetTags(SIT_TYPE_TABLE)->Exists(tagName(stem, L"TABLE")) ||
                   content.GetTags(SIT_TYPE_CHART)->Exists(tagName(stem, L"CHART"));
        if (used) continue;
        MkString line;
        line.MakeFormWide(L"Snapshot %i not used.\n", n);
        unused += line;
    }
}

void ReportCreatorWordPrivate::validateMacro(const MkWordDocumentTag& tag, const Snapshots& snaps, bool referencePass,
                                             MkString& unknownFields, MkString& warnings) {
    const TemplateTags::FieldMacroCheck check = TemplateTags::checkFieldMacro(tag.name, snaps, referencePass);
    if (check.verdict == TemplateTags::FieldMacroCheck::OTHER_SIDE) return;
    MkString line;
    if (check.verdict == TemplateTags::FieldMacroCheck::BAD_SYNTAX) {
        line.MakeFormWide(L"%ls: Syntax of field not correct\n", ~tag.name);
        unknownFields += line;
        return;
    }
    if (check.generic && tag.groupIndex == -1) {
        line.MakeFormWide(L"%ls: Generic field found outside group\n", ~tag.name);
        warnings += line;
    }
    switch (check.verdict) {
    case TemplateTags::FieldMacroCheck::NO_SNAPSHOT:
        line.MakeFormWide(L"%ls: Snapshot %i does not exist\n", ~tag.name, check.number);
        warnings += line;
        break;
    case TemplateTags::FieldMacroCheck::MISSING_EVERYWHERE:
        line.MakeFormWide(L"%ls: Generic field not found in any snapshots\n", ~check.key);
        unknownFields += line;
        break;
    case TemplateTags::FieldMacroCheck::MISSING_SOMEWHERE:
        line.MakeFormWide(L"%ls: Generic field not found for all snapshots\n", ~check.key);
        unknownFields += line;
        break;
    case TemplateTags::FieldMacroCheck::UNKNOWN_FIELD:
        line.MakeFormWide(L"%ls: Unknown field name\n", ~check.key);
        unknownFields += line;
        break;
    default: break;
    }
}

// ---------------------------------------------------------------- summary

bool ReportCreatorWordPrivate::summarize(const Str& path, Str* summary) {
    LFW_ASSERT(summary);
    if (!summary) return false;
    MkString text;
    const bool result = summarizeTemplate(ug::Convert::toMkString(path), text);
    *summary = ug::Convert::toStr(text);
    return result;
}

bool ReportCreatorWordPrivate::summarizeTemplate(const MkString& path, MkString& summary) {
    summary.Empty();
    MkOpenXMLWordArchive archive;
    if (!archive.Open(path) || !archive.Document()->GetBody()) {
        summary = MkString(L"Not able to open template file");
        return false;
    }
    MkWordDocumentContent content;
    archive.GetDocumentContent(content);
    const MkWordDocumentTagArray& all = content.GetAllTags();
    // The kinds of each chart tag's charts, tags in document order.
    MkString charts;
    MkStringArray seen;
    for (const MkWordDocumentTag& tag : *content.GetTags(SIT_TYPE_CHART)) {
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
    for (const MkWordDocumentTag& tag : all) groups += tag.groupMarker && tag.groupIndex < 0 && tag.part.IsEmpty() ? 1 : 0;
    static const struct {
        int kind;
        const wchar_t* line;
    } kinds[] = {{3, L"Title\r\n"},       {5, L"Description\r\n"},  {1, L"Image\r\n"},       {7, L"Mdlx 3D Model\r\n"},
                 {11, L"Table data\r\n"}, {15, L"Table chart\r\n"}, {9, L"Field values\r\n"}};
    for (int g = 0; g < groups; ++g) {
        bool present[7] = {false, false, false, false, false, false, false};
        bool any = false;
        for (const MkWordDocumentTag& tag : all) {
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
    for (const MkWordDocumentTag& tag : all) {
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
