#pragma once
// The stand-in server that tests/server/with-server.sh started for this test
// process: its URLs, its served folder, scripted faults and the requests it
// recorded. Talks to it with plain WinHTTP calls of its own, independent of
// the code under test.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct RecordedRequest {
    std::string method;
    std::string target;  // as sent: a path, or an absolute URL through the proxy
    bool proxied = false;
    int clientPort = 0;
    std::string body;
    std::map<std::string, std::string> headers;  // names in lower case

    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

class TestServer {
public:
    TestServer();
    bool Available() const { return m_port != 0; }
    int Port() const { return m_port; }
    std::wstring Url(const std::wstring& path) const;
    // A file in the served folder.
    std::wstring RootFile(const std::wstring& name) const;
    void PutFile(const std::wstring& name, const std::string& bytes) const;

    void Reset() const;
    void Fault(const std::string& path, const std::string& faultsJson) const;
    // The faults of a named transfer scenario of the server (clean,
    // break_resume, ignore_range, lying_length, wrong_range, no_length,
    // changed_file, server_error, stall) with its break point at breakAt.
    void Scenario(const std::string& path, const std::string& name, size_t breakAt, unsigned seed) const;
    std::string ReadRootFile(const std::wstring& name) const;
    void Respond(const std::string& path, int status, const std::string& body,
                 const std::string& contentType = "text/plain") const;
    std::vector<RecordedRequest> Requests() const;
    // Waits until the server has no connection open but this call's: every
    // request of a client that has ended is recorded then. False after 20 s.
    bool Settled() const;
    // Whether a recorded request's target contains text (now, without waiting).
    bool HasRequest(const std::string& text) const;
    // Requests whose target contains text, waiting up to timeoutMs for count of them.
    std::vector<RecordedRequest> WaitForRequests(const std::string& text, size_t count, DWORD timeoutMs = 10000) const;

private:
    std::string Call(const wchar_t* method, const std::wstring& path, const std::string& body) const;

    int m_port = 0;
    std::wstring m_root;
};

// Random bytes of the given size, the same for the same seed.
std::string PatternBytes(size_t size, unsigned seed = 1);
