// Discovery roots and path lookups. All comparisons are on normal-form paths
// (ASCII letters lowered, one trailing backslash removed), unit by unit.
#include "discovery/discovery_paths.h"

#include <algorithm>

#include "platform/path_form.h"
#include "platform/native_system.h"
#include "platform/platform.h"

namespace baseline {
namespace {

// The form a path is compared with a Program Files directory in: ASCII
// letter case and runs of separators aside, but a trailing backslash kept,
// so that C:\Program Files\ is not the directory itself. A path the walk
// built ends in a name, so its normal form is that form already; `other`
// holds the form when it is not.
const std::u16string& programFilesForm(LookupPath path, std::u16string& other) {
    if (path.path.empty() || path.path.back() != u'\\') return path.normal;
    other = lowerAscii(collapseSeparators(path.path));
    return other;
}

}  // namespace

bool PrefixSet::ensureBuilt(Platform& platform, const std::vector<std::u16string>& list) {
    if (!elements_.empty()) return true;
    for (const auto& entry : list) {
        std::u16string expanded;
        if (!expandPath(platform, entry, expanded)) return false;
        // The empty path begins every path: an entry without a path would
        // allow, or make immutable, everything. It stands for nothing.
        std::u16string normal = normalizePath(expanded);
        if (!normal.empty()) elements_.insert(std::move(normal));
    }
    return true;
}

bool PrefixSet::matchesPrefixOf(const std::u16string& normalPath) const {
    return std::any_of(elements_.begin(), elements_.end(), [&](const std::u16string& element) {
        return normalPath.size() >= element.size() &&
               normalPath.compare(0, element.size(), element) == 0;
    });
}

DiscoveryPaths::DiscoveryPaths(Platform& platform, const BaselineConfig& config)
    : platform_(platform), config_(config) {}

bool DiscoveryPaths::readSystemDrive(std::u16string& systemDrive) {
    return baseline::readSystemDrive(platform_, systemDrive);
}

bool DiscoveryPaths::buildRoots(const std::u16string& systemDrive, std::vector<std::u16string>& roots) {
    roots.clear();
    if (config_.discoveryMode == "osdrive") {
        roots.push_back(systemDrive);
        return true;
    }
    if (config_.discoveryMode == "all") {
        // A and B are floppy letters by tradition and never asked.
        for (char16_t letter = u'C'; letter <= u'Z'; ++letter) {
            const std::u16string drive{letter, u':'};
            if (platform_.getDriveType(drive) == kDriveFixed) roots.push_back(drive);
        }
        return true;
    }
    if (config_.discoveryMode == "custom") {
        roots = config_.customDiscoveryPaths;
        return true;
    }
    return false;
}

bool DiscoveryPaths::isExcluded(const std::u16string& path) const {
    const std::u16string normal = normalizePath(path);
    return isExcluded(LookupPath{path, normal});
}

bool DiscoveryPaths::isExcluded(LookupPath path) const {
    return path.path.empty() || config_.excludedPaths.count(path.normal) != 0;
}

bool DiscoveryPaths::isUnderAllowedDirectory(const std::u16string& path) {
    const std::u16string normal = normalizePath(path);
    return isUnderAllowedDirectory(LookupPath{path, normal});
}

bool DiscoveryPaths::isUnderAllowedDirectory(LookupPath path) {
    if (!allowedSet_.ensureBuilt(platform_, config_.allowedDirectories)) return false;
    return allowedSet_.matchesPrefixOf(path.normal);
}

bool DiscoveryPaths::isUnderImmutableDirectory(PrefixSet& set,
                                               const std::vector<std::u16string>& immutableList,
                                               const std::u16string& path, bool& under) {
    const std::u16string normal = normalizePath(path);
    return isUnderImmutableDirectory(set, immutableList, LookupPath{path, normal}, under);
}

bool DiscoveryPaths::isUnderImmutableDirectory(PrefixSet& set,
                                               const std::vector<std::u16string>& immutableList,
                                               LookupPath path, bool& under) {
    under = false;
    if (immutableList.empty()) return true;
    if (!set.ensureBuilt(platform_, immutableList)) return false;
    under = set.matchesPrefixOf(path.normal);
    return true;
}

bool DiscoveryPaths::isFirstLevelParent(const std::u16string& path) const {
    const std::u16string normal = normalizePath(path);
    return isFirstLevelParent(LookupPath{path, normal});
}

bool DiscoveryPaths::isFirstLevelParent(LookupPath path) const {
    return config_.allowedFirstLevelSubdirectories.count(path.normal) != 0;
}

bool DiscoveryPaths::matchesProgramFiles(ProgramFilesDirectory& directory, const char16_t* variable,
                                         const std::u16string& compared) {
    if (directory.expanded.empty()) {
        if (!expandPath(platform_, variable, directory.expanded)) return true;
        directory.compared = lowerAscii(collapseSeparators(directory.expanded));
    }
    return !directory.expanded.empty() && compared == directory.compared;
}

bool DiscoveryPaths::isProgramFilesDirectory(const std::u16string& path) {
    const std::u16string normal = normalizePath(path);
    return isProgramFilesDirectory(LookupPath{path, normal});
}

bool DiscoveryPaths::isProgramFilesDirectory(LookupPath path) {
    std::u16string other;
    const std::u16string& compared = programFilesForm(path, other);
    // The native directory's variable only matters until the buffer is
    // filled, so the system is asked only until then.
    const char16_t* native = !nativeProgramFiles_.expanded.empty() ? u""
                             : is64BitSystem(platform_)             ? u"%PROGRAMW6432%"
                                                                    : u"%PROGRAMFILES%";
    return matchesProgramFiles(nativeProgramFiles_, native, compared) ||
           matchesProgramFiles(x86ProgramFiles_, u"%PROGRAMFILES(X86)%", compared);
}

}  // namespace baseline
