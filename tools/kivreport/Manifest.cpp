#include "tools/kivreport/Manifest.h"
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "tools/kivreport/Csv.h"
#include "tools/kivreport/ExportNames.h"
#include "tools/kivreport/Files.h"
#include "tools/kivreport/ImageFiles.h"
#include "tools/kivreport/Options.h"

#include <map>
#include <nlohmann/json.hpp>
#include <set>

using kiv::Str;
using kiv::rep::Repository;
using kiv::rep::Snapshot;
using kiv::rep::Table;
using Json = nlohmann::ordered_json;

namespace kivcli {

const char* const kManifestFileName = "manifest.json";

namespace {

const char* typeName(Snapshot::SnapshotType type) {
    switch (type) {
    case Snapshot::IMAGE: return "image";
    case Snapshot::MDLX: return "model";
    case Snapshot::TABLE: return "table";
    }
    return "unknown";
}

// The manifest key that holds the content of a snapshot of this type.
const char* contentKey(Snapshot::SnapshotType type) {
    switch (type) {
    case Snapshot::IMAGE: return "image";
    case Snapshot::MDLX: return "model";
    case Snapshot::TABLE: return "table";
    }
    return "";
}

std::string utf8(const Str& s) { return s.toStdString(); }

// The readable part of a nlohmann error text, without its "[json.exception...] " tag.
std::string jsonMessage(const std::exception& e) {
    std::string m = e.what();
    if (!m.empty() && m[0] == '[') {
        const size_t close = m.find("] ");
        if (close != std::string::npos) m = m.substr(close + 2);
    }
    return m;
}

// ---------------------------------------------------------------------------
// Reading

class ManifestReader {
public:
    ManifestReader(const std::string& path, std::vector<std::string>* warnings, std::vector<std::string>* inputs)
        : m_path(path), m_folder(parentFolder(path)), m_warnings(warnings), m_inputs(inputs) {}

    lfw::Ref<Repository> read() {
        m_inputs->push_back(m_path);
        const std::string text = readTextFile(m_path);
        Json root;
        try {
            root = Json::parse(text);
        } catch (const Json::exception& e) {
            fail("invalid JSON: " + jsonMessage(e));
        }
        if (!root.is_object()) fail("the manifest must be a JSON object with a \"snapshots\" array");
        for (auto it = root.begin(); it != root.end(); ++it)
            if (it.key() != "snapshots" && it.key() != "comment")
                fail("unknown key \"" + it.key() + "\" (expected \"snapshots\")");
        auto list = root.find("snapshots");
        if (list == root.end() || !list->is_array()) fail("\"snapshots\" must be an array");
        if (list->empty()) fail("the manifest lists no snapshots");

        lfw::Ref<Repository> repository = new Repository;
        for (size_t i = 0; i < list->size(); ++i) {
            m_context = "snapshot " + std::to_string(i + 1);
            lfw::Ref<Snapshot> snapshot = readSnapshot((*list)[i]);
            const Str wanted = snapshot->name();
            repository->addSnapshot(snapshot.p());
            if (!wanted.isEmpty() && snapshot->name() != wanted)
                m_warnings->push_back(m_path + ": " + m_context + ": name \"" + utf8(wanted) +
                                      "\" is taken by an earlier snapshot; stored as \"" + utf8(snapshot->name()) + "\"");
        }
        return repository;
    }

private:
    [[noreturn]] void fail(const std::string& problem) const {
        throw InputError(m_path, m_context.empty() ? problem : m_context + ": " + problem);
    }
    // A content file's own problem, named after the file.
    [[noreturn]] void failFile(const std::string& file, const std::string& problem) const {
        throw InputError(file, problem + " (" + m_context + " of " + m_path + ")");
    }

    std::string text(const Json& object, const char* key) const {
        auto it = object.find(key);
        if (it == object.end()) return std::string();
        if (!it->is_string()) fail(std::string("\"") + key + "\" must be a string");
        return it->get<std::string>();
    }

    // Cell and field texts: strings, or numbers and booleans written as in JSON.
    std::string scalarText(const Json& value, const std::string& what) const {
        if (value.is_string()) return value.get<std::string>();
        if (value.is_number() || value.is_boolean()) return value.dump();
        fail(what + " must be a string or a number");
    }

    lfw::Ref<Snapshot> readSnapshot(const Json& item) {
        if (!item.is_object()) fail("must be a JSON object");
        const std::string type = text(item, "type");
        Snapshot::SnapshotType snapshotType;
        if (type == "image") snapshotType = Snapshot::IMAGE;
        else if (type == "model") snapshotType = Snapshot::MDLX;
        else if (type == "table") snapshotType = Snapshot::TABLE;
        else
            fail(type.empty() ? "\"type\" is missing (image, model or table)"
                              : "unknown type \"" + type + "\" (expected image, model or table)");
        const std::string name = text(item, "name");
        if (!name.empty()) m_context += " (\"" + name + "\")";

        static const std::set<std::string> common = {"type", "name", "title", "description", "fieldValues", "cloudViewerUrl"};
        for (auto it = item.begin(); it != item.end(); ++it) {
            if (common.count(it.key()) || it.key() == contentKey(snapshotType)) continue;
            fail("unknown key \"" + it.key() + "\" for a snapshot of type " + type);
        }

        lfw::Ref<Snapshot> snapshot = new Snapshot(snapshotType);
        snapshot->setName(Str(name));
        snapshot->setTitle(Str(text(item, "title")));
        snapshot->setDescription(Str(text(item, "description")));
        snapshot->setCloudViewerUrl(Str(text(item, "cloudViewerUrl")));
        auto fields = item.find("fieldValues");
        if (fields != item.end()) {
            if (!fields->is_object()) fail("\"fieldValues\" must be an object of key/value texts");
            std::map<Str, Str> values;
            for (auto it = fields->begin(); it != fields->end(); ++it) {
                if (it.key().empty()) fail("a field value has an empty key");
                values[Str(it.key())] = Str(scalarText(it.value(), "field value \"" + it.key() + "\""));
            }
            snapshot->setFieldValues(values);
        }

        auto content = item.find(contentKey(snapshotType));
        if (content == item.end())
            fail(std::string("\"") + contentKey(snapshotType) + "\" is missing (null for a snapshot without content)");
        if (content->is_null()) return snapshot;
        switch (snapshotType) {
        case Snapshot::IMAGE: readImage(*content, snapshot.p()); break;
        case Snapshot::MDLX: readModel(*content, snapshot.p()); break;
        case Snapshot::TABLE: readTable(*content, snapshot.p()); break;
        }
        return snapshot;
    }

    // A content file's bytes; a file that cannot be read is reported with the snapshot naming it.
    std::vector<unsigned char> readContent(const std::string& file) const {
        try {
            return readBinaryFile(file);
        } catch (const InputError& e) {
            throw InputError(std::string(e.what()) + " (" + m_context + " of " + m_path + ")");
        }
    }

    std::string contentPath(const Json& value, const char* key) const {
        if (!value.is_string() || value.get<std::string>().empty()) fail(std::string("\"") + key + "\" must name a file");
        m_inputs->push_back(resolvePath(m_folder, value.get<std::string>()));
        return m_inputs->back();
    }

    // Each picture or model file is read once, however many snapshots name it:
    // they share what it holds.
    void readImage(const Json& value, Snapshot* snapshot) {
        const std::string file = contentPath(value, "image");
        const auto known = m_images.find(file);
        if (known != m_images.end()) return snapshot->setImage(known->second.p());
        std::vector<unsigned char> bytes = readContent(file);
        lfw::Ref<kiv::Image> image = new kiv::Image;
        std::string error;
        if (isPng(bytes)) {
            if (!decodePng(bytes, image.p(), &error)) failFile(file, error);
        } else if (isJpeg(bytes)) {
            if (!decodeJpeg(std::move(bytes), image.p(), &error)) failFile(file, error);
        } else {
            failFile(file, "not a PNG or JPEG image");
        }
        snapshot->setImage(image.p());
        m_images[file] = image;
    }

    void readModel(const Json& value, Snapshot* snapshot) {
        const std::string file = contentPath(value, "model");
        const auto known = m_models.find(file);
        if (known != m_models.end()) return snapshot->setModelMdlx(known->second.p());
        const std::vector<unsigned char> bytes = readContent(file);
        lfw::Ref<kiv::ug::MdlxMemoryFile> model = new kiv::ug::MdlxMemoryFile;
        model->setFromRawData(bytes.data(), bytes.size());
        // Models are stored unchecked; a wrong file named here is caught now
        // rather than when a report shows nothing.
        kiv::ug::MdlxAccess access;
        if (bytes.empty() || !access.Open(model->internal_mdlxZipMemFile(), kiv::ug::MdlxAccess::READ))
            failFile(file, "not an Mdlx model file");
        access.Close();
        snapshot->setModelMdlx(model.p());
        m_models[file] = model;
    }

    void readTable(const Json& value, Snapshot* snapshot) {
        if (!value.is_object()) fail("\"table\" must be an object with \"csv\" or \"rows\"");
        for (auto it = value.begin(); it != value.end(); ++it)
            if (it.key() != "csv" && it.key() != "rows" && it.key() != "xAxisTitle" && it.key() != "yAxisTitle")
                fail("unknown key \"" + it.key() + "\" in \"table\"");
        const bool hasCsv = value.contains("csv"), hasRows = value.contains("rows");
        if (hasCsv == hasRows) fail("\"table\" needs exactly one of \"csv\" and \"rows\"");

        CsvRows rows;
        if (hasCsv) {
            const std::string file = contentPath(value["csv"], "csv");
            std::string error;
            const std::vector<unsigned char> bytes = readContent(file);
            if (!parseCsv(std::string(bytes.begin(), bytes.end()), &rows, &error)) failFile(file, "bad CSV: " + error);
            if (rows.empty()) failFile(file, "the CSV file holds no rows");
        } else {
            const Json& list = value["rows"];
            if (!list.is_array() || list.empty()) fail("\"rows\" must be a non-empty array of rows");
            for (size_t r = 0; r < list.size(); ++r) {
                const std::string where = "row " + std::to_string(r + 1);
                if (!list[r].is_array() || list[r].empty()) fail("\"rows\": " + where + " must be a non-empty array");
                std::vector<std::string> row;
                for (const Json& cell : list[r]) row.push_back(scalarText(cell, "\"rows\": a cell of " + where));
                if (!rows.empty() && row.size() != rows.front().size())
                    fail("\"rows\": " + where + " has " + std::to_string(row.size()) + " cells, the first has " +
                         std::to_string(rows.front().size()));
                rows.push_back(std::move(row));
            }
        }
        lfw::Ref<Table> table = new Table(rows.size(), rows.front().size());
        for (size_t r = 0; r < rows.size(); ++r)
            for (size_t c = 0; c < rows[r].size(); ++c) table->setValue(r, c, Str(rows[r][c]));
        table->setChartXAxisTitle(Str(text(value, "xAxisTitle")));
        table->setChartYAxisTitle(Str(text(value, "yAxisTitle")));
        snapshot->setTable(table.p());
    }

    std::string m_path;
    std::string m_folder;
    std::vector<std::string>* m_warnings;
    std::vector<std::string>* m_inputs;
    std::string m_context;
    std::map<std::string, lfw::Ref<kiv::Image>> m_images;
    std::map<std::string, lfw::Ref<kiv::ug::MdlxMemoryFile>> m_models;
};

// ---------------------------------------------------------------------------
// Writing

bool isValidUtf8(const std::string& s) {
    try {
        (void)Json(s).dump();
        return true;
    } catch (const Json::exception&) {
        return false;
    }
}

std::string dumpJson(const Json& value) { return value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"; }

Json fieldValuesJson(const Snapshot& s) {
    Json fields = Json::object();
    for (const auto& kv : s.fieldValues()) fields[utf8(kv.first)] = utf8(kv.second);
    return fields;
}

// Texts that JSON cannot carry as they are (bytes that are not UTF-8).
void checkTexts(const Snapshot& s, const std::string& label, std::vector<std::string>* warnings) {
    std::vector<std::string> texts = {utf8(s.name()), utf8(s.title()), utf8(s.description()), utf8(s.cloudViewerUrl())};
    for (const auto& kv : s.fieldValues()) {
        texts.push_back(utf8(kv.first));
        texts.push_back(utf8(kv.second));
    }
    for (const std::string& t : texts) {
        if (!isValidUtf8(t)) {
            warnings->push_back(label + ": some text is not valid UTF-8; its unreadable bytes are written as U+FFFD");
            return;
        }
    }
}

std::string snapshotLabel(const Snapshot& s, size_t index) {
    return "snapshot " + std::to_string(index + 1) + " (\"" + utf8(s.name()) + "\")";
}

}  // namespace

lfw::Ref<Repository> repositoryFromManifest(const std::string& manifestPath, std::vector<std::string>* warnings,
                                            std::vector<std::string>* inputs) {
    return ManifestReader(manifestPath, warnings, inputs).read();
}

void exportRepository(const Repository& repository, const std::string& folder, std::vector<std::string>* warnings) {
    // Every file is written completely first and all are moved into place at the
    // end: a failure (a full disk) leaves the files of an earlier export as they were.
    StagedFiles staged;
    UniqueFileNames names;
    names.reserve(kManifestFileName);
    Json list = Json::array();
    for (size_t i = 0; i < repository.snapshotCount(); ++i) {
        const Snapshot& s = *repository.snapshot(i);
        const std::string label = snapshotLabel(s, i);
        checkTexts(s, label, warnings);
        Json item = Json::object();
        item["type"] = typeName(s.type());
        item["name"] = utf8(s.name());
        item["title"] = utf8(s.title());
        item["description"] = utf8(s.description());
        item["fieldValues"] = fieldValuesJson(s);
        item["cloudViewerUrl"] = utf8(s.cloudViewerUrl());
        const std::string stem = safeFileStem(utf8(s.name()));
        Json content;  // null: no content
        switch (s.type()) {
        case Snapshot::IMAGE: {
            std::vector<unsigned char> jpeg;
            if (s.image() && jpegBytesOf(*s.image(), &jpeg)) {
                const std::string file = names.take(stem, ".jpg");
                staged.write(resolvePath(folder, file), jpeg.data(), jpeg.size());
                content = file;
            }
            break;
        }
        case Snapshot::MDLX: {
            const kiv::ug::MdlxMemoryFile* model = s.modelMdlx();
            if (model && !model->internal_mdlxZipMemFile()->IsEmpty()) {
                const std::string file = names.take(stem, ".mdlx");
                const kiv::ug::MdlxZipMemFile* bytes = model->internal_mdlxZipMemFile();
                staged.write(resolvePath(folder, file), bytes->GetBuffer(), bytes->GetSize());
                content = file;
            }
            break;
        }
        case Snapshot::TABLE: {
            const Table* table = s.table();
            if (table && table->rowCount() > 0 && table->columnCount() > 0) {
                CsvRows rows(table->rowCount());
                for (size_t r = 0; r < table->rowCount(); ++r)
                    for (size_t c = 0; c < table->columnCount(); ++c) rows[r].push_back(utf8(table->value(r, c)));
                const std::string file = names.take(stem, ".csv");
                const std::string csv = writeCsv(rows);
                staged.write(resolvePath(folder, file), csv.data(), csv.size());
                content = Json::object();
                content["csv"] = file;
                content["xAxisTitle"] = utf8(table->chartXAxisTitle());
                content["yAxisTitle"] = utf8(table->chartYAxisTitle());
            }
            break;
        }
        }
        if (content.is_null()) warnings->push_back(label + ": has no " + contentKey(s.type()) + " to export");
        item[contentKey(s.type())] = content;
        list.push_back(std::move(item));
    }
    Json root = Json::object();
    root["snapshots"] = std::move(list);
    const std::string text = dumpJson(root);
    staged.write(resolvePath(folder, kManifestFileName), text.data(), text.size());
    staged.commit();
}

// Text for a terminal: control characters (C0, DEL and C1, which terminals take
// for escape sequences) shown as \xNN or \u00NN instead of sent raw.
static std::string printable(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            const unsigned char d = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
            out += hex[d >> 4];
            out += hex[d & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string describeRepository(const Repository& repository, const std::string& path, bool json) {
    Json list = Json::array();
    std::string out = printable(path) + ": " + std::to_string(repository.snapshotCount()) + " snapshot" +
                      (repository.snapshotCount() == 1 ? "" : "s") + "\n";
    for (size_t i = 0; i < repository.snapshotCount(); ++i) {
        const Snapshot& s = *repository.snapshot(i);
        Json content;
        std::string size = "none";
        switch (s.type()) {
        case Snapshot::IMAGE:
            if (const kiv::Image* image = s.image()) {
                content = Json::object();
                content["width"] = image->width();
                content["height"] = image->height();
                size = std::to_string(image->width()) + " x " + std::to_string(image->height()) + " pixels";
                if (const std::vector<unsigned char>* jpeg = image->sourceJpeg()) {
                    content["jpegBytes"] = jpeg->size();
                    size += ", JPEG of " + std::to_string(jpeg->size()) + " bytes";
                }
            }
            break;
        case Snapshot::MDLX:
            if (const kiv::ug::MdlxMemoryFile* model = s.modelMdlx()) {
                content = Json::object();
                content["bytes"] = model->internal_mdlxZipMemFile()->GetSize();
                size = std::to_string(model->internal_mdlxZipMemFile()->GetSize()) + " bytes";
            }
            break;
        case Snapshot::TABLE:
            if (const Table* table = s.table()) {
                content = Json::object();
                content["rows"] = table->rowCount();
                content["columns"] = table->columnCount();
                size = std::to_string(table->rowCount()) + " rows x " + std::to_string(table->columnCount()) + " columns";
            }
            break;
        }
        Json item = Json::object();
        item["number"] = i + 1;
        item["name"] = utf8(s.name());
        item["type"] = typeName(s.type());
        item["title"] = utf8(s.title());
        item["description"] = utf8(s.description());
        item["fieldValues"] = fieldValuesJson(s);
        item["cloudViewerUrl"] = utf8(s.cloudViewerUrl());
        item["content"] = content;
        list.push_back(std::move(item));

        out += "\n#" + std::to_string(i + 1) + "  " + printable(utf8(s.name())) + "  (" + typeName(s.type()) + ")\n";
        out += "    title:   " + printable(utf8(s.title())) + "\n";
        out += "    content: " + size + "\n";
        const std::map<Str, Str> fields = s.fieldValues();
        if (!fields.empty()) out += "    field values:\n";
        for (const auto& kv : fields) out += "      " + printable(utf8(kv.first)) + " = " + printable(utf8(kv.second)) + "\n";
    }
    if (!json) return out;
    Json root = Json::object();
    root["file"] = path;
    root["snapshots"] = std::move(list);
    return dumpJson(root);
}

}  // namespace kivcli
