// ExecutableFileRecord: path splitting, the last-write time, and the
// read-once signer and version requests.
#include "fileidentity/executable_file_record.h"

#include <utility>

#include "platform/native_paths.h"

namespace baseline {

bool ExecutableFileRecord::setPath(const std::u16string& path) {
    if (path.empty()) {
        lastStatus = kStatusPathNotSplittable;
        return false;
    }
    const auto backslash = path.rfind(u'\\');
    if (backslash != std::u16string::npos && backslash + 1 < path.size()) {
        fullPath = path;
        directoryPath = path.substr(0, backslash + 1);
        fileName = path.substr(backslash + 1);
        lastStatus = 0;
        return true;
    }
    // A drive root (C:\ or C:) is its own name, with no directory part.
    const auto colon = path.rfind(u':');
    if (colon == 1) {
        fullPath = path;
        directoryPath.clear();
        fileName = path;
        lastStatus = 0;
        return true;
    }
    lastStatus = kStatusPathNotSplittable;
    return false;
}

bool ExecutableFileRecord::setProperties(std::int32_t attributes_, std::int32_t id_, std::int32_t parentId_,
                                         std::int32_t onSystemDrive_, std::int32_t allowState_, bool isMutable_,
                                         bool isDefault_, std::int32_t kind_, const FileFacts* facts) {
    attributes = attributes_;
    id = id_;
    parentId = parentId_;
    onSystemDrive = onSystemDrive_;
    allowState = allowState_;
    isMutable = isMutable_;
    isDefault = isDefault_;
    kind = kind_;
    if (facts == nullptr) {
        if (!native_.lastWriteTime(fullPath, modifiedTime)) modifiedTime = 0;
        return true;
    }
    modifiedTime = facts->modifiedTime;
    if (!facts->identityRead) return true;
    signerRead = versionRead = true;
    signerStatus = facts->signerStatus;
    signer = facts->signer;
    versionStatus = facts->versionStatus;
    versionStrings = facts->versionStrings;
    return true;
}

FileFacts readFileFacts(NativePaths& native, const std::u16string& path, bool executable) {
    FileFacts facts;
    ExecutableFileRecord record(native);
    record.fullPath = path;
    record.setProperties(0, 0, -1, 0, 0, false, false, executable ? kKindApplication : kKindDirectory);
    facts.modifiedTime = record.modifiedTime;
    if (executable) {
        SignerInfo signer;
        record.getSigner(signer);
    }
    if (native.redirectionFailed()) facts.redirection = FileFacts::Redirection::failedBeforeWrite;
    if (executable) {
        FileVersionStrings strings;
        record.getVersionStrings(strings);
        facts.identityRead = true;
        facts.signerStatus = record.signerStatus;
        facts.signer = std::move(record.signer);
        facts.versionStatus = record.versionStatus;
        facts.versionStrings = std::move(record.versionStrings);
    }
    if (native.redirectionFailed()) {
        if (facts.redirection == FileFacts::Redirection::held) facts.redirection = FileFacts::Redirection::failedAfterWrite;
        facts.redirectionCause = native.redirectionCause();
    }
    return facts;
}

bool ExecutableFileRecord::getSigner(SignerInfo& out) {
    if (!signerRead) {
        signerRead = true;
        // A reader that fails must not leave a status that claims success.
        if (!native_.readSignerInfo(fullPath, signer, signerStatus) && signerStatus == 0) {
            signerStatus = kStatusIdentityUnavailable;
        }
    }
    lastStatus = signerStatus;
    if (signerStatus != 0) return false;
    out = signer;
    return true;
}

bool ExecutableFileRecord::getVersionStrings(FileVersionStrings& out) {
    if (!versionRead) {
        versionRead = true;
        if (!native_.readVersionStrings(fullPath, versionStrings, versionStatus) &&
            versionStatus == 0) {
            versionStatus = kStatusIdentityUnavailable;
        }
    }
    lastStatus = versionStatus;
    if (versionStatus != 0) return false;
    out = versionStrings;
    return true;
}

}  // namespace baseline
