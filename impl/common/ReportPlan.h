#pragma once
// What a report makes of a template, decided from its scan and the
// repositories before anything is changed: which snapshots generic tags repeat
// over, split by what they show, and which groups (slides) are filled in place
// and which are repeated. The formats then apply it to their packages.
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "impl/common/TemplateScan.h"
#include <vector>

namespace kiv {
namespace rep {

struct ReportPlan {
    struct Side {
        std::vector<int> repeated;                // positions generic tags repeat over: ascending, each once
        std::vector<bool> isRepeated;             // by position
        std::vector<int> images, tables, models;  // the repeated positions by what the snapshot shows
    };
    Side main;
    Side reference;  // empty without reference snapshots
    // Groups (slides) holding a numbered tag, filled in place, and those holding
    // a generic tag, repeated per snapshot; in order.
    std::vector<int> staticGroups;
    std::vector<int> repeatedGroups;
    bool referenceTags = false;  // "REF_" tags, which only reference snapshots fill
};

// The plan of a report. `selected` are the positions generic tags repeat over
// (out of range ones are left out); with emptySelectsAll, none selected means
// every snapshot.
ReportPlan planReport(const TemplateScan& scan, const lfw::Collection<const Snapshot>& main,
                      const lfw::Collection<const Snapshot>& reference, const std::vector<int>& selected, bool emptySelectsAll);

}  // namespace rep
}  // namespace kiv
