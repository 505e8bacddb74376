// Fuzz target: bytes opened as an Office package. The package object: every
// part parsed, its relationships read, a part copied and related, the package
// saved. The report editor on the same bytes: charts checked and filled from a
// small table and copied, media stored, the viewer controls listed, converted
// and given a model. All must end in results without crashing.
#include "impl/openxml/MkChartData.h"
#include "impl/openxml/MkOpenXMLPackageEditor.h"
#include "KivReport/Table.h"
#include "LibCore/lfwLogManager.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Files of this process for the editor's input and the saved packages.
std::string scratch(const char* what) { return "/tmp/fuzz_openxml_package_" + std::to_string(getpid()) + what; }

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
    package.Save(MkString(scratch(".out").c_str()));
}

// The editor opens packages from files: the bytes are written to one first.
void exerciseEditor(const uint8_t* data, size_t size) {
    const std::string input = scratch(".in");
    FILE* f = std::fopen(input.c_str(), "wb");
    if (!f) return;
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) return;
    MkOpenXMLPackageEditor editor;
    if (!editor.Open(MkString(input.c_str()))) return;

    kiv::rep::Table table(3, 3);
    const char* cells[3][3] = {{"x", "a", "b"}, {"1", "2", "n/a"}, {"2", "4", "6"}};
    for (size_t r = 0; r < 3; ++r)
        for (size_t c = 0; c < 3; ++c) table.setValue(r, c, kiv::Str(cells[r][c]));
    const MkChartData chartData(table);
    std::vector<MkOpenXMLPart*> charts;
    MkOpenXMLPackage& package = editor.Package();
    for (int i = 0; i < package.PartCount() && charts.size() < 4; ++i)
        if (package.PartAt(i)->ContentType().Contains(MkString(L"drawingml.chart"))) charts.push_back(package.PartAt(i));
    MkString kinds, why;
    editor.CheckCharts(charts, &table, &kinds, &why);
    for (MkOpenXMLPart* chart : charts) {
        editor.UpdateChart(chart, chartData, &why);
        editor.CopyChart(chart);
    }
    editor.AddMedia(MkString(L"picture.png"), "\x89PNG", 4);

    MkStringArray models;
    editor.GetReferredMdlxFiles(&models, false);
    editor.GetReferredMdlxFiles(&models, true);
    editor.ConvertFromOldPlugin();
    MkStringArray ids;
    if (MkOpenXMLRelationships* rels = editor.MainRels())
        for (int i = 0; i < rels->Count() && ids.GetSize() < 4; ++i)
            if (rels->At(i).type == MkString(MkOpenXMLPackageEditor::REL_CONTROL)) ids.AddGrow(rels->At(i).id);
    for (int i = 0; i < ids.GetSize(); ++i)
        editor.AddActiveXPluginFile(editor.MainPart(), MkString(L"Embedded[mdlx1]"), ids[i], editor.MainRels()->NextId());
    MkString id;
    editor.EmbedModel("model", 5, MkString(L"model.mdlx"), &id);
    editor.ReplacePathToMdlxFileInPlugins(MkString(L"model.mdlx"), MkString(L"Embedded[") + id + L"]");
    editor.Save(MkString(scratch(".out").c_str()));
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
    exerciseEditor(data, size);
    std::remove(scratch(".in").c_str());
    std::remove(scratch(".out").c_str());
    return 0;
}
