// Fuzz target: bytes opened as an Office package by the report editor. Every
// part parsed (every other one to edit) with its relationships read; then, when
// the package has a main part, its charts checked, filled from a small table and
// copied, a picture stored, the viewer controls listed, converted, copied and
// given a model; the package saved. All must end in results without crashing.
#include "impl/openxml/ChartData.h"
#include "impl/openxml/OpenXMLPackageEditor.h"
#include "KivReport/Table.h"
#include "LibCore/lfwLogManager.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kiv::rep;  // the layers' classes

namespace {

void exerciseEditor(OpenXMLPackageEditor& editor) {
    kiv::rep::Table table(3, 3);
    const char* cells[3][3] = {{"x", "a", "b"}, {"1", "2", "n/a"}, {"2", "4", "6"}};
    for (size_t r = 0; r < 3; ++r)
        for (size_t c = 0; c < 3; ++c) table.setValue(r, c, kiv::Str(cells[r][c]));
    std::vector<OpenXMLPart*> charts;
    OpenXMLPackage& package = editor.package();
    for (int i = 0; i < package.partCount() && charts.size() < 4; ++i)
        if (package.partAt(i)->contentType().find("drawingml.chart") != std::string::npos) charts.push_back(package.partAt(i));
    std::string kinds, why;
    editor.checkCharts(charts, &table, &kinds, &why);
    for (OpenXMLPart* chart : charts) {
        editor.updateChart(chart, ChartData(table), &why);
        editor.copyChart(chart);
    }
    editor.addMedia(std::string("picture.png"), "\x89PNG", 4);

    std::vector<std::string> models, ids;
    editor.getReferredMdlxFiles(&models, false);
    editor.getReferredMdlxFiles(&models, true);
    editor.convertFromOldPlugin();
    for (int i = 0; editor.mainRels() && i < editor.mainRels()->count() && ids.size() < 4; ++i)
        if (editor.mainRels()->at(i).type == std::string(OpenXMLPackageEditor::REL_CONTROL))
            ids.push_back(editor.mainRels()->at(i).id);
    for (int i = 0; i < static_cast<int>(ids.size()); ++i)
        editor.addActiveXPluginFile(editor.mainPart(), std::string("Embedded[mdlx1]"), ids[static_cast<size_t>(i)],
                                    editor.mainRels()->nextId());
    std::string id;
    editor.embedModel("model", 5, std::string("model.mdlx"), &id);
    editor.replacePathToMdlxFileInPlugins(std::string("model.mdlx"), std::string("Embedded[") + id + "]");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        lfw::LogManager::instance()->setLevelRecursive("", 0);  // errors are expected by the thousand
        return true;
    }();
    (void)quiet;
    if (size > (1u << 20)) return 0;
    // The editor opens packages from files.
    static const std::string input = "/tmp/fuzz_openxml_package_" + std::to_string(getpid()), output = input + ".out";
    lfw::Ref<ZipMemFile> memory = new ZipMemFile;
    if (!memory->copyData(data, size) || !memory->save(input)) return 0;
    OpenXMLPackageEditor editor;
    editor.open(input);  // without a main part the package is open all the same
    OpenXMLPackage& package = editor.package();
    for (int i = 0; package.isOpen() && i < package.partCount() && i < 64; ++i) {
        OpenXMLPart* part = package.partAt(i);
        if (part->xml() && i % 2) part->editXml();
        if (OpenXMLRelationships* rels = part->rels())
            for (int r = 0; r < rels->count(); ++r) package.part(&rels->at(r));
    }
    if (editor.isOpen()) exerciseEditor(editor);
    package.save(output);
    std::remove(input.c_str());
    std::remove(output.c_str());
    return 0;
}
