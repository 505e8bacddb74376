// Repository files: a zip archive holding one entry per image (JPEG) or 3D model
// snapshot, named after the snapshot, and the index "Project.xml", written last.
// A picture or model that several snapshots show is stored once, under the
// first one's name: the others' "SituationObject" names that entry and says
// "SharedEntry" (readers that do not know it take the entry's name for the
// snapshot's, and still show the right content).
#include "impl/common/Repository_p.h"
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwText.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/MdlxImageJpeg.h"
#include "host/ug/UgConvert.h"
#include "impl/storage/XmlDocument.h"
#include "impl/storage/ZipArchive.h"
#include "impl/storage/Problems.h"
#include "impl/common/NoThrow.h"
#include "LibCore/lfwStagedFiles.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/HostText.h"

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
const char* const SHARED_ENTRY = "SharedEntry";

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
// Bytes of image and model entries extracted, of one file together (each entry
// once, however many snapshots name it). Pictures are kept as their JPEG bytes
// and decoded one at a time when their pixels are wanted; one whose decode would
// take more than what is left of this is refused.
const uint64_t MAX_TOTAL_CONTENT_BYTES = 2ull << 30;
// Pixels of the pictures of one file together that loading reads through to
// check that they decode: bounds the time a file of many pictures of huge size
// but few bytes takes. Real pictures run out of the bytes above long before.
const uint64_t MAX_CHECKED_PIXELS = 1ull << 35;

// A public string as message text.
lfw::String text(const Str& s) { return lfw::String(s.toStdString()); }

// A picture entry as one load has read it: its JPEG bytes, which every snapshot
// naming the entry shares, and its size; no bytes when it could not be loaded.
struct LoadedPicture {
    std::shared_ptr<const std::vector<unsigned char>> jpeg;
    unsigned width = 0, height = 0;
};

// What one load may still spend (see the limits above), and the entries it has
// read. Saving spends it as loading will, so that no file is written that
// loading would refuse.
struct LoadBudget {
    explicit LoadBudget(Problems* list) : problems(list) {}
    Problems* problems;  // where the load or save reports
    uint64_t contentBytes = MAX_TOTAL_CONTENT_BYTES;
    uint64_t checkedPixels = MAX_CHECKED_PIXELS;
    size_t tableCells = MAX_TOTAL_TABLE_CELLS;
    // Set when some content could not be loaded (the error is reported where it happens).
    bool damaged = false;
    // Entries read so far, by name, failed ones too: each is read once.
    std::map<std::string, LoadedPicture> pictures;
    std::map<std::string, PtrRef<ug::MdlxMemoryFile>> models;  // null: could not be loaded

    void error(ProblemCode code, const lfw::String& message) { problems->error(code, message.toStdString()); }
    void warning(ProblemCode code, const lfw::String& message) { problems->warning(code, message.toStdString()); }

    bool spendBytes(uint64_t n) {
        if (n > contentBytes) return false;
        contentBytes -= n;
        return true;
    }
    // A picture's check: its decoder's memory is taken for that moment only, its
    // pixels count towards the time checks take.
    bool spendCheck(uint64_t decodeBytes, uint64_t pixels) {
        if (decodeBytes > contentBytes || pixels > checkedPixels) return false;
        checkedPixels -= pixels;
        return true;
    }
    // A picture entry of that many JPEG bytes as loading charges it.
    bool spendPicture(uint64_t entryBytes, uint64_t decodeBytes, uint64_t pixels) {
        return spendBytes(entryBytes) && spendCheck(decodeBytes, pixels);
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
bool refuseSave(const Snapshot* situation, const char* what, LoadBudget* budget) {
    budget->error(ProblemCode::TooLarge,
                  lfw::String("The repository is not saved: with snapshot '%1' it would hold more %2 than a repository "
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
bool checkEntryNames(const std::vector<PtrRef<Snapshot>>& snapshots, Problems* problems) {
    std::set<std::wstring> names;
    names.insert(entryNameOf(INDEX_ENTRY));
    for (const PtrRef<Snapshot>& s : snapshots) {
        if (!hasEntry(s.p())) continue;
        const Str name = s->name();
        const std::wstring entry = entryNameOf(name);
        if (lfw::text::isBlank(toUtf8(name)) || entry.back() == L'/') {
            problems->error(
                ProblemCode::InvalidArgument,
                lfw::String("Snapshot name '%1' cannot name an entry of the repository file").arg(text(name)).toStdString());
            return false;
        }
        if (!names.insert(entry).second) {
            problems->error(
                ProblemCode::InvalidArgument,
                lfw::String("More than one entry of the repository file would be named '%1'").arg(text(name)).toStdString());
            return false;
        }
    }
    return true;
}

// Pictures and models stored so far in the file being written: pictures by the
// object that holds their bytes and by the bytes themselves, models by their
// object. A snapshot showing one of them names its entry instead of adding one.
struct StoredEntries {
    std::map<const void*, std::string> byObject;
    std::multimap<uint64_t, std::string> pictureByHash;
};

// The snapshot's content is the entry an earlier snapshot stored; the snapshot
// keeps its own name.
bool shareEntry(XmlElement object, const std::string& entry) {
    object.addAttributeString("Name", entry);
    object.addAttributeInt(SHARED_ENTRY, 1);
    return true;
}

bool sharesEntry(const XmlElement& object) { return object.getAttributeInt(SHARED_ENTRY, 0) == 1; }

// Whether the entry written before holds exactly these bytes.
bool entryHolds(ZipArchive* archive, const std::string& entry, const std::vector<unsigned char>& bytes) {
    uint64_t size = 0;
    std::vector<unsigned char> stored;
    return archive->getFileSize(archive->findFile(entry), &size) && size == bytes.size() &&
           archive->readDataInto(entry, &stored) && stored == bytes;
}

bool saveSituationImage(const Snapshot* situation, ZipArchive* archive, XmlElement object, LoadBudget* budget,
                        StoredEntries* stored) {
    const Image* image = situation->image();
    if (!image) {
        // Loading leaves an image snapshot without its image when the file lacked
        // it; such a repository must still save.
        budget->warning(ProblemCode::ContentLeftOut,
                        lfw::String("Image snapshot '%1' has no image; it is saved without one").arg(text(situation->name())));
        return true;
    }
    object.addAttributeInt("width", static_cast<int>(image->width()));
    object.addAttributeInt("height", static_cast<int>(image->height()));
    object.addAttributeInt("format", IMAGE_FORMAT_JPEG);
    std::vector<unsigned char> encoded;
    const std::vector<unsigned char>* jpeg = image->sourceJpeg();
    // Images loaded from one entry share its bytes; an image without them is
    // encoded once, however many snapshots show it.
    const void* holder = jpeg ? static_cast<const void*>(jpeg) : static_cast<const void*>(image);
    const auto known = stored->byObject.find(holder);
    if (known != stored->byObject.end()) return shareEntry(object, known->second);
    // The JPEG the pixels came from is stored as it is: encoding again would
    // lose quality with every load and save.
    if (!jpeg) {
        MkRGBImage rgb;
        if (!ug::Convert::toMkRGBImage(image, &rgb) || !MdlxImageJpeg::saveImageToMemory(rgb, &encoded)) {
            budget->error(ProblemCode::UnreadablePicture, lfw::String("Error encoding JPEG image"));
            return false;
        }
        jpeg = &encoded;
    }
    // Pictures of equal bytes in other objects (made from one rendering, or
    // loaded from a file that stored them apart) are stored once too.
    const uint64_t hash = ZipArchive::hashText(jpeg->data(), jpeg->size());
    for (auto same = stored->pictureByHash.equal_range(hash); same.first != same.second; ++same.first) {
        if (!entryHolds(archive, same.first->second, *jpeg)) continue;
        stored->byObject.emplace(holder, same.first->second);
        return shareEntry(object, same.first->second);
    }
    if (jpeg->size() > MAX_IMAGE_ENTRY_BYTES ||
        !budget->spendPicture(jpeg->size(), MdlxImageJpeg::decodeMemory(jpeg->data(), jpeg->size()),
                              uint64_t(image->width()) * image->height()))
        return refuseSave(situation, "pictures and models", budget);
    lfw::Ref<ZipMemFile> file = new ZipMemFile;
    file->setData(jpeg->data(), jpeg->size());
    const std::string entry = situation->name().toStdString();
    if (!archive->addNewFile(file.p(), entry)) return false;
    stored->byObject.emplace(holder, entry);
    stored->pictureByHash.emplace(hash, entry);
    return true;
}

bool saveSituationMdlx(const Snapshot* situation, ZipArchive* archive, XmlElement object, LoadBudget* budget,
                       StoredEntries* stored) {
    const ug::MdlxMemoryFile* model = situation->modelMdlx();
    if (!model) return true;  // nothing to store; loading leaves it without a model
    const auto known = stored->byObject.find(model);
    if (known != stored->byObject.end()) return shareEntry(object, known->second);
    // The model's bytes are added in place, without a copy.
    const ug::MdlxZipMemFile* content = model->internal_mdlxZipMemFile();
    if (!budget->spendBytes(content->GetSize())) return refuseSave(situation, "pictures and models", budget);
    lfw::Ref<ZipMemFile> file = new ZipMemFile;
    file->setData(content->GetBuffer(), content->GetSize());
    const std::string entry = situation->name().toStdString();
    if (!archive->addNewFile(file.p(), entry)) return false;
    stored->byObject.emplace(model, entry);
    return true;
}

bool saveSituationTable(const Snapshot* situation, XmlElement object, LoadBudget* budget) {
    const Table* table = situation->table();
    if (!table) {
        budget->warning(ProblemCode::ContentLeftOut,
                        lfw::String("Table snapshot '%1' has no table; it is saved without one").arg(text(situation->name())));
        return true;
    }
    if (table->rowCount() > 0 && !budget->spendTable(table->rowCount(), table->columnCount()))
        return refuseSave(situation, "table cells", budget);
    object.addAttributeString("XAxis", toUtf8(table->chartXAxisTitle()));
    object.addAttributeString("YAxis", toUtf8(table->chartYAxisTitle()));
    object.addAttributeInt("TableRowCount", static_cast<int>(table->rowCount()));
    const size_t columns = table->columnCount();
    for (size_t r = 0; r < table->rowCount(); ++r) {
        std::vector<std::string> cells;
        cells.reserve(columns);
        for (size_t c = 0; c < columns; ++c) cells.push_back(toUtf8(table->value(r, c)));
        object.addChildStringArray((TABLE_ROW_PREFIX + std::to_string(r)).c_str(), cells);
    }
    std::vector<int> columnNumbers(columns);
    for (size_t c = 0; c < columns; ++c) columnNumbers[c] = static_cast<int>(c);
    object.addChildIntArray("TableColumns", columnNumbers);
    return true;
}

// Appends the snapshot's "Situation" element and writes its entry. False stops the save.
bool saveSituation(const Snapshot* situation, ZipArchive* archive, XmlElement root, LoadBudget* budget, StoredEntries* stored) {
    XmlElement element = root.addChildElement("Situation");
    element.addAttributeString("Name", toUtf8(situation->name()));
    element.addAttributeString("Title", toUtf8(situation->title()));
    element.addAttributeString("File", toUtf8(situation->cloudViewerUrl()));
    element.addAttributeString("SituationState", "Active");
    element.addChildElement("Description", toUtf8(situation->description()));
    const FieldValues fieldValues = situation->fieldValues();
    element.addChildStringArray("MacroTableNames", FieldMacros::getKeysFromFieldValues(fieldValues));
    element.addChildStringArray("MacroTableValues", FieldMacros::getValuesFromFieldValues(fieldValues));

    XmlElement object = element.addChildElement("SituationObject");
    object.addAttributeInt("Type", static_cast<int>(situation->type()));
    switch (situation->type()) {
    case Snapshot::IMAGE:
        object.addAttributeString("Name", toUtf8(situation->name()));
        return saveSituationImage(situation, archive, object, budget, stored);
    case Snapshot::MDLX:
        object.addAttributeString("Name", toUtf8(situation->name()));
        return saveSituationMdlx(situation, archive, object, budget, stored);
    case Snapshot::TABLE:
        object.addAttributeString("Name", toUtf8(situation->name()));
        return saveSituationTable(situation, object, budget);
    }
    LFW_FAIL_MSG("Unhandled snapshot type");
    return true;
}

size_t markupCount(const unsigned char* text, size_t size);

bool addSituationsToArchive(const std::vector<PtrRef<Snapshot>>& snapshots, ZipArchive* archive) {
    LoadBudget budget(&archive->getProblems());
    if (snapshots.size() > MAX_SITUATIONS) {
        budget.error(ProblemCode::TooLarge,
                     lfw::String("The repository is not saved: it holds %1 snapshots, more than the %2 a repository "
                                 "file may hold")
                         .arg(static_cast<long long>(snapshots.size()))
                         .arg(static_cast<long long>(MAX_SITUATIONS)));
        return false;
    }
    XmlDocument document(true);
    XmlElement root = document.createRootElement(ROOT_NAME, -1, NAMESPACE_URI);
    root.addAttributeInt("Version", FORMAT_VERSION);
    StoredEntries stored;
    for (const PtrRef<Snapshot>& s : snapshots) {
        const Snapshot* situation = s.p();
        LFW_ASSERT(situation);
        if (!situation) continue;
        if (!saveSituation(situation, archive, root, &budget, &stored)) return false;
    }
    const std::string index = document.printToString();
    if (index.size() > MAX_INDEX_BYTES ||
        markupCount(reinterpret_cast<const unsigned char*>(index.data()), index.size()) > MAX_INDEX_MARKUP) {
        budget.error(ProblemCode::TooLarge,
                     lfw::String("The repository is not saved: its texts and tables make %1 larger than a repository "
                                 "file may hold")
                         .arg(INDEX_ENTRY));
        return false;
    }
    return archive->writeDataRaw(INDEX_ENTRY, index.data(), index.size(), false);
}

// ---------------------------------------------------------------------------
// Loading

struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

// The entry's bytes, counted against the budget (unless larger than maxBytes,
// which a read refuses; 0: no limit); false (logged) when they cannot be read.
bool readEntry(ZipArchive* archive, const std::string& name, LoadBudget* budget, uint64_t maxBytes,
               std::vector<unsigned char>* bytes) {
    const int index = archive->findFile(name);
    uint64_t declared = 0;
    if (index < 0 || !archive->getFileSize(index, &declared)) return false;
    if ((maxBytes == 0 || declared <= maxBytes) && !budget->spendBytes(declared)) {
        budget->error(ProblemCode::TooLarge,
                      lfw::String("Repository file holds too much data; '%1' is not loaded").arg(lfw::String(name)));
        return false;
    }
    return archive->readDataInto(name, bytes, maxBytes);
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

// The picture entry of that name, read and checked on its first use in a load;
// null (logged on that first use) when it cannot be shown.
const LoadedPicture* loadPicture(ZipArchive* archive, const std::string& name, LoadBudget* budget) {
    const auto known = budget->pictures.find(name);
    if (known != budget->pictures.end()) return known->second.jpeg ? &known->second : nullptr;
    LoadedPicture& picture = budget->pictures[name];
    std::vector<unsigned char> bytes;
    if (!readEntry(archive, name, budget, MAX_IMAGE_ENTRY_BYTES, &bytes)) return nullptr;  // logged
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        budget->error(ProblemCode::UnreadablePicture,
                      lfw::String("Image is not valid JPEG format. Might be a Orvia Reporter repository?"));
        return nullptr;
    }
    // The picture is read through once to see that it decodes, with the
    // decoder's memory (pixels, and all coefficients of a progressive picture)
    // charged from the header before. Its pixels are not kept: they are decoded
    // again if someone reads them, while reports copy the JPEG bytes, so a
    // repository of thousands of pictures holds megabytes instead of gigabytes.
    unsigned width = 0, height = 0;
    const uint64_t decodeBytes = MdlxImageJpeg::decodeMemory(bytes.data(), bytes.size(), &width, &height);
    if (decodeBytes > 0 && !budget->spendCheck(decodeBytes, uint64_t(width) * height)) {
        budget->error(ProblemCode::TooLarge,
                      lfw::String("Repository file holds too much data; '%1' is not loaded").arg(lfw::String(name)));
        return nullptr;
    }
    if (decodeBytes == 0 || !MdlxImageJpeg::checkDecodes(bytes.data(), bytes.size(), decodeBytes)) {
        budget->error(ProblemCode::UnreadablePicture, lfw::String("Error decoding JPEG image '%1'").arg(lfw::String(name)));
        return nullptr;
    }
    picture.width = width;
    picture.height = height;
    picture.jpeg = std::make_shared<const std::vector<unsigned char>>(std::move(bytes));
    return &picture;
}

void loadSituationImage(Snapshot* situation, ZipArchive* archive, XmlElement object, LoadBudget* budget) {
    const std::string name = object.getAttributeString("Name");
    // A snapshot showing an earlier one's picture keeps its own name.
    if (!sharesEntry(object)) situation->setName(toStr(name));
    if (lfw::text::isBlank(name) || archive->findFile(name) < 0) {
        budget->damaged = true;
        budget->error(ProblemCode::EntryMissing, lfw::String("Image data not found in file"));
        return;
    }
    const LoadedPicture* picture = loadPicture(archive, name, budget);
    if (!picture) {
        budget->damaged = true;
        return;
    }
    // Each snapshot has an image of its own; the bytes are one.
    PtrRef<Image> image = new Image;
    image->setDeferredJpeg(picture->width, picture->height, picture->jpeg, decodeStoredJpeg);
    situation->setImage(image.p());
}

void loadSituationMdlx(Snapshot* situation, ZipArchive* archive, XmlElement object, LoadBudget* budget) {
    const std::string name = object.getAttributeString("Name");
    if (!sharesEntry(object)) situation->setName(toStr(name));
    if (lfw::text::isBlank(name) || archive->findFile(name) < 0) return;  // no model, silently
    // Snapshots naming one entry share one model, as the ones saved did.
    const auto known = budget->models.find(name);
    if (known != budget->models.end()) {
        if (known->second) situation->setModelMdlx(known->second.p());
        else budget->damaged = true;
        return;
    }
    PtrRef<ug::MdlxMemoryFile>& model = budget->models[name];
    // Inflated straight into the model's own buffer: a model can be large.
    std::vector<unsigned char> bytes;
    if (!readEntry(archive, name, budget, 0, &bytes)) {
        budget->damaged = true;  // logged
        return;
    }
    model = new ug::MdlxMemoryFile;
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

void loadSituationTable(Snapshot* situation, XmlElement object, LoadBudget* budget) {
    const std::string name = object.getAttributeString("Name");
    situation->setName(toStr(name));
    const std::string xAxis = object.getAttributeString("XAxis");
    const std::string yAxis = object.getAttributeString("YAxis");
    const int rowCount = object.getAttributeInt("TableRowCount", -1);
    if (rowCount <= 0) return;  // -1: no table; 0 or below: no rows, nothing to hold

    // One pass over the children finds each row's array (the first of its name),
    // instead of a search by name per row.
    std::map<long long, XmlElement> rows;
    for (XmlElement child = object.getFirstChildElement(); child; child = child.getNextSiblingElement()) {
        const long long r = tableRowIndex(child.tx()->Value());
        if (r >= 0 && r < rowCount) rows.emplace(r, child);
    }
    if (rows.empty()) return;  // the table is created at the first row array found

    std::vector<std::string> cells;
    // The first row array present fixes the column count.
    rows.begin()->second.getStringArrayItems(&cells, static_cast<int>(MAX_TABLE_COLUMNS) + 1);
    const size_t columns = cells.size();
    const size_t total = static_cast<size_t>(rowCount) * columns;
    if (columns > MAX_TABLE_COLUMNS || total > MAX_TABLE_CELLS || total > budget->tableCells) {
        budget->damaged = true;
        budget->error(ProblemCode::TooLarge, lfw::String("Table of situation '%1' is too large (%2 rows, %3 or more columns)")
                                                 .arg(lfw::String(name))
                                                 .arg(rowCount)
                                                 .arg(static_cast<long long>(columns)));
        return;
    }
    if (!budget->spendBytes(uint64_t(total) * TABLE_CELL_BYTES)) {
        budget->damaged = true;
        budget->error(ProblemCode::TooLarge,
                      lfw::String("Repository file holds too much data; table '%1' is not loaded").arg(lfw::String(name)));
        return;
    }
    budget->tableCells -= total;
    PtrRef<Table> table = new Table(static_cast<size_t>(rowCount), columns);
    for (const auto& row : rows) {
        // Items beyond the column count are dropped; missing ones leave empty cells.
        row.second.getStringArrayItems(&cells, static_cast<int>(columns));
        for (size_t c = 0; c < cells.size(); ++c) table->setValue(static_cast<size_t>(row.first), c, toStr(cells[c]));
    }
    table->setChartXAxisTitle(toStr(xAxis));
    table->setChartYAxisTitle(toStr(yAxis));
    situation->setTable(table.p());
}

// Reads one snapshot from its "Situation" element; null when its type is unknown.
PtrRef<Snapshot> loadAndAddSituation(ZipArchive* archive, XmlElement element, LoadBudget* budget) {
    const XmlElement firstObject = element.getFirstChildElement("SituationObject");
    const int type = firstObject.getAttributeInt("Type", -1);
    if (type != Snapshot::IMAGE && type != Snapshot::MDLX && type != Snapshot::TABLE) {
        // A snapshot can only be of a known type; the others would be skipped by
        // every report anyway.
        budget->damaged = true;
        budget->error(ProblemCode::WrongContent, lfw::String("Unhandled snapshot type %1 of situation '%2' is not loaded")
                                                     .arg(type)
                                                     .arg(lfw::String(element.getAttributeString("Name"))));
        return PtrRef<Snapshot>();
    }
    PtrRef<Snapshot> situation = new Snapshot(static_cast<Snapshot::SnapshotType>(type));
    situation->setName(toStr(element.getAttributeString("Name")));
    situation->setTitle(toStr(element.getAttributeString("Title")));
    situation->setCloudViewerUrl(toStr(element.getAttributeString("File")));
    const XmlElement description = element.getFirstChildElement("Description");
    if (description) situation->setDescription(toStr(description.getValue()));

    std::vector<std::string> keys, values;
    if (element.getChildStringArray("MacroTableNames", &keys) && element.getChildStringArray("MacroTableValues", &values)) {
        FieldValues fieldValues;
        const size_t n = std::min(keys.size(), values.size());
        for (size_t i = 0; i < n; ++i) fieldValues.emplace(toStr(keys[i]), toStr(values[i]));  // the first pair wins
        situation->setFieldValues(fieldValues);
    }

    for (XmlElement object = firstObject; object; object = object.getNextSiblingElement()) {
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
    for (const unsigned char* p = text;
         (p = static_cast<const unsigned char*>(std::memchr(p, '<', size - static_cast<size_t>(p - text)))) != nullptr; ++p)
        ++n;
    return n;
}

}  // namespace

bool RepositoryPrivate::saveRepository(const Str& fileName, Problems* problems) {
    const std::string target = fileName.toStdString();
    if (lfw::text::isBlank(target)) {
        problems->error(ProblemCode::InvalidArgument, "No file name.");
        return false;
    }
    if (!checkEntryNames(snapshots, problems)) return false;

    // Write beside the target and move the result over it only when complete, so
    // that a failed save leaves the previous file as it was.
    return callNoThrow("Saving the repository", problems, [&]() {
        lfw::StagedFiles staged;
        const std::string temp = staged.stage(target);
        if (temp.empty()) {
            problems->error(ProblemCode::WriteFailed, staged.error());
            problems->error(ProblemCode::WriteFailed, lfw::String("Error opening file (%1)").arg(text(fileName)).toStdString());
            return false;
        }
        ZipArchive archive(problems);
        bool ok = archive.open(temp, ZIP_CREATE) && addSituationsToArchive(snapshots, &archive) && archive.compact();
        ok = archive.close() && ok;
        if (!ok) return false;
        if (!staged.commit()) {
            problems->error(ProblemCode::WriteFailed, staged.error());
            return false;
        }
        sourceFile = fileName;
        return true;
    });
}

bool RepositoryPrivate::loadRepository(const Str& fileName, Problems* problems) {
    const auto fail = [problems](ProblemCode code, const lfw::String& message) {
        problems->error(code, message.toStdString());
        return false;
    };
    cleanLoad = false;
    // Anything but a regular file could block the open (a FIFO) or never end.
    struct stat st;
    if (::stat(fileName.toStdString().c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return fail(ProblemCode::NotARegularFile, lfw::String("Repository file (%1) is not a regular file").arg(text(fileName)));
    }
    try {
        ZipArchive archive(problems);
        archive.open(fileName.toStdString(), ZIP_OPEN_READ_ONLY);  // a failed open shows in the lookup below
        if (archive.findFile(INDEX_ENTRY) < 0)
            return fail(archive.isClosed() ? problems->firstError() : ProblemCode::EntryMissing,
                        lfw::String("File not found in archive: %1").arg(INDEX_ENTRY));
        size_t size = 0;
        MallocBuffer bytes(archive.readDataRaw(INDEX_ENTRY, &size, nullptr, MAX_INDEX_BYTES));
        if (!bytes) return false;
        XmlDocument document;
        // Titles and descriptions keep their spaces and line breaks, whatever
        // the parser's process-wide setting says.
        document.keepWhiteSpaceInText();
        if (markupCount(bytes.get(), size) > MAX_INDEX_MARKUP) {
            return fail(ProblemCode::TooLarge,
                        lfw::String("%1 of repository file (%2) has too many elements").arg(INDEX_ENTRY).arg(text(fileName)));
        }
        // The buffer holds a zero after the data; a zero inside ends the text early,
        // which the parser then reports.
        if (!document.parseText(reinterpret_cast<const char*>(bytes.get()))) {
            return fail(ProblemCode::UnreadableXml, lfw::String("%1 of repository file (%2) is not readable XML: %3")
                                                        .arg(INDEX_ENTRY)
                                                        .arg(text(fileName))
                                                        .arg(document.ErrorDesc()));
        }
        bytes.reset();
        const XmlElement root = document.getRootElement(ROOT_NAME);
        if (!root) {
            return fail(
                ProblemCode::WrongContent,
                lfw::String("%1 of repository file (%2) has no %3 element").arg(INDEX_ENTRY).arg(text(fileName)).arg(ROOT_NAME));
        }
        bool hasVersion = false;
        root.getAttributeInt("Version", -1, &hasVersion);
        if (!hasVersion)
            fail(ProblemCode::WrongContent, lfw::String("This an older version of the repository file format. Images and "
                                                        "Mdlx-files might not be possible to import."));

        const XmlElement first = root.getFirstChildElement("Situation");
        if (!first) {
            return fail(ProblemCode::WrongContent, lfw::String("Repository file (%1) holds no situations").arg(text(fileName)));
        }
        // Every element from the first "Situation" on is one snapshot.
        std::vector<PtrRef<Snapshot>> loaded;
        LoadBudget budget(problems);
        for (XmlElement element = first; element; element = element.getNextSiblingElement()) {
            if (loaded.size() >= MAX_SITUATIONS) {
                budget.error(ProblemCode::TooLarge,
                             lfw::String("Repository file (%1) holds more than %2 situations; the rest is not loaded")
                                 .arg(text(fileName))
                                 .arg(static_cast<long long>(MAX_SITUATIONS)));
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
        archive.close();
        sourceFile = fileName;
        cleanLoad = !budget.damaged;
        return true;
    } catch (const std::exception& e) {
        return fail(dynamic_cast<const std::bad_alloc*>(&e) ? ProblemCode::Internal : ProblemCode::General,
                    lfw::String("Error reading repository file (%1): %2").arg(text(fileName)).arg(e.what()));
    }
}

}  // namespace rep
}  // namespace kiv
