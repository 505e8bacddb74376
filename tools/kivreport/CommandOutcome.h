#pragma once
// What generate, validate and summarize did, as --json prints it: one JSON
// document with whether the command did its work, its exit status, the files it
// wrote, every message with its level and origin, and the validation report or
// the summary.
//
//   {"command": "generate", "succeeded": true, "exitStatus": 1,
//    "files": ["report.html", "report_SIT1-1.jpg"],
//    "leftOut": [{"name": "plate-stress", "snapshot": 1}],
//    "messages": [{"level": "error", "source": "library",
//                  "text": "SIT4_CHART: a stock chart cannot be filled from a table",
//                  "tag": "SIT4_CHART", "snapshot": 4}]}
//
// A message carries "tag" (and "snapshot", and "reference": true for a REF_ tag)
// only when its text begins with a tag name and a colon, the form the library
// gives every message about one tag; other messages have the level, source and
// text alone. validate and summarize add "text".
#include <cstddef>
#include <string>
#include <vector>

namespace kivcli {

struct Message {
    enum Level { Error, Warning };
    Level level = Error;
    std::string source;  // "library" or "kivreport"
    std::string text;
    std::string code;  // the library's kind of problem ("not-an-archive"); empty for the tool's own
};

// The template tag a message is about: "SIT4_CHART: ..." names SIT4_CHART,
// snapshot 4. snapshot is 0 for a generic tag (SIT_TITLE).
struct MessageTag {
    std::string tag;
    size_t snapshot = 0;
    bool reference = false;
};
// False when the text does not begin with "<tag>: ".
bool tagOfMessage(const std::string& text, MessageTag* tag);

struct LeftOutSnapshot {
    std::string name;
    size_t snapshot = 0;  // its number in the repository; 0 when no snapshot has that name
};

struct CommandOutcome {
    std::string command;
    bool succeeded = false;
    int exitStatus = 2;
    std::vector<std::string> files;
    std::vector<LeftOutSnapshot> leftOut;
    std::vector<Message> messages;
    bool hasText = false;  // validate and summarize
    std::string text;
};

// The document, ending in a line feed.
std::string outcomeJson(const CommandOutcome& outcome);

}  // namespace kivcli
