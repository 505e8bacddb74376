// Fuzz target: bytes opened as an Office package in memory. Reading its content
// types, relationships, charts and viewer controls, and the edits a report makes
// (content types, relationships, chart rewrites, control conversion, clean-up),
// must end in results without crashing; the package stays in memory. The same
// for the package object: every part parsed, its relationships read, a part
// copied and related, the package saved.
#include "impl/openxml/MkChartData.h"
#include "impl/openxml/MkOpenXMLArchive.h"
#include "impl/openxml/MkOpenXMLPackage.h"
#include "KivReport/Table.h"
#include "LibCore/lfwLogManager.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

class Package : public MkOpenXMLArchive {
public:
    explicit Package(const char* root) { SetPackageFolders(MkString(root)); }
};

void exercise(Package& package) {
    package.GetOfficeVersion();
    package.DoValueOfTagExistInContentTypes(MkString(L"Extension"), MkString(L"png"));
    package.AddContentToContentTypesXml(MkString(L"png"), OXML_CT_EXTENSION);
    package.AddContentToContentTypesXml(MkString(L"/ppt/slides/slide9.xml"), OXML_CT_SLIDE);

    MkStringArray targets, ids;
    package.GetRelsRelationFiles(package.GetMainRelsPath(), OXML_TARGET_CHART, &targets, &ids);
    package.GetRelsRelationFiles(MkString(MkOpenXMLArchive::PACKAGE_RELS_PART), OXML_TARGET_ACTIVEX, &targets);
    package.GetTargetOfId(package.GetMainRelsPath(), MkString(L"rId1"));
    package.AddTargetInRelsFile(package.GetMainRelsPath(), MkString(MkOpenXMLArchive::REL_TYPE_IMAGE),
                                MkString(L"media/image9.png"));

    // Every chart part of the package, rewritten from a small table.
    kiv::rep::Table table(3, 3);
    const char* cells[3][3] = {{"x", "a", "b"}, {"1", "2", "n/a"}, {"2", "4", "6"}};
    for (size_t r = 0; r < 3; ++r)
        for (size_t c = 0; c < 3; ++c) table.setValue(r, c, kiv::Str(cells[r][c]));
    MkChartData data(table);
    MkStringArray charts;
    package.FindFiles(package.GetRootFolder() + L"\\charts", false, &charts);
    for (int i = 0; i < charts.GetSize() && i < 4; ++i) {
        if (!charts[i].EndsWith(MkString(L".xml"))) continue;
        package.UpdateChart(charts[i], data);
        package.DuplicateChartDocuments(charts[i], true);
    }

    MkStringArray models;
    package.GetReferredMdlxFiles(&models, false);
    package.GetReferredMdlxFiles(&models, true);
    package.ConvertFromOldPlugin();
    package.AddFileToPresentationRels(MkString(L"mdlx1.mdlx"));
    MkString id;
    package.UpdateMdlxPathReference(&id, MkString(L"model.mdlx"), true);
    package.DeleteObsoleteFiles();
}

void exercisePackage(const uint8_t* data, size_t size) {
    lfw::Ref<PxZipMemFile> memory = new PxZipMemFile;
    MkOpenXMLPackage package;
    if (!memory->CopyData(data, size) || !package.Open(memory.p())) return;
    for (int i = 0; i < package.PartCount() && i < 64; ++i) {
        MkOpenXMLPart* part = package.PartAt(i);
        if (part->Xml() && i % 2) part->EditXml();
        if (MkOpenXMLRelationships* rels = part->Rels())
            for (int r = 0; r < rels->Count(); ++r) package.Part(&rels->At(r));
    }
    if (package.PartCount() > 0) {
        MkOpenXMLPart* copy = package.CopyPart(package.PartAt(0), package.NextPartName(package.PartAt(0)->Name()));
        if (copy) package.Rels().Relate(MkString(L"t"), copy->Name());
    }
    static const std::string out = "/tmp/fuzz_openxml_package_" + std::to_string(getpid()) + ".zip";
    package.Save(MkString(out.c_str()));
    std::remove(out.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        lfw::LogManager::instance()->setLevelRecursive("", 0);  // errors are expected by the thousand
        return true;
    }();
    (void)quiet;
    if (size > (1u << 20)) return 0;
    exercisePackage(data, size);
    PxZipMemFile memory;
    if (!memory.CopyData(data, size)) return 0;
    for (const char* root : {"ppt", "word"}) {
        Package package(root);
        if (!package.Open(&memory, ZIP_OPEN_READ_ONLY)) return 0;
        const bool word = package.FindFile(MkString(L"word\\document.xml")) >= 0;
        package.Close();
        if (word != (root[0] == 'w')) continue;
        // Edits on a copy: the input bytes stay as they were for the next round.
        PxZipMemFile copy;
        if (!copy.CopyData(data, size)) return 0;
        Package editable(root);
        if (!editable.Open(&copy, ZIP_OPEN)) continue;
        exercise(editable);
        editable.Close();
    }
    return 0;
}
