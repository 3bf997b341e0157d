// Files and arguments of the administrators' tools. Reading is the standard
// library's, in binary and in one call, so that a document of tens of
// megabytes is read at once and the tools see the bytes as they are.
#include "tool_files.h"

#include <fstream>
#include <new>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "platform/file_publish.h"
#include "platform/utf.h"
#include "platform/visible_text.h"

namespace baseline::tool {

std::filesystem::path pathOfUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool readWholeFile(const char* program, const std::string& name, std::string& bytes, std::ostream& err) {
    std::error_code code;
    const auto path = pathOfUtf8(name);
    if (std::filesystem::is_directory(path, code)) {
        err << program << ": " << visibleUtf8(name) << ": is a directory\n";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err << program << ": " << visibleUtf8(name) << ": cannot be opened"
            << (std::filesystem::exists(path, code) ? "" : " (no such file)") << "\n";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || !in) {
        // Not a regular file (a pipe): read it in pieces. Not through a
        // string stream: one that cannot grow keeps what it has and says
        // nothing, and a part of a document would pass for the whole.
        in.clear();
        bytes.clear();
        char piece[1 << 16];
        while (in.read(piece, sizeof piece) || in.gcount() > 0) {
            bytes.append(piece, static_cast<std::size_t>(in.gcount()));
        }
        if (in.bad()) {
            err << program << ": " << visibleUtf8(name) << ": cannot be read\n";
            return false;
        }
        return true;
    }
    bytes.resize(static_cast<std::size_t>(size));
    if (!in.read(bytes.data(), size) || in.gcount() != size) {
        err << program << ": " << visibleUtf8(name) << ": cannot be read\n";
        return false;
    }
    return true;
}

namespace {

// Whether `name` is a temporary file the publish routine makes for `target`:
// "." TARGET "." then one to six digits then ".tmp".
bool isTemporaryFor(const std::string& name, const std::string& target) {
    const std::string head = "." + target + ".", tail = ".tmp";
    if (name.size() <= head.size() + tail.size() || !name.starts_with(head) || !name.ends_with(tail)) return false;
    const std::size_t digits = name.size() - head.size() - tail.size();
    if (digits > 6) return false;
    for (std::size_t i = head.size(); i < head.size() + digits; ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
    }
    return true;
}

// A temporary file of `output` older than this run is one a run that was
// killed could not remove (or, rarely, one another run is writing now). It
// is named, never removed: only the administrator knows which it is.
void noteLeftovers(const char* program, const std::string& output, std::ostream& err) {
    std::error_code code;
    const std::filesystem::path path = pathOfUtf8(output);
    const std::u8string target = path.filename().u8string();
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::directory_iterator it(folder, code), end;
    for (std::size_t seen = 0; !code && it != end && seen < 100000; it.increment(code), ++seen) {
        const std::u8string name = it->path().filename().u8string();
        const std::string entry(name.begin(), name.end());
        if (!isTemporaryFor(entry, std::string(target.begin(), target.end())) && !isTemporaryFor(entry, program)) {
            continue;
        }
        std::error_code timeCode;
        const auto written = std::filesystem::last_write_time(it->path(), timeCode);
        if (timeCode || written >= now) continue;
        err << program << ": " << visibleUtf8(output) << ": note: " << visibleUtf8(std::string(name.begin(), name.end()))
            << " beside it is left from a run that was stopped (or is being written by one running now); remove it "
               "when no other run is writing this file\n";
    }
}

}  // namespace

bool writeOutputFile(const char* program, const std::vector<std::string>& inputs, const std::string& output,
                     const std::string& bytes, bool replace, std::ostream& err) {
    using fileops::PathKind;
    const auto refuse = [&](const std::string& why) {
        err << program << ": " << visibleUtf8(output) << ": " << why << "\n";
        return false;
    };
    for (const std::string& input : inputs) {
        if (fileops::sameFile(input, output)) return refuse("is the input file; write to another file");
    }
    switch (fileops::pathKind(output)) {
        case PathKind::directory: return refuse("is a directory");
        case PathKind::symbolicLink: {
            std::error_code code;
            return refuse(std::filesystem::exists(pathOfUtf8(output), code)
                              ? "is a symbolic link; name the file it points to"
                              : "is a symbolic link that points to nothing; it is not followed");
        }
        case PathKind::other: return refuse("is not a plain file");
        case PathKind::file:
            if (!replace) return refuse("already exists; use --force to replace it");
            break;
        case PathKind::missing: break;
    }
    noteLeftovers(program, output, err);
    std::string temporary, error;
    if (!fileops::writeBeside(output, bytes, temporary, error)) {
        return refuse(error + (replace ? "; the existing file is unchanged" : ""));
    }
    bool existed = false;
    bool published = false;
    try {
        published = fileops::publish(temporary, output, replace, existed, error);
    } catch (...) {
        // Memory that runs out here must not leave the temporary file behind.
        fileops::removeQuietly(temporary);
        throw;
    }
    if (!published) {
        fileops::removeQuietly(temporary);
        return refuse(existed ? "already exists; use --force to replace it" : error);
    }
    return true;
}

bool writeOutputFileFrom(const char* program, const std::vector<std::string>& inputs, const std::string& output,
                         const std::function<bool(const std::string& scratch, std::string& error)>& produce,
                         bool replace, std::ostream& err) {
    const auto fail = [&](const std::string& why) {
        err << program << ": " << visibleUtf8(output) << ": " << why << "; nothing written\n";
        return false;
    };
    // What writeOutputFile would refuse anyway is refused before the work.
    const fileops::PathKind kind = fileops::pathKind(output);
    if (kind != fileops::PathKind::missing && (kind != fileops::PathKind::file || !replace)) {
        return writeOutputFile(program, inputs, output, "", replace, err);
    }
    // Beside the output, named after the program (".PROGRAM.NNNNNN.tmp", ASCII
    // whatever the output is called, for libraries that open names in the
    // ANSI code page): a run killed while the library holds it open, so that
    // it cannot be removed then, is named by the next run like any leftover.
    const std::u8string base = (pathOfUtf8(output).parent_path() / program).u8string();
    std::string scratch, error;
    if (!fileops::writeBeside(std::string(base.begin(), base.end()), "", scratch, error)) return fail(error);
    std::string bytes;
    bool made = false;
    try {
        made = produce(scratch, error);
        if (made) {
            std::ostringstream why;
            made = readWholeFile(program, scratch, bytes, why);
            if (!made) error = "cannot read back the scratch file";
        }
    } catch (...) {
        fileops::removeQuietly(scratch);
        throw;
    }
    fileops::removeQuietly(scratch);
    if (!made) return fail(error);
    return writeOutputFile(program, inputs, output, bytes, replace, err);
}

int exitValueGuarded(const char* program, const std::function<int()>& command, std::ostream& out,
                     std::ostream& err) {
    const auto outOfMemory = [&] {
        out.flush();
        err << program << ": not enough memory\n";
        return 1;
    };
    int code = 1;
    try {
        code = command();
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    } catch (const std::length_error&) {
        return outOfMemory();
    }
    // The C runtime writes the rest of standard output at exit and tells no
    // one when it cannot (a full disk, a pipe or handle that is gone): a
    // verdict nobody could read must not end as if it had been shown.
    if (!out.flush()) {
        err << program << ": error: standard output cannot be written; what the command printed is lost\n";
        err.flush();
        return code == 0 ? 1 : code;
    }
    return code;
}

std::string wholeText(std::ostringstream& stream) {
    if (!stream) throw std::bad_alloc();
    return std::move(stream).str();
}

bool ToolArguments::has(const std::string& name) const {
    for (const auto& given : switches) {
        if (given == name) return true;
    }
    return false;
}

const std::string* ToolArguments::value(const std::string& option) const {
    for (const auto& [name, given] : values) {
        if (name == option) return &given;
    }
    return nullptr;
}

namespace {
bool isOneOf(const std::string& argument, const std::vector<std::string>& names) {
    for (const auto& name : names) {
        if (name == argument) return true;
    }
    return false;
}
}  // namespace

bool parseToolArguments(const std::vector<std::string>& arguments, const std::vector<std::string>& knownSwitches,
                        ToolArguments& parsed, std::string& error,
                        const std::vector<std::string>& optionsWithValue) {
    parsed = ToolArguments();
    if (arguments.empty()) return true;
    if (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "help") {
        parsed.help = true;
        return true;
    }
    parsed.command = arguments[0];
    bool filesOnly = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (filesOnly) {
            parsed.files.push_back(argument);
        } else if (argument == "--") {
            filesOnly = true;
        } else if (argument == "-o" || argument == "--output" || isOneOf(argument, optionsWithValue)) {
            const bool isOutput = argument == "-o" || argument == "--output";
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                error = argument + (isOutput ? " needs a file name" : " needs a value");
                return false;
            }
            if (isOutput ? parsed.outputGiven : parsed.value(argument) != nullptr) {
                error = (isOutput ? std::string("the output") : argument) + " is given twice";
                return false;
            }
            if (isOutput) {
                parsed.output = arguments[++i];
                parsed.outputGiven = true;
            } else {
                parsed.values.emplace_back(argument, arguments[++i]);
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            if (!isOneOf(argument, knownSwitches)) {
                error = "unknown option " + argument;
                return false;
            }
            if (parsed.has(argument)) {
                error = argument + " is given twice";
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
