#include "impl/common/TemplateTags.h"
#include "LibCore/lfwAssert.h"
#include "impl/common/FieldMacros.h"
#include "LibCore/lfwString.h"
#include <algorithm>
#include <climits>
#include <string>

namespace kiv {
namespace rep {

namespace {

const size_t npos = std::string_view::npos;

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

bool TemplateTags::isTagGeneric(std::string_view tag) { return startsWith(tag, "SIT_") || startsWith(tag, "REF_SIT_"); }

int TemplateTags::getTagIndex(std::string_view s) {
    size_t start;
    if (startsWith(s, "REF_SIT")) start = 7;
    else if (startsWith(s, "SIT")) start = 3;
    else return -1;
    const size_t end = s.find('_', start);
    if (end == npos || end == start) return -1;
    long long number = 0;
    for (size_t i = start; i < end; ++i) {
        if (s[i] < '0' || s[i] > '9') return -1;
        number = number * 10 + (s[i] - '0');
        if (number > INT_MAX) return -1;
    }
    return static_cast<int>(number);
}

TemplateTags::FieldMacroCheck TemplateTags::checkFieldMacro(std::string_view s, const lfw::Collection<const Snapshot>& snapshots,
                                                            bool reference) {
    FieldMacroCheck check;
    const bool isReference = startsWith(s, "REF_");
    const size_t sit = isReference ? 4 : 0;
    check.generic = s.compare(sit, 4, "SIT_") == 0;
    check.number = check.generic ? 0 : getTagIndex(s);
    const size_t underscore = s.find('_', sit);
    std::string key = underscore == npos ? std::string() : std::string(s.substr(underscore + 1));
    key.erase(std::remove(key.begin(), key.end(), '$'), key.end());
    check.key = std::move(key);
    if (isReference != reference) {
        check.verdict = FieldMacroCheck::OTHER_SIDE;
        return check;
    }
    if (!check.generic && check.number < 0) {
        check.verdict = FieldMacroCheck::BAD_SYNTAX;
        return check;
    }
    auto has = [&](const Snapshot* snapshot) {
        return snapshot && FieldMacros::getFieldValue(snapshot->fieldValues(), check.key, nullptr);
    };
    if (!check.generic) {
        if (check.number < 1 || static_cast<size_t>(check.number) > snapshots.size())
            check.verdict = FieldMacroCheck::NO_SNAPSHOT;
        else
            check.verdict =
                has(snapshots[static_cast<size_t>(check.number - 1)]) ? FieldMacroCheck::FOUND : FieldMacroCheck::UNKNOWN_FIELD;
        return check;
    }
    size_t found = 0;
    for (size_t i = 0; i < snapshots.size(); ++i) found += has(snapshots[i]);
    check.verdict = found == 0                  ? FieldMacroCheck::MISSING_EVERYWHERE
                    : found == snapshots.size() ? FieldMacroCheck::FOUND
                                                : FieldMacroCheck::MISSING_SOMEWHERE;
    return check;
}

}  // namespace rep
}  // namespace kiv
