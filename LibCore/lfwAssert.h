#pragma once
// Failed-assertion handling with a process-wide action.
#include "LibCore/lfwRef.h"

namespace lfw {

class AssertHandler {
public:
    virtual ~AssertHandler() = default;
    // Called for action 1; must not return normally (the caller aborts if it does).
    virtual void handleAssert(const char* fileName, int line, const char* expr, const char* msg) = 0;
};

class AssertHandlerConsole : public AssertHandler {
public:
    void handleAssert(const char* fileName, int line, const char* expr, const char* msg) override;
};

class Assert {
public:
    enum FailedAssertAction {
        CONTINUE = 0,            // log and go on
        INTERACTIVE_DIALOG = 1,  // report on the console and abort
        // 2 is stored as 1
        THROW = 3  // throw std::logic_error
    };

    static void setFailedAssertAction(int action);
    static int failedAssertAction();
    // Logs "ASSERT: ..." on "kiv.lfw", then acts by the current action. Returns 0 to continue.
    static int handleFailedAssert(const char* fileName, int line, const char* expr, const char* msg);
};

}  // namespace lfw

#define LFW_ASSERT(expr) ((expr) ? (void)0 : (void)::lfw::Assert::handleFailedAssert(__FILE__, __LINE__, #expr, nullptr))
#define LFW_ASSERT_MSG(expr, msg) ((expr) ? (void)0 : (void)::lfw::Assert::handleFailedAssert(__FILE__, __LINE__, #expr, msg))
#define LFW_FAIL_MSG(msg) ((void)::lfw::Assert::handleFailedAssert(__FILE__, __LINE__, nullptr, msg))
