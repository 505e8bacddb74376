// Repository files: a zip archive holding one entry per image (JPEG) or 3D model
// snapshot, named after the snapshot, and the index "Project.xml", written last.
#include "impl/common/Repository_p.h"
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "LibCore/lfwAssert.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/MdlxImageJpeg.h"
#include "host/ug/UgConvert.h"
#include "impl/storage/MkOXmlDocument.h"
#include "impl/storage/PxZipArchive.h"
#include "impl/storage/ReportLog.h"
#include "impl/common/NoThrow.h"
#include "LibCore/lfwStagedFiles.h"
#include "impl/common/FieldMacros.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kiv {
namespace rep {

namespace {

const char* const INDEX_ENTRY = "Project.xml";
const char* const ROOT_NAME = "OrviaRepository";
const char* const NAMESPACE_URI = "urn:varnox:orvia:repository";
const int FORMAT_VERSION = 2;
const int IMAGE_FORMAT_JPEG = 4;
const char* const TABLE_ROW_PREFIX = "TableRow";

// Limits for reading repository files, which may come from anywhere. Real files
// stay far below them; hostile ones must not take unbounded memory or time.
// Bytes of "Project.xml" once extracted.
const uint64_t MAX_INDEX_BYTES = 64ull << 20;
// Markup ("<") in "Project.xml": bounds the parsed tree, which takes far more
// memory per element than its text.
const size_t MAX_INDEX_MARKUP = 4000000;
// Snapshots read from one file.
const size_t MAX_SITUATIONS = 100000;
// Dimensions of one table, and cells of all tables of one file together.
const size_t MAX_TABLE_COLUMNS = 16384;
const size_t MAX_TABLE_CELLS = 1000000;
const size_t MAX_TOTAL_TABLE_CELLS = 4000000;
// Memory one table cell takes at least (its string object), charged with the content bytes.
const uint64_t TABLE_CELL_BYTES = 64;
// Bytes of one image entry (model entries are bounded by the zip engine's limit).
const uint64_t MAX_IMAGE_ENTRY_BYTES = 128ull << 20;
// Bytes of image and model entries extracted, plus decoded image bytes, of one
// file together (an entry may be named by many snapshots).
const uint64_t MAX_TOTAL_CONTENT_BYTES = 2ull << 30;

// A public string as message text.
lfw::String text(const Str& s) { return lfw::String(s.toStdString()); }

MkString toMk(const Str& s) { return ug::Convert::toMkString(s); }
Str toStr(const MkString& s) { return ug::Convert::toStr(s); }

// What one load may still spend; see the limits above. Saving spends it as
// loading will, so that no file is written that loading would refuse.
struct LoadBudget {
    uint64_t contentBytes = MAX_TOTAL_CONTENT_BYTES;
    size_t tableCells = MAX_TOTAL_TABLE_CELLS;
    // Set when some content could not be loaded (the error is logged where it happens).
    bool damaged = false;

    bool spendBytes(uint64_t n) {
        if (n > contentBytes) return false;
        contentBytes -= n;
        return true;
    }
    // A picture of that many JPEG bytes as loading charges it: the entry, and the
    // decoder's memory of which the pixels stay charged.
    bool spendPicture(uint64_t entryBytes, uint64_t decodeBytes, uint64_t pixelBytes) {
        if (!spendBytes(entryBytes) || !spendBytes(decodeBytes)) return false;
        if (decodeBytes > pixelBytes) contentBytes += decodeBytes - pixelBytes;
        return true;
    }
    // A table as loading charges it; false when loading would refuse it.
    bool spendTable(size_t rows, size_t columns) {
        const size_t total = rows * columns;
        if (columns > MAX_TABLE_COLUMNS || (columns > 0 && total / columns != rows) || total > MAX_TABLE_CELLS ||
            total > tableCells || !spendBytes(uint64_t(total) * TABLE_CELL_BYTES))
            return false;
        tableCells -= total;
        return true;
    }
};

// The error of a save that loading would refuse.
bool refuseSave(const Snapshot* situation, const char* what) {
    REP_LOG_ERROR(lfw::String("The repository is not saved: with snapshot '%1' it would hold more %2 than a repository "
                              "file may, and could not be loaded")
                      .arg(text(situation->name()))
                      .arg(what));
    return false;
}

// ---------------------------------------------------------------------------
// Saving

// The name a snapshot's entry is stored under, as the zip layer stores it.
std::wstring entryNameOf(const Str& name) {
    std::wstring n = name.toStdWString();
    for (wchar_t& c : n)
        if (c == L'\\') c = L'/';
    return n;
}

bool hasEntry(const Snapshot* s) { return s && (s->type() == Snapshot::IMAGE || s->type() == Snapshot::MDLX); }

// Entry names must be unique, must not be the index's and must be usable as
// names: a second entry of one name would make readers pick either of them.
bool checkEntryNames(const std::vector<PtrRef<Snapshot>>& snapshots) {
    std::set<std::wstring> names;
    names.insert(entryNameOf(INDEX_ENTRY));
    for (const PtrRef<Snapshot>& s : snapshots) {
        if (!hasEntry(s.p())) continue;
        const Str name = s->name();
        const std::wstring entry = entryNameOf(name);
        if (toMk(name).IsBlank() || entry.back() == L'/') {
            REP_LOG_ERROR(lfw::String("Snapshot name '%1' cannot name an entry of the repository file").arg(text(name)));
            return false;
        }
        if (!names.insert(entry).second) {
            REP_LOG_ERROR(lfw::String("More than one entry of the repository file would be named '%1'").arg(text(name)));
            return false;
        }
    }
    return true;
}

bool saveSituationImage(const Snapshot* situation, PxZipArchive* archive, MkXmlElement object, LoadBudget* budget) {
    const Image* image = situation->image();
    if (!image) {
        // Loading leaves an image snapshot without its image when the file lacked
        // it; such a repository must still save.
        REP_LOG_WARNING(lfw::String("Image snapshot '%1' has no image; it is saved without one").arg(text(situation->name())));
        return true;
    }
    object.AddAttributeInt("width", static_cast<int>(image->width()));
    object.AddAttributeInt("height", static_cast<int>(image->height()));
    object.AddAttributeInt("format", IMAGE_FORMAT_JPEG);
    lfw::Ref<PxZipMemFile> file = new PxZipMemFile;
    std::vector<unsigned char> encoded;
    const std::vector<unsigned char>* jpeg = image->sourceJpeg();
    // The JPEG the pixels came from is stored as it is: encoding again would
    // lose quality with every load and save.
    if (!jpeg) {
        MkRGBImage rgb;
        if (!ug::Convert::toMkRGBImage(image, &rgb) || !MdlxImageJpeg::saveImageToMemory(rgb, &encoded)) {
            REP_LOG_ERROR(lfw::String("Error encoding JPEG image"));
            return false;
        }
        jpeg = &encoded;
    }
    if (jpeg->size() > MAX_IMAGE_ENTRY_BYTES ||
        !budget->spendPicture(jpeg->size(), MdlxImageJpeg::decodeMemory(jpeg->data(), jpeg->size()),
                              uint64_t(image->width()) * image->height() * 3))
        return refuseSave(situation, "pictures and models");
    file->SetData(jpeg->data(), jpeg->size());
    return archive->AddNewFile(file.p(), toMk(situation->name()));
}

bool saveSituationMdlx(const Snapshot* situation, PxZipArchive* archive, LoadBudget* budget) {
    const ug::MdlxMemoryFile* model = situation->modelMdlx();
    if (!model) return true;  // nothing to store; loading leaves it without a model
    // The model's bytes are added in place, without a copy.
    const ug::MdlxZipMemFile* content = model->internal_mdlxZipMemFile();
    if (!budget->spendBytes(content->GetSize())) return refuseSave(situation, "pictures and models");
    lfw::Ref<PxZipMemFile> file = new PxZipMemFile;
    file->SetData(content->GetBuffer(), content->GetSize());
    return archive->AddNewFile(file.p(), toMk(situation->name()));
}

bool saveSituationTable(const Snapshot* situation, MkXmlElement object, LoadBudget* budget) {
    const Table* table = situation->table();
    if (!table) {
        REP_LOG_WARNING(lfw::String("Table snapshot '%1' has no table; it is saved without one").arg(text(situation->name())));
        return true;
    }
    if (table->rowCount() > 0 && !budget->spendTable(table->rowCount(), table->columnCount()))
        return refuseSave(situation, "table cells");
    object.AddAttributeString("XAxis", toMk(table->chartXAxisTitle()));
    object.AddAttributeString("YAxis", toMk(table->chartYAxisTitle()));
    object.AddAttributeInt("TableRowCount", static_cast<int>(table->rowCount()));
    const size_t columns = table->columnCount();
    MkString rowName;
    for (size_t r = 0; r < table->rowCount(); ++r) {
        MkStringArray cells;
        for (size_t c = 0; c < columns; ++c) cells.AddGrow(toMk(table->value(r, c)));
        rowName.MakeForm("%s%i", TABLE_ROW_PREFIX, static_cast<int>(r));
        object.AddChildStringArray(rowName, cells);
    }
    MkIntArray columnNumbers;
    columnNumbers.AssignConsecutive(static_cast<int>(columns), 0);
    object.AddChildIntArray("TableColumns", columnNumbers);
    return true;
}

// Appends the snapshot's "Situation" element and writes its entry. False stops the save.
bool saveSituation(const Snapshot* situation, PxZipArchive* archive, MkXmlElement root, LoadBudget* budget) {
    MkXmlElement element = root.AddChildElement("Situation");
    element.AddAttributeString("Name", toMk(situation->name()));
    element.AddAttributeString("Title", toMk(situation->title()));
    element.AddAttributeString("File", toMk(situation->cloudViewerUrl()));
    element.AddAttributeString("SituationState", "Active");
    element.AddChildElement("Description", toMk(situation->description()));
    const FieldValues fieldValues = situation->fieldValues();
    element.AddChildStringArray("MacroTableNames", FieldMacros::getKeysFromFieldValues(fieldValues));
    element.AddChildStringArray("MacroTableValues", FieldMacros::getValuesFromFieldValues(fieldValues));

    MkXmlElement object = element.AddChildElement("SituationObject");
    object.AddAttributeInt("Type", static_cast<int>(situation->type()));
    switch (situation->type()) {
    case Snapshot::IMAGE:
        object.AddAttributeString("Name", toMk(situation->name()));
        return saveSituationImage(situation, archive, object, budget);
    case Snapshot::MDLX:
        object.AddAttributeString("Name", toMk(situation->name()));
        return saveSituationMdlx(situation, archive, budget);
    case Snapshot::TABLE:
        object.AddAttributeString("Name", toMk(situation->name()));
        return saveSituationTable(situation, object, budget);
    }
    LFW_FAIL_MSG("Unhandled snapshot type");
    return true;
}

size_t markupCount(const unsigned char* text, size_t size);

bool addSituationsToArchive(const std::vector<PtrRef<Snapshot>>& snapshots, PxZipArchive* archive) {
    if (snapshots.size() > MAX_SITUATIONS) {
        REP_LOG_ERROR(lfw::String("The repository is not saved: it holds %1 snapshots, more than the %2 a repository "
                                  "file may hold")
                          .arg(static_cast<long long>(snapshots.size()))
                          .arg(static_cast<long long>(MAX_SITUATIONS)));
        return false;
    }
    MkXmlDocument document(true);
    MkXmlElement root = document.CreateRootElement(ROOT_NAME, -1, NAMESPACE_URI);
    root.AddAttributeInt("Version", FORMAT_VERSION);
    LoadBudget budget;
    for (const PtrRef<Snapshot>& s : snapshots) {
        const Snapshot* situation = s.p();
        LFW_ASSERT(situation);
        if (!situation) continue;
        if (!saveSituation(situation, archive, root, &budget)) return false;
    }
    const std::string index = document.PrintToString();
    if (index.size() > MAX_INDEX_BYTES ||
        markupCount(reinterpret_cast<const unsigned char*>(index.data()), index.size()) > MAX_INDEX_MARKUP) {
        REP_LOG_ERROR(lfw::String("The repository is not saved: its texts and tables make %1 larger than a repository "
                                  "file may hold")
                          .arg(INDEX_ENTRY));
        return false;
    }
    return archive->WriteDataRaw(INDEX_ENTRY, index.data(), index.size(), false);
}

// ---------------------------------------------------------------------------
// Loading

struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

// The entry's bytes, counted against the budget; null (logged) when it cannot be read.
MallocBuffer readEntry(PxZipArchive* archive, const MkString& name, LoadBudget* budget, size_t* size,
                       uint64_t maxBytes) {
    *size = 0;
    const int index = archive->FindFile(name);
    uint64_t declared = 0;
    if (index < 0 || !archive->GetFileSize(index, &declared)) return MallocBuffer();
    if (maxBytes == 0 || declared <= maxBytes) {
        if (!budget->spendBytes(declared)) {
            budget->damaged = true;
            REP_LOG_ERROR(lfw::String("Repository file holds too much data; '%1' is not loaded").arg(lfw::String(name)));
            return MallocBuffer();
        }
    }
    return MallocBuffer(archive->ReadDataRaw(name, size, nullptr, maxBytes));
}

// Decodes a picture whose bytes were checked when the repository was read.
bool decodeStoredJpeg(const std::vector<unsigned char>& jpeg, unsigned width, unsigned height,
                      std::vector<unsigned char>* pixels) {
    MkRGBImage rgb;
    if (!MdlxImageJpeg::loadImageFromMemory(jpeg.data(), jpeg.size(), &rgb,
                                            MdlxImageJpeg::decodeMemory(jpeg.data(), jpeg.size())) ||
        static_cast<unsigned>(rgb.GetWidth()) != width || static_cast<unsigned>(rgb.GetHeight()) != height)
        return false;
    *pixels = std::move(rgb.Bytes());
    return true;
}

void loadSituationImage(Snapshot* situation, PxZipArchive* archive, MkXmlElement object, LoadBudget* budget) {
    const MkString name = object.GetAttributeString("Name");
    situation->setName(toStr(name));
    if (name.IsBlank() || archive->FindFile(name) < 0) {
        budget->damaged = true;
        REP_LOG_ERROR(lfw::String("Image data not found in file"));
        return;
    }
    size_t size = 0;
    MallocBuffer bytes = readEntry(archive, name, budget, &size, MAX_IMAGE_ENTRY_BYTES);
    if (!bytes) {
        budget->damaged = true;  // the archive layer logged why
        return;
    }
    if (size < 2 || bytes.get()[0] != 0xFF || bytes.get()[1] != 0xD8) {
        budget->damaged = true;
        REP_LOG_ERROR(lfw::String("Image is not valid JPEG format. Might be a Orvia Reporter repository?"));
        return;
    }
    // The decoder's memory (pixels, and all coefficients of a progressive picture)
    // is charged from the header before anything is decoded.
    const uint64_t decodeBytes = MdlxImageJpeg::decodeMemory(bytes.get(), size);
    if (decodeBytes == 0) {
        budget->damaged = true;
        REP_LOG_ERROR(lfw::String("Error decoding JPEG image '%1'").arg(lfw::String(name)));
        return;
    }
    if (!budget->spendBytes(decodeBytes)) {
        budget->damaged = true;
        REP_LOG_ERROR(lfw::String("Repository file holds too much data; '%1' is not loaded").arg(lfw::String(name)));
        return;
    }
    MkRGBImage rgb;
    if (!MdlxImageJpeg::loadImageFromMemory(bytes.get(), size, &rgb, decodeBytes)) {
        budget->damaged = true;
        REP_LOG_ERROR(lfw::String("Error decoding JPEG image '%1'").arg(lfw::String(name)));
        return;
    }
    // The pixels stay charged; the decoder's working memory is free again, so a
    // repository of many pictures is not refused for memory it never holds at once.
    const uint64_t kept = static_cast<uint64_t>(rgb.GetNumImageBytes());
    if (decodeBytes > kept) budget->contentBytes += decodeBytes - kept;
    // The picture decodes, so the image keeps its JPEG bytes alone and decodes
    // them again only if someone reads the pixels: reports copy the bytes, and a
    // repository of a thousand pictures holds megabytes instead of hundreds.
    const unsigned width = static_cast<unsigned>(rgb.GetWidth()), height = static_cast<unsigned>(rgb.GetHeight());
    if (static_cast<size_t>(width) * height * 3 != rgb.Bytes().size() || kept == 0) {
        budget->damaged = true;
        REP_LOG_ERROR(lfw::String("Error decoding JPEG image '%1'").arg(lfw::String(name)));
        return;
    }
    rgb = MkRGBImage();
    PtrRef<Image> image = new Image;
    image->setDeferredJpeg(width, height, std::vector<unsigned char>(bytes.get(), bytes.get() + size), decodeStoredJpeg);
    situation->setImage(image.p());
}

void loadSituationMdlx(Snapshot* situation, PxZipArchive* archive, MkXmlElement object, LoadBudget* budget) {
    const MkString name = object.GetAttributeString("Name");
    situation->setName(toStr(name));
    if (name.IsBlank() || archive->FindFile(name) < 0) return;  // no model, silently
    uint64_t declared = 0;
    if (!archive->GetFileSize(archive->FindFile(name), &declared) || !budget->spendBytes(declared)) {
        budget->damaged = true;
        REP_LOG_ERROR(lfw::String("Repository file holds too much data; '%1' is not loaded").arg(lfw::String(name)));
        return;
    }
    // Inflated straight into the model's own buffer: a model can be large.
    std::vector<unsigned char> bytes;
    if (!archive->ReadDataInto(name, &bytes)) {
        budget->damaged = true;  // the archive layer logged why
        return;
    }
    PtrRef<ug::MdlxMemoryFile> model = new ug::MdlxMemoryFile;
    model->internal_mdlxZipMemFile()->TakeData(std::move(bytes));
    situation->setModelMdlx(model.p());
}

// "TableRow<r>" with r written as by "%i" (no sign, no leading zero); -1 otherwise.
long long tableRowIndex(const char* elementName) {
    const size_t prefix = std::strlen(TABLE_ROW_PREFIX);
    if (std::strncmp(elementName, TABLE_ROW_PREFIX, prefix) != 0) return -1;
    const char* digits = elementName + prefix;
    const size_t n = std::strlen(digits);
    if (n == 0 || n > 10 || (digits[0] == '0' && n > 1)) return -1;
    long long r = 0;
    for (const char* p = digits; *p; ++p) {
        if (*p < '0' || *p > '9') return -1;
        r = r * 10 + (*p - '0');
    }
    return r;
}

void loadSituationTable(Snapshot* situation, MkXmlElement object, LoadBudget* budget) {
    const MkString name = object.GetAttributeString("Name");
    situation->setName(toStr(name));
    const MkString xAxis = object.GetAttributeString("XAxis");
    const MkString yAxis = object.GetAttributeString("YAxis");
    const int rowCount = object.GetAttributeInt("TableRowCount", -1);
    if (rowCount <= 0) return;  // -1: no table; 0 or below: no rows, nothing to hold

    // One pass over the children finds each row's array (the first of its name),
    // instead of a search by name per row.
    std::map<long long, MkXmlElement> rows;
    for (MkXmlElement child = object.GetFirstChildElement(); child; child = child.GetNextSiblingElement()) {
        const long long r = tableRowIndex(child.Tx()->Value());
        if (r >= 0 && r < rowCount) rows.emplace(r, child);
    }
    if (rows.empty()) return;  // the table is created at the first row array found

    MkStringArray cells;
    // The first row array present fixes the column count.
    rows.begin()->second.GetStringArrayItems(&cells, static_cast<int>(MAX_TABLE_COLUMNS) + 1);
    const size_t columns = static_cast<size_t>(cells.GetSize());
    const size_t total = static_cast<size_t>(rowCount) * columns;
    if (columns > MAX_TABLE_COLUMNS || total > MAX_TABLE_CELLS || total > budget->tableCells) {
        budget->damaged = true;
        REP_LOG_ERROR(lfw::String("Table of situation '%1' is too large (%2 rows, %3 or more columns)")
                          .arg(lfw::String(name)).arg(rowCount).arg(static_cast<long long>(columns)));
        return;
    }
    if (!budget->spendBytes(uint64_t(total) * TABLE_CELL_BYTES)) {
        budget->damaged = true;
        REP_LOG_ERROR(lfw::String("Repository file holds too much data; table '%1' is not loaded").arg(lfw::String(name)));
        return;
    }
    budget->tableCells -= total;
    PtrRef<Table> table = new Table(static_cast<size_t>(rowCount), columns);
    for (const auto& row : rows) {
        // Items beyond the column count are dropped; missing ones leave empty cells.
        row.second.GetStringArrayItems(&cells, static_cast<int>(columns));
        for (int c = 0; c < cells.GetSize(); ++c)
            table->setValue(static_cast<size_t>(row.first), static_cast<size_t>(c), toStr(cells[c]));
    }
    table->setChartXAxisTitle(toStr(xAxis));
    table->setChartYAxisTitle(toStr(yAxis));
    situation->setTable(table.p());
}

// Reads one snapshot from its "Situation" element; null when its type is unknown.
PtrRef<Snapshot> loadAndAddSituation(PxZipArchive* archive, MkXmlElement element, LoadBudget* budget) {
    const MkXmlElement firstObject = element.GetFirstChildElement("SituationObject");
    const int type = firstObject.GetAttributeInt("Type", -1);
    if (type != Snapshot::IMAGE && type != Snapshot::MDLX && type != Snapshot::TABLE) {
        // A snapshot can only be of a known type; the others would be skipped by
        // every report anyway.
        budget->damaged = true;
        REP_LOG_ERROR(lfw::String("Unhandled snapshot type %1 of situation '%2' is not loaded")
                          .arg(type).arg(lfw::String(element.GetAttributeString("Name"))));
        return PtrRef<Snapshot>();
    }
    PtrRef<Snapshot> situation = new Snapshot(static_cast<Snapshot::SnapshotType>(type));
    situation->setName(toStr(element.GetAttributeString("Name")));
    situation->setTitle(toStr(element.GetAttributeString("Title")));
    situation->setCloudViewerUrl(toStr(element.GetAttributeString("File")));
    const MkXmlElement description = element.GetFirstChildElement("Description");
    if (description) situation->setDescription(toStr(description.GetValue()));

    MkStringArray keys, values;
    if (element.GetChildStringArray("MacroTableNames", &keys) && element.GetChildStringArray("MacroTableValues", &values)) {
        FieldValues fieldValues;
        const int n = std::min(keys.GetSize(), values.GetSize());
        for (int i = 0; i < n; ++i) fieldValues.emplace(toStr(keys[i]), toStr(values[i]));  // the first pair wins
        situation->setFieldValues(fieldValues);
    }

    for (MkXmlElement object = firstObject; object; object = object.GetNextSiblingElement()) {
        switch (type) {
        case Snapshot::IMAGE: loadSituationImage(situation.p(), archive, object, budget); break;
        case Snapshot::MDLX: loadSituationMdlx(situation.p(), archive, object, budget); break;
        case Snapshot::TABLE: loadSituationTable(situation.p(), object, budget); break;
        }
    }
    return situation;
}

// The number of "<" in the text: an upper bound of the elements it parses to.
size_t markupCount(const unsigned char* text, size_t size) {
    size_t n = 0;
    for (const unsigned char* p = text; (p = static_cast<const unsigned char*>(std::memchr(p, '<', size - static_cast<size_t>(p - text)))) != nullptr; ++p)
        ++n;
    return n;
}

} // namespace

bool RepositoryPrivate::saveRepository(const Str& fileName) {
    const std::string target = fileName.toStdString();
    if (toMk(fileName).IsBlank()) {
        REP_LOG_ERROR(lfw::String("No file name."));
        return false;
    }
    if (!checkEntryNames(snapshots)) return false;

    // Write beside the target and move the result over it only when complete, so
    // that a failed save leaves the previous file as it was.
    return callNoThrow("Saving the repository", [&]() {
        lfw::StagedFiles staged(REP_LOGGER_NAME);
        const std::string temp = staged.stage(target);
        if (temp.empty()) {
            REP_LOG_ERROR(lfw::String("Error opening file (%1)").arg(text(fileName)));
            return false;
        }
        PxZipArchive archive;
        bool ok = archive.Open(MkString(temp.c_str()), ZIP_CREATE) && addSituationsToArchive(snapshots, &archive) &&
                  archive.Compact();
        ok = archive.Close() && ok;
        if (!ok || !staged.commit()) return false;
        sourceFile = fileName;
        return true;
    });
}

bool RepositoryPrivate::loadRepository(const Str& fileName) {
    cleanLoad = false;
    // Anything but a regular file could block the open (a FIFO) or never end.
    struct stat st;
    if (::stat(fileName.toStdString().c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        REP_LOG_ERROR(lfw::String("Repository file (%1) is not a regular file").arg(text(fileName)));
        return false;
    }
    try {
        PxZipArchive archive;
        archive.Open(toMk(fileName), ZIP_OPEN_READ_ONLY);  // a failed open shows in the lookup below
        if (archive.FindFile(INDEX_ENTRY) < 0) {
            REP_LOG_ERROR(lfw::String("File not found in archive: %1").arg(INDEX_ENTRY));
            return false;
        }
        size_t size = 0;
        MallocBuffer bytes(archive.ReadDataRaw(INDEX_ENTRY, &size, nullptr, MAX_INDEX_BYTES));
        if (!bytes) return false;
        MkXmlDocument document;
        // Titles and descriptions keep their spaces and line breaks, whatever
        // the parser's process-wide setting says.
        document.KeepWhiteSpaceInText();
        if (markupCount(bytes.get(), size) > MAX_INDEX_MARKUP) {
            REP_LOG_ERROR(lfw::String("%1 of repository file (%2) has too many elements").arg(INDEX_ENTRY).arg(text(fileName)));
            return false;
        }
        // The buffer holds a zero after the data; a zero inside ends the text early,
        // which the parser then reports.
        if (!document.ParseText(reinterpret_cast<const char*>(bytes.get()))) {
            REP_LOG_ERROR(lfw::String("%1 of repository file (%2) is not readable XML: %3")
                              .arg(INDEX_ENTRY).arg(text(fileName)).arg(document.ErrorDesc()));
            return false;
        }
        bytes.reset();
        const MkXmlElement root = document.GetRootElement(ROOT_NAME);
        if (!root) {
            REP_LOG_ERROR(lfw::String("%1 of repository file (%2) has no %3 element").arg(INDEX_ENTRY).arg(text(fileName)).arg(ROOT_NAME));
            return false;
        }
        bool hasVersion = false;
        root.GetAttributeInt("Version", -1, &hasVersion);
        if (!hasVersion)
            REP_LOG_ERROR(lfw::String("This an older version of the repository file format. Images and Mdlx-files might not be possible to import."));

        const MkXmlElement first = root.GetFirstChildElement("Situation");
        if (!first) {
            REP_LOG_ERROR(lfw::String("Repository file (%1) holds no situations").arg(text(fileName)));
            return false;
        }
        // Every element from the first "Situation" on is one snapshot.
        std::vector<PtrRef<Snapshot>> loaded;
        LoadBudget budget;
        for (MkXmlElement element = first; element; element = element.GetNextSiblingElement()) {
            if (loaded.size() >= MAX_SITUATIONS) {
                REP_LOG_ERROR(lfw::String("Repository file (%1) holds more than %2 situations; the rest is not loaded")
                                  .arg(text(fileName)).arg(static_cast<long long>(MAX_SITUATIONS)));
                budget.damaged = true;
                break;
            }
            PtrRef<Snapshot> situation = loadAndAddSituation(&archive, element, &budget);
            if (situation) loaded.push_back(situation);
            else budget.damaged = true;
        }
        removeAllSnapshots();
        // Stored names are taken as they are: the file was made from unique names.
        snapshots = std::move(loaded);
        archive.Close();
        sourceFile = fileName;
        cleanLoad = !budget.damaged;
        return true;
    } catch (const std::exception& e) {
        REP_LOG_ERROR(lfw::String("Error reading repository file (%1): %2").arg(text(fileName)).arg(e.what()));
        return false;
    }
}

} // namespace rep
} // namespace kiv
