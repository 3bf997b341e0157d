// libFuzzer target over baselinedoc: the bytes as an allowlist document (or,
// when the first byte asks for it, as one element repeated into a large
// document, so that costs per element show) through the reader, check,
// summary, diff and report, as functions and as the command line. It stops
// when:
//   - a command ends with another exit value than its own (check 0 or 1,
//     summary 0 or 1, diff of a file with itself 0 when complete, else 2);
//   - a text output holds a raw control, bidirectional or invisible character
//     of the document (line feeds and the tools' own tabs excepted);
//   - a complete document is not the same as itself in a diff;
//   - the report's data is no JSON, holds a raw hidden character, or (for a
//     document check accepts) a time the page cannot draw;
//   - diff --json of a document check accepts, against itself or the worked
//     example either way round, is not UTF-8 text of one JSON object;
//   - the heap grows beyond a fixed multiple of the input, measured by the
//     sanitizer's allocation hooks.
#include <sanitizer/allocator_interface.h>

#include <json/json.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "baselinedoc/cli.h"
#include "../host/document_text.h"
#include "diff.h"
#include "document.h"
#include "platform/utf.h"
#include "platform/visible_text.h"
#include "report.h"
#include "summary.h"

namespace {

std::atomic<std::int64_t> liveBytes{0}, peakBytes{0};

void onMalloc(const volatile void*, std::size_t size) {
    const std::int64_t now = liveBytes += static_cast<std::int64_t>(size);
    std::int64_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
}
void onFree(const volatile void* pointer) {
    liveBytes -= static_cast<std::int64_t>(__sanitizer_get_allocated_size(const_cast<const void*>(pointer)));
}

const std::string& workFolder() {
    static const std::string folder = [] {
        const char* base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string name = std::string(base) + "/doc_fuzz." + std::to_string(::getpid());
        std::filesystem::create_directories(name);
        return name;
    }();
    return folder;
}

void put(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

// Whether `text` (UTF-8 or not) holds a hidden character other than the line
// feeds and tabs the tools print themselves.
bool showsHidden(const std::string& text) {
    const std::u16string units = baseline::decodeUtf8Replacing(text);
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u == u'\n' || u == u'\t') continue;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            const char32_t code = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00);
            ++i;
            if (baseline::isHiddenCharacter(code)) return true;
            continue;
        }
        if (baseline::isHiddenCharacter(u)) return true;  // a lone surrogate too
    }
    return false;
}

int run(std::initializer_list<std::string> arguments, std::string& printed) {
    std::ostringstream out, err;
    const int code = baseline::doc::runBaselinedoc(arguments, out, err);
    printed = out.str() + err.str();
    if (showsHidden(printed)) std::abort();
    return code;
}

// The input itself, or (first byte 0x01, then a count byte) the rest as one
// element of the files array repeated up to a few megabytes.
std::string documentOf(const std::string& input) {
    if (input.size() < 3 || input[0] != '\x01') return input;
    const std::string element = input.substr(2);
    const std::size_t copies = 1 + static_cast<unsigned char>(input[1]) * (1u << 22) / 255 / (element.size() + 1);
    std::string text = "{\"inventoryinfo\":{},\"inventory\":{\"files\":[";
    text.reserve(text.size() + copies * (element.size() + 1) + 8);
    for (std::size_t i = 0; i < copies; ++i) {
        if (i) text += ',';
        text += element;
    }
    return text + "]}}";
}

// UTF-8 text of one JSON object, read strictly.
bool jsonObjectText(const std::string& text) {
    std::u16string units;
    if (!baseline::decodeUtf8(text, units)) return false;
    Json::CharReaderBuilder strict;
    Json::CharReaderBuilder::strictMode(&strict.settings_);
    Json::Value root;
    std::istringstream in(text);
    return Json::parseFromStream(strict, in, &root, nullptr) && root.isObject();
}

// JavaScript's Date holds ±8.64e15 ms.
bool drawableTime(const Json::Value& seconds) {
    return seconds.isNumeric() && seconds.asDouble() * 1000.0 <= 8.64e15 && seconds.asDouble() * 1000.0 >= -8.64e15;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = documentOf(std::string(reinterpret_cast<const char*>(data), size));
    const std::int64_t before = liveBytes.load();
    peakBytes = before;
    bool complete = false;
    {
        baseline::doc::Document document;
        baseline::doc::readDocument(text, document);
        complete = document.complete();

        std::ostringstream summary;
        baseline::doc::printSummary("doc.json", document, summary);
        if (showsHidden(summary.str())) std::abort();

        const baseline::doc::DocumentDiff self = baseline::doc::compareDocuments(document, document);
        if (complete && !self.same()) std::abort();
        std::ostringstream diff;
        baseline::doc::printDiff("a", "b", self, diff);
        if (showsHidden(diff.str())) std::abort();

        std::ostringstream page;
        baseline::doc::writeReport("doc.json", document, page);
        const std::string html = page.str();
        const std::string open = "<script type=\"application/json\" id=\"data\">";
        const std::size_t start = html.find(open) + open.size();
        const std::string json = html.substr(start, html.find("</script>", start) - start);
        if (json.find('<') != std::string::npos || showsHidden(json)) std::abort();
        Json::Value root;
        std::istringstream in(json);
        if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr)) std::abort();
        if (complete) {
            for (const Json::Value& row : root["executables"]) {
                if (!drawableTime(row[7])) std::abort();
            }
            static const std::string workedText = baseline::testing::workedExample();
            static baseline::doc::Document worked;
            if (worked.bytes.empty()) baseline::doc::readDocument(workedText, worked);
            const baseline::doc::Document* pairs[][2] = {{&document, &document}, {&document, &worked}, {&worked, &document}};
            for (const auto& pair : pairs) {
                std::ostringstream json;
                baseline::doc::printDiffJson("a", "b", baseline::doc::compareDocuments(*pair[0], *pair[1]), json);
                if (!jsonObjectText(json.str()) || showsHidden(json.str())) std::abort();
            }
        }
    }
    // What reading, checking, comparing and rendering hold at their peak is
    // bounded by the document's size, whatever its shape.
    const std::int64_t grown = peakBytes.load() - before;
    if (grown > 64 * static_cast<std::int64_t>(text.size()) + (64 << 20)) {
        std::fprintf(stderr, "doc_fuzz: a document of %zu bytes made the heap grow by %lld bytes\n", text.size(),
                     static_cast<long long>(grown));
        std::abort();
    }

    // The command line over the bytes as files (the functions above have had
    // the scaled documents; here the sanitizers would make them too slow).
    if (text.size() > (1u << 16)) return 0;
    const std::string folder = workFolder();
    const std::string doc = folder + "/in.json", report = folder + "/out.html";
    put(doc, text);
    std::string printed;
    const int checked = run({"check", doc}, printed);
    if (checked != (complete ? 0 : 1)) std::abort();
    if (run({"summary", doc}, printed) != 0) std::abort();
    if (run({"diff", doc, doc}, printed) != (complete ? 0 : 2)) std::abort();
    if (run({"report", doc, "-o", report, "--force"}, printed) != 0) std::abort();
    return 0;
}
