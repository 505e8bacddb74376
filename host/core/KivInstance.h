#pragma once
// The toolkit instance an application creates and hands to each component.
#include "host/core/KivVersion.h"

namespace kiv {

class InitializationOptions {
public:
    // What a component does on a failed assertion, by the toolkit's numbering:
    // 0 continue, 1 throw an exception, 2 report on the console and abort,
    // 3 the same as 2 (the report component maps these onto lfw's actions).
    int failedAssertAction() const { return m_failedAssertAction; }
    void setFailedAssertAction(int action) { m_failedAssertAction = action; }

private:
    int m_failedAssertAction = 0;
};

class Instance {
public:
    static constexpr unsigned int VERSION = KIV_VERSION_NUMBER;

    explicit Instance(const InitializationOptions& options = InitializationOptions(), unsigned int version = VERSION)
        : m_options(options), m_version(version) {}
    unsigned int version() const { return m_version; }
    const InitializationOptions& initializationOptions() const { return m_options; }

private:
    InitializationOptions m_options;
    unsigned int m_version;
};

}  // namespace kiv
