#pragma once
// Command-line parsing of kivreport: long options with or without a value
// ("--out FILE" or "--out=FILE"), short flags, positionals, "--" ending options.
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace kivcli {

// Bad command line: reported on one line with exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be read or written, or holds bad input: exit code 2.
class InputError : public std::runtime_error {
public:
    InputError(const std::string& file, const std::string& problem) : std::runtime_error(file + ": " + problem) {}
    explicit InputError(const std::string& message) : std::runtime_error(message) {}
};

// The work found problems in its inputs and wrote nothing (exit status 1).
class ProblemsFound : public InputError {
public:
    using InputError::InputError;
};

struct OptionSpec {
    std::string name;  // "--out", "-v"
    bool takesValue = false;
    std::string alias;  // another spelling, "--verbose" for "-v"
};

class ParsedOptions {
public:
    std::vector<std::string> positionals;

    bool has(const std::string& name) const { return count(name) > 0; }
    int count(const std::string& name) const;
    // The option's value; empty when it was not given.
    std::string value(const std::string& name) const;

    std::map<std::string, int> counts;
    std::map<std::string, std::string> values;
};

// Throws UsageError naming `command` for an unknown option, a missing value, or
// an option with a value given twice. Flags may repeat (-v -v).
ParsedOptions parseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& optionList,
                           const std::string& command);

// "1,3,5" or "2-4,7": 1-based snapshot numbers as in template tags, each at most
// snapshotCount, turned into 0-based indices in the order given. Throws UsageError.
std::vector<unsigned int> parseSnapshotNumbers(const std::string& text, size_t snapshotCount);

}  // namespace kivcli
