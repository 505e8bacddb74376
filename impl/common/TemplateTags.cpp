#include "impl/common/TemplateTags.h"
#include "LibCore/lfwAssert.h"
#include "impl/common/FieldMacros.h"
#include "LibCore/lfwString.h"
#include <climits>
#include <string>

namespace kiv {
namespace rep {

namespace {

const size_t npos = std::wstring::npos;

bool startsWith(const std::wstring& s, const wchar_t* prefix) {
    return s.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

}  // namespace

bool TemplateTags::isTagGeneric(const MkString& tag) {
    return startsWith(tag.Std(), L"SIT_") || startsWith(tag.Std(), L"REF_SIT_");
}

int TemplateTags::getTagIndex(const MkString& tag) {
    const std::wstring& s = tag.Std();
    size_t start;
    if (startsWith(s, L"REF_SIT")) start = 7;
    else if (startsWith(s, L"SIT")) start = 3;
    else return -1;
    const size_t end = s.find(L'_', start);
    if (end == npos || end == start) return -1;
    long long number = 0;
    for (size_t i = start; i < end; ++i) {
        if (s[i] < L'0' || s[i] > L'9') return -1;
        number = number * 10 + (s[i] - L'0');
        if (number > INT_MAX) return -1;
    }
    return static_cast<int>(number);
}

TemplateTags::FieldMacroCheck TemplateTags::checkFieldMacro(const MkString& tag, const lfw::Collection<const Snapshot>& snapshots,
                                                            bool reference) {
    FieldMacroCheck check;
    const std::wstring& s = tag.Std();
    const bool isReference = startsWith(s, L"REF_");
    const size_t sit = isReference ? 4 : 0;
    check.generic = s.compare(sit, 4, L"SIT_") == 0;
    check.number = check.generic ? 0 : getTagIndex(tag);
    const size_t underscore = s.find(L'_', sit);
    std::wstring key = underscore == npos ? std::wstring() : s.substr(underscore + 1);
    key.erase(std::remove(key.begin(), key.end(), L'$'), key.end());
    check.key = MkString(key);
    if (isReference != reference) {
        check.verdict = FieldMacroCheck::OTHER_SIDE;
        return check;
    }
    if (!check.generic && check.number < 0) {
        check.verdict = FieldMacroCheck::BAD_SYNTAX;
        return check;
    }
    auto has = [&](const Snapshot* snapshot) {
        MkString value;
        return snapshot && FieldMacros::getFieldValue(snapshot->fieldValues(), check.key, &value);
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

void TemplateTags::getSituationTypeIndices(const lfw::Collection<const Snapshot>& snapshots, const MkIntArray& indices,
                                           MkIntArray* imageIndices, MkIntArray* tableIndices, MkIntArray* modelIndices,
                                           Problems* problems) {
    for (int i = 0; i < indices.GetSize(); ++i) {
        const int index = indices[i];
        if (index < 0 || static_cast<size_t>(index) >= snapshots.size()) {
            if (problems)
                problems->error(ProblemCode::InvalidArgument,
                                lfw::String("Snapshot index %1 out of range").arg(index).toStdString());
            continue;
        }
        const Snapshot* snapshot = snapshots[static_cast<size_t>(index)];
        LFW_ASSERT(snapshot);
        if (!snapshot) continue;
        MkIntArray* target = nullptr;
        switch (snapshot->type()) {
        case Snapshot::IMAGE: target = imageIndices; break;
        case Snapshot::TABLE: target = tableIndices; break;
        case Snapshot::MDLX: target = modelIndices; break;
        default: LFW_FAIL_MSG("Unhandled snapshot type"); continue;
        }
        if (target) target->AddGrow(index);
    }
}

}  // namespace rep
}  // namespace kiv
