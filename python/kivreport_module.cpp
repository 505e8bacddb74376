// The kivreport Python module: repositories of snapshots, reports, validation
// and summaries of templates, over the public C++ classes.
//
// A failed library call raises kivreport.Error with the errors, warnings and
// snapshots left out of its result; what the library logs goes to Python's
// logging (logger "kivreport"), except the errors an exception carries. Reports,
// validation, loading and saving run without the GIL, on private copies of the
// repositories' snapshot lists, so other Python threads can go on meanwhile.
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreator.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "LibCore/lfwFile.h"
#include "LibCore/lfwLog.h"
#include "LibCore/lfwLogManager.h"
#include "host/core/KivImage.h"
#include "host/core/KivInstance.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/MdlxImageJpeg.h"
#include "host/ug/UgConvert.h"
#include "tools/pdf/PdfConverter.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <png.h>

#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unistd.h>
#include <utility>
#include <vector>

PYBIND11_DECLARE_HOLDER_TYPE(T, lfw::Ref<T>, true)

namespace py = pybind11;
using kiv::Str;
using kiv::rep::Repository;
using kiv::rep::Snapshot;
using kiv::rep::Table;

namespace {

// kivreport.Error and kivreport.PdfError: the message, and the errors (with their
// kinds), warnings and snapshots left out that the failed call's result names.
struct Failure {
    std::vector<std::string> errors, codes, warnings, leftOut;
};
class ReportError : public std::runtime_error {
public:
    explicit ReportError(const std::string& message, Failure failure = Failure())
        : std::runtime_error(message), details(std::move(failure)) {}
    Failure details;
};
class PdfError : public ReportError {
public:
    using ReportError::ReportError;
};

// Raises kivreport.Error when the result failed: its message is the errors, one
// per line (fallback when there is none).
void raiseOnFailure(const kiv::rep::ReportResult& result, const std::string& fallback) {
    if (result) return;
    Failure failure;
    for (size_t i = 0; i < result.messageCount(); ++i) {
        const bool error = result.messageLevel(i) == kiv::rep::ReportResult::Error;
        (error ? failure.errors : failure.warnings).push_back(result.message(i).toStdString());
        if (error) failure.codes.push_back(kiv::rep::problemCodeName(result.messageCode(i)));
    }
    for (size_t i = 0; i < result.leftOutCount(); ++i) failure.leftOut.push_back(result.leftOut(i).toStdString());
    std::string text;
    for (const std::string& error : failure.errors) text += (text.empty() ? "" : "\n") + error;
    throw ReportError(text.empty() ? fallback : text, std::move(failure));
}

// The errors and warnings logged on this thread during a call that returns no result.
kiv::rep::ReportResult resultOf(bool ok, const lfw::LogCapture& capture) {
    kiv::rep::ReportResult result;
    result.setSucceeded(ok);
    for (const lfw::LogCapture::Message& m : capture.messages())
        result.addMessage(m.level == lfw::Logger::LL_ERROR ? kiv::rep::ReportResult::Error : kiv::rep::ReportResult::Warning,
                          Str(m.text), m.code ? static_cast<kiv::rep::ProblemCode>(m.code) : kiv::rep::ProblemCode::General);
    return result;
}

// ---------------------------------------------------------------------------
// Logging

struct CapturedEvent {
    int level;
    std::string message;
};

thread_local std::vector<CapturedEvent>* t_capture = nullptr;

// Events logged during a library call go to that call's collection; others (none
// are expected) to the console.
class CollectingDestination : public lfw::LogDestination {
public:
    void log(const lfw::LogEvent& event) override {
        if (t_capture) {
            t_capture->push_back({event.level(), event.message().toStdString()});
            return;
        }
        m_console->log(event);
    }

private:
    lfw::Ref<lfw::LogDestinationConsole> m_console = new lfw::LogDestinationConsole;
};

// Collects the events of the library calls made on this thread while it exists,
// for Python's logging.
class LibraryCall {
public:
    LibraryCall() : m_previous(t_capture) { t_capture = &m_events; }
    ~LibraryCall() { t_capture = m_previous; }
    LibraryCall(const LibraryCall&) = delete;
    LibraryCall& operator=(const LibraryCall&) = delete;

    // Hands the events to Python's logging; with the GIL held. After a failure the
    // errors are in the exception and are not logged again.
    void forward(bool failed) {
        if (m_events.empty()) return;
        py::object logger = py::module_::import("logging").attr("getLogger")("kivreport");
        for (const CapturedEvent& e : m_events) {
            if (failed && e.level == lfw::Logger::LL_ERROR) continue;
            const int level = e.level == lfw::Logger::LL_ERROR     ? 40
                              : e.level == lfw::Logger::LL_WARNING ? 30
                              : e.level == lfw::Logger::LL_INFO    ? 20
                                                                   : 10;
            if (logger.attr("isEnabledFor")(level).cast<bool>()) logger.attr("log")(level, "%s", e.message);
        }
        m_events.clear();
    }

    // Hands the events to Python's logging and raises kivreport.Error for a failed result.
    void finish(const kiv::rep::ReportResult& result, const std::string& fallback) {
        forward(!result.succeeded());
        raiseOnFailure(result, fallback);
    }

private:
    std::vector<CapturedEvent> m_events;
    std::vector<CapturedEvent>* m_previous;
};

void startComponent() {
    static kiv::Instance* instance = new kiv::Instance;  // lives as long as the process
    kiv::rep::ReportComponent::initialize(instance);
    lfw::LogManager* manager = lfw::LogManager::instance();
    manager->setDestinationRecursive("", new CollectingDestination);
    manager->setLevelRecursive("kiv", lfw::Logger::LL_INFO);
}

// ---------------------------------------------------------------------------
// Arguments

// A str or os.PathLike as a UTF-8 path; TypeError for anything else.
std::string pathArgument(const py::handle& value, const char* what) {
    if (!py::isinstance<py::str>(value) && !py::hasattr(value, "__fspath__"))
        throw py::type_error(std::string(what) + " must be a str or os.PathLike, not " +
                             std::string(py::str(py::type::handle_of(value).attr("__name__"))));
    py::object path = py::module_::import("os").attr("fspath")(value);
    if (py::isinstance<py::bytes>(path)) return path.cast<std::string>();
    return path.cast<std::string>();
}

// Text of a field value or table cell: str, int or float.
std::string textArgument(const py::handle& value, const char* what) {
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    if (!py::isinstance<py::bool_>(value) && (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value)))
        return py::str(value).cast<std::string>();
    throw py::type_error(std::string(what) + " must be str, int or float, not " +
                         std::string(py::str(py::type::handle_of(value).attr("__name__"))));
}

std::map<Str, Str> fieldsArgument(const py::handle& fields) {
    std::map<Str, Str> values;
    if (fields.is_none()) return values;
    if (!py::isinstance<py::dict>(fields)) throw py::type_error("fields must be a dict of str to str");
    for (auto item : py::reinterpret_borrow<py::dict>(fields)) {
        if (!py::isinstance<py::str>(item.first)) throw py::type_error("field keys must be str");
        values[Str(item.first.cast<std::string>())] = Str(textArgument(item.second, "a field value"));
    }
    return values;
}

// The content of a bytes or bytearray object.
std::string bytesOf(const py::handle& value) {
    if (py::isinstance<py::bytearray>(value))
        return std::string(PyByteArray_AsString(value.ptr()), static_cast<size_t>(PyByteArray_Size(value.ptr())));
    return value.cast<std::string>();
}

py::bytes readFileBytes(const std::string& path) {
    // Python's open() raises the usual OSError subclasses with the file name.
    py::object file = py::module_::import("builtins").attr("open")(path, "rb");
    py::object data;
    try {
        data = file.attr("read")();
    } catch (...) {
        file.attr("close")();
        throw;
    }
    file.attr("close")();
    return data;
}

// ---------------------------------------------------------------------------
// Pictures

const unsigned int kMaxSide = 65535;  // what the JPEG coder takes
const unsigned long long kMaxPixels = 1ull << 28;

bool isPng(const std::string& bytes) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::memcmp(bytes.data(), signature, 8) == 0;
}

bool isJpeg(const std::string& bytes) {
    return bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xD8 &&
           static_cast<unsigned char>(bytes[2]) == 0xFF;
}

// PNG (any colour type and depth, transparency laid over white) or JPEG (kept
// with the image, so the repository stores it byte for byte). ValueError otherwise.
lfw::Ref<kiv::Image> decodePicture(const std::string& bytes) {
    lfw::Ref<kiv::Image> image = new kiv::Image;
    if (isJpeg(bytes)) {
        std::vector<unsigned char> jpeg(bytes.begin(), bytes.end());
        MkRGBImage rgb;
        if (!MdlxImageJpeg::loadImageFromMemory(jpeg, &rgb) || rgb.GetNumImageBytes() == 0 ||
            !kiv::ug::Convert::toImage(rgb, image.p()))
            throw py::value_error("not a readable JPEG image");
        image->setSourceJpeg(std::move(jpeg));
        return image;
    }
    if (!isPng(bytes)) throw py::value_error("not a PNG or JPEG image");
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        const std::string message = std::string("not a readable PNG image (") + png.message + ")";
        png_image_free(&png);
        throw py::value_error(message);
    }
    if (png.width == 0 || png.height == 0 || png.width > kMaxSide || png.height > kMaxSide ||
        static_cast<unsigned long long>(png.width) * png.height > kMaxPixels) {
        png_image_free(&png);
        throw py::value_error("PNG image too large");
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(png));
    const png_color white = {255, 255, 255};
    if (!png_image_finish_read(&png, &white, rgb.data(), 0, nullptr)) {
        const std::string message = std::string("not a readable PNG image (") + png.message + ")";
        png_image_free(&png);
        throw py::value_error(message);
    }
    const unsigned int width = png.width, height = png.height;
    png_image_free(&png);
    image->setData(width, height, std::move(rgb));
    return image;
}

// An (h, w, 3) uint8 array, any strides, copied without a Python loop.
lfw::Ref<kiv::Image> imageFromArray(const py::buffer& buffer) {
    const py::buffer_info info = buffer.request();
    if (info.itemsize != 1 || (info.format != "B" && info.format != "=B" && info.format != "<B" && info.format != ">B"))
        throw py::type_error("pixels must be an array of uint8 (got format '" + info.format + "')");
    if (info.ndim != 3 || info.shape[2] != 3) throw py::value_error("pixels must have the shape (height, width, 3)");
    const py::ssize_t height = info.shape[0], width = info.shape[1];
    if (height <= 0 || width <= 0) throw py::value_error("pixels must not be empty");
    if (height > static_cast<py::ssize_t>(kMaxSide) || width > static_cast<py::ssize_t>(kMaxSide) ||
        static_cast<unsigned long long>(height) * static_cast<unsigned long long>(width) > kMaxPixels)
        throw py::value_error("pixels: at most 65535 pixels a side and 2**28 pixels in all");
    const size_t size = static_cast<size_t>(height) * static_cast<size_t>(width) * 3;
    const unsigned char* base = static_cast<const unsigned char*>(info.ptr);
    const py::ssize_t s0 = info.strides[0], s1 = info.strides[1], s2 = info.strides[2];
    std::vector<unsigned char> rgb;
    if (s2 == 1 && s1 == 3 && s0 == width * 3) {
        rgb.assign(base, base + size);
    } else {
        rgb.resize(size);
        unsigned char* out = rgb.data();
        for (py::ssize_t y = 0; y < height; ++y)
            for (py::ssize_t x = 0; x < width; ++x)
                for (py::ssize_t c = 0; c < 3; ++c) *out++ = base[y * s0 + x * s1 + c * s2];
    }
    lfw::Ref<kiv::Image> image = new kiv::Image;
    image->setData(static_cast<unsigned int>(width), static_cast<unsigned int>(height), std::move(rgb));
    return image;
}

// pixels_or_path: None, an (h, w, 3) uint8 array, PNG/JPEG bytes, or a path.
lfw::Ref<kiv::Image> imageArgument(const py::handle& value) {
    if (value.is_none()) return lfw::Ref<kiv::Image>();
    if (py::isinstance<py::bytes>(value) || py::isinstance<py::bytearray>(value)) return decodePicture(bytesOf(value));
    if (py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__"))
        return decodePicture(readFileBytes(pathArgument(value, "path")).cast<std::string>());
    if (PyObject_CheckBuffer(value.ptr())) {
        py::buffer buffer = py::reinterpret_borrow<py::buffer>(value);
        const py::buffer_info info = buffer.request();
        if (info.ndim == 1 && info.itemsize == 1) {  // a memoryview of file bytes
            return decodePicture(std::string(static_cast<const char*>(info.ptr), static_cast<size_t>(info.size)));
        }
        return imageFromArray(buffer);
    }
    throw py::type_error("pixels_or_path must be a uint8 array of shape (h, w, 3), PNG or JPEG bytes, or a path, not " +
                         std::string(py::str(py::type::handle_of(value).attr("__name__"))));
}

// ---------------------------------------------------------------------------
// Snapshots

// A snapshot as Python sees it: the library's object and, when it was taken from
// or added to a repository, its number there (1-based, as in template tags).
struct PySnapshot {
    lfw::Ref<Snapshot> snapshot;
    size_t number = 0;
};

const char* typeName(Snapshot::SnapshotType type) {
    switch (type) {
    case Snapshot::IMAGE: return "image";
    case Snapshot::MDLX: return "model";
    case Snapshot::TABLE: return "table";
    }
    return "unknown";
}

PySnapshot makeSnapshot(Snapshot::SnapshotType type, const std::string& name, const std::string& title,
                        const std::string& description, const py::handle& fields, const std::string& viewerUrl) {
    PySnapshot s;
    s.snapshot = new Snapshot(type);
    s.snapshot->setName(Str(name));
    s.snapshot->setTitle(Str(title));
    s.snapshot->setDescription(Str(description));
    s.snapshot->setFieldValues(fieldsArgument(fields));
    s.snapshot->setCloudViewerUrl(Str(viewerUrl));
    return s;
}

lfw::Ref<kiv::ug::MdlxMemoryFile> modelArgument(const py::handle& value, std::string* path) {
    if (value.is_none()) return lfw::Ref<kiv::ug::MdlxMemoryFile>();
    std::string bytes;
    if (py::isinstance<py::bytes>(value) || py::isinstance<py::bytearray>(value)) {
        bytes = bytesOf(value);
    } else if (py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__")) {
        *path = pathArgument(value, "path_or_bytes");
        bytes = readFileBytes(*path).cast<std::string>();
    } else {
        throw py::type_error("path_or_bytes must be bytes or a path, not " +
                             std::string(py::str(py::type::handle_of(value).attr("__name__"))));
    }
    lfw::Ref<kiv::ug::MdlxMemoryFile> model = new kiv::ug::MdlxMemoryFile;
    model->setFromRawData(bytes.data(), bytes.size());
    kiv::ug::MdlxAccess access;
    if (bytes.empty() || !access.Open(model->internal_mdlxZipMemFile(), kiv::ug::MdlxAccess::READ))
        throw py::value_error("not an Mdlx model file");
    return model;
}

lfw::Ref<Table> tableArgument(const py::handle& rows) {
    if (rows.is_none()) return lfw::Ref<Table>();
    const char* shape = "rows must be a list of lists of strings";
    if (py::isinstance<py::str>(rows) || py::isinstance<py::bytes>(rows) || !py::isinstance<py::sequence>(rows))
        throw py::type_error(shape);
    std::vector<std::vector<std::string>> cells;
    for (py::handle row : py::reinterpret_borrow<py::sequence>(rows)) {
        if (py::isinstance<py::str>(row) || py::isinstance<py::bytes>(row) || !py::isinstance<py::sequence>(row))
            throw py::type_error(shape);
        std::vector<std::string> line;
        for (py::handle cell : py::reinterpret_borrow<py::sequence>(row)) line.push_back(textArgument(cell, "a cell"));
        if (!cells.empty() && line.size() != cells[0].size())
            throw py::value_error("every row must have as many cells as the first (" + std::to_string(cells[0].size()) +
                                  "), row " + std::to_string(cells.size() + 1) + " has " + std::to_string(line.size()));
        cells.push_back(std::move(line));
    }
    lfw::Ref<Table> table = new Table(cells.size(), cells.empty() ? 0 : cells[0].size());
    for (size_t r = 0; r < cells.size(); ++r)
        for (size_t c = 0; c < cells[r].size(); ++c) table->setValue(r, c, Str(cells[r][c]));
    return table;
}

py::object pixelsOf(const Snapshot& s) {
    const kiv::Image* image = s.image();
    if (!image || image->byteCount() == 0) return py::none();
    py::array_t<unsigned char> array(
        {static_cast<py::ssize_t>(image->height()), static_cast<py::ssize_t>(image->width()), static_cast<py::ssize_t>(3)});
    std::memcpy(array.mutable_data(), image->data(), image->byteCount());
    return std::move(array);
}

py::object rowsOf(const Snapshot& s) {
    const Table* table = s.table();
    if (!table) return py::none();
    py::list rows;
    for (size_t r = 0; r < table->rowCount(); ++r) {
        py::list row;
        for (size_t c = 0; c < table->columnCount(); ++c) row.append(table->value(r, c).toStdString());
        rows.append(row);
    }
    return std::move(rows);
}

py::dict fieldsOf(const Snapshot& s) {
    py::dict fields;
    for (const auto& kv : s.fieldValues()) fields[py::str(kv.first.toStdString())] = kv.second.toStdString();
    return fields;
}

// ---------------------------------------------------------------------------
// Repositories

// A repository of the same snapshots' current state that no Python thread can
// change: new snapshot objects sharing the (never modified in place) pictures,
// tables and models. Made with the GIL held, used without it.
lfw::Ref<Repository> frozenCopy(const Repository& source) {
    lfw::Ref<Repository> copy = new Repository;
    for (size_t i = 0; i < source.snapshotCount(); ++i) {
        const Snapshot* s = source.snapshot(i);
        lfw::Ref<Snapshot> c = new Snapshot(s->type());
        c->setName(s->name());
        c->setTitle(s->title());
        c->setDescription(s->description());
        c->setFieldValues(s->fieldValues());
        c->setCloudViewerUrl(s->cloudViewerUrl());
        c->setOriginalModelPath(s->originalModelPath());
        c->setImage(s->image());
        c->setModelMdlx(s->modelMdlx());
        c->setTable(s->table());
        copy->addSnapshot(c.p());
    }
    return copy;
}

size_t checkedIndex(const Repository& repository, py::ssize_t index) {
    const py::ssize_t count = static_cast<py::ssize_t>(repository.snapshotCount());
    if (index < 0) index += count;
    if (index < 0 || index >= count) throw py::index_error("repository index out of range");
    return static_cast<size_t>(index);
}

lfw::Ref<Repository> loadRepository(const py::handle& pathObject) {
    const std::string path = pathArgument(pathObject, "path");
    lfw::Ref<Repository> repository = new Repository;
    LibraryCall call;
    lfw::LogCapture capture;
    bool ok;
    {
        py::gil_scoped_release release;
        ok = repository->loadRepository(Str(path));
    }
    call.finish(resultOf(ok, capture), path + ": not a readable repository file");
    return repository;
}

void saveRepository(const Repository& repository, const py::handle& pathObject) {
    const std::string path = pathArgument(pathObject, "path");
    lfw::Ref<Repository> frozen = frozenCopy(repository);
    LibraryCall call;
    lfw::LogCapture capture;
    bool ok;
    {
        py::gil_scoped_release release;
        ok = frozen->saveRepository(Str(path));
    }
    call.finish(resultOf(ok, capture), path + ": the repository file could not be written");
}

// ---------------------------------------------------------------------------
// Reports: one code path for every format, through the report interface.

using kiv::rep::ReportFormat;

ReportFormat formatOf(const std::string& templatePath) {
    const ReportFormat format = kiv::rep::ReportCreator::formatOf(Str(templatePath));
    if (format == ReportFormat::Unknown)
        throw py::value_error(templatePath +
                              ": unknown template type (expected .html, .htm, .pptx, .pptm, .docx, "
                              ".docm or another Word or PowerPoint package)");
    return format;
}

// The fonts the PDF will show in another font, as warnings of Python's logging.
void warnMissingFonts(kivpdf::ReportKind kind, const std::string& report) {
    std::vector<std::string> warnings;
    {
        py::gil_scoped_release release;
        warnings = kivpdf::missingFontWarnings(kind, report);
    }
    if (warnings.empty()) return;
    py::object logger = py::module_::import("logging").attr("getLogger")("kivreport");
    for (const std::string& w : warnings) logger.attr("warning")("%s", w);
}

kivpdf::ReportKind pdfKindOf(ReportFormat format) {
    switch (format) {
    case ReportFormat::PowerPoint: return kivpdf::ReportKind::PowerPoint;
    case ReportFormat::Word: return kivpdf::ReportKind::Word;
    default: break;
    }
    return kivpdf::ReportKind::Html;
}

// What generate did: the files written (the report first), the warnings, and
// the snapshots whose content a partial report left out.
struct GenerateResult {
    std::vector<std::string> files;
    std::vector<std::string> warnings;
    std::vector<std::string> leftOut;
};

// The repositories a report call holds: kept alive while the call runs.
struct ReportOptions {
    lfw::Ref<Repository> reference;
    kiv::rep::ReportOptions options;
};

std::unique_ptr<kiv::rep::ReportCreator> creatorOf(Repository* repository, const std::string& templatePath) {
    std::unique_ptr<kiv::rep::ReportCreator> creator = kiv::rep::ReportCreator::create(repository, Str(templatePath));
    if (!creator) throw ReportError(templatePath + ": unknown template type");
    return creator;
}

ReportOptions reportOptions(const py::handle& reference, const py::handle& snapshots, bool use3dPlugin, bool embedModels,
                            bool acceptPartial = false) {
    ReportOptions options;
    options.options.acceptPartialReport = acceptPartial;
    options.options.use3dViewer = use3dPlugin;
    options.options.embedModels = embedModels;
    if (!reference.is_none()) {
        if (!py::isinstance<Repository>(reference)) throw py::type_error("reference must be a kivreport.Repository or None");
        options.reference = frozenCopy(*reference.cast<Repository*>());
        options.options.referenceRepository = options.reference.p();
    }
    if (!snapshots.is_none()) {
        if (py::isinstance<py::str>(snapshots) || !py::isinstance<py::iterable>(snapshots))
            throw py::type_error("snapshots must be a list of 0-based snapshot indices");
        for (py::handle item : snapshots) {
            if (py::isinstance<py::bool_>(item) || !py::isinstance<py::int_>(item))
                throw py::type_error("snapshots must be a list of 0-based snapshot indices (int)");
            const long long index = item.cast<long long>();
            if (index < 0 || index > 0x7fffffffLL)
                throw py::value_error("snapshot index " + std::to_string(index) + " is out of range");
            options.options.snapshots.push_back(static_cast<unsigned int>(index));
        }
    }
    return options;
}

Repository* repositoryArgument(const py::handle& value) {
    if (!py::isinstance<Repository>(value)) throw py::type_error("repository must be a kivreport.Repository");
    return value.cast<Repository*>();
}

GenerateResult generateReport(const py::handle& repositoryObject, const py::handle& templateObject, const py::handle& outObject,
                              const py::handle& reference, const py::handle& snapshots, bool use3dViewer, bool embedModels,
                              bool acceptPartial, bool pdf, int pdfTimeout, const py::handle& use3dPlugin, bool strict) {
    Repository* repository = repositoryArgument(repositoryObject);
    const std::string templatePath = pathArgument(templateObject, "template");
    const std::string out = pathArgument(outObject, "out");
    const ReportFormat format = formatOf(templatePath);
    const std::string pdfPath = kivpdf::pdfPathFor(out);
    // Word and PowerPoint open their documents only under their own extensions:
    // .docm and .pptm for a report that keeps the template's macros.
    const std::string outExtension = lfw::FileSystem::lowerExtension(out);
    if (format == ReportFormat::Word && outExtension != ".docx" && outExtension != ".docm")
        throw py::value_error(out + ": a Word template makes a Word report; name it .docx (.docm to keep its macros)");
    if (format == ReportFormat::PowerPoint && outExtension != ".pptx" && outExtension != ".pptm")
        throw py::value_error(out +
                              ": a PowerPoint template makes a PowerPoint report; name it .pptx (.pptm to keep "
                              "its macros)");
    if (format == ReportFormat::Html &&
        (outExtension == ".docx" || outExtension == ".pptx" || outExtension == ".docm" || outExtension == ".pptm"))
        throw py::value_error(out + ": an HTML template makes an HTML report; name it .html");
    if (pdf && outExtension == ".pdf")
        throw py::value_error(out + ": the report itself cannot be named .pdf when pdf=True asks for a PDF beside it");
    if (pdf && pdfTimeout <= 0) throw py::value_error("pdf_timeout must be at least 1 second");
    // use_3d_plugin: the older name of use_3d_viewer.
    if (!use3dPlugin.is_none()) use3dViewer = use3dPlugin.cast<bool>();
    ReportOptions options = reportOptions(reference, snapshots, use3dViewer, embedModels, acceptPartial);
    options.options.strict = strict;
    lfw::Ref<Repository> frozen = frozenCopy(*repository);

    std::unique_ptr<kiv::rep::ReportCreator> creator = creatorOf(frozen.p(), templatePath);
    LibraryCall call;
    kiv::rep::ReportResult result;
    {
        py::gil_scoped_release release;
        result = creator->generate(Str(out), options.options);
    }
    call.finish(result, out + ": the report could not be made");
    GenerateResult made;
    for (size_t i = 0; i < result.fileCount(); ++i) made.files.push_back(result.file(i).toStdString());
    for (size_t i = 0; i < result.messageCount(); ++i)
        if (result.messageLevel(i) == kiv::rep::ReportResult::Warning) made.warnings.push_back(result.message(i).toStdString());
    for (size_t i = 0; i < result.leftOutCount(); ++i) made.leftOut.push_back(result.leftOut(i).toStdString());
    if (!pdf) return made;
    warnMissingFonts(pdfKindOf(format), out);
    std::string error;
    bool converted;
    {
        py::gil_scoped_release release;
        converted = kivpdf::convertToPdf(pdfKindOf(format), out, pdfPath, pdfTimeout, &error);
    }
    if (!converted) throw PdfError(pdfPath + ": " + error + " (the report " + out + " was written)");
    made.files.push_back(pdfPath);
    return made;
}

py::tuple validateTemplate(const py::handle& repositoryObject, const py::handle& templateObject, const py::handle& reference,
                           const py::handle& snapshots) {
    Repository* repository = repositoryArgument(repositoryObject);
    const std::string templatePath = pathArgument(templateObject, "template");
    formatOf(templatePath);
    const ReportOptions options = reportOptions(reference, snapshots, true, true);
    lfw::Ref<Repository> frozen = frozenCopy(*repository);
    std::unique_ptr<kiv::rep::ReportCreator> creator = creatorOf(frozen.p(), templatePath);
    LibraryCall call;
    kiv::rep::ReportResult result;
    {
        py::gil_scoped_release release;
        result = creator->validate(options.options);
    }
    // A failed check that says nothing could not read the template.
    const bool passed = result.succeeded();
    if (!result.text().isEmpty()) result.setSucceeded(true);
    call.finish(result, templatePath + ": the template could not be checked");
    return py::make_tuple(passed, result.text().toStdString());
}

std::string summarizeTemplate(const py::handle& templateObject) {
    const std::string templatePath = pathArgument(templateObject, "template");
    formatOf(templatePath);
    LibraryCall call;
    kiv::rep::ReportResult result;
    {
        py::gil_scoped_release release;
        result = kiv::rep::ReportCreator::summarize(Str(templatePath));
    }
    // Without an error, the text the library wrote instead of a summary says why.
    const Str summary = result.text();
    call.finish(result, templatePath + ": " +
                            (summary.isEmpty() ? std::string("the template could not be summarized") : summary.toStdString()));
    return summary.toStdString();
}

// A PDF copy of a finished report file; the converter follows its extension.
std::string reportToPdf(const py::handle& reportObject, const py::handle& pdfObject, int timeout) {
    const std::string report = pathArgument(reportObject, "report");
    const std::string pdfPath = pdfObject.is_none() ? kivpdf::pdfPathFor(report) : pathArgument(pdfObject, "pdf");
    const std::string extension = lfw::FileSystem::lowerExtension(report);
    kivpdf::ReportKind kind;
    if (extension == ".html" || extension == ".htm") kind = kivpdf::ReportKind::Html;
    else if (extension == ".pptx" || extension == ".pptm") kind = kivpdf::ReportKind::PowerPoint;
    else if (extension == ".docx" || extension == ".docm") kind = kivpdf::ReportKind::Word;
    else throw py::value_error(report + ": unknown report type (expected .html, .htm, .pptx, .pptm, .docx or .docm)");
    if (timeout <= 0) throw py::value_error("timeout must be at least 1 second");
    if (::access(report.c_str(), R_OK) != 0) {
        PyErr_SetFromErrnoWithFilename(PyExc_OSError, report.c_str());
        throw py::error_already_set();
    }
    if (lfw::FileSystem::lowerExtension(pdfPath) != ".pdf") throw py::value_error(pdfPath + ": the PDF must be named .pdf");
    warnMissingFonts(kind, report);
    std::string error;
    bool converted;
    {
        py::gil_scoped_release release;
        converted = kivpdf::convertToPdf(kind, report, pdfPath, timeout, &error);
    }
    if (!converted) throw PdfError(pdfPath + ": " + error);
    return pdfPath;
}

}  // namespace

PYBIND11_MODULE(_kivreport, m) {
    m.doc() = "Reports (HTML, PowerPoint, Word, PDF) from repositories of snapshots: pictures, 3D models and tables.";
    startComponent();
    m.attr("__version__") = kiv::rep::ReportComponent::versionString().toStdString();

    // Never destroyed: they must outlive every use, also during interpreter shutdown.
    static py::exception<ReportError>* error = new py::exception<ReportError>(m, "Error");
    static py::exception<PdfError>* pdfError = new py::exception<PdfError>(m, "PdfError", error->ptr());
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const ReportError& e) {
            // The exception object carries the failed call's result.
            py::object type =
                py::reinterpret_borrow<py::object>(dynamic_cast<const PdfError*>(&e) ? pdfError->ptr() : error->ptr());
            py::object value = type(e.what());
            value.attr("errors") = py::cast(e.details.errors);
            value.attr("codes") = py::cast(e.details.codes);
            value.attr("warnings") = py::cast(e.details.warnings);
            value.attr("left_out") = py::cast(e.details.leftOut);
            PyErr_SetObject(type.ptr(), value.ptr());
        }
    });
    error->attr("__doc__") =
        "A library call failed. The message holds its errors; the attributes errors, warnings\n"
        "and left_out (names of snapshots whose content was left out) list them, and codes\n"
        "the kind of each error (\"not-an-archive\", \"too-large\"...).";
    pdfError->attr("__doc__") = "The report was written, but its PDF copy could not be made.";

    py::class_<PySnapshot>(m, "Snapshot",
                           "A captured item of a report: a picture, a 3D model or a table, with a name, title,\n"
                           "description (which may hold $(KEY) macros) and field values.")
        .def_static(
            "image",
            [](const py::handle& pixels, const std::string& title, const std::string& description, const py::handle& fields,
               const std::string& viewerUrl, const std::string& name) {
                lfw::Ref<kiv::Image> image = imageArgument(pixels);
                PySnapshot s = makeSnapshot(Snapshot::IMAGE, name, title, description, fields, viewerUrl);
                s.snapshot->setImage(image.p());
                return s;
            },
            py::arg("pixels_or_path"), py::kw_only(), py::arg("title") = "", py::arg("description") = "",
            py::arg("fields") = py::none(), py::arg("viewer_url") = "", py::arg("name") = "",
            "A picture snapshot from a uint8 array of shape (height, width, 3), PNG or JPEG bytes,\n"
            "a path of a PNG or JPEG file, or None (no picture).")
        .def_static(
            "model",
            [](const py::handle& model, const std::string& title, const std::string& description, const py::handle& fields,
               const std::string& viewerUrl, const std::string& name) {
                std::string path;
                lfw::Ref<kiv::ug::MdlxMemoryFile> file = modelArgument(model, &path);
                PySnapshot s = makeSnapshot(Snapshot::MDLX, name, title, description, fields, viewerUrl);
                s.snapshot->setModelMdlx(file.p());
                s.snapshot->setOriginalModelPath(Str(path));
                return s;
            },
            py::arg("path_or_bytes"), py::kw_only(), py::arg("title") = "", py::arg("description") = "",
            py::arg("fields") = py::none(), py::arg("viewer_url") = "", py::arg("name") = "",
            "A 3D model snapshot from the bytes or the path of an Mdlx model file, or None.")
        .def_static(
            "table",
            [](const py::handle& rows, const std::string& title, const std::string& description, const py::handle& fields,
               const std::string& viewerUrl, const std::string& name, const std::string& xAxisTitle,
               const std::string& yAxisTitle) {
                lfw::Ref<Table> table = tableArgument(rows);
                if (table.notNull()) {
                    table->setChartXAxisTitle(Str(xAxisTitle));
                    table->setChartYAxisTitle(Str(yAxisTitle));
                }
                PySnapshot s = makeSnapshot(Snapshot::TABLE, name, title, description, fields, viewerUrl);
                s.snapshot->setTable(table.p());
                return s;
            },
            py::arg("rows"), py::kw_only(), py::arg("title") = "", py::arg("description") = "", py::arg("fields") = py::none(),
            py::arg("viewer_url") = "", py::arg("name") = "", py::arg("x_axis_title") = "", py::arg("y_axis_title") = "",
            "A table snapshot from a list of rows, each a list of cells (str, int or float);\n"
            "every row as long as the first. Charts take their axis titles from it.")
        .def_property_readonly(
            "type", [](const PySnapshot& s) { return typeName(s.snapshot->type()); }, "'image', 'model' or 'table'.")
        .def_property_readonly(
            "number", [](const PySnapshot& s) -> py::object { return s.number ? py::cast(s.number) : py::none(); },
            "The snapshot's number in the repository it was taken from or added to, counted from 1\n"
            "as in template tags (SIT1_TITLE); None for a snapshot not in a repository.")
        .def_property(
            "name", [](const PySnapshot& s) { return s.snapshot->name().toStdString(); },
            [](PySnapshot& s, const std::string& v) { s.snapshot->setName(Str(v)); })
        .def_property(
            "title", [](const PySnapshot& s) { return s.snapshot->title().toStdString(); },
            [](PySnapshot& s, const std::string& v) { s.snapshot->setTitle(Str(v)); })
        .def_property(
            "description", [](const PySnapshot& s) { return s.snapshot->description().toStdString(); },
            [](PySnapshot& s, const std::string& v) { s.snapshot->setDescription(Str(v)); })
        .def_property_readonly(
            "expanded_description", [](const PySnapshot& s) { return s.snapshot->expandedDescription().toStdString(); },
            "The description with its $(KEY) macros replaced by the HTML-escaped field values.")
        .def_property(
            "fields", [](const PySnapshot& s) { return fieldsOf(*s.snapshot); },
            [](PySnapshot& s, const py::handle& v) { s.snapshot->setFieldValues(fieldsArgument(v)); },
            "The field values (a new dict on each read; assign a dict to change them).")
        .def_property(
            "viewer_url", [](const PySnapshot& s) { return s.snapshot->cloudViewerUrl().toStdString(); },
            [](PySnapshot& s, const std::string& v) { s.snapshot->setCloudViewerUrl(Str(v)); })
        .def_property_readonly(
            "pixels", [](const PySnapshot& s) { return pixelsOf(*s.snapshot); },
            "A copy of the picture as a uint8 array (height, width, 3), or None.")
        .def_property_readonly(
            "model_bytes",
            [](const PySnapshot& s) -> py::object {
                const kiv::ug::MdlxMemoryFile* model = s.snapshot->modelMdlx();
                if (!model) return py::none();
                const kiv::ug::MdlxZipMemFile* file = model->internal_mdlxZipMemFile();
                return py::bytes(reinterpret_cast<const char*>(file->GetBuffer()), file->GetSize());
            },
            "The Mdlx model file's bytes, or None.")
        .def_property_readonly(
            "rows", [](const PySnapshot& s) { return rowsOf(*s.snapshot); },
            "A copy of the table's cells as a list of rows, or None.")
        .def_property_readonly("x_axis_title",
                               [](const PySnapshot& s) {
                                   return s.snapshot->table() ? s.snapshot->table()->chartXAxisTitle().toStdString()
                                                              : std::string();
                               })
        .def_property_readonly("y_axis_title",
                               [](const PySnapshot& s) {
                                   return s.snapshot->table() ? s.snapshot->table()->chartYAxisTitle().toStdString()
                                                              : std::string();
                               })
        .def("__eq__",
             [](const PySnapshot& a, const py::handle& b) {
                 return py::isinstance<PySnapshot>(b) && a.snapshot.p() == b.cast<const PySnapshot&>().snapshot.p();
             })
        .def("__hash__", [](const PySnapshot& s) { return std::hash<const void*>()(s.snapshot.p()); })
        .def("__repr__", [](const PySnapshot& s) {
            std::string text = std::string("<kivreport.Snapshot ") + typeName(s.snapshot->type());
            if (s.number) text += " #" + std::to_string(s.number);
            text += " " + std::string(py::repr(py::str(s.snapshot->name().toStdString())));
            if (const kiv::Image* image = s.snapshot->image())
                text += " " + std::to_string(image->width()) + "x" + std::to_string(image->height());
            return text + ">";
        });

    py::class_<Repository, lfw::Ref<Repository>>(m, "Repository",
                                                 "An ordered collection of snapshots with unique names, saved to and\n"
                                                 "loaded from repository files.")
        .def(py::init([]() { return new Repository; }))
        .def_static("load", &loadRepository, py::arg("path"),
                    "Reads a repository file; raises kivreport.Error when it cannot be read.")
        .def("save", &saveRepository, py::arg("path"),
             "Writes the repository file; an existing file is replaced only by a complete new one.")
        .def("__len__", &Repository::snapshotCount)
        .def("__getitem__",
             [](Repository& r, py::ssize_t index) {
                 const size_t i = checkedIndex(r, index);
                 return PySnapshot{r.snapshot(i), i + 1};
             })
        .def("__delitem__", [](Repository& r, py::ssize_t index) { r.removeSnapshot(checkedIndex(r, index)); })
        .def("__iter__",
             [](Repository& r) {
                 py::list items;
                 for (size_t i = 0; i < r.snapshotCount(); ++i) items.append(PySnapshot{r.snapshot(i), i + 1});
                 return py::iter(items);
             })
        .def(
            "add",
            [](Repository& r, PySnapshot& s) {
                for (size_t i = 0; i < r.snapshotCount(); ++i)
                    if (r.snapshot(i) == s.snapshot.p()) throw py::value_error("the snapshot is already in this repository");
                r.addSnapshot(s.snapshot.p());
                s.number = r.snapshotCount();
                return s.snapshot->name().toStdString();
            },
            py::arg("snapshot"),
            "Appends the snapshot (not a copy) and returns the name it is stored under: its own, or\n"
            "made unique with a number appended ('situation' when it has none).")
        .def("clear", &Repository::removeAllSnapshots)
        .def("__repr__",
             [](const Repository& r) { return "<kivreport.Repository of " + std::to_string(r.snapshotCount()) + " snapshots>"; });

    py::class_<GenerateResult>(m, "Result", "What generate did.")
        .def_readonly("files", &GenerateResult::files, "The files written, the report first (then its pictures, models, PDF).")
        .def_readonly("warnings", &GenerateResult::warnings,
                      "The warnings, one line each: tags left as the template has them, in the words of validate.")
        .def_readonly("left_out", &GenerateResult::leftOut, "Names of the snapshots whose content a partial report left out.")
        .def("__repr__", [](const GenerateResult& r) {
            return "<kivreport.Result: " + std::to_string(r.files.size()) + " files, " + std::to_string(r.warnings.size()) +
                   " warnings>";
        });
    m.def("generate", &generateReport, py::arg("repository"), py::arg("template"), py::arg("out"), py::kw_only(),
          py::arg("reference") = py::none(), py::arg("snapshots") = py::none(), py::arg("use_3d_viewer") = true,
          py::arg("embed_models") = true, py::arg("accept_partial") = false, py::arg("pdf") = false,
          py::arg("pdf_timeout") = kivpdf::kDefaultTimeoutSeconds, py::arg("use_3d_plugin") = py::none(),
          py::arg("strict") = false,
          "Makes the report `out` from the repository and the template; the format follows the\n"
          "template's extension (.html, .htm, .pptx, .pptm, .docx, .docm; for another extension,\n"
          "the Word or PowerPoint package the template is); a Word or PowerPoint report named\n"
          ".docm or .pptm keeps the template's macros. reference: the repository of the REF_\n"
          "tags. snapshots: the 0-based indices generic tags repeat over, in this order (default:\n"
          "all). use_3d_viewer=False shows 3D models as pictures (use_3d_plugin is its older\n"
          "name). embed_models: put the model files into PowerPoint and Word reports.\n"
          "accept_partial=True writes a report of any format even when a snapshot's picture\n"
          "cannot be made, without it; kivreport.Error.left_out names such snapshots when the\n"
          "report is refused. pdf=True also writes the report as PDF beside\n"
          "it (report.pdf), through LibreOffice or Chromium, stopped after pdf_timeout seconds;\n"
          "kivreport.PdfError when that fails (the report itself is written). An earlier report\n"
          "is replaced only by a complete new one. Tags the report leaves as the template has\n"
          "them are warnings of the result; strict=True refuses such a report instead.\n"
          "Returns a kivreport.Result; raises kivreport.Error on failure.");
    m.def("to_pdf", &reportToPdf, py::arg("report"), py::arg("pdf") = py::none(), py::kw_only(),
          py::arg("timeout") = kivpdf::kDefaultTimeoutSeconds,
          "Writes a PDF copy of an existing report (.pptx, .pptm, .docx and .docm through\n"
          "LibreOffice, .html through Chromium) to `pdf` (default: the report's name with .pdf)\n"
          "and returns its path. An existing PDF is replaced only by a complete new one;\n"
          "kivreport.PdfError on failure.");
    m.def("validate", &validateTemplate, py::arg("repository"), py::arg("template"), py::kw_only(),
          py::arg("reference") = py::none(), py::arg("snapshots") = py::none(),
          "Checks the template against the repository (and the reference repository): returns\n"
          "(ok, text), the validation report as the C++ library writes it.");
    m.def("summarize", &summarizeTemplate, py::arg("template"),
          "The template's generic groups, static tags and field values, as the C++ library writes\n"
          "them (lines end in CR LF).");
}
