// Entry of baselinedoc: the arguments as UTF-8, the commands in cli.cpp.
// Memory that runs out anywhere is a clear error with exit value 1, never an
// abort: documents come from machines an attacker may have shaped.
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "line_ends.h"
#include "tool_files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

int wmain(int argc, wchar_t** argv) {
    // The C runtime's text mode would turn the LF of UTF-8 data into CR LF
    // byte by byte; the line ends of text are the TextStreams' business.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    baseline::tool::TextStream out(std::cout, _isatty(_fileno(stdout)) != 0);
    baseline::tool::TextStream err(std::cerr, _isatty(_fileno(stderr)) != 0);
    const std::vector<std::string> arguments = baseline::tool::utf8Arguments(argc, argv);
    return baseline::tool::exitValueGuarded(
        "baselinedoc", [&] { return baseline::doc::runBaselinedoc(arguments, out, err); }, out, err);
}
#else
int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return baseline::tool::exitValueGuarded(
        "baselinedoc", [&] { return baseline::doc::runBaselinedoc(arguments, std::cout, std::cerr); }, std::cout,
        std::cerr);
}
#endif
