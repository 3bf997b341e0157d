// One discovered directory or executable on its way into the document: its
// split path, the values the walk decided for it, its last-write time, and its
// signer and version strings, each read from the file at most once and only
// when first asked for.
#pragma once

#include <cstdint>
#include <string>

#include "platform/failure_cause.h"
#include "platform/file_identity_records.h"

namespace baseline {

class NativePaths;

constexpr std::int32_t kKindApplication = 1;
constexpr std::int32_t kKindDirectory = 2;

// What a record reads of its file (the last-write time, and of an executable
// the signer and the version strings), read in the record's order by whichever
// thread, ahead of the recording. A call that WOW64 redirection could not be
// turned off for ends the reads, as it does in the record: `redirection` tells
// whether that came before the record is written (the time or the signer) or
// after (the version strings, which the writer asks for).
struct FileFacts {
    enum class Redirection { held, failedBeforeWrite, failedAfterWrite };
    std::int64_t modifiedTime = 0;
    bool identityRead = false;  // the signer and version fields below were read
    std::int32_t signerStatus = 0;
    std::int32_t versionStatus = 0;
    SignerInfo signer;
    FileVersionStrings versionStrings;
    Redirection redirection = Redirection::held;
    FailureCause redirectionCause;
};

// Reads `path` as a record of an executable (`executable`) or a directory
// would, through `native`, which must not have failed before.
FileFacts readFileFacts(NativePaths& native, const std::u16string& path, bool executable);

class ExecutableFileRecord {
public:
    // Every fact of the file is read as a native process sees it.
    explicit ExecutableFileRecord(NativePaths& native) : native_(native) {}

    // Splits `path` into directory part (up to and including the last
    // backslash) and name. False with lastStatus 13001 when it cannot.
    bool setPath(const std::u16string& path);
    // Stores the walk's values and reads the last-write time (0 when it
    // cannot be read); always true. With `facts`, read before, the time is
    // theirs and their signer and version strings become the answers of the
    // requests below.
    bool setProperties(std::int32_t attributes, std::int32_t id, std::int32_t parentId,
                       std::int32_t onSystemDrive, std::int32_t allowState, bool isMutable,
                       bool isDefault, std::int32_t kind, const FileFacts* facts = nullptr);
    // Copy the signer or the version strings to the caller when available.
    // The first request reads the file; later ones repeat its answer.
    bool getSigner(SignerInfo& out);
    bool getVersionStrings(FileVersionStrings& out);

    std::u16string fullPath;
    std::u16string fileName;
    std::u16string directoryPath;
    bool signerRead = false;
    std::int32_t signerStatus = 0;
    bool versionRead = false;
    std::int32_t versionStatus = 0;
    std::int32_t lastStatus = 0;
    std::int32_t id = 0;
    std::int32_t parentId = -1;
    std::int32_t attributes = 0;
    std::int32_t onSystemDrive = 0;
    std::int32_t allowState = 1;
    bool isMutable = true;
    bool isDefault = false;
    std::int64_t modifiedTime = 0;
    std::int32_t kind = kKindApplication;
    SignerInfo signer;
    FileVersionStrings versionStrings;

private:
    NativePaths& native_;
};

}  // namespace baseline
