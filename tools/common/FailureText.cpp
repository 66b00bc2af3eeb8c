#include "FailureText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

namespace {
// The text of code in the given message table (null: the system's), without
// its line break; empty when the table has none.
std::string MessageText(HMODULE table, DWORD code) {
    wchar_t* text = nullptr;
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                  (table ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
    DWORD length = FormatMessageW(flags, table, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || !text) return {};
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) --length;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), bytes, nullptr, nullptr);
    LocalFree(text);
    return utf8;
}

// Names for codes the tools meet whose texts some systems (Wine among them)
// lack in their message tables.
const char* KnownName(unsigned long hr) {
    switch (hr) {
        case 0x80072EE2u: return "The operation timed out (ERROR_WINHTTP_TIMEOUT).";
        case 0x80072EE7u: return "The server name could not be resolved (ERROR_WINHTTP_NAME_NOT_RESOLVED).";
        case 0x80072EFDu: return "A connection with the server could not be established (ERROR_WINHTTP_CANNOT_CONNECT).";
        case 0x80072EFEu: return "The connection with the server was terminated abnormally (ERROR_WINHTTP_CONNECTION_ERROR).";
        case 0x80072F78u: return "The server returned an invalid or unrecognized response (ERROR_WINHTTP_INVALID_SERVER_RESPONSE).";
        case 0x800B0003u: return "The form specified for the subject is not one supported or known by the specified trust provider (TRUST_E_SUBJECT_FORM_UNKNOWN).";
        case 0x800B0100u: return "No signature was present in the subject (TRUST_E_NOSIGNATURE).";
        case 0x800B0109u: return "A certificate chain processed, but terminated in a root certificate which is not trusted (CERT_E_UNTRUSTEDROOT).";
        case 0x800B010Au: return "A certificate chain could not be built to a trusted root authority (CERT_E_CHAINING).";
        case 0x80096010u: return "The digital signature of the object did not verify (TRUST_E_BAD_DIGEST).";
        default: return nullptr;
    }
}

// Texts that say what a person can do, ahead of the system's own for the
// same codes: certificate failures and the download's own codes.
const char* Advice(unsigned long hr) {
    switch (hr) {
        case 0x80072F8Fu:
        case 0x80072F0Du:
        case 0x80072F05u:
        case 0x80072F06u:
        case 0x80072F89u:
        case 0x80072F8Au:
        case 0x80072F93u:
        case 0x80072F7Du:
            return "The server's certificate could not be trusted for this address (invalid, expired, issued for "
                   "another name, or by an unknown authority), so the connection was refused. Check that the "
                   "computer's date and time are right, and that no proxy or security program replaces "
                   "certificates; then try again or ask the server's owner.";
        case 0x80040A01u:
            return "The server sent the file without saying how long it is, so it could not be checked as "
                   "complete. Try again later; if it persists, the server (or a proxy in between) needs fixing.";
        case 0x80040A02u:
            return "The server sent the file compressed (Content-Encoding), not as the file itself. A proxy or "
                   "server setting causes this; try another network or ask the server's owner.";
        case 0x800C0008u:
            return "The download did not arrive whole (lengths or ranges did not match) after several attempts. "
                   "Check the network connection and try again.";
        default: return nullptr;
    }
}

std::string LookUpText(unsigned long hr) {
    if (const char* advice = Advice(hr)) return advice;
    const bool win32 = (hr & 0xFFFF0000u) == 0x80070000u;
    const DWORD code = win32 ? static_cast<DWORD>(hr & 0xFFFFu) : static_cast<DWORD>(hr);
    std::string text = MessageText(nullptr, code);
    if (text.empty() && win32) text = MessageText(nullptr, static_cast<DWORD>(hr));
    // WinHTTP (12001 to 12199) and the installer service keep their own texts.
    for (const wchar_t* library : {L"winhttp.dll", L"msi.dll"}) {
        if (!text.empty()) break;
        if (HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_SEARCH_SYSTEM32)) {
            text = MessageText(module, code);
            FreeLibrary(module);
        }
    }
    if (text.empty() && (hr & 0xFFFF0000u) == 0x80190000u) {
        text = "The server answered with HTTP status " + std::to_string(hr & 0xFFFFu) + ".";
    }
    if (text.empty() && KnownName(hr)) text = KnownName(hr);
    return text;
}
}  // namespace

std::string DescribeHResult(long hr) {
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(hr));
    std::string text = LookUpText(static_cast<unsigned long>(hr));
    // Texts written for a file name ("Bad EXE format for %1.") read well enough with "it".
    for (size_t insert = text.find("%1"); insert != std::string::npos; insert = text.find("%1", insert)) {
        text.replace(insert, 2, "it");
    }
    return std::string(code) + " " + (text.empty() ? "(the system has no text for this code)" : text);
}

std::string DescribeLastSystemError() {
    DWORD error = GetLastError();
    long hr = error == 0 ? static_cast<long>(0x80004005L)  // E_FAIL: a failure that left no code
                         : static_cast<long>((error & 0xFFFFu) | 0x80070000u);
    if (static_cast<LONG>(error) < 0) hr = static_cast<long>(error);
    return DescribeHResult(hr);
}
#else
std::string DescribeLastSystemError() {
    int error = errno;
    return "errno " + std::to_string(error) + " " + std::strerror(error);
}
#endif
