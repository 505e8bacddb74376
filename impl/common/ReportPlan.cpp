#include "impl/common/ReportPlan.h"
#include "LibCore/lfwAssert.h"

namespace kiv {
namespace rep {

namespace {

ReportPlan::Side sideOf(const lfw::Collection<const Snapshot>& snapshots, const std::vector<int>& selected,
                        bool emptySelectsAll) {
    ReportPlan::Side side;
    const size_t count = snapshots.size();
    side.isRepeated.assign(count, emptySelectsAll && selected.empty());
    for (const int index : selected)
        if (index >= 0 && static_cast<size_t>(index) < count) side.isRepeated[static_cast<size_t>(index)] = true;
    for (size_t i = 0; i < count; ++i) {
        if (!side.isRepeated[i]) continue;
        side.repeated.push_back(static_cast<int>(i));
        const Snapshot* snapshot = snapshots[i];
        LFW_ASSERT(snapshot);
        if (!snapshot) continue;
        switch (snapshot->type()) {
        case Snapshot::IMAGE: side.images.push_back(static_cast<int>(i)); break;
        case Snapshot::TABLE: side.tables.push_back(static_cast<int>(i)); break;
        case Snapshot::MDLX: side.models.push_back(static_cast<int>(i)); break;
        default: LFW_FAIL_MSG("Unhandled snapshot type"); break;
        }
    }
    return side;
}

}  // namespace

ReportPlan planReport(const TemplateScan& scan, const lfw::Collection<const Snapshot>& main,
                      const lfw::Collection<const Snapshot>& reference, const std::vector<int>& selected, bool emptySelectsAll) {
    ReportPlan plan;
    plan.main = sideOf(main, selected, emptySelectsAll);
    if (!reference.empty()) plan.reference = sideOf(reference, selected, emptySelectsAll);
    plan.referenceTags = scan.hasReferenceTags();
    // A group is filled in place when it holds a numbered tag, and repeated when
    // it holds a generic one: an unnumbered tag that shows a snapshot, or a
    // generic field.
    std::vector<char> holds(static_cast<size_t>(scan.groups > 0 ? scan.groups : 0), 0);
    for (const ScannedTag& tag : scan.tags) {
        if (tag.group < 0 || tag.group >= scan.groups || tag.kind == TagKind::Other || tag.kind == TagKind::Group) continue;
        char& what = holds[static_cast<size_t>(tag.group)];
        if (tag.number >= 0) what |= 1;
        if (tag.kind == TagKind::Field ? tag.name.find("SIT_$") != std::string::npos : tag.number < 0) what |= 2;
    }
    for (size_t g = 0; g < holds.size(); ++g) {
        if (holds[g] & 1) plan.staticGroups.push_back(static_cast<int>(g));
        if (holds[g] & 2) plan.repeatedGroups.push_back(static_cast<int>(g));
    }
    return plan;
}

}  // namespace rep
}  // namespace kiv
