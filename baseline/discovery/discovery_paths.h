// Where discovery looks and how found paths are compared with the configured
// lists: the root list, environment expansion, and the exclusion, allowed,
// immutable, first-level and Program Files lookups with their matching rules.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "config/baseline_config.h"
#include "platform/path_form.h"

namespace baseline {

class Platform;

// A path met by the walk together with its normal form, made once when the
// entry is made: every lookup compares the normal form, so no rule
// normalises the path again.
struct LookupPath {
    const std::u16string& path;
    const std::u16string& normal;
};

// Normal-form paths, filled once from a configured list at the first lookup
// that finds the set empty, then never rebuilt or extended.
class PrefixSet {
public:
    // Builds the set from `list` when it is empty. False when an entry does
    // not expand; the entries inserted before it stay.
    bool ensureBuilt(Platform& platform, const std::vector<std::u16string>& list);
    // True when `normalPath` begins with an element, unit by unit: c:\program
    // matches c:\program files\x as well as c:\program\x.
    bool matchesPrefixOf(const std::u16string& normalPath) const;
    bool contains(const std::u16string& normalPath) const { return elements_.count(normalPath) != 0; }
    bool empty() const { return elements_.empty(); }

private:
    std::set<std::u16string> elements_;
};

class DiscoveryPaths {
public:
    DiscoveryPaths(Platform& platform, const BaselineConfig& config);

    // The system drive, normally a letter and a colon: the first two units of
    // the expansion of %SYSTEMDRIVE%. False when the expansion fails.
    bool readSystemDrive(std::u16string& systemDrive);
    // The roots for the configured mode, in walk order. False for a mode that
    // is none of "osdrive", "all" and "custom" (compared exactly).
    bool buildRoots(const std::u16string& systemDrive, std::vector<std::u16string>& roots);

    // Each lookup takes a path, or a path with its normal form already made.
    bool isExcluded(const std::u16string& path) const;
    bool isExcluded(LookupPath path) const;
    bool isUnderAllowedDirectory(const std::u16string& path);
    bool isUnderAllowedDirectory(LookupPath path);
    // False when `set` had to be built and an entry did not expand; otherwise
    // true, with the answer in `under` (false while `immutableList` is empty).
    bool isUnderImmutableDirectory(PrefixSet& set, const std::vector<std::u16string>& immutableList,
                                   const std::u16string& path, bool& under);
    bool isUnderImmutableDirectory(PrefixSet& set, const std::vector<std::u16string>& immutableList,
                                   LookupPath path, bool& under);
    bool isFirstLevelParent(const std::u16string& path) const;
    bool isFirstLevelParent(LookupPath path) const;
    bool isProgramFilesDirectory(const std::u16string& path);
    bool isProgramFilesDirectory(LookupPath path);

    // One for the walk and one for the build run's configured directories;
    // each is built on its own, at its own first lookup.
    PrefixSet walkImmutableSet;
    PrefixSet buildImmutableSet;

private:
    // One Program Files directory: the expansion of its variable, and that
    // expansion in the form it is compared in (ASCII case and runs of
    // separators aside, a trailing backslash kept), both made once.
    struct ProgramFilesDirectory {
        std::u16string expanded;
        std::u16string compared;
    };
    // Compares with one Program Files directory, expanding it on first use.
    // An expansion failure answers true, as if every path were Program Files.
    bool matchesProgramFiles(ProgramFilesDirectory& directory, const char16_t* variable,
                             const std::u16string& compared);

    Platform& platform_;
    const BaselineConfig& config_;
    PrefixSet allowedSet_;
    ProgramFilesDirectory nativeProgramFiles_;
    ProgramFilesDirectory x86ProgramFiles_;
};

}  // namespace baseline
