// Field values derived from an unstructured-grid model.
#include "KivReport/FieldValuesGenerator.h"
#include "LibCore/lfwAssert.h"
#include "host/ug/UgModel.h"
#include "support/Golden.h"
#include "support/TestSupport.h"
#include <memory>
#include <string>

using kiv::Str;
using kiv::rep::FieldValuesGenerator;
using namespace kiv::ug;

namespace {

// "KEY=value" lines, in key order, of the keys beginning with prefix.
std::string dump(const UnstructGridModel* model, const std::string& prefix = "") {
    std::string out;
    for (const auto& kv : FieldValuesGenerator::getFieldValuesFromModel(model)) {
        const std::string key = kv.first.toStdString();
        if (key.compare(0, prefix.size(), prefix) == 0) out += key + "=" + kv.second.toStdString() + "\n";
    }
    return out;
}

DataPart part(long long elements, long long nodes) {
    DataPart p;
    if (elements >= 0) p.setElements(DataElements(static_cast<unsigned>(elements)));
    if (nodes >= 0) p.setNodes(DataNodes(static_cast<unsigned>(nodes)));
    return p;
}

// A model with something in every place the generator reads.
std::unique_ptr<UnstructGridModel> fullModel() {
    auto model = std::make_unique<UnstructGridModel>();
    auto database = std::make_unique<MkDatabase>();
    database->SetName(MkString(L"crash run"));
    database->AddFileName(MkString(L"C:\\sims\\run1\\model.odb"));
    database->AddFileName(MkString(L"/data/extra.odb"));
    MkDatabaseMetaData* meta = database->GetMetaData();
    meta->SetTitle(MkString(L"Bracket"));
    meta->SetDescription(MkString(L"load case 1"));
    meta->SetSimulationFileName(MkString(L"bracket.inp"));
    meta->SetSimulationType(1);
    meta->SetSolutionType(4);
    meta->SetNumStates(12);
    meta->SetNumScalarResults(5);
    meta->SetNumVectorResults(2);
    meta->SetNumDisplacementResults(1);
    model->internal_mkFrameSet()->SetDatabase(std::move(database));

    model->setBoundingBox(BoundingBox(Vec3d(0, -1.5, 20), Vec3d(10, 2.25, 30)));
    model->addFrame(BoundingBox(Vec3d(0, 0, 0), Vec3d(1, 1, 1)));
    model->addFrame(BoundingBox(Vec3d(0.1, 0, 0), Vec3d(2, 3, 4)));
    model->setCurrentFrameIndex(1);
    DataSource* source = model->dataSource();
    source->addState(DataState(100));  // frame 0: no geometry
    DataState state(101);
    DataGeometry geometry;
    // Element and node counts whose sums need more than 32 bits.
    for (const DataPart& p :
         {part(10, 20), part(5, -1), part(-1, 7), part(-1, -1), part(3000000000, 4000000000), part(3000000000, 4000000000)})
        geometry.addPart(p);
    state.addGeometry(geometry);
    source->addState(state);

    DataSourceDirectory* dir = source->directory();
    dir->addStateInfo(StateInfo(100, "t=0", 0.0, 1));
    dir->addStateInfo(StateInfo(101, "t=0.1", 0.1, 2));
    dir->addScalarResultInfo(ResultInfo(3, "Stress", ResultInfo::ELEMENT_NODE));
    dir->addScalarResultInfo(ResultInfo(4, "Temperature", ResultInfo::NODE));
    dir->addVectorResultInfo(ResultInfo(7, "Velocity", ResultInfo::NODE));
    dir->addVectorResultInfo(ResultInfo(8, "Force", ResultInfo::ELEMENT_SURFACE));
    dir->addDisplacementResultInfo(ResultInfo(9, "Displacement", ResultInfo::NODE));
    model->modelSpec()->setFringesResultId(3);
    model->modelSpec()->setVectorResultIds({8, 7});
    model->modelSpec()->setDisplacementResultId(9);
    model->setScalarRange(3, -2.5, 400);
    model->setVectorRange(7, 0, 12.5);
    model->setVectorRange(8, 1, 2);
    model->setDisplacementRange(0, 0.003);

    model->addCuttingPlane(CuttingPlane(Vec3d(1, 2, 3), Vec3d(0, 0, 1), 4, 7));
    model->addCuttingPlane(CuttingPlane(Vec3d(0, 0, 0), Vec3d(1, 0, 0)));
    model->addIsosurface(Isosurface(250, 3, 8));
    model->addIsosurface(Isosurface(-1, -1, -1));
    model->addIsovolume(Isovolume(10, 20, 4, -1));
    return model;
}

}  // namespace

TEST(FieldValuesGeneratorTest, EveryKeyFamilyOfAFullModel) {
    EXPECT_GOLDEN("model/field_values_full_model.txt", dump(fullModel().get()));
}

TEST(FieldValuesGeneratorTest, AbsentPartsLeaveTheirKeysOutAndUnknownCodesReadOther) {
    EXPECT_TRUE(FieldValuesGenerator::getFieldValuesFromModel(nullptr).empty());
    UnstructGridModel bare;
    std::string out = "== bare model\n" + dump(&bare);
    std::unique_ptr<UnstructGridModel> model = fullModel();
    model->setCurrentFrameIndex(5);
    out += "== no current state: database and case keys stay, frame keys go\n" + dump(model.get());
    model->setCurrentFrameIndex(0);
    out += "== a state without geometry: time step and frame box, no counts\n" + dump(model.get());
    model->modelSpec()->setFringesResultId(-1);
    model->modelSpec()->setVectorResultIds({});
    model->modelSpec()->setDisplacementResultId(-1);
    model->internal_mkFrameSet()->SetDatabase(nullptr);
    out += "== no results shown and no database\n" + dump(model.get());

    UnstructGridModel files;
    files.internal_mkFrameSet()->SetDatabase(std::make_unique<MkDatabase>());
    MkDatabaseMetaData* meta = files.internal_mkFrameSet()->GetDatabase()->GetMetaData();
    for (int types : {8 * 100 + 11, 7 * 100 + 12}) {
        meta->SetSimulationType(types / 100);
        meta->SetSolutionType(types % 100);
        out += "== database without files, simulation and solution types " + std::to_string(types / 100) + " and " +
               std::to_string(types % 100) + "\n" + dump(&files, "DATABASE_");
    }
    for (int code : {0, 5}) {
        UnstructGridModel m;
        m.dataSource()->directory()->addScalarResultInfo(ResultInfo(1, "S", code));
        m.modelSpec()->setFringesResultId(1);
        out += "== scalar result mapped by code " + std::to_string(code) + "\n" + dump(&m, "SCALAR_");
    }
    EXPECT_GOLDEN("model/field_values_absent_parts.txt", out);
}

class FieldValuesGeneratorAssertTest : public kivtest::LoggingTest {};

TEST_F(FieldValuesGeneratorAssertTest, ModelWithoutFrameSetIsAFailedAssertion) {
    UnstructGridModel model;
    model.internal_setMkFrameSet(nullptr);
    lfw::Assert::setFailedAssertAction(lfw::Assert::CONTINUE);
    EXPECT_TRUE(FieldValuesGenerator::getFieldValuesFromModel(&model).empty());
    EXPECT_TRUE(recorder->contains("ASSERT:  (frameset) 'UnstructGridModel was not created properly'"));
}
