#include "TestServer.h"

#include <winhttp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "TestSupport.h"

namespace {
std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

std::vector<std::string> SplitFields(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, separator)) fields.push_back(field);
    if (!line.empty() && line.back() == separator) fields.push_back("");
    return fields;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}
}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    auto found = headers.find(Lower(name));
    return found == headers.end() ? std::string() : found->second;
}

bool RecordedRequest::HasHeader(const std::string& name) const { return headers.count(Lower(name)) != 0; }

TestServer::TestServer() {
    if (const char* port = std::getenv("WRENSTALL_SERVER_PORT")) m_port = std::atoi(port);
    m_root = WindowsPathFromEnvironment("WRENSTALL_SERVER_ROOT");
}

std::wstring TestServer::Url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(m_port) + path;
}

std::wstring TestServer::RootFile(const std::wstring& name) const { return m_root + L"\\" + name; }

void TestServer::PutFile(const std::wstring& name, const std::string& bytes) const { WriteBytes(RootFile(name), bytes); }

std::string TestServer::Call(const wchar_t* method, const std::wstring& path, const std::string& body) const {
    std::string response;
    HINTERNET session = WinHttpOpen(L"wrenstall-test-control", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection = session ? WinHttpConnect(session, L"127.0.0.1", static_cast<INTERNET_PORT>(m_port), 0) : nullptr;
    HINTERNET request = connection ? WinHttpOpenRequest(connection, method, path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                        WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                   : nullptr;
    bool ok = request &&
              WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                 body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data()),
                                 static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) &&
              WinHttpReceiveResponse(request, nullptr);
    EXPECT_TRUE(ok) << "the stand-in server did not answer " << ToUtf8(path);
    char buffer[65536];
    DWORD read = 0;
    while (ok && WinHttpReadData(request, buffer, sizeof(buffer), &read) && read > 0) response.append(buffer, read);
    if (request) WinHttpCloseHandle(request);
    if (connection) WinHttpCloseHandle(connection);
    if (session) WinHttpCloseHandle(session);
    return response;
}

void TestServer::Reset() const { Call(L"POST", L"/__control/reset", ""); }

bool TestServer::HasRequest(const std::string& text) const {
    for (const RecordedRequest& request : Requests()) {
        if (request.target.find(text) != std::string::npos) return true;
    }
    return false;
}

bool TestServer::Settled() const { return Call(L"GET", L"/__control/settled", "") == "settled\n"; }

void TestServer::Fault(const std::string& path, const std::string& faultsJson) const {
    Call(L"POST", L"/__control/fault", "{\"path\": \"" + path + "\", \"faults\": " + faultsJson + "}");
}

void TestServer::Scenario(const std::string& path, const std::string& name, size_t breakAt, unsigned seed) const {
    Call(L"POST", L"/__control/scenario",
         "{\"path\": \"" + path + "\", \"name\": \"" + name + "\", \"break_at\": " + std::to_string(breakAt) +
             ", \"seed\": " + std::to_string(seed) + "}");
}

std::string TestServer::ReadRootFile(const std::wstring& name) const {
    std::ifstream in(RootFile(name).c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void TestServer::Respond(const std::string& path, int status, const std::string& body,
                         const std::string& contentType) const {
    std::string escaped;
    for (char c : body) {
        if (c == '"' || c == '\\') escaped += '\\';
        if (c == '\r') {
            escaped += "\\r";
            continue;
        }
        if (c == '\n') {
            escaped += "\\n";
            continue;
        }
        escaped += c;
    }
    Call(L"POST", L"/__control/respond",
         "{\"path\": \"" + path + "\", \"status\": " + std::to_string(status) + ", \"body\": \"" + escaped +
             "\", \"content_type\": \"" + contentType + "\"}");
}

std::vector<RecordedRequest> TestServer::Requests() const {
    std::vector<RecordedRequest> requests;
    std::stringstream lines(Call(L"GET", L"/__control/requests", ""));
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields = SplitFields(line, '\t');
        if (fields.size() < 6) continue;
        RecordedRequest request;
        request.method = fields[0];
        request.target = FromHex(fields[1]);
        request.proxied = fields[2] == "1";
        request.clientPort = std::atoi(fields[3].c_str());
        request.body = FromHex(fields[4]);
        std::stringstream headerLines(FromHex(fields[5]));
        std::string header;
        while (std::getline(headerLines, header)) {
            if (!header.empty() && header.back() == '\r') header.pop_back();
            size_t colon = header.find(": ");
            if (colon != std::string::npos) request.headers[Lower(header.substr(0, colon))] = header.substr(colon + 2);
        }
        requests.push_back(request);
    }
    return requests;
}

std::vector<RecordedRequest> TestServer::WaitForRequests(const std::string& text, size_t count, DWORD timeoutMs) const {
    std::vector<RecordedRequest> matching;
    for (DWORD waited = 0;; waited += 50) {
        matching.clear();
        for (const RecordedRequest& request : Requests()) {
            if (request.target.find(text) != std::string::npos) matching.push_back(request);
        }
        if (matching.size() >= count || waited >= timeoutMs) return matching;
        Sleep(50);
    }
}

std::string PatternBytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 12345;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 16);
    }
    return bytes;
}
