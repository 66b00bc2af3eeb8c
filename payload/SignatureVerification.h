#pragma once
// Authenticode acceptance of a downloaded payload: a valid signature whose
// signer key is the key of the wizard's own signature, or of a signature
// nested inside it that is as good as the wizard's own (see NestedSignature.h:
// anyone can add a nested signature, so its subject, root and digest must
// match the maker's). Every rejection is logged with what was expected and
// what was found. Runs on the controller thread.
#include <windows.h>
#include <wincrypt.h>

#include <string>

// 0 accepts payloadPath; a negative value rejects it and is the reason.
// signerPath: the file whose signature names the accepted keys (the wizard
// itself when empty). payloadFile: when given, the payload is read through
// this open handle (readable, at any position), so that the bytes checked
// are those of the file the caller holds.
HRESULT VerifySignature(const std::wstring& payloadPath, const std::wstring& signerPath = L"",
                        HANDLE payloadFile = nullptr);

// The file whose signature VerifySignature trusts by default; the companion
// tool names another one. Empty means the running program.
void SetDefaultSignerFile(const std::wstring& path);
std::wstring GetDefaultSignerFile();

// 0 when the two subject public keys are the same (unused bits of the last
// byte ignored), 0x800B0004 when they differ, 0x80096001 for a malformed key,
// E_INVALIDARG for a missing certificate.
HRESULT ComparePublicKeys(PCCERT_CONTEXT first, PCCERT_CONTEXT second);
HRESULT ComparePublicKeyInfo(const CERT_PUBLIC_KEY_INFO& first, const CERT_PUBLIC_KEY_INFO& second);

// WinVerifyTrust of a file (generic Authenticode policy, no UI, no
// revocation), its state always released.
HRESULT CheckFileTrust(const std::wstring& path, HANDLE file = nullptr);
