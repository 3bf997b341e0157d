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

#ifdef _WIN32
// wmain's arguments after the program's name, as UTF-8.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);
#endif

}  // namespace baseline::tool
