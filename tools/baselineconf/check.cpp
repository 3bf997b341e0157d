// The checks of baselineconf. The Base64 lint only explains; whether the file
// loads is decided by decryptBaselineTextDetailed, parseBaselineJson and
// applyBaselineJson, the code the creator runs.
#include "check.h"

#include <json/reader.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <cstdio>
#include <memory>
#include <tuple>

#include "config/base64.h"
#include "config/baseline_file.h"
#include "config/config_diagnosis.h"
#include "platform/text_mode.h"

namespace baseline::tool {
namespace {

constexpr std::size_t kMaxBadBytesShown = 5;

std::string byteName(unsigned char byte) {
    std::string name = hexByte(static_cast<char>(byte));
    if (byte == '\n') name += " (line feed)";
    else if (byte == '\r') name += " (carriage return)";
    else if (byte == ' ') name += " (blank)";
    else if (byte == '\t') name += " (tab)";
    else if (byte >= 0x21 && byte < 0x7F) name += std::string(" ('") + static_cast<char>(byte) + "')";
    return name;
}

// Collects the walk's findings with the places of the values they concern.
class PlacedReport final : public SchemaReport {
public:
    PlacedReport(const std::string& text, std::size_t offsetBase, std::vector<Finding>& findings)
        : text_(text), offsetBase_(offsetBase), findings_(findings) {}
    void error(const Json::Value* at, const std::string& message) override { add(true, at, message); }
    void warning(const Json::Value* at, const std::string& message) override { add(false, at, message); }

private:
    void add(bool isError, const Json::Value* at, const std::string& message) {
        if (at) {
            findings_.push_back(findingAt(isError, text_, offsetBase_ + static_cast<std::size_t>(at->getOffsetStart()),
                                          message));
        } else {
            findings_.push_back({isError, 0, 0, message});
        }
    }
    const std::string& text_;
    std::size_t offsetBase_;
    std::vector<Finding>& findings_;
};

// JsonCpp's messages as findings, each after `prefix`.
void addParseMessages(const std::string& messages, bool isError, const std::string& prefix,
                      std::vector<Finding>& findings) {
    for (const ParseError& error : parseErrors(messages)) {
        std::string message = prefix;
        if (!error.message.empty()) message += (message.empty() ? "" : " ") + error.message;
        if (error.seeAlso.line != 0) {
            message += " (see " + std::to_string(error.seeAlso.line) + ":" + std::to_string(error.seeAlso.column) + ")";
        }
        findings.push_back({isError, error.place.line, error.place.column, std::move(message)});
    }
}

// A second parse with one of the reader's rejections switched on: the
// creator's reader accepts what it finds, so its messages are warnings.
void strictParse(const std::string& text, const char* setting, const std::string& prefix,
                 std::vector<Finding>& findings) {
    Json::CharReaderBuilder strict;
    strict[setting] = true;
    const std::unique_ptr<Json::CharReader> reader(strict.newCharReader());
    Json::Value ignored;
    std::string messages;
    if (!reader->parse(text.data(), text.data() + text.size(), &ignored, &messages)) {
        addParseMessages(messages, false, prefix, findings);
    }
}

}  // namespace

namespace {

// `insideDat`: the text was deciphered, where bytes that are no UTF-8 mean
// damage, which checkDatFile reports itself.
void checkJson(const std::string& rawText, ConfigEnvironment& environment, CheckResult& result, bool insideDat) {
    std::string text = rawText;
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) {
        result.findings.push_back(
            findingAt(false, text, zero, "a zero byte ends the text here; the creator ignores everything after it"));
        text.resize(zero);
    }
    result.json = text;

    const std::size_t badUtf8 = firstInvalidUtf8(text);
    if (badUtf8 != std::string::npos && !insideDat) {
        result.findings.push_back(findingAt(false, text, badUtf8,
                                            "byte " + hexByte(text[badUtf8]) +
                                                " is not UTF-8 (a file saved as ANSI?); the creator reads such "
                                                "bytes as the replacement character U+FFFD: save the file as UTF-8"));
    }
    Json::Value root;
    std::string messages;
    try {
        if (!parseBaselineJson(text, root, &messages)) {
            addParseMessages(messages, true, "", result.findings);
            result.loads = false;
            return;
        }
        // Duplicate keys load (the last one counts) and so does text after the
        // root value (it is ignored); strict parses find the first of each.
        strictParse(text, "rejectDupKeys", "the creator takes the last of the values:", result.findings);
        strictParse(text, "failIfExtra", "the creator ignores the rest of the text:", result.findings);
    } catch (const std::exception& failure) {
        // JsonCpp throws on nesting deeper than its limit; the creator's
        // loader catches that and refuses the file.
        result.findings.push_back({true, 0, 0, std::string("the JSON text cannot be parsed: ") + failure.what()});
        result.loads = false;
        return;
    }
    // JsonCpp counts offsets after a UTF-8 byte order mark, which it skips.
    const std::size_t bom = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    BaselineConfig config;
    std::vector<Finding> walked;
    PlacedReport report(text, bom, walked);
    result.loads = applyBaselineJson(root, environment, config, &report);
    // In file order; what concerns no value in particular (a default) last.
    std::stable_sort(walked.begin(), walked.end(), [](const Finding& a, const Finding& b) {
        return std::make_tuple(a.line == 0, a.line, a.column) < std::make_tuple(b.line == 0, b.line, b.column);
    });
    result.findings.insert(result.findings.end(), walked.begin(), walked.end());
}

struct Base64Lint {
    std::vector<Finding> findings;
};

Base64Lint lintBase64(const std::string& bytes, const std::string& content) {
    Base64Lint lint;
    const std::size_t ctrlZ = bytes.find('\x1A');
    if (ctrlZ != std::string::npos && ctrlZ + 1 < bytes.size()) {
        lint.findings.push_back(
            findingAt(false, bytes, ctrlZ, "a Ctrl-Z (0x1A): the creator reads the file in text mode and stops here"));
    }
    std::size_t end = content.size();
    while (end > 0 && (content[end - 1] == '\n' || content[end - 1] == '\r')) --end;
    std::size_t shown = 0, bad = 0;
    for (std::size_t i = 0; i < end; ++i) {
        const char c = content[i];
        if (isBase64Alphabet(c)) {
            if (i > 0 && content[i - 1] == '=' && shown < kMaxBadBytesShown) {
                ++shown;
                lint.findings.push_back(findingAt(false, content, i - 1, "'=' padding is followed by more Base64 text"));
            }
            continue;
        }
        if (c == '=') continue;
        if (++bad <= kMaxBadBytesShown) {
            lint.findings.push_back(
                findingAt(false, content, i, "byte " + byteName(static_cast<unsigned char>(c)) + " is not Base64"));
        }
    }
    if (bad > kMaxBadBytesShown) {
        lint.findings.push_back({false, 0, 0, std::to_string(bad - kMaxBadBytesShown) + " more bytes are not Base64"});
    }
    if (end < content.size()) {
        lint.findings.push_back(findingAt(false, content, end,
                                          "the file ends with a line break; baselineconf.dat must be one line with "
                                          "no line break, not even at the end (editors often add one)"));
    } else if (content.size() % 4 != 0) {
        lint.findings.push_back(
            {false, 0, 0, "the text has " + std::to_string(content.size()) + " characters, not a multiple of 4"});
    }
    return lint;
}

}  // namespace

Finding findingAt(bool isError, const std::string& text, std::size_t offset, std::string message) {
    const TextPlace place = placeOf(text, offset);
    return {isError, place.line, place.column, std::move(message)};
}

CheckResult checkJsonText(const std::string& text, ConfigEnvironment& environment) {
    CheckResult result;
    checkJson(text, environment, result, false);
    return result;
}

CheckResult checkDatFile(const std::string& bytes, ConfigEnvironment& environment) {
    CheckResult result;
    const std::string content = textModeContent(bytes);
    std::string json;
    DecryptFacts facts;
    const DecryptOutcome outcome = decryptBaselineTextDetailed(content, json, &facts);
    if (outcome != DecryptOutcome::ok) {
        // The one cause the creator names; what else the lint would find
        // follows from it.
        const std::size_t offset = datFormMistake(bytes).offset;
        const std::string cause = datDecodeFailure(bytes, outcome, facts);
        result.findings.push_back(offset != std::string::npos ? findingAt(true, bytes, offset, cause)
                                                              : Finding{true, 0, 0, cause});
        return result;
    }
    Base64Lint lint = lintBase64(bytes, content);
    const std::size_t padLength = static_cast<unsigned char>(facts.plaintext.back());
    const std::string text = facts.plaintext.substr(0, facts.plaintext.size() - padLength);
    CheckResult inner;
    checkJson(text, environment, inner, true);
    result.loads = inner.loads;
    result.json = inner.json;
    const std::size_t notText = firstNonText(text);
    result.damaged = notText != std::string::npos;
    // Damaged Base64 that still deciphers garbles a block: then it is the cause.
    for (auto& finding : lint.findings) finding.isError = !result.loads;
    result.findings = std::move(lint.findings);
    if (result.damaged) {
        // One changed character garbles a whole 8-byte block, and another key
        // garbles all of them; either way the text is no longer text.
        result.findings.push_back(
            {!result.loads, 0, 0,
             "the file is damaged or was made with another key: the deciphered text holds byte " +
                 hexByte(text[notText]) + " at offset " + std::to_string(notText) + ", which is no UTF-8 text" +
                 (result.loads ? " (the creator would still load what it reads)" : "")});
    } else if (facts.plaintext.find_first_not_of(static_cast<char>(padLength), facts.plaintext.size() - padLength) !=
               std::string::npos) {
        result.findings.push_back(
            {false, 0, 0, "the pad bytes differ from each other; baselineconf did not write this file"});
    }
    for (auto& finding : inner.findings) {
        finding.inDecryptedJson = true;
        result.findings.push_back(std::move(finding));
    }
    return result;
}

}  // namespace baseline::tool
