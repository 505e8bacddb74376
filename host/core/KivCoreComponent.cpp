#include "host/core/KivCoreComponent.h"

namespace kiv {

// The toolkit keeps its own foundation log manager; a component makes it the
// process-wide one when it starts.
LogManager::LogManager() : m_lfw(new lfw::LogManager) {}

LogManager::~LogManager() = default;

LogManager* CoreComponent::logManager() {
    // Never destroyed: components may still log while the process exits.
    static LogManager* manager = new LogManager;
    return manager;
}

}  // namespace kiv
