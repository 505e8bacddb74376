// Component start-up: assertion action, version check, log manager.
#include "KivReport/ReportComponent.h"
#include "impl/common/ReportComponent_p.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwLogManager.h"
#include "host/core/KivCoreComponent.h"
#include "host/core/KivInstance.h"
#include "support/TestSupport.h"
#include <stdexcept>

using kiv::rep::ReportComponent;
using kiv::rep::ReportComponentPrivate;

namespace {

// An action above 3 continues like 0 but can be told apart from an installed 0.
const int CONTINUE_MARKER = 5;

kiv::Instance instanceWithAction(int action, unsigned int version = kiv::Instance::VERSION) {
    kiv::InitializationOptions options;
    options.setFailedAssertAction(action);
    return kiv::Instance(options, version);
}

// The fixture leaves the component uninitialized and the toolkit's log manager
// recording, so that messages after start-up are seen too.
class ReportComponentTest : public kivtest::LoggingTest {
protected:
    const kivtest::RecordedEvent* findEvent(const std::string& message) const {
        for (const auto& e : recorder->events)
            if (e.message == message) return &e;
        return nullptr;
    }
};

}  // namespace

TEST_F(ReportComponentTest, OptionsSelectTheAssertionAction) {
    // Options 0..3 map to 0, 3, 1, 2 (the foundation stores 2 as 1); any other
    // option is a failed assertion, and start-up continues.
    const struct {
        int option, action;
        bool asserts;
    } rows[] = {{0, lfw::Assert::CONTINUE, false},
                {1, lfw::Assert::THROW, false},
                {2, lfw::Assert::INTERACTIVE_DIALOG, false},
                {3, lfw::Assert::INTERACTIVE_DIALOG, false},
                {4, lfw::Assert::CONTINUE, true},
                {-1, lfw::Assert::CONTINUE, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.option);
        ReportComponentPrivate::resetInitializedForTesting();
        recorder->clear();
        lfw::Assert::setFailedAssertAction(CONTINUE_MARKER);
        kiv::Instance instance = instanceWithAction(r.option);
        EXPECT_TRUE(ReportComponent::initialize(&instance));
        EXPECT_TRUE(ReportComponent::isInitialized());
        EXPECT_EQ(lfw::Assert::failedAssertAction(), r.action);
        const kivtest::RecordedEvent* e = findEvent("ASSERT:  'Unhandled initialization options failed assert action'");
        ASSERT_EQ(e != nullptr, r.asserts);
        EXPECT_EQ(recorder->events.size(), r.asserts ? 1u : 0u);
        if (e) {
            EXPECT_EQ(e->source, "kiv.lfw");
            EXPECT_EQ(e->file, "../KivCore/InitializationOptions_p");
            EXPECT_EQ(e->line, 54);
        }
    }
    EXPECT_EQ(ReportComponentPrivate::assertActionFromOptions(3), 2);
    EXPECT_EQ(ReportComponent::version(), 199424u);
    EXPECT_EQ(ReportComponent::versionString(), kiv::Str("3.11.0"));
}

TEST_F(ReportComponentTest, NullInstanceFailsAndVersionMismatchIsReported) {
    lfw::Assert::setFailedAssertAction(CONTINUE_MARKER);
    EXPECT_FALSE(ReportComponent::initialize(nullptr));
    EXPECT_FALSE(ReportComponent::isInitialized());
    EXPECT_TRUE(recorder->contains("ASSERT:  (instance)"));

    lfw::Assert::setFailedAssertAction(lfw::Assert::THROW);
    EXPECT_THROW(ReportComponent::initialize(nullptr), std::logic_error);

    lfw::Assert::setFailedAssertAction(CONTINUE_MARKER);
    kiv::Instance old = instanceWithAction(0, 0x30a00);
    EXPECT_TRUE(ReportComponent::initialize(&old));
    EXPECT_TRUE(recorder->contains("ASSERT:  (instance->version() == version()) 'Component version mismatch'"));
    EXPECT_TRUE(ReportComponent::isInitialized());
}

TEST_F(ReportComponentTest, InstallsTheToolkitLogManagerOnceAndAssertsWithoutOne) {
    lfw::LogManager* recording = lfw::LogManager::instance();
    kiv::CoreComponent::logManager()->internal_setLfwLogManager(nullptr);
    kiv::Instance bare = instanceWithAction(0);
    EXPECT_TRUE(ReportComponent::initialize(&bare));
    EXPECT_TRUE(recorder->contains("ASSERT:  (lfwLogManagerInst.notNull())"));
    EXPECT_EQ(lfw::LogManager::instance(), recording);

    ReportComponentPrivate::resetInitializedForTesting();
    lfw::Ref<lfw::LogManager> toolkitManager = new lfw::LogManager;
    lfw::Ref<kivtest::RecordingDestination> toolkitLog = new kivtest::RecordingDestination;
    toolkitManager->setDestinationRecursive("", toolkitLog.p());
    kiv::CoreComponent::logManager()->internal_setLfwLogManager(toolkitManager.p());
    kiv::Instance instance = instanceWithAction(1);
    ASSERT_TRUE(ReportComponent::initialize(&instance));
    EXPECT_EQ(lfw::LogManager::instance(), toolkitManager.p());
    LFW_LOG_ERROR("kiv.comp.Report", lfw::String("after start-up"));
    EXPECT_TRUE(toolkitLog->contains("after start-up"));

    // A second call changes neither the action nor the manager.
    lfw::Ref<lfw::LogManager> other = new lfw::LogManager;
    lfw::LogManager::setInstance(other.p());
    lfw::Assert::setFailedAssertAction(CONTINUE_MARKER);
    kiv::Instance second = instanceWithAction(0);
    EXPECT_TRUE(ReportComponent::initialize(&second));
    EXPECT_EQ(lfw::Assert::failedAssertAction(), CONTINUE_MARKER);
    EXPECT_EQ(lfw::LogManager::instance(), other.p());
}
