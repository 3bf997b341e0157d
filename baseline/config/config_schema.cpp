// The schema walk. Every value is type-tested before JsonCpp converts it, so
// that the walk can go on after a finding and tell the tool everything; the
// creator only looks at the final result.
#include "config/config_schema.h"

#include <json/reader.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>

#include "platform/path_form.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace baseline {
namespace {

constexpr const char16_t* kDefaultFirstLevelParents[] = {
    u"%SYSTEMDRIVE%",
    u"%PROGRAMFILES%",
    u"%PROGRAMFILES(X86)%",
};

constexpr const char16_t* kDefaultAllowedDirectories[] = {
    u"%TEMP%",
    u"%WINDIR%",
    u"%SYSTEMDRIVE%\\Documents and Settings",
    u"%SYSTEMDRIVE%\\Recovery",
    u"%SYSTEMDRIVE%\\System Volume Information",
};

constexpr std::string_view kModeNames[] = {"osdrive", "all", "custom"};
constexpr std::string_view kEntryMembers[] = {"allowed_dir", "mutable", "strict_pub"};

std::string typeName(const Json::Value& value) {
    switch (value.type()) {
        case Json::nullValue: return "null";
        case Json::intValue:
        case Json::uintValue:
        case Json::realValue: return "a number";
        case Json::stringValue: return "a string";
        case Json::booleanValue: return "a boolean";
        case Json::arrayValue: return "an array";
        case Json::objectValue: return "an object";
    }
    return "a value";
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// A value that a top-level switch accepts: empty, a boolean or a number.
bool readsAsSwitch(const Json::Value& value) { return value.empty() || value.isBool() || value.isNumeric(); }

class SchemaWalk {
public:
    SchemaWalk(ConfigEnvironment& environment, BaselineConfig& config, SchemaReport* report)
        : environment_(environment), config_(config), report_(report) {}

    bool run(const Json::Value& root) {
        if (!root.isNull() && !root.isObject()) {
            error(&root, "the configuration is " + typeName(root) + "; it must be a JSON object");
            return false;
        }
        const auto names = keyNames();
        warnUnknownMembers(root, names.begin(), names.end(), "unknown key ");
        for (const KeyStep& step : kKeySteps) {
            // A missing key reads as null: empty, so its default applies.
            const Json::Value& value = root.isObject() ? root[step.key] : Json::Value::nullSingleton();
            (this->*step.apply)(value, root.isObject() && root.isMember(step.key));
        }
        return !failed_;
    }

    // The keys the walk reads, in the order it applies them: the one list
    // of the configuration's keys.
    struct KeyStep {
        const char* key;
        void (SchemaWalk::*apply)(const Json::Value& value, bool present);
    };
    static const KeyStep kKeySteps[8];

    static std::array<std::string_view, std::size(kKeySteps)> keyNames() {
        std::array<std::string_view, std::size(kKeySteps)> names;
        for (std::size_t i = 0; i < names.size(); ++i) names[i] = kKeySteps[i].key;
        return names;
    }

    void immutableForSystem(const Json::Value& value, bool) {
        config_.immutableForSystemDirectory = topLevelSwitch(value, "immutable_for_system_directory", true);
    }

    void allowAppOverridden(const Json::Value& value, bool present) {
        config_.globalAllowAppIfPublisherAllowed = topLevelSwitch(value, "AllowAppIfPublisherAllowed", false);
        if (present && readsAsSwitch(value)) {
            warning(&value, "\"AllowAppIfPublisherAllowed\" has no effect: "
                            "\"global_allow_app_if_publisher_allowed\" always sets the same switch afterwards");
        }
    }

    void globalAllowApp(const Json::Value& value, bool) {
        config_.globalAllowAppIfPublisherAllowed =
            topLevelSwitch(value, "global_allow_app_if_publisher_allowed", false);
    }

private:
    void error(const Json::Value* at, const std::string& message) {
        failed_ = true;
        if (report_) report_->error(at, message);
    }
    void warning(const Json::Value* at, const std::string& message) {
        if (report_) report_->warning(at, message);
    }
    // A fact of this machine rather than of the file. Only where Windows
    // paths cannot be looked at is it left open.
    void machineProblem(const Json::Value* at, const std::string& message) {
        if (report_ && !environment_.seesWindowsPaths()) {
            report_->warning(at, message + " here; Windows paths cannot be looked at on this system, and the "
                                           "creator refuses the file on a machine where that holds");
        } else {
            error(at, message);
        }
    }

    // A tab, line feed or other control character in a path is almost surely
    // a backslash that JSON read as an escape: "C:\temp" holds a tab.
    void warnControlCharacters(const Json::Value& value, const std::string& what) {
        if (!report_ || !value.isString()) return;
        const std::string path = value.asString();
        for (std::size_t i = 0; i < path.size(); ++i) {
            const auto byte = static_cast<unsigned char>(path[i]);
            if (byte >= 0x20 && byte != 0x7F) continue;
            std::string named = "control character " + std::to_string(byte);
            if (byte == 0) named = "zero byte";
            else if (byte == 8) named = "backspace";
            else if (byte == 9) named = "tab";
            else if (byte == 10) named = "line feed";
            else if (byte == 12) named = "form feed";
            else if (byte == 13) named = "carriage return";
            warning(&value, what + " holds a " + named + " at byte " + std::to_string(i + 1) +
                                "; a backslash in JSON starts an escape (\\t is a tab, \\n a line feed): "
                                "write \\\\ for each backslash of a path");
            return;
        }
    }

    template <typename Iterator>
    void warnUnknownMembers(const Json::Value& object, Iterator known, Iterator knownEnd,
                            const std::string& what) {
        if (!report_ || !object.isObject()) return;
        for (auto member = object.begin(); member != object.end(); ++member) {
            const std::string name = member.name();
            if (std::find_if(known, knownEnd, [&](std::string_view k) { return k == name; }) == knownEnd) {
                warning(&*member, what + quoted(name) + " is ignored");
            }
        }
    }

    // Text where the schema wants text: numbers and booleans become the
    // library's asString, null the empty string; arrays and objects fail.
    bool text(const Json::Value& value, const std::string& what, std::u16string& out) {
        std::string narrow;
        if (!narrowText(value, what, narrow)) return false;
        out = environment_.toUtf16(narrow);
        return true;
    }

    bool narrowText(const Json::Value& value, const std::string& what, std::string& out) {
        if (value.isArray() || value.isObject()) {
            error(&value, what + " is " + typeName(value) + "; it must be a string");
            return false;
        }
        if (value.isNumeric() || value.isBool()) {
            warning(&value, what + " is " + typeName(value) + "; it is read as the text " +
                                quoted(value.asString()));
        }
        out = value.asString();
        return true;
    }

    // A boolean where the schema wants one: numbers count as true when not
    // zero, null as false; strings, arrays and objects fail.
    bool boolean(const Json::Value& value, const std::string& what, bool& out) {
        if (value.isString() || value.isArray() || value.isObject()) {
            error(&value, what + " is " + typeName(value) + "; it must be true or false");
            return false;
        }
        out = value.asBool();
        return true;
    }

    // An empty value (absent, null, [] or {}) takes the default.
    bool topLevelSwitch(const Json::Value& value, const char* key, bool byDefault) {
        if (value.empty()) return byDefault;
        bool result = byDefault;
        boolean(value, quoted(key), result);
        return result;
    }

    bool expand(const Json::Value* at, const std::string& what, const std::u16string& path,
                std::u16string& expanded) {
        if (environment_.expand(path, expanded)) return true;
        machineProblem(at, what + " " + quoted(encodeUtf8(path)) + ": its environment variables cannot be expanded");
        return false;
    }

    static std::string element(const char* key, Json::ArrayIndex index) {
        return quoted(key) + " entry " + std::to_string(index + 1);
    }

    void pathsToDiscover(const Json::Value& value, bool) {
        if (value.empty()) {
            config_.discoveryMode = "osdrive";
        } else if (value.isString()) {
            config_.discoveryMode = value.asString();
            if (config_.discoveryMode == "custom") {
                warning(&value, "\"paths_to_discover\" \"custom\" given as a string names no directory, so the "
                                "run walks nothing; give the directories as an array of strings");
            } else if (std::find(std::begin(kModeNames), std::end(kModeNames), config_.discoveryMode) ==
                       std::end(kModeNames)) {
                warning(&value, "\"paths_to_discover\" " + quoted(config_.discoveryMode) +
                                    " is none of \"osdrive\", \"all\" and \"custom\"; the configuration loads, "
                                    "but the run will discover nothing and fail");
            }
        } else if (value.isArray()) {
            config_.discoveryMode = "custom";
            for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
                const Json::Value& entry = value[i];
                warnControlCharacters(entry, element("paths_to_discover", i));
                std::u16string path, expanded;
                const std::string what = element("paths_to_discover", i);
                if (!text(entry, what, path) || !expand(&entry, what, path, expanded)) continue;
                if (!environment_.isAccessibleDirectory(expanded)) {
                    config_.customDiscoveryPaths.clear();
                    if (expanded.empty()) {
                        error(&entry, element("paths_to_discover", i) + " is empty; it must name a directory");
                    } else {
                        machineProblem(&entry, element("paths_to_discover", i) + " " + quoted(encodeUtf8(path)) +
                                                   " is not an existing, accessible directory");
                    }
                    continue;
                }
                config_.customDiscoveryPaths.push_back(expanded);
            }
        } else {
            warning(&value, "\"paths_to_discover\" is " + typeName(value) +
                                "; it is ignored and no discovery mode is set, so the run will fail");
        }
    }

    void pathsExcluded(const Json::Value& value, bool) {
        if (!value.isArray()) {
            if (!value.empty()) {
                warning(&value, "\"paths_excluded_from_discovery\" is " + typeName(value) +
                                    ", not an array; it is ignored");
            }
            return;
        }
        for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
            warnControlCharacters(value[i], element("paths_excluded_from_discovery", i));
            std::u16string path, expanded;
            if (!text(value[i], element("paths_excluded_from_discovery", i), path) ||
                !expand(&value[i], element("paths_excluded_from_discovery", i), path, expanded)) {
                continue;
            }
            config_.excludedPaths.insert(normalizePath(expanded));
        }
    }

    void firstLevelParents(const Json::Value& value, bool) {
        struct Entry {
            const Json::Value* at;
            std::u16string path;
        };
        std::vector<Entry> entries;
        if (value.isArray() && !value.empty()) {
            for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
                warnControlCharacters(value[i], element("allowed_first_level_subdirectories", i));
                std::u16string path;
                if (text(value[i], element("allowed_first_level_subdirectories", i), path)) {
                    entries.push_back({&value[i], path});
                }
            }
        } else {
            if (!value.empty()) {
                warning(&value, "\"allowed_first_level_subdirectories\" is " + typeName(value) +
                                    ", not an array; the defaults are used");
            }
            // Both Program Files directories: %PROGRAMFILES% is the native
            // one in either program, as in every configured path.
            for (const char16_t* path : kDefaultFirstLevelParents) entries.push_back({nullptr, path});
        }
        for (const auto& entry : entries) {
            std::u16string expanded;
            if (!environment_.expand(entry.path, expanded)) {
                // Undefined on 32-bit Windows; its absence must not stop a run.
                if (lowerAscii(entry.path) == u"%programfiles(x86)%") continue;
                machineProblem(entry.at, std::string(entry.at ? "an \"allowed_first_level_subdirectories\" entry"
                                                              : "the default first-level parent") +
                                             " " + quoted(encodeUtf8(entry.path)) +
                                             ": its environment variables cannot be expanded");
                continue;
            }
            config_.allowedFirstLevelSubdirectories.insert(normalizePath(expanded));
        }
    }

    void publishers(const Json::Value& value, bool) {
        if (!value.isArray() && !value.isObject()) {
            if (!value.empty()) {
                warning(&value, "\"allowed_publishers\" is " + typeName(value) +
                                    ", not an array or object; it is ignored");
            }
            return;
        }
        Json::ArrayIndex index = 0;
        for (const Json::Value& name : value) {
            std::u16string publisher;
            if (text(name, element("allowed_publishers", index++), publisher)) {
                config_.allowedPublishers.push_back(publisher);
            }
        }
    }

    void allowedDirectories(const Json::Value& value, bool) {
        if (value.empty()) {
            for (const char16_t* directory : kDefaultAllowedDirectories) {
                config_.allowedDirectories.push_back(directory);
                config_.immutableDirectories.push_back(directory);
                // Expanded like a configured entry, so that the build run's
                // lookup with expanded paths can find it.
                std::u16string expanded;
                if (expand(nullptr, "the default allowed directory", directory, expanded)) {
                    config_.nonStrictPublisherDirectories.push_back(normalizePath(expanded));
                }
            }
            return;
        }
        if (!value.isArray() && !value.isObject()) {
            warning(&value, "\"allowed_directories\" is " + typeName(value) +
                                ", not an array or object; no directory is allowed, not even the defaults");
            return;
        }
        Json::ArrayIndex index = 0;
        for (const Json::Value& entry : value) {
            const std::string what = element("allowed_directories", index++);
            if (!entry.isObject() && !entry.isNull()) {
                error(&entry, what + " is " + typeName(entry) + "; each entry must be an object");
                continue;
            }
            warnUnknownMembers(entry, std::begin(kEntryMembers), std::end(kEntryMembers),
                               what + ": unknown member ");
            const Json::Value& allowedDir = entry["allowed_dir"];
            if (!entry.isMember("allowed_dir") || allowedDir.isNull()) {
                warning(&entry, what + " has no \"allowed_dir\"; an entry without a path has no effect");
            } else if (allowedDir.isString() && allowedDir.asString().empty()) {
                warning(&allowedDir, what + " \"allowed_dir\" is empty; an entry without a path has no effect");
            }
            warnControlCharacters(allowedDir, what + " \"allowed_dir\"");
            std::u16string directory;
            bool isMutable = false, strictPublisher = false;
            const bool ok = text(entry["allowed_dir"], what + " \"allowed_dir\"", directory) &&
                            boolean(entry["mutable"], what + " \"mutable\"", isMutable) &&
                            boolean(entry["strict_pub"], what + " \"strict_pub\"", strictPublisher);
            if (!ok) continue;
            config_.allowedDirectories.push_back(directory);
            if (!isMutable) config_.immutableDirectories.push_back(directory);
            if (!strictPublisher) {
                std::u16string expanded;
                if (expand(&entry["allowed_dir"], what + " \"allowed_dir\"", directory, expanded)) {
                    config_.nonStrictPublisherDirectories.push_back(normalizePath(expanded));
                }
            }
        }
    }

    ConfigEnvironment& environment_;
    BaselineConfig& config_;
    SchemaReport* report_;
    bool failed_ = false;
};

}  // namespace

const SchemaWalk::KeyStep SchemaWalk::kKeySteps[8] = {
    {"paths_to_discover", &SchemaWalk::pathsToDiscover},
    {"paths_excluded_from_discovery", &SchemaWalk::pathsExcluded},
    {"immutable_for_system_directory", &SchemaWalk::immutableForSystem},
    {"AllowAppIfPublisherAllowed", &SchemaWalk::allowAppOverridden},
    {"allowed_first_level_subdirectories", &SchemaWalk::firstLevelParents},
    {"allowed_publishers", &SchemaWalk::publishers},
    {"global_allow_app_if_publisher_allowed", &SchemaWalk::globalAllowApp},
    {"allowed_directories", &SchemaWalk::allowedDirectories},
};

bool parseBaselineJson(const std::string& text, Json::Value& root, std::string* errors) {
    const Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string messages;
    const bool parsed = reader->parse(text.data(), text.data() + text.size(), &root, &messages);
    if (!parsed && errors) *errors = messages;
    return parsed;
}

std::u16string PlatformConfigEnvironment::toUtf16(const std::string& utf8) {
    return utf8ToUtf16(platform_, utf8);
}

bool PlatformConfigEnvironment::expand(const std::u16string& path, std::u16string& expanded) {
    return expandPath(platform_, path, expanded);
}

bool PlatformConfigEnvironment::isAccessibleDirectory(const std::u16string& path) {
    const std::uint32_t attributes = native_.getFileAttributes(path);
    return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) &&
           native_.waccess(path, 0) == 0;
}

bool applyBaselineJson(const Json::Value& root, ConfigEnvironment& environment, BaselineConfig& config,
                       SchemaReport* report) {
    return SchemaWalk(environment, config, report).run(root);
}

}  // namespace baseline
