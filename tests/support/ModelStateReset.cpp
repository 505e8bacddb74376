// Linked into the test programs of the model layer and above: each test starts
// with the report component not initialized and the toolkit's log manager (which
// start-up makes the process-wide one) being the test's recording one; both are
// put back afterwards.
#include "impl/common/ReportComponent_p.h"
#include "host/core/KivCoreComponent.h"
#include "support/TestSupport.h"

namespace {

lfw::Ref<lfw::LogManager>& toolkitManager() {
    static lfw::Ref<lfw::LogManager> manager;
    return manager;
}

void setUp() {
    kiv::rep::ReportComponentPrivate::resetInitializedForTesting();
    kiv::LogManager* core = kiv::CoreComponent::logManager();
    toolkitManager() = core->internal_lfwLogManager();
    core->internal_setLfwLogManager(lfw::LogManager::instance());
}

void tearDown() {
    kiv::rep::ReportComponentPrivate::resetInitializedForTesting();
    kiv::CoreComponent::logManager()->internal_setLfwLogManager(toolkitManager().p());
    toolkitManager() = nullptr;
}

const bool registered = (kivtest::registerStateReset(&setUp, &tearDown), true);

}  // namespace
