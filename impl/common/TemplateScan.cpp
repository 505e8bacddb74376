#include "impl/common/TemplateScan.h"
#include "LibCore/lfwText.h"
#include "impl/common/TemplateTags.h"

namespace kiv {
namespace rep {

void TemplateScan::add(std::string name, TagKind kind, int group, std::string place) {
    ScannedTag tag;
    tag.kind = kind;
    tag.reference = lfw::text::startsWith(name, "REF_");
    tag.number = TemplateTags::getTagIndex(name);
    tag.generic = TemplateTags::isTagGeneric(name);
    tag.group = group;
    tag.name = std::move(name);
    tag.place = std::move(place);
    tags.push_back(std::move(tag));
}

bool TemplateScan::hasReferenceTags() const {
    for (const ScannedTag& tag : tags)
        if (tag.reference && tag.kind != TagKind::Other && tag.kind != TagKind::Group) return true;
    return false;
}

bool TemplateScan::inGroup(const ScannedTag& tag, int g) const {
    // Bounded by the number of groups: a chain longer than that would be a loop.
    int at = tag.group;
    for (size_t steps = 0; at >= 0 && steps <= parentGroups.size(); ++steps) {
        if (at == g) return true;
        at = static_cast<size_t>(at) < parentGroups.size() ? parentGroups[static_cast<size_t>(at)] : -1;
    }
    return false;
}

}  // namespace rep
}  // namespace kiv
