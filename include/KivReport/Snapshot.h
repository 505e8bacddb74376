#pragma once
#include "KivReport/KivReportExport.h"
// A captured item of a report: an image, a 3D model or a table, with its texts
// and field values. Ownership: a snapshot is reference counted (hold it in a
// PtrRef) and takes a reference on the image, model and table it is given.
#include "host/core/KivRefCountedObject.h"
#include "host/core/KivStr.h"
#include <map>

namespace kiv {
class Image;
namespace ug {
class MdlxMemoryFile;
}

namespace rep {

class SnapshotPrivate;
class Table;

class KIVREPORT_API Snapshot : public RefCountedObject {
public:
    // The numbers are stored in repository files and must not change. The fixed
    // underlying type lets a snapshot carry any number read from a file, so that
    // readers can report types they do not know.
    enum SnapshotType : int { IMAGE = 1, MDLX = 2, TABLE = 3 };

    explicit Snapshot(SnapshotType type);
    ~Snapshot() override;
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    Str name() const;
    void setName(const Str& name);
    SnapshotType type() const;
    Str title() const;
    void setTitle(const Str& title);

    // As stored, with its $(KEY) macros unexpanded.
    Str description() const;
    void setDescription(const Str& description);
    // The description with its macros replaced by the HTML-escaped field values.
    Str expandedDescription() const;

    std::map<Str, Str> fieldValues() const;
    // Replaces the whole map; keys missing from the argument are gone afterwards.
    void setFieldValues(const std::map<Str, Str>& fieldValues);

    Str cloudViewerUrl() const;
    void setCloudViewerUrl(const Str& url);
    Str originalModelPath() const;
    void setOriginalModelPath(const Str& path);

    // The getters return the held object without adding a reference (null when
    // none is set); the setters take a reference, and null clears.
    Image* image() const;
    void setImage(Image* image);
    ug::MdlxMemoryFile* model() const { return modelMdlx(); }
    void setModel(ug::MdlxMemoryFile* model) { setModelMdlx(model); }
    Table* table() const;
    void setTable(Table* table);

    // Reads a model file (UTF-8 path) byte for byte. When the file cannot be
    // read, returns false and keeps the current model.
    bool setModelFromFile(const Str& path) { return setModelMdlxFromFile(path); }

    // Older names of model(), setModel() and setModelFromFile().
    ug::MdlxMemoryFile* modelMdlx() const;
    void setModelMdlx(ug::MdlxMemoryFile* model);
    bool setModelMdlxFromFile(const Str& path);

private:
    friend class RepositoryPrivate;  // reads names without copying them when naming on add
    SnapshotPrivate* m_d;
};

}  // namespace rep
}  // namespace kiv
