#pragma once
#include <windows.h>

#include "framework/ScopedHandles.h"

// The process and thread handles that CreateProcess and its kin fill in,
// closed together unless the process handle is taken.
class ScopedProcessInformation {
public:
    ScopedProcessInformation() = default;
    ~ScopedProcessInformation() {
        if (m_info.hThread) CloseHandle(m_info.hThread);
        if (m_info.hProcess) CloseHandle(m_info.hProcess);
    }
    ScopedProcessInformation(const ScopedProcessInformation&) = delete;
    ScopedProcessInformation& operator=(const ScopedProcessInformation&) = delete;

    PROCESS_INFORMATION* Receive() { return &m_info; }
    const PROCESS_INFORMATION& Get() const { return m_info; }
    // The process handle, now the caller's.
    ScopedHandle TakeProcess() {
        HANDLE process = m_info.hProcess;
        m_info.hProcess = nullptr;
        return ScopedHandle(process);
    }

private:
    PROCESS_INFORMATION m_info = {};
};
