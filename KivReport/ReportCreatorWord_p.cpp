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

namespace {

using creator::descriptionRuns;
using creator::folderOf;
using creator::fromStr;
using creator::macroEnabledName;
using creator::stemOf;
using creator::titleRuns;
using creator::valueRuns;

}  // namespace

namespace wordcreator {

int countOf(const lfw::Collection<const Snapshot>& snaps) {
    return snaps.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(snaps.size());
}

MkString placeOf(OpenXMLWordArchive& archive, const MkString& part) {
    for (const WordStory& story : archive.Stories())
        if (story.part->Name() == part) return MkString(L"the ") + story.kind + L" " + part;
    return part;
}

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

}  // namespace wordcreator

using wordcreator::countOf;
using wordcreator::placeOf;
using wordcreator::tagName;
using wordcreator::tagStem;

ReportCreatorWordPrivate::ReportCreatorWordPrivate(Repository* repo, const Str& path) : ReportCreatorBase(repo, path) {}

MkStringArray ReportCreatorWordPrivate::nestedGroups(const XmlElement& body) {
    MkStringArray lines;
    XmlElementList controls;
    OpenXMLDocument::FindAllElements(body, "w:sdt", &controls, true, true);
    for (const XmlElement& sdt : controls) {
        if (!OpenXMLDocument::IsSdtGroup(sdt) || !OpenXMLWordDocument::IsInSdtGroup(sdt.GetParentElement())) continue;
        // A group repeats its content once per snapshot: one inside another would
        // repeat it for every pair.
        const MkString name = OpenXMLWordDocument::GetSdtName(sdt);
        MkString line;
        if (name.IsBlank()) line = L"The template's group without a tag lies inside another group; groups cannot be nested.";
        else line.MakeFormWide(L"The template's group '%ls' lies inside another group; groups cannot be nested.", ~name);
        lines.AddGrow(line);
    }
    return lines;
}

MkStringArray ReportCreatorWordPrivate::storyGroups(OpenXMLWordArchive& archive) {
    MkStringArray lines;
    for (const WordStory& story : archive.Stories()) {
        XmlElementList controls;
        OpenXMLDocument::FindAllElements(story.document->GetContentRoot(), "w:sdt", &controls, true, true);
        for (const XmlElement& sdt : controls) {
            if (!OpenXMLDocument::IsSdtGroup(sdt)) continue;
            // A page's header, footer or notes are no place to repeat content per snapshot.
            const MkString name = OpenXMLWordDocument::GetSdtName(sdt);
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
        reportError(ProblemCode::InvalidArgument, "Could not create report file. No active snapshots in repository.");
        return false;
    }
    // The template's package is read once, edited in memory and written once as the report.
    OpenXMLWordArchive archive;
    archive.ReportTo(&problems);
    if (!archive.Open(templatePath)) {
        reportError(ProblemCode::WrongContent, lfw::String(archive.Error() + L"."));
        return false;
    }
    archive.SetReportPath(outputPath);
    archive.SetMacroEnabled(macroEnabledName(outputPath));
    // Models come from the template's folder and the report's.
    archive.SetModelSources({folderOf(templatePath.ShortChar())}, {});
    const XmlElement body = archive.Document()->GetBody();
    if (!body) {
        reportError(ProblemCode::WrongContent, "The document part word/document.xml has no body (w:body in w:document).");
        return false;
    }
    MkStringArray misplaced = nestedGroups(body);
    misplaced.Append(storyGroups(archive));
    if (!misplaced.IsEmpty()) {
        reportError(ProblemCode::General, lfw::String(misplaced[0]));
        return false;
    }
    {
        // The template's tags as read before anything changes: whether it holds
        // any, and what validate says of it, which generate tells of the tags
        // the report leaves unfilled (the template is not read a second time).
        WordDocumentContent tags;
        archive.GetDocumentContent(tags);
        templateWithoutTags = true;
        for (const WordDocumentTag& tag : tags.GetAllTags())
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
    TemplateTags::getSituationTypeIndices(snapshots, mainSelection, &images, &tables, &models, &problems);
    if (referencePass)
        TemplateTags::getSituationTypeIndices(referenceSnapshots, referenceSelection, &refImages, &refTables, &refModels,
                                              &problems);

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
    if (!archive.SyncCharts())
        reportWarning(ProblemCode::General, "Charts repeated by groups could not all get a chart part of their own.");

    bool filled = false;
    {
        // The tags, and the snapshots' pictures (encoded once, handed over in memory
        // and stored by the package), are needed while the content is filled only.
        WordTagNames tags;
        archive.GetTagNames(&tags);
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
    if (embedMdlx && !archive.EmbedAllMdlxFilesInArchive())
        reportWarning(ProblemCode::ContentLeftOut, "Not every model file could be embedded in the report.");
    archive.KeepFilledContentAsText();
    if (!archive.Save(MkString(reportFile.c_str()))) {
        reportError(ProblemCode::WriteFailed, lfw::String(archive.Error() + L"."));
        return false;
    }
    for (const MkString& warning : archive.Warnings()) reportWarning(ProblemCode::General, lfw::String(warning + L"."));
    return true;
}

void ReportCreatorWordPrivate::replaceMacros(OpenXMLWordArchive& archive, const Snapshots& snaps, const WordTagNames& tags,
                                             bool reference) const {
    for (size_t k = 0; k < snaps.size(); ++k) {
        const Snapshot* snapshot = snaps[k];
        LFW_ASSERT_MSG(snapshot, "situation");
        if (!snapshot) continue;
        const FieldValues fields = snapshot->fieldValues();
        const MkStringArray keys = FieldMacros::getKeysFromFieldValues(fields);
        const MkStringArray values = FieldMacros::getValuesFromFieldValues(fields);
        MkStringArray names;
        MkArrayT<FormattedTextArray> texts;
        for (int i = 0; i < keys.GetSize(); ++i) {
            MkString name;
            name.MakeFormWide(L"%lsSIT%i_$%ls", reference ? L"REF_" : L"", static_cast<int>(k) + 1, ~keys[i]);
            if (!tags.Has(SIT_TYPE_MACRO, name)) continue;
            names.AddGrow(name);
            texts.AddGrow(valueRuns(problems, values[i]));
        }
        if (!names.IsEmpty()) archive.SetAllMacros(names, texts);
    }
}

bool ReportCreatorWordPrivate::replaceSituationData(OpenXMLWordArchive& archive, const Snapshots& snaps, const WordTagNames& tags,
                                                    bool reference, lfw::StagedFiles& staged, PictureBytes& shots) {
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

        if (has(SIT_TYPE_TITLE, title)) archive.SetText(title, titleRuns(problems, snapshot));
        if (has(SIT_TYPE_TEXT, text)) archive.SetText(text, descriptionRuns(problems, snapshot));
        // The snapshot's picture (a model's preview), handed to the package in memory.
        OpenXMLPicture shown;
        auto pictureBytes = [&]() -> const OpenXMLPicture* {
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
            const OpenXMLPicture* bytes = pictureBytes();
            if (!bytes) {
                reportWarning(
                    ProblemCode::General,
                    lfw::String("Snapshot '%1' has no picture for %2.").arg(snapshot->name().toStdWString()).arg(tag.Std()));
                leaveOut(snapshot);
                return true;
            }
            if (!archive.SetImage(tag, *bytes, inViewer, inViewer ? picture : MkString(), link)) {
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
                    MkString modelPath;
                    modelPath.MakeForm("%s/%s_%ls%d-%d.mdlx", folderOf(output).c_str(), stemOf(output).c_str(), ~prefix, n, 1);
                    const auto* bytes = mdlx ? mdlx->internal_mdlxZipMemFile() : nullptr;
                    bool saved = bytes && !bytes->IsEmpty();
                    if (saved && embedMdlx) {
                        MkString id;
                        const MkString name = modelPath.Mid(modelPath.Find(L'/', modelPath.Length() - 1, false) + 1);
                        saved = archive.EmbedModel(bytes->GetBuffer(), bytes->GetSize(), name, &id);
                        modelPath = MkString(OpenXMLPlugin::EMBEDDED_PREFIX) + id + L"]";
                    } else if (saved) {
                        const std::string modelFile = staged.stage(modelPath.ShortChar());
                        saved = !modelFile.empty() && bytes->Save(MkString(modelFile.c_str()));
                    }
                    if (!saved) {
                        reportError(ProblemCode::General, "Error saving Mdlx file.");
                        return false;
                    }
                    if (!archive.SetMDLX(model, modelPath, pictureBytes())) {
                        reportError(ProblemCode::General, "Error adding MDLX file to archive.");
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
                reportError(ProblemCode::General, "Error adding table to archive.");
                return false;
            }
            if (has(SIT_TYPE_CHART, chart)) {
                ChartData chartData(*data);
                chartData.m_title = fromStr(snapshot->title());
                MkString why;
                if (!archive.SetChart(chart, chartData, &why)) {
                    if (why.IsEmpty()) reportError(ProblemCode::General, "Error adding chart file to archive.");
                    else reportError(ProblemCode::General, lfw::String("%1: %2").arg(chart.Std()).arg(why.Std()));
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
