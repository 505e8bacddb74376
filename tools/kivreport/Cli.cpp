#include "tools/kivreport/Cli.h"
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreator.h"
#include "KivReport/ReportCreatorWord.h"
#include "KivReport/Repository.h"
#include "LibCore/lfwFile.h"
#include "LibCore/lfwLogManager.h"
#include "host/core/KivInstance.h"
#include "tools/kivreport/Files.h"
#include "tools/kivreport/Manifest.h"
#include "tools/kivreport/Options.h"
#include "tools/pdf/PdfConverter.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using kiv::Str;
using kiv::rep::ReportCreator;
using kiv::rep::ReportFormat;
using kiv::rep::ReportOptions;
using kiv::rep::ReportResult;
using kiv::rep::Repository;

namespace kivcli {

namespace {

// ---------------------------------------------------------------------------
// Logging: the library's messages go to the console, one line each. Exit
// statuses come from results, and for the repository commands from the errors
// captured while they ran (lfw::LogCapture), never from the console's text.

class CountingConsole : public lfw::LogDestination {
public:
    void log(const lfw::LogEvent& event) override {
        if (withLocations) {
            m_console->log(event);
            return;
        }
        // One line per message: the function and source lines only with -v.
        std::string message = event.message().toStdString();
        for (char& c : message)
            if (c == '\n' || c == '\r') c = ' ';
        m_console->log(lfw::LogEvent(event.source(), lfw::String(std::move(message)), event.level(), lfw::CodeLocation()));
    }
    std::atomic<bool> withLocations{false};

private:
    lfw::Ref<lfw::LogDestinationConsole> m_console = new lfw::LogDestinationConsole;
};

lfw::Ref<CountingConsole> g_console;

size_t errorsIn(const lfw::LogCapture& capture) {
    size_t count = 0;
    for (const lfw::LogCapture::Message& message : capture.messages()) count += message.level == lfw::Logger::LL_ERROR;
    return count;
}

// verbosity: -1 quiet, 0 default, 1 and more verbose.
void startComponent(int verbosity) {
    static kiv::Instance instance;
    kiv::rep::ReportComponent::initialize(&instance);
    lfw::LogManager* manager = lfw::LogManager::instance();
    if (g_console.isNull()) g_console = new CountingConsole;
    g_console->withLocations = verbosity > 0;
    manager->setDestinationRecursive("", g_console.p());
    int level = lfw::Logger::LL_WARNING;
    if (verbosity < 0) level = lfw::Logger::LL_ERROR;
    if (verbosity == 1) level = lfw::Logger::LL_INFO;
    if (verbosity > 1) level = lfw::Logger::LL_DEBUG;
    manager->setLevelRecursive("kiv", level);
}

// ---------------------------------------------------------------------------
// Help texts

const char* const kMainHelp =
    "Usage: kivreport [-v|-q] COMMAND [ARGS]\n"
    "\n"
    "Makes HTML, PowerPoint and Word reports from repositories of snapshots (images,\n"
    "3D models, tables) and templates, and converts repositories to and from\n"
    "editable files.\n"
    "\n"
    "Commands:\n"
    "  repo create OUT --from MANIFEST.json   build a repository file from a manifest\n"
    "  repo show REPO [--json]                list the snapshots of a repository\n"
    "  repo export REPO DIR                   write a repository out as files and a manifest\n"
    "  generate --repo REPO --template T --out FILE   make a report\n"
    "  validate --repo REPO --template T      check a template against a repository\n"
    "  summarize T                            list the groups, tags and fields of a template\n"
    "  template controls IN.docx OUT.docx     turn {SIT1_TITLE} text markers into tagged controls\n"
    "\n"
    "Options for every command:\n"
    "  -v, --verbose   more log messages, each with where it was logged (twice:\n"
    "                  debug messages)\n"
    "  -q, --quiet     only error messages\n"
    "  -h, --help      help of the command\n"
    "      --version   the library version\n"
    "\n"
    "Exit status: 0 success, 1 the work found problems, 2 usage or input/output errors.\n";

const char* const kRepoHelp =
    "Usage: kivreport repo create OUT --from MANIFEST.json\n"
    "       kivreport repo show REPO [--json]\n"
    "       kivreport repo export REPO DIR [--force]\n"
    "\n"
    "Run 'kivreport repo SUBCOMMAND --help' for details.\n";

const char* const kCreateHelp =
    "Usage: kivreport repo create OUT --from MANIFEST.json\n"
    "\n"
    "Builds the repository file OUT from a JSON manifest listing snapshots:\n"
    "  {\"snapshots\": [\n"
    "    {\"type\": \"image\", \"name\": \"plate\", \"title\": \"...\", \"description\": \"...\",\n"
    "     \"fieldValues\": {\"DATABASE_NAME\": \"plate.mdb\"}, \"cloudViewerUrl\": \"...\",\n"
    "     \"image\": \"plate.png\"},\n"
    "    {\"type\": \"model\", \"name\": \"beam\", \"model\": \"beam.mdlx\"},\n"
    "    {\"type\": \"table\", \"name\": \"loads\",\n"
    "     \"table\": {\"csv\": \"loads.csv\", \"xAxisTitle\": \"x\", \"yAxisTitle\": \"F\"}},\n"
    "    {\"type\": \"table\", \"table\": {\"rows\": [[\"a\", \"b\"], [\"1\", \"2\"]]}}]}\n"
    "Images are PNG or JPEG files (JPEG files are stored byte for byte), models are\n"
    ".mdlx files, tables are CSV files (RFC 4180) or inline rows. Paths are relative\n"
    "to the manifest. A content of null makes a snapshot without content.\n"
    "An existing OUT is replaced only when the new file is complete.\n"
    "\n"
    "Options:\n"
    "  --from MANIFEST.json   the manifest (required)\n";

const char* const kShowHelp =
    "Usage: kivreport repo show REPO [--json]\n"
    "\n"
    "Lists the snapshots of a repository file: number (as in template tags), name,\n"
    "type, title, field values and content size.\n"
    "\n"
    "Options:\n"
    "  --json   print JSON instead of text\n";

const char* const kExportHelp =
    "Usage: kivreport repo export REPO DIR [--force] [--keep-going]\n"
    "\n"
    "Writes each snapshot's content into DIR (JPEG, .mdlx, CSV) with a manifest.json\n"
    "that 'kivreport repo create' reads back to the same repository. File names are\n"
    "made from the snapshot names and are safe and unique on every common file\n"
    "system. JPEG pictures are written as the repository stores them. DIR is created\n"
    "when its parent folder exists; an existing DIR must be empty.\n"
    "\n"
    "Every file is written completely before any replaces one of the same name.\n"
    "\n"
    "Options:\n"
    "  --force        write into a DIR that is not empty, replacing files of the same names\n"
    "  --keep-going   export a repository some of whose content cannot be read, without\n"
    "                 that content (exit status 1)\n";

const char* const kGenerateHelp =
    "Usage: kivreport generate --repo REPO --template T --out FILE [--ref REPO]\n"
    "                          [--snapshots LIST] [--no-3d-viewer] [--no-embed] [--pdf]\n"
    "                          [--keep-going] [--strict]\n"
    "\n"
    "Makes a report from a repository and a template. The format follows the\n"
    "template's extension: .html or .htm (an HTML report, whose pictures are\n"
    "written as JPEG files beside FILE), .docx or .docm (a Word report) or .pptx\n"
    "or .pptm (a PowerPoint report); for another extension, the Word or\n"
    "PowerPoint package the template is. A Word report is named .docx, or .docm to\n"
    "keep the template's macros (PowerPoint: .pptx, .pptm); a .docx or .pptx\n"
    "report leaves them out with a warning. The template's digital signatures\n"
    "are always left out (with a warning): they do not sign the report.\n"
    "\n"
    "Options:\n"
    "  --repo REPO        the repository file (required)\n"
    "  --template T       the template (required)\n"
    "  --out FILE         the report to write (required)\n"
    "  --ref REPO         reference repository for the REF_ tags\n"
    "  --snapshots LIST   snapshots that generic groups and slides repeat over:\n"
    "                     numbers counted from 1 as in tags, e.g. 1,3,5 or 2-4\n"
    "                     (default: all). HTML reports take them in the list's\n"
    "                     order, PowerPoint and Word reports in the repository's\n"
    "                     order\n"
    "  --no-3d-viewer     show 3D models as pictures instead of the online 3D viewer\n"
    "                     (--no-3d-plugin is an older name of this option)\n"
    "  --no-embed         do not embed model files (PowerPoint/Word reports; HTML\n"
    "                     reports never embed them)\n"
    "  --pdf              also write the report as PDF beside FILE (FILE with .pdf in\n"
    "                     place of its extension), through LibreOffice for\n"
    "                     PowerPoint and Word reports and headless Chromium for\n"
    "                     HTML reports; stopped after 3 minutes\n"
    "  --strict           fail, writing nothing, when the report would leave tags as\n"
    "                     the template has them (exit status 1); without it each\n"
    "                     such tag is a warning on stderr\n"
    "  --keep-going       accept a repository some of whose content cannot be read,\n"
    "                     and write the report (of any format) without pictures\n"
    "                     that cannot be made\n"
    "                     (the messages name those snapshots; exit status 1).\n"
    "                     Without it both are errors and no report is written.\n";

const char* const kValidateHelp =
    "Usage: kivreport validate --repo REPO --template T [--ref REPO] [--snapshots LIST]\n"
    "                          [--keep-going]\n"
    "\n"
    "Prints the validation report of a template against a repository (and a\n"
    "reference repository). Exit status 1 when it lists any error or warning.\n"
    "\n"
    "Options:\n"
    "  --repo REPO        the repository file (required)\n"
    "  --template T       the template (required)\n"
    "  --ref REPO         reference repository for the REF_ tags\n"
    "  --snapshots LIST   snapshots that generic groups repeat over (see generate)\n"
    "  --keep-going       check against a repository some of whose content cannot be read\n";

const char* const kSummarizeHelp =
    "Usage: kivreport summarize T\n"
    "\n"
    "Prints the generic groups, static snapshot tags and field values of a template.\n"
    "An HTML template must be well-formed XML (every element closed) for this.\n";

const char* const kControlsHelp =
    "Usage: kivreport template controls IN.docx OUT.docx\n"
    "\n"
    "Makes a Word template from a document written in any editor (LibreOffice Writer,\n"
    "an online editor): each text marker becomes a content control with that tag.\n"
    "  {SIT1_TITLE} {SIT1_TEXT} {SIT1_$KEY}   a text control in the marker's place\n"
    "  {SIT1_PICTURE}   a picture control around the picture in or next to the\n"
    "                   marker's paragraph, else around a placeholder picture\n"
    "  {SIT1_TABLE}     a table control around the table after the marker's paragraph\n"
    "  {SIT1_CHART}     a chart control around the chart in or next to its paragraph\n"
    "  {GROUP name} ... {/GROUP}   a group (each marker alone in its paragraph)\n"
    "Markers may be split into differently formatted pieces. Markers that cannot\n"
    "become controls are left as written, with a warning on stderr (exit status 1).\n";

// ---------------------------------------------------------------------------

struct Context {
    std::ostream& out;
    std::ostream& err;
    int verbosity = 0;
};

std::vector<OptionSpec> withCommonOptions(std::vector<OptionSpec> optionList) {
    optionList.push_back({"-h", false, "--help"});
    optionList.push_back({"-v", false, "--verbose"});
    optionList.push_back({"-q", false, "--quiet"});
    return optionList;
}

// Parses, prints help when asked (returning true) and applies -v/-q.
bool parseCommand(Context& ctx, const std::vector<std::string>& args, const std::vector<OptionSpec>& optionList,
                  const std::string& command, const char* help, ParsedOptions* parsed) {
    *parsed = parseOptions(args, withCommonOptions(optionList), command);
    if (parsed->has("-h")) {
        ctx.out << help;
        return true;
    }
    ctx.verbosity += parsed->count("-v") - parsed->count("-q");
    if (parsed->has("-v") && parsed->has("-q")) throw UsageError(command + ": -v and -q exclude each other");
    return false;
}

void expectPositionals(const ParsedOptions& parsed, size_t n, const std::string& command, const char* what) {
    if (parsed.positionals.size() < n) throw UsageError(command + ": missing " + what + " (see --help)");
    if (parsed.positionals.size() > n)
        throw UsageError(command + ": unexpected argument '" + parsed.positionals[n] + "' (see --help)");
}

std::string requiredOption(const ParsedOptions& parsed, const std::string& name, const std::string& command) {
    if (!parsed.has(name)) throw UsageError(command + ": " + name + " is required (see --help)");
    return parsed.value(name);
}

// keepGoing: a repository some of whose content could not be read is taken as
// far as it was read (the errors were logged); otherwise that is an error.
lfw::Ref<Repository> loadRepository(const std::string& path, bool keepGoing) {
    if (!pathExists(path)) throw InputError(path, "file not found");
    if (isDirectory(path)) throw InputError(path, "is a folder, not a repository file");
    // A FIFO or a device would block the open or never end.
    if (!isRegularFile(path)) throw InputError(path, "is not a regular file");
    if (::access(path.c_str(), R_OK) != 0) throw InputError(path, std::strerror(errno));
    lfw::Ref<Repository> repository = new Repository;
    if (!repository->loadRepository(Str(path)))
        throw InputError(path, "not a readable repository file");
    if (!keepGoing && !repository->loadedCleanly())
        throw InputError(path, "some of its content could not be read (see the messages above); --keep-going "
                               "accepts what could be read");
    return repository;
}

std::string oneLine(std::string text);

void printWarnings(Context& ctx, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) ctx.err << "kivreport: warning: " << oneLine(w) << "\n";
}

// Which converter makes the PDF copy of a report made from that kind of template.
kivpdf::ReportKind pdfKindOf(ReportFormat format) {
    switch (format) {
    case ReportFormat::Word: return kivpdf::ReportKind::Word;
    case ReportFormat::PowerPoint: return kivpdf::ReportKind::PowerPoint;
    default: break;
    }
    return kivpdf::ReportKind::Html;
}

// The template's format; a template that cannot be read or is of no known format is an input error.
ReportFormat checkTemplate(const std::string& path) {
    if (!pathExists(path)) throw InputError(path, "file not found");
    if (!isRegularFile(path)) throw InputError(path, "is not a file");
    if (::access(path.c_str(), R_OK) != 0) throw InputError(path, std::strerror(errno));
    const ReportFormat format = ReportCreator::formatOf(Str(path));
    if (format == ReportFormat::Unknown)
        throw InputError(path, "unknown template type (expected .html, .htm, .docx, .docm, .pptx, .pptm or another "
                               "Word or PowerPoint package)");
    return format;
}

// 1 for a report made with errors, snapshots left out or input partly read.
int exitStatusOf(const ReportResult& result, bool partialInput) {
    return result.errorCount() == 0 && result.leftOutCount() == 0 && !partialInput ? EXIT_OK : EXIT_PROBLEMS;
}

// ---------------------------------------------------------------------------
// repo

int repoCreate(Context& ctx, const std::vector<std::string>& args) {
    const std::string command = "repo create";
    lfw::LogCapture capture;
    ParsedOptions parsed;
    if (parseCommand(ctx, args, {{"--from", true, ""}}, command, kCreateHelp, &parsed)) return EXIT_OK;
    expectPositionals(parsed, 1, command, "OUT");
    const std::string out = parsed.positionals[0];
    const std::string manifest = requiredOption(parsed, "--from", command);
    startComponent(ctx.verbosity);

    checkOutputFile(out);
    std::vector<std::string> warnings, inputs;
    lfw::Ref<Repository> repository = repositoryFromManifest(manifest, &warnings, &inputs);
    for (const std::string& input : inputs)
        if (lfw::FileSystem::sameFile(out, input)) throw InputError(out, "is an input of the manifest; choose another OUT");
    printWarnings(ctx, warnings);
    // The library writes beside the target and replaces it only when complete.
    if (!repository->saveRepository(Str(out))) throw InputError(out, "the repository file could not be written");
    ctx.out << "Wrote " << out << " (" << repository->snapshotCount() << " snapshots)\n";
    return warnings.empty() && errorsIn(capture) == 0 ? EXIT_OK : EXIT_PROBLEMS;
}

int repoShow(Context& ctx, const std::vector<std::string>& args) {
    const std::string command = "repo show";
    lfw::LogCapture capture;
    ParsedOptions parsed;
    if (parseCommand(ctx, args, {{"--json", false, ""}}, command, kShowHelp, &parsed)) return EXIT_OK;
    expectPositionals(parsed, 1, command, "REPO");
    startComponent(ctx.verbosity);
    const std::string path = parsed.positionals[0];
    // Listing shows what could be read; errors reading the rest make exit status 1.
    lfw::Ref<Repository> repository = loadRepository(path, true);
    ctx.out << describeRepository(*repository, path, parsed.has("--json"));
    return errorsIn(capture) == 0 ? EXIT_OK : EXIT_PROBLEMS;
}

bool folderIsEmpty(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) throw InputError(path, std::strerror(errno));
    bool empty = true;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    return empty;
}

int repoExport(Context& ctx, const std::vector<std::string>& args) {
    const std::string command = "repo export";
    lfw::LogCapture capture;
    ParsedOptions parsed;
    if (parseCommand(ctx, args, {{"--force", false, ""}, {"--keep-going", false, ""}}, command, kExportHelp, &parsed))
        return EXIT_OK;
    expectPositionals(parsed, 2, command, "REPO and DIR");
    startComponent(ctx.verbosity);
    const std::string path = parsed.positionals[0];
    const std::string folder = parsed.positionals[1];

    if (pathExists(folder)) {
        if (!isDirectory(folder)) throw InputError(folder, "is not a folder");
        if (!parsed.has("--force") && !folderIsEmpty(folder))
            throw InputError(folder, "folder is not empty (use --force to write into it)");
    } else {
        if (!isDirectory(parentFolder(folder))) throw InputError(folder, "folder " + parentFolder(folder) + " does not exist");
    }
    lfw::Ref<Repository> repository = loadRepository(path, parsed.has("--keep-going"));
    if (!pathExists(folder) && ::mkdir(folder.c_str(), 0777) != 0)
        throw InputError(folder, std::string("cannot be created: ") + std::strerror(errno));

    std::vector<std::string> warnings;
    exportRepository(*repository, folder, &warnings);
    printWarnings(ctx, warnings);
    ctx.out << "Wrote " << repository->snapshotCount() << " snapshots and " << kManifestFileName << " to " << folder
            << "\n";
    return warnings.empty() && errorsIn(capture) == 0 ? EXIT_OK : EXIT_PROBLEMS;
}

int repo(Context& ctx, const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError("repo: missing subcommand (create, show or export; see --help)");
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "create") return repoCreate(ctx, rest);
    if (args[0] == "show") return repoShow(ctx, rest);
    if (args[0] == "export") return repoExport(ctx, rest);
    if (args[0] == "-h" || args[0] == "--help") {
        ctx.out << kRepoHelp;
        return EXIT_OK;
    }
    throw UsageError("repo: unknown subcommand '" + args[0] + "' (create, show or export)");
}

// ---------------------------------------------------------------------------
// Reports

struct ReportInputs {
    lfw::Ref<Repository> repository;
    lfw::Ref<Repository> reference;
    std::string templatePath;
    ReportFormat format = ReportFormat::Unknown;
};

ReportInputs loadReportInputs(const ParsedOptions& parsed, const std::string& command) {
    ReportInputs inputs;
    const std::string repoPath = requiredOption(parsed, "--repo", command);
    inputs.templatePath = requiredOption(parsed, "--template", command);
    inputs.format = checkTemplate(inputs.templatePath);
    const bool keepGoing = parsed.has("--keep-going");
    inputs.repository = loadRepository(repoPath, keepGoing);
    if (parsed.has("--ref")) inputs.reference = loadRepository(parsed.value("--ref"), keepGoing);
    return inputs;
}

ReportOptions reportOptions(const ReportInputs& inputs, const ParsedOptions& parsed) {
    ReportOptions options;
    options.referenceRepository = inputs.reference.p();
    if (parsed.has("--snapshots"))
        options.snapshots = parseSnapshotNumbers(parsed.value("--snapshots"), inputs.repository->snapshotCount());
    options.use3dViewer = !parsed.has("--no-3d-viewer") && !parsed.has("--no-3d-plugin");
    options.embedModels = !parsed.has("--no-embed");
    options.acceptPartialReport = parsed.has("--keep-going");
    options.strict = parsed.has("--strict");
    return options;
}

std::unique_ptr<ReportCreator> creatorFor(const ReportInputs& inputs) {
    std::unique_ptr<ReportCreator> creator = ReportCreator::create(inputs.repository.p(), Str(inputs.templatePath));
    if (!creator) throw InputError(inputs.templatePath, "unknown template type");
    return creator;
}

int generate(Context& ctx, const std::vector<std::string>& args) {
    const std::string command = "generate";
    ParsedOptions parsed;
    const std::vector<OptionSpec> optionList = {{"--repo", true, ""},       {"--template", true, ""},
                                           {"--out", true, ""},        {"--ref", true, ""},
                                           {"--snapshots", true, ""},  {"--no-3d-viewer", false, ""},
                                           {"--no-3d-plugin", false, ""},
                                           {"--no-embed", false, ""},  {"--pdf", false, ""},
                                           {"--keep-going", false, ""}, {"--strict", false, ""}};
    if (parseCommand(ctx, args, optionList, command, kGenerateHelp, &parsed)) return EXIT_OK;
    expectPositionals(parsed, 0, command, "");
    const std::string out = requiredOption(parsed, "--out", command);
    requiredOption(parsed, "--repo", command);
    requiredOption(parsed, "--template", command);
    startComponent(ctx.verbosity);

    ReportInputs inputs = loadReportInputs(parsed, command);
    // An HTML report named .docx would only confuse whoever opens it; other names are free.
    // A Word template makes a Word document, which Word opens only as .docx, or
    // as .docm when it keeps the template's macros (PowerPoint alike).
    const std::string outExtension = lfw::FileSystem::lowerExtension(out);
    const bool word = inputs.format == ReportFormat::Word;
    const bool powerPoint = inputs.format == ReportFormat::PowerPoint;
    if (word && outExtension != ".docx" && outExtension != ".docm")
        throw InputError(out, "a Word template makes a Word report; name it .docx (.docm to keep its macros)");
    if (powerPoint && outExtension != ".pptx" && outExtension != ".pptm")
        throw InputError(out, "a PowerPoint template makes a PowerPoint report; name it .pptx (.pptm to keep its macros)");
    if (!word && !powerPoint &&
        (outExtension == ".pptx" || outExtension == ".docx" || outExtension == ".pptm" || outExtension == ".docm"))
        throw InputError(out, "an HTML template makes an HTML report; name it .html");
    const bool pdf = parsed.has("--pdf");
    const std::string pdfPath = kivpdf::pdfPathFor(out);
    if (pdf && outExtension == ".pdf") throw InputError(out, "with --pdf the PDF goes beside the report; name the report .html");
    checkOutputFile(out);
    // The report starts as a copy of the template: writing it over an input would destroy it.
    if (lfw::FileSystem::sameFile(out, inputs.templatePath)) throw InputError(out, "is the template itself; choose another --out");
    for (const std::string& repo : {parsed.value("--repo"), parsed.value("--ref")}) {
        if (!repo.empty() && lfw::FileSystem::sameFile(out, repo)) throw InputError(out, "is a repository file; choose another --out");
        if (pdf && !repo.empty() && lfw::FileSystem::sameFile(pdfPath, repo)) throw InputError(pdfPath, "is a repository file; choose another --out");
    }

    const ReportResult result = creatorFor(inputs)->generate(Str(out), reportOptions(inputs, parsed));
    if (!result && parsed.has("--strict") && result.messageCount() > 0 &&
        result.message(result.messageCount() - 1).toStdString().find("(strict)") != std::string::npos) {
        ctx.err << "kivreport: error: " << out << ": not written: the template has tags this report leaves unfilled\n";
        return EXIT_PROBLEMS;
    }
    if (!result) throw InputError(out, "the report could not be made (see the messages above)");
    ctx.out << "Wrote " << out << "\n";
    if (pdf) {
        std::string error;
        if (!kivpdf::convertToPdf(pdfKindOf(inputs.format), out, pdfPath, kivpdf::kDefaultTimeoutSeconds, &error))
            throw InputError(pdfPath, error + " (the report " + out + " was written)");
        ctx.out << "Wrote " << pdfPath << "\n";
    }
    const bool partial = !inputs.repository->loadedCleanly() || (inputs.reference.notNull() && !inputs.reference->loadedCleanly());
    return exitStatusOf(result, partial);
}

int validate(Context& ctx, const std::vector<std::string>& args) {
    const std::string command = "validate";
    ParsedOptions parsed;
    const std::vector<OptionSpec> optionList = {
        {"--repo", true, ""}, {"--template", true, ""}, {"--ref", true, ""}, {"--snapshots", true, ""},
        {"--keep-going", false, ""}};
    if (parseCommand(ctx, args, optionList, command, kValidateHelp, &parsed)) return EXIT_OK;
    expectPositionals(parsed, 0, command, "");
    requiredOption(parsed, "--repo", command);
    requiredOption(parsed, "--template", command);
    startComponent(ctx.verbosity);

    ReportInputs inputs = loadReportInputs(parsed, command);
    const ReportResult result = creatorFor(inputs)->validate(reportOptions(inputs, parsed));
    const bool passed = result.succeeded();
    const std::string text = result.text().toStdString();
    if (!passed && text.empty()) throw InputError(inputs.templatePath, "the template could not be checked");
    ctx.out << text;
    if (!text.empty() && text.back() != '\n') ctx.out << "\n";
    return !passed || validationReportsProblems(text) ? EXIT_PROBLEMS : EXIT_OK;
}

int summarize(Context& ctx, const std::vector<std::string>& args) {
    const std::string command = "summarize";
    ParsedOptions parsed;
    if (parseCommand(ctx, args, {}, command, kSummarizeHelp, &parsed)) return EXIT_OK;
    expectPositionals(parsed, 1, command, "T");
    startComponent(ctx.verbosity);
    const std::string path = parsed.positionals[0];
    const ReportFormat format = checkTemplate(path);
    const ReportResult result = ReportCreator::summarize(Str(path));
    if (!result) {
        throw InputError(path, format == ReportFormat::Word         ? "cannot be summarized: it is not a Word document"
                               : format == ReportFormat::PowerPoint ? "cannot be summarized: it is not a PowerPoint presentation"
                                                                    : "cannot be summarized: it is not well-formed XML "
                                                                      "(every element must be closed)");
    }
    // The summary's lines end in CR LF; print them as lines of this platform.
    std::string text = result.text().toStdString();
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
    ctx.out << lines;
    return EXIT_OK;
}

int templateControls(Context& ctx, const std::vector<std::string>& args) {
    const std::string command = "template controls";
    ParsedOptions parsed;
    if (parseCommand(ctx, args, {}, command, kControlsHelp, &parsed)) return EXIT_OK;
    expectPositionals(parsed, 2, command, "IN.docx and OUT.docx");
    const std::string in = parsed.positionals[0], out = parsed.positionals[1];
    if (checkTemplate(in) != ReportFormat::Word) throw InputError(in, "is not a Word document");
    if (lfw::FileSystem::lowerExtension(out) != ".docx") throw InputError(out, "a Word template is named .docx");
    checkOutputFile(out);
    if (lfw::FileSystem::sameFile(out, in)) throw InputError(out, "is the document itself; choose another output");
    startComponent(ctx.verbosity);
    const ReportResult result = kiv::rep::ReportCreatorWord::convertMarkers(Str(in), Str(out));
    if (!result) throw InputError(out, "the template could not be made (see the messages above)");
    ctx.out << "Wrote " << out << " (" << result.text().toStdString().substr(0, result.text().toStdString().find('\n'))
            << ")\n";
    return result.warningCount() == 0 ? EXIT_OK : EXIT_PROBLEMS;
}

int templateCommand(Context& ctx, const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError("template: missing subcommand (controls; see --help)");
    if (args[0] == "-h" || args[0] == "--help") {
        ctx.out << kControlsHelp;
        return EXIT_OK;
    }
    if (args[0] == "controls") return templateControls(ctx, std::vector<std::string>(args.begin() + 1, args.end()));
    throw UsageError("template: unknown subcommand '" + args[0] + "' (controls)");
}

// Messages are one line each, whatever the file names hold.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

} // namespace

bool validationReportsProblems(const std::string& report) {
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line == "VALIDATION OF REPOSITORY" || line == "VALIDATION OF REFERENCE REPOSITORY" ||
            line == "No warnings or errors found" || line.find_first_not_of('-') == std::string::npos)
            continue;
        return true;
    }
    return false;
}

int run(const std::vector<std::string>& argsIn, std::ostream& out, std::ostream& err) {
    Context ctx{out, err};
    std::vector<std::string> args = argsIn;
    try {
        // Options before the command.
        size_t i = 0;
        for (; i < args.size() && !args[i].empty() && args[i][0] == '-'; ++i) {
            const std::string& a = args[i];
            if (a == "-h" || a == "--help") {
                out << kMainHelp;
                return EXIT_OK;
            }
            if (a == "--version") {
                out << "kivreport " << kiv::rep::ReportComponent::versionString().toStdString() << "\n";
                return EXIT_OK;
            }
            if (a == "-v" || a == "--verbose")
                ++ctx.verbosity;
            else if (a == "-q" || a == "--quiet")
                --ctx.verbosity;
            else
                throw UsageError("unknown option '" + a + "' (see --help)");
        }
        if (i >= args.size()) throw UsageError("missing command (see --help)");
        const std::string command = args[i];
        const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
        if (command == "repo") return repo(ctx, rest);
        if (command == "generate") return generate(ctx, rest);
        if (command == "validate") return validate(ctx, rest);
        if (command == "summarize") return summarize(ctx, rest);
        if (command == "template") return templateCommand(ctx, rest);
        if (command == "help") {
            out << kMainHelp;
            return EXIT_OK;
        }
        throw UsageError("unknown command '" + command + "' (see --help)");
    } catch (const UsageError& e) {
        err << "kivreport: " << oneLine(e.what()) << "\n";
    } catch (const InputError& e) {
        err << "kivreport: error: " << oneLine(e.what()) << "\n";
    } catch (const std::bad_alloc&) {
        err << "kivreport: error: out of memory\n";
    } catch (const std::exception& e) {
        err << "kivreport: error: " << oneLine(e.what()) << "\n";
    }
    return EXIT_FAILURE_IO;
}

} // namespace kivcli
