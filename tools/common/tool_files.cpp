// Files and arguments of the administrators' tools. Reading is the standard
// library's, in binary and in one call, so that a document of tens of
// megabytes is read at once and the tools see the bytes as they are.
#include "tool_files.h"

#include <fstream>
#include <ostream>
#include <sstream>
#include <system_error>

#include "platform/utf.h"

namespace baseline::tool {

std::filesystem::path pathOfUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool readWholeFile(const char* program, const std::string& name, std::string& bytes, std::ostream& err) {
    std::error_code code;
    const auto path = pathOfUtf8(name);
    if (std::filesystem::is_directory(path, code)) {
        err << program << ": " << name << ": is a directory\n";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err << program << ": " << name << ": cannot be opened"
            << (std::filesystem::exists(path, code) ? "" : " (no such file)") << "\n";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || !in) {
        // Not a regular file (a pipe): read it as a stream.
        in.clear();
        std::ostringstream all;
        all << in.rdbuf();
        if (in.bad()) {
            err << program << ": " << name << ": cannot be read\n";
            return false;
        }
        bytes = std::move(all).str();
        return true;
    }
    bytes.resize(static_cast<std::size_t>(size));
    if (!in.read(bytes.data(), size) || in.gcount() != size) {
        err << program << ": " << name << ": cannot be read\n";
        return false;
    }
    return true;
}

bool ToolArguments::has(const std::string& name) const {
    for (const auto& given : switches) {
        if (given == name) return true;
    }
    return false;
}

bool parseToolArguments(const std::vector<std::string>& arguments, const std::vector<std::string>& knownSwitches,
                        ToolArguments& parsed, std::string& error) {
    parsed = ToolArguments();
    for (const auto& argument : arguments) {
        if (argument == "--help" || argument == "-h" || argument == "help") parsed.help = true;
    }
    if (parsed.help || arguments.empty()) return true;
    parsed.command = arguments[0];
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-o" || argument == "--output") {
            if (i + 1 == arguments.size()) {
                error = argument + " needs a file name";
                return false;
            }
            parsed.output = arguments[++i];
            parsed.outputGiven = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            bool known = false;
            for (const auto& name : knownSwitches) known = known || name == argument;
            if (!known) {
                error = "unknown option " + argument;
                return false;
            }
            parsed.switches.push_back(argument);
        } else {
            parsed.files.push_back(argument);
        }
    }
    return true;
}

#ifdef _WIN32
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(encodeUtf8(reinterpret_cast<const char16_t*>(argv[i])));
    }
    return arguments;
}
#endif

}  // namespace baseline::tool
