// Fuzz target: any bytes as an HTML template must give a saved report or a
// false result, without crashing, reading out of bounds or hanging; validation
// and tag listing of the same text must end too.
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "LibCore/lfwCollection.h"
#include "LibCore/lfwFile.h"
#include "LibCore/lfwLogManager.h"
#include "host/core/KivImage.h"
#include "impl/html/HtmlDocument.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using kiv::rep::HtmlDocument;
using kiv::rep::Snapshot;

// Four snapshots, one of each kind the tags can meet, shared by every run, and
// a folder for the reports that is emptied after each run and removed at exit.
struct Fixture {
    lfw::Collection<const Snapshot> snapshots;
    std::vector<int> indices = {0, 1, 2, 3, 1, 9};
    std::string dir;

    Fixture() {
        lfw::LogManager::instance()->setLevelRecursive("", 0);  // errors are expected by the thousand
        std::string pattern = lfw::FileSystem::tempDirectoryPath().toStdString() + "/fuzz_html_XXXXXX";
        if (::mkdtemp(&pattern[0])) dir = pattern;

        kiv::PtrRef<Snapshot> text = new Snapshot(Snapshot::IMAGE);
        text->setTitle("Title $(KEY)");
        text->setDescription("Line\n$(OTHER)");
        text->setFieldValues({{"KEY", "a<b"}, {"SITE", "s"}});
        kiv::PtrRef<Snapshot> image = new Snapshot(Snapshot::IMAGE);
        kiv::PtrRef<kiv::Image> pixels = new kiv::Image(6, 4);
        image->setImage(pixels.p());
        kiv::PtrRef<Snapshot> table = new Snapshot(Snapshot::TABLE);
        kiv::PtrRef<kiv::rep::Table> cells = new kiv::rep::Table(2, 2);
        cells->setValue(0, 0, "x<5 & y>2");
        table->setTable(cells.p());
        kiv::PtrRef<Snapshot> model = new Snapshot(Snapshot::MDLX);
        model->setCloudViewerUrl("https://viewer/\"1\"");
        for (Snapshot* s : {text.p(), image.p(), table.p(), model.p()}) snapshots.push_back(s);
    }
    ~Fixture() {
        if (!dir.empty()) lfw::FileSystem::deleteDirectoryRecursive(dir);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture fixture;
    const std::string content(reinterpret_cast<const char*>(data), size);
    const bool plugin = size > 0 && (data[0] & 1);

    HtmlDocument report(kiv::Str(fixture.dir + "/report.html"));
    report.setDocumentContent(content);
    report.updateDocumentContent(fixture.snapshots, fixture.snapshots, fixture.indices, plugin);

    HtmlDocument checked(kiv::Str(fixture.dir + "/checked.html"));
    checked.setDocumentContent(content);
    std::string text;
    checked.validateDocument(fixture.snapshots, fixture.indices, false, text);
    checked.validateDocument(fixture.snapshots, fixture.indices, true, text);
    lfw::FileSystem::deleteAllFilesInDirectory(fixture.dir);
    return 0;
}
