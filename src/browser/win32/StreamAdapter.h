// An IStream for the browser control's Save and Load. The control may keep a
// stream past the call that handed it over and use it later, so an adapter
// never refers to memory the program may free meanwhile: a reading adapter
// holds a copy of the bytes; a writing adapter works on the program's stream
// until it is detached, and after that every call fails with STG_E_REVERTED
// (the stream object is no longer valid).
#pragma once

#include <windows.h>

#include <objidl.h>

#include "common/MemoryStream.h"

namespace velastrom::win32 {

class StreamAdapter final : public IStream {
public:
    // Over the program's stream, at its own position, until Detach. Returned
    // with one reference held by the caller.
    static StreamAdapter* Create(TMemoryStream& stream);
    // Over a copy of the stream, its position included; the program's stream
    // is not touched. Returned with one reference held by the caller.
    static StreamAdapter* CreateCopy(const TMemoryStream& stream);

    // Lets go of the program's stream: later calls fail with STG_E_REVERTED.
    void Detach() { stream_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // ISequentialStream
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override;
    // IStream
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override;

private:
    StreamAdapter() = default;
    ~StreamAdapter() = default;

    TMemoryStream* stream_ = nullptr;  // the program's, or copy_
    TMemoryStream copy_;
    LONG references_ = 1;
};

}  // namespace velastrom::win32
