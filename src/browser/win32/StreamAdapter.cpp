#include "browser/win32/StreamAdapter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace velastrom::win32 {

StreamAdapter* StreamAdapter::Create(TMemoryStream& stream)
{
    auto* adapter = new StreamAdapter();
    adapter->stream_ = &stream;
    return adapter;
}

StreamAdapter* StreamAdapter::CreateCopy(const TMemoryStream& stream)
{
    auto* adapter = new StreamAdapter();
    adapter->copy_ = stream;
    adapter->stream_ = &adapter->copy_;
    return adapter;
}

HRESULT STDMETHODCALLTYPE StreamAdapter::QueryInterface(REFIID riid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IStream)) {
        *object = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE StreamAdapter::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG STDMETHODCALLTYPE StreamAdapter::Release()
{
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE StreamAdapter::Read(void* buffer, ULONG count, ULONG* read)
{
    if (stream_ == nullptr)
        return STG_E_REVERTED;
    if (buffer == nullptr && count != 0)
        return STG_E_INVALIDPOINTER;
    try {
        const std::size_t got = stream_->Read(buffer, count);
        if (read)
            *read = static_cast<ULONG>(got);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT STDMETHODCALLTYPE StreamAdapter::Write(const void* buffer, ULONG count, ULONG* written)
{
    if (stream_ == nullptr)
        return STG_E_REVERTED;
    if (buffer == nullptr && count != 0)
        return STG_E_INVALIDPOINTER;
    try {
        stream_->Write(buffer, count);
        if (written)
            *written = count;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return STG_E_MEDIUMFULL;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT STDMETHODCALLTYPE StreamAdapter::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition)
{
    if (stream_ == nullptr)
        return STG_E_REVERTED;
    long long base = 0;
    switch (origin) {
    case STREAM_SEEK_SET:
        base = 0;
        break;
    case STREAM_SEEK_CUR:
        base = static_cast<long long>(stream_->Position());
        break;
    case STREAM_SEEK_END:
        base = static_cast<long long>(stream_->Size());
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    const long long target = base + move.QuadPart;
    if (target < 0)
        return STG_E_INVALIDFUNCTION;
    stream_->Seek(static_cast<std::size_t>(target));
    if (newPosition)
        newPosition->QuadPart = static_cast<ULONGLONG>(target);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE StreamAdapter::SetSize(ULARGE_INTEGER newSize)
{
    if (stream_ == nullptr)
        return STG_E_REVERTED;
    if (newSize.QuadPart > static_cast<ULONGLONG>(PTRDIFF_MAX))
        return STG_E_MEDIUMFULL;
    try {
        stream_->SetSize(static_cast<std::size_t>(newSize.QuadPart));
        return S_OK;
    } catch (...) {
        return STG_E_MEDIUMFULL;
    }
}

HRESULT STDMETHODCALLTYPE StreamAdapter::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                                ULARGE_INTEGER* written)
{
    if (stream_ == nullptr)
        return STG_E_REVERTED;
    if (target == nullptr)
        return STG_E_INVALIDPOINTER;
    ULONGLONG totalRead = 0;
    ULONGLONG totalWritten = 0;
    char buffer[8192];
    HRESULT result = S_OK;
    while (totalRead < count.QuadPart) {
        const ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(sizeof buffer, count.QuadPart - totalRead));
        const std::size_t got = stream_->Read(buffer, want);
        if (got == 0)
            break;
        totalRead += got;
        ULONG put = 0;
        result = target->Write(buffer, static_cast<ULONG>(got), &put);
        totalWritten += put;
        if (FAILED(result))
            break;
    }
    if (read)
        read->QuadPart = totalRead;
    if (written)
        written->QuadPart = totalWritten;
    return result;
}

HRESULT STDMETHODCALLTYPE StreamAdapter::Commit(DWORD) { return stream_ ? S_OK : STG_E_REVERTED; }

HRESULT STDMETHODCALLTYPE StreamAdapter::Revert() { return STG_E_REVERTED; }

HRESULT STDMETHODCALLTYPE StreamAdapter::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE StreamAdapter::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE StreamAdapter::Stat(STATSTG* stat, DWORD)
{
    if (stat == nullptr)
        return STG_E_INVALIDPOINTER;
    if (stream_ == nullptr)
        return STG_E_REVERTED;
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = stream_->Size();
    stat->grfMode = STGM_READWRITE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE StreamAdapter::Clone(IStream** clone)
{
    if (clone)
        *clone = nullptr;
    return E_NOTIMPL;
}

}  // namespace velastrom::win32
