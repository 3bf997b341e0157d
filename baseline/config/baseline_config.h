// The baseline configuration record that a run reads from baselineconf.dat,
// with the built-in defaults that stand in for absent keys.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace baseline {

class Platform;
struct FailureCause;

struct BaselineConfig {
    std::string discoveryMode;                                 // "osdrive", "all", "custom" or as given
    std::vector<std::u16string> customDiscoveryPaths;          // expanded, in file order
    std::set<std::u16string> excludedPaths;                    // normalised
    std::vector<std::u16string> allowedPublishers;             // as given, duplicates kept
    std::vector<std::u16string> allowedDirectories;            // as given, not expanded
    std::set<std::u16string> allowedFirstLevelSubdirectories;  // normalised
    std::vector<std::u16string> immutableDirectories;          // as given, not expanded
    std::vector<std::u16string> nonStrictPublisherDirectories; // expanded and normalised
    bool globalAllowAppIfPublisherAllowed = false;
    bool immutableForSystemDirectory = true;  // every load sets it
    // The initial "mutable" of every allowed directory and publisher the build
    // run records. No key sets it; true so that a configured "mutable": true
    // can come out mutable (false would make the member meaningless).
    bool defaultMutable = true;

    // Reads .\baselineconf.dat, deciphers and parses it and applies the keys.
    // True when the whole configuration was read and applied; prints nothing,
    // and after a failure the fields hold no meaning and `cause`, when given,
    // says why: the file, the place in its text, the system's reason.
    bool loadBaselineConfig(Platform& platform, FailureCause* cause = nullptr);
};

// UTF-8 to UTF-16 through MultiByteToWideChar (CP_UTF8, no flags), up to the
// first zero byte; empty when the conversion fails.
std::u16string utf8ToUtf16(Platform& platform, const std::string& utf8);

}  // namespace baseline
