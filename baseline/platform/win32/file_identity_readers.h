// The readers of a file's identity over version.dll and crypt32: the six
// version resource strings, and the subject, issuer and serial number of the
// first signer of its embedded Authenticode signature. Nothing is verified.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <cstdint>
#include <string>

#include "platform/file_identity_records.h"

namespace baseline::win32 {

// True with status 0, or false with 13003 (no version resource) or 13006
// (it could not be loaded); on failure `strings` is left as it was.
bool readVersionStrings(const std::u16string& path, FileVersionStrings& strings,
                        std::int32_t& status);

// True with status 0, or false with 13002 (no embedded PKCS #7 signature) or
// 13006 (signer, certificate or subject name unobtainable); on failure
// `signer` is left as it was.
bool readSignerInfo(const std::u16string& path, SignerInfo& signer, std::int32_t& status);

// Loads version.dll and crypt32.dll (fileIdentityLibraries) and reads the
// program's own file once with both readers, so that what the libraries load
// on first use is loaded now. False when a library or function is missing.
bool warmUpFileIdentityLibraries();

// The simple display name of the certificate's subject (flags 0) or issuer
// (CERT_NAME_ISSUER_FLAG). True only when a non-empty name was read.
bool getCertificateName(PCCERT_CONTEXT certificate, DWORD flags, std::u16string& name);

// The serial number blob (least significant byte first) as lower-case
// hexadecimal, most significant byte first, every byte written.
std::u16string serialNumberText(const CRYPT_INTEGER_BLOB& serial);

}  // namespace baseline::win32
