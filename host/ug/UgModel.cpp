#include "host/ug/UgModel.h"

namespace kiv {
namespace ug {

const DataState* DataSource::currentState(const UnstructGridModel* model) const {
    if (!model) return nullptr;
    const int index = model->currentFrameIndex();
    if (index < 0 || static_cast<size_t>(index) >= m_states.size()) return nullptr;
    return &m_states[static_cast<size_t>(index)];
}

UnstructGridModel::UnstructGridModel() : m_dataSource(new DataSource), m_frameSet(new MkFrameSet) {}

UnstructGridModel::~UnstructGridModel() = default;

BoundingBox UnstructGridModel::boundingBox(int frameIndex) const {
    if (frameIndex < 0 || static_cast<size_t>(frameIndex) >= m_frameBoxes.size()) return BoundingBox();
    return m_frameBoxes[static_cast<size_t>(frameIndex)];
}

bool UnstructGridModel::lookup(const std::map<int, Range>& ranges, int id, double* min, double* max) {
    auto it = ranges.find(id);
    if (it == ranges.end()) return false;
    if (min) *min = it->second.min;
    if (max) *max = it->second.max;
    return true;
}

bool UnstructGridModel::scalarRange(int resultId, double* min, double* max) const {
    return lookup(m_scalarRanges, resultId, min, max);
}

bool UnstructGridModel::vectorRange(int resultId, double* min, double* max) const {
    return lookup(m_vectorRanges, resultId, min, max);
}

bool UnstructGridModel::displacementRange(double* min, double* max) const {
    if (!m_displacementRange) return false;
    if (min) *min = m_displacementRange->min;
    if (max) *max = m_displacementRange->max;
    return true;
}

const CuttingPlane* UnstructGridModel::cuttingPlane(size_t index) const {
    return index < m_cuttingPlanes.size() ? &m_cuttingPlanes[index] : nullptr;
}

const Isosurface* UnstructGridModel::isosurface(size_t index) const {
    return index < m_isosurfaces.size() ? &m_isosurfaces[index] : nullptr;
}

const Isovolume* UnstructGridModel::isovolume(size_t index) const {
    return index < m_isovolumes.size() ? &m_isovolumes[index] : nullptr;
}

}  // namespace ug
}  // namespace kiv
