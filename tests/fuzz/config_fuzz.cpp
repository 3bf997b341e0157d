// libFuzzer target over the configuration path: the bytes as a baselineconf.dat
// through the creator's whole load, and the bytes as the JSON text inside one,
// through encryption, decryption, parse and the schema walk, with the checking
// tool's verdict required to agree with the creator's; then the tool's
// commands over the bytes as files, which must end with 0 or 1 and agree too.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "check.h"
#include "cli.h"
#include "config/baseline_config.h"
#include "config/baseline_file.h"
#include "config/config_schema.h"
#include "encode.h"
#include "memory_platform.h"
#include "platform/utf.h"

namespace {

// A machine on which every expansion succeeds (defined variables get long
// values, to cross the 260-unit buffer) and every named path is a directory,
// so that the creator's and the tool's verdicts must be the same.
class EverythingExists final : public baseline::ConfigEnvironment {
public:
    std::u16string toUtf16(const std::string& utf8) override {
        return baseline::decodeUtf8Replacing(utf8.substr(0, utf8.find('\0')));
    }
    bool expand(const std::u16string& path, std::u16string& expanded) override {
        expanded.clear();
        for (char16_t c : path) {
            if (c == u'%') {
                expanded += std::u16string(200, u'x');
            } else {
                expanded.push_back(c);
            }
        }
        return true;
    }
    bool isAccessibleDirectory(const std::u16string& path) override { return !path.empty(); }
};

baseline::testing::MemoryPlatform& machine() {
    static baseline::testing::MemoryPlatform platform;
    static bool scripted = false;
    if (!scripted) {
        platform.environment = {{u"SYSTEMDRIVE", u"C:"}, {u"WINDIR", u"C:\\Windows"},
                                {u"LONG", std::u16string(300, u'L')}};
        platform.fileAttributes[u"C:\\"] = baseline::kFileAttributeDirectory;
        platform.fileAttributes[u"C:\\Windows"] = baseline::kFileAttributeDirectory;
        scripted = true;
    }
    platform.calls.clear();
    platform.expansions.clear();
    return platform;
}

// A folder of this process's own for the command runs.
const std::string& workFolder() {
    static const std::string folder = [] {
        const char* base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string name = std::string(base) + "/config_fuzz." + std::to_string(::getpid());
        std::filesystem::create_directories(name);
        return name;
    }();
    return folder;
}

void put(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

int run(std::initializer_list<std::string> arguments, baseline::ConfigEnvironment& environment,
        std::string* printed = nullptr) {
    std::ostringstream out, err;
    const int code = baseline::tool::runBaselineconf(arguments, environment, out, err);
    if (code != 0 && code != 1) std::abort();
    if (printed) *printed = out.str();
    return code;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    auto& platform = machine();

    // The bytes as the file on disk.
    platform.files[u".\\baselineconf.dat"] = input;
    baseline::BaselineConfig fromFile;
    const bool creatorLoadsFile = fromFile.loadBaselineConfig(platform);
    EverythingExists everything;
    baseline::tool::checkDatFile(input, everything);
    {
        baseline::PlatformConfigEnvironment sameMachine(platform);
        if (baseline::tool::checkDatFile(input, sameMachine).loads != creatorLoadsFile) std::abort();
    }

    // The commands, over the bytes as files.
    {
        baseline::PlatformConfigEnvironment sameMachine(machine());
        const std::string folder = workFolder();
        const std::string dat = folder + "/in.dat", json = folder + "/in.json", out = folder + "/out.dat";
        put(dat, input);
        put(json, input);
        const int checked = run({"check", dat}, sameMachine);
        // A byte order mark makes any file JSON, whatever its name.
        if (input.rfind("\xEF\xBB\xBF", 0) != 0 && (checked == 0) != creatorLoadsFile) std::abort();
        run({"decode", dat}, sameMachine);
        run({"check", json}, everything);
        if (run({"encode", json, "-o", out, "--force"}, everything) == 0) {
            // decode -o keeps the bytes; to a terminal it shows hidden
            // characters as escapes, which is the same JSON but not the bytes.
            const std::string back = folder + "/back.json";
            if (run({"decode", out, "-o", back, "--force"}, everything) != 0) std::abort();
            std::ifstream file(back, std::ios::binary);
            const std::string decoded((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            const std::string expected = input.rfind("\xEF\xBB\xBF", 0) == 0 ? input.substr(3) : input;
            if (decoded != expected) std::abort();
        }
    }

    // The bytes as the JSON text: what encode writes must read back.
    const std::string dat = baseline::tool::encryptBaselineText(input);
    std::string back;
    if (!baseline::decryptBaselineText(dat, back) || back != input.substr(0, input.find('\0'))) std::abort();
    platform.files[u".\\baselineconf.dat"] = dat;
    baseline::BaselineConfig loaded;
    loaded.loadBaselineConfig(platform);

    Json::Value root;
    baseline::BaselineConfig walked;
    const bool creator =
        baseline::parseBaselineJson(back, root, nullptr) && baseline::applyBaselineJson(root, everything, walked, nullptr);
    if (baseline::tool::checkJsonText(input, everything).loads != creator) std::abort();
    return 0;
}
