// Entry of baselinedoc: the arguments as UTF-8, the commands in cli.cpp.
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "tool_files.h"

int wmain(int argc, wchar_t** argv) {
    // Document text goes out byte for byte, without LF becoming CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    return baseline::doc::runBaselinedoc(baseline::tool::utf8Arguments(argc, argv), std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return baseline::doc::runBaselinedoc(arguments, std::cout, std::cerr);
}
#endif
