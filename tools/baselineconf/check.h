// What baselineconf check says about a configuration: everything that would
// make the allowlist creator fail to load it (errors) and what loads but is
// probably not meant (warnings), each with its place in the file. The verdict
// comes from the creator's own decryption, parse and schema walk.
#pragma once

#include <string>
#include <vector>

#include "config/config_diagnosis.h"
#include "config/config_schema.h"

namespace baseline::tool {

struct Finding {
    bool isError = false;
    std::size_t line = 0;    // from 1; 0 when it concerns the whole file
    std::size_t column = 0;  // from 1, in bytes
    std::string message;
    bool inDecryptedJson = false;  // the place is in the JSON text inside a .dat
};

struct CheckResult {
    bool loads = false;          // the creator would load it
    std::string json;            // the JSON text the creator would parse
    bool damaged = false;        // a .dat whose deciphered text is not text
    std::vector<Finding> findings;  // in file order within each stage
};

// A JSON configuration as it would be encoded.
CheckResult checkJsonText(const std::string& text, ConfigEnvironment& environment);

// The bytes of a baselineconf.dat as they lie on disk.
CheckResult checkDatFile(const std::string& bytes, ConfigEnvironment& environment);

// Shared with the creator's own messages.
using baseline::firstInvalidUtf8;
using baseline::firstNonText;
using baseline::hexByte;

// A finding at a byte offset of `text`.
Finding findingAt(bool isError, const std::string& text, std::size_t offset, std::string message);

}  // namespace baseline::tool
