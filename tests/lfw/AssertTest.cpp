#include "LibCore/lfwAssert.h"
#include "support/TestSupport.h"
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using lfw::Assert;

class AssertTest : public kivtest::LoggingTest {};

TEST_F(AssertTest, ContinueLogsOneErrorWithWhatIsKnownAndReturnsZero) {
    Assert::setFailedAssertAction(Assert::CONTINUE);
    EXPECT_EQ(Assert::handleFailedAssert("impl/Utils.cpp", 12, "x > 0", "Bad x"), 0);
    ASSERT_EQ(recorder->events.size(), 1u);
    const kivtest::RecordedEvent e = recorder->events[0];
    EXPECT_EQ(e.source + "|" + e.file + "|" + std::to_string(e.line) + "|" + e.function, "kiv.lfw|impl/Utils.cpp|12|");
    EXPECT_EQ(e.level, lfw::Logger::LL_ERROR);
    // Any action number that is not 2 or 3 continues too.
    for (int action : {0, 4, 17}) {
        Assert::setFailedAssertAction(action);
        EXPECT_EQ(Assert::handleFailedAssert("f.cpp", 1, "instance", nullptr), 0) << action;
    }
    Assert::handleFailedAssert("f.cpp", 1, nullptr, "Component version mismatch");
    Assert::handleFailedAssert(nullptr, -1, nullptr, nullptr);
    EXPECT_EQ(errors(), (std::vector<std::string>{"ASSERT:  (x > 0) 'Bad x'", "ASSERT:  (instance)", "ASSERT:  (instance)",
                                                  "ASSERT:  (instance)", "ASSERT:  'Component version mismatch'", "ASSERT: "}));
    // No log line when the logger is silenced.
    recorder->clear();
    lfw::LogManager::instance()->setLevelRecursive("kiv.lfw", 0);
    EXPECT_EQ(Assert::handleFailedAssert("f.cpp", 1, "x", nullptr), 0);
    EXPECT_TRUE(recorder->events.empty());
}

std::string thrownText(const char* file, int line, const char* expr, const char* msg) {
    try {
        Assert::handleFailedAssert(file, line, expr, msg);
    } catch (const std::logic_error& e) {
        return e.what();
    }
    return "<nothing thrown>";
}

TEST_F(AssertTest, ThrowCarriesMessageExpressionFileAndLine) {
    Assert::setFailedAssertAction(Assert::THROW);
    EXPECT_EQ(thrownText("impl/Utils.cpp", 54, "a == b", "Mismatch"),
              "Mismatch\n\nAssertion: a == b\n\nFile: impl/Utils.cpp\nLine: 54");
    EXPECT_EQ(thrownText("f.cpp", 0, "a", nullptr), "\n\nAssertion: a\n\nFile: f.cpp\nLine: 0");
    EXPECT_EQ(thrownText("f.cpp", -1, nullptr, "Only message"), "Only message\n\nFile: f.cpp\nLine: ");
    EXPECT_EQ(recorder->count(lfw::Logger::LL_ERROR), 3u);  // logged before throwing
}

TEST_F(AssertTest, MacrosPassExpressionTextAndOnlyFireOnFalse) {
    Assert::setFailedAssertAction(Assert::THROW);
    int x = 1;
    EXPECT_NO_THROW(LFW_ASSERT(x == 1));
    EXPECT_THROW(LFW_ASSERT(x == 2), std::logic_error);
    EXPECT_THROW(LFW_FAIL_MSG("always"), std::logic_error);
    Assert::setFailedAssertAction(Assert::CONTINUE);
    LFW_ASSERT_MSG(x == 2, "two");
    ASSERT_EQ(errors().size(), 3u);
    EXPECT_EQ(errors()[0], "ASSERT:  (x == 2)");
    EXPECT_EQ(errors()[1], "ASSERT:  'always'");
    EXPECT_EQ(errors()[2], "ASSERT:  (x == 2) 'two'");
}

using AssertDeathTest = AssertTest;

TEST_F(AssertDeathTest, ConsoleActionPrintsAndAborts) {
    Assert::setFailedAssertAction(Assert::INTERACTIVE_DIALOG);
    EXPECT_DEATH(Assert::handleFailedAssert("impl/Utils.cpp", 9, "p != 0", "Null p"),
                 "Assertion failed: \\(p != 0\\) 'Null p', file impl/Utils.cpp, line 9");
    EXPECT_DEATH(Assert::handleFailedAssert("a.cpp", 3, nullptr, nullptr), "Assertion failed: file a.cpp, line 3");
    // Going through 3 and back to 2 installs a new console handler.
    Assert::setFailedAssertAction(Assert::THROW);
    Assert::setFailedAssertAction(2);
    EXPECT_DEATH(Assert::handleFailedAssert("b.cpp", 4, "e", nullptr), "Assertion failed: \\(e\\), file b.cpp, line 4");
}

}  // namespace
