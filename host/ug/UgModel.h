#pragma once
// The unstructured-grid model as far as an application fills it and readers
// (the report's field-value generator) query it: data source and its
// directory of result and state descriptions, states with their geometry, the
// frame set with its database, the shown results and the derived objects
// (cutting planes, isosurfaces, isovolumes). Plain value classes; every object
// owns what it holds, and pointers handed out stay valid until the owner changes.
#include "host/core/KivStr.h"
#include "host/ug/MkArray.h"
#include "host/ug/MkString.h"
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace kiv {
namespace ug {

class UnstructGridModel;

class Vec3d {
public:
    Vec3d() = default;
    Vec3d(double x, double y, double z) : m_x(x), m_y(y), m_z(z) {}
    double x() const { return m_x; }
    double y() const { return m_y; }
    double z() const { return m_z; }

private:
    double m_x = 0.0;
    double m_y = 0.0;
    double m_z = 0.0;
};

class BoundingBox {
public:
    BoundingBox() = default;
    BoundingBox(const Vec3d& minimum, const Vec3d& maximum) : m_min(minimum), m_max(maximum) {}
    const Vec3d& minimum() const { return m_min; }
    const Vec3d& maximum() const { return m_max; }

private:
    Vec3d m_min;
    Vec3d m_max;
};

// Description of one scalar, vector or displacement result.
class ResultInfo {
public:
    enum ResultMapping { NODE = 1, ELEMENT = 2, ELEMENT_NODE = 3, ELEMENT_SURFACE = 4 };

    ResultInfo(int id, const Str& name, int resultMapping) : m_id(id), m_name(name), m_mapping(resultMapping) {}
    int id() const { return m_id; }
    const Str& name() const { return m_name; }
    int resultMapping() const { return m_mapping; }  // a ResultMapping, or another code

private:
    int m_id;
    Str m_name;
    int m_mapping;
};

// Description of one state (time step, mode, ...).
class StateInfo {
public:
    StateInfo(int id, const Str& name, double referenceValue, int referenceType)
        : m_id(id), m_name(name), m_referenceValue(referenceValue), m_referenceType(referenceType) {}
    int id() const { return m_id; }
    const Str& name() const { return m_name; }
    double referenceValue() const { return m_referenceValue; }
    int referenceType() const { return m_referenceType; }

private:
    int m_id;
    Str m_name;
    double m_referenceValue;
    int m_referenceType;
};

// Result and state descriptions of a data source, looked up by id.
class DataSourceDirectory {
public:
    void addScalarResultInfo(const ResultInfo& info) { m_scalars.push_back(info); }
    void addVectorResultInfo(const ResultInfo& info) { m_vectors.push_back(info); }
    void addDisplacementResultInfo(const ResultInfo& info) { m_displacements.push_back(info); }
    void addStateInfo(const StateInfo& info) { m_states.push_back(info); }

    // Null when no description has that id.
    const ResultInfo* findScalarResultInfo(int id) const { return find(m_scalars, id); }
    const ResultInfo* findVectorResultInfo(int id) const { return find(m_vectors, id); }
    const ResultInfo* findDisplacementResultInfo(int id) const { return find(m_displacements, id); }
    const StateInfo* findStateInfo(int id) const { return find(m_states, id); }

private:
    template <typename T>
    static const T* find(const std::vector<T>& items, int id) {
        for (const T& item : items)
            if (item.id() == id) return &item;
        return nullptr;
    }

    std::vector<ResultInfo> m_scalars;
    std::vector<ResultInfo> m_vectors;
    std::vector<ResultInfo> m_displacements;
    std::vector<StateInfo> m_states;
};

class DataElements {
public:
    explicit DataElements(unsigned int elementCount = 0) : m_count(elementCount) {}
    unsigned int elementCount() const { return m_count; }

private:
    unsigned int m_count;
};

class DataNodes {
public:
    explicit DataNodes(unsigned int nodeCount = 0) : m_count(nodeCount) {}
    unsigned int nodeCount() const { return m_count; }

private:
    unsigned int m_count;
};

// A part of a geometry; its elements and nodes may be absent.
class DataPart {
public:
    void setElements(const DataElements& elements) { m_elements = elements; }
    void setNodes(const DataNodes& nodes) { m_nodes = nodes; }
    const DataElements* elements() const { return m_elements ? &*m_elements : nullptr; }
    const DataNodes* nodes() const { return m_nodes ? &*m_nodes : nullptr; }

private:
    std::optional<DataElements> m_elements;
    std::optional<DataNodes> m_nodes;
};

class DataGeometry {
public:
    void addPart(const DataPart& part) { m_parts.push_back(part); }
    size_t partCount() const { return m_parts.size(); }
    const DataPart* part(size_t index) const { return index < m_parts.size() ? &m_parts[index] : nullptr; }

private:
    std::vector<DataPart> m_parts;
};

class DataState {
public:
    explicit DataState(int id = 0) : m_id(id) {}
    int id() const { return m_id; }
    void addGeometry(const DataGeometry& geometry) { m_geometries.push_back(geometry); }
    const DataGeometry* firstGeometry() const { return m_geometries.empty() ? nullptr : &m_geometries.front(); }

private:
    int m_id;
    std::vector<DataGeometry> m_geometries;
};

// The source of a model's data: its directory and one state per frame.
class DataSource {
public:
    DataSourceDirectory* directory() { return &m_directory; }
    const DataSourceDirectory* directory() const { return &m_directory; }

    void addState(const DataState& state) { m_states.push_back(state); }
    size_t stateCount() const { return m_states.size(); }
    // The state shown in the model's current frame; null when there is none.
    const DataState* currentState(const UnstructGridModel* model) const;

private:
    DataSourceDirectory m_directory;
    std::vector<DataState> m_states;
};

class MkDatabaseMetaData {
public:
    const MkString& GetTitle() const { return m_title; }
    void SetTitle(const MkString& title) { m_title = title; }
    const MkString& GetDescription() const { return m_description; }
    void SetDescription(const MkString& description) { m_description = description; }
    const MkString& GetSimulationFileName() const { return m_simulationFileName; }
    void SetSimulationFileName(const MkString& fileName) { m_simulationFileName = fileName; }

    // Simulation type: 0 structural, 1 thermal, 2 electric, 3 magnetic, 4 fluid,
    // 5 acoustic, 6 diffusion, 7 other.
    int GetSimulationType() const { return m_simulationType; }
    void SetSimulationType(int type) { m_simulationType = type; }
    // Solution type: 0 static, 1 steady state, 2 vibration, 3 buckling, 4 transient,
    // 5 superelement, 6 frequency response, 7 complex eigenvalues, 8 quasi static,
    // 9 output, 10 singular, 11 other.
    int GetSolutionType() const { return m_solutionType; }
    void SetSolutionType(int type) { m_solutionType = type; }

    unsigned int GetNumStates() const { return m_numStates; }
    void SetNumStates(unsigned int n) { m_numStates = n; }
    unsigned int GetNumScalarResults() const { return m_numScalars; }
    void SetNumScalarResults(unsigned int n) { m_numScalars = n; }
    unsigned int GetNumVectorResults() const { return m_numVectors; }
    void SetNumVectorResults(unsigned int n) { m_numVectors = n; }
    unsigned int GetNumDisplacementResults() const { return m_numDisplacements; }
    void SetNumDisplacementResults(unsigned int n) { m_numDisplacements = n; }

private:
    MkString m_title;
    MkString m_description;
    MkString m_simulationFileName;
    int m_simulationType = 7;
    int m_solutionType = 11;
    unsigned int m_numStates = 0;
    unsigned int m_numScalars = 0;
    unsigned int m_numVectors = 0;
    unsigned int m_numDisplacements = 0;
};

// The simulation database a model was read from.
class MkDatabase {
public:
    const MkString& GetName() const { return m_name; }
    void SetName(const MkString& name) { m_name = name; }
    const MkStringArray& GetFileNames() const { return m_fileNames; }
    void AddFileName(const MkString& fileName) { m_fileNames.AddGrow(fileName); }
    MkDatabaseMetaData* GetMetaData() { return &m_metaData; }
    const MkDatabaseMetaData* GetMetaData() const { return &m_metaData; }

private:
    MkString m_name;
    MkStringArray m_fileNames;
    MkDatabaseMetaData m_metaData;
};

class MkFrameSet {
public:
    MkDatabase* GetDatabase() { return m_database.get(); }
    const MkDatabase* GetDatabase() const { return m_database.get(); }
    // Takes ownership; null removes the database.
    void SetDatabase(std::unique_ptr<MkDatabase> database) { m_database = std::move(database); }

private:
    std::unique_ptr<MkDatabase> m_database;
};

// Which results the model shows; -1 means none.
class ModelSpec {
public:
    int fringesResultId() const { return m_fringesResultId; }
    void setFringesResultId(int id) { m_fringesResultId = id; }
    const std::vector<int>& vectorResultIds() const { return m_vectorResultIds; }
    void setVectorResultIds(const std::vector<int>& ids) { m_vectorResultIds = ids; }
    int displacementResultId() const { return m_displacementResultId; }
    void setDisplacementResultId(int id) { m_displacementResultId = id; }

private:
    int m_fringesResultId = -1;
    std::vector<int> m_vectorResultIds;
    int m_displacementResultId = -1;
};

// Mapped result ids are -1 when nothing is mapped.
class CuttingPlane {
public:
    CuttingPlane(const Vec3d& point, const Vec3d& normal, int mapScalarResultId = -1, int mapVectorResultId = -1)
        : m_point(point), m_normal(normal), m_scalarId(mapScalarResultId), m_vectorId(mapVectorResultId) {}
    const Vec3d& point() const { return m_point; }
    const Vec3d& normal() const { return m_normal; }
    int mapScalarResultId() const { return m_scalarId; }
    int mapVectorResultId() const { return m_vectorId; }

private:
    Vec3d m_point;
    Vec3d m_normal;
    int m_scalarId;
    int m_vectorId;
};

class Isosurface {
public:
    explicit Isosurface(double isoValue, int mapScalarResultId = -1, int mapVectorResultId = -1)
        : m_isoValue(isoValue), m_scalarId(mapScalarResultId), m_vectorId(mapVectorResultId) {}
    double isoValue() const { return m_isoValue; }
    int mapScalarResultId() const { return m_scalarId; }
    int mapVectorResultId() const { return m_vectorId; }

private:
    double m_isoValue;
    int m_scalarId;
    int m_vectorId;
};

// The part of the model whose mapped scalar lies between two iso values.
class Isovolume {
public:
    Isovolume(double minimumIsoValue, double maximumIsoValue, int mapScalarResultId = -1, int mapVectorResultId = -1)
        : m_min(minimumIsoValue), m_max(maximumIsoValue), m_scalarId(mapScalarResultId), m_vectorId(mapVectorResultId) {}
    double minimumIsoValue() const { return m_min; }
    double maximumIsoValue() const { return m_max; }
    int mapScalarResultId() const { return m_scalarId; }
    int mapVectorResultId() const { return m_vectorId; }

private:
    double m_min;
    double m_max;
    int m_scalarId;
    int m_vectorId;
};

class UnstructGridModel {
public:
    // A model as created by the toolkit: a data source and a frame set without a database.
    UnstructGridModel();
    ~UnstructGridModel();
    UnstructGridModel(const UnstructGridModel&) = delete;
    UnstructGridModel& operator=(const UnstructGridModel&) = delete;

    DataSource* dataSource() { return m_dataSource.get(); }
    const DataSource* dataSource() const { return m_dataSource.get(); }
    void setDataSource(std::unique_ptr<DataSource> dataSource) { m_dataSource = std::move(dataSource); }

    MkFrameSet* internal_mkFrameSet() { return m_frameSet.get(); }
    const MkFrameSet* internal_mkFrameSet() const { return m_frameSet.get(); }
    void internal_setMkFrameSet(std::unique_ptr<MkFrameSet> frameSet) { m_frameSet = std::move(frameSet); }

    ModelSpec* modelSpec() { return &m_modelSpec; }
    const ModelSpec* modelSpec() const { return &m_modelSpec; }

    // Bounding box of the whole model, and of each frame.
    const BoundingBox& boundingBox() const { return m_boundingBox; }
    void setBoundingBox(const BoundingBox& box) { m_boundingBox = box; }
    void addFrame(const BoundingBox& frameBoundingBox) { m_frameBoxes.push_back(frameBoundingBox); }
    size_t frameCount() const { return m_frameBoxes.size(); }
    // An empty box for an index without a frame.
    BoundingBox boundingBox(int frameIndex) const;
    int currentFrameIndex() const { return m_currentFrameIndex; }
    void setCurrentFrameIndex(int index) { m_currentFrameIndex = index; }

    // Result ranges; false, with min and max untouched, when none was set.
    void setScalarRange(int resultId, double min, double max) { m_scalarRanges[resultId] = Range{min, max}; }
    void setVectorRange(int resultId, double min, double max) { m_vectorRanges[resultId] = Range{min, max}; }
    void setDisplacementRange(double min, double max) { m_displacementRange = Range{min, max}; }
    bool scalarRange(int resultId, double* min, double* max) const;
    bool vectorRange(int resultId, double* min, double* max) const;
    bool displacementRange(double* min, double* max) const;

    void addCuttingPlane(const CuttingPlane& plane) { m_cuttingPlanes.push_back(plane); }
    size_t cuttingPlaneCount() const { return m_cuttingPlanes.size(); }
    const CuttingPlane* cuttingPlane(size_t index) const;
    void addIsosurface(const Isosurface& isosurface) { m_isosurfaces.push_back(isosurface); }
    size_t isosurfaceCount() const { return m_isosurfaces.size(); }
    const Isosurface* isosurface(size_t index) const;
    void addIsovolume(const Isovolume& isovolume) { m_isovolumes.push_back(isovolume); }
    size_t isovolumeCount() const { return m_isovolumes.size(); }
    const Isovolume* isovolume(size_t index) const;

private:
    struct Range {
        double min;
        double max;
    };
    static bool lookup(const std::map<int, Range>& ranges, int id, double* min, double* max);

    std::unique_ptr<DataSource> m_dataSource;
    std::unique_ptr<MkFrameSet> m_frameSet;
    ModelSpec m_modelSpec;
    BoundingBox m_boundingBox;
    std::vector<BoundingBox> m_frameBoxes;
    int m_currentFrameIndex = 0;
    std::map<int, Range> m_scalarRanges;
    std::map<int, Range> m_vectorRanges;
    std::optional<Range> m_displacementRange;
    std::vector<CuttingPlane> m_cuttingPlanes;
    std::vector<Isosurface> m_isosurfaces;
    std::vector<Isovolume> m_isovolumes;
};

}  // namespace ug
}  // namespace kiv
