#pragma once
// Files that are written completely beside their targets and moved over them
// together, only when the whole operation succeeded. Until commit() the targets
// stay as they were; whatever was staged and not committed is removed when the
// StagedOutput goes away, also when an exception passes.
#include <string>
#include <vector>

namespace kiv {
namespace rep {

class StagedOutput {
public:
    StagedOutput() = default;
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Creates a new empty file beside target, with a name no other file has and
    // that starts with ".<target's name>.Varnox_Report_Tmp", and returns its path;
    // empty (with a logged error) when the folder does not let us create one.
    // Also empty (logged) when target is one of the protected files.
    std::string stage(const std::string& target);
    // Files that no target may be: the inputs of the operation. A target that
    // names one of them (by any path or link) is refused.
    void protect(const std::vector<std::string>& inputs) { m_protected = inputs; }
    // Moves every staged file over its target, in the order staged, keeping the
    // permissions of a target that exists. A target that is a symbolic link is
    // replaced by the file, never written through. On failure logs the error,
    // removes the files not yet moved and returns false.
    bool commit();
    // Removes the staged files now (commit() afterwards does nothing).
    void discard();
    bool empty() const { return m_files.empty(); }
    // The targets staged and not yet moved, in the order staged.
    std::vector<std::string> targets() const {
        std::vector<std::string> out;
        for (const Entry& entry : m_files) out.push_back(entry.target);
        return out;
    }

private:
    struct Entry {
        std::string temp;
        std::string target;
    };
    std::vector<Entry> m_files;
    std::vector<std::string> m_protected;
};

} // namespace rep
} // namespace kiv
