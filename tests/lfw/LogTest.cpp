#include "LibCore/lfwLog.h"
#include "support/TestSupport.h"
#include <gtest/gtest.h>

namespace {

using kivtest::RecordingDestination;
using lfw::CodeLocation;
using lfw::LogDestinationConsole;
using lfw::LogEvent;
using lfw::Logger;
using lfw::LogManager;
using lfw::Ref;
using lfw::String;

TEST(LogManagerTree, LoggersTakeLevelAndDestinationFromTheirParentAtCreation) {
    Ref<LogManager> m = new LogManager;
    Ref<RecordingDestination> rec = new RecordingDestination;
    Logger* early = m->logger("kiv.early");
    ASSERT_NE(m->find("kiv"), nullptr);  // parents are made on the way
    EXPECT_EQ(m->logger("kiv.early"), early);
    EXPECT_EQ(m->find("kiv.other"), nullptr);  // find never creates
    EXPECT_EQ(m->find("kiv.other"), nullptr);
    m->setLevelRecursive("kiv", Logger::LL_DEBUG);
    m->setDestinationRecursive("kiv", rec.p());
    EXPECT_EQ(early->level(), Logger::LL_DEBUG);  // reached by the setter

    Logger* late = m->logger("kiv.late.child");
    EXPECT_EQ(late->level(), Logger::LL_DEBUG);
    EXPECT_EQ(late->destination(), rec.p());

    // A later change to the parent alone does not reach existing children.
    m->logger("kiv")->setLevel(Logger::LL_ERROR);
    EXPECT_EQ(late->level(), Logger::LL_DEBUG);
    EXPECT_EQ(m->logger("kiv.newer")->level(), Logger::LL_ERROR);
    EXPECT_EQ(m->rootLogger()->level(), Logger::LL_WARNING);
}

TEST(LogManagerTree, RecursiveSettersRespectNameBoundaries) {
    Ref<LogManager> m = new LogManager;
    Logger* comp = m->logger("kiv.comp");
    Logger* report = m->logger("kiv.comp.Report");
    Logger* compX = m->logger("kiv.compX");
    Logger* kiv = m->logger("kiv");

    m->setLevelRecursive("kiv.comp", 0);
    EXPECT_EQ(comp->level(), 0);
    EXPECT_EQ(report->level(), 0);
    EXPECT_EQ(compX->level(), Logger::LL_WARNING);
    EXPECT_EQ(kiv->level(), Logger::LL_WARNING);

    Ref<RecordingDestination> rec = new RecordingDestination;
    m->setDestinationRecursive("kiv.comp", rec.p());
    EXPECT_EQ(report->destination(), rec.p());
    EXPECT_NE(compX->destination(), rec.p());

    m->setLevelRecursive("", Logger::LL_INFO);
    for (Logger* l : {m->rootLogger(), kiv, comp, report, compX}) EXPECT_EQ(l->level(), Logger::LL_INFO);

    // Setting a logger not yet used creates it with that level, its parent untouched.
    Ref<LogManager> fresh = new LogManager;
    fresh->setLevelRecursive("kiv.comp.Report", 0);
    EXPECT_EQ(fresh->logger("kiv.comp.Report")->level(), 0);
    EXPECT_EQ(fresh->logger("kiv.comp")->level(), Logger::LL_WARNING);
}

TEST(LoggerFiltering, LevelGatesEventsAndInfoForcedBypassesIt) {
    Ref<RecordingDestination> rec = new RecordingDestination;
    Ref<Logger> logger = new Logger("kiv.x", Logger::LL_WARNING, rec.p());
    logger->error("e", CodeLocation("dir/file.cpp", "void f(int)", "f", 12));
    logger->warning("w");
    logger->info("i");
    logger->debug("d", CodeLocation());
    logger->log("l", Logger::LL_INFO, CodeLocation());
    logger->infoForced("forced");
    ASSERT_EQ(rec->messages(), (std::vector<std::string>{"e", "w", "forced"}));
    EXPECT_EQ(rec->events[0].source, "kiv.x");
    EXPECT_EQ(rec->events[0].function, "void f(int)");
    EXPECT_EQ(rec->events[0].line, 12);
    EXPECT_EQ(rec->events[2].level, Logger::LL_INFO);

    rec->clear();
    logger->setLevel(0);
    lfw::LogCapture outer;
    {
        lfw::LogCapture inner;  // errors and warnings of this thread, whatever the level lets through
        logger->error("silenced");
        logger->info("i");
        ASSERT_EQ(inner.messages().size(), 1u);
        EXPECT_EQ(inner.messages()[0].text, "silenced");
    }
    EXPECT_EQ(outer.messages().size(), 1u);  // handed on when the inner capture ends
    EXPECT_TRUE(rec->events.empty());

    logger->setLevel(Logger::LL_DEBUG);
    logger->setDestination(nullptr);
    logger->error("nowhere");  // no destination: dropped, no crash
    logger->infoForced("nowhere");
    EXPECT_TRUE(rec->events.empty());
}

String format(const char* message, int level, const CodeLocation& loc = CodeLocation()) {
    return LogDestinationConsole::formatEvent(LogEvent("kiv", message, level, loc));
}

TEST(ConsoleFormat, EveryLevelWithAndWithoutLocation) {
    const CodeLocation loc("impl/Utils.cpp", "void g()", "g", 7);
    const struct {
        String got;
        const char* want;
    } rows[] = {
        {format("Failed", Logger::LL_ERROR), "ERROR: Failed"},
        {format("Failed", Logger::LL_ERROR, CodeLocation("impl/Utils.cpp", "bool Utils::f(int)", "f", 42)),
         "ERROR: Failed\n        -func: bool Utils::f(int)\n        -file: Utils.cpp(42)"},
        // Only the line known: the file line is still written, with an empty name.
        {format("Failed", Logger::LL_ERROR, CodeLocation(nullptr, nullptr, nullptr, 0)), "ERROR: Failed\n        -file: (0)"},
        {format("Failed", Logger::LL_ERROR, CodeLocation("dir/", nullptr, nullptr, 1)), "ERROR: Failed\n        -file: (1)"},
        // Markers in the message are not filled with location texts.
        {format("Value %1 %2", Logger::LL_ERROR, CodeLocation("a.cpp", "", nullptr, 3)),
         "ERROR: Value %1 %2\n        -file: a.cpp(3)"},
        {format("m", Logger::LL_WARNING, loc), "warn:  m"},
        {format("m", Logger::LL_INFO, loc), "info:  m"},
        {format("m", Logger::LL_DEBUG, loc), "debug: m"},
        // One '?' per character, whatever its UTF-8 length; invalid bytes too.
        {format("Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC\xF0\x9F\x98\x80!\xFF", Logger::LL_WARNING),
         "warn:  Gr????"
         "!?"},
    };
    for (const auto& r : rows) EXPECT_EQ(r.got, String(r.want)) << "row " << (&r - rows);
}

TEST(ConsoleFormat, LogWritesOneLineToStandardError) {
    Ref<LogDestinationConsole> console = new LogDestinationConsole;
    testing::internal::CaptureStderr();
    console->log(LogEvent("kiv", "hello \xC3\xBC", Logger::LL_INFO, CodeLocation()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "info:  hello ?\n");
}

TEST(LogManagerInstance, MacroLogsThroughTheProcessWideManager) {
    Ref<LogManager> previous = LogManager::instance();
    Ref<LogManager> mine = new LogManager;
    Ref<RecordingDestination> rec = new RecordingDestination;
    mine->setDestinationRecursive("", rec.p());
    LogManager::setInstance(mine.p());
    LogManager::setInstance(mine.p());  // the same again is harmless
    EXPECT_EQ(mine->refCount(), 2);     // ours and the process-wide one
    LFW_LOG_ERROR("kiv.comp.Report", String("Error opening file (%1)").arg("a.xml"));
    LFW_LOG_INFO("kiv.comp.Report", String("not at warning level"));
    LogManager::shutdownInstance();
    EXPECT_EQ(mine->refCount(), 1);
    EXPECT_NE(LogManager::instance(), mine.p());  // a new one on demand
    LogManager::setInstance(previous.p());

    ASSERT_EQ(rec->events.size(), 1u);
    const kivtest::RecordedEvent& e = rec->events[0];
    EXPECT_EQ(e.source, "kiv.comp.Report");
    EXPECT_EQ(e.message, "Error opening file (a.xml)");
    EXPECT_EQ(e.level, Logger::LL_ERROR);
    EXPECT_NE(e.function.find("TestBody"), std::string::npos);
    EXPECT_EQ(CodeLocation(e.file.c_str(), nullptr, nullptr, 0).shortFileName(), std::string("LogTest.cpp"));
    EXPECT_GT(e.line, 0);
}

}  // namespace
