// An application built against the installed KivReport package: a repository of
// an image, a 3D model (an Mdlx file named on the command line) and a table,
// saved and loaded, then an HTML report made by the creator the template calls
// for, whose result says what happened.
#include <KivReport/ReportComponent.h>
#include <KivReport/ReportCreator.h>
#include <KivReport/Repository.h>
#include <KivReport/Snapshot.h>
#include <KivReport/Table.h>
#include <host/core/KivImage.h>
#include <host/core/KivInstance.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

using namespace kiv;
using namespace kiv::rep;

static int failures = 0;
static void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
}

// The errors and warnings of a report call, as the log got them.
static void print(const ReportResult& result) {
    for (size_t i = 0; i < result.messageCount(); ++i)
        std::fprintf(stderr, "%s: %s\n", result.messageLevel(i) == ReportResult::Error ? "error" : "warning",
                     result.message(i).toStdString().c_str());
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer MODEL.mdlx\n");
        return 2;
    }
    Instance instance;
    ReportComponent::initialize(&instance);  // once, before anything else

    // A picture: 64 x 48 pixels, RGB, rows top to bottom.
    PtrRef<Image> picture = new Image(64, 48);
    for (size_t i = 0; i < picture->byteCount(); ++i) picture->data()[i] = static_cast<unsigned char>(i % 251);
    PtrRef<Snapshot> image = new Snapshot(Snapshot::IMAGE);
    image->setName("stress");
    image->setTitle("Von Mises stress");
    image->setDescription("Peak stress $(SCALAR_RESULT_MAX)");
    image->setFieldValues({{"SCALAR_RESULT_MAX", "312 MPa"}});
    image->setImage(picture.p());

    // A 3D model: the Mdlx file the toolkit wrote, read byte for byte.
    PtrRef<Snapshot> model = new Snapshot(Snapshot::MDLX);
    model->setName("model");
    check(model->setModelFromFile(argv[1]), "model file read");

    PtrRef<Table> values = new Table(2, 2);
    values->setValue(0, 0, "x [mm]");
    values->setValue(0, 1, "w [mm]");
    values->setValue(1, 0, "1000");
    values->setValue(1, 1, "0.76");
    PtrRef<Snapshot> table = new Snapshot(Snapshot::TABLE);
    table->setName("deflection");
    table->setTable(values.p());

    char folder[] = "/tmp/kivreport-consumer-XXXXXX";
    check(mkdtemp(folder) != nullptr, "temporary folder");
    const std::string dir = folder;

    PtrRef<Repository> repository = new Repository;
    repository->addSnapshot(image.p());
    repository->addSnapshot(model.p());
    repository->addSnapshot(table.p());
    check(repository->saveRepository(dir + "/results.kivrep"), "repository saved");

    PtrRef<Repository> loaded = new Repository;
    check(loaded->loadRepository(dir + "/results.kivrep"), "repository loaded");
    check(loaded->snapshotCount() == 3, "three snapshots");
    check(loaded->snapshotCount() == 3 && loaded->snapshot(2)->table()->value(1, 1) == Str("0.76"), "table cell");

    std::ofstream(dir + "/template.html")
        << "<html><body><h1><orvrepsit name=\"SIT1_TITLE\">title</orvrepsit></h1>\n"
           "<p><orvrepsit name=\"SIT1_TEXT\">text</orvrepsit></p>\n"
           "<orvrepsit name=\"SIT1_PICTURE\"><img src=\"x.jpg\" width=\"64\" height=\"48\" /></orvrepsit>\n"
           "<orvrepsit name=\"SIT3_TABLE\"><table><tr><td>cell</td></tr></table></orvrepsit>\n"
           "</body></html>\n";
    // The creator follows the template (HTML here; .pptx and .docx work the same way).
    std::unique_ptr<ReportCreator> creator = ReportCreator::create(loaded.p(), dir + "/template.html");
    check(creator != nullptr, "a creator for the template");
    if (!creator) return 1;
    ReportOptions options;  // every snapshot, the 3D viewer, no partial report
    const ReportResult result = creator->generate(dir + "/report.html", options);
    if (!result) print(result);
    check(result.succeeded(), "report generated");
    check(result.fileCount() == 2 && result.file(0) == Str(dir + "/report.html"), "the report and its picture written");

    // A failed call says why in its result: here, a repository without snapshots.
    PtrRef<Repository> empty = new Repository;
    const ReportResult failed = ReportCreator::create(empty.p(), dir + "/template.html")->generate(dir + "/empty.html", options);
    print(failed);
    check(!failed && failed.errorCount() == 1, "an empty repository refused, with one error");

    std::stringstream report;
    report << std::ifstream(dir + "/report.html").rdbuf();
    check(report.str().find("<h1><orvrepsit name=\"SIT1_TITLE\">Von Mises stress</orvrepsit></h1>") != std::string::npos,
          "title");
    check(report.str().find("Peak stress 312 MPa") != std::string::npos, "description with its field value");
    check(report.str().find("<td>0.76</td>") != std::string::npos, "table");
    check(std::ifstream(dir + "/report_SIT1-1.jpg").good(), "picture beside the report");

    for (const char* f : {"/results.kivrep", "/template.html", "/report.html", "/report_SIT1-1.jpg"})
        std::remove((dir + f).c_str());
    std::remove(folder);
    std::printf(failures ? "consumer: %d checks failed\n" : "consumer: all checks passed\n", failures);
    return failures ? 1 : 0;
}
