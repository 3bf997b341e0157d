// Entry of baselinedoc: the arguments as UTF-8, the commands in cli.cpp.
// Memory that runs out anywhere is a clear error with exit value 1, never an
// abort: documents come from machines an attacker may have shaped.
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli.h"

namespace {

template <typename Run>
int guarded(Run run) {
    try {
        return run();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    std::cout.flush();
    std::cerr << "baselinedoc: not enough memory\n";
    return 1;
}

}  // namespace

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "tool_files.h"

int wmain(int argc, wchar_t** argv) {
    // Document text goes out byte for byte, without LF becoming CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    return guarded([&] { return baseline::doc::runBaselinedoc(baseline::tool::utf8Arguments(argc, argv), std::cout, std::cerr); });
}
#else
int main(int argc, char** argv) {
    return guarded([&] {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        return baseline::doc::runBaselinedoc(arguments, std::cout, std::cerr);
    });
}
#endif
