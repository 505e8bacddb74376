// kivreport: the command-line tool of the report library.
#include "tools/kivreport/Cli.h"

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(true);
    std::vector<std::string> args(argv + 1, argv + argc);
    const int code = kivcli::run(args, std::cout, std::cerr);
    std::cout.flush();
    return code;
}
