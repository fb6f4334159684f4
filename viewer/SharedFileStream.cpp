#include "viewer/SharedFileStream.h"

#include "common/ComObject.h"

#include <mutex>
#include <new>

namespace {

HRESULT LastError() {
    const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
    return FAILED(hr) ? hr : E_FAIL;
}

class SharedFileStream final : public ComObject<WithBases<IStream, ISequentialStream>>, public ByteSource {
public:
    explicit SharedFileStream(HANDLE file) : file_(file) {}

    // The platform may read from several threads: each read is made at the stream's position
    // and moves it, as one step.
    STDMETHODIMP Read(void* buffer, ULONG size, ULONG* read) override {
        std::lock_guard<std::mutex> lock(mutex_);
        DWORD done = 0;
        if (!ReadFileAt(position_, buffer, size, &done) && GetLastError() != ERROR_HANDLE_EOF) {
            if (read) *read = 0;
            return LastError();
        }
        position_ += done;
        if (read) *read = done;
        return S_OK;
    }

    uint64_t Size() const override {
        LARGE_INTEGER size{};
        return GetFileSizeEx(file_, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) const override {
        DWORD done = 0;
        return size <= MAXDWORD && ReadFileAt(offset, buffer, static_cast<DWORD>(size), &done) && done == size;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG* written) override {
        if (written) *written = 0;
        return STG_E_ACCESSDENIED;
    }

    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        std::lock_guard<std::mutex> lock(mutex_);
        LONGLONG base = 0;
        if (origin == STREAM_SEEK_CUR) {
            base = static_cast<LONGLONG>(position_);
        } else if (origin == STREAM_SEEK_END) {
            LARGE_INTEGER size{};
            if (!GetFileSizeEx(file_, &size)) return LastError();
            base = size.QuadPart;
        } else if (origin != STREAM_SEEK_SET) {
            return STG_E_INVALIDFUNCTION;
        }
        const LONGLONG target = base + move.QuadPart;
        if (target < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(target);
        if (newPosition) newPosition->QuadPart = position_;
        return S_OK;
    }

    // Like a stream in memory, this one has no name: the resolver is given the path itself.
    STDMETHODIMP Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        *stat = {};
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_, &size)) return LastError();
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
        stat->grfMode = STGM_READ | STGM_SHARE_DENY_NONE;
        return S_OK;
    }

    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
    ~SharedFileStream() override { CloseHandle(file_); }

    bool ReadFileAt(uint64_t offset, void* buffer, DWORD size, DWORD* done) const {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        return ReadFile(file_, buffer, size, done, &at) != FALSE;
    }

    const HANDLE file_;
    std::mutex mutex_;
    ULONGLONG position_ = 0;
};

}  // namespace

HRESULT OpenSharedFileStream(const wchar_t* path, IStream** stream, const ByteSource** bytes) {
    *stream = nullptr;
    if (bytes) *bytes = nullptr;
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    SharedFileStream* opened = new (std::nothrow) SharedFileStream(file);
    if (!opened) {
        CloseHandle(file);
        return E_OUTOFMEMORY;
    }
    *stream = opened;
    if (bytes) *bytes = opened;
    return S_OK;
}
