#include "payload/NestedSignature.h"

#include <wintrust.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "framework/DiagnosticOutput.h"
#include "framework/Win32Error.h"
#include "payload/CryptOwners.h"
#include "payload/SignatureVerification.h"

namespace {
const DWORD kMessageEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// szOID_NESTED_SIGNATURE: the attribute type of signatures nested in a signer's unauthenticated attributes.
const char kNestedSignatureOid[] = "1.3.6.1.4.1.311.2.4.1";

void Log(const std::wstring& text) { WriteDiagnostic((text + L"\n").c_str()); }

std::wstring HexCode(HRESULT hr) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::wstring NameAttribute(PCCERT_CONTEXT certificate, const char* oid) {
    wchar_t name[512] = L"";
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(oid), name, 512);
    return name;
}

std::wstring SubjectText(PCCERT_CONTEXT certificate) {
    return L"O=\"" + NameAttribute(certificate, szOID_ORGANIZATION_NAME) + L"\", CN=\"" +
           NameAttribute(certificate, szOID_COMMON_NAME) + L"\"";
}

// Parameter of a message as bytes (the usual size query, then the read).
bool ReadMessageParam(HCRYPTMSG message, DWORD param, DWORD index, std::vector<BYTE>& bytes) {
    DWORD size = 0;
    if (!CryptMsgGetParam(message, param, index, nullptr, &size) || size == 0) return false;
    bytes.assign(size, 0);
    if (!CryptMsgGetParam(message, param, index, bytes.data(), &size)) return false;
    bytes.resize(size);
    return true;
}

// The Authenticode content of a signed message: the digest algorithm and the
// digest of the file it signs.
bool ReadSignedDigest(HCRYPTMSG message, std::string& algorithm, std::vector<BYTE>& digest) {
    std::vector<BYTE> type;
    if (!ReadMessageParam(message, CMSG_INNER_CONTENT_TYPE_PARAM, 0, type)) return false;
    type.push_back(0);
    if (std::strcmp(reinterpret_cast<const char*>(type.data()), SPC_INDIRECT_DATA_OBJID) != 0) return false;
    std::vector<BYTE> content;
    if (!ReadMessageParam(message, CMSG_CONTENT_PARAM, 0, content)) return false;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(kMessageEncoding, SPC_INDIRECT_DATA_CONTENT_STRUCT, content.data(),
                             static_cast<DWORD>(content.size()), 0, nullptr, nullptr, &size)) {
        return false;
    }
    std::vector<BYTE> decoded(size);
    if (!CryptDecodeObjectEx(kMessageEncoding, SPC_INDIRECT_DATA_CONTENT_STRUCT, content.data(),
                             static_cast<DWORD>(content.size()), 0, nullptr, decoded.data(), &size)) {
        return false;
    }
    auto indirect = reinterpret_cast<const SPC_INDIRECT_DATA_CONTENT*>(decoded.data());
    algorithm = indirect->DigestAlgorithm.pszObjId ? indirect->DigestAlgorithm.pszObjId : "";
    digest.assign(indirect->Digest.pbData, indirect->Digest.pbData + indirect->Digest.cbData);
    return true;
}

bool ReadAt(HANDLE file, ULONGLONG offset, void* buffer, DWORD size) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && ReadFile(file, buffer, size, &read, nullptr) &&
           read == size;
}

// Hashes [begin, end) of the file.
bool HashRange(HANDLE file, HCRYPTHASH hash, ULONGLONG begin, ULONGLONG end) {
    std::vector<BYTE> block(65536);
    for (ULONGLONG at = begin; at < end;) {
        DWORD size = static_cast<DWORD>(end - at < block.size() ? end - at : block.size());
        if (!ReadAt(file, at, block.data(), size) || !CryptHashData(hash, block.data(), size, 0)) return false;
        at += size;
    }
    return true;
}

// The Authenticode digest of a PE file with the algorithm of the given object
// identifier: every byte except the header's checksum, its certificate-table
// entry and the certificate table itself.
bool ComputeFileDigest(const std::wstring& path, const std::string& algorithm, std::vector<BYTE>& digest) {
    ALG_ID id = CertOIDToAlgId(algorithm.c_str());
    if (id == 0) return false;
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER fileSize = {};
    if (!file || !GetFileSizeEx(file.Get(), &fileSize)) return false;
    const ULONGLONG size = static_cast<ULONGLONG>(fileSize.QuadPart);
    DWORD peOffset = 0;
    DWORD signature = 0;
    WORD magic = 0;
    if (!ReadAt(file.Get(), 0x3C, &peOffset, 4) || !ReadAt(file.Get(), peOffset, &signature, 4) ||
        signature != IMAGE_NT_SIGNATURE || !ReadAt(file.Get(), peOffset + 24ull, &magic, 2)) {
        return false;
    }
    const ULONGLONG optionalHeader = peOffset + 24ull;
    const ULONGLONG checksum = optionalHeader + 64;
    const ULONGLONG directories = optionalHeader + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? 112 : 96);
    const ULONGLONG securityEntry = directories + IMAGE_DIRECTORY_ENTRY_SECURITY * 8ull;
    DWORD table[2] = {};
    if (!ReadAt(file.Get(), securityEntry, table, 8)) return false;
    const ULONGLONG tableStart = table[0] ? table[0] : size;
    if (tableStart > size || tableStart < securityEntry + 8) return false;

    ScopedCryptProvider provider;
    if (!CryptAcquireContextW(provider.Receive(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
    ScopedCryptHash hash;
    if (!CryptCreateHash(provider.Get(), id, 0, 0, hash.Receive())) return false;
    if (!HashRange(file.Get(), hash.Get(), 0, checksum) || !HashRange(file.Get(), hash.Get(), checksum + 4, securityEntry) ||
        !HashRange(file.Get(), hash.Get(), securityEntry + 8, tableStart)) {
        return false;
    }
    DWORD length = 0;
    if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, nullptr, &length, 0)) return false;
    digest.assign(length, 0);
    return CryptGetHashParam(hash.Get(), HP_HASHVAL, digest.data(), &length, 0) != FALSE;
}

// The chain of a signer certificate, with the certificates its message carries.
bool BuildChain(HCRYPTMSG message, PCCERT_CONTEXT certificate, ScopedCertificateChain& chain) {
    ScopedCertificateStore store(CertOpenStore(CERT_STORE_PROV_MSG, kMessageEncoding, 0, 0, message));
    // Code signing, so that a nested certificate made for another use shows that as a trust error.
    static char codeSigning[] = szOID_PKIX_KP_CODE_SIGNING;
    static char* usages[] = {codeSigning};
    CERT_CHAIN_PARA parameters = {};
    parameters.cbSize = sizeof(parameters);
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    return CertGetCertificateChain(nullptr, certificate, nullptr, store.Get(), &parameters, 0, nullptr,
                                   chain.Receive()) != FALSE;
}

PCCERT_CONTEXT ChainRoot(PCCERT_CHAIN_CONTEXT chain) {
    if (!chain || chain->cChain == 0 || chain->rgpChain[0]->cElement == 0) return nullptr;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    return simple->rgpElement[simple->cElement - 1]->pCertContext;
}

// Checks one decoded nested signature against the primary one; logs why it fails.
bool QualifiesAsPrimary(HCRYPTMSG primaryMessage, PCCERT_CONTEXT primarySigner, const std::wstring& signedFile,
                        HCRYPTMSG nestedMessage, PCCERT_CONTEXT nestedSigner, DWORD index) {
    const std::wstring where = L"nested signature " + std::to_wstring(index) + L" of " + signedFile;
    const std::wstring expectedSubject = SubjectText(primarySigner);
    const std::wstring foundSubject = SubjectText(nestedSigner);
    if (NameAttribute(primarySigner, szOID_COMMON_NAME).empty() || foundSubject != expectedSubject) {
        Log(L"Signature check: " + where + L" rejected (0x80092009): expected subject " + expectedSubject +
            L", found " + foundSubject);
        return false;
    }

    std::string algorithm;
    std::vector<BYTE> signedDigest;
    if (!ReadSignedDigest(nestedMessage, algorithm, signedDigest)) {
        Log(L"Signature check: " + where + L" rejected (0x80092009): expected Authenticode content, found none");
        return false;
    }
    std::string primaryAlgorithm;
    std::vector<BYTE> fileDigest;
    if (!ReadSignedDigest(primaryMessage, primaryAlgorithm, fileDigest) || primaryAlgorithm != algorithm) {
        // The primary digest was checked by the trust check; another algorithm is computed here.
        if (!ComputeFileDigest(signedFile, algorithm, fileDigest)) fileDigest.clear();
    }
    if (fileDigest.empty() || fileDigest != signedDigest) {
        Log(L"Signature check: " + where + L" rejected (0x80092009): expected the digest of the file, found the "
            L"digest of other content");
        return false;
    }

    ScopedCertificateChain primaryChain;
    ScopedCertificateChain nestedChain;
    if (!BuildChain(primaryMessage, primarySigner, primaryChain) || !BuildChain(nestedMessage, nestedSigner, nestedChain)) {
        Log(L"Signature check: " + where + L" rejected (" + HexCode(FailureFromLastError()) +
            L"): no certificate chain could be built");
        return false;
    }
    PCCERT_CONTEXT primaryRoot = ChainRoot(primaryChain.Get());
    PCCERT_CONTEXT nestedRoot = ChainRoot(nestedChain.Get());
    const DWORD extraErrors =
        nestedChain.Get()->TrustStatus.dwErrorStatus & ~primaryChain.Get()->TrustStatus.dwErrorStatus;
    if (!primaryRoot || !nestedRoot ||
        !CertCompareCertificate(kMessageEncoding, primaryRoot->pCertInfo, nestedRoot->pCertInfo) ||
        ComparePublicKeys(primaryRoot, nestedRoot) != S_OK || extraErrors != 0) {
        wchar_t errors[16];
        std::swprintf(errors, 16, L"0x%08lX", static_cast<unsigned long>(extraErrors));
        Log(L"Signature check: " + where + L" rejected (0x80092009): expected a chain to the primary signer's root " +
            (primaryRoot ? SubjectText(primaryRoot) : L"(none)") + L", found root " +
            (nestedRoot ? SubjectText(nestedRoot) : L"(none)") + L" with further trust errors " + errors);
        return false;
    }
    return true;
}
}  // namespace

PCRYPT_ATTRIBUTE FindNestedSignatureAttribute(const CRYPT_ATTRIBUTES& attributes) {
    // By type among all of them: other unauthenticated attributes may come first.
    return CertFindAttribute(kNestedSignatureOid, attributes.cAttr, attributes.rgAttr);
}

HRESULT FindNestedSigner(HCRYPTMSG primaryMessage, PCCERT_CONTEXT primarySigner, const std::wstring& signedFile,
                         PCCERT_CONTEXT payloadSigner) {
    std::vector<BYTE> buffer;
    // A signature without unauthenticated attributes has no nested signature.
    if (!ReadMessageParam(primaryMessage, CMSG_SIGNER_UNAUTH_ATTR_PARAM, 0, buffer) ||
        buffer.size() < sizeof(CRYPT_ATTRIBUTES)) {
        Log(L"Signature check: the payload's signer is not the signer of " + signedFile + L" (" +
            SubjectText(primarySigner) + L"), found " + SubjectText(payloadSigner) + L"; no nested signature");
        return CRYPT_E_NO_MATCH;
    }
    PCRYPT_ATTRIBUTE nested = FindNestedSignatureAttribute(*reinterpret_cast<const CRYPT_ATTRIBUTES*>(buffer.data()));
    if (!nested) {
        Log(L"Signature check: the payload's signer is not the signer of " + signedFile + L" (" +
            SubjectText(primarySigner) + L"), found " + SubjectText(payloadSigner) + L"; no nested signature");
        return CRYPT_E_NO_MATCH;
    }
    for (DWORD i = 0; i < nested->cValue; ++i) {
        ScopedCryptMessage message(CryptMsgOpenToDecode(kMessageEncoding, 0, 0, 0, nullptr, nullptr));
        if (!message) return FailureFromLastError();
        if (!CryptMsgUpdate(message.Get(), nested->rgValue[i].pbData, nested->rgValue[i].cbData, TRUE)) {
            HRESULT hr = FailureFromLastError();
            Log(L"Signature check: nested signature " + std::to_wstring(i) + L" of " + signedFile +
                L" cannot be decoded (" + HexCode(hr) + L")");
            return hr;
        }
        PCCERT_CONTEXT certificate = nullptr;
        if (!CryptMsgGetAndVerifySigner(message.Get(), 0, nullptr, 0, &certificate, nullptr)) {
            Log(L"Signature check: nested signature " + std::to_wstring(i) + L" of " + signedFile +
                L" does not verify (" + HexCode(FailureFromLastError()) + L")");
            continue;
        }
        ScopedCertificate signer(certificate);
        if (ComparePublicKeys(signer.Get(), payloadSigner) != S_OK) continue;
        if (QualifiesAsPrimary(primaryMessage, primarySigner, signedFile, message.Get(), signer.Get(), i)) return S_OK;
    }
    Log(L"Signature check: expected the payload's signer " + SubjectText(payloadSigner) + L" among the signers of " +
        signedFile + L", found no qualifying nested signature (0x80092009)");
    return CRYPT_E_NO_MATCH;
}
