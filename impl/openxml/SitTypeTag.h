#pragma once

namespace kiv {
namespace rep {
// Kinds of the tags of Office templates, shared by the PowerPoint and Word
// editors. The reference ("REF_") variant of a kind is the next code; -1 is a
// name that is no usable tag (or a group marker).
enum SitTypeTag {
    SIT_TYPE_NONE = -1,
    SIT_TYPE_PICTURE = 1,
    SIT_TYPE_REF_PICTURE = 2,
    SIT_TYPE_TITLE = 3,
    SIT_TYPE_REF_TITLE = 4,
    SIT_TYPE_TEXT = 5,
    SIT_TYPE_REF_TEXT = 6,
    SIT_TYPE_MDLX = 7,
    SIT_TYPE_REF_MDLX = 8,
    SIT_TYPE_MACRO = 9,
    SIT_TYPE_REF_MACRO = 10,
    SIT_TYPE_TABLE = 11,
    SIT_TYPE_REF_TABLE = 12,
    SIT_TYPE_CHART = 15,
    SIT_TYPE_REF_CHART = 16
};

}  // namespace rep
}  // namespace kiv
