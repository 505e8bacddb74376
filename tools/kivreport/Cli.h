#pragma once
// The kivreport command line: `run` takes the arguments after the program name
// and returns the exit code (0 success, 1 the work found problems, 2 usage or
// input/output errors). Output goes to the given streams.
#include <ostream>
#include <string>
#include <vector>

namespace kivcli {

enum ExitCode { EXIT_OK = 0, EXIT_PROBLEMS = 1, EXIT_FAILURE_IO = 2 };

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// True when a validation report holds anything besides its headers and
// "No warnings or errors found".
bool validationReportsProblems(const std::string& report);

}  // namespace kivcli
