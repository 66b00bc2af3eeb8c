#include "payload/SignatureVerification.h"

#include <mssip.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "framework/DiagnosticOutput.h"
#include "framework/ModulePath.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "payload/CryptOwners.h"
#include "payload/NestedSignature.h"

namespace {
const DWORD kMessageEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::mutex g_signerLock;
std::wstring g_defaultSigner;

HRESULT TrustResultToHResult(LONG result) {
    return result > 0 ? HResultFromWin32(result) : static_cast<HRESULT>(result);
}

void LogRejection(const wchar_t* what, HRESULT hr, const std::wstring& path) {
    wchar_t line[160];
    std::swprintf(line, 160, L"Signature check: %ls failed (0x%08lX): ", what, static_cast<unsigned long>(hr));
    WriteDiagnostic((line + path + L"\n").c_str());
}

// A decoded PKCS #7 message of bytes and its verified signer certificate.
HRESULT DecodeSignedMessage(const BYTE* bytes, DWORD size, ScopedCryptMessage& message, ScopedCertificate& signer) {
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
HRESULT ReadFileSigner(const std::wstring& path, HANDLE file, ScopedCryptMessage& message, ScopedCertificate& signer) {
    GUID subject = {};
    if (!CryptSIPRetrieveSubjectGuid(path.c_str(), file, &subject)) return FailureFromLastError();
    SIP_DISPATCH_INFO dispatch = {};
    dispatch.cbSize = sizeof(dispatch);
    if (!CryptSIPLoad(&subject, 0, &dispatch)) return FailureFromLastError();
    SIP_SUBJECTINFO subjectInfo = {};
    subjectInfo.cbSize = sizeof(subjectInfo);
    subjectInfo.pgSubjectType = &subject;
    subjectInfo.hFile = file ? file : INVALID_HANDLE_VALUE;
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
}  // namespace

void SetDefaultSignerFile(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(g_signerLock);
    g_defaultSigner = path;
}

std::wstring GetDefaultSignerFile() {
    std::lock_guard<std::mutex> lock(g_signerLock);
    return g_defaultSigner;
}

HRESULT CheckFileTrust(const std::wstring& path, HANDLE handle) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    file.hFile = handle;
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

HRESULT VerifySignature(const std::wstring& payloadPath, const std::wstring& signerPath, HANDLE payloadFile) {
    // Every system version gets the same check: where the platform cannot
    // verify a signature, the payload is refused, never waved through.
    HRESULT trust = CheckFileTrust(payloadPath, payloadFile);
    if (FAILED(trust)) {
        LogRejection(L"trust check of the payload", trust, payloadPath);
        return trust;
    }

    ScopedCryptMessage payloadMessage;
    ScopedCertificate payloadSigner;
    HRESULT hr = ReadFileSigner(payloadPath, payloadFile, payloadMessage, payloadSigner);
    if (hr != S_OK) {
        hr = FAILED(hr) ? hr : CRYPT_E_NO_MATCH;
        LogRejection(L"reading the payload's signer", hr, payloadPath);
        return hr;
    }

    std::wstring wizardPath = signerPath.empty() ? GetDefaultSignerFile() : signerPath;
    if (wizardPath.empty()) {
        hr = GetModulePath(nullptr, wizardPath);
        if (FAILED(hr)) return hr;
    }
    hr = CheckFileTrust(wizardPath);
    if (FAILED(hr)) {
        LogRejection(L"trust check of the trusted signer file", hr, wizardPath);
        return hr;
    }
    ScopedCryptMessage wizardMessage;
    ScopedCertificate wizardSigner;
    hr = ReadFileSigner(wizardPath, nullptr, wizardMessage, wizardSigner);
    if (hr != S_OK) {
        hr = FAILED(hr) ? hr : CRYPT_E_NO_MATCH;
        LogRejection(L"reading the trusted signer", hr, wizardPath);
        return hr;
    }

    if (ComparePublicKeys(payloadSigner.Get(), wizardSigner.Get()) == S_OK) return S_OK;
    hr = FindNestedSigner(wizardMessage.Get(), wizardSigner.Get(), wizardPath, payloadSigner.Get());
    if (FAILED(hr)) LogRejection(L"the payload's signer", hr, payloadPath);
    return hr;
}
