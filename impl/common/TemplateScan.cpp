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

std::vector<std::vector<size_t>> TemplateScan::groupMembers() const {
    std::vector<std::vector<size_t>> members(static_cast<size_t>(groups > 0 ? groups : 0));
    for (size_t t = 0; t < tags.size(); ++t) {
        // Up the chain of enclosing groups; bounded by their number, as a chain
        // longer than that would be a loop.
        int at = tags[t].group;
        for (size_t steps = 0; at >= 0 && steps <= parentGroups.size(); ++steps) {
            if (static_cast<size_t>(at) < members.size()) members[static_cast<size_t>(at)].push_back(t);
            at = static_cast<size_t>(at) < parentGroups.size() ? parentGroups[static_cast<size_t>(at)] : -1;
        }
    }
    return members;
}

}  // namespace rep
}  // namespace kiv
