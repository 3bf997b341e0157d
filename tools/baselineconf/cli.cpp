// Commands of baselineconf. Files are read with the standard library, in
// binary, so the tool sees the bytes as they are (the creator's text-mode
// reading is modelled where it matters); files are written through
// file_publish, which never leaves a half-written or lost file behind.
#include "cli.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <fstream>
#include <ostream>
#include <sstream>
#include <system_error>

#include "check.h"
#include "config/base64.h"
#include "platform/visible_text.h"
#include "config/baseline_file.h"
#include "encode.h"
#include "line_ends.h"
#include "tool_files.h"
#include "platform/text_mode.h"

namespace baseline::tool {

const char* const kUsage =
    "Usage:\n"
    "  baselineconf encode CONFIG.json -o baselineconf.dat [--force]\n"
    "      Checks that the allowlist creator can load CONFIG.json, then encrypts it\n"
    "      into baselineconf.dat. An existing output file is replaced only with\n"
    "      --force, and then in one step: the new file is written beside it first,\n"
    "      so a failed write leaves the old one as it was.\n"
    "  baselineconf decode baselineconf.dat [-o CONFIG.json [--force]]\n"
    "      Prints the JSON text inside baselineconf.dat, or writes it to CONFIG.json\n"
    "      (replacing an existing file only with --force). A damaged file, or one\n"
    "      made with another key, is not decoded; --force with -o writes what could\n"
    "      be deciphered, for recovery.\n"
    "  baselineconf check FILE\n"
    "      Reports what would stop the allowlist creator from loading FILE (a .dat or\n"
    "      a .json) and what loads but is probably not meant.\n"
    "  baselineconf help, -h or --help (as the first argument)\n"
    "      Shows this text.\n"
    "\n"
    "encode --no-check encrypts the input as it is, even when the creator would\n"
    "refuse it; it exists for testing the creator. An argument after -- is a file\n"
    "name even when it starts with '-'.\n"
    "\n"
    "Exit values:\n"
    "  0  check: the allowlist creator can load the file; encode, decode: done\n"
    "  1  check: it cannot; encode, decode: failed, nothing written\n"
    "  2  usage error\n";

namespace {

bool readFile(const std::string& name, std::string& bytes, std::ostream& err) {
    return tool::readWholeFile("baselineconf", name, bytes, err);
}

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool hasByteOrderMark(const std::string& bytes) { return bytes.rfind(kByteOrderMark, 0) == 0; }

// Base64 on one line, perhaps with line breaks an editor added.
bool looksLikeDatContent(const std::string& bytes) {
    if (bytes.find_first_not_of("\r\n") == std::string::npos) return false;
    for (const char c : bytes) {
        if (!isBase64Alphabet(c) && c != '=' && c != '\r' && c != '\n') return false;
    }
    return true;
}

// JSON by its first character, as the creator's diagnosis tells it.
bool looksLikeJsonContent(const std::string& bytes) { return datFormMistake(bytes).form == DatForm::jsonFile; }

bool looksLikeDat(const std::string& name, const std::string& bytes) {
    // Notepad's "UTF-8 with BOM" puts the mark before JSON; before Base64 it
    // is the .dat's mistake that check is to name.
    if (hasByteOrderMark(bytes) && looksLikeJsonContent(bytes)) return false;
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
    return !looksLikeJsonContent(bytes) && bytes.find_first_not_of(" \t\r\n") != std::string::npos;
}

void printFindings(const std::string& name, const CheckResult& result, std::ostream& to) {
    for (const auto& finding : result.findings) {
        to << visibleUtf8(name) << (finding.inDecryptedJson ? " (decrypted JSON)" : "");
        if (finding.line != 0) to << ":" << finding.line << ":" << finding.column;
        // A finding quotes the configuration, whose text may hold anything.
        to << ": " << (finding.isError ? "error" : "warning") << ": " << visibleUtf8(finding.message) << "\n";
    }
}

std::string counted(std::size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

void printVerdict(const std::string& name, const CheckResult& result, std::ostream& to) {
    std::size_t errors = 0, warnings = 0;
    for (const auto& finding : result.findings) (finding.isError ? errors : warnings)++;
    to << visibleUtf8(name) << ": " << (result.loads ? "the allowlist creator can load it" : "the allowlist creator cannot load it")
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

int decode(const std::string& name, const std::string& output, bool force, ConfigEnvironment& environment,
           std::ostream& out, std::ostream& err) {
    std::string bytes;
    if (!readFile(name, bytes, err)) return 1;
    if (looksLikeJsonContent(bytes)) {
        err << "baselineconf: " << visibleUtf8(name) << ": is a JSON configuration, not a baselineconf.dat: "
            << datFormMistake(bytes).phrase << " (decode takes the encoded file)\n";
        return 1;
    }
    std::string json;
    DecryptFacts facts;
    const DecryptOutcome outcome = decryptBaselineTextDetailed(textModeContent(bytes), json, &facts);
    std::string text;  // all that was deciphered, without the pad when there is one
    if (outcome == DecryptOutcome::ok) {
        text = facts.plaintext.substr(0, facts.plaintext.size() - static_cast<unsigned char>(facts.plaintext.back()));
    } else if (outcome == DecryptOutcome::badPadding) {
        text = facts.plaintext;
    }
    const bool damaged = outcome != DecryptOutcome::ok || firstNonText(text) != std::string::npos;
    if (damaged) {
        printFindings(name, checkDatFile(bytes, environment), err);
        if (!force || text.empty()) {
            err << "baselineconf: " << visibleUtf8(name) << ": cannot be decoded"
                << (text.empty() ? "" : "; with --force, -o FILE receives what could be deciphered, for recovery")
                << "\n";
            return 1;
        }
    }
    if (output.empty()) {
        passBytesThrough(out);
        // Shown, not stored: a C1 or bidirectional control from the file
        // reaches the terminal as an escape, which is the same JSON value.
        out << visibleJson(text);
        out.flush();
        return out ? 0 : 1;
    }
    if (!writeOutputFile("baselineconf", {name}, output, text, force, err)) return 1;
    out << visibleUtf8(output) << ": written (" << text.size() << " bytes"
        << (damaged ? " deciphered from a damaged file, for recovery; it is not a valid configuration" : " of JSON")
        << ")\n";
    return 0;
}

int encode(const std::string& input, const std::string& output, bool force, bool noCheck,
           ConfigEnvironment& environment, std::ostream& out, std::ostream& err) {
    std::string bytes;
    if (!readFile(input, bytes, err)) return 1;
    if (!noCheck && looksLikeDatContent(bytes)) {
        err << "baselineconf: " << visibleUtf8(input)
            << ": is a baselineconf.dat (Base64 text), not a JSON configuration; encode takes the JSON (decode "
               "gives it back)\n";
        return 1;
    }
    if (!noCheck) {
        const CheckResult result = checkJsonText(bytes, environment);
        printFindings(input, result, err);
        if (!result.loads) {
            err << "baselineconf: " << visibleUtf8(input) << ": not encoded, the allowlist creator could not load it\n";
            return 1;
        }
    }
    std::string json = bytes;
    const std::size_t bom = hasByteOrderMark(json) ? 3 : 0;
    json.erase(0, bom);
    // decode tells a damaged file by deciphered bytes that are no text, so a
    // .dat must hold nothing else.
    const std::size_t notText = firstNonText(json);
    if (!noCheck && notText != std::string::npos) {
        const Finding finding = findingAt(true, bytes, bom + notText,
                                          "byte " + hexByte(json[notText]) +
                                              " is neither UTF-8 text nor tab, CR or LF; a .dat holds only UTF-8 "
                                              "text, or it could not be told from a damaged one");
        printFindings(input, CheckResult{false, "", false, {finding}}, err);
        err << "baselineconf: " << visibleUtf8(input) << ": not encoded; save it as UTF-8 text\n";
        return 1;
    }
    if (bom != 0) err << visibleUtf8(input) << ": note: the UTF-8 byte order mark at its start is left out of the .dat\n";
    const std::string dat = encryptBaselineText(json);
    // What the creator will read back must be what was asked for.
    std::string back;
    if (!decryptBaselineText(dat, back) || back != json.substr(0, json.find('\0'))) {
        err << "baselineconf: " << visibleUtf8(input) << ": internal error: the encoding does not read back\n";
        return 1;
    }
    if (!writeOutputFile("baselineconf", {input}, output, dat, force, err)) return 1;
    out << visibleUtf8(output) << ": written (" << dat.size() << " characters of Base64 from " << json.size()
        << " bytes of JSON)\n";
    return 0;
}

int usageError(const std::string& message, std::ostream& err) {
    err << "baselineconf: " << visibleUtf8(message) << "\n\n" << kUsage;
    return 2;
}

int runCommand(const std::vector<std::string>& arguments, ConfigEnvironment& environment, std::ostream& out,
               std::ostream& err) {
    if (arguments.empty()) return usageError("no command given", err);
    const std::string& command = arguments[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    std::vector<std::string> files;
    std::optional<std::string> output;
    bool force = false, noCheck = false, filesOnly = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (filesOnly) {
            files.push_back(argument);
        } else if (argument == "--") {
            filesOnly = true;
        } else if (argument == "-o" || argument == "--output") {
            if (i + 1 == arguments.size()) return usageError(argument + " needs a file name", err);
            if (output) return usageError("the output is given twice (" + argument + ")", err);
            output = arguments[++i];
            if (output->empty()) return usageError(argument + " needs a file name", err);
        } else if (argument == "--force") {
            if (force) return usageError("--force is given twice", err);
            force = true;
        } else if (argument == "--no-check") {
            if (noCheck) return usageError("--no-check is given twice", err);
            noCheck = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return usageError("unknown option " + argument, err);
        } else {
            files.push_back(argument);
        }
    }
    if (command == "encode") {
        if (files.size() != 1 || !output) return usageError("encode needs CONFIG.json and -o OUTPUT", err);
        return encode(files[0], *output, force, noCheck, environment, out, err);
    }
    if (command == "decode") {
        if (files.size() != 1 || noCheck) return usageError("decode takes one file, -o OUTPUT and --force", err);
        if (force && !output) return usageError("decode --force writes only to a file: add -o OUTPUT", err);
        return decode(files[0], output.value_or(""), force, environment, out, err);
    }
    if (command == "check") {
        if (files.size() != 1 || output || force || noCheck) {
            return usageError("check takes one file and no options", err);
        }
        return check(files[0], environment, out, err);
    }
    return usageError("unknown command " + command, err);
}

}  // namespace

int runBaselineconf(const std::vector<std::string>& arguments, ConfigEnvironment& environment,
                    std::ostream& out, std::ostream& err) {
    // No input may end the tool another way than with a finding and 1.
    try {
        return runCommand(arguments, environment, out, err);
    } catch (const std::exception& failure) {
        err << "baselineconf: error: " << failure.what() << "\n";
    } catch (...) {
        err << "baselineconf: error: an unexpected failure\n";
    }
    return 1;
}

}  // namespace baseline::tool
