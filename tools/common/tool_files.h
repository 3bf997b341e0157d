// What the administrators' tools share at their edges: file names given as
// UTF-8 arguments, files read whole in binary, and the arguments of wmain.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace baseline::tool {

std::filesystem::path pathOfUtf8(const std::string& utf8);

// Reads the file named `name` whole, as bytes. On failure says why on `err`,
// after "`program`: `name`: ", and returns false.
bool readWholeFile(const char* program, const std::string& name, std::string& bytes, std::ostream& err);

// A command line of the tools' one form: COMMAND, then file names, "-o FILE"
// (or "--output FILE") and switches from a fixed list, in any order.
struct ToolArguments {
    bool help = false;  // --help, -h or help anywhere
    std::string command;
    std::vector<std::string> files;
    std::string output;
    bool outputGiven = false;
    std::vector<std::string> switches;  // those given, as written

    bool has(const std::string& name) const;
};

// False with `error` set for "-o" without a name or an unknown option.
bool parseToolArguments(const std::vector<std::string>& arguments, const std::vector<std::string>& knownSwitches,
                        ToolArguments& parsed, std::string& error);

#ifdef _WIN32
// wmain's arguments after the program's name, as UTF-8.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);
#endif

}  // namespace baseline::tool
