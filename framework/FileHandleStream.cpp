#include "framework/FileHandleStream.h"

#include <new>
#include <string>

#include "framework/DiskSpace.h"

namespace {
class FileHandleStream final : public IStream {
public:
    FileHandleStream(HANDLE file, const std::wstring& spaceCheckPath)
        : m_file(file), m_spaceCheckPath(spaceCheckPath) {}
    FileHandleStream(const FileHandleStream&) = delete;
    FileHandleStream& operator=(const FileHandleStream&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&m_references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
        DWORD done = 0;
        if (!ReadFile(m_file.Get(), buffer, size, &done, nullptr)) return LastFailure();
        if (read) *read = done;
        return done < size ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size, ULONG* written) override {
        if (written) *written = 0;
        if (!m_spaceCheckPath.empty() && m_writtenSinceCheck >= kDiskSpaceCheckInterval) {
            if (!HasRoomForNextInterval(m_spaceCheckPath)) return STG_E_MEDIUMFULL;
            m_writtenSinceCheck = 0;
        }
        DWORD done = 0;
        if (!WriteFile(m_file.Get(), buffer, size, &done, nullptr)) return LastFailure();
        m_writtenSinceCheck += done;
        if (written) *written = done;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        LARGE_INTEGER now = {};
        if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
        if (!SetFilePointerEx(m_file.Get(), move, &now, origin)) return LastFailure();
        if (position) position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
        LARGE_INTEGER here = {};
        LARGE_INTEGER zero = {};
        if (!SetFilePointerEx(m_file.Get(), zero, &here, FILE_CURRENT)) return LastFailure();
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size.QuadPart);
        if (!SetFilePointerEx(m_file.Get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file.Get())) {
            HRESULT hr = LastFailure();
            SetFilePointerEx(m_file.Get(), here, nullptr, FILE_BEGIN);
            return hr;
        }
        return SetFilePointerEx(m_file.Get(), here, nullptr, FILE_BEGIN) ? S_OK : LastFailure();
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override {
        return FlushFileBuffers(m_file.Get()) ? S_OK : LastFailure();
    }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* statistics, DWORD) override {
        if (!statistics) return STG_E_INVALIDPOINTER;
        ZeroMemory(statistics, sizeof(*statistics));
        LARGE_INTEGER size = {};
        if (!GetFileSizeEx(m_file.Get(), &size)) return LastFailure();
        statistics->type = STGTY_STREAM;
        statistics->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
        statistics->grfMode = STGM_READWRITE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    ~FileHandleStream() = default;
    static HRESULT LastFailure() {
        DWORD error = GetLastError();
        return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }

    LONG m_references = 1;
    ScopedHandle m_file;
    const std::wstring m_spaceCheckPath;
    // The first write looks at the free space too.
    ULONGLONG m_writtenSinceCheck = kDiskSpaceCheckInterval;
};
}  // namespace

HRESULT CreateFileHandleStream(ScopedHandle& file, IStream** stream, const std::wstring& spaceCheckPath) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    if (!file) return E_INVALIDARG;
    FileHandleStream* created = new (std::nothrow) FileHandleStream(file.Get(), spaceCheckPath);
    if (!created) return E_OUTOFMEMORY;
    file.Release();
    *stream = created;
    return S_OK;
}
