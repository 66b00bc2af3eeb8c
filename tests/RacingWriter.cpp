#include "RacingWriter.h"

#include "framework/ScopedHandles.h"

RacingWriter::RacingWriter(std::wstring path, const std::string& first, const std::string& second, DWORD maxPauseMs,
                           DWORD creation)
    : m_path(std::move(path)), m_creation(creation) {
    m_thread = std::thread([this, &first, &second, maxPauseMs] {
        for (DWORD round = 0; !m_stop; ++round) {
            Write(first);
            Sleep((round * 37) % maxPauseMs);
            Write(second);
            Sleep(4);
        }
    });
}

RacingWriter::~RacingWriter() {
    m_stop = true;
    m_thread.join();
}

void RacingWriter::Write(const std::string& content) const {
    ScopedHandle file;
    while (!m_stop && !file) {
        file.Reset(CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, m_creation, 0, nullptr));
    }
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    SetEndOfFile(file.Get());
}
