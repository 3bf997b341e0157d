// The configuration's JSON schema as code: parsing the text exactly as the
// allowlist creator does, and one walk over the parsed value that fills a
// BaselineConfig. The creator and the baselineconf tool both run this walk;
// the tool also listens to what it reports.
#pragma once

#include <json/value.h>

#include <string>

#include "config/baseline_config.h"
#include "platform/native_paths.h"

namespace baseline {

class Platform;

// Parses with a Json::CharReaderBuilder left at its defaults. On failure
// `errors` (when given) receives the library's text, with line and column.
bool parseBaselineJson(const std::string& text, Json::Value& root, std::string* errors);

// What the walk needs from the machine it runs on.
class ConfigEnvironment {
public:
    virtual ~ConfigEnvironment() = default;
    virtual std::u16string toUtf16(const std::string& utf8) = 0;
    // Expanded environment variables; false when the expansion fails.
    virtual bool expand(const std::u16string& path, std::u16string& expanded) = 0;
    // An existing directory that the C runtime's existence test passes.
    virtual bool isAccessibleDirectory(const std::u16string& path) = 0;
    // The answers above are those of a Windows machine the creator may run
    // on, so a failing expansion or a missing path fails the load there; a
    // host that cannot look at Windows paths answers false.
    virtual bool seesWindowsPaths() const { return true; }
};

// The environment of a real run: the platform's expansion, attributes and
// existence test.
class PlatformConfigEnvironment final : public ConfigEnvironment {
public:
    explicit PlatformConfigEnvironment(Platform& platform) : platform_(platform), native_(platform) {}
    std::u16string toUtf16(const std::string& utf8) override;
    bool expand(const std::u16string& path, std::u16string& expanded) override;
    bool isAccessibleDirectory(const std::u16string& path) override;
    // Set when a directory could not be looked at natively: then that, and
    // not the directory, is why it failed.
    const NativePaths& native() const { return native_; }

private:
    Platform& platform_;
    NativePaths native_;  // the directories the walk will list, as a native process sees them
};

// Findings of the walk, each at the JSON value it concerns (null when the
// value is absent, e.g. a default).
class SchemaReport {
public:
    virtual ~SchemaReport() = default;
    // The creator would fail to load the configuration because of this.
    virtual void error(const Json::Value* at, const std::string& message) = 0;
    // It loads, but this is probably not what was meant.
    virtual void warning(const Json::Value* at, const std::string& message) = 0;
};

// Applies the keys in their fixed order. Returns true when the creator would
// have loaded the configuration. A fact of this machine (an expansion that
// fails, a custom path that is not an accessible directory) fails the walk as
// in a real run, unless the environment cannot see Windows paths and a report
// listens: then it is a warning that says the path could not be looked at.
bool applyBaselineJson(const Json::Value& root, ConfigEnvironment& environment, BaselineConfig& config,
                       SchemaReport* report);

}  // namespace baseline
