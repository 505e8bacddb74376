#include "KivReport/ReportComponent.h"
#include "impl/common/ReportComponent_p.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwLogManager.h"
#include "host/core/KivCoreComponent.h"
#include "host/core/KivInstance.h"
#include "host/core/KivVersion.h"
#include <string>

namespace kiv {
namespace rep {

namespace {
// Set once at start-up and read without locking, like the assertion action.
bool g_initialized = false;
}  // namespace

int ReportComponentPrivate::assertActionFromOptions(int optionsAction) {
    // The toolkit numbers the actions differently from lfw (2 is stored as 1 there).
    switch (optionsAction) {
    case 0: return lfw::Assert::CONTINUE;
    case 1: return lfw::Assert::THROW;
    case 2: return lfw::Assert::INTERACTIVE_DIALOG;
    case 3: return 2;
    default: return -1;
    }
}

void ReportComponentPrivate::resetInitializedForTesting() { g_initialized = false; }

bool ReportComponent::initialize(Instance* instance) {
    LFW_ASSERT(instance);
    if (!instance) return false;
    LFW_ASSERT_MSG(instance->version() == version(), "Component version mismatch");

    if (g_initialized) return true;

    int action = ReportComponentPrivate::assertActionFromOptions(instance->initializationOptions().failedAssertAction());
    if (action < 0) {
        // Reported where the toolkit core keeps its options.
        lfw::Assert::handleFailedAssert("../KivCore/InitializationOptions_p", 54, nullptr,
                                        "Unhandled initialization options failed assert action");
        action = lfw::Assert::CONTINUE;
    }
    lfw::Assert::setFailedAssertAction(action);

    // From here on the component's loggers write to the application's destinations.
    LogManager* coreLogManager = CoreComponent::logManager();
    lfw::Ref<lfw::LogManager> lfwLogManagerInst = coreLogManager ? coreLogManager->internal_lfwLogManager() : nullptr;
    LFW_ASSERT(lfwLogManagerInst.notNull());
    if (lfwLogManagerInst.notNull()) lfw::LogManager::setInstance(lfwLogManagerInst.p());

    g_initialized = true;
    return true;
}

bool ReportComponent::isInitialized() { return g_initialized; }

unsigned int ReportComponent::version() { return KIV_VERSION_NUMBER; }

Str ReportComponent::versionString() { return Str(KIV_VERSION_STRING); }

}  // namespace rep
}  // namespace kiv
