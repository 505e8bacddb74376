#include "tools/kivreport/CommandOutcome.h"

#include <nlohmann/json.hpp>

namespace kivcli {

using Json = nlohmann::ordered_json;

bool tagOfMessage(const std::string& text, MessageTag* tag) {
    // [REF_]SIT[n]_KIND, KIND a word of capitals or $ and a field key, then ": ".
    size_t i = 0;
    const bool reference = text.compare(0, 4, "REF_") == 0;
    if (reference) i = 4;
    if (text.compare(i, 3, "SIT") != 0) return false;
    i += 3;
    const size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    const std::string number = text.substr(digits, i - digits);
    if (i >= text.size() || text[i] != '_' || number.size() > 9) return false;
    ++i;
    const size_t kind = i;
    if (i < text.size() && text[i] == '$') {
        ++i;
        while (i < text.size() && text[i] != ':' && text[i] != ' ') ++i;
        if (i == kind + 1) return false;
    } else {
        while (i < text.size() && text[i] >= 'A' && text[i] <= 'Z') ++i;
        if (i == kind) return false;
    }
    if (text.compare(i, 2, ": ") != 0) return false;
    tag->tag = text.substr(0, i);
    tag->snapshot = number.empty() ? 0 : std::stoul(number);
    tag->reference = reference;
    return true;
}

std::string outcomeJson(const CommandOutcome& outcome) {
    Json root = Json::object();
    root["command"] = outcome.command;
    root["succeeded"] = outcome.succeeded;
    root["exitStatus"] = outcome.exitStatus;
    root["files"] = outcome.files;
    if (outcome.command == "generate") {
        Json leftOut = Json::array();
        for (const LeftOutSnapshot& s : outcome.leftOut) {
            Json item = {{"name", s.name}};
            if (s.snapshot) item["snapshot"] = s.snapshot;
            leftOut.push_back(std::move(item));
        }
        root["leftOut"] = std::move(leftOut);
    }
    Json messages = Json::array();
    for (const Message& m : outcome.messages) {
        Json item = {{"level", m.level == Message::Error ? "error" : "warning"}, {"source", m.source}, {"text", m.text}};
        if (!m.code.empty()) item["code"] = m.code;
        MessageTag tag;
        if (tagOfMessage(m.text, &tag)) {
            item["tag"] = tag.tag;
            if (tag.snapshot) item["snapshot"] = tag.snapshot;
            if (tag.reference) item["reference"] = true;
        }
        messages.push_back(std::move(item));
    }
    root["messages"] = std::move(messages);
    if (outcome.hasText) root["text"] = outcome.text;
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace kivcli
