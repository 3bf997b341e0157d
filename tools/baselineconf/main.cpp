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
#include "tool_files.h"

int wmain(int argc, wchar_t** argv) {
    baseline::Win32Platform platform;
    baseline::hardenDllSearchPath(platform);
    // Decoded JSON goes out byte for byte, without LF becoming CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    const std::vector<std::string> arguments = baseline::tool::utf8Arguments(argc, argv);
    baseline::PlatformConfigEnvironment environment(platform);
    return baseline::tool::exitValueGuarded(
        "baselineconf", [&] { return baseline::tool::runBaselineconf(arguments, environment, std::cout, std::cerr); },
        std::cout, std::cerr);
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
