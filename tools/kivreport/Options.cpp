#include "tools/kivreport/Options.h"

#include <cctype>
#include <climits>

namespace kivcli {

int ParsedOptions::count(const std::string& name) const {
    auto it = counts.find(name);
    return it == counts.end() ? 0 : it->second;
}

std::string ParsedOptions::value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
}

ParsedOptions parseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& optionList,
                           const std::string& command) {
    ParsedOptions parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::string inlineValue;
        bool hasInlineValue = false;
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
            hasInlineValue = true;
        }
        const OptionSpec* option = nullptr;
        for (const OptionSpec& s : optionList)
            if (s.name == name || (!s.alias.empty() && s.alias == name)) option = &s;
        if (!option) throw UsageError(command + ": unknown option '" + name + "' (see --help)");
        if (!option->takesValue) {
            if (hasInlineValue) throw UsageError(command + ": option " + name + " takes no value");
            ++parsed.counts[option->name];
            continue;
        }
        if (parsed.has(option->name)) throw UsageError(command + ": option " + option->name + " is given twice");
        std::string value;
        if (hasInlineValue) {
            value = inlineValue;
        } else {
            if (i + 1 >= args.size()) throw UsageError(command + ": option " + name + " needs a value");
            value = args[++i];
        }
        if (value.empty()) throw UsageError(command + ": option " + name + " needs a value");
        ++parsed.counts[option->name];
        parsed.values[option->name] = value;
    }
    return parsed;
}

namespace {

unsigned long parseNumber(const std::string& text, const std::string& whole) {
    if (text.empty() || text.size() > 9)
        throw UsageError("--snapshots: '" + whole + "' is not a list of snapshot numbers such as 1,3,5 or 2-4");
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            throw UsageError("--snapshots: '" + whole + "' is not a list of snapshot numbers such as 1,3,5 or 2-4");
    return std::stoul(text);
}

}  // namespace

std::vector<unsigned int> parseSnapshotNumbers(const std::string& text, size_t snapshotCount) {
    std::vector<unsigned int> indices;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const size_t dash = item.find('-');
        const unsigned long first = parseNumber(item.substr(0, dash), text);
        const unsigned long last = dash == std::string::npos ? first : parseNumber(item.substr(dash + 1), text);
        if (first == 0 || last == 0) throw UsageError("--snapshots: snapshot numbers start at 1");
        if (last < first) throw UsageError("--snapshots: range '" + item + "' runs backwards");
        if (last > snapshotCount)
            throw UsageError("--snapshots: Snapshot " + std::to_string(last) + " (index " + std::to_string(last - 1) +
                             ") does not exist: the repository holds " + std::to_string(snapshotCount) + " snapshots");
        for (unsigned long n = first; n <= last; ++n) indices.push_back(static_cast<unsigned int>(n - 1));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return indices;
}

}  // namespace kivcli
