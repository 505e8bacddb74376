#include "LibCore/lfwAssert.h"
#include "LibCore/lfwLog.h"
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace lfw {

namespace {
// Set at start-up and read without locking, like the rest of the start-up state.
int g_action = Assert::INTERACTIVE_DIALOG;

AssertHandler*& handlerSlot() {
    static AssertHandler* handler = new AssertHandlerConsole;
    return handler;
}

bool present(const char* text) { return text && *text; }
}  // namespace

void AssertHandlerConsole::handleAssert(const char* fileName, int line, const char* expr, const char* msg) {
    std::string text = "Assertion failed:";
    if (present(expr)) text += std::string(" (") + expr + ")";
    if (present(msg)) text += std::string(" '") + msg + "'";
    if (present(expr) || present(msg)) text += ",";
    text += std::string(" file ") + (fileName ? fileName : "") + ", line " + std::to_string(line) + "\n";
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    std::abort();
}

void Assert::setFailedAssertAction(int action) {
    if (action == 2) action = INTERACTIVE_DIALOG;
    if (action == g_action) return;
    AssertHandler*& handler = handlerSlot();
    delete handler;
    handler = (action == INTERACTIVE_DIALOG) ? new AssertHandlerConsole : nullptr;
    g_action = action;
}

int Assert::failedAssertAction() { return g_action; }

int Assert::handleFailedAssert(const char* fileName, int line, const char* expr, const char* msg) {
    Logger* logger = LogManager::instance()->logger("kiv.lfw");
    if (logger->isErrorEnabled()) {
        std::string text = "ASSERT: ";
        if (present(expr)) text += std::string(" (") + expr + ")";
        if (present(msg)) text += std::string(" '") + msg + "'";
        logger->error(String(std::move(text)), CodeLocation(fileName, nullptr, nullptr, line));
    }

    switch (g_action) {
    case INTERACTIVE_DIALOG: {
        AssertHandler* handler = handlerSlot();
        if (handler) handler->handleAssert(fileName, line, expr, msg);
        std::abort();
    }
    case THROW: {
        std::string text = present(msg) ? msg : "";
        if (present(expr)) text += std::string("\n\nAssertion: ") + expr;
        text += std::string("\n\nFile: ") + (fileName ? fileName : "") + "\nLine: ";
        if (line >= 0) text += std::to_string(line);
        throw std::logic_error(text);
    }
    default: return 0;
    }
}

}  // namespace lfw
