#include "payload/SignatureVerification.h"

#include <mssip.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "framework/ModulePath.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "services/SystemProbes.h"

namespace {
const char kNestedSignatureOid[] = "1.3.6.1.4.1.311.2.4.1";
const DWORD kMessageEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::mutex g_signerLock;
std::wstring g_defaultSigner;

struct MessageTraits {
    static HCRYPTMSG Invalid() { return nullptr; }
    static bool IsValid(HCRYPTMSG h) { return h != nullptr; }
    static void Close(HCRYPTMSG h) { CryptMsgClose(h); }
};
struct CertificateTraits {
    static PCCERT_CONTEXT Invalid() { return nullptr; }
    static bool IsValid(PCCERT_CONTEXT h) { return h != nullptr; }
    static void Close(PCCERT_CONTEXT h) { CertFreeCertificateContext(h); }
};
using ScopedMessage = ScopedResource<HCRYPTMSG, MessageTraits>;
using ScopedCertificate = ScopedResource<PCCERT_CONTEXT, CertificateTraits>;

HRESULT TrustResultToHResult(LONG result) {
    return result > 0 ? HResultFromWin32(result) : static_cast<HRESULT>(result);
}

// A decoded PKCS #7 message of bytes and its verified signer certificate.
HRESULT DecodeSignedMessage(const BYTE* bytes, DWORD size, ScopedMessage& message, ScopedCertificate& signer) {
    message.Reset(CryptMsgOpenToDecode(kMessageEncoding, 0, 0, 0, nullptr, nullptr));
    if (!message) return FailureFromLastError();
    if (!CryptMsgUpdate(message.Get(), bytes, size, TRUE)) return FailureFromLastError();
    PCCERT_CONTEXT certificate = nullptr;
    if (!CryptMsgGetAndVerifySigner(message.Get(), 0, nullptr, 0, &certificate, nullptr)) return FailureFromLastError();
    signer.Reset(certificate);
    return S_OK;
}

// The signed message and signer of a file's first signature. S_FALSE (and no
// message) when the file carries no signature.
HRESULT ReadFileSigner(const std::wstring& path, ScopedMessage& message, ScopedCertificate& signer) {
    GUID subject = {};
    if (!CryptSIPRetrieveSubjectGuid(path.c_str(), nullptr, &subject)) return FailureFromLastError();
    SIP_DISPATCH_INFO dispatch = {};
    dispatch.cbSize = sizeof(dispatch);
    if (!CryptSIPLoad(&subject, 0, &dispatch)) return FailureFromLastError();
    SIP_SUBJECTINFO subjectInfo = {};
    subjectInfo.cbSize = sizeof(subjectInfo);
    subjectInfo.pgSubjectType = &subject;
    subjectInfo.hFile = INVALID_HANDLE_VALUE;
    subjectInfo.pwsFileName = path.c_str();
    DWORD encoding = 0;
    DWORD size = 0;
    if (!dispatch.pfGet(&subjectInfo, &encoding, 0, &size, nullptr)) {
        HRESULT hr = FailureFromLastError();
        return hr == CRYPT_E_NO_MATCH ? S_FALSE : hr;
    }
    std::vector<BYTE> signature;
    try {
        signature.resize(size);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (!dispatch.pfGet(&subjectInfo, &encoding, 0, &size, signature.data())) return FailureFromLastError();
    return DecodeSignedMessage(signature.data(), size, message, signer);
}

// Accepts when a signature nested in the wizard's message has payloadSigner's key.
HRESULT SearchNestedSignatures(HCRYPTMSG wizardMessage, PCCERT_CONTEXT payloadSigner) {
    DWORD size = 0;
    // A signature without unauthenticated attributes has no nested signature.
    if (!CryptMsgGetParam(wizardMessage, CMSG_SIGNER_UNAUTH_ATTR_PARAM, 0, nullptr, &size) ||
        size < sizeof(CRYPT_ATTRIBUTES)) {
        return CRYPT_E_NO_MATCH;
    }
    std::vector<BYTE> buffer(size);
    if (!CryptMsgGetParam(wizardMessage, CMSG_SIGNER_UNAUTH_ATTR_PARAM, 0, buffer.data(), &size)) {
        return CRYPT_E_NO_MATCH;
    }
    auto attributes = reinterpret_cast<const CRYPT_ATTRIBUTES*>(buffer.data());
    PCRYPT_ATTRIBUTE nested = CertFindAttribute(kNestedSignatureOid, attributes->cAttr, attributes->rgAttr);
    if (!nested) return CRYPT_E_NO_MATCH;
    for (DWORD i = 0; i < nested->cValue; ++i) {
        ScopedMessage message;
        ScopedCertificate signer;
        message.Reset(CryptMsgOpenToDecode(kMessageEncoding, 0, 0, 0, nullptr, nullptr));
        if (!message) return FailureFromLastError();
        if (!CryptMsgUpdate(message.Get(), nested->rgValue[i].pbData, nested->rgValue[i].cbData, TRUE)) {
            return FailureFromLastError();
        }
        PCCERT_CONTEXT certificate = nullptr;
        if (CryptMsgGetAndVerifySigner(message.Get(), 0, nullptr, 0, &certificate, nullptr)) {
            signer.Reset(certificate);
            if (ComparePublicKeys(signer.Get(), payloadSigner) == S_OK) return S_OK;
        }
    }
    return CRYPT_E_NO_MATCH;
}
}  // namespace

void SetDefaultSignerFile(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(g_signerLock);
    g_defaultSigner = path;
}

std::wstring GetDefaultSignerFile() {
    std::lock_guard<std::mutex> lock(g_signerLock);
    return g_defaultSigner;
}

HRESULT CheckFileTrust(const std::wstring& path) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return TrustResultToHResult(result);
}

HRESULT ComparePublicKeyInfo(const CERT_PUBLIC_KEY_INFO& first, const CERT_PUBLIC_KEY_INFO& second) {
    const char* firstOid = first.Algorithm.pszObjId ? first.Algorithm.pszObjId : "";
    const char* secondOid = second.Algorithm.pszObjId ? second.Algorithm.pszObjId : "";
    if (std::strcmp(firstOid, secondOid) != 0) return TRUST_E_SUBJECT_NOT_TRUSTED;
    const CRYPT_OBJID_BLOB& a = first.Algorithm.Parameters;
    const CRYPT_OBJID_BLOB& b = second.Algorithm.Parameters;
    if (a.cbData != b.cbData || (a.cbData && std::memcmp(a.pbData, b.pbData, a.cbData) != 0)) {
        return TRUST_E_SUBJECT_NOT_TRUSTED;
    }
    const CRYPT_BIT_BLOB& firstKey = first.PublicKey;
    const CRYPT_BIT_BLOB& secondKey = second.PublicKey;
    if (firstKey.cbData == 0) return TRUST_E_SYSTEM_ERROR;
    if (secondKey.cbData != firstKey.cbData) return TRUST_E_SUBJECT_NOT_TRUSTED;
    if (firstKey.cUnusedBits != secondKey.cUnusedBits) return TRUST_E_SUBJECT_NOT_TRUSTED;
    if (firstKey.cUnusedBits > 7) return TRUST_E_SYSTEM_ERROR;
    const DWORD last = firstKey.cbData - 1;
    if (last > 0 && std::memcmp(firstKey.pbData, secondKey.pbData, last) != 0) return TRUST_E_SUBJECT_NOT_TRUSTED;
    // The unused bits of the last byte do not count.
    const BYTE mask = static_cast<BYTE>(0xFF << firstKey.cUnusedBits);
    if ((firstKey.pbData[last] & mask) != (secondKey.pbData[last] & mask)) return TRUST_E_SUBJECT_NOT_TRUSTED;
    return S_OK;
}

HRESULT ComparePublicKeys(PCCERT_CONTEXT first, PCCERT_CONTEXT second) {
    if (!first || !second || !first->pCertInfo || !second->pCertInfo) return E_INVALIDARG;
    return ComparePublicKeyInfo(first->pCertInfo->SubjectPublicKeyInfo, second->pCertInfo->SubjectPublicKeyInfo);
}

HRESULT VerifySignature(const std::wstring& payloadPath, const std::wstring& signerPath) {
    HRESULT trust = CheckFileTrust(payloadPath);
    if (!IsOsVersionAtLeast(6, 1)) return S_OK;
    if (FAILED(trust)) return trust;

    ScopedMessage payloadMessage;
    ScopedCertificate payloadSigner;
    HRESULT hr = ReadFileSigner(payloadPath, payloadMessage, payloadSigner);
    if (hr != S_OK) return FAILED(hr) ? hr : CRYPT_E_NO_MATCH;

    std::wstring wizardPath = signerPath.empty() ? GetDefaultSignerFile() : signerPath;
    if (wizardPath.empty()) {
        hr = GetModulePath(nullptr, wizardPath);
        if (FAILED(hr)) return hr;
    }
    hr = CheckFileTrust(wizardPath);
    if (FAILED(hr)) return hr;
    ScopedMessage wizardMessage;
    ScopedCertificate wizardSigner;
    hr = ReadFileSigner(wizardPath, wizardMessage, wizardSigner);
    if (hr != S_OK) return FAILED(hr) ? hr : CRYPT_E_NO_MATCH;

    if (ComparePublicKeys(payloadSigner.Get(), wizardSigner.Get()) == S_OK) return S_OK;
    return SearchNestedSignatures(wizardMessage.Get(), payloadSigner.Get());
}
