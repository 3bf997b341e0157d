// Entry of baselineconf. On Windows it checks paths with the allowlist
// creator's own platform layer; elsewhere with the host's file system.
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "platform/utf.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "platform/dll_search_path.h"
#include "platform/win32/win32_platform.h"
#include "line_ends.h"
#include "tool_files.h"

int wmain(int argc, wchar_t** argv) {
    baseline::Win32Platform platform;
    baseline::hardenDllSearchPath(platform);
    // The C runtime's text mode would turn the LF of UTF-8 data into CR LF
    // byte by byte; the line ends of text are the TextStreams' business.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    baseline::tool::TextStream out(std::cout, _isatty(_fileno(stdout)) != 0);
    baseline::tool::TextStream err(std::cerr, _isatty(_fileno(stderr)) != 0);
    const std::vector<std::string> arguments = baseline::tool::utf8Arguments(argc, argv);
    baseline::PlatformConfigEnvironment environment(platform);
    return baseline::tool::exitValueGuarded(
        "baselineconf", [&] { return baseline::tool::runBaselineconf(arguments, environment, out, err); }, out,
        err);
}
#else
#include "host_environment.h"
#include "tool_files.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    baseline::tool::HostConfigEnvironment environment;
    return baseline::tool::exitValueGuarded(
        "baselineconf", [&] { return baseline::tool::runBaselineconf(arguments, environment, std::cout, std::cerr); },
        std::cout, std::cerr);
}
#endif
