// Commands of baselineconf. File I/O is the standard library's, in binary, so
// the tool sees the bytes as they are; the creator's text-mode reading is
// modelled where it matters (checking and decoding a .dat).
#include "cli.h"

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <system_error>

#include "check.h"
#include "config/baseline_file.h"
#include "encode.h"
#include "platform/text_mode.h"
#include "tool_files.h"

namespace baseline::tool {

const char* const kUsage =
    "Usage:\n"
    "  baselineconf encode CONFIG.json -o baselineconf.dat [--force]\n"
    "      Checks that the allowlist creator can load CONFIG.json, then encrypts it\n"
    "      into baselineconf.dat. An existing output file is replaced only with --force.\n"
    "  baselineconf decode baselineconf.dat\n"
    "      Prints the JSON text inside baselineconf.dat.\n"
    "  baselineconf check FILE\n"
    "      Reports what would stop the allowlist creator from loading FILE (a .dat or\n"
    "      a .json) and what loads but is probably not meant. Exit value 0 when the\n"
    "      creator can load it, 1 otherwise.\n"
    "  baselineconf --help\n"
    "      Shows this text.\n"
    "\n"
    "encode --no-check encrypts the input as it is, even when the creator would\n"
    "refuse it; it exists for testing the creator.\n";

namespace {

bool readFile(const std::string& name, std::string& bytes, std::ostream& err) {
    return readWholeFile("baselineconf", name, bytes, err);
}

bool looksLikeDat(const std::string& name, const std::string& bytes) {
    auto endsWith = [&](const char* suffix) {
        const std::string s = suffix;
        if (name.size() < s.size()) return false;
        for (std::size_t i = 0; i < s.size(); ++i) {
            char c = name[name.size() - s.size() + i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != s[i]) return false;
        }
        return true;
    };
    if (endsWith(".dat")) return true;
    if (endsWith(".json")) return false;
    const std::size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string::npos && bytes[first] != '{' && bytes[first] != '[' && bytes[first] != '/';
}

void printFindings(const std::string& name, const CheckResult& result, std::ostream& to) {
    for (const auto& finding : result.findings) {
        to << name << (finding.inDecryptedJson ? " (decrypted JSON)" : "");
        if (finding.line != 0) to << ":" << finding.line << ":" << finding.column;
        to << ": " << (finding.isError ? "error" : "warning") << ": " << finding.message << "\n";
    }
}

std::string counted(std::size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

void printVerdict(const std::string& name, const CheckResult& result, std::ostream& to) {
    std::size_t errors = 0, warnings = 0;
    for (const auto& finding : result.findings) (finding.isError ? errors : warnings)++;
    to << name << ": " << (result.loads ? "the allowlist creator can load it" : "the allowlist creator cannot load it")
       << " (" << counted(errors, "error") << ", " << counted(warnings, "warning") << ")\n";
}

int check(const std::string& name, ConfigEnvironment& environment, std::ostream& out, std::ostream& err) {
    std::string bytes;
    if (!readFile(name, bytes, err)) return 1;
    const CheckResult result =
        looksLikeDat(name, bytes) ? checkDatFile(bytes, environment) : checkJsonText(bytes, environment);
    printFindings(name, result, out);
    printVerdict(name, result, out);
    return result.loads ? 0 : 1;
}

int decode(const std::string& name, ConfigEnvironment& environment, std::ostream& out, std::ostream& err) {
    std::string bytes;
    if (!readFile(name, bytes, err)) return 1;
    std::string json;
    if (!decryptBaselineText(textModeContent(bytes), json)) {
        const CheckResult result = checkDatFile(bytes, environment);
        printFindings(name, result, err);
        err << "baselineconf: " << name << ": cannot be decoded\n";
        return 1;
    }
    out << json;
    out.flush();
    return out ? 0 : 1;
}

int encode(const std::string& input, const std::string& output, bool force, bool noCheck,
           ConfigEnvironment& environment, std::ostream& out, std::ostream& err) {
    std::string json;
    if (!readFile(input, json, err)) return 1;
    if (!noCheck) {
        const CheckResult result = checkJsonText(json, environment);
        printFindings(input, result, err);
        if (!result.loads) {
            err << "baselineconf: " << input << ": not encoded, the allowlist creator could not load it\n";
            return 1;
        }
    }
    std::error_code code;
    const auto outputPath = pathOfUtf8(output);
    if (!force && std::filesystem::exists(outputPath, code)) {
        err << "baselineconf: " << output << ": already exists; use --force to replace it\n";
        return 1;
    }
    const std::string dat = encryptBaselineText(json);
    // What the creator will read back must be what was asked for.
    std::string back;
    if (!decryptBaselineText(dat, back) || back != json.substr(0, json.find('\0'))) {
        err << "baselineconf: " << input << ": internal error: the encoding does not read back\n";
        return 1;
    }
    std::ofstream file(outputPath, std::ios::binary | std::ios::trunc);
    file << dat;
    file.close();
    if (!file) {
        err << "baselineconf: " << output << ": cannot be written\n";
        return 1;
    }
    out << output << ": written (" << dat.size() << " characters of Base64 from " << json.size()
        << " bytes of JSON)\n";
    return 0;
}

int usageError(const std::string& message, std::ostream& err) {
    err << "baselineconf: " << message << "\n\n" << kUsage;
    return 2;
}

}  // namespace

int runBaselineconf(const std::vector<std::string>& arguments, ConfigEnvironment& environment,
                    std::ostream& out, std::ostream& err) {
    ToolArguments parsed;
    std::string error;
    if (!parseToolArguments(arguments, {"--force", "--no-check"}, parsed, error)) return usageError(error, err);
    if (parsed.help) {
        out << kUsage;
        return 0;
    }
    if (arguments.empty()) return usageError("no command given", err);
    const std::string& command = parsed.command;
    const std::vector<std::string>& files = parsed.files;
    const std::string& output = parsed.output;
    const bool force = parsed.has("--force"), noCheck = parsed.has("--no-check");
    const bool encodeOptions = !output.empty() || force || noCheck;
    if (command == "encode") {
        if (files.size() != 1 || output.empty()) return usageError("encode needs CONFIG.json and -o OUTPUT", err);
        return encode(files[0], output, force, noCheck, environment, out, err);
    }
    if (command == "decode" || command == "check") {
        if (files.size() != 1 || encodeOptions) return usageError(command + " takes one file and no options", err);
        return command == "decode" ? decode(files[0], environment, out, err) : check(files[0], environment, out, err);
    }
    return usageError("unknown command " + command, err);
}

}  // namespace baseline::tool
