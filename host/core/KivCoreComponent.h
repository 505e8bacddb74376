#pragma once
// The toolkit core's log manager, which wraps a foundation log manager.
#include "LibCore/lfwLogManager.h"
#include "LibCore/lfwRef.h"

namespace kiv {

class LogManager {
public:
    LogManager();
    ~LogManager();
    lfw::LogManager* internal_lfwLogManager() const { return m_lfw.p(); }
    void internal_setLfwLogManager(lfw::LogManager* manager) { m_lfw = manager; }

private:
    lfw::Ref<lfw::LogManager> m_lfw;
};

class CoreComponent {
public:
    static LogManager* logManager();  // the process-wide toolkit log manager
};

}  // namespace kiv
