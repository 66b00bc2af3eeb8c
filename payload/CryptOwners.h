#pragma once
// Non-copyable owners for the CryptoAPI objects of signature checking.
#include <windows.h>
#include <wincrypt.h>

#include "framework/ScopedHandles.h"

struct CryptMessageTraits {
    static HCRYPTMSG Invalid() { return nullptr; }
    static bool IsValid(HCRYPTMSG h) { return h != nullptr; }
    static void Close(HCRYPTMSG h) { CryptMsgClose(h); }
};
struct CertificateTraits {
    static PCCERT_CONTEXT Invalid() { return nullptr; }
    static bool IsValid(PCCERT_CONTEXT h) { return h != nullptr; }
    static void Close(PCCERT_CONTEXT h) { CertFreeCertificateContext(h); }
};
struct CertificateStoreTraits {
    static HCERTSTORE Invalid() { return nullptr; }
    static bool IsValid(HCERTSTORE h) { return h != nullptr; }
    static void Close(HCERTSTORE h) { CertCloseStore(h, 0); }
};
struct CertificateChainTraits {
    static PCCERT_CHAIN_CONTEXT Invalid() { return nullptr; }
    static bool IsValid(PCCERT_CHAIN_CONTEXT h) { return h != nullptr; }
    static void Close(PCCERT_CHAIN_CONTEXT h) { CertFreeCertificateChain(h); }
};
struct CryptProviderTraits {
    static HCRYPTPROV Invalid() { return 0; }
    static bool IsValid(HCRYPTPROV h) { return h != 0; }
    static void Close(HCRYPTPROV h) { CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
    static HCRYPTHASH Invalid() { return 0; }
    static bool IsValid(HCRYPTHASH h) { return h != 0; }
    static void Close(HCRYPTHASH h) { CryptDestroyHash(h); }
};
using ScopedCryptMessage = ScopedResource<HCRYPTMSG, CryptMessageTraits>;
using ScopedCertificate = ScopedResource<PCCERT_CONTEXT, CertificateTraits>;
using ScopedCertificateStore = ScopedResource<HCERTSTORE, CertificateStoreTraits>;
using ScopedCertificateChain = ScopedResource<PCCERT_CHAIN_CONTEXT, CertificateChainTraits>;
using ScopedCryptProvider = ScopedResource<HCRYPTPROV, CryptProviderTraits>;
using ScopedCryptHash = ScopedResource<HCRYPTHASH, CryptHashTraits>;
