// Loading the configuration: file, decryption, parse, then the schema walk.
// Nothing escapes as an exception and nothing is printed; a failure says why
// in one cause.
#include "config/baseline_config.h"

#include <json/value.h>

#include <exception>
#include <new>
#include <vector>

#include "config/baseline_file.h"
#include "config/config_diagnosis.h"
#include "config/config_schema.h"
#include "platform/failure_cause.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace baseline {

namespace {

constexpr char16_t kFileName[] = u"baselineconf.dat";
constexpr char16_t kEveryFinding[] = u" (baselineconf check baselineconf.dat lists every finding)";

// A place in the JSON text inside the file, which is not the file's own text.
std::u16string placed(const TextPlace& place, const std::string& message) {
    const std::string where = place.line != 0 ? decodedJsonPlace(place) + ": " : "";
    return std::u16string(kFileName) + u": " + decodeUtf8Replacing(where + message) + kEveryFinding;
}

// The file's bytes as they lie on disk. The load read it in text mode, which
// hides the CR of a CR LF, so a diagnosis reads it again; should that fail,
// the text-mode content stands in.
std::string diskBytes(Platform& platform, const std::string& content) {
    std::string bytes;
    if (!readBaselineFileBytes(platform, bytes)) bytes = content;
    return bytes;
}

// Keeps the schema walk's first error, at its place in the JSON text.
class FirstError final : public SchemaReport {
public:
    explicit FirstError(const std::string& text) : text_(text) {}
    void error(const Json::Value* at, const std::string& message) override {
        if (cause.known()) return;
        TextPlace place;
        if (at != nullptr) place = placeOf(text_, static_cast<std::size_t>(at->getOffsetStart()));
        cause.text = placed(place, message);
    }
    void warning(const Json::Value*, const std::string&) override {}

    FailureCause cause;

private:
    const std::string& text_;
};

}  // namespace

bool BaselineConfig::loadBaselineConfig(Platform& platform, FailureCause* cause) {
    FailureCause unused;
    FailureCause& why = cause != nullptr ? *cause : unused;
    try {
        std::string content;
        if (!readBaselineFile(platform, content)) {
            const std::uint32_t error = platform.getLastError();
            const std::u16string folder = platform.getCurrentDirectory();
            const bool missing = error == kErrorFileNotFound || error == kErrorPathNotFound;
            why = causeWithSystemError(platform,
                                       missing ? std::u16string(kFileName) + u" was not found in " + folder
                                               : std::u16string(kFileName) + u" in " + folder + u" could not be read",
                                       error);
            return false;
        }
        std::string json;
        DecryptFacts facts;
        const DecryptOutcome outcome = decryptBaselineTextDetailed(content, json, &facts);
        if (outcome != DecryptOutcome::ok) {
            why.text = std::u16string(kFileName) + u": " +
                       decodeUtf8Replacing(datDecodeFailure(diskBytes(platform, content), outcome, facts));
            return false;
        }
        // every deciphered byte before the pad
        const std::string text =
            facts.plaintext.substr(0, facts.plaintext.size() - static_cast<unsigned char>(facts.plaintext.back()));
        // One changed character garbles a whole cipher block, and another key
        // garbles all of them: then no message of the parse is the reason.
        // Wrong form (a line break, a stray byte) can still decipher to
        // something, and is then the reason before either.
        const bool damaged = firstNonText(text) != std::string::npos;
        const auto unlessForm = [&](FailureCause otherwise) {
            const DatFormMistake mistake = datFormMistake(diskBytes(platform, content));
            if (mistake.form == DatForm::base64) return otherwise;
            return FailureCause{std::u16string(kFileName) + u": " + decodeUtf8Replacing(mistake.phrase)};
        };
        const FailureCause damage{std::u16string(kFileName) +
                                  u" is damaged or was made with another key: its deciphered content is not text" +
                                  kEveryFinding};
        Json::Value root;
        std::string messages;
        if (!parseBaselineJson(json, root, &messages)) {
            const ParseError error = firstParseError(messages);
            why = unlessForm(damaged ? damage : FailureCause{placed(error.place, error.message)});
            return false;
        }
        PlatformConfigEnvironment environment(platform);
        FirstError report(json);
        if (!applyBaselineJson(root, environment, *this, &report)) {
            if (environment.native().redirectionFailed()) {
                why = environment.native().redirectionCause();
            } else {
                why = damaged ? unlessForm(damage) : report.cause.known() ? report.cause : damage;
            }
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        why.text = std::u16string(kFileName) + u" could not be loaded: there is not enough memory";
    } catch (const std::exception& e) {
        why.text = std::u16string(kFileName) + u" could not be loaded: " + decodeUtf8Replacing(e.what());
    } catch (...) {
        why.text = std::u16string(kFileName) + u" could not be loaded";
    }
    return false;
}

std::u16string utf8ToUtf16(Platform& platform, const std::string& utf8) {
    const int needed = platform.multiByteToWideCharTerminated(kCodePageUtf8, 0, utf8.c_str(), nullptr, 0);
    if (needed <= 0) return {};
    std::vector<char16_t> buffer(static_cast<std::size_t>(needed));
    if (platform.multiByteToWideCharTerminated(kCodePageUtf8, 0, utf8.c_str(), buffer.data(), needed) == 0) {
        return {};
    }
    return std::u16string(buffer.data());
}

}  // namespace baseline
