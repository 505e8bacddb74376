#pragma once
// Files that are written completely beside their targets and moved over them
// together, only when the whole operation succeeded: until commit() the targets
// stay as they were, and what was staged and not committed is removed when the
// StagedFiles goes away, also when an exception passes. The library's reports
// and repository files and the tool's outputs are all written this way.
#include <cstddef>
#include <string>
#include <vector>

namespace lfw {

class StagedFiles {
public:
    // Failures are logged as errors of that logger when one is named; error()
    // always says what the last failure was.
    explicit StagedFiles(const char* loggerName = nullptr) : m_logger(loggerName) {}
    ~StagedFiles();
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    // Creates a new empty file beside target, with a name no other file has and
    // that starts with ".<target's name>.Varnox_Report_Tmp", and returns its path;
    // empty when the folder does not let us create one or when target is one of
    // the protected files. The first file staged in a folder also removes the
    // stale temporaries there (see isStaleTemporary).
    std::string stage(const std::string& target);
    // Stages target with these bytes as its content.
    bool write(const std::string& target, const void* data, size_t size);
    // Files that no target may be: the inputs of the operation. A target that
    // names one of them (by any path or link) is refused.
    void protect(const std::vector<std::string>& inputs) { m_protected = inputs; }
    // Moves every staged file over its target, in the order staged, keeping the
    // permissions of a target that exists. A target that is a symbolic link is
    // replaced by the file, never written through. On failure removes the files
    // not yet moved and returns false.
    bool commit();
    // Removes the staged files now (commit() afterwards does nothing).
    void discard();
    bool empty() const { return m_files.empty(); }
    // The targets staged and not yet moved, in the order staged.
    std::vector<std::string> targets() const;
    // What the last failure was, as logged, the target it concerned and the
    // system's error number behind it (0 when none).
    const std::string& error() const { return m_error; }
    const std::string& failedTarget() const { return m_failedTarget; }
    int errorNumber() const { return m_errno; }

    // A temporary of ours in the folder (given with its trailing "/", or empty for
    // the current one) that nothing writes any more: named as stage() names them,
    // a regular file, its process gone and unchanged for a day.
    static bool isStaleTemporary(const std::string& folder, const std::string& name);

private:
    bool fail(const std::string& target, const std::string& message, int errorNumber);
    struct Entry {
        std::string temp;
        std::string target;
    };
    const char* m_logger;
    std::vector<Entry> m_files;
    std::vector<std::string> m_protected;
    std::string m_error;
    std::string m_failedTarget;
    int m_errno = 0;
};

}  // namespace lfw
