// Version resource strings (GetFileVersionInfoSizeW, GetFileVersionInfoW,
// VerQueryValueW) and the embedded signer (CryptQueryObject, CryptMsgGetParam,
// CertFindCertificateInStore, CertGetNameStringW). Every store, message,
// certificate context and buffer is owned by an RAII type, so each early
// return releases what was obtained so far. Both DLLs are called through the
// functions file_identity_libraries.h found; without them a read reports the
// identity as unavailable.
#include "platform/win32/file_identity_readers.h"

#include <cstdio>
#include <memory>
#include <new>

#include "platform/win32/file_identity_libraries.h"
#include "platform/win32/wide.h"

namespace baseline::win32 {
namespace {

constexpr std::size_t kQueryBufferLength = 260;
constexpr WORD kDefaultLanguage = 0x0409;  // US English
constexpr WORD kDefaultCodePage = 0x04E4;  // Windows-1252

template <typename Unit>
std::unique_ptr<Unit[]> allocate(std::size_t count) {
    return std::unique_ptr<Unit[]>(new (std::nothrow) Unit[count]);
}

// "\StringFileInfo\llllcccc\Name" into a 260-unit buffer; false when it does
// not fit.
bool buildStringQuery(WORD language, WORD codePage, const wchar_t* name, wchar_t* query) {
    const int written = _snwprintf(query, kQueryBufferLength, L"\\StringFileInfo\\%04x%04x\\%ls",
                                   language, codePage, name);
    if (written < 0 || static_cast<std::size_t>(written) >= kQueryBufferLength) return false;
    query[written] = L'\0';
    return true;
}

// The value's reported length, cut to 259 units, and then at its first NUL.
std::u16string valueText(const wchar_t* value, UINT length) {
    std::size_t units = length;
    if (units > kMaxVersionStringLength) units = kMaxVersionStringLength;
    std::u16string text;
    for (std::size_t i = 0; i < units && value[i] != L'\0'; ++i) {
        text.push_back(static_cast<char16_t>(value[i]));
    }
    return text;
}

}  // namespace

bool readVersionStrings(const std::u16string& path, FileVersionStrings& strings,
                        std::int32_t& status) {
    const FileIdentityLibraries& api = fileIdentityLibraries();
    if (!api.versionUsable()) {
        status = kStatusIdentityUnavailable;
        return false;
    }
    const DWORD size = api.getFileVersionInfoSize(asWide(path), nullptr);
    if (size == 0) {
        status = kStatusNoVersionResource;
        return false;
    }
    const auto resource = allocate<BYTE>(size);
    if (!resource || !api.getFileVersionInfo(asWide(path), 0, size, resource.get())) {
        status = kStatusIdentityUnavailable;
        return false;
    }

    WORD language = kDefaultLanguage;
    WORD codePage = kDefaultCodePage;
    void* translation = nullptr;
    UINT translationLength = 0;
    // Only the first listed translation is used, even when there are several.
    // A table too short to hold one entry counts as no table.
    if (api.verQueryValue(resource.get(), L"\\VarFileInfo\\Translation", &translation,
                       &translationLength) &&
        translation != nullptr && translationLength >= 2 * sizeof(WORD)) {
        language = static_cast<const WORD*>(translation)[0];
        codePage = static_cast<const WORD*>(translation)[1];
    }

    struct Field {
        const wchar_t* name;
        std::u16string FileVersionStrings::*member;
    };
    static constexpr Field kFields[] = {
        {L"OriginalFilename", &FileVersionStrings::originalFilename},
        {L"InternalName", &FileVersionStrings::internalName},
        {L"CompanyName", &FileVersionStrings::companyName},
        {L"ProductName", &FileVersionStrings::productName},
        {L"ProductVersion", &FileVersionStrings::productVersion},
        {L"FileVersion", &FileVersionStrings::fileVersion},
    };
    FileVersionStrings read;
    bool first = true;
    for (const Field& field : kFields) {
        wchar_t query[kQueryBufferLength];
        if (!buildStringQuery(language, codePage, field.name, query)) {
            if (first) {
                status = kStatusIdentityUnavailable;
                return false;
            }
            continue;
        }
        first = false;
        void* value = nullptr;
        UINT length = 0;
        if (api.verQueryValue(resource.get(), query, &value, &length) && value != nullptr && length != 0) {
            read.*field.member = valueText(static_cast<const wchar_t*>(value), length);
        }
    }
    strings = read;
    status = 0;
    return true;
}

bool getCertificateName(PCCERT_CONTEXT certificate, DWORD flags, std::u16string& name) {
    const FileIdentityLibraries& api = fileIdentityLibraries();
    if (!api.crypt32Usable()) return false;
    const DWORD length =
        api.certGetNameString(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, nullptr, 0);
    if (length <= 1) return false;  // only the terminator: no name
    const auto buffer = allocate<wchar_t>(static_cast<std::size_t>(length) + 1);
    if (!buffer) return false;
    const DWORD got =
        api.certGetNameString(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, buffer.get(), length);
    if (got != length) return false;
    buffer[got] = L'\0';
    name.assign(reinterpret_cast<const char16_t*>(buffer.get()));
    return !name.empty();
}

std::u16string serialNumberText(const CRYPT_INTEGER_BLOB& serial) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string text;
    text.reserve(serial.cbData * 2);
    for (DWORD i = serial.cbData; i > 0; --i) {
        const BYTE byte = serial.pbData[i - 1];
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0xF]);
    }
    return text;
}

bool readSignerInfo(const std::u16string& path, SignerInfo& signer, std::int32_t& status) {
    const FileIdentityLibraries& api = fileIdentityLibraries();
    if (!api.crypt32Usable()) {
        status = kStatusIdentityUnavailable;
        return false;
    }
    DWORD encoding = 0;
    DWORD contentType = 0;
    DWORD formatType = 0;
    HCERTSTORE rawStore = nullptr;
    HCRYPTMSG rawMessage = nullptr;
    if (!api.cryptQueryObject(CERT_QUERY_OBJECT_FILE, asWide(path),
                          CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY,
                          0, &encoding, &contentType, &formatType, &rawStore, &rawMessage,
                          nullptr)) {
        status = kStatusNoEmbeddedSignature;
        return false;
    }
    const UniqueCertStore store(rawStore);
    const UniqueCryptMsg message(rawMessage);
    const auto unavailable = [&status] {
        status = kStatusIdentityUnavailable;
        return false;
    };

    DWORD size = 0;
    if (!api.cryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size)) return unavailable();
    const auto buffer = allocate<BYTE>(size);
    if (!buffer) return unavailable();
    if (!api.cryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.get(), &size)) {
        return unavailable();
    }
    const auto* signerInfo = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.get());

    CERT_INFO wanted{};
    wanted.Issuer = signerInfo->Issuer;
    wanted.SerialNumber = signerInfo->SerialNumber;
    const UniqueCertContext certificate(api.certFindCertificateInStore(
        store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT, &wanted,
        nullptr));
    if (!certificate) return unavailable();

    SignerInfo read;
    if (!getCertificateName(certificate.get(), 0, read.publisherName)) return unavailable();
    if (!getCertificateName(certificate.get(), CERT_NAME_ISSUER_FLAG, read.issuerName)) {
        read.issuerName.clear();  // a missing issuer name is not a failure
    }
    read.serialNumber = serialNumberText(certificate.get()->pCertInfo->SerialNumber);
    signer = read;
    status = 0;
    return true;
}

// What the libraries load on first use, measured under Wine 8 (a module list
// before and after, tests/win32/file_identity_libraries_test.cpp): crypt32
// brings bcrypt, and its first CryptQueryObject wintrust, imagehlp and
// dbghelp, even on an unsigned file; version.dll brings nothing. Decoding the
// first signed file loads the default cryptographic provider (rsaenh.dll),
// whose path comes from the registry: a 32-bit program with redirection off
// would find the 64-bit one. Hashing a few bytes through crypt32's default
// provider loads it now; crypt32 keeps it for the rest of the process.
bool warmUpFileIdentityLibraries() {
    const FileIdentityLibraries& api = fileIdentityLibraries();
    if (!api.versionUsable() || !api.crypt32Usable()) return false;
    {
        char sha1[] = szOID_OIWSEC_sha1;
        CMSG_HASHED_ENCODE_INFO info{};
        info.cbSize = sizeof info;
        info.hCryptProv = 0;  // crypt32's default provider
        info.HashAlgorithm.pszObjId = sha1;
        const UniqueCryptMsg message(api.cryptMsgOpenToEncode(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                              CMSG_HASHED, &info, nullptr, nullptr));
        static const BYTE kBytes[] = {'w', 'a', 'r', 'm'};
        if (message) api.cryptMsgUpdate(message.get(), kBytes, sizeof kBytes, TRUE);
    }
    wchar_t self[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return true;  // nothing to read; the libraries are there
    const std::u16string path(reinterpret_cast<const char16_t*>(self), length);
    // The answers do not matter, only what the calls load on their way.
    try {
        FileVersionStrings strings;
        SignerInfo signer;
        std::int32_t status = 0;
        readVersionStrings(path, strings, status);
        readSignerInfo(path, signer, status);
    } catch (const std::bad_alloc&) {
    }
    return true;
}

}  // namespace baseline::win32
