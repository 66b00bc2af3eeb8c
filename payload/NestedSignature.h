#pragma once
// Nested signatures: the further signatures that a signed file carries inside
// its own signature's unauthenticated attributes (szOID_NESTED_SIGNATURE).
// That attribute lies outside the file's digest, so anyone holding the file
// can add one; a nested signature stands for the file's maker only when it is
// as good as the primary one. Runs on the calling thread; no shared state.
#include <windows.h>
#include <wincrypt.h>

#include <string>

// 0 when one signature nested in signedFile's primary signature (message
// primaryMessage, signer primarySigner) is by payloadSigner's key and
//  - its own signature verifies and its content is the digest of signedFile,
//  - its certificate names the primary signer's subject (organisation and
//    common name), and
//  - its certificate chains to the primary signer's root with no trust error
//    that the primary signer's chain does not have.
// The nested signatures are found by their attribute type among all the
// unauthenticated attributes of the primary signer. CRYPT_E_NO_MATCH when none
// qualifies; a nested signature that cannot be decoded ends the search with
// its error. Every rejected candidate is logged with what was expected and found.
HRESULT FindNestedSigner(HCRYPTMSG primaryMessage, PCCERT_CONTEXT primarySigner, const std::wstring& signedFile,
                         PCCERT_CONTEXT payloadSigner);

// The nested signatures' attribute in attributes, looked up by its type; null when absent.
PCRYPT_ATTRIBUTE FindNestedSignatureAttribute(const CRYPT_ATTRIBUTES& attributes);
