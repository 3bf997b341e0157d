// Entry of baselinedoc: the arguments as UTF-8, the commands in cli.cpp.
// Memory that runs out anywhere is a clear error with exit value 1, never an
// abort: documents come from machines an attacker may have shaped.
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "tool_files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

int wmain(int argc, wchar_t** argv) {
    // Document text goes out byte for byte, without LF becoming CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    const std::vector<std::string> arguments = baseline::tool::utf8Arguments(argc, argv);
    return baseline::tool::exitValueGuarded(
        "baselinedoc", [&] { return baseline::doc::runBaselinedoc(arguments, std::cout, std::cerr); }, std::cout,
        std::cerr);
}
#else
int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return baseline::tool::exitValueGuarded(
        "baselinedoc", [&] { return baseline::doc::runBaselinedoc(arguments, std::cout, std::cerr); }, std::cout,
        std::cerr);
}
#endif
