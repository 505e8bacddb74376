#include "KivReport/FieldValuesGenerator.h"
#include "LibCore/lfwAssert.h"
#include "host/ug/MkFile.h"
#include "host/ug/UgConvert.h"
#include "host/ug/UgModel.h"
#include <cstdint>
#include <string>

namespace kiv {
namespace rep {

namespace {

typedef std::map<Str, Str> Map;

Str toStr(const MkString& s) { return ug::Convert::toStr(s); }
Str number(double v) { return Str::number(v, 'g', -1); }
Str number(int v) { return Str::number(v); }
Str count(unsigned int v) { return Str::number(v); }

Str point(const ug::Vec3d& p) { return Str("(") + number(p.x()) + ", " + number(p.y()) + ", " + number(p.z()) + ")"; }

const char* simulationTypeText(int code) {
    static const char* const texts[] = {"Structural", "Thermal",  "Electric",  "Magnetic",
                                        "Fluid",      "Acoustic", "Diffusion", "Other"};
    return code >= 0 && code < 8 ? texts[code] : nullptr;
}

const char* solutionTypeText(int code) {
    static const char* const texts[] = {"Static",       "Steady State", "Vibration",          "Buckling",
                                        "Transient",    "Superelement", "Frequency response", "Complex eigenvalues",
                                        "Quasi Static", "Output",       "Singular",           "Other"};
    return code >= 0 && code < 12 ? texts[code] : nullptr;
}

Str mappingText(int code) {
    switch (code) {
    case ug::ResultInfo::NODE: return "Node";
    case ug::ResultInfo::ELEMENT: return "Element";
    case ug::ResultInfo::ELEMENT_NODE: return "Element Node";
    case ug::ResultInfo::ELEMENT_SURFACE: return "Element Surface";
    default: return "Other";
    }
}

// Name of a described result, empty when no description has that id.
Str resultName(const ug::ResultInfo* info) { return info ? info->name() : Str(); }

void addDatabase(const ug::MkDatabase& db, Map* map) {
    const MkStringArray& files = db.GetFileNames();
    Map& m = *map;
    m["DATABASE_NAME"] = toStr(db.GetName());
    m["DATABASE_PATH"] = files.IsEmpty() ? Str() : toStr(MkGetFilePath(MkGetAsNativePath(files[0]), true));
    m["DATABASE_FILENAME"] = toStr(files.GetAsString(MkString(L", ")));
    const ug::MkDatabaseMetaData& meta = *db.GetMetaData();
    m["DATABASE_NUM_STATES"] = count(meta.GetNumStates());
    m["DATABASE_NUM_SCALARS"] = count(meta.GetNumScalarResults());
    m["DATABASE_NUM_VECTORS"] = count(meta.GetNumVectorResults());
    m["DATABASE_NUM_DISPLACEMENTS"] = count(meta.GetNumDisplacementResults());
    m["DATABASE_TITLE"] = toStr(meta.GetTitle());
    m["DATABASE_DESCRIPTION"] = toStr(meta.GetDescription());
    m["DATABASE_SIMULATION_FILENAME"] = toStr(meta.GetSimulationFileName());
    if (const char* text = simulationTypeText(meta.GetSimulationType())) m["DATABASE_SIMULATION_TYPE"] = text;
    if (const char* text = solutionTypeText(meta.GetSolutionType())) m["DATABASE_SOLUTION_TYPE"] = text;
}

void addCurrentState(const ug::UnstructGridModel& model, const ug::DataSource& source, Map* map) {
    const ug::DataState* state = source.currentState(&model);
    if (!state) return;
    Map& m = *map;
    const ug::BoundingBox frameBox = model.boundingBox(model.currentFrameIndex());
    m["FRAME_BOUNDING_BOX_MIN"] = point(frameBox.minimum());
    m["FRAME_BOUNDING_BOX_MAX"] = point(frameBox.maximum());

    if (const ug::DataGeometry* geometry = state->firstGeometry()) {
        m["CASE_NUM_PARTS"] = count(static_cast<unsigned int>(geometry->partCount()));
        uint64_t elements = 0;
        uint64_t nodes = 0;
        for (size_t i = 0; i < geometry->partCount(); ++i) {
            const ug::DataPart* part = geometry->part(i);
            if (!part) continue;
            if (const ug::DataElements* e = part->elements()) elements += e->elementCount();
            if (const ug::DataNodes* n = part->nodes()) nodes += n->nodeCount();
        }
        // Written in full: a big model can pass 2^32 elements over all its parts.
        m["FRAME_NUM_ELEMENTS"] = Str(std::to_string(elements));
        m["FRAME_NUM_NODES"] = Str(std::to_string(nodes));
    }

    if (const ug::StateInfo* info = source.directory()->findStateInfo(state->id())) {
        m["FRAME_TIMESTEP"] = info->name();
        m["FRAME_TIMESTEP_REF_VALUE"] = number(info->referenceValue());
        m["FRAME_TIMESTEP_REF_TYPE"] = number(info->referenceType());
    }
}

void addResult(const Str& prefix, const ug::ResultInfo* info, bool withMapping, bool hasRange, double min, double max, Map* map) {
    Map& m = *map;
    if (info) {
        m[prefix + "_RESULT_NAME"] = info->name();
        m[prefix + "_RESULT_ID"] = number(info->id());
        if (withMapping) m[prefix + "_RESULT_MAPPING"] = mappingText(info->resultMapping());
    }
    if (hasRange) {
        m[prefix + "_RESULT_MIN"] = number(min);
        m[prefix + "_RESULT_MAX"] = number(max);
    }
}

void addResults(const ug::UnstructGridModel& model, const ug::DataSourceDirectory* directory, Map* map) {
    const ug::ModelSpec& shown = *model.modelSpec();
    double min = 0.0, max = 0.0;

    const int fringesId = shown.fringesResultId();
    if (fringesId != -1) {
        const bool hasRange = model.scalarRange(fringesId, &min, &max);
        addResult("SCALAR", directory ? directory->findScalarResultInfo(fringesId) : nullptr, true, hasRange, min, max, map);
    }

    const std::vector<int>& vectorIds = shown.vectorResultIds();
    for (size_t k = 0; k < vectorIds.size(); ++k) {
        const bool hasRange = model.vectorRange(vectorIds[k], &min, &max);
        addResult(Str("VECTOR") + count(static_cast<unsigned int>(k + 1)),
                  directory ? directory->findVectorResultInfo(vectorIds[k]) : nullptr, true, hasRange, min, max, map);
    }

    const int displacementId = shown.displacementResultId();
    if (displacementId != -1) {
        const bool hasRange = model.displacementRange(&min, &max);
        addResult("DISPLACEMENT", directory ? directory->findDisplacementResultInfo(displacementId) : nullptr, false, hasRange,
                  min, max, map);
    }
}

// The scalar and vector names of a cutting plane, isosurface or isovolume.
template <typename T>
void addMappedNames(const Str& prefix, const T& object, const ug::DataSourceDirectory* directory, bool isoScalarName,
                    const char* scalarKey, const char* vectorKey, Map* map) {
    Map& m = *map;
    const int scalarId = object.mapScalarResultId();
    const int vectorId = object.mapVectorResultId();
    const Str scalarName = resultName(directory ? directory->findScalarResultInfo(scalarId) : nullptr);
    if (isoScalarName) m[prefix + "_ISO_SCALAR_NAME"] = scalarName;
    if (scalarId != -1) m[prefix + scalarKey] = scalarName;
    if (vectorId != -1) m[prefix + vectorKey] = resultName(directory ? directory->findVectorResultInfo(vectorId) : nullptr);
}

void addDerivedObjects(const ug::UnstructGridModel& model, const ug::DataSourceDirectory* directory, Map* map) {
    Map& m = *map;
    for (size_t i = 0; i < model.cuttingPlaneCount(); ++i) {
        const ug::CuttingPlane* plane = model.cuttingPlane(i);
        if (!plane) continue;
        const Str prefix = Str("CUTPLANE") + count(static_cast<unsigned int>(i + 1));
        m[prefix + "_POSITION"] = point(plane->point());
        m[prefix + "_NORMAL"] = point(plane->normal());
        addMappedNames(prefix, *plane, directory, false, "_SCALAR_NAME", "_VECTOR_NAME", map);
    }
    for (size_t i = 0; i < model.isosurfaceCount(); ++i) {
        const ug::Isosurface* surface = model.isosurface(i);
        if (!surface) continue;
        const Str prefix = Str("ISOSURFACE") + count(static_cast<unsigned int>(i + 1));
        m[prefix + "_ISO_VALUE"] = number(surface->isoValue());
        addMappedNames(prefix, *surface, directory, true, "_MAP_SCALAR_NAME", "_MAP_VECTOR_NAME", map);
    }
    for (size_t i = 0; i < model.isovolumeCount(); ++i) {
        const ug::Isovolume* volume = model.isovolume(i);
        if (!volume) continue;
        const Str prefix = Str("ISOVOLUME") + count(static_cast<unsigned int>(i + 1));
        m[prefix + "_ISO_VALUE_MIN"] = number(volume->minimumIsoValue());
        m[prefix + "_ISO_VALUE_MAX"] = number(volume->maximumIsoValue());
        addMappedNames(prefix, *volume, directory, true, "_MAP_SCALAR_NAME", "_MAP_VECTOR_NAME", map);
    }
}

}  // namespace

std::map<Str, Str> FieldValuesGenerator::getFieldValuesFromModel(const ug::UnstructGridModel* model) {
    Map map;
    if (!model) return map;
    const ug::DataSource* source = model->dataSource();
    const ug::DataSourceDirectory* directory = source ? source->directory() : nullptr;
    const ug::MkFrameSet* frameset = model->internal_mkFrameSet();
    LFW_ASSERT_MSG(frameset, "UnstructGridModel was not created properly");
    if (!frameset) return map;

    if (const ug::MkDatabase* database = frameset->GetDatabase()) addDatabase(*database, &map);
    const ug::BoundingBox& box = model->boundingBox();
    map["CASE_BOUNDING_BOX_MIN"] = point(box.minimum());
    map["CASE_BOUNDING_BOX_MAX"] = point(box.maximum());
    if (source) addCurrentState(*model, *source, &map);
    addResults(*model, directory, &map);
    addDerivedObjects(*model, directory, &map);
    return map;
}

}  // namespace rep
}  // namespace kiv
