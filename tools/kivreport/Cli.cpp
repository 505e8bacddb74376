#include "tools/kivreport/Cli.h"
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreator.h"
#include "KivReport/ReportCreatorWord.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwFile.h"
#include "LibCore/lfwLogManager.h"
#include "host/core/KivInstance.h"
#include "tools/kivreport/CommandOutcome.h"
#include "tools/kivreport/Files.h"
#include "tools/kivreport/Manifest.h"
#include "tools/kivreport/Options.h"
#include "tools/kivreport/Progress.h"
#include "tools/pdf/PdfConverter.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <mutex>
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
// Logging: what the library logs while a command runs is kept, one line per
// message. With -v it is printed at once, with where it was logged. Otherwise a
// command that fails prints its own one-line error alone, and one that completes
// prints what was kept afterwards (the problems behind exit status 1). --json
// puts the messages into its document instead. Exit statuses come from results,
// and for the repository commands from the errors captured while they ran
// (lfw::LogCapture), never from the console's text.

std::string oneLine(std::string text);

class ToolConsole : public lfw::LogDestination {
public:
    void log(const lfw::LogEvent& event) override {
        // One line per message: the function and source lines only with -v.
        const lfw::LogEvent line(event.source(), lfw::String(oneLine(event.message().toStdString())), event.level(),
                                 lfw::CodeLocation());
        std::lock_guard<std::mutex> lock(m_mutex);
        if (event.level() == lfw::Logger::LL_ERROR || event.level() == lfw::Logger::LL_WARNING)
            m_messages.push_back({event.level() == lfw::Logger::LL_ERROR ? Message::Error : Message::Warning, "library",
                                  line.message().toStdString(), std::string()});
        if (verbose) m_console->log(event);
        else m_held.push_back(line);
    }
    // A message of the tool itself, for --json.
    void record(Message::Level level, const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back({level, "kivreport", oneLine(text), std::string()});
    }
    void reset() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.clear();
        m_held.clear();
    }
    // Prints what was kept (print) or drops it.
    void releaseHeld(bool print) {
        std::vector<lfw::LogEvent> held;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            held.swap(m_held);
        }
        if (print)
            for (const lfw::LogEvent& event : held) m_console->log(event);
    }
    std::vector<Message> messages() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    size_t messageCount() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages.size();
    }
    // The first error of the library logged since the first `from` messages, and
    // how many there were; for the tool's one-line error.
    std::string firstErrorSince(size_t from, size_t* count) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string first;
        *count = 0;
        for (size_t i = from; i < m_messages.size(); ++i) {
            if (m_messages[i].level != Message::Error || m_messages[i].source != "library") continue;
            if (first.empty()) first = m_messages[i].text;
            ++*count;
        }
        return first;
    }
    std::atomic<bool> verbose{false};

private:
    std::mutex m_mutex;
    std::vector<Message> m_messages;
    std::vector<lfw::LogEvent> m_held;
    lfw::Ref<lfw::LogDestinationConsole> m_console = new lfw::LogDestinationConsole;
};

lfw::Ref<ToolConsole> g_console;

// The library's messages get the kinds the capture recorded with them: both
// hold the messages in the order logged, the console's as one line each.
void withKinds(std::vector<Message>* messages, const std::vector<lfw::LogCapture::Message>& captured) {
    size_t next = 0;
    for (Message& m : *messages) {
        if (m.source != "library") continue;
        for (size_t i = next; i < captured.size(); ++i) {
            if (oneLine(captured[i].text) != m.text) continue;
            m.code =
                captured[i].code ? kiv::rep::problemCodeName(static_cast<kiv::rep::ProblemCode>(captured[i].code)) : "general";
            next = i + 1;
            break;
        }
    }
}

size_t errorsIn(const lfw::LogCapture& capture) {
    size_t count = 0;
    for (const lfw::LogCapture::Message& message : capture.messages()) count += message.level == lfw::Logger::LL_ERROR;
    return count;
}

// The problem of a failed library call, with the first error it logged since
// message `from`: "the report could not be made: SIT4_CHART: ...".
std::string withFirstError(const std::string& problem, size_t from) {
    size_t count = 0;
    const std::string first = g_console->firstErrorSince(from, &count);
    if (first.empty()) return problem;
    std::string text = problem + ": " + first;
    if (count > 1) text += " (and " + std::to_string(count - 1) + " more; -v shows every message)";
    return text;
}

// verbosity: -1 quiet, 0 default, 1 and more verbose. json: the messages go into
// the document, warnings included.
void startComponent(int verbosity, bool json = false) {
    static kiv::Instance instance;
    kiv::rep::ReportComponent::initialize(&instance);
    lfw::LogManager* manager = lfw::LogManager::instance();
    g_console->verbose = verbosity > 0;
    manager->setDestinationRecursive("", g_console.p());
    int level = lfw::Logger::LL_WARNING;
    if (verbosity < 0 && !json) level = lfw::Logger::LL_ERROR;
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
    "  -v, --verbose   the library's log messages as they come, each with where it\n"
    "                  was logged (twice: debug messages too); without -v a failed\n"
    "                  command prints its one-line error only\n"
    "  -q, --quiet     only error messages\n"
    "  -h, --help      help of the command\n"
    "      --version   the library version\n"
    "\n"
    "generate, validate, summarize and repo show take --json: one JSON document on\n"
    "stdout instead of text.\n"
    "\n"
    "Environment:\n"
    "  KIVREPORT_SOFFICE    the LibreOffice program for PDF copies of PowerPoint and\n"
    "                       Word reports (default: soffice or libreoffice on PATH)\n"
    "  KIVREPORT_CHROMIUM   the Chromium program for PDF copies of HTML reports\n"
    "                       (default: chromium or chromium-browser on PATH)\n"
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
    "                          [--keep-going] [--strict] [--json]\n"
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
    "                     HTML reports; stopped after 3 minutes. Fonts of the report\n"
    "                     that this machine lacks are named in warnings first\n"
    "  --strict           fail, writing nothing, when the report would leave tags as\n"
    "                     the template has them (exit status 1); without it each\n"
    "                     such tag is a warning on stderr\n"
    "  --keep-going       accept a repository some of whose content cannot be read,\n"
    "                     and write the report (of any format) without pictures\n"
    "                     that cannot be made\n"
    "                     (the messages name those snapshots; exit status 1).\n"
    "                     Without it both are errors and no report is written.\n"
    "  --json             print one JSON document: succeeded, exitStatus, files,\n"
    "                     leftOut and messages (level, source, text, and tag and\n"
    "                     snapshot for a message about a tag)\n";

const char* const kValidateHelp =
    "Usage: kivreport validate --repo REPO --template T [--ref REPO] [--snapshots LIST]\n"
    "                          [--keep-going] [--json]\n"
    "\n"
    "Prints the validation report of a template against a repository (and a\n"
    "reference repository). Exit status 1 when it lists any error or warning.\n"
    "\n"
    "Options:\n"
    "  --repo REPO        the repository file (required)\n"
    "  --template T       the template (required)\n"
    "  --ref REPO         reference repository for the REF_ tags\n"
    "  --snapshots LIST   snapshots that generic groups repeat over (see generate)\n"
    "  --keep-going       check against a repository some of whose content cannot be read\n"
    "  --json             print one JSON document: succeeded, exitStatus, messages and\n"
    "                     the validation report as text\n";

const char* const kSummarizeHelp =
    "Usage: kivreport summarize T [--json]\n"
    "\n"
    "Prints the generic groups, static snapshot tags and field values of a template.\n"
    "An HTML template must be well-formed XML (every element closed) for this.\n"
    "\n"
    "Options:\n"
    "  --json   print one JSON document: succeeded, exitStatus, messages and the\n"
    "           summary as text\n";

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
    Context(std::ostream& o, std::ostream& e) : out(o), err(e) {}
    std::ostream& out;
    std::ostream& err;
    int verbosity = 0;
    // --json: the outcome is printed as one document when the command ends,
    // whether it succeeded or not; nothing else goes to out.
    bool json = false;
    CommandOutcome outcome;

    // Progress lines on a terminal, never in JSON or quiet output.
    bool showsProgress() const { return !json && verbosity >= 0 && Progress::terminal(); }
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
    ctx.json = parsed->has("--json") && command != "repo show";  // repo show has its own document
    ctx.outcome.command = command;
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
    const size_t from = g_console->messageCount();
    if (!pathExists(path)) throw InputError(path, "file not found");
    if (isDirectory(path)) throw InputError(path, "is a folder, not a repository file");
    // A FIFO or a device would block the open or never end.
    if (!isRegularFile(path)) throw InputError(path, "is not a regular file");
    if (::access(path.c_str(), R_OK) != 0) throw InputError(path, std::strerror(errno));
    lfw::Ref<Repository> repository = new Repository;
    if (!repository->loadRepository(Str(path))) throw InputError(path, withFirstError("not a readable repository file", from));
    if (!keepGoing && !repository->loadedCleanly())
        throw InputError(
            path, withFirstError("some of its content could not be read", from) + "; --keep-going accepts what could be read");
    return repository;
}

void printWarnings(Context& ctx, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) {
        g_console->record(Message::Warning, w);
        if (!ctx.json) ctx.err << "kivreport: warning: " << oneLine(w) << "\n";
    }
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
        throw InputError(path,
                         "unknown template type (expected .html, .htm, .docx, .docm, .pptx, .pptm or another "
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
    startComponent(ctx.verbosity, ctx.json);

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
    startComponent(ctx.verbosity, ctx.json);
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
    startComponent(ctx.verbosity, ctx.json);
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
    ctx.out << "Wrote " << repository->snapshotCount() << " snapshots and " << kManifestFileName << " to " << folder << "\n";
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

// The left-out snapshots of a result, with their numbers in the repository.
std::vector<LeftOutSnapshot> leftOutOf(const ReportResult& result, const Repository& repository) {
    std::vector<LeftOutSnapshot> list;
    for (size_t i = 0; i < result.leftOutCount(); ++i) {
        LeftOutSnapshot s{result.leftOut(i).toStdString(), 0};
        for (size_t n = 0; n < repository.snapshotCount() && !s.snapshot; ++n)
            if (repository.snapshot(n)->name() == result.leftOut(i)) s.snapshot = n + 1;
        list.push_back(std::move(s));
    }
    return list;
}

const char* converterName(kivpdf::ReportKind kind) { return kind == kivpdf::ReportKind::Html ? "Chromium" : "LibreOffice"; }

int generate(Context& ctx, const std::vector<std::string>& args) {
    const std::string command = "generate";
    ParsedOptions parsed;
    const std::vector<OptionSpec> optionList = {
        {"--repo", true, ""},      {"--template", true, ""},      {"--out", true, ""},           {"--ref", true, ""},
        {"--snapshots", true, ""}, {"--no-3d-viewer", false, ""}, {"--no-3d-plugin", false, ""}, {"--no-embed", false, ""},
        {"--pdf", false, ""},      {"--keep-going", false, ""},   {"--strict", false, ""},       {"--json", false, ""}};
    if (parseCommand(ctx, args, optionList, command, kGenerateHelp, &parsed)) return EXIT_OK;
    expectPositionals(parsed, 0, command, "");
    const std::string out = requiredOption(parsed, "--out", command);
    requiredOption(parsed, "--repo", command);
    requiredOption(parsed, "--template", command);
    startComponent(ctx.verbosity, ctx.json);

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
    if (lfw::FileSystem::sameFile(out, inputs.templatePath))
        throw InputError(out, "is the template itself; choose another --out");
    for (const std::string& repo : {parsed.value("--repo"), parsed.value("--ref")}) {
        if (!repo.empty() && lfw::FileSystem::sameFile(out, repo))
            throw InputError(out, "is a repository file; choose another --out");
        if (pdf && !repo.empty() && lfw::FileSystem::sameFile(pdfPath, repo))
            throw InputError(pdfPath, "is a repository file; choose another --out");
    }

    const size_t from = g_console->messageCount();
    ReportResult result;
    {
        const size_t count = inputs.repository->snapshotCount();
        Progress progress(ctx.showsProgress(),
                          "making " + out + " from " + std::to_string(count) + " snapshot" + (count == 1 ? "" : "s"));
        result = creatorFor(inputs)->generate(Str(out), reportOptions(inputs, parsed));
    }
    ctx.outcome.leftOut = leftOutOf(result, *inputs.repository);
    // A strict report refused for the tags it would leave: a problem of the template (exit status 1).
    if (!result && parsed.has("--strict") && result.messageCount() > 0 &&
        result.message(result.messageCount() - 1).toStdString().find("(strict)") != std::string::npos)
        throw ProblemsFound(out, withFirstError("not written: the report would leave tags unfilled", from));
    if (!result) throw InputError(out, withFirstError("the report could not be made", from));
    for (size_t i = 0; i < result.fileCount(); ++i) ctx.outcome.files.push_back(result.file(i).toStdString());
    if (!ctx.json) ctx.out << "Wrote " << out << "\n";
    if (pdf) {
        const kivpdf::ReportKind kind = pdfKindOf(inputs.format);
        // The converter shows a font the machine lacks in another one: say so first.
        printWarnings(ctx, kivpdf::missingFontWarnings(kind, out));
        std::string error;
        bool converted;
        {
            Progress progress(ctx.showsProgress(), "converting " + out + " to PDF with " + converterName(kind));
            converted = kivpdf::convertToPdf(kind, out, pdfPath, kivpdf::kDefaultTimeoutSeconds, &error);
        }
        if (!converted) throw InputError(pdfPath, error + " (the report " + out + " was written)");
        ctx.outcome.files.push_back(pdfPath);
        if (!ctx.json) ctx.out << "Wrote " << pdfPath << "\n";
    }
    const bool partial =
        !inputs.repository->loadedCleanly() || (inputs.reference.notNull() && !inputs.reference->loadedCleanly());
    return exitStatusOf(result, partial);
}

int validate(Context& ctx, const std::vector<std::string>& args) {
    const std::string command = "validate";
    ParsedOptions parsed;
    const std::vector<OptionSpec> optionList = {{"--repo", true, ""},      {"--template", true, ""},    {"--ref", true, ""},
                                                {"--snapshots", true, ""}, {"--keep-going", false, ""}, {"--json", false, ""}};
    if (parseCommand(ctx, args, optionList, command, kValidateHelp, &parsed)) return EXIT_OK;
    expectPositionals(parsed, 0, command, "");
    requiredOption(parsed, "--repo", command);
    requiredOption(parsed, "--template", command);
    startComponent(ctx.verbosity, ctx.json);

    ReportInputs inputs = loadReportInputs(parsed, command);
    const size_t from = g_console->messageCount();
    const ReportResult result = creatorFor(inputs)->validate(reportOptions(inputs, parsed));
    const bool passed = result.succeeded();
    const std::string text = result.text().toStdString();
    if (!passed && text.empty()) throw InputError(inputs.templatePath, withFirstError("the template could not be checked", from));
    ctx.outcome.hasText = true;
    ctx.outcome.text = text;
    if (!ctx.json) {
        ctx.out << text;
        if (!text.empty() && text.back() != '\n') ctx.out << "\n";
    }
    return !passed || validationReportsProblems(text) ? EXIT_PROBLEMS : EXIT_OK;
}

int summarize(Context& ctx, const std::vector<std::string>& args) {
    const std::string command = "summarize";
    ParsedOptions parsed;
    if (parseCommand(ctx, args, {{"--json", false, ""}}, command, kSummarizeHelp, &parsed)) return EXIT_OK;
    expectPositionals(parsed, 1, command, "T");
    startComponent(ctx.verbosity, ctx.json);
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
    ctx.outcome.hasText = true;
    ctx.outcome.text = lines;
    if (!ctx.json) ctx.out << lines;
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
    const size_t from = g_console->messageCount();
    const ReportResult result = kiv::rep::ReportCreatorWord::convertMarkers(Str(in), Str(out));
    if (!result) throw InputError(out, withFirstError("the template could not be made", from));
    ctx.out << "Wrote " << out << " (" << result.text().toStdString().substr(0, result.text().toStdString().find('\n')) << ")\n";
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

}  // namespace

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

namespace {

// The command line up to the command's exit status; failures throw.
int runCommand(Context& ctx, const std::vector<std::string>& args) {
    // Options before the command.
    size_t i = 0;
    for (; i < args.size() && !args[i].empty() && args[i][0] == '-'; ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            ctx.out << kMainHelp;
            return EXIT_OK;
        }
        if (a == "--version") {
            ctx.out << "kivreport " << kiv::rep::ReportComponent::versionString().toStdString() << "\n";
            return EXIT_OK;
        }
        if (a == "-v" || a == "--verbose") ++ctx.verbosity;
        else if (a == "-q" || a == "--quiet") --ctx.verbosity;
        else throw UsageError("unknown option '" + a + "' (see --help)");
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
        ctx.out << kMainHelp;
        return EXIT_OK;
    }
    throw UsageError("unknown command '" + command + "' (see --help)");
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Context ctx{out, err};
    if (g_console.isNull()) g_console = new ToolConsole;
    g_console->reset();
    // Every message the library logs while the command runs, with its kind.
    lfw::LogCapture kinds;
    int code = EXIT_FAILURE_IO;
    std::string failure;  // the tool's one-line error
    bool usage = false;   // a bad command line, told without "error:"
    try {
        code = runCommand(ctx, args);
    } catch (const UsageError& e) {
        failure = oneLine(e.what());
        usage = true;
    } catch (const ProblemsFound& e) {
        failure = oneLine(e.what());
        code = EXIT_PROBLEMS;
    } catch (const InputError& e) {
        failure = oneLine(e.what());
    } catch (const std::bad_alloc&) {
        failure = "out of memory";
    } catch (const std::exception& e) {
        failure = oneLine(e.what());
    }
    // A failure is told in one line; what the library logged on the way is shown
    // with -v (printed as it came) or in the JSON document.
    g_console->releaseHeld(failure.empty() && !ctx.json);
    if (!failure.empty()) {
        err << "kivreport: " << (usage ? "" : "error: ") << failure << "\n";
        g_console->record(Message::Error, failure);
    }
    if (ctx.json) {
        ctx.outcome.succeeded = failure.empty();
        ctx.outcome.exitStatus = code;
        ctx.outcome.messages = g_console->messages();
        withKinds(&ctx.outcome.messages, kinds.messages());
        out << outcomeJson(ctx.outcome);
    }
    return code;
}

}  // namespace kivcli
