// What the program reads about one executable: the six version resource
// strings and the signer of its embedded signature, with the status codes the
// readers report. Plain data; the readers themselves sit behind the platform.
#pragma once

#include <cstdint>
#include <string>

namespace baseline {

// Status codes of the file-identity readers and of ExecutableFileRecord.
constexpr std::int32_t kStatusPathNotSplittable = 13001;
constexpr std::int32_t kStatusNoEmbeddedSignature = 13002;
constexpr std::int32_t kStatusNoVersionResource = 13003;
constexpr std::int32_t kStatusIdentityUnavailable = 13006;

// A version string holds at most this many UTF-16 units.
constexpr std::size_t kMaxVersionStringLength = 259;

struct FileVersionStrings {
    std::u16string fileVersion;
    std::u16string originalFilename;
    std::u16string productName;
    std::u16string companyName;
    std::u16string internalName;
    std::u16string productVersion;

    bool operator==(const FileVersionStrings&) const = default;
};

struct SignerInfo {
    std::u16string publisherName;  // simple display name of the subject
    std::u16string issuerName;     // simple display name of the issuer; may be empty
    std::u16string serialNumber;   // lower-case hexadecimal, most significant byte first

    bool operator==(const SignerInfo&) const = default;
};

}  // namespace baseline
