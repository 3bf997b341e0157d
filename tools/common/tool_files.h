// What the administrators' tools share at their edges: file names given as
// UTF-8 arguments, files read whole in binary, and the arguments of wmain.
#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace baseline::tool {

std::filesystem::path pathOfUtf8(const std::string& utf8);

// Reads the file named `name` whole, as bytes. On failure says why on `err`,
// after "`program`: `name`: ", and returns false.
bool readWholeFile(const char* program, const std::string& name, std::string& bytes, std::ostream& err);

// The text written to `stream`, taken out of it. A string stream that runs
// out of memory only sets its state and keeps a part; that is std::bad_alloc
// here, so that a part is never written or printed as the whole.
std::string wholeText(std::ostringstream& stream);

// Runs a tool's `command` and gives its exit value. Memory that runs out
// anywhere in it is "`program`: not enough memory" and exit 1, never an
// abort: the tools read files an attacker may have shaped. Standard output
// that cannot be written is said on `err`, and a command that succeeded
// then ends with 1.
int exitValueGuarded(const char* program, const std::function<int()>& command, std::ostream& out,
                     std::ostream& err);

// Writes `bytes` to `output` so that an existing file is either replaced whole
// (only with `replace`) or left byte for byte as it was: never through a
// symbolic link, never over one of `inputs`, never half-written. On refusal
// or failure says why on `err`, after "`program`: `output`: ".
bool writeOutputFile(const char* program, const std::vector<std::string>& inputs, const std::string& output,
                     const std::string& bytes, bool replace, std::ostream& err);

// writeOutputFile for what a library can only write to a file it opens by
// name: `produce` writes a fresh, empty scratch file beside the output, of an
// ASCII name (returning false with `error` set when it cannot), whose
// bytes are then published as writeOutputFile does. The scratch file is
// removed on every path.
bool writeOutputFileFrom(const char* program, const std::vector<std::string>& inputs, const std::string& output,
                         const std::function<bool(const std::string& scratch, std::string& error)>& produce,
                         bool replace, std::ostream& err);

// A command line of the tools' one form: COMMAND, then file names, "-o FILE"
// (or "--output FILE"), switches from a fixed list and options that take a
// value, in any order. Help is asked for only by the first argument, so that
// a file named "help" is a file; after "--" every argument is a file name.
struct ToolArguments {
    bool help = false;  // --help, -h or help as the first argument
    std::string command;
    std::vector<std::string> files;
    std::string output;
    bool outputGiven = false;
    std::vector<std::string> switches;                          // those given, as written
    std::vector<std::pair<std::string, std::string>> values;    // option, value

    bool has(const std::string& name) const;
    // The value given to `option`, or null.
    const std::string* value(const std::string& option) const;
};

// False with `error` set for an option without its value, an option given
// twice or an unknown option. `error` may hold the arguments' own text: show
// it through visibleUtf8.
bool parseToolArguments(const std::vector<std::string>& arguments, const std::vector<std::string>& knownSwitches,
                        ToolArguments& parsed, std::string& error,
                        const std::vector<std::string>& optionsWithValue = {});

#ifdef _WIN32
// wmain's arguments after the program's name, as UTF-8.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);
#endif

}  // namespace baseline::tool
